#include "platform/core/file_bytes.h"

#include <chrono>
#include <cstdio>
#include <sys/stat.h>

#include "platform/core/win_path.h"

namespace core {

bool ReadFileBytes(const char* path, std::vector<uint8_t>& out, size_t maxBytes) {
    out.clear();
    if (!path || !*path) return false;
    std::string mapped = winpath::Map(path);
    struct stat st;
    if (stat(mapped.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if ((unsigned long long)st.st_size > maxBytes) return false;
    FILE* f = std::fopen(mapped.c_str(), "rb");
    if (!f) return false;
    out.resize((size_t)st.st_size);
    size_t got = out.empty() ? 0 : std::fread(out.data(), 1, out.size(), f);
    bool ok = got == out.size() && !std::ferror(f);
    std::fclose(f);
    if (!ok) out.clear();
    return ok;
}

bool FileKeyOf(const char* path, FileKey& key) {
    if (!path || !*path) return false;
    key.path = winpath::Map(path);
    struct stat st;
    if (stat(key.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    key.size = static_cast<uint64_t>(st.st_size);
#if defined(_WIN32) || defined(__APPLE__)
    key.mtimeNs = static_cast<int64_t>(st.st_mtime) * 1000000000;
#else
    key.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
    return true;
}

int64_t WallClockNs() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}

uint64_t HashBytes(const std::vector<uint8_t>& bytes) {
    // FNV-1a over 8-byte words, then the tail byte by byte: fast enough to check a mesh.
    uint64_t h = 1469598103934665603ull ^ bytes.size();
    const uint64_t prime = 1099511628211ull;
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t w = 0;
        for (int b = 0; b < 8; ++b) w |= uint64_t(bytes[i + b]) << (8 * b);
        h = (h ^ w) * prime;
        h ^= h >> 29;
    }
    for (; i < bytes.size(); ++i) h = (h ^ bytes[i]) * prime;
    return h;
}

}  // namespace core
