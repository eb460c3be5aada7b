// Direct3D 9 style HLSL turned into GLSL 3.30 core: glslang's HLSL front end (DirectX 9
// compatible mode) makes SPIR-V, SPIRV-Cross makes GLSL. Needs no GL context: the OpenGL
// backend links the result, the headless backend compiles to find the same errors.
// The GLSL follows fixed conventions so that any vertex and pixel stage link together:
//  - vertex inputs sit at the device's attribute locations (POSITION 0, NORMAL 1, COLOR0 2,
//    COLOR1 3, PSIZE 4, TEXCOORDn 5+n; other semantics 13..15, which no vertex format feeds);
//  - varyings are named after their semantic ("dx_TEXCOORD1"), so stages match by name;
//  - the vertex stage writes gl_Position from its POSITION output, moved half a pixel as
//    Direct3D 9 places pixel centres (uniform kHalfPixelUniform) and with depth 0..w mapped
//    to GL's -w..w, and y negated since the device keeps its back buffer top row first;
//    COLOR outputs are clamped to 0..1;
//  - pixel stages end with the alpha test (kAlphaFuncUniform, kAlphaRefUniform) when
//    kAlphaTestDefine is defined; VPOS and ddy take the target's row order from
//    kRowFromFragYUniform;
//  - globals become members of a plain uniform struct per stage, members named "m<i>";
//    samplers are renamed "<stage>_s<i>". The tables below give the HLSL names back.
// Not done: Direct3D 10 style textures and sampler objects, DEPTH outputs of vs stages.
#pragma once

#include <string>
#include <vector>

namespace core {
struct FxFile;
}

namespace hlsl {

enum class ShaderStage { Vertex, Pixel };

// Base types of a uniform.
enum class HlslBase { Float, Int, Bool, Other };

// One HLSL global as the compiled stage sees it.
struct HlslUniform {
    std::string glslName;   // e.g. "vs_u.m3" (arrays without [0])
    std::string hlslName;   // e.g. "mat_World_View_Proj"
    HlslBase base = HlslBase::Float;
    int rows = 1, columns = 1;   // HLSL orientation: float4x3 has 4 rows, 3 columns
    int elements = 0;            // array length, 0 for no array
    bool fixed = false;          // a uniform parameter of the entry, bound by the compile call
    std::vector<float> fixedValue;
    bool used = true;            // read by the stage's code (not only declared in its struct)
};

struct HlslSampler {
    std::string glslName;   // e.g. "ps_s0"
    std::string hlslName;
    bool used = true;       // read by the stage's code (not only declared)
    int reg = -1;           // sampler register sN, given by AssignSamplerRegisters
};

// A uniform of a shader assembly stage that no effect parameter feeds: its constant registers
// (arrays from register 0, set by the pass's shader constant states) and the bump matrices of
// texture stages (D3DTSS_BUMPENVMAT00..11 as (00, 01, 10, 11); LSCALE and LOFFSET).
struct RegisterUniform {
    enum Kind { FloatConstants, IntConstants, BoolConstants, BumpMatrix, BumpLuminance };
    Kind kind = FloatConstants;
    std::string glslName;   // "vs_c", "ps_i", "ps_bumpMat1"
    int count = 1;          // registers in the array
    int stageIndex = 0;     // BumpMatrix, BumpLuminance: the texture stage
};

struct HlslStage {
    ShaderStage stage = ShaderStage::Vertex;
    std::string glsl;
    std::vector<HlslUniform> uniforms;
    std::vector<HlslSampler> samplers;
    std::vector<RegisterUniform> registerUniforms;   // shader assembly only
};

// Name of the vec2 uniform of every vertex stage: (1 / viewport width, 1 / viewport height).
extern const char* const kHalfPixelUniform;
// Pixel stages writing COLOR0 apply Direct3D's alpha test after the shader: an int uniform
// (D3DCMP value, 8 = always) and a float reference in 0..1.
extern const char* const kAlphaFuncUniform;
extern const char* const kAlphaRefUniform;
// The macro that builds the alpha test into a pixel stage (#define it after #version).
extern const char* const kAlphaTestDefine;
// vec2 uniform of every pixel stage: (offset, scale) turning gl_FragCoord.y into the row from
// the top of the target, for VPOS and the sign of ddy.
extern const char* const kRowFromFragYUniform;

// The stage a profile compiles for: vs_1_1..vs_3_0 and ps_1_1..ps_3_0 (with _a/_b variants).
bool ProfileStage(const std::string& profile, ShaderStage& stage);

// Compiles function `entry` of `hlsl` for `profile`. `fileName` is used in messages only.
// `arguments` is the text between the parentheses of `compile profile entry(...)`: values for
// the entry's uniform parameters, in order (numbers, true, false). On failure `log` holds the
// compiler's messages, one a line, as D3DX gives them: "file(line,col): error X3004: message".
// `line` (0 when unknown) is where the compile statement stands, for messages the compiler
// cannot place itself. Source nested deeper than the compiler can follow (over 1024 brackets
// and operators, or 64 flow control statements) fails with a message at the line it happens.
// glslang and SPIRV-Cross run in a child process kept for the purpose, on a stack those limits
// fit: a source they crash on, or spend over 8 s of processor time on, fails with a message
// at `line`.
bool CompileHlsl(const std::string& hlsl, const std::string& fileName, int line,
                 const std::string& entry, const std::string& profile,
                 const std::string& arguments, HlslStage& out, std::string& log);

// Gives each sampler `stage` reads its register from the declarations in `fx`, as the D3D9
// compiler does: register(sN) where the declaration gives one, else the lowest free register
// in declaration order. Both backends decide with it: false when a sampler the code reads gets
// no register of its stage (vertex shaders have s0..s3, pixel shaders s0..s15); `why` says which.
bool AssignSamplerRegisters(const core::FxFile& fx, HlslStage& stage, std::string& why);

}  // namespace hlsl
