// The window system over SDL: window size and title, messages from SDL events, the keyboard
// state as of the messages taken, closing, the cursor, and the clocks.
#include <SDL.h>

#include <ctime>

#include "gl_fixture.h"
#include "platform/backend.h"
#include "tests/support/x_server.h"

namespace sdltest {
namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!StartSdlBackend()) GTEST_SKIP() << "no X server: " << testsupport::XProblem();
        window_ = MakeWindow(320, 200, "\xCA\xE0\xEC\xE5\xF0\xE0");
        if (!window_) GTEST_SKIP() << "no window on the private X server";
        sdl_ = SDL_GetWindowFromID(SDL_GetWindowID(SDL_GL_GetCurrentWindow()));
        sdl_ = nullptr;
        for (Uint32 id = 1; id < 64 && !sdl_; ++id)
            if (SDL_Window* w = SDL_GetWindowFromID(id))
                if (SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN) sdl_ = w;
        Drain();
        Received().clear();
    }
    void TearDown() override {
        if (window_) DestroyWindow(window_);
    }
    // Takes every waiting message, dispatching each, as the program's loop does (an empty
    // queue is an idle pass); stops after two empty looks in a row. Returns the messages.
    std::vector<MSG> Drain() {
        std::vector<MSG> out;
        MSG m;
        for (int empty = 0; empty < 2;) {
            if (!PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
                ++empty;
                continue;
            }
            empty = 0;
            out.push_back(m);
            if (m.message == WM_QUIT) break;
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        return out;
    }
    void PushKey(SDL_Scancode sc, bool down, bool repeat = false) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat ? 1 : 0;
        e.key.keysym.scancode = sc;
        e.key.windowID = SDL_GetWindowID(sdl_);
        SDL_PushEvent(&e);
    }

    HWND window_ = nullptr;
    SDL_Window* sdl_ = nullptr;
};

TEST_F(WindowTest, ClientAreaIsTheOuterSizeLessTheWin32FrameAndTitleIsConverted) {
    ASSERT_NE(sdl_, nullptr);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl_, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    EXPECT_STREQ(SDL_GetWindowTitle(sdl_), "\xD0\x9A\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x80\xD0\xB0");
    // WM_CREATE reached the procedure during creation.
    HWND other = MakeWindow(10, 10);
    ASSERT_NE(other, nullptr);
    ASSERT_FALSE(Received().empty());
    EXPECT_EQ(Received().front().message, static_cast<UINT>(WM_CREATE));
    DestroyWindow(other);
    EXPECT_EQ(CreateWindowExA(0, "no such class", "", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL),
              nullptr);
}

TEST_F(WindowTest, KeysBecomeVirtualKeyMessagesAndStateChangesWhenTaken) {
    PushKey(SDL_SCANCODE_GRAVE, true);   // the key left of 1
    BYTE keys[256];
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_OEM_3));
    EXPECT_EQ((m.lParam >> 16) & 0xFF, 0x29);   // its scan code
    GetKeyboardState(keys);
    EXPECT_FALSE(keys[VK_OEM_3] & 0x80) << "state changed before the message was taken";
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    GetKeyboardState(keys);
    EXPECT_TRUE(keys[VK_OEM_3] & 0x80);

    PushKey(SDL_SCANCODE_GRAVE, true, true);   // auto-repeat
    PushKey(SDL_SCANCODE_GRAVE, false);
    std::vector<MSG> got = Drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_TRUE(got[0].lParam & (LPARAM(1) << 30)) << "repeat carries the previous state";
    EXPECT_EQ(got[1].message, static_cast<UINT>(WM_KEYUP));
    GetKeyboardState(keys);
    EXPECT_FALSE(keys[VK_OEM_3] & 0x80);

    // Shift: the generic key and the side's key.
    PushKey(SDL_SCANCODE_RSHIFT, true);
    PushKey(SDL_SCANCODE_A, true);
    got = Drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].wParam, static_cast<WPARAM>(VK_SHIFT));
    EXPECT_EQ(got[1].wParam, static_cast<WPARAM>('A'));
    GetKeyboardState(keys);
    EXPECT_TRUE(keys[VK_SHIFT] & 0x80);
    EXPECT_TRUE(keys[VK_RSHIFT] & 0x80);
    EXPECT_FALSE(keys[VK_LSHIFT] & 0x80);
    PushKey(SDL_SCANCODE_RSHIFT, false);
    PushKey(SDL_SCANCODE_A, false);
    Drain();

    // F12 is the platform's screenshot key: the program never sees it.
    PushKey(SDL_SCANCODE_F12, true);
    PushKey(SDL_SCANCODE_F12, false);
    EXPECT_TRUE(Drain().empty());
}

TEST_F(WindowTest, APressAndReleaseArrivingTogetherStayDownForOneIdlePass) {
    // Synthetic input (or a slow frame) can bring both at once; the program polls the
    // keyboard only when the queue is empty, so the release waits for that moment.
    PushKey(SDL_SCANCODE_TAB, true);
    PushKey(SDL_SCANCODE_TAB, false);
    PushKey(SDL_SCANCODE_B, true);   // later input keeps its place behind the release
    MSG m;
    BYTE keys[256];
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_TAB));
    EXPECT_FALSE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) << "the idle pass comes first";
    GetKeyboardState(keys);
    EXPECT_TRUE(keys[VK_TAB] & 0x80);
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_KEYUP));
    ASSERT_TRUE(PeekMessageA(&m, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, static_cast<WPARAM>('B'));
    GetKeyboardState(keys);
    EXPECT_FALSE(keys[VK_TAB] & 0x80);
    PushKey(SDL_SCANCODE_B, false);
    Drain();
}

TEST_F(WindowTest, MouseMessagesCarryClientCoordinates) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = SDL_PRESSED;
    e.button.x = 33;
    e.button.y = 44;
    e.button.windowID = SDL_GetWindowID(sdl_);
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    e.button.state = SDL_RELEASED;
    SDL_PushEvent(&e);
    SDL_Event mv{};
    mv.type = SDL_MOUSEMOTION;
    mv.motion.x = 50;
    mv.motion.y = 60;
    mv.motion.windowID = e.button.windowID;
    SDL_PushEvent(&mv);
    // The release waits for the idle pass after the press, the move behind it.
    MSG first;
    ASSERT_TRUE(PeekMessageA(&first, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(first.message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_FALSE(PeekMessageA(&first, NULL, 0, 0, PM_NOREMOVE));
    std::vector<MSG> got = Drain();
    got.insert(got.begin(), first);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(GET_X_LPARAM(got[0].lParam), 33);
    EXPECT_EQ(GET_Y_LPARAM(got[0].lParam), 44);
    EXPECT_EQ(got[1].message, static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(got[2].message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(GET_Y_LPARAM(got[2].lParam), 60);

    POINT p{0, 0};
    EXPECT_TRUE(GetCursorPos(&p));
    POINT c = p;
    EXPECT_TRUE(ScreenToClient(window_, &c));
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(sdl_, &wx, &wy);
    EXPECT_EQ(c.x, p.x - wx);
    EXPECT_EQ(c.y, p.y - wy);
}

TEST_F(WindowTest, ClosingSendsCloseThenDestroyThenQuit) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;   // what SIGTERM becomes: a close of the window
    SDL_PushEvent(&quit);
    MSG first;
    ASSERT_TRUE(PeekMessageA(&first, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(first.message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(first.hwnd, window_);
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    e.window.windowID = SDL_GetWindowID(sdl_);
    SDL_PushEvent(&e);   // a click while the first close waits: still one WM_CLOSE
    std::vector<MSG> got = Drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(got[1].message, static_cast<UINT>(WM_QUIT));
    // The procedure saw WM_CLOSE, and DefWindowProcA destroyed the window.
    ASSERT_GE(Received().size(), 2u);
    EXPECT_EQ(Received()[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(Received()[1].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(DestroyWindow(window_)) << "already destroyed";
    window_ = nullptr;
}

TEST_F(WindowTest, CursorFromFileAndHiddenWithNull) {
    TempDir dir;
    // A 2x2 cursor of 32 bits per pixel with its hotspot at (1, 1).
    std::string cur;
    auto u16 = [&](int v) { cur += char(v & 0xFF); cur += char((v >> 8) & 0xFF); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    u16(0); u16(2); u16(1);
    cur += char(2); cur += char(2); cur += char(0); cur += char(0);
    u16(1); u16(1); u32(40 + 16 + 8); u32(22);
    u32(40); u32(2); u32(4); u16(1); u16(32); u32(0); u32(0); u32(0); u32(0); u32(0); u32(0);
    for (int i = 0; i < 4; ++i) u32(0xFF00FF00);
    for (int i = 0; i < 2; ++i) u32(0);
    WriteFile(dir.File("mouse.cur"), cur);
    HCURSOR c = LoadCursorFromFileA(dir.File("MOUSE.CUR").c_str());   // found case-blind
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(LoadCursorFromFileA(dir.File("none.cur").c_str()), nullptr);
    WriteFile(dir.File("bad.cur"), "not a cursor");
    EXPECT_EQ(LoadCursorFromFileA(dir.File("bad.cur").c_str()), nullptr);
    SetCursor(c);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(SetCursor(NULL), c);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(WindowTest, ClocksAndScreenContext) {
    DWORD a = timeGetTime();
    SDL_Delay(20);
    DWORD b = timeGetTime();
    EXPECT_GE(DWORD(b - a), 15u);
    EXPECT_LT(DWORD(b - a), 2000u);
    SYSTEMTIME st;
    GetSystemTime(&st);
    time_t now = time(nullptr);
    tm utc;
    gmtime_r(&now, &utc);
    EXPECT_EQ(st.wYear, utc.tm_year + 1900);
    EXPECT_EQ(st.wMonth, utc.tm_mon + 1);
    EXPECT_EQ(st.wDay, utc.tm_mday);
    HDC dc = GetDC(NULL);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
    EXPECT_EQ(ReleaseDC(NULL, dc), 1);
}

}  // namespace
}  // namespace sdltest
