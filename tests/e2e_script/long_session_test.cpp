// A long scripted session, headless: a level of 1200 objects and the listing of them run again
// and again from the command history, until the log has passed the 65535 lines a tree file
// can count below one knot. LOG.dr is read back with a reader of this test's own, and the
// message lines of the last frame are taken from the call record.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int kObjects = 1200;
const int kListings = 60;   // 60 x 1201 lines, with the start-up's: past 65535

struct LogLine {
    std::string text;
    std::string tag;
};

// The tree file: records of name length (u16), name, knot flag (u8), param and knot counts
// (u16 each), in pre-order. Expects one "LOG" knot whose children are line knots, each with
// one tag param. False, with the reason, on anything else.
bool ReadLog(const std::string& path, std::vector<LogLine>& lines, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 0;
    struct Record {
        std::string name;
        bool knot;
        unsigned children;
    };
    auto next = [&](Record& r) {
        if (at + 2 > b.size()) return false;
        size_t len = b[at] | (b[at + 1] << 8);
        if (at + 2 + len + 5 > b.size()) return false;
        r.name.assign(reinterpret_cast<const char*>(&b[at + 2]), len);
        const uint8_t* t = &b[at + 2 + len];
        r.knot = t[0] != 0;
        r.children = (t[1] | (t[2] << 8)) + (t[3] | (t[4] << 8));
        at += 2 + len + 5;
        return true;
    };
    Record root;
    if (!next(root) || root.name != "LOG" || !root.knot) return why = "no LOG knot first", false;
    for (unsigned i = 0; i < root.children; ++i) {
        Record line, tag;
        if (!next(line) || !line.knot || line.children != 1 || !next(tag) || tag.knot)
            return why = "line " + std::to_string(i + 1) + " is not a knot with one tag", false;
        lines.push_back({line.name, tag.name});
    }
    if (at != b.size()) return why = std::to_string(b.size() - at) + " bytes after the log", false;
    return true;
}

std::string Unstamped(const std::string& text) {
    size_t end = text.find("] ");
    return text[0] == '[' && end != std::string::npos ? text.substr(end + 2) : text;
}

class LongSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/long_session_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        fs::copy(DEMO_DIR, folder, fs::copy_options::recursive);
        fs::remove(folder + "/POLYGON01");
        std::ostringstream level;
        level << "POLYGON01 {\n _LIGHTS_ { sun }\n sun { _POSITION_ { 0 100 0 } _COLOR_ { 1 1 1 } }\n"
              << " _OBJECTS_ {\n";
        for (int i = 1; i <= kObjects; ++i)
            level << "  o" << i << " { _OBJECT_TYPE_ { _OBJECT_SIMPLE_ } _OBJECT_PATH_ { "
                  << "\"objects\\\\empty.dr\" } _POSITION_ { " << i << " 0 0 } _ROTATION_ { 0 0 0 } }\n";
        level << " }\n _CAMERAS_ { view }\n view { _POSITION_ { 0 50 -100 } _LOOK_ { 0 0 0 }"
              << " _UP_ { 0 1 0 } _MOVESPEED_ { 2 } }\n}\n";
        Build("level.txt", level.str(), "POLYGON01");
        Build("empty.txt", "empty { _NOTE_ { \"no mesh\" } }\n", "objects/empty.dr");
        std::ofstream script(folder + "/script.txt");
        script << "wait 2\npress VK_OEM_3\nwait 1\ntype obj_mngr show.list\npress VK_RETURN\nwait 1\n";
        for (int i = 1; i < kListings; ++i) script << "press VK_LEFT\npress VK_RETURN\nwait 1\n";
        script << "wait 2\nclose\n";
    }
    void TearDown() override {
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(folder, ec);
    }
    void Build(const char* text, const std::string& content, const char* out) {
        std::ofstream(folder + "/" + text) << content;
        std::string command = "'" DRTOOL_PATH "' build '" + folder + "/" + text + "' '" + folder +
                              "/" + out + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    std::string folder;
};

TEST_F(LongSessionTest, LogPastTheFileCountKeepsTheNewestLinesSavedAndShown) {
    std::string command = "cd '" + folder + "' && MESHES_PLATFORM=headless MESHES_SCRIPT=script.txt "
                          "MESHES_TRACE=trace.txt '" MESHES_PATH "' > out.txt 2>&1";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << folder;

    std::vector<LogLine> log;
    std::string why;
    ASSERT_TRUE(ReadLog(folder + "/LOG.dr", log, why)) << why;
    ASSERT_EQ(log.size(), 65535u) << "the newest 65535 lines";
    // The start-up lines are gone; the last listing is there whole, at the end.
    EXPECT_EQ(Unstamped(log.back().text), "id:" + std::to_string(kObjects) +
                                              "  visible:1  file:objects\\empty.dr");
    EXPECT_EQ(log.back().tag, "_SYSTEM_");
    size_t echo = log.size() - kObjects - 1;
    EXPECT_EQ(Unstamped(log[echo].text), "obj_mngr show.list");
    EXPECT_EQ(log[echo].tag, "_COMMENT_");
    for (int i = 1; i <= kObjects; ++i)
        ASSERT_EQ(Unstamped(log[echo + i].text), "id:" + std::to_string(i) +
                                                     "  visible:1  file:objects\\empty.dr");
    EXPECT_EQ(log.front().text.find("[Currient date:"), std::string::npos);

    // The last frame's message lines: the message font's texts at x 12, e.g.
    // "font1.DrawTextA(null, [5:232] id:1, -1, 12,102,0,0, 0x00000100, 0xFF6B73A9) -> 16".
    const char* const kDraw = "font1.DrawTextA(null, ";
    const char* const kAtLeft = ", -1, 12,";
    std::ifstream trace(folder + "/trace.txt");
    std::vector<std::string> frame, last;
    for (std::string line; std::getline(trace, line);) {
        if (line.find(".Present(") != std::string::npos) {
            if (!frame.empty()) last = frame;
            frame.clear();
        } else if (line.rfind(kDraw, 0) == 0 && line.find(kAtLeft) != std::string::npos) {
            size_t start = std::string(kDraw).size();
            frame.push_back(line.substr(start, line.rfind(kAtLeft) - start));
        }
    }
    ASSERT_EQ(last.size(), 11u);
    for (size_t i = 0; i < 11; ++i) EXPECT_EQ(last[i], log[log.size() - 11 + i].text) << i;
}

}  // namespace
