#include "platform/sdl_gl/gl_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/sdl_gl/d3d_values.h"

namespace sdlgl {

uint32_t MeshFvf(const core::XMesh& mesh) {
    uint32_t fvf = d3d::FVF_XYZ;
    if (mesh.hasNormals) fvf |= d3d::FVF_NORMAL;
    if (mesh.hasColors) fvf |= d3d::FVF_DIFFUSE;
    if (mesh.hasTexCoords) fvf |= 1u << d3d::FVF_TEXCOUNT_SHIFT;
    return fvf;
}

bool GlMesh::Upload(const core::XMesh& mesh) {
    if (mesh.indices.empty() || mesh.vertices.empty()) return false;
    for (uint32_t i : mesh.indices)
        if (i >= mesh.vertices.size()) return false;
    fvf_ = MeshFvf(mesh);
    VertexLayout l = LayoutOf(fvf_);
    stride_ = static_cast<uint32_t>(l.stride);
    vertexCount_ = static_cast<uint32_t>(mesh.vertices.size());
    faceCount_ = static_cast<uint32_t>(mesh.indices.size() / 3);
    subsets_ = mesh.subsets;
    vertexBytes_.assign(size_t(stride_) * vertexCount_, 0);
    for (size_t v = 0; v < mesh.vertices.size(); ++v) {
        const core::XVertex& x = mesh.vertices[v];
        uint8_t* out = &vertexBytes_[v * stride_];
        std::memcpy(out, x.pos, 12);
        if (l.normal >= 0) std::memcpy(out + l.normal, x.normal, 12);
        if (l.diffuse >= 0) std::memcpy(out + l.diffuse, &x.color, 4);
        if (l.texCount > 0) std::memcpy(out + l.tex[0], x.uv, 8);
    }
    RefreshBounds();
    glGenBuffers(1, &vbo_);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexBytes_.size()),
                 vertexBytes_.data(), GL_STATIC_DRAW);
    glGenBuffers(1, &ibo_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo_);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(faceCount_ * 3 * sizeof(uint32_t)), mesh.indices.data(),
                 GL_STATIC_DRAW);
    return true;
}

void GlMesh::RefreshBounds() {
    bounds_ = Bounds();
    bounds_.valid = vertexCount_ > 0;
    for (uint32_t v = 0; v < vertexCount_; ++v) {
        float p[3];
        std::memcpy(p, &vertexBytes_[size_t(v) * stride_], sizeof p);
        for (int i = 0; i < 3; ++i) {
            if (!std::isfinite(p[i])) bounds_.valid = false;
            bounds_.min[i] = v ? std::min(bounds_.min[i], p[i]) : p[i];
            bounds_.max[i] = v ? std::max(bounds_.max[i], p[i]) : p[i];
        }
    }
}

void GlMesh::Release() {
    if (vbo_) glDeleteBuffers(1, &vbo_);
    if (ibo_) glDeleteBuffers(1, &ibo_);
    vbo_ = ibo_ = 0;
}

bool GlMesh::DrawSubset(GlDevice& device, uint32_t attribId) const {
    if (!vbo_) return false;
    device.SetFvf(fvf_);
    bool ok = true;
    for (const core::XSubset& s : subsets_) {
        if (s.attribId != attribId || s.faceCount == 0) continue;
        if (uint64_t(s.faceStart) + s.faceCount > faceCount_) return false;
        ok = device.DrawIndexedTriangles(vbo_, ibo_, fvf_, stride_, s.faceStart * 3,
                                         s.faceCount * 3,
                                         bounds_.valid ? &bounds_ : nullptr) && ok;
    }
    return ok;
}

}  // namespace sdlgl
