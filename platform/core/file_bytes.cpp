#include "platform/core/file_bytes.h"

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

}  // namespace core
