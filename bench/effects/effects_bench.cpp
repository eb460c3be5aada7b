// Effect files on the OpenGL backend: compiling the demo's effect files to GLSL (no GL),
// creating an effect on a GL device (compile and link), creating it again from the cache, and
// the demo program's start-up up to its first presented frame. GL parts run on a private
// Xvfb and are skipped with a message where it cannot start.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/backend.h"
#include "platform/sdl_gl/d3d_objects.h"
#include "platform/sdl_gl/effect_library.h"
#include "tests/support/x_server.h"

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Compiles the effect file at `path` whole (preprocessor, reader, every pass's shaders).
// Shaders compile in a child process, the compile server, so these benchmarks count wall time.
void CompileWhole(benchmark::State& state, const std::string& path) {
    std::string text = ReadText(path);
    if (text.empty()) {
        state.SkipWithError(("cannot read " + path).c_str());
        return;
    }
    for (auto _ : state) {
        sdlgl::EffectSource source = sdlgl::CompileEffect(text, path);
        if (!source.ok) {
            state.SkipWithError(source.log.c_str());
            return;
        }
        benchmark::DoNotOptimize(source.stages.data());
    }
}

void BM_CompileEffect(benchmark::State& state, const char* file) {
    CompileWhole(state, std::string(MESHES_DEMO_SOURCE) + "/" + file);
}
BENCHMARK_CAPTURE(BM_CompileEffect, ald_Phong, "fx/ald_Phong.fx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CompileEffect, ald_Rim, "fx/ald_Rim.fx")->Unit(benchmark::kMillisecond)->UseRealTime();

// Direct3D 9 style effect files of the test corpus, each compiled whole (preprocessor,
// reader, every pass's shaders); the largest and those with includes and many passes.
void BM_CompileCorpusEffect(benchmark::State& state, const char* file) {
    CompileWhole(state, std::string(FX_CORPUS_DIR) + "/" + file);
}
BENCHMARK_CAPTURE(BM_CompileCorpusEffect, light_array, "light_array.fx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CompileCorpusEffect, macros_include, "macros_include.fx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CompileCorpusEffect, env_multipass, "env_multipass.fx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CompileCorpusEffect, loops_clip, "loops_clip.fx")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CompileCorpusEffect, normal_map, "normal_map.fx")->Unit(benchmark::kMillisecond)->UseRealTime();

// An effect file named by MESHES_BENCH_FX, such as the largest file of a third-party corpus
// that this repository does not hold; reported as an error when the variable is unset.
void BM_CompileGivenEffect(benchmark::State& state) {
    const char* path = std::getenv("MESHES_BENCH_FX");
    if (!path || !*path) {
        state.SkipWithError("MESHES_BENCH_FX names no effect file");
        return;
    }
    CompileWhole(state, path);
}
BENCHMARK(BM_CompileGivenEffect)->Unit(benchmark::kMillisecond)->UseRealTime();

// A window and a device of the sdl backend, made once.
struct GlSetup {
    IDirect3DDevice9* device = nullptr;
    std::string reason;
};

GlSetup& Gl() {
    static GlSetup setup;
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
    wc.lpszClassName = "bench_effects";
    RegisterClassExA(&wc);
    HWND w = CreateWindowExA(0, "bench_effects", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 656, 519,
                             NULL, NULL, NULL, NULL);
    IDirect3D9* d3d = w ? Direct3DCreate9(D3D_SDK_VERSION) : nullptr;
    D3DPRESENT_PARAMETERS pp{};
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, w,
                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                         &setup.device)))
        setup.reason = "no OpenGL 3.3 core device";
    return setup;
}

sdlgl::GlTexture* TextureOf(IDirect3DBaseTexture9* t) {
    return static_cast<sdlgl::SdlTexture*>(t)->Gl();
}

void CreateOnGl(benchmark::State& state, const std::string& path, bool cached) {
    GlSetup& gl = Gl();
    if (!gl.device) {
        state.SkipWithError(("no GL: " + gl.reason).c_str());
        return;
    }
    sdlgl::GlDevice& device = static_cast<sdlgl::SdlDevice*>(gl.device)->Gl();
    sdlgl::EffectLibrary library(device, TextureOf, gl.device);
    std::string messages;
    for (auto _ : state) {
        if (!cached) library.Clear();
        ID3DXEffect* effect = nullptr;
        if (FAILED(library.CreateFromFile(path.c_str(), &effect, messages))) {
            state.SkipWithError(messages.c_str());
            return;
        }
        glFinish();
        effect->Release();
    }
    state.counters["compiles"] = library.Compilations();
}

void BM_CreateEffectOnGl(benchmark::State& state, bool cached) {
    CreateOnGl(state, std::string(MESHES_DEMO_SOURCE) + "/fx/ald_Phong.fx", cached);
}
// A corpus file with an #include: from the cache the preprocessor still runs (its output,
// included text and all, is the cache key), so a changed include compiles again.
void BM_CreateIncludingEffectOnGl(benchmark::State& state, bool cached) {
    CreateOnGl(state, std::string(FX_CORPUS_DIR) + "/macros_include.fx", cached);
}
BENCHMARK_CAPTURE(BM_CreateIncludingEffectOnGl, compile_and_link, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CreateIncludingEffectOnGl, from_cache, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CreateEffectOnGl, compile_and_link, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_CreateEffectOnGl, from_cache, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef MESHES_PROGRAM
// The program from exec to its first presented frame, which it saves as a screenshot.
void BM_DemoStartUp(benchmark::State& state) {
    GlSetup& gl = Gl();
    if (!gl.device) {
        state.SkipWithError(("no GL: " + gl.reason).c_str());
        return;
    }
    char dir[] = "/tmp/bench_effects.XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    std::string shot = std::string(dir) + "/first.png";
    for (auto _ : state) {
        unlink(shot.c_str());
        auto start = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(MESHES_DEMO_DIR) != 0) _exit(127);
            setenv("MESHES_SCREENSHOT", (shot + "@1").c_str(), 1);
            setenv("MESHES_PLATFORM", "sdl", 1);
            execl(MESHES_PROGRAM, MESHES_PROGRAM, static_cast<char*>(nullptr));
            _exit(127);
        }
        struct stat st;
        bool done = false;
        while (!done && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
            done = stat(shot.c_str(), &st) == 0 && st.st_size > 0;
            if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (!done) {
            state.SkipWithError("no first frame within 30 s");
            break;
        }
        state.SetIterationTime(seconds);
    }
    unlink(shot.c_str());
    rmdir(dir);
}
BENCHMARK(BM_DemoStartUp)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
#endif

}  // namespace

BENCHMARK_MAIN();
