// fxtool: checks effect files and lists what they hold, through D3DX's effect compiler (no
// device, no display). On Linux the compile is the window backend's, on Windows the real
// D3DX's. It does not draw. Pass states are listed on Linux only: D3DX reflects none.
// Exit codes: 0 every file loads, 1 a file fails, 2 wrong usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/core/fx_include.h"
#include "platform/d3dx9.h"
#include "scene/effect_binding.h"
#include "tools/fxtool/preview.h"
#ifndef _WIN32
#include "platform/backend.h"
#include "platform/core/fx_compiler.h"
#endif

#ifndef FXTOOL_VERSION
#define FXTOOL_VERSION "0"
#endif

namespace {

const char kUsage[] =
    "usage: fxtool check [-D NAME[=VALUE]]... [-I DIR]... FILE...\n"
    "                        compile each effect file as the engine loads it; D3DX-shaped\n"
    "                        messages, then one line per file\n"
    "       fxtool info [-D NAME[=VALUE]]... [-I DIR]... FILE\n"
    "                        list the parameters (type, semantic, annotations, initial\n"
    "                        value) and the techniques, their passes, shader profiles and\n"
    "                        the sampler registers each pass uses, and what the engine sets\n"
    "                        in each parameter\n"
    "       fxtool preview [-D NAME[=VALUE]]... [-I DIR]... [--mesh FILE.x] [--texture FILE]\n"
    "                      [--technique NAME] [--size WxH] -o OUT.png FILE\n"
    "                        draw the effect on the mesh (a sphere when none is given), lit by\n"
    "                        one light, as the engine draws it, into a PNG (no display needed)\n"
    "       fxtool --help | --version\n"
    "-D defines a macro (VALUE defaults to 1); -I adds a folder where #include looks after\n"
    "the including file's folder.\n"
    "Exit codes: 0 every file loads, 1 a file does not, 2 wrong usage.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "fxtool: %s\n", why.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

// #include found as the engine finds it (core::FxFindInclude: next to the including file, next
// to the effect, in the current folder, backslashes and case as Windows reads them), then in
// the -I folders in order; for the includes of included files too.
class IncludeDirs : public ID3DXInclude {
public:
    IncludeDirs(const std::string& effect, const std::vector<std::string>& dirs)
        : effect_(effect), dirs_(dirs) {}

    HRESULT STDMETHODCALLTYPE Open(D3DXINCLUDE_TYPE, LPCSTR name, LPCVOID parent, LPCVOID* data,
                                   UINT* bytes) override {
        auto from = paths_.find(parent);
        std::string path, read;
        if (!name || !core::FxFindInclude(name, from == paths_.end() ? effect_ : from->second, effect_, dirs_,
                                          path, read))
            return E_FAIL;
        std::string* text = new std::string(read);
        texts_[text->data()] = text;
        paths_[text->data()] = path;
        *data = text->data();
        *bytes = static_cast<UINT>(text->size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close(LPCVOID data) override {
        auto it = texts_.find(data);
        if (it == texts_.end()) return E_FAIL;
        delete it->second;
        texts_.erase(it);
        paths_.erase(data);
        return S_OK;
    }
    ~IncludeDirs() {
        for (auto& t : texts_) delete t.second;
    }

private:
    std::string effect_;
    std::vector<std::string> dirs_;
    std::map<LPCVOID, std::string*> texts_;
    std::map<LPCVOID, std::string> paths_;   // where each open file was found
};

struct Options {
    std::vector<std::string> names, values;   // -D
    std::vector<std::string> dirs;            // -I
    std::vector<std::string> files;
};

// Reads -D and -I (joined or as the next argument) and the files; false with `why`.
bool ReadOptions(int argc, char** argv, int from, Options& o, std::string& why) {
    for (int i = from; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            for (++i; i < argc; ++i) o.files.push_back(argv[i]);
            break;
        }
        if (a.size() < 2 || a[0] != '-') {
            o.files.push_back(a);
            continue;
        }
        if (a[1] != 'D' && a[1] != 'I') {
            why = "unknown option '" + a + "'";
            return false;
        }
        std::string value = a.substr(2);
        if (value.empty()) {
            if (i + 1 >= argc) {
                why = std::string("option ") + a + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (a[1] == 'I') {
            o.dirs.push_back(value);
            continue;
        }
        size_t eq = value.find('=');
        std::string name = value.substr(0, eq);
        if (name.empty()) {
            why = "-D needs a macro name";
            return false;
        }
        o.names.push_back(name);
        o.values.push_back(eq == std::string::npos ? "1" : value.substr(eq + 1));
    }
    return true;
}

std::string HrText(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(static_cast<DWORD>(hr)));
    return buf;
}

// Creates the effect compiler of `file`, printing D3DX's messages. Null when it fails; `why`
// then says so when D3DX gave no message.
ID3DXEffectCompiler* Compile(const std::string& file, const Options& o, std::string& why) {
    std::vector<D3DXMACRO> macros;
    for (size_t i = 0; i < o.names.size(); ++i) macros.push_back({o.names[i].c_str(), o.values[i].c_str()});
    macros.push_back({NULL, NULL});
    IncludeDirs include(file, o.dirs);
    ID3DXEffectCompiler* compiler = NULL;
    ID3DXBuffer* errors = NULL;
    HRESULT hr = D3DXCreateEffectCompilerFromFileA(file.c_str(), macros.data(), &include, 0, &compiler,
                                                   &errors);
    bool said = false;
    if (errors) {
        const char* text = static_cast<const char*>(errors->GetBufferPointer());
        std::string s(text ? text : "", text ? strnlen(text, errors->GetBufferSize()) : 0);
        if (!s.empty() && s.back() != '\n') s += '\n';
        std::fputs(s.c_str(), stdout);
        said = !s.empty();
        errors->Release();
    }
    // A compiler that cannot describe its effect has not read it (some D3DX builds make a
    // compiler whose every call is unimplemented).
    D3DXEFFECT_DESC desc;
    bool createFailed = FAILED(hr) || !compiler;
    HRESULT described = createFailed ? hr : compiler->GetDesc(&desc);
    if (createFailed || FAILED(described)) {
        if (compiler) compiler->Release();
        compiler = NULL;
        HRESULT bad = createFailed ? hr : described;
        std::string call = createFailed ? "D3DXCreateEffectCompilerFromFileA" : "GetDesc";
        if (bad == E_NOTIMPL)
            why = "this D3DX does not compile effects (" + call + " returned " + HrText(bad) + ", not implemented)";
        else if (!said || !createFailed)
            why = call + " returned " + HrText(bad);
    }
    return compiler;
}

int Check(const Options& o) {
    int failed = 0;
    for (const std::string& file : o.files) {
        std::string why;
        ID3DXEffectCompiler* c = Compile(file, o, why);
        if (c) {
            std::printf("%s: ok\n", file.c_str());
            c->Release();
        } else {
            std::printf("%s: failed%s%s\n", file.c_str(), why.empty() ? "" : ": ", why.c_str());
            ++failed;
        }
    }
    if (o.files.size() > 1)
        std::printf("%d of %zu files load\n", static_cast<int>(o.files.size()) - failed, o.files.size());
    std::fflush(stdout);
    return failed ? 1 : 0;
}

const char* TypeName(D3DXPARAMETER_TYPE t) {
    static const char* kNames[] = {"void", "bool", "int", "float", "string", "texture", "texture1D",
                                   "texture2D", "texture3D", "textureCUBE", "sampler", "sampler1D",
                                   "sampler2D", "sampler3D", "samplerCUBE", "pixelshader",
                                   "vertexshader", "pixelfragment", "vertexfragment", "unsupported"};
    return static_cast<unsigned>(t) < sizeof kNames / sizeof kNames[0] ? kNames[t] : "?";
}

// "float4x4", "float3", "texture2D", with "[n]" for arrays.
std::string Declared(const D3DXPARAMETER_DESC& d) {
    std::string s = TypeName(d.Type);
    if (d.Class == D3DXPC_VECTOR) s += std::to_string(d.Columns);
    if (d.Class == D3DXPC_MATRIX_ROWS || d.Class == D3DXPC_MATRIX_COLUMNS)
        s = (d.Class == D3DXPC_MATRIX_ROWS ? "row_major " : "") + s + std::to_string(d.Rows) + "x" +
            std::to_string(d.Columns);
    if (d.Class == D3DXPC_STRUCT) s = "struct";
    if (d.Elements) s += "[" + std::to_string(d.Elements) + "]";
    return s;
}

// The value of a parameter or annotation: numbers in braces, or a quoted string; "" for
// objects.
std::string Value(ID3DXBaseEffect* e, D3DXHANDLE h, const D3DXPARAMETER_DESC& d) {
    if (d.Type == D3DXPT_STRING && !d.Elements) {
        LPCSTR s = NULL;
        return SUCCEEDED(e->GetString(h, &s)) && s ? "\"" + std::string(s) + "\"" : std::string();
    }
    if (d.Type != D3DXPT_FLOAT && d.Type != D3DXPT_INT && d.Type != D3DXPT_BOOL) return std::string();
    if (d.Class == D3DXPC_OBJECT || d.Class == D3DXPC_STRUCT || !d.Bytes) return std::string();
    std::vector<DWORD> raw(d.Bytes / 4);
    if (FAILED(e->GetValue(h, raw.data(), d.Bytes))) return std::string();
    std::string s = raw.size() > 1 ? "{" : "";
    for (size_t i = 0; i < raw.size(); ++i) {
        char buf[32];
        if (d.Type == D3DXPT_FLOAT) {
            float f;
            std::memcpy(&f, &raw[i], 4);
            std::snprintf(buf, sizeof buf, "%g", f);
        } else if (d.Type == D3DXPT_BOOL) {
            std::snprintf(buf, sizeof buf, "%s", raw[i] ? "true" : "false");
        } else {
            std::snprintf(buf, sizeof buf, "%d", static_cast<int>(raw[i]));
        }
        s += (i ? ", " : "") + std::string(buf);
    }
    return raw.size() > 1 ? s + "}" : s;
}

void PrintAnnotations(ID3DXBaseEffect* e, D3DXHANDLE object, UINT count, const char* indent) {
    for (UINT i = 0; i < count; ++i) {
        D3DXHANDLE a = e->GetAnnotation(object, i);
        D3DXPARAMETER_DESC d;
        if (!a || FAILED(e->GetParameterDesc(a, &d))) continue;
        std::string v = Value(e, a, d);
        std::printf("%sannotation %s %s%s%s\n", indent, Declared(d).c_str(), d.Name ? d.Name : "",
                    v.empty() ? "" : " = ", v.c_str());
    }
}

// "vs_2_0" from a shader function's version token.
std::string Profile(const DWORD* function) {
    DWORD v = D3DXGetShaderVersion(function);
    if (!function || !v) return std::string();
    return std::string((v >> 16) == 0xFFFE ? "vs_" : "ps_") + std::to_string((v >> 8) & 0xFF) + "_" +
           std::to_string(v & 0xFF);
}

// "s0=DiffuseSampler s2=Bump" for the samplers a shader function uses.
std::string Samplers(const DWORD* function) {
    LPCSTR names[16] = {};
    UINT count = 0;
    if (!function || FAILED(D3DXGetShaderSamplers(function, names, &count))) return std::string();
    std::string s;
    for (UINT r = 0; r < count && r < 16; ++r)
        if (names[r]) s += (s.empty() ? "" : " ") + std::string("s") + std::to_string(r) + "=" + names[r];
    return s;
}

void PrintStage(const char* stage, const DWORD* function) {
    if (!function) {
        std::printf("    %s: none (fixed function)\n", stage);
        return;
    }
    std::string samplers = Samplers(function);
    std::printf("    %s: %s%s%s\n", stage, Profile(function).c_str(), samplers.empty() ? "" : ", samplers ",
                samplers.c_str());
}

// D3DX reflects no pass states; the platform's compiler gives them as the file writes them.
void PrintStates(ID3DXEffectCompiler* e, D3DXHANDLE pass) {
#ifdef _WIN32
    (void)e;
    (void)pass;
#else
    std::vector<std::string> states;
    if (core::FxPassStates(e, pass, states))
        for (const std::string& s : states) std::printf("    state %s\n", s.c_str());
#endif
}

// The entry of `binding` for parameter `h`, or null.
const BoundParameter* Bound(const EffectBinding& binding, D3DXHANDLE h) {
    for (const std::vector<BoundParameter>* list : {&binding.perDraw, &binding.perSubset, &binding.files})
        for (const BoundParameter& b : *list)
            if (b.handle == h || (b.array == h && b.elements)) return &b;
    return NULL;
}

int Info(const Options& o) {
    if (o.files.size() != 1) return Usage("info takes one effect file");
    std::string why;
    ID3DXEffectCompiler* e = Compile(o.files[0], o, why);
    if (!e) {
        std::printf("%s: failed%s%s\n", o.files[0].c_str(), why.empty() ? "" : ": ", why.c_str());
        return 1;
    }
    D3DXEFFECT_DESC desc;
    if (FAILED(e->GetDesc(&desc))) {
        std::printf("%s: failed: no effect description\n", o.files[0].c_str());
        e->Release();
        return 1;
    }
    std::printf("%s: %u parameters, %u techniques\n", o.files[0].c_str(), desc.Parameters, desc.Techniques);
    EffectBinding binding;
    BindEffect(e, binding);
    for (UINT i = 0; i < desc.Parameters; ++i) {
        D3DXHANDLE h = e->GetParameter(NULL, i);
        D3DXPARAMETER_DESC d;
        if (!h || FAILED(e->GetParameterDesc(h, &d))) continue;
        std::string v = Value(e, h, d);
        std::printf("parameter %s %s%s%s%s%s\n", Declared(d).c_str(), d.Name ? d.Name : "",
                    d.Semantic ? " : " : "", d.Semantic ? d.Semantic : "", v.empty() ? "" : " = ", v.c_str());
        PrintAnnotations(e, h, d.Annotations, "  ");
        std::string bound = BindingText(d.Name, Bound(binding, h));
        if (!bound.empty()) std::printf("  engine sets: %s\n", bound.c_str());
    }
    if (binding.batch.perPass) {
        std::printf("engine draws: ald_Phong_lights for the first %u lights, ald_Phong_lights_alpha for each further %u\n",
                    binding.batch.perPass, binding.batch.perPass);
    } else if (binding.engineTechniques) {
        std::printf("engine draws: ald_Phong for the first light, ald_Phong_alpha for each further one\n");
    } else {
        D3DXTECHNIQUE_DESC td;
        bool named = binding.technique && SUCCEEDED(e->GetTechniqueDesc(binding.technique, &td));
        std::printf("engine draws: %s%s%s\n", named ? "technique " : "nothing (no technique)",
                    named && td.Name ? td.Name : "", named ? ", once per object, with the first light" : "");
    }
    for (UINT t = 0; t < desc.Techniques; ++t) {
        D3DXHANDLE th = e->GetTechnique(t);
        D3DXTECHNIQUE_DESC td;
        if (!th || FAILED(e->GetTechniqueDesc(th, &td))) continue;
        std::printf("technique %s: %u passes\n", td.Name ? td.Name : "", td.Passes);
        PrintAnnotations(e, th, td.Annotations, "  ");
        for (UINT p = 0; p < td.Passes; ++p) {
            D3DXHANDLE ph = e->GetPass(th, p);
            D3DXPASS_DESC pd;
            if (!ph || FAILED(e->GetPassDesc(ph, &pd))) continue;
            std::printf("  pass %u %s\n", p, pd.Name && *pd.Name ? pd.Name : "(unnamed)");
            PrintAnnotations(e, ph, pd.Annotations, "    ");
            PrintStates(e, ph);
            PrintStage("vertex shader", pd.pVertexShaderFunction);
            PrintStage("pixel shader", pd.pPixelShaderFunction);
        }
    }
    e->Release();
    std::fflush(stdout);
    return 0;
}

// Linux: the window backend's compile when the program has it, else the headless one's;
// MESHES_PLATFORM picks one by name.
bool PickBackend(std::string& why) {
#ifdef _WIN32
    (void)why;
    return true;
#else
#ifdef FXTOOL_WITH_SDL_GL
    platform::RegisterSdlGlBackend();
    const char* fallback = "sdl";
#else
    const char* fallback = "headless";
#endif
    const char* chosen = std::getenv("MESHES_PLATFORM");
    return platform::Select(chosen && *chosen ? chosen : fallback, why);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage("no command");
    std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("fxtool %s\n", FXTOOL_VERSION);
        return 0;
    }
    if (command != "check" && command != "info" && command != "preview")
        return Usage("unknown command '" + command + "'");
    Options o;
    std::string why;
    std::vector<std::string> args(argv + 2, argv + argc);
    PreviewOptions preview;
    if (command == "preview" && !TakePreviewOptions(args, preview, why)) return Usage(why);
    std::vector<char*> rest = {argv[0], argv[1]};
    for (std::string& a : args) rest.push_back(&a[0]);
    if (!ReadOptions(static_cast<int>(rest.size()), rest.data(), 2, o, why)) return Usage(why);
    if (o.files.empty()) return Usage(command + " needs an effect file");
    if (command != "check" && o.files.size() != 1) return Usage(command + " takes one effect file");
    if (command == "preview") {
        std::vector<D3DXMACRO> macros;
        for (size_t i = 0; i < o.names.size(); ++i) macros.push_back({o.names[i].c_str(), o.values[i].c_str()});
        macros.push_back({NULL, NULL});
        IncludeDirs include(o.files[0], o.dirs);
        return Preview(o.files[0], macros.data(), &include, preview);
    }
    if (!PickBackend(why)) {
        std::fprintf(stderr, "fxtool: %s\n", why.c_str());
        return 2;
    }
    return command == "check" ? Check(o) : Info(o);
}
