#include "platform/bench_run.h"

#include <cstdlib>

#include "platform/core/frame_stats.h"

namespace platform {
namespace {

struct BenchState {
    bool active = false;
    bool closeAsked = false;
    double seconds = 0;
    framestats::FrameStats stats;
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
    return true;
}

bool BenchActive() { return bench.active; }

bool BenchPresent() {
    if (!bench.active) return false;
    bench.stats.Present(framestats::MonotonicSeconds(), framestats::ProcessCpuSeconds());
    if (bench.closeAsked || bench.stats.Elapsed() < bench.seconds) return false;
    bench.closeAsked = true;
    return true;
}

void BenchReport(std::FILE* out) {
    if (!bench.active || !out) return;
    std::fprintf(out, "%s\n", framestats::FormatLine("meshes", bench.stats.Summarise()).c_str());
    std::fflush(out);
}

}  // namespace platform
