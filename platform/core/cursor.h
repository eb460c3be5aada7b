// Cursor files (.cur): the hotspot and the image of the first entry of the directory, as
// RGBA. The image is a DIB with colour and AND masks (1/4/8/24/32 bits per pixel) or a PNG
// stream. Pure function over a byte buffer; bad data gives false and a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/core/image.h"

namespace core {

struct Cursor {
    int hotX = 0, hotY = 0;   // hotspot in pixels from the top-left corner, inside the image
    Image image;              // transparent pixels have alpha 0
};

bool ReadCursor(const uint8_t* data, size_t size, Cursor& out, std::string& err);

}  // namespace core
