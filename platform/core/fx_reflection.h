// The reflection of a parsed effect file as D3DX gives it, shared by the effect compiler and
// both backends' effects: descriptions of parameters, annotations, techniques and passes,
// handles by index or name, strings and initial values. A handle is one of the name pointers
// handed out here, or a name. Not kept: struct members, effect functions; pass shader
// functions are the caller's.
#pragma once

#include <memory>
#include <string>

#include "platform/core/fxfile.h"
#include "platform/d3dx9.h"

namespace core {

// D3DX's type of a declared type ("float4x4" is D3DXPT_FLOAT, "sampler2D" D3DXPT_SAMPLER2D);
// D3DXPT_VOID for none.
D3DXPARAMETER_TYPE FxParameterType(const std::string& written);

class FxReflection {
public:
    explicit FxReflection(std::shared_ptr<const FxFile> fx);

    const FxFile& File() const { return *fx_; }

    HRESULT GetDesc(D3DXEFFECT_DESC* d) const;
    // Parameters and annotations alike.
    HRESULT GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* d) const;
    HRESULT GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* d) const;
    // Name and annotations; the shader functions are left null.
    HRESULT GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* d) const;
    D3DXHANDLE GetParameter(D3DXHANDLE h, UINT i) const;   // top level only
    D3DXHANDLE GetParameterByName(D3DXHANDLE h, LPCSTR name) const;
    D3DXHANDLE GetTechnique(UINT i) const;
    D3DXHANDLE GetTechniqueByName(LPCSTR name) const;
    D3DXHANDLE GetPass(D3DXHANDLE h, UINT i) const;
    D3DXHANDLE GetAnnotation(D3DXHANDLE h, UINT i) const;
    // Names compare exactly, as D3DX's do.
    D3DXHANDLE GetAnnotationByName(D3DXHANDLE h, LPCSTR name) const;
    HRESULT GetString(D3DXHANDLE h, LPCSTR* out) const;
    // Numeric parameters and annotations as the file initialises them.
    HRESULT GetInitialValue(D3DXHANDLE h, LPVOID data, UINT bytes) const;
    // The first technique after h (null: from the first) that validates: every technique of a
    // created effect does, its shaders having compiled for profiles the device runs. S_FALSE
    // and null when none is left.
    HRESULT FindNextValidTechnique(D3DXHANDLE h, D3DXHANDLE* out) const;

    const FxParameter* Param(D3DXHANDLE h) const;
    const FxTechnique* Technique(D3DXHANDLE h) const;
    bool Pass(D3DXHANDLE h, size_t& technique, size_t& pass) const;
    const FxAnnotation* Annotation(D3DXHANDLE h) const;

private:
    std::shared_ptr<const FxFile> fx_;
};

}  // namespace core
