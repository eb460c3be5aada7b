#include "platform/shader/nesting_limits.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/shader/hlsl_text.h"

namespace hlsl {

namespace {

bool IsWord(const std::string& s, size_t i, size_t n, const char* word) {
    size_t len = std::strlen(word);
    return n == len && s.compare(i, n, word) == 0;
}

}  // namespace

std::string NestingError(const std::string& hlsl, const std::string& top) {
    struct Frame {
        char close;     // the bracket ending it
        int ops = 0;    // operators since the frame's last ',' or ';'
        int chain = 0;  // flow control statements open at this brace level
    };
    std::vector<Frame> frames{{'\0'}};
    int expression = 1, flow = 0;   // sums over the frames
    bool statementDone = false;     // after ';' or '}': an 'else' continues, anything else resets
    std::string file = top;
    int line = 1;
    auto Error = [&](const std::string& token, const std::string& text) {
        return "ERROR: " + file + ":" + std::to_string(line) + ": '" + token + "' : " + text + "\n";
    };
    size_t i = 0, n = hlsl.size();
    bool lineStart = true;
    while (i < n) {
        char c = hlsl[i];
        if (c == '\n') { ++line; ++i; lineStart = true; continue; }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') { ++i; continue; }
        if (lineStart && c == '#') {   // #line and #pragma lines
            size_t nl = hlsl.find('\n', i);
            if (nl == std::string::npos) nl = n;
            if (hlsl.compare(i, 6, "#line ") == 0) {
                size_t q1 = hlsl.find('"', i), q2 = q1 < nl ? hlsl.find('"', q1 + 1) : nl;
                line = std::atoi(hlsl.c_str() + i + 6) - 1;
                if (q2 < nl) file = hlsl.substr(q1 + 1, q2 - q1 - 1);
            }
            i = nl;
            continue;
        }
        lineStart = false;
        if (c == '/' && i + 1 < n && (hlsl[i + 1] == '/' || hlsl[i + 1] == '*')) {
            bool block = hlsl[i + 1] == '*';
            size_t end = block ? hlsl.find("*/", i + 2) : hlsl.find('\n', i);
            if (end == std::string::npos) end = n;
            for (size_t k = i; k < end; ++k) line += hlsl[k] == '\n';
            i = block && end < n ? end + 2 : end;
            continue;
        }
        if (c == '"') {
            size_t k = i + 1;
            while (k < n && hlsl[k] != '"' && hlsl[k] != '\n') k += hlsl[k] == '\\' ? 2 : 1;
            i = k + 1;
            continue;
        }
        Frame& f = frames.back();
        if (IsIdentChar(c)) {
            size_t k = i;
            while (k < n && IsIdentChar(hlsl[k])) ++k;
            size_t len = k - i;
            bool control = IsWord(hlsl, i, len, "if") || IsWord(hlsl, i, len, "for") ||
                           IsWord(hlsl, i, len, "while") || IsWord(hlsl, i, len, "do") ||
                           IsWord(hlsl, i, len, "switch");
            if (statementDone && !IsWord(hlsl, i, len, "else")) {
                flow -= f.chain;
                f.chain = 0;
            }
            statementDone = false;
            if (control) {
                ++f.chain;
                if (++flow > kMaxFlowNesting)
                    return Error(hlsl.substr(i, len), "flow control statements nested deeper than " +
                                                          std::to_string(kMaxFlowNesting) + " levels");
            }
            i = k;
            continue;
        }
        if (statementDone && c != ';') {
            flow -= f.chain;
            f.chain = 0;
        }
        statementDone = false;
        if (c == '(' || c == '[' || c == '{') {
            frames.push_back({c == '(' ? ')' : c == '[' ? ']' : '}'});
            if (++expression > kMaxExpressionNesting)
                return Error(std::string(1, c), "expression nested deeper than " +
                                                    std::to_string(kMaxExpressionNesting) + " levels");
        } else if ((c == ')' || c == ']' || c == '}') && frames.size() > 1) {
            // glslang's parser can crash on a bracket closed by another kind (`a[6 )`).
            if (c != frames.back().close)
                return Error(std::string(1, c), std::string("expected '") + frames.back().close + "'");
            expression -= 1 + frames.back().ops;
            flow -= frames.back().chain;
            frames.pop_back();
            if (c == '}') {   // a block or body ends the statement around it
                expression -= frames.back().ops;
                frames.back().ops = 0;
                statementDone = true;
            }
        } else if (c == ';' || c == ',') {
            expression -= f.ops;
            f.ops = 0;
            statementDone = c == ';' && f.close != ')';
        } else if (std::strchr("+-*/%=<>!~&|^?:", c)) {
            ++f.ops;
            if (++expression > kMaxExpressionNesting)
                return Error(std::string(1, c), "expression nested deeper than " +
                                                    std::to_string(kMaxExpressionNesting) + " levels");
        }
        ++i;
    }
    return "";
}

}  // namespace hlsl
