#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/core/fxfile.h"

using core::FxFile;

namespace {

const char* kEffect =
    "// lighting effect\n"
    "#define SCALE 2\n"
    "float4x4 mat_World_View_Proj : WORLDVIEWPROJECTION;\n"
    "row_major float4x4 matWorld;\n"
    "float4 LightColor < string UIName = \"Light colour\"; float UIMax = 1.0; float2 UIRange[2] = {0, 0, 1, 2}; >"
    " = {1, 0.5, 0, 1};\n"
    "float LightFalloff = -2.5f, Attenuation = 1;\n"
    "static const float PI = 3.14159;\n"
    "bool Enabled = true;\n"
    "float3 Lights[4];\n"
    "string Author = \"someone\";\n"
    "texture DiffuseMap < string ResourceName = \"wood.bmp\"; >;\n"
    "sampler DiffuseSampler = sampler_state\n"
    "{\n"
    "    Texture = <DiffuseMap>;\n"
    "    MinFilter = Linear; MagFilter = Linear;\n"
    "    AddressU = Wrap;\n"
    "};\n"
    "struct VS_OUT { float4 pos : POSITION; float2 uv : TEXCOORD0; };\n"
    "VS_OUT VS(float4 p : POSITION, float2 uv : TEXCOORD0, uniform int mode)\n"
    "{\n"
    "    VS_OUT o; o.pos = mul(p, mat_World_View_Proj); o.uv = uv * (mode > 1 ? 2 : 1); return o;\n"
    "}\n"
    "float4 PS(float2 uv : TEXCOORD0) : COLOR { return tex2D(DiffuseSampler, uv) * LightColor; }\n"
    "/* technique Hidden { pass { } } */\n"
    "technique ald_Phong < string Note = \"first light\"; >\n"
    "{\n"
    "    pass P0\n"
    "    {\n"
    "        VertexShader = compile vs_2_0 VS(2);\n"
    "        PixelShader  = compile ps_2_0 PS();\n"
    "        ZWriteEnable = TRUE;\n"
    "        ColorWriteEnable = RED | GREEN;\n"
    "        Texture[0] = <DiffuseMap>;\n"
    "    }\n"
    "}\n"
    "technique ald_Phong_alpha { pass { AlphaBlendEnable = true; SrcBlend = One; DestBlend = One; }; pass P1 { } }\n";

FxFile Parse(const std::string& s) {
    FxFile f;
    std::string err;
    EXPECT_TRUE(core::ParseFx(s, f, err)) << err;
    return f;
}

std::string Fails(const std::string& s) {
    FxFile f;
    std::string err;
    EXPECT_FALSE(core::ParseFx(s, f, err)) << s;
    EXPECT_TRUE(f.params.empty() && f.techniques.empty() && f.hlsl.empty());
    return err;
}

std::string Line(const std::string& s, int n) {
    size_t b = 0;
    for (int i = 1; i < n; ++i) b = s.find('\n', b) + 1;
    return s.substr(b, s.find('\n', b) - b);
}

const core::FxParameter* Param(const FxFile& f, const std::string& name) {
    for (const auto& p : f.params)
        if (p.name == name) return &p;
    return nullptr;
}

}  // namespace

TEST(FxFile, ParametersWithShapesSemanticsAnnotationsAndValues) {
    FxFile f = Parse(kEffect);
    std::vector<std::string> names;
    for (const auto& p : f.params) names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"mat_World_View_Proj", "matWorld", "LightColor", "LightFalloff",
                                               "Attenuation", "Enabled", "Lights", "Author", "DiffuseMap",
                                               "DiffuseSampler"}));
    const auto* wvp = Param(f, "mat_World_View_Proj");
    EXPECT_EQ(wvp->semantic, "WORLDVIEWPROJECTION");
    EXPECT_EQ(wvp->paramClass, core::FxClass::Matrix);
    EXPECT_EQ(wvp->rows, 4);
    EXPECT_EQ(wvp->columns, 4);
    EXPECT_FALSE(wvp->rowMajor);
    EXPECT_TRUE(Param(f, "matWorld")->rowMajor);
    const auto* color = Param(f, "LightColor");
    EXPECT_EQ(color->paramClass, core::FxClass::Vector);
    EXPECT_EQ(color->columns, 4);
    ASSERT_EQ(color->annotations.size(), 3u);
    EXPECT_EQ(color->annotations[0].type, "string");
    EXPECT_EQ(color->annotations[0].value, "Light colour");
    EXPECT_EQ(color->annotations[1].value, "1.0");
    EXPECT_EQ(color->annotations[2].elements, 2);
    EXPECT_EQ(color->annotations[2].value, "{0, 0, 1, 2}");
    EXPECT_EQ(color->initialValue, (std::vector<float>{1, 0.5f, 0, 1}));
    EXPECT_EQ(Param(f, "LightFalloff")->initialValue, (std::vector<float>{-2.5f}));
    EXPECT_EQ(Param(f, "Attenuation")->initialValue, (std::vector<float>{1}));
    EXPECT_EQ(Param(f, "Enabled")->initialValue, (std::vector<float>{1}));
    EXPECT_EQ(Param(f, "Lights")->elements, 4);
    EXPECT_EQ(Param(f, "Lights")->columns, 3);
    EXPECT_EQ(Param(f, "Author")->initializerText, "someone");
    const auto* s = Param(f, "DiffuseSampler");
    EXPECT_EQ(s->paramClass, core::FxClass::Object);
    EXPECT_EQ(s->textureName, "DiffuseMap");
    ASSERT_EQ(s->samplerStates.size(), 4u);
    EXPECT_EQ(s->samplerStates[1].name, "MinFilter");
    EXPECT_EQ(s->samplerStates[1].value, "Linear");
    EXPECT_EQ(s->samplerStates[3].line, 16);
    // An initialiser nested deeper than the reader follows is read as one that is no constant
    // arithmetic (the shader compiler then refuses it), not a stack overflow.
    FxFile deep = Parse("float Deep = " + std::string(20000, '(') + "1" + std::string(20000, ')') + ";\n");
    ASSERT_EQ(deep.params.size(), 1u);
    EXPECT_EQ(deep.params[0].initialValue, std::vector<float>{1});
}

TEST(FxFile, TechniquesPassesAndStates) {
    FxFile f = Parse(kEffect);
    ASSERT_EQ(f.techniques.size(), 2u);   // the one in a comment is not seen
    const auto& t = f.techniques[0];
    EXPECT_EQ(t.name, "ald_Phong");
    EXPECT_EQ(t.line, 25);
    ASSERT_EQ(t.annotations.size(), 1u);
    ASSERT_EQ(t.passes.size(), 1u);
    const auto& st = t.passes[0].states;
    ASSERT_EQ(st.size(), 5u);
    EXPECT_TRUE(st[0].isCompile);
    EXPECT_EQ(st[0].profile, "vs_2_0");
    EXPECT_EQ(st[0].entry, "VS");
    EXPECT_EQ(st[0].arguments, "2");
    EXPECT_EQ(st[1].entry, "PS");
    EXPECT_EQ(st[1].arguments, "");
    EXPECT_EQ(st[2].value, "TRUE");
    EXPECT_EQ(st[3].value, "RED | GREEN");
    EXPECT_EQ(st[4].name, "Texture");
    EXPECT_EQ(st[4].index, 0);
    EXPECT_EQ(st[4].value, "<DiffuseMap>");
    const auto& a = f.techniques[1];
    EXPECT_EQ(a.name, "ald_Phong_alpha");
    ASSERT_EQ(a.passes.size(), 2u);
    EXPECT_EQ(a.passes[0].name, "");
    EXPECT_EQ(a.passes[0].states[1].value, "One");
    EXPECT_EQ(a.passes[1].name, "P1");
    EXPECT_TRUE(a.passes[1].states.empty());
}

TEST(FxFile, HlslKeepsLayoutAndLosesEffectSyntax) {
    FxFile f = Parse(kEffect);
    const std::string& h = f.hlsl;
    ASSERT_EQ(h.size(), std::string(kEffect).size());
    EXPECT_EQ(std::count(h.begin(), h.end(), '\n'), std::count(kEffect, kEffect + h.size(), '\n'));
    EXPECT_EQ(Line(h, 2), "#define SCALE 2");
    EXPECT_EQ(Line(h, 3), "float4x4 mat_World_View_Proj : WORLDVIEWPROJECTION;");
    EXPECT_EQ(Line(h, 5).substr(0, 18), "float4 LightColor ");
    EXPECT_EQ(Line(h, 5).find('<'), std::string::npos);
    EXPECT_NE(Line(h, 5).find("= {1, 0.5, 0, 1};"), std::string::npos);
    EXPECT_EQ(Line(h, 10).find_first_not_of(' '), std::string::npos);   // string parameter gone
    EXPECT_EQ(Line(h, 11).find_first_not_of(' '), std::string::npos);   // texture parameter gone
    EXPECT_EQ(Line(h, 12).substr(0, 23), "sampler DiffuseSampler ");
    EXPECT_EQ(Line(h, 12).find('='), std::string::npos);
    EXPECT_EQ(Line(h, 17).find_first_not_of(' '), 1u);                  // "};" -> " ;"
    EXPECT_EQ(Line(h, 19), std::string(kEffect).substr(std::string(kEffect).find("VS_OUT VS("), Line(h, 19).size()));
    EXPECT_EQ(h.find("technique ald"), std::string::npos);
    EXPECT_EQ(h.find("compile"), std::string::npos);
    EXPECT_NE(h.find("/* technique Hidden"), std::string::npos);
    EXPECT_NE(h.find("return tex2D(DiffuseSampler, uv) * LightColor;"), std::string::npos);
}

TEST(FxFile, MatrixAndVectorTemplatesAndOtherShapes) {
    FxFile f = Parse("matrix M; matrix<float, 3, 4> N; vector<float, 2> V; float4x3 A : register(c4); half H;\n"
                     "int2 I = int2(1, 2); float X : SOMETHING : register(c0);\n");
    EXPECT_EQ(Param(f, "M")->rows, 4);
    EXPECT_EQ(Param(f, "N")->rows, 3);
    EXPECT_EQ(Param(f, "N")->columns, 4);
    EXPECT_EQ(Param(f, "V")->paramClass, core::FxClass::Vector);
    EXPECT_EQ(Param(f, "V")->columns, 2);
    EXPECT_EQ(Param(f, "A")->rows, 4);
    EXPECT_EQ(Param(f, "A")->columns, 3);
    EXPECT_EQ(Param(f, "A")->semantic, "");
    EXPECT_EQ(Param(f, "H")->paramClass, core::FxClass::Scalar);
    EXPECT_EQ(Param(f, "I")->initialValue, (std::vector<float>{1, 2}));
    EXPECT_EQ(Param(f, "X")->semantic, "SOMETHING");
}

TEST(FxFile, ByteOrderMarkAndUnsignedTypes) {
    FxFile f = Parse("\xEF\xBB\xBFunsigned int Count = 3;\n");
    ASSERT_EQ(f.params.size(), 1u);
    EXPECT_EQ(f.params[0].type, "int");
    EXPECT_EQ(f.hlsl.substr(0, 4), "   u");
}

TEST(FxFile, ErrorsCarryTheLineNumber) {
    EXPECT_EQ(Fails("float a;\n/* open\n\n"), "line 2: comment not closed before end of file");
    EXPECT_EQ(Fails("technique T {\n pass P {\n  ZEnable = true\n }\n}\n").substr(0, 7), "line 4:");
    EXPECT_EQ(Fails("technique T {\n  ZEnable = true;\n}\n").substr(0, 7), "line 2:");
    EXPECT_EQ(Fails("technique T {\n pass P {\n").substr(0, 7), "line 2:");
    EXPECT_EQ(Fails("float4 f() {\n return 1;\n").substr(0, 7), "line 1:");
    EXPECT_EQ(Fails("float a\nfloat b;\n").substr(0, 7), "line 2:");
    EXPECT_EQ(Fails("\n\nstring s = \"abc;\n").substr(0, 7), "line 3:");
    EXPECT_EQ(Fails("float c < string x = \"y\"; ;\n").substr(0, 7), "line 1:");
    EXPECT_EQ(Fails("sampler S = sampler_state { Texture = <T>;\n").substr(0, 7), "line 1:");
    EXPECT_EQ(Fails("technique T { pass { VertexShader = compile vs_2_0; } }").substr(0, 7), "line 1:");
    Fails("} float a;");
    Fails("float a[;");
    EXPECT_EQ(Fails("float a[9999999999];"), "line 1: array size of 'a' out of range");
    Fails("technique T { pass { Texture[1e30] = <t>; } }");
}

TEST(FxFile, ArraySizesAndInitialisersOfArrays) {
    FxFile f = Parse("float4 L[2 * 2] = { {1, 2, 3, 4}, float4(5, 6, 7, 8), 9, 10, 11, 12, 13, 14, 15, 16 };\n"
                     "float W[(3)];\nfloat2x2 M[2][3];\nstatic const int n = 2; float K[n + 1] = {1, 2, 3};\n"
                     "static int m = 3; float U[m];\n");
    ASSERT_EQ(f.params.size(), 5u);
    EXPECT_EQ(f.params[0].elements, 4);
    EXPECT_EQ(f.params[0].initialValue.size(), 16u);
    EXPECT_EQ(f.params[1].elements, 3);
    EXPECT_EQ(f.params[2].elements, 2) << "the first dimension";
    EXPECT_EQ(f.params[3].elements, 3) << "a static const number";
    EXPECT_EQ(f.params[4].elements, 0) << "a size the reader cannot evaluate";
    EXPECT_EQ(Fails("float4 L[2] = { {1, 2, 3, 4} };\n"),
              "line 1: cannot implicitly convert from 4 initial values to 'float4[2]' ('L')");
    EXPECT_EQ(Fails("\nfloat W[3] = {1, 2, 3, 4};").substr(0, 7), "line 2:");
    EXPECT_EQ(Fails("float W[2.5];"), "line 1: array size of 'W' out of range");
    EXPECT_EQ(Fails("float W[1 - 1];"), "line 1: array size of 'W' out of range");
}

TEST(FxFile, EveryPrefixOfAnEffectIsHandled) {
    std::string s = kEffect;
    for (size_t n = 0; n <= s.size(); ++n) {
        FxFile f;
        std::string err;
        if (core::ParseFx(s.substr(0, n), f, err)) EXPECT_EQ(f.hlsl.size(), n);
        else EXPECT_EQ(err.compare(0, 5, "line "), 0) << err;
    }
}

TEST(FxFile, AssemblyBlocksAreKeptAsTheirText) {
    const std::string text =
        "PixelShader P = asm { ps_1_1 mov r0, v0 };\n"
        "VertexShader V[2] = { asm {\n vs_1_1 ; a brace } and a quote '\n dcl_position v0 }, NULL };\n"
        "technique T { pass A {\n VertexShader = asm\n  {\n  vs.1.1 // }\n  mov oPos, c0\n };\n"
        " PixelShader = (P);\n }\n pass B { VertexShader = <V[0]>; PixelShader = (V[1]); } }\n";
    FxFile f = Parse(text);
    EXPECT_EQ(f.hlsl.find("asm"), std::string::npos) << f.hlsl;
    EXPECT_EQ(f.hlsl.find("mov"), std::string::npos) << f.hlsl;
    ASSERT_EQ(f.techniques.size(), 1u);
    ASSERT_EQ(f.techniques[0].passes.size(), 2u);
    const core::FxState& vs = f.techniques[0].passes[0].states[0];
    EXPECT_TRUE(vs.isAsm);
    EXPECT_EQ(vs.value, "asm {...}");
    EXPECT_EQ(vs.assembly.text, "\n  vs.1.1 // }\n  mov oPos, c0\n ");
    EXPECT_EQ(vs.assembly.line, 7);
    EXPECT_EQ(vs.assembly.column, 4);
    struct Case {
        int pass, state;
        const char* text;   // the asm text the variable holds, "" for NULL
    };
    const Case cases[] = {{0, 1, " ps_1_1 mov r0, v0 "},
                          {1, 0, "\n vs_1_1 ; a brace } and a quote '\n dcl_position v0 "},
                          {1, 1, ""}};
    for (const Case& c : cases) {
        core::FxState out;
        std::string err;
        ASSERT_TRUE(core::ResolveShaderState(f, f.techniques[0].passes[c.pass].states[c.state], out, err)) << err;
        EXPECT_EQ(out.isAsm, *c.text != 0);
        EXPECT_EQ(out.assembly.text, c.text);
    }
    EXPECT_EQ(Param(f, "V")->asmBlocks[0].line, 2);
    EXPECT_EQ(Fails("float a;\ntechnique T { pass { PixelShader = asm { ps_1_1 ; } } }\n"),
              "line 2: asm block not closed before end of file");
}
