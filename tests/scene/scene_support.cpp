#include "tests/scene/scene_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/console.h"
#include "scene/camera_manager.h"
#include "scene/effect_manager.h"
#include "scene/light_manager.h"
#include "scene/object_manager.h"
#include "tools/drtool/tree_records.h"
#include "tests/support/level_run.h"

namespace fs = std::filesystem;

namespace {

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

void SceneTest::SetUp()
{
    headless::Reset();
    home_ = fs::current_path().string();
    folder_ = testsupport::FreshFolder("scene_test");
    ASSERT_FALSE(folder_.empty());
    ASSERT_EQ(chdir(folder_.c_str()), 0);

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = TestWindowProc;
    wc.lpszClassName = "scene_test";
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, "scene_test", "scene", 0, 0, 0, 640, 480, nullptr, nullptr,
                                  nullptr, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    ASSERT_GE(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device), 0);
    console = new Korvel_Console(&device);
    D3DXMatrixIdentity(&world);
    logSkip_ = 0;
    MarkLog();
}

void SceneTest::TearDown()
{
    if (!home_.empty()) {
        EXPECT_EQ(chdir(home_.c_str()), 0);
    }
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
}

void SceneTest::LoadManagers()
{
    cameras = new Korvel_Camera_Manager(&world, console);
    effects = new Korvel_Effect_Manager(device, cameras, console);
    lights = new Korvel_Light_Manager(&world, console);
    objects = new Korvel_Object_Manager(&world, &device, effects, lights, console);
    lights->Load("POLYGON01");
    cameras->Load("POLYGON01");
    effects->Load("POLYGON01");
}

ID3DXEffect* SceneTest::Effect(const std::string& name) const
{
    for (EffectNode* node = effects ? effects->first : nullptr; node; node = node->next)
        if (name == node->name.getChars()) return node->effect;
    return nullptr;
}

void SceneTest::WriteFile(const std::string& path, const std::string& bytes)
{
    ASSERT_TRUE(testsupport::WriteFile(path, bytes)) << path;
}

void SceneTest::WriteTree(const std::string& path, const std::string& text)
{
    drtool::ParseResult parsed = drtool::ParseText(text.data(), text.size());
    ASSERT_TRUE(parsed.ok) << path << ": line " << parsed.line << ": " << parsed.error;
    WriteFile(path, drtool::WriteRecords(parsed.records));
}

void SceneTest::WriteBmp(const std::string& path)
{
    // 2 x 2, 24 bits, rows padded to 8 bytes.
    const unsigned char bmp[] = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
    WriteFile(path, std::string(reinterpret_cast<const char*>(bmp), sizeof(bmp)));
}

void SceneTest::WriteEffect(const std::string& path)
{
    WriteFile(path,
              "float4x4 mat_World_View_Proj;\n"
              "float4x4 matWorld;\n"
              "float4 View_Pos;\n"
              "float4 LightPos;\n"
              "float4 LightColor;\n"
              "float LightFalloff;\n"
              "float LightSpecular;\n"
              "float LightSpecular_Itens;\n"
              "float LightAmbient;\n"
              "float Attenuation;\n"
              "float4 VS(float4 p : POSITION) : POSITION { return mul(p, mat_World_View_Proj); }\n"
              "float4 PS() : COLOR { return LightColor * LightAmbient; }\n"
              "technique ald_Phong {\n"
              "  pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); }\n"
              "}\n"
              "technique ald_Phong_alpha {\n"
              "  pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); }\n"
              "  pass P1 { AlphaBlendEnable = true; SrcBlend = One; DestBlend = One;\n"
              "            VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); }\n"
              "}\n");
}

void SceneTest::RemoveFile(const std::string& path)
{
    std::error_code ec;
    fs::remove(path, ec);
}

std::vector<LogLine> SceneTest::Log() const
{
    std::vector<LogLine> lines;
    DynamicRow& log = console->log;
    unsigned int index = 0;
    for (unsigned int id = log.TopId(console->logRootId); id != 0; id = log.NextId(id), ++index) {
        if (index < logSkip_) continue;
        std::string text = log.iLookName(id).getChars();
        std::string tag = log.iLookName(log.TopId(id)).getChars();
        if (text.compare(0, 3, "   ") == 0 && !lines.empty()) {
            lines.back().text += text.substr(3);
            continue;
        }
        size_t close = text.find("] ");
        if (!text.empty() && text[0] == '[' && close != std::string::npos) text = text.substr(close + 2);
        lines.push_back({text, tag});
    }
    return lines;
}

std::vector<std::string> SceneTest::LogTexts() const
{
    std::vector<std::string> texts;
    for (const LogLine& line : Log()) texts.push_back(line.text);
    return texts;
}

void SceneTest::MarkLog()
{
    logSkip_ = console->log.iCountKnots(console->logRootId);
}

std::string QuadMesh(const std::vector<std::string>& textures)
{
    const size_t n = textures.size();
    std::ostringstream x;
    x << "xof 0303txt 0032\nMesh quad {\n " << 4 * n << ";\n";
    for (size_t i = 0; i < n; ++i) {
        float x0 = static_cast<float>(i), x1 = x0 + 1;
        x << " " << x0 << ";0;0;, " << x0 << ";1;0;, " << x1 << ";1;0;, " << x1 << ";0;0;"
          << (i + 1 == n ? ";" : ",") << "\n";
    }
    x << " " << 2 * n << ";\n";
    for (size_t i = 0; i < n; ++i) {
        size_t b = 4 * i;
        x << " 3;" << b << "," << b + 1 << "," << b + 2 << ";, 3;" << b << "," << b + 2 << ","
          << b + 3 << ";" << (i + 1 == n ? ";" : ",") << "\n";
    }
    x << " MeshMaterialList {\n  " << n << ";\n  " << 2 * n << ";\n  ";
    for (size_t i = 0; i < n; ++i) x << i << "," << i << (i + 1 == n ? ";" : ",");
    x << "\n";
    for (size_t i = 0; i < n; ++i) {
        x << "  Material {\n   " << 0.1 * (i + 1) << ";0.5;0.25;1;;\n   10;\n   0.2;0.2;0.2;;\n"
          << "   0;0;0;;\n";
        if (!textures[i].empty()) x << "   TextureFilename { \"" << textures[i] << "\"; }\n";
        x << "  }\n";
    }
    x << " }\n}\n";
    return x.str();
}

std::vector<float> Floats(const std::string& text)
{
    std::vector<float> values;
    std::istringstream in(text);
    float v;
    while (in >> v) values.push_back(v);
    return values;
}
