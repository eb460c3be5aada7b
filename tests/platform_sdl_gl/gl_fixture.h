// Fixture for the OpenGL tests: the sdl backend on a private Xvfb, one window whose client
// area is kWidth x kHeight, and a device on it with the engine's present parameters.
// Tests read the back buffer back and compare pixels with a small tolerance.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3dx9.h"
#include "platform/windows.h"

namespace sdltest {

struct Rgb {
    int r = 0, g = 0, b = 0;
};
::std::ostream& operator<<(::std::ostream& os, const Rgb& c);
// Each channel within `tol` of the expected D3DCOLOR's.
::testing::AssertionResult Near(const Rgb& got, D3DCOLOR want, int tol = 2);

// Messages the test window procedure received, in order.
std::vector<MSG>& Received();
LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Makes sdl the active backend on a private X server; false (with testsupport::XProblem())
// when impossible.
bool StartSdlBackend();
// A window of the test class with the given client size, made visible.
HWND MakeWindow(int clientWidth, int clientHeight, const char* title = "sdl test");

// A temporary folder, removed with its files at destruction.
struct TempDir {
    TempDir();
    ~TempDir();
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::string path;
};
void WriteFile(const std::string& path, const std::string& bytes);

class GlTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 256, kHeight = 192;

    void SetUp() override;
    void TearDown() override;
    // Creates the device with this multisample type; the result of CreateDevice.
    HRESULT MakeDevice(D3DMULTISAMPLE_TYPE samples = D3DMULTISAMPLE_NONE,
                       D3DSWAPEFFECT swap = D3DSWAPEFFECT_DISCARD);

    Rgb Pixel(int x, int y);            // from the back buffer, top-left origin
    void ReadBack();                    // refreshes the copy Pixel reads
    // Draws an axis-aligned pre-transformed rectangle [l, r) x [t, b) in one colour.
    void Rect(float l, float t, float r, float b, D3DCOLOR colour, float z = 0.5f);

    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    std::vector<uint8_t> pixels_;
    int bbWidth_ = 0, bbHeight_ = 0;
};

struct RhwVertex {
    float x, y, z, rhw;
    D3DCOLOR colour;
};
const DWORD kRhwFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

}  // namespace sdltest
