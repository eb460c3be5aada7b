// Shader assembly as an effect's asm block holds it: any text assembles into GLSL or fails
// with one message in D3DX's shape; neither both nor none.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/shader/asm_shader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    hlsl::HlslStage stage;
    std::string log;
    bool ok = hlsl::AssembleShader(text, 3, 7, text, "f.fx", stage, log);
    if (ok ? stage.glsl.empty() || !log.empty() : log.find(": error: ") == std::string::npos) std::abort();
    hlsl::AssemblyProfile(text);
    return 0;
}
