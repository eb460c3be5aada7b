#include "platform/sdl_gl/effect_library.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "platform/core/file_bytes.h"
#include "platform/core/fx_state_names.h"
#include "platform/core/fxfile_preprocess.h"
#include "platform/sdl_gl/effect_gl.h"
#include "platform/sdl_gl/effect_position.h"
#include "platform/sdl_gl/ffp_program.h"
#include "platform/shader/asm_shader.h"

namespace sdlgl {

namespace {


std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

HlslBase BaseOfType(const std::string& type) {
    switch (core::FxNumericBase(type)) {
        case core::FxBase::Bool: return HlslBase::Bool;
        case core::FxBase::Int: return HlslBase::Int;
        case core::FxBase::Float: return HlslBase::Float;
        default: return HlslBase::Other;
    }
}

// The pixel stage with its alpha test switched on ("" when it has none).
std::string WithAlphaTest(const std::string& fs) {
    if (fs.find(std::string("#ifdef ") + kAlphaTestDefine) == std::string::npos) return "";
    size_t nl = fs.find('\n');
    if (nl == std::string::npos) return "";
    return fs.substr(0, nl + 1) + "#define " + kAlphaTestDefine + "\n" + fs.substr(nl + 1);
}

// Floats per element of a GL uniform type; 0 for types effects do not upload.
int FloatsOf(GLenum type) {
    switch (type) {
        case GL_FLOAT: case GL_INT: case GL_UNSIGNED_INT: case GL_BOOL: return 1;
        case GL_FLOAT_VEC2: case GL_INT_VEC2: case GL_UNSIGNED_INT_VEC2: case GL_BOOL_VEC2: return 2;
        case GL_FLOAT_VEC3: case GL_INT_VEC3: case GL_UNSIGNED_INT_VEC3: case GL_BOOL_VEC3: return 3;
        case GL_FLOAT_VEC4: case GL_INT_VEC4: case GL_UNSIGNED_INT_VEC4: case GL_BOOL_VEC4: return 4;
        case GL_FLOAT_MAT2: return 4;
        case GL_FLOAT_MAT3: return 9;
        case GL_FLOAT_MAT4: return 16;
        case GL_FLOAT_MAT2x3: case GL_FLOAT_MAT3x2: return 6;
        case GL_FLOAT_MAT2x4: case GL_FLOAT_MAT4x2: return 8;
        case GL_FLOAT_MAT3x4: case GL_FLOAT_MAT4x3: return 12;
        default: return 0;
    }
}

// `<name[i]>`, `(name[i])` or `name[i]`: the parameter's name and the element's index.
bool ElementReference(const std::string& value, std::string& name, int& element) {
    std::string t = value;
    if (t.size() >= 2 && ((t.front() == '<' && t.back() == '>') || (t.front() == '(' && t.back() == ')')))
        t = t.substr(1, t.size() - 2);
    size_t open = t.find('['), close = t.find(']');
    if (open == std::string::npos || close != t.size() - 1 || close < open + 2) return false;
    char* end = nullptr;
    long index = std::strtol(t.c_str() + open + 1, &end, 10);
    if (end != t.c_str() + close || index < 0) return false;
    name = t.substr(0, open);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    element = static_cast<int>(index);
    return !name.empty();
}

// A state value that names a parameter: `<name>`, `(name)`, a bare name that is no constant
// of the state's kind, or one element of an array parameter, `<name[i]>`. Sets the state's
// parameter and `offset`, the value's first float within it; `element` is -1 for the whole
// parameter. The pass sends the parameter's value when it begins and again at CommitChanges
// once the program has set it (GlEffect::ApplyPass, GlEffect::StateValues): states of every
// kind, shader constants included, read parameters this way. False when the value names no
// parameter (`named` false) or one the effect lacks or an element past its end.
bool StateParameter(const std::string& value, StateValueKind kind, const EffectSource& code,
                    EffectState& out, int& element, bool& named) {
    std::string ref = ParameterReference(value, kind);
    element = -1;
    if (ref.empty()) ElementReference(value, ref, element);
    named = !ref.empty();
    if (!named) return false;
    out.param = code.FindParam(ref);
    if (out.param < 0) return false;
    if (element < 0) return true;
    const EffectParam& p = code.params[static_cast<size_t>(out.param)];
    out.offset = static_cast<size_t>(element * p.rows * p.columns);
    return element < p.elements;
}

bool ReadState(const core::FxState& s, const StateInfo& info, const EffectSource& code,
               EffectState& out) {
    out.target = info.target;
    out.id = info.id;
    out.kind = info.kind;
    out.index = s.index > 0 ? static_cast<uint32_t>(s.index) : 0;
    int element = -1;
    bool named = false;
    bool found = StateParameter(s.value, info.kind, code, out, element, named);
    if (info.target == StateTarget::Transform) {
        out.index = 0;
        if (info.id == 16) out.id = 16 + (s.index > 0 ? static_cast<uint32_t>(s.index) : 0);
        if (!named) return ParseStateMatrix(s.value, out.matrix);
        if (!found) return false;
        const EffectParam& p = code.params[static_cast<size_t>(out.param)];
        return p.rows == 4 && p.columns == 4 && (p.elements == 0 || element >= 0) &&
               p.base == HlslBase::Float;
    }
    if (named) return found;
    return ParseStateValue(s.value, info.kind, out.value, out.vec);
}

}  // namespace

EffectCode::~EffectCode() {
    for (GLuint p : programs) glDeleteProgram(p);
}

namespace {

int FindIn(const std::vector<EffectParam>& params, std::string_view name) {
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i].name == name) return static_cast<int>(i);
    return -1;
}

}  // namespace

int EffectCode::FindParam(std::string_view name) const { return FindIn(params, name); }

int EffectSource::FindParam(std::string_view name) const { return FindIn(params, name); }

int EffectCode::FindTechnique(std::string_view name) const {
    for (size_t i = 0; i < techniques.size(); ++i)
        if (techniques[i].name == name) return static_cast<int>(i);
    return -1;
}

void UploadUniform(GLint location, GLenum type, GLint count, const float* data) {
    int n = FloatsOf(type);
    if (location < 0 || n == 0 || count <= 0) return;
    switch (type) {
        case GL_FLOAT: glUniform1fv(location, count, data); return;
        case GL_FLOAT_VEC2: glUniform2fv(location, count, data); return;
        case GL_FLOAT_VEC3: glUniform3fv(location, count, data); return;
        case GL_FLOAT_VEC4: glUniform4fv(location, count, data); return;
        // An HLSL RxC matrix is a GLSL matrix of R columns: its rows are the GL columns, so
        // the row-by-row values go up untransposed.
        case GL_FLOAT_MAT2: glUniformMatrix2fv(location, count, GL_FALSE, data); return;
        case GL_FLOAT_MAT3: glUniformMatrix3fv(location, count, GL_FALSE, data); return;
        case GL_FLOAT_MAT4: glUniformMatrix4fv(location, count, GL_FALSE, data); return;
        case GL_FLOAT_MAT2x3: glUniformMatrix2x3fv(location, count, GL_FALSE, data); return;
        case GL_FLOAT_MAT3x2: glUniformMatrix3x2fv(location, count, GL_FALSE, data); return;
        case GL_FLOAT_MAT2x4: glUniformMatrix2x4fv(location, count, GL_FALSE, data); return;
        case GL_FLOAT_MAT4x2: glUniformMatrix4x2fv(location, count, GL_FALSE, data); return;
        case GL_FLOAT_MAT3x4: glUniformMatrix3x4fv(location, count, GL_FALSE, data); return;
        case GL_FLOAT_MAT4x3: glUniformMatrix4x3fv(location, count, GL_FALSE, data); return;
        default: break;
    }
    std::vector<GLint> ints(static_cast<size_t>(n * count));
    bool unsignedType = type == GL_UNSIGNED_INT || type == GL_UNSIGNED_INT_VEC2 ||
                        type == GL_UNSIGNED_INT_VEC3 || type == GL_UNSIGNED_INT_VEC4;
    bool boolType = type == GL_BOOL || type == GL_BOOL_VEC2 || type == GL_BOOL_VEC3 ||
                    type == GL_BOOL_VEC4;
    for (size_t i = 0; i < ints.size(); ++i)
        ints[i] = (unsignedType || boolType) ? (data[i] != 0.0f ? 1 : 0)
                                             : static_cast<GLint>(data[i]);
    if (unsignedType) {
        std::vector<GLuint> u(ints.begin(), ints.end());
        if (n == 1) glUniform1uiv(location, count, u.data());
        if (n == 2) glUniform2uiv(location, count, u.data());
        if (n == 3) glUniform3uiv(location, count, u.data());
        if (n == 4) glUniform4uiv(location, count, u.data());
        return;
    }
    if (n == 1) glUniform1iv(location, count, ints.data());
    if (n == 2) glUniform2iv(location, count, ints.data());
    if (n == 3) glUniform3iv(location, count, ints.data());
    if (n == 4) glUniform4iv(location, count, ints.data());
}

EffectLibrary::EffectLibrary(GlDevice& device, TextureOf textureOf, IUnknown* owner)
    : device_(device), textureOf_(textureOf), owner_(owner) {}

HRESULT EffectLibrary::CreateFromFile(const char* path, ID3DXEffect** out,
                                      std::string& messages) {
    if (out) *out = nullptr;
    if (!path || !out) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (!core::ReadFileBytes(path, bytes)) {
        messages = core::FxD3dxMessages(std::string(path) + ": error: cannot open the effect file\n");
        return D3DERR_NOTFOUND;
    }
    return CreateFromText(std::string(bytes.begin(), bytes.end()), path, out, messages);
}

HRESULT EffectLibrary::CreateFromText(const std::string& text, const std::string& name,
                                      ID3DXEffect** out, std::string& messages) {
    if (out) *out = nullptr;
    if (!out) return D3DERR_INVALIDCALL;
    // The whole file goes through the preprocessor first; its output, which holds every
    // included file, is the cache key. Included files are found next to the effect file, so
    // with includes the same text elsewhere may differ.
    core::FxPreprocessed pre;
    std::string err;
    if (!core::PreprocessFx(text, name, {}, core::FxReadIncludeFile, pre, err)) {
        messages = err + "\n";
        return D3DXERR_INVALIDDATA;
    }
    return CreateFromPreprocessed(pre, name, out, messages);
}

HRESULT EffectLibrary::CreateFromPreprocessed(const core::FxPreprocessed& pre, const std::string& name,
                                              ID3DXEffect** out, std::string& messages) {
    if (out) *out = nullptr;
    if (!out) return D3DERR_INVALIDCALL;
    std::string key = pre.includes.empty() ? pre.text : name + "\n" + pre.text;
    std::shared_ptr<EffectCode>& code = byContent_[key];
    if (!code) {
        code = Build(pre, name);
        ++compilations_;
    }
    messages = core::FxD3dxMessages(code->log);
    if (!code->ok) return D3DXERR_INVALIDDATA;
    *out = new GlEffect(device_, code, textureOf_, owner_);
    return D3D_OK;
}

EffectSource CompileEffect(const std::string& text, const std::string& name) {
    core::FxPreprocessed pre;
    std::string err;
    if (!core::PreprocessFx(text, name, {}, core::FxReadIncludeFile, pre, err)) {
        EffectSource source;
        source.log = err + "\n";
        return source;
    }
    return CompileEffect(pre, name);
}

namespace {
EffectSource CompileSource(const core::FxPreprocessed& pre, const std::string& name);
}

EffectSource CompileEffect(const core::FxPreprocessed& pre, const std::string& name) {
    EffectSource source = CompileSource(pre, name);
    source.log = core::FxD3dxMessages(source.log);
    return source;
}

namespace {

EffectSource CompileSource(const core::FxPreprocessed& pre, const std::string& name) {
    EffectSource source;
    EffectSource* code = &source;
    source.text = pre.text;
    auto Where = [&](const std::string&, int line) { return core::FxWhere(pre, name, line); };
    auto parsed = std::make_shared<core::FxFile>();
    const core::FxFile& fx = *parsed;
    std::string err;
    if (!core::ParseFx(pre.text, *parsed, err)) {
        // The reader says "line N: message".
        int line = 0;
        std::string msg = err;
        if (err.compare(0, 5, "line ") == 0) {
            line = std::atoi(err.c_str() + 5);
            size_t colon = err.find(':');
            if (colon != std::string::npos) msg = err.substr(colon + 2 <= err.size() ? colon + 2 : colon + 1);
        }
        code->log = (line > 0 ? Where(name, line) : name) + ": error: " + msg + "\n";
        return source;
    }
    source.fx = parsed;
    std::string& log = code->log;
    bool failed = false;
    // A state Direct3D 9 knows but this backend does not carry out is named once and skipped
    // (not at all when it switches something off that is off here anyway); a name that is no
    // state fails the effect, as with D3DX.
    std::set<std::string> named;
    auto NotCarriedOut = [&](const core::FxState& s, bool inSampler) {
        if (!core::IsFxStateName(s.name, inSampler)) {
            log += Where(name, s.line) + ": error: '" + s.name + "' is no " +
                   (inSampler ? "sampler state\n" : "effect state\n");
            failed = true;
            return;
        }
        std::string lower = Lower(s.name), v = Lower(s.value);
        bool off = lower.size() > 6 && lower.compare(lower.size() - 6, 6, "enable") == 0 &&
                   (v == "false" || v == "0");
        if (off || !named.insert(lower).second) return;
        log += Where(name, s.line) + ": warning: state " + s.name +
               " is not carried out by this renderer; ignored\n";
    };

    // Parameters as the file declares them.
    for (const core::FxParameter& p : fx.params) {
        EffectParam e;
        e.name = p.name;
        e.semantic = p.semantic;
        e.type = p.type;
        e.paramClass = p.paramClass;
        e.rows = p.rows;
        e.columns = p.columns;
        e.elements = p.elements;
        e.rowMajor = p.rowMajor;
        std::string t = Lower(p.type);
        e.isTexture = t.compare(0, 7, "texture") == 0;
        e.isSampler = t.compare(0, 7, "sampler") == 0;
        e.base = (e.isTexture || e.isSampler) ? HlslBase::Other : BaseOfType(p.type);
        e.initial.assign(e.FloatCount(), 0.0f);
        for (size_t i = 0; i < p.initialValue.size() && i < e.initial.size(); ++i)
            e.initial[i] = p.initialValue[i];
        code->params.push_back(e);
    }
    // Samplers: the texture they name and their states.
    for (size_t i = 0; i < fx.params.size(); ++i) {
        EffectParam& e = code->params[i];
        if (!e.isSampler) continue;
        const core::FxParameter& p = fx.params[i];
        if (!p.textureName.empty()) {
            e.textureParam = code->FindParam(p.textureName);
            if (e.textureParam < 0 || !code->params[static_cast<size_t>(e.textureParam)].isTexture) {
                log += Where(name, p.line) + ": error: sampler " + p.name +
                       " names no texture parameter '" + p.textureName + "'\n";
                failed = true;
                e.textureParam = -1;
            }
        }
        for (const core::FxState& s : p.samplerStates) {
            StateInfo info;
            if (!LookupState(s.name, true, info)) {
                NotCarriedOut(s, true);
                continue;
            }
            if (info.target == StateTarget::Texture) continue;   // textureName above
            EffectState st;
            if (!ReadState(s, info, *code, st)) {
                log += Where(name, s.line) + ": error: cannot read the value '" + s.value +
                       "' of " + s.name + "\n";
                failed = true;
                continue;
            }
            e.samplerStates.push_back(st);
        }
    }

    // Shader stages, compiled once per (profile, entry, arguments).
    std::vector<HlslStage>& stages = source.stages;
    std::map<std::string, int> stageIndex;
    auto StageOf = [&](const core::FxState& s, ShaderStage want) -> int {
        std::string key = s.isAsm ? "asm|" + std::to_string(s.assembly.line) + "|" + s.assembly.text
                                  : Lower(s.profile) + "|" + s.entry + "|" + s.arguments;
        auto it = stageIndex.find(key);
        if (it != stageIndex.end()) return it->second;
        HlslStage st;
        std::string clog;
        int index = -1;
        ShaderStage got;
        if (s.isAsm) {
            if (!hlsl::AssembleShader(s.assembly.text, s.assembly.line, s.assembly.column, fx.hlsl, name,
                                      st, clog)) {
                core::FxAppendMessages(log, clog);
            } else if (st.stage != want) {
                log += Where(name, s.line) + ": error: profile '" + hlsl::AssemblyProfile(s.assembly.text) +
                       "' does not fit " + s.name + "\n";
            } else {
                stages.push_back(st);
                index = static_cast<int>(stages.size()) - 1;
            }
        } else if (!ProfileStage(s.profile, got) || got != want) {
            log += Where(name, s.line) + ": error: profile '" + s.profile + "' does not fit " +
                   s.name + "\n";
        } else if (CompileHlsl(fx.hlsl, name, s.line, s.entry, s.profile, s.arguments, st, clog)) {
            std::string why;
            if (!hlsl::AssignSamplerRegisters(fx, st, why)) {
                log += Where(name, s.line) + ": error: " + s.entry + ": " + why + "\n";
            } else {
                stages.push_back(st);
                index = static_cast<int>(stages.size()) - 1;
            }
        } else {
            core::FxAppendMessages(log, clog);
        }
        stageIndex[key] = index;
        return index;
    };

    std::vector<std::vector<PassShaders>>& passStages = source.passShaders;
    for (const core::FxTechnique& t : fx.techniques) {
        EffectTechnique tech;
        tech.name = t.name;
        passStages.emplace_back();
        for (const core::FxPass& p : t.passes) {
            EffectPass pass;
            pass.name = p.name;
            pass.line = p.line;
            PassShaders ps;
            for (const core::FxState& s : p.states) {
                if (core::FxIsShaderConstantState(s.name)) {
                    core::FxConstantState c;
                    std::string why;
                    if (!core::FxReadShaderConstant(fx, s, c, why)) {
                        log += Where(name, s.line) + ": error: " + why + "\n";
                        failed = true;
                    } else {
                        pass.constants.push_back(c);
                    }
                    continue;
                }
                StateInfo info;
                if (!LookupState(s.name, false, info) ||
                    (info.target == StateTarget::Transform && info.id == 256 && s.index > 0)) {
                    NotCarriedOut(s, false);
                    continue;
                }
                // Only stage 0 blends in the fixed-function pixel stage; later stages take
                // their texture coordinate states and bump matrices (for pixel shaders) and
                // nothing else.
                bool bump = (info.id >= 7 && info.id <= 10) || info.id == 22 || info.id == 23;
                bool laterStage = s.index > 0 && info.target == StateTarget::TextureStage &&
                             info.id != 11 && info.id != 24 && !bump;
                if (laterStage) {
                    std::string v = Lower(s.value);
                    if (v != "disable" && v != "d3dtop_disable") NotCarriedOut(s, false);
                    continue;
                }
                if (info.target == StateTarget::VertexShader ||
                    info.target == StateTarget::PixelShader) {
                    bool vertex = info.target == StateTarget::VertexShader;
                    std::string v = Lower(s.value);
                    if (!s.isCompile && (v == "null" || v == "0")) continue;   // fixed function
                    core::FxState shader;
                    std::string why;
                    if (!core::ResolveShaderState(fx, s, shader, why)) {
                        log += Where(name, s.line) + ": error: " + why + "\n";
                        failed = true;
                        continue;
                    }
                    if (!shader.isCompile && !shader.isAsm) continue;   // a variable holding NULL
                    int idx = StageOf(shader, vertex ? ShaderStage::Vertex : ShaderStage::Pixel);
                    if (idx < 0) failed = true;
                    (vertex ? ps.vs : ps.ps) = idx;
                    (vertex ? ps.hasVs : ps.hasPs) = true;
                    continue;
                }
                EffectState st;
                if (!ReadState(s, info, *code, st)) {
                    log += Where(name, s.line) + ": error: cannot read the value '" + s.value +
                           "' of " + s.name + "\n";
                    failed = true;
                    continue;
                }
                if (st.target == StateTarget::SetSampler &&
                    (st.param < 0 || !code->params[static_cast<size_t>(st.param)].isSampler)) {
                    log += Where(name, s.line) + ": error: " + s.name +
                           " needs a sampler parameter\n";
                    failed = true;
                    continue;
                }
                if (st.target == StateTarget::Texture &&
                    (st.param < 0 || !code->params[static_cast<size_t>(st.param)].isTexture)) {
                    log += Where(name, s.line) + ": error: " + s.name +
                           " needs a texture parameter\n";
                    failed = true;
                    continue;
                }
                if (info.target == StateTarget::Unsupported) continue;
                pass.states.push_back(st);
            }
            passStages.back().push_back(ps);
            tech.passes.push_back(pass);
        }
        code->techniques.push_back(tech);
    }
    source.ok = !failed;
    return source;
}

}  // namespace

// Where the pass's vertex program puts vertices, in the effect's parameters.
static void PassPosition(const HlslStage& vs, const EffectCode& code, EffectPass& pass) {
    PositionTransform t = AnalysePosition(vs);
    pass.positionKnown = false;
    pass.positionFactors.clear();
    if (!t.known) return;
    for (const PositionFactor& f : t.factors) {
        int param = code.FindParam(f.hlslName);
        if (param < 0) return;
        const EffectParam& e = code.params[static_cast<size_t>(param)];
        if (e.rows != 4 || e.columns != 4 || e.elements > 0 || e.base != HlslBase::Float)
            return;
        pass.positionFactors.emplace_back(param, f.transposed);
    }
    pass.positionKnown = true;
}

std::shared_ptr<EffectCode> EffectLibrary::Build(const core::FxPreprocessed& pre,
                                                 const std::string& name) {
    auto code = std::make_shared<EffectCode>();
    EffectSource source = CompileEffect(pre, name);
    auto Where = [&](const std::string&, int line) { return core::FxWhere(pre, name, line); };
    code->log = source.log;
    code->params = source.params;
    code->techniques = source.techniques;
    code->fx = source.fx;
    if (!source.ok) return code;
    std::string& log = code->log;
    const std::vector<HlslStage>& stages = source.stages;
    const std::vector<std::vector<PassShaders>>& passStages = source.passShaders;

    // Link one program (and its alpha-tested twin) per vertex/pixel pair and find where each
    // parameter goes.
    auto Link = [&](const HlslStage* vsStage, const std::string& vsGlsl,
                    const HlslStage* fsStage, const std::string& fs,
                    PassProgram& out, std::vector<EffectPass::Sampler>& samplers,
                    std::string& llog) {
        GLuint prog = BuildProgram(vsGlsl, fs, llog);
        if (!prog) return false;
        code->programs.push_back(prog);
        out.program = prog;
        GLint active = 0;
        glGetProgramiv(prog, GL_ACTIVE_UNIFORMS, &active);
        glUseProgram(prog);
        for (GLint u = 0; u < active; ++u) {
            char buf[256];
            GLint size = 0;
            GLenum type = 0;
            glGetActiveUniform(prog, static_cast<GLuint>(u), sizeof buf, nullptr, &size,
                               &type, buf);
            std::string glName = buf;
            GLint location = glGetUniformLocation(prog, buf);
            if (glName.size() > 3 && glName.compare(glName.size() - 3, 3, "[0]") == 0)
                glName.resize(glName.size() - 3);
            const HlslStage* owner = nullptr;
            if (glName.compare(0, 3, "vs_") == 0) owner = vsStage;
            if (glName.compare(0, 3, "ps_") == 0) owner = fsStage;
            if (type == GL_SAMPLER_2D || type == GL_SAMPLER_CUBE || type == GL_SAMPLER_3D ||
                type == GL_SAMPLER_1D || type == GL_SAMPLER_2D_SHADOW) {
                // Pixel sampler register N reads device stage N; vertex sampler register N
                // reads D3DVERTEXTEXTURESAMPLER0 + N (stage 257 + N); each stage has its
                // GL unit (GlDevice::SamplerSlot). The stage-0 sampler of the fallback
                // pixel stage has no owner and reads unit 0. Cube and volume samplers read
                // a texture target of their unit that the device (2D only) never binds.
                GLint unit = 0;
                if (owner) {
                    bool vertex = owner == vsStage;
                    unit = -1;
                    for (const HlslSampler& s : owner->samplers) {
                        if (s.glslName != glName) continue;
                        if (s.reg < 0) {
                            if (!s.used) unit = 0;   // declared, never read
                            continue;
                        }
                        uint32_t stage = static_cast<uint32_t>(s.reg) + (vertex ? 257u : 0u);
                        unit = GlDevice::SamplerSlot(stage);
                        if (unit < 0) break;
                        int param = code->FindParam(s.hlslName);
                        if (param >= 0 && code->params[static_cast<size_t>(param)].isSampler)
                            samplers.push_back({param, stage});
                    }
                    if (unit < 0) {
                        // No silent black: Direct3D 9 has no register for it.
                        llog += std::string(vertex ? "the vertex shader" : "the pixel shader") +
                                " reads more samplers than its sampler registers (" +
                                (vertex ? "s0..s3" : "s0..s15") + ") hold";
                        glDeleteProgram(prog);
                        code->programs.pop_back();
                        out.program = 0;
                        return false;
                    }
                }
                glUniform1i(location, unit);
                continue;
            }
            if (!owner) continue;   // the half-pixel and fallback uniforms
            for (const hlsl::RegisterUniform& r : owner->registerUniforms) {
                if (r.glslName != glName) continue;
                UniformBinding b;
                b.location = location;
                b.type = type;
                b.count = size;
                b.registers = r.kind;
                b.vertex = owner == vsStage;
                b.stageIndex = r.stageIndex;
                out.uniforms.push_back(b);
            }
            for (const HlslUniform& h : owner->uniforms) {
                if (h.glslName != glName) continue;
                // GL keeps a stage's whole struct, so a member the stage never reads is
                // still a uniform of it; new values there would make llvmpipe store the
                // stage's state again at every draw (a pixel stage's copy of the matrices).
                if (!h.used) break;
                UniformBinding b;
                b.location = location;
                b.type = type;
                b.count = size;
                int floats = FloatsOf(type);
                if (h.fixed) {
                    b.fixedValue = h.fixedValue;
                    b.fixedValue.resize(static_cast<size_t>(floats * size), 0.0f);
                    out.uniforms.push_back(b);
                    break;
                }
                int param = code->FindParam(h.hlslName);
                if (param < 0) {
                    // Declared where the effect reader does not see it: take the
                    // compiler's view of it.
                    EffectParam e;
                    e.name = h.hlslName;
                    e.base = h.base;
                    e.rows = h.rows;
                    e.columns = h.columns;
                    e.elements = h.elements;
                    e.paramClass = h.rows > 1 ? core::FxClass::Matrix
                                   : h.columns > 1 ? core::FxClass::Vector
                                                   : core::FxClass::Scalar;
                    e.initial.assign(e.FloatCount(), 0.0f);
                    code->params.push_back(e);
                    param = static_cast<int>(code->params.size()) - 1;
                }
                const EffectParam& e = code->params[static_cast<size_t>(param)];
                if (floats != e.rows * e.columns || size > (e.elements > 0 ? e.elements : 1)) {
                    log += name + ": warning: parameter " + e.name +
                           " does not match its shader type; not uploaded\n";
                    break;
                }
                b.param = param;
                out.uniforms.push_back(b);
                break;
            }
        }
        glUseProgram(0);
        out.halfPixel = glGetUniformLocation(prog, kHalfPixelUniform);
        out.textured = glGetUniformLocation(prog, "dx_textured");
        out.rowFromFragY = glGetUniformLocation(prog, kRowFromFragYUniform);
        out.alphaFunc = glGetUniformLocation(prog, kAlphaFuncUniform);
        out.alphaRef = glGetUniformLocation(prog, kAlphaRefUniform);
        out.fixedStage = !vsStage || !fsStage;
        if (out.fixedStage) out.fixed = LocateFfp(prog, 8);
        return true;
    };
    struct Linked {
        PassProgram plain, alphaTested;
        std::vector<EffectPass::Sampler> samplers;
    };
    std::map<std::pair<int, int>, Linked> programOf;
    for (size_t t = 0; t < code->techniques.size(); ++t) {
        for (size_t p = 0; p < code->techniques[t].passes.size(); ++p) {
            PassShaders st = passStages[t][p];
            EffectPass& pass = code->techniques[t].passes[p];
            if (!st.hasVs && !st.hasPs) continue;   // fixed function
            auto key = std::make_pair(st.hasVs ? st.vs : -1, st.hasPs ? st.ps : -1);
            auto it = programOf.find(key);
            if (it == programOf.end()) {
                // A missing stage is Direct3D's fixed-function one.
                const HlslStage* vsStage = st.hasVs ? &stages[static_cast<size_t>(st.vs)] : nullptr;
                const HlslStage* fsStage = st.hasPs ? &stages[static_cast<size_t>(st.ps)] : nullptr;
                std::string vsGlsl = !vsStage   ? FixedFunctionVertexFor(fsStage->glsl)
                                     : fsStage ? VertexWritingInputsOf(vsStage->glsl, fsStage->glsl)
                                               : vsStage->glsl;
                std::string fs = fsStage ? fsStage->glsl
                                         : FixedFunctionPixelFor(vsStage->glsl, kAlphaTestDefine,
                                                                 kAlphaFuncUniform,
                                                                 kAlphaRefUniform);
                Linked linked;
                std::vector<EffectPass::Sampler> unused;
                std::string llog;
                bool ok = Link(vsStage, vsGlsl, fsStage, fs, linked.plain, linked.samplers, llog);
                std::string tested = WithAlphaTest(fs);
                size_t warnings = log.size();   // the twin would repeat the first's warnings
                if (ok && !tested.empty()) {
                    ok = Link(vsStage, vsGlsl, fsStage, tested, linked.alphaTested, unused, llog);
                    log.resize(warnings);
                }
                if (!ok) {
                    log += Where(name, pass.line) + ": error: the pass " +
                           "does not link: " + llog + "\n";
                    return code;
                }
                it = programOf.emplace(key, std::move(linked)).first;
            }
            pass.plain = it->second.plain;
            pass.alphaTested = it->second.alphaTested;
            pass.samplers = it->second.samplers;
            if (st.hasVs) PassPosition(stages[static_cast<size_t>(st.vs)], *code, pass);
        }
    }
    code->ok = true;
    return code;
}

}  // namespace sdlgl
