#include "platform/core/frame_stats.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace framestats {

double MonotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double ProcessCpuSeconds() {
    timespec ts;
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0) return 0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double WarmUpFor(double seconds) { return seconds >= 2.0 ? 1.0 : 0.0; }

void FrameStats::Present(double now, double cpu) {
    if (presents_ == 0) {
        first_ = now;
        firstCpu_ = cpu;
    } else {
        double ms = (now - last_) * 1000.0;
        intervalsMs_.push_back(static_cast<float>(ms > 0 ? ms : 0));
    }
    last_ = now;
    lastCpu_ = cpu;
    ++presents_;
    if (!counting_ && now - first_ >= warmUp_) {
        counting_ = true;
        countFrom_ = presents_ - 1;
        countStart_ = now;
        countCpu_ = cpu;
    }
}

double FrameStats::Elapsed() const { return counting_ ? last_ - countStart_ : 0.0; }

namespace {

// Nearest rank: the smallest value with at least p percent of the values at or below it.
double Percentile(const std::vector<float>& sorted, double p) {
    size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    if (rank < 1) rank = 1;
    return sorted[rank - 1];
}

}  // namespace

Summary FrameStats::Summarise() const {
    // A run that ended within its warm-up reports every frame.
    bool counted = counting_ && presents_ - countFrom_ >= 2;
    size_t from = counted ? countFrom_ : 0;
    Summary s;
    s.frames = presents_ - from;
    s.seconds = counted ? Elapsed() : (presents_ ? last_ - first_ : 0.0);
    if (intervalsMs_.size() <= from) return s;
    std::vector<float> sorted(intervalsMs_.begin() + static_cast<std::ptrdiff_t>(from), intervalsMs_.end());
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (float v : sorted) sum += v;
    s.meanMs = sum / static_cast<double>(sorted.size());
    s.p50Ms = Percentile(sorted, 50);
    s.p99Ms = Percentile(sorted, 99);
    double cpu = (lastCpu_ - (counted ? countCpu_ : firstCpu_)) * 1000.0 / static_cast<double>(sorted.size());
    s.cpuMs = cpu > 0 ? cpu : 0;
    return s;
}

std::string FormatLine(const std::string& label, const Summary& s) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  ": %zu frames in %.2f s, mean %.3f ms, p50 %.3f ms, p99 %.3f ms, cpu %.3f ms",
                  s.frames, s.seconds, s.meanMs, s.p50Ms, s.p99Ms, s.cpuMs);
    return label + buf;
}

bool ParseSeconds(const char* text, double& seconds, std::string& err) {
    const char* t = text ? text : "";
    char* end = nullptr;
    double v = std::strtod(t, &end);
    if (end == t || *end != '\0' || !std::isfinite(v) || v <= 0 || v > 86400) {
        err = std::string("not a number of seconds above 0 and at most 86400: '") + t + "'";
        return false;
    }
    seconds = v;
    return true;
}

}  // namespace framestats
