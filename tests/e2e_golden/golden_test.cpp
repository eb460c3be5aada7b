// The built program on the demo level in a real window under a private Xvfb. Three pictures:
// the first frame that shows the scene, the console opened with the real console key, and the
// view after a real Tab key. Each is compared with its reference in ref/ (halved, with a
// per-channel tolerance and a largest share of differing pixels, over the whole picture and
// region by region) and checked for what must be in it whatever the reference says.
// MESHES_GOLDEN_UPDATE=DIR writes the pictures to DIR as new references instead.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "picture.h"
#include "tests/support/level_run.h"
#include "tests/support/x_server.h"

namespace fs = std::filesystem;
using golden::Rect;

namespace {

// Mesa's software rasteriser draws the same picture every time on one machine; elsewhere
// (other CPU features, other library versions) edges and filtered texels may move a little.
// Halving first averages those away, then a pixel differs when a channel is off by more than
// kTolerance, and at most the given shares of pixels may differ.
constexpr int kTolerance = 48;
constexpr double kFrameShare = 0.01;   // of the whole picture, masks left out
constexpr double kRegionShare = 0.05;  // of one region

// Regions of the 784x561 picture (the 800x600 window of ini.txt less its frame).
const Rect kWhole{0, 0, 4096, 4096};
const Rect kInfoText{0, 0, 320, 42};        // camera number, object count, camera position
const Rect kFrameRate{0, 42, 90, 62};       // frames per second: depends on the machine
const Rect kMessages{8, 8, 480, 128};       // log lines: their time stamps differ per run
const Rect kClock{550, 58, 632, 82};        // the console's running clock
const Rect kTitle{480, 0, 632, 55};         // the title, right of the log lines
const Rect kCommandLine{10, 128, 120, 142}; // the empty command line: its cursor only
const Rect kPanel{20, 128, 390, 139};       // an empty strip of the panel
const Rect kFloor{100, 440, 700, 556};      // floor in front of the first camera
const Rect kLeftBack{0, 230, 200, 330};     // floor near the blue lamp, behind the crate
const Rect kRightBack{560, 230, 784, 380};  // floor near the green lamp
const Rect kBall{445, 190, 560, 300};       // the marble ball
const uint32_t kBackground = 0x181C28;      // BACK_RENDERER_COLOR of the demo's ini.txt

// An OpenGL 3.3 core context on the server, as the program asks for one.
bool HaveGl(std::string& why) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        why = std::string("SDL video: ") + SDL_GetError();
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_Window* w = SDL_CreateWindow("gl probe", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext ctx = w ? SDL_GL_CreateContext(w) : nullptr;
    bool ok = ctx && epoxy_gl_version() >= 33;
    if (!ok) why = std::string("no OpenGL 3.3 context: ") + SDL_GetError();
    if (ctx) SDL_GL_DeleteContext(ctx);
    if (w) SDL_DestroyWindow(w);
    SDL_Quit();
    return ok;
}

// The private X server (tests/support) with an OpenGL 3.3 context on it; checked once.
bool StartServer() {
    static bool tried = false, ok = false;
    if (tried) return ok;
    tried = true;
    if (!testsupport::StartX()) return false;
    std::string why;
    ok = HaveGl(why);
    if (!ok) testsupport::SetXProblem(why);
    return ok;
}

std::string Output(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

class Golden : public ::testing::Test {
protected:
    void SetUp() override {
        if (!StartServer()) GTEST_SKIP() << "no picture to test: " << testsupport::XProblem();
        dir_ = testsupport::CopyLevel(DEMO_DIR, "e2e_golden");
        ASSERT_FALSE(dir_.empty());
        if (const char* u = std::getenv("MESHES_GOLDEN_UPDATE")) update_ = u;
    }

    void TearDown() override {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        std::error_code ec;
        if (HasFailure())
            std::printf("pictures kept in %s (*.actual.png, *.marks.png)\n", dir_.c_str());
        else if (!dir_.empty())
            fs::remove_all(dir_, ec);
    }

    // Runs the program in the copy of the demo; MESHES_SCREENSHOT saves frame 2, the first one
    // with the whole scene (frame 1 is drawn before any camera has set up the device's view, so
    // only the objects drawn with effects show in it).
    void Start() {
        child_ = fork();
        if (child_ == 0) {
            if (chdir(dir_.c_str()) != 0) _exit(126);
            int out = open("output.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(out, 2);
            unsetenv("MESHES_PLATFORM");
            unsetenv("MESHES_BENCH");
            setenv("MESHES_SCREENSHOT", "first.png@2", 1);
            setenv("MESHES_NO_DIALOGS", "1", 1);
            execl(MESHES_PATH, MESHES_PATH, static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    ::testing::AssertionResult WaitFor(const std::string& name, int seconds = 120) {
        fs::path file = dir_ / name;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            std::error_code ec;
            if (fs::exists(file, ec) && fs::file_size(file, ec) > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));   // written whole
                return ::testing::AssertionSuccess();
            }
            int status = 0;
            if (waitpid(child_, &status, WNOHANG) == child_) {
                child_ = -1;
                return ::testing::AssertionFailure()
                       << "the program ended before writing " << name << ": "
                       << Output("cat " + (dir_ / "output.txt").string());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return ::testing::AssertionFailure() << "no " << name << " after " << seconds << " s";
    }

    // Real key events from xdotool, to the program's window, given focus and the pointer.
    void Keys(const std::string& events) {
        if (Output("command -v xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
        std::string pid = std::to_string(child_);
        std::string window = Output("xdotool search --sync --onlyvisible --pid " + pid + " | head -n 1");
        while (!window.empty() && (window.back() == '\n')) window.pop_back();
        ASSERT_FALSE(window.empty()) << "the program's window was not found";
        ASSERT_EQ(std::system(("xdotool windowfocus --sync " + window + " mousemove --window " +
                               window + " 12 540").c_str()), 0);
        ASSERT_EQ(std::system(("xdotool " + events).c_str()), 0) << events;
    }

    // Closes the window as SIGTERM does; the program's exit code, -1 when it does not end.
    int Stop() {
        kill(child_, SIGTERM);
        for (int i = 0; i < 600; ++i) {
            int status = 0;
            if (waitpid(child_, &status, WNOHANG) == child_) {
                child_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    core::Image Load(const std::string& name) {
        core::Image img;
        std::string err;
        EXPECT_TRUE(golden::LoadPng((dir_ / name).string(), img, err)) << err;
        return img;
    }

    // Compares the picture with ref/NAME.png over the whole picture and each named region,
    // leaving out the masked rectangles; or writes it as the new reference.
    void MatchesReference(const std::string& name, const core::Image& shot,
                          const std::vector<Rect>& masks,
                          const std::vector<std::pair<const char*, Rect>>& regions) {
        core::Image half = golden::Half(shot);
        if (!update_.empty()) {
            ASSERT_TRUE(golden::SavePng(update_ + "/" + name + ".png", half));
            return;
        }
        std::string refPath = std::string(GOLDEN_REF_DIR) + "/" + name + ".png";
        core::Image ref;
        std::string err;
        ASSERT_TRUE(golden::LoadPng(refPath, ref, err))
            << err << " (make the references with tests/e2e_golden/update_refs.sh)";
        ASSERT_EQ(ref.width, half.width);
        ASSERT_EQ(ref.height, half.height);
        core::Image marks;
        golden::Difference whole = golden::Compare(ref, half, kWhole, masks, 2, kTolerance, &marks);
        std::printf("%s: %.3f%% of the pixels differ, largest channel difference %d\n",
                    name.c_str(), 100.0 * whole.Fraction(), whole.largest);
        EXPECT_LE(whole.Fraction(), kFrameShare)
            << name << ": " << whole.differing << " of " << whole.compared
            << " pixels differ (largest channel difference " << whole.largest << ")";
        for (const auto& [region, rect] : regions) {
            golden::Difference d = golden::Compare(ref, half, rect, masks, 2, kTolerance);
            EXPECT_LE(d.Fraction(), kRegionShare)
                << name << ", " << region << ": " << d.differing << " of " << d.compared
                << " pixels differ";
        }
        if (HasFailure()) {
            golden::SavePng((dir_ / (name + ".actual.png")).string(), half);
            golden::SavePng((dir_ / (name + ".marks.png")).string(), marks);
        }
    }

    fs::path dir_;
    pid_t child_ = -1;
    std::string update_;
};

TEST_F(Golden, FirstFrameShowsTheLitSceneTheInfoTextAndTheMarkers) {
    Start();
    ASSERT_TRUE(WaitFor("first.png"));
    EXPECT_EQ(Stop(), 0);
    EXPECT_TRUE(fs::exists(dir_ / "LOG.dr")) << "closing did not save the log";
    core::Image shot = Load("first.png");
    ASSERT_EQ(shot.width, 784);
    ASSERT_EQ(shot.height, 561);

    EXPECT_GT(golden::CountBright(shot, kInfoText, 200), 300) << "no info text at the top left";
    EXPECT_GT(golden::CountColours(shot, kWhole), 2000u) << "too few colours for a lit, textured scene";
    long bare = golden::CountNear(shot, kFloor, kBackground, 6);
    EXPECT_LT(bare, 600 * 116 / 10) << "the floor in front of the camera is missing";
    // Each light shows in its own colour: the warm sun on the grey floor in front, the blue
    // and the green lamp on the floor near them, and the sun's highlight on the ball.
    auto count = [&](Rect r, bool (*test)(int, int, int)) {
        long n = 0;
        for (int y = r.y0; y < r.y1; ++y)
            for (int x = r.x0; x < r.x1; ++x) {
                const uint8_t* p = &shot.rgba[(size_t(y) * shot.width + x) * 4];
                n += test(p[0], p[1], p[2]);
            }
        return n;
    };
    EXPECT_GT(count(kFloor, [](int r, int, int b) { return r > b + 25; }), 600 * 116 / 3)
        << "the floor is not lit by the warm sun";
    EXPECT_GT(count(kLeftBack, [](int r, int g, int b) { return b > r + 30 && b > g + 10; }), 2000)
        << "no blue light on the floor near the blue lamp";
    EXPECT_GT(count(kRightBack, [](int r, int g, int b) { return g > r + 30 && g > b + 30; }), 2000)
        << "no green light on the floor near the green lamp";
    EXPECT_GT(count(kBall, [](int r, int, int b) { return r >= 200 && r > b + 30; }), 150)
        << "no warm highlight on the ball";
    MatchesReference("first", shot, {kFrameRate},
                     {{"info text", kInfoText}, {"floor", kFloor}, {"ball", kBall}});
}

// The demo whose Phong effect takes the lights in one pass looks like the demo drawn per light.
TEST_F(Golden, LightsInOnePassLookAsDrawnOnePerLight) {
    if (!update_.empty()) GTEST_SKIP() << "compared with the demo's reference, not one of its own";
    fs::remove_all(dir_);
    dir_ = testsupport::CopyLevel(ONEPASS_DIR, "e2e_golden");
    ASSERT_FALSE(dir_.empty());
    Start();
    ASSERT_TRUE(WaitFor("first.png"));
    EXPECT_EQ(Stop(), 0);
    MatchesReference("first", Load("first.png"), {kFrameRate},
                     {{"info text", kInfoText}, {"floor", kFloor}, {"ball", kBall}});
}

TEST_F(Golden, ConsoleKeyShowsThePanelOverTheWireframeScene) {
    Start();
    ASSERT_TRUE(WaitFor("first.png"));
    Keys("keydown grave sleep 0.2 keyup grave sleep 2 key F12");
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(WaitFor("screenshot-1.png"));
    EXPECT_EQ(Stop(), 0);
    core::Image shot = Load("screenshot-1.png");
    ASSERT_EQ(shot.width, 784);

    // Wireframe: the floor is mostly background between its lines.
    long bare = golden::CountNear(shot, kFloor, kBackground, 6);
    EXPECT_GT(bare, 600 * 116 * 7 / 10) << "the scene is not drawn as wireframe";
    // The panel: one flat dark colour.
    EXPECT_EQ(golden::CountColours(shot, kPanel), 1u) << "the panel strip is not flat";
    long dark = golden::CountNear(shot, kPanel, 0x202020, 32);
    EXPECT_EQ(dark, long(kPanel.x1 - kPanel.x0) * (kPanel.y1 - kPanel.y0)) << "the panel is not dark";
    // Log lines in the colours of their kinds: text, comment, system.
    EXPECT_GT(golden::CountNear(shot, kMessages, 0xF5F5FF, 40), 40) << "no text lines";
    EXPECT_GT(golden::CountNear(shot, kMessages, 0x0AA050, 40), 40) << "no comment lines";
    EXPECT_GT(golden::CountNear(shot, kMessages, 0x6B73A9, 30), 40) << "no system lines";
    EXPECT_GT(golden::CountNear(shot, kTitle, 0x969696, 20), 300) << "no title";
    EXPECT_GT(golden::CountBright(shot, kCommandLine, 200), 5) << "no cursor on the command line";
    EXPECT_GT(golden::CountNear(shot, kClock, 0xFAFAFA, 40), 10) << "no clock";
    MatchesReference("console", shot, {kMessages, kClock},
                     {{"title", kTitle}, {"command line", kCommandLine}, {"panel", kPanel},
                      {"floor", kFloor}});
}

TEST_F(Golden, TabSwitchesToTheSecondCamera) {
    Start();
    ASSERT_TRUE(WaitFor("first.png"));
    // Held well under the 360 ms between two switches, so it switches once even when a busy
    // machine delays the release (a press released at once still counts for one pass).
    Keys("keydown Tab sleep 0.1 keyup Tab sleep 2 key F12");
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(WaitFor("screenshot-1.png"));
    EXPECT_EQ(Stop(), 0);
    core::Image first = Load("first.png");
    core::Image shot = Load("screenshot-1.png");
    ASSERT_EQ(shot.width, 784);

    golden::Difference moved = golden::Compare(first, shot, kWhole, {}, 1, kTolerance);
    EXPECT_GT(moved.Fraction(), 0.2) << "the view did not change";
    golden::Difference info = golden::Compare(first, shot, kInfoText, {}, 1, kTolerance);
    EXPECT_GT(info.differing, 20) << "the info text still names the first camera";
    EXPECT_GT(golden::CountBright(shot, kInfoText, 200), 300) << "no info text at the top left";
    MatchesReference("camera2", shot, {kFrameRate}, {{"info text", kInfoText}});
}

}  // namespace
