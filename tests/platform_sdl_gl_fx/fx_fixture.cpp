#include "fx_fixture.h"

namespace sdltest {

namespace {

sdlgl::GlTexture* TextureOf(IDirect3DBaseTexture9* t) {
    return static_cast<sdlgl::SdlTexture*>(t)->Gl();
}

}  // namespace

void FxTest::SetUp() {
    GlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    library_ = new sdlgl::EffectLibrary(Sdl()->Gl(), TextureOf, device_);
}

void FxTest::TearDown() {
    delete library_;   // before the device and its GL context go
    library_ = nullptr;
    GlTest::TearDown();
}

HRESULT FxTest::TryMake(const std::string& source, std::string& messages) {
    ID3DXEffect* e = nullptr;
    HRESULT hr = library_->CreateFromText(source, "test.fx", &e, messages);
    if (e) e->Release();
    return hr;
}

sdlgl::GlEffect* FxTest::Make(const std::string& source) {
    ID3DXEffect* e = nullptr;
    std::string messages;
    HRESULT hr = library_->CreateFromText(source, "test.fx", &e, messages);
    EXPECT_EQ(hr, D3D_OK) << messages;
    return static_cast<sdlgl::GlEffect*>(e);
}

void FxTest::DrawQuad(ID3DXEffect* effect, float x0, float y0, float x1, float y1,
                      DWORD beginFlags) {
    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, beginFlags), D3D_OK);
    for (UINT p = 0; p < passes; ++p) {
        ASSERT_EQ(effect->BeginPass(p), D3D_OK);
        DrawQuadPlain(x0, y0, x1, y1);
        ASSERT_EQ(effect->EndPass(), D3D_OK);
    }
    ASSERT_EQ(effect->End(), D3D_OK);
}

void FxTest::DrawQuadPlain(float x0, float y0, float x1, float y1) {
    // Clockwise on screen, the front face under Direct3D's default culling.
    XyzVertex v[4] = {{x0, y1, 0.5f, 0, 0}, {x1, y1, 0.5f, 1, 0}, {x0, y0, 0.5f, 0, 1},
                      {x1, y0, 0.5f, 1, 1}};
    device_->SetFVF(kXyzTexFvf);
    bool own = device_->BeginScene() == D3D_OK;
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(XyzVertex)), D3D_OK);
    if (own) device_->EndScene();
    pixels_.clear();
}

void FxTest::Clear(D3DCOLOR colour) {
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f, 0),
              D3D_OK);
    pixels_.clear();
}

Rgb FxTest::PixelAt(float x, float y) {
    if (pixels_.empty()) ReadBack();
    int px = static_cast<int>((x + 1) * 0.5f * bbWidth_);
    int py = static_cast<int>((1 - y) * 0.5f * bbHeight_);
    return Pixel(px, py);
}

IDirect3DTexture9* FxTest::SolidTexture(D3DCOLOR colour) {
    uint8_t rgba[4] = {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour),
                       uint8_t(colour >> 24)};
    sdlgl::GlTexture* t = Sdl()->Gl().CreateTexture(1, 1, rgba, 1);
    return new sdlgl::SdlTexture(Sdl(), t);
}

std::string ColourEffect(const std::string& techniques) {
    return "float4 Colour = {1, 1, 1, 1};\n"
           "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
           "float4 PS() : COLOR { return Colour; }\n" +
           techniques;
}

}  // namespace sdltest
