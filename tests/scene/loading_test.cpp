// Loading through the headless device: object messages and error counts, placement, textures
// and their fallbacks, light values, effects that fail to compile.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "console/console.h"
#include "param_tree/dynamic_row.h"
#include "scene/effect_manager.h"
#include "scene/light.h"
#include "scene/light_manager.h"
#include "scene/object_manager.h"
#include "scene/static_object.h"
#include "tests/scene/scene_support.h"

using ::testing::ElementsAre;

namespace {

class LoadingTest : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        effects = new Korvel_Effect_Manager(device, nullptr, console);
        lights = new Korvel_Light_Manager(&world, console);
        objects = new Korvel_Object_Manager(&world, &device, effects, lights, console);
    }

    Static_CObject* Object(unsigned int id)
    {
        for (ObjectNode* node = objects->first; node; node = node->next)
            if (node->id == id) return static_cast<Static_CObject*>(node->object);
        return nullptr;
    }

    // One object entry of a level.
    static std::string Entry(const std::string& path, const std::string& position = "0 0 0",
                             const std::string& rotation = "0 0 0",
                             const std::string& type = "_OBJECT_SIMPLE_")
    {
        return "e { _OBJECT_TYPE_ { " + type + " } _OBJECT_PATH_ { \"" + path +
               "\" } _POSITION_ { " + position + " } _ROTATION_ { " + rotation + " } }\n";
    }

    Korvel_Effect_Manager* effects = nullptr;
    Korvel_Light_Manager* lights = nullptr;
    Korvel_Object_Manager* objects = nullptr;
};

TEST_F(LoadingTest, ObjectFilesGiveMessagesIdsAndErrorCount)
{
    WriteTree("objects/a.dr", "a { _MODEL_FILE_ { \"meshes\\\\quad.x\" } }");
    WriteTree("objects/c.dr", "c { _MODEL_FILE_ { \"meshes\\\\quad.x\" } }");
    WriteFile("objects/empty.dr", "");
    WriteFile("meshes/quad.x", QuadMesh({""}));
    WriteTree("POLYGON01", "L { _OBJECTS_ {\n" + Entry("objects\\\\a.dr") +
                               Entry("objects\\\\b.dr") + Entry("objects\\\\c.dr") +
                               Entry("objects\\\\a.dr", "0 0 0", "0 0 0", "_OBJECT_OTHER_") +
                               "f { _OBJECT_PATH_ { \"objects\\\\a.dr\" } }\n" +
                               Entry("objects\\\\empty.dr") + "} }");

    EXPECT_TRUE(objects->Load("POLYGON01"));

    std::vector<LogLine> log = Log();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[0].text, "[O.F.] objects\\a.dr");
    EXPECT_EQ(log[0].tag, "_TEXT_");
    EXPECT_EQ(log[1].text, "[O.F.] objects\\b.dr");
    EXPECT_EQ(log[2].text, "[!] Object File is corrupted and parameters are not loaded!");
    EXPECT_EQ(log[2].tag, "_ERROR_");
    EXPECT_EQ(log[3].text, "[O.F.] objects\\c.dr");
    EXPECT_EQ(log[4].text, "[O.F.] objects\\empty.dr");
    EXPECT_EQ(log[5].tag, "_ERROR_");
    EXPECT_EQ(log[6].text, "Object Manager setup completed with 2 errors and 2 objects.");
    EXPECT_EQ(log[6].tag, "_COMMENT_");

    EXPECT_EQ(objects->objectCount, 2u);
    EXPECT_EQ(objects->errorCount, 2u);
    ASSERT_NE(objects->first, nullptr);
    EXPECT_EQ(objects->first->id, 1u);
    EXPECT_STREQ(objects->first->file.getChars(), "objects\\a.dr");
    EXPECT_EQ(objects->first->visible, 1);
    ASSERT_NE(objects->first->next, nullptr);
    EXPECT_EQ(objects->first->next->id, 2u);
    EXPECT_STREQ(objects->first->next->file.getChars(), "objects\\c.dr");
    EXPECT_EQ(objects->first->next->next, nullptr);

    // A later object takes the next id; a missing one does not use one up.
    D3DXVECTOR3 zero(0, 0, 0);
    Zarvik_string missing, good;
    missing = "objects\\b.dr";
    good = "objects\\a.dr";
    EXPECT_EQ(objects->AddObject(missing, zero, zero), 0u);
    EXPECT_EQ(objects->AddObject(good, zero, zero), 3u);
}

// Object and effect parameter files that are no regular files fail at once, as missing
// files do; a device would otherwise be read without end and a pipe wait for a writer.
TEST_F(LoadingTest, DevicesFoldersAndPipesAreRefusedLikeMissingFiles)
{
    WriteFile("objects/folder.dr/inside", "");
    ASSERT_EQ(mkfifo("objects/pipe.dr", 0644), 0);
    WriteEffect("fx/glass.fx");
    WriteTree("POLYGON01", "L { _OBJECTS_ {\n" + Entry("/dev/zero") + Entry("objects\\\\folder.dr") +
                               Entry("objects\\\\pipe.dr") + "}\n"
                               "  _EFFECTS_ { glass }\n"
                               "  glass { _FILE_FX_ { \"fx\\\\glass.fx\" } _FILE_ { \"/dev/zero\" } } }");
    alarm(20);  // a load that blocks ends the test here instead of hanging the run
    objects->Load("POLYGON01");
    effects->Load("POLYGON01");
    alarm(0);

    EXPECT_THAT(LogTexts(),
                ElementsAre("[O.F.] /dev/zero", "[!] Object File is corrupted and parameters are not loaded!",
                            "[O.F.] objects\\folder.dr",
                            "[!] Object File is corrupted and parameters are not loaded!",
                            "[O.F.] objects\\pipe.dr",
                            "[!] Object File is corrupted and parameters are not loaded!",
                            "Object Manager setup completed with 3 errors and 0 objects.",
                            "[+] Effect:  glass", "Effect Manager setup completed with 1 Effects."));
}

TEST_F(LoadingTest, MissingLevelStillReportsTotals)
{
    objects->Load("POLYGON01");
    lights->Load("POLYGON01");
    effects->Load("POLYGON01");
    EXPECT_THAT(LogTexts(), ElementsAre("Object Manager setup completed with 0 errors and 0 objects.",
                                        "Light Manager setup completed with 0 lights.",
                                        "Effect Manager setup completed with 0 Effects."));
}

TEST_F(LoadingTest, TranslationComesBeforeTheTurns)
{
    WriteTree("o.dr", "o { _FX_ { x y } }");
    WriteTree("p.dr", "p { other { 1 } }");
    WriteTree("POLYGON01", "L { _OBJECTS_ {\n" + Entry("o.dr", "10 0 0", "0 90 0") +
                               Entry("p.dr", "10 0 0") + Entry("o.dr", "0 5 0", "90 0 0") +
                               "} }");
    objects->Load("POLYGON01");
    ASSERT_EQ(objects->objectCount, 3u);

    D3DXVECTOR3 origin(0, 0, 0), out;
    D3DXVec3TransformCoord(&out, &origin, &Object(1)->world);
    EXPECT_NEAR(out.x, 0.0f, 1e-4);
    EXPECT_NEAR(out.y, 0.0f, 1e-4);
    EXPECT_NEAR(out.z, -10.0f, 1e-4);
    D3DXVec3TransformCoord(&out, &origin, &Object(2)->world);
    EXPECT_FLOAT_EQ(out.x, 10.0f);
    EXPECT_FLOAT_EQ(out.z, 0.0f);
    // (0, 5, 0) turned 90 degrees about x lands on +z.
    D3DXVec3TransformCoord(&out, &origin, &Object(3)->world);
    EXPECT_NEAR(out.y, 0.0f, 1e-4);
    EXPECT_NEAR(out.z, 5.0f, 1e-4);

    // Effect names are counted whatever they are; objects without a mesh load all the same.
    EXPECT_EQ(Object(1)->fxCount, 2u);
    EXPECT_EQ(Object(2)->fxCount, 0u);
    EXPECT_EQ(Object(1)->materialCount, 0u);
    EXPECT_EQ(Object(1)->mesh, nullptr);
}

TEST_F(LoadingTest, TexturesFallBackSilentlyAndMaterialsTakeDiffuseAsAmbient)
{
    WriteFile("meshes/three.x", QuadMesh({"wood.bmp", "gone.bmp", "", "here.bmp"}));
    WriteBmp("textures/wood.bmp");
    WriteBmp("here.bmp");
    WriteBmp("textures/here.bmp");
    WriteBmp("textures/_def/def.bmp");
    WriteTree("o.dr", "o { _MODEL_FILE_ { \"meshes\\\\three.x\" } }");
    Zarvik_string path;
    path = "o.dr";
    ASSERT_EQ(objects->AddObject(path, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0)), 1u);
    EXPECT_THAT(LogTexts(), ElementsAre("[O.F.] o.dr"));

    Static_CObject* object = Object(1);
    ASSERT_EQ(object->materialCount, 4u);
    const char* expected[] = {"textures\\wood.bmp", "textures\\_def\\def.bmp", nullptr, "here.bmp"};
    for (unsigned int i = 0; i < 4; ++i) {
        const D3DMATERIAL9& m = object->materials[i];
        EXPECT_FLOAT_EQ(m.Diffuse.r, 0.1f * (i + 1));
        EXPECT_EQ(0, memcmp(&m.Ambient, &m.Diffuse, sizeof(m.Diffuse))) << "material " << i;
        EXPECT_FLOAT_EQ(m.Power, 10.0f);
        headless::TextureInfo info;
        if (!expected[i]) {
            EXPECT_EQ(object->textures[i], nullptr);
            continue;
        }
        ASSERT_TRUE(headless::GetTextureInfo(object->textures[i], info)) << "material " << i;
        EXPECT_EQ(info.file, expected[i]);
    }

    // Without the default texture the subset stays untextured and the name is reported.
    RemoveFile("textures/_def/def.bmp");
    MarkLog();
    ASSERT_EQ(objects->AddObject(path, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0)), 2u);
    std::vector<LogLine> log = Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].text, "[T.F] cannot find: gone.bmp");
    EXPECT_EQ(log[1].tag, "_ERROR_");
    EXPECT_EQ(Object(2)->textures[1], nullptr);
}

TEST_F(LoadingTest, MeshThatDoesNotLoadLeavesAnObjectWithoutSubsets)
{
    WriteFile("meshes/bad.x", "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;");
    WriteTree("o.dr", "o { _MODEL_FILE_ { \"meshes\\\\bad.x\" } _FX_ { fx } }");
    WriteTree("q.dr", "q { _MODEL_FILE_ { \"meshes\\\\absent.x\" } }");
    WriteTree("POLYGON01", "L { _OBJECTS_ {\n" + Entry("o.dr") + Entry("q.dr") + "} }");
    objects->Load("POLYGON01");

    std::vector<LogLine> log = Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[1].text, "[M.F] cannot find: meshes\\bad.x");
    EXPECT_EQ(log[1].tag, "_ERROR_");
    EXPECT_EQ(log[3].text, "[M.F] cannot find: meshes\\absent.x");
    EXPECT_EQ(log[4].text, "Object Manager setup completed with 0 errors and 2 objects.");
    EXPECT_EQ(Object(1)->mesh, nullptr);
    EXPECT_EQ(Object(1)->materialCount, 0u);

    // Drawn for a light it sets its transform and draws nothing.
    headless::ClearCalls();
    Object(1)->Draw(1, true);
    Object(2)->Draw(1, true);
    EXPECT_EQ(headless::CountCalls("SetTransform"), 2u);
    EXPECT_EQ(headless::CountCalls("DrawSubset"), 0u);
}

TEST_F(LoadingTest, LightsTakeTheirKeysOrKeepTheDefaults)
{
    WriteTree("POLYGON01",
              "L {\n"
              "  _LIGHTS_ { sun lamp ghost tint }\n"
              "  tint { _COLOR_ { 0.5 0.25 0.125 0.0 } }\n"
              "  sun { _POSITION_ { 5 10 15 } }\n"
              "  lamp { _POSITION_ { 1 2 } _COLOR_ { 0.5 0.25 } _FALLOFF_ { 50 60 }\n"
              "         _SPECULAR_ {} _AMBIENT_ { 0.5 } _LOOK_ { 1 two { x } 3 }\n"
              "         _ATTENUATION_ { 0.25 } _SPECULAR_INTENSY_ { 0.75 } }\n"
              "}");
    lights->Load("POLYGON01");
    EXPECT_THAT(LogTexts(), ElementsAre("[+] Light:  sun", "[+] Light:  lamp", "[+] Light:  ghost",
                                        "[+] Light:  tint",
                                        "Light Manager setup completed with 4 lights."));
    ASSERT_EQ(lights->lightCount, 4u);

    const Korvel_Light* sun = lights->first->light;
    const Korvel_Light* lamp = lights->first->next->light;
    const Korvel_Light* ghost = lights->first->next->next->light;
    EXPECT_EQ(sun->position, D3DXVECTOR4(5, 10, 15, 1));
    EXPECT_EQ(sun->colour, D3DXVECTOR4(1, 1, 1, 1));
    EXPECT_EQ(sun->falloff, 1000.0f);
    EXPECT_EQ(sun->specular, 8.5f);
    EXPECT_EQ(sun->specularIntensity, 0.19f);
    EXPECT_EQ(sun->ambient, 0.005f);
    EXPECT_EQ(sun->attenuation, 0.8f);

    // Too few values leave a key alone; knot children count as values.
    EXPECT_EQ(lamp->position, D3DXVECTOR4(0, 0, 0, 0));
    EXPECT_EQ(lamp->colour, D3DXVECTOR4(1, 1, 1, 1));
    EXPECT_EQ(lamp->falloff, 50.0f);
    EXPECT_EQ(lamp->specular, 8.5f);
    EXPECT_EQ(lamp->ambient, 0.5f);
    EXPECT_EQ(lamp->look, D3DXVECTOR4(1, 0, 3, 1));
    EXPECT_EQ(lamp->attenuation, 0.25f);
    EXPECT_EQ(lamp->specularIntensity, 0.75f);
    EXPECT_STREQ(ghost->name.getChars(), "ghost");
    EXPECT_EQ(ghost->position, D3DXVECTOR4(0, 0, 0, 0));
    // Surplus values are ignored; the alpha is always 1.
    EXPECT_EQ(lights->first->next->next->next->light->colour, D3DXVECTOR4(0.5f, 0.25f, 0.125f, 1.0f));
}

TEST_F(LoadingTest, BrokenEffectIsReportedAndStillCounted)
{
    WriteEffect("fx/glass.fx");
    WriteFile("fx/phong.fx", "float4 x;\ntechnique ald_Phong { pass P0 { VertexShader = ; } \n");
    WriteTree("fx/glass.dr", "glass { _ANY_ { 1 } }");
    WriteTree("POLYGON01",
              "L { _EFFECTS_ { phong glass nothing }\n"
              "  phong { _FILE_FX_ { \"fx\\\\phong.fx\" } _FILE_ { none } }\n"
              "  glass { _FILE_FX_ { \"fx\\\\glass.fx\" } _FILE_ { \"fx\\\\glass.dr\" } } }");
    effects->Load("POLYGON01");

    std::vector<LogLine> log = Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].text, "fx\\phong.fx");
    EXPECT_EQ(log[0].tag, "_ERROR_");
    EXPECT_EQ(log[1].text, "[+] Effect:  glass");
    EXPECT_EQ(log[1].tag, "_TEXT_");
    // A name with no knot of its own is its param under "_EFFECTS_": no file, "none".
    EXPECT_EQ(log[2].text, "none");
    EXPECT_EQ(log[2].tag, "_ERROR_");
    EXPECT_EQ(log[3].text, "Effect Manager setup completed with 3 Effects.");

    EXPECT_EQ(effects->effectCount, 3u);
    ASSERT_NE(effects->first, nullptr);
    EXPECT_EQ(effects->first->number, 2u);
    EXPECT_STREQ(effects->first->name.getChars(), "glass");
    EXPECT_EQ(effects->first->next, nullptr);

    D3DXMATRIX view, projection;
    Zarvik_string name;
    name = "phong";
    EXPECT_EQ(effects->FindEffect(name, &view, &projection), nullptr);
    name = "Glass";
    EXPECT_EQ(effects->FindEffect(name, &view, &projection), nullptr);
    name = "glass";
    EXPECT_EQ(effects->FindEffect(name, &view, &projection), effects->first->effect);
}

TEST_F(LoadingTest, EffectsWhoseShadersDoNotCompileAreReported)
{
    const std::string body =
        "float4x4 mat_World_View_Proj;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p, mat_World_View_Proj); }\n"
        "float4 PS() : COLOR { return 1; }\n";
    const std::string pass = "VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS();";
    auto Effect = [&](const std::string& extra, const std::string& passText) {
        return extra + body + "technique ald_Phong { pass P0 { " + passText + " } }\n";
    };
    std::string profile = pass;
    profile.replace(profile.find("vs_2_0"), 6, "vs_9_9");
    WriteFile("fx/profile.fx", Effect("", profile));
    WriteFile("fx/include.fx", Effect("#include \"absent.fxh\"\n", pass));
    WriteFile("fx/good.fx", Effect("", pass));
    WriteTree("POLYGON01",
              "L { _EFFECTS_ { profile include good }\n"
              "  profile { _FILE_FX_ { \"fx\\\\profile.fx\" } _FILE_ { none } }\n"
              "  include { _FILE_FX_ { \"fx\\\\include.fx\" } _FILE_ { none } }\n"
              "  good { _FILE_FX_ { \"fx\\\\good.fx\" } _FILE_ { none } } }");
    effects->Load("POLYGON01");

    std::vector<LogLine> log = Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].text, "fx\\profile.fx");
    EXPECT_EQ(log[0].tag, "_ERROR_");
    EXPECT_EQ(log[1].text, "fx\\include.fx");
    EXPECT_EQ(log[1].tag, "_ERROR_");
    EXPECT_EQ(log[2].text, "[+] Effect:  good");
    EXPECT_EQ(log[3].text, "Effect Manager setup completed with 3 Effects.");
    ASSERT_NE(effects->first, nullptr);
    EXPECT_EQ(effects->first->next, nullptr);
}

}  // namespace
