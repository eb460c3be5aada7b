// Win32 windows and messages over SDL2: window classes, one SDL window per window, the
// thread message queue fed from SDL events, the keyboard state as of the messages taken,
// the cursor, the message box, and the clocks. Not done: WM_CHAR (TranslateMessage posts
// nothing), WM_PAINT, WM_SIZE, child windows.
#pragma once

#include <SDL.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/windows.h"

namespace sdlgl {

// Win32 frame sizes (96 dpi) for a window style: the client area is the outer size less these.
struct FrameSize {
    int left = 0, top = 0, right = 0, bottom = 0;
};
FrameSize FrameOf(DWORD style);

struct Window {
    std::string className, title;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    int x = 0, y = 0, width = 0, height = 0;   // outer rectangle as created
    int clientWidth = 0, clientHeight = 0;     // client size at creation
    SDL_Window* sdl = nullptr;
    bool visible = false, destroyed = false;
    bool closePending = false;                 // a WM_CLOSE from SDL waits in the queue
};

struct CursorObject {
    SDL_Cursor* cursor = nullptr;
    SDL_Surface* surface = nullptr;
};

class WindowSystem {
public:
    ~WindowSystem();

    // Starts SDL video once; false with a reason where there is no display.
    bool EnsureVideo(std::string& err);
    bool HasVideo() const { return video_; }

    ATOM RegisterClassExA(const WNDCLASSEXA* wc);
    BOOL UnregisterClassA(LPCSTR name);
    HWND CreateWindowExA(LPCSTR className, LPCSTR title, DWORD style, int x, int y, int w,
                         int h);
    BOOL ShowWindow(HWND hwnd, int cmd);
    BOOL DestroyWindow(HWND hwnd);
    Window* Find(HWND hwnd);
    HWND MainWindow() const;   // newest live window

    BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max, UINT remove);
    LRESULT DispatchMessageA(const MSG* msg);
    LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void PostQuitMessage(int code);
    void Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    BOOL GetKeyboardState(PBYTE state);
    BOOL GetCursorPos(LPPOINT pt);
    BOOL ScreenToClient(HWND hwnd, LPPOINT pt);
    HCURSOR LoadCursorFromFileA(LPCSTR path);
    HCURSOR SetCursor(HCURSOR cursor);
    int MessageBoxA(LPCSTR text, LPCSTR caption, UINT type);

    // Takes every pending SDL event into the queue (also done by PeekMessageA).
    void Pump();
    // F12 presses since the last call (the key never reaches the program).
    int TakeScreenshotRequests();
    // The SDL window of the device: hDeviceWindow, else the focus window.
    SDL_Window* SdlWindow(HWND hwnd);
    void Shutdown();

private:
    void Translate(const SDL_Event& e);
    void TakeKeyMessage(const MSG& m);
    // Moves input from `arriving_` into the queue in order. A key or mouse-button release
    // waits while its press is still queued, or was taken since the queue last ran empty:
    // every press then lasts at least one idle pass of the program, as a hand's press does,
    // even when both arrive together (synthetic input, a slow frame).
    void Admit();

    bool video_ = false;
    std::map<std::string, WNDCLASSEXA> classes_;
    std::vector<std::string> classNames_;   // keeps lpszClassName storage alive
    std::vector<std::unique_ptr<Window>> windows_;
    std::vector<std::unique_ptr<CursorObject>> cursors_;
    std::deque<MSG> queue_;
    std::deque<MSG> arriving_;           // input from SDL not yet in the queue
    uint64_t emptyPeeks_ = 0;            // PeekMessageA calls that found the queue empty
    uint64_t pressTaken_[256] = {};      // emptyPeeks_ + 1 when each key's press was taken
    bool quitPosted_ = false;
    int quitCode_ = 0;
    BYTE keys_[256] = {};
    HCURSOR currentCursor_ = nullptr;
    bool cursorShown_ = true;
    int screenshotRequests_ = 0;
    ATOM nextAtom_ = 0xC000;
};

// Milliseconds from a monotonic clock, wrapping at 2^32.
DWORD MonotonicMs();
void UtcNow(SYSTEMTIME& st);

}  // namespace sdlgl
