// Reads a whole file named by a system path (backslashes, case-blind lookup) into memory.
// Only regular files are read: a folder, device or pipe in place of a file fails cleanly,
// and so does a file larger than the limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace core {

constexpr size_t kMaxFileBytes = size_t(512) << 20;

bool ReadFileBytes(const char* path, std::vector<uint8_t>& out, size_t maxBytes = kMaxFileBytes);

}  // namespace core
