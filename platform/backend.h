// The contract between the platform's free functions and a backend. Every Win32, Direct3D 9
// and D3DX function of windows.h, d3d9.h and d3dx9.h that is not pure (math, MulDiv,
// lstrlenA, SetRect live in platform/core) forwards to the one active Backend; the interfaces
// of d3d9.h and d3dx9.h are implemented by the objects a backend creates.
//
// How a backend plugs in:
//  1. Derive from platform::Backend and implement every pure virtual below. Each has the
//     name, arguments and result of the free function it stands for, with that function's
//     documented behaviour (Win32 message semantics, D3D result codes).
//  2. Register a factory under a name with platform::RegisterBackend("name", factory).
//     Registration is explicit, never a static initialiser (static libraries drop unused
//     objects): the headless backend is registered by platform itself; a backend in a
//     library of its own exposes a registration function that the program entry calls
//     (platform_sdl_gl provides platform::RegisterSdlGlBackend(), called by platform/entry.cpp
//     when the program links it).
//  3. The entry (platform/entry.cpp, linked only into the program) selects the backend named
//     by MESHES_PLATFORM (default "sdl" when registered, else "headless"), calls Start(),
//     runs WinMain, then Finish(). Code that never runs the entry (tests) gets the backend
//     selected on first use, or selects one itself with platform::Select.
//  4. Objects the backend creates (IDirect3D9, the device, vertex buffers, textures, meshes,
//     effects, fonts, buffers) are its own classes deriving from the d3d9.h/d3dx9.h
//     interfaces. A backend never includes engine headers and never prints on the engine's
//     behalf; it reports through results.
#pragma once

#include <string>
#include <vector>

#include "d3dx9.h"
#include "windows.h"

namespace platform {

class Backend {
public:
    virtual ~Backend() {}
    virtual const char* Name() const = 0;

    // Program run: Start before WinMain (reads the backend's own environment variables;
    // false with a reason stops the program), Finish after WinMain returns.
    virtual bool Start(std::string& err) = 0;
    virtual void Finish() = 0;

    // Window classes and windows. CreateWindowExA sends WM_CREATE; DestroyWindow sends
    // WM_DESTROY to the window procedure before it returns.
    virtual ATOM RegisterClassExA(const WNDCLASSEXA* lpwcx) = 0;
    virtual BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) = 0;
    virtual HMODULE GetModuleHandleA(LPCSTR lpModuleName) = 0;
    virtual HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                                 DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                 HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                                 LPVOID lpParam) = 0;
    virtual BOOL ShowWindow(HWND hWnd, int nCmdShow) = 0;
    virtual BOOL UpdateWindow(HWND hWnd) = 0;
    virtual BOOL DestroyWindow(HWND hWnd) = 0;

    // Messages. PeekMessageA with PM_REMOVE updates the keyboard state GetKeyboardState
    // returns; WM_QUIT comes once the queue holds nothing else after PostQuitMessage.
    // DefWindowProcA turns WM_CLOSE into DestroyWindow.
    virtual BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                              UINT wRemoveMsg) = 0;
    virtual BOOL TranslateMessage(const MSG* lpMsg) = 0;
    virtual LRESULT DispatchMessageA(const MSG* lpMsg) = 0;
    virtual LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) = 0;
    virtual void PostQuitMessage(int nExitCode) = 0;

    // Input and cursor.
    virtual BOOL GetKeyboardState(PBYTE lpKeyState) = 0;
    virtual BOOL GetCursorPos(LPPOINT lpPoint) = 0;
    virtual BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) = 0;
    virtual HCURSOR LoadCursorFromFileA(LPCSTR lpFileName) = 0;   // NULL: missing or invalid
    virtual HCURSOR SetCursor(HCURSOR hCursor) = 0;               // returns the previous one

    // Clipboard. OpenClipboard fails while it is open already; GetClipboardData(CF_TEXT) gives
    // NULL unless it is open and holds text, else a handle whose GlobalLock is the text
    // (Windows-1251, NUL-terminated), valid until CloseClipboard. No other format is held.
    virtual BOOL OpenClipboard(HWND hWndNewOwner) = 0;
    virtual HANDLE GetClipboardData(UINT uFormat) = 0;
    virtual BOOL CloseClipboard() = 0;

    // Message box (returns at once with IDOK where nobody can answer), time, screen DC.
    virtual int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) = 0;
    virtual void GetSystemTime(LPSYSTEMTIME lpSystemTime) = 0;   // UTC
    virtual DWORD timeGetTime() = 0;
    virtual HDC GetDC(HWND hWnd) = 0;
    virtual int GetDeviceCaps(HDC hdc, int index) = 0;
    virtual int ReleaseDC(HWND hWnd, HDC hDC) = 0;

    // Direct3D and D3DX factories. Files are opened through winpath::Map and decoded with the
    // readers of platform/core; a missing or bad file fails with a negative HRESULT.
    virtual IDirect3D9* Direct3DCreate9(UINT SDKVersion) = 0;
    virtual HRESULT D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options,
                                       LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXBUFFER* ppAdjacency,
                                       LPD3DXBUFFER* ppMaterials, LPD3DXBUFFER* ppEffectInstances,
                                       DWORD* pNumMaterials, LPD3DXMESH* ppMesh) = 0;
    virtual HRESULT D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                               LPDIRECT3DTEXTURE9* ppTexture) = 0;
    virtual HRESULT D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                              const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                                              DWORD Flags, LPD3DXEFFECTPOOL pPool,
                                              LPD3DXEFFECT* ppEffect,
                                              LPD3DXBUFFER* ppCompilationErrors) = 0;
    // No device: the compile of D3DXCreateEffectFromFileA on this backend, reflected.
    virtual HRESULT D3DXCreateEffectCompilerFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                                      LPD3DXINCLUDE pInclude, DWORD Flags,
                                                      LPD3DXEFFECTCOMPILER* ppCompiler,
                                                      LPD3DXBUFFER* ppParseErrors) = 0;
    virtual HRESULT D3DXCreateFontA(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width,
                                    UINT Weight, UINT MipLevels, BOOL Italic, DWORD CharSet,
                                    DWORD OutputPrecision, DWORD Quality, DWORD PitchAndFamily,
                                    LPCSTR pFaceName, LPD3DXFONT* ppFont) = 0;
};

typedef Backend* (*BackendFactory)();

// Adds (or replaces) a backend under `name`. The factory runs once, on first selection; the
// backend then lives until the process ends.
void RegisterBackend(const char* name, BackendFactory factory);

// Names of the registered backends, in registration order.
std::vector<std::string> BackendNames();

// Makes `name` the active backend. False, with a reason naming the known backends, when no
// backend has that name.
bool Select(const char* name, std::string& err);

// The name MESHES_PLATFORM asks for, or the default ("sdl" when registered, else "headless").
std::string RequestedBackend();

// The active backend; selects RequestedBackend() on first use and stops the process with a
// message on stderr when that name is unknown. After StartOnFirstUse, the first call also
// runs the backend's Start, and a Start that fails stops the process with exit code 2 and
// its reason on stderr.
Backend& Active();

// The program entry: the selected backend starts when the program first calls into it, so
// that what the program does before (reading its arguments, entering its folder) needs no
// display and happens before the backend reads its own settings.
void StartOnFirstUse();
// True once the active backend has been started through StartOnFirstUse.
bool Started();

// Defined by the platform_sdl_gl library; called by the entry when the program links it.
void RegisterSdlGlBackend();

}  // namespace platform
