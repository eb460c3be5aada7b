// The free Win32, Direct3D 9 and D3DX functions that differ by backend: each forwards to the
// active backend (platform/backend.h). The pure ones are in platform/core.
#include "platform/backend.h"

using platform::Active;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx) { return Active().RegisterClassExA(lpwcx); }
BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
    return Active().UnregisterClassA(lpClassName, hInstance);
}
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) { return Active().GetModuleHandleA(lpModuleName); }
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    return Active().CreateWindowExA(dwExStyle, lpClassName, lpWindowName, dwStyle, X, Y, nWidth,
                                    nHeight, hWndParent, hMenu, hInstance, lpParam);
}
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) { return Active().ShowWindow(hWnd, nCmdShow); }
BOOL WINAPI UpdateWindow(HWND hWnd) { return Active().UpdateWindow(hWnd); }
BOOL WINAPI DestroyWindow(HWND hWnd) { return Active().DestroyWindow(hWnd); }

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    return Active().PeekMessageA(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg);
}
BOOL WINAPI TranslateMessage(const MSG* lpMsg) { return Active().TranslateMessage(lpMsg); }
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) { return Active().DispatchMessageA(lpMsg); }
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return Active().DefWindowProcA(hWnd, Msg, wParam, lParam);
}
void WINAPI PostQuitMessage(int nExitCode) { Active().PostQuitMessage(nExitCode); }

BOOL WINAPI GetKeyboardState(PBYTE lpKeyState) { return Active().GetKeyboardState(lpKeyState); }
BOOL WINAPI GetCursorPos(LPPOINT lpPoint) { return Active().GetCursorPos(lpPoint); }
BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) { return Active().ScreenToClient(hWnd, lpPoint); }
HCURSOR WINAPI LoadCursorFromFileA(LPCSTR lpFileName) { return Active().LoadCursorFromFileA(lpFileName); }
HCURSOR WINAPI SetCursor(HCURSOR hCursor) { return Active().SetCursor(hCursor); }

BOOL WINAPI OpenClipboard(HWND hWndNewOwner) { return Active().OpenClipboard(hWndNewOwner); }
HANDLE WINAPI GetClipboardData(UINT uFormat) { return Active().GetClipboardData(uFormat); }
BOOL WINAPI CloseClipboard(void) { return Active().CloseClipboard(); }

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    return Active().MessageBoxA(hWnd, lpText, lpCaption, uType);
}
void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) { Active().GetSystemTime(lpSystemTime); }
DWORD WINAPI timeGetTime(void) { return Active().timeGetTime(); }
HDC WINAPI GetDC(HWND hWnd) { return Active().GetDC(hWnd); }
int WINAPI GetDeviceCaps(HDC hdc, int index) { return Active().GetDeviceCaps(hdc, index); }
int WINAPI ReleaseDC(HWND hWnd, HDC hDC) { return Active().ReleaseDC(hWnd, hDC); }

IDirect3D9* WINAPI Direct3DCreate9(UINT SDKVersion) { return Active().Direct3DCreate9(SDKVersion); }

HRESULT WINAPI D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                                  LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                                  LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials,
                                  LPD3DXMESH* ppMesh) {
    return Active().D3DXLoadMeshFromXA(pFilename, Options, pD3DDevice, ppAdjacency, ppMaterials,
                                       ppEffectInstances, pNumMaterials, ppMesh);
}
HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                          LPDIRECT3DTEXTURE9* ppTexture) {
    return Active().D3DXCreateTextureFromFileA(pDevice, pSrcFile, ppTexture);
}
HRESULT WINAPI D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                         const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                                         DWORD Flags, LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                                         LPD3DXBUFFER* ppCompilationErrors) {
    return Active().D3DXCreateEffectFromFileA(pDevice, pSrcFile, pDefines, pInclude, Flags, pPool,
                                              ppEffect, ppCompilationErrors);
}
HRESULT WINAPI D3DXCreateEffectCompilerFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                                 LPD3DXINCLUDE pInclude, DWORD Flags,
                                                 LPD3DXEFFECTCOMPILER* ppCompiler,
                                                 LPD3DXBUFFER* ppParseErrors) {
    return Active().D3DXCreateEffectCompilerFromFileA(pSrcFile, pDefines, pInclude, Flags, ppCompiler,
                                                      ppParseErrors);
}
HRESULT WINAPI D3DXCreateFontA(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width, UINT Weight,
                               UINT MipLevels, BOOL Italic, DWORD CharSet, DWORD OutputPrecision,
                               DWORD Quality, DWORD PitchAndFamily, LPCSTR pFaceName,
                               LPD3DXFONT* ppFont) {
    return Active().D3DXCreateFontA(pDevice, Height, Width, Weight, MipLevels, Italic, CharSet,
                                    OutputPrecision, Quality, PitchAndFamily, pFaceName, ppFont);
}
