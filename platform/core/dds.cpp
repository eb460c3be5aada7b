// DDS decoding: header checks, then block or bit-mask decoding of the first surface.
#include "platform/core/dds.h"

#include <cstring>

#include "platform/core/dib.h"

namespace core {
namespace dds {

namespace {

using dib::U16;
using dib::U32;

constexpr uint32_t kAlphaPixels = 0x1, kAlphaOnly = 0x2, kFourCC = 0x4, kRgb = 0x40, kLuminance = 0x20000;

uint32_t FourCC(const char* s) {
    return static_cast<uint32_t>(s[0]) | (static_cast<uint32_t>(s[1]) << 8) |
           (static_cast<uint32_t>(s[2]) << 16) | (static_cast<uint32_t>(s[3]) << 24);
}

// 5-6-5 colour to 8-bit channels by bit replication.
void Expand565(uint16_t c, int rgb[3]) {
    int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    rgb[0] = (r << 3) | (r >> 2);
    rgb[1] = (g << 2) | (g >> 4);
    rgb[2] = (b << 3) | (b >> 2);
}

// Colour part of a block (8 bytes) into a 4x4 RGBA tile. `forceFour` for DXT2-5, where the
// colour block always has four colours.
void ColourBlock(const uint8_t* b, bool forceFour, uint8_t tile[16][4]) {
    uint16_t c0 = U16(b), c1 = U16(b + 2);
    int p[4][4];
    Expand565(c0, p[0]);
    Expand565(c1, p[1]);
    p[0][3] = p[1][3] = 255;
    if (forceFour || c0 > c1) {
        for (int k = 0; k < 3; ++k) {
            p[2][k] = (2 * p[0][k] + p[1][k] + 1) / 3;
            p[3][k] = (p[0][k] + 2 * p[1][k] + 1) / 3;
        }
        p[2][3] = p[3][3] = 255;
    } else {
        for (int k = 0; k < 3; ++k) { p[2][k] = (p[0][k] + p[1][k]) / 2; p[3][k] = 0; }
        p[2][3] = 255;
        p[3][3] = 0;
    }
    uint32_t bits = U32(b + 4);
    for (int i = 0; i < 16; ++i) {
        int idx = (bits >> (2 * i)) & 3;
        for (int k = 0; k < 4; ++k) tile[i][k] = static_cast<uint8_t>(p[idx][k]);
    }
}

void ExplicitAlpha(const uint8_t* b, uint8_t tile[16][4]) {
    for (int i = 0; i < 16; ++i) {
        int a = (b[i / 2] >> (4 * (i % 2))) & 15;
        tile[i][3] = static_cast<uint8_t>(a * 17);
    }
}

void InterpolatedAlpha(const uint8_t* b, uint8_t tile[16][4]) {
    int a[8];
    a[0] = b[0];
    a[1] = b[1];
    if (a[0] > a[1]) {
        for (int i = 1; i < 7; ++i) a[i + 1] = ((7 - i) * a[0] + i * a[1] + 3) / 7;
    } else {
        for (int i = 1; i < 5; ++i) a[i + 1] = ((5 - i) * a[0] + i * a[1] + 2) / 5;
        a[6] = 0;
        a[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(b[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) tile[i][3] = static_cast<uint8_t>(a[(bits >> (3 * i)) & 7]);
}

int MaskShift(uint32_t m) { int s = 0; while (m && !(m & 1)) { m >>= 1; ++s; } return s; }
uint8_t Channel(uint32_t px, uint32_t mask) {
    if (!mask) return 0;
    int sh = MaskShift(mask);
    uint32_t m = mask >> sh, v = (px & mask) >> sh;
    return static_cast<uint8_t>((static_cast<uint64_t>(v) * 255 + m / 2) / m);
}

}  // namespace

bool IsDds(const uint8_t* data, size_t size) { return size >= 4 && std::memcmp(data, "DDS ", 4) == 0; }

bool Decode(const uint8_t* data, size_t size, Image& out, std::string& err) {
    if (size < 128) { err = "DDS header truncated"; return false; }
    const uint8_t* h = data + 4;
    if (U32(h) != 124 || U32(h + 72) != 32) { err = "DDS header has wrong sizes"; return false; }
    uint32_t height = U32(h + 8), width = U32(h + 12);
    uint32_t pfFlags = U32(h + 76), fourcc = U32(h + 80), bits = U32(h + 84);
    uint32_t masks[4] = {U32(h + 88), U32(h + 92), U32(h + 96), U32(h + 100)};
    if (width == 0 || height == 0) { err = "DDS has no pixels"; return false; }
    if (width > static_cast<uint32_t>(dib::kMaxSide) || height > static_cast<uint32_t>(dib::kMaxSide)) {
        err = "DDS too large";
        return false;
    }
    const uint8_t* px = data + 128;
    size_t avail = size - 128;
    const size_t w = width, hgt = height;
    if (pfFlags & kFourCC) {
        int kind;
        if (fourcc == FourCC("DXT1")) kind = 1;
        else if (fourcc == FourCC("DXT2") || fourcc == FourCC("DXT3")) kind = 3;
        else if (fourcc == FourCC("DXT4") || fourcc == FourCC("DXT5")) kind = 5;
        else { err = "DDS format not supported (FourCC " + std::string(reinterpret_cast<const char*>(h + 80), 4) + ")"; return false; }
        const size_t bw = (w + 3) / 4, bh = (hgt + 3) / 4, blockBytes = kind == 1 ? 8 : 16;
        if (avail / blockBytes / bw < bh) { err = "DDS pixels truncated"; return false; }
        out.width = static_cast<int>(w);
        out.height = static_cast<int>(hgt);
        out.rgba.assign(w * hgt * 4, 0);
        for (size_t by = 0; by < bh; ++by)
            for (size_t bx = 0; bx < bw; ++bx) {
                const uint8_t* b = px + (by * bw + bx) * blockBytes;
                uint8_t tile[16][4];
                if (kind == 1) {
                    ColourBlock(b, false, tile);
                } else {
                    ColourBlock(b + 8, true, tile);
                    if (kind == 3) ExplicitAlpha(b, tile);
                    else InterpolatedAlpha(b, tile);
                }
                for (int i = 0; i < 16; ++i) {
                    size_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                    if (x < w && y < hgt) std::memcpy(&out.rgba[(y * w + x) * 4], tile[i], 4);
                }
            }
        return true;
    }
    if (!(pfFlags & (kRgb | kLuminance | kAlphaOnly)) || (bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
        err = "DDS pixel format not supported";
        return false;
    }
    const size_t bpp = bits / 8, stride = w * bpp;
    if (avail / stride < hgt) { err = "DDS pixels truncated"; return false; }
    out.width = static_cast<int>(w);
    out.height = static_cast<int>(hgt);
    out.rgba.assign(w * hgt * 4, 255);
    const bool hasAlpha = (pfFlags & (kAlphaPixels | kAlphaOnly)) && masks[3];
    for (size_t y = 0; y < hgt; ++y)
        for (size_t x = 0; x < w; ++x) {
            const uint8_t* s = px + y * stride + x * bpp;
            uint32_t v = 0;
            for (size_t k = 0; k < bpp; ++k) v |= static_cast<uint32_t>(s[k]) << (8 * k);
            uint8_t* d = &out.rgba[(y * w + x) * 4];
            if (pfFlags & kLuminance) {
                d[0] = d[1] = d[2] = Channel(v, masks[0]);
            } else if (pfFlags & kRgb) {
                d[0] = Channel(v, masks[0]);
                d[1] = Channel(v, masks[1]);
                d[2] = Channel(v, masks[2]);
            } else {
                d[0] = d[1] = d[2] = 0;
            }
            if (hasAlpha) d[3] = Channel(v, masks[3]);
        }
    return true;
}

}  // namespace dds
}  // namespace core
