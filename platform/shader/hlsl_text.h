// Scanning helpers shared by the compiler's stages: words, names and lists of HLSL text.
// They look at characters only; they know nothing of comments or strings.
#pragma once

#include <cctype>
#include <string>
#include <vector>

namespace hlsl {

inline std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

inline bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Splits the text of a parameter list at top-level commas.
std::vector<std::string> SplitTopLevel(const std::string& text);

// The names and numbers of `text`, in order.
std::vector<std::string> Words(const std::string& text);

}  // namespace hlsl
