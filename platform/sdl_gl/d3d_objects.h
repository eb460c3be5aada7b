// The Direct3D 9 and D3DX objects of this backend, over GlDevice, GlMesh and GlFont.
// Reference counts follow COM: creation hands out one reference, Release frees at zero.
// A device owns its GL context; objects made on it hold a reference to it.
#pragma once

#include <SDL.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/load_cache.h"
#include "platform/core/xfile.h"
#include "platform/d3dx9.h"
#include "platform/sdl_gl/gl_device.h"
#include "platform/sdl_gl/gl_font.h"
#include "platform/sdl_gl/gl_mesh.h"

namespace sdlgl {

class WindowSystem;
class EffectLibrary;

// Reference counting shared by every object here.
template <class Interface>
class RefCounted : public Interface {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

protected:
    ~RefCounted() override {}

private:
    std::atomic<ULONG> refs_{1};
};

// Screenshot requests the device serves after each Present.
struct ScreenshotPlan {
    std::string path;     // MESHES_SCREENSHOT's file, empty when none
    uint64_t frame = 0;   // the presented frame (from 1) to capture
};

class SdlDevice;

class SdlDirect3D : public RefCounted<IDirect3D9> {
public:
    SdlDirect3D(WindowSystem* windows, const ScreenshotPlan* plan) : windows_(windows), plan_(plan) {}
    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                         DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pp,
                         IDirect3DDevice9** out) override;

private:
    WindowSystem* windows_;
    const ScreenshotPlan* plan_;
};

class SdlVertexBuffer : public RefCounted<IDirect3DVertexBuffer9> {
public:
    SdlVertexBuffer(SdlDevice* device, GlVertexBuffer* vb);
    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override;
    HRESULT Unlock() override;
    GlVertexBuffer* Gl() const { return vb_; }

private:
    ~SdlVertexBuffer() override;
    SdlDevice* device_;
    GlVertexBuffer* vb_;
    bool locked_ = false;
    UINT lockStart_ = 0, lockEnd_ = 0;   // bytes written since the first Lock
};

// A GL texture with the device it was made on; freed, with that device's context current,
// when the last texture object using it goes.
struct SharedTexture {
    SharedTexture(SdlDevice* device, GlTexture* texture) : device(device), gl(texture) {}
    ~SharedTexture();
    SdlDevice* device;
    GlTexture* gl;
};

// The GL buffers and the materials of one .x file, shared by every mesh loaded from it.
struct SharedMesh {
    explicit SharedMesh(SdlDevice* device) : device(device) {}
    ~SharedMesh();
    SdlDevice* device;
    GlMesh gl;
    std::vector<core::XMaterial> materials;
};

class SdlTexture : public RefCounted<IDirect3DTexture9> {
public:
    SdlTexture(SdlDevice* device, GlTexture* t);   // takes the GL texture over
    SdlTexture(SdlDevice* device, std::shared_ptr<SharedTexture> shared);
    GlTexture* Gl() const { return shared_->gl; }

private:
    ~SdlTexture() override;
    SdlDevice* device_;
    std::shared_ptr<SharedTexture> shared_;
};

class SdlDevice : public RefCounted<IDirect3DDevice9> {
public:
    SdlDevice(WindowSystem* windows, SDL_Window* window, SDL_GLContext context,
              const ScreenshotPlan* plan);
    bool Init(const BackBufferDesc& desc, std::string& err) { return gl_.Init(desc, err); }

    HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                               IDirect3DVertexBuffer9** ppVertexBuffer,
                               HANDLE* pSharedHandle) override;
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
                            const void* pVertexStreamZeroData,
                            UINT VertexStreamZeroStride) override;
    HRESULT SetFVF(DWORD FVF) override;
    HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData,
                            UINT OffsetInBytes, UINT Stride) override;

    // For the backend's D3DX objects (and a later effect implementation).
    GlDevice& Gl() { return gl_; }
    bool InScene() const { return inScene_; }
    void MakeCurrent();
    uint64_t PresentedFrames() const { return presented_; }
    // Writes the back buffer to a PNG; false when it cannot be written.
    bool SaveScreenshot(const std::string& path);
    // A screenshot the user asked for (KeepPicture): at `path`, else in the level's fallback
    // folder; stderr says why and where when not at `path`.
    void KeepScreenshot(const std::string& path, bool numbered);
    // The effect files compiled on this device (effect_library.h), made on first use.
    EffectLibrary& Effects();
    // What mesh and texture files loaded to on this device, for loads of the same files.
    core::LoadCache<SharedMesh>& MeshLoads() { return meshLoads_; }
    core::LoadCache<SharedTexture>& TextureLoads() { return textureLoads_; }

private:
    ~SdlDevice() override;
    // The back buffer's picture, opaque, top row first.
    bool ReadPicture(std::vector<uint8_t>& rgba);

    WindowSystem* windows_;
    SDL_Window* window_;
    SDL_GLContext context_;
    const ScreenshotPlan* plan_;
    GlDevice gl_;
    bool inScene_ = false;
    uint64_t presented_ = 0;
    // References held while bound, by GlDevice::SamplerSlot (stages 0..15, 257..260).
    IDirect3DBaseTexture9* boundTextures_[GlDevice::kSamplerSlots] = {};
    IDirect3DVertexBuffer9* boundStream_ = nullptr;
    std::unique_ptr<EffectLibrary> effects_;
    core::LoadCache<SharedMesh> meshLoads_;
    core::LoadCache<SharedTexture> textureLoads_;
};

// True for a live device made by this backend.
bool IsSdlDevice(IDirect3DDevice9* device);

class SdlBuffer : public RefCounted<ID3DXBuffer> {
public:
    explicit SdlBuffer(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    LPVOID GetBufferPointer() override { return bytes_.empty() ? nullptr : bytes_.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

private:
    std::vector<uint8_t> bytes_;
};

class SdlMesh : public RefCounted<ID3DXMesh> {
public:
    SdlMesh(SdlDevice* device, std::shared_ptr<SharedMesh> shared);
    HRESULT DrawSubset(DWORD AttribId) override;
    const GlMesh& Gl() const { return shared_->gl; }

private:
    ~SdlMesh() override;
    SdlDevice* device_;
    std::shared_ptr<SharedMesh> shared_;
};

class SdlFont : public RefCounted<ID3DXFont> {
public:
    explicit SdlFont(SdlDevice* device);
    bool Init(const FontDesc& desc, std::string& err) { return font_.Init(desc, err); }
    INT DrawTextA(ID3DXSprite* pSprite, LPCSTR pString, INT Count, LPRECT pRect, DWORD Format,
                  D3DCOLOR Color) override;
    GlFont& Gl() { return font_; }

private:
    ~SdlFont() override;
    SdlDevice* device_;
    GlFont font_;
    std::u32string text_;   // the call's text as Unicode, kept between calls
};

// D3DX creation over the core readers; each returns the HRESULT the backend hands out.
HRESULT LoadMeshFromFile(SdlDevice* device, const char* file, DWORD options,
                         LPD3DXBUFFER* ppMaterials, DWORD* pNumMaterials, LPD3DXMESH* ppMesh,
                         LPD3DXBUFFER* ppAdjacency);
HRESULT CreateTextureFromFile(SdlDevice* device, const char* file, LPDIRECT3DTEXTURE9* out);
HRESULT CreateFont(SdlDevice* device, INT height, UINT width, UINT weight, BOOL italic,
                   const char* face, LPD3DXFONT* out);

}  // namespace sdlgl
