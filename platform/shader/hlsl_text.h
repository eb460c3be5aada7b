// Scanning helpers shared by the compiler's stages: words, names, lists and tokens of HLSL
// text. Only Tokens knows comments, strings and directives; the others look at characters.
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

// A token of HLSL text at [begin, end): a name or keyword ('w'), a number ('n'), or an operator
// or bracket ('p'; compound operators such as "+=" and "++" are one token).
struct HlslToken {
    size_t begin = 0, end = 0;
    char kind = 'p';
};

// The tokens of `text`; blanks, comments, string literals and directive lines (#line, #pragma)
// give none.
std::vector<HlslToken> Tokens(const std::string& text);

}  // namespace hlsl
