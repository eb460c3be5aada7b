// The console over the scene, in a real window on the OpenGL backend (a private Xvfb): one
// frame is BeginScene, the console's Draw, EndScene and Present. Runs with the console hidden
// (the frame alone), shown over a log of 12 lines, and shown over a full log (the 65535 lines
// the log keeps); the console's cost is a run's time less the hidden one's.
#include <benchmark/benchmark.h>

#include <string>

#include "console/console.h"
#include "platform/backend.h"
#include "tests/support/x_server.h"

namespace {

struct GlConsole {
    IDirect3DDevice9* device = nullptr;
    Korvel_Console* console = nullptr;
    std::string reason;
};

GlConsole& Setup() {
    static GlConsole setup;
    static bool tried = false;
    if (tried) return setup;
    tried = true;
    if (!testsupport::StartX(testsupport::kSlowKeyRepeat)) {
        setup.reason = testsupport::XProblem();
        return setup;
    }
    platform::RegisterSdlGlBackend();
    std::string err;
    if (!platform::Select("sdl", err)) {
        setup.reason = err;
        return setup;
    }
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "bench_console";
    RegisterClassExA(&wc);
    HWND w = CreateWindowExA(0, "bench_console", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 656, 519,
                             NULL, NULL, NULL, NULL);
    ShowWindow(w, SW_SHOW);
    IDirect3D9* d3d = w ? Direct3DCreate9(D3D_SDK_VERSION) : nullptr;
    D3DPRESENT_PARAMETERS pp{};
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, w,
                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                         &setup.device))) {
        setup.reason = "no OpenGL 3.3 core device";
        return setup;
    }
    setup.console = new Korvel_Console(&setup.device);
    return setup;
}

// Fills the log to `lines` lines of about 60 characters, of all four kinds.
void FillLog(Korvel_Console* console, unsigned lines) {
    console->ClearLog();
    for (unsigned i = 0; i < lines; ++i) {
        std::string text = "line " + std::to_string(i) + ": a message of a usual length, stamped";
        console->AddMessage(text.c_str(), static_cast<short>(i % 4));
    }
}

void BM_ConsoleFrame(benchmark::State& state) {
    GlConsole& gl = Setup();
    if (!gl.console) {
        state.SkipWithError(("no GL: " + gl.reason).c_str());
        return;
    }
    const long lines = state.range(0);
    FillLog(gl.console, lines > 0 ? static_cast<unsigned>(lines) : 12);
    gl.console->visible = lines > 0;
    IDirect3DDevice9* dev = gl.device;
    for (auto _ : state) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF182030, 1.0f, 0);
        dev->BeginScene();
        gl.console->Draw();
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
    }
    state.counters["log_lines"] = gl.console->log.iCountKnots(gl.console->logRootId);
    gl.console->visible = false;
}
// 0: the console hidden; otherwise the lines in the log. CPU time of the main thread (the
// engine and the GL calls), then of the whole process (with llvmpipe's rasteriser threads).
BENCHMARK(BM_ConsoleFrame)->Arg(0)->Arg(12)->Arg(Korvel_Console::kMaxLines)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ConsoleFrame)->Arg(0)->Arg(12)->Arg(Korvel_Console::kMaxLines)
    ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
