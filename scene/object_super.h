// Base of the scene objects: the parameter tree, world matrix and placement every object has,
// with the two drawing slots. The base versions load nothing and draw nothing.
#pragma once

#include "d3dx9.h"
#include "param_tree/dynamic_row.h"

class Object_Super {
public:
    DynamicRow parameters;            // the object's own parameter file
    IDirect3DDevice9** deviceAddress; // where the current device is found
    D3DXMATRIX world;                 // computed by Load
    D3DXVECTOR3 position;             // from the level
    D3DXVECTOR3 rotation;             // degrees about x, y, z, from the level

    Object_Super() : deviceAddress(nullptr), position(0, 0, 0), rotation(0, 0, 0)
    {
        D3DXMatrixIdentity(&world);
    }

    // Slot order matters: Load, Draw, then the destructor.
    virtual bool Load() { return true; }
    virtual void Draw(unsigned int lightNumber, bool firstLight)
    {
        (void)lightNumber;
        (void)firstLight;
    }
    virtual ~Object_Super() {}
};
