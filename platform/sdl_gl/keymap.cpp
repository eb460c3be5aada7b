#include "platform/sdl_gl/keymap.h"

#include <SDL_scancode.h>

namespace sdlgl {

KeyCode KeyFromScancode(int sc) {
    // Letters A..Z are scancodes 4..29, digits 1..9 are 30..38 and 0 is 39.
    static const uint8_t kLetterScan[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                            0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                            0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z)
        return {static_cast<uint8_t>('A' + (sc - SDL_SCANCODE_A)), kLetterScan[sc - SDL_SCANCODE_A], false};
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9)
        return {static_cast<uint8_t>('1' + (sc - SDL_SCANCODE_1)), static_cast<uint8_t>(0x02 + (sc - SDL_SCANCODE_1)), false};
    if (sc == SDL_SCANCODE_0) return {'0', 0x0B, false};
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F10)
        return {static_cast<uint8_t>(0x70 + (sc - SDL_SCANCODE_F1)), static_cast<uint8_t>(0x3B + (sc - SDL_SCANCODE_F1)), false};
    switch (sc) {
        case SDL_SCANCODE_F11: return {0x7A, 0x57, false};
        case SDL_SCANCODE_F12: return {0x7B, 0x58, false};
        case SDL_SCANCODE_RETURN: return {0x0D, 0x1C, false};
        case SDL_SCANCODE_KP_ENTER: return {0x0D, 0x1C, true};
        case SDL_SCANCODE_ESCAPE: return {0x1B, 0x01, false};
        case SDL_SCANCODE_BACKSPACE: return {0x08, 0x0E, false};
        case SDL_SCANCODE_TAB: return {0x09, 0x0F, false};
        case SDL_SCANCODE_SPACE: return {0x20, 0x39, false};
        case SDL_SCANCODE_MINUS: return {0xBD, 0x0C, false};
        case SDL_SCANCODE_EQUALS: return {0xBB, 0x0D, false};
        case SDL_SCANCODE_LEFTBRACKET: return {0xDB, 0x1A, false};
        case SDL_SCANCODE_RIGHTBRACKET: return {0xDD, 0x1B, false};
        case SDL_SCANCODE_BACKSLASH: return {0xDC, 0x2B, false};
        case SDL_SCANCODE_NONUSBACKSLASH: return {0xE2, 0x56, false};
        case SDL_SCANCODE_SEMICOLON: return {0xBA, 0x27, false};
        case SDL_SCANCODE_APOSTROPHE: return {0xDE, 0x28, false};
        case SDL_SCANCODE_GRAVE: return {0xC0, 0x29, false};
        case SDL_SCANCODE_COMMA: return {0xBC, 0x33, false};
        case SDL_SCANCODE_PERIOD: return {0xBE, 0x34, false};
        case SDL_SCANCODE_SLASH: return {0xBF, 0x35, false};
        case SDL_SCANCODE_CAPSLOCK: return {0x14, 0x3A, false};
        case SDL_SCANCODE_PRINTSCREEN: return {0x2C, 0x37, true};
        case SDL_SCANCODE_SCROLLLOCK: return {0x91, 0x46, false};
        case SDL_SCANCODE_PAUSE: return {0x13, 0x45, false};
        case SDL_SCANCODE_INSERT: return {0x2D, 0x52, true};
        case SDL_SCANCODE_HOME: return {0x24, 0x47, true};
        case SDL_SCANCODE_PAGEUP: return {0x21, 0x49, true};
        case SDL_SCANCODE_DELETE: return {0x2E, 0x53, true};
        case SDL_SCANCODE_END: return {0x23, 0x4F, true};
        case SDL_SCANCODE_PAGEDOWN: return {0x22, 0x51, true};
        case SDL_SCANCODE_RIGHT: return {0x27, 0x4D, true};
        case SDL_SCANCODE_LEFT: return {0x25, 0x4B, true};
        case SDL_SCANCODE_DOWN: return {0x28, 0x50, true};
        case SDL_SCANCODE_UP: return {0x26, 0x48, true};
        case SDL_SCANCODE_NUMLOCKCLEAR: return {0x90, 0x45, true};
        case SDL_SCANCODE_KP_DIVIDE: return {0x6F, 0x35, true};
        case SDL_SCANCODE_KP_MULTIPLY: return {0x6A, 0x37, false};
        case SDL_SCANCODE_KP_MINUS: return {0x6D, 0x4A, false};
        case SDL_SCANCODE_KP_PLUS: return {0x6B, 0x4E, false};
        case SDL_SCANCODE_KP_1: return {0x61, 0x4F, false};
        case SDL_SCANCODE_KP_2: return {0x62, 0x50, false};
        case SDL_SCANCODE_KP_3: return {0x63, 0x51, false};
        case SDL_SCANCODE_KP_4: return {0x64, 0x4B, false};
        case SDL_SCANCODE_KP_5: return {0x65, 0x4C, false};
        case SDL_SCANCODE_KP_6: return {0x66, 0x4D, false};
        case SDL_SCANCODE_KP_7: return {0x67, 0x47, false};
        case SDL_SCANCODE_KP_8: return {0x68, 0x48, false};
        case SDL_SCANCODE_KP_9: return {0x69, 0x49, false};
        case SDL_SCANCODE_KP_0: return {0x60, 0x52, false};
        case SDL_SCANCODE_KP_PERIOD: return {0x6E, 0x53, false};
        case SDL_SCANCODE_APPLICATION: return {0x5D, 0x5D, true};
        case SDL_SCANCODE_LCTRL: return {0x11, 0x1D, false};
        case SDL_SCANCODE_LSHIFT: return {0x10, 0x2A, false};
        case SDL_SCANCODE_LALT: return {0x12, 0x38, false};
        case SDL_SCANCODE_LGUI: return {0x5B, 0x5B, true};
        case SDL_SCANCODE_RCTRL: return {0x11, 0x1D, true};
        case SDL_SCANCODE_RSHIFT: return {0x10, 0x36, false};
        case SDL_SCANCODE_RALT: return {0x12, 0x38, true};
        case SDL_SCANCODE_RGUI: return {0x5C, 0x5C, true};
        default: return {};
    }
}

uint8_t SideKey(uint8_t vk, uint8_t scan, bool extended) {
    switch (vk) {
        case 0x10: return scan == 0x36 ? 0xA1 : 0xA0;   // VK_RSHIFT / VK_LSHIFT
        case 0x11: return extended ? 0xA3 : 0xA2;       // VK_RCONTROL / VK_LCONTROL
        case 0x12: return extended ? 0xA5 : 0xA4;       // VK_RMENU / VK_LMENU
        default: return 0;
    }
}

}  // namespace sdlgl
