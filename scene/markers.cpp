// Wire markers of the cameras other than the current one and of the lights. Line lists are
// drawn from memory with the vertex format SetMarkerFormat selects; camera markers draw with
// their camera's world transform, light markers with the identity.
#include "scene/markers.h"

#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "scene/light.h"
#include "scene/light_manager.h"

namespace {

// Black, as D3DCOLOR 0xFF000000 reads in floats.
MarkerVertex Black(float x, float y, float z)
{
    return MarkerVertex{x, y, z, 0.0f, 0.0f, 0.0f, 1.0f};
}

IDirect3DDevice9* DeviceOf(IDirect3DDevice9** device)
{
    return device ? *device : nullptr;
}

}  // namespace

void SetMarkerFormat(IDirect3DDevice9* device)
{
    if (device) device->SetFVF(kMarkerFVF);
}

void DrawLine3D(D3DXVECTOR3 a, D3DXVECTOR3 b, IDirect3DDevice9** device)
{
    IDirect3DDevice9* d = DeviceOf(device);
    if (!d) return;
    MarkerVertex line[2] = {Black(a.x, a.y, a.z), Black(b.x, b.y, b.z)};
    d->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(MarkerVertex));
}

void DrawBox(D3DXVECTOR3 a, D3DXVECTOR3 b, IDirect3DDevice9** device)
{
    IDirect3DDevice9* d = DeviceOf(device);
    if (!d) return;
    MarkerVertex edges[24] = {
        Black(a.x, a.y, a.z), Black(b.x, a.y, a.z),  Black(b.x, a.y, a.z), Black(b.x, b.y, a.z),
        Black(b.x, b.y, a.z), Black(a.x, b.y, a.z),  Black(a.x, b.y, a.z), Black(a.x, a.y, a.z),
        Black(a.x, a.y, a.z), Black(a.x, a.y, b.z),  Black(a.x, a.y, b.z), Black(a.x, b.y, b.z),
        Black(a.x, b.y, b.z), Black(a.x, b.y, a.z),  Black(b.x, a.y, a.z), Black(b.x, a.y, b.z),
        Black(b.x, a.y, b.z), Black(a.x, a.y, b.z),  Black(b.x, b.y, a.z), Black(b.x, b.y, b.z),
        Black(b.x, b.y, b.z), Black(a.x, b.y, b.z),  Black(b.x, a.y, b.z), Black(b.x, b.y, b.z),
    };
    d->DrawPrimitiveUP(D3DPT_LINELIST, 12, edges, sizeof(MarkerVertex));
}

void Korvel_Camera_Manager::DrawMarkers(IDirect3DDevice9** device)
{
    IDirect3DDevice9* d = DeviceOf(device);
    if (!d) return;
    d->SetMaterial(&markerMaterial);
    SetMarkerFormat(d);
    for (CameraNode* node = first; node; node = node->next) {
        if (node != current && node->camera) node->camera->DrawMarker(device);
    }
}

void Korvel_Camera::DrawMarker(IDirect3DDevice9** device)
{
    IDirect3DDevice9* d = DeviceOf(device);
    if (!d) return;
    const D3DXVECTOR3 e = eye;
    const D3DXVECTOR3 l = lookAt;
    d->SetTransform(D3DTS_WORLD, &cameraWorld);
    DrawLine3D(e, l, device);
    DrawBox(D3DXVECTOR3(l.x + 2, l.y + 2, l.z + 2), D3DXVECTOR3(l.x - 2, l.y - 2, l.z - 2), device);
    DrawBox(D3DXVECTOR3(e.x + 10, e.y + 10, e.z + 10), D3DXVECTOR3(e.x - 10, e.y - 10, e.z - 10),
            device);
}

void Korvel_Light_Manager::DrawMarkers(IDirect3DDevice9** device, IDirect3DTexture9** a,
                                       IDirect3DTexture9** b)
{
    if (!first) return;
    IDirect3DDevice9* d = DeviceOf(device);
    // The marker vertices are world positions: no object's or camera's world transform may
    // move them away from their light.
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    if (d) d->SetTransform(D3DTS_WORLD, &identity);
    SetMarkerFormat(d);
    for (LightNode* node = first; node; node = node->next) {
        if (node->light) node->light->DrawMarker(device, a, b);
    }
}

void Korvel_Light::DrawMarker(IDirect3DDevice9** device, IDirect3DTexture9** a,
                              IDirect3DTexture9** b)
{
    IDirect3DDevice9* d = DeviceOf(device);
    if (!d) return;
    const float px = position.x, py = position.y, pz = position.z;
    auto P = [&](float sx, float sy, float sz) {
        return D3DXVECTOR3(px + 15 * sx, py + 15 * sy, pz + 15 * sz);
    };
    const D3DXVECTOR3 up(px, py + 20, pz);
    const D3DXVECTOR3 down(px, py - 20, pz);

    d->SetTexture(0, a ? *a : nullptr);
    DrawLine3D(P(+1, +1, +1), P(-1, -1, -1), device);
    DrawLine3D(P(+1, +1, -1), P(-1, -1, +1), device);
    DrawLine3D(P(+1, -1, -1), P(-1, +1, +1), device);
    DrawLine3D(P(-1, +1, -1), P(+1, -1, +1), device);
    DrawLine3D(up, down, device);

    d->SetTexture(0, b ? *b : nullptr);
    DrawBox(P(+1, +1, +1), P(-1, -1, -1), device);
    DrawLine3D(P(+1, -1, -1), down, device);
    DrawLine3D(P(-1, -1, -1), down, device);
    DrawLine3D(P(+1, -1, +1), down, device);
    DrawLine3D(P(-1, -1, +1), down, device);
    DrawLine3D(P(+1, +1, +1), up, device);
    DrawLine3D(P(+1, +1, -1), up, device);
    DrawLine3D(P(-1, +1, +1), up, device);
    DrawLine3D(P(-1, +1, -1), up, device);
}
