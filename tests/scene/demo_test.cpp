// The demo level, started headless in a copy of its working folder: a clean log with the
// expected counts, and a frame that draws every object through its effects.
#include <unistd.h>

#include <filesystem>

#include "app/korvel.h"
#include "app/program.h"
#include "console/console.h"
#include "scene/camera_manager.h"
#include "scene/effect_manager.h"
#include "scene/light_manager.h"
#include "scene/object_manager.h"
#include "tests/scene/scene_support.h"
#include "tests/support/level_run.h"

namespace fs = std::filesystem;

namespace {

class DemoLevelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        headless::Reset();
        home_ = fs::current_path();
        ASSERT_TRUE(fs::exists(fs::path(MESHES_DEMO_DIR) / "POLYGON01")) << MESHES_DEMO_DIR;
        folder_ = testsupport::CopyLevel(MESHES_DEMO_DIR, "scene_demo");
        ASSERT_FALSE(folder_.empty());
        ASSERT_EQ(chdir(folder_.c_str()), 0);
    }

    void TearDown() override
    {
        EXPECT_EQ(chdir(home_.c_str()), 0);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    fs::path home_, folder_;
};

TEST_F(DemoLevelTest, StartsWithoutErrorsAndDrawsEveryObject)
{
    Korvel* engine = new Korvel;  // never deleted, as the program's own engine
    ResetProgram(engine);
    DynamicRow settings;
    ASSERT_TRUE(StartProgram(&settings));

    std::vector<std::string> lines;
    DynamicRow& log = engine->console->log;
    for (unsigned int id = log.TopId(engine->console->logRootId); id; id = log.NextId(id)) {
        std::string text = log.iLookName(id).getChars();
        std::string tag = log.iLookName(log.TopId(id)).getChars();
        EXPECT_NE(tag, "_ERROR_") << text;
        lines.push_back(text.substr(text.find("] ") + 2));
    }
    auto logged = [&](const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    };
    EXPECT_TRUE(logged("Rendering manager inicialized with 0 errors."));
    EXPECT_TRUE(logged("Light Manager setup completed with 3 lights."));
    EXPECT_TRUE(logged("Object Manager setup completed with 0 errors and 7 objects."));
    EXPECT_TRUE(logged("[+] Camera:  side"));
    EXPECT_TRUE(logged("Effect Manager setup completed with 2 Effects."));
    EXPECT_EQ(engine->lightManager->lightCount, 3u);
    EXPECT_EQ(engine->objectManager->objectCount, 7u);
    EXPECT_EQ(engine->cameraManager->cameraCount, 3u);
    EXPECT_EQ(engine->effectManager->effectCount, 2u);

    // One frame: every subset of every object once per light and pass, and the markers of
    // two cameras and three lights.
    headless::ClearCalls();
    engine->objectManager->DrawObjects();
    EXPECT_EQ(headless::CountCalls("SetTechnique"), 3u * 7);  // the pillar two, the ring none
    EXPECT_GT(headless::CountCalls("DrawSubset"), 3u * 7);
    headless::ClearCalls();
    engine->cameraManager->DrawMarkers(&engine->device);
    EXPECT_EQ(headless::CountCalls("DrawPrimitiveUP"), 2u * 3);
}

}  // namespace
