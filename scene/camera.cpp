// A camera: its settings from the level tree and the transforms it sets when its view is applied.
#include "scene/camera.h"

static const D3DXVECTOR3 kZero(0.0f, 0.0f, 0.0f);

Korvel_Camera::Korvel_Camera(D3DXMATRIX* worldAddress)
    : speed(0.1f), eye(kZero), lookAt(kZero), up(0.0f, 1.0f, 0.0f), side(0.0f, 0.0f, 1.0f),
      worldAddress(worldAddress), autoSide(1) {
    D3DXMatrixIdentity(&cameraWorld);
    // A camera whose settings are not found keeps these until its view is first applied.
    D3DXMatrixIdentity(&viewMatrix);
    D3DXMatrixIdentity(&projectionMatrix);
}

Korvel_Camera::~Korvel_Camera() {}

// The first `count` children of key knot `key` as floats, when the knot has enough params.
static bool ReadFloats(DynamicRow* tree, unsigned int key, unsigned int count, float* values) {
    if (tree->iCountParams(key) < count) return false;
    unsigned int child = tree->TopId(key);
    for (unsigned int i = 0; i < count; ++i) {
        values[i] = tree->iLookName(child).toFloat();
        child = tree->NextId(child);
    }
    return true;
}

static void ReadVector(DynamicRow* tree, unsigned int key, D3DXVECTOR3* target) {
    float v[3];
    if (ReadFloats(tree, key, 3, v)) *target = D3DXVECTOR3(v[0], v[1], v[2]);
}

bool Korvel_Camera::Load(Zarvik_string cameraName, DynamicRow* tree) {
    speed = 0.1f;
    eye = kZero;
    lookAt = kZero;
    side = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    up = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    name = cameraName;

    unsigned int id = tree->iLookId(cameraName);
    unsigned int children = tree->iCountParams(id) + tree->iCountKnots(id);
    if ((int)id <= 0 || (int)children <= 0) return false;

    for (unsigned int key = tree->TopId(id); key; key = tree->NextId(key)) {
        Zarvik_string keyName = tree->iLookName(key);
        if (keyName == "_POSITION_") {
            ReadVector(tree, key, &eye);
        } else if (keyName == "_LOOK_") {
            ReadVector(tree, key, &lookAt);
        } else if (keyName == "_UP_") {
            ReadVector(tree, key, &up);
        } else if (keyName == "_RIGHT_") {
            ReadVector(tree, key, &side);
        } else if (keyName == "_MOVESPEED_") {
            float value;
            if (ReadFloats(tree, key, 1, &value)) speed = value;
        }
    }

    D3DXMatrixLookAtLH(&viewMatrix, &eye, &lookAt, &up);
    D3DXMatrixPerspectiveFovLH(&projectionMatrix, kCameraFieldOfView, kCameraAspect, kCameraNear,
                               kCameraFar);
    return true;
}

void Korvel_Camera::SetupMatrices(IDirect3DDevice9** deviceAddress) {
    IDirect3DDevice9* device = *deviceAddress;
    device->SetTransform(D3DTS_WORLD, &cameraWorld);

    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &lookAt, &up);
    device->SetTransform(D3DTS_VIEW, &view);
    viewMatrix = view;

    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, kCameraFieldOfView, kCameraAspect, kCameraNear,
                               kCameraFar);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    projectionMatrix = projection;

    if (autoSide) {
        // A zero view direction normalises to zero, so side becomes zero rather than NaN.
        D3DXVECTOR3 forward = lookAt - eye;
        D3DXVec3Normalize(&forward, &forward);
        side = D3DXVECTOR3(-forward.z, 0.0f, forward.x);
        D3DXVec3Normalize(&side, &side);
    }
}
