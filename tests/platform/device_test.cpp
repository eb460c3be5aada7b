// The recording Direct3D 9 device and the D3DX objects of the headless backend.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/d3dx9.h"
#include "platform/headless/headless.h"
#include "test_files.h"
#include "tests/support/x_files.h"

namespace {

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

class Device : public ::testing::Test {
protected:
    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;

    void SetUp() override {
        headless::Reset();
        testfiles::EnterFreshFolder("device");
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "Zarvik";
        RegisterClassExA(&wc);
        window = CreateWindowExA(0, "Zarvik", "t", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, NULL, NULL, NULL, NULL);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
    }
    // The present parameters the engine uses.
    D3DPRESENT_PARAMETERS Params(D3DMULTISAMPLE_TYPE ms = D3DMULTISAMPLE_NONE) {
        D3DPRESENT_PARAMETERS pp{};
        pp.MultiSampleType = ms;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        return pp;
    }
    HRESULT Create(D3DPRESENT_PARAMETERS pp) {
        return d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &pp, &dev);
    }
    void CreateDefault() { ASSERT_EQ(Create(Params()), D3D_OK); }
};

TEST_F(Device, CreationFillsInTheBackBufferAndSetsTheDefaults) {
    D3DPRESENT_PARAMETERS pp = Params();
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev), D3D_OK);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(pp.BackBufferWidth, 640u) << "the client area of the focus window";
    EXPECT_EQ(pp.BackBufferHeight, 480u);
    EXPECT_EQ(pp.BackBufferCount, 1u);
    headless::DeviceState st = headless::Device();
    EXPECT_TRUE(st.exists);
    EXPECT_EQ(st.behaviorFlags, (DWORD)D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(headless::RenderState(D3DRS_ZENABLE), (DWORD)D3DZB_TRUE) << "with an automatic depth buffer";
    EXPECT_EQ(headless::RenderState(D3DRS_LIGHTING), 1u);
    EXPECT_EQ(headless::RenderState(D3DRS_CULLMODE), (DWORD)D3DCULL_CCW);
    EXPECT_EQ(headless::RenderState(D3DRS_FILLMODE), (DWORD)D3DFILL_SOLID);
    EXPECT_EQ(st.samplerStates[0][D3DSAMP_MINFILTER], (DWORD)D3DTEXF_POINT);
    EXPECT_FLOAT_EQ(headless::Transform(D3DTS_WORLD)._44, 1.0f);
    EXPECT_EQ(headless::NameOf(dev), "device1");
    auto calls = headless::CallsOf("CreateDevice");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].result, "device1");
    EXPECT_NE(calls[0].args[4].find("MultiSampleType=0"), std::string::npos);
}

TEST_F(Device, CreationFailsForWhatTheAdapterCannotDo) {
    const D3DMULTISAMPLE_TYPE good[] = {D3DMULTISAMPLE_NONE, D3DMULTISAMPLE_NONMASKABLE, D3DMULTISAMPLE_2_SAMPLES,
                                        D3DMULTISAMPLE_4_SAMPLES, D3DMULTISAMPLE_8_SAMPLES};
    for (D3DMULTISAMPLE_TYPE t : good) EXPECT_EQ(Create(Params(t)), D3D_OK) << t;
    const D3DMULTISAMPLE_TYPE bad[] = {D3DMULTISAMPLE_3_SAMPLES, D3DMULTISAMPLE_16_SAMPLES,
                                       (D3DMULTISAMPLE_TYPE)17, (D3DMULTISAMPLE_TYPE)0xFFFF};
    for (D3DMULTISAMPLE_TYPE t : bad) {
        dev = reinterpret_cast<IDirect3DDevice9*>(1);
        EXPECT_TRUE(FAILED(Create(Params(t)))) << t;
        EXPECT_EQ(dev, nullptr);
    }
    D3DPRESENT_PARAMETERS pp = Params(D3DMULTISAMPLE_4_SAMPLES);
    pp.SwapEffect = D3DSWAPEFFECT_COPY;
    EXPECT_EQ(Create(pp), D3DERR_INVALIDCALL) << "multisampling needs the discard swap effect";
    pp = Params();
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, NULL, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &dev),
              D3DERR_INVALIDCALL) << "no window";
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0, &pp, &dev), D3DERR_INVALIDCALL);
    headless::FailNext(headless::Kind::Device);
    EXPECT_TRUE(FAILED(Create(Params())));
    EXPECT_EQ(Create(Params()), D3D_OK) << "an injected failure happens once";

    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    headless::FailNext(headless::Kind::Direct3D);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
}

TEST_F(Device, StateCallsAreRecordedInOrderAndReadable) {
    CreateDefault();
    headless::ClearCalls();
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_FORCE_DWORD);
    dev->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
    dev->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_ANISOTROPIC);
    EXPECT_EQ(dev->SetSamplerState(300, D3DSAMP_MIPFILTER, 0), D3DERR_INVALIDCALL);
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 1, 2, 3);
    dev->SetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(dev->SetTransform((D3DTRANSFORMSTATETYPE)5, &world), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->SetTransform(D3DTS_VIEW, nullptr), D3DERR_INVALIDCALL);
    D3DMATERIAL9 mat{};
    mat.Diffuse = D3DCOLORVALUE{0.5f, 0.25f, 1, 1};
    mat.Power = 4;
    dev->SetMaterial(&mat);
    dev->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);

    headless::DeviceState st = headless::Device();
    EXPECT_EQ(st.renderStates[D3DRS_CULLMODE], 0x7FFFFFFFu);
    EXPECT_EQ(st.renderStates[D3DRS_AMBIENT], 0xFFFFFFFFu);
    EXPECT_EQ(st.samplerStates[0][D3DSAMP_MIPFILTER], (DWORD)D3DTEXF_ANISOTROPIC);
    EXPECT_FLOAT_EQ(st.transforms[D3DTS_WORLD]._42, 2.0f);
    EXPECT_FLOAT_EQ(st.material.Diffuse.g, 0.25f);
    EXPECT_EQ(st.fvf, 0x44u);

    const auto& calls = headless::Calls();
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[0].Text(), "device1.SetRenderState(22, 2147483647) -> 0x00000000");
    EXPECT_EQ(calls[2].args, (std::vector<std::string>{"0", "7", "3"}));
    EXPECT_EQ(calls[4].args[1], "1 0 0 0 0 1 0 0 0 0 1 0 1 2 3 1");
    EXPECT_EQ(calls[5].result, "0x8876086C");
    EXPECT_EQ(calls[7].args[0], "0.5 0.25 1 1");
    EXPECT_EQ(calls[8].Text(), "device1.SetFVF(0x00000044) -> 0x00000000");
}

// A long run keeps the newest calls only; a test may ask for every call.
TEST_F(Device, RecordKeepsTheNewestCallsUnlessAskedForEvery) {
    CreateDefault();
    for (bool every : {false, true}) {
        if (every) headless::KeepEveryCall();
        headless::ClearCalls();
        const DWORD n = 2 * headless::kKeptCalls + 10;
        for (DWORD i = 0; i < n; ++i) dev->SetRenderState(D3DRS_ZENABLE, i);
        const std::vector<headless::Call>& calls = headless::Calls();
        EXPECT_EQ(calls.size() == n, every);
        EXPECT_GE(calls.size(), headless::kKeptCalls);
        EXPECT_EQ(calls.back().args[1], std::to_string(n - 1));
    }
}

TEST_F(Device, ScenesPairUpAndPresentMovesTheClock) {
    CreateDefault();
    headless::SetFrameStep(16);
    DWORD t0 = timeGetTime();
    EXPECT_EQ(dev->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF6482AA, 1.0f, 0), D3D_OK);
    EXPECT_EQ(dev->Clear(0, NULL, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->Clear(2, NULL, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev->BeginScene(), D3D_OK);
    EXPECT_EQ(dev->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_TRUE(headless::Device().inScene);
    EXPECT_EQ(dev->Present(NULL, NULL, NULL, NULL), D3DERR_INVALIDCALL) << "not inside a scene";
    EXPECT_EQ(dev->EndScene(), D3D_OK);
    EXPECT_EQ(dev->Present(NULL, NULL, NULL, NULL), D3D_OK);
    EXPECT_EQ(timeGetTime(), t0 + 32) << "every Present moves the clock by the frame step";
    EXPECT_EQ(headless::PresentCount(), 2u);
    EXPECT_EQ(headless::Device().presents, 1u);
    EXPECT_EQ(headless::CallsOf("Clear")[0].args,
              (std::vector<std::string>{"0", "null", "0x00000003", "0xFF6482AA", "1", "0"}));

    D3DPRESENT_PARAMETERS pp = Params();
    pp.EnableAutoDepthStencil = FALSE;
    ASSERT_EQ(Create(pp), D3D_OK);
    EXPECT_EQ(headless::RenderState(D3DRS_ZENABLE), (DWORD)D3DZB_FALSE);
    EXPECT_EQ(dev->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL)
        << "no depth buffer to clear";
}

TEST_F(Device, VertexBuffersKeepTheirBytesAndBoundDraws) {
    CreateDefault();
    IDirect3DVertexBuffer9* vb = nullptr;
    const DWORD fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
    ASSERT_EQ(dev->CreateVertexBuffer(80, 0, fvf, D3DPOOL_DEFAULT, &vb, NULL), D3D_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    for (int i = 0; i < 80; ++i) static_cast<uint8_t*>(p)[i] = uint8_t(i);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    std::vector<uint8_t> bytes = headless::VertexBufferBytes(vb);
    ASSERT_EQ(bytes.size(), 80u);
    EXPECT_EQ(bytes[79], 79);
    EXPECT_EQ(vb->Lock(60, 20, &p, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(p)[0], 60);
    vb->Unlock();
    EXPECT_EQ(vb->Lock(60, 21, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(vb->Lock(81, 0, &p, 0), D3DERR_INVALIDCALL);

    IDirect3DVertexBuffer9* none = nullptr;
    EXPECT_EQ(dev->CreateVertexBuffer(10, 0, fvf, D3DPOOL_DEFAULT, &none, NULL), D3DERR_INVALIDCALL)
        << "shorter than one vertex";
    headless::FailNext(headless::Kind::VertexBuffer);
    EXPECT_TRUE(FAILED(dev->CreateVertexBuffer(80, 0, fvf, D3DPOOL_DEFAULT, &none, NULL)));
    EXPECT_EQ(none, nullptr);

    dev->SetFVF(fvf);
    dev->SetStreamSource(0, vb, 0, 20);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL) << "outside a scene";
    dev->BeginScene();
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL) << "reads past the buffer";
    EXPECT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3DERR_INVALIDCALL) << "6 vertices of 4";
    headless::DeviceState st = headless::Device();
    EXPECT_EQ(st.streamSource, vb);
    EXPECT_EQ(st.streamStride, 20u);
    EXPECT_EQ(headless::CallsOf("SetStreamSource")[0].args[1], "vb1");
}

TEST_F(Device, DrawsFromMemoryRecordTheVerticesAndForgetStreamZero) {
    CreateDefault();
    IDirect3DVertexBuffer9* vb = nullptr;
    dev->CreateVertexBuffer(80, 0, 0, D3DPOOL_DEFAULT, &vb, NULL);
    dev->SetStreamSource(0, vb, 0, 20);
    float line[14] = {1, 2, 3, 0, 0, 0, 1, 4, 5, 6, 0, 0, 0, 1};
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, 28), D3DERR_INVALIDCALL);
    dev->BeginScene();
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, 28), D3D_OK);
    EXPECT_EQ(dev->DrawPrimitiveUP(D3DPT_LINELIST, 1, nullptr, 28), D3DERR_INVALIDCALL);
    auto calls = headless::CallsOf("DrawPrimitiveUP");
    ASSERT_EQ(calls.size(), 3u);
    ASSERT_EQ(calls[1].data.size(), 56u);
    EXPECT_EQ(std::memcmp(calls[1].data.data(), line, 56), 0);
    EXPECT_EQ(calls[1].args, (std::vector<std::string>{"2", "1", "28"}));
    EXPECT_EQ(headless::Device().streamSource, nullptr);
}

TEST_F(Device, TexturesComeFromImageFilesFoundAsWindowsWould) {
    CreateDefault();
    system("mkdir -p textures/_def");
    testfiles::Write("textures/_def/white.bmp", testfiles::Bmp(3, 2));
    testfiles::Write("textures/_def/broken.bmp", "BM not really");
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(dev, "TEXTURES\\_def\\White.BMP", &tex), D3D_OK);
    headless::TextureInfo info;
    ASSERT_TRUE(headless::GetTextureInfo(tex, info));
    EXPECT_EQ(info.width, 3);
    EXPECT_EQ(info.height, 2);
    EXPECT_EQ(info.file, "TEXTURES\\_def\\White.BMP");

    IDirect3DTexture9* none = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileA(dev, "textures\\_def\\red.bmp", &none)));
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileA(dev, "textures\\_def\\broken.bmp", &none)));
    EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileA(nullptr, "textures\\_def\\white.bmp", &none)));
    headless::FailNext(headless::Kind::Texture);
    EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileA(dev, "textures\\_def\\white.bmp", &none)));

    dev->SetTexture(0, tex);
    EXPECT_EQ(headless::Device().texture0, tex);
    dev->SetTexture(0, nullptr);
    EXPECT_EQ(headless::Device().texture0, nullptr);
    auto calls = headless::CallsOf("SetTexture");
    EXPECT_EQ(calls[0].args[1], "texture1");
    EXPECT_EQ(calls[1].args[1], "null");
}

TEST_F(Device, MeshesLoadWithTheirMaterialsInOneBuffer) {
    CreateDefault();
    testfiles::Write("quad.x", testfiles::QuadX("wood.bmp"));
    testfiles::Write("broken.x", "xof 0303txt 0032\nMesh { 3; 0;0;0;,");
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* mats = nullptr;
    DWORD count = 0;
    ASSERT_EQ(D3DXLoadMeshFromXA("quad.x", D3DXMESH_SYSTEMMEM, dev, NULL, &mats, NULL, &count, &mesh), D3D_OK);
    ASSERT_EQ(count, 2u);
    ASSERT_NE(mats, nullptr);
    const D3DXMATERIAL* m = static_cast<const D3DXMATERIAL*>(mats->GetBufferPointer());
    const char* begin = static_cast<const char*>(mats->GetBufferPointer());
    ASSERT_NE(m[0].pTextureFilename, nullptr);
    EXPECT_STREQ(m[0].pTextureFilename, "wood.bmp");
    EXPECT_GE(m[0].pTextureFilename, begin) << "the name lives in the same buffer";
    EXPECT_LT(m[0].pTextureFilename, begin + mats->GetBufferSize());
    EXPECT_EQ(m[1].pTextureFilename, nullptr);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Diffuse.g, 0.5f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Power, 10.0f);
    EXPECT_FLOAT_EQ(m[0].MatD3D.Ambient.r, 0.0f);
    EXPECT_FLOAT_EQ(m[1].MatD3D.Diffuse.a, 0.5f);
    headless::MeshInfo info;
    ASSERT_TRUE(headless::GetMeshInfo(mesh, info));
    EXPECT_EQ(info.faces, 2u);
    EXPECT_EQ(info.fvf, (DWORD)(D3DFVF_XYZ | D3DFVF_TEX1));
    EXPECT_EQ(info.subsetFaces, (std::vector<DWORD>{1, 1}));

    EXPECT_EQ(mesh->DrawSubset(0), D3DERR_INVALIDCALL) << "outside a scene";
    dev->BeginScene();
    EXPECT_EQ(mesh->DrawSubset(1), D3D_OK);
    EXPECT_EQ(mesh->DrawSubset(7), D3D_OK) << "an unused attribute draws nothing";
    EXPECT_EQ(headless::Device().fvf, (DWORD)(D3DFVF_XYZ | D3DFVF_TEX1)) << "drawing selects the mesh's format";
    auto draws = headless::CallsOf("DrawSubset", "mesh1");
    ASSERT_EQ(draws.size(), 3u);
    EXPECT_EQ(draws[1].result, "0x00000000 faces=1");
    EXPECT_EQ(draws[2].result, "0x00000000 faces=0");
    EXPECT_EQ(mats->Release(), 0u);

    ID3DXMesh* none = nullptr;
    EXPECT_TRUE(FAILED(D3DXLoadMeshFromXA("missing.x", D3DXMESH_SYSTEMMEM, dev, NULL, &mats, NULL, &count, &none)));
    EXPECT_TRUE(FAILED(D3DXLoadMeshFromXA("broken.x", D3DXMESH_SYSTEMMEM, dev, NULL, &mats, NULL, &count, &none)));
    EXPECT_EQ(mats, nullptr);
    EXPECT_EQ(none, nullptr);
    headless::FailNext(headless::Kind::Mesh);
    EXPECT_TRUE(FAILED(D3DXLoadMeshFromXA("quad.x", D3DXMESH_SYSTEMMEM, dev, NULL, &mats, NULL, &count, &none)));
}

// The window backend answers the same loads alike (text_mesh_test.cpp).
TEST_F(Device, MeshesOverTheSixteenBitLimitNeedThe32BitOption) {
    CreateDefault();
    testsupport::WriteSixteenBitLimitFiles(
        [](const char* name, const std::string& bytes) { testfiles::Write(name, bytes); });
    for (const testsupport::MeshLoad& c : testsupport::kSixteenBitLimit) {
        ID3DXMesh* mesh = nullptr;
        EXPECT_EQ(D3DXLoadMeshFromXA(c.file, c.options, dev, NULL, NULL, NULL, NULL, &mesh), c.result)
            << c.file << " " << c.options;
        EXPECT_EQ(mesh != nullptr, c.result == D3D_OK);
        if (mesh) mesh->Release();
    }
}

// Loads of one unchanged file share what was parsed, yet each object is its own, and the call
// record reads as if every load had read the file.
TEST_F(Device, LoadsOfOneFileAreEachTheirOwnAndSeeChanges) {
    CreateDefault();
    testfiles::Write("quad.x", testfiles::QuadX("wood.bmp"));
    testfiles::Write("wood.bmp", testfiles::Bmp(3, 2));
    ID3DXMesh* a = nullptr;
    ID3DXMesh* b = nullptr;
    ID3DXBuffer* mats = nullptr;
    DWORD count = 0;
    ASSERT_EQ(D3DXLoadMeshFromXA("quad.x", D3DXMESH_SYSTEMMEM, dev, NULL, &mats, NULL, &count, &a), D3D_OK);
    EXPECT_EQ(mats->Release(), 0u);
    ASSERT_EQ(D3DXLoadMeshFromXA("QUAD.X", D3DXMESH_SYSTEMMEM, dev, NULL, &mats, NULL, &count, &b), D3D_OK);
    ASSERT_NE(a, b);
    EXPECT_EQ(count, 2u);
    EXPECT_STREQ(static_cast<const D3DXMATERIAL*>(mats->GetBufferPointer())[0].pTextureFilename, "wood.bmp");
    EXPECT_EQ(mats->Release(), 0u);
    auto loads = headless::CallsOf("D3DXLoadMeshFromXA");
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0].result.substr(0, 17), "mesh1 materials=2");
    EXPECT_EQ(loads[1].result.substr(0, 17), "mesh2 materials=2");
    EXPECT_EQ(loads[1].args[0], "QUAD.X");

    // Each has its own count: releasing one leaves the other whole.
    EXPECT_EQ(b->AddRef(), 2u);
    EXPECT_EQ(a->Release(), 0u);
    dev->BeginScene();
    EXPECT_EQ(b->DrawSubset(0), D3D_OK);
    headless::MeshInfo info;
    ASSERT_TRUE(headless::GetMeshInfo(b, info));
    EXPECT_EQ(info.faces, 2u);
    EXPECT_EQ(info.file, "QUAD.X");

    // A changed file is read again; the mesh loaded before keeps what it had.
    testfiles::Write("quad.x", "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n");
    ID3DXMesh* c = nullptr;
    ASSERT_EQ(D3DXLoadMeshFromXA("quad.x", D3DXMESH_SYSTEMMEM, dev, NULL, NULL, NULL, &count, &c), D3D_OK);
    ASSERT_TRUE(headless::GetMeshInfo(c, info));
    EXPECT_EQ(info.faces, 1u);
    EXPECT_EQ(count, 1u);
    ASSERT_TRUE(headless::GetMeshInfo(b, info));
    EXPECT_EQ(info.faces, 2u);
    // A file that became unreadable fails as before, whatever was loaded from it.
    testfiles::Write("quad.x", "xof 0303txt 0032\nMesh { 3; 0;0;0;,");
    ID3DXMesh* none = nullptr;
    EXPECT_EQ(D3DXLoadMeshFromXA("quad.x", D3DXMESH_SYSTEMMEM, dev, NULL, NULL, NULL, &count, &none), E_FAIL);
    EXPECT_EQ(none, nullptr);

    // Textures alike.
    IDirect3DTexture9* t1 = nullptr;
    IDirect3DTexture9* t2 = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(dev, "wood.bmp", &t1), D3D_OK);
    ASSERT_EQ(D3DXCreateTextureFromFileA(dev, "wood.bmp", &t2), D3D_OK);
    ASSERT_NE(t1, t2);
    EXPECT_EQ(t1->Release(), 0u);
    headless::TextureInfo tinfo;
    ASSERT_TRUE(headless::GetTextureInfo(t2, tinfo));
    EXPECT_EQ(tinfo.width, 3);
    testfiles::Write("wood.bmp", testfiles::Bmp(5, 4));
    IDirect3DTexture9* t3 = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileA(dev, "wood.bmp", &t3), D3D_OK);
    ASSERT_TRUE(headless::GetTextureInfo(t3, tinfo));
    EXPECT_EQ(tinfo.width, 5);
    EXPECT_EQ(tinfo.height, 4);
    auto textures = headless::CallsOf("D3DXCreateTextureFromFileA");
    ASSERT_EQ(textures.size(), 3u);
    EXPECT_EQ(textures[0].result + textures[1].result + textures[2].result, "texture1texture2texture3");
    headless::FailNext(headless::Kind::Texture);
    EXPECT_EQ(D3DXCreateTextureFromFileA(dev, "wood.bmp", &t1), E_OUTOFMEMORY) << "failures injected still fail";
    t2->Release();
    t3->Release();
    b->Release();
    c->Release();
}

class Effects : public Device {
protected:
    ID3DXEffect* fx = nullptr;
    void SetUp() override {
        Device::SetUp();
        CreateDefault();
        testfiles::Write("phong.fx", testfiles::PhongFx());
        ASSERT_EQ(D3DXCreateEffectFromFileA(dev, "phong.fx", NULL, NULL, 0, NULL, &fx, NULL), D3D_OK);
    }
    std::vector<float> Value(const char* name) {
        headless::EffectInfo info;
        headless::GetEffectInfo(fx, info);
        return info.values[name];
    }
};

TEST_F(Effects, ParametersAcceptOnlyTheirOwnNamesAndTypes) {
    EXPECT_EQ(Value("LightFalloff"), std::vector<float>{1000}) << "the initial value";
    EXPECT_EQ(fx->SetFloat("LightFalloff", 250), D3D_OK);
    EXPECT_EQ(Value("LightFalloff"), std::vector<float>{250});
    D3DXVECTOR4 v(1, 2, 3, 1);
    EXPECT_EQ(fx->SetVector("View_Pos", &v), D3D_OK);
    EXPECT_EQ(Value("View_Pos"), (std::vector<float>{1, 2, 3, 1}));
    EXPECT_EQ(fx->SetVector("LightPos", &v), D3DERR_INVALIDCALL) << "not declared";
    EXPECT_EQ(fx->SetFloat("View_Pos", 5), D3DERR_INVALIDCALL) << "a vector is no scalar";
    EXPECT_EQ(fx->SetFloat("Tex", 5), D3DERR_INVALIDCALL) << "a texture holds no number";
    EXPECT_EQ(Value("View_Pos"), (std::vector<float>{1, 2, 3, 1})) << "a failed call changes nothing";
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 7, 8, 9);
    EXPECT_EQ(fx->SetMatrix("matWorld", &m), D3D_OK);
    EXPECT_FLOAT_EQ(Value("matWorld")[13], 8.0f);
    EXPECT_EQ(fx->SetMatrix("View_Pos", &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->SetMatrix("mat_World_View_Proj", &m), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->SetFloat(nullptr, 1), D3DERR_INVALIDCALL);
    auto calls = headless::CallsOf("SetVector", "effect1");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"View_Pos", "1 2 3 1"}));
}

TEST_F(Effects, ArrayParametersBySetterElementHandleAndInitialValue) {
    testfiles::Write("lights.fx",
                     "#define N 3\n"
                     "float4 LightPos[N] = { {1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12} };\n"
                     "float Weights[4];\n"
                     "float4x4 Bones[2];\n"
                     "int Count = 2;\n"
                     "float4 VS(float4 p : POSITION) : POSITION {\n"
                     "  return mul(p, Bones[Count - 1]) + LightPos[Count] * Weights[3]; }\n"
                     "technique T { pass P0 { VertexShader = compile vs_2_0 VS(); } }\n");
    ID3DXEffect* e = nullptr;
    ASSERT_EQ(D3DXCreateEffectFromFileA(dev, "lights.fx", NULL, NULL, 0, NULL, &e, NULL), D3D_OK);
    headless::EffectInfo info;
    headless::GetEffectInfo(e, info);
    ASSERT_EQ(info.values["LightPos"].size(), 12u);
    EXPECT_EQ(info.values["LightPos"][9], 10.0f) << "initial values of every element";

    D3DXVECTOR4 v[4] = {{-1, -2, -3, -4}, {-5, -6, -7, -8}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    EXPECT_EQ(e->SetVectorArray("LightPos", v, 4), D3DERR_INVALIDCALL) << "more than its elements";
    EXPECT_EQ(e->SetVectorArray("LightPos", v, 1), D3D_OK);
    EXPECT_EQ(e->SetVector("LightPos", v), D3DERR_INVALIDCALL) << "a whole array";
    D3DXHANDLE third = e->GetParameterElement("LightPos", 2);
    ASSERT_NE(third, nullptr);
    EXPECT_STREQ(third, "LightPos[2]");
    EXPECT_EQ(e->SetVector(third, &v[1]), D3D_OK);
    EXPECT_EQ(e->GetParameterElement("LightPos", 3), nullptr);
    EXPECT_EQ(e->GetParameterElement(third, 0), nullptr) << "an element is no array";
    EXPECT_EQ(e->GetParameterByName(NULL, "LightPos[1]"), std::string("LightPos[1]"));
    EXPECT_EQ(e->GetParameterByName(NULL, "LightPos[3]"), nullptr);
    D3DXVECTOR4 back[3];
    ASSERT_EQ(e->GetVectorArray("LightPos", back, 3), D3D_OK);
    EXPECT_EQ(back[0].x, -1.0f);
    EXPECT_EQ(back[1].x, 5.0f) << "left as it was";
    EXPECT_EQ(back[2].w, -8.0f);

    const float w[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(e->SetFloatArray("Weights", w, 6), D3D_OK) << "the surplus is ignored";
    EXPECT_EQ(e->SetFloat("Weights", 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(e->SetFloat("Weights[1]", 9), D3D_OK);
    float wb[4];
    ASSERT_EQ(e->GetFloatArray("Weights", wb, 4), D3D_OK);
    EXPECT_EQ(wb[1], 9.0f);
    EXPECT_EQ(wb[3], 4.0f);

    D3DXMATRIX bones[2];
    D3DXMatrixTranslation(&bones[0], 1, 2, 3);
    D3DXMatrixTranslation(&bones[1], 4, 5, 6);
    EXPECT_EQ(e->SetMatrixArray("Bones", bones, 2), D3D_OK);
    EXPECT_EQ(e->SetMatrix("Bones", &bones[0]), D3DERR_INVALIDCALL);
    D3DXMATRIX m;
    ASSERT_EQ(e->GetMatrix("Bones[1]", &m), D3D_OK);
    EXPECT_EQ(m._42, 5.0f);
    int count = 7;
    EXPECT_EQ(e->SetValue("Count", &count, 2), D3DERR_INVALIDCALL) << "too few bytes";
    EXPECT_EQ(e->SetValue("Count", &count, sizeof count), D3D_OK);
    headless::GetEffectInfo(e, info);
    EXPECT_EQ(info.values["Count"], std::vector<float>{7});
    auto calls = headless::CallsOf("SetVectorArray");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].args, (std::vector<std::string>{"LightPos", "1", "-1 -2 -3 -4"}));
    e->Release();
}

TEST_F(Effects, TechniquesPassesAndTheStatesTheyRestore) {
    headless::EffectInfo info;
    headless::GetEffectInfo(fx, info);
    EXPECT_EQ(info.techniques, (std::vector<std::string>{"ald_Phong", "ald_Phong_alpha"}));
    EXPECT_EQ(info.technique, "ald_Phong") << "the first technique is current";
    EXPECT_EQ(fx->SetTechnique("ald_phong_ALPHA"), D3DERR_INVALIDCALL) << "names are exact";
    EXPECT_EQ(fx->SetTechnique("ald_Phong_alpha"), D3D_OK);
    EXPECT_EQ(fx->SetTechnique("missing"), D3DERR_INVALIDCALL);
    headless::GetEffectInfo(fx, info);
    EXPECT_EQ(info.technique, "ald_Phong_alpha") << "a failed choice keeps the current one";

    UINT passes = 0;
    EXPECT_EQ(fx->BeginPass(0), D3DERR_INVALIDCALL) << "before Begin";
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 2u);
    EXPECT_EQ(fx->Begin(&passes, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(fx->BeginPass(2), D3DERR_INVALIDCALL);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    EXPECT_EQ(headless::RenderState(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(headless::RenderState(D3DRS_SRCBLEND), (DWORD)D3DBLEND_ONE);
    EXPECT_EQ(headless::RenderState(D3DRS_DESTBLEND), (DWORD)D3DBLEND_ONE);
    EXPECT_EQ(headless::RenderState(D3DRS_ZWRITEENABLE), 0u);
    EXPECT_EQ(fx->BeginPass(1), D3DERR_INVALIDCALL) << "a pass is still open";
    EXPECT_EQ(fx->EndPass(), D3D_OK);
    EXPECT_EQ(fx->BeginPass(1), D3D_OK);
    EXPECT_EQ(headless::RenderState(D3DRS_CULLMODE), (DWORD)D3DCULL_NONE);
    fx->EndPass();
    EXPECT_EQ(fx->End(), D3D_OK);
    EXPECT_EQ(headless::RenderState(D3DRS_ALPHABLENDENABLE), 0u) << "restored at End";
    EXPECT_EQ(headless::RenderState(D3DRS_CULLMODE), (DWORD)D3DCULL_CCW);
    EXPECT_EQ(headless::RenderState(D3DRS_ZWRITEENABLE), 1u);
    EXPECT_EQ(fx->End(), D3DERR_INVALIDCALL);

    fx->Begin(&passes, D3DXFX_DONOTSAVESTATE);
    fx->BeginPass(0);
    fx->EndPass();
    fx->End();
    EXPECT_EQ(headless::RenderState(D3DRS_ALPHABLENDENABLE), 1u) << "nothing saved, nothing restored";
}

TEST_F(Effects, MissingOrBrokenFilesFailWithTheirReason) {
    testfiles::Write("broken.fx", "float4 a;\ntechnique T { pass P0 { ");
    ID3DXEffect* none = nullptr;
    ID3DXBuffer* errors = nullptr;
    EXPECT_TRUE(FAILED(D3DXCreateEffectFromFileA(dev, "fx\\ald_Phong.fx", NULL, NULL, 0, NULL, &none, NULL)));
    EXPECT_TRUE(FAILED(D3DXCreateEffectFromFileA(dev, "broken.fx", NULL, NULL, 0, NULL, &none, &errors)));
    EXPECT_EQ(none, nullptr);
    ASSERT_NE(errors, nullptr);
    std::string text(static_cast<const char*>(errors->GetBufferPointer()));
    EXPECT_NE(text.find("broken.fx"), std::string::npos) << text;
    headless::FailNext(headless::Kind::Effect);
    EXPECT_TRUE(FAILED(D3DXCreateEffectFromFileA(dev, "phong.fx", NULL, NULL, 0, NULL, &none, NULL)));
    EXPECT_EQ(D3DXCreateEffectFromFileA(dev, "phong.fx", NULL, NULL, 0, NULL, &none, NULL), D3D_OK);
    EXPECT_EQ(headless::NameOf(none), "effect2");
}

// The compile server, this process's only child once an effect has compiled; 0 when none.
pid_t CompileServer() {
    DIR* tasks = opendir("/proc/self/task");
    pid_t found = 0;
    while (dirent* t = tasks ? readdir(tasks) : nullptr) {
        std::ifstream children(std::string("/proc/self/task/") + t->d_name + "/children");
        if (children >> found) break;
        found = 0;
    }
    if (tasks) closedir(tasks);
    return found;
}

// A compile is limited by the processor time the compiler spends, not by the clock: one held
// up longer than the limit while using none of it (a loaded machine, the compiler's code read
// in from disk; here its server stopped for 9 s) still finishes.
TEST_F(Effects, ACompileHeldUpLongerThanItsLimitStillFinishes) {
    pid_t server = CompileServer();   // started by the compile in SetUp
    ASSERT_GT(server, 0);
    ASSERT_EQ(kill(server, SIGSTOP), 0);
    std::thread wake([server] {
        std::this_thread::sleep_for(std::chrono::seconds(9));
        kill(server, SIGCONT);
    });
    testfiles::Write("held.fx", "float4 Held;\n" + testfiles::PhongFx());   // not compiled before
    ID3DXEffect* held = nullptr;
    ID3DXBuffer* errors = nullptr;
    EXPECT_EQ(D3DXCreateEffectFromFileA(dev, "held.fx", NULL, NULL, 0, NULL, &held, &errors), D3D_OK)
        << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
    wake.join();
    if (held) held->Release();
    if (errors) errors->Release();
}

// The shaders compile as in a window: what fails there fails here, with the compiler's words,
// and what loads there loads here.
TEST_F(Effects, ShadersCompileOrFailAsInAWindow) {
    const std::string globals = "float4x4 matWorld;\nfloat4 Tint;\n";
    const std::string vs = "float4 VS(float4 p : POSITION) : POSITION { return mul(p, matWorld); }\n";
    const std::string ps = "float4 PS() : COLOR { return Tint; }\n";
    auto Technique = [](const std::string& vsCompile, const std::string& psCompile) {
        return "technique T { pass P0 {\n VertexShader = compile " + vsCompile +
               ";\n PixelShader = compile " + psCompile + ";\n} }\n";
    };
    struct Case {
        const char* what;
        std::string text;
        const char* message;   // expected in the error buffer; null: the effect loads
    };
    const Case cases[] = {
        {"unknown profile", globals + vs + ps + Technique("vs_9_9 VS()", "ps_2_0 PS()"),
         "vs_9_9"},
        {"pixel profile for the vertex shader", globals + vs + ps + Technique("ps_2_0 VS()", "ps_2_0 PS()"),
         "does not fit VertexShader"},
        {"undefined entry point", globals + vs + ps + Technique("vs_2_0 VS()", "ps_2_0 Nowhere()"),
         "Nowhere"},
        {"HLSL syntax error", globals + vs + "float4 PS() : COLOR { return Tint +; }\n" +
                                  Technique("vs_2_0 VS()", "ps_2_0 PS()"),
         "error"},
        {"undeclared name", globals + vs + "float4 PS() : COLOR { return Shade; }\n" +
                                Technique("vs_2_0 VS()", "ps_2_0 PS()"),
         "Shade"},
        {"missing #include", "#include \"nowhere.fxh\"\n" + globals + vs + ps +
                                 Technique("vs_2_0 VS()", "ps_2_0 PS()"),
         "nowhere.fxh"},
        {"sampler past the vertex stage's registers",
         globals + "sampler2D Height : register(s5);\n"
                   "float4 VS(float4 p : POSITION) : POSITION { return p + tex2Dlod(Height, p); }\n" +
             ps + Technique("vs_3_0 VS()", "ps_3_0 PS()"),
         "bad.fx(7,1): error X3000: VS: sampler Height has no sampler register"},
        {"nesting deeper than the compiler follows",
         globals + vs + "float4 PS() : COLOR {\n return " + std::string(20000, '(') + "Tint" +
             std::string(20000, ')') + "; }\n" + Technique("vs_2_0 VS()", "ps_2_0 PS()"),
         "bad.fx(5,9): error X3000: '(' : expression nested deeper than 1024 levels"},
        {"assembly that does not assemble",
         globals + "technique T { pass P0 {\n VertexShader = asm { vs_1_1 dcl_position v0 mov oPos, r12 };\n} }\n",
         "bad.fx(4,56): error X3000: register r12 does not exist in vs_1_1"},
        {"assembly of the other stage",
         globals + "technique T { pass P0 {\n PixelShader = asm { vs_1_1 dcl_position v0 mov oPos, v0 };\n} }\n",
         "bad.fx(4,1): error X3000: profile 'vs_1_1' does not fit PixelShader"},
        {"a shader constant that names no parameter",
         globals + "technique T { pass P0 {\n VertexShaderConstant[0] = <Nowhere>;\n} }\n",
         "bad.fx(4,1): error X3000: cannot read the value '<Nowhere>' of VertexShaderConstant"},
        {"a source that crashes the compiler (mul of a float1 by a matrix)",
         globals + "float4 VS(float4 p : POSITION, float1 n : NORMAL) : POSITION {\n"
                   " return p + mul(n, (float3x3)matWorld).xyzz; }\n" +
             ps + Technique("vs_2_0 VS()", "ps_2_0 PS()"),
         "bad.fx(7,1): error X3000: 'VS': the shader compiler failed on this source"},
        {"a word glslang reserves, undeclared: named and placed as written",
         globals + vs + "float4 PS() : COLOR { return Tint * sample; }\n" +
             Technique("vs_2_0 VS()", "ps_2_0 PS()"),
         "bad.fx(4,37): error X3004: 'sample'"},
        {"a Direct3D 11 technique", globals + vs + ps + "technique11 T11 { pass { } }\n",
         "bad.fx(5,1): error X3000: 'technique11'"},
        // What the Direct3D 9 compiler accepts beyond glslang's HLSL loads.
        {"shader code assigning to a global array's member and to a global float",
         "struct Wave { float freq; }; Wave wave[2]; float WaveFreq, Gain = 1;\n"
         "float4 VS(float4 p : POSITION) : POSITION {\n"
         " wave[0].freq = WaveFreq; Gain *= 2; return p * wave[0].freq * Gain; }\n"
         "float4 PS() : COLOR { Gain++; return Gain; }\n" + Technique("vs_2_0 VS()", "ps_2_0 PS()"),
         nullptr},
        {"a varying array in an output struct",
         "struct VO { float4 p : POSITION; float2 uv[4] : TEXCOORD0; };\n"
         "VO VS(float4 p : POSITION) { VO o; o.p = p;\n"
         " for (int i = 0; i < 4; i++) o.uv[i] = i; return o; }\n"
         "float4 PS(VO i) : COLOR { return i.uv[3].x + i.uv[1].y; }\n" +
             Technique("vs_3_0 VS()", "ps_3_0 PS()"),
         nullptr},
        {"names glslang reserves",
         globals + "float line; float3 point; float4 sample(float linear) { return linear * line; }\n" + vs +
             "float4 PS(float2 centroid : TEXCOORD0) : COLOR { return sample(centroid.x) + point.x; }\n" +
             Technique("vs_2_0 VS()", "ps_2_0 PS()"),
         nullptr},
        {"a Direct3D 10 technique beside the Direct3D 9 one",
         globals + vs + ps +
             "technique10 T10 { pass P0 { SetVertexShader(CompileShader(vs_4_0, VS()));\n"
             " SetGeometryShader(NULL); SetPixelShader(CompileShader(ps_4_0, PS())); } }\n" +
             Technique("vs_2_0 VS()", "ps_2_0 PS()"),
         nullptr},
        {"states naming parameters",
         globals + vs + ps + "float4x4 Ident, DetailTexture; float4 m_a; int Factor2x = 0x80808080;\n"
             "technique T { pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();\n"
             " WorldTransform[0] = <Ident>; TextureTransform[0] = <DetailTexture>;\n"
             " MaterialAmbient = (m_a); TextureFactor = (Factor2x); } }\n",
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testfiles::Write("bad.fx", c.text);
        ID3DXEffect* none = nullptr;
        ID3DXBuffer* errors = nullptr;
        HRESULT hr = D3DXCreateEffectFromFileA(dev, "bad.fx", NULL, NULL, 0, NULL, &none, &errors);
        if (!c.message) {
            EXPECT_EQ(hr, D3D_OK) << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
            if (none) none->Release();
            continue;
        }
        EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
        EXPECT_EQ(none, nullptr);
        ASSERT_NE(errors, nullptr);
        std::string text(static_cast<const char*>(errors->GetBufferPointer()));
        EXPECT_NE(text.find("bad.fx"), std::string::npos) << text;
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        errors->Release();
    }

    // The same shaders with what they lack, and an include found next to the effect file.
    mkdir("parts", 0755);
    testfiles::Write("parts/common.fxh", globals);
    testfiles::Write("parts/good.fx", "#include \"common.fxh\"\n" + vs + ps +
                                          Technique("vs_2_0 VS()", "ps_2_0 PS()"));
    ID3DXEffect* good = nullptr;
    EXPECT_EQ(D3DXCreateEffectFromFileA(dev, "parts\\good.fx", NULL, NULL, 0, NULL, &good, NULL),
              D3D_OK);
    EXPECT_NE(good, nullptr);
    testfiles::Write("bad.fx", globals + vs + ps + Technique("vs_2_0 VS()", "ps_2_0 PS()"));
    EXPECT_EQ(D3DXCreateEffectFromFileA(dev, "bad.fx", NULL, NULL, 0, NULL, &good, NULL), D3D_OK)
        << "the results are kept by content, not by file name";
    testfiles::Write("bad.fx", globals + "technique T { pass P0 {\n VertexShaderConstant[0] = <matWorld>;\n"
                                         " VertexShader = asm { vs_1_1 dcl_position v0 m4x4 oPos, v0, c0 };\n} }\n");
    EXPECT_EQ(D3DXCreateEffectFromFileA(dev, "bad.fx", NULL, NULL, 0, NULL, &good, NULL), D3D_OK);
}

TEST_F(Device, FontsAcceptAnyFaceAndRecordEveryText) {
    CreateDefault();
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontA(dev, -11, 0, FW_BOLD, 0, FALSE, DEFAULT_CHARSET, 0, 0, 0, "Verdana", &font), D3D_OK);
    ID3DXFont* odd = nullptr;
    EXPECT_EQ(D3DXCreateFontA(dev, 14, 0, 400, 0, FALSE, DEFAULT_CHARSET, 0, 0, 0, "No Such Face", &odd), D3D_OK);
    RECT r;
    SetRect(&r, 5, 25, 0, 0);
    const char cyrillic[] = "\xca\xe0\xec\xe5\xf0\xe0 \xe2 : Position 0 12 -7";
    EXPECT_EQ(font->DrawTextA(NULL, cyrillic, -1, &r, DT_NOCLIP, 0xFFFFFFFF), 13) << "one line of 11 * 1.2";
    EXPECT_EQ(font->DrawTextA(NULL, "two\nlines", 3, &r, DT_NOCLIP, 0xFF0AA050), 13) << "Count limits the text";
    EXPECT_EQ(odd->DrawTextA(NULL, "a\nb", -1, &r, 0, 0), 28);
    EXPECT_EQ(font->DrawTextA(NULL, NULL, -1, &r, 0, 0), 0);
    headless::FontInfo info;
    ASSERT_TRUE(headless::GetFontInfo(font, info));
    EXPECT_EQ(info.face, "Verdana");
    EXPECT_EQ(info.height, -11);
    ASSERT_EQ(info.draws.size(), 2u);
    EXPECT_EQ(info.draws[0].text, cyrillic) << "bytes as given";
    EXPECT_EQ(info.draws[0].rect.left, 5);
    EXPECT_EQ(info.draws[0].format, (DWORD)DT_NOCLIP);
    EXPECT_EQ(info.draws[1].text, "two");
    EXPECT_EQ(info.draws[1].colour, 0xFF0AA050u);
    auto calls = headless::CallsOf("DrawTextA", "font1");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].args[3], "5,25,0,0");
    headless::Call two = headless::CallsOf("DrawTextA", "font2")[0];
    EXPECT_EQ(two.args[1], "a\nb");
    EXPECT_EQ(two.Text(), "font2.DrawTextA(null, a\\nb, -1, 5,25,0,0, 0x00000000, 0x00000000) -> 28")
        << "one call stays one line of the trace";
    headless::FailNext(headless::Kind::Font);
    EXPECT_TRUE(FAILED(D3DXCreateFontA(dev, 16, 0, 400, 0, FALSE, DEFAULT_CHARSET, 0, 0, 0, "Kartika", &odd)));
    EXPECT_EQ(odd, nullptr);
}

TEST_F(Device, CursorsLoadFromCurFilesOnly) {
    testfiles::Write("mouse.cur", testfiles::Cursor(1, 1));
    testfiles::Write("bad.cur", "\0\0\2\0\1\0");
    HCURSOR c = LoadCursorFromFileA("mouse.cur");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(LoadCursorFromFileA("missing.cur"), nullptr);
    EXPECT_EQ(LoadCursorFromFileA("bad.cur"), nullptr);
    headless::FailNext(headless::Kind::Cursor);
    EXPECT_EQ(LoadCursorFromFileA("mouse.cur"), nullptr);
    EXPECT_EQ(SetCursor(c), nullptr);
    EXPECT_EQ(headless::CurrentCursor(), c);
    EXPECT_EQ(SetCursor(NULL), c);
    EXPECT_EQ(headless::CurrentCursor(), nullptr);
    EXPECT_EQ(headless::CallsOf("LoadCursorFromFileA")[0].result, "cursor1");
}

TEST_F(Device, ReleaseFreesAndTheTraceHoldsEveryCall) {
    CreateDefault();
    IDirect3DVertexBuffer9* vb = nullptr;
    dev->CreateVertexBuffer(20, 0, 0, D3DPOOL_DEFAULT, &vb, NULL);
    EXPECT_EQ(vb->AddRef(), 2u);
    EXPECT_EQ(vb->Release(), 1u);
    EXPECT_EQ(headless::NameOf(vb), "vb1");
    EXPECT_EQ(vb->Release(), 0u);
    EXPECT_EQ(headless::NameOf(vb), "");
    ASSERT_TRUE(headless::WriteTrace("trace.txt"));
    std::ifstream in("trace.txt");
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), headless::Calls().size());
    EXPECT_EQ(lines.back(), "device1.CreateVertexBuffer(20, 0x00000000, 0x00000000, 0) -> vb1");
    EXPECT_FALSE(headless::WriteTrace("no/such/folder/trace.txt"));
}

}  // namespace

TEST_F(Effects, NamesThatAreNoStatesFailTheEffectAsInAWindow) {
    const std::string shaders =
        "texture T;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
        "float4 PS() : COLOR { return 1; }\n";
    auto Pass = [&](const std::string& states, const std::string& sampler = "") {
        return shaders + sampler + "technique X { pass P { VertexShader = compile vs_2_0 VS();\n"
               " PixelShader = compile ps_2_0 PS();\n" + states + "\n} }\n";
    };
    struct Case {
        std::string text;
        bool loads;
        const char* where;   // of the error
    };
    const Case cases[] = {
        {Pass("ZWriteEnable = FALSE; TexCoordIndex[1] = 0; LightEnable[0] = TRUE; FogEnable = TRUE;"),
         true, ""},
        {Pass("ZWriteEnabled = FALSE;"), false, "states.fx(6,1): error X"},
        {Pass("", "sampler2D S = sampler_state { Texture = <T>; MinFilter = Linear; };\n"), true, ""},
        {Pass("", "sampler2D S = sampler_state { Texture = <T>; Filter = Linear; };\n"), false,
         "states.fx(4,1): error X"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        testfiles::Write("states.fx", c.text);
        ID3DXEffect* e = nullptr;
        ID3DXBuffer* errors = nullptr;
        HRESULT hr = D3DXCreateEffectFromFileA(dev, "states.fx", NULL, NULL, 0, NULL, &e, &errors);
        EXPECT_EQ(hr, c.loads ? D3D_OK : D3DXERR_INVALIDDATA);
        if (e) e->Release();
        if (!c.loads) {
            ASSERT_NE(errors, nullptr);
            std::string text(static_cast<const char*>(errors->GetBufferPointer()));
            EXPECT_NE(text.find(c.where), std::string::npos) << text;
        }
        if (errors) errors->Release();
    }
}
