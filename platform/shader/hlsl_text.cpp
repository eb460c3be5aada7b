#include "platform/shader/hlsl_text.h"

namespace hlsl {

std::vector<std::string> SplitTopLevel(const std::string& text) {
    std::vector<std::string> parts;
    int depth = 0;
    std::string cur;
    for (char c : text) {
        if (c == '(' || c == '[' || c == '{' || c == '<') ++depth;
        if (c == ')' || c == ']' || c == '}' || c == '>') --depth;
        if (c == ',' && depth == 0) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    bool blank = true;
    for (char c : cur) blank = blank && std::isspace(static_cast<unsigned char>(c));
    if (!blank || !parts.empty()) parts.push_back(cur);
    return parts;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        if (IsIdentChar(text[i])) {
            size_t j = i;
            while (j < text.size() && IsIdentChar(text[j])) ++j;
            words.push_back(text.substr(i, j - i));
            i = j;
        } else {
            ++i;
        }
    }
    return words;
}

}  // namespace hlsl
