// DIB pixel decoding: 1/4/8 bits with a colour table, 16 (5-5-5 or bit fields), 24 and 32
// bits, bottom-up or top-down rows, optional AND mask of cursor images. RLE is refused.
#include "platform/core/dib.h"

#include <vector>

namespace core {
namespace dib {

namespace {

int MaskShift(uint32_t mask) {
    int s = 0;
    while (mask && !(mask & 1u)) { mask >>= 1; ++s; }
    return s;
}

int MaskBits(uint32_t mask) {
    mask >>= MaskShift(mask);
    int n = 0;
    while (mask & 1u) { mask >>= 1; ++n; }
    return n;
}

// Channel value under `mask` scaled to 0..255.
uint8_t Extract(uint32_t px, uint32_t mask) {
    if (!mask) return 0;
    int bits = MaskBits(mask);
    uint32_t v = (px & mask) >> MaskShift(mask);
    if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
    uint32_t maxv = (1u << bits) - 1;
    return static_cast<uint8_t>((v * 255 + maxv / 2) / maxv);
}

}  // namespace

bool Decode(const uint8_t* data, size_t size, size_t pixelOffset, bool withAndMask, Image& out,
            std::string& err) {
    if (size < 12) { err = "bitmap header truncated"; return false; }
    uint32_t hdrSize = U32(data);
    int64_t width, height;
    int bpp;
    uint32_t compression = 0, clrUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    size_t paletteEntry = 4;
    if (hdrSize == 12) {  // OS/2 core header
        width = U16(data + 4);
        height = static_cast<int16_t>(U16(data + 6));
        bpp = U16(data + 10);
        paletteEntry = 3;
    } else if (hdrSize >= 40 && hdrSize <= 124) {
        if (size < hdrSize) { err = "bitmap header truncated"; return false; }
        width = static_cast<int32_t>(U32(data + 4));
        height = static_cast<int32_t>(U32(data + 8));
        bpp = U16(data + 14);
        compression = U32(data + 16);
        clrUsed = U32(data + 32);
        if (hdrSize >= 52) { masks[0] = U32(data + 40); masks[1] = U32(data + 44); masks[2] = U32(data + 48); }
        if (hdrSize >= 56) masks[3] = U32(data + 52);
    } else {
        err = "unknown bitmap header size " + std::to_string(hdrSize);
        return false;
    }
    bool topDown = height < 0;
    if (topDown) height = -height;
    if (withAndMask) {
        if (topDown) { err = "cursor bitmap cannot be top-down"; return false; }
        height /= 2;
    }
    if (width <= 0 || height <= 0) { err = "bitmap has no pixels"; return false; }
    if (width > kMaxSide || height > kMaxSide) { err = "bitmap too large"; return false; }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        err = "unsupported bits per pixel " + std::to_string(bpp);
        return false;
    }
    size_t pos = hdrSize;
    if (compression == 3 || compression == 6) {  // BI_BITFIELDS / BI_ALPHABITFIELDS
        if (bpp != 16 && bpp != 32) { err = "bit fields need 16 or 32 bits per pixel"; return false; }
        if (hdrSize == 40) {  // masks follow the short header
            size_t n = compression == 6 ? 4 : 3;
            if (size < pos + 4 * n) { err = "bitmap masks truncated"; return false; }
            for (size_t i = 0; i < n; ++i) masks[i] = U32(data + pos + 4 * i);
            pos += 4 * n;
        }
    } else if (compression == 0) {
        if (bpp == 16) { masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F; masks[3] = 0; }
        if (bpp == 32) { masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF; masks[3] = 0; }
    } else {
        err = "compressed bitmaps are not supported (compression " + std::to_string(compression) + ")";
        return false;
    }

    // Colour table.
    std::vector<uint8_t> palette;  // R,G,B per entry
    if (bpp <= 8) {
        size_t entries = clrUsed ? clrUsed : (1u << bpp);
        if (entries > 256) { err = "colour table too large"; return false; }
        if (pos > size || (size - pos) / paletteEntry < entries) { err = "colour table truncated"; return false; }
        palette.resize(256 * 3, 0);
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* e = data + pos + i * paletteEntry;
            palette[i * 3] = e[2]; palette[i * 3 + 1] = e[1]; palette[i * 3 + 2] = e[0];
        }
        pos += entries * paletteEntry;
    }
    if (pixelOffset) pos = pixelOffset;

    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    const size_t stride = (w * bpp + 31) / 32 * 4;
    const size_t maskStride = (w + 31) / 32 * 4;
    if (pos > size || (size - pos) / stride < h) { err = "bitmap pixels truncated"; return false; }
    const uint8_t* pixels = data + pos;
    const uint8_t* andMask = nullptr;
    if (withAndMask) {
        size_t maskPos = pos + stride * h;
        // A 32-bit cursor may omit the mask; the others need it.
        if (maskPos <= size && (size - maskPos) / maskStride >= h) andMask = data + maskPos;
        else if (bpp != 32) { err = "cursor AND mask truncated"; return false; }
    }

    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h);
    out.rgba.assign(w * h * 4, 255);
    bool anyAlpha = false;
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = pixels + (topDown ? y : h - 1 - y) * stride;
        uint8_t* dst = out.rgba.data() + y * w * 4;
        for (size_t x = 0; x < w; ++x, dst += 4) {
            if (bpp <= 8) {
                unsigned idx;
                if (bpp == 8) idx = row[x];
                else if (bpp == 4) idx = (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
                else idx = (row[x / 8] >> (7 - x % 8)) & 1;
                dst[0] = palette[idx * 3]; dst[1] = palette[idx * 3 + 1]; dst[2] = palette[idx * 3 + 2];
            } else if (bpp == 24) {
                dst[0] = row[x * 3 + 2]; dst[1] = row[x * 3 + 1]; dst[2] = row[x * 3];
            } else {
                uint32_t px = bpp == 16 ? U16(row + x * 2) : U32(row + x * 4);
                dst[0] = Extract(px, masks[0]); dst[1] = Extract(px, masks[1]); dst[2] = Extract(px, masks[2]);
                if (bpp == 32 && withAndMask) {
                    dst[3] = row[x * 4 + 3];
                    if (dst[3]) anyAlpha = true;
                } else if (masks[3]) {
                    dst[3] = Extract(px, masks[3]);
                }
            }
        }
    }
    if (withAndMask && !(bpp == 32 && anyAlpha)) {
        // No alpha channel in use: the AND mask decides; a transparent-marked pixel with a
        // non-black colour would invert the screen, which RGBA cannot express; it stays opaque.
        for (size_t y = 0; y < h; ++y) {
            const uint8_t* mrow = andMask ? andMask + (h - 1 - y) * maskStride : nullptr;
            uint8_t* dst = out.rgba.data() + y * w * 4;
            for (size_t x = 0; x < w; ++x, dst += 4) {
                bool transparent = mrow && ((mrow[x / 8] >> (7 - x % 8)) & 1);
                bool black = dst[0] == 0 && dst[1] == 0 && dst[2] == 0;
                dst[3] = transparent && black ? 0 : 255;
            }
        }
    }
    return true;
}

}  // namespace dib
}  // namespace core
