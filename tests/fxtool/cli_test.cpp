// Runs the built fxtool on small effect files: exit codes, message shape, macros and include
// folders, and what info lists.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "platform/core/image.h"
#include "tests/support/level_run.h"

namespace {

// A pass with a vertex and a pixel shader; the pixel shader reads two samplers, one at a
// declared register.
const char kEffect[] =
    "float4x4 WorldViewProj : WORLDVIEWPROJECTION;\n"
    "float4 Tint <string UIName = \"Tint colour\"; float UIMax = 2.5;> = {1, 0.5, 0.25, 1};\n"
    "string Note = \"hello\";\n"
    "texture BaseTex;\n"
    "sampler BaseSampler = sampler_state { Texture = <BaseTex>; };\n"
    "sampler DetailSampler : register(s3);\n"
    "float4 VS(float4 p : POSITION, inout float2 uv : TEXCOORD0) : POSITION {\n"
    "    return mul(p, WorldViewProj);\n"
    "}\n"
    "float4 PS(float2 uv : TEXCOORD0) : COLOR {\n"
    "    return Tint * tex2D(BaseSampler, uv) * tex2D(DetailSampler, uv);\n"
    "}\n"
    "technique Lit <int Order = 2;> {\n"
    "    pass Base {\n"
    "        VertexShader = compile vs_2_0 VS();\n"
    "        PixelShader = compile ps_2_0 PS();\n"
    "        CullMode = None;\n"
    "    }\n"
    "}\n";

class FxtoolCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testsupport::FreshFolder("fxtool");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Write(const std::string& name, const std::string& text) const {
        EXPECT_TRUE(testsupport::WriteFile(dir_ + "/" + name, text));
        return "'" + dir_ + "/" + name + "'";
    }
    // Runs fxtool with `args` (a shell fragment); its exit code, output in out_.
    int Tool(const std::string& args) {
        std::string cmd = std::string("'") + FXTOOL_PATH + "' " + args + " >'" + dir_ + "/out' 2>&1";
        int status = std::system(cmd.c_str());
        out_ = testsupport::ReadText(dir_ + "/out");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir_, out_;
};

TEST_F(FxtoolCli, ExitCodesTellLoadsFailuresAndUsage) {
    std::string good = Write("good.fx", kEffect);
    std::string bad = Write("bad.fx", std::string(kEffect) + "float4 Broken() : COLOR { return nothing; }\n"
                                                             "technique T { pass { PixelShader = compile ps_2_0 Broken(); } }\n");
    const struct {
        std::string args;
        int code;
    } kCases[] = {
        {"check " + good, 0},
        {"check " + good + " " + bad, 1},
        {"check '" + dir_ + "/missing.fx'", 1},
        {"info " + bad, 1},
        {"--help", 0},
        {"--version", 0},
        {"", 2},
        {"compile " + good, 2},
        {"check", 2},
        {"check -D", 2},
        {"check -X " + good, 2},
        {"info " + good + " " + good, 2},
    };
    for (const auto& c : kCases) EXPECT_EQ(Tool(c.args), c.code) << c.args << "\n" << out_;
}

TEST_F(FxtoolCli, FailureIsReportedInD3dxShapeAndOneLinePerFile) {
    std::string good = Write("good.fx", kEffect);
    std::string bad = Write("bad.fx", "float4 PS() : COLOR { return undeclared; }\n"
                                      "technique T { pass P { PixelShader = compile ps_2_0 PS(); } }\n");
    EXPECT_EQ(Tool("check " + good + " " + bad), 1);
    EXPECT_TRUE(std::regex_search(out_, std::regex("bad\\.fx\\(1,\\d+\\): error X\\d{4}: [^\\n]*undeclared")))
        << out_;
    EXPECT_NE(out_.find("good.fx: ok\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("bad.fx: failed\n"), std::string::npos) << out_;
    EXPECT_NE(out_.find("1 of 2 files load\n"), std::string::npos) << out_;
}

TEST_F(FxtoolCli, MacrosAndIncludeFoldersReachThePreprocessor) {
    Write("lib/shade.fxh", "float4 Shade() : COLOR { return float4(LEVEL, 0, 0, 1); }\n");
    std::string fx = Write("uses.fx", "#ifndef LEVEL\n#error LEVEL is needed\n#endif\n#include \"shade.fxh\"\n"
                                      "technique T { pass P { PixelShader = compile ps_2_0 Shade(); } }\n");
    EXPECT_EQ(Tool("check -I '" + dir_ + "/lib' " + fx), 1) << out_;
    EXPECT_NE(out_.find("LEVEL is needed"), std::string::npos) << out_;
    EXPECT_EQ(Tool("check -D LEVEL=0.5 " + fx), 1) << out_;
    EXPECT_NE(out_.find("shade.fxh"), std::string::npos) << out_;
    EXPECT_EQ(Tool("check -DLEVEL=0.5 -I '" + dir_ + "/lib' " + fx), 0) << out_;
}

// Includes are found as the engine finds them, written with backslashes (doubled too) and
// "..", the includes of included files next to the effect too, and -I serves them as well.
TEST_F(FxtoolCli, IncludesAreFoundAsTheEngineFindsThem) {
    Write("lib/include/Quad.fxh", "float4 Quad() : COLOR { return 1; }\n");
    Write("lib/include/common.fx", "#include <include\\\\Quad.fxh>\n");
    const std::string technique = "technique T { pass P { PixelShader = compile ps_2_0 Quad(); } }\n";
    std::string top = Write("lib/top.fx", "#include <include\\\\quad.FXH>\n" + technique);
    std::string one = Write("lib/effects/one.fx", "#include \"..\\include\\common.fx\"\n" + technique);
    std::string two = Write("lib/effects/deep/two.fx", "#include \"..\\..\\include\\common.fx\"\n" + technique);
    std::string three = Write("lib/three.fx", "#include \"include\\common.fx\"\n" + technique);
    const std::string lib = " -I '" + dir_ + "/lib' ";
    const struct {
        std::string args;
        int code;
    } kCases[] = {
        {"check " + top, 0},
        {"check " + lib + one + " " + two, 0},
        {"check " + three, 0},   // common.fx's include is next to the effect
        {"check " + one, 1},     // common.fx's include is in none of its folders
    };
    for (const auto& c : kCases) EXPECT_EQ(Tool(c.args), c.code) << c.args << "\n" << out_;
}

TEST_F(FxtoolCli, InfoListsParametersTechniquesPassStatesAndSamplerRegisters) {
    std::string fx = Write("info.fx", kEffect);
    ASSERT_EQ(Tool("info " + fx), 0) << out_;
    const char* kLines[] = {
        ": 6 parameters, 1 techniques\n",
        "parameter float4x4 WorldViewProj : WORLDVIEWPROJECTION = {0, 0, 0, 0",
        "parameter float4 Tint = {1, 0.5, 0.25, 1}\n"
        "  annotation string UIName = \"Tint colour\"\n"
        "  annotation float UIMax = 2.5\n",
        "parameter string Note = \"hello\"\n",
        "parameter texture BaseTex\n",
        "parameter sampler DetailSampler\n",
        "parameter float4x4 WorldViewProj : WORLDVIEWPROJECTION = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "
        "0, 0}\n  engine sets: world-view-projection\n",
        "parameter texture BaseTex\n  engine sets: the subset's texture\n",
        "engine draws: technique Lit, once per object, with the first light\n",
        "technique Lit: 1 passes\n"
        "  annotation int Order = 2\n"
        "  pass 0 Base\n"
        "    state CullMode = None\n"
        "    vertex shader: vs_2_0\n"
        "    pixel shader: ps_2_0, samplers s0=BaseSampler s3=DetailSampler\n",
    };
    for (const char* line : kLines) EXPECT_NE(out_.find(line), std::string::npos) << line << "\n" << out_;
}

// Without a diffuse (or material texture) semantic, the texture named as the colour map
// stands in for it: the first such, and none named for another map too.
TEST_F(FxtoolCli, InfoGivesTheSubsetsTextureToTheColourMapByName) {
    struct Case {
        const char* first;    // texture declarations: name, then semantic and annotations
        const char* second;
        const char* bound;    // the texture that gets the subset's texture, "" for none
    } kCases[] = {
        {"specularMap_Tex < string ResourceName = \"s.tga\"; >",
         "diffuseMap_Tex < string ResourceName = \"d.tga\"; >", "diffuseMap_Tex"},
        {"gColorTexture : DIFFUSE", "baseMap", "gColorTexture"},
        {"normalBaseMap", "gColorCurveTex", ""},
        {"normalMap", "ObjectTexture : MATERIALTEXTURE", "ObjectTexture"},
    };
    for (const Case& c : kCases) {
        std::string names[2] = {c.first, c.second};
        for (std::string& n : names) n = n.substr(0, n.find(' '));
        std::string source = std::string("texture ") + c.first + ";\ntexture " + c.second + ";\n" +
                             "sampler A = sampler_state { Texture = <" + names[0] + ">; };\n"
                             "sampler B = sampler_state { Texture = <" + names[1] + ">; };\n"
                             "float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(A, uv) + tex2D(B, uv); }\n"
                             "technique T { pass { PixelShader = compile ps_2_0 PS(); } }\n";
        ASSERT_EQ(Tool("info " + Write("maps.fx", source)), 0) << out_;
        for (const std::string& name : names) {
            size_t at = out_.find("parameter texture " + name);
            ASSERT_NE(at, std::string::npos) << out_;
            bool bound = out_.find("subset's texture", at) < out_.find("\nparameter", at + 1);
            EXPECT_EQ(bound, name == c.bound) << name << "\n" << out_;
        }
    }
}

// An effect bound by semantic and annotation, drawn by preview on its sphere: a texture red
// above and blue below, lit from above, right and in front.
TEST_F(FxtoolCli, PreviewDrawsAnEffectBoundBySemanticLitAndTextured) {
    std::string fx = Write("lit.fx",
                           "float4x4 Wvp : WorldViewProjection;\n"
                           "float4x4 World : World;\n"
                           "float3 Lamp : Position < string Object = \"PointLight0\"; > = {0, 0, 0};\n"
                           "texture Tex : DIFFUSE;\n"
                           "sampler S = sampler_state { Texture = <Tex>; };\n"
                           "struct V { float4 p : POSITION; float2 uv : TEXCOORD0; float3 n : TEXCOORD1;\n"
                           "           float3 w : TEXCOORD2; };\n"
                           "V VS(float4 p : POSITION, float3 n : NORMAL, float2 uv : TEXCOORD0) {\n"
                           "    V o; o.p = mul(p, Wvp); o.uv = uv; o.n = mul(n, (float3x3)World);\n"
                           "    o.w = mul(p, World).xyz; return o; }\n"
                           "float4 PS(V i) : COLOR {\n"
                           "    float l = saturate(dot(normalize(i.n), normalize(Lamp - i.w)));\n"
                           "    return tex2D(S, i.uv) * (0.1 + l); }\n"
                           "technique Main { pass P { VertexShader = compile vs_2_0 VS();\n"
                           "                          PixelShader = compile ps_2_0 PS(); } }\n");
    // 2 x 4 pixels, 24-bit BGR, top row first: two rows red, two blue.
    std::string tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 4, 0, 24, 0x20};
    for (int row = 0; row < 4; ++row) tga += row < 2 ? std::string("\0\0\xff\0\0\xff", 6) : std::string("\xff\0\0\xff\0\0", 6);
    std::string texture = Write("tex.tga", tga);
    std::string png = dir_ + "/out.png";
    ASSERT_EQ(Tool("preview --texture " + texture + " --size 128x128 -o '" + png + "' " + fx), 0) << out_;

    std::string bytes = testsupport::ReadText(png), err;
    core::Image img;
    ASSERT_TRUE(core::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), img, err)) << err;
    ASSERT_EQ(img.width, 128);
    auto At = [&img](int x, int y) { return &img.rgba[static_cast<size_t>((y * img.width + x) * 4)]; };
    const uint8_t* upperRight = At(76, 50);
    const uint8_t* upperLeft = At(52, 50);
    const uint8_t* below = At(72, 84);
    EXPECT_GT(upperRight[0], 2 * upperRight[2]) << "red above";
    EXPECT_GT(below[2], 2 * below[0]) << "blue below";
    EXPECT_GT(upperRight[0], upperLeft[0] + 30) << "lit from the right";
    EXPECT_EQ(At(2, 2)[0], 24) << "the background around the sphere";
}

}  // namespace
