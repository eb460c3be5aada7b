// What every stage translated for the device writes alike, from HLSL or from shader assembly,
// so that any vertex stage links with any pixel stage and the device feeds them all the same
// way (hlsl_compiler.h lists the conventions). Text only: no GL is needed.
#pragma once

#include <string>

#include "platform/shader/hlsl_compiler.h"

namespace hlsl {

// Attribute location of a vertex input semantic ("TEXCOORD", 1); -1 for semantics no vertex
// format carries.
int AttributeLocation(const std::string& base, int index);

// The uniforms a stage declares after #version: the half-pixel offset of vertex stages; the
// row mapping of pixel stages and, for those writing COLOR0 (`color0`), the alpha test's.
std::string StageUniforms(ShaderStage stage, bool color0);

// The statements that end a vertex stage: gl_Position set from `position` (none when empty),
// moved half a pixel, its depth mapped to GL's range and y flipped.
std::string PositionEpilogue(const std::string& position);

// The alpha test on dx_out_COLOR0 that ends a pixel stage, built in where kAlphaTestDefine is
// defined.
std::string AlphaTestEpilogue();

// VPOS, the pixel's integer coordinates counted from the top row (a vec2), and VFACE, positive
// on front faces (a float), from GL's built-ins.
std::string PixelPosition();
std::string FaceSign();

}  // namespace hlsl
