// Device-independent bitmaps (the pixel part of .bmp files and of cursor images), shared by
// the image and cursor readers. Internal to platform/core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/core/image.h"

namespace core {
namespace dib {

// Largest width or height any reader accepts, so a forged header cannot ask for gigabytes.
constexpr int kMaxSide = 8192;

inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Decodes the DIB that starts with its info header at `data` (size bytes available).
// pixelOffset: offset of the pixel rows from `data`, or 0 when they follow the colour table.
// For a cursor/icon image, the header's height counts the colour and AND masks together and
// the AND mask follows the colour rows: AND 1 makes a pixel transparent unless the image
// has 32 bits per pixel (then the fourth byte is the alpha).
bool Decode(const uint8_t* data, size_t size, size_t pixelOffset, bool withAndMask, Image& out,
            std::string& err);

}  // namespace dib
}  // namespace core
