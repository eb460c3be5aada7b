#include "platform/sdl_gl/screenshot.h"

#include <sys/stat.h>

#include <cstdlib>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace sdlgl {

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
    if (width <= 0 || height <= 0 || rgba.size() < size_t(width) * height * 4) return false;
    return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}

bool ParseScreenshotRequest(const std::string& value, std::string& path, uint64_t& frame) {
    frame = 1;
    size_t at = value.rfind('@');
    path = value.substr(0, at);
    if (path.empty()) return false;
    if (at == std::string::npos) return true;
    std::string num = value.substr(at + 1);
    if (num.empty() || num.size() > 18) return false;
    for (char c : num)
        if (c < '0' || c > '9') return false;
    frame = std::strtoull(num.c_str(), nullptr, 10);
    return frame >= 1;
}

std::string NextScreenshotName(const std::string& dir) {
    for (int n = 1;; ++n) {
        std::string name = "screenshot-" + std::to_string(n) + ".png";
        std::string full = dir.empty() ? name : dir + "/" + name;
        struct stat st;
        if (stat(full.c_str(), &st) != 0) return full;
    }
}

}  // namespace sdlgl
