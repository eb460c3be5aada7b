// Effect preprocessor: any text (and the same text as every included file) expands or fails
// with "file(line,col): error X1nnn: ..."; what it expands to reads through ParseFx and shader
// variables resolve or fail without harm. The text taken as compiler messages reshapes the
// same way twice, and taken as a parameter handle names a parameter or one element.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/core/fxfile.h"
#include "platform/core/fxfile_preprocess.h"
#include "platform/core/fxfile_values.h"

namespace {

std::string g_text;

bool ReadSame(const std::string&, std::string& text) {
    text = g_text;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_text.assign(reinterpret_cast<const char*>(data), size);
    std::string shaped = core::FxD3dxMessages(g_text);
    if (core::FxD3dxMessages(shaped) != shaped) std::abort();
    std::string handle, name;
    int element = 0;
    handle.assign(g_text.c_str());   // up to the first NUL, as a C string handle is read
    if (core::FxSplitHandle(handle.c_str(), name, element) &&
        (name.empty() || element < -1 || handle.compare(0, name.size(), name) != 0))
        std::abort();
    core::FxPreprocessed pre;
    std::string err;
    if (!core::PreprocessFx(g_text, "f.fx", {{"FUZZ", "1"}}, ReadSame, pre, err)) {
        if (err.find("): error X1") == std::string::npos) std::abort();
        return 0;
    }
    core::FxFile fx;
    if (!core::ParseFx(pre.text, fx, err)) return 0;
    for (const core::FxTechnique& t : fx.techniques)
        for (const core::FxPass& p : t.passes)
            for (const core::FxState& s : p.states) {
                core::FxState out;
                core::ResolveShaderState(fx, s, out, err);
            }
    return 0;
}
