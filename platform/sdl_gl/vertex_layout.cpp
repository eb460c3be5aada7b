#include "platform/sdl_gl/vertex_layout.h"

#include <epoxy/gl.h>

#include "platform/sdl_gl/d3d_values.h"

namespace sdlgl {

VertexLayout LayoutOf(uint32_t fvf) {
    VertexLayout l;
    uint32_t pos = fvf & d3d::FVF_POSITION_MASK;
    int off = 0;
    if (pos == d3d::FVF_XYZ) {
        off = 12;
    } else if (pos == d3d::FVF_XYZRHW) {
        l.rhw = true;
        off = 16;
    } else {
        return l;  // no position, or blend weights: not drawable here
    }
    if (fvf & d3d::FVF_NORMAL) { l.normal = off; off += 12; }
    if (fvf & d3d::FVF_PSIZE) { l.psize = off; off += 4; }
    if (fvf & d3d::FVF_DIFFUSE) { l.diffuse = off; off += 4; }
    if (fvf & d3d::FVF_SPECULAR) { l.specular = off; off += 4; }
    int count = static_cast<int>((fvf & d3d::FVF_TEXCOUNT_MASK) >> d3d::FVF_TEXCOUNT_SHIFT);
    if (count > 8) return l;
    l.texCount = count;
    for (int i = 0; i < count; ++i) {
        static const int kWidth[4] = {2, 3, 4, 1};
        int size = kWidth[(fvf >> (16 + 2 * i)) & 3];
        l.tex[i] = off;
        l.texSize[i] = size;
        off += 4 * size;
    }
    l.stride = off;
    l.valid = true;
    return l;
}

static void Pointer(int loc, int offset, GLint size, GLenum type, bool norm, int stride,
                    uintptr_t base) {
    glEnableVertexAttribArray(loc);
    glVertexAttribPointer(loc, size, type, norm ? GL_TRUE : GL_FALSE, stride,
                          reinterpret_cast<const void*>(base + offset));
}

void BindVertexAttributes(const VertexLayout& l, int stride, uintptr_t base) {
    Pointer(ATTR_POSITION, 0, l.rhw ? 4 : 3, GL_FLOAT, false, stride, base);
    if (l.normal >= 0) {
        Pointer(ATTR_NORMAL, l.normal, 3, GL_FLOAT, false, stride, base);
    } else {
        glDisableVertexAttribArray(ATTR_NORMAL);
        glVertexAttrib3f(ATTR_NORMAL, 0, 0, 0);
    }
    if (l.psize >= 0) {
        Pointer(ATTR_PSIZE, l.psize, 1, GL_FLOAT, false, stride, base);
    } else {
        glDisableVertexAttribArray(ATTR_PSIZE);
        glVertexAttrib1f(ATTR_PSIZE, 1);
    }
    // D3DCOLOR is B,G,R,A in memory: GL_BGRA as the size swizzles it to (r,g,b,a).
    if (l.diffuse >= 0) {
        Pointer(ATTR_COLOR0, l.diffuse, GL_BGRA, GL_UNSIGNED_BYTE, true, stride, base);
    } else {
        glDisableVertexAttribArray(ATTR_COLOR0);
        glVertexAttrib4f(ATTR_COLOR0, 1, 1, 1, 1);
    }
    if (l.specular >= 0) {
        Pointer(ATTR_COLOR1, l.specular, GL_BGRA, GL_UNSIGNED_BYTE, true, stride, base);
    } else {
        glDisableVertexAttribArray(ATTR_COLOR1);
        glVertexAttrib4f(ATTR_COLOR1, 1, 1, 1, 1);
    }
    for (int i = 0; i < 8; ++i) {
        int loc = ATTR_TEXCOORD0 + i;
        if (i < l.texCount) {
            Pointer(loc, l.tex[i], l.texSize[i], GL_FLOAT, false, stride, base);
        } else {
            glDisableVertexAttribArray(loc);
            glVertexAttrib4f(loc, 0, 0, 0, 1);
        }
    }
}

}  // namespace sdlgl
