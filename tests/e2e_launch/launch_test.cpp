// `meshes [LEVEL_DIR]`, --help and --version, run as a user would from another folder, and the
// installed program running the installed demo level.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/app/engine_support.h"

class LaunchTest : public EngineTest {
protected:
    // Runs `command` in the test's folder with stdout and stderr kept apart; its exit code.
    int Shell(const std::string& command) {
        std::string line = "cd '" + folder + "' && " + command + " > out.txt 2> err.txt";
        int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Meshes(const std::string& args, const std::string& env = "") {
        return Shell("env -u MESHES_SCRIPT -u MESHES_TRACE MESHES_PLATFORM=headless MESHES_FRAMES=3 " +
                     env + " '" MESHES_PATH "' " + args);
    }
    std::string Dump(const std::string& file) {
        std::string command = "'" DRTOOL_PATH "' dump '" + file + "' > '" + folder + "/dump.txt'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadFile("dump.txt");
    }
    void MakeLevel(const std::string& dir) {
        WriteFile(dir + "/ini.txt", "[SCREEN] = 320, 200\n");
        WriteFile(dir + "/Wendlor2.0/.keep", "");
        LevelTree level;
        level.Camera("front");
        level.Save();  // into the working folder; moved below
        ASSERT_EQ(std::rename("POLYGON01", (dir + "/POLYGON01").c_str()), 0);
    }
};

TEST_F(LaunchTest, ALevelFolderIsWorkedInAsIfStartedThere) {
    MakeLevel("levels/my level");
    ASSERT_EQ(Meshes("'levels/my level'"), 0) << ReadFile("err.txt");
    EXPECT_FALSE(Exists("LOG.dr"));
    ASSERT_TRUE(Exists("levels/my level/LOG.dr"));
    EXPECT_TRUE(Exists("levels/my level/Wendlor2.0/loaded_parameters"));
    std::string log = Dump(folder + "/levels/my level/LOG.dr");
    EXPECT_NE(log.find("[+] Camera:  front"), std::string::npos) << log;

    // Paths are found as the level's own are: any case, backslashes.
    ASSERT_EQ(Meshes("'LEVELS\\My Level'"), 0) << ReadFile("err.txt");
}

TEST_F(LaunchTest, UsageErrorsEndWithCodeTwoAndOneLine) {
    MakeLevel("one");
    WriteFile("plain.txt", "x");
    struct Case {
        const char* args;
        const char* says;
    } cases[] = {
        {"missing", "no such level folder: missing"},
        {"plain.txt", "not a folder: plain.txt"},
        {"one one", "one level folder at most"},
        {"--fast", "unknown option '--fast'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Meshes(c.args), 2) << c.args;
        std::string err = ReadFile("err.txt");
        EXPECT_EQ(err.rfind("meshes: ", 0), 0u) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
        EXPECT_EQ(ReadFile("out.txt"), "");
    }
    EXPECT_EQ(Meshes("one", "MESHES_WATCH=yes"), 2);
    EXPECT_NE(ReadFile("err.txt").find("MESHES_WATCH"), std::string::npos);
    EXPECT_FALSE(Exists("one/LOG.dr")) << "nothing ran";

    // A missing folder is reported before the window system is asked for anything, so a
    // window backend that cannot start is never reached.
    EXPECT_EQ(Shell("env -u DISPLAY -u WAYLAND_DISPLAY MESHES_PLATFORM=sdl '" MESHES_PATH "' missing"), 2);
    EXPECT_NE(ReadFile("err.txt").find("no such level folder"), std::string::npos) << ReadFile("err.txt");
}

TEST_F(LaunchTest, HelpAndVersionNeedNoDisplay) {
    ASSERT_EQ(Shell("env -u DISPLAY -u WAYLAND_DISPLAY MESHES_PLATFORM=sdl '" MESHES_PATH "' --help"), 0);
    std::string help = ReadFile("out.txt");
    for (const char* part : {"Usage: meshes [LEVEL_DIR]", "Tab", "console", "MESHES_PLATFORM",
                             "MESHES_WATCH", "MESHES_SCRIPT", "reload"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
    EXPECT_EQ(ReadFile("err.txt"), "");
    EXPECT_FALSE(Exists("LOG.dr"));

    ASSERT_EQ(Shell("env -u DISPLAY '" MESHES_PATH "' --version"), 0);
    std::string version = ReadFile("out.txt");
    EXPECT_EQ(version.rfind("meshes ", 0), 0u) << version;
    EXPECT_EQ(version.back(), '\n');
}

TEST_F(LaunchTest, InstalledProgramRunsTheInstalledDemo) {
    std::string prefix = folder + "/prefix";
    ASSERT_EQ(Shell("'" CMAKE_PATH "' --install '" BUILD_DIR "' --prefix '" + prefix + "'"), 0)
        << ReadFile("err.txt");
    std::string demo = prefix + "/share/meshes/demo";
    for (const char* f : {"/POLYGON01", "/ini.txt", "/fx/ald_Phong.fx", "/objects/floor.dr",
                          "/textures/_def/def.bmp", "/Wendlor2.0"})
        EXPECT_TRUE(Exists(demo + f)) << f;
    EXPECT_FALSE(Exists(demo + "/LOG.dr"));

    ASSERT_EQ(Shell("env -u MESHES_SCRIPT -u MESHES_TRACE -u LD_LIBRARY_PATH MESHES_PLATFORM=headless "
                    "MESHES_FRAMES=3 '" + prefix + "/bin/meshes' '" + demo + "'"),
              0)
        << ReadFile("err.txt");
    ASSERT_TRUE(Exists(demo + "/LOG.dr"));
    std::string log = Dump(demo + "/LOG.dr");
    EXPECT_NE(log.find("[+] Effect:  "), std::string::npos) << log;
    EXPECT_EQ(log.find("missed"), std::string::npos) << log;
    EXPECT_EQ(log.find("cannot find"), std::string::npos) << log;
}
