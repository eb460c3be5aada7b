// Builders for small image files used by the image and cursor tests.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace imgtest {

inline void Put16(std::string& s, uint32_t v) { s += char(v & 0xFF); s += char((v >> 8) & 0xFF); }
inline void Put32(std::string& s, uint32_t v) { Put16(s, v & 0xFFFF); Put16(s, v >> 16); }
inline void Put32BE(std::string& s, uint32_t v) {
    s += char(v >> 24); s += char((v >> 16) & 0xFF); s += char((v >> 8) & 0xFF); s += char(v & 0xFF);
}

// BITMAPINFOHEADER (40 bytes).
inline std::string InfoHeader(int w, int h, int bpp, uint32_t compression = 0, uint32_t clrUsed = 0) {
    std::string s;
    Put32(s, 40); Put32(s, uint32_t(w)); Put32(s, uint32_t(h)); Put16(s, 1); Put16(s, uint32_t(bpp));
    Put32(s, compression); Put32(s, 0); Put32(s, 0); Put32(s, 0); Put32(s, clrUsed); Put32(s, 0);
    return s;
}

// A .bmp file around a DIB (header + palette + pixels).
inline std::string BmpFile(const std::string& dib, size_t pixelOffsetInDib) {
    std::string s = "BM";
    Put32(s, uint32_t(14 + dib.size())); Put32(s, 0); Put32(s, uint32_t(14 + pixelOffsetInDib));
    return s + dib;
}

// An RGBA PNG (colour type 6), unfiltered rows.
inline std::string Png(int w, int h, const std::vector<uint8_t>& rgba) {
    auto chunk = [](std::string& out, const char* type, const std::string& data) {
        Put32BE(out, uint32_t(data.size()));
        std::string td = std::string(type, 4) + data;
        out += td;
        Put32BE(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(td.data()), uInt(td.size()))));
    };
    std::string out = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    Put32BE(ihdr, uint32_t(w)); Put32BE(ihdr, uint32_t(h));
    ihdr += char(8); ihdr += char(6); ihdr += char(0); ihdr += char(0); ihdr += char(0);
    chunk(out, "IHDR", ihdr);
    std::string raw;
    for (int y = 0; y < h; ++y) {
        raw += char(0);
        raw.append(reinterpret_cast<const char*>(rgba.data()) + y * w * 4, size_t(w) * 4);
    }
    std::vector<uint8_t> z(compressBound(uLong(raw.size())));
    uLongf zn = uLongf(z.size());
    compress(z.data(), &zn, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()));
    chunk(out, "IDAT", std::string(reinterpret_cast<const char*>(z.data()), zn));
    chunk(out, "IEND", "");
    return out;
}

}  // namespace imgtest
