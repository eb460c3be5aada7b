// .x mesh files written by tests: the MSZIP-compressed form of a file, meshes of a size that
// would be large on disk uncompressed, and the loads both backends answer alike around the
// 16-bit index limit.
#pragma once

#include <cstddef>
#include <string>

#include "platform/d3dx9.h"

namespace testsupport {

// `file` (a text or binary .x file with its 16-byte header) in the compressed form: the header
// says "tzip" or "bzip", then the whole size, then blocks of `blockSize` bytes (at most 32768),
// each deflated with the bytes before it as dictionary.
std::string ZipXFile(const std::string& file, size_t blockSize);

// A text .x file of one mesh with `vertices` vertices (at least 3) and one triangle from the
// first two vertices to the last, so that the mesh needs that many.
std::string ManyVerticesX(size_t vertices);

// Loads of "fits.x" (65,535 vertices) and "big.x" (65,536) and what D3DXLoadMeshFromX gives: a
// mesh of 16-bit indices holds at most 65,535 vertices, more need D3DXMESH_32BIT, also when the
// file was parsed before (the last load).
struct MeshLoad {
    const char* file;
    DWORD options;
    HRESULT result;
};
const MeshLoad kSixteenBitLimit[] = {
    {"fits.x", D3DXMESH_SYSTEMMEM, D3D_OK},
    {"big.x", D3DXMESH_SYSTEMMEM, D3DERR_INVALIDCALL},
    {"big.x", D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, D3D_OK},
    {"big.x", D3DXMESH_MANAGED, D3DERR_INVALIDCALL},
};
// The two files, compressed; `write(name, bytes)` puts each where the loads look.
template <class Write>
void WriteSixteenBitLimitFiles(Write write) {
    write("fits.x", ZipXFile(ManyVerticesX(65535), 32768));
    write("big.x", ZipXFile(ManyVerticesX(65536), 32768));
}

}  // namespace testsupport
