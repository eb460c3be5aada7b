// Direct3D 9 shader assembly read into instructions. A program is its version (vs_1_1, vs_2_0,
// vs_2_x, vs_3_0, ps_1_1 .. ps_1_4, ps_2_0, ps_2_x, ps_3_0; also written vs.1.1, ps.1.4), then
// instructions: an opcode with its modifiers (mul_x2_sat, texld_pp, if_gt, dcl_texcoord1) and
// operands separated by commas. A `+` before an opcode co-issues it with the one before
// (ps_1_x), `(p0)` or `(!p0.x)` predicates it. Comments run from // or ; to the end of the
// line; lines that begin with # (#line) are skipped. Opcodes and register names are read
// case-blind. Registers and instructions are checked against what the version has: register
// kinds and numbers, which registers may be written, the operand count.
// Not checked: the rules the runtime adds on top (registers read before written, the order of
// the texture instructions in ps_1_x, instruction counts).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/shader/hlsl_compiler.h"

namespace hlsl {

enum class AsmFile : uint8_t {
    Temp,          // r#
    Input,         // v#
    Const,         // c#
    ConstInt,      // i#
    ConstBool,     // b#
    Texture,       // t#: ps_1_x texture registers, ps_2_0 texture coordinates
    Sampler,       // s#
    Address,       // a0
    Loop,          // aL
    Predicate,     // p0
    Label,         // l#
    Position,      // oPos
    Fog,           // oFog
    PointSize,     // oPts
    ColorOut,      // oD#
    TexCoordOut,   // oT#
    Output,        // o# (vs_3_0)
    PixelColor,    // oC#
    Depth,         // oDepth
    PixelPos,      // vPos
    Face           // vFace
};

struct AsmRegister {
    AsmFile file = AsmFile::Temp;
    int index = 0;
    // c[a0.x + n], v[aL + n]: the index register (Address or Loop) and its component.
    bool relative = false;
    AsmFile relFile = AsmFile::Address;
    int relComponent = 0;
};

enum class AsmSrcMod : uint8_t {
    None, Neg, Bias, BiasNeg, Sign, SignNeg, Comp, X2, X2Neg, Dz, Dw, Abs, AbsNeg, Not
};

struct AsmSource {
    AsmRegister reg;
    uint8_t swizzle[4] = {0, 1, 2, 3};   // components 0..3 (x, y, z, w)
    AsmSrcMod mod = AsmSrcMod::None;
};

struct AsmDest {
    AsmRegister reg;
    unsigned mask = 0xF;   // bit i: component i written
    bool saturate = false;
    int shift = 0;         // result times 2^shift: _x2 1, _x4 2, _x8 3, _d2 -1, _d4 -2, _d8 -3
};

enum class AsmOp : uint8_t {
    Nop, Mov, Add, Sub, Mad, Mul, Rcp, Rsq, Dp3, Dp4, Min, Max, Slt, Sge, Abs, Exp, Log, Expp,
    Logp, Dst, Lrp, Frc, Pow, Crs, Sgn, Nrm, SinCos, M4x4, M4x3, M3x4, M3x3, M3x2, Lit, Mova,
    Cnd, Cmp, Dp2Add, Bem, Dsx, Dsy,
    Tex,        // tex (ps_1_1..1_3), texld (ps_1_4 with two operands, 2_0 and up with three)
    TexLdp, TexLdb, TexLdl, TexLdd,
    TexCoord,   // texcoord (ps_1_1..1_3), texcrd (ps_1_4)
    TexKill, TexBem, TexBeml, TexReg2Ar, TexReg2Gb, TexReg2Rgb, TexM3x2Pad, TexM3x2Tex,
    TexM3x2Depth, TexM3x3Pad, TexM3x3Tex, TexM3x3Spec, TexM3x3VSpec, TexM3x3, TexDp3,
    TexDp3Tex, TexDepth, Phase,
    Dcl, Def, DefI, DefB,
    If, IfC, Else, EndIf, Loop, EndLoop, Rep, EndRep, Break, BreakC, BreakP, Call, CallNz,
    Label, Ret, SetP
};

enum class AsmCompare : uint8_t { None, Gt, Eq, Ge, Lt, Ne, Le };

enum class AsmSamplerType : uint8_t { Unknown, Tex2D, Cube, Volume };

struct AsmInstruction {
    AsmOp op = AsmOp::Nop;
    std::string name;   // the opcode as written, for messages
    int line = 0, column = 0;
    bool coissue = false;
    bool predicated = false, predicateNot = false;
    uint8_t predicateSwizzle[4] = {0, 1, 2, 3};
    AsmCompare compare = AsmCompare::None;
    bool hasDest = false;
    AsmDest dest;
    std::vector<AsmSource> src;
    // dcl: the usage ("TEXCOORD") and its index, or the sampler type.
    std::string usage;
    int usageIndex = 0;
    AsmSamplerType sampler = AsmSamplerType::Unknown;
    float values[4] = {0, 0, 0, 0};   // def, defi, defb (true 1)
};

struct AsmProgram {
    ShaderStage stage = ShaderStage::Vertex;
    int major = 1, minor = 1;   // 2_x reads as minor 1 (vs_2_x, ps_2_x)
    int line = 0;               // where the version stands; 0 until it is read
    std::vector<AsmInstruction> code;
    std::string Profile() const;   // "vs_1_1", "ps_2_x"
    // The version as one number: 11 .. 14, 20, 21 (2_x), 30.
    int Version() const { return major * 10 + minor; }
};

struct AsmError {
    int line = 0, column = 0;   // in the text's own numbering (first line and column given)
    std::string text;
};

// Reads `text`, whose first character stands at `line`, `column` (lines after the first
// start at column 1). False with `err` at the first fault.
bool ReadAssembly(const std::string& text, int line, int column, AsmProgram& out, AsmError& err);

}  // namespace hlsl
