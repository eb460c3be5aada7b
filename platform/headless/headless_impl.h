// Inside the headless backend: its one state record, the recorded object base, and the
// helpers shared by its files. Not for tests (they use headless.h).
#pragma once

#include <cstdio>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/headless/headless.h"

namespace headless {

// Every object the backend hands out derives from Tracked as well as its interface.
class Tracked {
public:
    virtual ~Tracked() {}
    std::string name;   // "texture3": the kind and its number since Reset
    ULONG refs = 1;
};

// Gives an interface reference counting; the object is freed when the count reaches 0.
template <class I>
class Counted : public I, public Tracked {
public:
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override;
};

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
};

struct Window {
    HWND handle = nullptr;
    std::string className, title;
    WNDPROC proc = nullptr;
    DWORD style = 0, exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false, destroyed = false;
};

struct CursorData {
    std::string file;
    int width = 0, height = 0, hotX = 0, hotY = 0;
};

// One event of a run's script (script.cpp); `type` and `press` become several.
struct ScriptStep {
    enum Op {
        Wait, KeyDown, KeyUp, MouseMove, MouseDown, MouseUp, Wheel, Clipboard, Close
    } op = Wait;
    int a = 0, b = 0;   // frames; the key; x and y; 1 for the left button; the wheel delta
    std::string text;   // the clipboard's new text
};

class RecDevice;

// The whole backend state; Reset() replaces it with a fresh one.
struct State {
    // Window system
    std::vector<WindowClass> classes;
    std::vector<std::unique_ptr<Window>> windows;
    std::deque<MSG> queue;
    bool quitPending = false;
    int quitCode = 0;
    BYTE keys[256] = {};        // the thread's view: changes as key messages are removed
    bool physical[256] = {};    // keys held down by the posted input, for auto-repeat flags
    POINT cursor{0, 0};         // screen coordinates
    HCURSOR currentCursor = nullptr;
    std::vector<std::unique_ptr<CursorData>> cursors;
    std::vector<std::string> messageBoxes;
    std::string clipboard;           // CF_TEXT bytes, set by SetClipboardText
    bool clipboardHasText = false;
    bool clipboardOpen = false;
    std::string clipboardHandedOut;  // what GetClipboardData's handle points to

    // Time
    DWORD now = kStartTime;
    DWORD frameStep = 0;
    DWORD presents = 0;
    bool fixedSystemTime = false;
    SYSTEMTIME systemTime{};

    // Record and objects
    std::vector<Call> calls;   // the newest kKeptCalls..2*kKeptCalls unless keepEveryCall
    bool keepEveryCall = false;
    std::map<std::string, int> counters;           // per kind, for object names
    std::map<const void*, Tracked*> live;           // interface pointer -> object
    std::map<const void*, std::string> handleNames; // windows and cursors
    std::set<Kind> failNext;
    RecDevice* newestDevice = nullptr;

    // Program run (Start/Finish)
    bool running = false;
    DWORD frameLimit = 100;   // closes the window after this many frames when no script
    std::string tracePath;
    FILE* trace = nullptr;   // tracePath while the run goes on: each call a line as it is made
    std::vector<ScriptStep>* script = nullptr;   // owned by script.cpp
    size_t scriptPos = 0;
    DWORD scriptWait = 0;
    bool closePosted = false;
};

State& S();

// ---- Object bookkeeping ----
// Names a new object of `kind` ("texture") and registers it under `iface`.
void Track(Tracked* obj, const void* iface, const std::string& kind);
void Untrack(const void* iface);
Tracked* Lookup(const void* iface);
template <class T>
T* LookupAs(const void* iface) { return dynamic_cast<T*>(Lookup(iface)); }
// Consumes a pending injected failure of `kind`.
bool TakeFailure(Kind kind);

template <class I>
ULONG Counted<I>::Release() {
    ULONG r = --refs;
    if (r == 0) {
        Untrack(static_cast<I*>(this));
        delete this;
    }
    return r;
}

// ---- Recording ----
void Record(const std::string& object, const std::string& method, std::vector<std::string> args,
            const std::string& result, std::vector<uint8_t> data = {});
// The run's trace file: opened with the calls made so far, then written by each Record.
// CloseTrace is false when the file could not be opened or written.
bool OpenTrace(const std::string& path);
bool CloseTrace();
std::string Hex(uint32_t v);
std::string Dec(long long v);
std::string Flt(float f);
std::string Mat(const D3DMATRIX* m);
std::string Str(const char* s);   // "null" for NULL
std::string Obj(const void* p);   // object or handle name, "null", or "foreign"
std::string HrText(HRESULT hr);

// ---- Window system (window_system.cpp) ----
Window* LookupWindow(HWND hwnd);   // live or destroyed; null when unknown
void PostMsg(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void OnPresent();                 // the clock step and, in a run, the script
// The character a key-down makes on a US keyboard (0 for none).
int CharForKey(BYTE vk, bool shift);

// ---- Files ----
// Reads the file a Windows-style path names; false when it cannot be read.
bool ReadFileBytes(const char* path, std::vector<uint8_t>& out);

// ---- Runs (script.cpp) ----
// Parses a whole script; false with "LINE: reason" at the first line that is no event.
bool ParseScript(const std::string& text, std::vector<ScriptStep>& out, std::string& err);
bool LoadScript(const std::string& path, std::string& err);
void RunScriptFrame();
void FreeScript();

// ---- The device (device.cpp) ----
class RecDevice : public Counted<IDirect3DDevice9> {
public:
    DeviceState st;
    bool hasDepth = false;
    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                  DWORD Stencil) override;
    HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                    const RGNDATA* pDirtyRegion) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
    HRESULT SetMaterial(const D3DMATERIAL9* pMaterial) override;
    HRESULT SetLight(DWORD Index, const D3DLIGHT9* pLight) override;
    HRESULT GetLight(DWORD Index, D3DLIGHT9* pLight) override;
    HRESULT LightEnable(DWORD Index, BOOL Enable) override;
    HRESULT GetLightEnable(DWORD Index, BOOL* pEnable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
    HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
    HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex,
                          UINT PrimitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                            const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) override;
    HRESULT SetFVF(DWORD FVF) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                            UINT OffsetInBytes, UINT Stride) override;
};

IDirect3D9* CreateDirect3D(UINT sdkVersion);
// Vertices used by `count` primitives of `type`; 0 for an unknown type.
UINT VerticesFor(D3DPRIMITIVETYPE type, UINT count);
// Bytes of one vertex of an FVF code.
UINT FvfStride(DWORD fvf);

// ---- D3DX objects (d3dx_objects.cpp) ----
HRESULT LoadMesh(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                 LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                 LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials, LPD3DXMESH* ppMesh);
HRESULT CreateTexture(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, LPDIRECT3DTEXTURE9* ppTexture);
HRESULT CreateEffect(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, DWORD Flags,
                     LPD3DXEFFECT* ppEffect, LPD3DXBUFFER* ppCompilationErrors);
HRESULT CreateEffectCompiler(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                             LPD3DXEFFECTCOMPILER* ppCompiler, LPD3DXBUFFER* ppParseErrors);
HRESULT MakeFont(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width, UINT Weight, UINT MipLevels,
                   BOOL Italic, DWORD CharSet, DWORD OutputPrecision, DWORD Quality,
                   DWORD PitchAndFamily, LPCSTR pFaceName, LPD3DXFONT* ppFont);

// ---- The backend: Win32 part in window_system.cpp, the rest in headless_backend.cpp ----
class HeadlessBackend : public platform::Backend {
public:
    const char* Name() const override { return "headless"; }
    bool Start(std::string& err) override;
    void Finish() override;
    ATOM RegisterClassExA(const WNDCLASSEXA* lpwcx) override;
    BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) override;
    HMODULE GetModuleHandleA(LPCSTR lpModuleName) override;
    HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                         int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                         HINSTANCE hInstance, LPVOID lpParam) override;
    BOOL ShowWindow(HWND hWnd, int nCmdShow) override;
    BOOL UpdateWindow(HWND hWnd) override;
    BOOL DestroyWindow(HWND hWnd) override;
    BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                      UINT wRemoveMsg) override;
    BOOL TranslateMessage(const MSG* lpMsg) override;
    LRESULT DispatchMessageA(const MSG* lpMsg) override;
    LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) override;
    void PostQuitMessage(int nExitCode) override;
    BOOL GetKeyboardState(PBYTE lpKeyState) override;
    BOOL GetCursorPos(LPPOINT lpPoint) override;
    BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) override;
    HCURSOR LoadCursorFromFileA(LPCSTR lpFileName) override;
    HCURSOR SetCursor(HCURSOR hCursor) override;
    BOOL OpenClipboard(HWND hWndNewOwner) override;
    HANDLE GetClipboardData(UINT uFormat) override;
    BOOL CloseClipboard() override;
    int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) override;
    void GetSystemTime(LPSYSTEMTIME lpSystemTime) override;
    DWORD timeGetTime() override;
    HDC GetDC(HWND hWnd) override;
    int GetDeviceCaps(HDC hdc, int index) override;
    int ReleaseDC(HWND hWnd, HDC hDC) override;
    IDirect3D9* Direct3DCreate9(UINT SDKVersion) override;
    HRESULT D3DXLoadMeshFromXA(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice,
                               LPD3DXBUFFER* ppAdjacency, LPD3DXBUFFER* ppMaterials,
                               LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials,
                               LPD3DXMESH* ppMesh) override;
    HRESULT D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                       LPDIRECT3DTEXTURE9* ppTexture) override;
    HRESULT D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile,
                                      const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                                      DWORD Flags, LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                                      LPD3DXBUFFER* ppCompilationErrors) override;
    HRESULT D3DXCreateEffectCompilerFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines,
                                              LPD3DXINCLUDE pInclude, DWORD Flags,
                                              LPD3DXEFFECTCOMPILER* ppCompiler,
                                              LPD3DXBUFFER* ppParseErrors) override;
    HRESULT D3DXCreateFontA(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width, UINT Weight,
                            UINT MipLevels, BOOL Italic, DWORD CharSet, DWORD OutputPrecision,
                            DWORD Quality, DWORD PitchAndFamily, LPCSTR pFaceName,
                            LPD3DXFONT* ppFont) override;
};

}  // namespace headless
