// PNG files from RGBA8 pixels (top row first), for screenshots of the back buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sdlgl {

// False, with errno telling why, when the file cannot be written whole.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);

// Parses "path.png" or "path.png@N" (N >= 1, the presented frame to capture; 1 when absent).
// Returns false for an empty path or a malformed frame number.
bool ParseScreenshotRequest(const std::string& value, std::string& path, uint64_t& frame);

// The first "screenshot-N.png" (N from 1) that does not exist in `dir`.
std::string NextScreenshotName(const std::string& dir);

// Writes a picture the user asked for at `path`; when that cannot be written, in the fallback
// folder of the level in `levelFolder` (platform/core/kept_file.h), as the first free
// "screenshot-N.png" there when `numbered` (F12), else under the name `path` ends in. Returns
// the line for stderr saying why and where, empty when `path` took it.
std::string KeepPicture(const std::string& path, const std::string& levelFolder, int width,
                        int height, const std::vector<uint8_t>& rgba, bool numbered);

}  // namespace sdlgl
