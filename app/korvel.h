// The engine object: owns the Direct3D device, the shared world matrix, the console, the
// command time line and every scene manager, and the values read from "ini.txt".
// Nothing it creates is ever released; the only shutdown work is saving the console log.
#pragma once

#include "windows.h"
#include "d3d9.h"
#include "d3dx9.h"
#include "param_tree/dynamic_row.h"

class Korvel_Camera_Manager;
class Korvel_Object_Manager;
class Korvel_Console;
class Korvel_TimeLine;
class Korvel_Render_Manager;
class Korvel_Light_Manager;
class Korvel_Effect_Manager;

class Korvel {
public:
    IDirect3D9* direct3d;
    IDirect3DDevice9* device;
    IDirect3DDevice9** deviceAddress;  // &device once the level has started
    D3DXMATRIX world;                  // identity after StartLevel; managers keep its address
    Korvel_Camera_Manager* cameraManager;
    Korvel_Object_Manager* objectManager;
    Korvel_Console* console;           // null until StartLevel
    Korvel_TimeLine* timeLine;
    Korvel_Render_Manager* renderManager;
    Korvel_Light_Manager* lightManager;
    Korvel_Effect_Manager* effectManager;
    D3DCOLOR backColour;               // clear colour
    unsigned short multisampleType;    // D3DMULTISAMPLE_TYPE for the present parameters
    unsigned short fillMode;           // 1 point, 2 wireframe, 3 solid
    unsigned char multisampleAntialias;  // 0 or 1
    // Heap cells holding the engine's default textures (null cell content when missing).
    IDirect3DTexture9** redTexture;
    IDirect3DTexture9** whiteTexture;
    IDirect3DTexture9** blueTexture;

    Korvel();
    virtual ~Korvel();  // saves the log to "LOG.dr" when a console exists

    DynamicRow LoadIni(const char* path);
    void SetDefaultSettings();
    void ReadSettings(DynamicRow* tree);
    HRESULT CreateDevice(HWND window);
    void StartLevel();
    void ProcessTimeLine();
    void SaveLog();  // the destructor's body; also run when the window is destroyed
};
