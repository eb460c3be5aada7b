#include "platform/bench_run.h"

#include <cstdlib>

#include <sys/resource.h>

#include "platform/core/frame_stats.h"

namespace platform {
namespace {

// Wall time, process CPU time and peak resident memory at one moment.
struct Mark {
    double wall = -1;   // -1 until taken
    double cpu = 0;
    long maxRssKb = 0;
    void Take() {
        wall = framestats::MonotonicSeconds();
        cpu = framestats::ProcessCpuSeconds();
        struct rusage usage;
        if (getrusage(RUSAGE_SELF, &usage) == 0) maxRssKb = usage.ru_maxrss;
    }
};

struct BenchState {
    bool active = false;
    bool closeAsked = false;
    double seconds = 0;
    framestats::FrameStats stats;
    double startWall = 0;   // when BenchStart ran, just after the program started
    Mark firstScene;        // at the first BeginScene: everything before it is loading
    Mark firstFrame;        // at the end of the first Present
};

BenchState bench;

}  // namespace

bool BenchStart(std::string& err) {
    bench = BenchState();
    const char* v = std::getenv("MESHES_BENCH");
    if (!v || !*v) return true;
    std::string why;
    if (!framestats::ParseSeconds(v, bench.seconds, why)) {
        err = "MESHES_BENCH: " + why;
        return false;
    }
    bench.active = true;
    bench.stats.SetWarmUp(framestats::WarmUpFor(bench.seconds));
    bench.startWall = framestats::MonotonicSeconds();
    return true;
}

bool BenchActive() { return bench.active; }

bool BenchPresent() {
    if (!bench.active) return false;
    double wall = framestats::MonotonicSeconds(), cpu = framestats::ProcessCpuSeconds();
    if (bench.firstFrame.wall < 0) bench.firstFrame.Take();
    bench.stats.Present(wall, cpu);
    if (bench.closeAsked || bench.stats.Elapsed() < bench.seconds) return false;
    bench.closeAsked = true;
    return true;
}

void BenchBeginScene() {
    if (bench.active && bench.firstScene.wall < 0) bench.firstScene.Take();
}

void BenchReport(std::FILE* out) {
    if (!bench.active || !out) return;
    std::fprintf(out, "%s\n", framestats::FormatLine("meshes", bench.stats.Summarise()).c_str());
    // Start-up: from the program's start to its first BeginScene (loading), and to the end of
    // its first Present (the first frame drawn).
    const Mark& a = bench.firstScene;
    const Mark& b = bench.firstFrame;
    if (a.wall >= 0 && b.wall >= 0)
        std::fprintf(out,
                     "meshes start-up: first scene after %.3f s, cpu %.3f s, max RSS %.1f MB; "
                     "first frame after %.3f s, cpu %.3f s, max RSS %.1f MB\n",
                     a.wall - bench.startWall, a.cpu, a.maxRssKb / 1024.0, b.wall - bench.startWall,
                     b.cpu, b.maxRssKb / 1024.0);
    std::fflush(out);
}

}  // namespace platform
