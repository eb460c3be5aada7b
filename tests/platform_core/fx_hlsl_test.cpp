// The HLSL that ParseFx leaves must compile with glslang's HLSL front end, and compiler
// messages must name the lines of the original effect file.
#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/core/fxfile.h"

namespace {

const char* kEffect =
    "float4x4 mat_World_View_Proj : WORLDVIEWPROJECTION;\n"
    "float4 LightColor < string UIName = \"Light\"; > = {1, 1, 1, 1};\n"
    "string Author = \"me\";\n"
    "shared float Shared = 2;\n"
    "texture Diffuse;\n"
    "sampler DiffuseSampler = sampler_state {\n"
    "    Texture = <Diffuse>; MinFilter = Linear;\n"
    "};\n"
    "struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };\n"
    "VOut VS(float4 p : POSITION, float2 uv : TEXCOORD0) {\n"
    "    VOut o; o.pos = mul(p, mat_World_View_Proj); o.uv = uv; return o;\n"
    "}\n"
    "float4 PS(float2 uv : TEXCOORD0) : COLOR {\n"
    "    return tex2D(DiffuseSampler, uv) * LightColor * Shared;\n"
    "}\n"
    "technique ald_Phong < int n = 1; > {\n"
    "    pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); }\n"
    "}\n";

// Compiles one entry point; returns the info log, empty on success.
std::string Compile(const std::string& hlsl, EShLanguage stage, const char* entry) {
    glslang::TShader sh(stage);
    const char* src = hlsl.c_str();
    sh.setStrings(&src, 1);
    sh.setEntryPoint(entry);
    sh.setEnvInput(glslang::EShSourceHlsl, stage, glslang::EShClientOpenGL, 100);
    sh.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    sh.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    sh.setAutoMapBindings(true);
    sh.setAutoMapLocations(true);
    if (sh.parse(GetDefaultResources(), 100, false, EShMsgDefault)) return "";
    std::string log = sh.getInfoLog();
    return log.empty() ? "failed" : log;
}

struct Glslang : ::testing::Test {
    static void SetUpTestSuite() { glslang::InitializeProcess(); }
    static void TearDownTestSuite() { glslang::FinalizeProcess(); }
};

}  // namespace

TEST_F(Glslang, StrippedEffectCompiles) {
    core::FxFile fx;
    std::string err;
    ASSERT_TRUE(core::ParseFx(kEffect, fx, err)) << err;
    EXPECT_EQ(Compile(fx.hlsl, EShLangVertex, "VS"), "");
    EXPECT_EQ(Compile(fx.hlsl, EShLangFragment, "PS"), "");
}

TEST_F(Glslang, ErrorsPointAtTheOriginalLine) {
    std::string broken = kEffect;
    broken.replace(broken.find("* Shared"), 8, "* Missing");   // line 14
    core::FxFile fx;
    std::string err;
    ASSERT_TRUE(core::ParseFx(broken, fx, err)) << err;
    std::string log = Compile(fx.hlsl, EShLangFragment, "PS");
    EXPECT_NE(log.find(":14:"), std::string::npos) << log;
}
