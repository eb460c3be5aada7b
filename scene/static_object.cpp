// Static_CObject: loading the object file, mesh, materials and textures, the world matrix,
// and drawing once per light with each named effect or, failing that, with fixed function.
#include "scene/static_object.h"
#include "scene/tree_release.h"

#include <string>

#include "windows.h"
#include "console/console.h"
#include "scene/effect_manager.h"
#include "scene/light_manager.h"
#include "scene/scene_text.h"

namespace {

// Degrees to radians, as the float the angles have always been scaled by.
const float kDegree = 0.0174532925f;
const char kDefaultTexture[] = "textures\\_def\\def.bmp";

}  // namespace

Static_CObject::Static_CObject(D3DXMATRIX* startWorld, const char* file,
                               IDirect3DDevice9** deviceAddress,
                               Korvel_Effect_Manager* effectManager,
                               Korvel_Light_Manager* lightManager, Korvel_Console* console)
    : mesh(nullptr), materials(nullptr), textures(nullptr), materialCount(0), console(console),
      effectManager(effectManager), lightManager(lightManager), fxCount(0)
{
    this->deviceAddress = deviceAddress;
    if (startWorld) world = *startWorld;
    position = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    Zarvik_string path;
    path = file;
    parameters.iLoadFromFile(path);
}

Static_CObject::~Static_CObject()
{
    for (unsigned int i = 0; textures && i < materialCount; ++i) {
        if (textures[i]) textures[i]->Release();
    }
    delete[] textures;
    delete[] materials;
    if (mesh) mesh->Release();
    ReleaseTree(parameters);
}

bool Static_CObject::Load()
{
    if (!parameters.root) {
        console->AddMessage("[!] Object File is corrupted and parameters are not loaded!",
                            KIND_ERROR);
        return false;
    }
    LoadMesh();
    CountEffects();
    ComputeWorld();
    return true;
}

void Static_CObject::LoadMesh()
{
    unsigned int id = parameters.iLookId("_MODEL_FILE_");
    unsigned int n = parameters.iCountParams(id) + parameters.iCountKnots(id);
    if (static_cast<int>(id) <= 0 || static_cast<int>(n) <= 0) return;

    Zarvik_string file = parameters.iLookName(parameters.TopId(id));
    meshFile = file.getChars();
    IDirect3DDevice9* device = deviceAddress ? *deviceAddress : nullptr;
    ID3DXBuffer* materialBuffer = nullptr;
    DWORD count = 0;
    HRESULT hr = D3DXLoadMeshFromXA(file.getChars(), D3DXMESH_SYSTEMMEM, device, nullptr,
                                    &materialBuffer, nullptr, &count, &mesh);
    if (FAILED(hr) || !mesh) {
        console->AddMessage(SceneText("[M.F] cannot find: ", file.getChars()), KIND_ERROR);
        // A failed load leaves no mesh and no subsets, whatever the call wrote.
        mesh = nullptr;
        materialCount = 0;
        return;
    }
    // Subsets are drawn only with a material each, so a mesh without materials draws nothing.
    if (!materialBuffer) return;

    materialCount = count;
    materials = new D3DMATERIAL9[materialCount];
    textures = new IDirect3DTexture9*[materialCount];
    const D3DXMATERIAL* source = static_cast<const D3DXMATERIAL*>(materialBuffer->GetBufferPointer());
    for (unsigned int i = 0; i < materialCount; ++i) {
        materials[i] = source[i].MatD3D;
        materials[i].Ambient = materials[i].Diffuse;
        textures[i] = nullptr;
        const char* name = source[i].pTextureFilename;
        if (name && lstrlenA(name) > 0) LoadTexture(i, name);
    }
    materialBuffer->Release();
}

void Static_CObject::LoadTexture(unsigned int i, const char* name)
{
    IDirect3DDevice9* device = *deviceAddress;
    const std::string tries[] = {name, std::string("textures\\") + name, kDefaultTexture};
    for (const std::string& path : tries) {
        textureFiles.push_back(path);
        textures[i] = nullptr;
        if (SUCCEEDED(D3DXCreateTextureFromFileA(device, path.c_str(), &textures[i])) && textures[i])
            return;
    }
    textures[i] = nullptr;
    console->AddMessage(SceneText("[T.F] cannot find: ", name), KIND_ERROR);
}

void Static_CObject::CountEffects()
{
    unsigned int x = parameters.iLookId("_FX_");
    fxCount = parameters.iCountKnots(x) + parameters.iCountParams(x);
}

// Translation first, then the turns about the world x, y and z axes through the origin.
void Static_CObject::ComputeWorld()
{
    D3DXMATRIX turn;
    D3DXMatrixTranslation(&world, position.x, position.y, position.z);
    D3DXMatrixRotationX(&turn, static_cast<float>(static_cast<double>(rotation.x) * kDegree));
    D3DXMatrixMultiply(&world, &world, &turn);
    D3DXMatrixRotationY(&turn, static_cast<float>(static_cast<double>(rotation.y) * kDegree));
    D3DXMatrixMultiply(&world, &world, &turn);
    D3DXMatrixRotationZ(&turn, static_cast<float>(static_cast<double>(rotation.z) * kDegree));
    D3DXMatrixMultiply(&world, &world, &turn);
}
