// Shader assembly translated without a GL context: every construct gives GLSL that compiles
// (glslang's GLSL front end stands in for the driver), faults are named at their line and
// column in the original file. What the instructions compute is read back from pixels by
// tests/platform_sdl_gl_fx/effect_asm_test.cpp.
#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/shader/asm_shader.h"

namespace {

struct Glslang : ::testing::Test {
    static void SetUpTestSuite() { glslang::InitializeProcess(); }
    static void TearDownTestSuite() { glslang::FinalizeProcess(); }
};

// Compiles a stage's GLSL as GL 3.3 would, with the alpha test built in; "" when it compiles.
std::string GlslErrors(const hlsl::HlslStage& st) {
    bool vertex = st.stage == hlsl::ShaderStage::Vertex;
    glslang::TShader sh(vertex ? EShLangVertex : EShLangFragment);
    std::string text = st.glsl;
    if (!vertex) text.insert(text.find('\n') + 1, std::string("#define ") + hlsl::kAlphaTestDefine + "\n");
    const char* src = text.c_str();
    sh.setStrings(&src, 1);
    if (sh.parse(GetDefaultResources(), 330, false, EShMsgDefault)) return "";
    return std::string(sh.getInfoLog()) + text;
}

std::string Assemble(const std::string& text, hlsl::HlslStage& st) {
    std::string log;
    hlsl::AssembleShader(text, 1, 1, text, "t.fx", st, log);
    return log;
}

}  // namespace

TEST_F(Glslang, EachConstructTranslatesToGlslThatCompiles) {
    struct Case {
        const char* what;
        const char* text;
    };
    const Case cases[] = {
        {"vs_1_1 matrices, relative constants, fog, point size",
         "vs.1.1\n dcl_position v0\n dcl_normal v1\n dcl_texcoord3 v2\n m4x4 oPos, v0, c0\n m4x3 r0.xyz, v0, c4\n"
         " m3x4 r1, v1, c8\n m3x3 r2.xyz, v1, c8\n m3x2 r3.xy, v1, c8\n mov a0.x, v2.x\n mov r4, c[a0.x + 12]\n"
         " mul oD0, r4, c5.w\n add oD1, r0, -r1\n mov oT3.xy, v2\n mov oFog, r2.x\n mov oPts, r3.y\n"},
        {"vs_1_1 scalar and vertex-only instructions",
         "vs_1_1\n dcl_position v0\n mov oPos, v0\n rcp r0.x, c0.y\n rsq r0.y, c0\n exp r1, c1.x\n log r1.y, c1.y\n"
         " expp r2, c2.z\n logp r3, c2.w\n lit r4, c3\n dst r5, c4, c5\n sge r6, r0, r1\n slt r7, r0, r1\n"
         " frc r8.xy, c6\n min r9, r0, r1\n max r10, r0, r1\n mad oD0, r9, r10, -c7\n dp4 oT0.x, r2, r3\n"},
        {"vs_2_0 flow control, subroutines, mova",
         "vs_2_0\n dcl_position v0\n dcl_blendindices v1\n dcl_tangent v2\n defi i0, 3, 2, 1, 0\n defb b1, false\n"
         " mov r0, c0\n loop aL, i0\n add r0, r0, c[aL + 1]\n loop aL, i0\n add r0, r0, c[aL]\n endloop\n endloop\n"
         " rep i1\n mova a0.xy, v1\n m4x3 r1.xyz, v0, c[a0.x + 10]\n if b0\n add r0, r0, r1\n else\n sub r0, r0, r1\n"
         " endif\n endrep\n if !b1\n call l2\n endif\n callnz l3, b2\n mov oPos, r0\n sgn r2, r0, r3, r4\n"
         " crs r3.xyz, r0, v2\n pow r4, r0.x, c1.y\n nrm r5, v2\n sincos r6.xy, r0.x, c2, c3\n abs oT0, r6\n ret\n"
         " label l2\n lrp r0, c1, c2, c3\n ret\n label l3\n call l2\n ret\n"},
        {"vs_2_x predicates and breaks",
         "vs_2_x\n dcl_position v0\n defi i0, 4, 0, 1, 0\n setp_gt p0, v0, c0\n (p0) mov r0, v0\n (!p0.x) mov r0.x, c1\n"
         " rep i0\n break_ge r0.x, c2.x\n breakp p0.y\n add r0, r0, c3\n if_lt r0.y, c4.y\n break\n endif\n endrep\n"
         " if p0.z\n mov r0, c5\n endif\n callnz l0, !p0.w\n mov oPos, r0\n ret\n label l0\n mov r0, c6\n ret\n"},
        {"vs_3_0 declared outputs, packing, indexed outputs, vertex textures",
         "vs_3_0\n dcl_position v0\n dcl_texcoord0 v1\n dcl_color1 v2\n dcl_position o0\n dcl_texcoord0 o1.xy\n"
         " dcl_texcoord1 o1.zw\n dcl_color o2\n dcl_fog o3.x\n dcl_psize o3.y\n dcl_texcoord2 o4\n dcl_2d s0\n"
         " defi i0, 2, 0, 1, 0\n texldl r0, v1, s0\n mov o0, v0\n mov o1, r0\n mov_sat o2, v2\n mov o3.xy, c0\n"
         " loop aL, i0\n mov o[aL + 4], v[aL]\n endloop\n"},
        {"ps_1_1 modifiers, co-issue, cnd, texture reads",
         "ps_1_1\n def c0, 1.5, -2, 0.5, 1\n tex t0\n texcoord t1\n tex t2\n tex t3\n mul r0, t0, v0\n"
         " mul_x2 r1.rgb, t2_bx2, c1\n +mov r1.a, 1-t0.a\n cnd r0, r0.a, r1, t1\n add_sat r0.rgb, r0, -v1_bias\n"
         " + mul_d2 r0.a, r0, c0\n dp3_x4 r1, t3_bx2, -c2_bx2\n lrp r0, c3, r0, r1\n mad_d4 r0, r0, r1, c4\n"},
        {"ps_1_1 bump, register and matrix texture instructions",
         "ps_1_1\n tex t0\n texbem t1, t0\n texbeml t2, t0\n texreg2ar t3, t0\n mov r0, t1\n"},
        {"ps_1_1 texm3x2 and texm3x3spec",
         "ps_1_1\n tex t0\n texm3x2pad t1, t0_bx2\n texm3x2tex t2, t0_bx2\n mov r0, t2\n"},
        {"ps_1_1 environment reflection",
         "ps_1_1\n tex t0\n texm3x3pad t1, t0_bx2\n texm3x3pad t2, t0_bx2\n texm3x3spec t3, t0_bx2, c0\n mov r0, t3\n"},
        {"ps_1_2 eye-vector reflection, dot products",
         "ps.1.2\n tex t0\n texm3x3pad t1, t0\n texm3x3pad t2, t0\n texm3x3vspec t3, t0\n mad r0, t3, c0, t0\n"
         " texkill t1\n dp4 r1, t0, c1\n cmp r0, r1, r0, c2\n"},
        {"ps_1_3 depth, texm3x3, texdp3, texreg2rgb",
         "ps_1_3\n tex t0\n texdp3 t1, t0\n texm3x2pad t2, t0\n texm3x2depth t3, t0\n mov r0, t1\n"},
        {"ps_1_3 texm3x3 and texreg2rgb",
         "ps_1_3\n tex t0\n texm3x3pad t1, t0\n texm3x3pad t2, t0\n texm3x3 t3, t0\n texreg2gb t0, t3\n"
         " texdp3tex t1, t0\n texreg2rgb t2, t1\n add r0, t2, t0\n"},
        {"ps_1_4 phases, texcrd, bem, texdepth",
         "ps_1_4\n def c0, 0.5, 0.5, 0.5, 1\n texld r0, t0\n texcrd r1.rgb, t1_dw.xyw\n texld r2, t2_dz\n phase\n"
         " texld r3, r1\n bem r4.rg, r0, r2\n mul r0, r0, r3\n cnd r0, r2, r0, c0\n cmp r1, r0_bx2, c1, r3_x2\n"
         " texkill r1\n texdepth r5\n"},
        {"ps_2_0 samplers, oDepth, scalar instructions",
         "ps_2_0\n def c0, 1, 0.5, 0, 1\n dcl t0.xy\n dcl v0\n dcl_2d s0\n dcl_cube s1\n dcl_volume s2\n"
         " texld r0, t0, s0\n texldp r1, t0, s0\n texldb r2, t0, s1\n texld r7, t0, s2\n texldp r8, t0, s1\n"
         " rcp r3.w, c1.x\n mad r0, r0, v0, r1\n dp2add r4, r0, c0, c0.x\n nrm r5, r4\n sincos r6.xy, r3.w, c2, c3\n"
         " mov oC0, r0\n mov oC1, r7\n mov oDepth, r5.x\n texkill r0\n"},
        {"ps_3_0 loops, branches, predicates, subroutines, vPos, vFace",
         "ps_3_0\n defi i0, 4, 0, 1, 0\n defb b0, true\n dcl_texcoord0 v0.xy\n dcl_texcoord1 v0.zw\n dcl_color v1\n"
         " dcl vPos.xy\n dcl vFace\n dcl_2d s0\n mov r0, c0\n loop aL, i0\n add r0, r0, v[aL]\n break_gt r0.x, c1.x\n"
         " endloop\n rep i1\n if b0\n mul r0, r0, c2\n else\n if_lt r0.y, c3.x\n add r0, r0, vPos\n endif\n endif\n"
         " endrep\n setp_gt p0.x, r0.x, c4.x\n (p0.x) mov r0, c5\n (!p0) add r0, r0, vFace\n call l0\n"
         " callnz l1, b1\n mov oC0, r0\n ret\n label l0\n texldl r1, v0, s0\n texldd r2, v0, s0, c6, c7\n"
         " dsx r2, r1\n dsy r3, r1\n mul r0, r0, r1\n ret\n label l1\n abs r0, -r0_abs\n ret\n"},
        {"ps_2_x relative constants through aL, swizzled sampler",
         "ps_2_x\n defi i0, 2, 0, 1, 0\n dcl t0\n dcl_2d s0\n texld r0, t0, s0.wzyx\n rep i0\n add r0, r0, c1\n"
         " endrep\n mov oC0, r0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hlsl::HlslStage st;
        EXPECT_EQ(Assemble(c.text, st), "");
        EXPECT_EQ(GlslErrors(st), "");
    }
}

TEST(Assembly, FaultsAreNamedWhereTheyStand) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"mov r0, v0", "t.fx(1,1): error: expected the shader version (vs_1_1 .. vs_3_0, ps_1_1 .. ps_3_0) first, found 'mov'"},
        {"vs_1_1\n dcl_position v0\n mov oPos, r12\n", "t.fx(3,12): error: register r12 does not exist in vs_1_1 (r0..r11)"},
        {"ps_1_1\n texld r0, t0\n", "t.fx(2,2): error: 'texld' is not an instruction of ps_1_1"},
        {"ps_2_0\n mov oC0, c0_bx2\n", "t.fx(2,11): error: source modifier '_bx2' does not exist in ps_2_0"},
        {"vs_2_0\n mul_x2 oPos, c0, c1\n", "t.fx(2,2): error: result scale '_x2' exists only in ps_1_x"},
        {"vs_1_1\n dcl_position v0\n mov oPos, v1\n", "t.fx(3,2): error: input register v1 is read but not declared"},
        {"vs_1_1\n dcl_position v0\n mov c0, v0\n", "t.fx(3,6): error: register c0 cannot be written"},
        {"vs_1_1\n dcl_position v0\n add oPos, v0\n", "t.fx(4,1): error: 'add' takes 2 source operands, found 1"},
        {"vs_1_1\n dcl_position v0\n mov oPos, v0, v0\n", "t.fx(3,14): error: too many operands for 'mov'"},
        {"vs_1_1\n dcl_position v0\n mov r0, v0\n", "t.fx(3,1): error: the vertex shader writes no position (oPos)"},
        {"ps_2_0\n mov oC0, r0.xq\n", "t.fx(2,14): error: invalid swizzle '.xq'"},
        {"ps_2_0\n mov oC0.yx, r0\n", "t.fx(2,10): error: invalid write mask '.yx'"},
        {"ps_1_1\n mov r0, v0 @\n", "t.fx(2,13): error: unexpected character '@'"},
        {"ps_1_4\n texld r0, t0\n + mov r1.a, r0\n", "t.fx(3,2): error: 'texld' cannot be co-issued"},
        {"vs_2_0\n dcl_position v0\n rep i0\n mov oPos, v0\n", "t.fx(3,1): error: block not closed before the end of the shader"},
        {"ps_2_x\n endif\n", "t.fx(2,2): error: 'endif' without its opening instruction"},
        {"vs_2_0\n dcl_position v0\n mov oPos, v0\n call l1\n ret\n label l1\n call l1\n ret\n",
         "t.fx(6,2): error: subroutine l1 calls itself"},
        {"vs_2_0\n dcl_position v0\n mov oPos, v0\n call l4\n", "t.fx(4,2): error: label l4 is not defined"},
        {"vs_2_0\n dcl_position v0\n mov oPos, v0\n rep i0 rep i0 rep i0 rep i0 rep i0\n",
         "t.fx(4,30): error: loops nested deeper than 4 levels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        hlsl::HlslStage st;
        std::string log = Assemble(c.text, st);
        EXPECT_EQ(log.compare(0, std::string(c.message).size(), c.message), 0) << log;
        EXPECT_TRUE(st.glsl.empty());
    }
    // A block that starts within its line, after an #include's text: the place in the file
    // that holds it.
    const std::string source = "a\nb\n#line 7 \"lib.fxh\"\nx { ps_1_1\n mov r0, q0\n";
    hlsl::HlslStage st;
    std::string log;
    EXPECT_FALSE(hlsl::AssembleShader("ps_1_1\n mov r0, q0\n", 4, 5, source, "t.fx", st, log));
    EXPECT_EQ(log, "lib.fxh(8,10): error: 'q0' is not a register\n");
    EXPECT_EQ(hlsl::AssemblyProfile(" // a comment\n ps.1.4 texld r0, t0"), "ps_1_4");
    EXPECT_EQ(hlsl::AssemblyProfile("vs_2_x\n nonsense"), "vs_2_x");
    EXPECT_EQ(hlsl::AssemblyProfile("mov r0, v0"), "");
}
