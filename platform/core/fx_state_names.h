// The state names an effect file may assign in a pass or a sampler_state block: every state
// Direct3D 9's effect framework knows, written as effect files write them (the D3D name
// without its D3DRS_/D3DTSS_/D3DSAMP_ prefix, transforms as WorldTransform, ViewTransform,
// ProjectionTransform and TextureTransform). Compared case-blind. An assignment to any other
// name makes the effect fail to load, as it does with D3DX; both backends check it here.
#pragma once

#include <string>

#include "platform/core/fxfile.h"
#include "platform/core/fxfile_preprocess.h"

namespace core {

// True when `name` is a state of a pass (`inSampler` false: every state, sampler states
// included, which a pass writes with an index) or of a sampler_state block (sampler states
// and Texture only).
bool IsFxStateName(const std::string& name, bool inSampler);

// Effect files name states and their values in any case: "ZWriteEnable", "ZWRITEENABLE".
bool EqualNoCase(const std::string& a, const char* b);

// One error message line for each assignment in `fx` (passes and
// sampler_state blocks) to a name that is no state; empty when all are states. `pre` and
// `name` place the lines in the original files.
std::string UnknownFxStates(const FxFile& fx, const FxPreprocessed& pre, const std::string& name);

}  // namespace core
