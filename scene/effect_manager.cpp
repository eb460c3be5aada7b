// Korvel_Effect_Manager: effects compiled from the files the level names, looked up by name
// at draw time together with the current camera's position and matrices.
#include "scene/effect_manager.h"
#include "scene/tree_release.h"

#include "console/console.h"
#include "param_tree/dynamic_row.h"
#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "scene/scene_text.h"

Korvel_Effect_Manager::Korvel_Effect_Manager(IDirect3DDevice9* device,
                                             Korvel_Camera_Manager* cameraManager,
                                             Korvel_Console* console)
    : device(device), effectCount(0), first(nullptr), console(console),
      cameraManager(cameraManager)
{
}

Korvel_Effect_Manager::~Korvel_Effect_Manager()
{
    while (first) {
        EffectNode* next = first->next;
        if (first->effect) first->effect->Release();
        delete first;
        first = next;
    }
}

bool Korvel_Effect_Manager::Load(const char* level)
{
    Zarvik_string file;
    file = level;
    DynamicRow tree;
    tree.iLoadFromFile(file);
    ReadEffects(&tree);
    ReleaseTree(tree);

    Zarvik_string message;
    message = "Effect Manager setup completed with ";
    message += static_cast<int>(effectCount);
    message += " Effects.";
    console->AddMessage(message, KIND_COMMENT);
    return true;
}

void Korvel_Effect_Manager::ReadEffects(DynamicRow* tree)
{
    unsigned int id = tree->iLookId("_EFFECTS_");
    unsigned int n = tree->iCountKnots(id) + tree->iCountParams(id);
    if (static_cast<int>(id) <= 0 || static_cast<int>(n) <= 0) return;
    unsigned int child = tree->TopId(id);
    for (unsigned int i = 0; i < n; ++i) {
        if (i > 0) child = tree->NextId(child);
        AddEffect(tree->iLookName(child), tree);
    }
}

unsigned int Korvel_Effect_Manager::AddEffect(Zarvik_string name, DynamicRow* tree)
{
    EffectNode* node = new EffectNode;
    node->effect = nullptr;
    ++effectCount;

    unsigned int id = tree->iLookId(name);
    Zarvik_string fxFile = tree->iLookName(tree->TopId(tree->iLookInFor(id, "_FILE_FX_")));
    HRESULT hr = D3DXCreateEffectFromFileA(device, fxFile.getChars(), nullptr, nullptr, 0,
                                           nullptr, &node->effect, nullptr);
    if (FAILED(hr) || !node->effect) {
        console->AddMessage(fxFile, KIND_ERROR);
        delete node;  // never listed; the attempt stays counted in effectCount
        return 0;
    }

    // The effect's own parameter file is read and dropped: nothing uses its contents.
    Zarvik_string paramFile = tree->iLookName(tree->TopId(tree->iLookInFor(id, "_FILE_")));
    if (paramFile != "none") {
        DynamicRow parameters;
        parameters.iLoadFromFile(paramFile);
        ReleaseTree(parameters);
    }

    console->AddMessage(SceneText("[+] Effect:  ", name.getChars()), KIND_TEXT);
    node->number = effectCount;
    node->name = name;
    node->next = nullptr;
    if (!first) {
        first = node;
    } else {
        EffectNode* last = first;
        while (last->next) last = last->next;
        last->next = node;
    }
    return node->number;
}

ID3DXEffect* Korvel_Effect_Manager::FindEffect(Zarvik_string name, D3DXMATRIX* view,
                                               D3DXMATRIX* projection)
{
    // Without a current camera the effects see the origin and identity matrices.
    Korvel_Camera* camera =
        (cameraManager && cameraManager->current) ? cameraManager->current->camera : nullptr;
    D3DXVECTOR4 viewPosition(0.0f, 0.0f, 0.0f, 1.0f);
    if (camera) {
        viewPosition = D3DXVECTOR4(camera->eye.x, camera->eye.y, camera->eye.z, 1.0f);
        *view = camera->viewMatrix;
        *projection = camera->projectionMatrix;
    } else {
        D3DXMatrixIdentity(view);
        D3DXMatrixIdentity(projection);
    }

    // "none" is what a missing name reads as; it never names an effect, even one so listed.
    bool named = !(name == "none");
    for (EffectNode* node = first; node; node = node->next) {
        node->effect->SetVector("View_Pos", &viewPosition);
        if (named && node->name == name) return node->effect;
    }
    return nullptr;
}
