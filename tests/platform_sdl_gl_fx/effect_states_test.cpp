// Pass and sampler state assignments as effect files write them.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/sdl_gl/effect_states.h"

namespace {

using sdlgl::StateValueKind;

uint32_t Value(const char* text, StateValueKind kind) {
    uint32_t v = 0xDEADBEEF;
    float vec[4];
    EXPECT_TRUE(sdlgl::ParseStateValue(text, kind, v, vec)) << text;
    return v;
}

bool Fails(const char* text, StateValueKind kind) {
    uint32_t v;
    float vec[4];
    return !sdlgl::ParseStateValue(text, kind, v, vec);
}

TEST(EffectStates, NamesAreCaseBlindAndSamplerStatesNeedTheirPlace) {
    sdlgl::StateInfo info;
    ASSERT_TRUE(sdlgl::LookupState("ZWRITEENABLE", false, info));
    EXPECT_EQ(info.target, sdlgl::StateTarget::Render);
    EXPECT_EQ(info.id, 14u);
    ASSERT_TRUE(sdlgl::LookupState("zwriteenable", false, info));
    EXPECT_EQ(info.id, 14u);
    ASSERT_TRUE(sdlgl::LookupState("MinFilter", false, info));   // MinFilter[0] in a pass
    EXPECT_EQ(info.target, sdlgl::StateTarget::Sampler);
    EXPECT_EQ(info.id, 6u);
    EXPECT_FALSE(sdlgl::LookupState("ZWriteEnable", true, info));   // not a sampler state
    EXPECT_FALSE(sdlgl::LookupState("NoSuchState", false, info));
}

TEST(EffectStates, EnumValuesWithOrWithoutPrefixAndNumbers) {
    EXPECT_EQ(Value("One", StateValueKind::Blend), 2u);
    EXPECT_EQ(Value("D3DBLEND_INVSRCALPHA", StateValueKind::Blend), 6u);
    EXPECT_EQ(Value("invsrcalpha", StateValueKind::Blend), 6u);
    EXPECT_EQ(Value("LessEqual", StateValueKind::Cmp), 4u);
    EXPECT_EQ(Value("None", StateValueKind::Cull), 1u);
    EXPECT_EQ(Value("CCW", StateValueKind::Cull), 3u);
    EXPECT_EQ(Value("Wireframe", StateValueKind::Fill), 2u);
    EXPECT_EQ(Value("true", StateValueKind::ZBuffer), 1u);
    EXPECT_EQ(Value("USEW", StateValueKind::ZBuffer), 2u);
    EXPECT_EQ(Value("RevSubtract", StateValueKind::BlendOp), 3u);
    EXPECT_EQ(Value("3", StateValueKind::Cull), 3u);
    EXPECT_EQ(Value("FALSE", StateValueKind::Bool), 0u);
    EXPECT_EQ(Value("2", StateValueKind::Bool), 1u);
    EXPECT_EQ(Value("0x80", StateValueKind::Dword), 128u);
    EXPECT_TRUE(Fails("Sideways", StateValueKind::Cull));
    EXPECT_TRUE(Fails("", StateValueKind::Bool));
    EXPECT_TRUE(Fails("-1", StateValueKind::Dword));
}

TEST(EffectStates, FlagsColoursAndFloats) {
    EXPECT_EQ(Value("Red | Green", StateValueKind::ColorWrite), 3u);
    EXPECT_EQ(Value("RED|GREEN|BLUE|ALPHA", StateValueKind::ColorWrite), 15u);
    EXPECT_EQ(Value("Texture | Complement", StateValueKind::TextureArg), 0x12u);
    EXPECT_TRUE(Fails("Red | Purple", StateValueKind::ColorWrite));
    EXPECT_EQ(Value("{1, 0.5, 0, 1}", StateValueKind::Color), 0xFFFF8000u);
    EXPECT_EQ(Value("{0, 0, 1}", StateValueKind::Color), 0xFF0000FFu);   // alpha 1 when missing
    EXPECT_EQ(Value("float4(2, -1, 0, 0.5)", StateValueKind::Color), 0x80FF0000u);   // clamped
    EXPECT_EQ(Value("0x40302010", StateValueKind::Color), 0x40302010u);
    float f = 0.25f;
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    EXPECT_EQ(Value("0.25f", StateValueKind::Float), bits);
    EXPECT_TRUE(Fails("{1, x}", StateValueKind::Color));
}

TEST(EffectStates, ParameterReferences) {
    EXPECT_EQ(sdlgl::ParameterReference("<Tex>", StateValueKind::Parameter), "Tex");
    EXPECT_EQ(sdlgl::ParameterReference(" ( UseBlend ) ", StateValueKind::Bool), "UseBlend");
    EXPECT_EQ(sdlgl::ParameterReference("UseBlend", StateValueKind::Bool), "UseBlend");
    EXPECT_EQ(sdlgl::ParameterReference("TRUE", StateValueKind::Bool), "");   // a constant
    EXPECT_EQ(sdlgl::ParameterReference("InvSrcAlpha", StateValueKind::Blend), "");
    EXPECT_EQ(sdlgl::ParameterReference("<a b>", StateValueKind::Parameter), "");
}

}  // namespace
