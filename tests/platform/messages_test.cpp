// The headless window system: Win32 message semantics, keyboard state, cursor, clock.
#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/windows.h"

namespace {

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Seen> g_seen;
bool g_quitOnDestroy = true;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back({hwnd, msg, wParam, lParam});
    if (msg == WM_DESTROY) {
        if (g_quitOnDestroy) PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        headless::Reset();
        g_seen.clear();
        g_quitOnDestroy = true;
    }
    HWND MakeWindow(const char* cls = "Zarvik", int x = 0, int y = 0) {
        WNDCLASSEXA wc{};
        wc.cbSize = 48;   // as a 32-bit program fills it in
        wc.style = CS_CLASSDC;
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = cls;
        RegisterClassExA(&wc);
        return CreateWindowExA(0, cls, "|Zarvik|0.0.4|June 1|", WS_OVERLAPPEDWINDOW, x, y, 640, 480, NULL,
                               NULL, wc.hInstance, NULL);
    }
    // Runs the loop the engine runs until WM_QUIT; returns the messages handled.
    int Pump(MSG& msg) {
        int handled = 0;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return handled;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            ++handled;
        }
        return -1;   // the queue ran dry without WM_QUIT
    }
    bool Down(BYTE vk) {
        BYTE keys[256];
        GetKeyboardState(keys);
        return (keys[vk] & 0x80) != 0;
    }
};

TEST_F(Messages, ClassesRegisterOnceAndStayWhileWindowsLive) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "Zarvik";
    EXPECT_NE(RegisterClassExA(&wc), 0);
    EXPECT_EQ(RegisterClassExA(&wc), 0) << "a second class of the same name";
    wc.cbSize = 12;
    wc.lpszClassName = "Other";
    EXPECT_EQ(RegisterClassExA(&wc), 0) << "a wrong structure size";
    EXPECT_EQ(RegisterClassExA(nullptr), 0);

    HWND w = CreateWindowExA(0, "zarvik", "t", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(w, nullptr) << "class names are found without regard to case";
    EXPECT_EQ(CreateWindowExA(0, "Missing", "t", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL), nullptr);
    EXPECT_FALSE(UnregisterClassA("Zarvik", NULL)) << "a window of the class is alive";
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassA("Zarvik", NULL));
    EXPECT_FALSE(headless::ClassRegistered("Zarvik"));
    EXPECT_FALSE(UnregisterClassA("Zarvik", NULL));
}

TEST_F(Messages, WindowIsCreatedHiddenWithCreateSentAndShownLater) {
    HWND w = MakeWindow();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].msg, (UINT)WM_CREATE);
    headless::WindowInfo info;
    ASSERT_TRUE(headless::GetWindowInfo(w, info));
    EXPECT_EQ(info.title, "|Zarvik|0.0.4|June 1|");
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(info.style, (DWORD)WS_OVERLAPPEDWINDOW);
    EXPECT_FALSE(info.visible);
    EXPECT_FALSE(ShowWindow(w, SW_SHOWDEFAULT));
    EXPECT_TRUE(ShowWindow(w, SW_SHOWDEFAULT)) << "returns the previous visibility";
    EXPECT_TRUE(UpdateWindow(w));
    headless::GetWindowInfo(w, info);
    EXPECT_TRUE(info.visible);
    EXPECT_EQ(headless::MainWindow(), w);
    EXPECT_EQ(GetModuleHandleA(NULL), GetModuleHandleA(NULL));
    EXPECT_NE(GetModuleHandleA(NULL), nullptr);
}

TEST_F(Messages, CloseDestroysTheWindowAndQuitComesAfterEverythingElse) {
    HWND w = MakeWindow();
    headless::PostClose();
    headless::KeyDown(VK_TAB);   // posted after the close, still handled before WM_QUIT
    MSG msg{};
    EXPECT_EQ(Pump(msg), 3) << "WM_CLOSE, WM_KEYDOWN and the WM_CHAR it makes";
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.hwnd, nullptr);
    std::vector<UINT> order;
    for (const Seen& s : g_seen) order.push_back(s.msg);
    EXPECT_EQ(order, (std::vector<UINT>{WM_CREATE, WM_CLOSE, WM_DESTROY}))
        << "input for a destroyed window is not dispatched";
    headless::WindowInfo info;
    headless::GetWindowInfo(w, info);
    EXPECT_TRUE(info.destroyed);
    EXPECT_EQ(headless::MainWindow(), nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) << "WM_QUIT is taken once";
    EXPECT_EQ(DispatchMessageA(&msg), 0);
    EXPECT_FALSE(DestroyWindow(w));
}

TEST_F(Messages, QuitWaitsForAnUnfilteredPeekAndNoRemoveLeavesMessages) {
    HWND w = MakeWindow();
    PostQuitMessage(3);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, w, 0, 0, PM_REMOVE)) << "WM_QUIT belongs to no window";
    headless::KeyDown('A');
    EXPECT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    EXPECT_FALSE(Down('A')) << "a peeked but not removed key changes nothing";
    EXPECT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the range skips the key";
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(headless::QueuedMessages(), 1u);
}

TEST_F(Messages, KeyboardStateFollowsTheMessagesTakenNotThosePosted) {
    MakeWindow();
    MSG msg{};
    headless::KeyDown(VK_OEM_3);
    EXPECT_FALSE(Down(VK_OEM_3));
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    EXPECT_EQ(msg.wParam, (WPARAM)VK_OEM_3);
    EXPECT_TRUE(Down(VK_OEM_3));
    headless::KeyUp(VK_OEM_3);
    EXPECT_TRUE(Down(VK_OEM_3)) << "the release is still queued";
    PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);
    EXPECT_EQ(msg.message, (UINT)WM_KEYUP);
    EXPECT_FALSE(Down(VK_OEM_3));

    BYTE keys[256];
    GetKeyboardState(keys);
    EXPECT_EQ(keys[VK_OEM_3] & 1, 1) << "the toggle bit flipped with the press";
    EXPECT_FALSE(GetKeyboardState(nullptr));
}

TEST_F(Messages, ShiftSidesAreToldApart) {
    MakeWindow();
    MSG msg{};
    headless::KeyDown(VK_RSHIFT);
    PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);
    EXPECT_EQ(msg.wParam, (WPARAM)VK_SHIFT) << "the message names the generic key";
    EXPECT_TRUE(Down(VK_SHIFT));
    EXPECT_TRUE(Down(VK_RSHIFT));
    EXPECT_FALSE(Down(VK_LSHIFT));
    headless::KeyDown(VK_LSHIFT);
    headless::KeyUp(VK_RSHIFT);
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {}
    EXPECT_TRUE(Down(VK_SHIFT)) << "the left one is still held";
    EXPECT_TRUE(Down(VK_LSHIFT));
    EXPECT_FALSE(Down(VK_RSHIFT));
    headless::KeyDown(VK_RCONTROL);
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {}
    EXPECT_TRUE(Down(VK_CONTROL));
    EXPECT_TRUE(Down(VK_RCONTROL));
    EXPECT_FALSE(Down(VK_LCONTROL));
}

TEST_F(Messages, RepeatsAreFlaggedAndTranslateQueuesCharactersFirst) {
    MakeWindow();
    MSG msg{};
    headless::KeyDown('A');
    headless::KeyDown('A');   // held: an auto-repeat
    headless::KeyDown(VK_LSHIFT);
    headless::KeyDown('B');
    headless::KeyDown(VK_F1);
    std::vector<std::pair<UINT, WPARAM>> got;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_KEYDOWN && msg.wParam == 'A') {
            EXPECT_EQ((msg.lParam >> 30) & 1, got.empty() ? 0 : 1);
        }
        got.push_back({msg.message, msg.wParam});
        TranslateMessage(&msg);
    }
    std::vector<std::pair<UINT, WPARAM>> want = {
        {WM_KEYDOWN, 'A'}, {WM_CHAR, 'a'}, {WM_KEYDOWN, 'A'}, {WM_CHAR, 'a'},
        {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, 'B'}, {WM_CHAR, 'B'}, {WM_KEYDOWN, VK_F1}};
    EXPECT_EQ(got, want);
    EXPECT_TRUE(Down('A') && Down('B') && Down(VK_SHIFT)) << "character messages leave the keys alone";
    headless::KeyDown(VK_SPACE);
    headless::KeyDown(VK_RETURN);
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) TranslateMessage(&msg);
    EXPECT_TRUE(Down(VK_SPACE) && Down(VK_RETURN)) << "WM_CHAR ' ' and '\\r' share their codes";
    headless::KeyUp('A');
    PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);
    EXPECT_EQ(msg.message, (UINT)WM_KEYUP);
    EXPECT_EQ((unsigned long)(msg.lParam >> 30) & 3, 3ul) << "previous state and transition bits";
}

TEST_F(Messages, CursorIsInScreenCoordinatesAndMouseMessagesInClientOnes) {
    HWND w = MakeWindow("Zarvik", 100, 50);
    headless::MouseMove(30, 40);
    POINT p{};
    ASSERT_TRUE(GetCursorPos(&p));
    EXPECT_EQ(p.x, 130);
    EXPECT_EQ(p.y, 90);
    ASSERT_TRUE(ScreenToClient(w, &p));
    EXPECT_EQ(p.x, 30);
    EXPECT_EQ(p.y, 40);
    headless::MouseButton(true, true);
    headless::MouseMove(-5, 7);   // dragged out of the window: negative client coordinates
    MSG msg{};
    PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);
    EXPECT_EQ(msg.message, (UINT)WM_MOUSEMOVE);
    PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);
    EXPECT_EQ(msg.message, (UINT)WM_LBUTTONDOWN);
    EXPECT_EQ(GET_X_LPARAM(msg.lParam), 30);
    EXPECT_TRUE(Down(VK_LBUTTON));
    PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);
    EXPECT_EQ(msg.message, (UINT)WM_MOUSEMOVE);
    EXPECT_EQ(msg.wParam & MK_LBUTTON, (WPARAM)MK_LBUTTON);
    EXPECT_EQ(GET_X_LPARAM(msg.lParam), -5);
    EXPECT_EQ(GET_Y_LPARAM(msg.lParam), 7);
    EXPECT_EQ(msg.pt.x, 95) << "the message carries the screen position";
    EXPECT_FALSE(ScreenToClient(NULL, &p));
}

TEST_F(Messages, ClockIsVirtualStartsHighAndWraps) {
    DWORD t0 = timeGetTime();
    EXPECT_EQ(t0, headless::kStartTime);
    EXPECT_GT(t0, 1000u) << "a frames-per-second window of 1000 ms closes at once";
    EXPECT_EQ(timeGetTime(), t0) << "no real time passes";
    headless::AdvanceTime(250);
    EXPECT_EQ(timeGetTime(), t0 + 250);
    headless::SetTime(0xFFFFFF00u);
    DWORD before = timeGetTime();
    headless::AdvanceTime(0x200);
    EXPECT_EQ(timeGetTime(), 0x100u);
    EXPECT_EQ(timeGetTime() - before, 0x200u) << "unsigned differences survive the wrap";
    MakeWindow();
    headless::KeyDown('Q');
    MSG msg{};
    PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);
    EXPECT_EQ(msg.time, 0x100u);
}

TEST_F(Messages, SystemTimeIsUtcOrTheFixedTime) {
    SYSTEMTIME st{};
    GetSystemTime(&st);
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    EXPECT_EQ(st.wYear, utc.tm_year + 1900);
    EXPECT_EQ(st.wMonth, utc.tm_mon + 1);
    EXPECT_EQ(st.wDayOfWeek, utc.tm_wday);
    SYSTEMTIME fixed{2008, 6, 0, 1, 8, 52, 3, 0};
    headless::SetSystemTime(fixed);
    GetSystemTime(&st);
    EXPECT_EQ(st.wYear, 2008);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wSecond, 3);
    headless::UseRealSystemTime();
    GetSystemTime(&st);
    EXPECT_EQ(st.wYear, utc.tm_year + 1900);
}

TEST_F(Messages, MessageBoxReportsOnStderrAndReturnsAtOnce) {
    testing::internal::CaptureStderr();
    int r = MessageBoxA(NULL, "| File loading failed! |ini.txt | ", "ERROR", MB_OK | MB_ICONWARNING);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, IDOK);
    EXPECT_NE(err.find("ERROR"), std::string::npos);
    EXPECT_NE(err.find("| File loading failed! |ini.txt | "), std::string::npos);
    ASSERT_EQ(headless::MessageBoxes().size(), 1u);
    EXPECT_EQ(headless::MessageBoxes()[0], "ERROR: | File loading failed! |ini.txt | ");
    auto calls = headless::CallsOf("MessageBoxA");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args[3], "0x00000030");
}

TEST_F(Messages, ScreenContextReportsNinetySixPixelsPerInch) {
    HDC dc = GetDC(NULL);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
    EXPECT_EQ(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), -11);
    EXPECT_EQ(ReleaseDC(NULL, dc), 1);
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSY), 0);
}

TEST_F(Messages, ResetForgetsWindowsInputAndTime) {
    MakeWindow();
    headless::KeyDown('A');
    headless::AdvanceTime(5);
    headless::Reset();
    EXPECT_EQ(headless::MainWindow(), nullptr);
    EXPECT_EQ(headless::QueuedMessages(), 0u);
    EXPECT_EQ(timeGetTime(), headless::kStartTime);
    EXPECT_TRUE(headless::Calls().empty());
    EXPECT_FALSE(headless::ClassRegistered("Zarvik"));
}

}  // namespace
