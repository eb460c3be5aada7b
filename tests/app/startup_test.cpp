// Start-up and shutdown of the program on the headless backend.
#include <sys/stat.h>

#include <cstdlib>

#include "app/program.h"
#include "console/console.h"
#include "console/time_line.h"
#include "render/render_manager.h"
#include "tests/app/engine_support.h"

using StartupTest = EngineTest;

// An expected entry ending in '*' matches by prefix.
static void ExpectLines(const std::vector<std::string>& got, const std::vector<std::string>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const std::string& w = want[i];
        bool prefix = !w.empty() && w.back() == '*';
        EXPECT_EQ(prefix ? got[i].substr(0, w.size() - 1) : got[i], prefix ? w.substr(0, w.size() - 1) : w);
    }
}

TEST_F(StartupTest, LogOfAStartUpLineByLine) {
    WriteDefaults();
    LevelTree level;
    level.Camera("front");
    level.Camera("top");
    level.Save();
    ASSERT_TRUE(Start());
    std::vector<std::string> lines;
    for (const LogLine& line : Log()) lines.push_back(line.tag + " " + line.text);
    ExpectLines(lines, {
        "_SYSTEM_ [Currient date: *",
        "_SYSTEM_ [0:0] [>>>] Initializing rendering manager : ",
        "_COMMENT_ [0:0] Rendering manager inicialized with 0 errors.",
        "_SYSTEM_ [0:0] [>>>] Loading level : POLYGON01",
        "_SYSTEM_ [0:0] [>>>] Loading Lights : ",
        "_COMMENT_ [0:0] Light Manager setup completed with *",
        "_COMMENT_ [0:0] [i] Light Manager setup completed. ",
        "_SYSTEM_ [0:0] [>>>] Loading Objects : ",
        "_COMMENT_ [0:0] Object Manager setup completed with *",
        "_SYSTEM_ [0:0] [>>>] Loading cameras : ",
        "_TEXT_ [0:0] [+] Camera:  front",
        "_TEXT_ [0:0] [+] Camera:  top",
        "_COMMENT_ [0:0] [i] Camera Manager setup completed. ",
        "_SYSTEM_ [0:0] [>>>] Loading effects : ",
        "_COMMENT_ [0:0] Effect Manager setup completed with *",
        "_COMMENT_ [0:0] [i] Effect Manager setup completed. ",
    });
    EXPECT_EQ(engine->deviceAddress, &engine->device);
    EXPECT_EQ(engine->renderManager->backColour, engine->backColour);
    EXPECT_EQ(engine->console->commandQueue, &engine->timeLine->queue);
    EXPECT_NE(*engine->whiteTexture, nullptr);
}

TEST_F(StartupTest, MissingResourcesAreCountedAndNamed) {
    ASSERT_TRUE(Start());  // nothing on disk
    std::vector<std::string> texts = LogTexts();
    ExpectLines({texts.begin() + 2, texts.begin() + 9},
                {"missed: textures\\_def\\white.bmp", "missed: textures\\_def\\red.bmp",
                 "missed: textures\\_def\\Blue.bmp", "missed: textures\\_def\\yellow.bmp",
                 "missed:  fx\\ald_Phong.fx", "Rendering manager inicialized with 5 errors.",
                 "[>>>] Loading level : POLYGON01"});
    ExpectLines({texts.end() - 4, texts.end()},
                {"[i] Effect Manager setup completed. ", "missed: textures\\_def\\white.bmp",
                 "missed: textures\\_def\\red.bmp", "missed: textures\\_def\\Blue.bmp"});
    EXPECT_EQ(Log()[2].tag, "_ERROR_");

    // Again with only yellow missing and a font that cannot be made; frames go on without text.
    WriteDefaults();
    std::remove("textures/_def/yellow.bmp");
    size_t before = texts.size();
    headless::FailNext(headless::Kind::Font);
    engine->renderManager->Initialize();
    texts = LogTexts();
    ExpectLines({texts.begin() + before, texts.end()},
                {"missed: textures\\_def\\yellow.bmp", "failed: CreateFont Font8Verdana",
                 "Rendering manager inicialized with 2 errors."});
    EXPECT_EQ(engine->renderManager->infoFont, nullptr);
    Frames(2);
}

TEST_F(StartupTest, FailedDeviceShowsNothingAndWritesNoLog) {
    // Direct3D missing, the device refused, a multisample type the adapter cannot do.
    for (int attempt = 0; attempt < 3; ++attempt) {
        headless::Reset();
        if (attempt < 2) headless::FailNext(attempt ? headless::Kind::Device : headless::Kind::Direct3D);
        if (attempt == 2) WriteFile("ini.txt", "[MULTISAMPLE_TYPE]=3\n");
        EXPECT_EQ(RunProgram(engine), 0);
        headless::WindowInfo info;
        ASSERT_TRUE(headless::GetWindowInfo(headless::MainWindow(), info));
        EXPECT_FALSE(info.visible);
        EXPECT_EQ(headless::CallsOf("UnregisterClassA").at(0).args.at(0), "Zarvik");
        EXPECT_EQ(engine->console, nullptr);
    }
    delete engine;
    engine = nullptr;
    EXPECT_FALSE(Exists("LOG.dr"));
}

TEST_F(StartupTest, WindowFromTheSettings) {
    ASSERT_TRUE(Start());  // no ini.txt: the defaults
    headless::WindowInfo info;
    ASSERT_TRUE(headless::GetWindowInfo(program.window, info));
    EXPECT_EQ(info.className + info.title, "Zarvik|Zarvik|0.0.4|June 1|");
    EXPECT_EQ(info.style, 0x00CF0000u);
    EXPECT_EQ(info.width * 1000 + info.height, 640480);
    EXPECT_TRUE(info.visible);
    headless::Reset();
    WriteFile("ini.txt", "[SCREEN] = 800\n");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(headless::GetWindowInfo(program.window, info));
    EXPECT_EQ(info.width * 1000 + info.height, 800100);
}

TEST_F(StartupTest, ClosingWritesTheSameLogOnDestroyAndAtExit) {
    ASSERT_TRUE(Start());
    Frames(3);
    testing::internal::CaptureStderr();
    headless::PostClose();
    for (int steps = 0; LoopStep(); ++steps) ASSERT_LT(steps, 100);
    std::string onDestroy = ReadFile("LOG.dr");
    EXPECT_NE(onDestroy.find("LOG"), std::string::npos);
    EXPECT_EQ(EndProgram(), 0);
    EXPECT_FALSE(headless::ClassRegistered("Zarvik"));
    std::remove("LOG.dr");
    delete engine;  // what process exit does to the static engine
    engine = nullptr;
    EXPECT_EQ(ReadFile("LOG.dr"), onDestroy);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a log written in place says nothing";
}

// A folder named LOG.dr keeps the log out, whoever runs the test.
TEST_F(StartupTest, ALogTheLevelCannotTakeGoesToTheUsersFolderAndIsSaidOnce) {
    ASSERT_EQ(mkdir("LOG.dr", 0755), 0);
    setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
    ASSERT_TRUE(Start());
    Frames(3);
    testing::internal::CaptureStderr();
    headless::PostClose();
    for (int steps = 0; LoopStep(); ++steps) ASSERT_LT(steps, 100);
    ASSERT_TRUE(engine->console->Save("whole.dr"));
    delete engine;   // the second save, at exit
    engine = nullptr;
    std::string said = testing::internal::GetCapturedStderr();
    unsetenv("XDG_STATE_HOME");
    const std::string kept = folder + "/state/meshes/levels" + folder + "/LOG.dr";
    EXPECT_EQ(said, "meshes: cannot write the log " + folder + "/LOG.dr (Is a directory); it was "
                    "written to " + kept + " instead\n");
    EXPECT_EQ(ReadFile(kept), ReadFile("whole.dr"));
}

TEST_F(StartupTest, WindowMessagesBeforeTheConsoleExists) {
    ResetProgram(engine);
    MainWindowProc(nullptr, WM_KEYDOWN, 'A', 0);
    MainWindowProc(nullptr, WM_LBUTTONDOWN, 0, 0);
    EXPECT_EQ(program.mouseButtonDown, 1);
    MainWindowProc(nullptr, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(program.mouseButtonDown, 0);
    EXPECT_EQ(MainWindowProc(nullptr, WM_DESTROY, 0, 0), 0);
    EXPECT_FALSE(Exists("LOG.dr"));
}
