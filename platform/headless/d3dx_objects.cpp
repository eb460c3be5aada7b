// The recording D3DX objects: buffers, textures, meshes, effects and fonts, created from the
// real files through the core readers so that a missing or broken file fails where the real
// call would. Effects check their syntax, parameters and techniques, and compile their
// shaders as the OpenGL backend does, so that an effect failing there fails here; fonts
// measure with a fixed cell and draw nothing.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <strings.h>

#include "platform/core/fxfile.h"
#include "platform/core/fx_state_names.h"
#include "platform/core/fxfile_preprocess.h"
#include "platform/core/fxfile_values.h"
#include "platform/core/image.h"
#include "platform/core/load_cache.h"
#include "platform/core/xfile.h"
#include "platform/headless/headless_impl.h"
#include "platform/shader/asm_shader.h"
#include "platform/shader/hlsl_compiler.h"
#include "platform/core/fx_compiler.h"
#include "platform/core/fx_reflection.h"
#include "platform/core/fx_shader_constants.h"

namespace headless {
namespace {

class Buffer : public Counted<ID3DXBuffer> {
public:
    std::vector<uint8_t> bytes;
    LPVOID GetBufferPointer() override { return bytes.empty() ? nullptr : bytes.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(bytes.size()); }
};

Buffer* NewBuffer(size_t size) {
    Buffer* b = new Buffer;
    b->bytes.assign(size, 0);
    ID3DXBuffer* iface = b;
    Track(b, iface, "buffer");
    return b;
}

class Texture : public Counted<IDirect3DTexture9> {
public:
    TextureInfo info;
};

// What a texture file decodes to, as far as this backend keeps it.
struct TextureData {
    int width = 0, height = 0;
};

// A parsed .x file with the vertex format and subset sizes the loader derives from it; shared
// by every mesh loaded from the same unchanged file, and never changed once made.
struct MeshData {
    core::XMesh x;
    DWORD fvf = 0;
    std::vector<DWORD> subsetFaces;
};

core::LoadCache<const TextureData>& TextureCache() {
    static core::LoadCache<const TextureData>* cache = new core::LoadCache<const TextureData>;
    return *cache;
}

core::LoadCache<const MeshData>& MeshCache() {
    static core::LoadCache<const MeshData>* cache = new core::LoadCache<const MeshData>;
    return *cache;
}

class Mesh : public Counted<ID3DXMesh> {
public:
    RecDevice* device = nullptr;
    std::string file;
    std::shared_ptr<const MeshData> data;
    DWORD fvf = 0;
    std::vector<DWORD> subsetFaces;

    HRESULT DrawSubset(DWORD AttribId) override {
        HRESULT hr = D3D_OK;
        if (!device || !device->st.inScene) {
            hr = D3DERR_INVALIDCALL;
        } else {
            // As the real mesh does, drawing selects the mesh's vertex format and stream.
            device->SetFVF(fvf);
            device->st.streamSource = nullptr;
            device->st.streamOffset = 0;
            device->st.streamStride = FvfStride(fvf);
        }
        DWORD faces = (SUCCEEDED(hr) && AttribId < subsetFaces.size()) ? subsetFaces[AttribId] : 0;
        Record(name, "DrawSubset", {Dec(AttribId)}, HrText(hr) + " faces=" + Dec(faces));
        return hr;
    }
};

// ---- Effects ----

struct EffectParam {
    std::string name;
    core::FxClass cls = core::FxClass::Scalar;
    bool numeric = false;
    bool texture = false;
    bool integer = false;   // int or bool: 32-bit integers in SetValue's memory
    int rows = 1, columns = 1, elements = 0;
    std::vector<float> value;   // rows x columns row by row, per element
    core::FxShape Shape() const {
        core::FxShape s;
        s.cls = numeric ? cls : core::FxClass::Object;
        s.rows = rows;
        s.columns = columns;
        s.elements = elements;
        return s;
    }
};

bool NumericType(const std::string& type) { return core::FxNumericBase(type) != core::FxBase::None; }

// Render states an effect pass may assign, by their effect-file names.
struct StateName {
    const char* name;
    D3DRENDERSTATETYPE state;
};
const StateName kPassStates[] = {
    {"ZEnable", D3DRS_ZENABLE}, {"FillMode", D3DRS_FILLMODE}, {"ShadeMode", D3DRS_SHADEMODE},
    {"ZWriteEnable", D3DRS_ZWRITEENABLE}, {"AlphaTestEnable", D3DRS_ALPHATESTENABLE},
    {"SrcBlend", D3DRS_SRCBLEND}, {"DestBlend", D3DRS_DESTBLEND}, {"CullMode", D3DRS_CULLMODE},
    {"ZFunc", D3DRS_ZFUNC}, {"AlphaRef", D3DRS_ALPHAREF}, {"AlphaFunc", D3DRS_ALPHAFUNC},
    {"AlphaBlendEnable", D3DRS_ALPHABLENDENABLE}, {"FogEnable", D3DRS_FOGENABLE},
    {"SpecularEnable", D3DRS_SPECULARENABLE}, {"StencilEnable", D3DRS_STENCILENABLE},
    {"Lighting", D3DRS_LIGHTING}, {"ColorVertex", D3DRS_COLORVERTEX},
    {"NormalizeNormals", D3DRS_NORMALIZENORMALS}, {"ColorWriteEnable", D3DRS_COLORWRITEENABLE},
    {"BlendOp", D3DRS_BLENDOP}, {"ScissorTestEnable", D3DRS_SCISSORTESTENABLE},
    {"MultiSampleAntialias", D3DRS_MULTISAMPLEANTIALIAS},
    {"AntialiasedLineEnable", D3DRS_ANTIALIASEDLINEENABLE},
    {"SeparateAlphaBlendEnable", D3DRS_SEPARATEALPHABLENDENABLE},
};

struct ValueName {
    const char* name;
    DWORD value;
};
const ValueName kStateValues[] = {
    {"TRUE", 1}, {"FALSE", 0}, {"Zero", D3DBLEND_ZERO}, {"One", D3DBLEND_ONE},
    {"SrcColor", D3DBLEND_SRCCOLOR}, {"InvSrcColor", D3DBLEND_INVSRCCOLOR},
    {"SrcAlpha", D3DBLEND_SRCALPHA}, {"InvSrcAlpha", D3DBLEND_INVSRCALPHA},
    {"DestAlpha", D3DBLEND_DESTALPHA}, {"InvDestAlpha", D3DBLEND_INVDESTALPHA},
    {"DestColor", D3DBLEND_DESTCOLOR}, {"InvDestColor", D3DBLEND_INVDESTCOLOR},
    {"SrcAlphaSat", D3DBLEND_SRCALPHASAT}, {"Never", D3DCMP_NEVER}, {"Less", D3DCMP_LESS},
    {"Equal", D3DCMP_EQUAL}, {"LessEqual", D3DCMP_LESSEQUAL}, {"Greater", D3DCMP_GREATER},
    {"NotEqual", D3DCMP_NOTEQUAL}, {"GreaterEqual", D3DCMP_GREATEREQUAL}, {"Always", D3DCMP_ALWAYS},
    {"None", D3DCULL_NONE}, {"CW", D3DCULL_CW}, {"CCW", D3DCULL_CCW}, {"Point", D3DFILL_POINT},
    {"Wireframe", D3DFILL_WIREFRAME}, {"Solid", D3DFILL_SOLID}, {"Flat", D3DSHADE_FLAT},
    {"Gouraud", D3DSHADE_GOURAUD}, {"Phong", D3DSHADE_PHONG}, {"Add", D3DBLENDOP_ADD},
    {"Subtract", D3DBLENDOP_SUBTRACT}, {"RevSubtract", D3DBLENDOP_REVSUBTRACT},
    {"Min", D3DBLENDOP_MIN}, {"Max", D3DBLENDOP_MAX}, {"UseW", D3DZB_USEW},
    {"Red", 1}, {"Green", 2}, {"Blue", 4}, {"Alpha", 8},
};

// A state value: a number, an enumeration name, or names joined by '|'. False when it is an
// expression the headless backend does not evaluate.
bool ParseStateValue(const std::string& text, DWORD& out) {
    out = 0;
    size_t start = 0;
    bool any = false;
    while (start <= text.size()) {
        size_t bar = text.find('|', start);
        if (bar == std::string::npos) bar = text.size();
        std::string word = text.substr(start, bar - start);
        word.erase(0, word.find_first_not_of(" \t"));
        word.erase(word.find_last_not_of(" \t") + 1);
        if (word.empty()) return false;
        char* end = nullptr;
        unsigned long n = std::strtoul(word.c_str(), &end, 0);
        if (end && *end == '\0') {
            out |= static_cast<DWORD>(n);
        } else {
            bool found = false;
            for (const ValueName& v : kStateValues)
                if (strcasecmp(v.name, word.c_str()) == 0) { out |= v.value; found = true; break; }
            if (!found) return false;
        }
        any = true;
        start = bar + 1;
    }
    return any;
}

// Compiles the shader of every pass's `VertexShader = compile ...` and `PixelShader = compile
// ...` (or `= asm { ... }`), each (profile, entry, arguments) once, and reads its shader
// constant states. Returns the compiler's messages, empty when all compile; `passes`, when
// given, receives the samplers each pass's stages read (assembly names none).
std::string CompileShaders(const core::FxFile& fx, const std::string& name,
                           std::vector<std::vector<core::FxPassSamplers>>* passes = nullptr) {
    std::string log;
    std::map<std::string, core::FxStageSamplers> seen;
    for (const core::FxTechnique& t : fx.techniques) {
        if (passes) passes->emplace_back();
        for (const core::FxPass& p : t.passes) {
            core::FxPassSamplers used;
            for (const core::FxState& state : p.states) {
                if (core::FxIsShaderConstantState(state.name)) {
                    core::FxConstantState c;
                    std::string why;
                    if (!core::FxReadShaderConstant(fx, state, c, why))
                        log += name + "(" + std::to_string(state.line) + "): error: " + why + "\n";
                    continue;
                }
                bool vertex = strcasecmp(state.name.c_str(), "VertexShader") == 0;
                if (!vertex && strcasecmp(state.name.c_str(), "PixelShader") != 0) continue;
                if (strcasecmp(state.value.c_str(), "NULL") == 0 || state.value == "0") continue;
                // Shader variables (`VertexShader = (vs);`) compile what they hold.
                core::FxState s;
                std::string why;
                if (!core::ResolveShaderState(fx, state, s, why)) {
                    log += name + "(" + std::to_string(state.line) + "): error: " + why + "\n";
                    continue;
                }
                if (!s.isCompile && !s.isAsm) continue;
                std::string profile = s.profile;
                for (char& c : profile)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                std::string key = s.isAsm ? "asm|" + std::to_string(s.assembly.line) + "|" + s.assembly.text
                                          : profile + "|" + s.entry + "|" + s.arguments;
                auto done = seen.find(key);
                if (done != seen.end()) {
                    (vertex ? used.vs : used.ps) = done->second;
                    continue;
                }
                core::FxStageSamplers& samplers = seen[key];
                if (s.isAsm) {
                    hlsl::HlslStage assembled;
                    std::string messages;
                    if (!hlsl::AssembleShader(s.assembly.text, s.assembly.line, s.assembly.column, fx.hlsl,
                                              name, assembled, messages))
                        core::FxAppendMessages(log, messages);
                    else if ((assembled.stage == hlsl::ShaderStage::Vertex) != vertex)
                        log += name + "(" + std::to_string(s.line) + "): error: profile '" +
                               hlsl::AssemblyProfile(s.assembly.text) + "' does not fit " + s.name + "\n";
                    continue;
                }
                hlsl::ShaderStage stage;
                if (!hlsl::ProfileStage(s.profile, stage) ||
                    (stage == hlsl::ShaderStage::Vertex) != vertex) {
                    log += name + "(" + std::to_string(s.line) + "): error: profile '" +
                           s.profile + "' does not fit " + s.name + "\n";
                    continue;
                }
                hlsl::HlslStage compiled;
                std::string messages, registers;
                if (!hlsl::CompileHlsl(fx.hlsl, name, s.line, s.entry, s.profile, s.arguments,
                                       compiled, messages)) {
                    core::FxAppendMessages(log, messages.empty() ? name + ": error: " + s.entry +
                                                                       " does not compile\n"
                                                                 : messages);
                    continue;
                }
                if (!hlsl::AssignSamplerRegisters(fx, compiled, registers)) {
                    core::FxAppendMessages(log, core::FxD3dxMessages(
                                                    name + "(" + std::to_string(s.line) +
                                                    "): error: " + s.entry + ": " + registers + "\n"));
                    continue;
                }
                for (const hlsl::HlslSampler& h : compiled.samplers)
                    if (h.used && h.reg >= 0) samplers.emplace_back(h.hlslName, h.reg);
                (vertex ? used.vs : used.ps) = samplers;
            }
            if (passes) passes->back().push_back(used);
        }
    }
    return log;
}

// The messages of CompileShaders, kept per file content as the OpenGL backend keeps its
// compiled effects: a level loading one effect file many times compiles it once. Files that
// #include others are kept per path too, as the included files are found next to them.
const std::string& ShaderMessages(const core::FxFile& fx, const core::FxPreprocessed& pre,
                                  const std::string& name) {
    static std::map<std::string, std::string> byContent;
    // The preprocessed text holds the included files too.
    std::string key = pre.includes.empty() ? pre.text : name + "\n" + pre.text;
    auto it = byContent.find(key);
    if (it == byContent.end()) it = byContent.emplace(key, CompileShaders(fx, name)).first;
    return it->second;
}

class Effect : public Counted<ID3DXEffect> {
public:
    RecDevice* device = nullptr;
    std::string file;
    std::vector<EffectParam> params;
    std::shared_ptr<const core::FxFile> fx;
    std::unique_ptr<core::FxReflection> reflection;
    int technique = -1;   // index into fx->techniques, -1 when the effect has none
    bool begun = false;
    bool saveState = false;
    int pass = -1;
    std::map<DWORD, DWORD> saved;   // render states as they were at Begin

    std::set<std::string> elementHandles;   // the "name[i]" texts handed out as handles
    std::map<std::string, IDirect3DBaseTexture9*> textures;   // set on texture parameters

    ~Effect() override {
        // Reset frees every object at once; only textures still live are released.
        for (auto& t : textures)
            if (t.second && Lookup(t.second)) t.second->Release();
    }

    // What a handle names: a parameter, or one element of an array from float `offset` on.
    EffectParam* Find(D3DXHANDLE h, core::FxShape& shape, size_t& offset) {
        std::string base;
        int element = -1;
        if (!core::FxSplitHandle(h, base, element)) return nullptr;
        for (EffectParam& p : params)
            if (p.name == base) return core::FxNarrow(p.Shape(), element, shape, offset) ? &p : nullptr;
        return nullptr;
    }

    void Store(EffectParam& p, const std::vector<float>& v, size_t offset) {
        for (size_t i = 0; i < v.size() && offset + i < p.value.size(); ++i)
            p.value[offset + i] = p.integer ? static_cast<float>(static_cast<int>(v[i])) : v[i];
    }

    // Reflection changes nothing, so it is not recorded: the trace keeps what draws.
    HRESULT GetDesc(D3DXEFFECT_DESC* d) override { return reflection->GetDesc(d); }
    HRESULT GetParameterDesc(D3DXHANDLE h, D3DXPARAMETER_DESC* d) override {
        return reflection->GetParameterDesc(h, d);
    }
    HRESULT GetTechniqueDesc(D3DXHANDLE h, D3DXTECHNIQUE_DESC* d) override {
        return reflection->GetTechniqueDesc(h, d);
    }
    HRESULT GetPassDesc(D3DXHANDLE h, D3DXPASS_DESC* d) override { return reflection->GetPassDesc(h, d); }
    D3DXHANDLE GetParameter(D3DXHANDLE h, UINT i) override { return reflection->GetParameter(h, i); }
    D3DXHANDLE GetTechnique(UINT i) override { return reflection->GetTechnique(i); }
    D3DXHANDLE GetTechniqueByName(LPCSTR n) override { return reflection->GetTechniqueByName(n); }
    D3DXHANDLE GetPass(D3DXHANDLE h, UINT i) override { return reflection->GetPass(h, i); }
    D3DXHANDLE GetAnnotation(D3DXHANDLE h, UINT i) override { return reflection->GetAnnotation(h, i); }
    D3DXHANDLE GetAnnotationByName(D3DXHANDLE h, LPCSTR n) override {
        return reflection->GetAnnotationByName(h, n);
    }
    HRESULT GetString(D3DXHANDLE h, LPCSTR* out) override { return reflection->GetString(h, out); }
    HRESULT FindNextValidTechnique(D3DXHANDLE h, D3DXHANDLE* out) override {
        return reflection->FindNextValidTechnique(h, out);
    }

    HRESULT SetFloat(D3DXHANDLE h, FLOAT f) override {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        bool ok = p && s.Numeric() && !s.elements && s.cls == core::FxClass::Scalar;
        if (ok) p->value[at] = f;
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "SetFloat", {Str(h), Flt(f)}, HrText(hr));
        return hr;
    }

    HRESULT SetVector(D3DXHANDLE h, const D3DXVECTOR4* v) override {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        bool ok = v && p && s.Numeric() && !s.elements &&
                  (s.cls == core::FxClass::Scalar || s.cls == core::FxClass::Vector);
        if (ok) {
            const float in[4] = {v->x, v->y, v->z, v->w};
            size_t n = std::min<size_t>(4, s.Floats());
            std::copy(in, in + n, p->value.begin() + static_cast<std::ptrdiff_t>(at));
        }
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "SetVector",
               {Str(h), v ? Flt(v->x) + " " + Flt(v->y) + " " + Flt(v->z) + " " + Flt(v->w) : "null"},
               HrText(hr));
        return hr;
    }

    HRESULT SetMatrix(D3DXHANDLE h, const D3DXMATRIX* m) override {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        bool ok = m && p && s.Numeric() && !s.elements && s.cls == core::FxClass::Matrix;
        if (ok) {
            for (int r = 0; r < s.rows && r < 4; ++r)
                for (int c = 0; c < s.columns && c < 4; ++c)
                    p->value[at + static_cast<size_t>(r * s.columns + c)] = m->m[r][c];
        }
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "SetMatrix", {Str(h), Mat(m)}, HrText(hr));
        return hr;
    }

    D3DXHANDLE GetParameterByName(D3DXHANDLE h, LPCSTR n) override {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = h || !n ? nullptr : Find(n, s, at);
        D3DXHANDLE out = nullptr;
        if (p) out = std::strchr(n, '[') ? elementHandles.insert(n).first->c_str() : p->name.c_str();
        Record(name, "GetParameterByName", {Str(h), Str(n)}, Str(out));
        return out;
    }

    D3DXHANDLE GetParameterElement(D3DXHANDLE h, UINT index) override {
        D3DXHANDLE out = nullptr;
        core::FxShape s;
        size_t at = 0;
        if (!h) {
            if (index < params.size()) out = params[index].name.c_str();
        } else if (EffectParam* p = Find(h, s, at)) {
            if (index < static_cast<UINT>(s.elements))
                out = elementHandles.insert(p->name + "[" + std::to_string(index) + "]").first->c_str();
        }
        Record(name, "GetParameterElement", {Str(h), Dec(index)}, Str(out));
        return out;
    }

    HRESULT SetValue(D3DXHANDLE h, LPCVOID data, UINT bytes) override {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        std::vector<float> v;
        bool ok = p && core::FxSetRaw(s, p->integer, data, bytes, v);
        if (ok) Store(*p, v, at);
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "SetValue", {Str(h), Dec(bytes)}, HrText(hr));
        return hr;
    }

    HRESULT GetValue(D3DXHANDLE h, LPVOID data, UINT bytes) override {
        // An annotation's value is reflection, not recorded.
        if (reflection->Annotation(h)) return reflection->GetInitialValue(h, data, bytes);
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        bool ok = p && core::FxGetRaw(s, p->integer, p->value.data() + at, data, bytes);
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "GetValue", {Str(h), Dec(bytes)}, HrText(hr));
        return hr;
    }

    HRESULT SetArray(const char* method, D3DXHANDLE h, core::FxArrayCall call, const float* in,
                     UINT count) {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        std::vector<float> v;
        bool ok = p && core::FxSetArray(call, s, in, count, v);
        if (ok) Store(*p, v, at);
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        std::string values;
        for (size_t i = 0; i < v.size(); ++i) values += (i ? " " : "") + Flt(v[i]);
        Record(name, method, {Str(h), Dec(count), values}, HrText(hr));
        return hr;
    }

    HRESULT GetArray(const char* method, D3DXHANDLE h, core::FxArrayCall call, float* out,
                     UINT count) {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        bool ok = p && core::FxGetArray(call, s, p->value.data() + at, count, out);
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, method, {Str(h), Dec(count)}, HrText(hr));
        return hr;
    }

    HRESULT GetFloat(D3DXHANDLE h, FLOAT* f) override {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        bool ok = f && p && s.Numeric() && !s.elements && s.rows * s.columns == 1;
        if (ok) *f = p->value[at];
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "GetFloat", {Str(h)}, HrText(hr));
        return hr;
    }
    HRESULT SetFloatArray(D3DXHANDLE h, const FLOAT* f, UINT n) override {
        return SetArray("SetFloatArray", h, core::FxArrayCall::Float, f, n);
    }
    HRESULT GetFloatArray(D3DXHANDLE h, FLOAT* f, UINT n) override {
        return GetArray("GetFloatArray", h, core::FxArrayCall::Float, f, n);
    }
    HRESULT GetVector(D3DXHANDLE h, D3DXVECTOR4* v) override {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        bool ok = v && p && s.Numeric() && !s.elements &&
                  (s.cls == core::FxClass::Scalar || s.cls == core::FxClass::Vector);
        if (ok) {
            float o[4] = {0, 0, 0, 0};
            for (int c = 0; c < s.columns && c < 4; ++c) o[c] = p->value[at + static_cast<size_t>(c)];
            *v = D3DXVECTOR4(o[0], o[1], o[2], o[3]);
        }
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "GetVector", {Str(h)}, HrText(hr));
        return hr;
    }
    HRESULT SetVectorArray(D3DXHANDLE h, const D3DXVECTOR4* v, UINT n) override {
        return SetArray("SetVectorArray", h, core::FxArrayCall::Vector, v ? &v->x : nullptr, n);
    }
    HRESULT GetVectorArray(D3DXHANDLE h, D3DXVECTOR4* v, UINT n) override {
        return GetArray("GetVectorArray", h, core::FxArrayCall::Vector, v ? &v->x : nullptr, n);
    }
    HRESULT GetMatrix(D3DXHANDLE h, D3DXMATRIX* m) override {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        core::FxShape one = s;
        one.elements = 1;
        bool ok = m && p && !s.elements &&
                  core::FxGetArray(core::FxArrayCall::Matrix, one, p->value.data() + at, 1, &m->m[0][0]);
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "GetMatrix", {Str(h)}, HrText(hr));
        return hr;
    }
    HRESULT SetMatrixArray(D3DXHANDLE h, const D3DXMATRIX* m, UINT n) override {
        return SetArray("SetMatrixArray", h, core::FxArrayCall::Matrix, m ? &m->m[0][0] : nullptr, n);
    }
    HRESULT GetMatrixArray(D3DXHANDLE h, D3DXMATRIX* m, UINT n) override {
        return GetArray("GetMatrixArray", h, core::FxArrayCall::Matrix, m ? &m->m[0][0] : nullptr, n);
    }

    // Holds a reference to the texture while it is set; null clears the parameter.
    HRESULT SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* t) override {
        core::FxShape s;
        size_t at = 0;
        EffectParam* p = Find(h, s, at);
        bool ok = p && p->texture;
        if (ok) {
            if (t) t->AddRef();
            IDirect3DBaseTexture9*& slot = textures[p->name];
            if (slot) slot->Release();
            slot = t;
        }
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "SetTexture", {Str(h), Obj(t)}, HrText(hr));
        return hr;
    }

    HRESULT SetTechnique(D3DXHANDLE h) override {
        HRESULT hr = D3DERR_INVALIDCALL;
        for (size_t i = 0; h && i < fx->techniques.size(); ++i) {
            if (fx->techniques[i].name == h) {
                technique = static_cast<int>(i);
                hr = D3D_OK;
                break;
            }
        }
        Record(name, "SetTechnique", {Str(h)}, HrText(hr));
        return hr;
    }

    HRESULT Begin(UINT* pPasses, DWORD Flags) override {
        HRESULT hr = (begun || technique < 0) ? D3DERR_INVALIDCALL : D3D_OK;
        UINT passes = 0;
        if (SUCCEEDED(hr)) {
            passes = static_cast<UINT>(fx->techniques[technique].passes.size());
            begun = true;
            saveState = !(Flags & D3DXFX_DONOTSAVESTATE);
            saved = device->st.renderStates;
            if (pPasses) *pPasses = passes;
        }
        Record(name, "Begin", {Hex(Flags)}, HrText(hr) + " passes=" + Dec(passes));
        return hr;
    }

    HRESULT BeginPass(UINT Pass) override {
        bool ok = begun && pass < 0 && Pass < fx->techniques[technique].passes.size();
        HRESULT hr = ok ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "BeginPass", {Dec(Pass)}, HrText(hr));
        if (ok) {
            pass = static_cast<int>(Pass);
            ApplyPassStates(fx->techniques[technique].passes[Pass]);
        }
        return hr;
    }

    HRESULT CommitChanges() override {
        // Pass states read no parameters here, so there is nothing to send again.
        Record(name, "CommitChanges", {}, HrText(D3D_OK));
        return D3D_OK;
    }

    HRESULT EndPass() override {
        HRESULT hr = pass >= 0 ? D3D_OK : D3DERR_INVALIDCALL;
        pass = -1;
        Record(name, "EndPass", {}, HrText(hr));
        return hr;
    }

    HRESULT End() override {
        HRESULT hr = begun ? D3D_OK : D3DERR_INVALIDCALL;
        Record(name, "End", {}, HrText(hr));
        if (begun && saveState) {
            // Put back every render state the passes changed.
            for (const auto& kv : saved) {
                auto now = device->st.renderStates.find(kv.first);
                if (now != device->st.renderStates.end() && now->second != kv.second)
                    device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(kv.first), kv.second);
            }
        }
        begun = false;
        pass = -1;
        return hr;
    }

    void ApplyPassStates(const core::FxPass& p) {
        for (const core::FxState& s : p.states) {
            for (const StateName& n : kPassStates) {
                DWORD value;
                if (strcasecmp(n.name, s.name.c_str()) == 0 && ParseStateValue(s.value, value))
                    device->SetRenderState(n.state, value);
            }
        }
    }
};

class Font : public Counted<ID3DXFont> {
public:
    FontInfo info;

    // Height of one line: the cell height asked for, or the character height plus a fifth for
    // the internal leading when it was asked for as a negative number; 16 for 0.
    INT LineHeight() const {
        if (info.height > 0) return info.height;
        if (info.height < 0) return static_cast<INT>(std::lround(-info.height * 1.2));
        return 16;
    }

    INT DrawTextA(ID3DXSprite* pSprite, LPCSTR pString, INT Count, LPRECT pRect, DWORD Format,
                  D3DCOLOR Color) override {
        INT height = 0;
        TextDraw d;
        if (pString) {
            size_t len = std::strlen(pString);
            if (Count >= 0 && static_cast<size_t>(Count) < len) len = static_cast<size_t>(Count);
            d.text.assign(pString, len);
            d.rect = pRect ? *pRect : RECT{0, 0, 0, 0};
            d.format = Format;
            d.colour = Color;
            size_t lines = 0, longest = 0, cur = 0;
            if (!d.text.empty()) {
                lines = 1;
                for (char c : d.text) {
                    if (c == '\n' && !(Format & DT_SINGLELINE)) {
                        ++lines;
                        cur = 0;
                    } else {
                        longest = std::max(longest, ++cur);
                    }
                }
            }
            height = static_cast<INT>(lines) * LineHeight();
            if (Format & DT_CALCRECT) {
                if (pRect) {
                    INT charWidth = info.width ? static_cast<INT>(info.width) : LineHeight() / 2;
                    pRect->right = pRect->left + static_cast<LONG>(longest) * charWidth;
                    pRect->bottom = pRect->top + height;
                }
            } else {
                info.draws.push_back(d);
                if (!S().keepEveryCall && info.draws.size() >= 2 * kKeptCalls)
                    info.draws.erase(info.draws.begin(),
                                     info.draws.end() - static_cast<std::ptrdiff_t>(kKeptCalls));
            }
        }
        Record(name, "DrawTextA",
               {pSprite ? "sprite" : "null", pString ? d.text : "null", Dec(Count),
                pRect ? Dec(d.rect.left) + "," + Dec(d.rect.top) + "," + Dec(d.rect.right) + "," + Dec(d.rect.bottom)
                      : "null",
                Hex(Format), Hex(Color)},
               Dec(height));
        return height;
    }
};

}  // namespace

// ---- Factories ----

HRESULT CreateTexture(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, LPDIRECT3DTEXTURE9* ppTexture) {
    std::vector<std::string> args = {Obj(pDevice), Str(pSrcFile)};
    HRESULT hr = D3D_OK;
    std::shared_ptr<const TextureData> data;
    if (ppTexture) *ppTexture = nullptr;
    if (!LookupAs<RecDevice>(pDevice) || !pSrcFile || !ppTexture) {
        hr = D3DERR_INVALIDCALL;
    } else if (TakeFailure(Kind::Texture)) {
        hr = E_OUTOFMEMORY;
    } else {
        core::LoadProbe probe;
        data = TextureCache().Find(pSrcFile, probe);
        core::Image image;
        std::string err;
        if (data) {
            // decoded before from the same file
        } else if ((!probe.haveBytes && !ReadFileBytes(pSrcFile, probe.bytes)) ||
                   !core::DecodeImage(probe.bytes.data(), probe.bytes.size(), image, err)) {
            hr = D3DXERR_INVALIDDATA;
        } else {
            probe.haveBytes = true;
            std::shared_ptr<TextureData> made(new TextureData);
            made->width = image.width;
            made->height = image.height;
            data = made;
            TextureCache().Put(probe, data);
        }
    }
    if (FAILED(hr)) {
        Record("d3dx", "D3DXCreateTextureFromFileA", args, HrText(hr));
        return hr;
    }
    Texture* t = new Texture;
    t->info.file = pSrcFile;
    t->info.width = data->width;
    t->info.height = data->height;
    IDirect3DTexture9* iface = t;
    Track(t, iface, "texture");
    *ppTexture = iface;
    Record("d3dx", "D3DXCreateTextureFromFileA", args, t->name);
    return D3D_OK;
}

HRESULT LoadMesh(LPCSTR pFilename, DWORD Options, LPDIRECT3DDEVICE9 pD3DDevice, LPD3DXBUFFER* ppAdjacency,
                 LPD3DXBUFFER* ppMaterials, LPD3DXBUFFER* ppEffectInstances, DWORD* pNumMaterials,
                 LPD3DXMESH* ppMesh) {
    std::vector<std::string> args = {Str(pFilename), Hex(Options), Obj(pD3DDevice)};
    HRESULT hr = D3D_OK;
    RecDevice* dev = LookupAs<RecDevice>(pD3DDevice);
    std::shared_ptr<const MeshData> data;
    if (ppMesh) *ppMesh = nullptr;
    if (ppMaterials) *ppMaterials = nullptr;
    if (ppAdjacency) *ppAdjacency = nullptr;
    if (ppEffectInstances) *ppEffectInstances = nullptr;
    if (!pFilename || !dev || !ppMesh) {
        hr = D3DERR_INVALIDCALL;
    } else if (TakeFailure(Kind::Mesh)) {
        hr = E_OUTOFMEMORY;
    } else {
        core::LoadProbe probe;
        data = MeshCache().Find(pFilename, probe);
        std::shared_ptr<MeshData> made(new MeshData);
        std::string err;
        if (data) {
            // parsed before from the same file
        } else if (!probe.haveBytes && !ReadFileBytes(pFilename, probe.bytes)) {
            hr = D3DXERR_INVALIDDATA;
        } else if (!core::ReadXFile(probe.bytes.data(), probe.bytes.size(), made->x, err)) {
            hr = E_FAIL;
        } else {
            probe.haveBytes = true;
            const core::XMesh& xm = made->x;
            made->fvf = D3DFVF_XYZ | (xm.hasNormals ? D3DFVF_NORMAL : 0) |
                        (xm.hasColors ? D3DFVF_DIFFUSE : 0) | (xm.hasTexCoords ? D3DFVF_TEX1 : 0);
            made->subsetFaces.assign(xm.materials.size(), 0);
            for (uint32_t a : xm.attributes)
                if (a < made->subsetFaces.size()) ++made->subsetFaces[a];
            data = made;
            MeshCache().Put(probe, data);
        }
        if (data && !core::MeshFitsIndices(data->x.vertices.size(), Options))
            hr = D3DERR_INVALIDCALL;
    }
    if (FAILED(hr)) {
        Record("d3dx", "D3DXLoadMeshFromXA", args, HrText(hr));
        return hr;
    }
    Mesh* m = new Mesh;
    m->device = dev;
    m->file = pFilename;
    m->fvf = data->fvf;
    m->subsetFaces = data->subsetFaces;
    m->data = data;
    ID3DXMesh* iface = m;
    Track(m, iface, "mesh");
    *ppMesh = iface;

    const std::vector<core::XMaterial>& mats = m->data->x.materials;
    if (ppMaterials) {
        // The materials, then their texture names, all in one buffer.
        size_t size = mats.size() * sizeof(D3DXMATERIAL);
        for (const core::XMaterial& x : mats)
            if (!x.textureFile.empty()) size += x.textureFile.size() + 1;
        Buffer* b = NewBuffer(size);
        D3DXMATERIAL* out = reinterpret_cast<D3DXMATERIAL*>(b->bytes.data());
        char* names = reinterpret_cast<char*>(b->bytes.data() + mats.size() * sizeof(D3DXMATERIAL));
        for (size_t i = 0; i < mats.size(); ++i) {
            const core::XMaterial& x = mats[i];
            D3DMATERIAL9& d = out[i].MatD3D;
            d.Diffuse = D3DCOLORVALUE{x.diffuse[0], x.diffuse[1], x.diffuse[2], x.diffuse[3]};
            d.Ambient = D3DCOLORVALUE{x.ambient[0], x.ambient[1], x.ambient[2], x.ambient[3]};
            d.Specular = D3DCOLORVALUE{x.specular[0], x.specular[1], x.specular[2], x.specular[3]};
            d.Emissive = D3DCOLORVALUE{x.emissive[0], x.emissive[1], x.emissive[2], x.emissive[3]};
            d.Power = x.power;
            out[i].pTextureFilename = nullptr;
            if (!x.textureFile.empty()) {
                std::memcpy(names, x.textureFile.c_str(), x.textureFile.size() + 1);
                out[i].pTextureFilename = names;
                names += x.textureFile.size() + 1;
            }
        }
        *ppMaterials = b;
    }
    if (pNumMaterials) *pNumMaterials = static_cast<DWORD>(mats.size());
    Record("d3dx", "D3DXLoadMeshFromXA", args,
           m->name + " materials=" + Dec(static_cast<long long>(mats.size())) +
               (ppMaterials ? " buffer=" + Obj(*ppMaterials) : std::string()));
    return D3D_OK;
}

HRESULT CreateEffect(LPDIRECT3DDEVICE9 pDevice, LPCSTR pSrcFile, DWORD Flags, LPD3DXEFFECT* ppEffect,
                     LPD3DXBUFFER* ppCompilationErrors) {
    std::vector<std::string> args = {Obj(pDevice), Str(pSrcFile), Hex(Flags)};
    HRESULT hr = D3D_OK;
    RecDevice* dev = LookupAs<RecDevice>(pDevice);
    std::vector<uint8_t> bytes;
    core::FxFile fx;
    core::FxPreprocessed pre;
    std::string err, text;   // err: a message to place at the file, text: messages in full
    if (ppEffect) *ppEffect = nullptr;
    if (ppCompilationErrors) *ppCompilationErrors = nullptr;
    if (!dev || !pSrcFile || !ppEffect) {
        hr = D3DERR_INVALIDCALL;
    } else if (TakeFailure(Kind::Effect)) {
        hr = E_OUTOFMEMORY;
    } else if (!ReadFileBytes(pSrcFile, bytes)) {
        hr = D3DXERR_INVALIDDATA;
        err = "cannot open file";
    } else if (!core::LoadFx(std::string(bytes.begin(), bytes.end()), pSrcFile, pre, fx, text)) {
        hr = D3DXERR_INVALIDDATA;   // text: "file(line): error: ..." where the file says it
    } else {
        // A name that is no effect state fails the effect, as with D3DX.
        text = core::UnknownFxStates(fx, pre, pSrcFile);
        if (text.empty()) text = ShaderMessages(fx, pre, pSrcFile);
        if (!text.empty()) hr = D3DXERR_INVALIDDATA;
    }
    if (FAILED(hr)) {
        if (!err.empty()) text = std::string(pSrcFile) + ": error: " + err;
        text = core::FxD3dxMessages(text);   // "file(line,col): error Xnnnn: text"
        // The messages go to the caller's buffer when it asks for them, to stderr otherwise,
        // as the window backend does.
        if (ppCompilationErrors && !text.empty()) {
            Buffer* b = NewBuffer(text.size() + 1);
            std::memcpy(b->bytes.data(), text.c_str(), text.size() + 1);
            *ppCompilationErrors = b;
        } else if (!text.empty()) {
            std::fputs(text.c_str(), stderr);
            if (text.back() != '\n') std::fputc('\n', stderr);
        }
        Record("d3dx", "D3DXCreateEffectFromFileA", args, HrText(hr));
        return hr;
    }
    Effect* e = new Effect;
    e->device = dev;
    e->file = pSrcFile;
    for (const core::FxParameter& p : fx.params) {
        EffectParam ep;
        ep.name = p.name;
        ep.cls = p.paramClass;
        ep.numeric = NumericType(p.type) && p.paramClass != core::FxClass::Object &&
                     p.paramClass != core::FxClass::Struct;
        ep.texture = core::FxParameterType(p.type) >= D3DXPT_TEXTURE &&
                     core::FxParameterType(p.type) <= D3DXPT_TEXTURECUBE && !p.elements;
        ep.rows = std::max(1, p.rows);
        ep.columns = std::max(1, p.columns);
        ep.elements = p.elements;
        ep.integer = p.type.compare(0, 4, "bool") == 0 || p.type.compare(0, 3, "int") == 0 ||
                     p.type.compare(0, 4, "uint") == 0 || p.type.compare(0, 5, "dword") == 0;
        ep.value.assign(ep.Shape().Floats(), 0.0f);
        if (p.hasInitializer)
            std::copy(p.initialValue.begin(),
                      p.initialValue.begin() +
                          static_cast<std::ptrdiff_t>(std::min(p.initialValue.size(), ep.value.size())),
                      ep.value.begin());
        e->params.push_back(std::move(ep));
    }
    e->fx = std::make_shared<const core::FxFile>(std::move(fx));
    e->reflection.reset(new core::FxReflection(e->fx));
    e->technique = e->fx->techniques.empty() ? -1 : 0;   // the first technique is current
    ID3DXEffect* iface = e;
    Track(e, iface, "effect");
    *ppEffect = iface;
    Record("d3dx", "D3DXCreateEffectFromFileA", args, e->name);
    return D3D_OK;
}

HRESULT CreateEffectCompiler(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                             LPD3DXEFFECTCOMPILER* ppCompiler, LPD3DXBUFFER* ppParseErrors) {
    // The checks of CreateEffect, without the cache: the caller's macros and includes may
    // change what the same text means.
    auto compile = [](const core::FxPreprocessed& pre, const core::FxFile& fx, const std::string& name,
                      std::vector<std::vector<core::FxPassSamplers>>& passes, std::string& log) {
        log = core::UnknownFxStates(fx, pre, name);
        if (log.empty()) log = CompileShaders(fx, name, &passes);
        return log.empty();
    };
    HRESULT hr = core::CreateEffectCompiler(pSrcFile, pDefines, pInclude, compile, ppCompiler, ppParseErrors);
    Record("d3dx", "D3DXCreateEffectCompilerFromFileA", {Str(pSrcFile)}, HrText(hr));
    return hr;
}

HRESULT MakeFont(LPDIRECT3DDEVICE9 pDevice, INT Height, UINT Width, UINT Weight, UINT MipLevels, BOOL Italic,
                 DWORD CharSet, DWORD OutputPrecision, DWORD Quality, DWORD PitchAndFamily, LPCSTR pFaceName,
                 LPD3DXFONT* ppFont) {
    std::vector<std::string> args = {Obj(pDevice), Dec(Height), Dec(Width), Dec(Weight), Dec(MipLevels),
                                     Dec(Italic), Dec(CharSet), Dec(OutputPrecision), Dec(Quality),
                                     Dec(PitchAndFamily), Str(pFaceName)};
    HRESULT hr = D3D_OK;
    if (ppFont) *ppFont = nullptr;
    if (!LookupAs<RecDevice>(pDevice) || !ppFont)
        hr = D3DERR_INVALIDCALL;
    else if (TakeFailure(Kind::Font))
        hr = E_OUTOFMEMORY;
    if (FAILED(hr)) {
        Record("d3dx", "D3DXCreateFontA", args, HrText(hr));
        return hr;
    }
    Font* f = new Font;
    f->info.face = pFaceName ? std::string(pFaceName).substr(0, 31) : std::string();   // 32 with the NUL
    f->info.height = Height;
    f->info.width = Width;
    f->info.weight = Weight;
    ID3DXFont* iface = f;
    Track(f, iface, "font");
    *ppFont = iface;
    Record("d3dx", "D3DXCreateFontA", args, f->name);
    return D3D_OK;
}

// ---- Test interface: objects ----

bool GetTextureInfo(IDirect3DBaseTexture9* texture, TextureInfo& out) {
    Texture* t = LookupAs<Texture>(texture);
    if (!t) return false;
    out = t->info;
    return true;
}

bool GetMeshInfo(ID3DXMesh* mesh, MeshInfo& out) {
    Mesh* m = LookupAs<Mesh>(mesh);
    if (!m) return false;
    out.file = m->file;
    out.vertices = static_cast<DWORD>(m->data->x.vertices.size());
    out.faces = static_cast<DWORD>(m->data->x.indices.size() / 3);
    out.fvf = m->fvf;
    out.subsetFaces = m->subsetFaces;
    return true;
}

bool GetEffectInfo(ID3DXEffect* effect, EffectInfo& out) {
    Effect* e = LookupAs<Effect>(effect);
    if (!e) return false;
    out = EffectInfo();
    out.file = e->file;
    for (const core::FxTechnique& t : e->fx->techniques) out.techniques.push_back(t.name);
    out.technique = e->technique >= 0 ? e->fx->techniques[e->technique].name : std::string();
    for (const EffectParam& p : e->params)
        if (p.numeric) out.values[p.name] = p.value;
    out.textures = e->textures;
    out.begun = e->begun;
    out.pass = e->pass;
    return true;
}

bool GetFontInfo(ID3DXFont* font, FontInfo& out) {
    Font* f = LookupAs<Font>(font);
    if (!f) return false;
    out = f->info;
    return true;
}

}  // namespace headless
