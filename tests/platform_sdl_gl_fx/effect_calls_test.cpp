// Effect calls and their results: creation failures with messages, parameters by name,
// state saved by Begin and restored by End, pass order.
#include <functional>

#include "fx_fixture.h"

namespace sdltest {
namespace {

const char* kOnePass =
    "technique Main { pass P0 { VertexShader = compile vs_2_0 VS();\n"
    "                           PixelShader = compile ps_2_0 PS(); } }\n";

TEST_F(FxTest, CompileErrorsFailWithFileAndLine) {
    std::string messages;
    std::string broken = "float4 Colour;\n"
                         "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
                         "float4 PS() : COLOR { return Colour + undefinedThing; }\n" +
                         std::string(kOnePass);
    HRESULT hr = TryMake(broken, messages);
    EXPECT_LT(hr, 0);
    EXPECT_NE(messages.find("test.fx(3,39): error X3004: 'undefinedThing'"), std::string::npos) << messages;
    EXPECT_NE(messages.find("undefinedThing"), std::string::npos) << messages;
    // Effect syntax errors, unknown profiles and missing entry points fail the same way.
    EXPECT_LT(TryMake("float4 x = ;\ntechnique { pass { } }", messages), 0);
    EXPECT_NE(messages.find("test.fx("), std::string::npos) << messages;
    EXPECT_LT(TryMake(ColourEffect("technique T { pass { VertexShader = compile vs_9_0 VS(); } }"),
                      messages), 0);
    EXPECT_LT(TryMake(ColourEffect("technique T { pass { VertexShader = compile vs_2_0 Nope();\n"
                                   "PixelShader = compile ps_2_0 PS(); } }"), messages), 0);
    // A missing file.
    ID3DXEffect* e = reinterpret_cast<ID3DXEffect*>(1);
    EXPECT_LT(library_->CreateFromFile("no\\such\\file.fx", &e, messages), 0);
    EXPECT_EQ(e, nullptr);
    EXPECT_LT(library_->CreateFromFile("/tmp", &e, messages), 0);   // a folder
}

TEST_F(FxTest, UndeclaredOrMistypedParametersFailAndChangeNothing) {
    sdlgl::GlEffect* e = Make(
        "float4x4 M; float4 Colour = {0.5, 0.5, 0.5, 1}; float Scale = 2; bool Flag; int Count;\n"
        "float4 Arr[2];\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p, M) * Scale; }\n"
        "float4 PS() : COLOR { return Flag ? Colour * Count : Arr[1]; }\n" + std::string(kOnePass));
    ASSERT_NE(e, nullptr);
    D3DXVECTOR4 v(1, 2, 3, 4);
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    std::vector<float> before, after;
    ASSERT_TRUE(e->GetValue("Colour", before));
    EXPECT_EQ(e->SetVector("colour", &v), D3DERR_INVALIDCALL);   // names are case-sensitive
    EXPECT_EQ(e->SetVector("Nothing", &v), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetFloat(nullptr, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetMatrix("Colour", &m), D3DERR_INVALIDCALL);   // not a matrix
    EXPECT_EQ(e->SetVector("M", &v), D3DERR_INVALIDCALL);        // not a vector
    EXPECT_EQ(e->SetVector("Arr", &v), D3DERR_INVALIDCALL);      // an array
    ASSERT_TRUE(e->GetValue("Colour", after));
    EXPECT_EQ(before, after);
    EXPECT_EQ(after, (std::vector<float>{0.5f, 0.5f, 0.5f, 1}));   // the initialiser
    // Conversions that work: a vector into a scalar takes x, a float into a bool is 0 or 1.
    EXPECT_EQ(e->SetVector("Scale", &v), D3D_OK);
    EXPECT_EQ(e->SetFloat("Flag", 0.25f), D3D_OK);
    EXPECT_EQ(e->SetFloat("Count", 2.75f), D3D_OK);
    e->GetValue("Scale", after);
    EXPECT_EQ(after, std::vector<float>{1});
    e->GetValue("Flag", after);
    EXPECT_EQ(after, std::vector<float>{1});
    e->GetValue("Count", after);
    EXPECT_EQ(after, std::vector<float>{2});
    e->Release();
}

TEST_F(FxTest, NamesFindTheirOwnParameterWhateverTheirLengthOrPrefix) {
    // Names that begin like others, and names too long to be stored inside a short string.
    sdlgl::GlEffect* e = Make(
        "float4x4 mat_World_View_Proj_Long; float4x4 mat; float Light; float LightSpecular_Itens;\n"
        "float4 LightPos; float4 Lights[2];\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p, mat_World_View_Proj_Long); }\n"
        "float4 PS() : COLOR { return LightPos * Light * LightSpecular_Itens + Lights[1] +\n"
        "    mat[0]; }\n" + std::string(kOnePass));
    ASSERT_NE(e, nullptr);
    D3DXMATRIX m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    D3DXVECTOR4 v(1, 2, 3, 4), w(5, 6, 7, 8);
    EXPECT_EQ(e->SetMatrix("mat_World_View_Proj_Long", &m), D3D_OK);
    EXPECT_EQ(e->SetFloat("Light", 0.25f), D3D_OK);
    EXPECT_EQ(e->SetFloat("LightSpecular_Itens", 0.75f), D3D_OK);
    EXPECT_EQ(e->SetVector("LightPos", &v), D3D_OK);
    EXPECT_EQ(e->SetVector("Lights[1]", &w), D3D_OK);
    EXPECT_EQ(e->SetFloat("LightSpec", 1), D3DERR_INVALIDCALL);    // a prefix names nothing
    EXPECT_EQ(e->SetFloat("Lights[1", 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetFloat("", 1), D3DERR_INVALIDCALL);
    std::vector<float> got;
    ASSERT_TRUE(e->GetValue("mat_World_View_Proj_Long", got));
    EXPECT_EQ(got, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    ASSERT_TRUE(e->GetValue("mat", got));
    EXPECT_EQ(got, std::vector<float>(16, 0.0f)) << "a shorter name is another parameter";
    ASSERT_TRUE(e->GetValue("Light", got));
    EXPECT_EQ(got, std::vector<float>{0.25f});
    ASSERT_TRUE(e->GetValue("LightSpecular_Itens", got));
    EXPECT_EQ(got, std::vector<float>{0.75f});
    ASSERT_TRUE(e->GetValue("Lights", got));
    EXPECT_EQ(got, (std::vector<float>{0, 0, 0, 0, 5, 6, 7, 8}));
    // A handle from GetParameterByName and the name itself reach the same value; the value
    // set last wins, whichever way it was named.
    D3DXHANDLE h = e->GetParameterByName(nullptr, "LightPos");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(e->SetVector(h, &w), D3D_OK);
    D3DXVECTOR4 back;
    EXPECT_EQ(e->GetVector("LightPos", &back), D3D_OK);
    EXPECT_EQ(back, w);
    e->Release();
}

TEST_F(FxTest, EndRestoresTheStatesThePassesChanged) {
    sdlgl::GlEffect* e = Make(ColourEffect(
        "technique T { pass A { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();\n"
        "  AlphaBlendEnable = TRUE; SrcBlend = SrcAlpha; DestBlend = InvSrcAlpha; ZWRITEENABLE = false;\n"
        "  ZEnable = false; ZFunc = Always; CullMode = None; FillMode = Wireframe; }\n"
        "  pass B { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();\n"
        "  BlendOp = RevSubtract; ColorWriteEnable = Red | Green; } }\n"));
    ASSERT_NE(e, nullptr);
    sdlgl::GlDevice& gl = Sdl()->Gl();
    const uint32_t states[] = {27, 19, 20, 14, 7, 23, 22, 8, 171, 168};
    std::vector<uint32_t> original;
    for (uint32_t s : states) original.push_back(gl.GetRenderState(s));
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 2u);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    EXPECT_EQ(gl.GetRenderState(27), 1u);
    EXPECT_EQ(gl.GetRenderState(19), 5u);
    EXPECT_EQ(gl.GetRenderState(20), 6u);
    EXPECT_EQ(gl.GetRenderState(14), 0u);
    EXPECT_EQ(gl.GetRenderState(7), 0u);
    EXPECT_EQ(gl.GetRenderState(23), 8u);
    EXPECT_EQ(gl.GetRenderState(22), 1u);
    EXPECT_EQ(gl.GetRenderState(8), 2u);
    ASSERT_EQ(e->EndPass(), D3D_OK);
    ASSERT_EQ(e->BeginPass(1), D3D_OK);
    EXPECT_EQ(gl.GetRenderState(171), 3u);
    EXPECT_EQ(gl.GetRenderState(168), 3u);
    ASSERT_EQ(e->EndPass(), D3D_OK);
    ASSERT_EQ(e->End(), D3D_OK);
    for (size_t i = 0; i < original.size(); ++i)
        EXPECT_EQ(gl.GetRenderState(states[i]), original[i]) << "state " << states[i];
    // Drawing after End uses the device's own pipeline again: an opaque fixed-function rect.
    Clear(0xFF000000);
    device_->BeginScene();
    Rect(10, 10, 50, 50, 0xFF804020);
    device_->EndScene();
    ReadBack();
    EXPECT_TRUE(Near(Pixel(30, 30), 0x804020));
    // With D3DXFX_DONOTSAVESTATE the pass states stay.
    ASSERT_EQ(e->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
    e->BeginPass(0);
    e->EndPass();
    e->End();
    EXPECT_EQ(gl.GetRenderState(8), 2u);
    gl.SetRenderState(8, 3);
    gl.SetProgramOverride({});
    e->Release();
}

TEST_F(FxTest, CallsOutOfOrderFail) {
    sdlgl::GlEffect* e = Make(ColourEffect(kOnePass));
    ASSERT_NE(e, nullptr);
    UINT passes = 0;
    EXPECT_EQ(e->BeginPass(0), D3DERR_INVALIDCALL);   // before Begin
    EXPECT_EQ(e->End(), D3DERR_INVALIDCALL);
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(e->Begin(&passes, 0), D3DERR_INVALIDCALL);   // twice
    EXPECT_EQ(e->BeginPass(1), D3DERR_INVALIDCALL);       // past the last pass
    EXPECT_EQ(e->EndPass(), D3DERR_INVALIDCALL);          // no pass begun
    EXPECT_EQ(e->End(), D3D_OK);
    e->Release();
}

TEST_F(FxTest, ValuesPersistAcrossPassesAndCompileArgumentsBind) {
    // Two passes add the same colour; the second pass's shader also takes a compile argument.
    sdlgl::GlEffect* e = Make(
        "float4 Colour;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
        "float4 PS(uniform float gain) : COLOR { return Colour * gain; }\n"
        "technique T {\n"
        "  pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(1.0); }\n"
        "  pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(0.5f);\n"
        "         AlphaBlendEnable = true; SrcBlend = ONE; DestBlend = D3DBLEND_ONE; } }\n");
    ASSERT_NE(e, nullptr);
    D3DXVECTOR4 c(0.4f, 0.2f, 0.0f, 1);
    e->SetVector("Colour", &c);
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(0, 0), 0x994C00));   // 0.4 + 0.2, 0.2 + 0.1
    e->Release();
}

}  // namespace
}  // namespace sdltest

namespace sdltest {
namespace {

TEST_F(FxTest, StatesFromParametersAndSamplerStatesOfTheUnit) {
    sdlgl::GlEffect* e = Make(
        "bool UseBlend = true; float4 Colour;\n"
        "texture Tex;\n"
        "sampler S = sampler_state { Texture = <Tex>; MinFilter = Point; MagFilter = Linear;\n"
        "                            AddressU = Clamp; };\n"
        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
        "float4 PS() : COLOR { return tex2D(S, float2(0, 0)) * Colour; }\n"
        "technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();\n"
        "  AlphaBlendEnable = <UseBlend>; } }\n");
    ASSERT_NE(e, nullptr);
    sdlgl::GlDevice& gl = Sdl()->Gl();
    uint32_t minBefore = gl.GetSamplerState(0, 6), addressBefore = gl.GetSamplerState(0, 1);
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    EXPECT_EQ(gl.GetRenderState(27), 1u);
    EXPECT_EQ(gl.GetSamplerState(0, 6), 1u);   // the sampler's register, s0
    EXPECT_EQ(gl.GetSamplerState(0, 5), 2u);
    EXPECT_EQ(gl.GetSamplerState(0, 1), 3u);
    e->EndPass();
    e->End();
    EXPECT_EQ(gl.GetRenderState(27), 0u);
    EXPECT_EQ(gl.GetSamplerState(0, 6), minBefore);
    EXPECT_EQ(gl.GetSamplerState(0, 1), addressBefore);
    // The parameter is read when the pass begins.
    ASSERT_EQ(e->SetFloat("UseBlend", 0), D3D_OK);
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    EXPECT_EQ(gl.GetRenderState(27), 0u);
    e->EndPass();
    e->End();
    e->Release();
}

// A state of any kind whose value names a parameter, `<name>` or `(name)`, follows what the
// program sets: read when the pass begins, and at CommitChanges inside the pass.
TEST_F(FxTest, StatesNamingParametersFollowThem) {
    sdlgl::GlDevice& gl = Sdl()->Gl();
    auto Transform = [&gl](uint32_t kind) {
        float m[16] = {};
        gl.GetTransform(kind, m);
        return m[12];   // the x of the translation row
    };
    struct Case {
        const char* state;   // the assignment; the parameters are declared below
        const char* param;
        float first, second;   // values set before the pass and inside it
        std::function<float()> read;
    };
    const Case cases[] = {
        {"WorldTransform[0] = <Ident>;", "Ident", 2, 3, [&] { return Transform(256); }},
        {"TextureTransform[0] = <DetailTexture>;", "DetailTexture", 4, 5, [&] { return Transform(16); }},
        {"ViewTransform = (Bones[1]);", "Bones[1]", 6, 7, [&] { return Transform(2); }},
        {"MaterialAmbient = (m_a);", "m_a", 0.25f, 0.5f, [&] { return gl.GetMaterial().ambient[1]; }},
        {"TextureFactor = (Factor2x);", "Factor2x", static_cast<float>(int32_t(0x80808080u)),
         static_cast<float>(int32_t(0xFF204080u)),
         [&] { return static_cast<float>(static_cast<int32_t>(gl.GetRenderState(60))); }},
        {"AlphaRef = <Ref>;", "Ref", 16, 200, [&] { return static_cast<float>(gl.GetRenderState(24)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        sdlgl::GlEffect* e = Make(
            std::string("float4x4 Ident, DetailTexture, Bones[2]; float4 m_a; int Factor2x, Ref;\n"
                        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
                        "float4 PS() : COLOR { return 1; }\n"
                        "technique T { pass { VertexShader = compile vs_2_0 VS();\n"
                        "  PixelShader = compile ps_2_0 PS(); ") +
            c.state + " } }\n");
        if (!e) continue;
        auto Set = [&](float v) {
            std::string name = c.param;
            if (name == "Factor2x" || name == "Ref") {
                int i = static_cast<int>(v);
                return e->SetValue(c.param, &i, sizeof i);
            }
            if (name == "m_a") {
                D3DXVECTOR4 colour(0, v, 0, 1);
                return e->SetVector(c.param, &colour);
            }
            D3DXMATRIX m;
            D3DXMatrixTranslation(&m, v, 0, 0);
            return e->SetMatrix(c.param, &m);
        };
        ASSERT_EQ(Set(c.first), D3D_OK);
        UINT passes = 0;
        ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
        ASSERT_EQ(e->BeginPass(0), D3D_OK);
        EXPECT_EQ(c.read(), c.first);
        ASSERT_EQ(Set(c.second), D3D_OK);
        e->CommitChanges();
        EXPECT_EQ(c.read(), c.second);
        e->EndPass();
        e->End();
        e->Release();
    }
}

}  // namespace
}  // namespace sdltest
