#include "platform/core/file_bytes.h"
#include "platform/sdl_gl/window_system.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/core/cp1251.h"
#include "platform/core/cursor.h"
#include "platform/core/win_path.h"
#include "platform/sdl_gl/keymap.h"

namespace sdlgl {

FrameSize FrameOf(DWORD style) {
    FrameSize f;
    if (style & WS_POPUP && !(style & WS_CAPTION)) return f;
    int border = (style & WS_THICKFRAME) ? 8 : 3;   // sizing frame + padding, or fixed frame
    f.left = f.right = f.bottom = border;
    f.top = border + ((style & WS_CAPTION) == WS_CAPTION ? 23 : 0);
    return f;
}

DWORD MonotonicMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);   // wraps at 2^32 like the Windows counter
}

void UtcNow(SYSTEMTIME& st) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    time_t secs = ts.tv_sec;
    tm t;
    gmtime_r(&secs, &t);
    st.wYear = static_cast<WORD>(t.tm_year + 1900);
    st.wMonth = static_cast<WORD>(t.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
    st.wDay = static_cast<WORD>(t.tm_mday);
    st.wHour = static_cast<WORD>(t.tm_hour);
    st.wMinute = static_cast<WORD>(t.tm_min);
    st.wSecond = static_cast<WORD>(t.tm_sec > 59 ? 59 : t.tm_sec);
    st.wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}

WindowSystem::~WindowSystem() { Shutdown(); }

void WindowSystem::Shutdown() {
    for (auto& c : cursors_) {
        if (c->cursor) SDL_FreeCursor(c->cursor);
        if (c->surface) SDL_FreeSurface(c->surface);
    }
    cursors_.clear();
    for (auto& w : windows_)
        if (w->sdl) SDL_DestroyWindow(w->sdl);
    windows_.clear();
    if (video_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    video_ = false;
}

bool WindowSystem::EnsureVideo(std::string& err) {
    if (video_) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        err = std::string("no display: ") + SDL_GetError();
        return false;
    }
    // Without a display SDL falls back to drivers that show nothing; those only when asked
    // for by name (SDL_VIDEODRIVER), never by surprise.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    bool invisible = driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
    if (invisible && !(asked && std::strcmp(asked, driver) == 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        err = "no display (DISPLAY is not set or cannot be opened)";
        return false;
    }
    // A window with depth and stencil lets the device draw straight into it while the back
    // buffer and the window agree in size; samples come from the device's own buffers.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    video_ = true;
    return true;
}

ATOM WindowSystem::RegisterClassExA(const WNDCLASSEXA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
    std::string name = wc->lpszClassName;
    if (classes_.count(name)) return 0;   // already registered
    classNames_.push_back(name);
    WNDCLASSEXA copy = *wc;
    copy.lpszClassName = nullptr;
    copy.lpszMenuName = nullptr;
    classes_[name] = copy;
    return nextAtom_++;
}

BOOL WindowSystem::UnregisterClassA(LPCSTR name) {
    if (!name) return FALSE;
    auto it = classes_.find(name);
    if (it == classes_.end()) return FALSE;
    for (auto& w : windows_)
        if (!w->destroyed && w->className == name) return FALSE;   // still in use
    classes_.erase(it);
    return TRUE;
}

HWND WindowSystem::CreateWindowExA(LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                                   int w, int h) {
    if (!className) return nullptr;
    auto cls = classes_.find(className);
    if (cls == classes_.end()) return nullptr;
    std::string err;
    if (!EnsureVideo(err)) return nullptr;
    auto win = std::make_unique<Window>();
    win->className = className;
    win->title = title ? title : "";
    win->proc = cls->second.lpfnWndProc;
    win->style = style;
    if (w == CW_USEDEFAULT) w = 640;
    if (h == CW_USEDEFAULT) h = 480;
    if (x == CW_USEDEFAULT) x = 0;
    if (y == CW_USEDEFAULT) y = 0;
    FrameSize f = FrameOf(style);
    // A window is never larger than its maximum tracking size (SM_CXMAXTRACK/SM_CYMAXTRACK),
    // which follows the virtual screen: here the union of the displays plus the frame.
    SDL_Rect screen{0, 0, 0, 0};
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
        SDL_Rect b;
        if (SDL_GetDisplayBounds(i, &b) == 0) SDL_UnionRect(&screen, &b, &screen);
    }
    if (screen.w > 0 && w > screen.w + f.left + f.right) w = screen.w + f.left + f.right;
    if (screen.h > 0 && h > screen.h + f.top + f.bottom) h = screen.h + f.top + f.bottom;
    win->x = x;
    win->y = y;
    win->width = w;
    win->height = h;
    win->clientWidth = w - f.left - f.right > 1 ? w - f.left - f.right : 1;
    win->clientHeight = h - f.top - f.bottom > 1 ? h - f.top - f.bottom : 1;
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    if (!(style & WS_CAPTION)) flags |= SDL_WINDOW_BORDERLESS;
    std::string utf8 = core::Cp1251ToUtf8(win->title);
    win->sdl = SDL_CreateWindow(utf8.c_str(), x + f.left, y + f.top, win->clientWidth,
                                win->clientHeight, flags);
    if (!win->sdl && (flags & SDL_WINDOW_OPENGL)) {
        // No visual with depth and stencil: the device then draws into its own buffers.
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        win->sdl = SDL_CreateWindow(utf8.c_str(), x + f.left, y + f.top, win->clientWidth,
                                    win->clientHeight, flags);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    }
    if (!win->sdl) return nullptr;
    Window* raw = win.get();
    windows_.push_back(std::move(win));
    HWND hwnd = reinterpret_cast<HWND>(raw);
    if (raw->proc(hwnd, WM_CREATE, 0, 0) == -1) {   // the procedure refused the window
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

Window* WindowSystem::Find(HWND hwnd) {
    for (auto& w : windows_)
        if (reinterpret_cast<HWND>(w.get()) == hwnd) return w.get();
    return nullptr;
}

HWND WindowSystem::MainWindow() const {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (!(*it)->destroyed) return reinterpret_cast<HWND>(it->get());
    return nullptr;
}

SDL_Window* WindowSystem::SdlWindow(HWND hwnd) {
    Window* w = Find(hwnd);
    return w && !w->destroyed ? w->sdl : nullptr;
}

BOOL WindowSystem::ShowWindow(HWND hwnd, int cmd) {
    Window* w = Find(hwnd);
    if (!w || w->destroyed) return FALSE;
    BOOL was = w->visible ? TRUE : FALSE;
    if (cmd == SW_HIDE) {
        SDL_HideWindow(w->sdl);
        w->visible = false;
    } else {
        SDL_ShowWindow(w->sdl);
        w->visible = true;
    }
    return was;
}

BOOL WindowSystem::DestroyWindow(HWND hwnd) {
    Window* w = Find(hwnd);
    if (!w || w->destroyed) return FALSE;
    w->destroyed = true;
    // The SDL window (and any GL context on it) stays until shutdown; it is only hidden.
    SDL_HideWindow(w->sdl);
    w->visible = false;
    w->proc(hwnd, WM_DESTROY, 0, 0);
    for (auto* q : {&queue_, &arriving_})   // its messages go with it
        for (auto it = q->begin(); it != q->end();)
            it = it->hwnd == hwnd ? q->erase(it) : std::next(it);
    return TRUE;
}

void WindowSystem::Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = MonotonicMs();
    GetCursorPos(&m.pt);
    arriving_.push_back(m);
    Admit();
}

static bool IsKeyDown(UINT m) { return m == WM_KEYDOWN || m == WM_SYSKEYDOWN; }
static bool IsKeyUp(UINT m) { return m == WM_KEYUP || m == WM_SYSKEYUP; }

// The key a press or release message is about: its VK, or VK_LBUTTON / VK_RBUTTON for the
// mouse buttons; 0 for other messages.
static BYTE PressKey(const MSG& m, bool& release) {
    release = IsKeyUp(m.message) || m.message == WM_LBUTTONUP || m.message == WM_RBUTTONUP;
    if (IsKeyDown(m.message) || IsKeyUp(m.message)) return static_cast<BYTE>(m.wParam);
    if (m.message == WM_LBUTTONDOWN || m.message == WM_LBUTTONUP) return VK_LBUTTON;
    if (m.message == WM_RBUTTONDOWN || m.message == WM_RBUTTONUP) return VK_RBUTTON;
    return 0;
}

void WindowSystem::Admit() {
    while (!arriving_.empty()) {
        const MSG& m = arriving_.front();
        bool release = false;
        BYTE key = PressKey(m, release);
        if (key && release) {
            if (pressTaken_[key] > emptyPeeks_) break;   // no idle pass since the press was taken
            bool pressQueued = false;
            for (const MSG& q : queue_) {
                bool r = false;
                if (PressKey(q, r) == key && !r) pressQueued = true;
            }
            if (pressQueued) break;
        }
        queue_.push_back(m);
        arriving_.pop_front();
    }
}

void WindowSystem::PostQuitMessage(int code) {
    quitPosted_ = true;
    quitCode_ = code;
}

static WPARAM MouseKeys(Uint32 buttons) {
    WPARAM k = 0;
    if (buttons & SDL_BUTTON_LMASK) k |= MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK) k |= MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK) k |= 0x10;   // MK_MBUTTON
    SDL_Keymod mod = SDL_GetModState();
    if (mod & KMOD_SHIFT) k |= MK_SHIFT;
    if (mod & KMOD_CTRL) k |= MK_CONTROL;
    return k;
}

void WindowSystem::Translate(const SDL_Event& e) {
    HWND hwnd = MainWindow();
    switch (e.type) {
        case SDL_QUIT:   // SIGINT/SIGTERM, or the last window closed: every window closes
        case SDL_WINDOWEVENT:
            if (e.type == SDL_QUIT || e.window.event == SDL_WINDOWEVENT_CLOSE) {
                for (auto& w : windows_) {
                    if (w->destroyed) continue;
                    if (e.type != SDL_QUIT && SDL_GetWindowID(w->sdl) != e.window.windowID) continue;
                    if (!w->closePending) {   // one WM_CLOSE waits at a time
                        w->closePending = true;
                        Post(reinterpret_cast<HWND>(w.get()), WM_CLOSE, 0, 0);
                    }
                }
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            if (!hwnd) break;
            KeyCode k = KeyFromScancode(e.key.keysym.scancode);
            if (!k.vk) break;
            bool down = e.type == SDL_KEYDOWN;
            if (k.vk == 0x7B) {   // F12: screenshot, kept inside the platform layer
                if (down && !e.key.repeat) ++screenshotRequests_;
                break;
            }
            LPARAM lp = 1 | (LPARAM(k.scan) << 16) | (k.extended ? (LPARAM(1) << 24) : 0);
            if (!down || e.key.repeat) lp |= LPARAM(1) << 30;   // previous state: down
            if (!down) lp |= LPARAM(1) << 31;                   // transition: release
            bool alt = (SDL_GetModState() & KMOD_ALT) != 0;
            bool sys = k.vk == 0x79 || (alt && k.vk != 0x12) || k.vk == 0x12;   // F10, Alt
            if (alt && k.vk != 0x12) lp |= LPARAM(1) << 29;                      // context
            UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
            Post(hwnd, msg, k.vk, lp);
            break;
        }
        case SDL_MOUSEMOTION:
            if (hwnd)
                Post(hwnd, WM_MOUSEMOVE, MouseKeys(e.motion.state), MAKELPARAM(e.motion.x, e.motion.y));
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            if (!hwnd) break;
            bool down = e.type == SDL_MOUSEBUTTONDOWN;
            UINT msg;
            if (e.button.button == SDL_BUTTON_LEFT) msg = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            else if (e.button.button == SDL_BUTTON_RIGHT) msg = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
            else break;
            Post(hwnd, msg, MouseKeys(SDL_GetMouseState(nullptr, nullptr)),
                 MAKELPARAM(e.button.x, e.button.y));
            break;
        }
        case SDL_MOUSEWHEEL: {
            if (!hwnd || e.wheel.y == 0) break;
            // Win32: the delta in the high word of wParam, 120 a notch, positive away from the
            // user; the cursor in screen coordinates.
            int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            int x = 0, y = 0;
            SDL_GetGlobalMouseState(&x, &y);
            WPARAM wp = (WPARAM(WORD(short(notches * WHEEL_DELTA))) << 16) |
                        MouseKeys(SDL_GetMouseState(nullptr, nullptr));
            Post(hwnd, WM_MOUSEWHEEL, wp, MAKELPARAM(x, y));
            break;
        }
        default:
            break;
    }
}

void WindowSystem::Pump() {
    if (!video_) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) Translate(e);
}

int WindowSystem::TakeScreenshotRequests() {
    int n = screenshotRequests_;
    screenshotRequests_ = 0;
    return n;
}

void WindowSystem::TakeKeyMessage(const MSG& m) {
    BYTE vk = static_cast<BYTE>(m.wParam);
    uint8_t scan = static_cast<uint8_t>((m.lParam >> 16) & 0xFF);
    bool ext = (m.lParam >> 24) & 1;
    bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
    uint8_t side = SideKey(vk, scan, ext);
    if (down) {
        if (!(keys_[vk] & 0x80)) keys_[vk] ^= 1;   // toggle on each new press
        keys_[vk] |= 0x80;
        if (side) keys_[side] |= 0x80;
    } else {
        if (side) keys_[side] &= 0x7F;
        // The generic key stays down while the other side is held.
        uint8_t other = side ? (side ^ 1) : 0;
        if (!other || !(keys_[other] & 0x80)) keys_[vk] &= 0x7F;
    }
}

BOOL WindowSystem::PeekMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max, UINT remove) {
    if (!msg) return FALSE;
    Pump();
    Admit();
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (hwnd && it->hwnd != hwnd) continue;
        if ((min || max) && (it->message < min || it->message > max)) continue;
        *msg = *it;
        if (remove & PM_REMOVE) {
            if (msg->message >= WM_KEYDOWN && msg->message <= WM_SYSKEYUP &&
                msg->message != WM_CHAR)
                TakeKeyMessage(*msg);
            bool release = false;
            if (BYTE key = PressKey(*msg, release); key && !release) pressTaken_[key] = emptyPeeks_ + 1;
            if (msg->message == WM_CLOSE)
                if (Window* w = Find(msg->hwnd)) w->closePending = false;
            queue_.erase(it);
        }
        return TRUE;
    }
    // WM_QUIT comes when nothing else is waiting.
    if (quitPosted_ && (!(min || max) || (WM_QUIT >= min && WM_QUIT <= max))) {
        MSG q{};
        q.message = WM_QUIT;
        q.wParam = static_cast<WPARAM>(quitCode_);
        q.time = MonotonicMs();
        GetCursorPos(&q.pt);
        *msg = q;
        if (remove & PM_REMOVE) quitPosted_ = false;
        return TRUE;
    }
    ++emptyPeeks_;   // the program now runs an idle pass: held-back releases may follow
    return FALSE;
}

LRESULT WindowSystem::DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    Window* w = Find(msg->hwnd);
    if (!w || w->destroyed || !w->proc) return 0;
    return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WindowSystem::DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_CLOSE) DestroyWindow(hwnd);
    return 0;
}

BOOL WindowSystem::GetKeyboardState(PBYTE state) {
    if (!state) return FALSE;
    std::memcpy(state, keys_, sizeof keys_);
    return TRUE;
}

BOOL WindowSystem::GetCursorPos(LPPOINT pt) {
    if (!pt) return FALSE;
    int x = 0, y = 0;
    if (video_) SDL_GetGlobalMouseState(&x, &y);
    pt->x = x;
    pt->y = y;
    return TRUE;
}

BOOL WindowSystem::ScreenToClient(HWND hwnd, LPPOINT pt) {
    Window* w = Find(hwnd);
    if (!w || !pt || !w->sdl) return FALSE;
    int x = 0, y = 0;
    SDL_GetWindowPosition(w->sdl, &x, &y);   // origin of the client area on the screen
    pt->x -= x;
    pt->y -= y;
    return TRUE;
}

HCURSOR WindowSystem::LoadCursorFromFileA(LPCSTR path) {
    std::string err;
    if (!path || !EnsureVideo(err)) return nullptr;
    std::vector<uint8_t> bytes;
    if (!core::ReadFileBytes(path, bytes)) return nullptr;
    core::Cursor cur;
    if (!core::ReadCursor(bytes.data(), bytes.size(), cur, err)) return nullptr;
    auto obj = std::make_unique<CursorObject>();
    obj->surface = SDL_CreateRGBSurfaceWithFormat(0, cur.image.width, cur.image.height, 32,
                                                  SDL_PIXELFORMAT_RGBA32);
    if (!obj->surface) return nullptr;
    for (int y = 0; y < cur.image.height; ++y)
        std::memcpy(static_cast<uint8_t*>(obj->surface->pixels) + y * obj->surface->pitch,
                    &cur.image.rgba[size_t(y) * cur.image.width * 4], size_t(cur.image.width) * 4);
    obj->cursor = SDL_CreateColorCursor(obj->surface, cur.hotX, cur.hotY);
    if (!obj->cursor) {
        SDL_FreeSurface(obj->surface);
        return nullptr;
    }
    cursors_.push_back(std::move(obj));
    return reinterpret_cast<HCURSOR>(cursors_.back().get());
}

HCURSOR WindowSystem::SetCursor(HCURSOR cursor) {
    HCURSOR previous = currentCursor_;
    if (cursor == currentCursor_ && (cursor != nullptr) == cursorShown_) return previous;
    currentCursor_ = cursor;
    if (!video_) return previous;
    CursorObject* obj = nullptr;
    for (auto& c : cursors_)
        if (reinterpret_cast<HCURSOR>(c.get()) == cursor) obj = c.get();
    if (obj) {
        SDL_SetCursor(obj->cursor);
        SDL_ShowCursor(SDL_ENABLE);
        cursorShown_ = true;
    } else {
        SDL_ShowCursor(SDL_DISABLE);   // NULL (or a handle not ours) removes the cursor
        cursorShown_ = false;
    }
    return previous;
}

int WindowSystem::MessageBoxA(LPCSTR text, LPCSTR caption, UINT type) {
    std::string t = core::Cp1251ToUtf8(text ? text : "");
    std::string c = core::Cp1251ToUtf8(caption ? caption : "Error");
    // The box has one button: it answers as its first button would.
    int answer = (type & 0xF) == MB_YESNO ? IDYES : IDOK;
    std::string err;
    const char* quiet = std::getenv("MESHES_NO_DIALOGS");
    bool dialogs = !(quiet && *quiet && std::strcmp(quiet, "0") != 0);
    if (dialogs && EnsureVideo(err)) {
        Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
        UINT icon = type & 0xF0;
        if (icon == MB_ICONHAND) flags = SDL_MESSAGEBOX_ERROR;
        else if (icon == MB_ICONEXCLAMATION) flags = SDL_MESSAGEBOX_WARNING;
        if (SDL_ShowSimpleMessageBox(flags, c.c_str(), t.c_str(), nullptr) == 0) return answer;
    }
    std::fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());   // nobody to show it to
    return answer;
}

}  // namespace sdlgl
