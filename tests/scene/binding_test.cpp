// Effects written for other programs (bound_fx/): their parameters get the values their
// semantics and annotations name, at the moments the engine sets its own; such an effect is
// drawn once, with the first light and its first technique; textures named by files load or
// give way to the subset's texture.
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "scene/effect_manager.h"
#include "scene/light_manager.h"
#include "scene/object_manager.h"
#include "scene/static_object.h"
#include "tests/scene/scene_support.h"

using ::testing::ElementsAre;

namespace {

const char* const kBound[] = {"transforms", "camera_time", "light_objects", "light_semantics",
                              "materials", "textures"};

// Three lights; the first two shine at points of their own. An engine effect, "own", names a
// transform by semantic too.
const char kLevel[] =
    "L {\n"
    "  _LIGHTS_ { l1 l2 l3 }\n"
    "  l1 { _POSITION_ { 10 20 -30 } _LOOK_ { 10 0 0 } _COLOR_ { 1 0.5 0.25 } }\n"
    "  l2 { _POSITION_ { -40 5 6 } _COLOR_ { 0.2 0.4 0.6 } }\n"
    "  l3 { _POSITION_ { 0 90 0 } }\n"
    "  _CAMERAS_ { eye }\n"
    "  eye { _POSITION_ { 1 2 -50 } _LOOK_ { 4 6 0 } }\n"
    "  _EFFECTS_ { transforms camera_time light_objects light_semantics materials textures own }\n"
    "  transforms { _FILE_FX_ { \"fx\\\\transforms.fx\" } }\n"
    "  camera_time { _FILE_FX_ { \"fx\\\\camera_time.fx\" } }\n"
    "  light_objects { _FILE_FX_ { \"fx\\\\light_objects.fx\" } }\n"
    "  light_semantics { _FILE_FX_ { \"fx\\\\light_semantics.fx\" } }\n"
    "  materials { _FILE_FX_ { \"fx\\\\materials.fx\" } }\n"
    "  textures { _FILE_FX_ { \"fx\\\\textures.fx\" } }\n"
    "  own { _FILE_FX_ { \"fx\\\\own.fx\" } }\n"
    "}";

std::string ReadSource(const std::string& name)
{
    std::ifstream in(std::string(BOUND_FX_DIR) + "/" + name + ".fx");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<float> Flat(const D3DXMATRIX& m, int rows = 4, int columns = 4)
{
    std::vector<float> out;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) out.push_back(m.m[r][c]);
    return out;
}

D3DXMATRIX Inverse(const D3DXMATRIX& m)
{
    D3DXMATRIX out;
    D3DXMatrixInverse(&out, nullptr, &m);
    return out;
}

D3DXMATRIX Transpose(const D3DXMATRIX& m)
{
    D3DXMATRIX out;
    D3DXMatrixTranspose(&out, &m);
    return out;
}

std::vector<float> Unit(float x, float y, float z)
{
    float n = std::sqrt(x * x + y * y + z * z);
    return {x / n, y / n, z / n};
}

class BindingTest : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        WriteTree("POLYGON01", kLevel);
        for (const char* name : kBound) WriteFile(std::string("fx/") + name + ".fx", ReadSource(name));
        WriteFile("fx/own.fx",
                  "float4x4 Own : WorldViewProjection;\n"
                  "float4 VS(float4 p : POSITION) : POSITION { return mul(p, Own); }\n"
                  "float4 PS() : COLOR { return 1; }\n"
                  "technique ald_Phong { pass P0 { VertexShader = compile vs_2_0 VS(); } }\n"
                  "technique ald_Phong_alpha { pass P0 { VertexShader = compile vs_2_0 VS(); } }\n");
        WriteBmp("fx/detail.bmp");
        WriteFile("meshes/two.x", QuadMesh({"t.bmp", ""}));
        WriteBmp("t.bmp");
        WriteTree("o.dr", "o { _MODEL_FILE_ { \"meshes\\\\two.x\" } _FX_ { transforms camera_time "
                          "light_objects light_semantics materials textures own } }");
        headless::SetTime(headless::kStartTime);
        LoadManagers();
        Zarvik_string path;
        path = "o.dr";
        objects->AddObject(path, D3DXVECTOR3(3, 4, 5), D3DXVECTOR3(0, 30, 0));
        object = static_cast<Static_CObject*>(objects->first->object);
    }

    // Every light's draw, as the frame makes them.
    void DrawAllLights()
    {
        for (unsigned int i = 1; i <= lights->lightCount; ++i) object->Draw(i, i == 1);
    }

    headless::EffectInfo Info(const std::string& effect)
    {
        headless::EffectInfo info;
        headless::GetEffectInfo(Effect(effect), info);
        return info;
    }

    Static_CObject* object = nullptr;
};

TEST_F(BindingTest, SemanticsAndAnnotationsGiveTheirValues)
{
    headless::AdvanceTime(125500);   // 125.5 s since the effects were made
    DrawAllLights();

    const Korvel_Camera* camera = cameras->current->camera;
    const D3DXMATRIX& w = object->world;
    const D3DXMATRIX& v = camera->viewMatrix;
    const D3DXMATRIX& p = camera->projectionMatrix;
    D3DXVECTOR3 lampInView;
    D3DXVECTOR3 lamp(10, 20, -30);
    D3DXVec3TransformCoord(&lampInView, &lamp, &v);
    const float cycle = 5.5f;
    // The subset drawn last: material 2 of QuadMesh, ambient as the diffuse.
    const std::vector<float> diffuse = {0.2f, 0.5f, 0.25f, 1};

    const struct {
        const char* effect;
        const char* parameter;
        std::vector<float> value;
    } kCases[] = {
        {"transforms", "World", Flat(w)},
        {"transforms", "World43", Flat(w, 4, 3)},
        {"transforms", "View", Flat(v)},
        {"transforms", "ViewMatrix", Flat(v)},
        {"transforms", "Proj", Flat(p)},
        {"transforms", "WorldView", Flat(w * v)},
        {"transforms", "ViewProj", Flat(v * p)},
        {"transforms", "Wvp", Flat(w * v * p)},
        {"transforms", "ViewI", Flat(Inverse(v))},
        {"transforms", "WorldIT", Flat(Transpose(Inverse(w)))},
        {"transforms", "WorldInvTrans", Flat(Transpose(Inverse(w)))},
        {"transforms", "WvpT", Flat(Transpose(w * v * p))},
        {"transforms", "matWorld", Flat(w)},
        {"transforms", "g_mWorldViewProjection", Flat(w * v * p)},
        {"transforms", "g_mInvView", Flat(Inverse(v))},
        {"transforms", "g_mObjectToView", Flat(w * v)},
        {"transforms", "g_mLightViewProj", std::vector<float>(16, 9)},
        {"camera_time", "Eye", {1, 2, -50}},
        {"camera_time", "ViewPos", {1, 2, -50, 1}},
        {"camera_time", "Look", Unit(3, 4, 50)},
        {"camera_time", "Seconds", {125.5f}},
        {"camera_time", "Cycle", {cycle}},
        {"camera_time", "Sine", {std::sin(cycle), std::sin(cycle)}},
        {"camera_time", "g_fTime", {125.5f}},
        {"camera_time", "g_vEyePt", {1, 2, -50, 1}},
        {"camera_time", "xCamPos", {1, 2, -50}},
        {"light_objects", "LampPos", {10, 20, -30}},
        {"light_objects", "LampColor", {1, 0.5f, 0.25f}},
        {"light_objects", "SunDir", Unit(0, -20, 30)},
        {"light_objects", "SecondPos", {-40, 5, 6, 1}},
        {"light_objects", "LampView", {lampInView.x, lampInView.y, lampInView.z}},
        {"light_objects", "Unbound", {9, 9, 9, 9}},
        {"light_objects", "CameraPos", {1, 2, -50}},
        {"light_objects", "GeometryDiffuse", diffuse},
        {"light_semantics", "LightPosition", {10, 20, -30, 1}},
        {"light_semantics", "LightDir0", Unit(0, -20, 30)},
        {"light_semantics", "Colour1", {0.2f, 0.4f, 0.6f, 1}},
        {"light_semantics", "Light1Pos", {-40, 5, 6, 1}},
        {"light_semantics", "Colour3", {5, 5, 5, 5}},
        {"light_semantics", "fvLightPosition", {10, 20, -30, 1}},
        {"light_semantics", "g_LightDiffuse", {1, 0.5f, 0.25f, 1, 0.2f, 0.4f, 0.6f, 1}},
        {"light_semantics", "g_vLightPosView", {lampInView.x, lampInView.y, lampInView.z}},
        {"light_semantics", "DiffuseLightDirection", Unit(0, -20, 30)},
        {"light_semantics", "AmbientLightColor", {0.005f, 0.0025f, 0.00125f, 1}},
        {"materials", "Diffuse", diffuse},
        {"materials", "Ambient", diffuse},
        {"materials", "Specular", {0.2f, 0.2f, 0.2f}},
        {"materials", "Power", {10}},
        {"materials", "g_MaterialDiffuseColor", diffuse},
        {"own", "Own", Flat(w * v * p)},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.effect) + " " + c.parameter);
        std::vector<float> got = Info(c.effect).values[c.parameter];
        ASSERT_EQ(got.size(), c.value.size());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_NEAR(got[i], c.value[i], 1e-4f * (1 + std::fabs(c.value[i]))) << i;
    }
}

TEST_F(BindingTest, EffectsWithoutTheEngineTechniquesDrawOnceWithTheirFirstOne)
{
    headless::ClearCalls();
    DrawAllLights();

    std::map<std::string, std::vector<std::string>> techniques;
    for (const headless::Call& call : headless::Calls())
        if (call.method == "SetTechnique") techniques[call.object].push_back(call.args.at(0));
    for (const char* name : kBound)
        EXPECT_THAT(techniques[headless::NameOf(Effect(name))], ElementsAre("Main")) << name;
    EXPECT_THAT(techniques[headless::NameOf(Effect("own"))],
                ElementsAre("ald_Phong", "ald_Phong_alpha", "ald_Phong_alpha"));
    EXPECT_EQ(headless::CountCalls("Begin"), 6u + 3u);
}

TEST_F(BindingTest, SubsetValuesAreCommittedBeforeEachSubset)
{
    headless::ClearCalls();
    object->Draw(1, true);

    std::string materials = headless::NameOf(Effect("materials"));
    std::string textures = headless::NameOf(Effect("textures"));
    std::vector<std::string> sequence;
    for (const headless::Call& call : headless::Calls()) {
        bool diffuse = call.method == "SetVector" && call.args.at(0) == "Diffuse";
        bool texture = call.object == textures && call.method == "SetTexture";
        if (diffuse) sequence.push_back("diffuse " + std::to_string(std::lround(10 * Floats(call.args.at(1)).at(0))));
        if (texture) sequence.push_back(call.args.at(0) + " " + call.args.at(1));
        if ((call.object == materials || call.object == textures) && call.method == "CommitChanges")
            sequence.push_back("commit");
        if (call.method == "DrawSubset" && !sequence.empty() && sequence.back() == "commit")
            sequence.push_back("subset " + call.args.at(0));
    }
    std::string first = headless::NameOf(object->textures[0]);
    // Material i has a diffuse red of 0.1 * (i + 1).
    EXPECT_THAT(sequence, ElementsAre("diffuse 1", "commit", "subset 0", "diffuse 2", "commit", "subset 1",
                                      "ColorTex " + first, "commit", "subset 0",
                                      "ColorTex null", "commit", "subset 1"));
}

TEST_F(BindingTest, TexturesNamedByFilesLoadOnceOrAreReportedMissing)
{
    headless::EffectInfo info = Info("textures");
    headless::TextureInfo detail;
    ASSERT_TRUE(headless::GetTextureInfo(info.textures["DetailTex"], detail));
    EXPECT_EQ(detail.file, "fx\\detail.bmp");
    EXPECT_EQ(info.textures.count("NormalTex"), 0u);
    EXPECT_THAT(LogTexts(), testing::IsSupersetOf({"[T.F] cannot find: missing_color.dds",
                                                   "[T.F] cannot find: missing_normal.dds"}));
}

}  // namespace
