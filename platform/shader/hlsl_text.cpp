#include "platform/shader/hlsl_text.h"

#include <algorithm>
#include <cstring>

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

std::vector<HlslToken> Tokens(const std::string& text) {
    std::vector<HlslToken> out;
    out.reserve(text.size() / 4);
    size_t i = 0, n = text.size();
    bool lineStart = true;
    while (i < n) {
        char c = text[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (lineStart && c == '#') {
            while (i < n && text[i] != '\n') ++i;
            continue;
        }
        lineStart = false;
        if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            while (i < n && text[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
            continue;
        }
        HlslToken t;
        t.begin = i;
        if (c == '"') {
            ++i;
            while (i < n && text[i] != '"' && text[i] != '\n') i += text[i] == '\\' ? 2 : 1;
            i = std::min(i + 1, n);
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(text[i + 1])))) {
            t.kind = 'n';
            while (i < n && (IsIdentChar(text[i]) || text[i] == '.' ||
                             ((text[i] == '+' || text[i] == '-') &&
                              (text[i - 1] == 'e' || text[i - 1] == 'E'))))
                ++i;
        } else if (IsIdentChar(c)) {
            t.kind = 'w';
            while (i < n && IsIdentChar(text[i])) ++i;
        } else {
            // Compound operators: <<= >>= << >> ++ -- && || :: and op= of every operator.
            char d = i + 1 < n ? text[i + 1] : '\0';
            size_t len = 1;
            if ((c == '<' || c == '>') && d == c)
                len = i + 2 < n && text[i + 2] == '=' ? 3 : 2;
            else if (d == '=' && (c == '+' || c == '-' || c == '*' || c == '/' || c == '%' || c == '&' ||
                                  c == '|' || c == '^' || c == '=' || c == '!' || c == '<' || c == '>'))
                len = 2;
            else if (d == c && (c == '+' || c == '-' || c == '&' || c == '|' || c == ':'))
                len = 2;
            i += len;
        }
        t.end = i;
        out.push_back(t);
    }
    return out;
}

}  // namespace hlsl
