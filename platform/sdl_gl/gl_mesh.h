// A .x mesh uploaded once to GL buffers in the vertex format the D3DX loader gives it
// (position, then normal, diffuse colour and one texture set when the file has them), drawn
// one attribute range at a time.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

#include "platform/core/xfile.h"
#include "platform/sdl_gl/gl_device.h"

namespace sdlgl {

class GlMesh {
public:
    // Uploads the mesh; needs the GL context. False for a mesh with no triangles.
    bool Upload(const core::XMesh& mesh);
    void Release();

    // Draws every triangle whose attribute is `attribId` with the device's current states;
    // sets the device's vertex format to the mesh's, as the loader's meshes do.
    bool DrawSubset(GlDevice& device, uint32_t attribId) const;

    uint32_t Fvf() const { return fvf_; }
    uint32_t Stride() const { return stride_; }
    uint32_t VertexCount() const { return vertexCount_; }
    uint32_t FaceCount() const { return faceCount_; }
    const std::vector<core::XSubset>& Subsets() const { return subsets_; }
    // The box around every vertex, found at upload (again by RefreshBounds after the vertex
    // bytes change); draws wholly outside the view are not rasterised.
    const Bounds& GetBounds() const { return bounds_; }
    void RefreshBounds();
    // The vertex bytes as uploaded (the layout of Fvf()), for callers that read them back.
    const std::vector<uint8_t>& VertexBytes() const { return vertexBytes_; }

private:
    GLuint vbo_ = 0, ibo_ = 0;
    uint32_t fvf_ = 0, stride_ = 0, vertexCount_ = 0, faceCount_ = 0;
    std::vector<core::XSubset> subsets_;
    std::vector<uint8_t> vertexBytes_;
    Bounds bounds_;
};

// The vertex format the loader gives a mesh with these contents.
uint32_t MeshFvf(const core::XMesh& mesh);

}  // namespace sdlgl
