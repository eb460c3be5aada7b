// One frame: clear, info text (or wireframe while the console is shown), objects once per
// light, camera and light markers, the current camera's view, the console, present.
#include "render/render_manager.h"

#include <cmath>
#include <climits>

#include "console/console.h"
#include "scene/camera.h"
#include "scene/camera_manager.h"
#include "scene/light_manager.h"
#include "scene/object_manager.h"
#include "scene/object_super.h"

// Windows-1251 labels of the info text.
static const char kCameraLabel[] =  // "Текушая камера : "
    "\xD2\xE5\xEA\xF3\xF8\xE0\xFF\x20\xEA\xE0\xEC\xE5\xF0\xE0\x20\x3A\x20";
static const char kObjectsLabel[] =  // "Число объектов : "
    "\xD7\xE8\xF1\xEB\xEE\x20\xEE\xE1\xFA\xE5\xEA\xF2\xEE\xE2\x20\x3A\x20";
static const char kPositionLabel[] =  // "Камера в : Position "
    "\xCA\xE0\xEC\xE5\xF0\xE0\x20\xE2\x20\x3A\x20Position ";

// Truncation toward zero, kept inside int: a NaN shows 0, a huge value the nearest limit.
static int TruncateCoordinate(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0f) return INT_MAX;
    if (value <= -2147483648.0f) return INT_MIN;
    return (int)value;
}

static void AppendVector(Zarvik_string* text, const D3DXVECTOR3& v) {
    *text += TruncateCoordinate(v.x);
    *text += " ";
    *text += TruncateCoordinate(v.y);
    *text += " ";
    *text += TruncateCoordinate(v.z);
}

// The four info lines. Without a current camera the camera number reads 0 and the position
// line is left out.
static void DrawInfo(Korvel_Render_Manager* manager, int fps) {
    Korvel_Camera_Manager* cameras = manager->cameraManager;
    CameraNode* current = cameras ? cameras->current : NULL;
    Zarvik_string line;

    line = kCameraLabel;
    line += (int)(current ? current->number : 0);
    manager->DrawInfoText(line, 5, 5, 0);

    line = kObjectsLabel;
    line += (int)(manager->objectManager ? manager->objectManager->objectCount : 0);
    manager->DrawInfoText(line, 5, 15, 0);

    if (current && current->camera) {
        line = kPositionLabel;
        AppendVector(&line, current->camera->eye);
        line += "  Rotation ";
        AppendVector(&line, current->camera->lookAt);
        manager->DrawInfoText(line, 5, 25, 0);
    }

    line = fps;
    manager->DrawInfoText(line, 5, 45, 0);
}

static IDirect3DTexture9* CellTexture(IDirect3DTexture9** cell) {
    return cell ? *cell : NULL;
}

void Korvel_Render_Manager::Render(int fps) {
    device->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, backColour, 1.0f, 0);
    if (!FAILED(device->BeginScene())) {
        device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
        if (console && console->visible)
            device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
        else
            DrawInfo(this, fps);

        if (objectManager) objectManager->DrawObjects();
        device->SetTexture(0, CellTexture(whiteTexture));
        if (cameraManager) cameraManager->DrawMarkers(&device);
        device->SetTexture(0, CellTexture(redTexture));
        if (lightManager) lightManager->DrawMarkers(&device, whiteTexture, yellowTexture);
        if (cameraManager) cameraManager->ApplyView(&device);
        if (console) console->Draw();
        device->EndScene();
    }
    device->Present(NULL, NULL, NULL, NULL);
}

void Korvel_Render_Manager::DrawInfoText(Zarvik_string text, int x, int y, int) {
    if (!infoFont) return;
    RECT rect;
    SetRect(&rect, x, y, 0, 0);
    infoFont->DrawTextA(NULL, text.getChars(), -1, &rect, DT_NOCLIP,
                        (D3DCOLOR)D3DXCOLOR(1.4f, 1.4f, 1.4f, 1.0f));
}

void Korvel_Object_Manager::DrawObjects() {
    unsigned int lights = lightManager ? lightManager->lightCount : 0;
    for (unsigned int light = 1; light <= lights; ++light) {
        for (ObjectNode* node = first; node; node = node->next) {
            if (node->visible && node->object) node->object->Draw(light, light == 1);
        }
    }
}
