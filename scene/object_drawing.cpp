// Static_CObject drawing: once per light, with every effect its object file names, in every
// pass of the technique for a first or a later light; plainly when an effect is missing.
#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "scene/effect_manager.h"
#include "scene/light.h"
#include "scene/light_manager.h"
#include "scene/static_object.h"

void Static_CObject::Draw(unsigned int lightNumber, bool firstLight)
{
    ApplyWorld();
    if (fxCount == 0) {
        DrawPlain();
        return;
    }
    for (unsigned int i = 1; i <= fxCount; ++i) {
        Zarvik_string name = EffectName(i);
        D3DXMATRIX view, projection;
        D3DXMatrixIdentity(&view);
        D3DXMatrixIdentity(&projection);
        const EffectBinding* binding = nullptr;
        ID3DXEffect* effect =
            effectManager ? effectManager->FindEffect(name, &view, &projection, &binding) : nullptr;
        // An effect without the engine's techniques is drawn once, with the first light: a
        // later light would paint over it. One that takes lights in batches draws a batch
        // with the batch's first light.
        bool foreign = effect && binding && !binding->engineTechniques;
        unsigned int batch = effect && binding ? binding->batch.perPass : 0;
        if ((foreign && !firstLight) || (batch && (lightNumber - 1) % batch != 0)) continue;
        SetMatrices(effect, &view, &projection);
        if (!effect) {
            DrawPlain();
            continue;
        }
        if (lightManager) lightManager->SetLightConstants(effect, lightNumber);
        if (binding && !binding->perDraw.empty()) ApplyBinding(effect, *binding, view, projection, lightNumber);
        if (batch) {
            ApplyLightBatch(effect, binding->batch, lightNumber);
            effect->SetTechnique(firstLight ? binding->batch.first : binding->batch.further);
        } else if (foreign) {
            if (!binding->technique) continue;
            effect->SetTechnique(binding->technique);
        } else {
            effect->SetTechnique(firstLight ? "ald_Phong" : "ald_Phong_alpha");
        }
        static const EffectBinding kNone;
        DrawEffectPasses(deviceAddress ? *deviceAddress : nullptr, effect, binding ? *binding : kNone,
                         materialCount ? mesh : nullptr, materials, textures, materialCount);
    }
}

void Static_CObject::ApplyBinding(ID3DXEffect* effect, const EffectBinding& binding,
                                  const D3DXMATRIX& view, const D3DXMATRIX& projection,
                                  unsigned int lightNumber)
{
    BindingScene scene;
    scene.world = &world;
    scene.view = &view;
    scene.projection = &projection;
    Korvel_Camera_Manager* cameras = effectManager->cameraManager;
    if (cameras && cameras->current && cameras->current->camera) {
        scene.eye = cameras->current->camera->eye;
        scene.lookAt = cameras->current->camera->lookAt;
    }
    if (binding.needsTime)
        scene.seconds = static_cast<float>(timeGetTime() - effectManager->startTime) / 1000.0f;
    // Light 0 is the light drawn, light n the level's light n + 1.
    for (unsigned int n = 0; lightManager && n < binding.lightsUsed; ++n) {
        if (!ReadLight(lightManager->Light(n == 0 ? lightNumber : n + 1), scene.lights[n])) break;
        scene.lightCount = n + 1;
    }
    ApplyDraw(effect, binding, scene);
}

void Static_CObject::ApplyLightBatch(ID3DXEffect* effect, const LightBatch& batch, unsigned int lightNumber)
{
    BindingLight lights[kBindingLights];
    unsigned int count = 0;
    while (lightManager && count < batch.perPass && ReadLight(lightManager->Light(lightNumber + count), lights[count]))
        ++count;
    ::ApplyLightBatch(effect, batch, lights, count);
}

bool Static_CObject::ReadLight(const Korvel_Light* light, BindingLight& to)
{
    if (!light) return false;
    to.position = D3DXVECTOR4(light->position.x, light->position.y, light->position.z, 1.0f);
    to.lookAt = D3DXVECTOR3(light->look.x, light->look.y, light->look.z);
    to.colour = light->colour;
    to.ambient = light->ambient;
    to.falloff = light->falloff;
    to.specular = light->specular;
    to.specularIntensity = light->specularIntensity;
    to.attenuation = light->attenuation;
    return true;
}

void Static_CObject::DrawPlain()
{
    IDirect3DDevice9* device = deviceAddress ? *deviceAddress : nullptr;
    if (!device || !mesh) return;
    for (DWORD m = 0; m < materialCount; ++m) {
        device->SetMaterial(&materials[m]);
        device->SetTexture(0, textures[m]);  // null unbinds the previous subset's texture
        mesh->DrawSubset(m);
    }
}

void Static_CObject::ApplyWorld()
{
    IDirect3DDevice9* device = deviceAddress ? *deviceAddress : nullptr;
    if (device) device->SetTransform(D3DTS_WORLD, &world);
}

Zarvik_string Static_CObject::EffectName(unsigned int n)
{
    if (n == 0) {
        Zarvik_string none;
        none = "none";
        return none;
    }
    unsigned int node = parameters.TopId(parameters.iLookId("_FX_"));
    for (unsigned int i = 1; i < n && node != 0; ++i) node = parameters.NextId(node);
    return parameters.iLookName(node);
}

void Static_CObject::SetMatrices(ID3DXEffect* effect, D3DXMATRIX* view, D3DXMATRIX* projection)
{
    if (!effect) return;
    D3DXMATRIX m;
    D3DXMatrixMultiply(&m, &world, view);
    D3DXMatrixMultiply(&m, &m, projection);
    effect->SetMatrix("mat_World_View_Proj", &m);
    effect->SetMatrix("matWorld", &world);
}
