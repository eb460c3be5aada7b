// Physical keys (SDL scancodes, i.e. USB usage ids) to Win32 virtual-key codes and set-1 scan
// codes, as a US layout names them. Taking scancodes rather than layout symbols keeps every
// binding on the same physical key whatever the layout: the console key is always the key
// left of 1 (VK_OEM_3).
#pragma once

#include <cstdint>

namespace sdlgl {

struct KeyCode {
    uint8_t vk = 0;         // 0: a key the system does not know
    uint8_t scan = 0;       // set-1 make code (lParam bits 16-23)
    bool extended = false;  // lParam bit 24
};

KeyCode KeyFromScancode(int scancode);

// The side-specific code kept in the keyboard state next to the generic one
// (VK_LSHIFT for a left VK_SHIFT, ...); 0 for other keys.
uint8_t SideKey(uint8_t vk, uint8_t scan, bool extended);

}  // namespace sdlgl
