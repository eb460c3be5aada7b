// Screenshots for the golden tests: loading and saving PNG files, halving, comparing with a
// per-channel tolerance inside a rectangle less masked rectangles, and counting pixels by colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/image.h"

namespace golden {

// A rectangle in pixels of the full-size picture: x0, y0 inclusive, x1, y1 exclusive.
struct Rect {
    int x0, y0, x1, y1;
};

bool LoadPng(const std::string& path, core::Image& img, std::string& err);
bool SavePng(const std::string& path, const core::Image& img);

// Each 2x2 block averaged into one pixel: the form the references are kept in. Small
// rasterisation differences at edges shrink, and the files stay small.
core::Image Half(const core::Image& img);

struct Difference {
    long compared = 0;    // pixels looked at
    long differing = 0;   // pixels with a channel further apart than the tolerance
    int largest = 0;      // largest channel difference seen
    double Fraction() const { return compared ? double(differing) / compared : 0.0; }
};

// Compares two pictures of the same size inside `area` (given in full-size pixels and scaled
// by `scale`, 2 for halved pictures), skipping every pixel inside one of `masks`. When `marks`
// is given, it becomes a copy of `b` with the differing pixels painted magenta.
Difference Compare(const core::Image& a, const core::Image& b, Rect area,
                   const std::vector<Rect>& masks, int scale, int tolerance,
                   core::Image* marks = nullptr);

// Pixels inside `area` whose red, green and blue are each within `tolerance` of `rgb`.
long CountNear(const core::Image& img, Rect area, uint32_t rgb, int tolerance);

// Pixels inside `area` whose red, green and blue are each at least `floor`.
long CountBright(const core::Image& img, Rect area, int floor);

// Number of different colours inside `area`.
size_t CountColours(const core::Image& img, Rect area);

}  // namespace golden
