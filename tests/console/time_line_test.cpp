// The time line and the commands of the camera and object managers.
#include "console/time_line.h"
#include "scene/camera_manager.h"
#include "scene/camera.h"
#include "scene/object_manager.h"
#include "tests/console/console_support.h"

namespace {

const char kSelected[] = "Currient camera was changed to: camera \xB9 ";

class TimeLineTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        D3DXMatrixIdentity(&world);
        cameras = new Korvel_Camera_Manager(&world, console);
        DynamicRow level;
        level.fresh();
        unsigned list = level.AddToId(level.AddToId(0, true, "POLYGON01"), true, "_CAMERAS_");
        for (const char* name : {"front", "top", "side"}) level.AddToId(list, false, name);
        cameras->ReadCameras(&level);
        objects = new Korvel_Object_Manager(&world, &device, nullptr, nullptr, console);
        timeLine = new Korvel_TimeLine(cameras, objects);
        console->SetCommandQueue(&timeLine->queue);
    }
    void WriteObjectFile(const char* path) {
        DynamicRow file;
        file.fresh();
        file.AddToId(0, true, "OBJECT");
        Zarvik_string name;
        name = path;
        ASSERT_TRUE(file.iSaveToFile(name));
    }
    // Runs one line and returns the messages it added, as "tag text".
    std::vector<std::string> Run(const char* line) {
        size_t before = Lines().size();
        Zarvik_string text;
        text = line;
        timeLine->Execute(text);
        std::vector<Line> lines = Lines();
        std::vector<std::string> added;
        for (size_t i = before; i < lines.size(); ++i)
            added.push_back(lines[i].tag + " " + Unstamped(lines[i].text));
        return added;
    }
    using Texts = std::vector<std::string>;

    D3DXMATRIX world;
    Korvel_Camera_Manager* cameras = nullptr;
    Korvel_Object_Manager* objects = nullptr;
    Korvel_TimeLine* timeLine = nullptr;
};

TEST_F(TimeLineTest, RunsTheLinesOfAFrameInOrderOnTheNext) {
    EXPECT_EQ(timeLine->queueId, 1u);
    timeLine->Process();  // nothing queued yet
    for (const char* line : {"console one", "console two", "console three"}) {
        Zarvik_string typed;
        typed = line;
        console->ExecuteLine(typed);
    }
    EXPECT_EQ(timeLine->queue.iCountParams(1), 3u);
    size_t before = Lines().size();
    timeLine->Process();
    EXPECT_EQ(timeLine->queue.iCountParams(1), 0u);
    std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), before + 3);
    EXPECT_EQ(lines[before], (Line{"[0:0] one", "_TEXT_"}));
    EXPECT_EQ(Unstamped(lines[before + 2].text), "three");

    Zarvik_string later;
    later = "console later";
    console->ExecuteLine(later);
    EXPECT_EQ(Lines().back().tag, "_COMMENT_");  // queued, not run until the next frame
    timeLine->Process();
    EXPECT_EQ(Lines().back().text, "[0:0] later");
    timeLine->Process();
    EXPECT_EQ(Lines().back().text, "[0:0] later");
}

TEST_F(TimeLineTest, EchoesTextAndIgnoresUnknownTargets) {
    EXPECT_EQ(Run("console hello world"), Texts{"_TEXT_ hello world"});
    EXPECT_EQ(Run("console"), Texts{"_TEXT_ console"});
    for (const char* line : {"Console x", "CAM_MNGR camera.next", "cam_mngr", "OBJ_MNGR show.list",
                             "nothing at all", ""})
        EXPECT_TRUE(Run(line).empty()) << line;
}

TEST_F(TimeLineTest, CameraActions) {
    const std::string set = std::string("_SYSTEM_ ") + kSelected;
    EXPECT_EQ(Run("cam_mngr camera.set 2"), Texts{set + "2"});
    EXPECT_EQ(Run("cam_mngr camera.set 9"), Texts{set + "2"});  // unchanged, still reported
    EXPECT_EQ(Run("camera_manager Camera.Set 1"), Texts{set + "1"});
    EXPECT_TRUE(Run("cam_mngr Camera.set 3").empty());
    EXPECT_TRUE(Run("cam_mngr camera.unknown").empty());

    headless::AdvanceTime(400);
    EXPECT_EQ(Run("cam_mngr camera.next"), Texts{set + "2"});
    EXPECT_EQ(Run("cam_mngr camera.next"), Texts{set + "2"});  // too soon after the switch
    headless::AdvanceTime(400);
    Run("camera_manager camera.next");
    headless::AdvanceTime(400);
    EXPECT_EQ(Run("cam_mngr camera.next"), Texts{set + "1"});  // wraps after the last

    EXPECT_EQ(Run("cam_mngr camera.speed 2.5"),
              Texts{"_SYSTEM_ Currient camera speed was changed to: 2.500000"});
    EXPECT_FLOAT_EQ(cameras->current->camera->speed, 2.5f);
}

TEST_F(TimeLineTest, ObjectActions) {
    EXPECT_TRUE(Run("obj_mngr show.list").empty());
    for (const char* f : {"a.dr", "b.dr", "c.dr"}) WriteObjectFile(f);
    EXPECT_EQ(Run("obj_mngr load.OBJECT_SIMPLE a.dr"), Texts{"_TEXT_ [O.F.] a.dr"});
    EXPECT_EQ(Run("obj_mngr load.OBJECT_SIMPLE gone.dr"),
              (Texts{"_TEXT_ [O.F.] gone.dr",
                     "_ERROR_ [!] Object File is corrupted and parameters are not loaded!"}));
    Run("object_manager load.OBJECT_SIMPLE b.dr");
    Run("obj_mngr load.OBJECT_SIMPLE c.dr");
    EXPECT_EQ(objects->objectCount, 3u);
    EXPECT_EQ(Run("obj_mngr show.list"),
              (Texts{"_SYSTEM_ id:1  visible:1  file:a.dr", "_SYSTEM_ id:2  visible:1  file:b.dr",
                     "_SYSTEM_ id:3  visible:1  file:c.dr"}));

    EXPECT_EQ(Run("obj_mngr object.visible 3 0"),
              Texts{"_SYSTEM_ [Object] id: 3  visible(changed): 0"});
    EXPECT_EQ(objects->first->next->next->visible, 0);
    EXPECT_EQ(Run("obj_mngr object.visible 3"),
              Texts{"_SYSTEM_ [Object] id: 3  visible(changed): 1"});
    EXPECT_EQ(Run("obj_mngr object.visible 2 x"),
              Texts{"_SYSTEM_ [Object] id: 2  visible(changed): 0"});
    EXPECT_TRUE(Run("obj_mngr object.visible 7 1").empty());
    EXPECT_TRUE(Run("obj_mngr object.visible").empty());
    EXPECT_EQ(Run("obj_mngr object.visible  5"), Texts{"_ERROR_ What are you mean?)"});
    EXPECT_TRUE(Run("obj_mngr Show.list").empty());
}

}  // namespace
