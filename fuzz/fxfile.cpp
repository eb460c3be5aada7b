// .fx reader: any text parses or fails with "line N: ..."; the HLSL keeps the input's layout.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/core/fxfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    core::FxFile f;
    std::string err;
    if (!core::ParseFx(text, f, err)) {
        if (err.compare(0, 5, "line ") != 0) std::abort();
        return 0;
    }
    if (f.hlsl.size() != text.size()) std::abort();
    for (size_t i = 0; i < text.size(); ++i)
        if ((text[i] == '\n') != (f.hlsl[i] == '\n')) std::abort();
    return 0;
}
