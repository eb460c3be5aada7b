#include "gl_fixture.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <epoxy/gl.h>

#include "platform/backend.h"
#include "platform/sdl_gl/sdl_backend.h"
#include "tests/support/x_server.h"

namespace sdltest {

::std::ostream& operator<<(::std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

::testing::AssertionResult Near(const Rgb& got, D3DCOLOR want, int tol) {
    int r = (want >> 16) & 0xFF, g = (want >> 8) & 0xFF, b = want & 0xFF;
    if (std::abs(got.r - r) <= tol && std::abs(got.g - g) <= tol && std::abs(got.b - b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel " << got << " is not near (" << r << ", " << g
                                         << ", " << b << ")";
}

std::vector<MSG>& Received() {
    static std::vector<MSG> messages;
    return messages;
}

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wp;
    m.lParam = lp;
    Received().push_back(m);
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wp, lp);
}

bool StartSdlBackend() {
    if (!testsupport::StartX(testsupport::kSlowKeyRepeat)) return false;
    platform::RegisterSdlGlBackend();
    std::string err;
    if (!platform::Select("sdl", err)) {
        testsupport::SetXProblem(err);
        return false;
    }
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "sdl_gl_test";
    RegisterClassExA(&wc);   // a second registration fails harmlessly
    return true;
}

HWND MakeWindow(int clientWidth, int clientHeight, const char* title) {
    // WS_OVERLAPPEDWINDOW adds 8 pixels each side and a 23-pixel caption.
    HWND w = CreateWindowExA(0, "sdl_gl_test", title, WS_OVERLAPPEDWINDOW, 0, 0,
                             clientWidth + 16, clientHeight + 39, NULL, NULL, NULL, NULL);
    if (w) ShowWindow(w, SW_SHOW);
    return w;
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/sdl_gl_test.XXXXXX";
    path = mkdtemp(tmpl) ? tmpl : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (path != "/tmp") std::filesystem::remove_all(path, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

void GlTest::SetUp() {
    if (!StartSdlBackend()) GTEST_SKIP() << "no X server for OpenGL: " << testsupport::XProblem();
    window_ = MakeWindow(kWidth, kHeight);
    if (!window_) GTEST_SKIP() << "no window could be made on the private X server";
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    HRESULT hr = MakeDevice();
    if (FAILED(hr)) GTEST_SKIP() << "no OpenGL 3.3 core context (CreateDevice failed)";
}

HRESULT GlTest::MakeDevice(D3DMULTISAMPLE_TYPE samples, D3DSWAPEFFECT swap) {
    if (device_) device_->Release();
    device_ = nullptr;
    D3DPRESENT_PARAMETERS pp{};
    pp.MultiSampleType = samples;
    pp.SwapEffect = swap;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    HRESULT hr = d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_);
    if (SUCCEEDED(hr)) {
        // The states the engine sets on its device.
        device_->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device_->SetRenderState(D3DRS_ANTIALIASEDLINEENABLE, 1);
        device_->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
        device_->SetRenderState(D3DRS_CULLMODE, 0x7FFFFFFF);
        device_->SetRenderState(D3DRS_LIGHTING, 1);
    }
    return hr;
}

void GlTest::TearDown() {
    // Whatever the test drew, the device must not have made an invalid GL call.
    if (device_ && sdlgl::DeviceGl(device_)) {
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    if (device_) device_->Release();
    if (d3d_) d3d_->Release();
    if (window_) DestroyWindow(window_);
    device_ = nullptr;
    d3d_ = nullptr;
    window_ = nullptr;
}

void GlTest::ReadBack() {
    ASSERT_TRUE(sdlgl::ReadBackBuffer(device_, pixels_, bbWidth_, bbHeight_));
}

Rgb GlTest::Pixel(int x, int y) {
    if (pixels_.empty()) ReadBack();
    Rgb c;
    if (x < 0 || y < 0 || x >= bbWidth_ || y >= bbHeight_) return c;
    const uint8_t* p = &pixels_[(size_t(y) * bbWidth_ + x) * 4];
    c.r = p[0];
    c.g = p[1];
    c.b = p[2];
    return c;
}

void GlTest::Rect(float l, float t, float r, float b, D3DCOLOR colour, float z) {
    RhwVertex v[4] = {{l, t, z, 1, colour}, {r, t, z, 1, colour}, {l, b, z, 1, colour},
                      {r, b, z, 1, colour}};
    device_->SetFVF(kRhwFvf);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(RhwVertex)), D3D_OK);
}

}  // namespace sdltest
