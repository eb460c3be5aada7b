// Passes with only one of the two shaders, the other stage being Direct3D's fixed-function
// one, and the effect states that feed the fixed-function stages (texture stage, transform
// and lighting states); names that are no states fail the effect.
#include "fx_fixture.h"

namespace sdltest {
namespace {

class FixedStageTest : public FxTest {
protected:
    // A 2x1 texture: red on the left texel, blue on the right.
    IDirect3DTexture9* RedBlue() {
        uint8_t rgba[8] = {0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0xFF};
        return new sdlgl::SdlTexture(Sdl(), Sdl()->Gl().CreateTexture(2, 1, rgba, 1));
    }
    // Every pass begun, then stage 0's texture set as the engine sets it.
    void DrawTextured(ID3DXEffect* e, IDirect3DTexture9* texture) {
        UINT passes = 0;
        ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
        for (UINT p = 0; p < passes; ++p) {
            ASSERT_EQ(e->BeginPass(p), D3D_OK);
            device_->SetTexture(0, texture);
            DrawQuadPlain(-0.8f, -0.8f, 0.8f, 0.8f);
            e->EndPass();
        }
        e->End();
        device_->SetTexture(0, nullptr);
    }
    static bool Near(Rgb c, int r, int g, int b) {
        auto Close = [](int x, int y) { return x - y < 12 && y - x < 12; };
        return Close(c.r, r) && Close(c.g, g) && Close(c.b, b);
    }
};

const char* kTexturedPs =
    "texture Base;\n"
    "sampler2D S = sampler_state { Texture = <Base>; };\n"
    "float4 PS(float2 uv : TEXCOORD0, float4 c : COLOR0) : COLOR { return tex2D(S, uv) * c; }\n";

TEST_F(FixedStageTest, PixelShaderTakesFixedFunctionColoursAndCoordinates) {
    IDirect3DTexture9* texture = RedBlue();
    for (const char* profile : {"ps_1_1", "ps_1_4", "ps_2_0"}) {
        SCOPED_TRACE(profile);
        // Unlit: the vertex colour, white when the format has none.
        sdlgl::GlEffect* e = Make(std::string(kTexturedPs) +
                                  "technique T { pass P { Lighting = FALSE; PixelShader = compile " +
                                  profile + " PS(); } }\n");
        if (!e) continue;
        Clear(0xFF000000);
        DrawTextured(e, texture);
        EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 255, 0, 0)) << PixelAt(-0.5f, 0);
        EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0, 0, 255)) << PixelAt(0.5f, 0);
        e->Release();
    }
    // Lit without lights: global ambient times the material's ambient plus its emissive.
    sdlgl::GlEffect* e = Make(std::string(kTexturedPs) +
                              "technique T { pass P { Lighting = TRUE; Ambient = 0xFF808080;\n"
                              " MaterialAmbient = {1, 1, 1, 1}; MaterialEmissive = {0, 0.5, 0, 1};\n"
                              " PixelShader = compile ps_2_0 PS(); } }\n");
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawTextured(e, texture);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 128, 0, 0)) << PixelAt(-0.5f, 0);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0, 0, 128)) << PixelAt(0.5f, 0);
    e->Release();
    texture->Release();
}

TEST_F(FixedStageTest, TextureCoordinateStatesReachThePixelShader) {
    IDirect3DTexture9* texture = RedBlue();
    // Half the u range: the quad's right half reads the red texel too.
    sdlgl::GlEffect* e = Make(std::string(kTexturedPs) +
                              "float4x4 Halve = {0.5, 0, 0, 0,  0, 1, 0, 0,  0, 0, 1, 0,  0, 0, 0, 1};\n"
                              "technique T { pass P { Lighting = FALSE;\n"
                              " TextureTransformFlags[0] = Count2; TextureTransform[0] = <Halve>;\n"
                              " PixelShader = compile ps_2_0 PS(); } }\n");
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawTextured(e, texture);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 255, 0, 0)) << PixelAt(0.5f, 0);
    // The translation of a two-coordinate set sits in the third row.
    D3DXMATRIX shift;
    D3DXMatrixIdentity(&shift);
    shift._31 = 0.5f;
    ASSERT_EQ(e->SetMatrix("Halve", &shift), D3D_OK);
    Clear(0xFF000000);
    DrawTextured(e, texture);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0, 0, 255)) << PixelAt(-0.5f, 0);
    e->Release();

    // Stage 1 takes coordinate set 0 through TexCoordIndex; its own set does not exist.
    e = Make("texture Base;\n"
             "sampler2D S = sampler_state { Texture = <Base>; };\n"
             "float4 PS(float2 uv : TEXCOORD1) : COLOR { return tex2D(S, uv); }\n"
             "technique T { pass P { TexCoordIndex[1] = 0; PixelShader = compile ps_2_0 PS(); } }\n"
             "technique U { pass P { PixelShader = compile ps_2_0 PS(); } }\n");
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawTextured(e, texture);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0, 0, 255)) << PixelAt(0.5f, 0);
    ASSERT_EQ(e->SetTechnique("U"), D3D_OK);
    Clear(0xFF000000);
    DrawTextured(e, texture);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 255, 0, 0)) << "a missing set reads (0, 0): " << PixelAt(0.5f, 0);
    e->Release();
    texture->Release();
}

TEST_F(FixedStageTest, FixedFunctionPassesTakeStageZeroCoordinateStatesAndEndRestoresThem) {
    IDirect3DTexture9* texture = RedBlue();
    sdlgl::GlEffect* e = Make(
        "float4x4 Halve = {0.5, 0, 0, 0,  0, 1, 0, 0,  0, 0, 1, 0,  0, 0, 0, 1};\n"
        "technique T { pass P { Lighting = FALSE; VertexShader = NULL; PixelShader = NULL;\n"
        " TextureTransformFlags[0] = Count2; TextureTransform[0] = <Halve>; } }\n");
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawTextured(e, texture);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 255, 0, 0)) << PixelAt(0.5f, 0);
    // After End the device draws with its own states again.
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetTexture(0, texture);
    Clear(0xFF000000);
    DrawQuadPlain(-0.8f, -0.8f, 0.8f, 0.8f);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0, 0, 255)) << PixelAt(0.5f, 0);
    device_->SetTexture(0, nullptr);
    device_->SetRenderState(D3DRS_LIGHTING, TRUE);
    e->Release();
    texture->Release();
}

const char* kColourVs =
    "float4 Colour = {0, 1, 0, 1};\n"
    "struct VOut { float4 p : POSITION; float4 c : COLOR0; float2 uv : TEXCOORD0; };\n"
    "VOut VS(float4 p : POSITION, float2 uv : TEXCOORD0) { VOut o; o.p = p; o.c = Colour; o.uv = uv; return o; }\n";

TEST_F(FixedStageTest, VertexShaderFeedsTheFixedFunctionPixelStage) {
    IDirect3DTexture9* texture = RedBlue();
    sdlgl::GlEffect* e = Make(std::string(kColourVs) +
                              "technique Modulate { pass P { VertexShader = compile vs_2_0 VS(); } }\n"
                              "technique Diffuse { pass P { VertexShader = compile vs_2_0 VS();\n"
                              " PixelShader = NULL; ColorOp[0] = SelectArg2; } }\n");
    ASSERT_NE(e, nullptr);
    D3DXVECTOR4 yellow(1, 1, 0, 1);
    ASSERT_EQ(e->SetVector("Colour", &yellow), D3D_OK);
    Clear(0xFF000000);
    DrawTextured(e, texture);   // texture x colour: red stays, blue goes
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 255, 0, 0)) << PixelAt(-0.5f, 0);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0, 0, 0)) << PixelAt(0.5f, 0);
    ASSERT_EQ(e->SetTechnique("Diffuse"), D3D_OK);
    Clear(0xFF000000);
    DrawTextured(e, texture);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 255, 255, 0)) << PixelAt(0.5f, 0);
    // Without a texture the stage passes the colour on.
    ASSERT_EQ(e->SetTechnique("Modulate"), D3D_OK);
    Clear(0xFF000000);
    DrawTextured(e, nullptr);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 255, 255, 0)) << PixelAt(0.5f, 0);
    e->Release();
    texture->Release();
}

TEST_F(FixedStageTest, AlphaTestAppliesWithEitherStageFixed) {
    // Alpha 0.25 from each kind of pass, tested against 0.5 (pass states) and 0.1 (device).
    const std::string vsOnly = std::string(kColourVs) +
                               "technique T { pass P { VertexShader = compile vs_2_0 VS(); "
                               "AlphaTestEnable = TRUE; AlphaFunc = Greater; AlphaRef = 128; } }\n";
    const std::string psOnly = "float4 Colour = {0, 1, 0, 1};\n"
                               "float4 PS(float4 c : COLOR0) : COLOR { return Colour; }\n"
                               "technique T { pass P { PixelShader = compile ps_1_1 PS(); "
                               "AlphaTestEnable = TRUE; AlphaFunc = Greater; AlphaRef = 128; } }\n";
    for (const std::string* source : {&vsOnly, &psOnly}) {
        SCOPED_TRACE(source == &vsOnly ? "vertex shader only" : "pixel shader only");
        sdlgl::GlEffect* e = Make(*source);
        if (!e) continue;
        D3DXVECTOR4 faint(0, 1, 0, 0.25f);
        ASSERT_EQ(e->SetVector("Colour", &faint), D3D_OK);
        Clear(0xFF000080);
        DrawTextured(e, nullptr);
        EXPECT_TRUE(Near(PixelAt(0, 0), 0, 0, 128)) << "discarded: " << PixelAt(0, 0);
        D3DXVECTOR4 solid(0, 1, 0, 0.75f);
        ASSERT_EQ(e->SetVector("Colour", &solid), D3D_OK);
        Clear(0xFF000080);
        DrawTextured(e, nullptr);
        EXPECT_TRUE(Near(PixelAt(0, 0), 0, 255, 0)) << "kept: " << PixelAt(0, 0);
        e->Release();
    }
    // The device's alpha test, with a pass that sets none of it.
    sdlgl::GlEffect* e = Make(std::string(kColourVs) +
                              "technique T { pass P { VertexShader = compile vs_2_0 VS(); } }\n");
    ASSERT_NE(e, nullptr);
    D3DXVECTOR4 faint(0, 1, 0, 0.25f);
    ASSERT_EQ(e->SetVector("Colour", &faint), D3D_OK);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESS);
    device_->SetRenderState(D3DRS_ALPHAREF, 0x20);
    Clear(0xFF000080);
    DrawTextured(e, nullptr);
    EXPECT_TRUE(Near(PixelAt(0, 0), 0, 0, 128)) << PixelAt(0, 0);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    e->Release();
}

TEST_F(FixedStageTest, StateNamesKnownUnsupportedOrUnknown) {
    const std::string shaders = ColourEffect("");
    std::string messages;
    // Known to Direct3D 9, not carried out here: accepted and named once, however often used.
    EXPECT_EQ(TryMake(shaders +
                      "technique T { pass P { VertexShader = compile vs_2_0 VS();\n"
                      " PixelShader = compile ps_2_0 PS(); FogEnable = TRUE; ClipPlaneEnable = 1;\n"
                      " StencilEnable = FALSE; } pass Q { VertexShader = compile vs_2_0 VS();\n"
                      " PixelShader = compile ps_2_0 PS(); FogEnable = TRUE; } }\n",
                      messages),
              D3D_OK)
        << messages;
    EXPECT_NE(messages.find("FogEnable"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("FogEnable"), messages.rfind("FogEnable")) << messages;
    EXPECT_NE(messages.find("ClipPlaneEnable"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("StencilEnable"), std::string::npos) << "off anyway: " << messages;
    // No state at all, in a pass or in a sampler_state block: the effect fails.
    EXPECT_EQ(TryMake(shaders + "technique T { pass P { VertexShader = compile vs_2_0 VS();\n"
                                " PixelShader = compile ps_2_0 PS(); ZWriteEnabled = TRUE; } }\n",
                      messages),
              D3DXERR_INVALIDDATA);
    EXPECT_NE(messages.find("test.fx(5,1): error X"), std::string::npos) << messages;
    EXPECT_NE(messages.find("ZWriteEnabled"), std::string::npos) << messages;
    EXPECT_EQ(TryMake("texture T;\nsampler2D S = sampler_state { Texture = <T>; Filter = Linear; };\n" +
                          shaders + "technique T { pass P { VertexShader = compile vs_2_0 VS(); } }\n",
                      messages),
              D3DXERR_INVALIDDATA);
    EXPECT_NE(messages.find("Filter"), std::string::npos) << messages;
    // A pass state's name is no sampler state.
    EXPECT_EQ(TryMake("texture T;\nsampler2D S = sampler_state { Texture = <T>; CullMode = None; };\n" +
                          shaders + "technique T { pass P { VertexShader = compile vs_2_0 VS(); } }\n",
                      messages),
              D3DXERR_INVALIDDATA);
}

}  // namespace
}  // namespace sdltest

namespace sdltest {
namespace {

TEST_F(FixedStageTest, EffectLightsLightFixedFunctionPassesAndEndTurnsThemOff) {
    // The quad has no normals: only the lights' ambient parts reach it, and only from
    // lights whose range covers it.
    sdlgl::GlEffect* e = Make(
        "float4 Green = {0, 0.5, 0, 1};\n"
        "technique T { pass P { Lighting = TRUE; Ambient = 0; MaterialAmbient = {1, 1, 1, 1};\n"
        " LightEnable[2] = TRUE; LightType[2] = Point; LightPosition[2] = {0, 0, -1, 1};\n"
        " LightAmbient[2] = <Green>; LightRange[2] = 10; LightAttenuation0[2] = 1;\n"
        " LightEnable[3] = TRUE; LightType[3] = Point; LightPosition[3] = {0, 0, -50, 1};\n"
        " LightAmbient[3] = {1, 0, 0, 1}; LightRange[3] = 10; LightAttenuation0[3] = 1; } }\n");
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawTextured(e, nullptr);
    EXPECT_TRUE(Near(PixelAt(0, 0), 0, 128, 0)) << PixelAt(0, 0);
    // Outside the effect the device has no light on.
    Clear(0xFF000000);
    sdlgl::Material m;
    m.ambient[0] = m.ambient[1] = m.ambient[2] = 1;
    Sdl()->Gl().SetMaterial(m);
    device_->SetRenderState(D3DRS_AMBIENT, 0);
    DrawQuadPlain(-0.8f, -0.8f, 0.8f, 0.8f);
    EXPECT_TRUE(Near(PixelAt(0, 0), 0, 0, 0)) << PixelAt(0, 0);
    Sdl()->Gl().SetMaterial(sdlgl::Material());
    e->Release();
}

}  // namespace
}  // namespace sdltest

namespace sdltest {
namespace {

struct NormalVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

// The device's own lights: a face towards a light is lit, a face away from it is not, a
// spot's cone and a point light's range cut off what lies outside them.
TEST_F(FixedStageTest, DeviceLightsShadeByFacingConeAndRange) {
    IDirect3DTexture9* white = SolidTexture(0xFFFFFFFF);
    D3DMATERIAL9 m{};
    m.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    device_->SetMaterial(&m);
    device_->SetRenderState(D3DRS_AMBIENT, 0);
    device_->SetTexture(0, white);
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    auto Quad = [&](float x0, float x1, float nz) {
        NormalVertex v[4] = {{x0, 0.5f, 0.5f, 0, 0, nz, 0, 0}, {x1, 0.5f, 0.5f, 0, 0, nz, 1, 0},
                             {x0, -0.5f, 0.5f, 0, 0, nz, 0, 1}, {x1, -0.5f, 0.5f, 0, 0, nz, 1, 1}};
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->BeginScene();
        EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(NormalVertex)), D3D_OK);
        device_->EndScene();
        pixels_.clear();
    };
    D3DLIGHT9 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = D3DCOLORVALUE{1, 0.5f, 0, 1};
    sun.Direction = D3DVECTOR{0, 0, 1};
    ASSERT_EQ(device_->SetLight(0, &sun), D3D_OK);
    ASSERT_EQ(device_->LightEnable(0, TRUE), D3D_OK);
    Clear(0xFF000000);
    Quad(-0.9f, -0.1f, -1);   // towards the light
    Quad(0.1f, 0.9f, 1);      // away from it
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 255, 128, 0)) << PixelAt(-0.5f, 0);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0, 0, 0)) << PixelAt(0.5f, 0);

    // A spot in front of the left quad shining along +z, its cone (lit per vertex) around
    // the left quad's corners and short of the right quad's. A point light out of range adds
    // nothing.
    D3DLIGHT9 spot{};
    spot.Type = D3DLIGHT_SPOT;
    spot.Diffuse = D3DCOLORVALUE{0, 1, 0, 1};
    spot.Position = D3DVECTOR{-0.5f, 0, -1};
    spot.Direction = D3DVECTOR{0, 0, 1};
    spot.Range = 100;
    spot.Attenuation0 = 1;
    spot.Theta = 1.0f;
    spot.Phi = 1.2f;
    spot.Falloff = 1;
    D3DLIGHT9 far{};
    far.Type = D3DLIGHT_POINT;
    far.Diffuse = D3DCOLORVALUE{0, 0, 1, 1};
    far.Position = D3DVECTOR{0, 0, -20};
    far.Range = 5;
    far.Attenuation0 = 1;
    ASSERT_EQ(device_->LightEnable(0, FALSE), D3D_OK);
    ASSERT_EQ(device_->SetLight(1, &spot), D3D_OK);
    ASSERT_EQ(device_->LightEnable(1, TRUE), D3D_OK);
    ASSERT_EQ(device_->SetLight(5, &far), D3D_OK);
    ASSERT_EQ(device_->LightEnable(5, TRUE), D3D_OK);
    BOOL on = FALSE;
    ASSERT_EQ(device_->GetLightEnable(5, &on), D3D_OK);
    EXPECT_TRUE(on);
    Clear(0xFF000000);
    Quad(-0.9f, -0.1f, -1);
    Quad(0.5f, 0.9f, -1);
    // The corners see the light at about 23 degrees: N.L = 0.92.
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0, 235, 0)) << PixelAt(-0.5f, 0);
    EXPECT_TRUE(Near(PixelAt(0.7f, 0), 0, 0, 0)) << PixelAt(0.7f, 0);
    device_->LightEnable(1, FALSE);
    device_->LightEnable(5, FALSE);
    device_->SetTexture(0, nullptr);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    white->Release();
}

}  // namespace
}  // namespace sdltest

namespace sdltest {
namespace {

TEST_F(FixedStageTest, SamplerStateBindsASamplerToAStageOfAFixedFunctionPass) {
    IDirect3DTexture9* texture = RedBlue();
    sdlgl::GlEffect* e = Make(
        "texture Base;\n"
        "sampler2D S = sampler_state { Texture = <Base>; AddressU = Clamp; };\n"
        "float4x4 Shift = {1, 0, 0, 0,  0, 1, 0, 0,  0.75, 0, 1, 0,  0, 0, 0, 1};\n"
        "technique T { pass P { Lighting = FALSE; Sampler[0] = <S>;\n"
        " TextureTransformFlags[0] = Count2; TextureTransform[0] = <Shift>; } }\n"
        );
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->SetTexture("Base", texture), D3D_OK);
    Clear(0xFF000000);
    DrawQuad(e, -0.8f, -0.8f, 0.8f, 0.8f);
    // u + 0.75 clamps to the blue texel on the left half too.
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0, 0, 255)) << PixelAt(-0.5f, 0);
    EXPECT_EQ(Sdl()->Gl().GetTexture(0), nullptr) << "End gives the stage back";
    EXPECT_EQ(Sdl()->Gl().GetSamplerState(0, D3DSAMP_ADDRESSU), D3DTADDRESS_WRAP);
    e->Release();
    texture->Release();
    std::string messages;
    EXPECT_EQ(TryMake("texture Base;\ntechnique T { pass P { Sampler[0] = <Base>; } }\n", messages),
              D3DXERR_INVALIDDATA);
    EXPECT_NE(messages.find("sampler parameter"), std::string::npos) << messages;
}

}  // namespace
}  // namespace sdltest
