// The demo level in a real window, started as `meshes FOLDER` from elsewhere, with the effect
// its objects are drawn with replaced by one flat colour. The colour in the effect file is
// rewritten while the program runs and the picture follows; then a rewrite that does not
// compile leaves the last good picture, and the log says both.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/image.h"
#include "tests/support/level_run.h"
#include "tests/support/x_server.h"

namespace {

using testsupport::Tool;

std::string FlatEffect(const std::string& colour) {
    const std::string pass =
        "    pass P0 {\n"
        "        VertexShader = compile vs_2_0 FlatVS();\n"
        "        PixelShader = compile ps_2_0 FlatPS();\n"
        "        ZEnable = true;\n"
        "        ZFunc = LessEqual;\n"
        "        CullMode = None;\n"
        "        AlphaBlendEnable = false;\n"
        "    }\n";
    return "float4x4 mat_World_View_Proj;\n"
           "float4 FlatVS(float4 p : POSITION) : POSITION { return mul(p, mat_World_View_Proj); }\n"
           "float4 FlatPS() : COLOR {\n"
           "    return float4(" + colour + ");\n"
           "}\n"
           "technique ald_Phong {\n" + pass + "}\n"
           "technique ald_Phong_alpha {\n" + pass + "}\n";
}

struct Counts {
    int red = 0, blue = 0;
};

class ReloadWindow : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"xdotool", "openbox", "wmctrl"})
            if (!testsupport::Have(tool)) GTEST_SKIP() << tool << " is not installed (see scripts/deps.sh)";
        testsupport::XOptions x;
        x.windowManager = true;
        if (!testsupport::StartX(x)) GTEST_SKIP() << "no X server: " << testsupport::XProblem();
        folder_ = testsupport::CopyLevel(DEMO_DIR, "reload");
        ASSERT_FALSE(folder_.empty());
    }
    void TearDown() override {
        if (child_ > 0) testsupport::Wait(child_, 0);  // still running: killed by its pid
        if (!HasFailure() && !folder_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(folder_, ec);
        }
    }
    void Write(const std::string& name, const std::string& text) {
        // Written beside and renamed over, as editors save: never seen half-written.
        std::string path = folder_ + "/" + name, temp = path + ".new";
        std::ofstream(temp, std::ios::binary) << text;
        std::filesystem::rename(temp, path);
    }
    // `meshes FOLDER`, run from /tmp.
    bool Launch() {
        child_ = fork();
        if (child_ == 0) {
            if (chdir("/tmp") != 0) _exit(126);
            int out = open((folder_ + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                dup2(out, 1);
                dup2(out, 2);
                close(out);
            }
            setpgid(0, 0);
            unsetenv("MESHES_PLATFORM");
            unsetenv("MESHES_WATCH");
            setenv("MESHES_NO_DIALOGS", "1", 1);
            execl(MESHES_PATH, MESHES_PATH, folder_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // The window titled "|Zarvik|0.0.4|June 1|" once it is shown; asked again while the
        // program runs, as a busy display may not answer at once.
        std::string out;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
        while (out.empty() && std::chrono::steady_clock::now() < deadline) {
            testsupport::Outcome o;
            if (testsupport::Ended(child_, &o)) {
                child_ = -1;
                if (o.exited && o.code == 0 && !testsupport::Exists(folder_ + "/LOG.dr")) {
                    skip_ = "no GL context: " + testsupport::ReadText(folder_ + "/out.txt");
                    return false;
                }
                ADD_FAILURE() << "the program ended: " << testsupport::Describe(o) << "\n"
                              << testsupport::ReadText(folder_ + "/out.txt");
                return false;
            }
            if (Tool({"xdotool", "search", "--onlyvisible", "--name", "Zarvik"}, &out, 30) != 0)
                out.clear();
            if (out.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        if (out.empty()) {
            ADD_FAILURE() << "no window appeared";
            return false;
        }
        window_ = out.substr(0, out.find('\n'));
        Tool({"xdotool", "windowactivate", "--sync", window_});
        Tool({"xdotool", "windowfocus", "--sync", window_});
        return true;
    }
    // F12 and the screenshot of the frame after it, read back; counts of flat red and flat
    // blue pixels below the info text.
    bool Picture(Counts* c) {
        int n = 1;
        while (testsupport::Exists(folder_ + "/screenshot-" + std::to_string(n) + ".png")) ++n;
        std::string path = folder_ + "/screenshot-" + std::to_string(n) + ".png";
        Tool({"xdotool", "key", "--window", window_, "F12"});
        core::Image img;
        std::string err;
        for (int i = 0; i < 1200; ++i) {
            std::string bytes = testsupport::ReadText(path);
            if (!bytes.empty() &&
                core::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), img, err) &&
                img.height > 100) {
                *c = Counts();
                for (int y = 60; y < img.height; ++y)
                    for (int x = 0; x < img.width; ++x) {
                        const uint8_t* p = &img.rgba[(size_t(y) * img.width + x) * 4];
                        if (p[0] > 230 && p[1] < 25 && p[2] < 25) ++c->red;
                        if (p[2] > 230 && p[0] < 25 && p[1] < 25) ++c->blue;
                    }
                return true;
            }
            testsupport::Outcome o;
            if (testsupport::Ended(child_, &o)) {
                child_ = -1;
                ADD_FAILURE() << "the program ended: " << testsupport::Describe(o);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << path << " was never written: " << err;
        return false;
    }
    // Pictures until `done` holds, for up to a minute.
    template <class F>
    bool PictureUntil(Counts* c, F done) {
        for (int i = 0; i < 60; ++i) {
            if (!Picture(c)) return false;
            if (done(*c)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        return false;
    }

    std::string folder_, window_, skip_;
    pid_t child_ = -1;
};

TEST_F(ReloadWindow, TheRewrittenEffectColourIsDrawnAndABrokenOneKeepsTheLastGoodPicture) {
    Write("fx/ald_Phong.fx", FlatEffect("1.0, 0.0, 0.0, 1.0"));
    if (!Launch()) {
        if (!skip_.empty()) GTEST_SKIP() << skip_;
        return;
    }
    Counts red;
    ASSERT_TRUE(PictureUntil(&red, [](const Counts& c) { return c.red > 5000; }))
        << "the flat red effect: " << red.red << " red pixels";
    EXPECT_EQ(red.blue, 0);

    Write("fx/ald_Phong.fx", FlatEffect("0.0, 0.0, 1.0, 1.0"));
    Counts blue;
    ASSERT_TRUE(PictureUntil(&blue, [](const Counts& c) { return c.blue > 5000 && c.red == 0; }))
        << "the picture follows the file: " << blue.red << " red, " << blue.blue << " blue";
    EXPECT_NEAR(blue.blue, red.red, red.red / 50) << "the same surfaces, another colour";

    // A rewrite that does not compile: the compiler's message (with file and line) on stderr,
    // and the last good picture stays.
    Write("fx/ald_Phong.fx", FlatEffect("0.0, 1.0, 0.0") + "float4 Broken() { return nothing; }\n");
    bool said = false;
    for (int i = 0; i < 600 && !said; ++i) {
        said = testsupport::ReadText(folder_ + "/out.txt").find("ald_Phong.fx") != std::string::npos;
        if (!said) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(said) << testsupport::ReadText(folder_ + "/out.txt");
    Counts kept;
    ASSERT_TRUE(Picture(&kept));
    EXPECT_EQ(kept.red, 0);
    EXPECT_NEAR(kept.blue, blue.blue, blue.blue / 50);

    ASSERT_EQ(Tool({"wmctrl", "-i", "-c", window_}), 0);
    testsupport::Outcome o = testsupport::Wait(child_, 120);
    child_ = -1;
    ASSERT_TRUE(o.exited && o.code == 0) << testsupport::Describe(o);
    std::string error;
    std::vector<std::string> log = testsupport::ReadLog(DRTOOL_PATH, folder_ + "/LOG.dr", &error);
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_EQ(testsupport::InOrder(log, {"_SYSTEM_ [~] Reloaded: fx\\ald_Phong.fx",
                                 "_ERROR_ [!] Reload failed: fx\\ald_Phong.fx"}),
              "");
    int reloaded = 0, failed = 0;
    for (const std::string& line : log) {
        reloaded += line.find("[~] Reloaded:") != std::string::npos;
        failed += line.find("[!] Reload failed:") != std::string::npos;
    }
    EXPECT_EQ(reloaded, 1);
    EXPECT_EQ(failed, 1);
    std::string out = testsupport::ReadText(folder_ + "/out.txt");
    EXPECT_NE(out.find("fx\\ald_Phong.fx("), std::string::npos) << "file and line: " << out;
}

}  // namespace
