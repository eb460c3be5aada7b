// D3DX over OpenGL: fonts drawn through the glyph atlas (Windows-1251 text included) and .x
// meshes drawn one subset at a time.
#include "gl_fixture.h"
#include "platform/sdl_gl/d3d_objects.h"
#include "platform/sdl_gl/gl_font.h"
#include "platform/sdl_gl/screenshot.h"
#include "platform/sdl_gl/sdl_backend.h"
#include "tests/support/x_files.h"

namespace sdltest {
namespace {

using MeshTest = GlTest;

struct Box {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;   // inclusive
    int lit = 0;
};

class TextBoxTest : public GlTest {
protected:
    Box Lit() {
        Box b;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (Pixel(x, y).r > 96) {
                    b.left = std::min(b.left, x);
                    b.top = std::min(b.top, y);
                    b.right = std::max(b.right, x);
                    b.bottom = std::max(b.bottom, y);
                    ++b.lit;
                }
        return b;
    }
    // Draws `text` in white on black with DT_NOCLIP from (x, y); returns DrawTextA's result.
    int DrawAt(ID3DXFont* font, const char* text, int x, int y, DWORD format = DT_NOCLIP) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device_->BeginScene();
        RECT r;
        SetRect(&r, x, y, 0, 0);
        int h = font->DrawTextA(nullptr, text, -1, &r, format, 0xFFFFFFFF);
        device_->EndScene();
        ReadBack();
        return h;
    }
};

TEST_F(TextBoxTest, TextStaysInItsCellFromTheRectanglesTopLeft) {
    // The info font: Verdana, 8 points at 96 dpi as a character height, bold.
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, -MulDiv(8, 96, 72), 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET,
                              0, 0, 0, "Verdana", &font),
              D3D_OK);
    int h = DrawAt(font, "Frames 60", 40, 30);
    EXPECT_GE(h, 12);   // one cell: taller than the 11-pixel characters
    EXPECT_LE(h, 15);
    Box b = Lit();
    ASSERT_GT(b.lit, 20) << "nothing drawn";
    EXPECT_GE(b.left, 40);
    EXPECT_LE(b.left, 42);
    EXPECT_GE(b.top, 30);
    EXPECT_LT(b.bottom, 30 + h);
    EXPECT_LT(b.right, 40 + 9 * 11);   // nine characters of at most 11 pixels

    // Two lines go one cell apart.
    int h2 = DrawAt(font, "A\nA", 40, 30);
    EXPECT_EQ(h2, 2 * h);
    Box two = Lit();
    EXPECT_GE(two.bottom - b.top, h);

    // DT_CALCRECT measures and draws nothing.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    RECT r;
    SetRect(&r, 5, 5, 0, 0);
    EXPECT_EQ(font->DrawTextA(nullptr, "Frames 60", -1, &r, DT_CALCRECT, 0xFFFFFFFF), h);
    EXPECT_EQ(r.bottom, 5 + h);
    EXPECT_GT(r.right, 5 + 30);
    ReadBack();
    EXPECT_EQ(Lit().lit, 0);
    font->Release();
}

TEST_F(TextBoxTest, CyrillicBytesDrawAsCyrillicLetters) {
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, 16, 0, 400, 0, FALSE, DEFAULT_CHARSET, 0, 0, 0, "Kartika",
                              &font),
              D3D_OK);
    // "Камера" in Windows-1251.
    int h = DrawAt(font, "\xCA\xE0\xEC\xE5\xF0\xE0", 20, 40);
    EXPECT_EQ(h, 16);   // a positive height is the cell height
    Box b = Lit();
    ASSERT_GT(b.lit, 20);
    EXPECT_GE(b.left, 20);
    EXPECT_GE(b.top, 40);
    EXPECT_LT(b.bottom, 40 + 16);
    std::vector<uint8_t> cyrillic = pixels_;

    // The bytes were read as Windows-1251: the same picture as the Unicode letters drawn
    // directly, and not the font's missing-glyph boxes.
    sdlgl::GlDevice* gl = sdlgl::DeviceGl(device_);
    ASSERT_NE(gl, nullptr);
    sdlgl::GlFont direct;
    sdlgl::FontDesc d;
    d.height = 16;
    d.weight = 400;
    d.face = "Kartika";
    std::string err;
    ASSERT_TRUE(direct.Init(d, err)) << err;
    auto drawDirect = [&](const std::u32string& text) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        int r[4] = {20, 40, 0, 0};
        direct.DrawText(*gl, text, r, sdlgl::DTF_NOCLIP, 0xFFFFFFFF);
        ReadBack();
        return pixels_;
    };
    EXPECT_TRUE(drawDirect(U"\u041A\u0430\u043C\u0435\u0440\u0430") == cyrillic);
    EXPECT_FALSE(drawDirect(std::u32string(6, U'\U000F0000')) == cyrillic);
    direct.Release();
    font->Release();
}

TEST_F(TextBoxTest, TextDrawnBeforeTheSceneStaysInFrontWhileTheDepthTestIsOn) {
    // The frame draws its info text first and the objects after: the text's covered pixels
    // take depth 0, so later geometry does not paint over them.
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, -11, 0, FW_BOLD, 0, FALSE, 1, 0, 0, 0, "Verdana", &font), D3D_OK);
    auto whiteAfterScene = [&](DWORD zenable) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device_->BeginScene();
        device_->SetRenderState(D3DRS_ZENABLE, zenable);
        RECT r;
        SetRect(&r, 20, 20, 0, 0);
        font->DrawTextA(nullptr, "Objects", -1, &r, DT_NOCLIP, 0xFFFFFFFF);
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        Rect(0, 0, 120, 60, 0xFF0000FF, 0.5f);
        device_->EndScene();
        ReadBack();
        int white = 0, blue = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 120; ++x) {
                Rgb c = Pixel(x, y);
                white += c.r > 200 && c.g > 200;
                blue += c.r == 0 && c.b == 255;
            }
        EXPECT_GT(blue, 120 * 60 / 2) << "the quad is drawn around the text";
        return white;
    };
    EXPECT_GT(whiteAfterScene(D3DZB_TRUE), 20);
    EXPECT_EQ(whiteAfterScene(D3DZB_FALSE), 0);
    font->Release();
}

// Text that writes depth at a test depth 0 always passes is drawn without its alpha test and
// writes its depth only when something could see it. The pictures and the depth must be
// those of the alpha-tested drawing.
TEST_F(TextBoxTest, TextDepthIsWrittenBeforeAnythingSeesIt) {
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, 24, 0, 400, 0, FALSE, 1, 0, 0, 0, "Kartika", &font), D3D_OK);
    auto text = [&](int x, D3DCOLOR colour) {
        RECT r;
        SetRect(&r, x, 20, 0, 0);
        font->DrawTextA(nullptr, "Omega 80", -1, &r, DT_NOCLIP, colour);
    };
    auto count = [&](int x0, int x1, bool (*is)(const Rgb&)) {
        ReadBack();
        int n = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = x0; x < x1; ++x) n += is(Pixel(x, y));
        return n;
    };
    auto white = [](const Rgb& c) { return c.r > 200 && c.g > 200 && c.b > 200; };
    auto red = [](const Rgb& c) { return c.r > 200 && c.g < 100; };

    // The same half-transparent text over grey, drawn alpha-tested (writing depth under a test
    // that depth 0 passes only where the buffer holds 0) and without the test.
    auto picture = [&](DWORD zfunc) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF606060, 0.0f, 0);
        device_->BeginScene();
        device_->SetRenderState(D3DRS_ZFUNC, zfunc);
        text(20, 0x80F0C020);
        device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
        device_->EndScene();
        ReadBack();
        return pixels_;
    };
    std::vector<uint8_t> tested = picture(D3DCMP_GREATEREQUAL);
    EXPECT_TRUE(tested == picture(D3DCMP_LESSEQUAL));
    EXPECT_FALSE(tested == picture(D3DCMP_NEVER)) << "text drawn at all";

    // A depth clear of part of the buffer: the text's depth stays where it was not cleared.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    text(20, 0xFFFFFFFF);
    D3DRECT left = {0, 0, 60, 60};
    device_->Clear(1, &left, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    Rect(0, 0, 200, 60, 0xFF0000FF, 0.5f);
    device_->EndScene();
    EXPECT_EQ(count(0, 60, white), 0) << "depth cleared: the quad covers the text";
    EXPECT_GT(count(60, 200, white), 20) << "the text's depth 0 keeps the quad out";

    // A depth clear of the whole buffer leaves no depth of the text behind.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    text(20, 0xFFFFFFFF);
    device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    Rect(0, 0, 200, 60, 0xFF0000FF, 0.5f);
    device_->EndScene();
    EXPECT_EQ(count(0, 200, white), 0);

    // Text over text: a test that depth 0 fails where the first text wrote keeps the second
    // out of the first's pixels, and the second draws nowhere else (same glyphs).
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    text(20, 0xFFFFFFFF);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    text(20, 0xFFFF0000);
    device_->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    device_->EndScene();
    EXPECT_GT(count(0, 200, white), 20);
    EXPECT_EQ(count(0, 200, red), 0);

    // Depth written over many frames that never clear it stays right (and bounded).
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    for (int frame = 0; frame < 300; ++frame) {
        device_->BeginScene();
        text(20, 0xFFFFFFFF);
        device_->EndScene();
    }
    device_->BeginScene();
    Rect(0, 0, 200, 60, 0xFF0000FF, 0.5f);
    device_->EndScene();
    EXPECT_GT(count(0, 200, white), 20);
    font->Release();
}

// Text calls of one font with the same states go to GL as one draw, sent before anything else
// happens on the device. A frame of text, lines, draws, state changes and clears must come
// out exactly as when every call is drawn at once.
TEST_F(TextBoxTest, HeldTextLandsAsIfEachCallWereDrawnAtOnce) {
    ID3DXFont* info = nullptr;
    ID3DXFont* big = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, -11, 0, FW_BOLD, 0, FALSE, 1, 0, 0, 0, "Verdana", &info), D3D_OK);
    ASSERT_EQ(D3DXCreateFontA(device_, 24, 0, 400, 0, FALSE, 1, 0, 0, 0, "Kartika", &big), D3D_OK);
    sdlgl::GlDevice& gl = static_cast<sdlgl::SdlDevice*>(device_)->Gl();
    const sdlgl::GlFont& infoGl = static_cast<sdlgl::SdlFont*>(info)->Gl();
    struct LineVertex {
        float x, y, z;
        D3DCOLOR c;
    };
    // `send` draws what is held after every call, as drawing each call at once would.
    auto frame = [&](bool send) {
        auto sent = [&] {
            if (!send) return;
            gl.BindBackBuffer();
            gl.RestoreGlState();
        };
        auto text = [&](ID3DXFont* f, const char* s, int x, int y, DWORD format, D3DCOLOR c) {
            RECT r;
            SetRect(&r, x, y, x + 90, y + 12);
            f->DrawTextA(nullptr, s, -1, &r, format, c);
            sent();
        };
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040, 1.0f, 0);
        device_->BeginScene();
        text(info, "Camera 1", 5, 5, DT_NOCLIP, 0xFFFFFFFF);
        text(info, "Objects 25", 5, 15, DT_NOCLIP, 0xFFFFFFFF);
        text(info, "Overlapping", 8, 18, DT_NOCLIP, 0xFFFFFFFF);   // blends over the line above
        text(info, "Half red", 5, 25, DT_NOCLIP, 0x80FF0000);
        text(big, "Big 42", 5, 20, DT_NOCLIP, 0xC000FF00);         // another font over both
        text(info, "Clipped to ninety pixels wide", 5, 45, 0, 0xFFFFFFFF);
        text(info, "Clipped again, other place", 5, 58, 0, 0xFFFFFFFF);
        // A held line under text and a line over it.
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        LineVertex across[2] = {{-1, 0.75f, 0.5f, 0xFFFF00FF}, {1, 0.75f, 0.5f, 0xFFFF00FF}};
        device_->DrawPrimitiveUP(D3DPT_LINELIST, 1, across, sizeof(LineVertex));
        text(info, "Over the line", 5, 18, DT_NOCLIP, 0xFF00FFFF);
        LineVertex over[2] = {{-1, 0.8f, 0.5f, 0xFFFFFF00}, {1, 0.8f, 0.5f, 0xFFFFFF00}};
        device_->DrawPrimitiveUP(D3DPT_LINELIST, 1, over, sizeof(LineVertex));
        // A draw after text, with a colour alpha and blending off: the text's blending must
        // not reach it, and its depth test sees the text's depth 0.
        text(info, "Under a quad", 120, 5, DT_NOCLIP, 0xFFFFFFFF);
        device_->SetFVF(kRhwFvf);
        Rect(110, 0, 250, 30, 0x800000FF, 0.5f);
        // A state change between two text calls: the second writes no depth.
        text(info, "Depth", 120, 40, DT_NOCLIP, 0xFFFFFFFF);
        device_->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        text(info, "No depth", 120, 55, DT_NOCLIP, 0xFFFFFFFF);
        device_->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        Rect(110, 35, 250, 70, 0xFF800000, 0.5f);
        // Text, then a clear of part of the target: the clear comes after it.
        text(info, "Cleared", 5, 100, DT_NOCLIP, 0xFFFFFFFF);
        D3DRECT part = {0, 95, 30, 120};
        device_->Clear(1, &part, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        // Text held at the read-back is in it.
        text(info, "Last", 5, 150, DT_NOCLIP, 0xFFFFFFFF);
        ReadBack();
        device_->EndScene();
        return pixels_;
    };
    const uint64_t before = infoGl.TextBatches();
    std::vector<uint8_t> held = frame(false);
    const uint64_t heldDraws = infoGl.TextBatches() - before;
    std::vector<uint8_t> atOnce = frame(true);
    const uint64_t atOnceDraws = infoGl.TextBatches() - before - heldDraws;
    EXPECT_EQ(atOnceDraws, 12u);
    // Joined: the four calls at the top, whatever their colours (enough glyphs for a composite
    // picture, one of them over the line above); the two clipped calls (other rectangles) and
    // the rest (split by other drawing) stay apart.
    EXPECT_EQ(heldDraws, 9u);
    ASSERT_EQ(held.size(), atOnce.size());
    size_t differ = 0;
    for (size_t i = 0; i < held.size(); ++i) differ += held[i] != atOnce[i];
    EXPECT_EQ(differ, 0u);
    // The picture has what the calls drew.
    EXPECT_TRUE(Near(Pixel(200, 25), 0x0000FF, 0)) << "the quad is unblended";
    int white = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 120; x < 200; ++x) white += Pixel(x, y).r > 200 && Pixel(x, y).b > 200;
    EXPECT_GT(white, 20) << "the text under the quad keeps it out by its depth";
    int depthLess = 0;
    for (int y = 55; y < 68; ++y)
        for (int x = 120; x < 200; ++x) depthLess += Pixel(x, y).g > 200;
    EXPECT_EQ(depthLess, 0) << "text without depth writes is covered";
    int cleared = 0;
    for (int y = 95; y < 120; ++y)
        for (int x = 0; x < 30; ++x) cleared += Pixel(x, y).r > 100;
    EXPECT_EQ(cleared, 0);
    int last = 0;
    for (int y = 150; y < 165; ++y)
        for (int x = 5; x < 40; ++x) last += Pixel(x, y).r > 200;
    EXPECT_GT(last, 10);

    // A changed string at the same place draws its own pixels, not the last frame's; long
    // ones are drawn from a composite picture, kept while the text stays the same.
    auto fps = [&](const char* s) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device_->BeginScene();
        RECT r;
        SetRect(&r, 5, 45, 0, 0);
        info->DrawTextA(nullptr, s, -1, &r, DT_NOCLIP, 0xFFFFFFFF);
        device_->EndScene();
        ReadBack();
        return pixels_;
    };
    for (const char* rate : {"60", "Frames per second: 60, at 800 x 600"}) {
        const std::string other = std::string(rate).replace(std::string(rate).find("60"), 2, "61");
        std::vector<uint8_t> sixty = fps(rate), again = fps(rate), sixtyOne = fps(other.c_str());
        EXPECT_FALSE(sixty == sixtyOne) << rate;
        EXPECT_TRUE(again == sixty) << rate;
        EXPECT_TRUE(fps(rate) == sixty) << rate;
    }

    // Released while its text is held: the text is drawn first.
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    RECT r;
    SetRect(&r, 5, 5, 0, 0);
    big->DrawTextA(nullptr, "Gone", -1, &r, DT_NOCLIP, 0xFFFFFFFF);
    big->Release();
    device_->EndScene();
    ReadBack();
    EXPECT_GT(Lit().lit, 20);
    info->Release();
}

// Text drawn before the scene, frame after frame, has its depth seen every time: it comes to
// be written with the text itself instead of put off. Text whose depth is cleared unseen goes
// back to putting it off. The pictures stay those of the first frame throughout.
TEST_F(TextBoxTest, TextDepthSeenEveryFrameIsWrittenAtOnceWithTheSamePictures) {
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, -11, 0, FW_BOLD, 0, FALSE, 1, 0, 0, 0, "Verdana", &font), D3D_OK);
    sdlgl::GlDevice& gl = static_cast<sdlgl::SdlDevice*>(device_)->Gl();
    // One frame: text (with its depth put off or not afterwards), then a quad through it.
    auto frame = [&](bool textFirst, bool& putOff) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device_->BeginScene();
        RECT r;
        SetRect(&r, 20, 20, 0, 0);
        if (!textFirst) Rect(0, 0, 120, 60, 0xFF0000FF, 0.5f);
        font->DrawTextA(nullptr, "Frames 60", -1, &r, DT_NOCLIP, 0xC0FFFFFF);
        gl.BindBackBuffer();   // the text is drawn
        gl.RestoreGlState();
        putOff = gl.HasDeferredDepth();
        if (textFirst) Rect(0, 0, 120, 60, 0xFF0000FF, 0.5f);
        device_->EndScene();
        ReadBack();
        return pixels_;
    };
    bool putOff = false;
    const std::vector<uint8_t> first = frame(true, putOff);
    EXPECT_TRUE(putOff) << "nothing known yet: put off";
    int white = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 120; ++x) white += Pixel(x, y).r > 150;
    EXPECT_GT(white, 20) << "the text keeps the quad out";
    int putOffFrames = 0;
    for (int i = 0; i < 130; ++i) {
        EXPECT_TRUE(frame(true, putOff) == first) << "frame " << i;
        putOffFrames += putOff;
    }
    EXPECT_GE(putOffFrames, 1) << "now and then put off again";
    EXPECT_LE(putOffFrames, 4) << "written at once while it is seen";

    // Text after the scene, depth cleared by the next frame unseen: back to putting it off
    // within one round of 64.
    const std::vector<uint8_t> after = frame(false, putOff);
    int putOffLater = 0;
    for (int i = 0; i < 130; ++i) {
        EXPECT_TRUE(frame(false, putOff) == after) << "frame " << i;
        putOffLater += i >= 64 && putOff;
    }
    EXPECT_EQ(putOffLater, 130 - 64);
    font->Release();
}

TEST_F(TextBoxTest, FaceNamesMapToDebianFaces) {
    EXPECT_EQ(sdlgl::MapFaceName("Verdana").family, "DejaVu Sans");
    EXPECT_EQ(sdlgl::MapFaceName("kartika").family, "Liberation Sans");
    EXPECT_EQ(sdlgl::MapFaceName("Arial").family, "Liberation Sans");
    EXPECT_TRUE(sdlgl::MapFaceName("Impact").forceBold);
    // Bold asks for a heavier face (or thickens a light one): more lit pixels than normal.
    ID3DXFont* normal = nullptr;
    ID3DXFont* bold = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, -11, 0, FW_NORMAL, 0, FALSE, 1, 0, 0, 0, "Verdana", &normal), D3D_OK);
    ASSERT_EQ(D3DXCreateFontA(device_, -11, 0, FW_BOLD, 0, FALSE, 1, 0, 0, 0, "Verdana", &bold), D3D_OK);
    DrawAt(normal, "Weight", 10, 10);
    int normalLit = Lit().lit;
    DrawAt(bold, "Weight", 10, 10);
    EXPECT_GT(Lit().lit, normalLit);
    // An explicit width narrows the glyphs.
    ID3DXFont* narrow = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, 60, 10, FW_NORMAL, 0, FALSE, 1, 0, 0, 0, "Impact", &narrow), D3D_OK);
    ID3DXFont* wide = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device_, 60, 30, FW_NORMAL, 0, FALSE, 1, 0, 0, 0, "Impact", &wide), D3D_OK);
    DrawAt(narrow, "Vel", 0, 0);
    int narrowWidth = Lit().right;
    DrawAt(wide, "Vel", 0, 0);
    EXPECT_GT(Lit().right, narrowWidth * 2);
    normal->Release();
    bold->Release();
    narrow->Release();
    wide->Release();
}

// Two quads side by side in clip space, one per material, each material emissive.
const char* kTwoQuads = R"(xof 0303txt 0032
Mesh {
 8;
 -0.9;-0.5;0.5;, -0.1;-0.5;0.5;, -0.1;0.5;0.5;, -0.9;0.5;0.5;,
 0.1;-0.5;0.5;, 0.9;-0.5;0.5;, 0.9;0.5;0.5;, 0.1;0.5;0.5;;
 2;
 4;0,1,2,3;,
 4;4,5,6,7;;
 MeshMaterialList {
  2;
  2;
  0,
  1;;
  Material { 1.0;0.0;0.0;1.0;; 0.0; 0.0;0.0;0.0;; 1.0;0.0;0.0;; TextureFilename { "red.bmp"; } }
  Material { 0.0;0.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.0;0.0;1.0;; }
 }
}
)";

// The loads around the 16-bit index limit, answered as headless (device_test.cpp). A mesh that
// loads draws the triangle that ends at its last vertex where that vertex is.
TEST_F(MeshTest, MeshesOverTheSixteenBitLimitNeedThe32BitOption) {
    TempDir dir;
    testsupport::WriteSixteenBitLimitFiles(
        [&](const char* name, const std::string& bytes) { WriteFile(dir.File(name), bytes); });
    for (const testsupport::MeshLoad& c : testsupport::kSixteenBitLimit) {
        ID3DXMesh* mesh = nullptr;
        EXPECT_EQ(D3DXLoadMeshFromXA(dir.File(c.file).c_str(), c.options, device_, nullptr, nullptr,
                                     nullptr, nullptr, &mesh),
                  c.result)
            << c.file << " " << c.options;
        EXPECT_EQ(mesh != nullptr, c.result == D3D_OK);
        if (!mesh) continue;
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device_->BeginScene();
        EXPECT_EQ(mesh->DrawSubset(0), D3D_OK);
        device_->EndScene();
        ReadBack();
        EXPECT_TRUE(Near(Pixel(kWidth * 5 / 8, kHeight * 3 / 8), 0xFFFFFF)) << c.file;
        mesh->Release();
    }
}

TEST_F(MeshTest, DrawSubsetDrawsOnlyThatMaterialsTriangles) {
    TempDir dir;
    WriteFile(dir.File("quads.x"), kTwoQuads);
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD count = 0;
    ASSERT_EQ(D3DXLoadMeshFromXA(dir.File("quads.x").c_str(), D3DXMESH_SYSTEMMEM, device_, nullptr,
                                 &materials, nullptr, &count, &mesh),
              D3D_OK);
    ASSERT_EQ(count, 2u);
    auto* mats = static_cast<D3DXMATERIAL*>(materials->GetBufferPointer());
    ASSERT_NE(mats[0].pTextureFilename, nullptr);
    EXPECT_STREQ(mats[0].pTextureFilename, "red.bmp");
    EXPECT_EQ(mats[1].pTextureFilename, nullptr);
    EXPECT_FLOAT_EQ(mats[1].MatD3D.Emissive.b, 1.0f);

    auto drawSubsets = [&](std::initializer_list<DWORD> subsets) {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device_->BeginScene();
        for (DWORD s : subsets) {
            device_->SetMaterial(&mats[s].MatD3D);
            EXPECT_EQ(mesh->DrawSubset(s), D3D_OK);
        }
        device_->EndScene();
        ReadBack();
    };
    const int leftX = kWidth / 4, rightX = 3 * kWidth / 4, y = kHeight / 2;
    drawSubsets({1});
    EXPECT_TRUE(Near(Pixel(leftX, y), 0x000000, 0));
    EXPECT_TRUE(Near(Pixel(rightX, y), 0x0000FF));
    drawSubsets({0, 1});
    EXPECT_TRUE(Near(Pixel(leftX, y), 0xFF0000));
    EXPECT_TRUE(Near(Pixel(rightX, y), 0x0000FF));
    drawSubsets({});
    device_->BeginScene();
    EXPECT_EQ(mesh->DrawSubset(7), D3D_OK);   // no triangles with that attribute: nothing
    device_->EndScene();
    ReadBack();
    EXPECT_TRUE(Near(Pixel(rightX, y), 0x000000, 0));

    WriteFile(dir.File("broken.x"), "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;");
    ID3DXMesh* broken = nullptr;
    EXPECT_LT(D3DXLoadMeshFromXA(dir.File("broken.x").c_str(), 0, device_, nullptr, nullptr,
                                 nullptr, nullptr, &broken), 0);
    EXPECT_EQ(broken, nullptr);
    EXPECT_LT(D3DXLoadMeshFromXA(dir.File("missing.x").c_str(), 0, device_, nullptr, nullptr,
                                 nullptr, nullptr, &broken), 0);
    materials->Release();
    mesh->Release();
}

// Loads of one unchanged file share the GL buffers and the GL texture; each object keeps its
// own count, the shared GL objects go with the last of them, and a changed file is read again.
TEST_F(MeshTest, LoadsOfOneFileShareTheirGlObjects) {
    TempDir dir;
    WriteFile(dir.File("quads.x"), kTwoQuads);
    auto* sdl = static_cast<sdlgl::SdlDevice*>(device_);
    ID3DXMesh* a = nullptr;
    ID3DXMesh* b = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD count = 0;
    ASSERT_EQ(D3DXLoadMeshFromXA(dir.File("quads.x").c_str(), 0, device_, nullptr, &materials,
                                 nullptr, &count, &a), D3D_OK);
    materials->Release();
    ASSERT_EQ(D3DXLoadMeshFromXA(dir.File("quads.x").c_str(), 0, device_, nullptr, &materials,
                                 nullptr, &count, &b), D3D_OK);
    ASSERT_NE(a, b);
    EXPECT_EQ(count, 2u);
    auto* mats = static_cast<D3DXMATERIAL*>(materials->GetBufferPointer());
    EXPECT_STREQ(mats[0].pTextureFilename, "red.bmp");
    EXPECT_EQ(&static_cast<sdlgl::SdlMesh*>(a)->Gl(), &static_cast<sdlgl::SdlMesh*>(b)->Gl());
    EXPECT_EQ(sdl->MeshLoads().Live(), 1u);

    // Releasing one leaves the other drawing.
    EXPECT_EQ(a->Release(), 0u);
    const int rightX = 3 * kWidth / 4, y = kHeight / 2;
    device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    device_->BeginScene();
    device_->SetMaterial(&mats[1].MatD3D);
    EXPECT_EQ(b->DrawSubset(1), D3D_OK);
    device_->EndScene();
    ReadBack();
    EXPECT_TRUE(Near(Pixel(rightX, y), 0x0000FF));
    EXPECT_EQ(b->Release(), 0u);
    EXPECT_EQ(sdl->MeshLoads().Live(), 0u) << "the last mesh takes the buffers with it";
    materials->Release();

    // A changed file gives new buffers.
    ASSERT_EQ(D3DXLoadMeshFromXA(dir.File("quads.x").c_str(), 0, device_, nullptr, nullptr,
                                 nullptr, nullptr, &a), D3D_OK);
    WriteFile(dir.File("quads.x"), std::string(kTwoQuads) + "\n");
    ASSERT_EQ(D3DXLoadMeshFromXA(dir.File("quads.x").c_str(), 0, device_, nullptr, nullptr,
                                 nullptr, nullptr, &b), D3D_OK);
    EXPECT_NE(&static_cast<sdlgl::SdlMesh*>(a)->Gl(), &static_cast<sdlgl::SdlMesh*>(b)->Gl());
    a->Release();
    b->Release();

    // Textures share their GL texture the same way.
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 255};   // 2 x 1
    ASSERT_TRUE(sdlgl::WritePng(dir.File("t.png"), 2, 1, rgba));
    IDirect3DTexture9* t1 = nullptr;
    IDirect3DTexture9* t2 = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device_, dir.File("t.png").c_str(), &t1), D3D_OK);
    ASSERT_EQ(D3DXCreateTextureFromFileA(device_, dir.File("t.png").c_str(), &t2), D3D_OK);
    ASSERT_NE(t1, t2);
    EXPECT_EQ(static_cast<sdlgl::SdlTexture*>(t1)->Gl(), static_cast<sdlgl::SdlTexture*>(t2)->Gl());
    device_->SetTexture(0, t1);
    EXPECT_EQ(t1->Release(), 1u) << "the device holds the bound one";
    device_->SetTexture(0, nullptr);
    EXPECT_EQ(sdl->TextureLoads().Live(), 1u);
    EXPECT_EQ(static_cast<sdlgl::SdlTexture*>(t2)->Gl()->width, 2);
    ASSERT_TRUE(sdlgl::WritePng(dir.File("t.png"), 4, 1, std::vector<uint8_t>(16, 255)));
    IDirect3DTexture9* t3 = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(device_, dir.File("t.png").c_str(), &t3), D3D_OK);
    EXPECT_EQ(static_cast<sdlgl::SdlTexture*>(t3)->Gl()->width, 4);
    t2->Release();
    t3->Release();
    EXPECT_EQ(sdl->TextureLoads().Live(), 0u);
}

TEST_F(MeshTest, EffectsThatCannotBeMadeLeaveNoObject) {
    TempDir dir;
    WriteFile(dir.File("broken.fx"), "technique T { pass P { VertexShader = compile vs_2_0 ; ");
    for (const char* file : {"broken.fx", "missing.fx"}) {
        ID3DXEffect* effect = reinterpret_cast<ID3DXEffect*>(1);
        EXPECT_LT(D3DXCreateEffectFromFileA(device_, dir.File(file).c_str(), nullptr, nullptr, 0,
                                            nullptr, &effect, nullptr),
                  0)
            << file;
        EXPECT_EQ(effect, nullptr) << file;
    }
}

}  // namespace
}  // namespace sdltest
