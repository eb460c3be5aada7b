// glslang's HLSL front end (Direct3D 9 compatible mode): HLSL to SPIR-V that keeps the
// semantics, with #include read as the effect's own includes are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/shader/hlsl_compiler.h"

namespace hlsl {

// Compiles function `compiledEntry` of `source` (named `fileName` in messages) for `stage`.
// On failure `log` gets the messages; `entry` is the name they give the entry, and those
// glslang does not place point at `where`.
bool HlslToSpirv(const std::string& source, const std::string& fileName, const std::string& where,
                 const std::string& entry, const std::string& compiledEntry, ShaderStage stage,
                 std::vector<uint32_t>& spirv, std::string& log);

}  // namespace hlsl
