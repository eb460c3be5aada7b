// DirectX .x mesh files (text, binary, and their MSZIP-compressed forms) read the way the
// D3DX mesh loader reads them: every mesh of the file merged into one, frame transforms
// applied, polygons split into triangle fans, vertices split where one position is used with
// different normals, triangles grouped by material into subsets. Coordinates are kept as
// authored (left-handed). Animation, skinning and vertex declarations are not read.
// Pure function over a byte buffer; malformed, truncated or out-of-range data gives false
// and a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace core {

// One material as the loader returns it (the layout of a Direct3D material plus its texture).
struct XMaterial {
    float diffuse[4] = {0, 0, 0, 0};   // faceColor r, g, b, a
    float ambient[4] = {0, 0, 0, 1};   // never in the file: always (0, 0, 0, 1) when read
    float specular[4] = {0, 0, 0, 1};  // specularColor r, g, b, then 1
    float emissive[4] = {0, 0, 0, 1};  // emissiveColor r, g, b, then 1
    float power = 0;
    std::string textureFile;           // TextureFilename as written, empty when none
};

struct XVertex {
    float pos[3] = {0, 0, 0};
    float normal[3] = {0, 0, 0};   // zero when the mesh had no normals
    float uv[2] = {0, 0};          // zero when the mesh had no texture coordinates
    uint32_t color = 0xFFFFFFFF;   // 0xAARRGGBB from MeshVertexColors, else opaque white
};

// A run of triangles sharing one material: triangles [faceStart, faceStart+faceCount) use
// vertices [vertexStart, vertexStart+vertexCount).
struct XSubset {
    uint32_t attribId = 0, faceStart = 0, faceCount = 0, vertexStart = 0, vertexCount = 0;
};

struct XMesh {
    std::vector<XVertex> vertices;
    std::vector<uint32_t> indices;      // 3 per triangle
    std::vector<uint32_t> attributes;   // material index per triangle
    std::vector<XSubset> subsets;       // one per material actually used, by ascending attribId
    std::vector<XMaterial> materials;   // never empty after a successful read
    bool hasNormals = false, hasTexCoords = false, hasColors = false;
};

bool ReadXFile(const uint8_t* data, size_t size, XMesh& out, std::string& err);

// Whether D3DXLoadMeshFromX can give a mesh of `vertexCount` vertices with these D3DXMESH
// options; when not, it fails with D3DERR_INVALIDCALL. Without D3DXMESH_32BIT (0x001) the mesh
// has 16-bit indices (D3DXMESH: "32-bit indices instead of 16-bit"; Wine's D3DXCreateMesh makes
// its index buffer D3DFMT_INDEX16 unless the flag is given), and of the 16-bit values the last,
// 0xFFFF, is reserved (D3DXCreateMesh: "the last index is reserved"), so such a mesh holds at
// most 65,535 vertices. Wine checks nothing here: it stores every index in 16 bits and draws
// a larger mesh with its indices cut short (d3dx9_36/mesh.c, D3DXLoadSkinMeshFromXof); its
// tests load no mesh that large.
inline bool MeshFitsIndices(size_t vertexCount, uint32_t options) {
    const uint32_t k32Bit = 0x001;
    return (options & k32Bit) != 0 || vertexCount <= 0xFFFF;
}

// The material the loader gives a file whose meshes have no material list.
XMaterial DefaultXMaterial();

}  // namespace core
