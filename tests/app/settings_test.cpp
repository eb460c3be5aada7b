// The settings file reader, the settings it feeds and the stopwatch.
#include <sys/stat.h>
#include <unistd.h>

#include "app/ini_reader.h"
#include "app/korvel_timer.h"
#include "app/program.h"
#include "tests/app/engine_support.h"

using SettingsTest = EngineTest;

// "NAME:v,v;" for each knot below the root, in order.
static std::string Shape(DynamicRow& tree) {
    std::string shape;
    for (unsigned int knot = tree.TopId(1); knot; knot = tree.NextId(knot)) {
        shape += std::string(tree.iLookName(knot).getChars()) + ":";
        for (unsigned int v = tree.TopId(knot); v; v = tree.NextId(v))
            shape += std::string(v == tree.TopId(knot) ? "" : ",") + tree.iLookName(v).getChars();
        shape += ";";
    }
    return shape;
}

TEST_F(SettingsTest, ReaderKeepsAcceptedLinesAndSkipsTheRest) {
    WriteFile("ini.txt", "[SCREEN] = 800, 600\n[A] = 1,,2\r\n[B]\n[C] =\nD = 1\n\n"
                         "[FONT] = Arial\tBlack\n[A] = 3\n[SCREEN]800,600");
    DynamicRow tree = engine->LoadIni("ini.txt");
    EXPECT_STREQ(tree.iLookName(1).getChars(), kIniRootName);
    EXPECT_EQ(Shape(tree), "SCREEN:800,600;A:1,,2;FONT:ArialBlack;A:3;SCREEN:00,600;");
    EXPECT_STREQ(tree.iLookName(tree.TopId(tree.iLookId("A"))).getChars(), "1");  // the first A

    // Each read takes at most 254 characters; the rest of a long line is a line of its own.
    std::string x(250, 'x');
    WriteFile("ini.txt", "[K]=" + x + "[L]=5\n[M]=" + std::string(400, 'y') + "\n");
    tree = engine->LoadIni("ini.txt");
    EXPECT_EQ(Shape(tree), "K:" + x + ";L:5;M:" + std::string(250, 'y') + ";");
    EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(SettingsTest, MissingFileShowsTheBoxAndGivesTheRootOnly) {
    DynamicRow tree = engine->LoadIni("nope.txt");
    EXPECT_EQ(tree.lastId, 1u);
    EXPECT_STREQ(tree.iLookName(1).getChars(), kIniRootName);
    ASSERT_EQ(headless::MessageBoxes().size(), 1u);
    EXPECT_EQ(headless::MessageBoxes()[0], "ERROR: | File loading failed! |nope.txt | ");
}

// A settings file that is there but cannot be read is reported as a missing one: a folder,
// and a pipe or device, which would block start-up or never end.
TEST_F(SettingsTest, UnreadableFileShowsTheBoxAndGivesTheRootOnly) {
    WriteFile("folder/ini.txt/inside", "[SCREEN] = 640, 480\n");
    WriteFile("pipe/keep", "");
    ASSERT_EQ(mkfifo((folder + "/pipe/ini.txt").c_str(), 0644), 0);
    alarm(20);  // a read that blocks ends the test here instead of hanging the run
    for (const char* path : {"folder\\ini.txt", "pipe\\ini.txt", "/dev/zero"}) {
        SCOPED_TRACE(path);
        size_t boxes = headless::MessageBoxes().size();
        DynamicRow tree = engine->LoadIni(path);
        EXPECT_EQ(tree.lastId, 1u);
        EXPECT_STREQ(tree.iLookName(1).getChars(), kIniRootName);
        ASSERT_EQ(headless::MessageBoxes().size(), boxes + 1);
        EXPECT_EQ(headless::MessageBoxes().back(), std::string("ERROR: | File loading failed! |") + path + " | ");
    }
    alarm(0);
}

TEST_F(SettingsTest, FileWithoutReadPermissionShowsTheBox) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads files without read permission";
    WriteFile("locked.txt", "[SCREEN] = 640, 480\n");
    ASSERT_EQ(chmod((folder + "/locked.txt").c_str(), 0200), 0);
    DynamicRow tree = engine->LoadIni("locked.txt");
    EXPECT_EQ(tree.lastId, 1u);
    ASSERT_EQ(headless::MessageBoxes().size(), 1u);
    EXPECT_EQ(headless::MessageBoxes()[0], "ERROR: | File loading failed! |locked.txt | ");
}

TEST_F(SettingsTest, DumpLandsWhereTheFolderExists) {
    WriteFile("ini.txt", "[FILLMODE]=2\n");
    engine->LoadIni("ini.txt");  // no folder: nothing written, nothing fails
    EXPECT_FALSE(Exists("Wendlor2.0"));
    WriteFile("wendlor2.0/keep", "");  // found without regard to case
    engine->LoadIni("ini.txt");
    DynamicRow dump;
    Zarvik_string path;
    path = "wendlor2.0/loaded_parameters";
    ASSERT_TRUE(dump.iLoadFromFile(path));
    EXPECT_EQ(Shape(dump), "FILLMODE:2;");
}

TEST_F(SettingsTest, EachKeyWithItsDefaultAndEdges) {
    const D3DCOLOR def = 0xFF6482AA;
    struct { const char* ini; D3DCOLOR colour; int samples, fill, antialias; } cases[] = {
        {"", def, 0, 3, 0},
        {"[BACK_RENDERER_COLOR]=10,20,30", 0x010A141E, 0, 3, 0},
        {"[BACK_RENDERER_COLOR]=300,0,-1,7", 0x012C00FF, 0, 3, 0},
        {"[BACK_RENDERER_COLOR]=10,20", def, 0, 3, 0},
        {"[MULTISAMPLE_TYPE]=65537", def, 1, 3, 0},
        {"[MULTISAMPLE_TYPE]=-1", def, 65535, 3, 0},
        {"[MULTISAMPLEANTIALIAS]=1", def, 0, 3, 1},
        {"[MULTISAMPLEANTIALIAS]=2", def, 0, 3, 0},
        {"[FILLMODE]=1", def, 0, 1, 0},
        {"[FILLMODE]=0", def, 0, 3, 0},
        {"[FILLMODE]=4", def, 0, 3, 0},
    };
    for (auto& c : cases) {
        WriteFile("ini.txt", c.ini);
        DynamicRow tree = engine->LoadIni("ini.txt");
        engine->whiteTexture = new IDirect3DTexture9*(nullptr);
        engine->ReadSettings(&tree);
        EXPECT_EQ(engine->backColour, c.colour) << c.ini;
        EXPECT_EQ(engine->multisampleType, c.samples) << c.ini;
        EXPECT_EQ(engine->fillMode, c.fill) << c.ini;
        EXPECT_EQ(engine->multisampleAntialias, c.antialias) << c.ini;
        EXPECT_EQ(engine->whiteTexture, nullptr) << c.ini;
    }
    engine->fillMode = 1;
    engine->ReadSettings(nullptr);
    EXPECT_EQ(engine->fillMode, 3);

    DynamicRow bare;  // "SCREEN" present without params keeps the size
    bare.fresh();
    bare.AddToId(bare.AddToId(0, true, "root"), true, "SCREEN");
    program.screenWidth = 640;
    ApplyScreenSettings(&bare);
    EXPECT_EQ(program.screenWidth, 640);
}

TEST_F(SettingsTest, TimerCountsAcrossTheClockWrap) {
    Korvel_Timer timer;
    headless::SetTime(0xFFFFFFF0u);
    EXPECT_EQ(timer.Reset(), 0xFFFFFFF0u);
    headless::AdvanceTime(0x25);
    EXPECT_EQ(timer.Elapsed(), 0x25u);
}
