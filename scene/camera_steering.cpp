// Keyboard and mouse steering of the current camera, run once per idle pass after the frame.
// While the console is shown the keyboard belongs to it and the mouse does nothing.
#include "scene/camera_manager.h"

#include <cmath>

#include "console/console.h"
#include "scene/camera.h"

static const float kStepDivisor = 60.0f;
static const float kMinimumStepFactor = 0.05f;
static const double kPixelsPerDegree = 3.0;
static const double kRadiansPerDegree = 0.01745329238474369;  // pi/180 as a float

static bool Held(const BYTE* keys, int key) {
    return (keys[key] & 0x80) != 0;
}

// Moves eye and look-at point of the current camera (if any) by `delta` scaled by its speed.
static void Move(Korvel_Camera_Manager* manager, float dx, float dy, float dz, float factor) {
    Korvel_Camera* camera = manager->CurrentCamera();
    if (!camera) return;
    float d = camera->speed * factor;
    camera->eye.x += dx * d;
    camera->lookAt.x += dx * d;
    camera->eye.z += dz * d;
    camera->lookAt.z += dz * d;
    camera->eye.y += dy * d;
    camera->lookAt.y += dy * d;
}

void Korvel_Camera_Manager::KeyboardSteer(float step) {
    if (console && console->visible) {
        console->HandleKeys();
        return;
    }

    float factor = step / kStepDivisor;
    if (factor < kMinimumStepFactor) factor = kMinimumStepFactor;

    BYTE keys[256];
    GetKeyboardState(keys);

    // Forward and side are taken once, from the camera current before any key acts.
    D3DXVECTOR3 forward(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 sideways(0.0f, 0.0f, 0.0f);
    if (Korvel_Camera* camera = CurrentCamera()) {
        forward = camera->lookAt - camera->eye;
        D3DXVec3Normalize(&forward, &forward);
        sideways = camera->side;
    }

    if (Held(keys, VK_UP) || Held(keys, 'W')) Move(this, forward.x, 0.0f, forward.z, factor);
    if (Held(keys, VK_DOWN) || Held(keys, 'S')) Move(this, -forward.x, 0.0f, -forward.z, factor);
    if (Held(keys, VK_LEFT) || Held(keys, 'A')) Move(this, sideways.x, 0.0f, sideways.z, factor);
    if (Held(keys, VK_RIGHT) || Held(keys, 'D'))
        Move(this, -sideways.x, 0.0f, -sideways.z, factor);
    if (Held(keys, VK_TAB)) NextCamera();
    if (Held(keys, VK_OEM_3) && console) {
        console->Toggle();
        console->RestartInputTimers();
    }
    if (Held(keys, VK_LSHIFT)) Move(this, forward.x, forward.y, forward.z, factor);
}

// Turns `camera`'s look-at point about `axis` through the eye. A zero axis (the view straight
// up or down, or no view direction at all) defines no turn and leaves the camera as it is.
static void Turn(Korvel_Camera* camera, const D3DXVECTOR3& axis, int pixels) {
    if (axis.x == 0.0f && axis.y == 0.0f && axis.z == 0.0f) return;
    float angle = (float)((double)pixels / kPixelsPerDegree * kRadiansPerDegree);
    D3DXMATRIX rotation;
    D3DXMatrixRotationAxis(&rotation, &axis, angle);
    D3DXVECTOR3 view = camera->lookAt - camera->eye;
    D3DXVec3TransformCoord(&view, &view, &rotation);
    camera->lookAt = camera->eye + view;
}

void Korvel_Camera_Manager::MouseLook(HWND window, unsigned char buttonDown) {
    if (console && console->visible) return;

    POINT cursor;
    GetCursorPos(&cursor);
    ScreenToClient(window, &cursor);
    cursorNow.x = (float)cursor.x;
    cursorNow.y = (float)cursor.y;

    Korvel_Camera* camera = CurrentCamera();
    if (buttonDown && camera && !std::isnan(cursorBefore.x)) {
        int dx = (int)(cursorNow.x - cursorBefore.x);
        int dy = (int)-(cursorNow.y - cursorBefore.y);  // positive when the mouse moved up
        if (dy != 0) Turn(camera, camera->side, dy);
        if (dx != 0) Turn(camera, D3DXVECTOR3(0.0f, 1.0f, 0.0f), dx);
    }
    cursorBefore = cursorNow;
}
