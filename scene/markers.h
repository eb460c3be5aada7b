// Wire markers: black line lists drawn from memory. The free functions set no state of their
// own; the marker drawers select the marker vertex format before they draw.
#pragma once

#include "d3dx9.h"

// 28 bytes: position, then colour as four floats r, g, b, a.
struct MarkerVertex {
    float x, y, z;
    float r, g, b, a;
};

void DrawLine3D(D3DXVECTOR3 a, D3DXVECTOR3 b, IDirect3DDevice9** device);
void DrawBox(D3DXVECTOR3 a, D3DXVECTOR3 b, IDirect3DDevice9** device);

// Selects the marker vertex format on the device.
void SetMarkerFormat(IDirect3DDevice9* device);
