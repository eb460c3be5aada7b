// The compile server: glslang and SPIRV-Cross crash on some malformed sources, and a crash there
// must be a failed compile, not the end of the program. They run in a child process forked on
// the first compile and kept, on a stack the nesting limits fit.
#pragma once

#include <string>

#include "platform/shader/hlsl_compiler.h"

namespace hlsl {

// CompileHlsl's work in this process, without the nesting check or D3DX's message codes: what
// the server runs for each request (hlsl_compiler.cpp).
bool CompileStages(const std::string& hlsl, const std::string& fileName, int line,
                   const std::string& entry, const std::string& profile,
                   const std::string& arguments, HlslStage& out, std::string& log);

// CompileStages run by the compile server. A compile that crashes the server or overruns its
// time fails with a message at `line`; the next compile starts a new server.
bool CompileInServer(const std::string& hlsl, const std::string& fileName, int line,
                     const std::string& entry, const std::string& profile,
                     const std::string& arguments, HlslStage& out, std::string& log);

}  // namespace hlsl
