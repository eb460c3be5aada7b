// Camera loading, switching and steering, run through the program's loop on the headless
// backend where input is involved.
#include <cmath>

#include "app/program.h"
#include "console/console.h"
#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "tests/app/engine_support.h"

using CameraTest = EngineTest;

static Korvel_Camera* CameraNumber(Korvel_Camera_Manager* manager, unsigned int number) {
    for (CameraNode* node = manager->first; node; node = node->next)
        if (node->number == number) return node->camera;
    return nullptr;
}

static void ExpectVector(const D3DXVECTOR3& v, float x, float y, float z, const char* what) {
    EXPECT_TRUE(std::fabs(v.x - x) + std::fabs(v.y - y) + std::fabs(v.z - z) < 1e-5)
        << what << ": " << v.x << " " << v.y << " " << v.z;
}

TEST_F(CameraTest, LoadingSearchOrderKeyCountsAndDefaults) {
    LevelTree level;
    // "front": listed as a param; its separate knot higher up wins over the entry.
    unsigned int front = level.Camera("front");
    level.Key(front, "_POSITION_", {"1", "2"});             // too few: eye stays
    level.Key(front, "_MOVESPEED_", {"7", "8"});            // the first is used
    level.Key(front, "_LOOK_", {"1", "2", "3"});
    level.Key(front, "_LOOK_", {"4", "5"});                 // incomplete: the first stays
    unsigned int look = level.Knot(front, "_UP_");          // a knot child does not count
    level.Param(look, "0");
    level.Param(look, "0");
    level.Knot(look, "1");
    // "top": the entry under "_CAMERAS_" itself is a knot with the keys.
    level.Camera("unused");
    unsigned int top = level.Knot(level.cameras, "top");
    level.Key(top, "_POSITION_", {"0", "50", "0"});
    level.Key(top, "_RIGHT_", {"1", "0", "0"});
    level.Param(level.cameras, "front");  // listed twice: a second camera with the same keys
    level.Save();
    ASSERT_TRUE(Start());

    Korvel_Camera_Manager* cameras = engine->cameraManager;
    ASSERT_EQ(cameras->cameraCount, 4u);
    ASSERT_NE(cameras->current, nullptr);
    EXPECT_EQ(cameras->current->number, 1u);
    Korvel_Camera* c1 = CameraNumber(cameras, 1);
    EXPECT_STREQ(c1->name.getChars(), "front");
    ExpectVector(c1->eye, 0, 0, 0, "eye");
    ExpectVector(c1->lookAt, 1, 2, 3, "lookAt");
    ExpectVector(c1->up, 0, 1, 0, "up");
    EXPECT_FLOAT_EQ(c1->speed, 7);
    // "unused" has an empty knot: added with the defaults.
    Korvel_Camera* c2 = CameraNumber(cameras, 2);
    EXPECT_FLOAT_EQ(c2->speed, 0.1f);
    ExpectVector(c2->side, 0, 0, 1, "side");
    Korvel_Camera* c3 = CameraNumber(cameras, 3);
    ExpectVector(c3->eye, 0, 50, 0, "top eye");
    ExpectVector(c3->side, 1, 0, 0, "top side");
    EXPECT_FLOAT_EQ(CameraNumber(cameras, 4)->speed, 7);

    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &c1->eye, &c1->lookAt, &c1->up);
    EXPECT_TRUE(view == c1->viewMatrix);
    EXPECT_NEAR(c1->projectionMatrix._22 / c1->projectionMatrix._11, 4.0 / 3.0, 1e-6);

    std::vector<std::string> added;
    for (const std::string& t : LogTexts())
        if (t.rfind("[+] Camera:  ", 0) == 0) added.push_back(t);
    EXPECT_EQ(added, (std::vector<std::string>{"[+] Camera:  front", "[+] Camera:  unused",
                                        "[+] Camera:  top", "[+] Camera:  front"}));
}

TEST_F(CameraTest, TabIsDebouncedAndWraps) {
    LevelTree level;
    for (const char* name : {"a", "b", "c"}) level.Camera(name);
    level.Save();
    ASSERT_TRUE(Start());
    headless::KeyDown(VK_TAB);
    LoopStep();  // the key-down message: Tab is held from now on
    Korvel_Camera_Manager* cameras = engine->cameraManager;
    const DWORD waits[] = {0, 359, 1, 0, 360, 300, 60};
    const unsigned int want[] = {1, 1, 2, 2, 3, 3, 1};
    for (int i = 0; i < 7; ++i) {
        headless::AdvanceTime(waits[i]);
        cameras->KeyboardSteer(16.0f);
        EXPECT_EQ(cameras->current->number, want[i]) << "step " << i;
    }
    EXPECT_FALSE(cameras->SelectCamera(4));
    EXPECT_EQ(cameras->current->number, 1u);
}

class SteerTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        LevelTree level;
        unsigned int camera = level.Camera("walker");
        level.Key(camera, "_LOOK_", {"0", "0", "10"});
        level.Key(camera, "_MOVESPEED_", {"10"});
        level.Save();
        ASSERT_TRUE(Start());
        Frames(1);  // the first view also turns side to the camera's left
        camera_ = engine->cameraManager->current->camera;
    }
    // Holds `keys` (taken by the loop), then steers one pass of `ms` milliseconds.
    void Steer(std::vector<BYTE> keys, float ms) {
        for (BYTE key : keys) headless::KeyDown(key);
        while (headless::QueuedMessages()) LoopStep();
        engine->cameraManager->KeyboardSteer(ms);
        for (BYTE key : keys) headless::KeyUp(key);
        while (headless::QueuedMessages()) LoopStep();
    }
    Korvel_Camera* camera_ = nullptr;
};

TEST_F(SteerTest, KeysMoveByTheMeasuredPass) {
    ExpectVector(camera_->side, -1, 0, 0, "side");
    Steer({'W'}, 12.0f);
    ExpectVector(camera_->eye, 0, 0, 2, "12 ms forward");
    Steer({VK_UP, 'W'}, 1.0f);  // both keys move once; the factor has a floor of 0.05
    ExpectVector(camera_->eye, 0, 0, 2.5f, "1 ms forward");
    ExpectVector(camera_->lookAt, 0, 0, 12.5f, "look-at follows");
    Steer({VK_UP, VK_DOWN}, 30.0f);
    ExpectVector(camera_->eye, 0, 0, 2.5f, "forward and back");
    Steer({'A'}, 6.0f);
    ExpectVector(camera_->eye, -1, 0, 2.5f, "left");
    Steer({VK_RIGHT}, 6.0f);
    ExpectVector(camera_->eye, 0, 0, 2.5f, "right");

    // Looking 45 degrees up, left Shift flies along the view; walking ignores the height.
    camera_->lookAt = camera_->eye + D3DXVECTOR3(0, 1, 1);
    Steer({VK_LSHIFT}, 60.0f);
    EXPECT_NEAR(camera_->eye.y, 10 / std::sqrt(2.0f), 1e-4);
    EXPECT_NEAR(camera_->eye.z, 2.5f + 10 / std::sqrt(2.0f), 1e-4);

    // One idle pass measures its own time: 12 ms of frame time moves 2 units.
    headless::SetFrameStep(12);
    camera_->lookAt = camera_->eye + D3DXVECTOR3(0, 0, 1);
    float z = camera_->eye.z;
    headless::KeyDown('W');
    Frames(1);
    EXPECT_NEAR(camera_->eye.z, z + 2, 1e-4);
}

TEST_F(SteerTest, MouseTurnsAThirdOfADegreePerPixel) {
    headless::MouseMove(100, 100);
    Frames(1);
    headless::MouseButton(true, true);
    Frames(1);
    EXPECT_NEAR(camera_->lookAt.x, 0, 1e-6);
    headless::MouseMove(103, 100);
    Frames(1);
    EXPECT_NEAR(std::atan2(camera_->lookAt.x, camera_->lookAt.z) * 180 / M_PI, 1.0, 1e-4);
    EXPECT_NEAR(camera_->lookAt.y, 0, 1e-5);
    headless::MouseMove(103, 97);  // up: the view turns up, the distance stays
    Frames(1);
    EXPECT_GT(camera_->lookAt.y, 0.17f);
    D3DXVECTOR3 view = camera_->lookAt - camera_->eye;
    EXPECT_NEAR(std::sqrt(view.x * view.x + view.y * view.y + view.z * view.z), 10, 1e-4);

    // With the console shown neither the keys nor the mouse steer.
    D3DXVECTOR3 look = camera_->lookAt;
    engine->console->visible = true;
    headless::MouseMove(200, 200);
    Steer({'W'}, 12.0f);
    Frames(1);
    EXPECT_TRUE(camera_->lookAt == look);
    ExpectVector(camera_->eye, 0, 0, 0, "eye with the console shown");
}

TEST_F(SteerTest, ZeroViewDirectionStaysFinite) {
    camera_->lookAt = camera_->eye;
    headless::MouseButton(true, true);
    Frames(1);
    Steer({'W', 'A', VK_LSHIFT}, 30.0f);
    headless::MouseMove(50, 80);
    Frames(2);
    for (const D3DXVECTOR3& v : {camera_->eye, camera_->lookAt, camera_->side}) {
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
    }
    ExpectVector(camera_->eye, 0, 0, 0, "eye");
    ExpectVector(camera_->lookAt, 0, 0, 0, "look-at");
}

TEST_F(CameraTest, ButtonHeldAtTheFirstPassDoesNotTurn) {
    LevelTree level;
    level.Key(level.Camera("one"), "_LOOK_", {"0", "0", "10"});
    level.Save();
    ASSERT_TRUE(Start());
    headless::MouseMove(300, 200);
    headless::MouseButton(true, true);
    Frames(1);
    ExpectVector(engine->cameraManager->current->camera->lookAt, 0, 0, 10, "look-at");
}
