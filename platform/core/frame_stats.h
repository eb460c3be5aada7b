// Frame times of a run: the time between consecutive Presents, read from a monotonic clock,
// summed up as a count, a mean and the 50th and 99th percentiles on one line, with the
// process's CPU time per frame (all its threads, so a software rasteriser's too), which a
// machine busy with other work disturbs less than the wall clock. Keeps every interval
// (4 bytes a frame) until the run ends.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace framestats {

// Seconds from a monotonic clock with an arbitrary origin.
double MonotonicSeconds();
// CPU seconds the process has used, all threads together.
double ProcessCpuSeconds();

struct Summary {
    size_t frames = 0;      // Presents seen
    double seconds = 0;     // from the first Present to the last
    double meanMs = 0;      // over the frames - 1 intervals; 0 with fewer than two Presents
    double p50Ms = 0;       // nearest-rank percentiles of the same intervals
    double p99Ms = 0;
    double cpuMs = 0;       // process CPU time per interval, first Present to last
};

// The warm-up of a timed run of `seconds`: 1 s for runs of 2 s or more, else none. Frames of
// the first second (shader compiles on first use, first uploads, page faults) are left out,
// as the peer programs' benchmarks leave out their first second.
double WarmUpFor(double seconds);

class FrameStats {
public:
    // Presents within `seconds` of the first one are not counted; the first counted one starts
    // the run. A run that ends within the warm-up counts every frame. Set before the first
    // Present.
    void SetWarmUp(double seconds) { warmUp_ = seconds; }
    // One Present at time `now` (seconds, MonotonicSeconds or any clock that never goes back),
    // when the process had used `cpu` seconds of CPU time.
    void Present(double now, double cpu);
    size_t Presents() const { return presents_; }
    // Seconds from the first counted Present to the last; 0 before the second.
    double Elapsed() const;
    Summary Summarise() const;

private:
    double warmUp_ = 0;
    bool counting_ = false;   // the warm-up is over
    size_t countFrom_ = 0;    // the first counted Present
    double countStart_ = 0, countCpu_ = 0;
    size_t presents_ = 0;
    double first_ = 0, last_ = 0;
    double firstCpu_ = 0, lastCpu_ = 0;
    std::vector<float> intervalsMs_;
};

// "<label>: 1234 frames in 10.00 s, mean 8.100 ms, p50 8.020 ms, p99 11.400 ms, cpu 7.900 ms"
std::string FormatLine(const std::string& label, const Summary& s);

// A run length in seconds: a decimal number above 0 and at most a day. False, with the reason
// in err, for anything else (empty, negative, trailing characters, not a number).
bool ParseSeconds(const char* text, double& seconds, std::string& err);

}  // namespace framestats
