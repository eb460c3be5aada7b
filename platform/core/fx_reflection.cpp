#include "platform/core/fx_reflection.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/core/fxfile_values.h"

namespace core {
namespace {

bool Numeric(D3DXPARAMETER_TYPE t) { return t == D3DXPT_BOOL || t == D3DXPT_INT || t == D3DXPT_FLOAT; }

// An annotation's shape from its type as written: "float", "float3", "int2x2".
FxShape AnnotationShape(const FxAnnotation& a) {
    FxShape s;
    s.cls = Numeric(FxParameterType(a.type)) ? FxClass::Scalar : FxClass::Object;
    s.elements = a.elements;
    size_t d = a.type.find_first_of("123456789");
    if (s.cls == FxClass::Object || d == std::string::npos) return s;
    s.columns = a.type[d] - '0';
    s.cls = FxClass::Vector;
    if (d + 2 < a.type.size() && a.type[d + 1] == 'x') {
        s.rows = s.columns;
        s.columns = a.type[d + 2] - '0';
        s.cls = FxClass::Matrix;
    }
    return s;
}

// The numbers of a value as written: "1.5", "{1, 2, 3}", "float3(1, 2, 3)", "true".
std::vector<float> Numbers(const std::string& text) {
    std::vector<float> out;
    const char* p = text.c_str();
    while (*p) {
        if (std::isdigit(static_cast<unsigned char>(*p)) || ((*p == '-' || *p == '.') && p[1])) {
            bool partOfName = p > text.c_str() && (std::isalnum(static_cast<unsigned char>(p[-1])) || p[-1] == '_');
            char* end = nullptr;
            float v = std::strtof(p, &end);
            if (end != p && !partOfName) {
                out.push_back(v);
                p = end;
                while (*p == 'f' || *p == 'F' || *p == 'h' || *p == 'H') ++p;
                continue;
            }
        }
        if (!std::strncmp(p, "true", 4)) out.push_back(1.0f);
        if (!std::strncmp(p, "false", 5)) out.push_back(0.0f);
        ++p;
    }
    return out;
}

}  // namespace

D3DXPARAMETER_TYPE FxParameterType(const std::string& written) {
    static const std::pair<const char*, D3DXPARAMETER_TYPE> kTypes[] = {
        {"string", D3DXPT_STRING},           {"texture1d", D3DXPT_TEXTURE1D},
        {"texture2d", D3DXPT_TEXTURE2D},     {"texture3d", D3DXPT_TEXTURE3D},
        {"texturecube", D3DXPT_TEXTURECUBE}, {"texture", D3DXPT_TEXTURE},
        {"sampler1d", D3DXPT_SAMPLER1D},     {"sampler2d", D3DXPT_SAMPLER2D},
        {"sampler3d", D3DXPT_SAMPLER3D},     {"samplercube", D3DXPT_SAMPLERCUBE},
        {"sampler", D3DXPT_SAMPLER},         {"vertexshader", D3DXPT_VERTEXSHADER},
        {"pixelshader", D3DXPT_PIXELSHADER},
    };
    std::string t = written;
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& k : kTypes)
        if (t.compare(0, std::strlen(k.first), k.first) == 0) return k.second;
    switch (FxNumericBase(written)) {
        case FxBase::Bool: return D3DXPT_BOOL;
        case FxBase::Int: return D3DXPT_INT;
        case FxBase::Float: return D3DXPT_FLOAT;
        default: return D3DXPT_VOID;
    }
}

FxReflection::FxReflection(std::shared_ptr<const FxFile> fx) : fx_(std::move(fx)) {
    if (!fx_) fx_ = std::make_shared<const FxFile>();
}

HRESULT FxReflection::GetDesc(D3DXEFFECT_DESC* d) const {
    if (!d) return D3DERR_INVALIDCALL;
    d->Creator = "meshes effect reader";
    d->Parameters = static_cast<UINT>(fx_->params.size());
    d->Techniques = static_cast<UINT>(fx_->techniques.size());
    d->Functions = 0;
    return D3D_OK;
}

// The array parameter whose element `h` names ("LightDir[2]"), or null.
static const FxParameter* ArrayOf(const FxFile& fx, D3DXHANDLE h) {
    const char* open = h ? std::strrchr(h, '[') : nullptr;
    if (!open || open == h) return nullptr;
    char* end = nullptr;
    unsigned long k = std::strtoul(open + 1, &end, 10);
    if (end == open + 1 || std::strcmp(end, "]") != 0) return nullptr;
    for (const FxParameter& p : fx.params)
        if (p.name.size() == size_t(open - h) && p.name.compare(0, p.name.size(), h, p.name.size()) == 0)
            return k < static_cast<unsigned long>(p.elements) ? &p : nullptr;
    return nullptr;
}

HRESULT FxReflection::GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* d) const {
    if (!d) return D3DERR_INVALIDCALL;
    *d = D3DXPARAMETER_DESC();
    const FxParameter* p = Param(h);
    const FxParameter* array = p ? nullptr : ArrayOf(*fx_, h);
    if (array) p = array;
    if (p) {
        d->Name = p->name.c_str();
        d->Semantic = p->semantic.empty() ? nullptr : p->semantic.c_str();
        d->Type = FxParameterType(p->type);
        static const D3DXPARAMETER_CLASS kClass[] = {D3DXPC_SCALAR, D3DXPC_VECTOR, D3DXPC_MATRIX_COLUMNS,
                                                     D3DXPC_OBJECT, D3DXPC_STRUCT};
        d->Class = kClass[static_cast<int>(p->paramClass)];
        if (d->Class == D3DXPC_MATRIX_COLUMNS && p->rowMajor) d->Class = D3DXPC_MATRIX_ROWS;
        d->Rows = static_cast<UINT>(p->rows);
        d->Columns = static_cast<UINT>(p->columns);
        d->Elements = array ? 0 : static_cast<UINT>(p->elements);   // an element: one of its type
        d->Annotations = array ? 0 : static_cast<UINT>(p->annotations.size());
        UINT each = Numeric(d->Type) ? d->Rows * d->Columns * 4 : 4;
        d->Bytes = each * (d->Elements ? d->Elements : 1);
        return D3D_OK;
    }
    if (const FxAnnotation* a = Annotation(h)) {
        FxShape s = AnnotationShape(*a);
        d->Name = a->name.c_str();
        d->Type = FxParameterType(a->type);
        d->Class = s.cls == FxClass::Object   ? D3DXPC_OBJECT
                   : s.cls == FxClass::Vector ? D3DXPC_VECTOR
                   : s.cls == FxClass::Matrix ? D3DXPC_MATRIX_COLUMNS
                                              : D3DXPC_SCALAR;
        d->Rows = static_cast<UINT>(s.rows);
        d->Columns = static_cast<UINT>(s.columns);
        d->Elements = static_cast<UINT>(a->elements);
        d->Flags = 4;   // D3DX_PARAMETER_ANNOTATION
        d->Bytes = Numeric(d->Type) ? static_cast<UINT>(s.Floats() * 4) : 4 * (a->elements ? a->elements : 1);
        return D3D_OK;
    }
    return D3DERR_INVALIDCALL;
}

HRESULT FxReflection::GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* d) const {
    const FxTechnique* t = Technique(h);
    if (!t || !d) return D3DERR_INVALIDCALL;
    d->Name = t->name.c_str();
    d->Passes = static_cast<UINT>(t->passes.size());
    d->Annotations = static_cast<UINT>(t->annotations.size());
    return D3D_OK;
}

HRESULT FxReflection::GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* d) const {
    size_t t = 0, p = 0;
    if (!d || !Pass(h, t, p)) return D3DERR_INVALIDCALL;
    const FxPass& pass = fx_->techniques[t].passes[p];
    d->Name = pass.name.c_str();
    d->Annotations = static_cast<UINT>(pass.annotations.size());
    d->pVertexShaderFunction = nullptr;
    d->pPixelShaderFunction = nullptr;
    return D3D_OK;
}

D3DXHANDLE FxReflection::GetParameter(D3DXHANDLE h, UINT i) const {
    return !h && i < fx_->params.size() ? fx_->params[i].name.c_str() : nullptr;
}

D3DXHANDLE FxReflection::GetParameterByName(D3DXHANDLE h, LPCSTR name) const {
    const FxParameter* p = h || !name ? nullptr : Param(name);
    return p ? p->name.c_str() : nullptr;
}

D3DXHANDLE FxReflection::GetTechnique(UINT i) const {
    return i < fx_->techniques.size() ? fx_->techniques[i].name.c_str() : nullptr;
}

D3DXHANDLE FxReflection::GetTechniqueByName(LPCSTR name) const {
    for (const FxTechnique& t : fx_->techniques)
        if (name && t.name == name) return t.name.c_str();
    return nullptr;
}

D3DXHANDLE FxReflection::GetPass(D3DXHANDLE h, UINT i) const {
    const FxTechnique* t = Technique(h);
    return t && i < t->passes.size() ? t->passes[i].name.c_str() : nullptr;
}

// The annotations of a parameter, technique or pass.
static const std::vector<FxAnnotation>* AnnotationsOf(const FxReflection& r, D3DXHANDLE h) {
    size_t t = 0, p = 0;
    if (const FxParameter* param = r.Param(h)) return &param->annotations;
    if (const FxTechnique* tech = r.Technique(h)) return &tech->annotations;
    if (r.Pass(h, t, p)) return &r.File().techniques[t].passes[p].annotations;
    return nullptr;
}

D3DXHANDLE FxReflection::GetAnnotation(D3DXHANDLE h, UINT i) const {
    const std::vector<FxAnnotation>* list = AnnotationsOf(*this, h);
    return list && i < list->size() ? (*list)[i].name.c_str() : nullptr;
}

D3DXHANDLE FxReflection::GetAnnotationByName(D3DXHANDLE h, LPCSTR name) const {
    const std::vector<FxAnnotation>* list = AnnotationsOf(*this, h);
    for (size_t i = 0; list && name && i < list->size(); ++i)
        if ((*list)[i].name == name) return (*list)[i].name.c_str();
    return nullptr;
}

HRESULT FxReflection::GetString(D3DXHANDLE h, LPCSTR* out) const {
    const std::string* text = nullptr;
    if (const FxParameter* p = Param(h)) {
        if (FxParameterType(p->type) == D3DXPT_STRING && !p->elements) text = &p->initializerText;
    } else if (const FxAnnotation* a = Annotation(h)) {
        if (FxParameterType(a->type) == D3DXPT_STRING && !a->elements) text = &a->value;
    }
    if (!text || !out) return D3DERR_INVALIDCALL;
    *out = text->c_str();
    return D3D_OK;
}

HRESULT FxReflection::GetInitialValue(D3DXHANDLE h, LPVOID data, UINT bytes) const {
    FxShape s;
    std::vector<float> values;
    D3DXPARAMETER_TYPE type = D3DXPT_VOID;
    if (const FxParameter* p = Param(h)) {
        type = FxParameterType(p->type);
        s.cls = p->paramClass;
        s.rows = p->rows;
        s.columns = p->columns;
        s.elements = p->elements;
        values = p->initialValue;
    } else if (const FxAnnotation* a = Annotation(h)) {
        type = FxParameterType(a->type);
        s = AnnotationShape(*a);
        values = Numbers(a->value);
    }
    if (!Numeric(type) || !s.Numeric()) return D3DERR_INVALIDCALL;
    values.resize(s.Floats(), 0.0f);
    bool integer = type != D3DXPT_FLOAT;
    return FxGetRaw(s, integer, values.data(), data, bytes) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT FxReflection::FindNextValidTechnique(D3DXHANDLE h, D3DXHANDLE* out) const {
    if (!out) return D3DERR_INVALIDCALL;
    size_t next = 0;
    if (h) {
        const FxTechnique* t = Technique(h);
        next = t ? static_cast<size_t>(t - fx_->techniques.data()) + 1 : fx_->techniques.size();
    }
    *out = next < fx_->techniques.size() ? fx_->techniques[next].name.c_str() : nullptr;
    return *out ? D3D_OK : S_FALSE;
}

const FxParameter* FxReflection::Param(D3DXHANDLE h) const {
    if (!h) return nullptr;
    for (const FxParameter& p : fx_->params)
        if (h == p.name.c_str()) return &p;
    if (Technique(h) || Annotation(h)) return nullptr;
    size_t t = 0, q = 0;
    if (Pass(h, t, q)) return nullptr;
    for (const FxParameter& p : fx_->params)
        if (p.name == h) return &p;
    return nullptr;
}

const FxTechnique* FxReflection::Technique(D3DXHANDLE h) const {
    if (!h) return nullptr;
    for (const FxTechnique& t : fx_->techniques)
        if (h == t.name.c_str()) return &t;
    for (const FxParameter& p : fx_->params)
        if (h == p.name.c_str()) return nullptr;
    for (const FxTechnique& t : fx_->techniques)
        if (t.name == h) return &t;
    return nullptr;
}

bool FxReflection::Pass(D3DXHANDLE h, size_t& t, size_t& p) const {
    for (t = 0; h && t < fx_->techniques.size(); ++t)
        for (p = 0; p < fx_->techniques[t].passes.size(); ++p)
            if (h == fx_->techniques[t].passes[p].name.c_str()) return true;
    return false;
}

const FxAnnotation* FxReflection::Annotation(D3DXHANDLE h) const {
    auto In = [h](const std::vector<FxAnnotation>& list) -> const FxAnnotation* {
        for (const FxAnnotation& a : list)
            if (h == a.name.c_str()) return &a;
        return nullptr;
    };
    const FxAnnotation* a = nullptr;
    for (const FxParameter& p : fx_->params)
        if (!a) a = In(p.annotations);
    for (const FxTechnique& t : fx_->techniques) {
        if (!a) a = In(t.annotations);
        for (const FxPass& p : t.passes)
            if (!a) a = In(p.annotations);
    }
    return a;
}

}  // namespace core
