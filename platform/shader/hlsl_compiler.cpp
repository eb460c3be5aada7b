#include "platform/shader/hlsl_compiler.h"

// The compile in stages, one file each: the nesting check (nesting_limits.cpp) in this process,
// then in the compile server (compile_server.cpp) the entry scan and argument binding
// (entry_binding.cpp), the legacy rewrite (legacy_rewrite.cpp), glslang's front end
// (glslang_front.cpp) and SPIR-V to GLSL with the varyings (spirv_to_glsl.cpp). Messages take
// D3DX's shape in messages.cpp.

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "platform/core/fxfile.h"
#include "platform/core/fxfile_preprocess.h"
#include "platform/shader/compile_server.h"
#include "platform/shader/entry_binding.h"
#include "platform/shader/glslang_front.h"
#include "platform/shader/hlsl_text.h"
#include "platform/shader/legacy_rewrite.h"
#include "platform/shader/messages.h"
#include "platform/shader/nesting_limits.h"
#include "platform/shader/spirv_to_glsl.h"

namespace hlsl {

const char* const kHalfPixelUniform = "dx_halfPixel";
const char* const kAlphaFuncUniform = "dx_alphaFunc";
const char* const kAlphaTestDefine = "DX_ALPHA_TEST";
const char* const kRowFromFragYUniform = "dx_rowFromFragY";
const char* const kAlphaRefUniform = "dx_alphaRef";

bool ProfileStage(const std::string& profile, ShaderStage& stage) {
    static const char* const kVertex[] = {"vs_1_1", "vs_2_0", "vs_2_a", "vs_2_sw", "vs_3_0"};
    static const char* const kPixel[] = {"ps_1_1", "ps_1_2", "ps_1_3", "ps_1_4", "ps_2_0",
                                         "ps_2_a", "ps_2_b", "ps_2_sw", "ps_3_0"};
    std::string p = profile;
    for (char& c : p) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* v : kVertex)
        if (p == v) { stage = ShaderStage::Vertex; return true; }
    for (const char* v : kPixel)
        if (p == v) { stage = ShaderStage::Pixel; return true; }
    return false;
}

bool CompileStages(const std::string& hlsl, const std::string& fileName, int line,
                   const std::string& entry, const std::string& profile,
                   const std::string& arguments, HlslStage& out, std::string& log) {
    // Messages that the compiler does not place point at the compile statement.
    const std::string where = line > 0 ? fileName + "(" + std::to_string(line) + ")" : fileName;

    out = HlslStage();
    ShaderStage stage;
    if (!ProfileStage(profile, stage)) {
        log += where + ": error: unknown shader profile '" + profile + "'\n";
        return false;
    }
    out.stage = stage;

    // Arguments of the compile call give the entry's uniform parameters fixed values.
    EntrySignature sig = FindEntry(hlsl, entry);
    if (!sig.defined) {
        log += where + ": error: '" + entry + "': entrypoint not found\n";
        return false;
    }
    if (sig.unnamedParam) {
        log += where + ": error X3000: '" + entry + "': a parameter of the entry point has no name\n";
        return false;
    }
    std::vector<std::string> uniformParams = sig.UniformNames();
    std::vector<std::string> args = SplitTopLevel(arguments);
    if (args.size() > uniformParams.size()) {
        log += where + ": error: " + entry + " is compiled with " +
               std::to_string(args.size()) + " arguments but has " +
               std::to_string(uniformParams.size()) + " uniform parameters\n";
        return false;
    }
    // Literal arguments become fixed values of the entry's uniforms; any other expression
    // is compiled into a function that calls the entry with it.
    std::vector<std::vector<float>> argValues(args.size());
    bool literals = true;
    for (size_t i = 0; i < args.size(); ++i) literals = literals && ParseArgument(args[i], argValues[i]);
    std::string source = RewriteLegacyHlsl(hlsl);
    std::string prologue = MoveCalledInitializers(source);
    BlankEntryPrototypes(source, entry);
    std::string compiledEntry = entry;
    if (!literals || !prologue.empty()) {
        // Literal arguments stay fixed values of the uniforms the function passes on.
        source += BoundEntry(sig, entry, literals ? std::vector<std::string>() : args, fileName, line, prologue);
        compiledEntry = kBoundEntry;
        if (!literals) args.clear();
    }
    RenameReservedWords(source);
    compiledEntry = CompilerName(compiledEntry);
    std::vector<uint32_t> spirv;
    if (!HlslToSpirv(source, fileName, where, entry, compiledEntry, stage, spirv, log)) return false;
    std::string translateLog;
    if (!SpirvToGlsl(spirv, stage, out, translateLog)) {
        log += where + ": " + entry + ": " + translateLog;
        return false;
    }
    // Mark the uniform parameters bound by the compile call.
    for (size_t i = 0; i < args.size(); ++i) {
        for (HlslUniform& u : out.uniforms) {
            if (u.hlslName == uniformParams[i]) {
                u.fixed = true;
                u.fixedValue = argValues[i];
            }
        }
    }
    return true;
}

bool AssignSamplerRegisters(const core::FxFile& fx, HlslStage& stage, std::string& why) {
    // As the D3D9 compiler does: register(sN) where the declaration gives one, then the
    // lowest free register for each other sampler the code reads, in declaration order.
    auto DeclIndex = [&](const std::string& n) -> int {
        for (size_t i = 0; i < fx.params.size(); ++i)
            if (fx.params[i].name == n) return static_cast<int>(i);
        return static_cast<int>(fx.params.size());
    };
    std::vector<bool> taken(16, false);
    std::vector<std::pair<int, HlslSampler*>> rest;
    for (HlslSampler& s : stage.samplers) {
        if (!s.used) continue;
        int d = DeclIndex(s.hlslName);
        if (d < static_cast<int>(fx.params.size()) && fx.params[static_cast<size_t>(d)].registerKind == 's' &&
            fx.params[static_cast<size_t>(d)].registerIndex >= 0 &&
            fx.params[static_cast<size_t>(d)].registerIndex < 16) {
            s.reg = fx.params[static_cast<size_t>(d)].registerIndex;
            taken[static_cast<size_t>(s.reg)] = true;
        } else {
            rest.emplace_back(d, &s);
        }
    }
    std::stable_sort(rest.begin(), rest.end(),
                     [](const std::pair<int, HlslSampler*>& a, const std::pair<int, HlslSampler*>& b) {
                         return a.first < b.first;
                     });
    for (auto& r : rest) {
        size_t n = 0;
        while (n < taken.size() && taken[n]) ++n;
        if (n == taken.size()) break;
        taken[n] = true;
        r.second->reg = static_cast<int>(n);
    }
    // A sampler without a register of its stage would read nothing: vertex shaders have
    // s0..s3 (device stages 257..260), pixel shaders s0..s15.
    bool vertex = stage.stage == ShaderStage::Vertex;
    std::string over;
    for (const HlslSampler& s : stage.samplers)
        if (s.used && (s.reg < 0 || s.reg >= (vertex ? 4 : 16)))
            over += (over.empty() ? "" : ", ") + s.hlslName;
    if (over.empty()) return true;
    why = "sampler " + over + " has no sampler register (" +
          (vertex ? "vertex shaders have s0..s3" : "pixel shaders have s0..s15") + ")";
    return false;
}

bool CompileHlsl(const std::string& hlsl, const std::string& fileName, int line,
                 const std::string& entry, const std::string& profile,
                 const std::string& arguments, HlslStage& out, std::string& log) {
    std::string own;
    bool ok = false;
    std::string deep = NestingError(hlsl, fileName);
    if (!deep.empty()) {
        own = FormatLog(deep, hlsl, fileName, fileName);
    } else {
        ok = CompileInServer(hlsl, fileName, line, entry, profile, arguments, out, own);
    }
    log += core::FxD3dxMessages(own);
    return ok;
}

}  // namespace hlsl
