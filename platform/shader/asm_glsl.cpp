// Shader assembly to GLSL: registers become GLSL variables of the same names (r0, v1, t2; the
// outputs dx_oPos, dx_oD0, dx_oT1, o3, dx_oC0), each instruction one assignment through the
// destination's write mask, flow control GLSL's own, labels functions. Co-issued pairs compute
// both results before either is written, as the hardware runs them side by side.
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "platform/core/file_bytes.h"
#include "platform/core/fxfile_preprocess.h"
#include "platform/shader/asm_reader.h"
#include "platform/shader/asm_shader.h"
#include "platform/shader/glsl_conventions.h"

namespace hlsl {

namespace {

std::string Num(float v) {
    if (!std::isfinite(v)) v = std::isnan(v) ? 0.0f : v > 0 ? 3.4e38f : -3.4e38f;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    std::string s = buf;
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    return s;
}

std::string Vec4(const float v[4]) {
    return "vec4(" + Num(v[0]) + ", " + Num(v[1]) + ", " + Num(v[2]) + ", " + Num(v[3]) + ")";
}

const char kXyzw[] = "xyzw";

std::string MaskText(unsigned mask) {
    if (mask == 0xF) return "";
    std::string s = ".";
    for (int k = 0; k < 4; ++k)
        if (mask & (1u << k)) s += kXyzw[k];
    return s;
}

std::string SwizzleText(const uint8_t sw[4]) {
    if (sw[0] == 0 && sw[1] == 1 && sw[2] == 2 && sw[3] == 3) return "";
    std::string s = ".";
    for (int k = 0; k < 4; ++k) s += kXyzw[sw[k]];
    return s;
}

// A source modifier applied to a value (vec4 or float).
std::string Modified(AsmSrcMod mod, const std::string& x) {
    switch (mod) {
        case AsmSrcMod::Neg: return "(-" + x + ")";
        case AsmSrcMod::Bias: return "(" + x + " - 0.5)";
        case AsmSrcMod::BiasNeg: return "(0.5 - " + x + ")";
        case AsmSrcMod::Sign: return "(2.0 * " + x + " - 1.0)";
        case AsmSrcMod::SignNeg: return "(1.0 - 2.0 * " + x + ")";
        case AsmSrcMod::Comp: return "(1.0 - " + x + ")";
        case AsmSrcMod::X2: return "(2.0 * " + x + ")";
        case AsmSrcMod::X2Neg: return "(-2.0 * " + x + ")";
        case AsmSrcMod::Abs: return "abs(" + x + ")";
        case AsmSrcMod::AbsNeg: return "(-abs(" + x + "))";
        default: return x;
    }
}

const char* CompareOp(AsmCompare c) {
    switch (c) {
        case AsmCompare::Gt: return ">";
        case AsmCompare::Eq: return "==";
        case AsmCompare::Ge: return ">=";
        case AsmCompare::Lt: return "<";
        case AsmCompare::Ne: return "!=";
        case AsmCompare::Le: return "<=";
        default: return "";
    }
}

const char* CompareFunction(AsmCompare c) {
    switch (c) {
        case AsmCompare::Gt: return "greaterThan";
        case AsmCompare::Eq: return "equal";
        case AsmCompare::Ge: return "greaterThanEqual";
        case AsmCompare::Lt: return "lessThan";
        case AsmCompare::Ne: return "notEqual";
        case AsmCompare::Le: return "lessThanEqual";
        default: return "";
    }
}

// One semantic of a packed register: dcl_texcoord1 o2.zw.
struct Declared {
    int reg = 0;
    unsigned mask = 0xF;
    std::string usage;
    int index = 0;
    std::string Varying() const { return "dx_" + usage + std::to_string(index); }
};

class Translator {
public:
    Translator(const AsmProgram& p, HlslStage& out, AsmError& err)
        : p_(p), out_(out), err_(err), vs_(p.stage == ShaderStage::Vertex), ver_(p.Version()),
          ps1_(!vs_ && ver_ < 20), prefix_(vs_ ? "vs" : "ps") {}

    bool Run() {
        if (!Analyse()) return false;
        if (!Emit()) return false;
        Assemble();
        return true;
    }

private:
    bool Fail(const AsmInstruction& at, const std::string& what) {
        err_.line = at.line;
        err_.column = at.column;
        err_.text = what;
        return false;
    }

    // ---- What the program uses ----

    void Use(const AsmRegister& r) {
        switch (r.file) {
            case AsmFile::Temp: temps_ = std::max(temps_, r.index + 1); break;
            case AsmFile::Const:
                if (r.relative) relConst_ = true;
                else if (!defF_.count(r.index)) constCount_ = std::max(constCount_, r.index + 1);
                break;
            case AsmFile::ConstInt:
                if (!defI_.count(r.index)) intCount_ = std::max(intCount_, r.index + 1);
                break;
            case AsmFile::ConstBool:
                if (!defB_.count(r.index)) boolCount_ = std::max(boolCount_, r.index + 1);
                break;
            case AsmFile::Input:
                if (r.relative) relInput_ = true;
                else usedInputs_.insert(r.index);
                break;
            case AsmFile::Texture: texcoords_.insert(r.index); break;
            case AsmFile::Output:
                if (r.relative) relOutput_ = true;
                outputs_ = std::max(outputs_, r.index + 1);
                break;
            case AsmFile::Position: writesPosition_ = true; break;
            case AsmFile::ColorOut: colorOut_.insert(r.index); break;
            case AsmFile::TexCoordOut: texOut_.insert(r.index); break;
            case AsmFile::Fog: fog_ = true; break;
            case AsmFile::PointSize: pointSize_ = true; break;
            case AsmFile::PixelColor: pixelColor_.insert(r.index); break;
            case AsmFile::Depth: depth_ = true; break;
            case AsmFile::PixelPos: pixelPos_ = true; break;
            case AsmFile::Face: face_ = true; break;
            default: break;
        }
    }

    // The sampler of texture stage `n` read by a ps_1_x instruction.
    bool UseStage(const AsmInstruction& ins, int n, AsmSamplerType type) {
        auto it = samplers_.find(n);
        if (it != samplers_.end() && it->second != type)
            return Fail(ins, "texture stage " + std::to_string(n) +
                                 " is read as a 2D texture and as a cube texture");
        samplers_[n] = type;
        if (ver_ <= 13) texcoords_.insert(n);
        return true;
    }

    bool Analyse() {
        // Definitions first: a def anywhere gives its register that value everywhere.
        for (const AsmInstruction& ins : p_.code) {
            const int n = ins.dest.reg.index;
            if (ins.op == AsmOp::Def) {
                std::array<float, 4> v = {ins.values[0], ins.values[1], ins.values[2], ins.values[3]};
                if (ps1_)
                    for (float& f : v) f = std::min(1.0f, std::max(-1.0f, f));
                defF_[n] = v;
            } else if (ins.op == AsmOp::DefI) {
                defI_[n] = {static_cast<int>(ins.values[0]), static_cast<int>(ins.values[1]),
                            static_cast<int>(ins.values[2]), static_cast<int>(ins.values[3])};
            } else if (ins.op == AsmOp::DefB) {
                defB_[n] = ins.values[0] != 0;
            }
        }
        for (const AsmInstruction& ins : p_.code) {
            if (ins.op == AsmOp::Def || ins.op == AsmOp::DefI || ins.op == AsmOp::DefB) continue;
            if (ins.op == AsmOp::Dcl) {
                if (!Declaration(ins)) return false;
                continue;
            }
            if (ins.hasDest) Use(ins.dest.reg);
            for (size_t k = 0; k < ins.src.size(); ++k) {
                const AsmSource& s = ins.src[k];
                if (s.reg.file == AsmFile::Sampler) {
                    if (!samplers_.count(s.reg.index)) samplers_[s.reg.index] = AsmSamplerType::Tex2D;
                    continue;
                }
                Use(s.reg);
                // The rows of m4x4 and its kin are the registers after the one named.
                int rows = ins.op == AsmOp::M4x4 || ins.op == AsmOp::M3x4   ? 4
                           : ins.op == AsmOp::M4x3 || ins.op == AsmOp::M3x3 ? 3
                           : ins.op == AsmOp::M3x2                          ? 2
                                                                            : 1;
                if (k == 1)
                    for (int r = 1; r < rows; ++r) {
                        AsmRegister next = s.reg;
                        next.index += r;
                        Use(next);
                    }
            }
            const int n = ins.dest.reg.index;
            switch (ins.op) {
                case AsmOp::Tex:
                    if (ps1_) {
                        if (!UseStage(ins, n, AsmSamplerType::Tex2D)) return false;
                    }
                    break;
                case AsmOp::TexCoord:
                    if (ver_ <= 13) texcoords_.insert(n);
                    break;
                case AsmOp::TexBem:
                case AsmOp::TexBeml:
                    if (!UseStage(ins, n, AsmSamplerType::Tex2D)) return false;
                    bumpMats_.insert(n);
                    if (ins.op == AsmOp::TexBeml) bumpLums_.insert(n);
                    break;
                case AsmOp::Bem: bumpMats_.insert(n); break;
                case AsmOp::TexReg2Ar:
                case AsmOp::TexReg2Gb:
                case AsmOp::TexReg2Rgb:
                case AsmOp::TexM3x2Tex:
                case AsmOp::TexDp3Tex:
                    if (!UseStage(ins, n, AsmSamplerType::Tex2D)) return false;
                    break;
                case AsmOp::TexM3x3Tex:
                case AsmOp::TexM3x3Spec:
                case AsmOp::TexM3x3VSpec:
                    if (!UseStage(ins, n, AsmSamplerType::Cube)) return false;
                    break;
                case AsmOp::TexM3x2Pad:
                case AsmOp::TexM3x3Pad:
                case AsmOp::TexM3x3:
                case AsmOp::TexDp3:
                    texcoords_.insert(n);
                    break;
                case AsmOp::TexM3x2Depth:
                    texcoords_.insert(n);
                    depth_ = true;
                    break;
                case AsmOp::TexDepth: depth_ = true; break;
                case AsmOp::Label: labels_.insert(ins.src[0].reg.index); break;
                default: break;
            }
        }
        for (const AsmInstruction& ins : p_.code)
            if ((ins.op == AsmOp::Call || ins.op == AsmOp::CallNz) && !labels_.count(ins.src[0].reg.index))
                return Fail(ins, "label l" + std::to_string(ins.src[0].reg.index) + " is not defined");
        if (vs_) {
            for (int v : usedInputs_) {
                bool declared = false;
                for (const Declared& d : inputs_) declared = declared || d.reg == v;
                if (!declared) {
                    for (const AsmInstruction& ins : p_.code)
                        for (const AsmSource& s : ins.src)
                            if (s.reg.file == AsmFile::Input && s.reg.index == v && !s.reg.relative)
                                return Fail(ins, "input register v" + std::to_string(v) +
                                                     " is read but not declared (dcl_position v" +
                                                     std::to_string(v) + ", ...)");
                }
            }
            if (!writesPosition_) {
                AsmInstruction end;
                end.line = p_.code.empty() ? p_.line : p_.code.back().line;
                end.column = 1;
                return Fail(end, ver_ < 30 ? "the vertex shader writes no position (oPos)"
                                           : "the vertex shader declares no position output (dcl_position o#)");
            }
        }
        if (ps1_) temps_ = std::max(temps_, 1);   // r0 is the colour
        return true;
    }

    bool Declaration(const AsmInstruction& ins) {
        const AsmRegister& r = ins.dest.reg;
        if (r.file == AsmFile::Sampler) {
            samplers_[r.index] = ins.sampler;
            return true;
        }
        Declared d;
        d.reg = r.index;
        d.mask = ins.dest.mask;
        d.usage = ins.usage;
        d.index = ins.usageIndex;
        if (r.file == AsmFile::Output) {
            for (const Declared& o : outputs3_)
                if (o.usage == d.usage && o.index == d.index)
                    return Fail(ins, "output " + d.usage + std::to_string(d.index) + " declared twice");
            outputs3_.push_back(d);
            outputs_ = std::max(outputs_, r.index + 1);
            if (d.usage == "POSITION" && d.index == 0) writesPosition_ = true;
            return true;
        }
        if (r.file == AsmFile::Input && (vs_ || ver_ >= 30)) {
            for (const Declared& o : inputs_)
                if (o.usage == d.usage && o.index == d.index)
                    return Fail(ins, "input " + d.usage + std::to_string(d.index) + " declared twice");
            inputs_.push_back(d);
            return true;
        }
        if (r.file == AsmFile::PixelPos) pixelPos_ = true;
        if (r.file == AsmFile::Face) face_ = true;
        if (r.file == AsmFile::Texture) texcoords_.insert(r.index);
        if (r.file == AsmFile::Input) usedInputs_.insert(r.index);
        return true;
    }

    // ---- Expressions ----

    std::string IntConst(int n) const {
        auto it = defI_.find(n);
        if (it == defI_.end()) return prefix_ + "_i[" + std::to_string(n) + "]";
        const std::array<int, 4>& v = it->second;
        return "ivec4(" + std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " +
               std::to_string(v[2]) + ", " + std::to_string(v[3]) + ")";
    }

    std::string BoolConst(int n) const {
        auto it = defB_.find(n);
        if (it == defB_.end()) return prefix_ + "_b[" + std::to_string(n) + "]";
        return it->second ? "true" : "false";
    }

    // The index expression of a relative register: "a0.x + 3".
    static std::string Index(const AsmRegister& r) {
        std::string base = r.relFile == AsmFile::Loop ? std::string("aL")
                                                       : std::string("a0.") + kXyzw[r.relComponent];
        return r.index ? base + " + " + std::to_string(r.index) : base;
    }

    // The value of a float register as a vec4 (also what is assigned to, for writes).
    std::string Reg(const AsmRegister& r) const {
        const std::string n = std::to_string(r.index);
        switch (r.file) {
            case AsmFile::Temp: return "r" + n;
            case AsmFile::Input:
                if (relInput_) return r.relative ? "dx_input(" + Index(r) + ")" : "v[" + n + "]";
                return "v" + n;
            case AsmFile::Const: {
                if (r.relative) return "dx_const(" + Index(r) + ")";
                auto it = defF_.find(r.index);
                if (it != defF_.end()) return Vec4(it->second.data());
                std::string u = prefix_ + "_c[" + n + "]";
                return ps1_ ? "clamp(" + u + ", -1.0, 1.0)" : u;
            }
            case AsmFile::Texture: return "t" + n;
            case AsmFile::Position: return "dx_oPos";
            case AsmFile::Fog: return "dx_oFog";
            case AsmFile::PointSize: return "dx_oPts";
            case AsmFile::ColorOut: return "dx_oD" + n;
            case AsmFile::TexCoordOut: return "dx_oT" + n;
            case AsmFile::Output:
                if (relOutput_) return r.relative ? "o[clamp(" + Index(r) + ", 0, " + std::to_string(outputs_ - 1) + ")]"
                                                  : "o[" + n + "]";
                return "o" + n;
            case AsmFile::PixelColor: return "dx_oC" + n;
            case AsmFile::Depth: return "dx_oDepth";
            case AsmFile::PixelPos: return "vPos";
            case AsmFile::Face: return "vFace";
            case AsmFile::Predicate: return "vec4(p0)";
            default: return "vec4(0.0)";
        }
    }

    std::string Src(const AsmSource& s) const {
        std::string x = Reg(s.reg) + SwizzleText(s.swizzle);
        AsmSrcMod m = s.mod == AsmSrcMod::Dz || s.mod == AsmSrcMod::Dw ? AsmSrcMod::None : s.mod;
        return Modified(m, x);
    }

    // Component `k` of the source after its swizzle and modifier.
    std::string Comp(const AsmSource& s, int k) const {
        std::string x = Reg(s.reg) + "." + kXyzw[s.swizzle[k]];
        AsmSrcMod m = s.mod == AsmSrcMod::Dz || s.mod == AsmSrcMod::Dw ? AsmSrcMod::None : s.mod;
        return Modified(m, x);
    }

    // A b# or p0 condition.
    std::string Condition(const AsmSource& s) const {
        std::string c = s.reg.file == AsmFile::Predicate ? std::string("p0.") + kXyzw[s.swizzle[0]]
                                                         : BoolConst(s.reg.index);
        return s.mod == AsmSrcMod::Not ? "!" + c : c;
    }

    std::string Sampler(int n) const { return prefix_ + "_s" + std::to_string(n); }

    std::string TexCoord(int n) const { return "dx_TEXCOORD" + std::to_string(n); }

    // Texture coordinates for a sampler of type `t` from a vec4 expression.
    static std::string Coords(AsmSamplerType t, const std::string& v) {
        return "(" + v + (t == AsmSamplerType::Tex2D || t == AsmSamplerType::Unknown ? ").xy" : ").xyz");
    }

    std::string BumpMatrix(int n) const {
        std::string u = "ps_bumpMat" + std::to_string(n);
        return "mat2(" + u + ".xy, " + u + ".zw)";
    }

    // ---- Statements ----

    void Line(const std::string& s) { *cur_ += std::string(static_cast<size_t>(indent_) * 4, ' ') + s + "\n"; }

    // Writes `value` (a vec4) to the instruction's destination through its scale, saturation,
    // write mask and predicate.
    void Write(const AsmInstruction& ins, const std::string& value) {
        const AsmDest& d = ins.dest;
        std::string v = value;
        if (d.shift) {
            float scale = std::ldexp(1.0f, d.shift);
            v = "(" + Num(scale) + " * " + v + ")";
        }
        if (d.saturate) v = "clamp(" + v + ", 0.0, 1.0)";
        std::string mask = MaskText(d.mask);
        if (d.reg.file == AsmFile::Address) {
            // vs_1_1 moves into a0 by truncating towards minus infinity, mova rounds.
            std::string i = ins.op == AsmOp::Mova ? "ivec4(floor(abs(" + v + ") + 0.5) * sign(" + v + "))"
                                                  : "ivec4(floor(" + v + "))";
            Line("a0" + mask + " = " + i + mask + ";");
            return;
        }
        std::string target = Reg(d.reg);
        if (d.reg.file == AsmFile::Depth) {
            Line("dx_oDepth = (" + v + ").x;");
            return;
        }
        if (ins.predicated) {
            std::string p = "p0" + SwizzleText(ins.predicateSwizzle);
            if (ins.predicateNot) p = "not(" + p + ")";
            v = "mix(" + target + ", " + v + ", " + p + ")";
        }
        if (mask.empty()) Line(target + " = " + v + ";");
        else Line(target + mask + " = (" + v + ")" + mask + ";");
    }

    // The value an arithmetic instruction computes, as a vec4; "" for other instructions.
    std::string Value(const AsmInstruction& ins) const {
        const std::vector<AsmSource>& s = ins.src;
        auto S = [&](size_t k) { return Src(s[k]); };
        auto C = [&](size_t k, int c) { return Comp(s[k], c); };
        auto Rows = [&](int rows, bool four) {
            std::string r = "vec4(";
            for (int k = 0; k < 4; ++k) {
                if (k) r += ", ";
                if (k >= rows) { r += "0.0"; continue; }
                AsmSource row = s[1];
                row.reg.index += k;
                r += four ? "dot(" + S(0) + ", " + Src(row) + ")"
                          : "dot((" + S(0) + ").xyz, (" + Src(row) + ").xyz)";
            }
            return r + ")";
        };
        switch (ins.op) {
            case AsmOp::Mov:
            case AsmOp::Mova: return S(0);
            case AsmOp::Add: return "(" + S(0) + " + " + S(1) + ")";
            case AsmOp::Sub: return "(" + S(0) + " - " + S(1) + ")";
            case AsmOp::Mul: return "(" + S(0) + " * " + S(1) + ")";
            case AsmOp::Mad: return "(" + S(0) + " * " + S(1) + " + " + S(2) + ")";
            // Scalar instructions read the last component of a replicate swizzle (w without one).
            case AsmOp::Rcp: return "vec4(1.0 / " + C(0, 3) + ")";
            case AsmOp::Rsq: return "vec4(inversesqrt(abs(" + C(0, 3) + ")))";
            case AsmOp::Exp: return "vec4(exp2(" + C(0, 3) + "))";
            case AsmOp::Log: return "vec4(log2(abs(" + C(0, 3) + ")))";
            case AsmOp::Expp: return ver_ < 20 ? "dx_expp(" + C(0, 3) + ")" : "vec4(exp2(" + C(0, 3) + "))";
            case AsmOp::Logp: return ver_ < 20 ? "dx_logp(" + C(0, 3) + ")" : "vec4(log2(abs(" + C(0, 3) + ")))";
            case AsmOp::Pow: return "vec4(pow(abs(" + C(0, 3) + "), " + C(1, 3) + "))";
            case AsmOp::Dp3: return "vec4(dot((" + S(0) + ").xyz, (" + S(1) + ").xyz))";
            case AsmOp::Dp4: return "vec4(dot(" + S(0) + ", " + S(1) + "))";
            case AsmOp::Dp2Add: return "vec4(dot((" + S(0) + ").xy, (" + S(1) + ").xy) + " + C(2, 0) + ")";
            case AsmOp::Min: return "min(" + S(0) + ", " + S(1) + ")";
            case AsmOp::Max: return "max(" + S(0) + ", " + S(1) + ")";
            case AsmOp::Slt: return "vec4(lessThan(" + S(0) + ", " + S(1) + "))";
            case AsmOp::Sge: return "vec4(greaterThanEqual(" + S(0) + ", " + S(1) + "))";
            case AsmOp::Abs: return "abs(" + S(0) + ")";
            case AsmOp::Frc: return "fract(" + S(0) + ")";
            case AsmOp::Sgn: return "sign(" + S(0) + ")";
            case AsmOp::Nrm: return "dx_nrm(" + S(0) + ")";
            case AsmOp::Lit: return "dx_lit(" + S(0) + ")";
            case AsmOp::Dst: return "vec4(1.0, " + C(0, 1) + " * " + C(1, 1) + ", " + C(0, 2) + ", " + C(1, 3) + ")";
            case AsmOp::Lrp: return "mix(" + S(2) + ", " + S(1) + ", " + S(0) + ")";
            case AsmOp::Crs: return "vec4(cross((" + S(0) + ").xyz, (" + S(1) + ").xyz), 0.0)";
            case AsmOp::SinCos: return "vec4(cos(" + C(0, 3) + "), sin(" + C(0, 3) + "), 0.0, 0.0)";
            case AsmOp::M4x4: return Rows(4, true);
            case AsmOp::M4x3: return Rows(3, true);
            case AsmOp::M3x4: return Rows(4, false);
            case AsmOp::M3x3: return Rows(3, false);
            case AsmOp::M3x2: return Rows(2, false);
            case AsmOp::Cnd:
                // ps_1_1..1_3 choose by r0.a alone; a co-issued cnd always takes src1 there.
                if (ver_ < 14) return ins.coissue ? S(1) : "(" + C(0, 3) + " > 0.5 ? " + S(1) + " : " + S(2) + ")";
                return "mix(" + S(2) + ", " + S(1) + ", greaterThan(" + S(0) + ", vec4(0.5)))";
            case AsmOp::Cmp: return "mix(" + S(2) + ", " + S(1) + ", greaterThanEqual(" + S(0) + ", vec4(0.0)))";
            case AsmOp::Dsx: return "dFdx(" + S(0) + ")";
            // ddy follows the screen downwards, as the rows of the target may not.
            case AsmOp::Dsy: return std::string("(") + kRowFromFragYUniform + ".y * dFdy(" + S(0) + "))";
            case AsmOp::Bem:
                return "vec4((" + S(0) + ").xy + " + BumpMatrix(ins.dest.reg.index) + " * (" + S(1) + ").xy, 0.0, 0.0)";
            default: return "";
        }
    }

    // ps_1_4 texld/texcrd coordinates: the source, divided by its z or w for _dz, _dw.
    std::string ProjectedSource(const AsmSource& s) const {
        std::string v = Src(s);
        if (s.mod == AsmSrcMod::Dz) return "(" + v + " / " + Comp(s, 2) + ")";
        if (s.mod == AsmSrcMod::Dw) return "(" + v + " / " + Comp(s, 3) + ")";
        return v;
    }

    AsmSamplerType SamplerType(int n) const {
        auto it = samplers_.find(n);
        return it == samplers_.end() ? AsmSamplerType::Tex2D : it->second;
    }

    // texld and its kin in ps_2_0 and up and vs_3_0.
    std::string Sample(const AsmInstruction& ins) const {
        const AsmSource& c = ins.src[0];
        int n = ins.src[1].reg.index;
        AsmSamplerType t = SamplerType(n);
        std::string s = Sampler(n), v = Src(c), xy = Coords(t, v), r;
        switch (ins.op) {
            case AsmOp::TexLdp:
                r = t == AsmSamplerType::Cube ? "texture(" + s + ", (" + v + ").xyz / " + Comp(c, 3) + ")"
                    : t == AsmSamplerType::Volume ? "textureProj(" + s + ", " + v + ")"
                                                  : "textureProj(" + s + ", " + v + ")";
                break;
            case AsmOp::TexLdb: r = "texture(" + s + ", " + xy + ", " + Comp(c, 3) + ")"; break;
            case AsmOp::TexLdl: r = "textureLod(" + s + ", " + xy + ", " + Comp(c, 3) + ")"; break;
            case AsmOp::TexLdd:
                r = "textureGrad(" + s + ", " + xy + ", " + Coords(t, Src(ins.src[2])) + ", " +
                    Coords(t, Src(ins.src[3])) + ")";
                break;
            default: r = "texture(" + s + ", " + xy + ")"; break;
        }
        return r + SwizzleText(ins.src[1].swizzle);
    }

    // The third row of texm3x3*: tm.z, after the two pads.
    void MatrixRow(const AsmInstruction& ins, int row) {
        Line(std::string("dx_tm.") + kXyzw[row] + " = dot(" + TexCoord(ins.dest.reg.index) + ".xyz, (" +
             Src(ins.src[0]) + ").xyz);");
    }

    bool Instruction(size_t i) {
        const AsmInstruction& ins = p_.code[i];
        const int n = ins.dest.reg.index;
        std::string value = Value(ins);
        if (ins.coissue) return Fail(ins, "'" + p_.code[i - 1].name + "' cannot be co-issued");
        if (!value.empty()) {
            // A co-issued pair: both values before either write.
            if (i + 1 < p_.code.size() && p_.code[i + 1].coissue) {
                const AsmInstruction& next = p_.code[i + 1];
                Line("dx_co0 = " + value + ";");
                std::string second = Value(next);
                if (second.empty()) return Fail(next, "'" + next.name + "' cannot be co-issued");
                Line("dx_co1 = " + second + ";");
                Write(ins, "dx_co0");
                Write(next, "dx_co1");
                skip_ = true;
                return true;
            }
            Write(ins, value);
            return true;
        }
        switch (ins.op) {
            case AsmOp::Nop:
            case AsmOp::Phase:
            case AsmOp::Dcl:
            case AsmOp::Def:
            case AsmOp::DefI:
            case AsmOp::DefB: return true;
            case AsmOp::Tex:
                if (ver_ <= 13) {
                    Write(ins, "texture(" + Sampler(n) + ", " + TexCoord(n) + ".xy)");
                } else if (ver_ == 14) {
                    Write(ins, "texture(" + Sampler(n) + ", " + Coords(SamplerType(n), ProjectedSource(ins.src[0])) + ")");
                } else {
                    Write(ins, Sample(ins));
                }
                return true;
            case AsmOp::TexLdp:
            case AsmOp::TexLdb:
            case AsmOp::TexLdl:
            case AsmOp::TexLdd: Write(ins, Sample(ins)); return true;
            case AsmOp::TexCoord:
                if (ver_ <= 13) Write(ins, "vec4(clamp(" + TexCoord(n) + ".xyz, 0.0, 1.0), 1.0)");
                else Write(ins, ProjectedSource(ins.src[0]));
                return true;
            case AsmOp::TexKill: {
                std::string r = Reg(ins.dest.reg);
                if (ver_ < 20) Line("if (any(lessThan(" + r + ".xyz, vec3(0.0)))) discard;");
                else Line("if (any(lessThan(" + r + ", vec4(0.0)))) discard;");
                return true;
            }
            case AsmOp::TexBem:
            case AsmOp::TexBeml: {
                std::string c = TexCoord(n) + ".xy + " + BumpMatrix(n) + " * (" + Src(ins.src[0]) + ").xy";
                std::string v = "texture(" + Sampler(n) + ", " + c + ")";
                if (ins.op == AsmOp::TexBeml) {
                    std::string l = "ps_bumpLum" + std::to_string(n);
                    v = "(" + v + " * (" + Comp(ins.src[0], 2) + " * " + l + ".x + " + l + ".y))";
                }
                Write(ins, v);
                return true;
            }
            case AsmOp::TexReg2Ar:
            case AsmOp::TexReg2Gb:
            case AsmOp::TexReg2Rgb: {
                std::string r = Reg(ins.src[0].reg);
                std::string c = ins.op == AsmOp::TexReg2Ar ? r + ".wx" : ins.op == AsmOp::TexReg2Gb ? r + ".yz" : r + ".xy";
                Write(ins, "texture(" + Sampler(n) + ", " + c + ")");
                return true;
            }
            case AsmOp::TexM3x2Pad:
                MatrixRow(ins, 0);
                return true;
            case AsmOp::TexM3x3Pad:
                if (padRows_ >= 2) return Fail(ins, "more than two texm3x3pad before the texm3x3 instruction");
                padRegs_[padRows_] = n;
                MatrixRow(ins, padRows_++);
                return true;
            case AsmOp::TexM3x2Tex:
                MatrixRow(ins, 1);
                Write(ins, "texture(" + Sampler(n) + ", dx_tm.xy)");
                return true;
            case AsmOp::TexM3x2Depth:
                MatrixRow(ins, 1);
                Line("dx_oDepth = dx_tm.y == 0.0 ? 1.0 : clamp(dx_tm.x / dx_tm.y, 0.0, 1.0);");
                return true;
            case AsmOp::TexM3x3Tex:
            case AsmOp::TexM3x3:
            case AsmOp::TexM3x3Spec:
            case AsmOp::TexM3x3VSpec: {
                if (padRows_ != 2) return Fail(ins, "'" + ins.name + "' needs two texm3x3pad before it");
                MatrixRow(ins, 2);
                std::string eye;
                if (ins.op == AsmOp::TexM3x3Spec) eye = "(" + Src(ins.src[1]) + ").xyz";
                if (ins.op == AsmOp::TexM3x3VSpec)
                    eye = "vec3(" + TexCoord(padRegs_[0]) + ".w, " + TexCoord(padRegs_[1]) + ".w, " + TexCoord(n) + ".w)";
                if (ins.op == AsmOp::TexM3x3) Write(ins, "vec4(dx_tm.xyz, 1.0)");
                else if (ins.op == AsmOp::TexM3x3Tex) Write(ins, "texture(" + Sampler(n) + ", dx_tm.xyz)");
                else Write(ins, "texture(" + Sampler(n) + ", -reflect(" + eye + ", normalize(dx_tm.xyz)))");
                padRows_ = 0;
                return true;
            }
            case AsmOp::TexDp3Tex:
                Write(ins, "texture(" + Sampler(n) + ", vec2(dot(" + TexCoord(n) + ".xyz, (" + Src(ins.src[0]) + ").xyz), 0.0))");
                return true;
            case AsmOp::TexDp3:
                Write(ins, "vec4(dot(" + TexCoord(n) + ".xyz, (" + Src(ins.src[0]) + ").xyz))");
                return true;
            case AsmOp::TexDepth: {
                std::string r = Reg(ins.dest.reg);
                Line("dx_oDepth = clamp(" + r + ".x / min(" + r + ".y, 1.0), 0.0, 1.0);");
                return true;
            }
            case AsmOp::SetP: {
                std::string mask = MaskText(ins.dest.mask);
                std::string v = std::string(CompareFunction(ins.compare)) + "(" + Src(ins.src[0]) + ", " + Src(ins.src[1]) + ")";
                Line(mask.empty() ? "p0 = " + v + ";" : "p0" + mask + " = " + v + mask + ";");
                return true;
            }
            default: return Flow(ins);
        }
    }

    bool Flow(const AsmInstruction& ins) {
        // Direct3D 9 nests loops 4 deep at most and branches 24 deep.
        auto Open = [&](const std::string& head, AsmOp closer) {
            bool loop = closer != AsmOp::EndIf;
            int depth = 1;
            for (const Block& b : blocks_) depth += (b.closer != AsmOp::EndIf) == loop;
            if (depth > (loop ? 4 : 24))
                return Fail(ins, std::string(loop ? "loops" : "branches") + " nested deeper than " +
                                     (loop ? "4" : "24") + " levels");
            Line(head + " {");
            ++indent_;
            blocks_.push_back({closer, ins.line, loopDepth_});
            return true;
        };
        auto Close = [&](AsmOp op) {
            if (blocks_.empty() || blocks_.back().closer != op || (op == AsmOp::EndIf && ins.op == AsmOp::Else && blocks_.back().hasElse))
                return Fail(ins, "'" + ins.name + "' without its opening instruction");
            --indent_;
            return true;
        };
        std::string d = std::to_string(loopDepth_);
        switch (ins.op) {
            case AsmOp::If: return Open("if (" + Condition(ins.src[0]) + ")", AsmOp::EndIf);
            case AsmOp::IfC:
                return Open("if (" + Comp(ins.src[0], 0) + " " + CompareOp(ins.compare) + " " + Comp(ins.src[1], 0) + ")",
                            AsmOp::EndIf);
            case AsmOp::Else:
                if (!Close(AsmOp::EndIf)) return false;
                blocks_.back().hasElse = true;
                Line("} else {");
                ++indent_;
                return true;
            case AsmOp::EndIf:
                if (!Close(AsmOp::EndIf)) return false;
                blocks_.pop_back();
                Line("}");
                return true;
            case AsmOp::Rep: {
                // The iteration count is i#.x, at most 255.
                std::string count = "min(" + IntConst(ins.src[0].reg.index) + ".x, 255)";
                if (!Open("for (int dx_k" + d + " = 0; dx_k" + d + " < " + count + "; ++dx_k" + d + ")", AsmOp::EndRep))
                    return false;
                ++loopDepth_;
                return true;
            }
            case AsmOp::Loop: {
                // aL runs from i#.y in steps of i#.z, i#.x times; after the loop it is the
                // enclosing loop's again.
                std::string i = IntConst(ins.src[1].reg.index);
                Line("{");
                ++indent_;
                Line("int dx_aL" + d + " = aL;");
                Line("aL = " + i + ".y;");
                if (!Open("for (int dx_k" + d + " = 0; dx_k" + d + " < min(" + i + ".x, 255); ++dx_k" + d + ", aL += " +
                              i + ".z)",
                          AsmOp::EndLoop))
                    return false;
                ++loopDepth_;
                return true;
            }
            case AsmOp::EndRep:
            case AsmOp::EndLoop:
                if (!Close(ins.op)) return false;
                blocks_.pop_back();
                --loopDepth_;
                Line("}");
                if (ins.op == AsmOp::EndLoop) {
                    Line("aL = dx_aL" + std::to_string(loopDepth_) + ";");
                    --indent_;
                    Line("}");
                }
                return true;
            case AsmOp::Break:
            case AsmOp::BreakC:
            case AsmOp::BreakP:
                if (loopDepth_ == 0) return Fail(ins, "'" + ins.name + "' outside a loop");
                if (ins.op == AsmOp::Break) Line("break;");
                else if (ins.op == AsmOp::BreakP) Line("if (" + Condition(ins.src[0]) + ") break;");
                else Line("if (" + Comp(ins.src[0], 0) + " " + CompareOp(ins.compare) + " " + Comp(ins.src[1], 0) + ") break;");
                return true;
            case AsmOp::Call:
                calls_[label_].insert(ins.src[0].reg.index);
                Line("dx_l" + std::to_string(ins.src[0].reg.index) + "();");
                return true;
            case AsmOp::CallNz:
                calls_[label_].insert(ins.src[0].reg.index);
                Line("if (" + Condition(ins.src[1]) + ") dx_l" + std::to_string(ins.src[0].reg.index) + "();");
                return true;
            case AsmOp::Ret: Line("return;"); return true;
            case AsmOp::Label: {
                if (!blocks_.empty()) return Fail(ins, "'label' inside a block");
                int l = ins.src[0].reg.index;
                if (functions_.count(l)) return Fail(ins, "label l" + std::to_string(l) + " defined twice");
                cur_ = &functions_[l];
                label_ = l;
                return true;
            }
            default: return Fail(ins, "'" + ins.name + "' is not translated");
        }
    }

    bool Emit() {
        cur_ = &body_;
        indent_ = 1;
        for (size_t i = 0; i < p_.code.size(); ++i) {
            if (skip_) {
                skip_ = false;
                continue;
            }
            if (!Instruction(i)) return false;
        }
        if (!blocks_.empty()) {
            AsmInstruction at;
            at.line = blocks_.back().line;
            at.column = 1;
            return Fail(at, "block not closed before the end of the shader");
        }
        // Subroutines may not call themselves, directly or through others.
        for (const auto& f : functions_) {
            std::set<int> seen;
            std::vector<int> todo(calls_[f.first].begin(), calls_[f.first].end());
            while (!todo.empty()) {
                int l = todo.back();
                todo.pop_back();
                if (l == f.first) {
                    for (const AsmInstruction& ins : p_.code)
                        if (ins.op == AsmOp::Label && ins.src[0].reg.index == l)
                            return Fail(ins, "subroutine l" + std::to_string(l) + " calls itself");
                }
                if (!seen.insert(l).second) continue;
                todo.insert(todo.end(), calls_[l].begin(), calls_[l].end());
            }
        }
        return true;
    }

    // ---- The whole stage ----

    // A register of the stage: a global variable, set to `start` where main begins.
    void Var(const std::string& type, const std::string& name, const std::string& start) {
        globals_ += type + " " + name + ";\n";
        init_ += "    " + name + " = " + start + ";\n";
    }

    void Assemble() {
        const std::string pre = prefix_;
        bool color0 = !vs_ && (ps1_ || pixelColor_.count(0));
        decl_ = "#version 330\n" + StageUniforms(p_.stage, color0);
        auto Uniform = [&](RegisterUniform::Kind kind, const std::string& type, const std::string& name, int count,
                           int stage) {
            bool array = kind == RegisterUniform::FloatConstants || kind == RegisterUniform::IntConstants ||
                         kind == RegisterUniform::BoolConstants;
            decl_ += "uniform " + type + " " + name + (array ? "[" + std::to_string(count) + "]" : "") + ";\n";
            RegisterUniform u;
            u.kind = kind;
            u.glslName = name;
            u.count = count;
            u.stageIndex = stage;
            out_.registerUniforms.push_back(u);
        };
        int maxConst = vs_ ? (ver_ < 20 ? 96 : 256) : ps1_ ? 8 : ver_ < 30 ? 32 : 224;
        int constants = relConst_ ? maxConst : constCount_;
        if (constants > 0) Uniform(RegisterUniform::FloatConstants, "vec4", pre + "_c", constants, 0);
        if (intCount_ > 0) Uniform(RegisterUniform::IntConstants, "ivec4", pre + "_i", intCount_, 0);
        if (boolCount_ > 0) Uniform(RegisterUniform::BoolConstants, "bool", pre + "_b", boolCount_, 0);
        for (int n : bumpMats_) Uniform(RegisterUniform::BumpMatrix, "vec4", "ps_bumpMat" + std::to_string(n), 1, n);
        for (int n : bumpLums_) Uniform(RegisterUniform::BumpLuminance, "vec2", "ps_bumpLum" + std::to_string(n), 1, n);
        for (const auto& s : samplers_) {
            const char* type = s.second == AsmSamplerType::Cube ? "samplerCube"
                               : s.second == AsmSamplerType::Volume ? "sampler3D" : "sampler2D";
            decl_ += std::string("uniform ") + type + " " + Sampler(s.first) + ";\n";
            HlslSampler h;
            h.glslName = Sampler(s.first);
            h.reg = s.first;
            out_.samplers.push_back(h);
        }
        for (int r = 0; r < temps_; ++r) Var("vec4", "r" + std::to_string(r), "vec4(0.0)");
        if (relConst_) {
            // Indexed reads see the def values too; registers past the end read 0.
            globals_ += "vec4 dx_c[" + std::to_string(constants) + "];\n";
            init_ += "    dx_c = " + pre + "_c;\n";
            for (const auto& d : defF_)
                if (d.first < constants) init_ += "    dx_c[" + std::to_string(d.first) + "] = " + Vec4(d.second.data()) + ";\n";
            globals_ += "vec4 dx_const(int i) { return i >= 0 && i < " + std::to_string(constants) +
                        " ? dx_c[i] : vec4(0.0); }\n";
        }
        if (vs_) AssembleVertex();
        else AssemblePixel(color0);
        Var("ivec4", "a0", "ivec4(0)");
        Var("int", "aL", "0");
        Var("bvec4", "p0", "bvec4(false)");
        Var("vec4", "dx_tm", "vec4(0.0)");
        globals_ += "vec4 dx_co0, dx_co1;\n";
        // The instructions that take more than one expression, as functions where used.
        static const char* const kHelpers[][2] = {
            {"dx_nrm(", "vec4 dx_nrm(vec4 v) { float l = dot(v.xyz, v.xyz); return l == 0.0 ? v : v * inversesqrt(l); }\n"},
            {"dx_lit(", "vec4 dx_lit(vec4 s) {\n"
                        "    float p = clamp(s.w, -127.9961, 127.9961);\n"
                        "    return vec4(1.0, max(s.x, 0.0), s.x > 0.0 && s.y > 0.0 ? pow(s.y, p) : 0.0, 1.0);\n"
                        "}\n"},
            {"dx_expp(", "vec4 dx_expp(float x) { return vec4(exp2(floor(x)), fract(x), exp2(x), 1.0); }\n"},
            {"dx_logp(", "vec4 dx_logp(float x) {\n"
                         "    float l = log2(abs(x)), e = floor(l);\n"
                         "    return vec4(e, abs(x) / exp2(e), l, 1.0);\n"
                         "}\n"}};
        std::string code = decl_ + globals_;
        std::string all = body_;
        for (const auto& f : functions_) all += f.second;
        for (const auto& h : kHelpers)
            if (all.find(h[0]) != std::string::npos) code += h[1];
        for (const auto& f : functions_) code += "void dx_l" + std::to_string(f.first) + "();\n";
        code += "void dx_main()\n{\n" + body_ + "}\n";
        for (const auto& f : functions_) code += "void dx_l" + std::to_string(f.first) + "()\n{\n" + f.second + "}\n";
        code += "void main()\n{\n" + init_ + "    dx_main();\n" + epilogue_ + "}\n";
        out_.glsl = code;
    }

    // The name of input or output register `n` of a stage that indexes them (`array`) or not.
    static std::string Numbered(const char* letter, int n, bool array) {
        return array ? std::string(letter) + "[" + std::to_string(n) + "]" : letter + std::to_string(n);
    }

    void AssembleVertex() {
        int spare = 13;
        if (relInput_) {
            globals_ += "vec4 v[16];\nvec4 dx_input(int i) { return v[clamp(i, 0, 15)]; }\n";
            init_ += "    for (int i = 0; i < 16; ++i) v[i] = vec4(0.0);\n";
        }
        for (const Declared& d : inputs_) {
            int loc = AttributeLocation(d.usage, d.index);
            if (loc < 0 && spare <= 15) loc = spare++;
            std::string name = "dx_in_" + d.usage + std::to_string(d.index);
            std::string reg = Numbered("v", d.reg, relInput_);
            // Beyond the spare locations no vertex format feeds it: GL's default value.
            std::string value = loc >= 0 ? name : "vec4(0.0, 0.0, 0.0, 1.0)";
            if (loc >= 0) decl_ += "layout(location = " + std::to_string(loc) + ") in vec4 " + name + ";\n";
            if (relInput_) init_ += "    " + reg + " = " + value + ";\n";
            else Var("vec4", reg, value);
        }
        std::string position;
        if (ver_ < 30) {
            for (const char* r : {"dx_oPos", "dx_oFog", "dx_oPts"}) Var("vec4", r, "vec4(0.0)");
            position = "dx_oPos";
            // oD# COLOR (clamped), oT# TEXCOORD, oFog FOG, oPts PSIZE.
            std::vector<std::pair<std::string, std::string>> outputs;
            for (int c : colorOut_)
                outputs.emplace_back("dx_COLOR" + std::to_string(c), "clamp(dx_oD" + std::to_string(c) + ", 0.0, 1.0)");
            for (int t : texOut_) outputs.emplace_back("dx_TEXCOORD" + std::to_string(t), "dx_oT" + std::to_string(t));
            if (fog_) outputs.emplace_back("dx_FOG0", "vec4(dx_oFog.x, 0.0, 0.0, 0.0)");
            if (pointSize_) outputs.emplace_back("dx_PSIZE0", "vec4(dx_oPts.x, 0.0, 0.0, 0.0)");
            for (int c : colorOut_) Var("vec4", "dx_oD" + std::to_string(c), "vec4(0.0)");
            for (int t : texOut_) Var("vec4", "dx_oT" + std::to_string(t), "vec4(0.0)");
            for (const auto& o : outputs) {
                decl_ += "out vec4 " + o.first + ";\n";
                epilogue_ += "    " + o.first + " = " + o.second + ";\n";
            }
        } else {
            if (relOutput_) {
                globals_ += "vec4 o[" + std::to_string(outputs_) + "];\n";
                init_ += "    for (int i = 0; i < " + std::to_string(outputs_) + "; ++i) o[i] = vec4(0.0);\n";
            } else {
                for (int o = 0; o < outputs_; ++o) Var("vec4", "o" + std::to_string(o), "vec4(0.0)");
            }
            for (const Declared& d : outputs3_) {
                std::string v = Packed(Numbered("o", d.reg, relOutput_), d.mask);
                if (d.usage == "POSITION" && d.index == 0) {
                    position = v;
                    continue;
                }
                decl_ += "out vec4 " + d.Varying() + ";\n";
                if (d.usage == "COLOR") v = "clamp(" + v + ", 0.0, 1.0)";
                epilogue_ += "    " + d.Varying() + " = " + v + ";\n";
            }
        }
        epilogue_ += PositionEpilogue(position);
    }

    // The components `mask` selects of `reg`, moved to the front of a vec4 (0 after them).
    static std::string Packed(const std::string& reg, unsigned mask) {
        if (mask == 0xF) return reg;
        std::string sw;
        for (int k = 0; k < 4; ++k)
            if (mask & (1u << k)) sw += kXyzw[k];
        std::string v = "vec4(" + reg + "." + sw;
        for (size_t k = sw.size(); k < 4; ++k) v += ", 0.0";
        return v + ")";
    }

    void AssemblePixel(bool color0) {
        if (ver_ < 30) {
            for (int v : usedInputs_) {
                std::string n = std::to_string(v);
                decl_ += "in vec4 dx_COLOR" + n + ";\n";
                Var("vec4", "v" + n, "dx_COLOR" + n);
            }
        } else {
            int inputs = 0;
            for (const Declared& d : inputs_) inputs = std::max(inputs, d.reg + 1);
            for (int v : usedInputs_) inputs = std::max(inputs, v + 1);
            if (relInput_) {
                globals_ += "vec4 v[10];\nvec4 dx_input(int i) { return v[clamp(i, 0, 9)]; }\n";
                init_ += "    for (int i = 0; i < 10; ++i) v[i] = vec4(0.0);\n";
            } else {
                for (int v = 0; v < inputs; ++v) Var("vec4", "v" + std::to_string(v), "vec4(0.0)");
            }
            // Packed inputs: dcl_texcoord1 v0.zw takes TEXCOORD1's first two components.
            for (const Declared& d : inputs_) {
                decl_ += "in vec4 " + d.Varying() + ";\n";
                std::string mask = MaskText(d.mask);
                std::string sw = std::string("xyzw").substr(0, mask.empty() ? 4 : mask.size() - 1);
                init_ += "    " + Numbered("v", d.reg, relInput_) + mask + " = " + d.Varying() + "." + sw + ";\n";
            }
            if (pixelPos_) Var("vec4", "vPos", "vec4(" + PixelPosition() + ", 0.0, 0.0)");
            if (face_) Var("vec4", "vFace", "vec4" + FaceSign());
        }
        // Texture registers start as their coordinates; ps_1_1..1_3 then overwrite them.
        for (int t : texcoords_) {
            std::string n = std::to_string(t);
            decl_ += "in vec4 dx_TEXCOORD" + n + ";\n";
            Var("vec4", "t" + n, "dx_TEXCOORD" + n);
        }
        if (ps1_) {
            decl_ += "layout(location = 0) out vec4 dx_out_COLOR0;\n";
            epilogue_ += "    dx_out_COLOR0 = clamp(r0, 0.0, 1.0);\n";
        }
        for (int c : pixelColor_) {
            std::string n = std::to_string(c);
            decl_ += "layout(location = " + n + ") out vec4 dx_out_COLOR" + n + ";\n";
            Var("vec4", "dx_oC" + n, "vec4(0.0)");
            epilogue_ += "    dx_out_COLOR" + n + " = dx_oC" + n + ";\n";
        }
        if (depth_) Var("float", "dx_oDepth", "gl_FragCoord.z");
        if (color0) epilogue_ += AlphaTestEpilogue();
        if (depth_) epilogue_ += "    gl_FragDepth = dx_oDepth;\n";
    }

    struct Block {
        AsmOp closer;
        int line;
        int loopDepth;
        bool hasElse = false;
    };

    const AsmProgram& p_;
    HlslStage& out_;
    AsmError& err_;
    const bool vs_;
    const int ver_;
    const bool ps1_;
    const std::string prefix_;

    int temps_ = 0, constCount_ = 0, intCount_ = 0, boolCount_ = 0, outputs_ = 0;
    bool relConst_ = false, relInput_ = false, relOutput_ = false;
    std::map<int, std::array<float, 4>> defF_;
    std::map<int, std::array<int, 4>> defI_;
    std::map<int, bool> defB_;
    std::vector<Declared> inputs_, outputs3_;
    std::set<int> usedInputs_, texcoords_, colorOut_, texOut_, pixelColor_;
    std::set<int> bumpMats_, bumpLums_, labels_;
    std::map<int, std::set<int>> calls_;   // labels each subroutine calls; -1 the main program
    int label_ = -1;                       // the subroutine being written, -1 for main
    std::map<int, AsmSamplerType> samplers_;
    bool writesPosition_ = false, fog_ = false, pointSize_ = false, depth_ = false;
    bool pixelPos_ = false, face_ = false;

    std::string body_;
    std::map<int, std::string> functions_;
    std::string decl_, globals_, init_, epilogue_;   // the parts of the stage around the code
    std::string* cur_ = nullptr;
    int indent_ = 1;
    int loopDepth_ = 0;
    std::vector<Block> blocks_;
    int padRows_ = 0;
    int padRegs_[2] = {0, 0};
    bool skip_ = false;
};

// Line `line` (1-based) of `text`; "" past its end.
std::string LineOf(const std::string& text, int line) {
    size_t pos = 0;
    for (int l = 1; l < line && pos != std::string::npos; ++l) {
        pos = text.find('\n', pos);
        if (pos != std::string::npos) ++pos;
    }
    if (pos == std::string::npos || pos > text.size()) return "";
    size_t nl = text.find('\n', pos);
    return text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
}

bool WordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The column in `original` of what stands at `column` of `expanded`, the same line after the
// preprocessor, which keeps lines but not their blanks: the same occurrence of the same token.
int OriginalColumn(const std::string& expanded, int column, const std::string& original) {
    size_t at = static_cast<size_t>(column > 0 ? column - 1 : 0);
    if (at >= expanded.size() || original.empty()) return column;
    size_t end = at + 1;
    if (WordChar(expanded[at]))
        while (end < expanded.size() && WordChar(expanded[end])) ++end;
    const std::string token = expanded.substr(at, end - at);
    auto Whole = [&token](const std::string& line, size_t p) {
        return !WordChar(token[0]) || ((p == 0 || !WordChar(line[p - 1])) &&
                                       (p + token.size() >= line.size() || !WordChar(line[p + token.size()])));
    };
    int k = 0;
    for (size_t p = expanded.find(token); p != std::string::npos && p <= at; p = expanded.find(token, p + 1))
        if (Whole(expanded, p)) ++k;
    int n = 0;
    for (size_t p = original.find(token); p != std::string::npos; p = original.find(token, p + 1))
        if (Whole(original, p) && ++n == k) return static_cast<int>(p) + 1;
    return column;
}

}  // namespace

std::string AssemblyProfile(const std::string& text) {
    AsmProgram p;
    AsmError err;
    // The version is read first: a fault after it still gives the profile.
    if (!ReadAssembly(text, 1, 1, p, err) && p.line == 0) return "";
    return p.Profile();
}

bool AssembleShader(const std::string& text, int line, int column, const std::string& source,
                    const std::string& top, HlslStage& out, std::string& log) {
    out = HlslStage();
    AsmProgram program;
    AsmError err;
    bool ok = ReadAssembly(text, line, column, program, err);
    if (ok) {
        out.stage = program.stage;
        Translator t(program, out, err);
        ok = t.Run();
    }
    if (ok) return true;
    out = HlslStage();
    std::string file;
    int fileLine = err.line;
    core::FxOrigin(source, top, err.line, file, fileLine);
    std::vector<uint8_t> bytes;
    std::string original;
    if (core::ReadFileBytes(file.c_str(), bytes, size_t(16) << 20))
        original = LineOf(std::string(bytes.begin(), bytes.end()), fileLine);
    // The line as the preprocessor left it; the text starts at `column` of its first line.
    std::string expanded = LineOf(text, err.line - line + 1);
    if (err.line == line) expanded = std::string(static_cast<size_t>(column > 1 ? column - 1 : 0), ' ') + expanded;
    int at = OriginalColumn(expanded, err.column, original);
    log += file + "(" + std::to_string(fileLine) + "," + std::to_string(at) + "): error: " + err.text + "\n";
    return false;
}

}  // namespace hlsl
