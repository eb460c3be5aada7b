#include "platform/shader/glsl_conventions.h"

namespace hlsl {

int AttributeLocation(const std::string& base, int index) {
    if (base == "POSITION" && index == 0) return 0;
    if (base == "NORMAL" && index == 0) return 1;
    if (base == "COLOR" && index < 2) return 2 + index;
    if (base == "PSIZE" && index == 0) return 4;
    if (base == "TEXCOORD" && index < 8) return 5 + index;
    return -1;
}

std::string StageUniforms(ShaderStage stage, bool color0) {
    if (stage == ShaderStage::Vertex) return "uniform vec2 " + std::string(kHalfPixelUniform) + ";\n";
    std::string s;
    if (color0)
        s = "uniform int " + std::string(kAlphaFuncUniform) + ";\nuniform float " + kAlphaRefUniform + ";\n";
    return s + "uniform vec2 " + kRowFromFragYUniform + ";\n";
}

std::string PositionEpilogue(const std::string& position) {
    std::string s = position.empty() ? std::string() : "    gl_Position = " + position + ";\n";
    return s + "    gl_Position.xy += vec2(" + kHalfPixelUniform + ".x, -" + kHalfPixelUniform +
           ".y) * gl_Position.w;\n"
           "    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;\n"
           // The device keeps its back buffer top row first, as the fixed-function programs
           // draw it.
           "    gl_Position.y = -gl_Position.y;\n";
}

std::string AlphaTestEpilogue() {
    // Direct3D's alpha test follows the pixel shader: compare function 8 passes all.
    return "#ifdef " + std::string(kAlphaTestDefine) + "\n"
           "    if (" + kAlphaFuncUniform + " != 8) {\n"
           "        float a = dx_out_COLOR0.a, r = " + kAlphaRefUniform + ";\n"
           "        int f = " + kAlphaFuncUniform + ";\n"
           "        bool keep = f == 2 ? a < r : f == 3 ? a == r : f == 4 ? a <= r :\n"
           "                    f == 5 ? a > r : f == 6 ? a != r : f == 7 ? a >= r : false;\n"
           "        if (!keep) discard;\n"
           "    }\n"
           "#endif\n";
}

std::string PixelPosition() {
    // Pixel rows count from the top whichever way the target's rows are stored.
    return std::string("floor(vec2(gl_FragCoord.x, ") + kRowFromFragYUniform + ".x + " + kRowFromFragYUniform +
           ".y * gl_FragCoord.y))";
}

std::string FaceSign() { return "(gl_FrontFacing ? 1.0 : -1.0)"; }

}  // namespace hlsl
