// The command line: timing gates, the key table, editing, history and the built-in commands.
#include "scene/camera_manager.h"
#include "tests/console/console_support.h"

namespace {

class KeysTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        D3DXMatrixIdentity(&world);
        cameras = new Korvel_Camera_Manager(&world, console);
        queue.fresh();
        queue.AddToId(0, true, "TIME_LINE");
        console->SetCommandQueue(&queue);
    }
    // One idle pass's keyboard handling, as the program makes it.
    void Frame(DWORD ms = 16) {
        headless::AdvanceTime(ms);
        cameras->KeyboardSteer(static_cast<float>(ms));
    }
    void Open() {  // the show key pressed and released while the console is hidden
        Down(VK_OEM_3);
        Frame();
        Up(VK_OEM_3);
        ASSERT_TRUE(console->visible);
    }
    std::vector<std::string> Queued() {
        std::vector<std::string> out;
        for (unsigned id = queue.TopId(1); id; id = queue.NextId(id))
            out.push_back(queue.iLookName(id).getChars());
        return out;
    }

    D3DXMATRIX world;
    Korvel_Camera_Manager* cameras = nullptr;
    DynamicRow queue;
};

TEST_F(KeysTest, HeldKeyWaitsForTheSlowPollButANewPressIsTakenAtOnce) {
    Down('A');  // held since before the console opened
    Open();
    Frame(1600);  // 1616 ms since opening, but the gate counts from the opening frame
    EXPECT_EQ(Typed(), "");
    headless::AdvanceTime(1607 - 1600);
    console->HandleKeys();
    EXPECT_EQ(Typed(), "");
    headless::AdvanceTime(1);
    console->HandleKeys();  // 1608 ms after the last poll
    EXPECT_EQ(Typed(), "a");
    Up('A');
    Down('B');
    Frame();
    EXPECT_EQ(Typed(), "ab");
    Frame();  // still held, no new message: nothing
    EXPECT_EQ(Typed(), "ab");
    Down('B');  // auto-repeat message
    Frame();
    EXPECT_EQ(Typed(), "abb");
}

TEST_F(KeysTest, HeldShowKeyAlternatesWithEachRepeat) {
    Down(VK_OEM_3);
    Frame();
    EXPECT_TRUE(console->visible);
    for (int i = 0; i < 25; ++i) Frame();  // held, no repeat yet: stays shown
    EXPECT_TRUE(console->visible);
    Down(VK_OEM_3);
    Frame();
    EXPECT_FALSE(console->visible);
    for (int i = 0; i < 25; ++i) Frame();
    EXPECT_FALSE(console->visible);  // Toggle is gated, and each frame restarts the timers
    Down(VK_OEM_3);
    Frame();
    EXPECT_TRUE(console->visible);
    Down(VK_OEM_3);
    Frame();
    EXPECT_FALSE(console->visible);
}

TEST_F(KeysTest, ShiftRulesAndTheKeypadKeys) {
    console->visible = true;
    Down(VK_LSHIFT);
    for (BYTE vk : {BYTE('A'), BYTE(VK_OEM_MINUS), BYTE('1'), BYTE('0'), BYTE(VK_ADD),
                    BYTE(VK_DECIMAL), BYTE(VK_OEM_PERIOD), BYTE(VK_OEM_COMMA), BYTE(VK_SPACE)})
        Press(vk);
    Up(VK_LSHIFT);
    EXPECT_EQ(Typed(), "A_!)+|>< ");

    console->commandLine = "";
    Down(VK_RSHIFT);
    for (BYTE vk : {BYTE('Z'), BYTE(VK_OEM_MINUS), BYTE('2'), BYTE(VK_ADD), BYTE(VK_DECIMAL)})
        Press(vk);
    Up(VK_RSHIFT);
    EXPECT_EQ(Typed(), "z_2=\\");

    console->commandLine = "";
    for (BYTE vk : {BYTE(VK_OEM_MINUS), BYTE('9'), BYTE(VK_OEM_PLUS), BYTE(VK_OEM_5),
                    BYTE(VK_NUMPAD1), BYTE(VK_OEM_2)})
        Press(vk);
    EXPECT_EQ(Typed(), "-9");
}

TEST_F(KeysTest, TableOrderLimitAndEditKeys) {
    console->visible = true;
    Down('B');
    Down('A');
    console->HandleKeys();
    Up('A');
    Up('B');
    EXPECT_EQ(Typed(), "a");  // A comes first in the table

    std::string full(99, 'x');
    console->commandLine = full.c_str();
    Press('Q');
    Press('W');
    Press(VK_UP);
    EXPECT_EQ(Typed(), full + "q");
    EXPECT_EQ(console->viewEnd, 10);
    Down('E');
    Down(VK_BACK);  // the full line takes no character; Backspace still works
    console->HandleKeys();
    Up('E');
    Up(VK_BACK);
    EXPECT_EQ(Typed(), full);

    console->commandLine = "";
    Press(VK_BACK);
    EXPECT_EQ(Typed(), "");
    size_t lines = Lines().size();
    Press(VK_RETURN);
    EXPECT_EQ(Lines().size(), lines);
    EXPECT_EQ(console->history.lastId, 1u);
    EXPECT_TRUE(Queued().empty());

    Down('K');  // a character and Enter in one poll
    Down(VK_RETURN);
    console->HandleKeys();
    EXPECT_EQ(Queued(), std::vector<std::string>{"k"});
}

TEST_F(KeysTest, HistoryBeforeAnyLineShowsTheKnotName) {
    console->visible = true;
    Press(VK_LEFT);
    EXPECT_EQ(Typed(), "_COMMANDS_");
    EXPECT_EQ(console->historyCursor, 1u);
    console->historyCursor = 0;
    Press(VK_RIGHT);
    EXPECT_EQ(Typed(), "_COMMANDS_");
    EXPECT_EQ(console->historyCursor, 1u);
}

TEST_F(KeysTest, HistoryWalksBackAndForward) {
    console->visible = true;
    Enter("one");
    Enter("two  words");
    Enter("three");
    EXPECT_EQ(console->history.iLookName(3), "two  words");  // as typed
    EXPECT_EQ(console->historyCursor, 4u);
    const std::pair<BYTE, std::pair<const char*, unsigned>> steps[] = {
        {VK_LEFT, {"three", 3}}, {VK_LEFT, {"two  words", 2}}, {VK_LEFT, {"one", 2}},
        {VK_RIGHT, {"one", 3}},  {VK_RIGHT, {"three", 4}},     {VK_RIGHT, {"three", 4}}};
    for (const auto& step : steps) {
        Press(step.first);
        EXPECT_EQ(Typed(), step.second.first);
        EXPECT_EQ(console->historyCursor, step.second.second);
    }
    console->historyCursor = 9;  // past the newest: Left goes to the oldest without showing
    console->commandLine = "kept";
    Press(VK_LEFT);
    EXPECT_EQ(Typed(), "kept");
    EXPECT_EQ(console->historyCursor, 2u);
}

TEST_F(KeysTest, EnteredLinesAreQueuedOrRunAsBuiltIns) {
    console->visible = true;
    console->ShiftView(true);
    Enter("camera.next");
    Enter("cam_mngr   camera.set  2");
    Enter(" hide");
    EXPECT_EQ(console->viewStart, 0);
    EXPECT_EQ(Queued(), (std::vector<std::string>{"camera.next", "cam_mngr camera.set 2", " hide"}));
    EXPECT_EQ(Lines().back().tag, "_COMMENT_");
    EXPECT_TRUE(console->visible);

    Enter("hide");
    EXPECT_FALSE(console->visible);
    EXPECT_EQ(Lines().back(), (Line{"[0:0] hide", "_TEXT_"}));
    EXPECT_EQ(console->history.iLookName(console->historyCursor), "hide");
    EXPECT_EQ(Queued().size(), 3u);
}

TEST_F(KeysTest, ShowKeyHidesAndKeepsTheLine) {
    console->visible = true;
    console->commandLine = "half";
    Press(VK_OEM_3);
    EXPECT_FALSE(console->visible);
    EXPECT_EQ(Typed(), "half");
}

TEST_F(KeysTest, SaveWritesTheLogBeforeReportingIt) {
    Enter("save test.dr");
    DynamicRow saved;
    Zarvik_string name;
    name = "test.dr";
    ASSERT_TRUE(saved.iLoadFromFile(name));
    std::vector<Line> inFile = LinesOf(saved);
    ASSERT_EQ(inFile.size(), 2u);
    EXPECT_EQ(inFile.back(), (Line{"[0:0] save test.dr", "_TEXT_"}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"save test.dr", "Save completed"}));

    Enter("save");
    DynamicRow savedAlone;
    name = "save";
    EXPECT_TRUE(savedAlone.iLoadFromFile(name));
    EXPECT_EQ(LinesOf(savedAlone).back().text, "[0:0] save");
}

TEST_F(KeysTest, FailedSaveIsReportedAsAnError) {
    Enter("save missing_folder/test.dr");
    std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], (Line{"[0:0] [!] Save failed, cannot write: missing_folder/test.dr",
                              "_ERROR_"}));
}

TEST_F(KeysTest, ClrEmptiesTheLog) {
    headless::AdvanceTime(700);
    Enter("clr");
    EXPECT_EQ(console->log.lastId, 1u);
    EXPECT_TRUE(Lines().empty());
    console->AddText("x");
    EXPECT_EQ(Lines().back().text, "[1:100] x");
}

}  // namespace
