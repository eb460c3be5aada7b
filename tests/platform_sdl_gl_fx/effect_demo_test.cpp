// The demo's Phong effect file on a sphere lit by three coloured lights, drawn as the engine
// draws: "ald_Phong" for the first light, "ald_Phong_alpha" added for each further one.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fx_fixture.h"
#include "platform/sdl_gl/screenshot.h"

namespace sdltest {
namespace {

struct Light {
    D3DXVECTOR4 position, colour;
    float specularIntensity;
};

class DemoFxTest : public FxTest {
protected:
    void SetUp() override {
        FxTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        std::string path = std::string(MESHES_DEMO_SOURCE) + "/fx/ald_Phong.fx";
        std::ifstream f(path);
        if (!f) GTEST_SKIP() << "no demo effect file at " << path;
        std::stringstream ss;
        ss << f.rdbuf();
        effect_ = Make(ss.str());
        ASSERT_NE(effect_, nullptr);
        std::string mesh = std::string(MESHES_DEMO_SOURCE) + "/meshes/sphere.x";
        DWORD materials = 0;
        ASSERT_EQ(D3DXLoadMeshFromXA(mesh.c_str(), D3DXMESH_MANAGED, device_, nullptr, nullptr,
                                     nullptr, &materials, &sphere_), D3D_OK);
        white_ = SolidTexture(0xFFFFFFFF);
    }
    void TearDown() override {
        if (effect_) effect_->Release();
        if (sphere_) sphere_->Release();
        if (white_) white_->Release();
        FxTest::TearDown();
    }

    // The sphere (radius 25 around (0, 25, 0)) seen from (0, 25, -100), once per light.
    void Draw(const Light* lights, int count) {
        D3DXMATRIX world, view, proj, wvp;
        D3DXMatrixIdentity(&world);
        D3DXVECTOR3 eye(0, 25, -100), at(0, 25, 0), up(0, 1, 0);
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 4, float(kWidth) / kHeight, 1.0f, 1000.0f);
        wvp = world * view * proj;
        Clear(0xFF000000);
        device_->BeginScene();
        for (int i = 0; i < count; ++i) {
            D3DXVECTOR4 viewPos(eye.x, eye.y, eye.z, 1);
            effect_->SetVector("View_Pos", &viewPos);
            effect_->SetMatrix("mat_World_View_Proj", &wvp);
            effect_->SetMatrix("matWorld", &world);
            effect_->SetVector("LightPos", &lights[i].position);
            effect_->SetVector("LightColor", &lights[i].colour);
            effect_->SetFloat("LightFalloff", 1000);
            effect_->SetFloat("LightSpecular", 20);
            effect_->SetFloat("LightSpecular_Itens", lights[i].specularIntensity);
            effect_->SetFloat("LightAmbient", 0.02f);
            effect_->SetFloat("Attenuation", 0);
            ASSERT_EQ(effect_->SetTechnique(i == 0 ? "ald_Phong" : "ald_Phong_alpha"), D3D_OK);
            UINT passes = 0;
            effect_->Begin(&passes, 0);
            for (UINT p = 0; p < passes; ++p) {
                effect_->BeginPass(p);
                device_->SetTexture(0, white_);
                sphere_->DrawSubset(0);
                effect_->EndPass();
            }
            effect_->End();
        }
        device_->SetTexture(0, nullptr);
        device_->EndScene();
        ReadBack();
    }

    sdlgl::GlEffect* effect_ = nullptr;
    ID3DXMesh* sphere_ = nullptr;
    IDirect3DTexture9* white_ = nullptr;
};

const Light kLights[3] = {
    {{-150, 25, -60, 1}, {1.0f, 0.15f, 0.15f, 1}, 0.6f},   // red, left
    {{150, 25, -60, 1}, {0.15f, 1.0f, 0.15f, 1}, 0.6f},    // green, right
    {{0, 200, -40, 1}, {0.15f, 0.15f, 1.0f, 1}, 0.6f},     // blue, above
};

TEST_F(DemoFxTest, ThreeLightsShadeTheSphereInTheirColours) {
    Draw(kLights, 3);
    // MESHES_FX_SHOT names a PNG file to keep the picture in.
    if (const char* shot = std::getenv("MESHES_FX_SHOT")) {
        EXPECT_TRUE(sdlgl::WritePng(shot, bbWidth_, bbHeight_, pixels_));
    }
    int cx = kWidth / 2, cy = kHeight / 2, r = 50;   // the sphere is about 60 pixels across
    Rgb left = Pixel(cx - r * 3 / 4, cy), right = Pixel(cx + r * 3 / 4, cy);
    Rgb top = Pixel(cx, cy - r * 3 / 4), bottom = Pixel(cx, cy + r * 3 / 4);
    EXPECT_GT(left.r, left.g + 60) << left;
    EXPECT_GT(left.r, left.b + 60) << left;
    EXPECT_GT(right.g, right.r + 60) << right;
    EXPECT_GT(right.g, right.b + 60) << right;
    EXPECT_GT(top.b, top.r + 40) << top;
    EXPECT_GT(top.b, top.g + 40) << top;
    // Diffuse shading: each light's colour fades across the sphere, away from the light.
    EXPECT_GT(left.r, right.r + 60) << left << right;
    EXPECT_GT(right.g, left.g + 60) << left << right;
    EXPECT_GT(top.b, bottom.b + 40) << top << bottom;
    // Outside the sphere stays black.
    EXPECT_TRUE(Near(Pixel(5, 5), 0x000000));
}

TEST_F(DemoFxTest, SpecularHighlightsAreSmallBrightSpots) {
    Light dull[3];
    std::copy(kLights, kLights + 3, dull);
    for (Light& l : dull) l.specularIntensity = 0;
    Draw(dull, 3);
    std::vector<uint8_t> plain = pixels_;
    Draw(kLights, 3);
    // Where specular light adds, and how much: a few spots, not the whole sphere.
    int spotPixels = 0, spherePixels = 0, peak = 0;
    for (size_t i = 0; i + 3 < pixels_.size(); i += 4) {
        int before = plain[i] + plain[i + 1] + plain[i + 2];
        int after = pixels_[i] + pixels_[i + 1] + pixels_[i + 2];
        if (before > 0) ++spherePixels;
        peak = std::max(peak, after - before);
        if (after - before > 60) ++spotPixels;
    }
    EXPECT_GT(peak, 90) << "no bright highlight";
    EXPECT_GT(spotPixels, 3);
    EXPECT_LT(spotPixels, spherePixels / 6) << "highlights cover too much of the sphere";
}

}  // namespace
}  // namespace sdltest
