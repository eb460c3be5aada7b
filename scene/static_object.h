// A static mesh object: an .x mesh with its materials and textures, placed by a world matrix
// and drawn once per light with the effects its parameter file names under "_FX_".
#pragma once

#include <string>
#include <vector>

#include "d3dx9.h"
#include "scene/object_super.h"
#include "strings/zarvik_string.h"

class Korvel_Console;
class Korvel_Effect_Manager;
class Korvel_Light_Manager;
class Korvel_Light;
struct BindingLight;
struct EffectBinding;
struct LightBatch;

class Static_CObject : public Object_Super {
public:
    ID3DXMesh* mesh;                 // meaningful only while materialCount > 0
    D3DMATERIAL9* materials;         // materialCount entries, ambient = diffuse
    IDirect3DTexture9** textures;    // materialCount entries, null for an untextured subset
    unsigned int materialCount;      // 0 when no mesh was loaded
    Korvel_Console* console;
    Korvel_Effect_Manager* effectManager;
    Korvel_Light_Manager* lightManager;
    unsigned int fxCount;            // number of names under "_FX_"
    // Files Load read besides the object file, as named: the mesh (also when it failed) and
    // every path each texture lookup tried, up to the one that loaded (a fallback's own name
    // last); watched for changes, so that a texture fixed after failing is loaded.
    std::string meshFile;
    std::vector<std::string> textureFiles;

    // Reads the object file at `file` into `parameters`; `world` starts as a copy of *world.
    Static_CObject(D3DXMATRIX* world, const char* file, IDirect3DDevice9** deviceAddress,
                   Korvel_Effect_Manager* effectManager, Korvel_Light_Manager* lightManager,
                   Korvel_Console* console);
    ~Static_CObject() override;

    bool Load() override;
    void Draw(unsigned int lightNumber, bool firstLight) override;

    void CountEffects();
    void ApplyWorld();
    Zarvik_string EffectName(unsigned int n);  // n counts from 1; "none" past the last
    void SetMatrices(ID3DXEffect* effect, D3DXMATRIX* view, D3DXMATRIX* projection);

    // Fixed-function draw of every subset with its material and stage-0 texture.
    void DrawPlain();

private:
    // The values of an effect's parameters bound by semantic, for this object and light.
    void ApplyBinding(ID3DXEffect* effect, const EffectBinding& binding, const D3DXMATRIX& view,
                      const D3DXMATRIX& projection, unsigned int lightNumber);
    // The light arrays of an effect that takes lights in batches: lights lightNumber onwards.
    void ApplyLightBatch(ID3DXEffect* effect, const LightBatch& batch, unsigned int lightNumber);
    static bool ReadLight(const Korvel_Light* light, BindingLight& to);   // false for none
    void LoadMesh();
    void LoadTexture(unsigned int i, const char* name);
    void ComputeWorld();
};
