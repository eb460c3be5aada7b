// Shared drawing resources (default textures, three fonts, one effect) and the frame itself.
// Resources that fail to load are counted and logged; the frame draws with whatever exists.
#pragma once

#include "d3d9.h"
#include "d3dx9.h"
#include "strings/zarvik_string.h"

class Korvel_Camera_Manager;
class Korvel_Object_Manager;
class Korvel_Console;
class Korvel_Light_Manager;

class Korvel_Render_Manager {
public:
    IDirect3DDevice9* device;
    unsigned int errorCount;  // resources that failed in Initialize
    Korvel_Camera_Manager* cameraManager;
    Korvel_Object_Manager* objectManager;
    Korvel_Console* console;
    Korvel_Light_Manager* lightManager;
    D3DCOLOR backColour;      // clear colour, copied from the engine at level start-up
    ID3DXFont* infoFont;      // Verdana 8 pt bold: the info text
    ID3DXFont* largeFont;     // Verdana 16 pt bold
    ID3DXFont* smallFont;     // Kartika 14 px
    // Heap cells holding a texture pointer, so the cell can be handed out before loading.
    IDirect3DTexture9** redTexture;
    IDirect3DTexture9** whiteTexture;
    IDirect3DTexture9** blueTexture;
    IDirect3DTexture9** yellowTexture;
    ID3DXEffect* effect;      // "fx\ald_Phong.fx"

    Korvel_Render_Manager(IDirect3DDevice9* device, Korvel_Camera_Manager* cameraManager,
                          Korvel_Object_Manager* objectManager, Korvel_Light_Manager* lightManager,
                          Korvel_Console* console);
    virtual ~Korvel_Render_Manager();

    void Initialize();  // textures, fonts, effect; then logs the error count
    void CreateFonts();
    void CreateEffect();

    void Render(int fps);  // one whole frame, presented
    void DrawInfoText(Zarvik_string text, int x, int y, int spare);
};
