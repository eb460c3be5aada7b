// The level's cameras: a list numbered from 1 in load order, one of them current. Steering with
// the keyboard and mouse moves the current camera; Tab and console commands switch cameras.
// A level without cameras leaves `current` null: steering then moves nothing and the frame
// draws without a view of its own.
#pragma once

#include "windows.h"
#include "d3d9.h"
#include "d3dx9.h"
#include "app/korvel_timer.h"
#include "param_tree/dynamic_row.h"
#include "strings/zarvik_string.h"

class Korvel_Camera;
class Korvel_Console;

struct CameraNode {
    unsigned int number;    // 1, 2, 3 ... in load order
    Korvel_Camera* camera;  // owned through the record
    CameraNode* next;       // null for the last
};

struct CameraCursor {
    float x;
    float y;
};

class Korvel_Camera_Manager {
public:
    unsigned int cameraCount;     // cameras added; number of the last one
    CameraNode* current;          // null until a camera is selected
    CameraNode* first;            // head of the list
    D3DXMATRIX* worldAddress;     // the engine's world matrix, handed to each camera
    D3DMATERIAL9 markerMaterial;  // material of the camera markers
    Korvel_Console* console;
    Korvel_Timer switchTimer;     // debounces NextCamera
    CameraCursor cursorNow;       // client-area cursor of this pass
    CameraCursor cursorBefore;    // client-area cursor of the previous pass

    Korvel_Camera_Manager(D3DXMATRIX* worldAddress, Korvel_Console* console);
    virtual ~Korvel_Camera_Manager();

    bool Load(const char* level);  // always true; a missing file gives no cameras
    void ReadCameras(DynamicRow* tree);
    unsigned int AddCamera(Zarvik_string name, DynamicRow* tree, bool makeCurrent);
    void NextCamera();                      // at most once per 360 ms; wraps to camera 1
    bool SelectCamera(unsigned int number);  // false (and no change) for an unknown number

    void KeyboardSteer(float step);                    // step: ms of this pass
    void MouseLook(HWND window, unsigned char buttonDown);
    void ApplyView(IDirect3DDevice9** deviceAddress);  // SetupMatrices of the current camera
    void DrawMarkers(IDirect3DDevice9** device);       // every camera but the current one
    void Execute(Zarvik_string text);                  // a console camera command

    Korvel_Camera* CurrentCamera();  // the current camera, or null
};
