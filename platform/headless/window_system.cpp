// The headless window system: classes and windows, one message queue with Win32's rules,
// the keyboard state as the thread sees it, the cursor, message boxes and the virtual clock.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <strings.h>
#include <sys/time.h>

#include "platform/bench_run.h"
#include "platform/core/cursor.h"
#include "platform/headless/headless_impl.h"

namespace headless {
namespace {

// 32-bit size of WNDCLASSEXA, which a program written for 32-bit Windows passes.
const UINT kWndClassSize32 = 48;
const DWORD kScreenDc = 0x1000;   // address of the one screen device context handle
const int kDefaultWidth = 640, kDefaultHeight = 480;

HINSTANCE ModuleHandle() { return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000)); }
HDC ScreenDc() { return reinterpret_cast<HDC>(static_cast<uintptr_t>(kScreenDc)); }

WindowClass* FindClass(const char* name) {
    if (!name) return nullptr;
    for (WindowClass& c : S().classes)
        if (strcasecmp(c.name.c_str(), name) == 0) return &c;
    return nullptr;
}

Window* LiveWindow(HWND hwnd) {
    Window* w = LookupWindow(hwnd);
    return (w && !w->destroyed) ? w : nullptr;
}

}  // namespace

int CharForKey(BYTE vk, bool shift) {
    if (vk >= 'A' && vk <= 'Z') return shift ? vk : vk - 'A' + 'a';
    if (vk >= '0' && vk <= '9') return shift ? ")!@#$%^&*("[vk - '0'] : vk;
    switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_BACK: return 8;
    case VK_TAB: return '\t';
    case VK_ESCAPE: return 27;
    case VK_OEM_1: return shift ? ':' : ';';
    case VK_OEM_PLUS: return shift ? '+' : '=';
    case VK_OEM_COMMA: return shift ? '<' : ',';
    case VK_OEM_MINUS: return shift ? '_' : '-';
    case VK_OEM_PERIOD: return shift ? '>' : '.';
    case VK_OEM_2: return shift ? '?' : '/';
    case VK_OEM_3: return shift ? '~' : '`';
    case VK_OEM_4: return shift ? '{' : '[';
    case VK_OEM_5: return shift ? '|' : '\\';
    case VK_OEM_6: return shift ? '}' : ']';
    case VK_OEM_7: return shift ? '"' : '\'';
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    default:
        if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return '0' + (vk - VK_NUMPAD0);
        return 0;
    }
}

namespace {

// Scan codes that tell the two sides of Shift, Control and Alt apart.
const BYTE kScanLShift = 0x2A, kScanRShift = 0x36, kScanControl = 0x1D, kScanAlt = 0x38;
const LPARAM kExtended = LPARAM(1) << 24;

// Sets or clears one key of the thread's keyboard state, flipping the toggle bit on a press.
void SetKey(BYTE vk, bool down) {
    BYTE& k = S().keys[vk];
    if (down) {
        if (!(k & 0x80)) k ^= 0x01;
        k |= 0x80;
    } else {
        k &= static_cast<BYTE>(~0x80);
    }
}

// Applies a removed key message to the thread's keyboard state.
void TakeKeyMessage(const MSG& m) {
    bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
    BYTE vk = static_cast<BYTE>(m.wParam);
    BYTE scan = static_cast<BYTE>((m.lParam >> 16) & 0xff);
    bool ext = (m.lParam & kExtended) != 0;
    State& s = S();
    switch (vk) {
    case VK_SHIFT:
        SetKey(scan == kScanRShift ? VK_RSHIFT : VK_LSHIFT, down);
        SetKey(VK_SHIFT, (s.keys[VK_LSHIFT] & 0x80) || (s.keys[VK_RSHIFT] & 0x80));
        break;
    case VK_CONTROL:
        SetKey(ext ? VK_RCONTROL : VK_LCONTROL, down);
        SetKey(VK_CONTROL, (s.keys[VK_LCONTROL] & 0x80) || (s.keys[VK_RCONTROL] & 0x80));
        break;
    case VK_MENU:
        SetKey(ext ? VK_RMENU : VK_LMENU, down);
        SetKey(VK_MENU, (s.keys[VK_LMENU] & 0x80) || (s.keys[VK_RMENU] & 0x80));
        break;
    default:
        SetKey(vk, down);
    }
}

void TakeMouseMessage(const MSG& m) {
    switch (m.message) {
    case WM_LBUTTONDOWN: SetKey(VK_LBUTTON, true); break;
    case WM_LBUTTONUP: SetKey(VK_LBUTTON, false); break;
    case WM_RBUTTONDOWN: SetKey(VK_RBUTTON, true); break;
    case WM_RBUTTONUP: SetKey(VK_RBUTTON, false); break;
    default: break;
    }
}

bool Matches(const MSG& m, HWND hWnd, UINT min, UINT max) {
    if (hWnd && m.hwnd != hWnd) return false;
    if (min == 0 && max == 0) return true;
    return m.message >= min && m.message <= max;
}

WPARAM MouseFlags() {
    const State& s = S();
    WPARAM f = 0;
    if (s.physical[VK_LBUTTON]) f |= MK_LBUTTON;
    if (s.physical[VK_RBUTTON]) f |= MK_RBUTTON;
    if (s.physical[VK_LSHIFT] || s.physical[VK_RSHIFT]) f |= MK_SHIFT;
    if (s.physical[VK_LCONTROL] || s.physical[VK_RCONTROL]) f |= MK_CONTROL;
    return f;
}

POINT ClientCursor(HWND hwnd) {
    POINT p = S().cursor;
    if (Window* w = LookupWindow(hwnd)) {
        p.x -= w->x;
        p.y -= w->y;
    }
    return p;
}

}  // namespace

Window* LookupWindow(HWND hwnd) {
    if (!hwnd) return nullptr;
    for (auto& w : S().windows)
        if (w->handle == hwnd) return w.get();
    return nullptr;
}

void PostMsg(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = S().now;
    m.pt = S().cursor;
    S().queue.push_back(m);
}

void OnPresent() {
    State& s = S();
    ++s.presents;
    s.now += s.frameStep;
    if (s.running && platform::BenchPresent() && !s.closePosted) {   // a timed run is over
        PostClose();
        s.closePosted = true;
    }
    if (s.running) RunScriptFrame();
}

// ---- Backend: window classes and windows ----

ATOM HeadlessBackend::RegisterClassExA(const WNDCLASSEXA* wc) {
    State& s = S();
    ATOM atom = 0;
    if (wc && (wc->cbSize == sizeof(WNDCLASSEXA) || wc->cbSize == kWndClassSize32) &&
        wc->lpszClassName && *wc->lpszClassName && wc->lpfnWndProc &&
        !FindClass(wc->lpszClassName)) {
        WindowClass c;
        c.name = wc->lpszClassName;
        c.proc = wc->lpfnWndProc;
        c.instance = wc->hInstance;
        s.classes.push_back(c);
        atom = static_cast<ATOM>(0xC000 + s.classes.size() - 1);
    }
    Record("win32", "RegisterClassExA",
           {wc ? Str(wc->lpszClassName) : "null", wc ? Dec(wc->cbSize) : "0",
            wc ? Hex(wc->style) : "0"},
           Dec(atom));
    return atom;
}

BOOL HeadlessBackend::UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    State& s = S();
    BOOL ok = FALSE;
    if (WindowClass* c = FindClass(lpClassName)) {
        bool inUse = false;   // a class with live windows stays, as on Windows
        for (auto& w : s.windows)
            if (!w->destroyed && strcasecmp(w->className.c_str(), c->name.c_str()) == 0) inUse = true;
        if (!inUse) {
            s.classes.erase(s.classes.begin() + (c - s.classes.data()));
            ok = TRUE;
        }
    }
    Record("win32", "UnregisterClassA", {Str(lpClassName)}, Dec(ok));
    return ok;
}

HMODULE HeadlessBackend::GetModuleHandleA(LPCSTR lpModuleName) {
    return lpModuleName ? nullptr : ModuleHandle();
}

HWND HeadlessBackend::CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                                      DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                      HWND, HMENU, HINSTANCE, LPVOID) {
    State& s = S();
    std::vector<std::string> args = {Hex(dwExStyle), Str(lpClassName), Str(lpWindowName), Hex(dwStyle),
                                     Dec(X), Dec(Y), Dec(nWidth), Dec(nHeight)};
    WindowClass* c = FindClass(lpClassName);
    if (!c) {
        Record("win32", "CreateWindowExA", args, "null");
        return nullptr;
    }
    auto w = std::make_unique<Window>();
    w->handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10000 + 0x10 * (s.windows.size() + 1)));
    w->className = c->name;
    w->title = lpWindowName ? lpWindowName : "";
    w->proc = c->proc;
    w->style = dwStyle;
    w->exStyle = dwExStyle;
    w->x = X == CW_USEDEFAULT ? 0 : X;
    w->y = X == CW_USEDEFAULT ? 0 : Y;
    w->width = nWidth == CW_USEDEFAULT ? kDefaultWidth : nWidth;
    w->height = nWidth == CW_USEDEFAULT ? kDefaultHeight : nHeight;
    w->visible = (dwStyle & WS_VISIBLE) != 0;
    HWND h = w->handle;
    WNDPROC proc = w->proc;
    s.handleNames[h] = "window" + std::to_string(++s.counters["window"]);
    s.windows.push_back(std::move(w));
    Record("win32", "CreateWindowExA", args, Obj(h));
    if (proc(h, WM_CREATE, 0, 0) == -1) {   // the procedure refused the window
        DestroyWindow(h);
        return nullptr;
    }
    return h;
}

BOOL HeadlessBackend::ShowWindow(HWND hWnd, int nCmdShow) {
    Window* w = LiveWindow(hWnd);
    BOOL was = w && w->visible;
    if (w) w->visible = nCmdShow != SW_HIDE;
    Record("win32", "ShowWindow", {Obj(hWnd), Dec(nCmdShow)}, Dec(was));
    return was;
}

BOOL HeadlessBackend::UpdateWindow(HWND hWnd) {
    BOOL ok = LiveWindow(hWnd) ? TRUE : FALSE;
    Record("win32", "UpdateWindow", {Obj(hWnd)}, Dec(ok));
    return ok;
}

BOOL HeadlessBackend::DestroyWindow(HWND hWnd) {
    Window* w = LiveWindow(hWnd);
    Record("win32", "DestroyWindow", {Obj(hWnd)}, Dec(w ? 1 : 0));
    if (!w) return FALSE;
    w->visible = false;
    WNDPROC proc = w->proc;
    proc(hWnd, WM_DESTROY, 0, 0);
    // Looked up again: the procedure may have created windows meanwhile.
    if (Window* again = LookupWindow(hWnd)) again->destroyed = true;
    return TRUE;
}

// ---- Backend: messages ----

BOOL HeadlessBackend::PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                   UINT wRemoveMsg) {
    State& s = S();
    if (!lpMsg) return FALSE;
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (!Matches(*it, hWnd, wMsgFilterMin, wMsgFilterMax)) continue;
        *lpMsg = *it;
        if (wRemoveMsg & PM_REMOVE) {
            s.queue.erase(it);
            const UINT m = lpMsg->message;
            if (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_SYSKEYDOWN || m == WM_SYSKEYUP)
                TakeKeyMessage(*lpMsg);
            TakeMouseMessage(*lpMsg);
        }
        return TRUE;
    }
    // WM_QUIT comes only once nothing else is waiting, and only to an unfiltered peek.
    if (s.quitPending && !hWnd &&
        ((wMsgFilterMin == 0 && wMsgFilterMax == 0) ||
         (WM_QUIT >= wMsgFilterMin && WM_QUIT <= wMsgFilterMax))) {
        MSG m{};
        m.message = WM_QUIT;
        m.wParam = static_cast<WPARAM>(s.quitCode);
        m.time = s.now;
        m.pt = s.cursor;
        *lpMsg = m;
        if (wRemoveMsg & PM_REMOVE) s.quitPending = false;
        return TRUE;
    }
    return FALSE;
}

BOOL HeadlessBackend::TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg) return FALSE;
    if (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_KEYUP &&
        lpMsg->message != WM_SYSKEYDOWN && lpMsg->message != WM_SYSKEYUP)
        return FALSE;
    if (lpMsg->message == WM_KEYDOWN) {
        int ch = CharForKey(static_cast<BYTE>(lpMsg->wParam), (S().keys[VK_SHIFT] & 0x80) != 0);
        if (ch) {
            // The character message is the next one the loop takes.
            MSG m = *lpMsg;
            m.message = WM_CHAR;
            m.wParam = static_cast<WPARAM>(ch);
            S().queue.push_front(m);
        }
    }
    return TRUE;
}

LRESULT HeadlessBackend::DispatchMessageA(const MSG* lpMsg) {
    if (!lpMsg || lpMsg->message == WM_QUIT) return 0;
    Window* w = LiveWindow(lpMsg->hwnd);
    if (!w) return 0;
    return w->proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT HeadlessBackend::DefWindowProcA(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
    if (Msg == WM_CLOSE) DestroyWindow(hWnd);
    return 0;
}

void HeadlessBackend::PostQuitMessage(int nExitCode) {
    S().quitPending = true;
    S().quitCode = nExitCode;
    Record("win32", "PostQuitMessage", {Dec(nExitCode)}, "");
}

// ---- Backend: input, cursor, box, time, DC ----

BOOL HeadlessBackend::GetKeyboardState(PBYTE lpKeyState) {
    if (!lpKeyState) return FALSE;
    std::memcpy(lpKeyState, S().keys, 256);
    return TRUE;
}

BOOL HeadlessBackend::GetCursorPos(LPPOINT lpPoint) {
    if (!lpPoint) return FALSE;
    *lpPoint = S().cursor;
    return TRUE;
}

BOOL HeadlessBackend::ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    Window* w = LookupWindow(hWnd);
    if (!w || !lpPoint) return FALSE;
    lpPoint->x -= w->x;
    lpPoint->y -= w->y;
    return TRUE;
}

HCURSOR HeadlessBackend::LoadCursorFromFileA(LPCSTR lpFileName) {
    State& s = S();
    HCURSOR h = nullptr;
    std::vector<uint8_t> bytes;
    core::Cursor cur;
    std::string err;
    if (!TakeFailure(Kind::Cursor) && ReadFileBytes(lpFileName, bytes) &&
        core::ReadCursor(bytes.data(), bytes.size(), cur, err)) {
        auto c = std::make_unique<CursorData>();
        c->file = lpFileName;
        c->width = cur.image.width;
        c->height = cur.image.height;
        c->hotX = cur.hotX;
        c->hotY = cur.hotY;
        h = reinterpret_cast<HCURSOR>(c.get());
        s.handleNames[h] = "cursor" + std::to_string(++s.counters["cursor"]);
        s.cursors.push_back(std::move(c));
    }
    Record("win32", "LoadCursorFromFileA", {Str(lpFileName)}, Obj(h));
    return h;
}

HCURSOR HeadlessBackend::SetCursor(HCURSOR hCursor) {
    HCURSOR previous = S().currentCursor;
    S().currentCursor = hCursor;
    return previous;
}

// ---- Backend: clipboard (text set by the test or the script) ----

BOOL HeadlessBackend::OpenClipboard(HWND) {
    if (S().clipboardOpen) return FALSE;
    S().clipboardOpen = true;
    return TRUE;
}

HANDLE HeadlessBackend::GetClipboardData(UINT uFormat) {
    State& s = S();
    if (!s.clipboardOpen || uFormat != CF_TEXT || !s.clipboardHasText) return nullptr;
    s.clipboardHandedOut = s.clipboard;   // stays put until CloseClipboard
    return const_cast<char*>(s.clipboardHandedOut.c_str());
}

BOOL HeadlessBackend::CloseClipboard() {
    if (!S().clipboardOpen) return FALSE;
    S().clipboardOpen = false;
    return TRUE;
}

int HeadlessBackend::MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    std::string caption = lpCaption ? lpCaption : "Error";   // Windows' caption for NULL
    std::string text = lpText ? lpText : "";
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    S().messageBoxes.push_back(caption + ": " + text);
    Record("win32", "MessageBoxA", {Obj(hWnd), text, caption, Hex(uType)}, Dec(IDOK));
    return IDOK;
}

void HeadlessBackend::GetSystemTime(LPSYSTEMTIME st) {
    if (!st) return;
    if (S().fixedSystemTime) {
        *st = S().systemTime;
        return;
    }
    timeval tv;
    gettimeofday(&tv, nullptr);
    time_t secs = tv.tv_sec;
    tm t;
    gmtime_r(&secs, &t);
    st->wYear = static_cast<WORD>(t.tm_year + 1900);
    st->wMonth = static_cast<WORD>(t.tm_mon + 1);
    st->wDayOfWeek = static_cast<WORD>(t.tm_wday);
    st->wDay = static_cast<WORD>(t.tm_mday);
    st->wHour = static_cast<WORD>(t.tm_hour);
    st->wMinute = static_cast<WORD>(t.tm_min);
    st->wSecond = static_cast<WORD>(t.tm_sec);
    st->wMilliseconds = static_cast<WORD>(tv.tv_usec / 1000);
}

DWORD HeadlessBackend::timeGetTime() { return S().now; }

HDC HeadlessBackend::GetDC(HWND hWnd) {
    HDC dc = (!hWnd || LiveWindow(hWnd)) ? ScreenDc() : nullptr;
    S().handleNames[ScreenDc()] = "screen_dc";
    Record("win32", "GetDC", {Obj(hWnd)}, Obj(dc));
    return dc;
}

int HeadlessBackend::GetDeviceCaps(HDC hdc, int index) {
    int v = 0;
    if (hdc == ScreenDc() && (index == LOGPIXELSX || index == LOGPIXELSY)) v = 96;
    Record("win32", "GetDeviceCaps", {Obj(hdc), Dec(index)}, Dec(v));
    return v;
}

int HeadlessBackend::ReleaseDC(HWND hWnd, HDC hDC) {
    int ok = hDC == ScreenDc() ? 1 : 0;
    Record("win32", "ReleaseDC", {Obj(hWnd), Obj(hDC)}, Dec(ok));
    return ok;
}

// ---- Test interface: time ----

void SetTime(DWORD ms) { S().now = ms; }
void AdvanceTime(DWORD ms) { S().now += ms; }
void SetFrameStep(DWORD ms) { S().frameStep = ms; }
DWORD PresentCount() { return S().presents; }
void SetSystemTime(const SYSTEMTIME& st) {
    S().fixedSystemTime = true;
    S().systemTime = st;
}
void UseRealSystemTime() { S().fixedSystemTime = false; }

// ---- Test interface: windows and input ----

HWND MainWindow() {
    auto& ws = S().windows;
    for (auto it = ws.rbegin(); it != ws.rend(); ++it)
        if (!(*it)->destroyed) return (*it)->handle;
    return nullptr;
}

bool GetWindowInfo(HWND hwnd, WindowInfo& out) {
    Window* w = LookupWindow(hwnd);
    if (!w) return false;
    out.className = w->className;
    out.title = w->title;
    out.style = w->style;
    out.exStyle = w->exStyle;
    out.x = w->x;
    out.y = w->y;
    out.width = w->width;
    out.height = w->height;
    out.visible = w->visible;
    out.destroyed = w->destroyed;
    return true;
}

bool ClassRegistered(const char* className) { return FindClass(className) != nullptr; }

namespace {

void PostKey(BYTE vk, bool down) {
    State& s = S();
    BYTE msgVk = vk;
    LPARAM scan = 0, ext = 0;
    switch (vk) {
    case VK_SHIFT: case VK_LSHIFT: msgVk = VK_SHIFT; scan = kScanLShift; vk = VK_LSHIFT; break;
    case VK_RSHIFT: msgVk = VK_SHIFT; scan = kScanRShift; break;
    case VK_CONTROL: case VK_LCONTROL: msgVk = VK_CONTROL; scan = kScanControl; vk = VK_LCONTROL; break;
    case VK_RCONTROL: msgVk = VK_CONTROL; scan = kScanControl; ext = kExtended; break;
    case VK_MENU: case VK_LMENU: msgVk = VK_MENU; scan = kScanAlt; vk = VK_LMENU; break;
    case VK_RMENU: msgVk = VK_MENU; scan = kScanAlt; ext = kExtended; break;
    default: break;
    }
    bool wasDown = s.physical[vk];
    s.physical[vk] = down;
    LPARAM lp = 1 | (scan << 16) | ext;
    if (wasDown) lp |= LPARAM(1) << 30;           // previous state: auto-repeat
    if (!down) lp |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
    bool alt = s.physical[VK_LMENU] || s.physical[VK_RMENU];
    UINT msg = (alt || msgVk == VK_MENU || msgVk == VK_F10) ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP)
                                                              : (down ? WM_KEYDOWN : WM_KEYUP);
    PostMsg(MainWindow(), msg, msgVk, lp);
}

}  // namespace

void KeyDown(BYTE vk) { PostKey(vk, true); }
void KeyUp(BYTE vk) { PostKey(vk, false); }

void MouseMove(int x, int y) {
    HWND w = MainWindow();
    POINT origin{0, 0};
    if (Window* win = LookupWindow(w)) origin = POINT{win->x, win->y};
    S().cursor = POINT{origin.x + x, origin.y + y};
    PostMsg(w, WM_MOUSEMOVE, MouseFlags(), MAKELPARAM(x, y));
}

void MouseButton(bool left, bool down) {
    State& s = S();
    HWND w = MainWindow();
    s.physical[left ? VK_LBUTTON : VK_RBUTTON] = down;
    POINT p = ClientCursor(w);
    UINT msg = left ? (down ? WM_LBUTTONDOWN : WM_LBUTTONUP) : (down ? WM_RBUTTONDOWN : WM_RBUTTONUP);
    PostMsg(w, msg, MouseFlags(), MAKELPARAM(p.x, p.y));
}

// WM_MOUSEWHEEL: the delta in the high word of wParam, the cursor in screen coordinates.
void MouseWheel(int delta) {
    POINT p = S().cursor;
    WPARAM wp = (static_cast<WPARAM>(static_cast<WORD>(static_cast<short>(delta))) << 16) |
                MouseFlags();
    PostMsg(MainWindow(), WM_MOUSEWHEEL, wp, MAKELPARAM(p.x, p.y));
}

void SetCursorPos(int x, int y) { S().cursor = POINT{x, y}; }

void SetClipboardText(const std::string& text) {
    S().clipboard = text;
    S().clipboardHasText = true;
}

void PostClose() { PostMsg(MainWindow(), WM_CLOSE, 0, 0); }

size_t QueuedMessages() { return S().queue.size(); }

HCURSOR CurrentCursor() { return S().currentCursor; }

}  // namespace headless
