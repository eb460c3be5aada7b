#include "platform/sdl_gl/screenshot.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/core/kept_file.h"

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

namespace {

void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

// Encoded in memory, then written and closed with every step checked: a full disk fails here
// rather than leaving a cut file reported as written.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
    if (width <= 0 || height <= 0 || rgba.size() < size_t(width) * height * 4) {
        errno = EINVAL;
        return false;
    }
    std::vector<uint8_t> png;
    if (!stbi_write_png_to_func(Append, &png, width, height, 4, rgba.data(), width * 4)) {
        errno = ENOMEM;
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size() && std::fflush(f) == 0;
    int reason = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        reason = errno;
    }
    if (!ok) {
        std::remove(path.c_str());
        errno = reason;
    }
    return ok;
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

std::string KeepPicture(const std::string& path, const std::string& levelFolder, int width,
                        int height, const std::vector<uint8_t>& rgba, bool numbered) {
    keptfile::Kept kept = keptfile::Keep(
        "the screenshot", path, levelFolder,
        [&](const std::string& to) { return WritePng(to, width, height, rgba); },
        [&](const std::string& folder) {
            if (numbered) return NextScreenshotName(folder);
            size_t slash = path.find_last_of('/');
            return folder + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
        });
    return kept.message;
}

}  // namespace sdlgl
