// .x mesh files written by tests: the MSZIP-compressed form of a file, and meshes of a size
// that would be large on disk uncompressed.
#pragma once

#include <cstddef>
#include <string>

namespace testsupport {

// `file` (a text or binary .x file with its 16-byte header) in the compressed form: the header
// says "tzip" or "bzip", then the whole size, then blocks of `blockSize` bytes (at most 32768),
// each deflated with the bytes before it as dictionary.
std::string ZipXFile(const std::string& file, size_t blockSize);

// A text .x file of one mesh with `vertices` vertices (at least 3) and one triangle from the
// first two vertices to the last, so that the mesh needs that many.
std::string ManyVerticesX(size_t vertices);

}  // namespace testsupport
