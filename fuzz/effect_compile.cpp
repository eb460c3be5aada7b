// The whole effect compile as both backends run it: the preprocessor, the effect reader, and
// each pass's shaders through glslang and SPIRV-Cross with their sampler registers, or through
// the assembler, its shader constant states, and the source rewrites in this process. Any text
// compiles or fails with messages; none may crash or exhaust the stack. Includes read nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/core/fx_shader_constants.h"
#include "platform/core/fxfile.h"
#include "platform/core/fxfile_preprocess.h"
#include "platform/shader/asm_shader.h"
#include "platform/shader/hlsl_compiler.h"
#include "platform/shader/legacy_rewrite.h"

namespace {

bool ReadNothing(const std::string&, std::string&) { return false; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    core::FxPreprocessed pre;
    core::FxFile fx;
    std::string err;
    if (!core::LoadFx(text, "f.fx", pre, fx, err, ReadNothing)) {
        if (err.find("error X") == std::string::npos) std::abort();
        return 0;
    }
    // The source rewrites run in the compile server, where a fault would only fail the
    // compile; here the fuzzer sees them.
    std::string rewritten = hlsl::RewriteLegacyHlsl(fx.hlsl);
    hlsl::MoveCalledInitializers(rewritten);
    hlsl::RenameReservedWords(rewritten);
    hlsl::SourceNames(rewritten);
    for (const core::FxTechnique& t : fx.techniques)
        for (const core::FxPass& p : t.passes)
            for (const core::FxState& s : p.states) {
                core::FxConstantState constant;
                if (core::FxIsShaderConstantState(s.name) && core::FxReadShaderConstant(fx, s, constant, err))
                    core::FxConstantRegisters(constant, core::FxShape(), false, {1, 2, 3});
                core::FxState state;
                if (!core::ResolveShaderState(fx, s, state, err)) continue;
                hlsl::HlslStage stage;
                std::string log, why;
                if (state.isAsm) {
                    bool ok = hlsl::AssembleShader(state.assembly.text, state.assembly.line, state.assembly.column,
                                                   fx.hlsl, "f.fx", stage, log);
                    if (ok ? stage.glsl.empty() || !log.empty() : log.empty()) std::abort();   // one or the other
                    continue;
                }
                if (!state.isCompile) continue;
                if (hlsl::CompileHlsl(fx.hlsl, "f.fx", state.line, state.entry, state.profile,
                                      state.arguments, stage, log)) {
                    if (stage.glsl.empty()) std::abort();
                    hlsl::AssignSamplerRegisters(fx, stage, why);
                } else if (log.empty()) {
                    std::abort();   // a failure says why
                }
            }
    return 0;
}
