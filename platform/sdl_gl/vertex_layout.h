// Vertex formats (FVF codes) turned into byte offsets and GL vertex attributes.
// Attribute locations are fixed so that the fixed-function shaders and any later shader
// program read the same vertex data: see the Attrib enumeration.
#pragma once

#include <cstdint>

namespace sdlgl {

// GL attribute locations, by the meaning of the vertex field.
enum Attrib : int {
    ATTR_POSITION = 0,   // vec3 (XYZ) or vec4 (XYZRHW)
    ATTR_NORMAL = 1,
    ATTR_COLOR0 = 2,     // diffuse D3DCOLOR as normalised (r,g,b,a)
    ATTR_COLOR1 = 3,     // specular
    ATTR_PSIZE = 4,
    ATTR_TEXCOORD0 = 5,  // TEXCOORD0..7 at 5..12
    ATTR_COUNT = 13
};

struct VertexLayout {
    bool valid = false;    // false for formats this device does not draw (blend weights)
    bool rhw = false;      // pre-transformed position x, y, z, rhw
    int normal = -1;       // byte offsets, -1 when absent
    int psize = -1;
    int diffuse = -1;
    int specular = -1;
    int texCount = 0;      // 0..8
    int tex[8] = {};       // offsets of the sets
    int texSize[8] = {};   // floats per set (1..4)
    int stride = 0;        // size of one vertex as the format describes it
};

VertexLayout LayoutOf(uint32_t fvf);

// Enables and points the GL attributes at a bound GL_ARRAY_BUFFER holding vertices of `layout`
// with `stride` bytes each, starting at byte `base`. Absent fields get constant values
// (white for colours, zero otherwise).
void BindVertexAttributes(const VertexLayout& layout, int stride, uintptr_t base);

}  // namespace sdlgl
