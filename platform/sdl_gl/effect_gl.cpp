#include "platform/sdl_gl/effect_gl.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace sdlgl {

GlEffect::GlEffect(GlDevice& device, std::shared_ptr<const EffectCode> code,
                   EffectLibrary::TextureOf textureOf, IUnknown* owner)
    : device_(device), code_(std::move(code)), reflection_(code_->fx), textureOf_(textureOf), owner_(owner) {
    if (owner_) owner_->AddRef();
    for (const EffectParam& p : code_->params) values_.push_back(p.initial);
    textures_.assign(code_->params.size(), nullptr);
    device_.AddOverrideOwner(this);
    changed_.assign(code_->params.size(), false);
    const size_t sizes[2][3] = {{256 * 4, 16 * 4, 16}, {224 * 4, 16 * 4, 16}};
    for (int stage = 0; stage < 2; ++stage)
        for (int file = 0; file < 3; ++file) registers_[stage][file].assign(sizes[stage][file], 0.0f);
}

GlEffect::~GlEffect() {
    // The device's program override may still point into this effect.
    device_.RemoveOverrideOwner(this);
    for (IDirect3DBaseTexture9* t : textures_)
        if (t) t->Release();
    // The programs go before the device that holds the GL context may go.
    code_.reset();
    if (owner_) owner_->Release();
}

ULONG GlEffect::Release() {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
}

int GlEffect::Param(D3DXHANDLE name) const { return name ? code_->FindParam(name) : -1; }

bool GlEffect::Resolve(D3DXHANDLE handle, Ref& ref) const {
    // Set before every draw: a plain name is looked up where it stands, without a copy.
    int element = -1;
    if (handle && !std::strchr(handle, '[')) {
        ref.param = code_->FindParam(std::string_view(handle));
    } else {
        std::string name;
        if (!core::FxSplitHandle(handle, name, element)) return false;
        ref.param = code_->FindParam(name);
    }
    if (ref.param < 0) return false;
    const EffectParam& e = code_->params[static_cast<size_t>(ref.param)];
    core::FxShape whole;
    whole.cls = (e.base == HlslBase::Other || e.isTexture || e.isSampler) ? core::FxClass::Object
                                                                          : e.paramClass;
    whole.rows = e.rows;
    whole.columns = e.columns;
    whole.elements = e.elements;
    return core::FxNarrow(whole, element, ref.shape, ref.offset);
}

void GlEffect::Store(int param, const float* values, size_t n, size_t offset) {
    const EffectParam& p = code_->params[static_cast<size_t>(param)];
    std::vector<float>& v = values_[static_cast<size_t>(param)];
    for (size_t i = 0; i < n && offset + i < v.size(); ++i) {
        float f = values[i];
        if (p.base == HlslBase::Bool) f = f != 0.0f ? 1.0f : 0.0f;
        if (p.base == HlslBase::Int) f = static_cast<float>(static_cast<int>(f));
        v[offset + i] = f;
    }
    twinStale_ = true;
    changed_[static_cast<size_t>(param)] = true;
    if (pass_ < 0) return;
    const EffectPass& pass = code_->techniques[static_cast<size_t>(technique_)]
                                 .passes[static_cast<size_t>(pass_)];
    bool used = false;
    for (const UniformBinding& b : pass.plain.uniforms) used = used || b.param == param;
    if (used) UploadPassValues(pass);
}

D3DXHANDLE GlEffect::GetParameterByName(D3DXHANDLE hParameter, LPCSTR pName) {
    Ref ref;
    if (hParameter || !pName || !Resolve(pName, ref)) return nullptr;
    if (!std::strchr(pName, '[')) return code_->params[static_cast<size_t>(ref.param)].name.c_str();
    return elementHandles_.insert(pName).first->c_str();
}

D3DXHANDLE GlEffect::GetParameterElement(D3DXHANDLE hParameter, UINT Index) {
    if (!hParameter) {
        // D3DX: with no parameter, the top-level parameter of that index.
        return Index < code_->params.size() ? code_->params[Index].name.c_str() : nullptr;
    }
    Ref ref;
    if (!Resolve(hParameter, ref) || Index >= static_cast<UINT>(ref.shape.elements)) return nullptr;
    std::string name = code_->params[static_cast<size_t>(ref.param)].name + "[" +
                       std::to_string(Index) + "]";
    return elementHandles_.insert(name).first->c_str();
}

HRESULT GlEffect::SetValue(D3DXHANDLE hParameter, LPCVOID pData, UINT Bytes) {
    Ref ref;
    if (!Resolve(hParameter, ref)) return D3DERR_INVALIDCALL;
    const EffectParam& e = code_->params[static_cast<size_t>(ref.param)];
    std::vector<float>& v = scratch_;
    if (!core::FxSetRaw(ref.shape, e.base != HlslBase::Float, pData, Bytes, v))
        return D3DERR_INVALIDCALL;
    Store(ref.param, v.data(), v.size(), ref.offset);
    return D3D_OK;
}

HRESULT GlEffect::GetValue(D3DXHANDLE hParameter, LPVOID pData, UINT Bytes) {
    if (reflection_.Annotation(hParameter)) return reflection_.GetInitialValue(hParameter, pData, Bytes);
    Ref ref;
    if (!Resolve(hParameter, ref)) return D3DERR_INVALIDCALL;
    const EffectParam& e = code_->params[static_cast<size_t>(ref.param)];
    const float* v = values_[static_cast<size_t>(ref.param)].data() + ref.offset;
    return core::FxGetRaw(ref.shape, e.base != HlslBase::Float, v, pData, Bytes)
               ? D3D_OK
               : D3DERR_INVALIDCALL;
}

HRESULT GlEffect::SetArray(D3DXHANDLE h, core::FxArrayCall call, const float* in, UINT count) {
    Ref ref;
    std::vector<float>& v = scratch_;
    if (!Resolve(h, ref) || !core::FxSetArray(call, ref.shape, in, count, v))
        return D3DERR_INVALIDCALL;
    Store(ref.param, v.data(), v.size(), ref.offset);
    return D3D_OK;
}

HRESULT GlEffect::GetArray(D3DXHANDLE h, core::FxArrayCall call, float* out, UINT count) const {
    Ref ref;
    if (!Resolve(h, ref)) return D3DERR_INVALIDCALL;
    const float* v = values_[static_cast<size_t>(ref.param)].data() + ref.offset;
    return core::FxGetArray(call, ref.shape, v, count, out) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT GlEffect::SetFloat(D3DXHANDLE hParameter, FLOAT f) {
    Ref ref;
    if (!Resolve(hParameter, ref)) return D3DERR_INVALIDCALL;
    const core::FxShape& s = ref.shape;
    if (s.elements > 0 || (s.cls != core::FxClass::Scalar && s.cls != core::FxClass::Vector))
        return D3DERR_INVALIDCALL;
    Store(ref.param, &f, 1, ref.offset);
    return D3D_OK;
}

HRESULT GlEffect::GetFloat(D3DXHANDLE hParameter, FLOAT* pf) {
    Ref ref;
    if (!pf || !Resolve(hParameter, ref) || ref.shape.elements > 0 || !ref.shape.Numeric() ||
        ref.shape.rows * ref.shape.columns != 1)
        return D3DERR_INVALIDCALL;
    *pf = values_[static_cast<size_t>(ref.param)][ref.offset];
    return D3D_OK;
}

HRESULT GlEffect::SetFloatArray(D3DXHANDLE hParameter, const FLOAT* pf, UINT Count) {
    return SetArray(hParameter, core::FxArrayCall::Float, pf, Count);
}

HRESULT GlEffect::GetFloatArray(D3DXHANDLE hParameter, FLOAT* pf, UINT Count) {
    return GetArray(hParameter, core::FxArrayCall::Float, pf, Count);
}

HRESULT GlEffect::SetVector(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) {
    Ref ref;
    if (!pVector || !Resolve(hParameter, ref)) return D3DERR_INVALIDCALL;
    const core::FxShape& s = ref.shape;
    if (s.elements > 0 || (s.cls != core::FxClass::Scalar && s.cls != core::FxClass::Vector))
        return D3DERR_INVALIDCALL;
    float v[4] = {pVector->x, pVector->y, pVector->z, pVector->w};
    Store(ref.param, v, static_cast<size_t>(s.columns < 4 ? s.columns : 4), ref.offset);
    return D3D_OK;
}

HRESULT GlEffect::GetVector(D3DXHANDLE hParameter, D3DXVECTOR4* pVector) {
    Ref ref;
    if (!pVector || !Resolve(hParameter, ref)) return D3DERR_INVALIDCALL;
    const core::FxShape& s = ref.shape;
    if (s.elements > 0 || (s.cls != core::FxClass::Scalar && s.cls != core::FxClass::Vector))
        return D3DERR_INVALIDCALL;
    const float* v = values_[static_cast<size_t>(ref.param)].data() + ref.offset;
    float out[4] = {0, 0, 0, 0};
    for (int c = 0; c < s.columns && c < 4; ++c) out[c] = v[c];
    *pVector = D3DXVECTOR4(out[0], out[1], out[2], out[3]);
    return D3D_OK;
}

HRESULT GlEffect::SetVectorArray(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector, UINT Count) {
    return SetArray(hParameter, core::FxArrayCall::Vector, pVector ? &pVector->x : nullptr, Count);
}

HRESULT GlEffect::GetVectorArray(D3DXHANDLE hParameter, D3DXVECTOR4* pVector, UINT Count) {
    return GetArray(hParameter, core::FxArrayCall::Vector, pVector ? &pVector->x : nullptr, Count);
}

HRESULT GlEffect::SetMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) {
    Ref ref;
    if (!pMatrix || !Resolve(hParameter, ref)) return D3DERR_INVALIDCALL;
    const core::FxShape& s = ref.shape;
    if (s.cls != core::FxClass::Matrix || s.elements > 0) return D3DERR_INVALIDCALL;
    // The parameter's value is the matrix itself, row by row: D3DX's packing makes
    // mul(v, M) in the shader equal v * M, whatever the declared majority.
    std::vector<float>& v = scratch_;
    core::FxShape one = s;
    one.elements = 1;
    core::FxSetArray(core::FxArrayCall::Matrix, one, &pMatrix->m[0][0], 1, v);
    Store(ref.param, v.data(), v.size(), ref.offset);
    return D3D_OK;
}

HRESULT GlEffect::GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) {
    Ref ref;
    if (!pMatrix || !Resolve(hParameter, ref) || ref.shape.elements > 0) return D3DERR_INVALIDCALL;
    core::FxShape one = ref.shape;
    one.elements = 1;
    const float* v = values_[static_cast<size_t>(ref.param)].data() + ref.offset;
    return core::FxGetArray(core::FxArrayCall::Matrix, one, v, 1, &pMatrix->m[0][0])
               ? D3D_OK
               : D3DERR_INVALIDCALL;
}

HRESULT GlEffect::SetMatrixArray(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) {
    return SetArray(hParameter, core::FxArrayCall::Matrix, pMatrix ? &pMatrix->m[0][0] : nullptr, Count);
}

HRESULT GlEffect::GetMatrixArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) {
    return GetArray(hParameter, core::FxArrayCall::Matrix, pMatrix ? &pMatrix->m[0][0] : nullptr, Count);
}

HRESULT GlEffect::SetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9* pTexture) {
    int p = Param(hParameter);
    if (p < 0 || !code_->params[static_cast<size_t>(p)].isTexture) return D3DERR_INVALIDCALL;
    if (pTexture) pTexture->AddRef();
    IDirect3DBaseTexture9*& slot = textures_[static_cast<size_t>(p)];
    if (slot) slot->Release();
    slot = pTexture;
    changed_[static_cast<size_t>(p)] = true;
    return D3D_OK;
}

HRESULT GlEffect::SetTechnique(D3DXHANDLE hTechnique) {
    int t = hTechnique ? code_->FindTechnique(hTechnique) : -1;
    if (t < 0) return D3DERR_INVALIDCALL;
    technique_ = t;
    return D3D_OK;
}

const char* GlEffect::CurrentTechnique() const {
    if (code_->techniques.empty()) return nullptr;
    return code_->techniques[static_cast<size_t>(technique_)].name.c_str();
}

bool GlEffect::GetValue(const char* name, std::vector<float>& values) const {
    int p = Param(name);
    if (p < 0) return false;
    values = values_[static_cast<size_t>(p)];
    return true;
}

HRESULT GlEffect::Begin(UINT* pPasses, DWORD Flags) {
    if (begun_ || code_->techniques.empty()) return D3DERR_INVALIDCALL;
    const EffectTechnique& t = code_->techniques[static_cast<size_t>(technique_)];
    if (pPasses) *pPasses = static_cast<UINT>(t.passes.size());
    begun_ = true;
    pass_ = -1;
    saving_ = (Flags & D3DXFX_DONOTSAVESTATE) == 0;
    if (saving_) SaveState();
    return D3D_OK;
}

HRESULT GlEffect::BeginPass(UINT Pass) {
    if (!begun_) return D3DERR_INVALIDCALL;
    const EffectTechnique& t = code_->techniques[static_cast<size_t>(technique_)];
    if (Pass >= t.passes.size()) return D3DERR_INVALIDCALL;
    pass_ = static_cast<int>(Pass);
    const EffectPass& pass = t.passes[Pass];
    GlDevice::ProgramOverride programs;
    programs.plain = pass.plain.program;
    programs.alphaTested = pass.alphaTested.program;
    programs.alphaFunc = pass.alphaTested.alphaFunc;
    programs.alphaRef = pass.alphaTested.alphaRef;
    if (pass.positionKnown &&
        pass.positionFactors.size() <= GlDevice::ProgramOverride::kMaxPositionFactors) {
        programs.positionCount = static_cast<int>(pass.positionFactors.size());
        for (size_t i = 0; i < pass.positionFactors.size(); ++i) {
            programs.position[i] = values_[static_cast<size_t>(pass.positionFactors[i].first)].data();
            programs.positionTransposed[i] = pass.positionFactors[i].second;
        }
    }
    if (pass.alphaTested.program) programs.refreshAlphaTested = &GlEffect::RefreshTwin;
    if (pass.plain.fixedStage) programs.plainFixed = &pass.plain.fixed;
    if (pass.alphaTested.fixedStage) programs.alphaTestedFixed = &pass.alphaTested.fixed;
    programs.source = &pass;
    programs.owner = this;
    device_.SetProgramOverride(programs);
    ApplyPass(pass, false);
    UploadPassValues(pass);
    return D3D_OK;
}

void GlEffect::ApplyPass(const EffectPass& pass, bool changedOnly) {
    auto Changed = [&](int param) { return param >= 0 && changed_[static_cast<size_t>(param)]; };
    for (const EffectState& s : pass.states)
        if (!changedOnly || Changed(s.param)) ApplyState(s, -1);
    for (const core::FxConstantState& c : pass.constants)
        if (!changedOnly || Changed(c.param)) ApplyConstant(c);
    // D3DX sets a sampler's sampler_state on its register: the texture it names, with that
    // parameter's value (null unbinds the stage), and its filter and address states.
    for (const EffectPass::Sampler& sp : pass.samplers) {
        const EffectParam& s = code_->params[static_cast<size_t>(sp.param)];
        for (const EffectState& st : s.samplerStates)
            if (!changedOnly || Changed(st.param)) ApplyState(st, static_cast<int>(sp.reg));
        if (s.textureParam >= 0 && (!changedOnly || Changed(s.textureParam))) {
            IDirect3DBaseTexture9* tex = textures_[static_cast<size_t>(s.textureParam)];
            device_.SetTexture(sp.reg, tex && textureOf_ ? textureOf_(tex) : nullptr);
        }
    }
    changed_.assign(changed_.size(), false);
}

HRESULT GlEffect::CommitChanges() {
    // Outside a pass there is nothing to send; D3DX says so and succeeds.
    if (!begun_ || pass_ < 0) return D3D_OK;
    const EffectPass& pass = code_->techniques[static_cast<size_t>(technique_)]
                                 .passes[static_cast<size_t>(pass_)];
    ApplyPass(pass, true);
    UploadPassValues(pass);
    return D3D_OK;
}

HRESULT GlEffect::EndPass() {
    if (!begun_ || pass_ < 0) return D3DERR_INVALIDCALL;
    pass_ = -1;
    return D3D_OK;
}

HRESULT GlEffect::End() {
    if (!begun_) return D3DERR_INVALIDCALL;
    if (saving_) RestoreState();
    begun_ = false;
    pass_ = -1;
    return D3D_OK;
}

void GlEffect::UploadPassValues(const EffectPass& pass) {
    twinStale_ = true;
    UploadProgramValues(pass.plain);
}

void GlEffect::RefreshTwin(const void* effect, const void* pass) {
    auto* self = const_cast<GlEffect*>(static_cast<const GlEffect*>(effect));
    auto* p = static_cast<const EffectPass*>(pass);
    if (!self->twinStale_ && self->twinFor_ == p) return;
    self->UploadProgramValues(p->alphaTested);
    self->twinStale_ = false;
    self->twinFor_ = p;
}

void GlEffect::UploadProgramValues(const PassProgram& p) {
    if (!p.program) return;
    glUseProgram(p.program);
    if (p.halfPixel >= 0) {
        const Viewport& vp = device_.GetViewport();
        glUniform2f(p.halfPixel, vp.width > 0 ? 1.0f / static_cast<float>(vp.width) : 0.0f,
                    vp.height > 0 ? 1.0f / static_cast<float>(vp.height) : 0.0f);
    }
    if (p.textured >= 0) glUniform1i(p.textured, device_.GetTexture(0) ? 1 : 0);
    if (p.rowFromFragY >= 0) {
        float rows[2];
        device_.RowFromFragY(rows);
        glUniform2fv(p.rowFromFragY, 1, rows);
    }
    for (const UniformBinding& b : p.uniforms) {
        if (b.registers >= 0) {
            UploadRegisters(b);
            continue;
        }
        const std::vector<float>& v =
            b.param >= 0 ? values_[static_cast<size_t>(b.param)] : b.fixedValue;
        UploadUniform(b.location, b.type, b.count, v.data());
    }
}

void GlEffect::ApplyConstant(const core::FxConstantState& c) {
    std::vector<float> regs;
    if (c.param >= 0) {
        const EffectParam& p = code_->params[static_cast<size_t>(c.param)];
        core::FxShape shape;
        shape.cls = p.paramClass;
        shape.rows = p.rows;
        shape.columns = p.columns;
        shape.elements = p.elements;
        regs = core::FxConstantRegisters(c, shape, p.rowMajor, values_[static_cast<size_t>(c.param)]);
    } else {
        regs = core::FxConstantRegisters(c, core::FxShape(), false, {});
    }
    int file = c.file == 'f' ? 0 : c.file == 'i' ? 1 : 2;
    std::vector<float>& to = registers_[c.vertex ? 0 : 1][file];
    size_t at = static_cast<size_t>(c.first) * (file == 2 ? 1 : 4);
    for (size_t i = 0; i < regs.size() && at + i < to.size(); ++i) to[at + i] = regs[i];
}

void GlEffect::UploadRegisters(const UniformBinding& b) {
    auto Float = [this, &b](uint32_t type) {
        uint32_t bits = device_.GetTextureStageState(static_cast<uint32_t>(b.stageIndex), type);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    };
    switch (b.registers) {
        case hlsl::RegisterUniform::FloatConstants:
        case hlsl::RegisterUniform::IntConstants:
        case hlsl::RegisterUniform::BoolConstants: {
            const std::vector<float>& r = registers_[b.vertex ? 0 : 1][b.registers];
            size_t width = b.registers == hlsl::RegisterUniform::BoolConstants ? 1 : 4;
            GLint count = std::min<GLint>(b.count, static_cast<GLint>(r.size() / width));
            UploadUniform(b.location, b.type, count, r.data());
            break;
        }
        case hlsl::RegisterUniform::BumpMatrix:
            // D3DTSS_BUMPENVMAT00, 01, 10, 11.
            glUniform4f(b.location, Float(7), Float(8), Float(9), Float(10));
            break;
        case hlsl::RegisterUniform::BumpLuminance:
            // D3DTSS_BUMPENVLSCALE, BUMPENVLOFFSET.
            glUniform2f(b.location, Float(22), Float(23));
            break;
        default: break;
    }
}

const float* GlEffect::StateValues(const EffectState& s, size_t& count) const {
    const std::vector<float>& all = values_[static_cast<size_t>(s.param)];
    size_t at = std::min(s.offset, all.size());
    count = all.size() - at;
    return all.data() + at;
}

namespace {

// An int parameter's value as the DWORD D3DX hands to a state: its 32 bits (a D3DCOLOR, a
// count). Values are kept as floats, in which 32-bit ints with up to 24 significant bits, such
// as colours of alpha 0x80 or 0xFF, are exact.
uint32_t DwordOfInt(float f) {
    if (!(f > -2147483648.0f)) return 0x80000000u;
    if (f >= 4294967296.0f) return 0xFFFFFFFFu;
    if (f >= 2147483648.0f) return static_cast<uint32_t>(static_cast<int64_t>(f));
    return static_cast<uint32_t>(static_cast<int32_t>(f));
}

}  // namespace

uint32_t GlEffect::DynamicValue(const EffectState& s, float vec[4]) const {
    size_t n = 0;
    const float* v = StateValues(s, n);
    for (size_t i = 0; i < 4; ++i) vec[i] = i < n ? v[i] : 0.0f;
    float f = n ? v[0] : 0.0f;
    HlslBase base = code_->params[static_cast<size_t>(s.param)].base;
    bool integer = base == HlslBase::Int || base == HlslBase::Bool;
    switch (s.kind) {
        case StateValueKind::Float: {
            uint32_t bits;
            std::memcpy(&bits, &f, sizeof bits);
            return bits;
        }
        case StateValueKind::Color:
        case StateValueKind::Vector4: {
            if (integer && n == 1 && s.kind == StateValueKind::Color) {
                // An int is the colour itself.
                uint32_t c = DwordOfInt(f);
                for (int i = 0; i < 4; ++i)
                    vec[i] = static_cast<float>((c >> (i == 3 ? 24 : 16 - 8 * i)) & 0xFF) / 255.0f;
                return c;
            }
            auto Byte = [](float x) -> uint32_t {
                x = x < 0 ? 0 : x > 1 ? 1 : x;
                return static_cast<uint32_t>(x * 255.0f + 0.5f);
            };
            if (n < 4) vec[3] = 1.0f;
            return (Byte(vec[3]) << 24) | (Byte(vec[0]) << 16) | (Byte(vec[1]) << 8) | Byte(vec[2]);
        }
        case StateValueKind::Bool: return f != 0.0f ? 1u : 0u;
        default: return integer ? DwordOfInt(f) : f < 0 ? 0u : static_cast<uint32_t>(f);
    }
}

void GlEffect::ApplyState(const EffectState& s, int unitForSampler) {
    float vec[4] = {s.vec[0], s.vec[1], s.vec[2], s.vec[3]};
    uint32_t value = s.value;
    if (s.param >= 0 && s.target != StateTarget::Texture && s.target != StateTarget::SetSampler)
        value = DynamicValue(s, vec);
    switch (s.target) {
        case StateTarget::Render: device_.SetRenderState(s.id, value); break;
        case StateTarget::Sampler:
            device_.SetSamplerState(unitForSampler >= 0 ? static_cast<uint32_t>(unitForSampler)
                                                        : s.index,
                                    s.id, value);
            break;
        case StateTarget::TextureStage: device_.SetTextureStageState(s.index, s.id, value); break;
        case StateTarget::Texture: {
            IDirect3DBaseTexture9* tex = s.param >= 0 ? textures_[static_cast<size_t>(s.param)] : nullptr;
            device_.SetTexture(s.index, tex && textureOf_ ? textureOf_(tex) : nullptr);
            break;
        }
        case StateTarget::SetSampler: {
            const EffectParam& sp = code_->params[static_cast<size_t>(s.param)];
            for (const EffectState& st : sp.samplerStates) ApplyState(st, static_cast<int>(s.index));
            IDirect3DBaseTexture9* tex =
                sp.textureParam >= 0 ? textures_[static_cast<size_t>(sp.textureParam)] : nullptr;
            if (sp.textureParam >= 0)
                device_.SetTexture(s.index, tex && textureOf_ ? textureOf_(tex) : nullptr);
            break;
        }
        case StateTarget::Light: {
            Light l = device_.GetLight(s.index);
            float f;
            std::memcpy(&f, &value, sizeof f);
            switch (s.id) {
                case 0: l.type = value; break;
                case 1: std::memcpy(l.diffuse, vec, sizeof l.diffuse); break;
                case 2: std::memcpy(l.specular, vec, sizeof l.specular); break;
                case 3: std::memcpy(l.ambient, vec, sizeof l.ambient); break;
                case 4: std::memcpy(l.position, vec, sizeof l.position); break;
                case 5: std::memcpy(l.direction, vec, sizeof l.direction); break;
                case 6: l.range = f; break;
                case 7: l.falloff = f; break;
                case 8: l.attenuation0 = f; break;
                case 9: l.attenuation1 = f; break;
                case 10: l.attenuation2 = f; break;
                case 11: l.theta = f; break;
                case 12: l.phi = f; break;
                default: break;
            }
            device_.SetLight(s.index, l);
            break;
        }
        case StateTarget::LightEnable: device_.LightEnable(s.index, value != 0); break;
        case StateTarget::Transform: {
            float m[16];
            if (s.param >= 0) {
                size_t n = 0;
                const float* v = StateValues(s, n);
                for (size_t i = 0; i < 16; ++i) m[i] = i < n ? v[i] : 0.0f;
            } else {
                std::memcpy(m, s.matrix, sizeof m);
            }
            device_.SetTransform(s.id, m);
            break;
        }
        case StateTarget::Material: {
            Material m = device_.GetMaterial();
            float* field = s.id == 0 ? m.diffuse : s.id == 1 ? m.ambient
                         : s.id == 2 ? m.specular : s.id == 3 ? m.emissive : nullptr;
            if (field) {
                for (int i = 0; i < 4; ++i) field[i] = vec[i];
            } else {
                std::memcpy(&m.power, &value, sizeof m.power);
            }
            device_.SetMaterial(m);
            break;
        }
        default: break;
    }
}

void GlEffect::SaveState() {
    savedRender_.clear();
    savedSampler_.clear();
    savedTexture_.clear();
    savedStage_.clear();
    savedTransform_.clear();
    savedMaterialValid_ = false;
    savedLightsValid_ = false;
    savedProgram_ = device_.GetProgramOverride();
    auto SaveRender = [&](uint32_t state) {
        for (const SavedRender& r : savedRender_)
            if (r.state == state) return;
        savedRender_.push_back({state, device_.GetRenderState(state)});
    };
    auto SaveSampler = [&](uint32_t unit, uint32_t type) {
        for (const SavedSampler& s : savedSampler_)
            if (s.unit == unit && s.type == type) return;
        savedSampler_.push_back({unit, type, device_.GetSamplerState(unit, type)});
    };
    auto SaveTexture = [&](uint32_t unit) {
        for (const SavedTexture& t : savedTexture_)
            if (t.unit == unit) return;
        savedTexture_.push_back({unit, device_.GetTexture(unit)});
    };
    const EffectTechnique& t = code_->techniques[static_cast<size_t>(technique_)];
    for (const EffectPass& pass : t.passes) {
        for (const EffectState& s : pass.states) {
            if (s.target == StateTarget::Render) SaveRender(s.id);
            if (s.target == StateTarget::Sampler) SaveSampler(s.index, s.id);
            if (s.target == StateTarget::Texture) SaveTexture(s.index);
            if (s.target == StateTarget::SetSampler) {
                const EffectParam& sp = code_->params[static_cast<size_t>(s.param)];
                for (const EffectState& st : sp.samplerStates) SaveSampler(s.index, st.id);
                if (sp.textureParam >= 0) SaveTexture(s.index);
            }
            if (s.target == StateTarget::TextureStage) {
                bool seen = false;
                for (const SavedSampler& t : savedStage_)
                    seen = seen || (t.unit == s.index && t.type == s.id);
                if (!seen)
                    savedStage_.push_back({s.index, s.id, device_.GetTextureStageState(s.index, s.id)});
            }
            if ((s.target == StateTarget::Light || s.target == StateTarget::LightEnable) &&
                !savedLightsValid_) {
                for (uint32_t i = 0; i < 8; ++i) {
                    savedLights_[i] = device_.GetLight(i);
                    savedLightOn_[i] = device_.GetLightEnable(i);
                }
                savedLightsValid_ = true;
            }
            if (s.target == StateTarget::Transform) {
                bool seen = false;
                for (const SavedTransform& t : savedTransform_) seen = seen || t.kind == s.id;
                if (!seen) {
                    SavedTransform t;
                    t.kind = s.id;
                    device_.GetTransform(s.id, t.m);
                    savedTransform_.push_back(t);
                }
            }
            if (s.target == StateTarget::Material && !savedMaterialValid_) {
                savedMaterial_ = device_.GetMaterial();
                savedMaterialValid_ = true;
            }
        }
        for (const EffectPass::Sampler& sp : pass.samplers) {
            const EffectParam& s = code_->params[static_cast<size_t>(sp.param)];
            for (const EffectState& st : s.samplerStates) SaveSampler(sp.reg, st.id);
            if (s.textureParam >= 0) SaveTexture(sp.reg);
        }
    }
}

void GlEffect::RestoreState() {
    device_.SetProgramOverride(savedProgram_);
    for (const SavedRender& r : savedRender_) device_.SetRenderState(r.state, r.value);
    for (const SavedSampler& s : savedSampler_) device_.SetSamplerState(s.unit, s.type, s.value);
    for (const SavedTexture& t : savedTexture_) device_.SetTexture(t.unit, t.texture);
    for (const SavedSampler& t : savedStage_) device_.SetTextureStageState(t.unit, t.type, t.value);
    for (const SavedTransform& t : savedTransform_) device_.SetTransform(t.kind, t.m);
    if (savedMaterialValid_) device_.SetMaterial(savedMaterial_);
    if (savedLightsValid_)
        for (uint32_t i = 0; i < 8; ++i) {
            device_.SetLight(i, savedLights_[i]);
            device_.LightEnable(i, savedLightOn_[i]);
        }
}

}  // namespace sdlgl
