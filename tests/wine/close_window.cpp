// close_window CLASS [SECONDS]: waits for a top-level window of the class CLASS, posts it
// WM_CLOSE as its close box would, and waits until it is gone. Run under the same Wine prefix
// as the program, so both talk to one Wine server.
// Exit codes: 0 closed, 1 no such window appeared, 2 it did not go away, 3 wrong usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: close_window CLASS [SECONDS]\n");
        return 3;
    }
    const char* cls = argv[1];
    DWORD limit = (argc == 3 ? static_cast<DWORD>(std::atoi(argv[2])) : 30) * 1000;
    DWORD start = GetTickCount();
    HWND window = nullptr;
    while (!(window = FindWindowA(cls, nullptr))) {
        if (GetTickCount() - start > limit) {
            std::fprintf(stderr, "close_window: no window of class %s\n", cls);
            return 1;
        }
        Sleep(50);
    }
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
