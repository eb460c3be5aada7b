#include "platform/core/fx_compiler.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "platform/core/file_bytes.h"
#include "platform/core/fx_reflection.h"
#include "platform/core/fxfile_values.h"
#include "platform/shader/asm_shader.h"

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

class EffectCompiler : public ID3DXEffectCompiler {
public:
    EffectCompiler(FxFile fx, const std::vector<std::vector<FxPassSamplers>>& samplers)
        : r_(std::make_shared<const FxFile>(std::move(fx))) {
        const FxFile& file = r_.File();
        for (size_t t = 0; t < file.techniques.size(); ++t) {
            functions_.emplace_back();
            for (size_t p = 0; p < file.techniques[t].passes.size(); ++p) {
                FxPassSamplers s;
                if (t < samplers.size() && p < samplers[t].size()) s = samplers[t][p];
                std::string vs, ps;
                PassProfiles(file.techniques[t].passes[p], vs, ps);
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

    HRESULT GetDesc(D3DXEFFECT_DESC* d) override { return r_.GetDesc(d); }
    HRESULT GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* d) override { return r_.GetParameterDesc(h, d); }
    HRESULT GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* d) override { return r_.GetTechniqueDesc(h, d); }

    HRESULT GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* d) override {
        size_t t = 0, p = 0;
        if (FAILED(r_.GetPassDesc(h, d)) || !r_.Pass(h, t, p)) return D3DERR_INVALIDCALL;
        const auto& f = functions_[t][p];
        d->pVertexShaderFunction = f[0].empty() ? nullptr : f[0].data();
        d->pPixelShaderFunction = f[1].empty() ? nullptr : f[1].data();
        return D3D_OK;
    }

    D3DXHANDLE GetParameter(D3DXHANDLE h, UINT i) override { return r_.GetParameter(h, i); }
    D3DXHANDLE GetParameterByName(D3DXHANDLE h, LPCSTR name) override { return r_.GetParameterByName(h, name); }
    D3DXHANDLE GetParameterElement(D3DXHANDLE h, UINT i) override {
        if (!h) return r_.GetParameter(nullptr, i);
        D3DXPARAMETER_DESC d;
        if (FAILED(r_.GetParameterDesc(h, &d)) || i >= d.Elements || !d.Name) return nullptr;
        return elements_.insert(std::string(d.Name) + "[" + std::to_string(i) + "]").first->c_str();
    }
    D3DXHANDLE GetTechnique(UINT i) override { return r_.GetTechnique(i); }
    D3DXHANDLE GetTechniqueByName(LPCSTR name) override { return r_.GetTechniqueByName(name); }
    D3DXHANDLE GetPass(D3DXHANDLE h, UINT i) override { return r_.GetPass(h, i); }
    D3DXHANDLE GetAnnotation(D3DXHANDLE h, UINT i) override { return r_.GetAnnotation(h, i); }
    D3DXHANDLE GetAnnotationByName(D3DXHANDLE h, LPCSTR name) override { return r_.GetAnnotationByName(h, name); }
    HRESULT GetString(D3DXHANDLE h, LPCSTR* out) override { return r_.GetString(h, out); }
    // Numeric parameters and annotations, as the file initialises them.
    HRESULT GetValue(D3DXHANDLE h, LPVOID data, UINT bytes) override { return r_.GetInitialValue(h, data, bytes); }

    bool PassStates(D3DXHANDLE h, std::vector<std::string>& out) const {
        size_t t = 0, p = 0;
        if (!r_.Pass(h, t, p)) return false;
        for (const FxState& s : r_.File().techniques[t].passes[p].states) {
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
            if (ResolveShaderState(r_.File(), st, s, why) && (s.isCompile || s.isAsm))
                (n == "vertexshader" ? vs : ps) =
                    s.isAsm ? hlsl::AssemblyProfile(s.assembly.text) : Lower(s.profile);
        }
    }

    std::atomic<ULONG> refs_{1};
    FxReflection r_;
    std::set<std::string> elements_;   // element handles ("name[2]") given out
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
    // Shader assembly's vs_2_x and ps_2_x are version 2.1.
    DWORD minor = std::isdigit(static_cast<unsigned char>(p[5])) ? static_cast<DWORD>(p[5] - '0')
                  : p[5] == 'x'                                 ? 1
                                                                : 0;
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

HRESULT FxPreprocessFile(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                         FxPreprocessed& pre, std::string& log) {
    std::vector<std::pair<std::string, std::string>> defines;
    for (const D3DXMACRO* m = pDefines; m && m->Name; ++m)
        defines.emplace_back(m->Name, m->Definition ? m->Definition : "");
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(pSrcFile, bytes)) {
        log = std::string(pSrcFile) + ": error: cannot open the effect file\n";
        return D3DERR_NOTFOUND;
    }
    std::string text(bytes.begin(), bytes.end()), err;
    bool ok;
    if (pInclude) {
        IncludeReader reader(pInclude);
        FxOpenInclude open = [&reader](const std::string& w, bool sys, const std::string& parent,
                                       std::string& path, std::string& t) {
            return reader.Open(w, sys, parent, path, t);
        };
        ok = PreprocessFx(text, pSrcFile, defines, open, pre, err);
    } else {
        ok = PreprocessFx(text, pSrcFile, defines, FxReadIncludeFile, pre, err);
    }
    if (ok) return D3D_OK;
    log = err + "\n";
    return D3DXERR_INVALIDDATA;
}

HRESULT CreateEffectCompiler(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                             const FxCompileFn& compile, LPD3DXEFFECTCOMPILER* ppCompiler,
                             LPD3DXBUFFER* ppParseErrors) {
    if (ppCompiler) *ppCompiler = nullptr;
    if (ppParseErrors) *ppParseErrors = nullptr;
    if (!pSrcFile || !ppCompiler) return D3DERR_INVALIDCALL;
    std::string log, err;
    FxPreprocessed pre;
    FxFile fx;
    std::vector<std::vector<FxPassSamplers>> samplers;
    HRESULT hr = FxPreprocessFile(pSrcFile, pDefines, pInclude, pre, log);
    if (SUCCEEDED(hr)) {
        if (!ParseFx(pre.text, fx, err)) {
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
