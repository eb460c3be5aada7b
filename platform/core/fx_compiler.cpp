#include "platform/core/fx_compiler.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "platform/core/file_bytes.h"
#include "platform/core/fxfile_values.h"

namespace core {
namespace {

const DWORD kEndToken = 0x0000FFFF;
const DWORD kCtab = 0x42415443;   // "CTAB"
const DWORD kSamplerSet = 3;      // D3DXRS_SAMPLER
// Walking a function given without its size stops here.
const size_t kMaxTokens = size_t(1) << 20;

std::string Lower(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool Starts(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

class TextBuffer : public ID3DXBuffer {
public:
    explicit TextBuffer(const std::string& text) : bytes_(text.begin(), text.end()) { bytes_.push_back('\0'); }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG n = --refs_;
        if (!n) delete this;
        return n;
    }
    LPVOID GetBufferPointer() override { return bytes_.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(bytes_.size()); }

private:
    std::atomic<ULONG> refs_{1};
    std::vector<char> bytes_;
};

D3DXPARAMETER_TYPE TypeOf(const std::string& written) {
    static const std::pair<const char*, D3DXPARAMETER_TYPE> kTypes[] = {
        {"string", D3DXPT_STRING},           {"texture1d", D3DXPT_TEXTURE1D},
        {"texture2d", D3DXPT_TEXTURE2D},     {"texture3d", D3DXPT_TEXTURE3D},
        {"texturecube", D3DXPT_TEXTURECUBE}, {"texture", D3DXPT_TEXTURE},
        {"sampler1d", D3DXPT_SAMPLER1D},     {"sampler2d", D3DXPT_SAMPLER2D},
        {"sampler3d", D3DXPT_SAMPLER3D},     {"samplercube", D3DXPT_SAMPLERCUBE},
        {"sampler", D3DXPT_SAMPLER},         {"vertexshader", D3DXPT_VERTEXSHADER},
        {"pixelshader", D3DXPT_PIXELSHADER}, {"bool", D3DXPT_BOOL},
        {"int", D3DXPT_INT},                 {"uint", D3DXPT_INT},
        {"dword", D3DXPT_INT},               {"float", D3DXPT_FLOAT},
        {"half", D3DXPT_FLOAT},              {"double", D3DXPT_FLOAT},
    };
    std::string t = Lower(written);
    for (const auto& k : kTypes)
        if (Starts(t, k.first)) return k.second;
    return D3DXPT_VOID;
}

bool Numeric(D3DXPARAMETER_TYPE t) { return t == D3DXPT_BOOL || t == D3DXPT_INT || t == D3DXPT_FLOAT; }

// An annotation's shape from its type as written: "float", "float3", "int2x2".
FxShape AnnotationShape(const FxAnnotation& a) {
    FxShape s;
    s.cls = Numeric(TypeOf(a.type)) ? FxClass::Scalar : FxClass::Object;
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

class EffectCompiler : public ID3DXEffectCompiler {
public:
    EffectCompiler(FxFile fx, const std::vector<std::vector<FxPassSamplers>>& samplers)
        : fx_(std::move(fx)) {
        for (size_t t = 0; t < fx_.techniques.size(); ++t) {
            functions_.emplace_back();
            for (size_t p = 0; p < fx_.techniques[t].passes.size(); ++p) {
                FxPassSamplers s;
                if (t < samplers.size() && p < samplers[t].size()) s = samplers[t][p];
                std::string vs, ps;
                PassProfiles(fx_.techniques[t].passes[p], vs, ps);
                functions_.back().push_back({FxShaderFunction(vs, s.vs), FxShaderFunction(ps, s.ps)});
            }
        }
    }

    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG n = --refs_;
        if (!n) delete this;
        return n;
    }

    HRESULT GetDesc(D3DXEFFECT_DESC* d) override {
        if (!d) return D3DERR_INVALIDCALL;
        d->Creator = "meshes effect reader";
        d->Parameters = static_cast<UINT>(fx_.params.size());
        d->Techniques = static_cast<UINT>(fx_.techniques.size());
        d->Functions = 0;
        return D3D_OK;
    }

    HRESULT GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* d) override {
        if (!d) return D3DERR_INVALIDCALL;
        *d = D3DXPARAMETER_DESC();
        if (const FxParameter* p = Param(h)) {
            d->Name = p->name.c_str();
            d->Semantic = p->semantic.empty() ? nullptr : p->semantic.c_str();
            d->Type = TypeOf(p->type);
            static const D3DXPARAMETER_CLASS kClass[] = {D3DXPC_SCALAR, D3DXPC_VECTOR, D3DXPC_MATRIX_COLUMNS,
                                                         D3DXPC_OBJECT, D3DXPC_STRUCT};
            d->Class = kClass[static_cast<int>(p->paramClass)];
            if (d->Class == D3DXPC_MATRIX_COLUMNS && p->rowMajor) d->Class = D3DXPC_MATRIX_ROWS;
            d->Rows = static_cast<UINT>(p->rows);
            d->Columns = static_cast<UINT>(p->columns);
            d->Elements = static_cast<UINT>(p->elements);
            d->Annotations = static_cast<UINT>(p->annotations.size());
            UINT each = Numeric(d->Type) ? d->Rows * d->Columns * 4 : 4;
            d->Bytes = each * (d->Elements ? d->Elements : 1);
            return D3D_OK;
        }
        if (const FxAnnotation* a = Annotation(h)) {
            FxShape s = AnnotationShape(*a);
            d->Name = a->name.c_str();
            d->Type = TypeOf(a->type);
            d->Class = s.cls == FxClass::Object   ? D3DXPC_OBJECT
                       : s.cls == FxClass::Vector ? D3DXPC_VECTOR
                       : s.cls == FxClass::Matrix ? D3DXPC_MATRIX_COLUMNS
                                                  : D3DXPC_SCALAR;
            d->Rows = static_cast<UINT>(s.rows);
            d->Columns = static_cast<UINT>(s.columns);
            d->Flags = 4;   // D3DX_PARAMETER_ANNOTATION
            d->Bytes = Numeric(d->Type) ? static_cast<UINT>(s.Floats() * 4) : 4;
            return D3D_OK;
        }
        return D3DERR_INVALIDCALL;
    }

    HRESULT GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* d) override {
        const FxTechnique* t = Technique(h);
        if (!t || !d) return D3DERR_INVALIDCALL;
        d->Name = t->name.c_str();
        d->Passes = static_cast<UINT>(t->passes.size());
        d->Annotations = static_cast<UINT>(t->annotations.size());
        return D3D_OK;
    }

    HRESULT GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* d) override {
        size_t t = 0, p = 0;
        if (!d || !Pass(h, t, p)) return D3DERR_INVALIDCALL;
        const FxPass& pass = fx_.techniques[t].passes[p];
        const auto& f = functions_[t][p];
        d->Name = pass.name.c_str();
        d->Annotations = static_cast<UINT>(pass.annotations.size());
        d->pVertexShaderFunction = f[0].empty() ? nullptr : f[0].data();
        d->pPixelShaderFunction = f[1].empty() ? nullptr : f[1].data();
        return D3D_OK;
    }

    D3DXHANDLE GetParameter(D3DXHANDLE h, UINT i) override {
        return !h && i < fx_.params.size() ? fx_.params[i].name.c_str() : nullptr;
    }
    D3DXHANDLE GetParameterByName(D3DXHANDLE h, LPCSTR name) override {
        const FxParameter* p = h || !name ? nullptr : Param(name);
        return p ? p->name.c_str() : nullptr;
    }
    D3DXHANDLE GetParameterElement(D3DXHANDLE h, UINT i) override {
        return h ? nullptr : GetParameter(nullptr, i);
    }
    D3DXHANDLE GetTechnique(UINT i) override {
        return i < fx_.techniques.size() ? fx_.techniques[i].name.c_str() : nullptr;
    }
    D3DXHANDLE GetPass(D3DXHANDLE h, UINT i) override {
        const FxTechnique* t = Technique(h);
        return t && i < t->passes.size() ? t->passes[i].name.c_str() : nullptr;
    }
    D3DXHANDLE GetAnnotation(D3DXHANDLE h, UINT i) override {
        const std::vector<FxAnnotation>* list = nullptr;
        size_t t = 0, p = 0;
        if (const FxParameter* param = Param(h)) list = &param->annotations;
        else if (const FxTechnique* tech = Technique(h)) list = &tech->annotations;
        else if (Pass(h, t, p)) list = &fx_.techniques[t].passes[p].annotations;
        return list && i < list->size() ? (*list)[i].name.c_str() : nullptr;
    }

    HRESULT GetString(D3DXHANDLE h, LPCSTR* out) override {
        const std::string* text = nullptr;
        if (const FxParameter* p = Param(h)) {
            if (TypeOf(p->type) == D3DXPT_STRING && !p->elements) text = &p->initializerText;
        } else if (const FxAnnotation* a = Annotation(h)) {
            if (TypeOf(a->type) == D3DXPT_STRING) text = &a->value;
        }
        if (!text || !out) return D3DERR_INVALIDCALL;
        *out = text->c_str();
        return D3D_OK;
    }

    // Numeric parameters and annotations, as the file initialises them.
    HRESULT GetValue(D3DXHANDLE h, LPVOID data, UINT bytes) override {
        FxShape s;
        std::vector<float> values;
        D3DXPARAMETER_TYPE type = D3DXPT_VOID;
        if (const FxParameter* p = Param(h)) {
            type = TypeOf(p->type);
            s.cls = p->paramClass;
            s.rows = p->rows;
            s.columns = p->columns;
            s.elements = p->elements;
            values = p->initialValue;
        } else if (const FxAnnotation* a = Annotation(h)) {
            type = TypeOf(a->type);
            s = AnnotationShape(*a);
            values = Numbers(a->value);
        }
        if (!Numeric(type) || !s.Numeric()) return D3DERR_INVALIDCALL;
        values.resize(s.Floats(), 0.0f);
        bool integer = type != D3DXPT_FLOAT;
        return FxGetRaw(s, integer, values.data(), data, bytes) ? D3D_OK : D3DERR_INVALIDCALL;
    }

    bool PassStates(D3DXHANDLE h, std::vector<std::string>& out) const {
        size_t t = 0, p = 0;
        if (!Pass(h, t, p)) return false;
        for (const FxState& s : fx_.techniques[t].passes[p].states) {
            std::string n = Lower(s.name);
            if (n == "vertexshader" || n == "pixelshader") continue;
            out.push_back(s.name + (s.index >= 0 ? "[" + std::to_string(s.index) + "]" : "") + " = " + s.value);
        }
        return true;
    }

    // The compiler reflects the file; its values are not set.
    HRESULT SetFloat(D3DXHANDLE, FLOAT) override { return D3DERR_INVALIDCALL; }
    HRESULT SetVector(D3DXHANDLE, const D3DXVECTOR4*) override { return D3DERR_INVALIDCALL; }
    HRESULT SetMatrix(D3DXHANDLE, const D3DXMATRIX*) override { return D3DERR_INVALIDCALL; }

private:
    ~EffectCompiler() override = default;

    // The profiles of the pass's compiled shaders; "" for a stage without one.
    void PassProfiles(const FxPass& pass, std::string& vs, std::string& ps) const {
        for (const FxState& st : pass.states) {
            std::string n = Lower(st.name);
            if (n != "vertexshader" && n != "pixelshader") continue;
            FxState s;
            std::string why;
            if (ResolveShaderState(fx_, st, s, why) && s.isCompile)
                (n == "vertexshader" ? vs : ps) = Lower(s.profile);
        }
    }

    // A handle is one of the name pointers handed out, or a name.
    const FxParameter* Param(D3DXHANDLE h) const {
        if (!h) return nullptr;
        for (const FxParameter& p : fx_.params)
            if (h == p.name.c_str()) return &p;
        if (Technique(h) || Annotation(h)) return nullptr;
        size_t t = 0, q = 0;
        if (Pass(h, t, q)) return nullptr;
        for (const FxParameter& p : fx_.params)
            if (p.name == h) return &p;
        return nullptr;
    }
    const FxTechnique* Technique(D3DXHANDLE h) const {
        if (!h) return nullptr;
        for (const FxTechnique& t : fx_.techniques)
            if (h == t.name.c_str()) return &t;
        for (const FxParameter& p : fx_.params)
            if (h == p.name.c_str()) return nullptr;
        for (const FxTechnique& t : fx_.techniques)
            if (t.name == h) return &t;
        return nullptr;
    }
    bool Pass(D3DXHANDLE h, size_t& t, size_t& p) const {
        for (t = 0; h && t < fx_.techniques.size(); ++t)
            for (p = 0; p < fx_.techniques[t].passes.size(); ++p)
                if (h == fx_.techniques[t].passes[p].name.c_str()) return true;
        return false;
    }
    const FxAnnotation* Annotation(D3DXHANDLE h) const {
        auto In = [h](const std::vector<FxAnnotation>& list) -> const FxAnnotation* {
            for (const FxAnnotation& a : list)
                if (h == a.name.c_str()) return &a;
            return nullptr;
        };
        const FxAnnotation* a = nullptr;
        for (const FxParameter& p : fx_.params)
            if (!a) a = In(p.annotations);
        for (const FxTechnique& t : fx_.techniques) {
            if (!a) a = In(t.annotations);
            for (const FxPass& p : t.passes)
                if (!a) a = In(p.annotations);
        }
        return a;
    }

    std::atomic<ULONG> refs_{1};
    FxFile fx_;
    std::vector<std::vector<std::array<std::vector<DWORD>, 2>>> functions_;
};

// The caller's ID3DXInclude behind the preprocessor: the data of every file it opened is
// closed once the preprocessor is done.
class IncludeReader {
public:
    explicit IncludeReader(ID3DXInclude* include) : include_(include) {}
    ~IncludeReader() {
        for (LPCVOID d : all_) include_->Close(d);
    }
    bool Open(const std::string& written, bool system, const std::string& parent, std::string& path,
              std::string& text) {
        auto it = opened_.find(parent);
        LPCVOID parentData = it == opened_.end() ? nullptr : it->second;
        LPCVOID data = nullptr;
        UINT bytes = 0;
        if (FAILED(include_->Open(system ? D3DXINC_SYSTEM : D3DXINC_LOCAL, written.c_str(), parentData,
                                  &data, &bytes)) ||
            (!data && bytes))
            return false;
        // Messages and #pragma once know the file by the name as written.
        path = written;
        opened_[path] = data;
        all_.push_back(data);
        text.assign(static_cast<const char*>(data), bytes);
        return true;
    }

private:
    ID3DXInclude* include_;
    std::map<std::string, LPCVOID> opened_;   // the data last opened under each name
    std::vector<LPCVOID> all_;                 // everything opened, closed at the end
};

}  // namespace

bool FxPassStates(ID3DXEffectCompiler* compiler, D3DXHANDLE hPass, std::vector<std::string>& states) {
    states.clear();
    const EffectCompiler* ours = dynamic_cast<const EffectCompiler*>(compiler);
    return ours && ours->PassStates(hPass, states);
}

std::vector<DWORD> FxShaderFunction(const std::string& profile, const FxStageSamplers& samplers) {
    std::string p = Lower(profile);
    if (p.size() < 6 || p[2] != '_' || (p[0] != 'v' && p[0] != 'p') || p[1] != 's' ||
        !std::isdigit(static_cast<unsigned char>(p[3])) || p[4] != '_')
        return {};
    DWORD major = static_cast<DWORD>(p[3] - '0');
    DWORD minor = std::isdigit(static_cast<unsigned char>(p[5])) ? static_cast<DWORD>(p[5] - '0') : 0;
    DWORD version = (p[0] == 'v' ? 0xFFFE0000u : 0xFFFF0000u) | major << 8 | minor;
    // The constant table: header, one constant and one type record per sampler, then the
    // strings, each offset from the table's start.
    const DWORD header = 28, info = 20, type = 16;
    size_t n = samplers.size();
    std::vector<uint8_t> table(header + n * (info + type));
    auto Put32 = [&table](size_t at, DWORD v) { std::memcpy(&table[at], &v, 4); };
    auto Put16 = [&table](size_t at, DWORD v) {
        uint16_t w = static_cast<uint16_t>(v);
        std::memcpy(&table[at], &w, 2);
    };
    auto String = [&table](const std::string& s) {
        DWORD at = static_cast<DWORD>(table.size());
        table.insert(table.end(), s.begin(), s.end());
        table.push_back(0);
        return at;
    };
    Put32(0, header);
    Put32(4, String("meshes effect reader"));
    Put32(8, version);
    Put32(12, static_cast<DWORD>(n));
    Put32(16, header);
    Put32(24, String(p));
    for (size_t i = 0; i < n; ++i) {
        size_t c = header + i * info, t = header + n * info + i * type;
        Put32(c, String(samplers[i].first));
        Put16(c + 4, kSamplerSet);
        Put16(c + 6, static_cast<DWORD>(samplers[i].second));
        Put16(c + 8, 1);
        Put32(c + 12, static_cast<DWORD>(t));
        Put16(t, D3DXPC_OBJECT);
        Put16(t + 2, D3DXPT_SAMPLER2D);
        Put16(t + 4, 1);
        Put16(t + 6, 1);
    }
    while (table.size() % 4) table.push_back(0);
    std::vector<DWORD> out;
    DWORD words = static_cast<DWORD>(table.size() / 4 + 1);
    out.push_back(version);
    out.push_back(0xFFFE | words << 16);
    out.push_back(kCtab);
    size_t at = out.size();
    out.resize(at + table.size() / 4);
    std::memcpy(&out[at], table.data(), table.size());
    out.push_back(kEndToken);
    return out;
}

HRESULT CreateEffectCompiler(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                             const FxCompileFn& compile, LPD3DXEFFECTCOMPILER* ppCompiler,
                             LPD3DXBUFFER* ppParseErrors) {
    if (ppCompiler) *ppCompiler = nullptr;
    if (ppParseErrors) *ppParseErrors = nullptr;
    if (!pSrcFile || !ppCompiler) return D3DERR_INVALIDCALL;
    std::vector<std::pair<std::string, std::string>> defines;
    for (const D3DXMACRO* m = pDefines; m && m->Name; ++m)
        defines.emplace_back(m->Name, m->Definition ? m->Definition : "");
    std::string log;
    HRESULT hr = D3D_OK;
    std::vector<uint8_t> bytes;
    FxPreprocessed pre;
    FxFile fx;
    std::vector<std::vector<FxPassSamplers>> samplers;
    if (!ReadFileBytes(pSrcFile, bytes)) {
        log = std::string(pSrcFile) + ": error: cannot open the effect file\n";
        hr = D3DERR_NOTFOUND;
    } else {
        std::string text(bytes.begin(), bytes.end()), err;
        bool pre_ok;
        if (pInclude) {
            IncludeReader reader(pInclude);
            FxOpenInclude open = [&reader](const std::string& w, bool sys, const std::string& parent,
                                           std::string& path, std::string& t) {
                return reader.Open(w, sys, parent, path, t);
            };
            pre_ok = PreprocessFx(text, pSrcFile, defines, open, pre, err);
        } else {
            pre_ok = PreprocessFx(text, pSrcFile, defines, FxReadIncludeFile, pre, err);
        }
        if (!pre_ok) {
            log = err + "\n";
        } else if (!ParseFx(pre.text, fx, err)) {
            int line = err.compare(0, 5, "line ") == 0 ? std::atoi(err.c_str() + 5) : 0;
            size_t colon = err.find(": ");
            std::string msg = line > 0 && colon != std::string::npos ? err.substr(colon + 2) : err;
            log = (line > 0 ? FxWhere(pre, pSrcFile, line) : std::string(pSrcFile)) + ": error: " + msg + "\n";
        } else if (compile(pre, fx, pSrcFile, samplers, log)) {
            *ppCompiler = new EffectCompiler(std::move(fx), samplers);
        }
        if (!*ppCompiler) hr = D3DXERR_INVALIDDATA;
    }
    log = FxD3dxMessages(log);
    if (ppParseErrors && !log.empty()) *ppParseErrors = new TextBuffer(log);
    return hr;
}

}  // namespace core

DWORD WINAPI D3DXGetShaderVersion(const DWORD* pFunction) { return pFunction ? pFunction[0] : 0; }

HRESULT WINAPI D3DXGetShaderSamplers(const DWORD* pFunction, LPCSTR* ppSamplers, UINT* pCount) {
    UINT count = 0;
    if (!pFunction) return D3DERR_INVALIDCALL;
    for (size_t i = 1; i < core::kMaxTokens && pFunction[i] != core::kEndToken;) {
        DWORD token = pFunction[i];
        if ((token & 0xFFFF) != 0xFFFE) {
            ++i;
            continue;
        }
        DWORD words = token >> 16;
        if (words >= 8 && pFunction[i + 1] == core::kCtab) {
            const uint8_t* table = reinterpret_cast<const uint8_t*>(pFunction + i + 2);
            size_t size = (words - 1) * 4;
            auto Get32 = [&](size_t at) {
                DWORD v = 0;
                if (at + 4 <= size) std::memcpy(&v, table + at, 4);
                return v;
            };
            auto Get16 = [&](size_t at) {
                uint16_t v = 0;
                if (at + 2 <= size) std::memcpy(&v, table + at, 2);
                return static_cast<DWORD>(v);
            };
            DWORD n = Get32(12), infos = Get32(16);
            for (DWORD c = 0; c < n && infos + c * 20 + 20 <= size; ++c) {
                size_t at = infos + c * 20;
                if (Get16(at + 4) != core::kSamplerSet) continue;
                DWORD reg = Get16(at + 6), name = Get32(at);
                if (reg >= 16 || name >= size || !std::memchr(table + name, 0, size - name)) continue;
                if (ppSamplers) {
                    for (UINT k = count; k < reg; ++k) ppSamplers[k] = nullptr;
                    ppSamplers[reg] = reinterpret_cast<LPCSTR>(table + name);
                }
                if (reg + 1 > count) count = reg + 1;
            }
        }
        i += words + 1;
    }
    if (pCount) *pCount = count;
    return D3D_OK;
}
