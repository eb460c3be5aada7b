// Array values of effect parameters: element handles and the D3DX array setters' counts.
#include <gtest/gtest.h>

#include "platform/core/fxfile_values.h"

namespace {

core::FxShape Shape(core::FxClass cls, int rows, int columns, int elements) {
    core::FxShape s;
    s.cls = cls;
    s.rows = rows;
    s.columns = columns;
    s.elements = elements;
    return s;
}

TEST(FxValues, HandlesNameAParameterOrOneElement) {
    std::string name;
    int element = 0;
    ASSERT_TRUE(core::FxSplitHandle("Lights", name, element));
    EXPECT_EQ(name, "Lights");
    EXPECT_EQ(element, -1);
    ASSERT_TRUE(core::FxSplitHandle("Lights[12]", name, element));
    EXPECT_EQ(name, "Lights");
    EXPECT_EQ(element, 12);
    for (const char* bad : {"Lights[", "Lights[]", "Lights[1", "Lights[1]x", "Lights[-1]",
                            "Lights[ 1]", "[1]", "", "Lights[99999999999]"})
        EXPECT_FALSE(core::FxSplitHandle(bad, name, element)) << bad;
    EXPECT_FALSE(core::FxSplitHandle(nullptr, name, element));

    core::FxShape lights = Shape(core::FxClass::Vector, 1, 3, 4), one;
    size_t offset = 0;
    ASSERT_TRUE(core::FxNarrow(lights, 2, one, offset));
    EXPECT_EQ(offset, 6u);
    EXPECT_EQ(one.elements, 0);
    EXPECT_FALSE(core::FxNarrow(lights, 4, one, offset));
    EXPECT_FALSE(core::FxNarrow(Shape(core::FxClass::Vector, 1, 4, 0), 0, one, offset))
        << "no elements in a plain vector";
}

TEST(FxValues, VectorAndMatrixArraysTakeAtMostTheirElements) {
    core::FxShape v3 = Shape(core::FxClass::Vector, 1, 3, 2);
    const float in[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::vector<float> out;
    ASSERT_TRUE(core::FxSetArray(core::FxArrayCall::Vector, v3, in, 1, out));
    EXPECT_EQ(out, (std::vector<float>{1, 2, 3})) << "fewer items leave the other elements";
    ASSERT_TRUE(core::FxSetArray(core::FxArrayCall::Vector, v3, in, 2, out));
    EXPECT_EQ(out, (std::vector<float>{1, 2, 3, 5, 6, 7})) << "w of each item dropped";
    EXPECT_FALSE(core::FxSetArray(core::FxArrayCall::Vector, v3, in, 3, out));
    EXPECT_FALSE(core::FxSetArray(core::FxArrayCall::Vector, Shape(core::FxClass::Scalar, 1, 1, 4),
                                  in, 1, out))
        << "a float array is no vector array";
    EXPECT_FALSE(core::FxSetArray(core::FxArrayCall::Vector, Shape(core::FxClass::Vector, 1, 4, 0),
                                  in, 1, out))
        << "a plain vector is no array";
    EXPECT_FALSE(core::FxSetArray(core::FxArrayCall::Vector, Shape(core::FxClass::Object, 1, 1, 2),
                                  in, 1, out));

    // Float arrays fill the value in order, whatever its class, and ignore the surplus.
    core::FxShape m = Shape(core::FxClass::Matrix, 2, 2, 2);
    ASSERT_TRUE(core::FxSetArray(core::FxArrayCall::Float, m, in, 12, out));
    EXPECT_EQ(out.size(), 8u);
    ASSERT_TRUE(core::FxSetArray(core::FxArrayCall::Float, v3, in, 0, out));
    EXPECT_TRUE(out.empty());

    float mats[32];
    for (int i = 0; i < 32; ++i) mats[i] = static_cast<float>(i);
    ASSERT_TRUE(core::FxSetArray(core::FxArrayCall::Matrix, m, mats, 2, out));
    EXPECT_EQ(out, (std::vector<float>{0, 1, 4, 5, 16, 17, 20, 21})) << "rows of each matrix";
    ASSERT_TRUE(core::FxSetArray(core::FxArrayCall::MatrixTranspose, m, mats, 1, out));
    EXPECT_EQ(out, (std::vector<float>{0, 4, 1, 5}));
    EXPECT_FALSE(core::FxSetArray(core::FxArrayCall::Matrix, m, mats, 3, out));
    EXPECT_FALSE(core::FxSetArray(core::FxArrayCall::Matrix, v3, mats, 1, out));

    // Getters give the setters' layout back, zeros outside the value's rows and columns.
    const float stored[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    float got[32];
    ASSERT_TRUE(core::FxGetArray(core::FxArrayCall::Matrix, m, stored, 2, got));
    EXPECT_EQ(got[0], 1);
    EXPECT_EQ(got[5], 4);
    EXPECT_EQ(got[2], 0);
    EXPECT_EQ(got[21], 8);
    EXPECT_FALSE(core::FxGetArray(core::FxArrayCall::Matrix, m, stored, 3, got));
    EXPECT_TRUE(core::FxGetArray(core::FxArrayCall::Vector, m, stored, 0, got)) << "nothing asked";
    ASSERT_TRUE(core::FxGetArray(core::FxArrayCall::Vector, v3, stored, 2, got));
    EXPECT_EQ(got[3], 0);
    EXPECT_EQ(got[4], 4);
}

TEST(FxValues, RawValuesNeedRoomForTheWholeValue) {
    core::FxShape ints = Shape(core::FxClass::Scalar, 1, 1, 3);
    const int32_t in[3] = {7, -2, 9};
    std::vector<float> out;
    EXPECT_FALSE(core::FxSetRaw(ints, true, in, 8, out));
    ASSERT_TRUE(core::FxSetRaw(ints, true, in, 12, out));
    EXPECT_EQ(out, (std::vector<float>{7, -2, 9}));
    int32_t back[3] = {0, 0, 0};
    ASSERT_TRUE(core::FxGetRaw(ints, true, out.data(), back, 16));
    EXPECT_EQ(back[1], -2);
    const float f[2] = {0.5f, 1.5f};
    ASSERT_TRUE(core::FxSetRaw(Shape(core::FxClass::Vector, 1, 2, 0), false, f, 8, out));
    EXPECT_EQ(out, (std::vector<float>{0.5f, 1.5f}));
    EXPECT_FALSE(core::FxSetRaw(Shape(core::FxClass::Object, 1, 1, 0), false, f, 8, out));
    EXPECT_FALSE(core::FxGetRaw(ints, true, out.data(), nullptr, 12));
}

}  // namespace
