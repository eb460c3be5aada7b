// Cursor files: the directory's first entry gives the hotspot and where its image lies; the
// image is a PNG stream or a DIB with colour and AND masks.
#include "platform/core/cursor.h"

#include <algorithm>

#include "platform/core/dib.h"

namespace core {

bool ReadCursor(const uint8_t* data, size_t size, Cursor& out, std::string& err) {
    out = Cursor();
    if (!data || size < 6) { err = "cursor file truncated"; return false; }
    if (dib::U16(data) != 0) { err = "not a cursor file (reserved field not 0)"; return false; }
    uint16_t type = dib::U16(data + 2);
    if (type != 2) {
        err = type == 1 ? "icon file, not a cursor" : "not a cursor file (type " + std::to_string(type) + ")";
        return false;
    }
    uint16_t count = dib::U16(data + 4);
    if (count == 0) { err = "cursor file has no images"; return false; }
    if (size < 6 + 16) { err = "cursor directory truncated"; return false; }
    const uint8_t* e = data + 6;
    uint32_t bytes = dib::U32(e + 8), offset = dib::U32(e + 12);
    if (offset >= size || bytes == 0 || bytes > size - offset) {
        err = "cursor image lies outside the file";
        return false;
    }
    const uint8_t* img = data + offset;
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    bool ok;
    if (bytes >= 8 && std::equal(kPng, kPng + 8, img)) {
        ok = DecodeImage(img, bytes, out.image, err);
    } else {
        ok = dib::Decode(img, bytes, 0, true, out.image, err);
    }
    if (!ok) {
        err = "cursor image: " + err;
        out = Cursor();
        return false;
    }
    // A hotspot outside the image is pulled to its edge, where the pointer can still use it.
    out.hotX = std::min<int>(dib::U16(e + 4), out.image.width - 1);
    out.hotY = std::min<int>(dib::U16(e + 6), out.image.height - 1);
    return true;
}

}  // namespace core
