// Editing a level while it runs, on the headless backend and its virtual clock: which change
// reloads what, with which messages, and that nothing happens while nothing changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/level_watch.h"
#include "app/program.h"
#include "console/console.h"
#include "console/time_line.h"
#include "render/render_manager.h"
#include "scene/camera_manager.h"
#include "scene/effect_manager.h"
#include "scene/object_manager.h"
#include "scene/static_object.h"
#include "tests/app/engine_support.h"
#include "tools/drtool/tree_records.h"

namespace {

// A one-quad .x mesh with one material and, when given, its texture.
std::string Mesh(const std::string& texture, float size = 1.0f) {
    std::string s = std::to_string(size);
    std::string x = "xof 0303txt 0032\nMesh quad {\n 4;\n 0;0;0;, 0;" + s + ";0;, " + s + ";" + s +
                    ";0;, " + s + ";0;0;;\n 2;\n 3;0,1,2;, 3;0,2,3;;\n"
                    " MeshMaterialList {\n  1;\n  2;\n  0,0;\n  Material {\n   0.5;0.5;0.5;1;;\n"
                    "   10;\n   0.2;0.2;0.2;;\n   0;0;0;;\n";
    if (!texture.empty()) x += "   TextureFilename { \"" + texture + "\"; }\n";
    return x + "  }\n }\n}\n";
}

std::string Effect(const std::string& colour) {
    return "float4 OutColour = float4(" + colour + ");\n"
           "technique ald_Phong { pass P0 { } }\n"
           "technique ald_Phong_alpha { pass P0 { } }\n";
}

const char kBrokenEffect[] = "float4 OutColour = float4(1, 0, 0, 1);\ntechnique ald_Phong { pass P0 {\n";

const char kLevel[] =
    "POLYGON01 {\n"
    "  _LIGHTS_ { lamp }\n"
    "  lamp { _POSITION_ { 0 10 0 } }\n"
    "  _OBJECTS_ {\n"
    "    one { _OBJECT_TYPE_ { _OBJECT_SIMPLE_ } _OBJECT_PATH_ { \"objects\\\\one.dr\" }\n"
    "          _POSITION_ { 1 2 3 } _ROTATION_ { 0 90 0 } }\n"
    "    two { _OBJECT_TYPE_ { _OBJECT_SIMPLE_ } _OBJECT_PATH_ { \"objects\\\\two.dr\" }\n"
    "          _POSITION_ { 0 0 0 } _ROTATION_ { 0 0 0 } }\n"
    "  }\n"
    "  _CAMERAS_ { front back }\n"
    "  front { _POSITION_ { 0 0 -10 } }\n"
    "  back { _POSITION_ { 0 0 10 } }\n"
    "  _EFFECTS_ { plain tinted }\n"
    "  plain { _FILE_FX_ { \"fx\\\\plain.fx\" } _FILE_ { none } }\n"
    "  tinted { _FILE_FX_ { \"fx\\\\tinted.fx\" } _FILE_ { none } }\n"
    "}\n";

class ReloadTest : public EngineTest {
protected:
    void WriteTree(const std::string& path, const std::string& text) {
        drtool::ParseResult parsed = drtool::ParseText(text.data(), text.size());
        ASSERT_TRUE(parsed.ok) << path << ": line " << parsed.line << ": " << parsed.error;
        WriteFile(path, drtool::WriteRecords(parsed.records));
    }
    void RemoveTree(const std::string& path) { ASSERT_EQ(std::remove(path.c_str()), 0); }
    void WriteBmp(const std::string& path, unsigned char blue) {
        const unsigned char bmp[58] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                       1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 4, 0, 0, 0,
                                       0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, blue};
        WriteFile(path, std::string(reinterpret_cast<const char*>(bmp), sizeof(bmp)));
    }
    // A level of two objects (one textured), two cameras and two effects, all on disk.
    void MakeLevel() {
        WriteDefaults();
        WriteBmp("textures/_def/def.bmp", 9);
        WriteBmp("textures/wood.bmp", 1);
        WriteFile("meshes/one.x", Mesh("wood.bmp"));
        WriteFile("meshes/two.x", Mesh(""));
        WriteTree("objects/one.dr", "one { _MODEL_FILE_ { \"meshes\\\\one.x\" } _FX_ { tinted } }");
        WriteTree("objects/two.dr", "two { _MODEL_FILE_ { \"meshes\\\\two.x\" } _FX_ { plain } }");
        WriteFile("fx/plain.fx", Effect("1, 1, 1, 1"));
        WriteFile("fx/tinted.fx", Effect("1, 0, 0, 1"));
        WriteTree("POLYGON01", kLevel);
    }
    bool StartWatching() {
        if (!Start()) return false;
        Frames(2);
        mark = Log().size();
        return engine->levelWatch != nullptr;
    }
    // Lets the watcher look twice (a change is acted on once it has looked the same twice).
    void LetTheWatcherLook() {
        for (int i = 0; i < 2; ++i) {
            headless::AdvanceTime(Korvel_Level_Watch::kIntervalMs);
            Frames(1);
        }
    }
    // Log lines since the mark, as "TAG text" without stamps.
    std::vector<std::string> NewLines() {
        std::vector<LogLine> all = Log();
        std::vector<std::string> texts = LogTexts();
        std::vector<std::string> out;
        for (size_t i = mark; i < all.size(); ++i) out.push_back(all[i].tag + " " + texts[i]);
        mark = all.size();
        return out;
    }
    EffectNode* EffectNumbered(unsigned int number) {
        for (EffectNode* n = engine->effectManager->first; n; n = n->next)
            if (n->number == number) return n;
        return nullptr;
    }
    ObjectNode* ObjectWithId(unsigned int id) {
        for (ObjectNode* n = engine->objectManager->first; n; n = n->next)
            if (n->id == id) return n;
        return nullptr;
    }
    size_t EffectCreations(const std::string& file) {
        size_t n = 0;
        for (const headless::Call& c : headless::CallsOf("D3DXCreateEffectFromFileA"))
            if (c.args.size() > 1 && c.args[1] == file) ++n;
        return n;
    }
    void Type(const char* line) {
        Zarvik_string text;
        text = line;
        engine->console->ExecuteLine(text);
    }

    size_t mark = 0;
};

using Lines = std::vector<std::string>;

TEST_F(ReloadTest, AnEffectFileIsCreatedAgainInItsPlaceOrKeptWhenItFails) {
    MakeLevel();
    ASSERT_TRUE(StartWatching());
    ID3DXEffect* plain = EffectNumbered(1)->effect;
    ID3DXEffect* before = EffectNumbered(2)->effect;

    WriteFile("fx/tinted.fx", Effect("0, 0, 1, 1"));
    headless::AdvanceTime(Korvel_Level_Watch::kIntervalMs);
    Frames(1);
    EXPECT_EQ(NewLines(), Lines{}) << "a change is acted on once it has looked the same twice";
    headless::AdvanceTime(Korvel_Level_Watch::kIntervalMs);
    Frames(1);
    EXPECT_EQ(NewLines(), Lines{"_SYSTEM_ [~] Reloaded: fx\\tinted.fx"});
    EffectNode* tinted = EffectNumbered(2);
    ASSERT_NE(tinted, nullptr);
    EXPECT_NE(tinted->effect, before);
    EXPECT_EQ(EffectNumbered(1)->effect, plain) << "only the changed effect";
    EXPECT_EQ(engine->effectManager->first->next, tinted) << "in its place in the list";
    headless::EffectInfo info;
    ASSERT_TRUE(headless::GetEffectInfo(tinted->effect, info));
    EXPECT_EQ(info.values["OutColour"], (std::vector<float>{0, 0, 1, 1}));
    Frames(1);
    EXPECT_EQ(headless::CountCalls("Begin", headless::NameOf(tinted->effect)), 1u)
        << "objects draw with the new effect";

    // A rewrite that does not compile keeps the effect in use and says why on stderr.
    WriteFile("fx/tinted.fx", kBrokenEffect);
    ::testing::internal::CaptureStderr();
    LetTheWatcherLook();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(NewLines(), Lines{"_ERROR_ [!] Reload failed: fx\\tinted.fx"});
    EXPECT_EQ(EffectNumbered(2)->effect, tinted->effect);
    EXPECT_NE(err.find("fx\\tinted.fx"), std::string::npos) << err;
    size_t where = err.find("fx\\tinted.fx(2,");
    EXPECT_NE(where, std::string::npos) << err;   // where, in D3DX's shape
    EXPECT_NE(err.find("): error X", where), std::string::npos) << err;
    EXPECT_EQ(err.find("fx\\tinted.fx(2,", where + 1), std::string::npos)
        << "the messages are printed once: " << err;

    // Nothing more happens until the file changes again.
    size_t creations = EffectCreations("fx\\tinted.fx");
    LetTheWatcherLook();
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{});
    EXPECT_EQ(EffectCreations("fx\\tinted.fx"), creations);
    WriteFile("fx/tinted.fx", Effect("0, 1, 0, 1"));
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{"_SYSTEM_ [~] Reloaded: fx\\tinted.fx"});
}

TEST_F(ReloadTest, AnIncludedFileReloadsTheEffectsIncludingIt) {
    MakeLevel();
    WriteFile("fx/shared/common.fxh", "float Gain = 1.0;\n#include \"deeper.fxh\"\n");
    WriteFile("fx/shared/deeper.fxh", "float Bias = 0.0;\n");
    WriteFile("fx/tinted.fx", "  #  include \"shared/common.fxh\"\n" + Effect("1, 0, 0, 1"));
    EXPECT_EQ(EffectIncludes("fx\\tinted.fx"),
              (std::vector<std::string>{"fx\\shared/common.fxh", "fx\\shared/deeper.fxh"}));
    ASSERT_TRUE(StartWatching());

    WriteFile("fx/shared/deeper.fxh", "float Bias = 0.5;\n");
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{"_SYSTEM_ [~] Reloaded: fx\\tinted.fx"});
}

TEST_F(ReloadTest, ATextureAnEffectNamesReloadsTheEffectOnceWrittenOrEdited) {
    MakeLevel();
    WriteFile("fx/tinted.fx", "texture Stone < string ResourceName = \"stone.bmp\"; >;\n" +
                                  Effect("1, 0, 0, 1"));
    ASSERT_TRUE(StartWatching());
    // Every path tried is watched: the texture written later is loaded.
    EXPECT_EQ(EffectNumbered(2)->binding.watched,
              (std::vector<std::string>{"stone.bmp", "textures\\stone.bmp", "fx\\stone.bmp"}));

    WriteBmp("fx/stone.bmp", 5);
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{"_SYSTEM_ [~] Reloaded: fx\\tinted.fx"});
    EXPECT_EQ(EffectNumbered(2)->binding.watched.back(), "fx\\stone.bmp");
    WriteBmp("fx/stone.bmp", 6);
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{"_SYSTEM_ [~] Reloaded: fx\\tinted.fx"});
}

TEST_F(ReloadTest, AnEffectThatFailedAtStartJoinsTheListWhenFixed) {
    MakeLevel();
    WriteFile("fx/plain.fx", kBrokenEffect);
    ASSERT_TRUE(StartWatching());
    EXPECT_EQ(EffectNumbered(1), nullptr);
    ASSERT_NE(EffectNumbered(2), nullptr);

    WriteFile("fx/plain.fx", Effect("1, 1, 1, 1"));
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{"_SYSTEM_ [~] Reloaded: fx\\plain.fx"});
    ASSERT_NE(EffectNumbered(1), nullptr);
    EXPECT_EQ(engine->effectManager->first, EffectNumbered(1)) << "load order kept";
    EXPECT_EQ(engine->effectManager->failed, nullptr);
    D3DXMATRIX view, projection;
    Zarvik_string name;
    name = "plain";
    EXPECT_EQ(engine->effectManager->FindEffect(name, &view, &projection), EffectNumbered(1)->effect);
}

TEST_F(ReloadTest, AMeshOrTextureLoadsAgainTheObjectsUsingIt) {
    MakeLevel();
    ASSERT_TRUE(StartWatching());
    Type("obj_mngr object.visible 1 0");
    Frames(1);
    NewLines();
    Object_Super* one = ObjectWithId(1)->object;
    Object_Super* two = ObjectWithId(2)->object;

    WriteBmp("textures/wood.bmp", 200);
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{"_TEXT_ [O.F.] objects\\one.dr"});
    ObjectNode* node = ObjectWithId(1);
    EXPECT_NE(node->object, one);
    EXPECT_EQ(ObjectWithId(2)->object, two);
    EXPECT_EQ(node->visible, 0) << "id, visibility and placement stay";
    EXPECT_EQ(node->object->position, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(node->object->rotation, D3DXVECTOR3(0, 90, 0));
    EXPECT_EQ(engine->objectManager->objectCount, 2u);

    // A broken mesh reports as at start-up; mending it brings the object back.
    WriteFile("meshes/two.x", "xof 0303txt 0032\nMesh {");
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), (Lines{"_TEXT_ [O.F.] objects\\two.dr", "_ERROR_ [M.F] cannot find: meshes\\two.x"}));
    EXPECT_EQ(static_cast<Static_CObject*>(ObjectWithId(2)->object)->mesh, nullptr);
    WriteFile("meshes/two.x", Mesh("", 2.0f));
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{"_TEXT_ [O.F.] objects\\two.dr"});
    EXPECT_NE(static_cast<Static_CObject*>(ObjectWithId(2)->object)->mesh, nullptr);
}

TEST_F(ReloadTest, TheDefaultTextureIsWatchedForTheObjectsFallingBackToIt) {
    MakeLevel();
    WriteFile("meshes/one.x", Mesh("nowhere.bmp"));
    ASSERT_TRUE(StartWatching());
    Static_CObject* one = static_cast<Static_CObject*>(ObjectWithId(1)->object);
    // Every path the lookup tried is watched: a texture fixed after failing is loaded.
    EXPECT_EQ(one->textureFiles, (std::vector<std::string>{"nowhere.bmp", "textures\\nowhere.bmp",
                                                            "textures\\_def\\def.bmp"}));

    WriteBmp("textures/_def/def.bmp", 77);
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{"_TEXT_ [O.F.] objects\\one.dr"});
    WriteBmp("textures/nowhere.bmp", 33);
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{"_TEXT_ [O.F.] objects\\one.dr"});
    one = static_cast<Static_CObject*>(ObjectWithId(1)->object);
    EXPECT_EQ(one->textureFiles, (std::vector<std::string>{"nowhere.bmp", "textures\\nowhere.bmp"}));
}

// The start-up messages of the level, after the console's own line.
static Lines StartupLines(const Lines& all) {
    return Lines(all.begin() + 1, all.end());
}

TEST_F(ReloadTest, AnObjectOrLevelFileStartsTheLevelAgain) {
    MakeLevel();
    ASSERT_TRUE(Start());
    Lines startup;
    for (size_t i = 0; i < Log().size(); ++i) startup.push_back(Log()[i].tag + " " + LogTexts()[i]);
    Frames(2);
    mark = Log().size();
    Korvel_Console* console = engine->console;
    Korvel_TimeLine* timeLine = engine->timeLine;
    Type("cam_mngr camera.set 2");
    console->history.AddToId(1, false, "cam_mngr camera.set 2");  // as Enter keeps it
    Frames(1);
    NewLines();
    ASSERT_EQ(engine->cameraManager->current->number, 2u);
    size_t live = headless::LiveObjects();
    unsigned int history = console->history.lastId;

    WriteTree("objects/two.dr", "two { _MODEL_FILE_ { \"meshes\\\\two.x\" } }");
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), StartupLines(startup)) << "the start-up's messages, appended";
    EXPECT_EQ(engine->console, console);
    EXPECT_EQ(engine->timeLine, timeLine);
    EXPECT_EQ(console->commandQueue, &timeLine->queue);
    EXPECT_EQ(timeLine->cameraManager, engine->cameraManager);
    EXPECT_EQ(timeLine->objectManager, engine->objectManager);
    EXPECT_EQ(engine->cameraManager->current->number, 2u) << "the camera number stays";
    EXPECT_EQ(static_cast<Static_CObject*>(ObjectWithId(2)->object)->fxCount, 0u) << "new object file read";
    EXPECT_EQ(headless::LiveObjects(), live) << "the old scene was released";
    EXPECT_EQ(console->history.lastId, history) << "the history stays";
    EXPECT_EQ(console->history.iLookName(history), "cam_mngr camera.set 2");

    // Commands reach the new managers (past the camera switch's pause).
    headless::AdvanceTime(400);
    Type("cam_mngr camera.next");
    Frames(1);
    EXPECT_EQ(engine->cameraManager->current->number, 1u);

    // A level that lost the camera starts with its first one.
    Type("cam_mngr camera.set 2");
    Frames(1);
    std::string level = kLevel;
    level.replace(level.find("_CAMERAS_ { front back }"), 24, "_CAMERAS_ { front }");
    WriteTree("POLYGON01", level);
    NewLines();
    LetTheWatcherLook();
    Lines again = NewLines();
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again.front(), "_SYSTEM_ [>>>] Initializing rendering manager : ");
    EXPECT_EQ(engine->cameraManager->cameraCount, 1u);
    EXPECT_EQ(engine->cameraManager->current->number, 1u);
    EXPECT_EQ(headless::LiveObjects(), live);
}

TEST_F(ReloadTest, AnObjectFileMissingAtStartStartsTheLevelOnceWritten) {
    MakeLevel();
    RemoveTree("objects/two.dr");
    ASSERT_TRUE(StartWatching());
    EXPECT_EQ(engine->objectManager->objectCount, 1u);
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{});

    WriteTree("objects/two.dr", "two { _MODEL_FILE_ { \"meshes\\\\two.x\" } }");
    LetTheWatcherLook();
    Lines again = NewLines();
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again.front(), "_SYSTEM_ [>>>] Initializing rendering manager : ");
    EXPECT_EQ(engine->objectManager->objectCount, 2u);
    EXPECT_EQ(engine->objectManager->errorCount, 0u);
}

TEST_F(ReloadTest, TheConsoleReloadStartsTheLevelAgainChangedOrNot) {
    MakeLevel();
    ASSERT_TRUE(Start());
    Lines startup;
    for (size_t i = 0; i < Log().size(); ++i) startup.push_back(Log()[i].tag + " " + LogTexts()[i]);
    mark = Log().size();
    Korvel_Object_Manager* objects = engine->objectManager;
    size_t live = headless::LiveObjects();

    Type("reload");
    EXPECT_EQ(engine->objectManager, objects) << "not inside the console's own call";
    Frames(1);
    Lines expected = {"_TEXT_ reload"};
    Lines rest = StartupLines(startup);
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(NewLines(), expected);
    EXPECT_EQ(headless::LiveObjects(), live);
    for (int i = 0; i < 3; ++i) {
        Type("reload");
        Frames(1);
    }
    EXPECT_EQ(headless::LiveObjects(), live) << "nothing leaks across reloads";
}

TEST_F(ReloadTest, WatchingOffIgnoresChangesButNotTheReloadCommand) {
    MakeLevel();
    setenv("MESHES_WATCH", "0", 1);
    bool started = Start();
    unsetenv("MESHES_WATCH");
    ASSERT_TRUE(started);
    EXPECT_EQ(engine->levelWatch, nullptr);
    mark = Log().size();
    WriteFile("fx/tinted.fx", Effect("0, 0, 1, 1"));
    LetTheWatcherLook();
    EXPECT_EQ(NewLines(), Lines{});
    Type("reload");
    Frames(1);
    EXPECT_GT(NewLines().size(), 10u);
}

TEST_F(ReloadTest, ChecksArePacedAndReadNothing) {
    MakeLevel();
    ASSERT_TRUE(StartWatching());
    Korvel_Level_Watch* watch = engine->levelWatch;
    // Level, two object files, two meshes, one texture with the path tried before it, two
    // effects.
    EXPECT_EQ(watch->files.size(), 9u);
    Korvel_Level_Changes changes;
    watch->timer.Reset();
    WriteFile("fx/plain.fx", Effect("0, 0, 0, 1"));
    headless::AdvanceTime(Korvel_Level_Watch::kIntervalMs - 1);
    EXPECT_FALSE(watch->Check(&changes));
    headless::AdvanceTime(1);
    EXPECT_FALSE(watch->Check(&changes)) << "first sight";
    // Still being written: the next look sees it different again and waits on.
    WriteFile("fx/plain.fx", Effect("0, 0, 0, 0.5"));
    headless::AdvanceTime(Korvel_Level_Watch::kIntervalMs);
    EXPECT_FALSE(watch->Check(&changes));
    headless::AdvanceTime(Korvel_Level_Watch::kIntervalMs);
    ASSERT_TRUE(watch->Check(&changes));
    EXPECT_EQ(changes.effects, std::vector<unsigned int>{1});
    EXPECT_EQ(changes.files, std::vector<std::string>{"fx\\plain.fx"});
    EXPECT_FALSE(changes.restart);
}

// A watched run in which no file changes makes the same calls and writes the same log as a
// run that does not watch.
TEST_F(ReloadTest, NothingChangesWhileNoFileChanges) {
    MakeLevel();
    auto run = [this](bool watch) {
        headless::Reset();
        headless::SetFrameStep(16);
        SYSTEMTIME noon = {2008, 6, 0, 1, 12, 0, 0, 0};
        headless::SetSystemTime(noon);  // the log's first line carries the date
        if (!watch) setenv("MESHES_WATCH", "0", 1);
        delete engine;
        engine = new Korvel;
        EXPECT_TRUE(Start());
        unsetenv("MESHES_WATCH");
        EXPECT_EQ(engine->levelWatch != nullptr, watch);
        Frames(120);  // about two seconds: several looks at the files
        Lines out;
        for (const headless::Call& c : headless::Calls()) out.push_back(c.Text());
        for (const LogLine& l : Log()) out.push_back(l.tag + " " + l.text);
        return out;
    };
    Lines unwatched = run(false);
    Lines watched = run(true);
    EXPECT_EQ(watched.size(), unwatched.size());
    EXPECT_TRUE(watched == unwatched);
}

}  // namespace
