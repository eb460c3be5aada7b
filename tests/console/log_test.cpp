// The log: start line, stamps, cutting into lines, clear and save.
#include "tests/console/console_support.h"

#include <algorithm>

namespace {

const char kStartLine[] = "[Currient date: 1-6-2008 Sun , time: 8-52-3 (GMT+0)]";

TEST_F(ConsoleTest, StartsWithTheDateLineAtIdTwo) {
    EXPECT_EQ(console->logRootId, 1u);
    EXPECT_EQ(console->log.iLookName(2), kStartLine);
    EXPECT_EQ(Lines(), (std::vector<Line>{{kStartLine, "_SYSTEM_"}}));
    EXPECT_EQ(console->history.iLookName(1), "_COMMANDS_");
    EXPECT_FALSE(console->visible);
}

TEST_F(ConsoleTest, StampsWithTheClockInSixHundredths) {
    struct { DWORD t; const char* line; } cases[] = {
        {0, "[0:0] a"}, {5, "[0:500] a"}, {42, "[0:420] a"}, {605, "[1:500] a"},
        {1234, "[2:340] a"}, {1799, "[2:599] a"}};
    for (auto& c : cases) {
        headless::SetTime(kOpened + c.t);
        console->AddMessage("a", KIND_TEXT);
        EXPECT_EQ(Lines().back().text, c.line);
    }
    headless::SetTime(kOpened + 1234);
    Zarvik_string loading;
    loading = "Loading";
    console->AddMessage(loading, KIND_SYSTEM);
    EXPECT_EQ(Lines().back(), (Line{"[2:340] Loading", "_SYSTEM_"}));
}

TEST_F(ConsoleTest, TagsEachKindAndNoneOutsideThem) {
    console->AddText("t");
    console->AddMessage("e", KIND_ERROR);
    console->AddMessage("c", KIND_COMMENT);
    console->AddMessage("x", 7);
    std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1].tag, "_TEXT_");
    EXPECT_EQ(lines[2].tag, "_ERROR_");
    EXPECT_EQ(lines[3].tag, "_COMMENT_");
    EXPECT_EQ(lines[4], (Line{"[0:0] x", ""}));
}

// The stamp "[0:0] " is 6 characters, so a text of n - 6 gives a stamped text of n.
std::vector<std::string> CutTexts(Korvel_Console* console, size_t stamped) {
    std::string text;
    for (size_t i = 0; i < stamped - 6; ++i) text += static_cast<char>('a' + i % 26);
    console->ClearLog();
    console->AddMessage(text.c_str(), KIND_TEXT);
    std::vector<std::string> texts;
    for (const Line& line : LinesOf(console->log)) texts.push_back(line.text);
    std::string full = "[0:0] " + text;
    EXPECT_EQ(full.size(), stamped);
    return texts;
}

TEST_F(ConsoleTest, CutsLongMessagesAfterEightyCharacters) {
    std::vector<std::string> t79 = CutTexts(console, 79);
    ASSERT_EQ(t79.size(), 1u);
    EXPECT_EQ(t79[0].size(), 79u);
    std::vector<std::string> t80 = CutTexts(console, 80);
    ASSERT_EQ(t80.size(), 1u);
    EXPECT_EQ(t80[0].size(), 80u);
    std::vector<std::string> t81 = CutTexts(console, 81);
    ASSERT_EQ(t81.size(), 2u);
    EXPECT_EQ(t81[0].size(), 81u);
    EXPECT_EQ(t81[1], "   ");
    std::vector<std::string> t200 = CutTexts(console, 200);
    ASSERT_EQ(t200.size(), 3u);
    std::string full = "[0:0] ";
    for (size_t i = 0; i < 194; ++i) full += static_cast<char>('a' + i % 26);
    EXPECT_EQ(t200[0], full.substr(0, 81));
    EXPECT_EQ(t200[1], "   " + full.substr(81, 80));
    EXPECT_EQ(t200[2], "   " + full.substr(161));
    for (const Line& line : Lines()) EXPECT_EQ(line.tag, "_TEXT_");
}

TEST_F(ConsoleTest, KeepsAMessageLongerThanAStringWhole) {
    std::string text(1500, 'x');
    console->AddMessage(text.c_str(), KIND_TEXT);
    size_t xs = 0;
    for (const Line& line : Lines()) {
        EXPECT_LE(line.text.size(), 83u);
        xs += std::count(line.text.begin(), line.text.end(), 'x');
    }
    EXPECT_EQ(xs, 1500u);
}

TEST_F(ConsoleTest, ClearLeavesOneEmptyLogKnotAndKeepsTheClock) {
    headless::SetTime(kOpened + 1234);
    console->AddText("before");
    console->ClearLog();
    EXPECT_EQ(console->logRootId, 1u);
    EXPECT_EQ(console->log.lastId, 1u);
    EXPECT_EQ(console->log.iLookName(1), "LOG");
    EXPECT_EQ(console->log.TopId(1), 0u);
    console->AddText("after");
    EXPECT_EQ(Lines(), (std::vector<Line>{{"[2:340] after", "_TEXT_"}}));
}

TEST_F(ConsoleTest, SaveWritesTheWholeLogTree) {
    console->AddMessage("saved", KIND_ERROR);
    EXPECT_TRUE(console->Save("LOG.dr"));
    DynamicRow read;
    Zarvik_string name;
    name = "LOG.dr";
    ASSERT_TRUE(read.iLoadFromFile(name));
    EXPECT_EQ(LinesOf(read), Lines());
    EXPECT_FALSE(console->Save("no_such_folder/LOG.dr"));
}

TEST_F(ConsoleTest, LongLogKeepsTheNewestLinesAndSavesThemAll) {
    const unsigned int limit = Korvel_Console::kMaxLines;
    console->AddMessage(std::string(200, 'x').c_str(), KIND_ERROR);  // three lines, dropped later
    for (unsigned int i = 1; i <= limit; ++i) {
        headless::SetTime(kOpened + i);
        console->AddMessage(("n" + std::to_string(i)).c_str(), static_cast<short>(i % 4));
    }
    std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), limit);
    EXPECT_EQ(console->log.iCountKnots(console->logRootId), limit);
    EXPECT_EQ(Unstamped(lines.front().text), "n1");  // the start line and the long one are gone
    EXPECT_EQ(Unstamped(lines.back().text), "n" + std::to_string(limit));
    EXPECT_EQ(lines.front().tag, "_ERROR_");  // kinds follow i % 4
    EXPECT_EQ(lines.back().tag, "_SYSTEM_");
    for (const Line& line : lines) ASSERT_FALSE(line.tag.empty());

    ASSERT_TRUE(console->Save("LOG.dr"));
    DynamicRow read;
    Zarvik_string name;
    name = "LOG.dr";
    ASSERT_TRUE(read.iLoadFromFile(name));
    EXPECT_EQ(LinesOf(read), lines);

    // Clearing releases the full log and starts again at id 1.
    console->ClearLog();
    EXPECT_EQ(console->log.lastId, 1u);
    console->AddText("after");
    EXPECT_EQ(Lines().size(), 1u);
}

}  // namespace
