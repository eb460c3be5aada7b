// close_window CLASS [SECONDS [SETTLE_MS]]: waits (at most SECONDS, default 30) until a
// top-level window of the class CLASS is shown, lets it run SETTLE_MS more (default 0), posts
// it WM_CLOSE as its close box would, and waits until it is gone. Run under the same Wine prefix
// as the program, so both talk to one Wine server.
// Exit codes: 0 closed, 1 no such window appeared, 2 it did not go away, 3 wrong usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: close_window CLASS [SECONDS [SETTLE_MS]]\n");
        return 3;
    }
    const char* cls = argv[1];
    DWORD limit = (argc >= 3 ? static_cast<DWORD>(std::atoi(argv[2])) : 30) * 1000;
    DWORD settle = argc >= 4 ? static_cast<DWORD>(std::atoi(argv[3])) : 0;
    DWORD start = GetTickCount();
    HWND window = nullptr;
    // The program creates its window hidden and shows it once the level is loaded.
    while (!(window = FindWindowA(cls, nullptr)) || !IsWindowVisible(window)) {
        if (GetTickCount() - start > limit) {
            std::fprintf(stderr, "close_window: no window of class %s\n", cls);
            return 1;
        }
        Sleep(50);
    }
    Sleep(settle);
    PostMessageA(window, WM_CLOSE, 0, 0);
    while (IsWindow(window)) {
        if (GetTickCount() - start > limit) {
            std::fprintf(stderr, "close_window: the window of class %s stays open\n", cls);
            return 2;
        }
        Sleep(50);
    }
    return 0;
}
