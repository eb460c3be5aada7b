// Korvel_Object_Manager: reading the level's object entries and adding objects to the list.
#include "scene/object_manager.h"
#include "scene/tree_release.h"

#include "console/console.h"
#include "param_tree/dynamic_row.h"
#include "scene/scene_text.h"
#include "scene/static_object.h"

Korvel_Object_Manager::Korvel_Object_Manager(D3DXMATRIX* worldAddress,
                                             IDirect3DDevice9** deviceAddress,
                                             Korvel_Effect_Manager* effectManager,
                                             Korvel_Light_Manager* lightManager,
                                             Korvel_Console* console)
    : objectCount(0), first(nullptr), worldAddress(worldAddress), deviceAddress(deviceAddress),
      errorCount(0), console(console), effectManager(effectManager), lightManager(lightManager)
{
}

Korvel_Object_Manager::~Korvel_Object_Manager()
{
    while (first) {
        ObjectNode* next = first->next;
        delete first->object;
        delete first;
        first = next;
    }
}

bool Korvel_Object_Manager::Load(const char* level)
{
    errorCount = 0;
    Zarvik_string file;
    file = level;
    DynamicRow tree;
    tree.iLoadFromFile(file);
    ReadObjects(&tree);
    ReleaseTree(tree);
    return true;
}

namespace {

// Three floats from the first children of `key` below `entry`; missing ones read "none".
D3DXVECTOR3 ReadVector(DynamicRow* tree, unsigned int entry, const char* key)
{
    unsigned int p = tree->TopId(tree->iLookInFor(entry, key));
    float x = tree->iLookName(p).toFloat();
    p = tree->NextId(p);
    float y = tree->iLookName(p).toFloat();
    p = tree->NextId(p);
    float z = tree->iLookName(p).toFloat();
    return D3DXVECTOR3(x, y, z);
}

}  // namespace

bool Korvel_Object_Manager::ReadObjects(DynamicRow* tree)
{
    errorCount = 0;
    unsigned int id = tree->iLookId("_OBJECTS_");
    unsigned int n = tree->iCountKnots(id) + tree->iCountParams(id);
    if (static_cast<int>(id) > 0 && static_cast<int>(n) > 0) {
        unsigned int entry = tree->TopId(id);
        for (unsigned int i = 0; i < n; ++i) {
            if (i > 0) entry = tree->NextId(entry);
            Zarvik_string type = tree->iLookName(tree->TopId(tree->iLookInFor(entry, "_OBJECT_TYPE_")));
            Zarvik_string path = tree->iLookName(tree->TopId(tree->iLookInFor(entry, "_OBJECT_PATH_")));
            D3DXVECTOR3 position = ReadVector(tree, entry, "_POSITION_");
            D3DXVECTOR3 rotation = ReadVector(tree, entry, "_ROTATION_");
            if (type == "_OBJECT_SIMPLE_") AddObject(path, position, rotation);
        }
    }

    Zarvik_string message;
    message = "Object Manager setup completed with ";
    message += static_cast<int>(errorCount);
    message += " errors and ";
    message += static_cast<int>(objectCount);
    message += " objects.";
    console->AddMessage(message, KIND_COMMENT);
    return true;
}

unsigned int Korvel_Object_Manager::AddObject(Zarvik_string path, D3DXVECTOR3 position,
                                              D3DXVECTOR3 rotation)
{
    ++objectCount;
    console->AddMessage(SceneText("[O.F.] ", path.getChars()), KIND_TEXT);

    Object_Super* object = new Static_CObject(worldAddress, path.getChars(), deviceAddress,
                                              effectManager, lightManager, console);
    object->position = position;
    object->rotation = rotation;
    if (!object->Load()) {
        --objectCount;
        ++errorCount;
        unreadFiles.push_back(path.getChars());
        delete object;  // never listed; the next object takes its id
        return 0;
    }

    ObjectNode* node = new ObjectNode;
    node->object = object;
    node->file = path;
    node->visible = 1;
    node->id = objectCount;
    node->next = nullptr;
    if (!first) {
        first = node;
    } else {
        ObjectNode* last = first;
        while (last->next) last = last->next;
        last->next = node;
    }
    return node->id;
}

bool Korvel_Object_Manager::ReloadObject(unsigned int id)
{
    ObjectNode* node = first;
    while (node && node->id != id) node = node->next;
    if (!node) return false;

    console->AddMessage(SceneText("[O.F.] ", node->file.getChars()), KIND_TEXT);
    Object_Super* object = new Static_CObject(worldAddress, node->file.getChars(), deviceAddress,
                                              effectManager, lightManager, console);
    object->position = node->object ? node->object->position : D3DXVECTOR3(0, 0, 0);
    object->rotation = node->object ? node->object->rotation : D3DXVECTOR3(0, 0, 0);
    if (!object->Load()) {
        delete object;
        return false;
    }
    delete node->object;
    node->object = object;
    return true;
}
