// Array parameters of Direct3D 9 style effects on a textured cube: lights in arrays set
// with SetVectorArray, SetFloatArray, element handles and SetValue, and a palette of
// matrices set with SetMatrixArray. Each visible face must show its texture lit as the
// effect's formula says, computed here from the same values.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "fx_fixture.h"

namespace sdltest {
namespace {

struct V3 {
    float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Normalize(V3 a) { return a * (1.0f / std::sqrt(Dot(a, a))); }
// Row vector times matrix, w = 1 for points and 0 for directions.
V3 Mul(V3 v, const D3DXMATRIX& m, float w) {
    return {v.x * m._11 + v.y * m._21 + v.z * m._31 + w * m._41,
            v.x * m._12 + v.y * m._22 + v.z * m._32 + w * m._42,
            v.x * m._13 + v.y * m._23 + v.z * m._33 + w * m._43};
}

// A face of the unit cube: outward normal and the axes its texture's u and v run along.
struct Face {
    V3 n, u, v;
    V3 At(float s, float t) const { return (n + u * s + v * t) * 0.5f; }   // s, t in -1..1
};
const Face kFaces[6] = {{{0, 0, -1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, 1}, {-1, 0, 0}, {0, 1, 0}},
                        {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},   {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
                        {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},   {{0, -1, 0}, {1, 0, 0}, {0, 0, -1}}};

std::vector<LitVertex> Cube() {
    std::vector<LitVertex> out;
    const float corners[6][2] = {{-1, 1}, {1, 1}, {-1, -1}, {-1, -1}, {1, 1}, {1, -1}};
    for (const Face& f : kFaces)
        for (const auto& c : corners) {
            V3 p = f.At(c[0], c[1]);
            out.push_back({p.x, p.y, p.z, f.n.x, f.n.y, f.n.z, (c[0] + 1) * 0.5f, (1 - c[1]) * 0.5f});
        }
    return out;
}

// Texels of the test texture: red-ish on the left half, blue-ish on the right.
V3 Texel(float u) { return u < 0.5f ? V3{128, 16, 16} : V3{16, 16, 128}; }

class ArrayEffectTest : public FxTest {
protected:
    void SetUp() override {
        FxTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        D3DXVECTOR3 eye(0, 0.8f, -3), at(0, 0, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view_, &eye, &at, &up);
        ReadBack();   // the back buffer's size
        D3DXMatrixPerspectiveFovLH(&proj_, 1.0f, static_cast<float>(bbWidth_) / bbHeight_, 0.5f, 10);
        eye_ = {eye.x, eye.y, eye.z};
        std::vector<uint8_t> rgba(8 * 8 * 4);
        for (int i = 0; i < 64; ++i) {
            V3 t = Texel((i % 8) < 4 ? 0.25f : 0.75f);
            uint8_t* p = &rgba[static_cast<size_t>(i * 4)];
            p[0] = static_cast<uint8_t>(t.x);
            p[1] = static_cast<uint8_t>(t.y);
            p[2] = static_cast<uint8_t>(t.z);
            p[3] = 0xFF;
        }
        texture_ = new sdlgl::SdlTexture(Sdl(), Sdl()->Gl().CreateTexture(8, 8, rgba.data(), 1));
    }
    void TearDown() override {
        if (texture_) texture_->Release();
        FxTest::TearDown();
    }

    ID3DXEffect* Load(const std::string& file) {
        ID3DXEffect* e = nullptr;
        std::string messages;
        std::string path = std::string(FX_CORPUS_DIR) + "/" + file;
        EXPECT_EQ(library_->CreateFromFile(path.c_str(), &e, messages), D3D_OK) << messages;
        return e;
    }

    void DrawCube(ID3DXEffect* e, bool textureOnStage0) {
        std::vector<LitVertex> v = Cube();
        UINT passes = 0;
        ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
        for (UINT p = 0; p < passes; ++p) {
            ASSERT_EQ(e->BeginPass(p), D3D_OK);
            if (textureOnStage0) device_->SetTexture(0, texture_);
            device_->SetFVF(kLitFvf);
            device_->BeginScene();
            ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 12, v.data(), sizeof(LitVertex)),
                      D3D_OK);
            device_->EndScene();
            e->EndPass();
        }
        e->End();
        pixels_.clear();
    }

    // Where a world point lands, in normalised device coordinates.
    void Project(V3 world, float& x, float& y) {
        D3DXMATRIX vp = view_ * proj_;
        D3DXVECTOR3 p(world.x, world.y, world.z), out;
        D3DXVec3TransformCoord(&out, &p, &vp);
        x = out.x;
        y = out.y;
    }

    static ::testing::AssertionResult Close(const Rgb& got, V3 want, int tol = 10) {
        auto Byte = [](float f) { return static_cast<int>(f < 0 ? 0 : f > 255 ? 255 : f + 0.5f); };
        if (std::abs(got.r - Byte(want.x)) <= tol && std::abs(got.g - Byte(want.y)) <= tol &&
            std::abs(got.b - Byte(want.z)) <= tol)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "got " << got << ", want (" << Byte(want.x) << ", "
                                             << Byte(want.y) << ", " << Byte(want.z) << ")";
    }

    D3DXMATRIX view_, proj_;
    V3 eye_{0, 0, 0};
    IDirect3DTexture9* texture_ = nullptr;
};

TEST_F(ArrayEffectTest, LightsInArraysLightEachVisibleFace) {
    ID3DXEffect* e = Load("light_array.fx");
    if (!e) return;
    D3DXMATRIX world;
    D3DXMatrixRotationY(&world, 0.6f);
    D3DXMATRIX wvp = world * view_ * proj_;
    ASSERT_EQ(e->SetMatrix("mat_World_View_Proj", &wvp), D3D_OK);
    ASSERT_EQ(e->SetMatrix("matWorld", &world), D3D_OK);
    ASSERT_EQ(e->SetTexture("BaseTex", texture_), D3D_OK);

    // Two of the four lights; the others keep their initial values.
    const V3 pos[2] = {{-3, 1.5f, -3}, {3, 0, -0.5f}};
    const V3 colour[2] = {{1, 1, 1}, {0.2f, 1, 0.2f}};
    const float scale[2] = {0.9f, 0.8f};
    D3DXVECTOR4 positions[2] = {{pos[0].x, pos[0].y, pos[0].z, 1}, {pos[1].x, pos[1].y, pos[1].z, 1}};
    EXPECT_EQ(e->SetVectorArray("LightPositions", positions, 2), D3D_OK);
    D3DXVECTOR4 c0(colour[0].x, colour[0].y, colour[0].z, 1), c1(colour[1].x, colour[1].y, colour[1].z, 1);
    EXPECT_EQ(e->SetVector("LightColors[0]", &c0), D3D_OK);
    D3DXHANDLE second = e->GetParameterElement("LightColors", 1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(e->SetVector(second, &c1), D3D_OK);
    EXPECT_EQ(e->SetFloatArray("LightScale", scale, 2), D3D_OK);
    int lights = 2;
    EXPECT_EQ(e->SetValue("NumLights", &lights, sizeof lights), D3D_OK);

    // What D3DX refuses changes nothing.
    D3DXVECTOR4 five[5];
    EXPECT_EQ(e->SetVectorArray("LightPositions", five, 5), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetVector("LightPositions", five), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetVector("LightPositions[4]", five), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->GetParameterElement("LightPositions", 4), nullptr);
    D3DXMATRIX m[1];
    EXPECT_EQ(e->SetMatrixArray("LightPositions", m, 1), D3DERR_INVALIDCALL);
    D3DXVECTOR4 back[4];
    ASSERT_EQ(e->GetVectorArray("LightPositions", back, 4), D3D_OK);
    EXPECT_EQ(back[1].x, 3.0f);
    EXPECT_EQ(back[2].w, 1.0f);   // initial value
    float scales[4];
    ASSERT_EQ(e->GetFloatArray("LightScale", scales, 4), D3D_OK);
    EXPECT_EQ(scales[1], 0.8f);
    EXPECT_EQ(scales[2], 1.0f);

    ASSERT_EQ(e->SetTechnique("Lit"), D3D_OK);
    Clear(0xFF000000);
    DrawCube(e, false);
    int faces = 0;
    for (const Face& f : kFaces) {
        V3 n = Normalize(Mul(f.n, world, 0));
        V3 centre = Mul(f.At(0, 0), world, 1);
        if (Dot(n, Normalize(eye_ - centre)) < 0.35f) continue;   // not seen well enough
        ++faces;
        for (float s : {-0.5f, 0.5f}) {
            V3 p = Mul(f.At(s, 0), world, 1);
            V3 light{0.05f, 0.05f, 0.05f};
            for (int i = 0; i < 2; ++i) {
                float d = Dot(n, Normalize(pos[i] - p));
                light = light + colour[i] * (scale[i] * (d < 0 ? 0 : d > 1 ? 1 : d));
            }
            V3 t = Texel((s + 1) * 0.5f);
            float x, y;
            Project(p, x, y);
            SCOPED_TRACE(testing::Message() << "face normal (" << f.n.x << ", " << f.n.y << ", "
                                            << f.n.z << ") s " << s);
            EXPECT_TRUE(Close(PixelAt(x, y), {t.x * light.x, t.y * light.y, t.z * light.z}));
        }
    }
    EXPECT_EQ(faces, 2);
    EXPECT_TRUE(Close(PixelAt(-0.95f, 0.95f), {0, 0, 0}, 0)) << "outside the cube";
    e->Release();
}

TEST_F(ArrayEffectTest, MatrixPaletteSetWithSetMatrixArrayPlacesEachCube) {
    ID3DXEffect* e = Load("bone_array.fx");
    if (!e) return;
    D3DXMATRIX vp = view_ * proj_;
    ASSERT_EQ(e->SetMatrix("ViewProj", &vp), D3D_OK);
    D3DXMATRIX bones[2];
    D3DXMatrixTranslation(&bones[0], -1.0f, 0, 0);
    D3DXMatrixTranslation(&bones[1], 1.0f, 0, 0);
    D3DXMATRIX three[3];
    EXPECT_EQ(e->SetMatrixArray("Bones", three, 3), D3DERR_INVALIDCALL);
    ASSERT_EQ(e->SetMatrixArray("Bones", bones, 2), D3D_OK);
    D3DXMATRIX got[2];
    ASSERT_EQ(e->GetMatrixArray("Bones", got, 2), D3D_OK);
    EXPECT_EQ(got[1]._41, 1.0f);
    D3DXVECTOR4 tint(1, 0.5f, 1, 1);
    ASSERT_EQ(e->SetVector("Tint", &tint), D3D_OK);
    ASSERT_EQ(e->SetTechnique("Skinned"), D3D_OK);
    Clear(0xFF000000);
    for (int bone = 0; bone < 2; ++bone) {
        ASSERT_EQ(e->SetFloat("BoneIndex", static_cast<float>(bone)), D3D_OK);
        DrawCube(e, true);
    }
    // The front face of each cube faces the light straight on.
    for (int bone = 0; bone < 2; ++bone) {
        for (float s : {-0.5f, 0.5f}) {
            V3 p = Mul(kFaces[0].At(s, 0), bones[bone], 1);
            float x, y;
            Project(p, x, y);
            V3 t = Texel((s + 1) * 0.5f);
            SCOPED_TRACE(testing::Message() << "bone " << bone << " s " << s);
            EXPECT_TRUE(Close(PixelAt(x, y), {t.x, t.y * 0.5f, t.z}));
        }
    }
    float x, y;
    Project({0, 0, -0.5f}, x, y);
    EXPECT_TRUE(Close(PixelAt(x, y), {0, 0, 0}, 0)) << "between the cubes";
    device_->SetTexture(0, nullptr);
    e->Release();
}


// Invalid files fail to load with the compiler's message in D3DX's shape: file, line and
// column of the fault, the error code and the text.
TEST_F(ArrayEffectTest, InvalidFilesAreRejectedWithD3dxShapedMessages) {
    struct Case {
        const char* file;
        const char* message;
    };
    const Case cases[] = {
        {"undeclared.fx", "undeclared.fx(13,34): error X3004: 'LightColour'"},
        {"array_initialiser.fx", "array_initialiser.fx(4,1): error X3017: cannot implicitly convert"},
        {"missing_entry.fx", "missing_entry.fx(14,1): error X3501: 'MainPixelShader': entrypoint not found"},
        {"vertex_sampler_register.fx", "vertex_sampler_register.fx(20,1): error X3000: MainVS: sampler HeightMap has no sampler register"},
        {"asm_register.fx", "asm_register.fx(14,17): error X3000: register r2 does not exist in ps_1_1 (r0..r1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ID3DXEffect* e = nullptr;
        std::string messages;
        std::string path = std::string(FX_CORPUS_DIR) + "/invalid/" + c.file;
        EXPECT_EQ(library_->CreateFromFile(path.c_str(), &e, messages), D3DXERR_INVALIDDATA);
        EXPECT_EQ(e, nullptr);
        size_t at = messages.find(std::string("/invalid/") + c.message);
        EXPECT_NE(at, std::string::npos) << messages;
        EXPECT_EQ(messages.find(c.message, at + 10), std::string::npos) << "once: " << messages;
    }
}


// A vertex shader reading a texture with tex2Dlod (vertex texture stage 257 through the
// sampler_state) and a pixel shader reading stage 9 as well as stage 0.
TEST_F(ArrayEffectTest, VertexTexturesAndHighSamplerRegistersReachTheirStages) {
    ID3DXEffect* e = Load("vertex_texture.fx");
    if (!e) return;
    D3DXMATRIX world;
    D3DXMatrixRotationY(&world, 0.3f);
    D3DXMATRIX wvp = world * view_ * proj_;
    ASSERT_EQ(e->SetMatrix("mat_World_View_Proj", &wvp), D3D_OK);
    IDirect3DTexture9* ramp = SolidTexture(0xFF80FF80);     // tint (0.5, 1, 0.5)
    IDirect3DTexture9* detail = SolidTexture(0xFFFF80FF);   // (1, 0.5, 1)
    ASSERT_EQ(e->SetTexture("RampTex", ramp), D3D_OK);
    ASSERT_EQ(e->SetTechnique("VertexTexture"), D3D_OK);
    Clear(0xFF000000);
    UINT passes = 0;
    std::vector<LitVertex> v = Cube();
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(e->BeginPass(0), D3D_OK);
    device_->SetTexture(0, texture_);
    device_->SetTexture(9, detail);
    device_->SetFVF(kLitFvf);
    device_->BeginScene();
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 12, v.data(), sizeof(LitVertex)), D3D_OK);
    device_->EndScene();
    e->EndPass();
    e->End();
    pixels_.clear();
    for (float s : {-0.5f, 0.5f}) {
        float x, y;
        Project(Mul(kFaces[0].At(s, 0), world, 1), x, y);
        V3 t = Texel((s + 1) * 0.5f);
        SCOPED_TRACE(s);
        EXPECT_TRUE(Close(PixelAt(x, y), {t.x * 0.5f * 1.0f, t.y * 1.0f * 0.5f, t.z * 0.5f * 1.0f}, 6));
    }
    device_->SetTexture(0, nullptr);
    device_->SetTexture(9, nullptr);
    detail->Release();
    ramp->Release();
    e->Release();
}


// The compile cache holds the included files' text too: the same main file compiles again
// when what it includes changes, and not while nothing changed.
TEST_F(ArrayEffectTest, ChangedIncludeMissesTheCompileCache) {
    char tmpl[] = "/tmp/fx_cache.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    auto Write = [&](const std::string& file, const std::string& text) {
        std::ofstream(dir + "/" + file, std::ios::binary) << text;
    };
    Write("main.fx", "#include \"colour.fxh\"\n"
                     "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
                     "float4 PS() : COLOR { return Colour; }\n"
                     "technique T { pass P0 { VertexShader = compile vs_2_0 VS();\n"
                     "  PixelShader = compile ps_2_0 PS(); } }\n");
    Write("colour.fxh", "float4 Colour = {1, 0, 0, 1};\n");
    std::string path = dir + "/main.fx", messages;
    auto Create = [&]() {
        ID3DXEffect* e = nullptr;
        EXPECT_EQ(library_->CreateFromFile(path.c_str(), &e, messages), D3D_OK) << messages;
        return e;
    };
    int before = library_->Compilations();
    ID3DXEffect* a = Create();
    ID3DXEffect* b = Create();
    EXPECT_EQ(library_->Compilations(), before + 1);
    Write("colour.fxh", "float4 Colour = {0, 0, 1, 1};\n");
    ID3DXEffect* c = Create();
    EXPECT_EQ(library_->Compilations(), before + 2);
    ASSERT_NE(c, nullptr);
    D3DXVECTOR4 colour;
    ASSERT_EQ(c->GetVector("Colour", &colour), D3D_OK);
    EXPECT_EQ(colour.z, 1.0f) << "the new include's initial value";
    for (ID3DXEffect* e : {a, b, c})
        if (e) e->Release();
    std::remove((dir + "/colour.fxh").c_str());
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

}  // namespace
}  // namespace sdltest
