// What the analysis of compiled vertex stages tells of their position: the matrix parameters
// whose product places the vertices, or nothing when the position is computed otherwise.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/sdl_gl/effect_library.h"
#include "platform/sdl_gl/effect_position.h"

namespace {

// Compiles `vs` (an HLSL entry VS with its globals) and analyses its one vertex stage.
sdlgl::PositionTransform Analyse(const std::string& vs) {
    std::string fx = vs +
                     "float4 PS() : COLOR { return 1; }\n"
                     "technique T { pass { VertexShader = compile vs_2_0 VS();\n"
                     "  PixelShader = compile ps_2_0 PS(); } }\n";
    sdlgl::EffectSource s = sdlgl::CompileEffect(fx, "t.fx");
    EXPECT_TRUE(s.ok) << s.log;
    for (const sdlgl::HlslStage& st : s.stages)
        if (st.stage == sdlgl::ShaderStage::Vertex) return sdlgl::AnalysePosition(st);
    ADD_FAILURE() << "no vertex stage";
    return {};
}

std::string Factors(const sdlgl::PositionTransform& t) {
    if (!t.known) return "unknown";
    std::string out;
    for (const sdlgl::PositionFactor& f : t.factors)
        out += (out.empty() ? "" : " ") + f.hlslName + (f.transposed ? "'" : "");
    return out.empty() ? "identity" : out;
}

TEST(EffectPosition, ProductsOfMatrixParameters) {
    // One matrix, as the demo's effects write it.
    EXPECT_EQ(Factors(Analyse("float4x4 WVP; float4x4 W;\n"
                              "struct O { float4 p : POSITION; float3 w : TEXCOORD0; };\n"
                              "O VS(float4 p : POSITION) { O o; o.p = mul(p, WVP);\n"
                              "  o.w = mul(p, W).xyz; return o; }\n")),
              "WVP");
    // Nested products, in either grouping, keep the order of the row-vector convention.
    EXPECT_EQ(Factors(Analyse("float4x4 W; float4x4 VP;\n"
                              "float4 VS(float4 p : POSITION) : POSITION {\n"
                              "  return mul(mul(p, W), VP); }\n")),
              "W VP");
    EXPECT_EQ(Factors(Analyse("float4x4 W; float4x4 V; float4x4 P;\n"
                              "float4 VS(float4 p : POSITION) : POSITION {\n"
                              "  return mul(p, mul(W, mul(V, P))); }\n")),
              "W V P");
    // A float3 position extended with w = 1, and a temporary in between.
    EXPECT_EQ(Factors(Analyse("float4x4 W; float4x4 VP;\n"
                              "float4 VS(float3 p : POSITION) : POSITION {\n"
                              "  float4 world = mul(float4(p, 1), W);\n"
                              "  return mul(world, VP); }\n")),
              "W VP");
    // The matrix on the left: the position times its transpose.
    EXPECT_EQ(Factors(Analyse("float4x4 M;\n"
                              "float4 VS(float4 p : POSITION) : POSITION { return mul(M, p); }\n")),
              "M'");
    // Pre-transformed positions pass straight through.
    EXPECT_EQ(Factors(Analyse("float4 VS(float4 p : POSITION) : POSITION { return p; }\n")),
              "identity");
}

TEST(EffectPosition, AnythingElseIsUnknown) {
    const char* cases[] = {
        // An offset after the matrix.
        "float4x4 M; float4 Off;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p, M) + Off; }\n",
        // Displacement before it.
        "float4x4 M; float K;\n"
        "float4 VS(float4 p : POSITION, float3 n : NORMAL) : POSITION {\n"
        "  return mul(p + float4(n * K, 0), M); }\n",
        // A branch choosing the matrix.
        "float4x4 A; float4x4 B; bool UseA;\n"
        "float4 VS(float4 p : POSITION) : POSITION {\n"
        "  float4 r; if (UseA) r = mul(p, A); else r = mul(p, B); return r; }\n",
        // Matrices that are not 4x4, and arrays of them (skinning).
        "float4x3 W; float4x4 VP;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(float4(mul(p, W), 1), VP); }\n",
        "float4x4 Bones[4]; float4x4 VP;\n"
        "float4 VS(float4 p : POSITION, float4 i : BLENDINDICES) : POSITION {\n"
        "  return mul(mul(p, Bones[(int)i.x]), VP); }\n",
        // Scaled w, and a swizzled position.
        "float4x4 M;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(float4(p.xyz, 2), M); }\n",
        "float4x4 M;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p.yxzw, M); }\n",
        // The position from another input.
        "float4x4 M;\n"
        "float4 VS(float4 p : POSITION, float4 t : TEXCOORD0) : POSITION { return mul(t, M); }\n",
    };
    for (const char* vs : cases) EXPECT_EQ(Factors(Analyse(vs)), "unknown") << vs;
}

TEST(EffectPosition, GlslThatIsNotPlainIsUnknown) {
    // Written as the compiler writes its output, then changed where the analysis must give up.
    const std::string head =
        "#version 330\nuniform vec2 dx_halfPixel;\nstruct vs_Globals\n{\n    mat4 m0;\n};\n"
        "uniform vs_Globals vs_u;\nlayout(location = 0) in vec4 dx_in_POSITION0;\n"
        "out vec4 dx_POSITION0;\n";
    const std::string tail =
        "    gl_Position = dx_POSITION0;\n"
        "    gl_Position.xy += vec2(dx_halfPixel.x, -dx_halfPixel.y) * gl_Position.w;\n"
        "    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;\n"
        "    gl_Position.y = -gl_Position.y;\n}\n";
    sdlgl::HlslStage st;
    st.stage = sdlgl::ShaderStage::Vertex;
    sdlgl::HlslUniform u;
    u.glslName = "vs_u.m0";
    u.hlslName = "M";
    u.rows = u.columns = 4;
    st.uniforms.push_back(u);
    auto With = [&](const std::string& body, const std::string& functions = "") {
        st.glsl = head + functions + "void main()\n{\n" + body + tail;
        return Factors(sdlgl::AnalysePosition(st));
    };
    EXPECT_EQ(With("    dx_POSITION0 = vs_u.m0 * dx_in_POSITION0;\n"), "M");
    // Written twice, or a component changed afterwards.
    EXPECT_EQ(With("    dx_POSITION0 = vs_u.m0 * dx_in_POSITION0;\n"
                   "    dx_POSITION0.x += 1.0;\n"),
              "unknown");
    EXPECT_EQ(With("    dx_POSITION0 = vs_u.m0 * dx_in_POSITION0;\n"
                   "    dx_POSITION0 = dx_in_POSITION0;\n"),
              "unknown");
    // Written inside a block, or by a function that may write through an out parameter.
    EXPECT_EQ(With("    if (vs_u.m0[0].x > 0.0)\n    {\n"
                   "        dx_POSITION0 = vs_u.m0 * dx_in_POSITION0;\n    }\n"),
              "unknown");
    EXPECT_EQ(With("    dx_POSITION0 = vs_u.m0 * dx_in_POSITION0;\n    f(dx_POSITION0);\n",
                   "void f(inout vec4 p)\n{\n    p.x = 0.0;\n}\n\n"),
              "unknown");
    // A temporary written again after its definition.
    EXPECT_EQ(With("    vec4 _12 = vs_u.m0 * dx_in_POSITION0;\n    _12.y = 0.0;\n"
                   "    dx_POSITION0 = _12;\n"),
              "unknown");
    EXPECT_EQ(With("    vec4 _12 = vs_u.m0 * dx_in_POSITION0;\n    dx_POSITION0 = _12;\n"), "M");
    // A uniform the stage does not list as a plain 4x4 matrix.
    EXPECT_EQ(With("    dx_POSITION0 = vs_u.m1 * dx_in_POSITION0;\n"), "unknown");
    st.uniforms[0].fixed = true;
    EXPECT_EQ(With("    dx_POSITION0 = vs_u.m0 * dx_in_POSITION0;\n"), "unknown");
}

TEST(EffectPosition, DemoEffectsAreKnown) {
    for (const char* name : {"ald_Phong.fx", "ald_Rim.fx"}) {
        std::ifstream f(std::string(MESHES_DEMO_SOURCE) + "/fx/" + name);
        if (!f) continue;
        std::stringstream ss;
        ss << f.rdbuf();
        sdlgl::EffectSource s = sdlgl::CompileEffect(ss.str(), name);
        ASSERT_TRUE(s.ok) << s.log;
        for (const sdlgl::HlslStage& st : s.stages) {
            if (st.stage == sdlgl::ShaderStage::Vertex) {
                EXPECT_EQ(Factors(sdlgl::AnalysePosition(st)), "mat_World_View_Proj") << name;
            }
        }
    }
}

}  // namespace
