// Object drawing through the headless device: one draw per light and effect name with the
// right technique and light, the plain fallback, stage-0 textures per subset, the matrices
// and "View_Pos" handed to the effects.
#include <algorithm>
#include <map>

#include "console/console.h"
#include "param_tree/dynamic_row.h"
#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "scene/effect_manager.h"
#include "scene/light_manager.h"
#include "scene/object_manager.h"
#include "scene/static_object.h"
#include "tests/scene/scene_support.h"

using ::testing::ElementsAre;
using ::testing::Not;

namespace {

// A level of three lights, a camera at (1, 2, 3) and the effects a, b, c and "none".
const char kLevel[] =
    "L {\n"
    "  _LIGHTS_ { l1 l2 l3 }\n"
    "  l1 { _POSITION_ { 10 0 0 } }\n"
    "  l2 { _POSITION_ { 20 0 0 } }\n"
    "  l3 { _POSITION_ { 30 0 0 } }\n"
    "  _CAMERAS_ { eye }\n"
    "  eye { _POSITION_ { 1 2 3 } _LOOK_ { 0 0 10 } }\n"
    "  _EFFECTS_ { a b c none }\n"
    "  a { _FILE_FX_ { \"fx\\\\a.fx\" } _FILE_ { none } }\n"
    "  b { _FILE_FX_ { \"fx\\\\b.fx\" } _FILE_ { none } }\n"
    "  c { _FILE_FX_ { \"fx\\\\c.fx\" } _FILE_ { none } }\n"
    "  none { _FILE_FX_ { \"fx\\\\a.fx\" } _FILE_ { none } }\n"
    "}";

class DrawingTest : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        WriteTree("POLYGON01", kLevel);
        for (const char* fx : {"fx/a.fx", "fx/b.fx", "fx/c.fx"}) WriteEffect(fx);
        WriteFile("meshes/two.x", QuadMesh({"t.bmp", ""}));
        WriteBmp("t.bmp");
        LoadManagers();
        ASSERT_EQ(effects->effectCount, 4u);
    }

    // Adds an object drawing meshes\two.x with the given "_FX_" text ("" for no key).
    Static_CObject* Add(const std::string& fx, D3DXVECTOR3 position = D3DXVECTOR3(0, 0, 0),
                        D3DXVECTOR3 rotation = D3DXVECTOR3(0, 0, 0))
    {
        std::string file = "o" + std::to_string(objects->objectCount + 1) + ".dr";
        WriteTree(file, "o { _MODEL_FILE_ { \"meshes\\\\two.x\" } " +
                            (fx.empty() ? std::string() : "_FX_ { " + fx + " }") + " }");
        Zarvik_string path;
        path = file.c_str();
        unsigned int id = objects->AddObject(path, position, rotation);
        for (ObjectNode* node = objects->first; node; node = node->next)
            if (node->id == id) return static_cast<Static_CObject*>(node->object);
        return nullptr;
    }

    // Draws every object once per light, the way the frame does.
    void DrawAllLights()
    {
        for (unsigned int i = 1; i <= lights->lightCount; ++i)
            for (ObjectNode* node = objects->first; node; node = node->next)
                if (node->visible) node->object->Draw(i, i == 1);
    }

    std::vector<float> Value(const char* effect, const char* parameter)
    {
        headless::EffectInfo info;
        if (!headless::GetEffectInfo(Effect(effect), info)) return {};
        auto it = info.values.find(parameter);
        return it == info.values.end() ? std::vector<float>() : it->second;
    }
};

std::vector<float> Flat(const D3DXMATRIX& m)
{
    return std::vector<float>(&m._11, &m._11 + 16);
}

void ExpectNear(const std::vector<float>& actual, const std::vector<float>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-4) << i;
}

TEST_F(DrawingTest, EachLightDrawsEveryEffectNameWithItsTechniqueAndLight)
{
    Add("a b");
    headless::ClearCalls();
    DrawAllLights();

    // Per technique: which effect, and the "LightPos" it was given last.
    std::string names[2] = {headless::NameOf(Effect("a")), headless::NameOf(Effect("b"))};
    std::map<std::string, float> lightX;
    std::vector<std::string> seen;
    for (const headless::Call& call : headless::Calls()) {
        if (call.method == "SetVector" && call.args.size() == 2 && call.args[0] == "LightPos")
            lightX[call.object] = Floats(call.args[1]).at(0);
        if (call.method == "SetTechnique") {
            std::string who = call.object == names[0] ? "a" : call.object == names[1] ? "b" : "?";
            seen.push_back(who + " " + call.args.at(0) + " " +
                           std::to_string(static_cast<int>(lightX[call.object])));
        }
    }
    EXPECT_THAT(seen, ElementsAre("a ald_Phong 10", "b ald_Phong 10", "a ald_Phong_alpha 20",
                                  "b ald_Phong_alpha 20", "a ald_Phong_alpha 30",
                                  "b ald_Phong_alpha 30"));
    // Two subsets in every pass: one pass for the first light, two for each later one.
    EXPECT_EQ(headless::CountCalls("Begin"), 6u);
    EXPECT_EQ(headless::CountCalls("End"), 6u);
    EXPECT_EQ(headless::CountCalls("BeginPass"), 10u);
    EXPECT_EQ(headless::CountCalls("DrawSubset"), 20u);
    EXPECT_EQ(headless::CountCalls("SetTransform"), 3u);

    // The light constants of the last light drawn, all of them.
    EXPECT_THAT(Value("b", "LightPos"), ElementsAre(30, 0, 0, 1));
    EXPECT_THAT(Value("b", "LightColor"), ElementsAre(1, 1, 1, 1));
    EXPECT_THAT(Value("b", "LightFalloff"), ElementsAre(1000.0f));
    EXPECT_THAT(Value("b", "LightSpecular"), ElementsAre(8.5f));
    EXPECT_THAT(Value("b", "LightSpecular_Itens"), ElementsAre(0.19f));
    EXPECT_THAT(Value("b", "LightAmbient"), ElementsAre(0.005f));
    EXPECT_THAT(Value("b", "Attenuation"), ElementsAre(0.8f));
}

TEST_F(DrawingTest, NamesWithoutAnEffectAreDrawnPlainly)
{
    Add("missing a");
    Add("");
    Add("none");
    headless::ClearCalls();
    DrawAllLights();

    // Per light: 2 plain subsets + a's passes, 2 plain subsets, 2 plain subsets.
    EXPECT_EQ(headless::CountCalls("Begin"), 3u);
    EXPECT_EQ(headless::CountCalls("DrawSubset"), 3u * 6 + 2 * (1 + 2 + 2));
    // The plain draw of the first object comes before its effect draw, outside any pass.
    const std::vector<headless::Call>& calls = headless::Calls();
    auto firstSubset = std::find_if(calls.begin(), calls.end(),
                                    [](const headless::Call& c) { return c.method == "DrawSubset"; });
    auto firstBegin = std::find_if(calls.begin(), calls.end(),
                                   [](const headless::Call& c) { return c.method == "Begin"; });
    EXPECT_LT(firstSubset - calls.begin(), firstBegin - calls.begin());
}

TEST_F(DrawingTest, EverySubsetSetsItsMaterialAndStageZeroTexture)
{
    Static_CObject* object = Add("");
    headless::ClearCalls();
    object->Draw(1, true);

    std::vector<std::string> sequence;
    for (const headless::Call& call : headless::Calls()) {
        if (call.method == "SetMaterial") sequence.push_back("material");
        if (call.method == "SetTexture") sequence.push_back(call.args.at(0) + " " + call.args.at(1));
        if (call.method == "DrawSubset") sequence.push_back("subset " + call.args.at(0));
    }
    std::string texture = headless::NameOf(object->textures[0]);
    EXPECT_THAT(sequence, ElementsAre("material", "0 " + texture, "subset 0", "material", "0 null",
                                      "subset 1"));
    EXPECT_EQ(object->textures[1], nullptr);
}

TEST_F(DrawingTest, EffectsGetTheWorldAndTheCurrentCamerasMatrices)
{
    Static_CObject* object = Add("c", D3DXVECTOR3(3, 4, 5), D3DXVECTOR3(0, 30, 0));
    object->Draw(1, true);

    const Korvel_Camera* camera = cameras->current->camera;
    D3DXMATRIX expected = object->world * camera->viewMatrix * camera->projectionMatrix;
    ExpectNear(Value("c", "mat_World_View_Proj"), Flat(expected));
    ExpectNear(Value("c", "matWorld"), Flat(object->world));
    EXPECT_THAT(Value("c", "View_Pos"), ElementsAre(1, 2, 3, 1));

    // The world transform of the device is the object's.
    D3DMATRIX worldSet = headless::Transform(D3DTS_WORLD);
    EXPECT_EQ(D3DXMATRIX(worldSet), object->world);
}

TEST_F(DrawingTest, ViewPositionReachesTheEffectsUpToTheOneFound)
{
    D3DXMATRIX view, projection;
    Zarvik_string name;
    name = "b";
    EXPECT_EQ(effects->FindEffect(name, &view, &projection), Effect("b"));
    EXPECT_THAT(Value("a", "View_Pos"), ElementsAre(1, 2, 3, 1));
    EXPECT_THAT(Value("b", "View_Pos"), ElementsAre(1, 2, 3, 1));
    EXPECT_THAT(Value("c", "View_Pos"), Not(ElementsAre(1, 2, 3, 1)));
    EXPECT_EQ(view, cameras->current->camera->viewMatrix);
    EXPECT_EQ(projection, cameras->current->camera->projectionMatrix);

    // "none" names no effect, even one listed under that name; every effect is passed.
    name = "none";
    EXPECT_EQ(effects->FindEffect(name, &view, &projection), nullptr);
    EXPECT_THAT(Value("c", "View_Pos"), ElementsAre(1, 2, 3, 1));
}

TEST_F(DrawingTest, WithoutACameraEffectsSeeTheOriginAndIdentity)
{
    Korvel_Camera_Manager empty(&world, console);
    effects->cameraManager = &empty;
    D3DXMATRIX view(Flat(cameras->current->camera->viewMatrix).data()), projection = view, identity;
    D3DXMatrixIdentity(&identity);
    Zarvik_string name;
    name = "a";
    EXPECT_EQ(effects->FindEffect(name, &view, &projection), Effect("a"));
    EXPECT_EQ(view, identity);
    EXPECT_EQ(projection, identity);
    EXPECT_THAT(Value("a", "View_Pos"), ElementsAre(0, 0, 0, 1));
}

// An effect offering "ald_Phong_lights" for two lights draws lights 1 and 2 in one pass, then
// adds light 3 with "ald_Phong_lights_alpha"; the arrays hold each batch, zero past its end.
TEST_F(DrawingTest, LightsInBatchesWhenTheEffectTakesThem)
{
    WriteFile("fx/batch.fx",
              "float4x4 mat_World_View_Proj;\n"
              "float4 LightPositions[2];\n"
              "float4 LightColors[2];\n"
              "float LightAttenuations[2];\n"
              "int LightCount;\n"
              "float4 VS(float4 p : POSITION) : POSITION { return mul(p, mat_World_View_Proj); }\n"
              "float4 PS() : COLOR { return LightColors[0] * LightAttenuations[1] + LightPositions[1] * LightCount; }\n"
              "technique ald_Phong_lights < int Lights = 2; > {\n"
              "  pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n"
              "technique ald_Phong_lights_alpha {\n"
              "  pass P0 { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n");
    Zarvik_string name;
    name = "batch";
    WriteTree("level.dr", "L { _EFFECTS_ { batch } batch { _FILE_FX_ { \"fx\\\\batch.fx\" } } }");
    DynamicRow tree;
    Zarvik_string level;
    level = "level.dr";
    tree.iLoadFromFile(level);
    ASSERT_NE(effects->AddEffect(name, &tree), 0u);
    Add("batch");
    headless::ClearCalls();
    DrawAllLights();

    std::vector<std::string> seen;
    for (const headless::Call& call : headless::Calls()) {
        if (call.object != headless::NameOf(Effect("batch"))) continue;
        if (call.method == "SetTechnique" || call.method == "SetVectorArray" ||
            (call.method == "SetFloat" && call.args.at(0) == "LightCount"))
            seen.push_back(call.method + " " + call.args.back());
    }
    EXPECT_THAT(seen, ElementsAre("SetVectorArray 10 0 0 1 20 0 0 1", "SetVectorArray 1 1 1 1 1 1 1 1",
                                  "SetFloat 2", "SetTechnique ald_Phong_lights",
                                  "SetVectorArray 30 0 0 1 0 0 0 0", "SetVectorArray 1 1 1 1 0 0 0 0",
                                  "SetFloat 1", "SetTechnique ald_Phong_lights_alpha"));
    EXPECT_THAT(Value("batch", "LightAttenuations"), ElementsAre(0.8f, 0.0f));
}

TEST_F(DrawingTest, LightConstantsFallBackToTheLastLight)
{
    lights->SetLightConstants(Effect("c"), 7);
    EXPECT_THAT(Value("c", "LightPos"), ElementsAre(30, 0, 0, 1));
    lights->SetLightConstants(Effect("c"), 2);
    EXPECT_THAT(Value("c", "LightPos"), ElementsAre(20, 0, 0, 1));

    Korvel_Light_Manager none(&world, console);
    headless::ClearCalls();
    none.SetLightConstants(Effect("c"), 1);
    EXPECT_EQ(headless::CountCalls("SetVector"), 0u);
    EXPECT_EQ(headless::CountCalls("SetFloat"), 0u);
}

}  // namespace
