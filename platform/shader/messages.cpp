#include "platform/shader/messages.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/core/file_bytes.h"
#include "platform/shader/hlsl_text.h"
#include "platform/shader/legacy_rewrite.h"

namespace hlsl {

namespace {

// The text of line `line` of `file` in `source`, which frames included text with
// `#line N "file"` directives; "" when it is not there.
std::string SourceLine(const std::string& source, const std::string& top, const std::string& file,
                       int line) {
    std::string cur = top;
    int n = 1;
    size_t pos = 0;
    while (pos < source.size()) {
        size_t nl = source.find('\n', pos);
        if (nl == std::string::npos) nl = source.size();
        if (source.compare(pos, 6, "#line ") == 0) {
            size_t q1 = source.find('"', pos), q2 = q1 == std::string::npos ? q1 : source.find('"', q1 + 1);
            if (q2 != std::string::npos && q2 < nl) {
                cur = source.substr(q1 + 1, q2 - q1 - 1);
                n = std::atoi(source.c_str() + pos + 6);
                pos = nl + 1;
                continue;
            }
        }
        if (cur == file && n == line) return source.substr(pos, nl - pos);
        ++n;
        pos = nl + 1;
    }
    return "";
}

// The column a message points at: where the first 'token' it quotes stands on its line,
// else the line's first character that is not blank; 1 when neither is known.
int MessageColumn(const std::string& lineText, const std::string& msg) {
    size_t q1 = msg.find('\'');
    size_t q2 = q1 == std::string::npos ? q1 : msg.find('\'', q1 + 1);
    if (q2 != std::string::npos && q2 > q1 + 1) {
        std::string token = msg.substr(q1 + 1, q2 - q1 - 1);
        size_t at = 0;
        while ((at = lineText.find(token, at)) != std::string::npos) {
            bool start = at == 0 || !IsIdentChar(lineText[at - 1]) || !IsIdentChar(token[0]);
            size_t end = at + token.size();
            bool stop = end >= lineText.size() || !IsIdentChar(lineText[end]) ||
                        !IsIdentChar(token.back());
            if (start && stop) return static_cast<int>(at) + 1;
            at = end;
        }
    }
    size_t first = lineText.find_first_not_of(" \t");
    return first == std::string::npos ? 1 : static_cast<int>(first) + 1;
}

}  // namespace

// glslang writes "ERROR: file:line: message"; D3DX writes "file(line,col): error Xnnnn: message"
// (the code is added by core::FxD3dxMessages). Messages without a place go to `where`.
std::string FormatLog(const std::string& raw, const std::string& source, const std::string& top,
                      const std::string& where) {
    std::string out;
    std::map<std::string, std::string> files;   // files the messages name, as written
    size_t pos = 0;
    while (pos < raw.size()) {
        size_t nl = raw.find('\n', pos);
        if (nl == std::string::npos) nl = raw.size();
        std::string line = raw.substr(pos, nl - pos);
        pos = nl + 1;
        if (line.empty()) continue;
        std::string kind;
        if (line.compare(0, 7, "ERROR: ") == 0) kind = "error";
        else if (line.compare(0, 9, "WARNING: ") == 0) kind = "warning";
        if (!kind.empty()) {
            std::string rest = line.substr(kind == "error" ? 7 : 9);
            // The file name may hold ':' (none on POSIX paths, but be careful): the line
            // number is the first ":<digits>:" group.
            size_t c = 0;
            bool done = false;
            while ((c = rest.find(':', c)) != std::string::npos) {
                size_t d = c + 1;
                while (d < rest.size() && std::isdigit(static_cast<unsigned char>(rest[d]))) ++d;
                if (d > c + 1 && d < rest.size() && rest[d] == ':') {
                    std::string msg = rest.substr(d + 1);
                    while (!msg.empty() && msg[0] == ' ') msg.erase(0, 1);
                    std::string file = rest.substr(0, c);
                    int lineNo = std::atoi(rest.c_str() + c + 1);
                    // Columns are those of the file as written: the preprocessor's output
                    // keeps lines but not their blanks. The text given when the file cannot
                    // be read again.
                    auto it = files.find(file);
                    if (it == files.end()) {
                        std::vector<uint8_t> bytes;
                        std::string text;
                        if (core::ReadFileBytes(file.c_str(), bytes, size_t(16) << 20))
                            text.assign(bytes.begin(), bytes.end());
                        it = files.emplace(file, text).first;
                    }
                    // The source glslang read has some names renamed (legacy_rewrite.h).
                    std::string written = SourceLine(it->second, file, file, lineNo);
                    std::string named = SourceNames(msg);
                    int col;
                    if (!written.empty()) {
                        col = MessageColumn(written, named);
                    } else {
                        std::string renamed = SourceLine(source, top, file, lineNo);
                        col = SourceColumn(renamed, MessageColumn(renamed, msg));
                    }
                    out += file + "(" + std::to_string(lineNo) + "," + std::to_string(col) + "): " +
                           kind + ": " + named + "\n";
                    done = true;
                    break;
                }
                c = d;
            }
            if (done) continue;
            // Summary lines ("2 compilation errors.") carry no position.
            if (rest.find("compilation error") != std::string::npos ||
                rest.find("No code generated") != std::string::npos)
                continue;
            out += where + ": " + kind + ": " + SourceNames(rest) + "\n";
            continue;
        }
        // glslang's HLSL parser also writes "file(line): error at column C, text".
        size_t at = line.find("): error at column ");
        size_t open = at == std::string::npos ? at : line.rfind('(', at);
        if (open != std::string::npos) {
            const char* p = line.c_str() + at + 19;
            char* end = nullptr;
            long col = std::strtol(p, &end, 10);
            if (end != p && *end == ',') {
                std::string text = end + 1;
                while (!text.empty() && text[0] == ' ') text.erase(0, 1);
                // "HLSL parsing failed." only sums up the errors before it.
                if (text.compare(0, 19, "HLSL parsing failed") == 0) continue;
                std::string file = line.substr(0, open);
                int lineNo = std::atoi(line.c_str() + open + 1);
                col = SourceColumn(SourceLine(source, top, file, lineNo), static_cast<int>(col));
                out += line.substr(0, at) + "," + std::to_string(col) + "): error: " +
                       SourceNames(text) + "\n";
                continue;
            }
        }
        out += SourceNames(line) + "\n";
    }
    return out;
}

}  // namespace hlsl
