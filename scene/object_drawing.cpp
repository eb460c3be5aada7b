// Static_CObject drawing: once per light, with every effect its object file names, in every
// pass of the technique for a first or a later light; plainly when an effect is missing.
#include "scene/effect_manager.h"
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
        ID3DXEffect* effect =
            effectManager ? effectManager->FindEffect(name, &view, &projection) : nullptr;
        SetMatrices(effect, &view, &projection);
        if (!effect) {
            DrawPlain();
            continue;
        }
        if (lightManager) lightManager->SetLightConstants(effect, lightNumber);
        effect->SetTechnique(firstLight ? "ald_Phong" : "ald_Phong_alpha");

        UINT passes = 0;  // stays 0 when Begin fails: nothing is drawn
        effect->Begin(&passes, 0);
        for (UINT p = 0; p < passes; ++p) {
            effect->BeginPass(p);
            DrawPlain();
            effect->EndPass();
        }
        effect->End();
    }
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
