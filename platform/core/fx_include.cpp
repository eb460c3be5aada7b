#include "platform/core/fx_include.h"

#include <cstdint>

#include "platform/core/file_bytes.h"

namespace core {

std::string FxIncludePath(const std::string& written, const std::string& including) {
    bool absolute = !written.empty() &&
                    (written[0] == '/' || written[0] == '\\' || (written.size() > 1 && written[1] == ':'));
    size_t slash = including.find_last_of("/\\");
    if (absolute || slash == std::string::npos) return written;
    return including.substr(0, slash + 1) + written;
}

bool FxReadIncludeFile(const std::string& path, std::string& text) {
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path.c_str(), bytes, size_t(16) << 20)) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

std::vector<std::string> FxIncludeCandidates(const std::string& written, const std::string& including,
                                             const std::string& effect, const std::vector<std::string>& folders) {
    std::vector<std::string> out;
    auto Add = [&](const std::string& path) {
        for (const std::string& p : out)
            if (p == path) return;
        out.push_back(path);
    };
    Add(FxIncludePath(written, including));
    if (!effect.empty()) Add(FxIncludePath(written, effect));
    Add(written);
    for (const std::string& folder : folders) Add(FxIncludePath(written, folder + "/"));
    return out;
}

bool FxFindInclude(const std::string& written, const std::string& including, const std::string& effect,
                   const std::vector<std::string>& folders, std::string& path, std::string& text) {
    for (const std::string& candidate : FxIncludeCandidates(written, including, effect, folders)) {
        path = candidate;
        if (FxReadIncludeFile(path, text)) return true;
    }
    return false;
}

}  // namespace core
