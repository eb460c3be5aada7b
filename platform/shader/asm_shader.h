// Direct3D 9 shader assembly (the asm { } blocks of effect files) translated to GLSL 3.30 core
// with the conventions of hlsl_compiler.h, so that an assembly stage links with an HLSL stage or
// with Direct3D's fixed-function stage and runs on the device's machinery unchanged:
//  - vertex inputs at the attribute location of their dcl usage, varyings "dx_<SEMANTIC><n>"
//    (oD# COLOR, oT# TEXCOORD, oFog FOG, oPts PSIZE; vs_3_0 and ps_3_0 by their dcl), the
//    position moved, remapped and flipped as hlsl_compiler.h says, COLOR outputs clamped;
//  - pixel stages end with the alpha test; ps_1_x writes r0 as COLOR0;
//  - sampler register N is the uniform "<stage>_s<N>" (HlslSampler::reg N, no HLSL name);
//  - constant registers are uniform arrays that the effect fills from its shader constant
//    states (HlslStage::registerUniforms); def, defi and defb values are in the code and win.
// What the instructions compute follows Direct3D 9's definitions (Wine's shader translation is
// the record consulted): ps_1_x constants read clamped to -1..1, texcoord clamps to 0..1,
// texbem/bem read the stage's bump matrix, texdepth writes depth.
// Not done: ps_1_x projected texture reads (D3DTTFF_PROJECTED), the ps_1_4 phase's loss of
// alpha, point sprites from oPts.
#pragma once

#include <string>

#include "platform/shader/hlsl_compiler.h"

namespace hlsl {

// The version an assembly text starts with, as a profile name ("vs_1_1"; "ps_1_4" for
// ps.1.4); "" when it starts with none.
std::string AssemblyProfile(const std::string& text);

// Translates `text`, an assembly program whose first character stands at line `line`, column
// `column` of `source`, the preprocessed effect text (framed by `#line N "file"` directives)
// whose top file is `top`. On failure `log` holds the message at its place in the original
// file: "file(line,col): error: text" (core::FxD3dxMessages adds the code).
bool AssembleShader(const std::string& text, int line, int column, const std::string& source,
                    const std::string& top, HlslStage& out, std::string& log);

}  // namespace hlsl
