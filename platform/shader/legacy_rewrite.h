// The Direct3D 9 compiler's constructs that glslang's HLSL front end lacks, rewritten into
// plain HLSL before it sees the source.
#pragma once

#include <string>

namespace hlsl {

// Rewrites the Direct3D 9 compiler's constructs that glslang's HLSL front end lacks into
// plain HLSL, keeping every line where it was:
//  - a vector cast to an array, `(float[4])v`, which takes the vector's components in turn;
//  - a constructor as an assignment target, `float4(a, b) = e;`, which assigns e's
//    components to a and b in turn;
//  - an array of vectors initialised with one flat list of numbers.
std::string RewriteLegacyHlsl(const std::string& in);

}  // namespace hlsl
