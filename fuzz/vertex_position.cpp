// Analysis of a vertex stage's position: any text gives a result or "unknown", and a known
// position names only 4x4 matrices the stage lists.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sdl_gl/effect_position.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sdlgl::HlslStage st;
    st.stage = sdlgl::ShaderStage::Vertex;
    st.glsl.assign(reinterpret_cast<const char*>(data), size);
    const char* names[] = {"vs_u.m0", "vs_u.m1", "vs_u.m2"};
    for (int i = 0; i < 3; ++i) {
        sdlgl::HlslUniform u;
        u.glslName = names[i];
        u.hlslName = std::string("M") + char('0' + i);
        u.rows = i == 2 ? 3 : 4;   // m2 is no 4x4 matrix
        u.columns = 4;
        st.uniforms.push_back(u);
    }
    sdlgl::PositionTransform t = sdlgl::AnalysePosition(st);
    if (!t.known && !t.factors.empty()) std::abort();
    for (const sdlgl::PositionFactor& f : t.factors)
        if (f.hlslName != "M0" && f.hlslName != "M1") std::abort();
    return 0;
}
