// One camera of the level: where it stands, what point it looks at, how fast it moves, and the
// copies of the view and projection matrices last computed for it.
#pragma once

#include "d3d9.h"
#include "d3dx9.h"
#include "param_tree/dynamic_row.h"
#include "strings/zarvik_string.h"

class Korvel_Camera {
public:
    Zarvik_string name;           // as listed under "_CAMERAS_"
    float speed;                  // world units per 60 ms of steering time
    D3DXVECTOR3 eye;              // position
    D3DXVECTOR3 lookAt;           // the point looked at, not a direction
    D3DXVECTOR3 up;
    D3DXVECTOR3 side;             // horizontal, points to the camera's left ("_RIGHT_" in files)
    D3DXMATRIX cameraWorld;       // identity; world transform while the view is applied
    D3DXMATRIX viewMatrix;        // copy of the last view matrix
    D3DXMATRIX projectionMatrix;  // copy of the last projection matrix
    D3DXMATRIX* worldAddress;     // the engine's world matrix; kept, not read
    unsigned char autoSide;       // 1: SetupMatrices recomputes side every frame

    explicit Korvel_Camera(D3DXMATRIX* worldAddress);
    virtual ~Korvel_Camera();

    // Defaults, then the keys below the node named `name`; false when that node has no children.
    bool Load(Zarvik_string name, DynamicRow* tree);
    // Sets world, view and projection on the device and refreshes the matrix copies and side.
    void SetupMatrices(IDirect3DDevice9** deviceAddress);
    // Wire marker of this camera (drawn for every camera but the current one).
    void DrawMarker(IDirect3DDevice9** device);
};

// Projection shared by loading and every frame: pi/4 vertical, 4:3 whatever the window, 1..15000.
const float kCameraFieldOfView = 0.7853982f;
const float kCameraAspect = 1.3333334f;
const float kCameraNear = 1.0f;
const float kCameraFar = 15000.0f;
