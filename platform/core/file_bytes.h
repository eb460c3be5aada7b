// Reads a whole file named by a system path (backslashes, case-blind lookup) into memory.
// Only regular files are read: a folder, device or pipe in place of a file fails cleanly,
// and so does a file larger than the limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace core {

constexpr size_t kMaxFileBytes = size_t(512) << 20;

bool ReadFileBytes(const char* path, std::vector<uint8_t>& out, size_t maxBytes = kMaxFileBytes);

// The file a path names as found on disk: mapped path, size and modification time.
struct FileKey {
    std::string path;       // as mapped for opening
    uint64_t size = 0;
    int64_t mtimeNs = 0;    // nanoseconds since the epoch
    bool operator<(const FileKey& o) const {
        return std::tie(path, size, mtimeNs) < std::tie(o.path, o.size, o.mtimeNs);
    }
    bool operator==(const FileKey& o) const {
        return path == o.path && size == o.size && mtimeNs == o.mtimeNs;
    }
};

// The key of the regular file `path` names; false when there is none.
bool FileKeyOf(const char* path, FileKey& key);

// Nanoseconds since the epoch, on the clock file times are taken from.
int64_t WallClockNs();

// A 64-bit hash of bytes, to tell whether a file's content is the one read before.
uint64_t HashBytes(const std::vector<uint8_t>& bytes);

}  // namespace core
