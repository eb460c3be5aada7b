// The alpha-tested copy of a pass's program receives the effect's values only before a draw
// uses it. Effects made from the same file share their programs, so each draw must still see
// the values of the effect drawing, whichever drew last and whatever changed inside the pass.
#include <gtest/gtest.h>

#include "fx_fixture.h"

namespace sdltest {
namespace {

const char* kAlphaTested =
    "technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();\n"
    "  AlphaTestEnable = TRUE; AlphaRef = 0x80; AlphaFunc = Greater; } }\n";

TEST_F(FxTest, AlphaTestedDrawsSeeTheirOwnEffectsValues) {
    if (IsSkipped()) return;
    sdlgl::GlEffect* red = Make(ColourEffect(kAlphaTested));
    sdlgl::GlEffect* green = Make(ColourEffect(kAlphaTested));
    ASSERT_NE(red, nullptr);
    ASSERT_NE(green, nullptr);
    D3DXVECTOR4 r(1, 0, 0, 1), g(0, 1, 0, 1), faint(0, 0, 1, 0.2f), blue(0, 0, 1, 1);
    red->SetVector("Colour", &r);
    green->SetVector("Colour", &g);
    Clear(0xFF000000);
    DrawQuad(red, -1, -1, -0.5f, 1);
    DrawQuad(green, -0.5f, -1, 0, 1);
    DrawQuad(red, 0, -1, 0.5f, 1);   // the shared program last had green's values
    // Inside one pass: a value changed between draws reaches the next draw.
    UINT passes = 0;
    ASSERT_EQ(green->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(green->BeginPass(0), D3D_OK);
    green->SetVector("Colour", &faint);
    DrawQuadPlain(0.5f, -1, 0.75f, 1);   // alpha 0.2: discarded
    green->SetVector("Colour", &blue);
    DrawQuadPlain(0.75f, -1, 1, 1);
    green->EndPass();
    green->End();
    EXPECT_TRUE(Near(PixelAt(-0.75f, 0), 0xFF0000));
    EXPECT_TRUE(Near(PixelAt(-0.25f, 0), 0x00FF00));
    EXPECT_TRUE(Near(PixelAt(0.25f, 0), 0xFF0000));
    EXPECT_TRUE(Near(PixelAt(0.625f, 0), 0x000000));
    EXPECT_TRUE(Near(PixelAt(0.875f, 0), 0x0000FF));
    red->Release();
    green->Release();
}

}  // namespace
}  // namespace sdltest
