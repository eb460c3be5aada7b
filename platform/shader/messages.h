// The compiler's messages in the shape D3DX gives them. glslang writes
// "ERROR: file:line: message"; D3DX writes "file(line,col): error Xnnnn: message" (the code is
// added by core::FxD3dxMessages). The column is found in the file as written.
#pragma once

#include <string>

namespace hlsl {

// glslang's log `raw` for `source` (top file `top`) in D3DX's shape; messages without a place
// go to `where`.
std::string FormatLog(const std::string& raw, const std::string& source, const std::string& top,
                      const std::string& where);

}  // namespace hlsl
