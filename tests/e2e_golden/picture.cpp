#include "picture.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unordered_set>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace golden {
namespace {

const uint8_t* At(const core::Image& img, int x, int y) {
    return &img.rgba[(size_t(y) * img.width + x) * 4];
}

// The area clipped to the picture, in the picture's own pixels.
Rect Scaled(const core::Image& img, Rect r, int scale) {
    return {std::max(0, r.x0 / scale), std::max(0, r.y0 / scale),
            std::min(img.width, (r.x1 + scale - 1) / scale),
            std::min(img.height, (r.y1 + scale - 1) / scale)};
}

bool Inside(Rect r, int x, int y) { return x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1; }

template <typename F>
void Each(const core::Image& img, Rect area, F f) {
    Rect r = Scaled(img, area, 1);
    for (int y = r.y0; y < r.y1; ++y)
        for (int x = r.x0; x < r.x1; ++x) f(At(img, x, y));
}

bool Near(const uint8_t* p, uint32_t rgb, int tolerance) {
    return std::abs(p[0] - int(rgb >> 16 & 0xFF)) <= tolerance &&
           std::abs(p[1] - int(rgb >> 8 & 0xFF)) <= tolerance &&
           std::abs(p[2] - int(rgb & 0xFF)) <= tolerance;
}

}  // namespace

bool LoadPng(const std::string& path, core::Image& img, std::string& err) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err = "cannot open " + path;
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!core::DecodeImage(bytes.data(), bytes.size(), img, err)) {
        err = path + ": " + err;
        return false;
    }
    return true;
}

bool SavePng(const std::string& path, const core::Image& img) {
    return stbi_write_png(path.c_str(), img.width, img.height, 4, img.rgba.data(),
                          img.width * 4) != 0;
}

core::Image Half(const core::Image& img) {
    core::Image out;
    out.width = img.width / 2;
    out.height = img.height / 2;
    out.rgba.resize(size_t(out.width) * out.height * 4);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = At(img, 2 * x, 2 * y)[c] + At(img, 2 * x + 1, 2 * y)[c] +
                          At(img, 2 * x, 2 * y + 1)[c] + At(img, 2 * x + 1, 2 * y + 1)[c];
                out.rgba[(size_t(y) * out.width + x) * 4 + c] = uint8_t((sum + 2) / 4);
            }
    return out;
}

Difference Compare(const core::Image& a, const core::Image& b, Rect area,
                   const std::vector<Rect>& masks, int scale, int tolerance, core::Image* marks) {
    Difference d;
    if (a.width != b.width || a.height != b.height) {
        d.compared = d.differing = 1;
        d.largest = 255;
        return d;
    }
    if (marks) *marks = b;
    std::vector<Rect> scaledMasks;
    for (Rect m : masks) scaledMasks.push_back(Scaled(a, m, scale));
    Rect r = Scaled(a, area, scale);
    for (int y = r.y0; y < r.y1; ++y)
        for (int x = r.x0; x < r.x1; ++x) {
            bool masked = false;
            for (Rect m : scaledMasks) masked = masked || Inside(m, x, y);
            if (masked) continue;
            ++d.compared;
            const uint8_t* p = At(a, x, y);
            const uint8_t* q = At(b, x, y);
            int most = 0;
            for (int c = 0; c < 3; ++c) most = std::max(most, std::abs(p[c] - q[c]));
            d.largest = std::max(d.largest, most);
            if (most <= tolerance) continue;
            ++d.differing;
            if (marks) {
                uint8_t* m = &marks->rgba[(size_t(y) * a.width + x) * 4];
                m[0] = 255, m[1] = 0, m[2] = 255, m[3] = 255;
            }
        }
    return d;
}

long CountNear(const core::Image& img, Rect area, uint32_t rgb, int tolerance) {
    long n = 0;
    Each(img, area, [&](const uint8_t* p) { n += Near(p, rgb, tolerance); });
    return n;
}

long CountBright(const core::Image& img, Rect area, int floor) {
    long n = 0;
    Each(img, area, [&](const uint8_t* p) { n += p[0] >= floor && p[1] >= floor && p[2] >= floor; });
    return n;
}

size_t CountColours(const core::Image& img, Rect area) {
    std::unordered_set<uint32_t> seen;
    Each(img, area, [&](const uint8_t* p) { seen.insert(uint32_t(p[0]) << 16 | p[1] << 8 | p[2]); });
    return seen.size();
}

}  // namespace golden
