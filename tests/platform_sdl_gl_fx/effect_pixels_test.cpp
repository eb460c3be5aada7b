// What effects draw: constants reaching the pixels, D3DX matrix packing, blending passes,
// techniques, samplers and effects sharing compiled programs.
#include "fx_fixture.h"

namespace sdltest {
namespace {

const char* kOnePass =
    "technique Main { pass P0 { VertexShader = compile vs_2_0 VS();\n"
    "                           PixelShader = compile ps_2_0 PS(); } }\n";

TEST_F(FxTest, ColourSetWithSetVectorReachesThePixels) {
    sdlgl::GlEffect* e = Make(ColourEffect(kOnePass));
    ASSERT_NE(e, nullptr);
    D3DXVECTOR4 c(0.2f, 0.4f, 0.6f, 1.0f);
    ASSERT_EQ(e->SetVector("Colour", &c), D3D_OK);
    Clear(0xFF000000);
    DrawQuad(e, -0.5f, -0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(Near(PixelAt(0, 0), 0x336699));
    EXPECT_TRUE(Near(PixelAt(-0.8f, 0.8f), 0x000000));   // outside the quad
    // Values persist across frames until set again.
    Clear(0xFF000000);
    DrawQuad(e, -0.5f, -0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(Near(PixelAt(0, 0), 0x336699));
    e->Release();
}

// A quad of half-size 0.1 around the origin, moved by a matrix set with SetMatrix: D3DX
// computes v * M (row vector), so the translation row moves it to (0.5, 0.25); read
// transposed, the matrix would leave it at the origin, bent by w.
TEST_F(FxTest, SetMatrixFollowsD3DXPackingForEveryDeclaration) {
    const char* kinds[] = {
        "float4x4 M;\nfloat4 VS(float4 p : POSITION) : POSITION { return mul(p, M); }\n",
        "row_major float4x4 M;\nfloat4 VS(float4 p : POSITION) : POSITION { return mul(p, M); }\n",
        "column_major float4x4 M;\nfloat4 VS(float4 p : POSITION) : POSITION { return mul(p, M); }\n",
        "float4x3 M;\nfloat4 VS(float4 p : POSITION) : POSITION { return float4(mul(p, M), 1); }\n",
        "matrix M;\nfloat4 VS(float4 p : POSITION) : POSITION {\n"
        "  float4 q = p; q.xyz = mul(p.xyz, (float3x3)M) + M[3].xyz; return q; }\n",
    };
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 0.5f, 0.25f, 0.0f);
    for (const char* vs : kinds) {
        SCOPED_TRACE(vs);
        sdlgl::GlEffect* e = Make(std::string(vs) + "float4 PS() : COLOR { return 1; }\n" + kOnePass);
        ASSERT_NE(e, nullptr);
        ASSERT_EQ(e->SetMatrix("M", &m), D3D_OK);
        Clear(0xFF000000);
        DrawQuad(e, -0.1f, -0.1f, 0.1f, 0.1f);
        EXPECT_TRUE(Near(PixelAt(0.5f, 0.25f), 0xFFFFFF)) << "quad not where v * M puts it";
        EXPECT_TRUE(Near(PixelAt(0, 0), 0x000000)) << "quad left at the origin";
        e->Release();
    }
}

TEST_F(FxTest, MatrixProductMatchesD3DXMath) {
    // World x view x projection built with D3DX, as the engine passes it, against the
    // position D3DXVec3TransformCoord gives for a corner.
    sdlgl::GlEffect* e = Make(
        "float4x4 mat_World_View_Proj;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p, mat_World_View_Proj); }\n"
        "float4 PS() : COLOR { return 1; }\n" + std::string(kOnePass));
    ASSERT_NE(e, nullptr);
    D3DXMATRIX world, view, proj, wvp;
    D3DXMatrixRotationZ(&world, 0.3f);
    D3DXVECTOR3 eye(1, 2, -6), at(1, 2, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 4, float(kWidth) / kHeight, 0.5f, 100.0f);
    wvp = world * view * proj;
    ASSERT_EQ(e->SetMatrix("mat_World_View_Proj", &wvp), D3D_OK);
    Clear(0xFF000000);
    DrawQuad(e, 0.0f, 0.0f, 1.0f, 1.0f);
    // The quad's centre lands where D3DX's math puts it.
    D3DXVECTOR3 centre(0.5f, 0.5f, 0.5f), ndc;
    D3DXVec3TransformCoord(&ndc, &centre, &wvp);
    EXPECT_TRUE(Near(PixelAt(ndc.x, ndc.y), 0xFFFFFF)) << ndc.x << ", " << ndc.y;
    // And a point just outside a corner stays black.
    D3DXVECTOR3 outside(1.15f, 1.15f, 0.5f), o;
    D3DXVec3TransformCoord(&o, &outside, &wvp);
    EXPECT_TRUE(Near(PixelAt(o.x, o.y), 0x000000));
    e->Release();
}

TEST_F(FxTest, AdditiveTechniqueBrightensTheFirst) {
    sdlgl::GlEffect* e = Make(ColourEffect(
        "technique Base { pass P0 { VertexShader = compile vs_2_0 VS();\n"
        "  PixelShader = compile ps_2_0 PS(); AlphaBlendEnable = false; } }\n"
        "technique Add { pass P0 { VertexShader = compile vs_2_0 VS();\n"
        "  PixelShader = compile ps_2_0 PS(); ZWriteEnable = false; ZFunc = LessEqual;\n"
        "  AlphaBlendEnable = true; SrcBlend = One; DestBlend = One; } }\n"));
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    D3DXVECTOR4 base(0.3f, 0.2f, 0.1f, 1), add(0.2f, 0.2f, 0.2f, 1);
    e->SetVector("Colour", &base);
    ASSERT_EQ(e->SetTechnique("Base"), D3D_OK);
    DrawQuad(e, -1, -1, 1, 1);
    e->SetVector("Colour", &add);
    ASSERT_EQ(e->SetTechnique("Add"), D3D_OK);
    DrawQuad(e, -1, -1, 0, 1);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0x7F664C));   // 0.5, 0.4, 0.3
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0x4C331A));    // the first colour alone
    e->Release();
}

TEST_F(FxTest, TechniqueSwitchingPicksTheShaders) {
    sdlgl::GlEffect* e = Make(
        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
        "float4 Red() : COLOR { return float4(1, 0, 0, 1); }\n"
        "float4 Green() : COLOR0 { return float4(0, 1, 0, 1); }\n"
        "technique R { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 Red(); } }\n"
        "technique G { pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 Green(); } }\n");
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 0, 1);   // the first technique is current at first
    ASSERT_EQ(e->SetTechnique("G"), D3D_OK);
    DrawQuad(e, 0, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0xFF0000));
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0x00FF00));
    // An unknown name fails and keeps the current technique.
    EXPECT_EQ(e->SetTechnique("Blue"), D3DERR_INVALIDCALL);
    EXPECT_STREQ(e->CurrentTechnique(), "G");
    e->Release();
}

TEST_F(FxTest, PassStatesApplyWhileThePassRuns) {
    sdlgl::GlEffect* e = Make(ColourEffect(
        "technique Wire { pass { VertexShader = compile vs_2_0 VS();\n"
        "  PixelShader = compile ps_2_0 PS(); FillMode = Wireframe; CullMode = None; } }\n"
        "technique Cull { pass { VertexShader = compile vs_2_0 VS();\n"
        "  PixelShader = compile ps_2_0 PS(); CULLMODE = CW; } }\n"));
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawQuad(e, -0.5f, -0.5f, 0.5f, 0.5f);
    ReadBack();
    EXPECT_TRUE(Near(PixelAt(0.2f, 0.1f), 0x000000)) << "wireframe fills the inside";
    int lit = 0;   // the left edge is drawn
    for (int y = kHeight / 2 - 10; y < kHeight / 2 + 10; ++y)
        for (int x = kWidth / 4 - 2; x <= kWidth / 4 + 2; ++x) lit += Pixel(x, y).r > 200;
    EXPECT_GT(lit, 10);
    // The quad is clockwise on screen: CullMode = CW removes it.
    ASSERT_EQ(e->SetTechnique("Cull"), D3D_OK);
    Clear(0xFF000000);
    DrawQuad(e, -0.5f, -0.5f, 0.5f, 0.5f);
    EXPECT_TRUE(Near(PixelAt(0, 0), 0x000000));
    e->Release();
}

TEST_F(FxTest, ObjectsSharingAnEffectKeepTheirOwnConstants) {
    // The engine's way: one effect, constants set again before each object.
    sdlgl::GlEffect* e = Make(ColourEffect(kOnePass));
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    D3DXVECTOR4 red(1, 0, 0, 1), blue(0, 0, 1, 1);
    e->SetVector("Colour", &red);
    DrawQuad(e, -1, -1, 0, 1);
    e->SetVector("Colour", &blue);
    DrawQuad(e, 0, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0xFF0000));
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0x0000FF));
    // Two effects from the same file share one compile and its programs, yet each draws
    // with its own values whatever the order they were set in.
    int before = library_->Compilations();
    sdlgl::GlEffect* f = Make(ColourEffect(kOnePass));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(library_->Compilations(), before);
    D3DXVECTOR4 green(0, 1, 0, 1);
    e->SetVector("Colour", &red);
    f->SetVector("Colour", &green);
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 0, 1);
    DrawQuad(f, 0, -1, 1, 1);
    DrawQuad(e, -1, -1, -0.5f, 1);
    EXPECT_TRUE(Near(PixelAt(-0.25f, 0), 0xFF0000));
    EXPECT_TRUE(Near(PixelAt(-0.75f, 0), 0xFF0000));
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0x00FF00));
    e->Release();
    f->Release();
}

TEST_F(FxTest, SamplersReadStageZeroOrTheirNamedTexture) {
    sdlgl::GlEffect* e = Make(
        "texture Tex;\n"
        "sampler Named = sampler_state { Texture = <Tex>; MinFilter = Point; MagFilter = Point; };\n"
        "sampler2D Stage0;\n"
        "struct VO { float4 p : POSITION; float2 uv : TEXCOORD0; };\n"
        "VO VS(float4 p : POSITION, float2 uv : TEXCOORD0) { VO o; o.p = p; o.uv = uv; return o; }\n"
        "float4 FromStage(float2 uv : TEXCOORD0) : COLOR { return tex2D(Stage0, uv); }\n"
        "float4 FromNamed(float2 uv : TEXCOORD0) : COLOR { return tex2D(Named, uv); }\n"
        "technique S { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 FromStage(); } }\n"
        "technique N { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 FromNamed(); } }\n");
    ASSERT_NE(e, nullptr);
    IDirect3DTexture9* yellow = SolidTexture(0xFFFFFF00);
    IDirect3DTexture9* cyan = SolidTexture(0xFF00FFFF);
    device_->SetTexture(0, yellow);
    ASSERT_EQ(e->SetTexture("Tex", cyan), D3D_OK);
    EXPECT_EQ(e->SetTexture("Stage0", cyan), D3DERR_INVALIDCALL);   // not a texture
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 0, 1);
    ASSERT_EQ(e->SetTechnique("N"), D3D_OK);
    DrawQuad(e, 0, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0xFFFF00));
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0x00FFFF));
    device_->SetTexture(0, nullptr);
    e->Release();
    yellow->Release();
    cyan->Release();
}

}  // namespace
}  // namespace sdltest

namespace sdltest {
namespace {

TEST_F(FxTest, AlphaTestOfThePassAppliesAfterThePixelShader) {
    sdlgl::GlEffect* e = Make(ColourEffect(
        "technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();\n"
        "  AlphaTestEnable = TRUE; AlphaRef = 0x80; AlphaFunc = Greater; } }\n"));
    ASSERT_NE(e, nullptr);
    D3DXVECTOR4 faint(1, 1, 1, 0.4f), solid(1, 1, 1, 0.7f);
    Clear(0xFF000000);
    e->SetVector("Colour", &faint);
    DrawQuad(e, -1, -1, 0, 1);
    e->SetVector("Colour", &solid);
    DrawQuad(e, 0, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0x000000)) << "alpha 0.4 is not greater than 0x80";
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0xFFFFFF));
    EXPECT_EQ(Sdl()->Gl().GetRenderState(D3DRS_ALPHATESTENABLE), 0u);   // restored by End
    e->Release();
}

TEST_F(FxTest, AlphaTestSetInsideThePassAppliesAtTheDraw) {
    // The pass leaves the test alone; the caller switches it on and off between draws.
    sdlgl::GlEffect* e = Make(ColourEffect(kOnePass));
    ASSERT_NE(e, nullptr);
    D3DXVECTOR4 faint(1, 1, 1, 0.4f);
    e->SetVector("Colour", &faint);
    Clear(0xFF000000);
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device_->SetRenderState(D3DRS_ALPHAREF, 0x80);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    DrawQuadPlain(-1, -1, 0, 1);   // discarded: 0.4 is not greater than 0x80
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_LESS);
    DrawQuadPlain(0, -1, 0.5f, 1);   // kept
    device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_NEVER);
    DrawQuadPlain(0.5f, -1, 1, 1);   // the test is off: NEVER does not apply
    e->EndPass();
    e->End();
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0x000000));
    EXPECT_TRUE(Near(PixelAt(0.25f, 0), 0xFFFFFF));
    EXPECT_TRUE(Near(PixelAt(0.75f, 0), 0xFFFFFF));
    device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    e->Release();
}

// Idioms of effect files written for D3DX: semantics and annotations on parameters, a
// sampler2D with sampler_state, an entry named main taking and returning structs, vs_1_1
// and upper-case profiles, a pass with no pixel shader, a fixed-function pass.
const char* kIdioms = R"(
float4x4 WorldViewProj : WORLDVIEWPROJECTION < string UIName = "wvp"; >;
texture DiffuseMap : DIFFUSE < string ResourceName = "a.bmp"; >;
sampler2D DiffSamp = sampler_state { Texture = <DiffuseMap>; MinFilter = LINEAR;
    MagFilter = LINEAR; MipFilter = NONE; AddressU = WRAP; AddressV = CLAMP; };
samplerCUBE EnvSamp;
static const float Half = 0.5;
bool UseEnv = false;
half4 Tint = {1, 1, 0.5, 1};
struct VS_INPUT { float3 Pos : POSITION; float4 Color : COLOR0; float2 Tex : TEXCOORD0; };
struct VS_OUTPUT { float4 Pos : POSITION; float4 Diffuse : COLOR0; float2 Tex : TEXCOORD0; };
VS_OUTPUT main(VS_INPUT In) {
    VS_OUTPUT Out = (VS_OUTPUT)0;
    Out.Pos = mul(float4(In.Pos, 1), WorldViewProj);
    Out.Diffuse = In.Color * 2;   // clamped to 1 on the way to the pixel shader
    Out.Tex = In.Tex;
    return Out;
}
float4 PSMain(VS_OUTPUT In) : COLOR0 {
    float4 c = tex2D(DiffSamp, In.Tex) * In.Diffuse * Tint;
    if (UseEnv) c += texCUBE(EnvSamp, float3(In.Tex, 1)) * Half;
    clip(c.a - 0.1);
    return c;
}
technique Textured { pass P0 { VertexShader = compile vs_1_1 main();
    PixelShader = compile PS_2_0 PSMain(); Lighting = FALSE; } }
technique VertexOnly { pass { VertexShader = compile vs_2_0 main(); } }
technique Fixed { pass { VertexShader = NULL; PixelShader = NULL; Texture[0] = <DiffuseMap>; } }
)";

TEST_F(FxTest, CommonEffectIdiomsCompileAndDraw) {
    sdlgl::GlEffect* e = Make(kIdioms);
    ASSERT_NE(e, nullptr);
    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    ASSERT_EQ(e->SetMatrix("WorldViewProj", &id), D3D_OK);
    IDirect3DTexture9* tex = SolidTexture(0xFF8040FF);
    ASSERT_EQ(e->SetTexture("DiffuseMap", tex), D3D_OK);
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 0, 1);
    EXPECT_TRUE(Near(PixelAt(-0.5f, 0), 0x80407F)) << "texture x white x tint";
    // No pixel shader: the interpolated colour (white, the vertices have none).
    ASSERT_EQ(e->SetTechnique("VertexOnly"), D3D_OK);
    DrawQuad(e, 0, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(0.5f, 0), 0xFFFFFF));
    // The fixed-function pass binds the texture on stage 0 for its draws only.
    ASSERT_EQ(e->SetTechnique("Fixed"), D3D_OK);
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    EXPECT_EQ(Sdl()->Gl().GetTexture(0), static_cast<sdlgl::SdlTexture*>(tex)->Gl());
    e->EndPass();
    e->End();
    EXPECT_EQ(Sdl()->Gl().GetTexture(0), nullptr);
    e->Release();
    tex->Release();
}

}  // namespace
}  // namespace sdltest

namespace sdltest {
namespace {

TEST_F(FxTest, VaryingsMatchBySemanticNotByOrder) {
    // The vertex shader writes TEXCOORD0 and TEXCOORD1; the pixel shader reads TEXCOORD1
    // only, declared first among its inputs.
    sdlgl::GlEffect* e = Make(
        "struct VO { float4 p : POSITION; float4 a : TEXCOORD0; float4 b : TEXCOORD1; };\n"
        "VO VS(float4 p : POSITION) { VO o; o.p = p; o.a = float4(1, 0, 0, 1);\n"
        "  o.b = float4(0, 0.5, 1, 1); return o; }\n"
        "float4 PS(float4 b : TEXCOORD1) : COLOR { return b; }\n" + std::string(kOnePass));
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(0, 0), 0x0080FF));
    e->Release();
}

// What the Direct3D 9 compiler accepts beyond glslang's HLSL draws what it computes: a global
// the shader writes starts from the value the program set (Gain = 0.2), a varying array in a
// struct takes consecutive registers, names glslang reserves keep their meaning, and statics
// initialised by calls of the file's functions hold what the calls give.
TEST_F(FxTest, Direct3D9ConstructsDrawWhatTheyCompute) {
    const std::string vs = "float4 VS(float4 p : POSITION) : POSITION { return p; }\n";
    struct Case {
        const char* what;
        std::string source;
        D3DCOLOR want;
    };
    const Case cases[] = {
        {"a global float the shader doubles",
         "float Gain = 1;\n" + vs + "float4 PS() : COLOR { Gain *= 2; return float4(Gain, 0, 0, 1); }\n" +
             kOnePass,
         0x660000},
        {"a global array's member assigned, and a global an intrinsic writes",
         "struct Wave { float freq; }; Wave waves[2]; float Gain, S, C;\n" + vs +
             "float4 PS() : COLOR { waves[1].freq = Gain * 3; sincos(0, S, C);\n"
             "  return float4(S, waves[1].freq, C, 1); }\n" + kOnePass,
         0x0099FF},
        {"a varying array in an output struct",
         "float Gain; struct VO { float4 p : POSITION; float2 uv[4] : TEXCOORD0; };\n"
         "VO VS(float4 p : POSITION) { VO o; o.p = p;\n"
         "  for (int i = 0; i < 4; i++) o.uv[i] = float2(i * 0.25, 1 - i * 0.25); return o; }\n"
         "float4 PS(VO i) : COLOR { return float4(i.uv[1].x, i.uv[3].y, i.uv[2].x, 1); }\n"
         "technique T { pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }\n",
         0x404080},
        {"names glslang reserves",
         "float Gain; float3 point = {0, 0.25, 0};\n"
         "float4 sample(float line) { return float4(line, 0, 0, 1); }\n" + vs +
             "float4 PS() : COLOR { float linear = Gain; return sample(linear) + float4(point, 0); }\n" +
             kOnePass,
         0x334000},
        {"statics initialised by a call, from such a static, and passed to the entry",
         "float Gain; float3 Tint(float g) { return float3(g, g * 2, 0); }\n"
         "static const float3 Base = Tint(Gain);\nstatic float3 Twice = Base * 2, Blue = {0, 0, 1};\n" + vs +
             "float4 PS(uniform float3 k) : COLOR { return float4(k + Blue, 1); }\n"
             "technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(Twice); } }\n",
         0x66CCFF},
        {"a static initialised by a call beside a literal compile argument",
         "float Gain; float3 Tint(float g) { return float3(g, g * 2, 0); }\nstatic float3 Base = Tint(Gain);\n" + vs +
             "float4 PS(uniform float k) : COLOR { return float4(Base * k, 1); }\n"
             "technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(2); } }\n",
         0x66CC00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sdlgl::GlEffect* e = Make(c.source);
        if (!e) continue;
        EXPECT_EQ(e->SetFloat("Gain", 0.2f), D3D_OK);
        Clear(0xFF000000);
        DrawQuad(e, -1, -1, 1, 1);
        EXPECT_TRUE(Near(PixelAt(0, 0), c.want)) << PixelAt(0, 0);
        e->Release();
    }
}

}  // namespace
}  // namespace sdltest

namespace sdltest {
namespace {

TEST_F(FxTest, DdyFollowsTheScreenDownwards) {
    // A value growing down the screen has a positive ddy and a zero ddx.
    sdlgl::GlEffect* e = Make(
        "struct V { float4 p : POSITION; float down : TEXCOORD0; };\n"
        "V VS(float4 p : POSITION) { V v; v.p = p; v.down = -p.y * 100; return v; }\n"
        "float4 PS(float down : TEXCOORD0) : COLOR {\n"
        "  return float4(ddx(down) != 0 ? 1 : 0, ddy(down) > 0 ? 1 : 0, ddy(down) < 0 ? 1 : 0, 1); }\n"
        "technique T { pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS();\n"
        "  CullMode = None; } }\n");
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 1, 1);
    EXPECT_TRUE(Near(PixelAt(0.3f, 0.3f), 0x00FF00)) << PixelAt(0.3f, 0.3f);
    EXPECT_TRUE(Near(PixelAt(-0.6f, -0.5f), 0x00FF00)) << PixelAt(-0.6f, -0.5f);
    e->Release();
}

TEST_F(FxTest, PositionAndFaceSemanticsOfPixelShaders) {
    // SV_Position out of the vertex shader; VPOS (pixel coordinates from the top left) and
    // VFACE (positive on the front) into ps_3_0.
    sdlgl::GlEffect* e = Make(
        "float4 VS(float4 p : POSITION) : SV_Position { return p; }\n"
        "float4 PS(float2 vpos : VPOS, float face : VFACE) : COLOR {\n"
        "  return float4(vpos.x / 255, vpos.y / 255, face > 0 ? 1 : 0, 1); }\n"
        "technique T { pass { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS();\n"
        "  CullMode = None; } }\n");
    ASSERT_NE(e, nullptr);
    Clear(0xFF000000);
    DrawQuad(e, -1, -1, 1, 1);
    ReadBack();
    EXPECT_TRUE(Near(Pixel(100, 20), 0x6414FF)) << Pixel(100, 20);
    EXPECT_TRUE(Near(Pixel(30, 150), 0x1E96FF)) << Pixel(30, 150);
    e->Release();
}

}  // namespace
}  // namespace sdltest
