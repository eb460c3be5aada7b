// The camera list: loading from the level's "_CAMERAS_" knot, selection by number and the
// debounced switch to the next camera.
#include "scene/camera_manager.h"
#include "scene/tree_release.h"

#include <cmath>
#include <cstring>

#include "console/console.h"
#include "scene/camera.h"

// Tab and "camera.next" switch at most once per 360 ms (six 60 ms steps).
static const DWORD kSwitchStepMs = 60;
static const DWORD kSwitchSteps = 5;

Korvel_Camera_Manager::Korvel_Camera_Manager(D3DXMATRIX* worldAddress, Korvel_Console* console)
    : cameraCount(0), current(NULL), first(NULL), worldAddress(worldAddress), console(console) {
    memset(&markerMaterial, 0, sizeof(markerMaterial));
    cursorNow.x = cursorNow.y = 0.0f;
    // No previous position yet: the first pass only records the cursor, so a button already
    // held at start-up does not turn the camera by the cursor's whole offset.
    cursorBefore.x = cursorBefore.y = NAN;
    switchTimer.Reset();
}

Korvel_Camera_Manager::~Korvel_Camera_Manager() {
    while (first) {
        CameraNode* next = first->next;
        delete first->camera;
        delete first;
        first = next;
    }
}

bool Korvel_Camera_Manager::Load(const char* level) {
    Zarvik_string name;
    name = level;
    DynamicRow tree;
    tree.fresh();
    tree.iLoadFromFile(name);  // a missing file leaves the tree empty: no cameras
    ReadCameras(&tree);
    ReleaseTree(tree);
    return true;
}

void Korvel_Camera_Manager::ReadCameras(DynamicRow* tree) {
    D3DCOLORVALUE white = {1.0f, 1.0f, 1.0f, 1.0f};
    markerMaterial.Ambient = white;
    markerMaterial.Emissive = white;

    unsigned int id = tree->iLookId("_CAMERAS_");
    unsigned int n = tree->iCountKnots(id) + tree->iCountParams(id);
    if ((int)id > 0 && (int)n > 0) {
        unsigned int child = tree->TopId(id);
        AddCamera(tree->iLookName(child), tree, false);
        for (unsigned int i = 1; i < n; ++i) {
            child = tree->NextId(child);
            AddCamera(tree->iLookName(child), tree, false);
        }
    }
    SelectCamera(1);
}

unsigned int Korvel_Camera_Manager::AddCamera(Zarvik_string name, DynamicRow* tree,
                                              bool makeCurrent) {
    CameraNode* node = new CameraNode;
    ++cameraCount;
    node->camera = new Korvel_Camera(worldAddress);
    node->camera->Load(name, tree);  // a camera without settings keeps its defaults

    Zarvik_string message;
    message = "[+] Camera:  ";
    message += name;
    if (console) console->AddMessage(message, KIND_TEXT);

    node->number = cameraCount;
    node->next = NULL;
    if (makeCurrent) current = node;

    if (!first) {
        first = node;
    } else {
        CameraNode* last = first;
        while (last->next) last = last->next;
        last->next = node;
    }
    return node->number;
}

void Korvel_Camera_Manager::NextCamera() {
    if (switchTimer.Elapsed() / kSwitchStepMs <= kSwitchSteps) return;
    switchTimer.Reset();
    unsigned int number = current ? current->number : 0;
    if (number < cameraCount)
        SelectCamera(number + 1);
    else
        SelectCamera(1);
}

bool Korvel_Camera_Manager::SelectCamera(unsigned int number) {
    for (CameraNode* node = first; node; node = node->next) {
        if (node->number == number) {
            current = node;
            return true;
        }
    }
    return false;
}

Korvel_Camera* Korvel_Camera_Manager::CurrentCamera() {
    return current ? current->camera : NULL;
}

void Korvel_Camera_Manager::ApplyView(IDirect3DDevice9** deviceAddress) {
    // Without a camera the device keeps the transforms it has.
    if (Korvel_Camera* camera = CurrentCamera()) camera->SetupMatrices(deviceAddress);
}
