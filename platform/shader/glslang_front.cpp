#include "platform/shader/glslang_front.h"

// The packaged glslang is built with its HLSL front end; its headers hide the HLSL options
// unless told so.
#ifndef ENABLE_HLSL
#define ENABLE_HLSL 1
#endif
#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv-tools/optimizer.hpp>

#include <list>
#include <memory>
#include <mutex>
#include <regex>

#include "platform/core/fx_include.h"
#include "platform/core/fxfile.h"
#include "platform/shader/legacy_rewrite.h"
#include "platform/shader/messages.h"

namespace hlsl {

namespace {

// `#include "file"`: read relative to the including file and found as every file of the
// system is (backslashes, case-blind), with its effect-only syntax blanked as the effect's is.
class EffectIncluder : public glslang::TShader::Includer {
public:
    IncludeResult* includeLocal(const char* header, const char* includer, size_t) override {
        std::string path = core::FxIncludePath(header, includer ? includer : ""), raw;
        if (!core::FxReadIncludeFile(path, raw)) return nullptr;
        core::FxFile fx;
        std::string err;
        contents_.push_back(core::ParseFx(raw, fx, err) ? fx.hlsl : raw);
        RenameReservedWords(contents_.back());
        const std::string& text = contents_.back();
        return new IncludeResult(path, text.data(), text.size(), nullptr);
    }
    IncludeResult* includeSystem(const char* header, const char* includer, size_t depth) override {
        return includeLocal(header, includer, depth);
    }
    void releaseInclude(IncludeResult* result) override { delete result; }

private:
    std::list<std::string> contents_;   // kept until the compile ends
};

// True when a loop of the module asks to be unrolled: an OpLoopMerge with the Unroll control.
bool HasUnrollLoop(const std::vector<uint32_t>& spirv) {
    const uint32_t kLoopMerge = 246, kUnroll = 1;
    for (size_t i = 5; i < spirv.size();) {
        uint32_t words = spirv[i] >> 16;
        if ((spirv[i] & 0xFFFF) == kLoopMerge && words >= 4 && i + 3 < spirv.size() && (spirv[i + 3] & kUnroll))
            return true;
        i += words ? words : 1;
    }
    return false;
}

// True when every [unroll] of `source` heads a `for (int i = A; i < B; ...)` of literal bounds
// and at most 1024 passes, the most Direct3D's compiler unrolls (X3511 past it); a loop it
// cannot see the end of is not unrolled, so that no source makes the unroller run away.
bool UnrollsAreBounded(const std::string& source) {
    static const std::regex kHead(
        R"(^\[unroll(\s*\(\s*\d+\s*\))?\s*\]\s*for\s*\(\s*(int|uint)?\s*(\w+)\s*=\s*(-?\d+)\s*;\s*(\w+)\s*(<=?)\s*(-?\d+)\s*;)");
    size_t found = 0;
    for (size_t at = source.find("[unroll"); at != std::string::npos; at = source.find("[unroll", at + 1)) {
        std::smatch m;
        std::string head = source.substr(at, 200);
        if (!std::regex_search(head, m, kHead) || m[3] != m[5]) return false;
        long long passes = std::stoll(m[7]) - std::stoll(m[4]) + (m[6] == "<=" ? 1 : 0);
        if (passes > 1024) return false;
        ++found;
    }
    return found > 0;
}

// Loops written [unroll] are unrolled as Direct3D's compiler unrolls them, where the count of
// passes is known: array indices then become constants, which a rasteriser reads far faster
// than indices it has to gather. Other loops stay loops.
void UnrollMarkedLoops(const std::string& source, std::vector<uint32_t>& spirv) {
    if (spirv.size() < 5 || !HasUnrollLoop(spirv) || !UnrollsAreBounded(source)) return;
    static const spv_target_env kByMinor[] = {SPV_ENV_UNIVERSAL_1_0, SPV_ENV_UNIVERSAL_1_1, SPV_ENV_UNIVERSAL_1_2,
                                              SPV_ENV_UNIVERSAL_1_3, SPV_ENV_UNIVERSAL_1_4, SPV_ENV_UNIVERSAL_1_5,
                                              SPV_ENV_UNIVERSAL_1_6};
    uint32_t minor = (spirv[1] >> 8) & 0xFF;
    spvtools::Optimizer optimizer(kByMinor[minor < 7 ? minor : 6]);
    optimizer.RegisterPass(spvtools::CreateLoopUnrollPass(true));
    optimizer.RegisterPass(spvtools::CreateSimplificationPass());
    optimizer.RegisterPass(spvtools::CreateAggressiveDCEPass());
    std::vector<uint32_t> unrolled;
    if (optimizer.Run(spirv.data(), spirv.size(), &unrolled) && !unrolled.empty()) spirv.swap(unrolled);
}

}  // namespace

bool HlslToSpirv(const std::string& source, const std::string& fileName, const std::string& where,
                 const std::string& entry, const std::string& compiledEntry, ShaderStage stage,
                 std::vector<uint32_t>& spirv, std::string& log) {
    static std::once_flag once;
    std::call_once(once, [] { glslang::InitializeProcess(); });
    EShLanguage lang = stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
    auto shader = std::make_unique<glslang::TShader>(lang);
    const char* src = source.c_str();
    int len = static_cast<int>(source.size());
    const char* name = fileName.c_str();
    shader->setStringsWithLengthsAndNames(&src, &len, &name, 1);
    shader->setEntryPoint(compiledEntry.c_str());
    shader->setSourceEntryPoint(compiledEntry.c_str());
    shader->setEnvInput(glslang::EShSourceHlsl, lang, glslang::EShClientOpenGL, 100);
    shader->setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader->setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader->setEnvTargetHlslFunctionality1();   // keeps the semantics in the SPIR-V
    shader->setHlslIoMapping(true);
    shader->setAutoMapLocations(true);
    shader->setAutoMapBindings(true);
    shader->setDxPositionW(true);
    EShMessages msgs =
        static_cast<EShMessages>(EShMsgSpvRules | EShMsgReadHlsl | EShMsgHlslDX9Compatible);
    EffectIncluder includer;
    if (!shader->parse(GetDefaultResources(), 100, false, msgs, includer)) {
        log += FormatLog(shader->getInfoLog(), source, fileName, where);
        if (log.empty()) log = where + ": error: " + entry + " does not compile\n";
        return false;
    }
    glslang::TProgram program;
    program.addShader(shader.get());
    if (!program.link(msgs) || !program.getIntermediate(lang)) {
        log += FormatLog(program.getInfoLog(), source, fileName, where);
        if (log.empty()) log = where + ": error: " + entry + " does not link\n";
        return false;
    }
    spv::SpvBuildLogger logger;
    glslang::SpvOptions options;
    options.disableOptimizer = false;   // legalises HLSL (samplers passed to functions)
    glslang::GlslangToSpv(*program.getIntermediate(lang), spirv, &logger, &options);
    std::string spvMessages = logger.getAllMessages();
    if (spirv.empty()) {
        log += where + ": error: " + entry + ": " + spvMessages + "\n";
        return false;
    }
    UnrollMarkedLoops(source, spirv);
    return true;
}

}  // namespace hlsl
