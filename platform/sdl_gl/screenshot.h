// PNG files from RGBA8 pixels (top row first), for screenshots of the back buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sdlgl {

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);

// Parses "path.png" or "path.png@N" (N >= 1, the presented frame to capture; 1 when absent).
// Returns false for an empty path or a malformed frame number.
bool ParseScreenshotRequest(const std::string& value, std::string& path, uint64_t& frame);

// The first "screenshot-N.png" (N from 1) that does not exist in `dir`.
std::string NextScreenshotName(const std::string& dir);

}  // namespace sdlgl
