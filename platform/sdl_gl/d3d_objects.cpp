#include "platform/core/file_bytes.h"
#include "platform/sdl_gl/d3d_objects.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/bench_run.h"
#include "platform/core/cp1251.h"
#include "platform/core/image.h"
#include "platform/core/win_path.h"
#include "platform/core/xfile.h"
#include "platform/sdl_gl/effect_library.h"
#include "platform/sdl_gl/screenshot.h"
#include "platform/sdl_gl/window_system.h"

namespace sdlgl {

// ---- IDirect3D9 ----

HRESULT SdlDirect3D::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                                  DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pp,
                                  IDirect3DDevice9** out) {
    (void)BehaviorFlags;   // vertex processing happens in shaders either way
    if (!out || !pp) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (Adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (DeviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    if (!pp->Windowed) return D3DERR_NOTAVAILABLE;   // full screen is not offered
    HWND target = pp->hDeviceWindow ? pp->hDeviceWindow : hFocusWindow;
    Window* w = windows_->Find(target);
    SDL_Window* sdl = windows_->SdlWindow(target);
    if (!w || !sdl) return D3DERR_INVALIDCALL;
    DWORD ms = pp->MultiSampleType;
    if (ms > 16) return D3DERR_INVALIDCALL;
    if (ms != D3DMULTISAMPLE_NONE && pp->SwapEffect != D3DSWAPEFFECT_DISCARD) return D3DERR_INVALIDCALL;
    // NONMASKABLE with quality q stands for the (q+1)-th sample level: 2, 4, 8, ...
    int samples = ms == D3DMULTISAMPLE_NONMASKABLE ? (2 << (pp->MultiSampleQuality & 7))
                                                   : static_cast<int>(ms);
    if (ms >= 2 && pp->MultiSampleQuality != 0) return D3DERR_INVALIDCALL;

    BackBufferDesc desc;
    desc.width = pp->BackBufferWidth ? static_cast<int>(pp->BackBufferWidth) : w->clientWidth;
    desc.height = pp->BackBufferHeight ? static_cast<int>(pp->BackBufferHeight) : w->clientHeight;
    desc.samples = samples;
    desc.alpha = pp->BackBufferFormat == D3DFMT_A8R8G8B8;
    desc.depth = pp->EnableAutoDepthStencil != 0;
    desc.keepAfterPresent = pp->SwapEffect == D3DSWAPEFFECT_COPY;

    SDL_GLContext ctx = SDL_GL_CreateContext(sdl);
    if (!ctx) return D3DERR_NOTAVAILABLE;
    SDL_GL_MakeCurrent(sdl, ctx);
    if (epoxy_gl_version() < 33) {
        SDL_GL_DeleteContext(ctx);
        return D3DERR_NOTAVAILABLE;
    }
    // Present never waits for the retrace unless asked to.
    SDL_GL_SetSwapInterval(pp->PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    auto* device = new SdlDevice(windows_, sdl, ctx, plan_);
    std::string err;
    if (!device->Init(desc, err)) {
        device->Release();
        return D3DERR_INVALIDCALL;   // e.g. a multisample type that cannot be had
    }
    int drawableW = 0, drawableH = 0;
    SDL_GL_GetDrawableSize(sdl, &drawableW, &drawableH);
    device->Gl().WindowSized(drawableW, drawableH);
    // Direct3D writes back what it chose.
    pp->BackBufferWidth = static_cast<UINT>(desc.width);
    pp->BackBufferHeight = static_cast<UINT>(desc.height);
    if (pp->BackBufferFormat == D3DFMT_UNKNOWN) pp->BackBufferFormat = D3DFMT_X8R8G8B8;
    if (pp->BackBufferCount == 0) pp->BackBufferCount = 1;
    *out = device;
    return D3D_OK;
}

// ---- Device ----

namespace {
// Live devices of this backend, so that D3DX calls can tell them from others' devices.
std::set<IDirect3DDevice9*>& LiveDevices() {
    static std::set<IDirect3DDevice9*>* devices = new std::set<IDirect3DDevice9*>;
    return *devices;
}
}  // namespace

bool IsSdlDevice(IDirect3DDevice9* device) { return device && LiveDevices().count(device); }

EffectLibrary& SdlDevice::Effects() {
    if (!effects_) {
        auto textureOf = [](IDirect3DBaseTexture9* t) {
            return static_cast<SdlTexture*>(t)->Gl();
        };
        effects_.reset(new EffectLibrary(gl_, textureOf, this));
    }
    return *effects_;
}

SdlDevice::SdlDevice(WindowSystem* windows, SDL_Window* window, SDL_GLContext context,
                     const ScreenshotPlan* plan)
    : windows_(windows), window_(window), context_(context), plan_(plan) {
    LiveDevices().insert(this);
}

SdlDevice::~SdlDevice() {
    LiveDevices().erase(this);
    for (auto*& t : boundTextures_)
        if (t) t->Release();
    if (boundStream_) boundStream_->Release();
    MakeCurrent();
    effects_.reset();   // its GL programs, while the context lives
    gl_.Shutdown();
    SDL_GL_DeleteContext(context_);
}

void SdlDevice::MakeCurrent() {
    if (SDL_GL_GetCurrentContext() != context_) SDL_GL_MakeCurrent(window_, context_);
}

HRESULT SdlDevice::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                      IDirect3DVertexBuffer9** out, HANDLE* pSharedHandle) {
    (void)Usage;
    if (!out || pSharedHandle || Length == 0 || Pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    *out = nullptr;
    MakeCurrent();
    GlVertexBuffer* vb = gl_.CreateVertexBuffer(Length, FVF);
    if (!vb) return E_OUTOFMEMORY;
    *out = new SdlVertexBuffer(this, vb);
    return D3D_OK;
}

HRESULT SdlDevice::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    platform::BenchBeginScene();
    return D3D_OK;
}

HRESULT SdlDevice::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT SdlDevice::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color,
                         float Z, DWORD Stencil) {
    if (Count && !pRects) return D3DERR_INVALIDCALL;
    MakeCurrent();
    std::vector<int> rects;
    for (DWORD i = 0; pRects && i < Count; ++i) {
        rects.push_back(pRects[i].x1);
        rects.push_back(pRects[i].y1);
        rects.push_back(pRects[i].x2);
        rects.push_back(pRects[i].y2);
    }
    return gl_.Clear(pRects ? Count : 0, rects.empty() ? nullptr : rects.data(), Flags, Color, Z,
                     Stencil)
               ? D3D_OK
               : D3DERR_INVALIDCALL;
}

bool SdlDevice::ReadPicture(std::vector<uint8_t>& rgba) {
    MakeCurrent();
    if (!gl_.ReadBackBuffer(rgba)) return false;
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;   // the picture, not its alpha
    return true;
}

bool SdlDevice::SaveScreenshot(const std::string& path) {
    std::vector<uint8_t> rgba;
    return ReadPicture(rgba) && WritePng(path, gl_.Width(), gl_.Height(), rgba);
}

void SdlDevice::KeepScreenshot(const std::string& path, bool numbered) {
    std::vector<uint8_t> rgba;
    std::string said = ReadPicture(rgba)
                           ? KeepPicture(path, "", gl_.Width(), gl_.Height(), rgba, numbered)
                           : "meshes: cannot read the picture back for the screenshot " + path;
    if (!said.empty()) std::fprintf(stderr, "%s\n", said.c_str());
}

HRESULT SdlDevice::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
    MakeCurrent();
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    gl_.Present(w, h);
    // Screenshots of this frame are read before the swap, after which the window's buffer
    // may hold anything.
    if (plan_ && !plan_->path.empty() && presented_ + 1 == plan_->frame)
        KeepScreenshot(plan_->path, false);
    for (int n = windows_->TakeScreenshotRequests(); n > 0; --n)
        KeepScreenshot(NextScreenshotName(""), true);
    SDL_GL_SwapWindow(window_);
    ++presented_;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    gl_.WindowSized(w, h);
    if (platform::BenchPresent()) windows_->Post(windows_->MainWindow(), WM_CLOSE, 0, 0);   // timed run over
    return D3D_OK;
}

HRESULT SdlDevice::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    if (!pMatrix) return D3DERR_INVALIDCALL;
    DWORD s = State;
    if (s == D3DTS_VIEW || s == D3DTS_PROJECTION || s == 256 ||
        (s >= D3DTS_TEXTURE0 && s < D3DTS_TEXTURE0 + 8)) {
        gl_.SetTransform(s, &pMatrix->_11);
        return D3D_OK;
    }
    // Further world matrices (vertex blending) are kept by Direct3D but unused here.
    if (s > 256 && s < 512) return D3D_OK;
    return D3DERR_INVALIDCALL;
}

HRESULT SdlDevice::SetLight(DWORD Index, const D3DLIGHT9* l) {
    if (!l || Index >= 8 || l->Type < D3DLIGHT_POINT || l->Type > D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    Light g;
    g.type = static_cast<uint32_t>(l->Type);
    std::memcpy(g.diffuse, &l->Diffuse, 16);
    std::memcpy(g.specular, &l->Specular, 16);
    std::memcpy(g.ambient, &l->Ambient, 16);
    std::memcpy(g.position, &l->Position, 12);
    std::memcpy(g.direction, &l->Direction, 12);
    g.range = l->Range;
    g.falloff = l->Falloff;
    g.attenuation0 = l->Attenuation0;
    g.attenuation1 = l->Attenuation1;
    g.attenuation2 = l->Attenuation2;
    g.theta = l->Theta;
    g.phi = l->Phi;
    gl_.SetLight(Index, g);
    return D3D_OK;
}

HRESULT SdlDevice::GetLight(DWORD Index, D3DLIGHT9* l) {
    if (!l || Index >= 8) return D3DERR_INVALIDCALL;
    Light g = gl_.GetLight(Index);
    l->Type = static_cast<D3DLIGHTTYPE>(g.type);
    std::memcpy(&l->Diffuse, g.diffuse, 16);
    std::memcpy(&l->Specular, g.specular, 16);
    std::memcpy(&l->Ambient, g.ambient, 16);
    std::memcpy(&l->Position, g.position, 12);
    std::memcpy(&l->Direction, g.direction, 12);
    l->Range = g.range;
    l->Falloff = g.falloff;
    l->Attenuation0 = g.attenuation0;
    l->Attenuation1 = g.attenuation1;
    l->Attenuation2 = g.attenuation2;
    l->Theta = g.theta;
    l->Phi = g.phi;
    return D3D_OK;
}

HRESULT SdlDevice::LightEnable(DWORD Index, BOOL Enable) {
    return gl_.LightEnable(Index, Enable != FALSE) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT SdlDevice::GetLightEnable(DWORD Index, BOOL* pEnable) {
    if (!pEnable || Index >= 8) return D3DERR_INVALIDCALL;
    *pEnable = gl_.GetLightEnable(Index) ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT SdlDevice::SetMaterial(const D3DMATERIAL9* m) {
    if (!m) return D3DERR_INVALIDCALL;
    Material g;
    std::memcpy(g.diffuse, &m->Diffuse, 16);
    std::memcpy(g.ambient, &m->Ambient, 16);
    std::memcpy(g.specular, &m->Specular, 16);
    std::memcpy(g.emissive, &m->Emissive, 16);
    g.power = m->Power;
    gl_.SetMaterial(g);
    return D3D_OK;
}

HRESULT SdlDevice::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    gl_.SetRenderState(static_cast<uint32_t>(State), Value);   // unknown states are ignored
    return D3D_OK;
}

HRESULT SdlDevice::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) {
    // Pixel samplers 0..15 and the vertex texture samplers 257..260.
    int slot = GlDevice::SamplerSlot(Stage);
    if (slot < 0) return D3DERR_INVALIDCALL;
    if (pTexture) pTexture->AddRef();
    if (boundTextures_[slot]) boundTextures_[slot]->Release();
    boundTextures_[slot] = pTexture;
    // Only this backend's textures reach its device.
    gl_.SetTexture(Stage, pTexture ? static_cast<SdlTexture*>(pTexture)->Gl() : nullptr);
    return D3D_OK;
}

HRESULT SdlDevice::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) {
    if (GlDevice::SamplerSlot(Sampler) < 0) return D3DERR_INVALIDCALL;
    gl_.SetSamplerState(Sampler, static_cast<uint32_t>(Type), Value);
    return D3D_OK;
}

HRESULT SdlDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) {
    if (!inScene_) return D3DERR_INVALIDCALL;
    MakeCurrent();
    return gl_.DrawPrimitive(type, start, count) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT SdlDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data,
                                   UINT stride) {
    if (!inScene_) return D3DERR_INVALIDCALL;
    MakeCurrent();
    if (boundStream_) {   // the call unsets stream 0
        boundStream_->Release();
        boundStream_ = nullptr;
    }
    return gl_.DrawPrimitiveUP(type, count, data, stride) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT SdlDevice::SetFVF(DWORD FVF) {
    gl_.SetFvf(FVF);
    return D3D_OK;
}

HRESULT SdlDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* vb, UINT offset,
                                   UINT stride) {
    if (stream != 0) return D3DERR_INVALIDCALL;   // one stream is all this device draws
    if (vb) vb->AddRef();
    if (boundStream_) boundStream_->Release();
    boundStream_ = vb;
    gl_.SetStreamSource(vb ? static_cast<SdlVertexBuffer*>(vb)->Gl() : nullptr, offset, stride);
    return D3D_OK;
}

// ---- Vertex buffer and texture ----

SdlVertexBuffer::SdlVertexBuffer(SdlDevice* device, GlVertexBuffer* vb) : device_(device), vb_(vb) {
    device_->AddRef();
}

SdlVertexBuffer::~SdlVertexBuffer() {
    device_->MakeCurrent();
    device_->Gl().DestroyVertexBuffer(vb_);
    device_->Release();
}

HRESULT SdlVertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD Flags) {
    (void)Flags;
    if (!data) return D3DERR_INVALIDCALL;
    *data = nullptr;
    UINT length = static_cast<UINT>(vb_->bytes.size());
    if (offset > length || (size && size > length - offset)) return D3DERR_INVALIDCALL;
    if (size == 0) size = length - offset;
    UINT end = offset + size;
    if (!locked_) {
        lockStart_ = offset;
        lockEnd_ = end;
    } else {
        lockStart_ = std::min(lockStart_, offset);
        lockEnd_ = std::max(lockEnd_, end);
    }
    locked_ = true;
    *data = vb_->bytes.data() + offset;
    return D3D_OK;
}

HRESULT SdlVertexBuffer::Unlock() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    device_->MakeCurrent();
    device_->Gl().UploadVertexBuffer(vb_, lockStart_, lockEnd_ - lockStart_);
    return D3D_OK;
}

SharedTexture::~SharedTexture() {
    device->MakeCurrent();
    device->Gl().DestroyTexture(gl);
}

SdlTexture::SdlTexture(SdlDevice* device, GlTexture* t)
    : SdlTexture(device, std::make_shared<SharedTexture>(device, t)) {}

SdlTexture::SdlTexture(SdlDevice* device, std::shared_ptr<SharedTexture> shared)
    : device_(device), shared_(std::move(shared)) {
    device_->AddRef();
}

SdlTexture::~SdlTexture() {
    shared_.reset();   // the last user frees the GL texture while the device lives
    device_->Release();
}

// ---- D3DX objects ----

SharedMesh::~SharedMesh() {
    device->MakeCurrent();
    gl.Release();
}

SdlMesh::SdlMesh(SdlDevice* device, std::shared_ptr<SharedMesh> shared)
    : device_(device), shared_(std::move(shared)) {
    device_->AddRef();
}

SdlMesh::~SdlMesh() {
    shared_.reset();
    device_->Release();
}

HRESULT SdlMesh::DrawSubset(DWORD AttribId) {
    if (!device_->InScene()) return D3DERR_INVALIDCALL;
    device_->MakeCurrent();
    return shared_->gl.DrawSubset(device_->Gl(), AttribId) ? D3D_OK : D3DERR_INVALIDCALL;
}

SdlFont::SdlFont(SdlDevice* device) : device_(device) { device_->AddRef(); }

SdlFont::~SdlFont() {
    device_->MakeCurrent();
    font_.Release();
    device_->Release();
}

INT SdlFont::DrawTextA(ID3DXSprite*, LPCSTR text, INT count, LPRECT rect, DWORD format,
                       D3DCOLOR color) {
    if (!text || !rect) return 0;
    size_t n = count < 0 ? std::strlen(text) : static_cast<size_t>(count);
    text_.clear();
    for (size_t i = 0; i < n && text[i]; ++i)
        text_ += static_cast<char32_t>(core::Cp1251ToUnicode(static_cast<unsigned char>(text[i])));
    int r[4] = {rect->left, rect->top, rect->right, rect->bottom};
    device_->MakeCurrent();
    int height = font_.DrawText(device_->Gl(), text_, r, format, color);
    if (format & DT_CALCRECT) {
        rect->right = r[2];
        rect->bottom = r[3];
    }
    return height;
}

static bool ReadWholeFile(const char* file, std::vector<uint8_t>& out) {
    return core::ReadFileBytes(file, out);
}

HRESULT LoadMeshFromFile(SdlDevice* device, const char* file, DWORD options,
                         LPD3DXBUFFER* ppMaterials, DWORD* pNumMaterials, LPD3DXMESH* ppMesh,
                         LPD3DXBUFFER* ppAdjacency) {
    if (!device || !file || !ppMesh) return D3DERR_INVALIDCALL;
    *ppMesh = nullptr;
    core::LoadProbe probe;
    std::shared_ptr<SharedMesh> shared = device->MeshLoads().Find(file, probe);
    if (!shared) {
        if (!probe.haveBytes && !ReadWholeFile(file, probe.bytes)) return D3DERR_NOTFOUND;
        probe.haveBytes = true;
        core::XMesh x;
        std::string err;
        if (!core::ReadXFile(probe.bytes.data(), probe.bytes.size(), x, err))
            return D3DXERR_INVALIDDATA;
        device->MakeCurrent();
        shared.reset(new SharedMesh(device));
        if (!shared->gl.Upload(x)) return D3DXERR_INVALIDDATA;
        shared->materials = std::move(x.materials);
        device->MeshLoads().Put(probe, shared);
    }
    if (!core::MeshFitsIndices(shared->gl.VertexCount(), options)) return D3DERR_INVALIDCALL;
    auto* mesh = new SdlMesh(device, shared);
    const std::vector<core::XMaterial>& materials = shared->materials;
    if (ppMaterials) {
        // D3DXMATERIAL records, then the texture names they point at, in one buffer.
        size_t head = materials.size() * sizeof(D3DXMATERIAL), total = head;
        for (const auto& m : materials)
            if (!m.textureFile.empty()) total += m.textureFile.size() + 1;
        std::vector<uint8_t> buf(total, 0);
        auto* buffer = new SdlBuffer(std::move(buf));
        auto* base = static_cast<uint8_t*>(buffer->GetBufferPointer());
        auto* mats = reinterpret_cast<D3DXMATERIAL*>(base);
        size_t at = head;
        for (size_t i = 0; i < materials.size(); ++i) {
            const core::XMaterial& m = materials[i];
            std::memcpy(&mats[i].MatD3D.Diffuse, m.diffuse, 16);
            std::memcpy(&mats[i].MatD3D.Ambient, m.ambient, 16);
            std::memcpy(&mats[i].MatD3D.Specular, m.specular, 16);
            std::memcpy(&mats[i].MatD3D.Emissive, m.emissive, 16);
            mats[i].MatD3D.Power = m.power;
            mats[i].pTextureFilename = nullptr;
            if (!m.textureFile.empty()) {
                std::memcpy(base + at, m.textureFile.c_str(), m.textureFile.size() + 1);
                mats[i].pTextureFilename = reinterpret_cast<LPSTR>(base + at);
                at += m.textureFile.size() + 1;
            }
        }
        *ppMaterials = buffer;
    }
    if (pNumMaterials) *pNumMaterials = static_cast<DWORD>(materials.size());
    if (ppAdjacency) *ppAdjacency = nullptr;   // adjacency is not computed by this backend
    *ppMesh = mesh;
    return D3D_OK;
}

static int NextPowerOfTwo(int v) {
    int p = 1;
    while (p < v) p <<= 1;
    return p;
}

// D3DX gives a texture loaded with default sizes power-of-two sides, stretching the image
// with a filter; a bilinear stretch stands in for its triangle filter.
static void StretchToPowerOfTwo(core::Image& img) {
    int w = NextPowerOfTwo(img.width), h = NextPowerOfTwo(img.height);
    if (w == img.width && h == img.height) return;
    std::vector<uint8_t> out(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        float sy = std::max(0.0f, (y + 0.5f) * img.height / h - 0.5f);
        int y0 = std::min(static_cast<int>(sy), img.height - 1), y1 = std::min(y0 + 1, img.height - 1);
        float fy = sy - y0;
        for (int x = 0; x < w; ++x) {
            float sx = std::max(0.0f, (x + 0.5f) * img.width / w - 0.5f);
            int x0 = std::min(static_cast<int>(sx), img.width - 1), x1 = std::min(x0 + 1, img.width - 1);
            float fx = sx - x0;
            for (int c = 0; c < 4; ++c) {
                auto at = [&](int xx, int yy) { return img.rgba[(size_t(yy) * img.width + xx) * 4 + c]; };
                float top = at(x0, y0) + (at(x1, y0) - at(x0, y0)) * fx;
                float bottom = at(x0, y1) + (at(x1, y1) - at(x0, y1)) * fx;
                out[(size_t(y) * w + x) * 4 + c] = static_cast<uint8_t>(top + (bottom - top) * fy + 0.5f);
            }
        }
    }
    img.width = w;
    img.height = h;
    img.rgba.swap(out);
}

HRESULT CreateTextureFromFile(SdlDevice* device, const char* file, LPDIRECT3DTEXTURE9* out) {
    if (!device || !file || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    core::LoadProbe probe;
    std::shared_ptr<SharedTexture> shared = device->TextureLoads().Find(file, probe);
    if (!shared) {
        if (!probe.haveBytes && !ReadWholeFile(file, probe.bytes)) return D3DERR_NOTFOUND;
        probe.haveBytes = true;
        core::Image img;
        std::string err;
        if (!core::DecodeImage(probe.bytes.data(), probe.bytes.size(), img, err))
            return D3DXERR_INVALIDDATA;
        StretchToPowerOfTwo(img);
        device->MakeCurrent();
        GlTexture* t = device->Gl().CreateTexture(img.width, img.height, img.rgba.data(), 0);
        if (!t) return D3DXERR_INVALIDDATA;
        shared = std::make_shared<SharedTexture>(device, t);
        device->TextureLoads().Put(probe, shared);
    }
    *out = new SdlTexture(device, shared);
    return D3D_OK;
}

HRESULT CreateFont(SdlDevice* device, INT height, UINT width, UINT weight, BOOL italic,
                   const char* face, LPD3DXFONT* out) {
    if (!device || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    FontDesc d;
    d.height = height;
    d.width = width;
    d.weight = weight;
    d.italic = italic != 0;
    d.face = face ? face : "";
    auto* font = new SdlFont(device);
    std::string err;
    if (!font->Init(d, err)) {
        font->Release();
        return D3DXERR_INVALIDDATA;
    }
    *out = font;
    return D3D_OK;
}

}  // namespace sdlgl
