// The demo program drawing its level through the effect files on the OpenGL backend, looked
// at in screenshots. Each light's share of the picture is the difference between the normal
// picture and one with that light's colour set to black in the level file; the specular
// share is the difference to a picture whose sun has no specular intensity.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/core/image.h"
#include "tests/support/level_run.h"
#include "tests/support/x_server.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// The block `name { ... }` of the level text: [start of its body, its closing brace).
bool FindBlock(const std::string& text, const std::string& name, size_t& begin, size_t& end) {
    size_t pos = 0;
    while ((pos = text.find(name, pos)) != std::string::npos) {
        size_t open = text.find_first_not_of(" \t", pos + name.size());
        bool word = (pos == 0 || std::isspace(static_cast<unsigned char>(text[pos - 1])));
        if (word && open != std::string::npos && text[open] == '{') {
            int depth = 0;
            for (size_t i = open; i < text.size(); ++i) {
                if (text[i] == '{') ++depth;
                if (text[i] == '}' && --depth == 0) {
                    begin = open + 1;
                    end = i;
                    return true;
                }
            }
            return false;
        }
        pos += name.size();
    }
    return false;
}

// Sets `key { value }` inside the block of `light`, adding the key when missing.
std::string SetLightKey(std::string text, const std::string& light, const std::string& key,
                        const std::string& value) {
    size_t b, e;
    if (!FindBlock(text, light, b, e)) return std::string();
    std::string body = text.substr(b, e - b);
    size_t kb, ke;
    std::string entry = key + " { " + value + " }";
    if (FindBlock(body, key, kb, ke)) {
        size_t start = body.rfind(key, kb);
        body.replace(start, ke + 1 - start, entry);
    } else {
        body = "\n        " + entry + body;
    }
    return text.replace(b, e - b, body);
}

class DemoLightsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::StartX(testsupport::kSlowKeyRepeat))
            GTEST_SKIP() << "no X server: " << testsupport::XProblem();
        level_ = ReadText(std::string(MESHES_DEMO_SOURCE) + "/trees/POLYGON01.txt");
        ASSERT_FALSE(level_.empty());
        dir_ = testsupport::CopyLevel(MESHES_DEMO_DIR, "demo_lights");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    // Runs the program on the level given as text and returns its 20th frame.
    core::Image Shot(const std::string& levelText) {
        core::Image image;
        std::string text = dir_ + "/POLYGON01.txt", tree = dir_ + "/POLYGON01";
        std::ofstream(text) << levelText;
        std::string cmd = std::string("'") + DRTOOL_PROGRAM + "' build '" + text + "' '" + tree +
                          "' > /dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::string shot = dir_ + "/shot.png";
        fs::remove(shot);
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.c_str()) != 0) _exit(127);
            setenv("MESHES_PLATFORM", "sdl", 1);
            setenv("MESHES_SCREENSHOT", (shot + "@20").c_str(), 1);
            execl(MESHES_PROGRAM, MESHES_PROGRAM, static_cast<char*>(nullptr));
            _exit(127);
        }
        auto start = std::chrono::steady_clock::now();
        std::string err;
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
            std::string bytes = ReadText(shot);
            if (!bytes.empty() &&
                core::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  image, err))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        EXPECT_GT(image.width, 0) << "no screenshot from the program";
        return image;
    }

    std::string level_, dir_;
};

// Per-pixel share of `full` over `without`, summed per channel over the pixels where it is
// visible, below the text lines at the top.
struct Share {
    double r = 0, g = 0, b = 0;
    int pixels = 0, strong = 0, total = 0, peak = 0;
    double nearSum = 0, farSum = 0;   // lower and upper half of the picture
    int nearCount = 0, farCount = 0;
};

Share Difference(const core::Image& full, const core::Image& without) {
    Share s;
    if (full.width != without.width || full.height != without.height) return s;
    for (int y = 80; y < full.height; ++y) {
        for (int x = 0; x < full.width; ++x) {
            size_t i = (size_t(y) * full.width + x) * 4;
            int d[3];
            for (int c = 0; c < 3; ++c) d[c] = std::max(0, full.rgba[i + c] - without.rgba[i + c]);
            int sum = d[0] + d[1] + d[2];
            ++s.total;
            if (sum < 24) continue;
            ++s.pixels;
            s.r += d[0];
            s.g += d[1];
            s.b += d[2];
            s.peak = std::max(s.peak, sum);
            if (sum > 150) ++s.strong;
            (y > full.height * 2 / 3 ? s.nearSum : s.farSum) += sum;
            (y > full.height * 2 / 3 ? s.nearCount : s.farCount) += 1;
        }
    }
    return s;
}

TEST_F(DemoLightsTest, EachLightAddsItsColourWithShadingAndTheSunAHighlight) {
    core::Image all = Shot(level_);
    ASSERT_GT(all.width, 0);
    // The sun: warm (red over green over blue).
    std::string noSun = SetLightKey(level_, "sun", "_COLOR_", "0 0 0");
    std::string noBlue = SetLightKey(level_, "lamp_blue", "_COLOR_", "0 0 0");
    std::string noGreen = SetLightKey(level_, "lamp_green", "_COLOR_", "0 0 0");
    std::string dullSun = SetLightKey(level_, "sun", "_SPECULAR_INTENSY_", "0");
    ASSERT_FALSE(noSun.empty() || noBlue.empty() || noGreen.empty() || dullSun.empty())
        << "the demo level no longer has the lights sun, lamp_blue and lamp_green";

    Share sun = Difference(all, Shot(noSun));
    EXPECT_GT(sun.pixels, sun.total / 10) << "the sun lights little of the picture";
    EXPECT_GT(sun.r, sun.g);
    EXPECT_GT(sun.g, sun.b);
    EXPECT_GT(sun.r, 1.3 * sun.b);
    // Diffuse shading with distance: the near floor gets more of the sun than the far one.
    ASSERT_GT(sun.nearCount, 0);
    ASSERT_GT(sun.farCount, 0);
    EXPECT_GT(sun.nearSum / sun.nearCount, 1.2 * sun.farSum / sun.farCount);

    Share blue = Difference(all, Shot(noBlue));
    EXPECT_GT(blue.pixels, blue.total / 50) << "the blue lamp lights almost nothing";
    EXPECT_GT(blue.b, 1.5 * blue.r);
    EXPECT_GT(blue.b, blue.g);

    Share green = Difference(all, Shot(noGreen));
    EXPECT_GT(green.pixels, green.total / 50) << "the green lamp lights almost nothing";
    EXPECT_GT(green.g, 1.5 * green.r);
    EXPECT_GT(green.g, 1.5 * green.b);

    // Specular highlights: bright, and on a small part of what the sun lights.
    Share specular = Difference(all, Shot(dullSun));
    EXPECT_GT(specular.peak, 90) << "no visible highlight";
    EXPECT_GT(specular.pixels, 20);
    EXPECT_LT(specular.pixels, sun.pixels / 3);
}

}  // namespace
