// SPIR-V to GLSL 3.30 by SPIRV-Cross, with the conventions of hlsl_compiler.h: inputs at the
// device's attribute locations, varyings linked by semantic register, globals and samplers
// renamed, and what Direct3D 9 adds around a shader (half-pixel offset, depth range, alpha
// test, VPOS and VFACE).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/shader/hlsl_compiler.h"

namespace hlsl {

// Turns SPIR-V into GLSL 3.30 with the naming conventions of the header.
bool SpirvToGlsl(const std::vector<uint32_t>& spirv, ShaderStage stage, HlslStage& out,
                 std::string& log);

}  // namespace hlsl
