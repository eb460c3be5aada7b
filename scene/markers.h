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

// No fixed-function format names a four-float colour, so the marker format describes the
// 28 bytes as a position and one four-float texture set (format 2 at bits 16-17): the layout
// matches, and with a solid default texture bound the lines take that texture's colour.
const DWORD kMarkerFVF = D3DFVF_XYZ | D3DFVF_TEX1 | (2u << 16);

// Selects the marker vertex format on the device.
void SetMarkerFormat(IDirect3DDevice9* device);
