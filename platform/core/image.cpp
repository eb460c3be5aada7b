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
