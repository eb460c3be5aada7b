// Writers of the small image, cursor, mesh and effect files the device tests load.
#include "test_files.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace testfiles {
namespace {

void Put16(std::string& s, uint16_t v) {
    s += char(v & 0xff);
    s += char(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, uint16_t(v & 0xffff));
    Put16(s, uint16_t(v >> 16));
}

}  // namespace

std::string EnterFreshFolder(const std::string& tag) {
    std::string pattern = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                          "/meshes_platform_" + tag + "_XXXXXX";
    char* dir = mkdtemp(&pattern[0]);
    if (!dir || chdir(dir) != 0) std::abort();
    return dir;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string Bmp(int w, int h) {
    int stride = (w * 3 + 3) / 4 * 4;
    std::string s = "BM";
    Put32(s, uint32_t(54 + stride * h));
    Put32(s, 0);
    Put32(s, 54);
    Put32(s, 40);
    Put32(s, uint32_t(w));
    Put32(s, uint32_t(h));
    Put16(s, 1);
    Put16(s, 24);
    Put32(s, 0);
    Put32(s, uint32_t(stride * h));
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, 0);
    Put32(s, 0);
    s += std::string(size_t(stride * h), char(0x80));
    return s;
}

std::string Cursor(int hotX, int hotY) {
    std::string s;
    Put16(s, 0);
    Put16(s, 2);   // cursor
    Put16(s, 1);
    s += char(2);
    s += char(2);
    s += char(0);
    s += char(0);
    Put16(s, uint16_t(hotX));
    Put16(s, uint16_t(hotY));
    const uint32_t image = 40 + 2 * 2 * 4 + 2 * 4;
    Put32(s, image);
    Put32(s, 22);
    Put32(s, 40);
    Put32(s, 2);
    Put32(s, 4);   // twice the height: colour and mask
    Put16(s, 1);
    Put16(s, 32);
    for (int i = 0; i < 6; ++i) Put32(s, 0);
    for (int i = 0; i < 4; ++i) Put32(s, 0xFF102030u);
    for (int i = 0; i < 2; ++i) Put32(s, 0);   // AND mask rows, padded to 4 bytes
    return s;
}

std::string QuadX(const std::string& texture) {
    return "xof 0303txt 0032\n"
           "Mesh Quad {\n"
           " 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;;\n"
           " 2; 3;0,1,2;, 3;0,2,3;;\n"
           " MeshMaterialList { 2; 2; 0,1;;\n"
           "  Material { 1;0.5;0.25;1;; 10; 0.2;0.2;0.2;; 0;0;0;; TextureFilename { \"" + texture + "\"; } }\n"
           "  Material { 0.1;0.2;0.3;0.5;; 5; 0;0;0;; 0;0;0;; }\n"
           " }\n"
           " MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }\n"
           "}\n";
}

std::string PhongFx() {
    return "float4 View_Pos;\n"
           "float LightFalloff = 1000;\n"
           "float4x4 matWorld : WORLD;\n"
           "texture Tex;\n"
           "float4 VS(float4 p : POSITION) : POSITION { return mul(p, matWorld); }\n"
           "float4 PS() : COLOR { return View_Pos; }\n"
           "technique ald_Phong { pass P0 { VertexShader = compile vs_2_0 VS(); "
           "PixelShader = compile ps_2_0 PS(); } }\n"
           "technique ald_Phong_alpha {\n"
           " pass P0 { AlphaBlendEnable = TRUE; SrcBlend = One; DestBlend = One; ZWriteEnable = false; }\n"
           " pass P1 { CullMode = None; }\n"
           "}\n";
}

}  // namespace testfiles
