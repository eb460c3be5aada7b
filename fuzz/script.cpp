// Input scripts of headless runs: any text gives well-formed events or a failure naming a line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/headless/headless_impl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<headless::ScriptStep> steps;
    std::string err;
    if (!headless::ParseScript(text, steps, err)) {
        if (err.empty() || err[0] < '1' || err[0] > '9' || !steps.empty()) std::abort();
        return 0;
    }
    for (const headless::ScriptStep& s : steps) {
        switch (s.op) {
        case headless::ScriptStep::Wait:
            if (s.a < 0) std::abort();
            break;
        case headless::ScriptStep::KeyDown:
        case headless::ScriptStep::KeyUp:
            if (s.a <= 0 || s.a > 255) std::abort();
            break;
        case headless::ScriptStep::MouseDown:
        case headless::ScriptStep::MouseUp:
            if (s.a != 0 && s.a != 1) std::abort();
            break;
        case headless::ScriptStep::Wheel:   // whole notches of 120, at most 100 either way
            if (s.a == 0 || s.a % 120 != 0 || s.a < -12000 || s.a > 12000) std::abort();
            break;
        case headless::ScriptStep::MouseMove:
        case headless::ScriptStep::Clipboard:
        case headless::ScriptStep::Close:
            break;
        default:
            std::abort();
        }
    }
    return 0;
}
