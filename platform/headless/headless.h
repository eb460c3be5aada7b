// Test interface of the headless backend: a window system with Win32 message semantics, a
// virtual clock, input posted by the test, and a recording Direct3D 9 device with recording
// D3DX objects. Tests drive the engine in-process through it; a run of the program drives it
// from MESHES_SCRIPT (README.md) and writes the record to MESHES_TRACE.
// It draws nothing and never reads the real clock for timeGetTime.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/d3dx9.h"
#include "platform/windows.h"

namespace headless {

// Forgets every window, class, message, object, recorded call and injected failure, resets
// the clock to kStartTime and the keyboard to all keys up, and makes headless the active
// backend. Objects handed out before must not be used afterwards. Call it in each test's
// set-up.
void Reset();

// ---- Virtual time ----
const DWORD kStartTime = 3600000;   // one hour: the machine has been up a while
void SetTime(DWORD ms);             // timeGetTime() then reads ms
void AdvanceTime(DWORD ms);         // wraps at 2^32 like the real counter
// Milliseconds the clock advances at each Present (0, the default in tests, keeps it still;
// a run of the program uses MESHES_FRAME_MS, default 16).
void SetFrameStep(DWORD ms);
DWORD PresentCount();               // Presents since Reset
// GetSystemTime() returns `st` from now on; UseRealSystemTime() undoes it.
void SetSystemTime(const SYSTEMTIME& st);
void UseRealSystemTime();

// ---- Windows and input ----
// The window input goes to: the newest window not yet destroyed (NULL when none).
HWND MainWindow();
struct WindowInfo {
    std::string className, title;
    DWORD style = 0, exStyle = 0;
    int x = 0, y = 0, width = 0, height = 0;   // as created; the client area is the whole window
    bool visible = false, destroyed = false;
};
bool GetWindowInfo(HWND hwnd, WindowInfo& out);
bool ClassRegistered(const char* className);

// Post input messages to MainWindow(), as the system would: WM_KEYDOWN/WM_KEYUP carry the
// key (VK_LSHIFT/VK_RSHIFT post VK_SHIFT with that side's scan code, likewise Control and
// Alt); GetKeyboardState changes only when the loop takes the message from the queue.
// A KeyDown of a key already down is posted as an auto-repeat.
void KeyDown(BYTE vk);
void KeyUp(BYTE vk);
// Moves the cursor to (x, y) in the main window's client area (GetCursorPos changes at once)
// and posts WM_MOUSEMOVE.
void MouseMove(int x, int y);
// Posts WM_LBUTTONDOWN/UP (left) or WM_RBUTTONDOWN/UP at the cursor.
void MouseButton(bool left, bool down);
// Posts WM_MOUSEWHEEL: `delta` in the high word of wParam (WHEEL_DELTA, 120, per notch;
// positive away from the user), the cursor in screen coordinates.
void MouseWheel(int delta);
// The clipboard's CF_TEXT from now on (bytes as given; empty until set).
void SetClipboardText(const std::string& text);
// Moves the cursor without any message, in screen coordinates.
void SetCursorPos(int x, int y);
// Posts WM_CLOSE to the main window.
void PostClose();
size_t QueuedMessages();
// The cursor last given to SetCursor (NULL when none or hidden).
HCURSOR CurrentCursor();
// Key names accepted by scripts: "VK_TAB", "VK_OEM_3", single letters and digits "A", "7".
// 0 when unknown.
BYTE KeyByName(const std::string& name);

// ---- The record ----
// One call, in the order made. `object` is the receiver: "win32" for window-system calls,
// "d3d" for Direct3DCreate9 and the IDirect3D9 object, "d3dx" for D3DX creation functions,
// otherwise the object's name: "device1", "vb1", "texture1", "mesh1", "effect1", "font1",
// "buffer1" (numbered per kind from 1 since Reset).
// `args` are the arguments as text: integers in decimal, D3DCOLOR and flags as 0xXXXXXXXX,
// floats with %.9g, matrices as 16 floats separated by blanks, pointers to objects by name
// ("null" for NULL), strings as given. `result` is the HRESULT as 0xXXXXXXXX, a created
// object's name, or the value returned; a few add facts after a blank: "passes=N" (Begin),
// "faces=N" (DrawSubset), "materials=N buffer=bufferK" (D3DXLoadMeshFromXA).
// `data` holds the vertex bytes of DrawPrimitiveUP.
struct Call {
    std::string object;
    std::string method;
    std::vector<std::string> args;
    std::string result;
    std::vector<uint8_t> data;
    std::string Text() const;   // "object.method(arg, arg) -> result", the trace file's line
};
// The record keeps the newest kKeptCalls calls at least (each font its newest kKeptCalls
// draws), so that a long run does not grow without end; a test that reads more asks for every
// call with KeepEveryCall, until Reset. A run's trace file gets every call all the same.
const size_t kKeptCalls = 65536;
void KeepEveryCall();
const std::vector<Call>& Calls();
void ClearCalls();
// The calls with this method name (and receiver, when given), in order.
std::vector<Call> CallsOf(const std::string& method, const std::string& object = "");
size_t CountCalls(const std::string& method, const std::string& object = "");
// Name of an object created by the backend ("texture3"), or "" when unknown.
std::string NameOf(const void* object);
// Writes every call kept's Text() to `path`, one a line. False when it cannot be written.
bool WriteTrace(const std::string& path);

// ---- Failure injection ----
enum class Kind { Direct3D, Device, VertexBuffer, Texture, Mesh, Effect, Font, Cursor };
// The next creation of that kind fails, once: Direct3DCreate9 and LoadCursorFromFileA give
// NULL, CreateVertexBuffer D3DERR_OUTOFVIDEOMEMORY, the others E_OUTOFMEMORY.
void FailNext(Kind kind);

// ---- Device state (of the newest device) ----
struct DeviceState {
    bool exists = false;
    D3DPRESENT_PARAMETERS params{};   // as given, with the back buffer size filled in
    DWORD behaviorFlags = 0;
    std::map<DWORD, DWORD> renderStates;                  // every state, defaults included
    std::map<DWORD, std::map<DWORD, DWORD>> samplerStates; // sampler -> type -> value
    std::map<DWORD, D3DMATRIX> transforms;                 // D3DTS_* -> matrix (identity default)
    D3DMATERIAL9 material{};
    std::map<DWORD, D3DLIGHT9> lights;                     // lights set or enabled
    std::map<DWORD, bool> lightEnabled;
    IDirect3DBaseTexture9* texture0 = nullptr;             // stage-0 texture
    IDirect3DVertexBuffer9* streamSource = nullptr;        // stream 0
    UINT streamOffset = 0, streamStride = 0;
    DWORD fvf = 0;
    bool inScene = false;
    UINT scenesEnded = 0, presents = 0;
};
DeviceState Device();
DWORD RenderState(D3DRENDERSTATETYPE state);   // of the newest device; 0 when there is none
D3DMATRIX Transform(D3DTRANSFORMSTATETYPE state);

// ---- Objects ----
// Objects do not hold references to the device or to what is bound to it; Release frees an
// object at its last reference, and Reset() frees everything at once.
// Objects created and not yet freed (devices, buffers, textures, meshes, effects, fonts).
size_t LiveObjects();
// The bytes a vertex buffer holds (empty for an unknown pointer).
std::vector<uint8_t> VertexBufferBytes(IDirect3DVertexBuffer9* vb);
struct TextureInfo {
    std::string file;   // as given to D3DXCreateTextureFromFileA
    int width = 0, height = 0;
};
bool GetTextureInfo(IDirect3DBaseTexture9* texture, TextureInfo& out);
struct MeshInfo {
    std::string file;
    DWORD vertices = 0, faces = 0, fvf = 0;
    std::vector<DWORD> subsetFaces;   // faces per attribute id 0..n-1
};
bool GetMeshInfo(ID3DXMesh* mesh, MeshInfo& out);
struct EffectInfo {
    std::string file;
    std::vector<std::string> techniques;   // in file order
    std::string technique;                 // current
    std::map<std::string, std::vector<float>> values;   // parameter -> its current floats
    std::map<std::string, IDirect3DBaseTexture9*> textures;   // texture parameter -> texture set
    bool begun = false;
    int pass = -1;                         // pass between BeginPass and EndPass, else -1
};
bool GetEffectInfo(ID3DXEffect* effect, EffectInfo& out);
struct TextDraw {
    std::string text;   // the bytes drawn (Count applied)
    RECT rect{};
    DWORD format = 0;
    D3DCOLOR colour = 0;
};
struct FontInfo {
    std::string face;
    INT height = 0;
    UINT width = 0, weight = 0;
    std::vector<TextDraw> draws;   // every DrawTextA, in order
};
bool GetFontInfo(ID3DXFont* font, FontInfo& out);

// ---- Program runs ----
// Messages shown by MessageBoxA since Reset, as "caption: text".
const std::vector<std::string>& MessageBoxes();

}  // namespace headless
