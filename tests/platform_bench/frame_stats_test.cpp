// Frame statistics: intervals between Presents, nearest-rank percentiles, the printed line and
// the run length a user gives.
#include <gtest/gtest.h>

#include <string>

#include "platform/core/frame_stats.h"

namespace {

TEST(FrameStats, IntervalsBetweenPresentsGiveMeanAndNearestRankPercentiles) {
    framestats::FrameStats s;
    // 100 intervals: 98 of 10 ms, one of 30 ms, one of 500 ms.
    // The process uses 4 ms of CPU a frame, after 2 s of start-up that must not count.
    double t = 100.0, cpu = 2.0;
    s.Present(t, cpu);
    for (int i = 0; i < 98; ++i) s.Present(t += 0.010, cpu += 0.004);
    s.Present(t += 0.030, cpu += 0.004);
    s.Present(t += 0.500, cpu += 0.004);
    framestats::Summary r = s.Summarise();
    EXPECT_EQ(r.frames, 101u);
    EXPECT_NEAR(r.seconds, 0.98 + 0.03 + 0.5, 1e-9);
    EXPECT_NEAR(r.meanMs, (980.0 + 30.0 + 500.0) / 100.0, 1e-3);
    EXPECT_NEAR(r.p50Ms, 10.0, 1e-3);
    EXPECT_NEAR(r.p99Ms, 30.0, 1e-3) << "rank 99 of 100 is the second largest";
    EXPECT_NEAR(r.cpuMs, 4.0, 1e-6);
}

TEST(FrameStats, PercentilesDoNotDependOnTheOrderOfFrames) {
    framestats::FrameStats a, b;
    const double gaps[] = {0.004, 0.001, 0.003, 0.002, 0.005};
    double ta = 0, tb = 0;
    a.Present(ta, 0);
    b.Present(tb, 0);
    for (int i = 0; i < 5; ++i) {
        a.Present(ta += gaps[i], 0);
        b.Present(tb += gaps[4 - i], 0);
    }
    EXPECT_NEAR(a.Summarise().p50Ms, 3.0, 1e-3);
    EXPECT_NEAR(b.Summarise().p50Ms, 3.0, 1e-3);
    EXPECT_NEAR(a.Summarise().p99Ms, 5.0, 1e-3);
    EXPECT_NEAR(a.Summarise().meanMs, 3.0, 1e-3);
}

TEST(FrameStats, FewerThanTwoPresentsHaveNoTimes) {
    framestats::FrameStats s;
    framestats::Summary r = s.Summarise();
    EXPECT_EQ(r.frames, 0u);
    EXPECT_EQ(r.meanMs, 0.0);
    s.Present(5.0, 1.0);
    EXPECT_EQ(s.Elapsed(), 0.0);
    r = s.Summarise();
    EXPECT_EQ(r.frames, 1u);
    EXPECT_EQ(r.p99Ms, 0.0);
    s.Present(4.0, 0.5);   // clocks that went back count as zero, not as negative times
    EXPECT_EQ(s.Summarise().meanMs, 0.0);
    EXPECT_EQ(s.Summarise().cpuMs, 0.0);
}

TEST(FrameStats, TheWarmUpOfLongRunsIsNotCounted) {
    framestats::FrameStats s;
    s.SetWarmUp(framestats::WarmUpFor(5.0));
    for (double t : {0.0, 0.4, 0.9, 1.0, 1.01, 1.02}) s.Present(t, t);
    framestats::Summary r = s.Summarise();
    EXPECT_EQ(r.frames, 3u);
    EXPECT_NEAR(r.meanMs, 10.0, 1e-6);
    EXPECT_NEAR(s.Elapsed(), 0.02, 1e-9);
    EXPECT_EQ(framestats::WarmUpFor(1.99), 0.0);   // short runs count from their first frame
}

TEST(FrameStats, TheLineCarriesCountTimeAndTheThreeFigures) {
    framestats::Summary r;
    r.frames = 1234;
    r.seconds = 10.004;
    r.meanMs = 8.1;
    r.p50Ms = 8.0204;
    r.p99Ms = 11.4;
    r.cpuMs = 7.9;
    EXPECT_EQ(framestats::FormatLine("meshes", r),
              "meshes: 1234 frames in 10.00 s, mean 8.100 ms, p50 8.020 ms, p99 11.400 ms, cpu 7.900 ms");
}

TEST(FrameStats, RunLengthsAreSecondsAboveZeroUpToADay) {
    double v = 0;
    std::string err;
    EXPECT_TRUE(framestats::ParseSeconds("10", v, err));
    EXPECT_EQ(v, 10.0);
    EXPECT_TRUE(framestats::ParseSeconds("0.25", v, err));
    EXPECT_EQ(v, 0.25);
    EXPECT_TRUE(framestats::ParseSeconds("86400", v, err));
    for (const char* bad : {"", "0", "-3", "10s", "ten", "nan", "inf", "86401", "1e30"}) {
        err.clear();
        EXPECT_FALSE(framestats::ParseSeconds(bad, v, err)) << bad;
        EXPECT_NE(err.find(std::string("'") + bad + "'"), std::string::npos) << err;
    }
    EXPECT_FALSE(framestats::ParseSeconds(nullptr, v, err));
}

}  // namespace
