// Effect files compiled to GLSL without a GL context: what the compiler reports and what the
// GL side relies on (uniform names, semantics, fixed arguments).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/sdl_gl/effect_library.h"

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// `shaders` (globals, VS and PS) with one technique of one pass that compiles them.
std::string OnePass(const std::string& shaders) {
    return shaders + "technique T { pass { VertexShader = compile vs_2_0 VS();\n"
                     "  PixelShader = compile ps_2_0 PS(); } }\n";
}

TEST(EffectCompile, DemoEffectGivesTwoStagesSharedByBothTechniques) {
    std::ifstream f(std::string(MESHES_DEMO_SOURCE) + "/fx/ald_Phong.fx");
    if (!f) GTEST_SKIP() << "no demo effect file";
    std::stringstream ss;
    ss << f.rdbuf();
    sdlgl::EffectSource s = sdlgl::CompileEffect(ss.str(), "ald_Phong.fx");
    ASSERT_TRUE(s.ok) << s.log;
    ASSERT_EQ(s.techniques.size(), 2u);
    EXPECT_EQ(s.stages.size(), 2u);   // PhongVS and PhongPS, once each
    EXPECT_EQ(s.passShaders[0][0].vs, s.passShaders[1][0].vs);
    bool found = false;
    for (const sdlgl::HlslUniform& u : s.stages[0].uniforms)
        if (u.hlslName == "mat_World_View_Proj") {
            found = true;
            EXPECT_EQ(u.rows, 4);
            EXPECT_EQ(u.columns, 4);
            EXPECT_TRUE(Has(s.stages[0].glsl, u.glslName));
        }
    EXPECT_TRUE(found);
    // The varyings carry their semantics' names in both stages.
    for (const char* v : {"dx_TEXCOORD0", "dx_TEXCOORD1", "dx_TEXCOORD2"}) {
        EXPECT_TRUE(Has(s.stages[0].glsl, std::string(v) + ";")) << v;
        EXPECT_TRUE(Has(s.stages[1].glsl, v)) << v;
    }
}

TEST(EffectCompile, EachStageMarksTheGlobalsItsCodeReads) {
    sdlgl::EffectSource s = sdlgl::CompileEffect(
        OnePass("float4x4 Wvp; float4 Tint; float Unread;\n"
                "float4 VS(float4 p : POSITION) : POSITION { return mul(p, Wvp); }\n"
                "float4 PS() : COLOR { return Tint; }\n"),
        "e.fx");
    ASSERT_TRUE(s.ok) << s.log;
    ASSERT_EQ(s.stages.size(), 2u);
    const struct {
        size_t stage;
        const char* name;
        bool used;
    } cases[] = {{0, "Wvp", true}, {0, "Tint", false}, {0, "Unread", false},
                 {1, "Wvp", false}, {1, "Tint", true}, {1, "Unread", false}};
    for (const auto& c : cases) {
        int seen = 0;
        for (const sdlgl::HlslUniform& u : s.stages[c.stage].uniforms)
            if (u.hlslName == c.name) {
                ++seen;
                EXPECT_EQ(u.used, c.used) << "stage " << c.stage << " " << c.name;
            }
        EXPECT_EQ(seen, 1) << "stage " << c.stage << " " << c.name;   // the struct holds every global
    }
}

// HLSL's ?: evaluates both sides. GL compilers may branch on a GLSL ?: whose sides call
// functions (llvmpipe's pixels then pay for the branch), so the GLSL's ?: only reads values.
TEST(EffectCompile, SelectsReadValuesComputedBeforeThem) {
    sdlgl::EffectSource s = sdlgl::CompileEffect(
        OnePass("float Exponent;\n"
                "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
                "float4 PS(float3 n : TEXCOORD0, float3 l : TEXCOORD1) : COLOR {\n"
                "  float d = saturate(dot(normalize(n), l));\n"
                "  return d > 0 ? pow(saturate(dot(reflect(-l, n), n)), Exponent) : 0; }\n"),
        "select.fx");
    ASSERT_TRUE(s.ok) << s.log;
    ASSERT_EQ(s.stages.size(), 2u);
    const std::string& glsl = s.stages[1].glsl;
    ASSERT_TRUE(Has(glsl, " ? ")) << glsl;
    for (size_t q = glsl.find(" ? "); q != std::string::npos; q = glsl.find(" ? ", q + 1)) {
        std::string rest = glsl.substr(q, glsl.find(';', q) - q);
        EXPECT_FALSE(Has(rest, "(")) << rest;
    }
}

// [unroll] loops of at most 1024 passes are unrolled, their array indices constants (a
// rasteriser gathers indices it cannot see); other loops stay loops.
TEST(EffectCompile, UnrollMarkedLoopsAsTheDirect3DCompilerDoes) {
    auto Glsl = [](const std::string& loop) {
        sdlgl::EffectSource s = sdlgl::CompileEffect(
            OnePass("float4 Colours[3];\n"
                    "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
                    "float4 PS() : COLOR { float4 c = 0;\n" + loop +
                    " c += Colours[i % 3] * (i + 1);\n  return c; }\n"),
            "unroll.fx");
        EXPECT_TRUE(s.ok) << s.log;
        return s.ok && s.stages.size() == 2 ? s.stages[1].glsl : std::string();
    };
    std::string unrolled = Glsl("[unroll] for (int i = 0; i < 3; ++i)");
    EXPECT_TRUE(Has(unrolled, "[2]") && !Has(unrolled, "for (")) << unrolled;
    for (const char* loop : {"[loop] for (int i = 0; i < 3; ++i)", "[unroll] for (int i = 0; i < 5000; ++i)"})
        EXPECT_TRUE(Has(Glsl(loop), "for (")) << loop;
}

TEST(EffectCompile, MessagesNameFileAndLine) {
    const std::string vs = "float4 VS(float4 p : POSITION) : POSITION { return p; }\n";
    sdlgl::EffectSource s = sdlgl::CompileEffect(
        vs + "float4 PS(uniform float k) : COLOR { return k * Missing; }\n"
             "technique T { pass { VertexShader = compile vs_2_0 VS();\n"
             "  PixelShader = compile ps_2_0 PS(1); } }\n",
        "dir/a.fx");
    EXPECT_FALSE(s.ok);
    // The column of the name the message quotes, and the code of an undeclared identifier.
    EXPECT_TRUE(Has(s.log, "dir/a.fx(2,49): error X3004: ")) << s.log;
    // Compile arguments that the entry has no uniform parameters for, a profile of the wrong
    // stage, arguments naming nothing declared and unknown state values are errors at their
    // statement.
    s = sdlgl::CompileEffect(vs + "float4 PS() : COLOR { return 1; }\n"
                                  "technique T { pass {\n"
                                  "  VertexShader = compile vs_2_0 VS(1);\n"
                                  "  PixelShader = compile vs_2_0 PS(); } }\n",
                             "b.fx");
    EXPECT_FALSE(s.ok);
    EXPECT_TRUE(Has(s.log, "b.fx(4,1): error X3014: ")) << s.log;
    EXPECT_TRUE(Has(s.log, "b.fx(5,1): error X")) << s.log;
    s = sdlgl::CompileEffect(vs + "float4 PS(uniform bool b) : COLOR { return b; }\n"
                                  "technique T { pass { VertexShader = compile vs_2_0 VS();\n"
                                  "  PixelShader = compile ps_2_0 PS(maybe); CullMode = Sideways; } }\n",
                             "c.fx");
    EXPECT_FALSE(s.ok);
    EXPECT_TRUE(Has(s.log, "c.fx(4,1): error X3004: 'maybe'")) << s.log;
    EXPECT_TRUE(Has(s.log, "c.fx(4,1): error X3000: cannot read the value 'Sideways'")) << s.log;
}

TEST(EffectCompile, CompileArgumentsFixTheEntrysUniformParameters) {
    sdlgl::EffectSource s = sdlgl::CompileEffect(
        "float4 Tint;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
        "float4 PS(uniform float gain, uniform bool invert) : COLOR {\n"
        "  return invert ? 1 - Tint * gain : Tint * gain; }\n"
        "technique T { pass { VertexShader = compile vs_2_0 VS();\n"
        "  PixelShader = compile ps_2_0 PS(0.5, true); } }\n",
        "d.fx");
    ASSERT_TRUE(s.ok) << s.log;
    ASSERT_EQ(s.stages.size(), 2u);
    int fixed = 0;
    for (const sdlgl::HlslUniform& u : s.stages[1].uniforms) {
        if (u.hlslName == "gain") {
            EXPECT_EQ(u.fixedValue, std::vector<float>{0.5f});
        } else if (u.hlslName == "invert") {
            EXPECT_EQ(u.fixedValue, std::vector<float>{1});
        } else if (u.hlslName == "Tint") {
            EXPECT_FALSE(u.fixed);
        }
        fixed += u.fixed;
    }
    EXPECT_EQ(fixed, 2);
}

}  // namespace

namespace {

TEST(EffectCompile, IncludesAreFoundNextToTheEffectFile) {
    char tmpl[] = "/tmp/fx_include.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    ASSERT_EQ(mkdir((dir + "/Inc").c_str(), 0755), 0);
    std::ofstream(dir + "/Inc/Common.fxh")
        << "float4 Shared < string UIName = \"shared\"; >;\n"
           "float4 Helper() { return Shared; }\n";
    // Written with a backslash and another case, as effect files from Windows are.
    std::string main = OnePass("#include \"inc\\\\common.fxh\"\n"
                               "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
                               "float4 PS() : COLOR { return Helper(); }\n");
    sdlgl::EffectSource s = sdlgl::CompileEffect(main, dir + "/main.fx");
    EXPECT_TRUE(s.ok) << s.log;
    bool shared = false;
    for (const sdlgl::HlslStage& st : s.stages)
        for (const sdlgl::HlslUniform& u : st.uniforms) shared = shared || u.hlslName == "Shared";
    EXPECT_TRUE(shared);
    s = sdlgl::CompileEffect("\n#include \"missing.fxh\"\n" + main.substr(main.find('\n') + 1),
                             dir + "/main.fx");
    EXPECT_FALSE(s.ok);
    EXPECT_TRUE(Has(s.log, "main.fx(2,1): error X1507: failed to open source file")) << s.log;
    std::remove((dir + "/Inc/Common.fxh").c_str());
    rmdir((dir + "/Inc").c_str());
    rmdir(dir.c_str());
}

}  // namespace

namespace {

// Parameters that macros declare and size, values from macros, and errors placed in the file
// and line where they stand, included or not.
TEST(EffectCompile, MacrosAndIncludesKeepValuesAndPlaces) {
    char tmpl[] = "/tmp/fx_macros.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    std::ofstream(dir + "/decl.fxh") << "#define COUNT 3\n"
                                        "#define PARAM(type, name, value) type name = value\n"
                                        "PARAM(float4, Tint, float4(0.5 * 2, 0.25, 0, 1));\n"
                                        "float Weights[COUNT] = {1, 2, 3};\n";
    std::ofstream(dir + "/broken.fxh") << "float4 Fine;\n\nfloat4 Broken() { return Fine +; }\n";
    const std::string body =
        "#define PROFILE ps_2_0\n"
        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
        "float4 PS() : COLOR { return Tint * Weights[2]; }\n"
        "technique T { pass { VertexShader = compile vs_2_0 VS();\n"
        "  PixelShader = compile PROFILE PS(); } }\n";
    sdlgl::EffectSource s = sdlgl::CompileEffect("#include \"decl.fxh\"\n" + body, dir + "/main.fx");
    ASSERT_TRUE(s.ok) << s.log;
    int tint = s.FindParam("Tint"), weights = s.FindParam("Weights");
    ASSERT_GE(tint, 0);
    ASSERT_GE(weights, 0);
    EXPECT_EQ(s.params[static_cast<size_t>(tint)].initial, (std::vector<float>{1, 0.25f, 0, 1}));
    EXPECT_EQ(s.params[static_cast<size_t>(weights)].elements, 3);
    EXPECT_EQ(s.params[static_cast<size_t>(weights)].initial, (std::vector<float>{1, 2, 3}));
    // An HLSL error in an included file, then an effect error after the include.
    s = sdlgl::CompileEffect("#include \"broken.fxh\"\n" + body, dir + "/main.fx");
    EXPECT_FALSE(s.ok);
    EXPECT_TRUE(Has(s.log, "broken.fxh(3,")) << s.log;
    s = sdlgl::CompileEffect("#include \"decl.fxh\"\n" + body + "technique U { pass { Bogus } }\n",
                             dir + "/main.fx");
    EXPECT_FALSE(s.ok);
    EXPECT_TRUE(Has(s.log, "main.fx(7,")) << s.log;
    std::remove((dir + "/decl.fxh").c_str());
    std::remove((dir + "/broken.fxh").c_str());
    rmdir(dir.c_str());
}

}  // namespace

namespace {

TEST(EffectCompile, ShaderVariablesNameTheirShaderOrFail) {
    const std::string head =
        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
        "float4 PS(uniform float k) : COLOR { return k; }\n"
        "VertexShader V = compile vs_2_0 VS();\n"
        "PixelShader P[3] = { compile ps_2_0 PS(0.25), compile ps_3_0 PS(0.5), NULL };\n"
        "int Pick = 1;\nfloat4 NotAShader;\n";
    sdlgl::EffectSource s = sdlgl::CompileEffect(
        head + "technique T { pass { VertexShader = (V); PixelShader = (P[Pick]); } }\n"
               "technique U { pass { VertexShader = <V>; PixelShader = <P[2]>; } }\n",
        "v.fx");
    ASSERT_TRUE(s.ok) << s.log;
    ASSERT_EQ(s.stages.size(), 2u);   // VS once, PS(0.5) once; P[2] is fixed function
    EXPECT_TRUE(s.passShaders[0][0].hasPs);
    EXPECT_FALSE(s.passShaders[1][0].hasPs);
    bool half = false;
    for (const sdlgl::HlslUniform& u : s.stages[1].uniforms)
        half = half || (u.fixed && u.fixedValue == std::vector<float>{0.5f});
    EXPECT_TRUE(half) << "P[Pick] is P[1]";
    const char* bad[] = {"(NotAShader)", "(Nowhere)", "(P[3])", "(P[Missing])", "(P[1)"};
    for (const char* b : bad) {
        s = sdlgl::CompileEffect(head + "technique T { pass { VertexShader = (V);\n PixelShader = " +
                                     b + "; } }\n",
                                 "w.fx");
        EXPECT_FALSE(s.ok) << b;
        EXPECT_TRUE(Has(s.log, "w.fx(8,1): error X")) << b << ": " << s.log;
    }
}

}  // namespace
