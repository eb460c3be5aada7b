// How deep a source may nest before the compile refuses it, and the scan that finds where a
// source goes deeper.
#pragma once

#include <cstddef>
#include <string>

namespace hlsl {

// glslang's parser, its SPIR-V generator and SPIRV-Cross recurse once per level of nesting, so a
// deep enough source would overflow any stack. Sources nested deeper than these limits are
// refused before compiling; the compile server is forked from a thread whose stack the
// limits provably fit (kCompileStack). Per level the compile was measured to need at most
// about 2.3 KB for a bracket or an operator (parentheses, calls, constructors) and 5.4 KB for
// a flow control statement, so the limits need under 3 MB.
constexpr int kMaxExpressionNesting = 1024;   // brackets, plus operators within each bracket
constexpr int kMaxFlowNesting = 64;           // if/for/while/do/switch, an else-if as one more
constexpr size_t kCompileStack = size_t(64) << 20;

// The first place in `hlsl` (text framed by `#line N "file"` lines, top file `top`) nested deeper
// than the limits, as glslang writes an error: "ERROR: file:line: 'token' : text"; "" when none.
std::string NestingError(const std::string& hlsl, const std::string& top);

}  // namespace hlsl
