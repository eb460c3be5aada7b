// The built program on copies of the demo level broken in the ways a user breaks a level:
// files missing, cut short or full of garbage. Every run starts, names what is missing in the
// log, keeps running, ends normally and writes "LOG.dr". Each case runs on the headless
// backend and, under a private X server, in a real window.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/level_run.h"
#include "tests/support/x_server.h"

namespace fs = std::filesystem;

namespace {

void Write(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

void Cut(const std::string& file, size_t size) {
    std::string bytes = testsupport::ReadText(file);
    ASSERT_GT(bytes.size(), size) << file;
    Write(file, bytes.substr(0, size));
}

void Remove(const std::string& file) { ASSERT_TRUE(fs::remove(file)) << file; }

std::string Garbage(size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
    return bytes;
}

// Where the record named `name` and everything below it ends in a tree file; 0 if absent.
size_t SubtreeEnd(const std::string& bytes, const std::string& name) {
    size_t at = 0, found = 0;
    std::function<bool(size_t*)> record = [&](size_t* end) {
        if (at + 2 > bytes.size()) return false;
        size_t len = uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8;
        if (at + 2 + len + 5 > bytes.size()) return false;
        std::string n = bytes.substr(at + 2, len);
        size_t p = at + 2 + len;
        bool knot = bytes[p] != 0;
        size_t children = (uint8_t(bytes[p + 1]) | uint8_t(bytes[p + 2]) << 8) +
                          (uint8_t(bytes[p + 3]) | uint8_t(bytes[p + 4]) << 8);
        at = p + 5;
        if (knot)
            for (size_t i = 0; i < (children & 0xFFFF); ++i)
                if (!record(nullptr)) return false;
        if (n == name && !found) found = at;
        if (end) *end = at;
        return true;
    };
    size_t end = 0;
    while (at < bytes.size() && record(&end)) {
    }
    return found;
}

// The param children of the knot `name` (the first such knot), in order.
std::vector<std::string> ParamsOf(const std::string& bytes, const std::string& name) {
    std::vector<std::string> params;
    for (size_t at = 0; at + 2 <= bytes.size();) {
        size_t len = uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8;
        if (at + 2 + len + 5 > bytes.size()) break;
        std::string n = bytes.substr(at + 2, len);
        size_t p = at + 2 + len;
        size_t count = uint8_t(bytes[p + 1]) | uint8_t(bytes[p + 2]) << 8;
        at = p + 5;
        if (n != name || bytes[p] == 0) continue;
        for (size_t i = 0; i < count && at + 2 <= bytes.size(); ++i) {
            size_t l = uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8;
            params.push_back(bytes.substr(at + 2, l));
            at += 2 + l + 5;
        }
        break;
    }
    return params;
}

const char kCorrupted[] = "_ERROR_ [!] Object File is corrupted and parameters are not loaded!";

struct Expect {
    std::vector<std::string> inOrder;   // these lines, in this order, others between
    std::vector<std::string> errors;    // exactly these error lines, in order
    bool sameAsIntact = false;          // the whole log equals the intact level's
    bool whole = false;                 // the log is exactly inOrder
};

// The demo level's log, the same for every run of the intact level (stamps and date aside).
const std::vector<std::string>& IntactLog() {
    static std::vector<std::string> log;
    if (log.empty()) {
        std::string folder = testsupport::CopyLevel(DEMO_DIR, "badlevel_intact");
        pid_t child = testsupport::Start(MESHES_PATH, folder,
                                 {{"MESHES_PLATFORM", "headless"}, {"MESHES_FRAMES", "2"}});
        testsupport::Wait(child, 120);
        std::string error;
        log = testsupport::ReadLog(DRTOOL_PATH, folder + "/LOG.dr", &error);
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    return log;
}

size_t Count(const std::vector<std::string>& lines, const std::string& line) {
    size_t n = 0;
    for (const std::string& l : lines) n += l == line;
    return n;
}

// "[O.F.] file" lines of the intact log, each followed by the line that reports its failure.
std::vector<std::string> ObjectFailures(const std::string& file, const std::string& error) {
    std::vector<std::string> lines;
    for (const std::string& l : IntactLog())
        if (l == "_TEXT_ [O.F.] " + file) {
            lines.push_back(l);
            lines.push_back(error);
        }
    return lines;
}

std::string ObjectSummary(size_t errors, size_t objects) {
    return "_COMMENT_ Object Manager setup completed with " + std::to_string(errors) +
           " errors and " + std::to_string(objects) + " objects.";
}

size_t IntactObjects() {
    size_t n = 0;
    for (const std::string& l : IntactLog()) n += l.rfind("_TEXT_ [O.F.] ", 0) == 0;
    return n;
}

std::vector<std::string> Errors(const std::vector<std::string>& log) {
    std::vector<std::string> errors;
    for (const std::string& l : log)
        if (l.rfind("_ERROR_ ", 0) == 0) errors.push_back(l);
    return errors;
}

// The lines of a start-up whatever the level holds.
const std::vector<std::string> kStartup = {
    "_SYSTEM_ [>>>] Initializing rendering manager : ",
    "_SYSTEM_ [>>>] Loading level : POLYGON01",
    "_SYSTEM_ [>>>] Loading Lights : ",
    "_COMMENT_ [i] Light Manager setup completed. ",
    "_SYSTEM_ [>>>] Loading Objects : ",
    "_SYSTEM_ [>>>] Loading cameras : ",
    "_COMMENT_ [i] Camera Manager setup completed. ",
    "_SYSTEM_ [>>>] Loading effects : ",
    "_COMMENT_ [i] Effect Manager setup completed. "};

// The whole log of a level file that holds no lights, objects, cameras or effects except the
// lights named.
std::vector<std::string> EmptyLevelLog(const std::vector<std::string>& lights) {
    std::vector<std::string> log = {"_SYSTEM_ [>>>] Initializing rendering manager : ",
                                     "_COMMENT_ Rendering manager inicialized with 0 errors.",
                                     "_SYSTEM_ [>>>] Loading level : POLYGON01",
                                     "_SYSTEM_ [>>>] Loading Lights : "};
    for (const std::string& l : lights) log.push_back("_TEXT_ [+] Light:  " + l);
    log.push_back("_COMMENT_ Light Manager setup completed with " + std::to_string(lights.size()) +
                  " lights.");
    log.push_back("_COMMENT_ [i] Light Manager setup completed. ");
    log.push_back("_SYSTEM_ [>>>] Loading Objects : ");
    log.push_back(ObjectSummary(0, 0));
    for (const char* l : {"_SYSTEM_ [>>>] Loading cameras : ",
                          "_COMMENT_ [i] Camera Manager setup completed. ",
                          "_SYSTEM_ [>>>] Loading effects : ",
                          "_COMMENT_ Effect Manager setup completed with 0 Effects.",
                          "_COMMENT_ [i] Effect Manager setup completed. "})
        log.push_back(l);
    return log;
}

// Each "[O.F.] objects\\cube.dr" is followed by `error`; the objects all stay.
Expect CubeErrors(const std::string& error) {
    std::vector<std::string> lines = ObjectFailures("objects\\cube.dr", error);
    lines.push_back(ObjectSummary(0, IntactObjects()));
    return Expect{lines, std::vector<std::string>(lines.size() / 2, error)};
}

// Each "[O.F.] objects\\cube.dr" is followed by the corrupted-file error; those objects go.
Expect CubeFileErrors() {
    std::vector<std::string> lines = ObjectFailures("objects\\cube.dr", kCorrupted);
    size_t failed = lines.size() / 2;
    lines.push_back(ObjectSummary(failed, IntactObjects() - failed));
    return Expect{lines, std::vector<std::string>(failed, kCorrupted)};
}

// The Phong effect file fails: once for the render manager, once for the effect manager.
Expect PhongErrors() {
    return Expect{{"_ERROR_ missed:  fx\\ald_Phong.fx",
                   "_COMMENT_ Rendering manager inicialized with 1 errors.",
                   "_SYSTEM_ [>>>] Loading effects : ", "_ERROR_ fx\\ald_Phong.fx",
                   "_TEXT_ [+] Effect:  rim",
                   "_COMMENT_ Effect Manager setup completed with 2 Effects."},
                  {"_ERROR_ missed:  fx\\ald_Phong.fx", "_ERROR_ fx\\ald_Phong.fx"}};
}

Expect Intact() { return Expect{{}, {}, true}; }

struct Case {
    const char* name;
    std::function<void(const std::string& folder)> breakIt;
    std::function<Expect()> expect;
};

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        {"LevelFileMissing", [](const std::string& f) { Remove(f + "/POLYGON01"); },
         [] { return Expect{EmptyLevelLog({}), {}, false, true}; }},
        {"LevelFileCutAfterItsLights",
         [](const std::string& f) {
             std::string bytes = testsupport::ReadText(f + "/POLYGON01");
             size_t end = SubtreeEnd(bytes, "_LIGHTS_");
             ASSERT_GT(end, 0u);
             Cut(f + "/POLYGON01", end);
         },
         [] {
             std::string bytes = testsupport::ReadText(std::string(DEMO_DIR) + "/POLYGON01");
             return Expect{EmptyLevelLog(ParamsOf(bytes, "_LIGHTS_")), {}, false, true};
         }},
        {"LevelFileCutInsideAName",
         [](const std::string& f) {
             std::string bytes = testsupport::ReadText(f + "/POLYGON01");
             size_t at = bytes.find("_CAMERAS_");
             ASSERT_NE(at, std::string::npos);
             Cut(f + "/POLYGON01", at + 4);
         },
         [] { return Expect{kStartup, {}}; }},
        {"LevelFileGarbage",
         [](const std::string& f) { Write(f + "/POLYGON01", Garbage(4000, 7)); },
         [] { return Expect{kStartup, {}}; }},
        {"ObjectFileMissing", [](const std::string& f) { Remove(f + "/objects/cube.dr"); },
         [] { return CubeFileErrors(); }},
        {"ObjectFileCutInsideItsFirstRecord",
         [](const std::string& f) { Cut(f + "/objects/cube.dr", 1); },
         [] { return CubeFileErrors(); }},
        {"ObjectFileCutAfterItsRoot",   // no mesh named: the object stays, without a message
         [](const std::string& f) { Cut(f + "/objects/cube.dr", 2 + 4 + 5); },
         [] { return Expect{{ObjectSummary(0, IntactObjects())}, {}}; }},
        {"MeshMissing", [](const std::string& f) { Remove(f + "/meshes/cube.x"); },
         [] { return CubeErrors("_ERROR_ [M.F] cannot find: meshes\\cube.x"); }},
        {"MeshCutShort",
         [](const std::string& f) {
             Cut(f + "/meshes/cube.x", testsupport::ReadText(f + "/meshes/cube.x").size() / 2);
         },
         [] { return CubeErrors("_ERROR_ [M.F] cannot find: meshes\\cube.x"); }},
        {"MeshGarbage",
         [](const std::string& f) { Write(f + "/meshes/cube.x", Garbage(3000, 5)); },
         [] { return CubeErrors("_ERROR_ [M.F] cannot find: meshes\\cube.x"); }},
        {"TextureMissingTheDefaultStandsIn",
         [](const std::string& f) { Remove(f + "/textures/bricks.bmp"); },
         Intact},
        {"TextureAndItsStandInMissing",
         [](const std::string& f) {
             Remove(f + "/textures/bricks.bmp");
             Remove(f + "/textures/_def/def.bmp");
         },
         [] { return CubeErrors("_ERROR_ [T.F] cannot find: bricks.bmp"); }},
        {"TextureAndItsStandInCutShort",
         [](const std::string& f) {
             Cut(f + "/textures/bricks.bmp", 40);
             Cut(f + "/textures/_def/def.bmp", 3000);
         },
         [] { return CubeErrors("_ERROR_ [T.F] cannot find: bricks.bmp"); }},
        {"TextureAndItsStandInGarbage",
         [](const std::string& f) {
             Write(f + "/textures/bricks.bmp", "BM" + Garbage(5000, 9));
             Write(f + "/textures/_def/def.bmp", Garbage(5000, 10));
         },
         [] { return CubeErrors("_ERROR_ [T.F] cannot find: bricks.bmp"); }},
        {"DefaultTexturesMissing",
         [](const std::string& f) {
             for (const char* t : {"white", "red", "Blue", "yellow"})
                 Remove(f + "/textures/_def/" + t + ".bmp");
         },
         [] {
             std::vector<std::string> missed;
             for (const char* t : {"white", "red", "Blue", "yellow"})
                 missed.push_back(std::string("_ERROR_ missed: textures\\_def\\") + t + ".bmp");
             std::vector<std::string> errors = missed;
             errors.insert(errors.end(), missed.begin(), missed.end() - 1);
             std::vector<std::string> lines = missed;
             lines.push_back("_COMMENT_ Rendering manager inicialized with 4 errors.");
             lines.push_back("_SYSTEM_ [>>>] Loading level : POLYGON01");
             lines.push_back("_COMMENT_ [i] Effect Manager setup completed. ");
             lines.insert(lines.end(), missed.begin(), missed.end() - 1);
             return Expect{lines, errors};
         }},
        {"EffectFileMissing", [](const std::string& f) { Remove(f + "/fx/ald_Phong.fx"); },
         [] { return PhongErrors(); }},
        {"EffectFileCutShort",
         [](const std::string& f) {
             Cut(f + "/fx/ald_Phong.fx", testsupport::ReadText(f + "/fx/ald_Phong.fx").size() / 2);
         },
         [] { return PhongErrors(); }},
        {"EffectFileGarbage",
         [](const std::string& f) { Write(f + "/fx/ald_Phong.fx", Garbage(3000, 13)); },
         [] { return PhongErrors(); }},
        {"SettingsGarbage",
         [](const std::string& f) { Write(f + "/ini.txt", Garbage(3000, 11)); },
         Intact},
        {"SettingsWithWrongValues",
         [](const std::string& f) {
             Write(f + "/ini.txt",
                   "[SCREEN] = wide, -20\n[BACK_RENDERER_COLOR] = red,,\n[FILLMODE] = 9\n"
                   "[MULTISAMPLEANTIALIAS] = yes\n[] = 1\n[SCREEN\n" +
                       std::string(600, 'x') + "\n");
         },
         Intact},
        // A window larger than the screen is made as large as the screen allows.
        {"SettingsWithAHugeScreen",
         [](const std::string& f) { Write(f + "/ini.txt", "[SCREEN] = 100000, 100000\n"); },
         Intact},
        {"SettingsMissing", [](const std::string& f) { Remove(f + "/ini.txt"); },
         Intact},
        {"CursorNotACursor",
         [](const std::string& f) { Write(f + "/mouse.cur", "not a cursor at all\n"); },
         Intact},
        {"CursorCutShort", [](const std::string& f) { Cut(f + "/mouse.cur", 30); },
         Intact},
        {"CursorEmpty", [](const std::string& f) { Write(f + "/mouse.cur", ""); },
         Intact},
        {"LevelFileEmpty", [](const std::string& f) { Write(f + "/POLYGON01", ""); },
         [] { return Expect{EmptyLevelLog({}), {}, false, true}; }},
        // A folder where a file should be, as a path without its file name gives.
        {"MeshIsAFolder",
         [](const std::string& f) {
             Remove(f + "/meshes/cube.x");
             fs::create_directory(f + "/meshes/cube.x");
         },
         [] { return CubeErrors("_ERROR_ [M.F] cannot find: meshes\\cube.x"); }},
        {"TextureIsAFolder",
         [](const std::string& f) {
             Remove(f + "/textures/bricks.bmp");
             fs::create_directory(f + "/textures/bricks.bmp");
         },
         Intact},
        {"EffectFileIsAFolder",
         [](const std::string& f) {
             Remove(f + "/fx/ald_Phong.fx");
             fs::create_directory(f + "/fx/ald_Phong.fx");
         },
         [] { return PhongErrors(); }},
        {"CursorIsAFolder",
         [](const std::string& f) {
             Remove(f + "/mouse.cur");
             fs::create_directory(f + "/mouse.cur");
         },
         Intact},
        {"CommandBaseGarbage",
         [](const std::string& f) { Write(f + "/GlobalCommandBase.DR", Garbage(500, 3)); },
         Intact},
    };
    return cases;
}

// In a window: frame 10 is saved as a picture, then the program is asked to close as a
// window manager or a terminal would. True when frame 10 was shown.
bool RunInWindow(const std::string& folder, testsupport::Outcome* end) {
    pid_t child = testsupport::Start(MESHES_PATH, folder,
                             {{"MESHES_PLATFORM", "sdl"}, {"MESHES_NO_DIALOGS", "1"},
                              {"MESHES_SCREENSHOT", "frame.png@10"}});
    for (int i = 0; i < 1800; ++i) {
        if (testsupport::Ended(child, end)) return false;
        if (testsupport::Exists(folder + "/frame.png")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            kill(child, SIGTERM);
            *end = testsupport::Wait(child, 120);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    *end = testsupport::Wait(child, 0);
    return false;
}

// Whether a GL window can be had here at all: the intact level shows its frames.
bool WindowWorks() {
    static int works = -1;
    if (works < 0) {
        std::string folder = testsupport::CopyLevel(DEMO_DIR, "badlevel_window");
        testsupport::Outcome end;
        works = RunInWindow(folder, &end) ? 1 : 0;
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    return works == 1;
}

class BadLevel : public ::testing::TestWithParam<std::tuple<size_t, bool>> {
protected:
    void TearDown() override {
        if (!HasFailure() && !folder_.empty()) {
            std::error_code ec;
            fs::remove_all(folder_, ec);
        }
    }
    std::string folder_;
};

TEST_P(BadLevel, StartsLogsWhatIsMissingRunsAndSavesTheLog) {
    const Case& c = Cases()[std::get<0>(GetParam())];
    bool window = std::get<1>(GetParam());
    if (window && !testsupport::StartX()) GTEST_SKIP() << "no X server: " << testsupport::XProblem();
    ASSERT_GT(IntactLog().size(), 10u) << "the intact demo level gave no log";
    folder_ = testsupport::CopyLevel(DEMO_DIR, "badlevel");
    ASSERT_FALSE(folder_.empty());
    c.breakIt(folder_);
    if (HasFatalFailure()) return;

    testsupport::Outcome end;
    if (!window) {
        pid_t child = testsupport::Start(MESHES_PATH, folder_,
                                 {{"MESHES_PLATFORM", "headless"}, {"MESHES_FRAMES", "30"},
                                  {"MESHES_TRACE", "trace.txt"}});
        end = testsupport::Wait(child, 120);
    } else {
        if (!WindowWorks()) GTEST_SKIP() << "no GL context: the intact level shows no window";
        bool shown = RunInWindow(folder_, &end);
        EXPECT_TRUE(shown) << "the window showed no frame 10";
    }
    ASSERT_TRUE(end.exited && end.code == 0)
        << testsupport::Describe(end) << "\n" << testsupport::ReadText(folder_ + "/out.txt");

    std::string error;
    std::vector<std::string> log = testsupport::ReadLog(DRTOOL_PATH, folder_ + "/LOG.dr", &error);
    ASSERT_FALSE(log.empty()) << error;
    EXPECT_EQ(testsupport::BadStamp(DRTOOL_PATH, folder_ + "/LOG.dr"), "");
    ASSERT_EQ(log[0].rfind("_SYSTEM_ [Currient date: ", 0), 0u) << log[0];
    log.erase(log.begin());

    Expect want = c.expect();
    std::vector<std::string> intact(IntactLog().begin() + 1, IntactLog().end());
    if (want.sameAsIntact) {
        EXPECT_EQ(log, intact);
    } else if (want.whole) {
        EXPECT_EQ(log, want.inOrder);
    } else {
        EXPECT_EQ(testsupport::InOrder(log, kStartup), "") << "start-up lines out of order";
        EXPECT_EQ(testsupport::InOrder(log, want.inOrder), "") << "missing or out of order";
        EXPECT_EQ(Errors(log), want.errors);
        // Nothing is reported twice: each expected line as often as the case expects it.
        for (const std::string& line : want.inOrder)
            EXPECT_EQ(Count(log, line), Count(want.inOrder, line)) << line;
    }
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<size_t, bool>>& info) {
    return std::string(Cases()[std::get<0>(info.param)].name) +
           (std::get<1>(info.param) ? "_InAWindow" : "_Headless");
}

// Every case headless; in a window the cases whose broken file the window backend reads with
// code of its own (meshes, textures, effects, the cursor, the window size, the message box),
// and a level without cameras.
std::vector<std::tuple<size_t, bool>> Runs() {
    const std::vector<std::string> windowed = {
        "LevelFileMissing", "MeshCutShort", "MeshGarbage", "TextureAndItsStandInCutShort",
        "TextureAndItsStandInGarbage", "DefaultTexturesMissing", "EffectFileCutShort",
        "EffectFileGarbage", "SettingsWithWrongValues", "SettingsWithAHugeScreen",
        "SettingsMissing", "CursorNotACursor", "CursorCutShort", "CursorEmpty", "MeshIsAFolder",
        "TextureIsAFolder", "EffectFileIsAFolder", "CursorIsAFolder"};
    std::vector<std::tuple<size_t, bool>> runs;
    for (size_t i = 0; i < Cases().size(); ++i) {
        runs.emplace_back(i, false);
        for (const std::string& name : windowed)
            if (name == Cases()[i].name) runs.emplace_back(i, true);
    }
    return runs;
}

INSTANTIATE_TEST_SUITE_P(Broken, BadLevel, ::testing::ValuesIn(Runs()), CaseName);

// The settings box of a missing "ini.txt" is shown (recorded by the headless backend) and
// the window keeps its default size.
TEST(BadSettings, MissingFileIsReportedInItsBox) {
    std::string folder = testsupport::CopyLevel(DEMO_DIR, "badlevel_ini");
    fs::remove(folder + "/ini.txt");
    pid_t child = testsupport::Start(MESHES_PATH, folder,
                             {{"MESHES_PLATFORM", "headless"}, {"MESHES_FRAMES", "3"},
                              {"MESHES_TRACE", "trace.txt"}});
    testsupport::Outcome end = testsupport::Wait(child, 120);
    ASSERT_TRUE(end.exited && end.code == 0) << testsupport::Describe(end);
    std::string trace = testsupport::ReadText(folder + "/trace.txt");
    EXPECT_NE(trace.find("MessageBoxA(null, | File loading failed! |ini.txt | , ERROR, "),
              std::string::npos);
    EXPECT_NE(trace.find("|Zarvik|0.0.4|June 1|, 0x00CF0000, 0, 0, 640, 480)"), std::string::npos);
    if (!HasFailure()) {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
}

}  // namespace
