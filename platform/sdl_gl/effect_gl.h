// ID3DXEffect over the OpenGL device: parameter values by name, techniques and passes.
// BeginPass makes the pass's program the device's, uploads this effect's values (so effects
// sharing compiled programs keep their own constants) and applies the pass's states;
// Begin with flags 0 saves every state the technique's passes change and End restores it.
// Shader constants set inside a pass reach the program at once; textures and states that
// read parameters follow at CommitChanges. Shader assembly stages read the constant registers
// the passes' shader constant states set, kept per effect from one pass to the next. Pixel sampler register N is device stage N, vertex
// sampler register N stage 257 + N (D3DVERTEXTEXTURESAMPLER0 + N).
// Handles are names, "name[i]" naming one element of an array parameter.
// Not done: struct parameters.
#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/core/fx_reflection.h"
#include "platform/core/fxfile_values.h"

#include "platform/d3dx9.h"
#include "platform/sdl_gl/effect_library.h"
#include "platform/sdl_gl/gl_device.h"

namespace sdlgl {

class GlEffect : public ID3DXEffect {
public:
    GlEffect(GlDevice& device, std::shared_ptr<const EffectCode> code,
             EffectLibrary::TextureOf textureOf, IUnknown* owner);

    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;

    // Reflection, from the effect file as parsed.
    HRESULT GetDesc(D3DXEFFECT_DESC* d) override { return reflection_.GetDesc(d); }
    HRESULT GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* d) override {
        return reflection_.GetParameterDesc(h, d);
    }
    HRESULT GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* d) override {
        return reflection_.GetTechniqueDesc(h, d);
    }
    HRESULT GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* d) override { return reflection_.GetPassDesc(h, d); }
    D3DXHANDLE GetParameter(D3DXHANDLE h, UINT i) override { return reflection_.GetParameter(h, i); }
    D3DXHANDLE GetTechnique(UINT i) override { return reflection_.GetTechnique(i); }
    D3DXHANDLE GetTechniqueByName(LPCSTR n) override { return reflection_.GetTechniqueByName(n); }
    D3DXHANDLE GetPass(D3DXHANDLE h, UINT i) override { return reflection_.GetPass(h, i); }
    D3DXHANDLE GetAnnotation(D3DXHANDLE h, UINT i) override { return reflection_.GetAnnotation(h, i); }
    D3DXHANDLE GetAnnotationByName(D3DXHANDLE h, LPCSTR n) override {
        return reflection_.GetAnnotationByName(h, n);
    }
    HRESULT GetString(D3DXHANDLE h, LPCSTR* out) override { return reflection_.GetString(h, out); }
    HRESULT FindNextValidTechnique(D3DXHANDLE h, D3DXHANDLE* out) override {
        return reflection_.FindNextValidTechnique(h, out);
    }

    D3DXHANDLE GetParameterByName(D3DXHANDLE hParameter, LPCSTR pName) override;
    D3DXHANDLE GetParameterElement(D3DXHANDLE hParameter, UINT Index) override;
    HRESULT SetValue(D3DXHANDLE hParameter, LPCVOID pData, UINT Bytes) override;
    HRESULT GetValue(D3DXHANDLE hParameter, LPVOID pData, UINT Bytes) override;
    HRESULT SetFloat(D3DXHANDLE hParameter, FLOAT f) override;
    HRESULT GetFloat(D3DXHANDLE hParameter, FLOAT* pf) override;
    HRESULT SetFloatArray(D3DXHANDLE hParameter, const FLOAT* pf, UINT Count) override;
    HRESULT GetFloatArray(D3DXHANDLE hParameter, FLOAT* pf, UINT Count) override;
    HRESULT SetVector(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) override;
    HRESULT GetVector(D3DXHANDLE hParameter, D3DXVECTOR4* pVector) override;
    HRESULT SetVectorArray(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector, UINT Count) override;
    HRESULT GetVectorArray(D3DXHANDLE hParameter, D3DXVECTOR4* pVector, UINT Count) override;
    HRESULT SetMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) override;
    HRESULT GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) override;
    HRESULT SetMatrixArray(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) override;
    HRESULT GetMatrixArray(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix, UINT Count) override;
    // Holds a reference to the texture while it is set. Null clears the parameter. Inside a
    // pass the device sees the new texture at CommitChanges, as with D3DX.
    HRESULT SetTexture(D3DXHANDLE hParameter, IDirect3DBaseTexture9* pTexture) override;

    HRESULT SetTechnique(D3DXHANDLE hTechnique) override;
    HRESULT Begin(UINT* pPasses, DWORD Flags) override;
    HRESULT BeginPass(UINT Pass) override;
    HRESULT CommitChanges() override;
    HRESULT EndPass() override;
    HRESULT End() override;

    // The current technique's name and a parameter's current values (tests, tools).
    const char* CurrentTechnique() const;
    bool GetValue(const char* name, std::vector<float>& values) const;

private:
    ~GlEffect() override;
    int Param(D3DXHANDLE name) const;
    // What a handle names: a parameter, or one element of it starting at float `offset`.
    struct Ref {
        int param = -1;
        size_t offset = 0;
        core::FxShape shape;
    };
    bool Resolve(D3DXHANDLE handle, Ref& ref) const;
    HRESULT SetArray(D3DXHANDLE h, core::FxArrayCall call, const float* in, UINT count);
    HRESULT GetArray(D3DXHANDLE h, core::FxArrayCall call, float* out, UINT count) const;
    // Stores values[0..n) into the parameter from float `offset` on (converted to its type)
    // and uploads it when the current pass reads it.
    void Store(int param, const float* values, size_t n, size_t offset = 0);
    // Uploads into the pass's plain program; its alpha-tested twin is brought up to date only
    // before a draw uses it (RefreshTwin, called by the device).
    void UploadPassValues(const EffectPass& pass);
    void UploadProgramValues(const PassProgram& p);
    static void RefreshTwin(const void* effect, const void* pass);
    void ApplyState(const EffectState& s, int unitForSampler);
    void ApplyConstant(const core::FxConstantState& c);
    void UploadRegisters(const UniformBinding& b);
    // The pass's states and sampler registers; with `changedOnly` those reading a parameter
    // set since the last time.
    void ApplyPass(const EffectPass& pass, bool changedOnly);
    // The current value of the parameter a state names, from the state's first float: `count`
    // floats (an element and those after it).
    const float* StateValues(const EffectState& s, size_t& count) const;
    uint32_t DynamicValue(const EffectState& s, float vec[4]) const;
    void SaveState();
    void RestoreState();

    std::atomic<ULONG> refs_{1};
    GlDevice& device_;
    std::shared_ptr<const EffectCode> code_;
    core::FxReflection reflection_;
    EffectLibrary::TextureOf textureOf_;
    IUnknown* owner_;

    std::vector<std::vector<float>> values_;
    std::vector<float> scratch_;   // a value being set, converted (kept to spare allocations)
    // Constant registers of [vertex, pixel] shaders: float c# and integer i# 4 values each,
    // boolean b# 1; zero until a shader constant state sets them.
    std::vector<float> registers_[2][3];
    std::vector<IDirect3DBaseTexture9*> textures_;
    std::vector<bool> changed_;   // per parameter: set since the pass last applied it
    std::set<std::string> elementHandles_;   // the "name[i]" texts handed out as handles
    int technique_ = 0;
    bool begun_ = false;
    bool saving_ = false;
    int pass_ = -1;
    bool twinStale_ = true;
    const EffectPass* twinFor_ = nullptr;   // the pass whose twin has the current values

    // State saved by Begin.
    struct SavedRender { uint32_t state, value; };
    struct SavedSampler { uint32_t unit, type, value; };
    struct SavedTexture { uint32_t unit; GlTexture* texture; };
    std::vector<SavedRender> savedRender_;
    std::vector<SavedSampler> savedSampler_;
    std::vector<SavedTexture> savedTexture_;
    std::vector<SavedSampler> savedStage_;   // texture stage states: unit = stage
    struct SavedTransform { uint32_t kind; float m[16]; };
    std::vector<SavedTransform> savedTransform_;
    bool savedLightsValid_ = false;
    Light savedLights_[8];
    bool savedLightOn_[8] = {};
    bool savedMaterialValid_ = false;
    Material savedMaterial_;
    GlDevice::ProgramOverride savedProgram_;
};

}  // namespace sdlgl
