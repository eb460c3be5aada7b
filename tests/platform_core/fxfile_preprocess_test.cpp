#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "platform/core/fxfile.h"
#include "platform/core/fxfile_preprocess.h"

namespace {

// Included files come from this table instead of the disk.
std::map<std::string, std::string>& Files() {
    static std::map<std::string, std::string> files;
    return files;
}

bool ReadTable(const std::string& path, std::string& text) {
    auto it = Files().find(path);
    if (it == Files().end()) return false;
    text = it->second;
    return true;
}

std::string Pre(const std::string& text, const std::string& name = "fx/main.fx") {
    core::FxPreprocessed out;
    std::string err;
    EXPECT_TRUE(core::PreprocessFx(text, name, {}, ReadTable, out, err)) << err;
    return out.text;
}

std::string Error(const std::string& text, const std::string& name = "fx/main.fx") {
    core::FxPreprocessed out;
    std::string err;
    EXPECT_FALSE(core::PreprocessFx(text, name, {}, ReadTable, out, err)) << text;
    return err;
}

// Text without blanks, to compare expansions whatever the spacing.
std::string Solid(const std::string& s) {
    std::string r;
    for (char c : s)
        if (c != ' ' && c != '\t') r += c;
    return r;
}

TEST(FxPreprocess, MacrosExpandWithArgumentsStringsAndPasting) {
    EXPECT_EQ(Solid(Pre("#define N 4\nfloat a[N];\n")), "\nfloata[4];\n");
    EXPECT_EQ(Solid(Pre("#define SQ(x) ((x) * (x))\nfloat b = SQ(1 + 2);\n")),
              "\nfloatb=((1+2)*(1+2));\n");
    // Arguments are expanded before they go in; # and ## take them as written.
    EXPECT_EQ(Solid(Pre("#define A 1\n#define CAT(a, b) a##b\n#define STR(a) #a\n#define B CAT(x, A)\n"
                        "B STR(A \"q\") CAT(A, 2)\n")),
              "\n\n\n\nxA\"A\\\"q\\\"\"A2\n");
    // A macro is not expanded inside its own expansion.
    EXPECT_EQ(Solid(Pre("#define f(x) x + f(x)\n#define g g * 2\nf(1) g\n")), "\n\n1+f(1)g*2\n");
    // A call may run over lines; the lines after it keep their numbers.
    std::string multi = Pre("#define ADD(a, b) a+b\nx = ADD(1,\n 2);\ny;\n");
    EXPECT_EQ(Solid(multi.substr(0, multi.find(";"))), "\nx=1+2\n");
    EXPECT_EQ(std::count(multi.begin(), multi.begin() + static_cast<long>(multi.find("y;")), '\n'), 3);
    // Names that only look like a call without '(' stay.
    EXPECT_EQ(Solid(Pre("#define F(x) x\nint F;\n")), "\nintF;\n");
    // Two tokens a macro puts side by side do not merge.
    EXPECT_EQ(Pre("#define NEG -1\nx = -NEG;\n").find("--"), std::string::npos);
    // Variadic macros.
    EXPECT_EQ(Solid(Pre("#define V(f, ...) f(__VA_ARGS__)\nV(max, 1, 2)\n")), "\nmax(1,2)\n");
}

TEST(FxPreprocess, ConditionalsTakeOneBranch) {
    const char* text =
        "#define LEVEL 2\n"
        "#if LEVEL > 1 && defined(LEVEL) && !defined NOTHING\n"
        "two\n"
        "#elif LEVEL == 1\n"
        "one\n"
        "#else\n"
        "none\n"
        "#endif\n"
        "#ifdef LEVEL\n#ifndef LEVEL\nhidden\n#else\nshown\n#endif\n#endif\n"
        "#if 0\n#error not read\n#include \"missing.fxh\"\n#endif\n"
        "#if (1 << 3) / 2 == 4 ? UNKNOWN + 1 : 0\nternary\n#endif\n";
    std::string out = Pre(text);
    EXPECT_NE(out.find("two"), std::string::npos);
    EXPECT_EQ(out.find("one"), std::string::npos);
    EXPECT_EQ(out.find("none"), std::string::npos);
    EXPECT_EQ(out.find("hidden"), std::string::npos);
    EXPECT_NE(out.find("shown"), std::string::npos);
    EXPECT_NE(out.find("ternary"), std::string::npos);
    // Every line keeps its place.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), std::count(text, text + std::strlen(text), '\n'));
}

// As Direct3D's compiler reads them by default: an include not next to the including file is
// looked for next to the effect (a library's includes name each other from its folder).
TEST(FxPreprocess, IncludesOfIncludedFilesAlsoComeFromNextToTheEffect) {
    Files()["fx/include/common.fxh"] = "#include \"include/quad.fxh\"\n";
    Files()["fx/include/quad.fxh"] = "float Quad;\n";
    core::FxPreprocessed out;
    std::string err;
    ASSERT_TRUE(core::PreprocessFx("#include \"include/common.fxh\"\n", "fx/main.fx", {}, ReadTable, out, err))
        << err;
    EXPECT_EQ(out.includes, (std::vector<std::string>{"fx/include/common.fxh", "fx/include/quad.fxh"}));
}

TEST(FxPreprocess, IncludesComeFromNextToTheIncludingFile) {
    Files()["fx/common.fxh"] = "#pragma once\nfloat4 Tint = TINT;\n#include \"sub/deep.fxh\"\n";
    Files()["fx/sub/deep.fxh"] = "float Depth = 2;";   // no newline at the end
    core::FxPreprocessed out;
    std::string err;
    ASSERT_TRUE(core::PreprocessFx("#define TINT {1, 0, 0, 1}\n#include \"common.fxh\"\nfloat After;\n",
                                   "fx/main.fx", {}, ReadTable, out, err)) << err;
    EXPECT_EQ(out.includes, (std::vector<std::string>{"fx/common.fxh", "fx/sub/deep.fxh"}));
    // The effect reader sees the included parameters with their values...
    core::FxFile fx;
    ASSERT_TRUE(core::ParseFx(out.text, fx, err)) << err << "\n" << out.text;
    ASSERT_EQ(fx.params.size(), 3u);
    EXPECT_EQ(fx.params[0].name, "Tint");
    EXPECT_EQ(fx.params[0].initialValue, (std::vector<float>{1, 0, 0, 1}));
    EXPECT_EQ(fx.params[1].initialValue, (std::vector<float>{2}));
    // ...and each line's origin is its own file's line.
    std::string file;
    int line = 0;
    core::FxOrigin(out.text, "fx/main.fx", fx.params[0].line, file, line);
    EXPECT_EQ(file, "fx/common.fxh");
    EXPECT_EQ(line, 2);
    core::FxOrigin(out.text, "fx/main.fx", fx.params[1].line, file, line);
    EXPECT_EQ(file, "fx/sub/deep.fxh");
    EXPECT_EQ(line, 1);
    core::FxOrigin(out.text, "fx/main.fx", fx.params[2].line, file, line);
    EXPECT_EQ(file, "fx/main.fx");
    EXPECT_EQ(line, 3);
}

TEST(FxPreprocess, ErrorsNameTheFileAndLine) {
    Files()["fx/bad.fxh"] = "\n\n#if\n#endif\n";
    Files()["fx/self.fxh"] = "#include \"self.fxh\"\n";
    EXPECT_EQ(Error("float a;\n#include \"nowhere.fxh\"\n").find("fx/main.fx(2,1): error X1"), 0u);
    EXPECT_NE(Error("#include \"nowhere.fxh\"\n").find("nowhere.fxh"), std::string::npos);
    EXPECT_EQ(Error("#include \"bad.fxh\"\n").find("fx/bad.fxh(3,1): error X1"), 0u);
    EXPECT_NE(Error("#include \"self.fxh\"\n").find("nested"), std::string::npos);
    // Each level including the next twice: 4096 includes, 12 deep.
    for (int i = 1; i <= 12; ++i) {
        std::string next = "#include \"w" + std::to_string(i + 1) + ".fxh\"\n";
        Files()["fx/w" + std::to_string(i) + ".fxh"] = i < 12 ? next + next : "float x;\n";
    }
    EXPECT_NE(Error("#include \"w1.fxh\"\n").find("1024 files"), std::string::npos);
    EXPECT_EQ(Error("\n#if 1\nx\n").find("fx/main.fx(2,1): error X1"), 0u);   // not closed
    EXPECT_EQ(Error("#endif\n").find("fx/main.fx(1,1): error X1"), 0u);
    EXPECT_EQ(Error("#if 1\n#else\n#else\n#endif\n").find("fx/main.fx(3,1): error X1"), 0u);
    EXPECT_NE(Error("#error stop here\n").find("stop here"), std::string::npos);
    EXPECT_NE(Error("#if 1 / 0\n#endif\n").find("zero"), std::string::npos);
    EXPECT_NE(Error("#if 1.5\n#endif\n").find("integers"), std::string::npos);
    EXPECT_NE(Error("#define F(a, b) a\nF(1)\n").find("not enough"), std::string::npos);
    EXPECT_NE(Error("#define F(a) a\nF(1, 2)\n").find("too many"), std::string::npos);
    EXPECT_NE(Error("#define F(a) a\nF(1\n").find("arguments"), std::string::npos);
    EXPECT_NE(Error("#frobnicate\n").find("frobnicate"), std::string::npos);
    EXPECT_EQ(Error("\n/* open").find("fx/main.fx(2,1): error X1"), 0u);
    // Macros that call each other stop at themselves; expansion that doubles at each level
    // is stopped.
    EXPECT_EQ(Solid(Pre("#define A B B\n#define B A A\nA\n")), "\n\nAAAA\n");
    std::string doubling = "#define M0 x\n";
    for (int i = 1; i <= 30; ++i)
        doubling += "#define M" + std::to_string(i) + " M" + std::to_string(i - 1) + " M" +
                    std::to_string(i - 1) + "\n";
    EXPECT_NE(Error(doubling + "M30\n").find("macro expansion"), std::string::npos);
    // Nesting that would exhaust the stack is refused at its line.
    const std::string deep(20000, '(');
    EXPECT_EQ(Error("\n#if " + deep + "1\n#endif\n").find("fx/main.fx(2,1): error X1000: #if expression nested"), 0u);
    EXPECT_NE(Error("#define F(a) a\nF" + deep + "\n").find("error X1000: arguments of macro 'F' nested"), std::string::npos);
}

TEST(FxPreprocess, MessagesTakeD3dxShapeWithACodeThatFitsTheirText) {
    EXPECT_EQ(core::FxD3dxMessages("a.fx(3): error: 'x' : undeclared identifier\n"
                                   "b/c.fxh(12,7): warning: implicit truncation of vector type\n"
                                   "a.fx(4): error: 'main' : entry point not found\n"
                                   "a.fx: error: cannot open the effect file\n"
                                   "a.fx(5,2): error X1507: failed to open source file: 'd.fxh'\n"
                                   "a free line\n"
                                   "a.fx(6): error: something else"),
              "a.fx(3,1): error X3004: 'x' : undeclared identifier\n"
              "b/c.fxh(12,7): warning X3206: implicit truncation of vector type\n"
              "a.fx(4,1): error X3501: 'main' : entry point not found\n"
              "a.fx: error X1507: cannot open the effect file\n"
              "a.fx(5,2): error X1507: failed to open source file: 'd.fxh'\n"
              "a free line\n"
              "a.fx(6,1): error X3000: something else");
    std::string log = "a.fx(1,1): error X3004: x\n";
    core::FxAppendMessages(log, "a.fx(1,1): error X3004: x\na.fx(1,1): error X3004: xy\n");
    EXPECT_EQ(log, "a.fx(1,1): error X3004: x\na.fx(1,1): error X3004: xy\n") << "repeats dropped";
}

TEST(FxPreprocess, LoadFxPlacesReaderErrorsInTheirFile) {
    Files()["fx/broken.fxh"] = "float ok;\nfloat4 x = ;\n";
    core::FxPreprocessed pre;
    core::FxFile fx;
    std::string err;
    EXPECT_FALSE(core::LoadFx("// top\n#include \"broken.fxh\"\n", "fx/main.fx", pre, fx, err, ReadTable));
    EXPECT_EQ(err.find("fx/broken.fxh(2,1): error X3000:"), 0u) << err;
}

}  // namespace
