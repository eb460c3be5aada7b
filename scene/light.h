// One light of the level. Lights are never device lights: their values exist only as
// effect constants, handed to an effect before each object draw, and as a wire marker.
#pragma once

#include "d3dx9.h"
#include "strings/zarvik_string.h"

class DynamicRow;

class Korvel_Light {
public:
    Zarvik_string name;
    D3DXVECTOR4 position;     // "LightPos"; w is 1 once the level gives a position, else 0
    D3DXVECTOR4 look;         // the point it shines at: the direction effects bound by semantic get
    float falloff;            // "LightFalloff"
    float specular;           // "LightSpecular"
    float specularIntensity;  // "LightSpecular_Itens"
    float ambient;            // "LightAmbient"
    float attenuation;        // "Attenuation"
    D3DXVECTOR4 colour;       // "LightColor", alpha 1

    Korvel_Light();
    virtual ~Korvel_Light();

    // Reads the light's keys below the node named `name`; false when that node has no children.
    bool Load(Zarvik_string name, DynamicRow* tree);

    // Wire cube with diagonals and two pyramids around the position; a and b are texture cells.
    void DrawMarker(IDirect3DDevice9** device, IDirect3DTexture9** a, IDirect3DTexture9** b);
};
