// The built program on a copy of the demo level in a real window under a private X server,
// driven by real key and mouse events from xdotool: walking, turning, switching cameras,
// typing console commands key by key, and closing through the window manager. Afterwards the
// saved logs are read with drtool and the pictures are compared region by region.
//
// Timing: every key that the program has to see is held until a frame has been shown after
// it was pressed. F12 (which the program never sees) asks for a screenshot after the next
// frame; the file appearing proves that a frame, and the input poll that follows it in the
// same pass, went by. Nothing waits a fixed time: a key is held about one frame, well below
// the console's 1.6 s between polls of a held key; with auto-repeat off a held key is one
// key-down. Tab may switch more than once if frames are slower than its 360 ms gate, so
// the test asks only that the camera changed, and then selects camera 2 by command.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/image.h"
#include "tests/support/level_run.h"
#include "tests/support/x_server.h"

namespace {

using testsupport::Tool;

struct Shot {
    core::Image img;
    const uint8_t* At(int x, int y) const { return &img.rgba[(size_t(y) * img.width + x) * 4]; }
};

// The info text is opaque white; the scene behind it is not.
bool Bright(const uint8_t* p) { return p[0] >= 250 && p[1] >= 250 && p[2] >= 250; }

// Rows of the info text lines drawn at y = 5 (camera number), y = 15 (object count) and
// y = 25 (position, look-at).
const int kCameraRows[2] = {4, 15};
const int kCountRows[2] = {15, 25};
const int kPlaceRows[2] = {25, 39};
const int kTextWidth = 420;

// The first column where the text (bright pixels) of two pictures differs in these rows; -1
// when it does not differ.
int FirstTextChange(const Shot& a, const Shot& b, const int rows[2]) {
    for (int x = 0; x < kTextWidth; ++x)
        for (int y = rows[0]; y < rows[1]; ++y)
            if (Bright(a.At(x, y)) != Bright(b.At(x, y))) return x;
    return -1;
}

bool Near(const uint8_t* p, int r, int g, int b, int tol) {
    return std::abs(p[0] - r) <= tol && std::abs(p[1] - g) <= tol && std::abs(p[2] - b) <= tol;
}

// The console panel, away from its text: one flat dark colour that is not the clear colour
// of ini.txt (24, 28, 40). Its exact shade depends on the texture the frame left bound.
bool PanelShown(const Shot& s) {
    const uint8_t* ref = s.At(390, 133);
    if (ref[0] > 80 || ref[1] > 80 || ref[2] > 80 || Near(ref, 24, 28, 40, 4)) return false;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (!Near(s.At(390 + dx, 133 + dy), ref[0], ref[1], ref[2], 2)) return false;
    return true;
}

// Pixels below the info text that differ between two pictures of the same size.
int SceneChange(const Shot& a, const Shot& b) {
    int n = 0;
    for (int y = 60; y < a.img.height; ++y)
        for (int x = 0; x < a.img.width; ++x)
            if (!Near(a.At(x, y), b.At(x, y)[0], b.At(x, y)[1], b.At(x, y)[2], 8)) ++n;
    return n;
}

class RealInput : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"xdotool", "openbox", "wmctrl"})
            if (!testsupport::Have(tool))
                GTEST_SKIP() << tool << " is not installed (see scripts/deps.sh): no real input";
        testsupport::XOptions x;
        x.windowManager = true;
        if (!testsupport::StartX(x)) GTEST_SKIP() << "no X server: " << testsupport::XProblem();
        // Without auto-repeat a held key sends one key-down, as a careful typist would.
        if (testsupport::Have("xset")) Tool({"xset", "r", "off"});
        folder_ = testsupport::CopyLevel(DEMO_DIR, "realinput");
        ASSERT_FALSE(folder_.empty());
    }
    void TearDown() override {
        if (child_ > 0) testsupport::Wait(child_, 0);   // still running: killed by its pid
        if (!HasFailure() && !folder_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(folder_, ec);
        }
    }

    // Starts the program; false (with the test skipped) when no GL context can be had.
    bool Launch() {
        child_ = testsupport::Start(MESHES_PATH, folder_,
                            {{"MESHES_PLATFORM", nullptr},   // the window is the default
                             {"MESHES_NO_DIALOGS", "1"},
                             {"MESHES_SCREENSHOT", "first.png@3"}});
        std::string out;
        // The window titled "|Zarvik|0.0.4|June 1|" once it is shown.
        if (Tool({"xdotool", "search", "--sync", "--onlyvisible", "--name", "Zarvik"}, &out,
                 180) != 0 ||
            out.empty()) {
            testsupport::Outcome o;
            if (testsupport::Ended(child_, &o)) {
                child_ = -1;
                if (o.exited && o.code == 0 && !testsupport::Exists(folder_ + "/LOG.dr")) {
                    skip_ = "no GL context (the device was not created): " +
                            testsupport::ReadText(folder_ + "/out.txt");
                    return false;
                }
                ADD_FAILURE() << "the program ended before showing its window: " << testsupport::Describe(o)
                              << "\n" << testsupport::ReadText(folder_ + "/out.txt");
                return false;
            }
            ADD_FAILURE() << "no window appeared";
            return false;
        }
        window_ = out.substr(0, out.find('\n'));
        if (!WaitFile("first.png")) return false;
        Tool({"xdotool", "windowactivate", "--sync", window_});
        Tool({"xdotool", "windowfocus", "--sync", window_});
        return true;
    }

    bool WaitFile(const std::string& name) {
        std::string path = folder_ + "/" + name;
        for (int i = 0; i < 1800; ++i) {   // up to three minutes on a crowded machine
            if (testsupport::Exists(path)) return true;
            testsupport::Outcome o;
            if (testsupport::Ended(child_, &o)) {
                child_ = -1;
                ADD_FAILURE() << "the program ended: " << testsupport::Describe(o) << "\n"
                              << testsupport::ReadText(folder_ + "/out.txt");
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << name << " was never written";
        return false;
    }

    // F12, then waits until the frame after it is on disk as screenshot-N.png (N the first
    // free number). Unless kept, the file goes again at once. Its name.
    std::string Frame(bool keep = false) {
        int n = 1;
        while (testsupport::Exists(folder_ + "/screenshot-" + std::to_string(n) + ".png")) ++n;
        std::string name = "screenshot-" + std::to_string(n) + ".png";
        Tool({"xdotool", "key", "F12"});
        if (!WaitFile(name)) return "";
        std::error_code ec;
        if (!keep) std::filesystem::remove(folder_ + "/" + name, ec);
        return name;
    }

    // A frame's picture, read once the program has finished writing it.
    bool Picture(Shot& s) {
        std::string name = Frame(true);
        if (name.empty()) return false;
        std::string err, kept = folder_ + "/picture-" + std::to_string(++pictures_) + ".png";
        for (int i = 0; i < 200; ++i) {
            std::string bytes = testsupport::ReadText(folder_ + "/" + name);
            if (core::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  s.img, err) &&
                s.img.width > kTextWidth && s.img.height > 150) {
                std::error_code ec;
                std::filesystem::rename(folder_ + "/" + name, kept, ec);   // kept for a look
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << name << " cannot be read: " << err;
        return false;
    }

    void Xdo(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        ASSERT_EQ(Tool(argv), 0) << args[0];
    }

    // Holds a key until a frame has gone by, so the program's next poll sees it down once.
    bool Press(const std::string& key, bool shift = false) {
        if (shift) Xdo({"keydown", "Shift_L"});
        Xdo({"keydown", key});
        bool ok = !Frame().empty();
        Xdo({"keyup", key});
        if (shift) Xdo({"keyup", "Shift_L"});
        return ok;
    }

    // Types a line into the console, one key per poll, then Enter.
    bool Type(const std::string& line) {
        for (char c : line) {
            bool ok = true;
            if (c >= 'a' && c <= 'z') ok = Press(std::string(1, c));
            else if (c >= 'A' && c <= 'Z') ok = Press(std::string(1, char(c - 'A' + 'a')), true);
            else if (c == '\\') ok = Press("KP_Decimal");   // the keypad's decimal key
            else if (c >= '0' && c <= '9') ok = Press(std::string(1, c));
            else if (c == '_') ok = Press("minus", true);
            else if (c == '.') ok = Press("period");
            else if (c == ' ') ok = Press("space");
            else ADD_FAILURE() << "no key for " << c;
            if (!ok) return false;
        }
        return Press("Return");
    }

    std::string folder_, window_, skip_;
    pid_t child_ = -1;
    int pictures_ = 0;
};

TEST_F(RealInput, KeysMouseConsoleAndCloseOnTheDemoLevel) {
    if (!Launch()) {
        if (!skip_.empty()) GTEST_SKIP() << skip_;
        return;
    }
    Xdo({"mousemove", "--window", window_, "390", "280"});

    // Two frames without input: the info text stays as it is.
    Shot before, still;
    ASSERT_TRUE(Picture(before));
    ASSERT_TRUE(Picture(still));
    EXPECT_EQ(FirstTextChange(before, still, kCameraRows), -1);
    EXPECT_EQ(FirstTextChange(before, still, kPlaceRows), -1);

    // Hold W: the camera walks, so the position in the info text changes.
    Xdo({"keydown", "w"});
    for (int i = 0; i < 4; ++i) ASSERT_FALSE(Frame().empty());
    Xdo({"keyup", "w"});
    Shot walked;
    ASSERT_TRUE(Picture(walked));
    int walk = FirstTextChange(before, walked, kPlaceRows);
    EXPECT_GE(walk, 0) << "holding W did not move the camera";
    EXPECT_EQ(FirstTextChange(before, walked, kCameraRows), -1);

    // Drag 90 pixels to the right with the left button: the view turns by 30 degrees. The
    // position stays, so the text changes further right, in the look-at point.
    Xdo({"mousemove", "--window", window_, "390", "280"});
    ASSERT_FALSE(Frame().empty());
    Xdo({"mousedown", "1"});
    ASSERT_FALSE(Frame().empty());
    for (const char* x : {"420", "450", "480"}) {   // in steps, a frame after each
        Xdo({"mousemove", "--window", window_, x, "280"});
        ASSERT_FALSE(Frame().empty());
    }
    ASSERT_FALSE(Frame().empty());
    Xdo({"mouseup", "1"});
    Shot turned;
    ASSERT_TRUE(Picture(turned));
    int turn = FirstTextChange(walked, turned, kPlaceRows);
    EXPECT_GT(turn, walk) << "the drag did not turn the view (or it moved the camera)";
    EXPECT_GT(SceneChange(walked, turned), 5000) << "the scene did not turn";

    // Tab: another camera, so its number in the first line changes.
    ASSERT_TRUE(Press("Tab"));
    Shot switched;
    ASSERT_TRUE(Picture(switched));
    EXPECT_GE(FirstTextChange(turned, switched, kCameraRows), 0) << "Tab did not switch cameras";
    EXPECT_GT(SceneChange(turned, switched), 5000) << "Tab did not change the view";

    // The key left of 1 shows the console.
    EXPECT_FALSE(PanelShown(switched));
    ASSERT_TRUE(Press("grave"));
    Shot console;
    ASSERT_TRUE(Picture(console));
    EXPECT_TRUE(PanelShown(console)) << "the console did not open";

    ASSERT_TRUE(Type("cam_mngr camera.set 2"));
    ASSERT_TRUE(Type("hide"));
    Shot withObject;
    ASSERT_TRUE(Picture(withObject));
    EXPECT_FALSE(PanelShown(withObject)) << "hide did not hide the console";

    ASSERT_TRUE(Press("grave"));
    ASSERT_TRUE(Type("obj_mngr object.visible 1 0"));
    ASSERT_TRUE(Type("console hello"));
    ASSERT_TRUE(Type("save e2e.dr"));
    ASSERT_TRUE(Type("hide"));
    Shot without;
    ASSERT_TRUE(Picture(without));

    // Same camera, same place: the info text is the same; object 1 (the floor) is gone, and
    // where it was the clear colour of ini.txt (24, 28, 40) shows.
    EXPECT_EQ(FirstTextChange(withObject, without, kCameraRows), -1);
    EXPECT_EQ(FirstTextChange(withObject, without, kPlaceRows), -1);
    int changed = 0, cleared = 0;
    for (int y = 60; y < without.img.height; ++y)
        for (int x = 0; x < without.img.width; ++x) {
            const uint8_t* a = withObject.At(x, y);
            const uint8_t* b = without.At(x, y);
            if (Near(a, b[0], b[1], b[2], 8)) continue;
            ++changed;
            if (Near(b, 24, 28, 40, 4)) ++cleared;
        }
    EXPECT_GT(changed, 10000) << "hiding object 1 changed (almost) nothing";
    EXPECT_GT(cleared, changed * 9 / 10) << "what changed is not the background showing";

    // Upper-case letters with the left Shift, the backslash from the keypad: one more object,
    // so the object count in the info text changes.
    ASSERT_TRUE(Press("grave"));
    ASSERT_TRUE(Type("obj_mngr load.OBJECT_SIMPLE objects\\crate.dr"));
    ASSERT_TRUE(Type("hide"));
    Shot loaded;
    ASSERT_TRUE(Picture(loaded));
    EXPECT_GE(FirstTextChange(without, loaded, kCountRows), 0) << "no object was added";
    EXPECT_EQ(FirstTextChange(without, loaded, kCameraRows), -1);

    // The window manager's close request (WM_DELETE_WINDOW) ends the program normally.
    ASSERT_EQ(Tool({"wmctrl", "-i", "-c", window_}), 0);
    testsupport::Outcome end = testsupport::Wait(child_, 120);
    child_ = -1;
    EXPECT_TRUE(end.exited && end.code == 0) << testsupport::Describe(end) << "\n"
                                             << testsupport::ReadText(folder_ + "/out.txt");

    // The logs. The start-up part equals a headless run's on the same level (one engine, two
    // backends); what follows is exactly what the typed commands report.
    std::string error;
    std::vector<std::string> log = testsupport::ReadLog(DRTOOL_PATH, folder_ + "/LOG.dr", &error);
    ASSERT_FALSE(log.empty()) << error;
    std::vector<std::string> saved = testsupport::ReadLog(DRTOOL_PATH, folder_ + "/e2e.dr", &error);
    ASSERT_FALSE(saved.empty()) << error;
    EXPECT_EQ(testsupport::BadStamp(DRTOOL_PATH, folder_ + "/LOG.dr"), "");

    std::string reference = testsupport::CopyLevel(DEMO_DIR, "realinput_ref");
    pid_t headless = testsupport::Start(MESHES_PATH, reference,
                                {{"MESHES_PLATFORM", "headless"}, {"MESHES_FRAMES", "2"}});
    testsupport::Outcome ref = testsupport::Wait(headless, 120);
    ASSERT_TRUE(ref.exited && ref.code == 0) << testsupport::Describe(ref);
    std::vector<std::string> want = testsupport::ReadLog(DRTOOL_PATH, reference + "/LOG.dr", &error);
    ASSERT_GT(want.size(), 10u) << error;
    std::error_code ec;
    std::filesystem::remove_all(reference, ec);
    EXPECT_EQ(want[0].rfind("_SYSTEM_ [Currient date: ", 0), 0u) << want[0];
    EXPECT_EQ(log[0].rfind("_SYSTEM_ [Currient date: ", 0), 0u) << log[0];
    log[0] = saved[0] = want[0];   // the date line holds the time of each run
    EXPECT_EQ(testsupport::InOrder(want, {"_SYSTEM_ [>>>] Initializing rendering manager : ",
                                  "_COMMENT_ Rendering manager inicialized with 0 errors.",
                                  "_SYSTEM_ [>>>] Loading level : POLYGON01",
                                  "_COMMENT_ [i] Effect Manager setup completed. "}),
              "");

    for (const char* line : {"_COMMENT_ cam_mngr camera.set 2",
                             "_SYSTEM_ Currient camera was changed to: camera \xB9 2",
                             "_TEXT_ hide", "_COMMENT_ obj_mngr object.visible 1 0",
                             "_SYSTEM_ [Object] id: 1  visible(changed): 0",
                             "_COMMENT_ console hello", "_TEXT_ hello", "_TEXT_ save e2e.dr"})
        want.push_back(line);
    EXPECT_EQ(saved, want);
    for (const char* line : {"_TEXT_ Save completed", "_TEXT_ hide",
                             "_COMMENT_ obj_mngr load.OBJECT_SIMPLE objects\\crate.dr",
                             "_TEXT_ [O.F.] objects\\crate.dr", "_TEXT_ hide"})
        want.push_back(line);
    EXPECT_EQ(log, want);
}

// Ctrl+V pastes what another program holds on the desktop's clipboard (xclip serves it from
// its own process): the line up to its break, without what the keys cannot type.
TEST_F(RealInput, CtrlVPastesTheDesktopClipboard) {
    if (!testsupport::Have("xclip")) GTEST_SKIP() << "xclip is not installed (see scripts/deps.sh)";
    if (!Launch()) {
        if (!skip_.empty()) GTEST_SKIP() << skip_;
        return;
    }
    ASSERT_EQ(Tool({"sh", "-c",
                    "printf 'console pasted \\303\\251 text\\nconsole not this' | "
                    "xclip -selection clipboard >/dev/null 2>&1"}),
              0);
    ASSERT_TRUE(Press("grave"));
    Xdo({"keydown", "Control_L"});
    bool pasted = Press("v");
    Xdo({"keyup", "Control_L"});
    ASSERT_TRUE(pasted);
    ASSERT_TRUE(Press("Return"));
    ASSERT_FALSE(Frame().empty());   // the queued line runs on the next frame

    ASSERT_EQ(Tool({"wmctrl", "-i", "-c", window_}), 0);
    testsupport::Outcome end = testsupport::Wait(child_, 120);
    child_ = -1;
    ASSERT_TRUE(end.exited && end.code == 0) << testsupport::Describe(end);
    std::string error;
    std::vector<std::string> log = testsupport::ReadLog(DRTOOL_PATH, folder_ + "/LOG.dr", &error);
    ASSERT_FALSE(log.empty()) << error;
    // "é" has no place in code page 1251 and no key: dropped, and the two spaces run as one.
    EXPECT_EQ(testsupport::InOrder(log, {"_COMMENT_ console pasted text", "_TEXT_ pasted text"}), "");
    for (const std::string& line : log) EXPECT_EQ(line.find("not this"), std::string::npos) << line;
}

}  // namespace
