// Korvel_Effect_Manager: effects compiled from the files the level names, looked up by name
// at draw time together with the current camera's position and matrices.
#include "scene/effect_manager.h"
#include "scene/tree_release.h"

#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "param_tree/dynamic_row.h"
#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "scene/scene_text.h"

Korvel_Effect_Manager::Korvel_Effect_Manager(IDirect3DDevice9* device,
                                             Korvel_Camera_Manager* cameraManager,
                                             Korvel_Console* console)
    : device(device), effectCount(0), first(nullptr), console(console),
      cameraManager(cameraManager), failed(nullptr), startTime(timeGetTime())
{
}

// The compiler's own words, with file and line, for the author's terminal. The platform
// prints nothing itself when the caller takes its messages in a buffer.
static bool PrintMessages(ID3DXBuffer* errors)
{
    const char* text = errors ? static_cast<const char*>(errors->GetBufferPointer()) : nullptr;
    if (!text || errors->GetBufferSize() == 0 || !*text) return false;
    const void* end = std::memchr(text, 0, errors->GetBufferSize());
    size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - text)
                        : errors->GetBufferSize();
    std::fwrite(text, 1, length, stderr);
    if (text[length - 1] != '\n') std::fputc('\n', stderr);
    return true;
}

static void DeleteList(EffectNode* node)
{
    while (node) {
        EffectNode* next = node->next;
        if (node->effect) node->effect->Release();
        delete node;
        node = next;
    }
}

Korvel_Effect_Manager::~Korvel_Effect_Manager()
{
    DeleteList(first);
    DeleteList(failed);
}

// Appends `node` to the list at `head`, or inserts it before the first record with a higher
// number, so that records stay in load order.
static void InsertByNumber(EffectNode** head, EffectNode* node)
{
    EffectNode** at = head;
    while (*at && (*at)->number < node->number) at = &(*at)->next;
    node->next = *at;
    *at = node;
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
    node->number = effectCount;
    node->name = name;
    node->file = fxFile;
    node->next = nullptr;
    if (FAILED(hr) || !node->effect) {
        console->AddMessage(fxFile, KIND_ERROR);
        // Never listed; the attempt stays counted in effectCount.
        if (node->effect) node->effect->Release();
        node->effect = nullptr;
        InsertByNumber(&failed, node);
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
    Bind(node);
    InsertByNumber(&first, node);
    return node->number;
}

void Korvel_Effect_Manager::Bind(EffectNode* node)
{
    BindEffect(node->effect, node->binding);
    std::vector<std::string> missing;
    LoadBindingTextures(device, node->effect, node->file.getChars(), node->binding, missing);
    for (const std::string& file : missing)
        console->AddMessage(SceneText("[T.F] cannot find: ", file.c_str()), KIND_ERROR);
}

// Unlinks and returns the record with `number` from the list at `head`, or null.
static EffectNode* TakeByNumber(EffectNode** head, unsigned int number)
{
    for (EffectNode** at = head; *at; at = &(*at)->next) {
        if ((*at)->number != number) continue;
        EffectNode* node = *at;
        *at = node->next;
        node->next = nullptr;
        return node;
    }
    return nullptr;
}

bool Korvel_Effect_Manager::ReloadEffect(unsigned int number)
{
    EffectNode* node = first;
    while (node && node->number != number) node = node->next;
    EffectNode* was = failed;
    while (!node && was && was->number != number) was = was->next;
    if (!node && !was) return false;
    const Zarvik_string file = node ? node->file : was->file;

    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    HRESULT hr = D3DXCreateEffectFromFileA(device, file.getChars(), nullptr, nullptr, 0, nullptr,
                                           &effect, &errors);
    if (FAILED(hr) || !effect) {
        if (!PrintMessages(errors)) {
            std::fprintf(stderr, "%s: error: the effect could not be created (0x%08X)\n",
                         file.getChars(), static_cast<unsigned>(hr));
        }
        if (errors) errors->Release();
        if (effect) effect->Release();
        console->AddMessage(SceneText("[!] Reload failed: ", file.getChars()), KIND_ERROR);
        return false;
    }
    if (errors) {  // warnings only
        PrintMessages(errors);
        errors->Release();
    }

    if (node) {
        node->effect->Release();
        node->effect = effect;
    } else {
        node = TakeByNumber(&failed, number);
        node->effect = effect;
        InsertByNumber(&first, node);
    }
    console->AddMessage(SceneText("[~] Reloaded: ", file.getChars()), KIND_SYSTEM);
    Bind(node);
    return true;
}

ID3DXEffect* Korvel_Effect_Manager::FindEffect(Zarvik_string name, D3DXMATRIX* view,
                                               D3DXMATRIX* projection, const EffectBinding** binding)
{
    if (binding) *binding = nullptr;
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
        if (named && node->name == name) {
            if (binding) *binding = &node->binding;
            return node->effect;
        }
    }
    return nullptr;
}
