// Sessions of the console's completion, paste and paging keys, run headless on a copy of the
// demo level. Each checks the log, and from the recorded calls the panel as drawn frame by
// frame: the message window, the command line and the paging marker.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/level_run.h"

namespace fs = std::filesystem;

namespace {

// The console's panel in one frame.
struct Panel {
    std::vector<std::string> lines;   // the message window, oldest first, stamps taken off
    std::string commandLine;          // as drawn, without the cursor
    std::string marker;               // the paging marker, "" when none is drawn
    bool operator==(const Panel& o) const {
        return lines == o.lines && commandLine == o.commandLine && marker == o.marker;
    }
};

std::string Unstamped(const std::string& text) {
    size_t colon = text.find(':'), close = text.find("] ");
    if (text.empty() || text[0] != '[' || colon == std::string::npos || close == std::string::npos ||
        colon > close || text.find_first_not_of("0123456789", 1) != colon ||
        text.find_first_not_of("0123456789", colon + 1) != close)
        return text;
    return text.substr(close + 2);
}

class ConsoleKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = testsupport::CopyLevel(DEMO_DIR, "console_keys");
        ASSERT_FALSE(folder_.empty());
    }
    void TearDown() override {
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(folder_, ec);
    }

    // Runs the script; true when the program ended well.
    bool Run(const std::string& script) {
        std::ofstream(folder_ + "/script.txt") << script;
        std::string command = "cd '" + folder_ + "' && MESHES_PLATFORM=headless " +
                              "MESHES_SCRIPT=script.txt MESHES_TRACE=trace.txt '" MESHES_PATH
                              "' > out.txt 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::vector<std::string> Log() {
        std::string error;
        std::vector<std::string> lines =
            testsupport::ReadLog(DRTOOL_PATH, folder_ + "/LOG.dr", &error);
        EXPECT_TRUE(error.empty()) << error;
        return lines;
    }

    std::vector<std::string> Trace() {
        std::ifstream in(folder_ + "/trace.txt", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // The panel of each frame that drew it, a frame like the one before left out.
    std::vector<Panel> Panels() {
        std::vector<std::string> fonts;   // the console's: messages, title, command line
        std::vector<Panel> panels;
        Panel now;
        bool drawing = false;
        for (const std::string& t : Trace()) {
            if (t.find("D3DXCreateFontA(") != std::string::npos && fonts.size() < 3)
                fonts.push_back(t.substr(t.rfind("-> ") + 3));
            if (fonts.size() < 3 || t.find(".DrawTextA(null, ") == std::string::npos) continue;
            const std::string font = t.substr(0, t.find('.'));
            const size_t from = t.find("(null, ") + 7, end = t.rfind(", -1, ");
            const std::string text = t.substr(from, end - from);
            const std::string at = t.substr(end + 6, t.find(",0,0,", end) - end - 6);
            if (font == fonts[1] && at == "380,-5") {
                if (drawing && (panels.empty() || !(panels.back() == now))) panels.push_back(now);
                now = Panel();
                drawing = true;
            } else if (font == fonts[0] && at.rfind("12,", 0) == 0) {
                now.lines.push_back(Unstamped(text));
            } else if (font == fonts[0] && at == "300,125") {
                now.marker = text;
            } else if (font == fonts[2] && !text.empty()) {
                now.commandLine = text.substr(0, text.size() - 1);
            }
        }
        if (drawing && (panels.empty() || !(panels.back() == now))) panels.push_back(now);
        return panels;
    }

    std::string folder_;
};

// The log lines that a window of the newest-offsets (start, end) shows, as Draw picks them.
std::vector<std::string> Window(const std::vector<std::string>& log, int start, int end) {
    std::vector<std::string> shown;
    const int count = static_cast<int>(log.size());
    for (int i = std::max(1, count - end); i <= std::min(count, count - start); ++i)
        shown.push_back(log[i - 1].substr(log[i - 1].find(' ') + 1));
    return shown;
}

TEST_F(ConsoleKeysTest, TabCompletesCommandsActionsCamerasAndObjectsAndListsOnTheSecondTab) {
    ASSERT_TRUE(Run(R"(wait 30
# hidden: Tab still switches to camera 2
press VK_TAB
wait 5
press VK_OEM_3
wait 2
press VK_TAB
press VK_TAB
type c
press VK_TAB
press VK_TAB
type am_
press VK_TAB
type camera.se
press VK_TAB
type si
press VK_TAB
wait 2
press VK_RETURN
wait 2
type obj
press VK_TAB
press VK_TAB
type _
press VK_TAB
type o
press VK_TAB
type cr
press VK_TAB
type 0
press VK_RETURN
wait 2
type zz
press VK_TAB
wait 2
close
)")) << testsupport::ReadText(folder_ + "/out.txt");

    std::vector<std::string> log = Log();
    EXPECT_EQ(testsupport::InOrder(log, {
        "_COMMENT_ console cam_mngr camera_manager obj_mngr object_manager hide save clr \x85",
        "_COMMENT_ console cam_mngr camera_manager clr",
        "_COMMENT_ cam_mngr camera.set 3 ",   // as completed, with its space
        "_SYSTEM_ Currient camera was changed to: camera \xB9 3",
        "_COMMENT_ obj_mngr object_manager",
        "_COMMENT_ obj_mngr object.visible 7 0",
        "_SYSTEM_ [Object] id: 7  visible(changed): 0"}), "");

    bool second = false;   // the info text names camera 2 before the console opened
    for (const std::string& t : Trace())
        if (t.find(" : 2, -1, 5,5,") != std::string::npos) second = true;
    EXPECT_TRUE(second) << "Tab with the console hidden did not switch cameras";

    std::vector<Panel> panels = Panels();
    ASSERT_FALSE(panels.empty());
    std::vector<std::string> commandLines;
    for (const Panel& p : panels)
        if (commandLines.empty() || commandLines.back() != p.commandLine)
            commandLines.push_back(p.commandLine);
    std::vector<std::string> want = {"", "c", "ca", "cam", "cam_", "cam_mngr ",
                                     "cam_mngr c", "cam_mngr camera.se", "cam_mngr camera.set ",
                                     "cam_mngr camera.set s", "cam_mngr camera.set si",
                                     "cam_mngr camera.set 3 "};
    ASSERT_GE(commandLines.size(), want.size());
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(commandLines[i], want[i]) << i;
    EXPECT_EQ(testsupport::InOrder(commandLines, want), "");
    EXPECT_EQ(panels.back().commandLine, "zz") << "a word nothing fits completes to nothing";
    EXPECT_EQ(panels.back().lines, Window(log, 0, 10));
}

TEST_F(ConsoleKeysTest, PasteKeepsTypeableTextUpToTheLineBreakAndTheLineLimit) {
    ASSERT_TRUE(Run(R"(clipboard obj_mngr show.list\nconsole never
wait 3
press VK_OEM_3
wait 2
key down VK_LCONTROL
press V
key up VK_LCONTROL
press VK_RETURN
wait 2
clipboard console Caf\xE9 [ok] {1}\ttab\r\n
key down VK_RSHIFT
press VK_INSERT
key up VK_RSHIFT
press VK_RETURN
wait 2
type console 
clipboard 0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789
key down VK_RCONTROL
press V
key up VK_RCONTROL
press X
press VK_RETURN
wait 2
)")) << testsupport::ReadText(folder_ + "/out.txt");

    std::vector<std::string> log = Log();
    std::string digits;
    for (int i = 0; i < 10; ++i) digits += "0123456789";
    EXPECT_EQ(testsupport::InOrder(log, {"_COMMENT_ obj_mngr show.list",
                                         "_SYSTEM_ id:7  visible:1  file:objects\\crate.dr",
                                         "_COMMENT_ console Caf ok 1tab", "_TEXT_ Caf ok 1tab"}),
              "");
    for (const std::string& line : log) EXPECT_EQ(line.find("never"), std::string::npos) << line;

    // The last line: "console " and the first 92 digits, 100 characters; X added nothing.
    // Its echo is two log lines: 81 characters with the stamp, then three spaces and the rest.
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2].rfind("_TEXT_ ", 0), 0u);
    EXPECT_EQ(log[log.size() - 2].substr(7) + log.back().substr(10), digits.substr(0, 92));
    std::vector<Panel> panels = Panels();
    ASSERT_FALSE(panels.empty());
    bool shown = false;
    for (const Panel& p : panels) shown = shown || p.commandLine == digits.substr(92 - 29, 29);
    EXPECT_TRUE(shown) << "the full line was never drawn";
    EXPECT_EQ(panels.back().lines, Window(log, 0, 10));
}

TEST_F(ConsoleKeysTest, PageKeysAndTheWheelMoveTheWindowAndMarkIt) {
    // A log of about a thousand lines: the object listing, eight lines, 125 times over.
    std::string script = "wait 3\npress VK_OEM_3\nwait 2\ntype obj_mngr show.list\n";
    for (int i = 0; i < 125; ++i) script += "press VK_RETURN\nwait 1\npress VK_LEFT\n";
    for (int i = 0; i < 18; ++i) script += "press VK_BACK\n";   // the line is blank again
    script += R"(wait 2
press VK_PRIOR
press VK_PRIOR
press VK_NEXT
wait 1
wheel 1
wait 1
wheel -2
wait 1
press VK_UP
press VK_NEXT
press VK_UP
press VK_UP
)";
    const int pageUps = 110;
    for (int i = 0; i < pageUps; ++i) script += "press VK_PRIOR\n";
    ASSERT_TRUE(Run(script + "wait 2\nclose\n")) << testsupport::ReadText(folder_ + "/out.txt");

    std::vector<std::string> log = Log();
    const int count = static_cast<int>(log.size());
    ASSERT_GT(count, 1000);
    // Window offsets from the newest line after each step, and the marker shown.
    struct Step {
        int start;
        const char* marker;
    };
    const Step steps[] = {{0, ""},   {10, "^ ^ ^ +10"}, {20, "^ ^ ^ +20"}, {10, "^ ^ ^ +10"},
                          {13, "^ ^ ^ +13"}, {7, "^ ^ ^ +7"}, {8, "^ ^ ^ +8"}, {-1, ""},
                          {0, ""},   {1, ""}};  // Up alone moves as ever, without a marker
    std::vector<Panel> want;
    for (const Step& s : steps) want.push_back({Window(log, s.start, s.start + 10), "", s.marker});
    // Page Up until the window stops with the oldest line at its top (one empty slot above).
    const int top = count + 1 - 10;
    for (int k = 1; k <= pageUps; ++k) {
        int start = std::min(1 + 10 * k, top);
        Panel p{Window(log, start, start + 10), "", "^ ^ ^ +" + std::to_string(start)};
        if (!(p == want.back())) want.push_back(p);
    }
    std::vector<Panel> panels = Panels();
    size_t typed = panels.size();   // the paging starts once the line is blank again
    while (typed > 0 && panels[typed - 1].commandLine.empty()) --typed;
    panels.erase(panels.begin(), panels.begin() + typed);
    ASSERT_EQ(panels.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(panels[i].lines, want[i].lines) << "step " << i;
        EXPECT_EQ(panels[i].marker, want[i].marker) << "step " << i;
    }
}

}  // namespace
