// Shader assembly run on the OpenGL device: what each instruction, modifier and register
// computes, read back from one pixel against the value Direct3D 9's definitions give. A wrong
// translation would otherwise go unseen, as it still compiles and draws something.
#include <cstring>
#include <vector>

#include "fx_fixture.h"

namespace sdltest {
namespace {

// Places the quad where it is drawn and gives every pixel the texture coordinates c4..c7.
const char* const kPlaceVs =
    "vs_1_1\n dcl_position v0\n mov oPos, v0\n"
    " mov oT0, c4\n mov oT1, c5\n mov oT2, c6\n mov oT3, c7\n";
// Shows the vertex shader's oD0.
const char* const kShowPs = "ps_1_1\n mov r0, v0\n";

// One pass with `states` and the two shaders. M moves x by 0.5 (row-vector convention); R is
// its transpose, declared row_major.
std::string Effect(const std::string& ps, const std::string& states = "", const std::string& vs = kPlaceVs) {
    return "float4x4 M;\nrow_major float4x4 R;\n"
           "technique T { pass P {\n" + states + "\n VertexShader = asm {\n" + vs +
           "};\n PixelShader = asm {\n" + ps + "};\n CullMode = None;\n} }\n";
}

std::string VertexEffect(const std::string& vs, const std::string& states = "") {
    return Effect(kShowPs, states, "vs_2_0\n dcl_position v0\n mov oPos, v0\n" + vs);
}

class AsmTest : public FxTest {};

TEST_F(AsmTest, InstructionsComputeWhatDirect3DDefines) {
    struct Case {
        const char* what;
        std::string effect;
        D3DCOLOR want;
        float x = 0;   // where the value shows
    };
    const Case cases[] = {
        // Swizzles, write masks and the modifiers of ps_1_x.
        {"swizzle", Effect("ps_2_0\n def c0, 0.25, 0.5, 0.75, 1\n mov oC0, c0.wzyx\n"), 0xFFBF80},
        {"replicate swizzle, write mask", Effect("ps_2_0\n def c0, 0.25, 0.5, 0.75, 1\n mov r0, c0.y\n"
                                                 " mov r0.b, c0.x\n mov oC0, r0\n"), 0x808040},
        {"_bx2", Effect("ps_1_1\n def c0, 0.75, 0.625, 0.5, 1\n mov r0, c0_bx2\n"), 0x804000},
        {"negated _bias", Effect("ps_1_1\n def c0, 0.75, 1, 0.875, 0\n def c1, 1, 1, 1, 1\n"
                                 " add r0, c1, -c0_bias\n"), 0xBF809F},
        {"1 - register", Effect("ps_1_1\n def c0, 0.25, 0.5, 0.75, 0\n mov r0, 1-c0\n"), 0xBF8040},
        {"_x2 result", Effect("ps_1_1\n def c0, 0.25, 0.125, 0.5, 0\n def c1, 1, 1, 1, 1\n"
                              " mul_x2 r0, c0, c1\n"), 0x8040FF},
        {"_d2 result", Effect("ps_1_1\n def c0, 1, 0.5, 0.25, 0\n def c1, 1, 1, 1, 1\n"
                              " mul_d2 r0, c0, c1\n"), 0x804020},
        {"_sat before the next instruction", Effect("ps_1_1\n def c0, 0.75, 0.75, 0.75, 0\n"
                                                    " def c1, 0.5, 0.5, 0.5, 0\n add_sat r1, c0, c0\n"
                                                    " sub r0, r1, c1\n"), 0x808080},
        {"ps_1_4 _x2 source", Effect("ps_1_4\n def c0, 0.25, 0.375, 0.5, 0\n mov r0, c0_x2\n"), 0x80BFFF},
        {"co-issued pair reads before either writes",
         Effect("ps_1_1\n def c0, 0.25, 0.25, 0.25, 0.25\n def c1, 0.75, 0.75, 0.75, 0.75\n mov r1, c0\n"
                " mul r1.rgb, c1, c1\n + add r1.a, r1.b, r1.b\n mov r0, r1.a\n"), 0x808080},
        {"ps_1_1 cnd tests r0.a", Effect("ps_1_1\n def c0, 1, 0, 0, 0.5\n def c1, 0, 1, 0, 0\n"
                                        " def c2, 0, 0, 1, 0\n mov r0, c0\n cnd r0, r0.a, c1, c2\n"), 0x0000FF},
        {"ps_1_4 cnd by component", Effect("ps_1_4\n def c0, 0.75, 0.25, 0.75, 0\n def c1, 1, 1, 1, 1\n"
                                          " def c2, 0.5, 0.5, 0.5, 0.5\n cnd r0, c0, c1, c2\n"), 0xFF80FF},
        {"cmp", Effect("ps_2_0\n def c0, 0, -0.5, 0.5, 0\n def c1, 1, 1, 1, 1\n def c2, 0.25, 0.25, 0.25, 0\n"
                       " cmp r0, c0, c1, c2\n mov oC0, r0\n"), 0xFF40FF},
        {"lrp", Effect("ps_1_1\n def c0, 0.25, 0.5, 1, 0\n def c1, 1, 1, 1, 1\n def c2, 0, 0.5, 0, 0\n"
                       " lrp r0, c0, c1, c2\n"), 0x40BFFF},
        {"dp3 leaves w out", Effect("ps_1_1\n def c0, 0.5, 0.25, 0.25, 1\n def c1, 0.5, 0.5, 1, 1\n"
                                    " dp3 r0, c0, c1\n"), 0x9F9F9F},
        {"ps_1_x constants read clamped to -1..1",
         Effect("ps_1_1\n def c1, 0.5, 0.5, 0.5, 0.5\n mul r0, c0, c1\n", "PixelShaderConstant[0] = {2, -1, 0.5, 1};"),
         0x800040},
        // The texture instructions of ps_1_x. Stage 0 holds one texel (A 0.75, R 0.25, G 0.25,
        // B 0.75), stages 1..3 a 2x2 texture: red, green on top, blue, white below.
        {"texcoord clamps to 0..1", Effect("ps_1_1\n texcoord t0\n mov r0, t0\n",
                                          "VertexShaderConstant[4] = {1.5, 0.25, -0.5, 7};"), 0xFF4000},
        {"tex reads its stage at its coordinates", Effect("ps_1_1\n tex t1\n mov r0, t1\n",
                                                          "VertexShaderConstant[5] = {0.75, 0.75, 0, 1};"), 0xFFFFFF},
        {"texreg2ar reads at (a, r)", Effect("ps_1_1\n tex t0\n texreg2ar t1, t0\n mov r0, t1\n"), 0x00FF00},
        {"texreg2gb reads at (g, b)", Effect("ps_1_1\n tex t0\n texreg2gb t1, t0\n mov r0, t1\n"), 0x0000FF},
        {"texm3x2pad, texm3x2tex", Effect("ps_1_1\n texcoord t0\n texm3x2pad t1, t0\n texm3x2tex t2, t0\n mov r0, t2\n",
                                          "VertexShaderConstant[4] = {0.75, 0.25, 0, 1};"
                                          "VertexShaderConstant[5] = {1, 0, 0, 0};"
                                          "VertexShaderConstant[6] = {0, 1, 0, 0};"), 0x00FF00},
        {"texdp3tex", Effect("ps_1_2\n texcoord t0\n texdp3tex t1, t0\n mov r0, t1\n",
                             "VertexShaderConstant[4] = {0.75, 0.25, 0, 1}; VertexShaderConstant[5] = {1, 0, 0, 0};"),
         0x00FF00},
        {"texbem moves by the stage's bump matrix",
         Effect("ps_1_1\n tex t0\n texbem t1, t0\n mov r0, t1\n",
                "VertexShaderConstant[5] = {0.25, 0.25, 0, 1}; BumpEnvMat10[1] = 2.0;"), 0x00FF00},
        {"ps_1_4 texld divides by w with _dw", Effect("ps_1_4\n texld r1, t0_dw\n mov r0, r1\n",
                                                       "VertexShaderConstant[4] = {1.5, 0.5, 0, 2};"), 0x00FF00},
        {"ps_2_0 texldp divides by w", Effect("ps_2_0\n dcl t0\n dcl_2d s1\n texldp r0, t0, s1\n mov oC0, r0\n",
                                             "VertexShaderConstant[4] = {1.5, 0.5, 0, 2};"), 0x00FF00},
        {"dp2add", Effect("ps_2_0\n def c0, 0.5, 0.25, 9, 9\n def c1, 0.5, 1, 9, 9\n def c2, 0.25, 9, 9, 9\n"
                          " dp2add r0, c0, c1, c2.x\n mov oC0, r0\n"), 0xBFBFBF},
        // Vertex shaders, shown through oD0. Matrices fill registers by column, or by row when
        // declared row_major.
        {"m4x4 with a matrix parameter", Effect(kShowPs, "VertexShaderConstant[0] = <M>; VertexShaderConstant[8] = {0, 1, 0, 1};",
                                                "vs_1_1\n dcl_position v0\n m4x4 oPos, v0, c0\n mov oD0, c8\n"),
         0x00FF00, 0.5f},
        {"m4x4 with a row_major parameter", Effect(kShowPs, "VertexShaderConstant4[0] = <R>; VertexShaderConstant[8] = {0, 1, 0, 1};",
                                                   "vs_1_1\n dcl_position v0\n m4x4 oPos, v0, c0\n mov oD0, c8\n"),
         0x00FF00, 0.5f},
        {"vs_1_1 a0 takes the floor", Effect(kShowPs, "VertexShaderConstant[0] = {1.7, 0, 0, 0};"
                                                      "VertexShaderConstant[3] = {0, 1, 0, 1}; VertexShaderConstant[4] = {0, 0, 1, 1};",
                                             "vs_1_1\n dcl_position v0\n mov oPos, v0\n mov a0.x, c0.x\n mov oD0, c[a0.x + 2]\n"),
         0x00FF00},
        {"mova rounds", VertexEffect(" mova a0.x, c0.x\n mov oD0, c[a0.x + 2]\n",
                                     "VertexShaderConstant[0] = {1.5, 0, 0, 0};"
                                     "VertexShaderConstant[3] = {0, 1, 0, 1}; VertexShaderConstant[4] = {0, 0, 1, 1};"),
         0x0000FF},
        {"lit", VertexEffect(" def c0, 0.5, 0.25, 0, 2\n lit r0, c0\n mov oD0, r0.yzxw\n"), 0x8010FF},
        {"dst", VertexEffect(" def c0, 9, 0.5, 0.25, 9\n def c1, 9, 0.5, 9, 0.75\n dst r0, c0, c1\n mov oD0, r0\n"),
         0xFF4040},
        {"vs_1_1 expp", Effect(kShowPs, "", "vs_1_1\n dcl_position v0\n mov oPos, v0\n def c0, 1.25, 0, 0, 0\n"
                                            " def c1, 1, 0.25, 1, 1\n expp r0, c0.x\n mul oD0, r0.yxww, c1\n"),
         0x4080FF},
        {"scalar instructions read the replicated component",
         VertexEffect(" def c0, 0, 4, 16, 2\n rcp r0.x, c0.y\n rsq r0.y, c0.z\n rcp r0.z, c0\n mov oD0, r0\n"), 0x404080},
        {"sge", VertexEffect(" def c0, 0.5, 0.5, 0.5, 0.5\n def c1, 0.25, 0.5, 0.75, 0\n sge oD0, c0, c1\n"), 0xFFFF00},
        {"frc", VertexEffect(" def c0, 1.25, 2.5, -0.25, 0\n frc oD0, c0\n"), 0x4080BF},
        {"sincos", VertexEffect(" def c0, 1.04719755, 0, 0, 0\n mov r0, c0.y\n sincos r0.xy, c0.x, c1, c2\n mov oD0, r0\n"),
         0x80DD00},
        {"loop over aL reads relative constants",
         VertexEffect(" defi i0, 3, 5, 1, 0\n mov r0, c0\n loop aL, i0\n add r0, r0, c[aL]\n endloop\n mov oD0, r0\n",
                      "VertexShaderConstant[0] = {0, 0, 0, 0}; VertexShaderConstant[5] = {0.25, 0, 0, 0};"
                      "VertexShaderConstant[6] = {0, 0.5, 0, 0}; VertexShaderConstant[7] = {0, 0, 0.75, 0};"),
         0x4080BF},
        {"if, else, call, callnz", VertexEffect(" defb b0, true\n def c1, 0, 1, 0, 0\n def c2, 0, 0, 1, 0\n"
                                                " def c3, 1, 0, 0, 0\n if b0\n mov r0, c1\n else\n mov r0, c2\n"
                                                " endif\n callnz l0, !b0\n call l1\n mov oD0, r0\n ret\n"
                                                " label l0\n mov r0, c3\n ret\n label l1\n add r0, r0, c2\n ret\n"),
         0x00FFFF},
    };

    // The textures: stage 0 one texel, stages 1..3 the 2x2 one; read without filtering.
    IDirect3DTexture9* texel = SolidTexture(0xBF4040BF);
    const uint8_t quad[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    IDirect3DTexture9* corners = new sdlgl::SdlTexture(Sdl(), Sdl()->Gl().CreateTexture(2, 2, quad, 1));
    for (DWORD s = 0; s < 4; ++s) {
        device_->SetTexture(s, s == 0 ? texel : corners);
        device_->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    }
    D3DXMATRIX m, r;
    D3DXMatrixTranslation(&m, 0.5f, 0, 0);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r.m[i][j] = m.m[j][i];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sdlgl::GlEffect* e = Make(c.effect);
        if (!e) continue;
        e->SetMatrix("M", &m);
        e->SetMatrix("R", &r);
        Clear(0xFF000000);
        DrawQuad(e, -0.25f, -0.25f, 0.25f, 0.25f);
        EXPECT_TRUE(Near(PixelAt(c.x, 0), c.want, 3));
        e->Release();
    }
    for (DWORD s = 0; s < 4; ++s) device_->SetTexture(s, nullptr);
    texel->Release();
    corners->Release();
}

}  // namespace
}  // namespace sdltest
