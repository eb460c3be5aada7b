// The level's shader effects, each known by the name the level lists it under. Objects look
// their effects up by name at draw time and get the current camera's matrices with them.
#pragma once

#include "d3dx9.h"
#include "scene/effect_binding.h"
#include "strings/zarvik_string.h"

class DynamicRow;
class Korvel_Console;
class Korvel_Camera_Manager;

struct EffectNode {
    unsigned int number;   // effectCount when the effect was added (failed effects count too)
    Zarvik_string name;    // the name listed under "_EFFECTS_"
    ID3DXEffect* effect;   // owned through the record; null only in the failed list
    EffectNode* next;      // null for the last
    Zarvik_string file;    // the effect file as the level names it
    EffectBinding binding; // its parameters bound by semantic, worked out when it was created
};

class Korvel_Effect_Manager {
public:
    IDirect3DDevice9* device;
    unsigned int effectCount;  // effects attempted, failed ones included
    EffectNode* first;         // null while empty
    Korvel_Console* console;
    Korvel_Camera_Manager* cameraManager;
    // Effects whose file did not compile, in load order: not in the list, kept so that a
    // corrected file can be created again in its place.
    EffectNode* failed;
    DWORD startTime;   // timeGetTime when the level's effects began: their clock's zero

    Korvel_Effect_Manager(IDirect3DDevice9* device, Korvel_Camera_Manager* cameraManager,
                          Korvel_Console* console);
    virtual ~Korvel_Effect_Manager();

    bool Load(const char* level);  // always true
    void ReadEffects(DynamicRow* tree);
    unsigned int AddEffect(Zarvik_string name, DynamicRow* tree);  // 0 when not created

    // The effect named `name`, or null ("none" names no effect). Fills view and projection
    // from the current camera (identity, and the origin as "View_Pos", without one) and sets
    // "View_Pos" on every effect up to and including the one returned.
    // `binding`, when given, receives the effect's binding table (null with no effect).
    ID3DXEffect* FindEffect(Zarvik_string name, D3DXMATRIX* view, D3DXMATRIX* projection,
                            const EffectBinding** binding = nullptr);

    // Creates effect `number` again from its file. On success the new effect takes the old
    // one's place (a failed one joins the list in load order) and "[~] Reloaded: <file>" is
    // logged; on failure the old effect stays, "[!] Reload failed: <file>" is logged and the
    // compiler's messages go to stderr. False on failure or when no effect has the number.
    bool ReloadEffect(unsigned int number);

private:
    // Works out the binding of a created effect and loads the textures it names; a texture not
    // found is logged as "[T.F] cannot find: <file>".
    void Bind(EffectNode* node);
};
