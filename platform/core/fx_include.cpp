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

bool FxFindInclude(const std::string& written, const std::string& including,
                   const std::vector<std::string>& folders, std::string& path, std::string& text) {
    path = FxIncludePath(written, including);
    if (FxReadIncludeFile(path, text)) return true;
    for (const std::string& folder : folders) {
        path = FxIncludePath(written, folder + "/");
        if (FxReadIncludeFile(path, text)) return true;
    }
    return false;
}

}  // namespace core
