// Sampler registers: each sampler a pixel shader reads sits in register sN, device stage N.
// A pass sets the sampler_state of that register (its texture parameter's value, filters,
// addresses) when it begins and at CommitChanges; the device's own SetTexture after
// BeginPass replaces the texture until the next pass.
#include "fx_fixture.h"

namespace sdltest {
namespace {

const char* kPassThrough =
    "struct VO { float4 p : POSITION; float2 uv : TEXCOORD0; };\n"
    "VO VS(float4 p : POSITION, float2 uv : TEXCOORD0) { VO o; o.p = p; o.uv = uv; return o; }\n";

// The engine's order: BeginPass, then the mesh's texture on stage 0, then the draw.
void DrawWithStageTexture(FxTest* t, IDirect3DDevice9* device, ID3DXEffect* e,
                          IDirect3DTexture9* stage0, float x0, float x1) {
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    for (UINT p = 0; p < passes; ++p) {
        ASSERT_EQ(e->BeginPass(p), D3D_OK);
        device->SetTexture(0, stage0);
        XyzVertex v[4] = {{x0, 1, 0.5f, 0, 0}, {x1, 1, 0.5f, 1, 0}, {x0, -1, 0.5f, 0, 1},
                          {x1, -1, 0.5f, 1, 1}};
        device->SetFVF(kXyzTexFvf);
        device->BeginScene();
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(XyzVertex));
        device->EndScene();
        e->EndPass();
    }
    e->End();
    (void)t;
}

TEST_F(FxTest, SamplerStateTextureIsStageZeroThatTheEngineReplaces) {
    // The usual effect file: its one sampler names a texture parameter nobody sets. It is
    // register s0, so the texture the engine puts on stage 0 after BeginPass shows.
    sdlgl::GlEffect* e = Make(std::string(
        "texture BaseTex;\n"
        "sampler2D BaseSampler = sampler_state { Texture = <BaseTex>; MinFilter = Linear;\n"
        "  MagFilter = Linear; };\n") + kPassThrough +
        "float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(BaseSampler, uv); }\n"
        "technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n");
    ASSERT_NE(e, nullptr);
    IDirect3DTexture9* red = SolidTexture(0xFFFF0000);
    IDirect3DTexture9* blue = SolidTexture(0xFF0000FF);
    Clear(0xFF000000);
    DrawWithStageTexture(this, device_, e, red, -1, 0);
    // Without the engine's texture the pass binds the parameter's value.
    ASSERT_EQ(e->SetTexture("BaseTex", blue), D3D_OK);
    DrawQuad(e, 0, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0xFF0000)) << PixelAt(-0.5f, 0);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0x0000FF)) << PixelAt(0.5f, 0);
    // The parameter's null value unbinds stage 0 when the pass begins: black, not the
    // texture the stage had before.
    ASSERT_EQ(e->SetTexture("BaseTex", nullptr), D3D_OK);
    device_->SetTexture(0, red);
    Clear(0xFF808080);
    DrawQuad(e, -1, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(0, 0), 0x000000)) << PixelAt(0, 0);
    EXPECT_EQ(Sdl()->Gl().GetTexture(0), static_cast<sdlgl::SdlTexture*>(red)->Gl())
        << "End puts back the stage's texture";
    device_->SetTexture(0, nullptr);
    e->Release();
    red->Release();
    blue->Release();
}

TEST_F(FxTest, RegistersFollowDeclarationOrderOrTheRegisterGiven) {
    // Detail is declared first, so it is s0 and Base s1; Mask asks for s3. Samplers the code
    // does not read take no register.
    sdlgl::GlEffect* e = Make(std::string(
        "texture DetailTex; texture BaseTex; texture MaskTex; texture UnusedTex;\n"
        "sampler2D Unused = sampler_state { Texture = <UnusedTex>; };\n"
        "sampler2D Detail = sampler_state { Texture = <DetailTex>; AddressU = Clamp; };\n"
        "sampler2D Base = sampler_state { Texture = <BaseTex>; MinFilter = Linear; AddressU = Mirror; };\n"
        "sampler2D Mask : register(s3) = sampler_state { Texture = <MaskTex>; };\n") + kPassThrough +
        "float4 PS(float2 uv : TEXCOORD0) : COLOR {\n"
        "  if (uv.x < 0.33) return tex2D(Detail, uv);\n"
        "  if (uv.x < 0.66) return tex2D(Base, uv);\n"
        "  return tex2D(Mask, uv); }\n"
        "technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n");
    ASSERT_NE(e, nullptr);
    IDirect3DTexture9* red = SolidTexture(0xFFFF0000);
    IDirect3DTexture9* green = SolidTexture(0xFF00FF00);
    IDirect3DTexture9* blue = SolidTexture(0xFF0000FF);
    IDirect3DTexture9* white = SolidTexture(0xFFFFFFFF);
    ASSERT_EQ(e->SetTexture("DetailTex", red), D3D_OK);
    ASSERT_EQ(e->SetTexture("BaseTex", green), D3D_OK);
    ASSERT_EQ(e->SetTexture("MaskTex", blue), D3D_OK);
    ASSERT_EQ(e->SetTexture("UnusedTex", white), D3D_OK);
    sdlgl::GlDevice& gl = Sdl()->Gl();
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    EXPECT_EQ(gl.GetTexture(0), static_cast<sdlgl::SdlTexture*>(red)->Gl());
    EXPECT_EQ(gl.GetTexture(1), static_cast<sdlgl::SdlTexture*>(green)->Gl());
    EXPECT_EQ(gl.GetTexture(2), nullptr);
    EXPECT_EQ(gl.GetTexture(3), static_cast<sdlgl::SdlTexture*>(blue)->Gl());
    EXPECT_EQ(gl.GetSamplerState(0, D3DSAMP_ADDRESSU), 3u);   // Detail's states on s0
    EXPECT_EQ(gl.GetSamplerState(1, D3DSAMP_ADDRESSU), 2u);   // Base's on s1
    EXPECT_EQ(gl.GetSamplerState(1, D3DSAMP_MINFILTER), 2u);
    e->EndPass();
    e->End();
    EXPECT_EQ(gl.GetTexture(1), nullptr);
    EXPECT_EQ(gl.GetSamplerState(1, D3DSAMP_ADDRESSU), 1u);   // restored
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(-0.7f, 0), 0xFF0000));
    EXPECT_TRUE(Near(PixelAt(0, 0), 0x00FF00));
    EXPECT_TRUE(Near(PixelAt(0.7f, 0), 0x0000FF));
    e->Release();
    for (IDirect3DTexture9* t : {red, green, blue, white}) t->Release();
}

TEST_F(FxTest, CommitChangesSendsTexturesSetInsideThePass) {
    sdlgl::GlEffect* e = Make(std::string(
        "texture Tex; bool Blend = false;\n"
        "sampler S = sampler_state { Texture = (Tex); };\n") + kPassThrough +
        "float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(S, uv); }\n"
        "technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();\n"
        "  AlphaBlendEnable = <Blend>; } }\n");
    ASSERT_NE(e, nullptr);
    IDirect3DTexture9* red = SolidTexture(0xFFFF0000);
    IDirect3DTexture9* green = SolidTexture(0xFF00FF00);
    IDirect3DTexture9* blue = SolidTexture(0xFF0000FF);
    sdlgl::GlDevice& gl = Sdl()->Gl();
    auto GlOf = [](IDirect3DTexture9* t) { return static_cast<sdlgl::SdlTexture*>(t)->Gl(); };
    ASSERT_EQ(e->SetTexture("Tex", red), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    EXPECT_EQ(gl.GetTexture(0), GlOf(red));
    ASSERT_EQ(e->SetTexture("Tex", green), D3D_OK);
    EXPECT_EQ(gl.GetTexture(0), GlOf(red)) << "not before CommitChanges";
    ASSERT_EQ(e->CommitChanges(), D3D_OK);
    EXPECT_EQ(gl.GetTexture(0), GlOf(green));
    // The device's own texture stays through a commit that changes nothing of the sampler,
    // while a state reading a changed parameter is sent.
    device_->SetTexture(0, blue);
    ASSERT_EQ(e->SetFloat("Blend", 1), D3D_OK);
    ASSERT_EQ(e->CommitChanges(), D3D_OK);
    EXPECT_EQ(gl.GetTexture(0), GlOf(blue));
    EXPECT_EQ(gl.GetRenderState(D3DRS_ALPHABLENDENABLE), 1u);
    e->EndPass();
    // The next pass begins with the parameter's texture again.
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    EXPECT_EQ(gl.GetTexture(0), GlOf(green));
    e->EndPass();
    e->End();
    EXPECT_EQ(e->CommitChanges(), D3D_OK);   // outside a pass: nothing to do
    e->Release();
    for (IDirect3DTexture9* t : {red, green, blue}) t->Release();
}

TEST_F(FxTest, LoopAndBranchAttributesKeepTheAlphaTest) {
    sdlgl::GlEffect* e = Make(std::string(
        "static const float Weights[3] = {0.25, 0.25, 0.5};\n"
        "float4 Colour = {1, 1, 1, 1};\n") + kPassThrough +
        "float4 PS(float2 uv : TEXCOORD0) : COLOR {\n"
        "  float4 c = 0;\n"
        "  [unroll] for (int i = 0; i < 3; i++) c += Colour * Weights[i];\n"
        "  [loop] for (int j = 0; j < 2; j++) c.a *= 1;\n"
        "  [branch] if (uv.x > 0.5) c.a = 0.2; \n"
        "  [flatten] if (uv.y > 2) c = 0;\n"
        "  return c; }\n"
        "technique T { pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS();\n"
        "  AlphaTestEnable = true; AlphaFunc = Greater; AlphaRef = 128; } }\n");
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0xFFFFFF));
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0x000000)) << "alpha 0.2 fails the test";
    e->Release();
}

}  // namespace
}  // namespace sdltest
