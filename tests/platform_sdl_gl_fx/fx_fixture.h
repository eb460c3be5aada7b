// Effects on the OpenGL device: the SDL backend's GL fixture plus an effect library on its
// device, quads drawn through effects, and small effect sources for the tests.
#pragma once

#include <string>

#include "gl_fixture.h"
#include "platform/sdl_gl/d3d_objects.h"
#include "platform/sdl_gl/effect_gl.h"
#include "platform/sdl_gl/effect_library.h"

namespace sdltest {

struct XyzVertex {
    float x, y, z;
    float u, v;
};
const DWORD kXyzTexFvf = D3DFVF_XYZ | D3DFVF_TEX1;

// A vertex with a normal, for the lit effects.
struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
const DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

class FxTest : public GlTest {
protected:
    void SetUp() override;
    void TearDown() override;

    sdlgl::SdlDevice* Sdl() { return static_cast<sdlgl::SdlDevice*>(device_); }
    // Creates an effect from source text; null (and a test failure) when that fails.
    sdlgl::GlEffect* Make(const std::string& source);
    // The result of creating an effect from `source`, with the messages.
    HRESULT TryMake(const std::string& source, std::string& messages);

    // A quad in the z = 0.5 plane spanning [x0, x1] x [y0, y1] in the shader's input space,
    // texture coordinates 0..1, drawn with every pass of the effect's current technique.
    void DrawQuad(ID3DXEffect* effect, float x0, float y0, float x1, float y1,
                  DWORD beginFlags = 0);
    // The same quad without an effect (the device's current program).
    void DrawQuadPlain(float x0, float y0, float x1, float y1);
    // Clears to `colour` inside a scene; ReadBack afterwards.
    void Clear(D3DCOLOR colour);
    // Pixel at normalised device coordinates (x, y).
    Rgb PixelAt(float x, float y);
    // A 1x1 texture of one colour.
    IDirect3DTexture9* SolidTexture(D3DCOLOR colour);

    sdlgl::EffectLibrary* library_ = nullptr;
};

// Effect source: a pass-through vertex shader and a pixel shader returning `Colour`.
std::string ColourEffect(const std::string& techniques);

}  // namespace sdltest
