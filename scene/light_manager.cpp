// Korvel_Light_Manager: the light list, its loading from the level and the light constants.
#include "scene/light_manager.h"
#include "scene/tree_release.h"

#include "console/console.h"
#include "param_tree/dynamic_row.h"
#include "scene/light.h"
#include "scene/scene_text.h"

Korvel_Light_Manager::Korvel_Light_Manager(D3DXMATRIX* worldAddress, Korvel_Console* console)
    : lightCount(0), first(nullptr), worldAddress(worldAddress), console(console)
{
}

Korvel_Light_Manager::~Korvel_Light_Manager()
{
    while (first) {
        LightNode* next = first->next;
        delete first->light;
        delete first;
        first = next;
    }
}

bool Korvel_Light_Manager::Load(const char* level)
{
    Zarvik_string file;
    file = level;
    DynamicRow tree;
    tree.iLoadFromFile(file);
    ReadLights(&tree);
    ReleaseTree(tree);

    Zarvik_string message;
    message = "Light Manager setup completed with ";
    message += static_cast<int>(lightCount);
    message += " lights.";
    console->AddMessage(message, KIND_COMMENT);
    return true;
}

void Korvel_Light_Manager::ReadLights(DynamicRow* tree)
{
    unsigned int id = tree->iLookId("_LIGHTS_");
    unsigned int n = tree->iCountKnots(id) + tree->iCountParams(id);
    if (static_cast<int>(id) <= 0 || static_cast<int>(n) <= 0) return;
    unsigned int child = tree->TopId(id);
    for (unsigned int i = 0; i < n; ++i) {
        if (i > 0) child = tree->NextId(child);
        AddLight(tree->iLookName(child), tree);
    }
}

unsigned int Korvel_Light_Manager::AddLight(Zarvik_string name, DynamicRow* tree)
{
    LightNode* node = new LightNode;
    ++lightCount;
    node->light = new Korvel_Light;
    node->light->Load(name, tree);
    console->AddMessage(SceneText("[+] Light:  ", name.getChars()), KIND_TEXT);

    node->number = lightCount;
    node->next = nullptr;
    if (!first) {
        first = node;
    } else {
        LightNode* last = first;
        while (last->next) last = last->next;
        last->next = node;
    }
    return node->number;
}

Korvel_Light* Korvel_Light_Manager::Light(unsigned int number)
{
    for (LightNode* node = first; node; node = node->next)
        if (node->number == number) return node->light;
    return nullptr;
}

void Korvel_Light_Manager::SetLightConstants(ID3DXEffect* effect, unsigned int number)
{
    if (!first || !effect) return;
    LightNode* node = first;
    while (node->number != number && node->next) node = node->next;
    const Korvel_Light* light = node->light;

    effect->SetVector("LightPos", &light->position);
    effect->SetVector("LightColor", &light->colour);
    effect->SetFloat("LightFalloff", light->falloff);
    effect->SetFloat("LightSpecular", light->specular);
    effect->SetFloat("LightSpecular_Itens", light->specularIntensity);
    effect->SetFloat("LightAmbient", light->ambient);
    effect->SetFloat("Attenuation", light->attenuation);
}
