// The built program run headless on a level made here, its "LOG.dr" read back with drtool.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/engine_support.h"

class RunTest : public EngineTest {
protected:
    // Runs meshes in the folder; its exit code.
    int Run(const std::string& environment) {
        std::string command = "cd '" + folder + "' && MESHES_PLATFORM=headless " +
                              "MESHES_SYSTEM_TIME=2008-06-01T08:52:03 MESHES_TRACE=trace.txt " +
                              environment + " '" MESHES_PATH "' > out.txt 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::vector<std::string> Dump(const std::string& file) {
        std::string command = "'" DRTOOL_PATH "' dump '" + folder + "/" + file + "' > '" +
                              folder + "/dump.txt'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return Lines("dump.txt");
    }
    std::vector<std::string> Lines(const std::string& file) {
        std::istringstream in(ReadFile(file));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    void MakeLevel() {
        WriteDefaults();
        WriteFile("ini.txt", "[SCREEN] = 800, 600\n[FILLMODE] = 2\n");
        WriteFile("Wendlor2.0/.keep", "");
        LevelTree level;
        level.Key(level.Camera("front"), "_POSITION_", {"0", "5", "-20"});
        level.Camera("back");
        level.Save();
    }
};

// The texts of the log's lines, in order (quotes of the dump removed).
static std::vector<std::string> LogLines(const std::vector<std::string>& dump) {
    std::vector<std::string> lines;
    for (const std::string& line : dump) {
        if (line.rfind("    \"", 0) != 0) continue;  // one level down, a quoted line knot
        size_t end = line.rfind('"');
        lines.push_back(line.substr(5, end - 5));
    }
    return lines;
}

TEST_F(RunTest, HundredFramesThenTheLogFile) {
    MakeLevel();
    ASSERT_EQ(Run("MESHES_FRAMES=100"), 0) << ReadFile("out.txt");
    std::vector<std::string> log = LogLines(Dump("LOG.dr"));
    std::vector<std::string> want = {
        "[0:0] [>>>] Initializing rendering manager : ",
        "[0:0] Rendering manager inicialized with 0 errors.",
        "[0:0] [>>>] Loading level : POLYGON01",
        "[0:0] [>>>] Loading Lights : ",
        "[0:0] [i] Light Manager setup completed. ",
        "[0:0] [>>>] Loading Objects : ",
        "[0:0] [>>>] Loading cameras : ",
        "[0:0] [+] Camera:  front",
        "[0:0] [+] Camera:  back",
        "[0:0] [i] Camera Manager setup completed. ",
        "[0:0] [>>>] Loading effects : ",
        "[0:0] [i] Effect Manager setup completed. ",
    };
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].rfind("[Currient date: 1-6-2008 ", 0), 0u) << log[0];
    size_t at = 0;
    for (const std::string& line : want) {
        while (at < log.size() && log[at] != line) ++at;
        EXPECT_LT(at, log.size()) << "missing or out of order: " << line;
    }

    // 100 frames of the frame order, then the window closed.
    int presents = 0, clears = 0;
    for (const std::string& call : Lines("trace.txt")) {
        if (call.rfind("device1.Present(", 0) == 0) ++presents;
        if (call.rfind("device1.Clear(", 0) == 0) ++clears;
    }
    EXPECT_EQ(presents, 100);
    EXPECT_EQ(clears, 100);
    EXPECT_TRUE(Exists("Wendlor2.0/loaded_parameters"));
}

TEST_F(RunTest, ConsoleCommandSwitchesTheCamera) {
    MakeLevel();
    WriteFile("script.txt",
              "press VK_OEM_3\nwait 2\ntype cam_mngr camera.next\npress VK_RETURN\nwait 3\n"
              "press VK_OEM_3\nwait 2\nclose\n");
    ASSERT_EQ(Run("MESHES_SCRIPT=script.txt"), 0) << ReadFile("out.txt");
    std::vector<std::string> log = LogLines(Dump("LOG.dr"));
    bool switched = false;
    for (const std::string& line : log)
        switched |= line.find("Currient camera was changed to: camera \\xB9 2") != std::string::npos;
    EXPECT_TRUE(switched) << ReadFile("dump.txt");
}

TEST_F(RunTest, DeviceThatCannotBeMadeEndsQuietly) {
    MakeLevel();
    WriteFile("ini.txt", "[MULTISAMPLE_TYPE] = 3\n");
    EXPECT_EQ(Run(""), 0) << ReadFile("out.txt");
    EXPECT_FALSE(Exists("LOG.dr"));
    for (const std::string& call : Lines("trace.txt"))
        EXPECT_EQ(call.find("ShowWindow"), std::string::npos);
}
