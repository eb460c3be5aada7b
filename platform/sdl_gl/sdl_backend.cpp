#include "platform/sdl_gl/sdl_backend.h"

#include <cstdlib>

#include "platform/core/cp1251.h"
#include "platform/core/fx_compiler.h"
#include "platform/sdl_gl/d3d_objects.h"
#include "platform/sdl_gl/effect_library.h"
#include "platform/sdl_gl/screenshot.h"
#include "platform/sdl_gl/window_system.h"

namespace sdlgl {
namespace {

SdlDevice* Ours(IDirect3DDevice9* device) {
    return IsSdlDevice(device) ? static_cast<SdlDevice*>(device) : nullptr;
}

class SdlBackend : public platform::Backend {
public:
    const char* Name() const override { return "sdl"; }

    bool Start(std::string& err) override {
        if (const char* shot = std::getenv("MESHES_SCREENSHOT")) {
            if (*shot && !ParseScreenshotRequest(shot, plan_.path, plan_.frame)) {
                err = "MESHES_SCREENSHOT must be path.png or path.png@frame";
                return false;
            }
        }
        if (windows_.EnsureVideo(err)) return true;
        err += " (run under xvfb-run, or set MESHES_PLATFORM=headless)";
        return false;
    }
    void Finish() override { windows_.Shutdown(); }

    ATOM RegisterClassExA(const WNDCLASSEXA* wc) override { return windows_.RegisterClassExA(wc); }
    BOOL UnregisterClassA(LPCSTR name, HINSTANCE) override { return windows_.UnregisterClassA(name); }
    HMODULE GetModuleHandleA(LPCSTR name) override {
        // Any stable, non-null address names the program's module.
        return name ? nullptr : reinterpret_cast<HMODULE>(&module_);
    }
    HWND CreateWindowExA(DWORD, LPCSTR cls, LPCSTR title, DWORD style, int x, int y, int w,
                         int h, HWND, HMENU, HINSTANCE, LPVOID) override {
        return windows_.CreateWindowExA(cls, title, style, x, y, w, h);
    }
    BOOL ShowWindow(HWND hwnd, int cmd) override { return windows_.ShowWindow(hwnd, cmd); }
    BOOL UpdateWindow(HWND hwnd) override {
        Window* w = windows_.Find(hwnd);
        return w && !w->destroyed ? TRUE : FALSE;
    }
    BOOL DestroyWindow(HWND hwnd) override { return windows_.DestroyWindow(hwnd); }

    BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max, UINT remove) override {
        return windows_.PeekMessageA(msg, hwnd, min, max, remove);
    }
    BOOL TranslateMessage(const MSG* msg) override {
        return msg && msg->message >= WM_KEYDOWN && msg->message <= WM_SYSKEYUP ? TRUE : FALSE;
    }
    LRESULT DispatchMessageA(const MSG* msg) override { return windows_.DispatchMessageA(msg); }
    LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override {
        return windows_.DefWindowProcA(hwnd, msg, wp, lp);
    }
    void PostQuitMessage(int code) override { windows_.PostQuitMessage(code); }

    BOOL GetKeyboardState(PBYTE state) override { return windows_.GetKeyboardState(state); }
    BOOL GetCursorPos(LPPOINT pt) override { return windows_.GetCursorPos(pt); }
    BOOL ScreenToClient(HWND hwnd, LPPOINT pt) override { return windows_.ScreenToClient(hwnd, pt); }
    HCURSOR LoadCursorFromFileA(LPCSTR path) override { return windows_.LoadCursorFromFileA(path); }
    HCURSOR SetCursor(HCURSOR c) override { return windows_.SetCursor(c); }

    // The desktop's clipboard through SDL; its UTF-8 text is handed out in Windows-1251, as
    // Windows converts CF_TEXT to the ANSI code page.
    BOOL OpenClipboard(HWND) override {
        if (clipboardOpen_) return FALSE;
        clipboardOpen_ = true;
        return TRUE;
    }
    HANDLE GetClipboardData(UINT format) override {
        std::string err;
        if (!clipboardOpen_ || format != CF_TEXT || !windows_.EnsureVideo(err) ||
            !SDL_HasClipboardText())
            return nullptr;
        char* utf8 = SDL_GetClipboardText();
        if (!utf8) return nullptr;
        clipboard_ = core::Utf8ToCp1251(utf8);
        SDL_free(utf8);
        return const_cast<char*>(clipboard_.c_str());
    }
    BOOL CloseClipboard() override {
        if (!clipboardOpen_) return FALSE;
        clipboardOpen_ = false;
        return TRUE;
    }

    int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) override {
        return windows_.MessageBoxA(text, caption, type);
    }
    void GetSystemTime(LPSYSTEMTIME st) override {
        if (st) UtcNow(*st);
    }
    DWORD timeGetTime() override { return MonotonicMs(); }
    // The screen's device context: only its pixel density is asked for (96 per inch).
    HDC GetDC(HWND hwnd) override {
        if (hwnd && !windows_.Find(hwnd)) return nullptr;
        return reinterpret_cast<HDC>(&screenDc_);
    }
    int GetDeviceCaps(HDC hdc, int index) override {
        if (hdc != reinterpret_cast<HDC>(&screenDc_)) return 0;
        return index == LOGPIXELSX || index == LOGPIXELSY ? 96 : 0;
    }
    int ReleaseDC(HWND, HDC hdc) override { return hdc == reinterpret_cast<HDC>(&screenDc_) ? 1 : 0; }

    IDirect3D9* Direct3DCreate9(UINT sdk) override {
        std::string err;
        if (sdk != D3D_SDK_VERSION || !windows_.EnsureVideo(err)) return nullptr;
        return new SdlDirect3D(&windows_, &plan_);
    }
    HRESULT D3DXLoadMeshFromXA(LPCSTR file, DWORD options, LPDIRECT3DDEVICE9 device,
                               LPD3DXBUFFER* adjacency, LPD3DXBUFFER* materials,
                               LPD3DXBUFFER* effectInstances, DWORD* numMaterials,
                               LPD3DXMESH* mesh) override {
        if (effectInstances) *effectInstances = nullptr;
        if (!Ours(device)) return D3DERR_INVALIDCALL;
        return LoadMeshFromFile(Ours(device), file, options, materials, numMaterials, mesh,
                                adjacency);
    }
    HRESULT D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR file,
                                       LPDIRECT3DTEXTURE9* texture) override {
        if (!Ours(device)) return D3DERR_INVALIDCALL;
        return CreateTextureFromFile(Ours(device), file, texture);
    }
    // Effect files compiled with glslang and SPIRV-Cross (effect_library.h); compiler
    // messages go into the errors buffer when asked for, to stderr otherwise.
    HRESULT D3DXCreateEffectFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR file, const D3DXMACRO* defines,
                                      LPD3DXINCLUDE include, DWORD, LPD3DXEFFECTPOOL,
                                      LPD3DXEFFECT* effect, LPD3DXBUFFER* errors) override {
        if (effect) *effect = nullptr;
        if (errors) *errors = nullptr;
        if (!Ours(device) || !file || !effect) return D3DERR_INVALIDCALL;
        Ours(device)->MakeCurrent();
        std::string messages;
        HRESULT hr;
        if ((defines && defines->Name) || include) {
            core::FxPreprocessed pre;
            hr = core::FxPreprocessFile(file, defines, include, pre, messages);
            if (SUCCEEDED(hr)) hr = Ours(device)->Effects().CreateFromPreprocessed(pre, file, effect, messages);
            else messages = core::FxD3dxMessages(messages);
        } else {
            hr = Ours(device)->Effects().CreateFromFile(file, effect, messages);
        }
        if (errors && !messages.empty()) {
            std::vector<uint8_t> bytes(messages.begin(), messages.end());
            bytes.push_back(0);
            *errors = new SdlBuffer(std::move(bytes));
        } else if (!messages.empty()) {
            std::fputs(messages.c_str(), stderr);
        }
        return hr;
    }
    // The compile of D3DXCreateEffectFromFileA up to linking, which needs no GL context.
    HRESULT D3DXCreateEffectCompilerFromFileA(LPCSTR file, const D3DXMACRO* defines,
                                              LPD3DXINCLUDE include, DWORD,
                                              LPD3DXEFFECTCOMPILER* compiler,
                                              LPD3DXBUFFER* errors) override {
        auto compile = [](const core::FxPreprocessed& pre, const core::FxFile&, const std::string& name,
                          std::vector<std::vector<core::FxPassSamplers>>& passes, std::string& log) {
            EffectSource source = CompileEffect(pre, name);
            log = source.log;
            for (const std::vector<PassShaders>& technique : source.passShaders) {
                passes.emplace_back();
                for (const PassShaders& pass : technique) {
                    passes.back().emplace_back();
                    for (int stage : {pass.vs, pass.ps}) {
                        if (stage < 0) continue;
                        core::FxStageSamplers& out = stage == pass.vs ? passes.back().back().vs
                                                                      : passes.back().back().ps;
                        // Assembly names no samplers: it has no constant table to hold them.
                        for (const HlslSampler& s : source.stages[static_cast<size_t>(stage)].samplers)
                            if (s.used && s.reg >= 0 && !s.hlslName.empty()) out.emplace_back(s.hlslName, s.reg);
                    }
                }
            }
            return source.ok;
        };
        return core::CreateEffectCompiler(file, defines, include, compile, compiler, errors);
    }
    HRESULT D3DXCreateFontA(LPDIRECT3DDEVICE9 device, INT height, UINT width, UINT weight,
                            UINT, BOOL italic, DWORD, DWORD, DWORD, DWORD, LPCSTR face,
                            LPD3DXFONT* font) override {
        if (!Ours(device)) return D3DERR_INVALIDCALL;
        return CreateFont(Ours(device), height, width, weight, italic, face, font);
    }

private:
    WindowSystem windows_;
    ScreenshotPlan plan_;
    int screenDc_ = 0;
    int module_ = 0;
    bool clipboardOpen_ = false;
    std::string clipboard_;   // the text GetClipboardData handed out, until the next call
};

}  // namespace

platform::Backend* CreateBackend() { return new SdlBackend; }

bool ReadBackBuffer(IDirect3DDevice9* device, std::vector<uint8_t>& rgba, int& width,
                    int& height) {
    SdlDevice* d = Ours(device);
    if (!d) return false;
    d->MakeCurrent();
    width = d->Gl().Width();
    height = d->Gl().Height();
    return d->Gl().ReadBackBuffer(rgba);
}

bool SaveScreenshot(IDirect3DDevice9* device, const char* path) {
    SdlDevice* d = Ours(device);
    return d && path && d->SaveScreenshot(path);
}

GlDevice* DeviceGl(IDirect3DDevice9* device) {
    SdlDevice* d = Ours(device);
    if (!d) return nullptr;
    d->MakeCurrent();
    return &d->Gl();
}

int DeviceSamples(IDirect3DDevice9* device) {
    SdlDevice* d = Ours(device);
    return d ? d->Gl().Samples() : 0;
}

const char* RendererName() {
    if (!SDL_GL_GetCurrentContext()) return "";
    const GLubyte* s = glGetString(GL_RENDERER);
    return s ? reinterpret_cast<const char*>(s) : "";
}

}  // namespace sdlgl

namespace platform {
void RegisterSdlGlBackend() { RegisterBackend("sdl", &sdlgl::CreateBackend); }
}  // namespace platform
