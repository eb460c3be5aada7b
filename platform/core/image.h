// Image files (BMP, PNG, JPEG, TGA, DDS) decoded to 8-bit RGBA, top row first.
// Pure function over a byte buffer: no file access, no global state. Bad or truncated data
// gives false and a reason; nothing is read past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace core {

struct Image {
    int width = 0, height = 0;   // pixels, both > 0 after a successful decode
    std::vector<uint8_t> rgba;   // width*height*4 bytes, rows top to bottom, R,G,B,A
};

// Decodes any supported format, recognised by its content (not by a file name).
bool DecodeImage(const uint8_t* data, size_t size, Image& out, std::string& err);

}  // namespace core
