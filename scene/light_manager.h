// The level's lights, numbered from 1 in load order. Objects are drawn once per light and ask
// the manager to put that light's values into their effect before drawing.
#pragma once

#include "d3dx9.h"
#include "strings/zarvik_string.h"

class DynamicRow;
class Korvel_Console;
class Korvel_Light;

struct LightNode {
    unsigned int number;  // 1, 2, 3 ... in load order
    Korvel_Light* light;  // owned through the record
    LightNode* next;      // null for the last
};

class Korvel_Light_Manager {
public:
    unsigned int lightCount;    // number of lights, also the number of the last one
    LightNode* first;           // null while empty
    D3DXMATRIX* worldAddress;   // the engine's world matrix; not read
    Korvel_Console* console;

    Korvel_Light_Manager(D3DXMATRIX* worldAddress, Korvel_Console* console);
    virtual ~Korvel_Light_Manager();

    bool Load(const char* level);  // always true
    void ReadLights(DynamicRow* tree);
    unsigned int AddLight(Zarvik_string name, DynamicRow* tree);

    // Sets the constants of light `number` (or of the last light when no light has it).
    void SetLightConstants(ID3DXEffect* effect, unsigned int number);

    // Light `number`, or null when no light has it.
    Korvel_Light* Light(unsigned int number);

    // Markers of every light; a and b are the render manager's texture cells.
    void DrawMarkers(IDirect3DDevice9** device, IDirect3DTexture9** a, IDirect3DTexture9** b);
};
