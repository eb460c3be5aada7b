// The engine object: owns the Direct3D device, the shared world matrix, the console, the
// command time line and every scene manager, and the values read from "ini.txt".
// The scene managers and the render manager are released only when the level starts again
// (a changed level or object file, or the console's "reload"); the console and the time line
// live as long as the engine. The only shutdown work is saving the console log.
#pragma once

#include <string>

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
class Korvel_Level_Watch;

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
    Korvel_Level_Watch* levelWatch;    // the level's files; null when not watching
    std::string logReport;             // what the last log save said on stderr; empty: nothing

    Korvel();
    virtual ~Korvel();  // saves the log to "LOG.dr" when a console exists

    DynamicRow LoadIni(const char* path);
    void SetDefaultSettings();
    void ReadSettings(DynamicRow* tree);
    HRESULT CreateDevice(HWND window);
    void StartLevel();
    void ProcessTimeLine();

    // The level start-up after the console: managers, time line, render manager, the level
    // and the default textures, with their messages.
    void StartScene();
    // Releases what StartScene made, except the time line, which keeps its queue.
    void ReleaseScene();
    // Starts the level again as at start-up: the console, its log and history stay, and the
    // current camera number stays when the new level has that camera.
    void RestartLevel();
    // Starts watching the level's files unless MESHES_WATCH is 0.
    void WatchFiles();
    // Once per idle pass: the console's "reload", then the paced look at the level's files,
    // reloading what changed. Does nothing else while nothing changed.
    void WatchLevel();
    // The destructor's body; also run when the window is destroyed. A log the level's folder
    // cannot take is written to the user's folder for the level, and stderr says so.
    void SaveLog();
};
