#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/fx_shader_constants.h"

namespace {

const char* kParams =
    "float4x4 M = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};\n"
    "row_major float4x4 R = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};\n"
    "float4x3 N = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};\n"
    "float3 V = {1, 2, 3};\n"
    "float4 A[2] = {1, 2, 3, 4, 5, 6, 7, 8};\n"
    "bool B[2] = {true, false};\n"
    "texture T;\n";

// The registers a state `Name[index] = value` of a pass writes, with the parameters at their
// initial values; `err` when it is refused.
std::vector<float> Registers(const std::string& state, std::string& err, core::FxConstantState& c) {
    core::FxFile fx;
    std::string text = std::string(kParams) + "technique X { pass { " + state + "; } }";
    EXPECT_TRUE(core::ParseFx(text, fx, err)) << err;
    const core::FxState& s = fx.techniques[0].passes[0].states[0];
    if (!core::FxReadShaderConstant(fx, s, c, err)) return {};
    if (c.param < 0) return core::FxConstantRegisters(c, core::FxShape(), false, {});
    const core::FxParameter& p = fx.params[static_cast<size_t>(c.param)];
    core::FxShape shape;
    shape.cls = p.paramClass;
    shape.rows = p.rows;
    shape.columns = p.columns;
    shape.elements = p.elements;
    return core::FxConstantRegisters(c, shape, p.rowMajor, p.initialValue);
}

}  // namespace

// Parameters fill registers as the effect framework lays them out: a matrix one column a
// register unless declared row_major, a vector padded to a register, array elements in turn.
TEST(FxShaderConstants, ValuesFillRegistersAsD3dxLaysThemOut) {
    struct Case {
        const char* state;
        bool vertex;
        char file;
        int first;
        std::vector<float> registers;
    };
    const Case cases[] = {
        {"VertexShaderConstant[4] = <M>", true, 'f', 4, {1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16}},
        {"vertexshaderconstantf[0] = (R)", true, 'f', 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"PixelShaderConstant[1] = <N>", false, 'f', 1, {1, 4, 7, 10, 2, 5, 8, 11, 3, 6, 9, 12}},
        {"VertexShaderConstant1[2] = <M>", true, 'f', 2, {1, 5, 9, 13}},
        {"PixelShaderConstantF[0] = <V>", false, 'f', 0, {1, 2, 3, 0}},
        {"VertexShaderConstant[0] = <A[1]>", true, 'f', 0, {5, 6, 7, 8}},
        {"VertexShaderConstant[0] = {1, 2, 3, 4, 5}", true, 'f', 0, {1, 2, 3, 4, 5, 0, 0, 0}},
        {"PixelShaderConstant2[3] = float4(1, -2, 3.5f, 4)", false, 'f', 3, {1, -2, 3.5f, 4}},
        {"VertexShaderConstantI[1] = {4, 0, 1, 0}", true, 'i', 1, {4, 0, 1, 0}},
        {"PixelShaderConstantB[2] = <B>", false, 'b', 2, {1, 0}},
        {"VertexShaderConstantB[0] = true", true, 'b', 0, {1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        std::string err;
        core::FxConstantState s;
        EXPECT_EQ(Registers(c.state, err, s), c.registers) << err;
        EXPECT_EQ(s.vertex, c.vertex);
        EXPECT_EQ(s.file, c.file);
        EXPECT_EQ(s.first, c.first);
    }
    for (const char* bad : {"VertexShaderConstant[0] = <Missing>", "PixelShaderConstant[0] = <T>",
                            "VertexShaderConstant[0] = {1, x}", "VertexShaderConstant[0] = <A[2]>"}) {
        SCOPED_TRACE(bad);
        std::string err;
        core::FxConstantState s;
        EXPECT_TRUE(Registers(bad, err, s).empty());
        EXPECT_EQ(err.compare(0, 20, "cannot read the valu"), 0) << err;
    }
    EXPECT_FALSE(core::FxIsShaderConstantState("PixelShaderConstant5"));
    EXPECT_FALSE(core::FxIsShaderConstantState("VertexShader"));
}
