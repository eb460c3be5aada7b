// Timed runs (MESHES_BENCH) through the platform's main() on the headless backend, and the
// benchmark levels the generator writes, run by meshes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    bool Has(const std::string& s) const { return out.find(s) != std::string::npos; }
};

Outcome Shell(const std::string& cmd) {
    Outcome r;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

const char* kClean = "env -u MESHES_SCRIPT -u MESHES_TRACE -u MESHES_FRAMES -u MESHES_FRAME_MS -u MESHES_BENCH "
                     "-u MESHES_SYSTEM_TIME MESHES_PLATFORM=headless ";

// The numbers of the statistics line
// "<label>: F frames in S s, mean M ms, p50 P ms, p99 Q ms, cpu C ms".
struct Line {
    bool found = false;
    long frames = 0;
    double seconds = 0, mean = 0, p50 = 0, p99 = 0, cpu = 0;
};

Line Parse(const std::string& out, const std::string& label) {
    Line l;
    size_t at = out.find(label + ": ");
    if (at == std::string::npos) return l;
    l.found = std::sscanf(out.c_str() + at + label.size() + 2,
                          "%ld frames in %lf s, mean %lf ms, p50 %lf ms, p99 %lf ms, cpu %lf ms",
                          &l.frames, &l.seconds, &l.mean, &l.p50, &l.p99, &l.cpu) == 6;
    return l;
}

TEST(TimedRun, EndsByItselfAfterTheTimeAndPrintsOneLine) {
    Outcome r = Shell(std::string(kClean) + "MESHES_BENCH=0.3 " PROBE_PATH);
    EXPECT_EQ(r.status, 7) << r.out << "the program shut down as after a close";
    EXPECT_TRUE(r.Has("destroy\nquit ")) << "the window got WM_CLOSE and was destroyed";
    Line l = Parse(r.out, "meshes");
    ASSERT_TRUE(l.found) << r.out;
    EXPECT_GT(l.frames, 100) << "no frame limit of its own: the time ends the run";
    EXPECT_GE(l.seconds, 0.3);
    EXPECT_LT(l.seconds, 5.0);
    EXPECT_LE(l.p50, l.p99);
    EXPECT_GT(l.mean, 0.0);
    EXPECT_GT(l.cpu, 0.0) << "the probe spends CPU time between Presents";
    EXPECT_LE(l.cpu, l.mean * 2.5) << "at most all cores of a small machine";
    // The line rounds the mean to 0.001 ms and the length to 0.01 s.
    EXPECT_NEAR(l.mean * (l.frames - 1), l.seconds * 1000.0, l.frames * 0.0005 + 5.0 + l.seconds * 10.0)
        << "the mean is over the intervals between Presents";
    EXPECT_EQ(r.out.find("meshes: "), r.out.rfind("meshes: ")) << "one line only";
    // Start-up: to the first BeginScene, then to the end of the first Present.
    double scene = -1, sceneCpu = -1, sceneRss = -1, frame = -1, frameCpu = -1, frameRss = -1;
    size_t at = r.out.find("meshes start-up: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at,
                          "meshes start-up: first scene after %lf s, cpu %lf s, max RSS %lf MB; "
                          "first frame after %lf s, cpu %lf s, max RSS %lf MB",
                          &scene, &sceneCpu, &sceneRss, &frame, &frameCpu, &frameRss), 6)
        << r.out;
    EXPECT_GE(scene, 0.0);
    EXPECT_LE(scene, frame);
    EXPECT_LT(frame, 5.0) << "the probe presents at once";
    EXPECT_LE(sceneCpu, frameCpu);
    EXPECT_GT(sceneRss, 0.0);
    EXPECT_LE(sceneRss, frameRss);
}

TEST(TimedRun, AnExplicitFrameLimitStillEndsTheRunFirst) {
    Outcome r = Shell(std::string(kClean) + "MESHES_BENCH=60 MESHES_FRAMES=5 " PROBE_PATH);
    EXPECT_EQ(r.status, 7) << r.out;
    Line l = Parse(r.out, "meshes");
    ASSERT_TRUE(l.found) << r.out;
    EXPECT_EQ(l.frames, 5);
}

TEST(TimedRun, WithoutTheVariableNothingIsPrinted) {
    Outcome r = Shell(std::string(kClean) + "MESHES_FRAMES=3 " PROBE_PATH);
    EXPECT_EQ(r.status, 7) << r.out;
    EXPECT_FALSE(r.Has("frames in")) << r.out;
    r = Shell(std::string(kClean) + "MESHES_BENCH= MESHES_FRAMES=3 " PROBE_PATH);
    EXPECT_FALSE(r.Has("frames in")) << "empty is unset";
}

TEST(TimedRun, ABadLengthStopsBeforeTheProgramStarts) {
    for (const char* bad : {"ten", "0", "-1", "5s"}) {
        Outcome r = Shell(std::string(kClean) + "MESHES_BENCH=" + bad + " " PROBE_PATH);
        EXPECT_EQ(r.status, 2) << bad << "\n" << r.out;
        EXPECT_TRUE(r.Has("MESHES_BENCH")) << r.out;
        EXPECT_FALSE(r.Has("start ")) << "WinMain never ran";
    }
}

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Writes a level of `spheres` x `lights` with the generator; empty when that failed.
std::string MakeLevel(int spheres, int lights, std::string& out) {
    const char* t = std::getenv("TMPDIR");
    std::string dir = std::string(t ? t : "/tmp") + "/meshes_bench_level_" + std::to_string(getpid()) + "_" +
                      std::to_string(spheres) + "x" + std::to_string(lights);
    Outcome r = Shell("rm -rf '" + dir + "' && python3 " SOURCE_DIR "/bench/frame/make_level.py " +
                    std::to_string(spheres) + " " + std::to_string(lights) + " '" + dir + "' --drtool " DRTOOL_PATH);
    out = r.out;
    return r.status == 0 ? dir : std::string();
}

TEST(BenchLevel, MeshesLoadsItCleanlyAndDrawsEverySphereOncePerLight) {
    if (Shell("command -v python3").status != 0) GTEST_SKIP() << "python3 is not installed";
    std::string out;
    std::string dir = MakeLevel(3, 2, out);
    ASSERT_FALSE(dir.empty()) << out;

    Outcome r = Shell("cd '" + dir + "' && " + kClean + "MESHES_FRAMES=2 MESHES_TRACE=trace.txt " MESHES_PATH);
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string trace = Slurp(dir + "/trace.txt");
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(Count(trace, ".DrawSubset(0) -> 0x00000000 faces=2000"), 2u * 3u * 2u)
        << "2 frames x 3 spheres x 2 lights, each a 2000-triangle sphere";
    EXPECT_EQ(Count(trace, "SetTechnique(ald_Phong)"), 2u * 3u) << "the first light";
    EXPECT_EQ(Count(trace, "SetTechnique(ald_Phong_alpha)"), 2u * 3u) << "the light after it";
    EXPECT_EQ(Count(trace, "D3DXLoadMeshFromXA(meshes\\ball.x"), 3u) << "one mesh per object";

    Outcome log = Shell(DRTOOL_PATH " dump '" + dir + "/LOG.dr'");
    EXPECT_TRUE(log.Has("completed with 0 errors and 3 objects")) << log.out;
    EXPECT_TRUE(log.Has("Light Manager setup completed with 2 lights")) << log.out;
    EXPECT_TRUE(log.Has("Effect Manager setup completed with 1 Effects")) << log.out;
    EXPECT_FALSE(log.Has("_ERROR_")) << log.out;

    // The minimal program's copy of the scene names the same camera, lights and objects.
    const std::string scene = Slurp(dir + "/scene.txt");
    EXPECT_EQ(Count(scene, "\nlight "), 2u);
    EXPECT_EQ(Count(scene, "\nobject "), 3u);
    EXPECT_TRUE(scene.find("\nclient 624 441") != std::string::npos) << scene;
    Shell("rm -rf '" + dir + "'");
}

TEST(BenchLevel, TheGeneratorRefusesCountsOutsideItsRange) {
    if (Shell("command -v python3").status != 0) GTEST_SKIP() << "python3 is not installed";
    std::string out;
    EXPECT_TRUE(MakeLevel(0, 1, out).empty());
    EXPECT_TRUE(MakeLevel(1, 0, out).empty());
    EXPECT_NE(out.find("lights 1..64"), std::string::npos) << out;
}

}  // namespace
