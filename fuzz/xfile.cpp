// .x mesh reader: any bytes give a mesh whose indices, attributes and subsets are consistent,
// or a failure with a reason.
#include <cstdint>
#include <cstdlib>

#include "platform/core/xfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    core::XMesh m;
    std::string err;
    if (!core::ReadXFile(data, size, m, err)) {
        if (err.empty()) std::abort();
        return 0;
    }
    if (m.materials.empty() || m.indices.size() != m.attributes.size() * 3) std::abort();
    for (uint32_t i : m.indices)
        if (i >= m.vertices.size()) std::abort();
    for (uint32_t a : m.attributes)
        if (a >= m.materials.size()) std::abort();
    size_t faces = 0;
    for (const core::XSubset& s : m.subsets) {
        if (s.faceStart != faces) std::abort();
        faces += s.faceCount;
    }
    if (faces != m.attributes.size()) std::abort();
    return 0;
}
