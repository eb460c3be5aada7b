// Wire markers: the line lists the free functions draw, and the markers of cameras and lights.
#include <algorithm>
#include <cstring>

#include "console/console.h"
#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "scene/light.h"
#include "scene/light_manager.h"
#include "scene/markers.h"
#include "tests/scene/scene_support.h"

using ::testing::ElementsAre;

namespace {

class MarkersTest : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        device->BeginScene();  // vertices drawn from memory are recorded inside a scene
    }

    // The marker lines drawn since the last ClearCalls, as "x y z - x y z", with the
    // primitive count and stride checked on the way.
    std::vector<std::string> Lines()
    {
        std::vector<std::string> lines;
        for (const headless::Call& call : headless::CallsOf("DrawPrimitiveUP")) {
            EXPECT_EQ(call.args.at(0), "2");  // D3DPT_LINELIST
            EXPECT_EQ(call.args.at(2), "28");
            size_t count = std::stoul(call.args.at(1));
            EXPECT_EQ(call.data.size(), count * 2 * sizeof(MarkerVertex));
            std::vector<MarkerVertex> v(call.data.size() / sizeof(MarkerVertex));
            memcpy(v.data(), call.data.data(), v.size() * sizeof(MarkerVertex));
            for (size_t i = 0; i + 1 < v.size(); i += 2) lines.push_back(Text(v[i]) + " - " + Text(v[i + 1]));
            for (const MarkerVertex& m : v) {
                EXPECT_EQ(m.r, 0.0f);
                EXPECT_EQ(m.g, 0.0f);
                EXPECT_EQ(m.b, 0.0f);
                EXPECT_EQ(m.a, 1.0f);
            }
        }
        return lines;
    }

    static std::string Text(const MarkerVertex& v)
    {
        char buffer[96];
        snprintf(buffer, sizeof(buffer), "%g %g %g", v.x, v.y, v.z);
        return buffer;
    }
};

TEST_F(MarkersTest, LineAndBoxAreBlackLineLists)
{
    headless::ClearCalls();
    DrawLine3D(D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(4, 5, 6), &device);
    DrawBox(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 2, 3), &device);
    EXPECT_THAT(Lines(), ElementsAre("1 2 3 - 4 5 6",
                                     "0 0 0 - 1 0 0", "1 0 0 - 1 2 0", "1 2 0 - 0 2 0",
                                     "0 2 0 - 0 0 0", "0 0 0 - 0 0 3", "0 0 3 - 0 2 3",
                                     "0 2 3 - 0 2 0", "1 0 0 - 1 0 3", "1 0 3 - 0 0 3",
                                     "1 2 0 - 1 2 3", "1 2 3 - 0 2 3", "1 0 3 - 1 2 3"));
    // They set no state of their own.
    EXPECT_EQ(headless::Calls().size(), 2u);
}

TEST_F(MarkersTest, LightMarkerIsACubeWithDiagonalsAndTwoPyramids)
{
    WriteBmp("a.bmp");
    IDirect3DTexture9* a = nullptr;
    IDirect3DTexture9* b = nullptr;
    ASSERT_GE(D3DXCreateTextureFromFileA(device, "a.bmp", &a), 0);
    ASSERT_GE(D3DXCreateTextureFromFileA(device, "a.bmp", &b), 0);
    WriteTree("POLYGON01", "L { _LIGHTS_ { p q } p { _POSITION_ { 100 50 0 } } }");
    Korvel_Light_Manager lights(&world, console);
    lights.Load("POLYGON01");

    headless::ClearCalls();
    lights.DrawMarkers(&device, &a, &b);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u * (5 + 12 + 8));
    EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 5),
                ElementsAre("115 65 15 - 85 35 -15", "115 65 -15 - 85 35 15",
                            "115 35 -15 - 85 65 15", "85 65 -15 - 115 35 15", "100 70 0 - 100 30 0"));
    EXPECT_EQ(lines[5], "115 65 15 - 85 65 15");  // first box edge
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 17, lines.begin() + 25),
                ElementsAre("115 35 -15 - 100 30 0", "85 35 -15 - 100 30 0", "115 35 15 - 100 30 0",
                            "85 35 15 - 100 30 0", "115 65 15 - 100 70 0", "115 65 -15 - 100 70 0",
                            "85 65 15 - 100 70 0", "85 65 -15 - 100 70 0"));
    // The second light has no position: its marker sits around the origin.
    EXPECT_EQ(lines[25], "15 15 15 - -15 -15 -15");

    // Texture a for the diagonals, b for the box and pyramids; the world transform is set
    // once, before the first marker.
    std::vector<std::string> order;
    for (const headless::Call& call : headless::Calls()) {
        if (call.method == "SetTexture") order.push_back(call.args.at(1));
        if (call.method == "DrawPrimitiveUP") order.push_back(call.args.at(1));
        if (call.method == "SetTransform") order.push_back("world " + call.args.at(0));
    }
    std::string ta = headless::NameOf(a), tb = headless::NameOf(b);
    std::vector<std::string> one = {ta, "1", "1", "1", "1", "1", tb, "12", "1", "1", "1", "1",
                                    "1", "1", "1", "1"};
    std::vector<std::string> both = {"world 256"};  // D3DTS_WORLD
    both.insert(both.end(), one.begin(), one.end());
    both.insert(both.end(), one.begin(), one.end());
    EXPECT_EQ(order, both);
    EXPECT_EQ(headless::Device().fvf, kMarkerFVF);

    // Empty cells bind nothing; no lights draw nothing.
    IDirect3DTexture9* empty = nullptr;
    headless::ClearCalls();
    lights.first->light->DrawMarker(&device, &empty, &empty);
    EXPECT_EQ(headless::CallsOf("SetTexture").at(0).args.at(1), "null");
    Korvel_Light_Manager none(&world, console);
    headless::ClearCalls();
    none.DrawMarkers(&device, &a, &b);
    EXPECT_TRUE(headless::Calls().empty());
}

// The frame draws the objects, then the camera markers, then the light markers. Whatever
// world transform the objects or camera markers leave, a light's marker is centred on it.
TEST_F(MarkersTest, LightMarkersSitAtTheirLight)
{
    for (int cameraCount : {1, 2}) {
        SCOPED_TRACE(cameraCount == 1 ? "no camera marker" : "one camera marker");
        WriteTree("POLYGON01",
                  std::string("L { _LIGHTS_ { lamp } lamp { _POSITION_ { 0 120 0 } }\n") +
                      (cameraCount == 1 ? "_CAMERAS_ { c1 }" : "_CAMERAS_ { c1 c2 }") +
                      "  c1 { _POSITION_ { 0 50 -300 } } c2 { _POSITION_ { 200 50 0 } } }");
        Korvel_Light_Manager lights(&world, console);
        lights.Load("POLYGON01");
        Korvel_Camera_Manager cameras(&world, console);
        cameras.Load("POLYGON01");
        ASSERT_EQ(cameras.cameraCount, static_cast<unsigned>(cameraCount));

        // The last object drawn: at (100, 0, 0), turned 45 degrees about y.
        D3DXMATRIX turn, move, object;
        D3DXMatrixRotationY(&turn, D3DX_PI / 4);
        D3DXMatrixTranslation(&move, 100, 0, 0);
        D3DXMatrixMultiply(&object, &turn, &move);
        device->SetTransform(D3DTS_WORLD, &object);
        headless::ClearCalls();
        cameras.DrawMarkers(&device);
        size_t lightCalls = headless::Calls().size();
        IDirect3DTexture9* none = nullptr;
        lights.DrawMarkers(&device, &none, &none);

        // Follow the world transform through the calls; transform each light-marker vertex.
        D3DXMATRIX inForce = object;
        std::vector<headless::Call> calls = headless::Calls();
        size_t markerDraws = 0;
        for (size_t i = 0; i < calls.size(); ++i) {
            const headless::Call& call = calls[i];
            if (call.method == "SetTransform" && call.args.at(0) == "256") {  // D3DTS_WORLD
                std::vector<float> m = Floats(call.args.at(1));
                ASSERT_EQ(m.size(), 16u);
                inForce = D3DXMATRIX(m.data());
            }
            if (call.method != "DrawPrimitiveUP" || i < lightCalls) continue;
            ++markerDraws;
            std::vector<MarkerVertex> v(call.data.size() / sizeof(MarkerVertex));
            memcpy(v.data(), call.data.data(), v.size() * sizeof(MarkerVertex));
            D3DXVECTOR3 low(1e9f, 1e9f, 1e9f), high(-1e9f, -1e9f, -1e9f);
            for (const MarkerVertex& m : v) {
                D3DXVECTOR3 p(m.x, m.y, m.z), w;
                D3DXVec3TransformCoord(&w, &p, &inForce);
                low = D3DXVECTOR3(std::min(low.x, w.x), std::min(low.y, w.y), std::min(low.z, w.z));
                high = D3DXVECTOR3(std::max(high.x, w.x), std::max(high.y, w.y), std::max(high.z, w.z));
            }
            // Every line of the marker lies within the cube of edge 30 and the points 20
            // above and below the light.
            EXPECT_GE(low.x, -15.001f);
            EXPECT_LE(high.x, 15.001f);
            EXPECT_GE(low.y, 100 - 0.001f);
            EXPECT_LE(high.y, 140 + 0.001f);
            EXPECT_GE(low.z, -15.001f);
            EXPECT_LE(high.z, 15.001f);
        }
        EXPECT_EQ(markerDraws, 5u + 1 + 8);
        D3DMATRIX last = headless::Transform(D3DTS_WORLD);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        EXPECT_EQ(0, memcmp(&last, &identity, sizeof(last)));
    }
}

TEST_F(MarkersTest, CameraMarkersSkipTheCurrentCamera)
{
    WriteTree("POLYGON01",
              "L { _CAMERAS_ { c1 c2 c3 }\n"
              "  c1 { _POSITION_ { 0 0 0 } _LOOK_ { 0 0 1 } }\n"
              "  c2 { _POSITION_ { 100 0 0 } _LOOK_ { 100 0 50 } }\n"
              "  c3 { _POSITION_ { 0 100 0 } _LOOK_ { 0 100 50 } } }");
    Korvel_Camera_Manager cameras(&world, console);
    cameras.Load("POLYGON01");
    ASSERT_EQ(cameras.cameraCount, 3u);

    headless::ClearCalls();
    cameras.DrawMarkers(&device);
    EXPECT_EQ(headless::CountCalls("SetMaterial"), 1u);
    EXPECT_EQ(headless::CountCalls("SetTransform"), 2u);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u * 25);
    EXPECT_EQ(lines[0], "100 0 0 - 100 0 50");
    EXPECT_EQ(lines[1], "102 2 52 - 98 2 52");
    EXPECT_EQ(lines[13], "110 10 10 - 90 10 10");
    EXPECT_EQ(lines[25], "0 100 0 - 0 100 50");
    EXPECT_EQ(headless::Device().fvf, kMarkerFVF);
    D3DMATERIAL9 material = headless::Device().material;
    EXPECT_EQ(0, memcmp(&material, &cameras.markerMaterial, sizeof(D3DMATERIAL9)));

    cameras.SelectCamera(2);
    headless::ClearCalls();
    cameras.DrawMarkers(&device);
    lines = Lines();
    ASSERT_EQ(lines.size(), 2u * 25);
    EXPECT_EQ(lines[0], "0 0 0 - 0 0 1");
    EXPECT_EQ(lines[25], "0 100 0 - 0 100 50");
}

TEST_F(MarkersTest, OneCameraHasNoMarker)
{
    WriteTree("POLYGON01", "L { _CAMERAS_ { only } only { _POSITION_ { 1 1 1 } } }");
    Korvel_Camera_Manager cameras(&world, console);
    cameras.Load("POLYGON01");
    headless::ClearCalls();
    cameras.DrawMarkers(&device);
    EXPECT_EQ(headless::CountCalls("DrawPrimitiveUP"), 0u);
}

}  // namespace
