// The recording Direct3D 9 object, device and vertex buffers. Every call is checked the way
// the Direct3D runtime checks it, recorded with its arguments and applied to the device state
// that tests read; nothing is drawn.
#include <cstring>

#include "platform/bench_run.h"
#include "platform/headless/headless_impl.h"

namespace headless {
namespace {

class VertexBuffer : public Counted<IDirect3DVertexBuffer9> {
public:
    std::vector<uint8_t> bytes;
    DWORD fvf = 0, usage = 0;
    int locks = 0;

    HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) override {
        HRESULT hr = D3D_OK;
        UINT size = SizeToLock ? SizeToLock : (OffsetToLock <= bytes.size() ? UINT(bytes.size()) - OffsetToLock : 0);
        if (!ppbData || OffsetToLock > bytes.size() || size > bytes.size() - OffsetToLock) {
            hr = D3DERR_INVALIDCALL;
        } else {
            *ppbData = bytes.data() + OffsetToLock;
            ++locks;
        }
        if (FAILED(hr) && ppbData) *ppbData = nullptr;
        Record(name, "Lock", {Dec(OffsetToLock), Dec(SizeToLock), Hex(Flags)}, HrText(hr));
        return hr;
    }
    HRESULT Unlock() override {
        HRESULT hr = locks > 0 ? D3D_OK : D3DERR_INVALIDCALL;
        if (locks > 0) --locks;
        Record(name, "Unlock", {}, HrText(hr));
        return hr;
    }
};

class Direct3D : public Counted<IDirect3D9> {
public:
    HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                         D3DPRESENT_PARAMETERS* pp, IDirect3DDevice9** ppDevice) override;
};

bool IsDepthFormat(D3DFORMAT f) {
    return f == D3DFMT_D16 || f == D3DFMT_D24S8 || f == D3DFMT_D24X8 || f == D3DFMT_D32;
}

// The multisample types the headless adapter offers.
bool SupportedMultisample(D3DMULTISAMPLE_TYPE t) {
    return t == D3DMULTISAMPLE_NONE || t == D3DMULTISAMPLE_NONMASKABLE || t == D3DMULTISAMPLE_2_SAMPLES ||
           t == D3DMULTISAMPLE_4_SAMPLES || t == D3DMULTISAMPLE_8_SAMPLES;
}

bool ValidTexStage(DWORD s) { return s < 16 || (s >= 256 && s <= 260); }

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

void SetDefaults(DeviceState& st, bool depth) {
    static const std::pair<DWORD, DWORD> kDefaults[] = {
        {D3DRS_FILLMODE, D3DFILL_SOLID}, {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_ZWRITEENABLE, TRUE}, {D3DRS_ALPHATESTENABLE, FALSE}, {D3DRS_LASTPIXEL, TRUE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE}, {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_CULLMODE, D3DCULL_CCW}, {D3DRS_ZFUNC, D3DCMP_LESSEQUAL}, {D3DRS_ALPHAREF, 0},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS}, {D3DRS_DITHERENABLE, FALSE},
        {D3DRS_ALPHABLENDENABLE, FALSE}, {D3DRS_FOGENABLE, FALSE}, {D3DRS_SPECULARENABLE, FALSE},
        {D3DRS_STENCILENABLE, FALSE}, {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF}, {D3DRS_CLIPPING, TRUE},
        {D3DRS_LIGHTING, TRUE}, {D3DRS_AMBIENT, 0}, {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_LOCALVIEWER, TRUE}, {D3DRS_NORMALIZENORMALS, FALSE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1}, {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL}, {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_MULTISAMPLEANTIALIAS, TRUE}, {D3DRS_COLORWRITEENABLE, 0x0F},
        {D3DRS_BLENDOP, D3DBLENDOP_ADD}, {D3DRS_SCISSORTESTENABLE, FALSE},
        {D3DRS_ANTIALIASEDLINEENABLE, FALSE}, {D3DRS_SEPARATEALPHABLENDENABLE, FALSE},
    };
    for (const auto& d : kDefaults) st.renderStates[d.first] = d.second;
    st.renderStates[D3DRS_ZENABLE] = depth ? D3DZB_TRUE : D3DZB_FALSE;
    static const std::pair<DWORD, DWORD> kSampler[] = {
        {D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP}, {D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP},
        {D3DSAMP_ADDRESSW, D3DTADDRESS_WRAP}, {D3DSAMP_BORDERCOLOR, 0},
        {D3DSAMP_MAGFILTER, D3DTEXF_POINT}, {D3DSAMP_MINFILTER, D3DTEXF_POINT},
        {D3DSAMP_MIPFILTER, D3DTEXF_NONE}, {D3DSAMP_MIPMAPLODBIAS, 0}, {D3DSAMP_MAXMIPLEVEL, 0},
        {D3DSAMP_MAXANISOTROPY, 1},
    };
    for (DWORD s = 0; s < 16; ++s)
        for (const auto& d : kSampler) st.samplerStates[s][d.first] = d.second;
    const DWORD kTransforms[] = {D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_WORLD};
    for (DWORD t : kTransforms) st.transforms[t] = Identity();
    st.material = D3DMATERIAL9{};
    st.material.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};   // white diffuse, nothing else
}

std::string PresentParamsText(const D3DPRESENT_PARAMETERS& p) {
    return "BackBufferWidth=" + Dec(p.BackBufferWidth) + " BackBufferHeight=" + Dec(p.BackBufferHeight) +
           " BackBufferFormat=" + Dec(p.BackBufferFormat) + " BackBufferCount=" + Dec(p.BackBufferCount) +
           " MultiSampleType=" + Dec(p.MultiSampleType) + " MultiSampleQuality=" + Dec(p.MultiSampleQuality) +
           " SwapEffect=" + Dec(p.SwapEffect) + " hDeviceWindow=" + Obj(p.hDeviceWindow) +
           " Windowed=" + Dec(p.Windowed) + " EnableAutoDepthStencil=" + Dec(p.EnableAutoDepthStencil) +
           " AutoDepthStencilFormat=" + Dec(p.AutoDepthStencilFormat) + " Flags=" + Hex(p.Flags) +
           " FullScreen_RefreshRateInHz=" + Dec(p.FullScreen_RefreshRateInHz) +
           " PresentationInterval=" + Hex(p.PresentationInterval);
}

HRESULT Direct3D::CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow,
                               DWORD BehaviorFlags, D3DPRESENT_PARAMETERS* pp,
                               IDirect3DDevice9** ppDevice) {
    std::vector<std::string> args = {Dec(Adapter), Dec(DeviceType), Obj(hFocusWindow), Hex(BehaviorFlags),
                                     pp ? PresentParamsText(*pp) : "null"};
    HRESULT hr = D3D_OK;
    const DWORD vp = BehaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                      D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
    HWND target = pp && pp->hDeviceWindow ? pp->hDeviceWindow : hFocusWindow;
    Window* w = LookupWindow(target);
    if (ppDevice) *ppDevice = nullptr;
    if (!ppDevice || !pp || Adapter != D3DADAPTER_DEFAULT ||
        (DeviceType != D3DDEVTYPE_HAL && DeviceType != D3DDEVTYPE_REF) ||
        (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
         vp != D3DCREATE_MIXED_VERTEXPROCESSING) ||
        !w || w->destroyed || !SupportedMultisample(pp->MultiSampleType) || pp->MultiSampleQuality != 0 ||
        (pp->MultiSampleType != D3DMULTISAMPLE_NONE && pp->SwapEffect != D3DSWAPEFFECT_DISCARD) ||
        pp->SwapEffect < D3DSWAPEFFECT_DISCARD || pp->SwapEffect > D3DSWAPEFFECT_COPY ||
        pp->BackBufferCount > 3 ||
        (pp->EnableAutoDepthStencil && !IsDepthFormat(pp->AutoDepthStencilFormat)) ||
        (!pp->Windowed && (pp->BackBufferWidth == 0 || pp->BackBufferHeight == 0)) ||
        (pp->Windowed && pp->FullScreen_RefreshRateInHz != 0)) {
        hr = D3DERR_INVALIDCALL;
    } else if (TakeFailure(Kind::Device)) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        Record("d3d", "CreateDevice", args, HrText(hr));
        return hr;
    }
    // The runtime writes back what it chose.
    if (pp->BackBufferWidth == 0) pp->BackBufferWidth = static_cast<UINT>(w->width);
    if (pp->BackBufferHeight == 0) pp->BackBufferHeight = static_cast<UINT>(w->height);
    if (pp->BackBufferCount == 0) pp->BackBufferCount = 1;
    if (pp->BackBufferFormat == D3DFMT_UNKNOWN) pp->BackBufferFormat = D3DFMT_X8R8G8B8;
    RecDevice* dev = new RecDevice;
    dev->hasDepth = pp->EnableAutoDepthStencil != FALSE;
    dev->st.exists = true;
    dev->st.params = *pp;
    dev->st.behaviorFlags = BehaviorFlags;
    SetDefaults(dev->st, dev->hasDepth);
    IDirect3DDevice9* iface = dev;
    Track(dev, iface, "device");
    S().newestDevice = dev;
    *ppDevice = iface;
    Record("d3d", "CreateDevice", args, dev->name);
    return D3D_OK;
}

}  // namespace

UINT VerticesFor(D3DPRIMITIVETYPE type, UINT n) {
    switch (type) {
    case D3DPT_POINTLIST: return n;
    case D3DPT_LINELIST: return 2 * n;
    case D3DPT_LINESTRIP: return n ? n + 1 : 0;
    case D3DPT_TRIANGLELIST: return 3 * n;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return n ? n + 2 : 0;
    default: return 0;
    }
}

UINT FvfStride(DWORD fvf) {
    UINT size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: size = 16; break;
    default:
        if ((fvf & D3DFVF_POSITION_MASK) >= 0x006 && (fvf & D3DFVF_POSITION_MASK) <= 0x00E)
            size = 12 + 4 * (((fvf & D3DFVF_POSITION_MASK) - 0x004) / 2);
        break;
    }
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_PSIZE) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < sets && i < 8; ++i) {
        static const UINT kFloats[4] = {2, 3, 4, 1};
        size += 4 * kFloats[(fvf >> (16 + 2 * i)) & 3];
    }
    return size;
}

IDirect3D9* CreateDirect3D(UINT sdkVersion) {
    IDirect3D9* result = nullptr;
    if (sdkVersion == D3D_SDK_VERSION && !TakeFailure(Kind::Direct3D)) {
        Direct3D* d = new Direct3D;
        result = d;
        Track(d, result, "d3d");
    }
    Record("d3d", "Direct3DCreate9", {Dec(sdkVersion)}, Obj(result));
    return result;
}

// ---- Device ----

HRESULT RecDevice::CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                   IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) {
    std::vector<std::string> args = {Dec(Length), Hex(Usage), Hex(FVF), Dec(Pool)};
    HRESULT hr = D3D_OK;
    if (ppVertexBuffer) *ppVertexBuffer = nullptr;
    if (!ppVertexBuffer || Length == 0 || pSharedHandle || Pool > D3DPOOL_SCRATCH ||
        (FVF && Length < FvfStride(FVF)))
        hr = D3DERR_INVALIDCALL;
    else if (TakeFailure(Kind::VertexBuffer))
        hr = D3DERR_OUTOFVIDEOMEMORY;
    if (FAILED(hr)) {
        Record(name, "CreateVertexBuffer", args, HrText(hr));
        return hr;
    }
    VertexBuffer* vb = new VertexBuffer;
    vb->bytes.assign(Length, 0);
    vb->fvf = FVF;
    vb->usage = Usage;
    IDirect3DVertexBuffer9* iface = vb;
    Track(vb, iface, "vb");
    *ppVertexBuffer = iface;
    Record(name, "CreateVertexBuffer", args, vb->name);
    return D3D_OK;
}

HRESULT RecDevice::BeginScene() {
    HRESULT hr = st.inScene ? D3DERR_INVALIDCALL : D3D_OK;
    st.inScene = true;
    platform::BenchBeginScene();
    Record(name, "BeginScene", {}, HrText(hr));
    return hr;
}

HRESULT RecDevice::EndScene() {
    HRESULT hr = st.inScene ? D3D_OK : D3DERR_INVALIDCALL;
    if (st.inScene) ++st.scenesEnded;
    st.inScene = false;
    Record(name, "EndScene", {}, HrText(hr));
    return hr;
}

HRESULT RecDevice::Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                      DWORD Stencil) {
    HRESULT hr = D3D_OK;
    const DWORD known = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
    if ((Count && !pRects) || Flags == 0 || (Flags & ~known) ||
        ((Flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !hasDepth) ||
        ((Flags & D3DCLEAR_STENCIL) && st.params.AutoDepthStencilFormat != D3DFMT_D24S8) ||
        ((Flags & D3DCLEAR_ZBUFFER) && !(Z >= 0.0f && Z <= 1.0f)))
        hr = D3DERR_INVALIDCALL;
    Record(name, "Clear", {Dec(Count), pRects ? "rects" : "null", Hex(Flags), Hex(Color), Flt(Z), Dec(Stencil)},
           HrText(hr));
    return hr;
}

HRESULT RecDevice::Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                        const RGNDATA* pDirtyRegion) {
    // Inside a scene the runtime refuses to present.
    HRESULT hr = st.inScene ? D3DERR_INVALIDCALL : D3D_OK;
    if (SUCCEEDED(hr)) ++st.presents;
    Record(name, "Present",
           {pSourceRect ? "rect" : "null", pDestRect ? "rect" : "null", Obj(hDestWindowOverride),
            pDirtyRegion ? "region" : "null"},
           HrText(hr));
    OnPresent();   // the clock and a run's script move on whatever the result
    return hr;
}

HRESULT RecDevice::SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) {
    DWORD s = static_cast<DWORD>(State);
    bool valid = s == D3DTS_VIEW || s == D3DTS_PROJECTION || (s >= 16 && s <= 23) || (s >= 256 && s <= 511);
    HRESULT hr = (valid && pMatrix) ? D3D_OK : D3DERR_INVALIDCALL;
    if (SUCCEEDED(hr)) st.transforms[s] = *pMatrix;
    Record(name, "SetTransform", {Dec(s), Mat(pMatrix)}, HrText(hr));
    return hr;
}

HRESULT RecDevice::SetMaterial(const D3DMATERIAL9* m) {
    HRESULT hr = m ? D3D_OK : D3DERR_INVALIDCALL;
    std::vector<std::string> args;
    if (m) {
        const D3DCOLORVALUE* c[4] = {&m->Diffuse, &m->Ambient, &m->Specular, &m->Emissive};
        for (const D3DCOLORVALUE* v : c)
            args.push_back(Flt(v->r) + " " + Flt(v->g) + " " + Flt(v->b) + " " + Flt(v->a));
        args.push_back(Flt(m->Power));
        st.material = *m;
    } else {
        args.push_back("null");
    }
    Record(name, "SetMaterial", args, HrText(hr));
    return hr;
}

namespace {

// Direct3D's light for an index enabled before any SetLight.
D3DLIGHT9 DefaultLight() {
    D3DLIGHT9 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = D3DCOLORVALUE{1, 1, 1, 0};
    l.Direction = D3DVECTOR{0, 0, 1};
    return l;
}

}  // namespace

HRESULT RecDevice::SetLight(DWORD Index, const D3DLIGHT9* l) {
    bool valid = l && (l->Type == D3DLIGHT_POINT || l->Type == D3DLIGHT_SPOT ||
                       l->Type == D3DLIGHT_DIRECTIONAL);
    HRESULT hr = valid ? D3D_OK : D3DERR_INVALIDCALL;
    std::vector<std::string> args = {Dec(Index)};
    if (l) {
        args.push_back(Dec(static_cast<long long>(l->Type)));
        const D3DCOLORVALUE* c[3] = {&l->Diffuse, &l->Specular, &l->Ambient};
        for (const D3DCOLORVALUE* v : c)
            args.push_back(Flt(v->r) + " " + Flt(v->g) + " " + Flt(v->b) + " " + Flt(v->a));
        args.push_back(Flt(l->Position.x) + " " + Flt(l->Position.y) + " " + Flt(l->Position.z));
        args.push_back(Flt(l->Direction.x) + " " + Flt(l->Direction.y) + " " + Flt(l->Direction.z));
        args.push_back(Flt(l->Range) + " " + Flt(l->Falloff) + " " + Flt(l->Attenuation0) + " " +
                       Flt(l->Attenuation1) + " " + Flt(l->Attenuation2) + " " + Flt(l->Theta) +
                       " " + Flt(l->Phi));
    } else {
        args.push_back("null");
    }
    if (SUCCEEDED(hr)) st.lights[Index] = *l;
    Record(name, "SetLight", args, HrText(hr));
    return hr;
}

HRESULT RecDevice::GetLight(DWORD Index, D3DLIGHT9* l) {
    auto it = st.lights.find(Index);
    if (!l || it == st.lights.end()) return D3DERR_INVALIDCALL;
    *l = it->second;
    return D3D_OK;
}

HRESULT RecDevice::LightEnable(DWORD Index, BOOL Enable) {
    if (!st.lights.count(Index)) st.lights[Index] = DefaultLight();
    st.lightEnabled[Index] = Enable != FALSE;
    Record(name, "LightEnable", {Dec(Index), Dec(Enable ? 1 : 0)}, HrText(D3D_OK));
    return D3D_OK;
}

HRESULT RecDevice::GetLightEnable(DWORD Index, BOOL* pEnable) {
    auto it = st.lights.find(Index);
    if (!pEnable || it == st.lights.end()) return D3DERR_INVALIDCALL;
    auto on = st.lightEnabled.find(Index);
    *pEnable = on != st.lightEnabled.end() && on->second ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT RecDevice::SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) {
    st.renderStates[static_cast<DWORD>(State)] = Value;
    Record(name, "SetRenderState", {Dec(State), Dec(Value)}, HrText(D3D_OK));
    return D3D_OK;
}

HRESULT RecDevice::SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) {
    HRESULT hr = ValidTexStage(Stage) ? D3D_OK : D3DERR_INVALIDCALL;
    if (SUCCEEDED(hr) && Stage == 0) st.texture0 = pTexture;
    Record(name, "SetTexture", {Dec(Stage), Obj(pTexture)}, HrText(hr));
    return hr;
}

HRESULT RecDevice::SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) {
    HRESULT hr = ValidTexStage(Sampler) ? D3D_OK : D3DERR_INVALIDCALL;
    if (SUCCEEDED(hr)) st.samplerStates[Sampler][static_cast<DWORD>(Type)] = Value;
    Record(name, "SetSamplerState", {Dec(Sampler), Dec(Type), Dec(Value)}, HrText(hr));
    return hr;
}

HRESULT RecDevice::DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) {
    HRESULT hr = D3D_OK;
    UINT count = VerticesFor(PrimitiveType, PrimitiveCount);
    VertexBuffer* vb = LookupAs<VertexBuffer>(st.streamSource);
    if (!st.inScene || count == 0 || !vb || st.streamStride == 0 || st.fvf == 0 ||
        uint64_t(st.streamOffset) + uint64_t(StartVertex + count) * st.streamStride > vb->bytes.size())
        hr = D3DERR_INVALIDCALL;
    Record(name, "DrawPrimitive", {Dec(PrimitiveType), Dec(StartVertex), Dec(PrimitiveCount)}, HrText(hr));
    return hr;
}

HRESULT RecDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
                                const void* pData, UINT Stride) {
    HRESULT hr = D3D_OK;
    UINT count = VerticesFor(PrimitiveType, PrimitiveCount);
    std::vector<uint8_t> data;
    if (!st.inScene || count == 0 || !pData || Stride == 0) {
        hr = D3DERR_INVALIDCALL;
    } else {
        const uint8_t* p = static_cast<const uint8_t*>(pData);
        data.assign(p, p + size_t(count) * Stride);
        // The runtime forgets stream 0 after drawing from user memory.
        st.streamSource = nullptr;
        st.streamOffset = 0;
        st.streamStride = 0;
    }
    Record(name, "DrawPrimitiveUP", {Dec(PrimitiveType), Dec(PrimitiveCount), Dec(Stride)}, HrText(hr),
           std::move(data));
    return hr;
}

HRESULT RecDevice::SetFVF(DWORD FVF) {
    st.fvf = FVF;
    Record(name, "SetFVF", {Hex(FVF)}, HrText(D3D_OK));
    return D3D_OK;
}

HRESULT RecDevice::SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                                UINT Stride) {
    HRESULT hr = StreamNumber < 16 ? D3D_OK : D3DERR_INVALIDCALL;
    if (SUCCEEDED(hr) && StreamNumber == 0) {
        st.streamSource = pStreamData;
        st.streamOffset = OffsetInBytes;
        st.streamStride = Stride;
    }
    Record(name, "SetStreamSource", {Dec(StreamNumber), Obj(pStreamData), Dec(OffsetInBytes), Dec(Stride)},
           HrText(hr));
    return hr;
}

// ---- Test interface: device state and vertex buffers ----

DeviceState Device() {
    RecDevice* d = S().newestDevice;
    return d ? d->st : DeviceState{};
}

DWORD RenderState(D3DRENDERSTATETYPE state) {
    RecDevice* d = S().newestDevice;
    if (!d) return 0;
    auto it = d->st.renderStates.find(static_cast<DWORD>(state));
    return it == d->st.renderStates.end() ? 0 : it->second;
}

D3DMATRIX Transform(D3DTRANSFORMSTATETYPE state) {
    RecDevice* d = S().newestDevice;
    if (!d) return Identity();
    auto it = d->st.transforms.find(static_cast<DWORD>(state));
    return it == d->st.transforms.end() ? Identity() : it->second;
}

std::vector<uint8_t> VertexBufferBytes(IDirect3DVertexBuffer9* vb) {
    VertexBuffer* v = LookupAs<VertexBuffer>(vb);
    return v ? v->bytes : std::vector<uint8_t>();
}

}  // namespace headless
