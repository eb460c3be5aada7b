// The scene on the demo level, headless: loading the objects, and drawing every object once
// per light (3 lights x 7 objects, 7 effect draws and 1 plain draw per light). The headless
// device records every call, so the draw figure includes the recording.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include "console/console.h"
#include "platform/headless/headless.h"
#include "scene/camera_manager.h"
#include "scene/effect_manager.h"
#include "scene/light_manager.h"
#include "scene/object_manager.h"

namespace {

LRESULT CALLBACK BenchWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

struct Scene {
    IDirect3DDevice9* device = nullptr;
    D3DXMATRIX world;
    Korvel_Console* console = nullptr;
    Korvel_Camera_Manager* cameras = nullptr;
    Korvel_Effect_Manager* effects = nullptr;
    Korvel_Light_Manager* lights = nullptr;
    Korvel_Object_Manager* objects = nullptr;

    bool Start()
    {
        headless::Reset();
        if (chdir(MESHES_DEMO_DIR) != 0) return false;
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = BenchWindowProc;
        wc.lpszClassName = "scene_bench";
        RegisterClassExA(&wc);
        HWND window = CreateWindowExA(0, "scene_bench", "scene", 0, 0, 0, 640, 480, nullptr,
                                      nullptr, nullptr, nullptr);
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        if (!d3d || d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                      D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device) < 0)
            return false;
        D3DXMatrixIdentity(&world);
        console = new Korvel_Console(&device);
        cameras = new Korvel_Camera_Manager(&world, console);
        effects = new Korvel_Effect_Manager(device, cameras, console);
        lights = new Korvel_Light_Manager(&world, console);
        objects = new Korvel_Object_Manager(&world, &device, effects, lights, console);
        lights->Load("POLYGON01");
        objects->Load("POLYGON01");
        cameras->Load("POLYGON01");
        effects->Load("POLYGON01");
        return objects->objectCount == 7 && lights->lightCount == 3;
    }
};

void BM_DrawObjects(benchmark::State& state)
{
    Scene scene;
    if (!scene.Start()) {
        state.SkipWithError("the demo level did not load");
        return;
    }
    scene.device->BeginScene();
    for (auto _ : state) {
        scene.objects->DrawObjects();
        state.PauseTiming();
        headless::ClearCalls();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DrawObjects)->Unit(benchmark::kMicrosecond);

void BM_LoadObjects(benchmark::State& state)
{
    Scene scene;
    if (!scene.Start()) {
        state.SkipWithError("the demo level did not load");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        Korvel_Object_Manager* objects = new Korvel_Object_Manager(
            &scene.world, &scene.device, scene.effects, scene.lights, scene.console);
        state.ResumeTiming();
        objects->Load("POLYGON01");
        state.PauseTiming();
        delete objects;
        headless::ClearCalls();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadObjects)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
