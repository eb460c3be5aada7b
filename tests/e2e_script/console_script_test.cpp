// Runs meshes headless on a copy of the demo level with a script that types console commands
// key by key, then reads "LOG.dr" and "test.dr" with drtool and the recorded calls.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/level_run.h"

namespace fs = std::filesystem;

namespace {

const char kScript[] = R"(wait 3
press VK_OEM_3
wait 2
type cam_mngr camera.next
press VK_RETURN
wait 2
type cam_mngr camera.speed 2.5
press VK_RETURN
wait 2
type obj_mngr show.list
press VK_RETURN
wait 2
type obj_mngr object.visible 2 0
press VK_RETURN
wait 2
type obj_mngr load.OBJECT_SIMPLE objects
press VK_DECIMAL
type crate.dr
press VK_RETURN
wait 2
type console hello world
press VK_RETURN
wait 2
# back through the history to the second listing
press VK_LEFT
press VK_LEFT
press VK_LEFT
press VK_LEFT
press VK_RETURN
wait 2
type save test.dr
press VK_RETURN
wait 3
close
)";

std::vector<std::string> Listing(const char* changed) {
    const char* files[] = {"floor", "cube", "sphere", "pillar", "torus", "cube", "crate", "crate"};
    std::vector<std::string> lines = {"_COMMENT_ obj_mngr show.list"};
    for (int id = 1; id <= (changed ? 8 : 7); ++id)
        lines.push_back("_SYSTEM_ id:" + std::to_string(id) + "  visible:" +
                        (changed && id == 2 ? "0" : "1") + "  file:objects\\" + files[id - 1] +
                        ".dr");
    return lines;
}

class ConsoleScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testsupport::CopyLevel(DEMO_DIR, "console_script");
        ASSERT_FALSE(folder.empty());
        std::ofstream(folder + "/script.txt") << kScript;
    }
    void TearDown() override {
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(folder, ec);
    }
    int Run() {
        std::string command = "cd '" + folder + "' && MESHES_PLATFORM=headless " +
                              "MESHES_SCRIPT=script.txt MESHES_TRACE=trace.txt '" MESHES_PATH
                              "' > out.txt 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::vector<std::string> Read(const std::string& file) {
        std::ifstream in(folder + "/" + file);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // "tag text" per log line of a tree file, stamps removed.
    std::vector<std::string> LogOf(const std::string& file) {
        std::string error;
        std::vector<std::string> lines =
            testsupport::ReadLog(DRTOOL_PATH, folder + "/" + file, &error);
        EXPECT_TRUE(error.empty()) << error;
        return lines;
    }

    std::string folder;
};

TEST_F(ConsoleScriptTest, TypedCommandsReachTheLogTheSaveAndTheFrame) {
    ASSERT_EQ(Run(), 0) << folder;

    std::vector<std::string> want = {
        "_COMMENT_ cam_mngr camera.next",
        "_SYSTEM_ Currient camera was changed to: camera \xB9 2",
        "_COMMENT_ cam_mngr camera.speed 2.5",
        "_SYSTEM_ Currient camera speed was changed to: 2.500000"};
    for (const std::string& line : Listing(nullptr)) want.push_back(line);
    for (const char* line : {"_COMMENT_ obj_mngr object.visible 2 0",
                             "_SYSTEM_ [Object] id: 2  visible(changed): 0",
                             "_COMMENT_ obj_mngr load.OBJECT_SIMPLE objects\\crate.dr",
                             "_TEXT_ [O.F.] objects\\crate.dr", "_COMMENT_ console hello world",
                             "_TEXT_ hello world"})
        want.push_back(line);
    for (const std::string& line : Listing("changed")) want.push_back(line);
    want.push_back("_TEXT_ save test.dr");

    std::vector<std::string> log = LogOf("LOG.dr");
    size_t start = 0;
    while (start < log.size() && log[start] != want[0]) ++start;
    ASSERT_LT(start, log.size()) << "no command reached the log";
    std::vector<std::string> commands(log.begin() + start, log.end());
    std::vector<std::string> saved = LogOf("test.dr");
    ASSERT_GE(saved.size(), want.size());
    EXPECT_EQ(std::vector<std::string>(saved.end() - want.size(), saved.end()), want);
    want.push_back("_TEXT_ Save completed");
    EXPECT_EQ(commands, want);

    // The trace: object 2 (the first cube mesh) is drawn until the frame that first shows its
    // command's reply, and not from then on; the crate loaded by the command is drawn.
    std::vector<std::string> trace = Read("trace.txt");
    std::string cube, loaded;
    size_t loadedAt = 0, reply = 0, replyFrame = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        const std::string& t = trace[i];
        if (t.find("D3DXLoadMeshFromXA(meshes\\") != std::string::npos) {
            std::string mesh = t.substr(t.find("-> ") + 3);
            mesh = mesh.substr(0, mesh.find(' '));
            if (cube.empty() && t.find("cube.x") != std::string::npos) cube = mesh;
            if (t.find("crate.x") != std::string::npos) loaded = mesh, loadedAt = i;
        }
        if (!reply && t.find("[Object] id: 2  visible(changed): 0") != std::string::npos) reply = i;
    }
    ASSERT_GT(reply, 0u);
    for (size_t i = 0; i < reply; ++i)
        if (trace[i].find(".Present(") != std::string::npos) replyFrame = i;
    ASSERT_FALSE(cube.empty());
    ASSERT_FALSE(loaded.empty());
    size_t cubeBefore = 0, cubeAfter = 0, loadedDraws = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        if (trace[i].rfind(cube + ".DrawSubset(", 0) == 0) ++(i < replyFrame ? cubeBefore : cubeAfter);
        if (i > loadedAt && trace[i].rfind(loaded + ".DrawSubset(", 0) == 0) ++loadedDraws;
    }
    EXPECT_GT(cubeBefore, 0u);
    EXPECT_EQ(cubeAfter, 0u);
    EXPECT_GT(loadedDraws, 0u);
}

}  // namespace
