// A stand-in for the engine: the platform's main() runs this WinMain, which has the engine's
// loop shape and prints what it sees, for the run tests to read.
#include <cstdio>

#include "platform/d3d9.h"
#include "platform/windows.h"

namespace {

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    switch (m) {
    case WM_DESTROY:
        std::printf("destroy\n");
        PostQuitMessage(0);
        return 0;
    case WM_CHAR:
        std::printf("char %c\n", (char)w);
        break;
    case WM_LBUTTONDOWN:
        std::printf("lbutton %d %d\n", GET_X_LPARAM(l), GET_Y_LPARAM(l));
        break;
    default:
        break;
    }
    return DefWindowProcA(h, m, w, l);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmd, int show) {
    // The backend starts at the first call into it: bad settings stop the program here.
    HINSTANCE module = GetModuleHandleA(NULL);
    std::printf("start %s %d\n", cmd, show);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = module;
    wc.lpszClassName = "Probe";
    RegisterClassExA(&wc);
    HWND w = CreateWindowExA(0, "Probe", "probe", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, NULL, NULL,
                             wc.hInstance, NULL);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    IDirect3DDevice9* dev = nullptr;
    if (!d3d || FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, w, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev)))
        return 3;
    ShowWindow(w, show);
    SYSTEMTIME st;
    GetSystemTime(&st);
    std::printf("date %d-%d-%d %d:%d:%d\n", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    MSG msg{};
    int frames = 0;
    while (msg.message != WM_QUIT) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        BYTE keys[256];
        GetKeyboardState(keys);
        POINT p;
        GetCursorPos(&p);
        std::printf("frame %d t=%u shift=%d x=%d\n", ++frames, (unsigned)timeGetTime(), keys[VK_LSHIFT] >> 7,
                    (int)p.x);
        dev->Clear(0, NULL, D3DCLEAR_TARGET, 0, 1.0f, 0);
        dev->BeginScene();
        dev->EndScene();
        dev->Present(NULL, NULL, NULL, NULL);
    }
    UnregisterClassA("Probe", wc.hInstance);
    std::printf("quit %d\n", frames);
    return 7;
}
