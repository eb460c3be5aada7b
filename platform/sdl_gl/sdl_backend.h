// The SDL2 + OpenGL backend ("sdl"): registration, and what tests and tools may ask of it
// beyond the Win32/Direct3D calls. Environment: MESHES_SCREENSHOT=path.png[@frame] writes the
// back buffer after that presented frame (frame 1 when not given); MESHES_NO_DIALOGS=1 sends
// message boxes to stderr instead of the screen.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/backend.h"

namespace sdlgl {

platform::Backend* CreateBackend();

// The back buffer of a device made by this backend, RGBA8 top row first. False for any other
// device.
bool ReadBackBuffer(IDirect3DDevice9* device, std::vector<uint8_t>& rgba, int& width,
                    int& height);
// Writes the back buffer of a device made by this backend to a PNG file.
bool SaveScreenshot(IDirect3DDevice9* device, const char* path);
// The OpenGL device behind a device made by this backend (null for any other).
class GlDevice;
GlDevice* DeviceGl(IDirect3DDevice9* device);
// Multisample count of the device's back buffer (0 when single-sampled).
int DeviceSamples(IDirect3DDevice9* device);
// The GL renderer string of the current context ("" when none).
const char* RendererName();

}  // namespace sdlgl
