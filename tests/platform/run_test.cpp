// Runs of a program through the platform's main(): backend selection, the headless run
// variables, scripted input and the trace file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/wait.h>

#include "platform/backend.h"
#include "platform/headless/headless.h"

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    bool Has(const std::string& s) const { return out.find(s) != std::string::npos; }
};

std::string TempPath(const std::string& name) {
    const char* t = std::getenv("TMPDIR");
    return std::string(t ? t : "/tmp") + "/meshes_run_" + std::to_string(getpid()) + "_" + name;
}

// Runs the probe with the environment assignments given, stderr merged into the output.
Outcome Probe(const std::string& env, const std::string& args = "") {
    Outcome r;
    std::string cmd = "env -u MESHES_SCRIPT -u MESHES_TRACE -u MESHES_FRAMES -u MESHES_FRAME_MS "
                      "-u MESHES_SYSTEM_TIME " + env + " " PROBE_PATH " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string Write(const std::string& name, const std::string& text) {
    std::string path = TempPath(name);
    std::ofstream(path) << text;
    return path;
}

TEST(Run, WithoutAScriptTheWindowClosesAfterTheFrameLimit) {
    Outcome r = Probe("MESHES_PLATFORM=headless MESHES_FRAMES=5 MESHES_FRAME_MS=20", "a b");
    EXPECT_EQ(r.status, 7) << r.out << "WinMain's result is the exit code";
    EXPECT_TRUE(r.Has("start a b 10")) << "arguments and SW_SHOWDEFAULT";
    EXPECT_TRUE(r.Has("frame 1 t=3600000 ")) << r.out;
    EXPECT_TRUE(r.Has("frame 5 t=3600080 "));
    EXPECT_FALSE(r.Has("frame 6 "));
    EXPECT_TRUE(r.Has("destroy\nquit 5"));
}

TEST(Run, DefaultsAreSixteenMillisecondsAndAHundredFrames) {
    Outcome r = Probe("MESHES_PLATFORM=headless");
    EXPECT_EQ(r.status, 7) << r.out;
    EXPECT_TRUE(r.Has("frame 2 t=3600016 "));
    EXPECT_TRUE(r.Has("quit 100"));
}

TEST(Run, UnknownPlatformsAndBadSettingsStopBeforeTheProgram) {
    Outcome r = Probe("MESHES_PLATFORM=vulkan");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.Has("unknown platform 'vulkan'")) << r.out;
    EXPECT_TRUE(r.Has("headless"));
    EXPECT_FALSE(r.Has("start"));
    r = Probe("MESHES_PLATFORM=headless MESHES_FRAMES=ten");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.Has("MESHES_FRAMES")) << r.out;
    r = Probe("MESHES_PLATFORM=headless MESHES_SYSTEM_TIME=yesterday");
    EXPECT_EQ(r.status, 2);
    r = Probe("MESHES_PLATFORM=headless MESHES_SCRIPT=" + TempPath("none.txt"));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.Has("cannot read the script"));
}

TEST(Run, ScriptErrorsNameTheFileAndLine) {
    std::string bad = Write("bad.txt", "# fine\nwait 2\nkey sideways VK_TAB\n");
    Outcome r = Probe("MESHES_PLATFORM=headless MESHES_SCRIPT=" + bad);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.Has(bad + ":3: key needs down or up")) << r.out;
    const char* lines[] = {"wait -1", "key down VK_NOPE", "type caf\xe9", "mouse move 1", "mouse down middle",
                           "close now", "jump", "wheel 0", "wheel up", "clipboard a\\qb", "clipboard \\x4"};
    for (const char* l : lines) {
        r = Probe("MESHES_PLATFORM=headless MESHES_SCRIPT=" + Write("bad1.txt", std::string(l) + "\n"));
        EXPECT_EQ(r.status, 2) << l;
        EXPECT_TRUE(r.Has(":1: ")) << l << ": " << r.out;
    }
}

TEST(Run, ScriptedTypingPressesOneKeyPerFrameWithShift) {
    std::string script = Write("type.txt",
                               "wait 2\n"
                               "type Ab_\n"
                               "mouse move 40 30\n"
                               "mouse down left\n"
                               "wait 3\n"
                               "close\n"
                               "type never\n");
    Outcome r = Probe("MESHES_PLATFORM=headless MESHES_SCRIPT=" + script);
    EXPECT_EQ(r.status, 7) << r.out;
    // Frames 1-3 pass; 'A' is pressed (with the left Shift) after frame 3, 'b' after frame 4.
    EXPECT_TRUE(r.Has("frame 3 t=3600032 shift=0")) << r.out;
    EXPECT_TRUE(r.Has("char A\nframe 4 t=3600048 shift=1")) << r.out;
    EXPECT_TRUE(r.Has("char b\nframe 5 t=3600064 shift=0")) << r.out;
    EXPECT_TRUE(r.Has("char _\nframe 6 t=3600080 shift=1")) << r.out;
    EXPECT_TRUE(r.Has("lbutton 40 30\nframe 7 t=3600096 shift=0 x=40")) << r.out;
    EXPECT_TRUE(r.Has("frame 9 "));
    EXPECT_FALSE(r.Has("frame 10 ")) << "closed three frames after the press";
    EXPECT_FALSE(r.Has("char n")) << "nothing after close runs";
}

TEST(Run, TraceAndFixedSystemTime) {
    std::string trace = TempPath("trace.txt");
    std::remove(trace.c_str());
    Outcome r = Probe("MESHES_PLATFORM=headless MESHES_FRAMES=2 MESHES_SYSTEM_TIME=2008-06-01T08:52:03 MESHES_TRACE=" +
                  trace);
    EXPECT_EQ(r.status, 7) << r.out;
    EXPECT_TRUE(r.Has("date 2008-6-1 8:52:3")) << r.out;
    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "win32.RegisterClassExA(Probe, " + std::to_string(sizeof(WNDCLASSEXA)) + ", 0x00000000) -> 49152");
    size_t presents = 0;
    for (const std::string& l : lines) presents += l.rfind("device1.Present(", 0) == 0;
    EXPECT_EQ(presents, 2u);
    EXPECT_EQ(lines.back(), "win32.UnregisterClassA(Probe) -> 1");
}

TEST(Selection, TheRegistryKnowsHeadlessAndRefusesUnknownNames) {
    std::vector<std::string> names = platform::BackendNames();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names[0], "headless");
    std::string err;
    EXPECT_FALSE(platform::Select("nothing", err));
    EXPECT_NE(err.find("known: headless"), std::string::npos) << err;
    EXPECT_TRUE(platform::Select("headless", err));
    EXPECT_STREQ(platform::Active().Name(), "headless");
}

}  // namespace
