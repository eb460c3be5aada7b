// Where a compiled vertex stage puts its vertices. Most effects write their position output as
// the input position times one matrix parameter, or a product of a few; then the device can
// tell, from a mesh's bounds and those matrices' values at a draw, that the draw lies wholly
// outside the view volume and need not be rasterised. Anything else in the position's
// expression (an added offset, a branch, a skinning loop, a texture read) leaves it unknown.
#pragma once

#include <string>
#include <vector>

#include "platform/shader/hlsl_compiler.h"

namespace sdlgl {

using hlsl::HlslBase;
using hlsl::HlslStage;
using hlsl::HlslUniform;
using hlsl::ShaderStage;

struct PositionFactor {
    std::string hlslName;      // a float4x4 parameter of the effect
    bool transposed = false;   // the shader uses the transpose of its value
};

// clip = position * R1 * R2 * ... * Rn in the row-vector convention, where Ri is factor i's
// value as SetMatrix stores it (row by row), transposed when flagged. No factors: the input
// position is the clip-space position itself.
struct PositionTransform {
    bool known = false;
    std::vector<PositionFactor> factors;
};

// Reads the GLSL of a vertex stage made by CompileHlsl.
PositionTransform AnalysePosition(const HlslStage& vertexStage);

}  // namespace sdlgl
