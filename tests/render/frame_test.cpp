// Device creation, the frame's calls in order, the info text and the per-light object passes.
#include "app/program.h"
#include "console/console.h"
#include "render/render_manager.h"
#include "scene/camera_manager.h"
#include "scene/light_manager.h"
#include "scene/object_manager.h"
#include "scene/object_super.h"
#include "tests/app/engine_support.h"

using FrameTest = EngineTest;

// "method(args)" of every recorded call to `object`.
static std::vector<std::string> CallsTo(const std::string& object) {
    std::vector<std::string> out;
    for (const headless::Call& call : headless::Calls()) {
        if (call.object != object) continue;
        std::string text = call.method + "(";
        for (size_t i = 0; i < call.args.size(); ++i) text += (i ? ", " : "") + call.args[i];
        out.push_back(text + ")");
    }
    return out;
}

static std::vector<headless::TextDraw> Draws(ID3DXFont* font) {
    headless::FontInfo info;
    EXPECT_TRUE(headless::GetFontInfo(font, info));
    return info.draws;
}

TEST_F(FrameTest, DevicePresentParametersAndStatesInOrder) {
    WriteFile("ini.txt", "[FILLMODE]=2\n[MULTISAMPLEANTIALIAS]=1\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(headless::CallsOf("Direct3DCreate9").at(0).args.at(0), "32");
    std::vector<std::string> args = headless::CallsOf("CreateDevice", "d3d").at(0).args;
    EXPECT_EQ(args.at(0) + " " + args.at(1) + " " + args.at(3), "0 1 0x00000020");
    EXPECT_EQ(args.at(4),
              "BackBufferWidth=0 BackBufferHeight=0 BackBufferFormat=0 BackBufferCount=0 "
              "MultiSampleType=0 MultiSampleQuality=0 SwapEffect=1 hDeviceWindow=null Windowed=1 "
              "EnableAutoDepthStencil=1 AutoDepthStencilFormat=75 Flags=0x00000000 "
              "FullScreen_RefreshRateInHz=0 PresentationInterval=0x80000000");
    std::vector<std::string> calls = CallsTo("device1");
    calls.resize(10);
    EXPECT_EQ(calls, (std::vector<std::string>{
        "SetRenderState(7, 1)", "SetRenderState(176, 1)", "SetRenderState(8, 2)",
        "SetRenderState(161, 1)", "SetRenderState(139, 4294967295)",
        "SetRenderState(22, 2147483647)", "SetSamplerState(0, 6, 3)", "SetSamplerState(0, 5, 3)",
        "SetSamplerState(0, 7, 3)", "SetRenderState(137, 1)"}));
}

TEST_F(FrameTest, CallOrderWithTheConsoleHiddenAndShown) {
    WriteDefaults();
    LevelTree level;
    level.Key(level.Camera("only"), "_LOOK_", {"0", "0", "1"});
    level.Save();
    ASSERT_TRUE(Start());
    Korvel_Render_Manager* render = engine->renderManager;
    std::string info = headless::NameOf(render->infoFont);
    headless::ClearCalls();
    Frames(1);
    std::vector<std::string> order;
    for (const headless::Call& call : headless::Calls())
        if (call.object == "device1" || call.object == info) order.push_back(call.method);
    EXPECT_EQ(order, (std::vector<std::string>{
        "Clear", "BeginScene", "SetRenderState", "DrawTextA", "DrawTextA", "DrawTextA",
        "DrawTextA", "SetTexture", "SetMaterial", "SetFVF", "SetTexture", "SetTransform",
        "SetTransform", "SetTransform", "EndScene", "Present"}));
    std::vector<std::string> calls = CallsTo("device1");
    EXPECT_EQ(calls[0], "Clear(0, null, 0x00000003, 0xFF6482AA, 1, 0)");
    EXPECT_EQ(calls[2], "SetRenderState(8, 3)");
    EXPECT_EQ(calls[3], "SetTexture(0, " + headless::NameOf(*render->whiteTexture) + ")");
    EXPECT_EQ(calls[6], "SetTexture(0, " + headless::NameOf(*render->redTexture) + ")");
    EXPECT_EQ(calls[7].substr(0, 17) + calls[8].substr(0, 15) + calls[9].substr(0, 15),
              "SetTransform(256,SetTransform(2,SetTransform(3,");

    engine->console->visible = true;
    headless::ClearCalls();
    Frames(1);
    calls = CallsTo("device1");
    EXPECT_EQ(calls[3], "SetRenderState(8, 2)");  // wireframe instead of the info text
    EXPECT_EQ(headless::CountCalls("DrawTextA", info), 0u);
    EXPECT_GT(headless::CountCalls("DrawPrimitive", "device1"), 0u);  // the console panel
    EXPECT_EQ(calls[calls.size() - 2] + calls.back(), "EndScene()Present(null, null, null, null)");
}

TEST_F(FrameTest, InfoTextBytesAndPlaces) {
    LevelTree level;
    unsigned int camera = level.Camera("one");
    level.Key(camera, "_POSITION_", {"-0.5", "12.9", "-7.99"});
    level.Key(camera, "_LOOK_", {"0.2", "0", "100.6"});
    level.Save();
    ASSERT_TRUE(Start());
    Frames(1);
    std::vector<headless::TextDraw> draws = Draws(engine->renderManager->infoFont);
    const char* texts[] = {"\xD2\xE5\xEA\xF3\xF8\xE0\xFF \xEA\xE0\xEC\xE5\xF0\xE0 : 1",
                           "\xD7\xE8\xF1\xEB\xEE \xEE\xE1\xFA\xE5\xEA\xF2\xEE\xE2 : 0",
                           "\xCA\xE0\xEC\xE5\xF0\xE0 \xE2 : Position 0 12 -7  Rotation 0 0 100",
                           "0"};
    const int tops[] = {5, 15, 25, 45};
    ASSERT_EQ(draws.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(draws[i].text, texts[i]);
        EXPECT_EQ(draws[i].rect.left * 1000 + draws[i].rect.top, 5000 + tops[i]);
        EXPECT_EQ(draws[i].rect.right + draws[i].rect.bottom, 0);
        EXPECT_EQ(draws[i].format, 0x100u);
        EXPECT_EQ(draws[i].colour, 0xFFFFFFFFu);
    }
}

TEST_F(FrameTest, FramesPerSecondWindow) {
    ASSERT_TRUE(Start());
    headless::SetFrameStep(100);
    Frames(13);
    std::vector<std::string> shown, want = {"0"};
    for (const headless::TextDraw& draw : Draws(engine->renderManager->infoFont))
        if (draw.rect.top == 45) shown.push_back(draw.text);
    // The first pass closes a window at once; the next closes after 11 passes of 100 ms.
    want.insert(want.end(), 11, "1");
    want.push_back("11");
    EXPECT_EQ(shown, want);
}

TEST_F(FrameTest, LevelWithoutCamerasStillDrawsAndSteers) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(engine->cameraManager->current, nullptr);
    headless::KeyDown('W');
    headless::KeyDown(VK_TAB);
    headless::MouseButton(true, true);
    headless::MouseMove(40, 40);
    headless::ClearCalls();
    Frames(3);
    EXPECT_EQ(headless::CountCalls("SetTransform", "device1"), 0u);  // the device keeps its view
    std::vector<headless::TextDraw> draws = Draws(engine->renderManager->infoFont);
    ASSERT_EQ(draws.size(), 9u);  // camera number 0, object count, fps: no position line
    EXPECT_EQ(draws[0].text, "\xD2\xE5\xEA\xF3\xF8\xE0\xFF \xEA\xE0\xEC\xE5\xF0\xE0 : 0");
}

class CountingObject : public Object_Super {
public:
    explicit CountingObject(std::string* draws) : draws_(draws) {}
    void Draw(unsigned int light, bool first) override { *draws_ += std::to_string(light) + (first ? "F " : "- "); }
    std::string* draws_;
};

TEST_F(FrameTest, ObjectsOncePerLightVisibleOnly) {
    std::string draws;
    Korvel_Light_Manager lights(nullptr, nullptr);
    Korvel_Object_Manager objects(nullptr, nullptr, nullptr, &lights, nullptr);
    for (int i = 2; i >= 0; --i) {  // the manager owns and releases them
        objects.first = new ObjectNode{0, new CountingObject(&draws), Zarvik_string(), i != 1, objects.first};
    }
    objects.DrawObjects();
    EXPECT_EQ(draws, "");  // no lights: nothing drawn
    lights.lightCount = 2;
    objects.DrawObjects();
    EXPECT_EQ(draws, "1F 1F 2- 2- ");
}
