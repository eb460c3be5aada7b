// Files the level's folder cannot take: the user's folder for the level, and what is said.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/core/kept_file.h"

namespace fs = std::filesystem;

namespace {

TEST(KeptFile, TheUsersFolderFollowsTheXdgRules) {
    struct Case {
        const char* xdg;
        const char* home;
        std::string folder;
    };
    const Case cases[] = {
        {"/s", "/h", "/s/meshes"},
        {nullptr, "/h", "/h/.local/state/meshes"},
        {"relative/state", "/h", "/h/.local/state/meshes"},   // not absolute: ignored
        {"", "/h", "/h/.local/state/meshes"},
        {nullptr, nullptr, ""},
        {nullptr, "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keptfile::StateFolder(c.xdg, c.home), c.folder)
            << (c.xdg ? c.xdg : "(unset)") << ", " << (c.home ? c.home : "(unset)");
    // Levels stay apart, and nothing climbs out of the user's folder.
    EXPECT_EQ(keptfile::LevelFallback("/s/meshes", "/opt/x/share/meshes/demo"),
              "/s/meshes/levels/opt/x/share/meshes/demo");
    EXPECT_EQ(keptfile::LevelFallback("/s/meshes", "/a/../../b/./c/"), "/s/meshes/levels/a/b/c");
}

// A path whose folder is a file cannot be written, whoever runs the test.
TEST(KeptFile, AFileTheLevelCannotTakeGoesToTheUsersFolderForTheLevel) {
    fs::path dir = fs::temp_directory_path() / ("kept_file_" + std::to_string(::getpid()));
    fs::create_directories(dir / "level");
    std::ofstream(dir / "level" / "blocked") << "a file, not a folder";
    const std::string level = (dir / "level").string();
    auto write = [](const std::string& path) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        return f && std::fputs("kept", f) >= 0 && std::fclose(f) == 0;
    };
    auto named = [](const std::string& folder) { return folder + "/LOG.dr"; };
    setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);

    keptfile::Kept kept = keptfile::Keep("the log", level + "/LOG.dr", level, write, named);
    EXPECT_EQ(kept.path, level + "/LOG.dr");
    EXPECT_EQ(kept.message, "") << "written where it belongs: nothing to say";
    EXPECT_FALSE(fs::exists(dir / "state")) << "nor any folder made";

    kept = keptfile::Keep("the log", level + "/blocked/LOG.dr", level, write, named);
    const std::string fallback = (dir / "state").string() + "/meshes/levels" + level + "/LOG.dr";
    EXPECT_EQ(kept.path, fallback);
    EXPECT_EQ(kept.message, "meshes: cannot write the log " + level +
                                "/blocked/LOG.dr (Not a directory); it was written to " +
                                fallback + " instead");
    std::ifstream in(fallback);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "kept");

    setenv("XDG_STATE_HOME", (dir / "level" / "blocked").c_str(), 1);   // no folder below a file
    kept = keptfile::Keep("the log", level + "/blocked/LOG.dr", level, write, named);
    EXPECT_EQ(kept.path, "");
    EXPECT_NE(kept.message.find("cannot write the log " + level + "/blocked/LOG.dr"),
              std::string::npos) << kept.message;
    EXPECT_NE(kept.message.find(", nor make " + level + "/blocked/meshes/levels"),
              std::string::npos) << kept.message;
    unsetenv("XDG_STATE_HOME");
    fs::remove_all(dir);
}

}  // namespace
