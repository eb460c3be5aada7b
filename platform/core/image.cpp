// Image decoding: BMP and DDS by our own readers (a 32-bit BI_RGB bitmap stays opaque, as the
// texture loader treats it; palettes and row order are exact); PNG, JPEG and TGA by stb_image.
#include "platform/core/image.h"

#include <cstring>

#include "platform/core/dds.h"
#include "platform/core/dib.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_MAX_DIMENSIONS 8192
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace core {

namespace {

bool DecodeBmp(const uint8_t* data, size_t size, Image& out, std::string& err) {
    if (size < 14 + 12) { err = "BMP truncated"; return false; }
    uint32_t offBits = dib::U32(data + 10);
    size_t pixelOffset = 0;
    if (offBits) {
        if (offBits < 14 + 12 || offBits > size) { err = "BMP pixel offset out of range"; return false; }
        pixelOffset = offBits - 14;
    }
    if (!dib::Decode(data + 14, size - 14, pixelOffset, false, out, err)) {
        err = "BMP: " + err;
        return false;
    }
    return true;
}

// Checks the PNG chunk layout before decoding: every chunk must lie inside the data (the
// decoder below would otherwise size buffers from a forged chunk length), and the first image
// data chunk must not be empty (the decoder would copy zero bytes to a null buffer).
bool PngChunksSound(const uint8_t* data, size_t size, std::string& err) {
    bool seenData = false;
    for (size_t pos = 8; size - pos >= 12;) {
        uint32_t len = (uint32_t(data[pos]) << 24) | (uint32_t(data[pos + 1]) << 16) |
                       (uint32_t(data[pos + 2]) << 8) | data[pos + 3];
        const uint8_t* type = data + pos + 4;
        if (len > size - pos - 12) { err = "PNG chunk runs past the end of the data"; return false; }
        if (std::memcmp(type, "IDAT", 4) == 0) {
            if (!seenData && len == 0) { err = "PNG image data chunk is empty"; return false; }
            seenData = true;
        }
        if (std::memcmp(type, "IEND", 4) == 0) break;
        pos += 12 + static_cast<size_t>(len);
    }
    return true;
}

}  // namespace

bool DecodeImage(const uint8_t* data, size_t size, Image& out, std::string& err) {
    out = Image();
    if (!data || size == 0) { err = "empty image data"; return false; }
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return DecodeBmp(data, size, out, err);
    if (dds::IsDds(data, size)) {
        if (dds::Decode(data, size, out, err)) return true;
        out = Image();
        err = "DDS: " + err;
        return false;
    }
    if (size > static_cast<size_t>(INT32_MAX)) { err = "image data too large"; return false; }
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0 && !PngChunksSound(data, size, err)) return false;
    int w = 0, h = 0, comp = 0;
    if (!stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &comp)) {
        const char* why = stbi_failure_reason();
        err = std::string("image not decodable: ") + (why ? why : "unknown format");
        return false;
    }
    // No real PNG, JPEG or TGA packs more than about a thousand pixels into a byte; a header
    // that claims more is refused before any pixel memory is taken.
    if (w <= 0 || h <= 0 || static_cast<uint64_t>(w) * h > static_cast<uint64_t>(size) * 1024 + 65536) {
        err = "image header claims more pixels than the data can hold";
        return false;
    }
    stbi_uc* px = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &comp, 4);
    if (!px) {
        const char* why = stbi_failure_reason();
        err = std::string("image not decodable: ") + (why ? why : "unknown format");
        return false;
    }
    if (w <= 0 || h <= 0) {
        stbi_image_free(px);
        err = "image has no pixels";
        return false;
    }
    out.width = w;
    out.height = h;
    out.rgba.assign(px, px + static_cast<size_t>(w) * h * 4);
    stbi_image_free(px);
    return true;
}

}  // namespace core
