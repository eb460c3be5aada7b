// Mesh draws that lie wholly outside the view volume are not rasterised, with the fixed
// function pipeline and with effects whose position is a product of matrices. Boxes that
// straddle each plane of the volume (near, far, left, right, top, bottom) are still drawn,
// and every picture equals the one drawn with the test turned off.
#include <gtest/gtest.h>

#include <cmath>

#include "fx_fixture.h"
#include "platform/sdl_gl/gl_mesh.h"

namespace sdltest {
namespace {

const D3DCOLOR kBack = 0xFF102030;

// A box from `lo` to `hi`, every vertex coloured `colour`.
core::XMesh Box(const float lo[3], const float hi[3], uint32_t colour) {
    core::XMesh m;
    for (int k = 0; k < 8; ++k) {
        core::XVertex v;
        v.pos[0] = (k & 1) ? hi[0] : lo[0];
        v.pos[1] = (k & 2) ? hi[1] : lo[1];
        v.pos[2] = (k & 4) ? hi[2] : lo[2];
        v.color = colour;
        m.vertices.push_back(v);
    }
    const uint32_t faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                  {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    for (const auto& f : faces)
        for (uint32_t i : {f[0], f[1], f[2], f[0], f[2], f[3]}) m.indices.push_back(i);
    m.attributes.assign(12, 0);
    core::XSubset s;
    s.faceCount = 12;
    s.vertexCount = 8;
    m.subsets.push_back(s);
    m.materials.push_back(core::DefaultXMaterial());
    m.hasColors = true;
    return m;
}

struct Case {
    const char* what;
    float lo[3], hi[3];
    bool outside;
};

// The camera sits at the origin looking along +z; 90 degrees vertically, the back buffer's
// aspect, near 1 and far 100. At z = 10 the view reaches x = +-13.3 and y = +-10.
const Case kCases[] = {
    {"straddles near", {-1, -1, 0.5f}, {1, 1, 3}, false},
    {"before near", {-1, -1, -5}, {1, 1, 0.9f}, true},
    {"behind the eye", {-3, -3, -20}, {3, 3, -10}, true},
    {"straddles far", {-5, -5, 90}, {5, 5, 110}, false},
    {"beyond far", {-5, -5, 102}, {5, 5, 120}, true},
    {"straddles left", {-16, -1, 9.9f}, {-12, 1, 10.1f}, false},
    {"left of view", {-18, -1, 9.9f}, {-14, 1, 10.1f}, true},
    {"straddles right", {12, -1, 9.9f}, {16, 1, 10.1f}, false},
    {"right of view", {14, -1, 9.9f}, {18, 1, 10.1f}, true},
    {"straddles top", {-1, 9, 9.9f}, {1, 12, 10.1f}, false},
    {"above view", {-1, 10.5f, 9.9f}, {1, 14, 10.1f}, true},
    {"straddles bottom", {-1, -12, 9.9f}, {1, -9, 10.1f}, false},
    {"below view", {-1, -14, 9.9f}, {1, -10.5f, 10.1f}, true},
    {"holds the eye", {-50, -50, -50}, {50, 50, 50}, false},
    {"beside, but across the near plane", {20, -1, -5}, {24, 1, 5}, true},
};

class ViewCullingTest : public FxTest {
protected:
    void SetUp() override {
        FxTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        D3DXMatrixIdentity(&world_);
        D3DXMatrixIdentity(&view_);
        D3DXMatrixPerspectiveFovLH(&proj_, 1.5707964f, float(kWidth) / float(kHeight), 1.0f,
                                   100.0f);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    // Clears, draws `mesh` with `draw` (which issues the mesh's draw) and reads the picture
    // back; returns the number of pixels that are not the clear colour, and the number of
    // draws the device left out.
    template <class Draw>
    int Picture(bool culling, Draw draw, uint64_t& culled) {
        sdlgl::GlDevice& gl = Sdl()->Gl();
        gl.SetViewCulling(culling);
        uint64_t before = gl.CulledDraws();
        EXPECT_EQ(device_->BeginScene(), D3D_OK);
        Clear(kBack);
        draw();
        device_->EndScene();
        culled = gl.CulledDraws() - before;
        gl.SetViewCulling(true);
        ReadBack();
        int n = 0;
        for (int y = 0; y < bbHeight_; ++y)
            for (int x = 0; x < bbWidth_; ++x)
                if (!Near(Pixel(x, y), kBack, 0)) ++n;
        return n;
    }

    // Each case drawn with the test on and off: the same picture; boxes outside are left out
    // and draw nothing, straddling boxes are drawn and show.
    template <class Draw>
    void CheckCases(Draw drawBox) {
        for (const Case& c : kCases) {
            sdlgl::GlMesh mesh;
            Sdl()->MakeCurrent();
            ASSERT_TRUE(mesh.Upload(Box(c.lo, c.hi, 0xFFFF4000)));
            uint64_t culledOn = 0, culledOff = 0;
            int on = Picture(true, [&] { drawBox(mesh); }, culledOn);
            std::vector<uint8_t> withTest = pixels_;
            int off = Picture(false, [&] { drawBox(mesh); }, culledOff);
            EXPECT_EQ(withTest, pixels_) << c.what;
            EXPECT_EQ(culledOff, 0u) << c.what;
            EXPECT_EQ(culledOn, c.outside ? 1u : 0u) << c.what;
            if (c.outside)
                EXPECT_EQ(off, 0) << c.what << ": a box left out would have shown";
            else
                EXPECT_GT(on, 0) << c.what << ": the box does not show at all";
            mesh.Release();
        }
    }

    D3DXMATRIX world_, view_, proj_;
};

TEST_F(ViewCullingTest, FixedFunctionDraws) {
    if (IsSkipped()) return;
    device_->SetTransform(D3DTS_WORLD, &world_);
    device_->SetTransform(D3DTS_VIEW, &view_);
    device_->SetTransform(D3DTS_PROJECTION, &proj_);
    CheckCases([&](sdlgl::GlMesh& m) { m.DrawSubset(Sdl()->Gl(), 0); });

    // The world transform in force counts: a box moved into view by it is drawn, one moved
    // out is left out.
    const float lo[3] = {-1, -1, 9}, hi[3] = {1, 1, 11};
    sdlgl::GlMesh mesh;
    ASSERT_TRUE(mesh.Upload(Box(lo, hi, 0xFF00FF00)));
    D3DXMATRIX moved;
    D3DXMatrixTranslation(&moved, 40, 0, 0);
    device_->SetTransform(D3DTS_WORLD, &moved);
    uint64_t culled = 0;
    EXPECT_EQ(Picture(true, [&] { mesh.DrawSubset(Sdl()->Gl(), 0); }, culled), 0);
    EXPECT_EQ(culled, 1u);
    D3DXMatrixTranslation(&moved, 12, 0, 0);
    device_->SetTransform(D3DTS_WORLD, &moved);
    EXPECT_GT(Picture(true, [&] { mesh.DrawSubset(Sdl()->Gl(), 0); }, culled), 0);
    EXPECT_EQ(culled, 0u);
    mesh.Release();
}

// Draws the mesh through every pass of the effect's technique.
void DrawWith(ID3DXEffect* e, sdlgl::GlMesh& m, sdlgl::GlDevice& gl) {
    UINT passes = 0;
    ASSERT_EQ(e->Begin(&passes, 0), D3D_OK);
    for (UINT p = 0; p < passes; ++p) {
        e->BeginPass(p);
        m.DrawSubset(gl, 0);
        e->EndPass();
    }
    e->End();
}

const char* const kPixel =
    "float4 PS(float4 c : COLOR0) : COLOR { return c; }\n"
    "technique T { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();"
    " CullMode = None; } }\n";

TEST_F(ViewCullingTest, EffectWithOneMatrix) {
    if (IsSkipped()) return;
    sdlgl::GlEffect* e = Make(
        std::string("float4x4 WVP;\n"
                    "struct O { float4 p : POSITION; float4 c : COLOR0; };\n"
                    "O VS(float4 p : POSITION, float4 c : COLOR0) { O o; o.p = mul(p, WVP);"
                    " o.c = c; return o; }\n") + kPixel);
    ASSERT_NE(e, nullptr);
    D3DXMATRIX wvp = world_ * view_ * proj_;
    e->SetMatrix("WVP", &wvp);
    CheckCases([&](sdlgl::GlMesh& m) { DrawWith(e, m, Sdl()->Gl()); });

    // The value at the draw counts, also when set inside the pass.
    const float lo[3] = {-1, -1, 9}, hi[3] = {1, 1, 11};
    sdlgl::GlMesh mesh;
    ASSERT_TRUE(mesh.Upload(Box(lo, hi, 0xFF00FF00)));
    D3DXMATRIX away;
    D3DXMatrixTranslation(&away, 0, 0, 500);
    D3DXMATRIX far = away * view_ * proj_;
    uint64_t culled = 0;
    int shown = Picture(true, [&] {
        UINT passes = 0;
        e->Begin(&passes, 0);
        e->BeginPass(0);
        e->SetMatrix("WVP", &far);
        mesh.DrawSubset(Sdl()->Gl(), 0);   // beyond the far plane
        e->SetMatrix("WVP", &wvp);
        mesh.DrawSubset(Sdl()->Gl(), 0);   // in the middle of the view
        e->EndPass();
        e->End();
    }, culled);
    EXPECT_EQ(culled, 1u);
    EXPECT_GT(shown, 0);
    mesh.Release();
    e->Release();
}

TEST_F(ViewCullingTest, EffectWithProductsAndTransposes) {
    if (IsSkipped()) return;
    // World, then view and projection as one, and a last matrix given on the left.
    sdlgl::GlEffect* e = Make(
        std::string("float4x4 W; float4x4 VP; float4x4 Last;\n"
                    "struct O { float4 p : POSITION; float4 c : COLOR0; };\n"
                    "O VS(float4 p : POSITION, float4 c : COLOR0) { O o;\n"
                    "  o.p = mul(Last, mul(mul(p, W), VP)); o.c = c; return o; }\n") + kPixel);
    ASSERT_NE(e, nullptr);
    // clip = p * W * VP * transpose(Last). W moves 3 units right and VP moves back before
    // the camera's view and projection; Last is a shear that VP undoes. A factor taken in
    // the wrong order or untransposed puts the boxes elsewhere.
    D3DXMATRIX w, back, vp, undo, shear, last;
    D3DXMatrixTranslation(&w, 3, 0, 0);
    D3DXMatrixTranslation(&back, -3, 0, 0);
    D3DXMatrixIdentity(&shear);
    shear._12 = 0.5f;
    D3DXMatrixIdentity(&undo);
    undo._12 = -0.5f;
    vp = back * view_ * proj_ * undo;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) last.m[r][c] = shear.m[c][r];
    e->SetMatrix("W", &w);
    e->SetMatrix("VP", &vp);
    e->SetMatrix("Last", &last);
    CheckCases([&](sdlgl::GlMesh& m) { DrawWith(e, m, Sdl()->Gl()); });
    e->Release();
}

TEST_F(ViewCullingTest, EffectWhosePositionIsNotAProductIsAlwaysDrawn) {
    if (IsSkipped()) return;
    // The offset brings a box from far outside into view: the device cannot know, and draws.
    sdlgl::GlEffect* e = Make(
        std::string("float4x4 WVP; float4 Offset;\n"
                    "struct O { float4 p : POSITION; float4 c : COLOR0; };\n"
                    "O VS(float4 p : POSITION, float4 c : COLOR0) { O o;\n"
                    "  o.p = mul(p + Offset, WVP); o.c = c; return o; }\n") + kPixel);
    ASSERT_NE(e, nullptr);
    D3DXMATRIX wvp = world_ * view_ * proj_;
    e->SetMatrix("WVP", &wvp);
    D3DXVECTOR4 offset(-60, 0, 0, 0);
    e->SetVector("Offset", &offset);
    const float lo[3] = {59, -1, 9}, hi[3] = {61, 1, 11};
    sdlgl::GlMesh mesh;
    ASSERT_TRUE(mesh.Upload(Box(lo, hi, 0xFF00FF00)));
    uint64_t culled = 0;
    EXPECT_GT(Picture(true, [&] { DrawWith(e, mesh, Sdl()->Gl()); }, culled), 0);
    EXPECT_EQ(culled, 0u);
    mesh.Release();
    e->Release();
}

TEST_F(ViewCullingTest, MeshWithPositionsThatAreNotNumbersIsDrawn) {
    if (IsSkipped()) return;
    device_->SetTransform(D3DTS_WORLD, &world_);
    device_->SetTransform(D3DTS_VIEW, &view_);
    device_->SetTransform(D3DTS_PROJECTION, &proj_);
    const float lo[3] = {40, -1, 9}, hi[3] = {44, 1, 11};
    core::XMesh box = Box(lo, hi, 0xFF00FF00);
    box.vertices[0].pos[0] = std::nanf("");
    sdlgl::GlMesh mesh;
    ASSERT_TRUE(mesh.Upload(box));
    EXPECT_FALSE(mesh.GetBounds().valid);
    uint64_t culled = 0;
    Picture(true, [&] { mesh.DrawSubset(Sdl()->Gl(), 0); }, culled);
    EXPECT_EQ(culled, 0u);
    mesh.Release();
}

}  // namespace
}  // namespace sdltest
