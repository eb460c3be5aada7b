// The OpenGL device drawn into and read back: clear, fixed-function colours, textures,
// fill modes, pre-transformed placement, blending, culling, multisampling, screenshots.
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include <SDL.h>

#include "gl_fixture.h"
#include "platform/core/image.h"
#include "platform/backend.h"
#include "platform/sdl_gl/d3d_objects.h"
#include "platform/sdl_gl/gl_device.h"
#include "platform/sdl_gl/screenshot.h"
#include "platform/sdl_gl/sdl_backend.h"

namespace sdltest {
namespace {

struct LitVertex {   // D3DFVF_XYZ | D3DFVF_NORMAL
    float x, y, z, nx, ny, nz;
};
struct ColourVertex {   // D3DFVF_XYZ | D3DFVF_DIFFUSE
    float x, y, z;
    D3DCOLOR colour;
};
struct TexVertex {   // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};

D3DMATERIAL9 Material(D3DCOLORVALUE ambient, D3DCOLORVALUE emissive) {
    D3DMATERIAL9 m{};
    m.Diffuse = {1, 1, 1, 1};
    m.Ambient = ambient;
    m.Emissive = emissive;
    return m;
}

using DeviceTest = GlTest;

// The picture a written file holds.
::testing::AssertionResult ReadPng(const std::string& file, core::Image& img) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string err;
    if (core::DecodeImage(bytes.data(), bytes.size(), img, err)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << file << ": " << err;
}

TEST_F(DeviceTest, ClearFillsTheBackBufferWithTheColour) {
    EXPECT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF336699, 1.0f, 0),
              D3D_OK);
    EXPECT_TRUE(Near(Pixel(0, 0), 0x336699, 0));
    EXPECT_TRUE(Near(Pixel(kWidth - 1, kHeight - 1), 0x336699, 0));
    EXPECT_EQ(bbWidth_, kWidth);   // the back buffer took the client area
    EXPECT_EQ(bbHeight_, kHeight);

    // A rectangle clears only its part.
    D3DRECT r = {10, 20, 30, 40};
    device_->Clear(1, &r, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0);
    ReadBack();
    EXPECT_TRUE(Near(Pixel(10, 20), 0xFF0000, 0));
    EXPECT_TRUE(Near(Pixel(29, 39), 0xFF0000, 0));
    EXPECT_TRUE(Near(Pixel(30, 39), 0x336699, 0));
    EXPECT_TRUE(Near(Pixel(29, 40), 0x336699, 0));
}

TEST_F(DeviceTest, LightingGivesGlobalAmbientTimesMaterialAmbientPlusEmissive) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetRenderState(D3DRS_AMBIENT, 0xFF808080);
    D3DMATERIAL9 m = Material({1.0f, 0.5f, 0.25f, 1}, {0.1f, 0, 0, 1});
    device_->SetMaterial(&m);
    // Identity transforms: clip space is the screen.
    LitVertex quad[4] = {{-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1},
                         {-1, -1, 0.5f, 0, 0, -1}, {1, -1, 0.5f, 0, 0, -1}};
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(LitVertex)), D3D_OK);
    device_->EndScene();
    // 128/255 x (1, 0.5, 0.25) + (0.1, 0, 0) = (0.602, 0.251, 0.125)
    EXPECT_TRUE(Near(Pixel(kWidth / 2, kHeight / 2), 0x9A4020, 2));
}

TEST_F(DeviceTest, VertexColoursPassWithoutLightingAndAreIgnoredWithIt) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetRenderState(D3DRS_LIGHTING, 0);
    ColourVertex left[3] = {{-1, 1, 0.5f, 0xFF00FF00}, {0, 1, 0.5f, 0xFF00FF00},
                            {-1, -1, 0.5f, 0xFF00FF00}};
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, left, sizeof(ColourVertex));
    // Lit, the vertex colour only feeds the diffuse term, which has no light: the colour is
    // ambient x material ambient (white x 0.5 grey) + emissive (0).
    device_->SetRenderState(D3DRS_LIGHTING, 1);
    D3DMATERIAL9 m = Material({0.5f, 0.5f, 0.5f, 1}, {0, 0, 0, 1});
    device_->SetMaterial(&m);
    ColourVertex right[3] = {{1, -1, 0.5f, 0xFF00FF00}, {0, -1, 0.5f, 0xFF00FF00},
                             {1, 1, 0.5f, 0xFF00FF00}};
    device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, right, sizeof(ColourVertex));
    device_->EndScene();
    EXPECT_TRUE(Near(Pixel(10, 10), 0x00FF00));
    EXPECT_TRUE(Near(Pixel(kWidth - 10, kHeight - 10), 0x808080));
}

TEST_F(DeviceTest, TextureStageModulatesTheDiffuseColourTopRowFirst) {
    TempDir dir;
    // 2x2: red, green on the top row; blue, white below.
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    ASSERT_TRUE(sdlgl::WritePng(dir.File("tex.png"), 2, 2, rgba));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device_, dir.File("tex.png").c_str(), &tex), D3D_OK);
    IDirect3DTexture9* missing = nullptr;
    EXPECT_LT(D3DXCreateTextureFromFileA(device_, dir.File("none.png").c_str(), &missing), 0);
    EXPECT_EQ(missing, nullptr);

    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetTexture(0, tex);
    const D3DCOLOR half = 0xFF808080;
    TexVertex q[4] = {{0, 0, 0.5f, 1, half, 0, 0}, {128, 0, 0.5f, 1, half, 1, 0},
                      {0, 128, 0.5f, 1, half, 0, 1}, {128, 128, 0.5f, 1, half, 1, 1}};
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(TexVertex));
    // Without a texture the stage passes the diffuse colour through.
    device_->SetTexture(0, nullptr);
    Rect(140, 0, 180, 40, 0xFF20C040);
    device_->EndScene();
    tex->Release();

    EXPECT_TRUE(Near(Pixel(32, 32), 0x800000));     // red x half
    EXPECT_TRUE(Near(Pixel(96, 32), 0x008000));     // green x half
    EXPECT_TRUE(Near(Pixel(32, 96), 0x000080));     // blue x half
    EXPECT_TRUE(Near(Pixel(96, 96), 0x808080));     // white x half
    EXPECT_TRUE(Near(Pixel(160, 20), 0x20C040));
}

// Untextured stage 0: the operations that give the diffuse colour back and those that do
// not (the device picks a shorter program for the first kind).
TEST_F(DeviceTest, UntexturedStageOperationsOnTheDiffuseColour) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF30A0F0);
    using namespace sdlgl::d3d;
    sdlgl::GlDevice* gl = sdlgl::DeviceGl(device_);   // effects set these; the engine cannot
    ASSERT_NE(gl, nullptr);
    struct Case {
        uint32_t colorOp, arg1, arg2, alphaOp, alphaArg1;
        BOOL specular;
    };
    const Case cases[] = {
        {TOP_SELECTARG1, TA_DIFFUSE, TA_CURRENT, TOP_SELECTARG1, TA_DIFFUSE, FALSE},
        {TOP_MODULATE, TA_DIFFUSE, TA_TEXTURE, TOP_SELECTARG1, TA_TEXTURE, FALSE},
        {TOP_DISABLE, TA_TFACTOR, TA_TFACTOR, TOP_SELECTARG1, TA_TFACTOR, FALSE},
        {TOP_SELECTARG1, TA_TFACTOR, TA_DIFFUSE, TOP_SELECTARG1, TA_DIFFUSE, FALSE},
        {TOP_MODULATE, TA_DIFFUSE, TA_DIFFUSE, TOP_SELECTARG1, TA_DIFFUSE, FALSE},
        {TOP_SELECTARG2, TA_DIFFUSE, TA_DIFFUSE | TA_COMPLEMENT, TOP_SELECTARG1,
         TA_DIFFUSE, FALSE},
        {TOP_SELECTARG1, TA_DIFFUSE, TA_CURRENT, TOP_SELECTARG1, TA_DIFFUSE, TRUE},
        // Alpha from the texture factor, seen through blending over the black background.
        {TOP_SELECTARG1, TA_DIFFUSE, TA_CURRENT, TOP_SELECTARG1, TA_TFACTOR, FALSE},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        gl->SetTextureStageState(0, TSS_COLOROP, c.colorOp);
        gl->SetTextureStageState(0, TSS_COLORARG1, c.arg1);
        gl->SetTextureStageState(0, TSS_COLORARG2, c.arg2);
        gl->SetTextureStageState(0, TSS_ALPHAOP, c.alphaOp);
        gl->SetTextureStageState(0, TSS_ALPHAARG1, c.alphaArg1);
        device_->SetRenderState(D3DRS_SPECULARENABLE, c.specular);
        const bool blend = i == 7;
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        const float x = 10.0f + 20.0f * static_cast<float>(i);
        struct {
            float x, y, z, rhw;
            D3DCOLOR diffuse, specular;
        } quad[4] = {{x, 10, 0.5f, 1, 0xFF806040, 0xFF102030},
                     {x + 10, 10, 0.5f, 1, 0xFF806040, 0xFF102030},
                     {x, 20, 0.5f, 1, 0xFF806040, 0xFF102030},
                     {x + 10, 20, 0.5f, 1, 0xFF806040, 0xFF102030}};
        device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
    }
    device_->EndScene();
    EXPECT_TRUE(Near(Pixel(15, 15), 0x806040));    // diffuse selected
    EXPECT_TRUE(Near(Pixel(35, 15), 0x806040));    // diffuse x white "texture"
    EXPECT_TRUE(Near(Pixel(55, 15), 0x806040));    // stage off
    EXPECT_TRUE(Near(Pixel(75, 15), 0x30A0F0));    // texture factor
    EXPECT_TRUE(Near(Pixel(95, 15), 0x402410));    // diffuse squared
    EXPECT_TRUE(Near(Pixel(115, 15), 0x7F9FBF));   // complement
    EXPECT_TRUE(Near(Pixel(135, 15), 0x908070));   // specular added
    EXPECT_TRUE(Near(Pixel(155, 15), 0x806040));   // factor alpha 0xFF: opaque
    // With a half-transparent factor the blend shows the alpha came from it.
    device_->BeginScene();
    device_->SetRenderState(D3DRS_TEXTUREFACTOR, 0x8030A0F0);
    Rect(170, 10, 180, 20, 0xFF806040);
    device_->EndScene();
    ReadBack();
    EXPECT_TRUE(Near(Pixel(175, 15), 0x403020, 2));
}

TEST_F(DeviceTest, TexturesGetPowerOfTwoSidesLikeTheLoaderGives) {
    TempDir dir;
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255};   // 3 x 1
    ASSERT_TRUE(sdlgl::WritePng(dir.File("odd.png"), 3, 1, rgba));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device_, dir.File("odd.png").c_str(), &tex), D3D_OK);
    sdlgl::GlTexture* gl = static_cast<sdlgl::SdlTexture*>(tex)->Gl();
    EXPECT_EQ(gl->width, 4);
    EXPECT_EQ(gl->height, 1);
    EXPECT_EQ(gl->levels, 3);   // the full mip chain: 4, 2, 1
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetTexture(0, tex);
    TexVertex q[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {4, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                      {0, 1, 0.5f, 1, 0xFFFFFFFF, 0, 1}, {4, 1, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(TexVertex));
    device_->EndScene();
    tex->Release();
    EXPECT_TRUE(Near(Pixel(0, 0), 0xFF0000, 8));   // the ends keep their colours
    EXPECT_TRUE(Near(Pixel(3, 0), 0x0000FF, 8));
}

TEST_F(DeviceTest, SamplerStatesHoldAcrossDrawingByOthersAndChangesReachTheNextDraw) {
    TempDir dir;
    std::vector<uint8_t> rgba = {0, 0, 0, 255, 255, 255, 255, 255};   // black, white
    ASSERT_TRUE(sdlgl::WritePng(dir.File("bw.png"), 2, 1, rgba));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device_, dir.File("bw.png").c_str(), &tex), D3D_OK);
    sdlgl::GlDevice& gl = static_cast<sdlgl::SdlDevice*>(device_)->Gl();
    // The two texels stretched over 200 pixels: x 90 is black with point sampling and a mix
    // of the two with linear sampling.
    auto Draw = [&] {
        TexVertex q[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {200, 0, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                          {0, 50, 0.5f, 1, 0xFFFFFFFF, 0, 1}, {200, 50, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
        device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(TexVertex));
        ReadBack();
        return Pixel(90, 25).g;
    };
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetTexture(0, tex);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    EXPECT_EQ(Draw(), 0);
    // Text draws with its own texture and no sampler object on unit 0, then gives GL back.
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindSampler(0, 0);
    gl.RestoreGlState();
    EXPECT_EQ(Draw(), 0) << "the point filter still applies";
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    int mixed = Draw();
    EXPECT_GT(mixed, 60);
    EXPECT_LT(mixed, 200);
    gl.RestoreGlState();
    EXPECT_EQ(Draw(), mixed) << "and so does the linear one";
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    EXPECT_EQ(Draw(), 0);
    device_->EndScene();
    device_->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(DeviceTest, WireframeDrawsOnlyTheEdges) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    Rect(20, 20, 200, 160, 0xFFFF0000);
    device_->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    Rect(220, 20, 240, 40, 0xFF00FF00);
    device_->EndScene();
    auto red = [this](int x, int y) { return Pixel(x, y).r > 200; };
    EXPECT_FALSE(red(60, 50));    // inside, off the diagonal: not filled
    EXPECT_TRUE(red(110, 19) || red(110, 20) || red(110, 21));   // top edge
    EXPECT_TRUE(red(19, 90) || red(20, 90) || red(21, 90));      // left edge
    EXPECT_TRUE(Near(Pixel(230, 30), 0x00FF00));                   // solid again
}

TEST_F(DeviceTest, LineListsDrawOnePixelLinesWithAntialiasedLinesOn) {
    // The markers' way: lit, untextured, black-material lines from memory.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    D3DMATERIAL9 m = Material({1, 1, 0, 1}, {0, 0, 0, 1});
    device_->SetMaterial(&m);
    ColourVertex line[4] = {{-1, 0.0f, 0.5f, 0xFF000000}, {1, 0.0f, 0.5f, 0xFF000000},
                            {-0.5f, 1, 0.5f, 0xFF000000}, {-0.5f, -1, 0.5f, 0xFF000000}};
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_LINELIST, 2, line, sizeof(ColourVertex)), D3D_OK);
    device_->EndScene();
    int lit = 0;
    for (int y = kHeight / 2 - 2; y <= kHeight / 2 + 2; ++y) lit += Near(Pixel(200, y), 0xFFFF00, 8);
    EXPECT_EQ(lit, 1) << "one row of the horizontal line at x 200";
    lit = 0;
    for (int x = kWidth / 4 - 2; x <= kWidth / 4 + 2; ++x) lit += Near(Pixel(x, 20), 0xFFFF00, 8);
    EXPECT_EQ(lit, 1) << "one column of the vertical line at y 20";
    EXPECT_TRUE(Near(Pixel(200, 20), 0x000000, 0));
}

TEST_F(DeviceTest, LineListsFromMemoryGoToGlTogetherYetKeepTheirStatesAndOrder) {
    TempDir dir;
    std::vector<uint8_t> red = {255, 0, 0, 255};
    ASSERT_TRUE(sdlgl::WritePng(dir.File("red.png"), 1, 1, red));
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device_, dir.File("red.png").c_str(), &tex), D3D_OK);
    sdlgl::GlDevice& gl = static_cast<sdlgl::SdlDevice*>(device_)->Gl();

    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    // Identity transforms: a line at clip height h lies on row (1 - h) / 2 x kHeight.
    auto Line = [&](float x0, float y0, float x1, float y1, D3DCOLOR c) {
        ColourVertex v[2] = {{x0, y0, 0.5f, c}, {x1, y1, 0.5f, c}};
        return device_->DrawPrimitiveUP(D3DPT_LINELIST, 1, v, sizeof(ColourVertex));
    };
    auto Row = [&](float h) { return static_cast<int>((1 - h) / 2 * kHeight); };
    const uint64_t sent = gl.LineBatches();
    EXPECT_EQ(Line(-1, 0.75f, 1, 0.75f, 0xFFFF0000), D3D_OK);
    EXPECT_EQ(Line(-1, 0.5f, 1, 0.5f, 0xFF00FF00), D3D_OK);
    EXPECT_EQ(Line(-1, 0.25f, 1, 0.25f, 0xFF0000FF), D3D_OK);
    EXPECT_EQ(gl.LineBatches(), sent) << "held while nothing changes";
    // A texture set after them: they are drawn first, untextured, as one GL draw.
    device_->SetTexture(0, tex);
    EXPECT_EQ(gl.LineBatches(), sent + 1);
    Line(-1, 0, 1, 0, 0xFFFFFFFF);   // white x the red texel
    device_->SetTexture(0, nullptr);
    // A world transform after a line moves only the lines after it.
    D3DXMATRIX right(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1);
    device_->SetTransform(D3DTS_WORLD, &right);
    Line(-1, -0.25f, 0, -0.25f, 0xFFFFFFFF);   // drawn over x 0..1
    D3DXMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    device_->SetTransform(D3DTS_WORLD, &identity);
    // Other draws and clears come after the lines before them.
    Line(-1, -0.5f, 1, -0.5f, 0xFFFFFFFF);
    device_->SetFVF(kRhwFvf);
    Rect(100, Row(-0.5f) - 8, 150, Row(-0.5f) + 8, 0xFF0000FF);
    device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    Line(-1, -0.75f, 1, -0.75f, 0xFFFFFFFF);
    D3DRECT left = {0, Row(-0.75f) - 8, kWidth / 2, Row(-0.75f) + 8};
    device_->Clear(1, &left, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    // Read back while a line is held: it is in the picture.
    Line(0.75f, -1, 0.75f, 1, 0xFFFFFFFF);
    EXPECT_GT(gl.LineBatches(), sent + 1);

    auto OnRow = [&](int x, float h, D3DCOLOR c) {
        int y = Row(h), hits = 0;
        for (int dy = -2; dy <= 2; ++dy) hits += Near(Pixel(x, y + dy), c, 8) ? 1 : 0;
        return hits == 1;
    };
    EXPECT_TRUE(OnRow(40, 0.75f, 0xFF0000));
    EXPECT_TRUE(OnRow(40, 0.5f, 0x00FF00));
    EXPECT_TRUE(OnRow(40, 0.25f, 0x0000FF));
    EXPECT_TRUE(OnRow(40, 0, 0xFF0000));
    EXPECT_TRUE(OnRow(3 * kWidth / 4 - 20, -0.25f, 0xFFFFFF));
    EXPECT_FALSE(OnRow(kWidth / 4, -0.25f, 0xFFFFFF)) << "the line before the transform moved";
    EXPECT_TRUE(OnRow(60, -0.5f, 0xFFFFFF));
    EXPECT_TRUE(Near(Pixel(125, Row(-0.5f)), 0x0000FF, 0)) << "the rectangle covers the line";
    EXPECT_TRUE(OnRow(200, -0.75f, 0xFFFFFF));
    EXPECT_FALSE(OnRow(60, -0.75f, 0xFFFFFF)) << "the clear came after the line";
    int column = 0;
    for (int x = 7 * kWidth / 8 - 2; x <= 7 * kWidth / 8 + 2; ++x)
        column += Near(Pixel(x, 10), 0xFFFFFF, 8) ? 1 : 0;
    EXPECT_EQ(column, 1) << "the held line was drawn before the read-back";

    // Drawing by others (text) binds the back buffer first, which sends held lines.
    Line(-1, 0.9f, 1, 0.9f, 0xFFFFFFFF);
    const uint64_t before = gl.LineBatches();
    gl.BindBackBuffer();
    EXPECT_EQ(gl.LineBatches(), before + 1);
    gl.RestoreGlState();
    device_->EndScene();
    tex->Release();
}

TEST_F(DeviceTest, PreTransformedVerticesLandOnTheirPixels) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    Rect(10, 12, 50, 40, 0xFF222222);
    // The console's slanted panel: top edge 10..600 at y 12, bottom 10..400 at y 140 (scaled
    // into this window by a quarter): right side slants.
    RhwVertex panel[4] = {{60, 35, 0.5f, 1, 0xFF0000FF}, {60, 3, 0.5f, 1, 0xFF0000FF},
                          {100, 35, 0.5f, 1, 0xFF0000FF}, {150, 3, 0.5f, 1, 0xFF0000FF}};
    device_->SetFVF(kRhwFvf);
    device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, panel, sizeof(RhwVertex));
    device_->EndScene();
    // Pixel centres sit on integers: [10, 50) x [12, 40) exactly.
    EXPECT_TRUE(Near(Pixel(10, 12), 0x222222, 0));
    EXPECT_TRUE(Near(Pixel(49, 39), 0x222222, 0));
    EXPECT_TRUE(Near(Pixel(9, 12), 0x000000, 0));
    EXPECT_TRUE(Near(Pixel(10, 11), 0x000000, 0));
    EXPECT_TRUE(Near(Pixel(50, 39), 0x000000, 0));
    EXPECT_TRUE(Near(Pixel(49, 40), 0x000000, 0));
    EXPECT_TRUE(Near(Pixel(140, 5), 0x0000FF, 0));   // wide at the top
    EXPECT_TRUE(Near(Pixel(140, 33), 0x000000, 0));  // narrow at the bottom
    EXPECT_TRUE(Near(Pixel(95, 33), 0x0000FF, 0));
}

TEST_F(DeviceTest, OneOneBlendingAddsAndSaturates) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF402010, 1.0f, 0);
    device_->BeginScene();
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    Rect(0, 0, 100, 100, 0xFF102030);
    Rect(50, 50, 150, 150, 0xFFF0F0F0);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    Rect(200, 0, 220, 20, 0xFF102030);
    device_->EndScene();
    EXPECT_TRUE(Near(Pixel(20, 20), 0x504040, 1));
    EXPECT_TRUE(Near(Pixel(75, 75), 0xFFFFFF, 0));
    EXPECT_TRUE(Near(Pixel(120, 120), 0xFFFFFF, 0));   // 0x40+0xF0 saturates too
    EXPECT_TRUE(Near(Pixel(210, 10), 0x102030, 0));
}

// Frames of many mesh triangles are sent off in batches while they are drawn: every draw
// still lands once and in order.
TEST_F(DeviceTest, MeshDrawsOfManyTrianglesLandOnceAndInOrder) {
    sdlgl::GlDevice* gl = sdlgl::DeviceGl(device_);
    ASSERT_NE(gl, nullptr);
    // A quad over the whole window followed by 29,998 empty triangles: 30,000 a draw.
    const float grey[] = {-1, 1, 0.5f, 0, 0, 0, 1, 1, 0.5f, 0, 0, 0, -1, -1, 0.5f, 0, 0, 0,
                          1, -1, 0.5f, 0, 0, 0};
    std::vector<uint32_t> indices = {0, 1, 2, 2, 1, 3};
    indices.resize(30000 * 3, 0);
    GLuint buffers[2];
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, sizeof grey, grey, GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * 4),
                 indices.data(), GL_STATIC_DRAW);
    const uint32_t fvf = D3DFVF_XYZ | D3DFVF_NORMAL;
    D3DMATERIAL9 m = Material({0, 0, 0, 1}, {0x20 / 255.0f, 0x20 / 255.0f, 0x20 / 255.0f, 1});
    device_->SetMaterial(&m);
    device_->SetRenderState(D3DRS_AMBIENT, 0);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    for (int i = 0; i < 7; ++i)   // 210,000 triangles, adding 0x20 each
        EXPECT_TRUE(gl->DrawIndexedTriangles(buffers[0], buffers[1], fvf, 24, 0,
                                             static_cast<uint32_t>(indices.size())));
    // The last draw replaces the sum on the left half only.
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    D3DMATERIAL9 red = Material({0, 0, 0, 1}, {1, 0, 0, 1});
    device_->SetMaterial(&red);
    EXPECT_TRUE(gl->DrawIndexedTriangles(buffers[0], buffers[1], fvf, 24, 0, 3));
    device_->EndScene();
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    glDeleteBuffers(2, buffers);
    EXPECT_TRUE(Near(Pixel(kWidth - 5, kHeight - 5), 0xE0E0E0, 1));
    EXPECT_TRUE(Near(Pixel(5, 5), 0xFF0000, 0));
}

TEST_F(DeviceTest, DepthTestKeepsTheNearerSurfaceUntilSwitchedOff) {
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    Rect(0, 0, 100, 100, 0xFFFF0000, 0.2f);
    Rect(0, 0, 100, 100, 0xFF00FF00, 0.6f);   // behind: hidden
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Rect(50, 0, 100, 100, 0xFF0000FF, 0.9f);  // no test: drawn
    device_->EndScene();
    EXPECT_TRUE(Near(Pixel(25, 50), 0xFF0000, 0));
    EXPECT_TRUE(Near(Pixel(75, 50), 0x0000FF, 0));
}

TEST_F(DeviceTest, CullModesFollowTheScreenWinding) {
    // Clockwise on screen: (10,10) -> (90,10) -> (10,90).
    RhwVertex cw[3] = {{10, 10, 0.5f, 1, 0xFFFFFFFF}, {90, 10, 0.5f, 1, 0xFFFFFFFF},
                       {10, 90, 0.5f, 1, 0xFFFFFFFF}};
    struct Case {
        DWORD mode;
        bool drawn;
    } cases[] = {{D3DCULL_CCW, true}, {D3DCULL_CW, false}, {D3DCULL_NONE, true}, {0x7FFFFFFF, true}};
    for (const Case& c : cases) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device_->BeginScene();
        device_->SetRenderState(D3DRS_CULLMODE, c.mode);
        device_->SetFVF(kRhwFvf);
        device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(RhwVertex));
        device_->EndScene();
        ReadBack();
        EXPECT_EQ(Pixel(20, 20).r > 200, c.drawn) << "cull mode " << c.mode;
    }
}

TEST_F(DeviceTest, VertexBufferDrawsWhatWasLockedAndChecksItsBounds) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device_->CreateVertexBuffer(4 * sizeof(RhwVertex), D3DUSAGE_WRITEONLY, kRhwFvf,
                                          D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    void* p = nullptr;
    EXPECT_LT(vb->Lock(0, 5 * sizeof(RhwVertex), &p, 0), 0);   // past the end
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    RhwVertex v[4] = {{30, 30, 0.5f, 1, 0xFF00FFFF}, {70, 30, 0.5f, 1, 0xFF00FFFF},
                      {30, 70, 0.5f, 1, 0xFF00FFFF}, {70, 70, 0.5f, 1, 0xFF00FFFF}};
    std::memcpy(p, v, sizeof v);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    EXPECT_LT(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), 0);   // outside a scene
    device_->BeginScene();
    device_->SetFVF(kRhwFvf);
    device_->SetStreamSource(0, vb, 0, sizeof(RhwVertex));
    EXPECT_LT(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), 0);   // would read vertex 4
    EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    device_->EndScene();
    vb->Release();
    EXPECT_TRUE(Near(Pixel(50, 50), 0x00FFFF, 0));
    EXPECT_TRUE(Near(Pixel(80, 50), 0x000000, 0));
}

TEST_F(DeviceTest, MultisamplingIsGivenOrRefusedAsAsked) {
    ASSERT_EQ(MakeDevice(D3DMULTISAMPLE_4_SAMPLES), D3D_OK) << "llvmpipe offers 4 samples";
    EXPECT_EQ(sdlgl::DeviceSamples(device_), 4);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF123456, 1.0f, 0);
    device_->BeginScene();
    Rect(10, 10, 20, 20, 0xFFFFFFFF);
    device_->EndScene();
    EXPECT_TRUE(Near(Pixel(5, 5), 0x123456, 0));
    EXPECT_TRUE(Near(Pixel(15, 15), 0xFFFFFF, 0));
    // A count the driver cannot give exactly fails as Direct3D's CreateDevice does.
    EXPECT_LT(MakeDevice(D3DMULTISAMPLE_16_SAMPLES), 0);
    EXPECT_EQ(device_, nullptr);
    EXPECT_LT(MakeDevice(D3DMULTISAMPLE_3_SAMPLES), 0);
}

TEST_F(DeviceTest, PresentScalesIntoAResizedWindowAndTheBackBufferKeepsItsSize) {
    // D3DSWAPEFFECT_COPY promises the contents after Present, even across a resize.
    ASSERT_EQ(MakeDevice(D3DMULTISAMPLE_NONE, D3DSWAPEFFECT_COPY), D3D_OK);
    SDL_Window* w = SDL_GL_GetCurrentWindow();
    ASSERT_NE(w, nullptr);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
    SDL_SetWindowSize(w, 2 * kWidth, kHeight / 2);
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
    }
    EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ReadBack();
    EXPECT_EQ(bbWidth_, kWidth);
    EXPECT_EQ(bbHeight_, kHeight);
    EXPECT_TRUE(Near(Pixel(kWidth - 1, kHeight - 1), 0x0000FF, 0));
}

TEST_F(DeviceTest, DrawsIntoTheWindowOnlyWhileTheSizesMatch) {
    sdlgl::GlDevice* gl = sdlgl::DeviceGl(device_);
    ASSERT_NE(gl, nullptr);
    SDL_Window* w = SDL_GL_GetCurrentWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(gl->DrawsIntoWindow()) << "llvmpipe has clip control and a depth-stencil window";
    auto frame = [&](D3DCOLOR colour) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device_->BeginScene();
        Rect(0, 0, 20, 10, colour);   // top-left corner
        device_->EndScene();
        ReadBack();
        EXPECT_TRUE(Near(Pixel(5, 5), colour & 0xFFFFFF, 0));
        EXPECT_TRUE(Near(Pixel(5, kHeight - 5), 0x000000, 0));
        EXPECT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    };
    auto resize = [&](int width, int height) {
        SDL_SetWindowSize(w, width, height);
        MSG m;
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
        }
        frame(0xFF00FF00);   // the frame in flight when the size changed
    };
    frame(0xFFFF0000);
    resize(kWidth + 40, kHeight);
    EXPECT_FALSE(gl->DrawsIntoWindow());
    frame(0xFF0000FF);   // drawn off screen and scaled into the window
    resize(kWidth, kHeight);
    EXPECT_TRUE(gl->DrawsIntoWindow());
    frame(0xFFFFFF00);
    EXPECT_EQ(bbWidth_, kWidth);
    EXPECT_EQ(bbHeight_, kHeight);
}

TEST_F(DeviceTest, PresentShowsTheBackBufferUprightInTheWindow) {
    sdlgl::GlDevice* gl = sdlgl::DeviceGl(device_);
    ASSERT_NE(gl, nullptr);
    for (bool direct : {true, false}) {   // drawn in the window, or copied there
        gl->AllowDirect(direct);
        gl->WindowSized(kWidth, kHeight);
        ASSERT_EQ(gl->DrawsIntoWindow(), direct);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
        device_->BeginScene();
        Rect(0, 0, 16, 8, 0xFF00FF00);   // top-left corner of the screen
        device_->EndScene();
        gl->Present(kWidth, kHeight);   // before any swap
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        uint8_t top[4] = {}, bottom[4] = {};
        glReadPixels(4, kHeight - 1 - 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, top);   // rows run up
        glReadPixels(4, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, bottom);
        gl->RestoreGlState();
        EXPECT_EQ(top[1], 255) << "direct " << direct;
        EXPECT_EQ(top[2], 0) << "direct " << direct;
        EXPECT_EQ(bottom[1], 0) << "direct " << direct;
        EXPECT_EQ(bottom[2], 255) << "direct " << direct;
    }
}

TEST_F(DeviceTest, BackBufferWithoutAlphaReadsAlphaAsOne) {
    // X8R8G8B8: a clear with alpha 0 and a draw with alpha 0x40 leave alpha at 1, so blending
    // by the destination's alpha keeps the source whole.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    Rect(0, 0, 50, 50, 0x40202020);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTALPHA);
    device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    Rect(0, 0, 100, 100, 0xFF808080);
    device_->EndScene();
    EXPECT_TRUE(Near(Pixel(25, 25), 0x808080, 1));
    EXPECT_TRUE(Near(Pixel(75, 75), 0x808080, 1));
    EXPECT_EQ(pixels_[(10 * size_t(bbWidth_) + 10) * 4 + 3], 255);
}

TEST_F(DeviceTest, DepthClearsKeepTheStencilValues) {
    sdlgl::GlDevice* gl = sdlgl::DeviceGl(device_);
    ASSERT_NE(gl, nullptr);
    auto stencilAt = [&](int x, int y) {
        gl->BindBackBuffer();
        uint8_t v = 0;
        glReadPixels(x, gl->GlRow(y, 1), 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &v);
        return int(v);
    };
    auto depthAt = [&](int x, int y) {
        gl->BindBackBuffer();
        float z = 0;
        glReadPixels(x, gl->GlRow(y, 1), 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &z);
        return z;
    };
    device_->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 5);
    D3DRECT r = {10, 10, 20, 20};
    device_->Clear(1, &r, D3DCLEAR_STENCIL, 0, 1.0f, 7);
    device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.25f, 0);
    EXPECT_EQ(stencilAt(15, 15), 7);
    EXPECT_EQ(stencilAt(50, 50), 5);
    EXPECT_NEAR(depthAt(50, 50), 0.25f, 1e-6);
    // A whole-buffer stencil clear makes it one value again; depth clears keep that value.
    device_->Clear(0, nullptr, D3DCLEAR_STENCIL | D3DCLEAR_ZBUFFER, 0, 1.0f, 9);
    device_->Clear(1, &r, D3DCLEAR_ZBUFFER, 0, 0.5f, 3);
    device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.75f, 3);
    EXPECT_EQ(stencilAt(15, 15), 9);
    EXPECT_EQ(stencilAt(50, 50), 9);
    EXPECT_NEAR(depthAt(15, 15), 0.75f, 1e-6);
    gl->RestoreGlState();
}

TEST_F(DeviceTest, ScreenshotFilesHoldTheBackBuffer) {
    TempDir dir;
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 1.0f, 0);
    device_->BeginScene();
    Rect(0, 0, 16, 8, 0xFFFFFF00);
    device_->EndScene();
    std::string file = dir.File("shot.png");
    ASSERT_TRUE(sdlgl::SaveScreenshot(device_, file.c_str()));
    core::Image img;
    ASSERT_TRUE(ReadPng(file, img));
    ASSERT_EQ(img.width, kWidth);
    ASSERT_EQ(img.height, kHeight);
    EXPECT_EQ(img.rgba[0], 255);   // top-left is the yellow rectangle
    EXPECT_EQ(img.rgba[2], 0);
    size_t last = img.rgba.size() - 4;
    EXPECT_EQ(img.rgba[last + 0], 0x20);
    EXPECT_EQ(img.rgba[last + 1], 0x40);
    EXPECT_EQ(img.rgba[last + 2], 0x60);
}

TEST_F(DeviceTest, ScreenshotVariableCapturesTheNamedFrame) {
    TempDir dir;
    std::string file = dir.File("frame.png");
    setenv("MESHES_SCREENSHOT", (file + "@2").c_str(), 1);
    std::string err;
    ASSERT_TRUE(platform::Active().Start(err)) << err;
    unsetenv("MESHES_SCREENSHOT");
    struct stat st;
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device_->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(stat(file.c_str(), &st), 0) << "written after the first frame";
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    device_->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(stat(file.c_str(), &st), 0) << "not written after the second frame";

    std::string path;
    uint64_t frame = 0;
    EXPECT_TRUE(sdlgl::ParseScreenshotRequest("a.png", path, frame));
    EXPECT_EQ(frame, 1u);
    EXPECT_FALSE(sdlgl::ParseScreenshotRequest("a.png@0", path, frame));
    EXPECT_FALSE(sdlgl::ParseScreenshotRequest("a.png@x", path, frame));
    EXPECT_FALSE(sdlgl::ParseScreenshotRequest("@3", path, frame));
}

// An F12 picture the level's folder cannot take (here a folder below a file, whoever runs the
// test) goes to the user's folder for the level, numbered there, and stderr is told.
TEST(Screenshots, APictureTheLevelCannotTakeGoesToTheUsersFolder) {
    TempDir dir;
    WriteFile(dir.File("blocked"), "a file, not a folder");
    setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
    const std::vector<uint8_t> rgba(2 * 2 * 4, 200);
    std::string said = sdlgl::KeepPicture(dir.File("blocked/screenshot-1.png"), dir.path, 2, 2,
                                          rgba, true);
    unsetenv("XDG_STATE_HOME");
    const std::string kept = dir.File("state") + "/meshes/levels" + dir.path + "/screenshot-1.png";
    EXPECT_EQ(said, "meshes: cannot write the screenshot " + dir.File("blocked/screenshot-1.png") +
                        " (Not a directory); it was written to " + kept + " instead");
    core::Image img;
    ASSERT_TRUE(ReadPng(kept, img));
    EXPECT_EQ(img.rgba, rgba);
    EXPECT_EQ(sdlgl::KeepPicture(dir.File("here.png"), dir.path, 2, 2, rgba, false), "")
        << "written in place: nothing to say";
}

}  // namespace
}  // namespace sdltest
