// The panel: what Draw asks of the device and the fonts, and the message window.
#include <cstring>

#include "tests/console/console_support.h"

namespace {

class DrawTest : public ConsoleTest {
protected:
    // "object.method(a,b,...)" for every call since the last ClearCalls.
    std::vector<std::string> CallTexts() {
        std::vector<std::string> out;
        for (const headless::Call& call : headless::Calls()) {
            std::string s = call.object + "." + call.method + "(";
            for (size_t i = 0; i < call.args.size(); ++i) s += (i ? "," : "") + call.args[i];
            out.push_back(s + ")");
        }
        return out;
    }
    // Message lines drawn by the last Draw: text and y (the clock is left out).
    std::vector<std::pair<std::string, LONG>> Window() {
        headless::FontInfo info;
        EXPECT_TRUE(headless::GetFontInfo(console->messageFont, info));
        std::vector<std::pair<std::string, LONG>> out;
        for (const headless::TextDraw& d : info.draws)
            if (d.rect.left == 12) out.push_back({Unstamped(d.text), d.rect.top});
        return out;
    }
    void FillTo(int count) {  // the start line is line 1; line i reads "m<i>"
        for (int i = 2; i <= count; ++i) console->AddText(("m" + std::to_string(i)).c_str());
    }
};

TEST_F(DrawTest, CreatesBuffersAndFontsAtStartUp) {
    headless::FontInfo f;
    ASSERT_TRUE(headless::GetFontInfo(console->messageFont, f));
    EXPECT_EQ(f.face, "Kartika");
    EXPECT_EQ(f.height, 16);
    ASSERT_TRUE(headless::GetFontInfo(console->titleFont, f));
    EXPECT_EQ(f.face + std::to_string(f.height) + "/" + std::to_string(f.width), "Impact60/30");
    ASSERT_TRUE(headless::GetFontInfo(console->lineFont, f));
    EXPECT_EQ(f.face + std::to_string(f.weight), "Arial700");

    std::vector<uint8_t> panel = headless::VertexBufferBytes(console->panelBuffer);
    std::vector<uint8_t> frame = headless::VertexBufferBytes(console->frameBuffer);
    ASSERT_EQ(panel.size(), 80u);
    ASSERT_EQ(frame.size(), 660u);
    auto vertex = [](const std::vector<uint8_t>& bytes, int i) {
        float v[4];
        DWORD colour;
        std::memcpy(v, &bytes[i * 20], 16);
        std::memcpy(&colour, &bytes[i * 20 + 16], 4);
        return std::to_string(int(v[0])) + "," + std::to_string(int(v[1])) + "," +
               std::to_string(v[2]) + "," + std::to_string(v[3]) + "," + std::to_string(colour);
    };
    EXPECT_EQ(vertex(panel, 3), "600,12,0.500000,1.000000," + std::to_string(0xFF222222u));
    EXPECT_EQ(vertex(frame, 29), "597,65,0.500000,1.000000," + std::to_string(0xFF0A0A0Au));
    EXPECT_EQ(vertex(frame, 30), "627,68,0.500000,1.000000," + std::to_string(0xFF3C3C3Cu));
}

TEST_F(DrawTest, DrawsNothingWhileHidden) {
    headless::ClearCalls();
    console->Draw();
    EXPECT_TRUE(headless::Calls().empty());
}

TEST_F(DrawTest, DrawsPanelTitleLinesCommandLineAndClock) {
    console->AddMessage("oops", KIND_ERROR);
    console->AddMessage("fine", KIND_COMMENT);
    console->commandLine = "cam";
    console->visible = true;
    headless::SetTime(kOpened + 1234);
    headless::ClearCalls();
    console->Draw();
    const std::string flags = "0x00000100,";
    EXPECT_EQ(CallTexts(), (std::vector<std::string>{
        "device1.SetRenderState(8,3)",
        "font2.DrawTextA(null,Velmora,-1,380,-5,0,0," + flags + "0xFF000000)",
        "device1.SetFVF(0x00000044)",
        "device1.SetStreamSource(0,vb1,0,20)",
        "device1.DrawPrimitive(5,0,2)",
        "device1.SetStreamSource(0,vb2,0,20)",
        "device1.DrawPrimitive(4,0,11)",
        "font2.DrawTextA(null,Velmora,-1,382,-7,0,0," + flags + "0xFF969696)",
        "font1.DrawTextA(null,[Currient date: 1-6-2008 Sun , time: 8-52-3 (GMT+0)],-1,12,92,0,0," +
            flags + "0xFF6B73A9)",
        "font1.DrawTextA(null,[0:0] oops,-1,12,102,0,0," + flags + "0xFFFF5000)",
        "font1.DrawTextA(null,[0:0] fine,-1,12,112,0,0," + flags + "0xFF0AA050)",
        "font3.DrawTextA(null,cam_,-1,12,125,0,0," + flags + "0xFFFFFFFF)",
        "font1.DrawTextA(null,[1:234] ,-1,560,62,0,0," + flags + "0xFFFAFAFA)",
    }));
}

TEST_F(DrawTest, ShowsTheNewestElevenLinesAndShiftsTheWindow) {
    FillTo(25);
    console->visible = true;
    size_t mark = 0;
    auto drawn = [&]() {
        console->Draw();
        std::vector<std::pair<std::string, LONG>> all = Window();
        std::vector<std::pair<std::string, LONG>> last(all.begin() + mark, all.end());
        mark = all.size();
        return last;
    };
    std::vector<std::pair<std::string, LONG>> lines = drawn();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines.front(), std::make_pair(std::string("m15"), LONG(12)));
    EXPECT_EQ(lines.back(), std::make_pair(std::string("m25"), LONG(112)));

    console->ShiftView(true);
    lines = drawn();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines.front().first + " " + lines.back().first, "m14 m24");

    console->ShiftView(false);
    console->ShiftView(false);
    EXPECT_EQ(console->viewStart, -1);
    EXPECT_EQ(console->viewEnd, 9);
    lines = drawn();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines.front(), std::make_pair(std::string("m16"), LONG(12)));
    EXPECT_EQ(lines.back(), std::make_pair(std::string("m25"), LONG(102)));
    console->ShiftView(false);
    EXPECT_EQ(console->viewStart, -1);

    for (int i = 0; i < 40; ++i) console->ShiftView(true);
    EXPECT_EQ(console->viewEnd, 26);  // one past the count
    EXPECT_EQ(console->viewStart, 16);
}

TEST_F(DrawTest, LogPastTheLineLimitKeepsShowingTheNewest) {
    const int total = static_cast<int>(Korvel_Console::kMaxLines) + 700;
    FillTo(total);
    EXPECT_EQ(console->log.iCountKnots(console->logRootId), Korvel_Console::kMaxLines);
    console->visible = true;
    console->Draw();
    std::vector<std::pair<std::string, LONG>> lines = Window();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines.front(), std::make_pair("m" + std::to_string(total - 10), LONG(12)));
    EXPECT_EQ(lines.back(), std::make_pair("m" + std::to_string(total), LONG(112)));
    console->AddText("newest");
    console->ShiftView(true);  // one line back: the one before "newest" is at the bottom
    console->Draw();
    lines = Window();
    EXPECT_EQ(lines.back(), std::make_pair("m" + std::to_string(total), LONG(112)));
    console->ShiftView(false);
    console->Draw();
    EXPECT_EQ(Window().back(), std::make_pair(std::string("newest"), LONG(112)));
}

TEST_F(DrawTest, FewLinesSitAtTheBottomAndClearedLogShowsNone) {
    FillTo(3);
    console->visible = true;
    console->Draw();
    std::vector<std::pair<std::string, LONG>> lines = Window();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].second, 92);
    EXPECT_EQ(lines[2].second, 112);
    console->ClearLog();
    console->Draw();
    EXPECT_EQ(Window().size(), 3u);  // nothing more than before
}

TEST_F(DrawTest, CommandLineShowsItsLastTwentyNineCharactersAndTheCursor) {
    std::string typed;
    for (int i = 0; i < 40; ++i) typed += static_cast<char>('a' + i % 26);
    console->commandLine = typed.c_str();
    console->visible = true;
    console->Draw();
    headless::FontInfo info;
    ASSERT_TRUE(headless::GetFontInfo(console->lineFont, info));
    ASSERT_EQ(info.draws.size(), 1u);
    EXPECT_EQ(info.draws[0].text, typed.substr(11) + "_");
}

}  // namespace

// The wheel: 3 lines a notch while shown, part notches (fine-grained wheels) kept until they
// make one, nothing while hidden, and the window's bounds as for the arrow keys.
TEST_F(DrawTest, WheelMovesThreeLinesANotchWhileShown) {
    FillTo(25);
    const int table[][2] = {{120, 0}, {0, 0}, {60, 0}, {60, 3}, {-30, 3}, {-90, 0}, {-600, -1},
                            {2400, 16}};
    for (size_t i = 0; i < sizeof(table) / sizeof(table[0]); ++i) {
        console->visible = i > 0;
        console->Wheel(table[i][0]);
        EXPECT_EQ(console->viewStart, table[i][1]) << "step " << i;
        EXPECT_EQ(console->viewEnd, table[i][1] + 10) << "step " << i;
    }
}
