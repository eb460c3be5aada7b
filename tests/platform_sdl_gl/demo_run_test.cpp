// The built program on the demo level in a real window under a private Xvfb: the picture is
// not blank, real key presses open the console and take a screenshot, and SIGTERM closes the
// window so the log is saved.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "platform/core/image.h"
#include "tests/support/level_run.h"
#include "tests/support/x_server.h"

namespace fs = std::filesystem;

namespace {

bool WaitFor(const fs::path& file, pid_t child, int seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::error_code ec;
        if (fs::exists(file, ec) && fs::file_size(file, ec) > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));   // let it finish
            return true;
        }
        if (waitpid(child, nullptr, WNOHANG) == child) return false;   // it ended
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

bool Load(const fs::path& file, core::Image& img) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string err;
    return core::DecodeImage(bytes.data(), bytes.size(), img, err);
}

const uint8_t* At(const core::Image& img, int x, int y) {
    return &img.rgba[(size_t(y) * img.width + x) * 4];
}

class DemoRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::StartX(testsupport::kSlowKeyRepeat))
            GTEST_SKIP() << "no X server: " << testsupport::XProblem();
        dir_ = testsupport::CopyLevel(DEMO_DIR, "sdl_demo_run");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    void Start() {
        child_ = fork();
        if (child_ == 0) {
            if (chdir(dir_.c_str()) != 0) _exit(126);
            unsetenv("MESHES_PLATFORM");   // the default backend is the window
            setenv("MESHES_SCREENSHOT", "first.png@20", 1);
            setenv("MESHES_NO_DIALOGS", "1", 1);
            execl(MESHES_PATH, MESHES_PATH, static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    // Ends the program as a window manager or a terminal would; its exit code, -1 if it hangs.
    int Stop() {
        kill(child_, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (waitpid(child_, &status, WNOHANG) == child_) {
                child_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

    fs::path dir_;
    pid_t child_ = -1;
};

TEST_F(DemoRun, DrawsTheLevelAnswersKeysAndSavesTheLogOnClose) {
    Start();
    ASSERT_TRUE(WaitFor(dir_ / "first.png", child_, 90)) << "no screenshot of frame 20";
    core::Image shot;
    ASSERT_TRUE(Load(dir_ / "first.png", shot));
    // The client area of the 800x600 (ini) window less the frame: 784x561.
    EXPECT_GT(shot.width, 200);
    EXPECT_GT(shot.height, 150);
    std::set<uint32_t> colours;
    int whiteInCorner = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const uint8_t* p = At(shot, x, y);
            colours.insert(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
            if (x < 300 && y < 60 && p[0] > 200 && p[1] > 200 && p[2] > 200) ++whiteInCorner;
        }
    EXPECT_GT(colours.size(), 100u) << "the picture is (nearly) blank";
    EXPECT_GT(whiteInCorner, 50) << "no info text in the top left";

    bool keys = std::system("command -v xdotool >/dev/null 2>&1") == 0;
    if (keys) {
        // A quick tap of the console key (the program polls the keyboard between messages;
        // the backend keeps the key down for one idle pass), then F12: the console panel
        // shows in screenshot-1.png.
        ASSERT_EQ(std::system("xdotool mousemove 300 300 sleep 0.3 key grave sleep 1.5 key F12"), 0);
        ASSERT_TRUE(WaitFor(dir_ / "screenshot-1.png", child_, 30)) << "F12 wrote no screenshot";
        core::Image console;
        ASSERT_TRUE(Load(dir_ / "screenshot-1.png", console));
        // Inside the panel, away from its text: one flat dark colour.
        const uint8_t* ref = At(console, 390, 133);
        EXPECT_LT(ref[0] + ref[1] + ref[2], 3 * 64);
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const uint8_t* p = At(console, 390 + dx, 133 + dy);
                EXPECT_EQ(std::memcmp(p, ref, 3), 0) << "at " << 390 + dx << "," << 133 + dy;
            }
    }
    EXPECT_EQ(Stop(), 0);
    EXPECT_TRUE(fs::exists(dir_ / "LOG.dr")) << "the close did not save the log";
    if (!keys) GTEST_SKIP() << "xdotool is not installed: key presses not sent";
}

TEST(DemoRunNoDisplay, StopsAtOnceAndSaysWhy) {
    std::string cmd = std::string("cd ") + DEMO_DIR + " && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER"
                      " -u MESHES_PLATFORM timeout 20 " MESHES_PATH " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << out;   // not 124: it did not run on, invisible
    EXPECT_NE(out.find("no display"), std::string::npos) << out;
}

}  // namespace
