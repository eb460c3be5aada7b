#include "platform/shader/hlsl_compiler.h"

// The packaged glslang is built with its HLSL front end; its headers hide the HLSL options
// unless told so.
#ifndef ENABLE_HLSL
#define ENABLE_HLSL 1
#endif
#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross/spirv_cross_c.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define MESHES_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MESHES_SANITIZED 1
#endif
#endif
#if MESHES_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

#include "platform/core/file_bytes.h"
#include "platform/core/fxfile.h"
#include "platform/core/fxfile_preprocess.h"

namespace hlsl {

const char* const kHalfPixelUniform = "dx_halfPixel";
const char* const kAlphaFuncUniform = "dx_alphaFunc";
const char* const kAlphaTestDefine = "DX_ALPHA_TEST";
const char* const kRowFromFragYUniform = "dx_rowFromFragY";
const char* const kAlphaRefUniform = "dx_alphaRef";

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// "TEXCOORD3" -> ("TEXCOORD", 3); "COLOR" -> ("COLOR", 0).
void SplitSemantic(const std::string& semantic, std::string& base, int& index) {
    std::string s = Upper(semantic);
    size_t end = s.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(s[end - 1]))) --end;
    base = s.substr(0, end);
    index = end < s.size() ? std::atoi(s.c_str() + end) : 0;
}

// Attribute location of a vertex input semantic; -1 for semantics no vertex format carries.
int AttributeLocation(const std::string& base, int index) {
    if (base == "POSITION" && index == 0) return 0;
    if (base == "NORMAL" && index == 0) return 1;
    if (base == "COLOR" && index < 2) return 2 + index;
    if (base == "PSIZE" && index == 0) return 4;
    if (base == "TEXCOORD" && index < 8) return 5 + index;
    return -1;
}

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
                    std::string written = SourceLine(it->second, file, file, lineNo);
                    int col = MessageColumn(written.empty() ? SourceLine(source, top, file, lineNo)
                                                            : written,
                                            msg);
                    out += file + "(" + std::to_string(lineNo) + "," + std::to_string(col) + "): " +
                           kind + ": " + msg + "\n";
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
            out += where + ": " + kind + ": " + rest + "\n";
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
                if (text.compare(0, 19, "HLSL parsing failed") != 0)
                    out += line.substr(0, at) + "," + std::to_string(col) + "): error: " + text + "\n";
                continue;
            }
        }
        out += line + "\n";
    }
    return out;
}

// glslang's parser, its SPIR-V generator and SPIRV-Cross recurse once per level of nesting, so a
// deep enough source would overflow any stack. Sources nested deeper than these limits are
// refused before compiling; the compile server is forked from a thread whose stack the
// limits provably fit (kCompileStack). Per level the compile was measured to need at most
// about 2.3 KB for a bracket or an operator (parentheses, calls, constructors) and 5.4 KB for
// a flow control statement, so the limits need under 3 MB.
constexpr int kMaxExpressionNesting = 1024;   // brackets, plus operators within each bracket
constexpr int kMaxFlowNesting = 64;           // if/for/while/do/switch, an else-if as one more
constexpr size_t kCompileStack = size_t(64) << 20;

bool IsWord(const std::string& s, size_t i, size_t n, const char* word) {
    size_t len = std::strlen(word);
    return n == len && s.compare(i, n, word) == 0;
}

// The first place in `hlsl` (text framed by `#line N "file"` lines, top file `top`) nested deeper
// than the limits, as glslang writes an error: "ERROR: file:line: 'token' : text"; "" when none.
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

// Splits the text of a parameter list at top-level commas.
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

// The definition of an entry function as written: what stands before its name (the return
// type), its parameters, and what follows the parameter list up to the body (": COLOR").
struct EntrySignature {
    bool defined = false;
    bool unnamedParam = false;           // a parameter with a type but no name
    std::string returnType;
    std::vector<std::string> params;     // each parameter's text
    std::vector<std::string> names;      // each parameter's name
    std::vector<bool> uniform;           // declared `uniform`
    std::string suffix;
    std::vector<std::string> UniformNames() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < names.size(); ++i)
            if (uniform[i]) out.push_back(names[i]);
        return out;
    }
};

// One place where `name(...)` stands as a word: the word before it (a return type, or a keyword
// of a call), its parameter list and what ends it after an optional ": SEMANTIC" ('{' for a
// definition, ';' for a prototype or a call statement).
struct FunctionAt {
    size_t typeStart = 0, nameAt = 0, open = 0, close = 0, end = 0;
    std::string before;   // the word before the name
    char ender = 0;
};

// Finds the next place from `pos` (moved past it); false when there is none.
bool NextFunctionAt(const std::string& hlsl, const std::string& name, size_t& pos, FunctionAt& f) {
    while ((pos = hlsl.find(name, pos)) != std::string::npos) {
        size_t nameAt = pos, after = pos + name.size();
        pos = after;
        if ((nameAt > 0 && IsIdentChar(hlsl[nameAt - 1])) ||
            (after < hlsl.size() && IsIdentChar(hlsl[after])))
            continue;
        size_t open = after;
        while (open < hlsl.size() && std::isspace(static_cast<unsigned char>(hlsl[open]))) ++open;
        if (open >= hlsl.size() || hlsl[open] != '(') continue;
        int depth = 0;
        size_t close = open;
        for (; close < hlsl.size(); ++close) {
            if (hlsl[close] == '(') ++depth;
            if (hlsl[close] == ')' && --depth == 0) break;
        }
        if (close >= hlsl.size()) return false;
        size_t k = close + 1;
        while (k < hlsl.size() && hlsl[k] != '{' && hlsl[k] != ';' && hlsl[k] != '(' && hlsl[k] != ')')
            ++k;
        size_t typeEnd = nameAt;
        while (typeEnd > 0 && std::isspace(static_cast<unsigned char>(hlsl[typeEnd - 1]))) --typeEnd;
        size_t typeStart = typeEnd;
        while (typeStart > 0 && IsIdentChar(hlsl[typeStart - 1])) --typeStart;
        f.typeStart = typeStart;
        f.nameAt = nameAt;
        f.open = open;
        f.close = close;
        f.end = k;
        f.before = hlsl.substr(typeStart, typeEnd - typeStart);
        f.ender = k < hlsl.size() ? hlsl[k] : 0;
        return true;
    }
    return false;
}

// Finds the definition of `entry` (the first `entry(...)` followed by a body).
EntrySignature FindEntry(const std::string& hlsl, const std::string& entry) {
    EntrySignature sig;
    size_t pos = 0;
    FunctionAt f;
    while (NextFunctionAt(hlsl, entry, pos, f)) {
        if (f.ender != '{') continue;
        sig.defined = true;
        sig.suffix = hlsl.substr(f.close + 1, f.end - f.close - 1);
        sig.returnType = f.before;
        for (const std::string& param : SplitTopLevel(hlsl.substr(f.open + 1, f.close - f.open - 1))) {
            std::string decl = param.substr(0, param.find_first_of(":="));
            decl = decl.substr(0, decl.find('['));
            std::vector<std::string> w = Words(decl);
            if (w.empty() || (w.size() == 1 && w[0] == "void")) continue;
            bool isUniform = false;
            size_t typeAndName = 0;   // words that are neither qualifiers nor modifiers
            for (const std::string& x : w) {
                isUniform = isUniform || x == "uniform";
                static const char* const kQualifiers[] = {
                    "in", "out", "inout", "uniform", "const", "linear", "centroid",
                    "nointerpolation", "noperspective", "sample", "precise"};
                bool qualifier = false;
                for (const char* q : kQualifiers) qualifier = qualifier || x == q;
                typeAndName += qualifier ? 0 : 1;
            }
            // glslang fails on an entry parameter without a name, so it never sees one.
            if (typeAndName < 2) sig.unnamedParam = true;
            sig.params.push_back(param);
            sig.names.push_back(w.back());
            sig.uniform.push_back(isUniform && w.size() >= 2);
        }
        return sig;
    }
    return sig;
}

// Blanks the prototypes of `entry` (`type entry(...);`), keeping the line layout. HLSL lets a
// function be declared before it is defined, but glslang takes the first declaration it meets
// as the entry point and then finds no body for it.
void BlankEntryPrototypes(std::string& hlsl, const std::string& entry) {
    size_t pos = 0;
    FunctionAt f;
    while (NextFunctionAt(hlsl, entry, pos, f)) {
        // A prototype has a return type before the name; a call has an operator, a bracket or
        // a keyword such as `return`.
        const std::string& type = f.before;
        if (f.ender != ';' || type.empty() || std::isdigit(static_cast<unsigned char>(type[0])) ||
            type == "return" || type == "else" || type == "do" || type == "case")
            continue;
        size_t typeStart = f.typeStart;
        // Modifiers before the return type go with it.
        for (;;) {
            size_t e = typeStart;
            while (e > 0 && std::isspace(static_cast<unsigned char>(hlsl[e - 1]))) --e;
            size_t b = e;
            while (b > 0 && IsIdentChar(hlsl[b - 1])) --b;
            std::string word = hlsl.substr(b, e - b);
            if (word != "inline" && word != "static" && word != "precise" && word != "const") break;
            typeStart = b;
        }
        for (size_t i = typeStart; i <= f.end; ++i)
            if (hlsl[i] != '\n') hlsl[i] = ' ';
        pos = f.end + 1;
    }
}

// The name of the function that compiles `entry` with arguments that are expressions.
const char* const kBoundEntry = "dx_bound_entry";

// HLSL for a function that calls `entry` with its first uniform parameters bound to the
// compile call's arguments (any expression: a global parameter, which the stage then reads,
// static data, a constructor, arithmetic), as the effect compiler binds them. It stands at
// the compile statement's line so that messages about the arguments point there.
std::string BoundEntry(const EntrySignature& sig, const std::string& entry,
                       const std::vector<std::string>& args, const std::string& file, int line) {
    std::string params, call;
    size_t bound = 0;
    for (size_t i = 0; i < sig.params.size(); ++i) {
        if (!call.empty()) call += ", ";
        if (sig.uniform[i] && bound < args.size()) {
            call += "(" + args[bound++] + ")";
            continue;
        }
        params += (params.empty() ? "" : ", ") + sig.params[i];
        call += sig.names[i];
    }
    std::string body = sig.returnType == "void" ? entry + "(" + call + ");"
                                                : "return " + entry + "(" + call + ");";
    return "\n#line " + std::to_string(line > 0 ? line : 1) + " \"" + file + "\"\n" +
           sig.returnType + " " + kBoundEntry + "(" + params + ")" + sig.suffix + " { " + body +
           " }\n";
}

// Values of `compile` arguments: numbers, true, false, or braced lists of numbers.
bool ParseArgument(const std::string& text, std::vector<float>& value) {
    value.clear();
    std::string s;
    for (char c : text)
        if (c != '{' && c != '}') s += c;
    for (const std::string& part : SplitTopLevel(s)) {
        std::string t;
        for (char c : part)
            if (!std::isspace(static_cast<unsigned char>(c))) t += c;
        std::string u = Upper(t);
        if (u == "TRUE") { value.push_back(1); continue; }
        if (u == "FALSE") { value.push_back(0); continue; }
        char* end = nullptr;
        float f = std::strtof(t.c_str(), &end);
        while (end && (*end == 'f' || *end == 'F' || *end == 'h' || *end == 'H')) ++end;
        if (t.empty() || !end || *end != '\0') return false;
        value.push_back(f);
    }
    return !value.empty();
}

size_t SkipBlanks(const std::string& s, size_t i) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    return i;
}

// The end of the bracketed group opening at `open` ('(' or '['), or npos.
size_t GroupEnd(const std::string& s, size_t open) {
    int depth = 0;
    for (size_t i = open; i < s.size(); ++i) {
        if (s[i] == '(' || s[i] == '[') ++depth;
        if ((s[i] == ')' || s[i] == ']') && --depth == 0) return i + 1;
    }
    return std::string::npos;
}

// The end of the postfix expression starting at `i` (a name or group followed by members,
// indices and calls), or `i` when none starts there.
size_t PostfixEnd(const std::string& s, size_t i) {
    size_t j = i;
    if (j < s.size() && s[j] == '(') {
        j = GroupEnd(s, j);
        if (j == std::string::npos) return i;
    } else {
        while (j < s.size() && IsIdentChar(s[j])) ++j;
        if (j == i) return i;
    }
    for (;;) {
        size_t k = SkipBlanks(s, j);
        if (k < s.size() && (s[k] == '(' || s[k] == '[')) {
            size_t e = GroupEnd(s, k);
            if (e == std::string::npos) return j;
            j = e;
        } else if (k < s.size() && s[k] == '.') {
            k = SkipBlanks(s, k + 1);
            size_t e = k;
            while (e < s.size() && IsIdentChar(s[e])) ++e;
            if (e == k) return j;
            j = e;
        } else {
            return j;
        }
    }
}

// Components of a scalar or vector type name ("float3" 3, "half" 1), 0 for any other.
int VectorSize(const std::string& type) {
    for (const char* base : {"float", "half", "double", "int", "uint", "bool"}) {
        size_t n = std::strlen(base);
        if (type.compare(0, n, base) != 0) continue;
        if (type.size() == n) return 1;
        if (type.size() == n + 1 && type[n] >= '1' && type[n] <= '4') return type[n] - '0';
    }
    return 0;
}

// The components of variable `name` as declared last before `at` ("float2 a, b;"), 0 when
// that is not found.
int DeclaredSize(const std::string& s, const std::string& name, size_t at) {
    size_t p = at;
    while (p > 0 && (p = s.rfind(name, p - 1)) != std::string::npos) {
        size_t e = p + name.size();
        if ((p > 0 && IsIdentChar(s[p - 1])) || (e < s.size() && IsIdentChar(s[e]))) continue;
        // Back over "other, " declarators to the type.
        size_t q = p;
        while (q > 0 && s[q - 1] != ';' && s[q - 1] != '{' && s[q - 1] != '}' && s[q - 1] != '(' &&
               s[q - 1] != '=')
            --q;
        std::vector<std::string> w = Words(s.substr(q, p - q));
        for (const std::string& x : w)
            if (VectorSize(x)) return VectorSize(x);
        if (p == 0) break;
    }
    return 0;
}

// Rewrites the Direct3D 9 compiler's constructs that glslang's HLSL front end lacks into
// plain HLSL, keeping every line where it was:
//  - a vector cast to an array, `(float[4])v`, which takes the vector's components in turn;
//  - a constructor as an assignment target, `float4(a, b) = e;`, which assigns e's
//    components to a and b in turn;
//  - an array of vectors initialised with one flat list of numbers.
std::string RewriteLegacyHlsl(const std::string& in) {
    std::string s = in;
    // Casts to arrays.
    for (size_t p = s.find('('); p != std::string::npos; p = s.find('(', p + 1)) {
        size_t t = SkipBlanks(s, p + 1), te = t;
        while (te < s.size() && IsIdentChar(s[te])) ++te;
        if (te == t || !VectorSize(s.substr(t, te - t))) continue;
        size_t b = SkipBlanks(s, te);
        if (b >= s.size() || s[b] != '[') continue;
        char* numEnd = nullptr;
        long n = std::strtol(s.c_str() + b + 1, &numEnd, 10);
        size_t close = SkipBlanks(s, static_cast<size_t>(numEnd - s.c_str()));
        if (n < 1 || n > 16 || close >= s.size() || s[close] != ']') continue;
        size_t rp = SkipBlanks(s, close + 1);
        if (rp >= s.size() || s[rp] != ')') continue;
        size_t e0 = SkipBlanks(s, rp + 1), e1 = PostfixEnd(s, e0);
        if (e1 == e0) continue;
        std::string operand = "(" + s.substr(e0, e1 - e0) + ")";
        std::string list = "{";
        for (long i = 0; i < n; ++i)
            list += (i ? ", " : "") + operand + "[" + std::to_string(i) + "]";
        list += "}";
        s.replace(p, e1 - p, list);
    }
    // Arrays of vectors initialised with one flat list, `float4 a[2] = {0, 0, 0, 0, 1, 1, 1, 1}`.
    for (size_t p = s.find('['); p != std::string::npos; p = s.find('[', p + 1)) {
        size_t close = s.find(']', p), eq = close == std::string::npos ? close : SkipBlanks(s, close + 1);
        if (eq == std::string::npos || eq + 1 >= s.size() || s[eq] != '=' || s[eq + 1] == '=') continue;
        size_t open = SkipBlanks(s, eq + 1);
        if (open >= s.size() || s[open] != '{') continue;
        size_t end = s.find('}', open);
        if (end == std::string::npos || s.find('{', open + 1) < end) continue;
        // The declaration's type: the word before the name.
        size_t nameEnd = p;
        while (nameEnd > 0 && std::isspace(static_cast<unsigned char>(s[nameEnd - 1]))) --nameEnd;
        size_t nameStart = nameEnd;
        while (nameStart > 0 && IsIdentChar(s[nameStart - 1])) --nameStart;
        size_t typeEnd = nameStart;
        while (typeEnd > 0 && std::isspace(static_cast<unsigned char>(s[typeEnd - 1]))) --typeEnd;
        size_t typeStart = typeEnd;
        while (typeStart > 0 && IsIdentChar(s[typeStart - 1])) --typeStart;
        int size = VectorSize(s.substr(typeStart, typeEnd - typeStart));
        long n = std::strtol(s.c_str() + p + 1, nullptr, 10);
        std::vector<std::string> items = SplitTopLevel(s.substr(open + 1, end - open - 1));
        if (size < 2 || n < 1 || items.size() != static_cast<size_t>(n * size)) continue;
        std::string list = "{";
        for (size_t i = 0; i < items.size(); ++i) {
            if (i % static_cast<size_t>(size) == 0) list += i ? "}, {" : "{";
            else list += ",";
            list += items[i];
        }
        list += "}}";
        s.replace(open, end + 1 - open, list);
    }
    // Constructors assigned to.
    for (size_t p = 0; p < s.size(); ++p) {
        if (!IsIdentChar(s[p]) || (p > 0 && IsIdentChar(s[p - 1]))) continue;
        size_t te = p;
        while (te < s.size() && IsIdentChar(s[te])) ++te;
        int size = VectorSize(s.substr(p, te - p));
        size_t open = SkipBlanks(s, te);
        if (size < 2 || open >= s.size() || s[open] != '(') { p = te - 1; continue; }
        size_t before = p;
        while (before > 0 && std::isspace(static_cast<unsigned char>(s[before - 1]))) --before;
        if (before > 0 && s[before - 1] != ';' && s[before - 1] != '{' && s[before - 1] != '}') {
            p = te - 1;
            continue;
        }
        size_t close = GroupEnd(s, open);
        size_t eq = close == std::string::npos ? close : SkipBlanks(s, close);
        if (eq == std::string::npos || eq + 1 >= s.size() || s[eq] != '=' || s[eq + 1] == '=') {
            p = te - 1;
            continue;
        }
        size_t semi = s.find(';', eq);
        if (semi == std::string::npos) break;
        std::vector<std::string> targets = SplitTopLevel(s.substr(open + 1, close - open - 2));
        std::string assigns;
        int at = 0;
        for (std::string target : targets) {
            size_t a = SkipBlanks(target, 0), z = target.size();
            while (z > a && std::isspace(static_cast<unsigned char>(target[z - 1]))) --z;
            target = target.substr(a, z - a);
            int n = DeclaredSize(s, target, p);
            if (n == 0 || at + n > size) { at = -1; break; }
            assigns += " " + target + " = dx_parts." + std::string("xyzw").substr(static_cast<size_t>(at), static_cast<size_t>(n)) + ";";
            at += n;
        }
        if (at != size) { p = te - 1; continue; }
        std::string rhs = s.substr(eq + 1, semi - eq - 1);
        for (char& c : rhs)
            if (c == '\n') c = ' ';
        std::string type = s.substr(p, te - p);
        std::string text = "{ " + type + " dx_parts = " + rhs + ";" + assigns + " }";
        // Newlines of the statement stay, so the lines after it keep their numbers.
        for (char c : s.substr(p, semi + 1 - p))
            if (c == '\n') text += '\n';
        s.replace(p, semi + 1 - p, text);
        p += text.size() - 1;
    }
    return s;
}

// `#include "file"`: read relative to the including file and found as every file of the
// system is (backslashes, case-blind), with its effect-only syntax blanked as the effect's is.
class EffectIncluder : public glslang::TShader::Includer {
public:
    IncludeResult* includeLocal(const char* header, const char* includer, size_t) override {
        std::string from = includer ? includer : "";
        size_t slash = from.find_last_of("/\\");
        std::string path = slash == std::string::npos ? header : from.substr(0, slash + 1) + header;
        std::vector<uint8_t> bytes;
        if (!core::ReadFileBytes(path.c_str(), bytes)) return nullptr;
        std::string raw(bytes.begin(), bytes.end());
        core::FxFile fx;
        std::string err;
        contents_.push_back(core::ParseFx(raw, fx, err) ? fx.hlsl : raw);
        const std::string& text = contents_.back();
        return new IncludeResult(path, text.data(), text.size(), nullptr);
    }
    IncludeResult* includeSystem(const char* header, const char* includer, size_t depth) override {
        return includeLocal(header, includer, depth);
    }
    void releaseInclude(IncludeResult* result) override { delete result; }

private:
    std::list<std::string> contents_;   // kept until the compile ends
};

struct SpvcContext {
    spvc_context ctx = nullptr;
    ~SpvcContext() {
        if (ctx) spvc_context_destroy(ctx);
    }
};

HlslBase BaseOf(spvc_basetype t) {
    switch (t) {
        case SPVC_BASETYPE_FP32: return HlslBase::Float;
        case SPVC_BASETYPE_INT32: return HlslBase::Int;
        case SPVC_BASETYPE_UINT32:
        case SPVC_BASETYPE_BOOLEAN: return HlslBase::Bool;
        default: return HlslBase::Other;
    }
}

// Direct3D 9 links a vertex output to a pixel input by semantic register, whatever the
// declared widths: a float2 TEXCOORD0 output may feed a float4 input and the other way round,
// and an array `float2 uv[3] : TEXCOORD1` takes TEXCOORD1..3. Such varyings therefore pass as
// one vec4 "dx_<semantic>" per register; the stage's own variable is renamed
// "dx_v_<semantic>" and copied to or from them. The components a vertex shader leaves
// unwritten read 0.0, as Wine's GLSL backend fills them (wined3d,
// shader_glsl_setup_vs3_output).
struct NarrowVarying {
    std::string base;   // "TEXCOORD"
    int index = 0;      // semantic index of the first register
    int size = 1;       // 1..4 floats
    int elements = 0;   // array length, 0 for no array
    bool input = false;
    std::string Own() const { return "dx_v_" + base + std::to_string(index); }
    std::string Register(int k) const { return "dx_" + base + std::to_string(index + k); }
};

// Re-declares the narrow varyings of `text` (SPIRV-Cross output) as plain variables beside
// their vec4s; the copies go into `prologue` (pixel inputs) and `epilogue` (vertex outputs).
bool WidenVaryings(const std::vector<NarrowVarying>& narrow, std::string& text,
                   std::string& prologue, std::string& epilogue) {
    for (const NarrowVarying& v : narrow) {
        std::string type = v.size == 1 ? "float" : "vec" + std::to_string(v.size);
        std::string dims = v.elements ? "[" + std::to_string(v.elements) + "]" : "";
        std::string decl = std::string(v.input ? "in " : "out ") + type + " " + v.Own() + dims + ";";
        size_t p = text.find(decl);
        if (p == std::string::npos) return false;
        size_t lineStart = text.rfind('\n', p);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        std::string qualifiers = text.substr(lineStart, p - lineStart);
        std::string declarations = type + " " + v.Own() + dims + ";";
        for (int k = 0; k < std::max(v.elements, 1); ++k) {
            std::string own = v.Own() + (v.elements ? "[" + std::to_string(k) + "]" : "");
            declarations += "\n" + qualifiers + (v.input ? "in vec4 " : "out vec4 ") + v.Register(k) + ";";
            if (v.input) {
                prologue += "    " + own + " = " + v.Register(k) +
                            (v.size < 4 ? "." + std::string("xyz").substr(0, static_cast<size_t>(v.size)) : "") + ";\n";
            } else {
                epilogue += "    " + v.Register(k) + " = vec4(" + own;
                for (int i = v.size; i < 4; ++i) epilogue += ", 0.0";
                epilogue += ");\n";
            }
        }
        text.replace(lineStart, p + decl.size() - lineStart, declarations);
    }
    return true;
}

// Makes the stage input `name` of `text` (SPIRV-Cross output, "in <type> <name>[<n>];") a
// plain variable for main to set: its type and array length (0 for none).
bool InputToVariable(std::string& text, const std::string& name, std::string& type,
                     int& elements) {
    size_t p = text.find(" " + name + ";"), arr = text.find(" " + name + "[");
    p = std::min(p, arr);
    size_t lineStart = p == std::string::npos ? p : text.rfind('\n', p);
    if (p == std::string::npos || lineStart == std::string::npos ||
        text.compare(lineStart + 1, 3, "in ") != 0)
        return false;
    type = text.substr(lineStart + 4, p - lineStart - 4);
    elements = p == arr ? std::atoi(text.c_str() + p + name.size() + 2) : 0;
    text.erase(lineStart + 1, 3);
    return true;
}

// Turns SPIR-V into GLSL 3.30 with the naming conventions of the header.
bool SpirvToGlsl(const std::vector<uint32_t>& spirv, ShaderStage stage, HlslStage& out,
                 std::string& log) {
    SpvcContext holder;
    if (spvc_context_create(&holder.ctx) != SPVC_SUCCESS) {
        log += "error: cannot create the SPIR-V translator\n";
        return false;
    }
    spvc_context ctx = holder.ctx;
    spvc_parsed_ir ir = nullptr;
    spvc_compiler comp = nullptr;
    if (spvc_context_parse_spirv(ctx, spirv.data(), spirv.size(), &ir) != SPVC_SUCCESS ||
        spvc_context_create_compiler(ctx, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP,
                                     &comp) != SPVC_SUCCESS) {
        log += std::string("error: ") + spvc_context_get_last_error_string(ctx) + "\n";
        return false;
    }
    spvc_compiler_options opts = nullptr;
    spvc_compiler_create_compiler_options(comp, &opts);
    spvc_compiler_options_set_uint(opts, SPVC_COMPILER_OPTION_GLSL_VERSION, 330);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE);
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_GLSL_ENABLE_420PACK_EXTENSION,
                                   SPVC_FALSE);
    spvc_compiler_options_set_bool(
        opts, SPVC_COMPILER_OPTION_GLSL_EMIT_UNIFORM_BUFFER_AS_PLAIN_UNIFORMS, SPVC_TRUE);
    // Every value gets a variable of its own. Otherwise the values that feed only one side of
    // a select are written into a GLSL "?:", which GL compilers may turn into a branch: a
    // Phong shader whose specular term sat in one drew its pixels 15% slower in llvmpipe.
    // HLSL's "?:" evaluates both sides anyway.
    spvc_compiler_options_set_bool(opts, SPVC_COMPILER_OPTION_FORCE_TEMPORARY, SPVC_TRUE);
    spvc_compiler_install_compiler_options(comp, opts);

    const char* prefix = stage == ShaderStage::Vertex ? "vs" : "ps";
    spvc_resources res = nullptr;
    spvc_compiler_create_shader_resources(comp, &res);
    const spvc_reflected_resource* list = nullptr;
    size_t count = 0;

    // Stage inputs and outputs, by semantic.
    std::string positionOutput, depthOutput;
    std::vector<std::string> pixelBuiltins;   // VPOS and VFACE inputs, made from GL built-ins
    bool hasColor0 = false;
    std::vector<std::string> colorOutputs;
    int spareLocation = 13;
    // Varyings narrower than four floats, which pass as vec4 (see WidenVaryings).
    std::vector<NarrowVarying> narrow;
    std::vector<std::string> unfedInputs;   // vertex inputs given (0, 0, 0, 1) in main
    for (int pass = 0; pass < 2; ++pass) {
        bool input = pass == 0;
        spvc_resources_get_resource_list_for_type(
            res, input ? SPVC_RESOURCE_TYPE_STAGE_INPUT : SPVC_RESOURCE_TYPE_STAGE_OUTPUT, &list,
            &count);
        for (size_t i = 0; i < count; ++i) {
            const char* sem =
                spvc_compiler_get_decoration_string(comp, list[i].id, SpvDecorationUserSemantic);
            std::string base;
            int index = 0;
            SplitSemantic(sem ? sem : "", base, index);
            if (base.compare(0, 3, "SV_") == 0 && base != "SV_TARGET") base = base.substr(3);
            if (base == "SV_TARGET") base = "COLOR";
            std::string name = "dx_" + base + std::to_string(index);
            bool vertexInput = input && stage == ShaderStage::Vertex;
            bool pixelOutput = !input && stage == ShaderStage::Pixel;
            if (vertexInput) {
                spvc_type type = spvc_compiler_get_type_handle(comp, list[i].type_id);
                bool array = spvc_type_get_num_array_dimensions(type) > 0;
                int loc = array ? -1 : AttributeLocation(base, index);
                if (loc < 0 && !array && spareLocation <= 15) loc = spareLocation++;
                name = "dx_in_" + base + std::to_string(index);
                if (loc < 0) {
                    // Arrays and inputs beyond the spare locations: no vertex format feeds
                    // them; they read GL's default attribute value as the spare ones do.
                    if (spvc_type_get_columns(type) > 1) {
                        log += "error: too many vertex inputs\n";
                        return false;
                    }
                    spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationLocation);
                    unfedInputs.push_back(name);
                } else {
                    spvc_compiler_set_decoration(comp, list[i].id, SpvDecorationLocation,
                                                 static_cast<unsigned>(loc));
                }
            } else if (pixelOutput) {
                name = "dx_out_" + base + std::to_string(index);
                if (base == "DEPTH") {
                    depthOutput = name;
                } else if (base == "COLOR" && index < 4) {
                    if (index == 0) hasColor0 = true;
                    spvc_compiler_set_decoration(comp, list[i].id, SpvDecorationLocation,
                                                 static_cast<unsigned>(index));
                } else {
                    log += std::string("error: pixel shader output semantic ") +
                           (sem ? sem : "(none)") + " is not supported\n";
                    return false;
                }
            } else {
                if (base.empty()) {
                    log += "error: a shader input or output has no semantic\n";
                    return false;
                }
                spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationLocation);
                if (input && (base == "VPOS" || base == "VFACE")) pixelBuiltins.push_back(name);
                if (!input && base == "POSITION" && index == 0) positionOutput = name;
                spvc_type type = spvc_compiler_get_type_handle(comp, list[i].type_id);
                NarrowVarying v;
                v.base = base;
                v.index = index;
                v.size = static_cast<int>(spvc_type_get_vector_size(type));
                v.input = input;
                unsigned dims = spvc_type_get_num_array_dimensions(type);
                if (dims == 1) v.elements = static_cast<int>(spvc_type_get_array_dimension(type, 0));
                bool isPosition = base == "POSITION" && !input;
                if (!isPosition && base != "VPOS" && base != "VFACE" &&
                    spvc_type_get_basetype(type) == SPVC_BASETYPE_FP32 &&
                    (v.size < 4 || v.elements > 0) && spvc_type_get_columns(type) == 1 &&
                    dims <= 1 && v.elements <= 16) {
                    narrow.push_back(v);
                    name = v.Own();
                }
                if (!input && base == "COLOR") colorOutputs.push_back(name);
            }
            spvc_compiler_set_name(comp, list[i].id, name.c_str());
        }
    }

    // Globals: one plain uniform struct per block, members renamed by index.
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_UNIFORM_BUFFER, &list,
                                              &count);
    for (size_t b = 0; b < count; ++b) {
        std::string var = std::string(prefix) + "_u" + (b ? std::to_string(b) : "");
        std::string typeName = std::string(prefix) + "_Globals" + (b ? std::to_string(b) : "");
        spvc_type block = spvc_compiler_get_type_handle(comp, list[b].base_type_id);
        unsigned members = spvc_type_get_num_member_types(block);
        // Members the code reads; the struct declares every global of the file.
        const spvc_buffer_range* ranges = nullptr;
        size_t rangeCount = 0;
        bool rangesKnown = spvc_compiler_get_active_buffer_ranges(comp, list[b].id, &ranges,
                                                                 &rangeCount) == SPVC_SUCCESS;
        for (unsigned m = 0; m < members; ++m) {
            HlslUniform u;
            if (rangesKnown) {
                u.used = false;
                for (size_t r = 0; r < rangeCount; ++r) u.used = u.used || ranges[r].index == m;
            }
            const char* hlslName = spvc_compiler_get_member_name(comp, list[b].base_type_id, m);
            u.hlslName = hlslName ? hlslName : "";
            std::string member = "m" + std::to_string(m);
            u.glslName = var + "." + member;
            spvc_type t = spvc_compiler_get_type_handle(comp, spvc_type_get_member_type(block, m));
            u.base = BaseOf(spvc_type_get_basetype(t));
            unsigned columns = spvc_type_get_columns(t), vec = spvc_type_get_vector_size(t);
            // glslang keeps HLSL matrices transposed: an HLSL RxC matrix has R SPIR-V columns.
            if (columns > 1) {
                u.rows = static_cast<int>(columns);
                u.columns = static_cast<int>(vec);
            } else {
                u.rows = 1;
                u.columns = static_cast<int>(vec);
            }
            unsigned dims = spvc_type_get_num_array_dimensions(t);
            if (dims > 1) u.base = HlslBase::Other;
            if (dims == 1) u.elements = static_cast<int>(spvc_type_get_array_dimension(t, 0));
            spvc_compiler_set_member_name(comp, list[b].base_type_id, m, member.c_str());
            out.uniforms.push_back(u);
        }
        spvc_compiler_set_name(comp, list[b].id, var.c_str());
        spvc_compiler_set_name(comp, list[b].base_type_id, typeName.c_str());
    }

    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_SEPARATE_IMAGE, &list,
                                              &count);
    if (count) {
        log += "error: texture objects without a sampler are not supported; use sampler2D "
               "with tex2D\n";
        return false;
    }
    // Samplers the code reads; only these get a sampler register.
    std::vector<spvc_variable_id> activeSamplers;
    {
        spvc_set active = nullptr;
        spvc_resources activeRes = nullptr;
        const spvc_reflected_resource* alist = nullptr;
        size_t acount = 0;
        if (spvc_compiler_get_active_interface_variables(comp, &active) == SPVC_SUCCESS &&
            spvc_compiler_create_shader_resources_for_active_variables(comp, &activeRes, active) ==
                SPVC_SUCCESS &&
            spvc_resources_get_resource_list_for_type(activeRes, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE,
                                                      &alist, &acount) == SPVC_SUCCESS) {
            for (size_t i = 0; i < acount; ++i) activeSamplers.push_back(alist[i].id);
        }
    }
    spvc_resources_get_resource_list_for_type(res, SPVC_RESOURCE_TYPE_SAMPLED_IMAGE, &list,
                                              &count);
    for (size_t i = 0; i < count; ++i) {
        HlslSampler s;
        s.hlslName = list[i].name;
        s.used = false;
        for (spvc_variable_id id : activeSamplers) s.used = s.used || id == list[i].id;
        s.glslName = std::string(prefix) + "_s" + std::to_string(i);
        spvc_compiler_set_name(comp, list[i].id, s.glslName.c_str());
        spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationBinding);
        spvc_compiler_unset_decoration(comp, list[i].id, SpvDecorationDescriptorSet);
        out.samplers.push_back(s);
    }

    const char* glsl = nullptr;
    if (spvc_compiler_compile(comp, &glsl) != SPVC_SUCCESS) {
        log += std::string("error: ") + spvc_context_get_last_error_string(ctx) + "\n";
        return false;
    }
    std::string text = glsl;
    // Pixel stages set their own variables where main begins, vertex stages their outputs
    // where it ends.
    std::string prologue, outputCopies;
    if (!WidenVaryings(narrow, text, prologue, outputCopies)) {
        log += "error: unexpected translator output for a varying\n";
        return false;
    }
    for (const std::string& name : unfedInputs) {
        std::string type;
        int n = 0;
        if (!InputToVariable(text, name, type, n)) {
            log += "error: unexpected translator output for " + name + "\n";
            return false;
        }
        std::string value = type + "(vec4(0.0, 0.0, 0.0, 1.0))";
        if (n > 0) {
            for (int k = 0; k < n; ++k)
                prologue += "    " + name + "[" + std::to_string(k) + "] = " + value + ";\n";
        } else {
            prologue += "    " + name + " = " + value + ";\n";
        }
    }

    // The epilogue runs where main ends: SPIRV-Cross writes main last and without early
    // returns (the HLSL entry is a function of its own).
    std::string epilogue;
    if (stage == ShaderStage::Vertex) {
        // SV_Position outputs are GL's gl_Position already.
        bool builtinPosition = false;
        const spvc_reflected_builtin_resource* builtins = nullptr;
        size_t builtinCount = 0;
        spvc_resources_get_builtin_resource_list_for_type(res, SPVC_BUILTIN_RESOURCE_TYPE_STAGE_OUTPUT,
                                                          &builtins, &builtinCount);
        for (size_t i = 0; i < builtinCount; ++i)
            builtinPosition = builtinPosition || builtins[i].builtin == SpvBuiltInPosition;
        if (positionOutput.empty() && !builtinPosition) {
            log += "error: the vertex shader writes no POSITION\n";
            return false;
        }
        for (const std::string& c : colorOutputs)
            epilogue += "    " + c + " = clamp(" + c + ", 0.0, 1.0);\n";
        epilogue += outputCopies;
        if (!positionOutput.empty()) epilogue += "    gl_Position = " + positionOutput + ";\n";
        epilogue += "    gl_Position.xy += vec2(" + std::string(kHalfPixelUniform) + ".x, -" +
                    kHalfPixelUniform + ".y) * gl_Position.w;\n"
                    "    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;\n"
                    // The device keeps its back buffer top row first, as the fixed-function
                    // programs draw it.
                    "    gl_Position.y = -gl_Position.y;\n";
    } else {
        if (hasColor0)
            // Direct3D's alpha test follows the pixel shader, built in only where defined:
            // compare function 8 passes all.
            epilogue += "#ifdef " + std::string(kAlphaTestDefine) + "\n"
                        "    if (" + kAlphaFuncUniform + " != 8) {\n"
                        "        float a = dx_out_COLOR0.a, r = " + kAlphaRefUniform + ";\n"
                        "        int f = " + kAlphaFuncUniform + ";\n"
                        "        bool keep = f == 2 ? a < r : f == 3 ? a == r : f == 4 ? a <= r :\n"
                        "                    f == 5 ? a > r : f == 6 ? a != r : f == 7 ? a >= r : false;\n"
                        "        if (!keep) discard;\n"
                        "    }\n"
                        "#endif\n";
        if (!depthOutput.empty()) epilogue += "    gl_FragDepth = " + depthOutput + ";\n";
    }
    if (!epilogue.empty()) {
        size_t end = text.rfind('}');
        if (end == std::string::npos) {
            log += "error: unexpected translator output\n";
            return false;
        }
        text.insert(end, epilogue);
    }
    // A DEPTH output becomes a plain variable that the epilogue copies.
    if (!depthOutput.empty()) {
        size_t p = text.find("out float " + depthOutput + ";");
        if (p == std::string::npos) {
            log += "error: unexpected translator output for DEPTH\n";
            return false;
        }
        size_t lineStart = text.rfind('\n', p);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        text.replace(lineStart, p + 4 - lineStart, "");
    }
    // VPOS (the pixel's integer coordinates) and VFACE (positive on front faces) become
    // plain variables set from GL's built-ins where main begins.
    for (const std::string& name : pixelBuiltins) {
        std::string type;
        int n = 0;
        if (!InputToVariable(text, name, type, n) || n > 0) {
            log += "error: unexpected translator output for " + name + "\n";
            return false;
        }
        bool face = name.compare(0, 8, "dx_VFACE") == 0;
        // Pixel rows count from the top whichever way the target's rows are stored.
        std::string value = face ? "(gl_FrontFacing ? 1.0 : -1.0)"
                                 : std::string("floor(vec2(gl_FragCoord.x, ") + kRowFromFragYUniform +
                                       ".x + " + kRowFromFragYUniform + ".y * gl_FragCoord.y))";
        if (type == "float") value = face ? value : "floor(gl_FragCoord.x)";
        else if (type == "vec2") value = face ? "vec2" + value : value;
        else if (type == "vec3") value = face ? "vec3" + value : "vec3(" + value + ", 0.0)";
        else if (type == "vec4") value = face ? "vec4" + value : "vec4(" + value + ", 0.0, 0.0)";
        prologue += "    " + name + " = " + value + ";\n";
    }
    if (!prologue.empty()) {
        size_t body = text.find("void main()\n{\n");
        if (body == std::string::npos) {
            log += "error: unexpected translator output for main\n";
            return false;
        }
        text.insert(body + 14, prologue);
    }
    std::string declarations;
    if (stage == ShaderStage::Vertex)
        declarations = "uniform vec2 " + std::string(kHalfPixelUniform) + ";\n";
    else if (hasColor0)
        declarations = "uniform int " + std::string(kAlphaFuncUniform) + ";\nuniform float " +
                       kAlphaRefUniform + ";\n";
    if (stage == ShaderStage::Pixel) {
        // ddy follows the screen downwards, as the rows of the target may not.
        declarations += "uniform vec2 " + std::string(kRowFromFragYUniform) + ";\n";
        if (text.find("dFdy(") != std::string::npos)
            declarations += "#define dFdy(x) (" + std::string(kRowFromFragYUniform) +
                            ".y * dFdy(x))\n";
    }
    if (!declarations.empty()) {
        // Declared after the #version and extension lines.
        size_t nl = text.find('\n');
        size_t after = nl == std::string::npos ? text.size() : nl + 1;
        // SPIRV-Cross opens with #extension lines and, for loop and branch attributes,
        // #if/#define/#else/#endif blocks: the declarations go after all of them.
        while (after < text.size() && text[after] == '#') {
            size_t n2 = text.find('\n', after);
            after = n2 == std::string::npos ? text.size() : n2 + 1;
        }
        text.insert(after, declarations);
    }
    out.glsl = text;
    return true;
}

}  // namespace

bool ProfileStage(const std::string& profile, ShaderStage& stage) {
    static const char* const kVertex[] = {"vs_1_1", "vs_2_0", "vs_2_a", "vs_2_sw", "vs_3_0"};
    static const char* const kPixel[] = {"ps_1_1", "ps_1_2", "ps_1_3", "ps_1_4", "ps_2_0",
                                         "ps_2_a", "ps_2_b", "ps_2_sw", "ps_3_0"};
    std::string p = profile;
    for (char& c : p) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* v : kVertex)
        if (p == v) { stage = ShaderStage::Vertex; return true; }
    for (const char* v : kPixel)
        if (p == v) { stage = ShaderStage::Pixel; return true; }
    return false;
}

namespace {

bool Compile(const std::string& hlsl, const std::string& fileName, int line,
             const std::string& entry, const std::string& profile,
             const std::string& arguments, HlslStage& out, std::string& log) {
    // Messages that the compiler does not place point at the compile statement.
    const std::string where = line > 0 ? fileName + "(" + std::to_string(line) + ")" : fileName;
    static std::once_flag once;
    std::call_once(once, [] { glslang::InitializeProcess(); });

    out = HlslStage();
    ShaderStage stage;
    if (!ProfileStage(profile, stage)) {
        log += where + ": error: unknown shader profile '" + profile + "'\n";
        return false;
    }
    out.stage = stage;
    EShLanguage lang = stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;

    // Arguments of the compile call give the entry's uniform parameters fixed values.
    EntrySignature sig = FindEntry(hlsl, entry);
    if (!sig.defined) {
        log += where + ": error: '" + entry + "': entrypoint not found\n";
        return false;
    }
    if (sig.unnamedParam) {
        log += where + ": error X3000: '" + entry + "': a parameter of the entry point has no name\n";
        return false;
    }
    std::vector<std::string> uniformParams = sig.UniformNames();
    std::vector<std::string> args = SplitTopLevel(arguments);
    if (args.size() > uniformParams.size()) {
        log += where + ": error: " + entry + " is compiled with " +
               std::to_string(args.size()) + " arguments but has " +
               std::to_string(uniformParams.size()) + " uniform parameters\n";
        return false;
    }
    // Literal arguments become fixed values of the entry's uniforms; any other expression
    // is compiled into a function that calls the entry with it.
    std::vector<std::vector<float>> argValues(args.size());
    bool literals = true;
    for (size_t i = 0; i < args.size(); ++i) literals = literals && ParseArgument(args[i], argValues[i]);
    std::string source = RewriteLegacyHlsl(hlsl);
    BlankEntryPrototypes(source, entry);
    std::string compiledEntry = entry;
    if (!literals) {
        source += BoundEntry(sig, entry, args, fileName, line);
        compiledEntry = kBoundEntry;
        args.clear();
    }

    auto shader = std::make_unique<glslang::TShader>(lang);
    const char* src = source.c_str();
    int len = static_cast<int>(source.size());
    const char* name = fileName.c_str();
    shader->setStringsWithLengthsAndNames(&src, &len, &name, 1);
    shader->setEntryPoint(compiledEntry.c_str());
    shader->setSourceEntryPoint(compiledEntry.c_str());
    shader->setEnvInput(glslang::EShSourceHlsl, lang, glslang::EShClientOpenGL, 100);
    shader->setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader->setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader->setEnvTargetHlslFunctionality1();   // keeps the semantics in the SPIR-V
    shader->setHlslIoMapping(true);
    shader->setAutoMapLocations(true);
    shader->setAutoMapBindings(true);
    shader->setDxPositionW(true);
    EShMessages msgs =
        static_cast<EShMessages>(EShMsgSpvRules | EShMsgReadHlsl | EShMsgHlslDX9Compatible);
    EffectIncluder includer;
    if (!shader->parse(GetDefaultResources(), 100, false, msgs, includer)) {
        log += FormatLog(shader->getInfoLog(), source, fileName, where);
        if (log.empty()) log = where + ": error: " + entry + " does not compile\n";
        return false;
    }
    glslang::TProgram program;
    program.addShader(shader.get());
    if (!program.link(msgs) || !program.getIntermediate(lang)) {
        log += FormatLog(program.getInfoLog(), source, fileName, where);
        if (log.empty()) log = where + ": error: " + entry + " does not link\n";
        return false;
    }
    std::vector<uint32_t> spirv;
    spv::SpvBuildLogger logger;
    glslang::SpvOptions options;
    options.disableOptimizer = false;   // legalises HLSL (samplers passed to functions)
    glslang::GlslangToSpv(*program.getIntermediate(lang), spirv, &logger, &options);
    std::string spvMessages = logger.getAllMessages();
    if (spirv.empty()) {
        log += where + ": error: " + entry + ": " + spvMessages + "\n";
        return false;
    }
    std::string translateLog;
    if (!SpirvToGlsl(spirv, stage, out, translateLog)) {
        log += where + ": " + entry + ": " + translateLog;
        return false;
    }
    // Mark the uniform parameters bound by the compile call.
    for (size_t i = 0; i < args.size(); ++i) {
        for (HlslUniform& u : out.uniforms) {
            if (u.hlslName == uniformParams[i]) {
                u.fixed = true;
                u.fixedValue = argValues[i];
            }
        }
    }
    return true;
}

}  // namespace

bool AssignSamplerRegisters(const core::FxFile& fx, HlslStage& stage, std::string& why) {
    // As the D3D9 compiler does: register(sN) where the declaration gives one, then the
    // lowest free register for each other sampler the code reads, in declaration order.
    auto DeclIndex = [&](const std::string& n) -> int {
        for (size_t i = 0; i < fx.params.size(); ++i)
            if (fx.params[i].name == n) return static_cast<int>(i);
        return static_cast<int>(fx.params.size());
    };
    std::vector<bool> taken(16, false);
    std::vector<std::pair<int, HlslSampler*>> rest;
    for (HlslSampler& s : stage.samplers) {
        if (!s.used) continue;
        int d = DeclIndex(s.hlslName);
        if (d < static_cast<int>(fx.params.size()) && fx.params[static_cast<size_t>(d)].registerKind == 's' &&
            fx.params[static_cast<size_t>(d)].registerIndex >= 0 &&
            fx.params[static_cast<size_t>(d)].registerIndex < 16) {
            s.reg = fx.params[static_cast<size_t>(d)].registerIndex;
            taken[static_cast<size_t>(s.reg)] = true;
        } else {
            rest.emplace_back(d, &s);
        }
    }
    std::stable_sort(rest.begin(), rest.end(),
                     [](const std::pair<int, HlslSampler*>& a, const std::pair<int, HlslSampler*>& b) {
                         return a.first < b.first;
                     });
    for (auto& r : rest) {
        size_t n = 0;
        while (n < taken.size() && taken[n]) ++n;
        if (n == taken.size()) break;
        taken[n] = true;
        r.second->reg = static_cast<int>(n);
    }
    // A sampler without a register of its stage would read nothing: vertex shaders have
    // s0..s3 (device stages 257..260), pixel shaders s0..s15.
    bool vertex = stage.stage == ShaderStage::Vertex;
    std::string over;
    for (const HlslSampler& s : stage.samplers)
        if (s.used && (s.reg < 0 || s.reg >= (vertex ? 4 : 16)))
            over += (over.empty() ? "" : ", ") + s.hlslName;
    if (over.empty()) return true;
    why = "sampler " + over + " has no sampler register (" +
          (vertex ? "vertex shaders have s0..s3" : "pixel shaders have s0..s15") + ")";
    return false;
}


namespace {

// The compile's result crosses from the child process in a pipe: counts and sizes as 32-bit
// words, strings as their length and bytes. Every field of HlslStage is sent.
class Packet {
public:
    void Word(uint32_t v) { bytes_.append(reinterpret_cast<const char*>(&v), sizeof v); }
    void Text(const std::string& t) {
        Word(static_cast<uint32_t>(t.size()));
        bytes_ += t;
    }
    void Floats(const std::vector<float>& v) {
        Word(static_cast<uint32_t>(v.size()));
        bytes_.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(float));
    }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

class Unpacker {
public:
    explicit Unpacker(const std::string& b) : bytes_(b) {}
    bool Word(uint32_t& v) { return Take(&v, sizeof v); }
    bool Int(int& v) {
        uint32_t w;
        if (!Word(w)) return false;
        v = static_cast<int>(w);
        return true;
    }
    bool Flag(bool& v) {
        uint32_t w;
        if (!Word(w)) return false;
        v = w != 0;
        return true;
    }
    bool Text(std::string& t) {
        uint32_t n;
        if (!Word(n) || n > bytes_.size() - at_) return false;
        t.assign(bytes_, at_, n);
        at_ += n;
        return true;
    }
    bool Floats(std::vector<float>& v) {
        uint32_t n;
        if (!Word(n) || n > (bytes_.size() - at_) / sizeof(float)) return false;
        v.resize(n);
        return Take(v.data(), n * sizeof(float));
    }
    bool Count(size_t& n) {   // an element count no larger than the bytes left could hold
        uint32_t w;
        if (!Word(w) || w > bytes_.size() - at_) return false;
        n = w;
        return true;
    }
    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    bool Take(void* to, size_t n) {
        if (n > bytes_.size() - at_) return false;
        if (n) std::memcpy(to, bytes_.data() + at_, n);
        at_ += n;
        return true;
    }
    const std::string& bytes_;
    size_t at_ = 0;
};

std::string PackResult(bool ok, const HlslStage& out, const std::string& log) {
    Packet p;
    p.Word(ok);
    p.Text(log);
    p.Word(out.stage == ShaderStage::Vertex ? 0 : 1);
    p.Text(out.glsl);
    p.Word(static_cast<uint32_t>(out.uniforms.size()));
    for (const HlslUniform& u : out.uniforms) {
        p.Text(u.glslName);
        p.Text(u.hlslName);
        p.Word(static_cast<uint32_t>(u.base));
        p.Word(static_cast<uint32_t>(u.rows));
        p.Word(static_cast<uint32_t>(u.columns));
        p.Word(static_cast<uint32_t>(u.elements));
        p.Word(u.fixed);
        p.Floats(u.fixedValue);
        p.Word(u.used);
    }
    p.Word(static_cast<uint32_t>(out.samplers.size()));
    for (const HlslSampler& s : out.samplers) {
        p.Text(s.glslName);
        p.Text(s.hlslName);
        p.Word(s.used);
        p.Word(static_cast<uint32_t>(s.reg));
    }
    return p.Bytes();
}

bool UnpackResult(const std::string& bytes, bool& ok, HlslStage& out, std::string& log) {
    Unpacker u(bytes);
    uint32_t stage, base;
    size_t n;
    if (!u.Flag(ok) || !u.Text(log) || !u.Word(stage) || !u.Text(out.glsl) || !u.Count(n)) return false;
    out.stage = stage == 0 ? ShaderStage::Vertex : ShaderStage::Pixel;
    out.uniforms.resize(n);
    for (HlslUniform& v : out.uniforms) {
        if (!u.Text(v.glslName) || !u.Text(v.hlslName) || !u.Word(base) || !u.Int(v.rows) ||
            !u.Int(v.columns) || !u.Int(v.elements) || !u.Flag(v.fixed) || !u.Floats(v.fixedValue) ||
            !u.Flag(v.used))
            return false;
        v.base = static_cast<HlslBase>(std::min<uint32_t>(base, static_cast<uint32_t>(HlslBase::Other)));
    }
    if (!u.Count(n)) return false;
    out.samplers.resize(n);
    for (HlslSampler& s : out.samplers)
        if (!u.Text(s.glslName) || !u.Text(s.hlslName) || !u.Flag(s.used) || !u.Int(s.reg)) return false;
    return u.AtEnd();
}

// A compile that has not finished by then is stopped; the largest effects known take well
// under a second.
constexpr int kCompileSeconds = 8;

// glslang and SPIRV-Cross crash on some malformed sources, and a crash there must be a failed
// compile, not the end of the program. They run in a child process, a compile server forked
// on the first compile and kept, so that glslang's tables of built-in functions are built once
// and a compile costs no fork. A server that crashes or overruns is replaced at the next
// compile. Requests and replies are packets on a socket pair: a 32-bit length, then the bytes.
struct CompileServer {
    pid_t pid = -1;
    int socket = -1;
};

std::mutex& ServerMutex() {
    static std::mutex m;
    return m;
}

CompileServer& Server() {
    static CompileServer server;
    return server;
}

bool SendAll(int fd, const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
        ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

bool SendPacket(int fd, const std::string& payload) {
    Packet p;
    p.Word(static_cast<uint32_t>(payload.size()));
    return SendAll(fd, p.Bytes() + payload);
}

// Reads `n` bytes by `deadline` (a CLOCK_MONOTONIC time in ms; -1 waits for ever). `late` tells
// a deadline passed from the peer closing or failing.
bool ReceiveAll(int fd, char* to, size_t n, long long deadline, bool& late) {
    late = false;
    while (n > 0) {
        if (deadline >= 0) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            long long left = deadline - (now.tv_sec * 1000LL + now.tv_nsec / 1000000);
            pollfd pfd{fd, POLLIN, 0};
            int r = left > 0 ? poll(&pfd, 1, static_cast<int>(left)) : 0;
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) late = true;
            if (r <= 0) return false;
        }
        ssize_t got = recv(fd, to, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool ReceivePacket(int fd, std::string& payload, long long deadline, bool& late) {
    uint32_t size = 0;
    if (!ReceiveAll(fd, reinterpret_cast<char*>(&size), sizeof size, deadline, late)) return false;
    payload.resize(size);
    return ReceiveAll(fd, &payload[0], size, deadline, late);
}

// The child: a crash ends it and nothing else. Signals take their default action, output and
// reports go nowhere, so that a fuzzer's or a sanitizer's handler inherited from the parent
// does not take the child's crash for its own, and it keeps no descriptor of the parent's but
// its socket.
[[noreturn]] void Serve(int socket) {
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGPIPE, SIGINT, SIGTERM})
        std::signal(sig, SIG_DFL);
#if MESHES_SANITIZED
    __sanitizer_set_death_callback(nullptr);
#endif
    rlimit noCore{0, 0};   // a crash leaves no core file behind
    setrlimit(RLIMIT_CORE, &noCore);
    int null = open("/dev/null", O_RDWR);
    if (null < 0 || dup2(socket, 3) != 3) _exit(1);
    for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
    if (close_range(4, ~0U, 0) != 0)
        for (int fd = 4; fd < 1024; ++fd) close(fd);
    std::string request, cwd;
    bool late;
    while (ReceivePacket(3, request, -1, late)) {
        Unpacker u(request);
        std::string dir, hlsl, fileName, entry, profile, arguments;
        int line;
        if (!u.Text(dir) || !u.Text(hlsl) || !u.Text(fileName) || !u.Int(line) || !u.Text(entry) ||
            !u.Text(profile) || !u.Text(arguments))
            _exit(1);
        // Includes are found from the parent's working folder.
        if (dir != cwd && chdir(dir.c_str()) == 0) cwd = dir;
        HlslStage stage;
        std::string log;
        bool ok = Compile(hlsl, fileName, line, entry, profile, arguments, stage, log);
        if (!SendPacket(3, PackResult(ok, stage, log))) _exit(1);
    }
    _exit(0);   // the parent closed its end
}

void StopServer(CompileServer& server, int& status) {
    close(server.socket);
    kill(server.pid, SIGKILL);
    while (waitpid(server.pid, &status, 0) < 0 && errno == EINTR) {
    }
    server = CompileServer();
}

// Forks the server from a thread whose stack the nesting limits fit, so that the server's only
// thread has that stack.
bool StartServer(CompileServer& server) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    struct Fork {
        int socket;
        pid_t pid;
    } job{pair[1], -1};
    auto Run = [](void* p) -> void* {
        Fork& f = *static_cast<Fork*>(p);
        f.pid = fork();
        if (f.pid == 0) Serve(f.socket);
        return nullptr;
    };
    pthread_attr_t attr;
    pthread_t thread;
    bool started = pthread_attr_init(&attr) == 0 &&
                   pthread_attr_setstacksize(&attr, kCompileStack) == 0 &&
                   pthread_create(&thread, &attr, Run, &job) == 0;
    pthread_attr_destroy(&attr);
    if (started) pthread_join(thread, nullptr);
    close(pair[1]);
    if (job.pid < 0) {
        close(pair[0]);
        return false;
    }
    server.pid = job.pid;
    server.socket = pair[0];
    return true;
}

// Compile, run by the compile server.
bool CompileInServer(const std::string& hlsl, const std::string& fileName, int line,
                     const std::string& entry, const std::string& profile,
                     const std::string& arguments, HlslStage& out, std::string& log) {
    const std::string where = line > 0 ? fileName + "(" + std::to_string(line) + ")" : fileName;
    out = HlslStage();
    char dir[4096];
    Packet request;
    request.Text(getcwd(dir, sizeof dir) ? dir : ".");
    request.Text(hlsl);
    request.Text(fileName);
    request.Word(static_cast<uint32_t>(line));
    request.Text(entry);
    request.Text(profile);
    request.Text(arguments);

    std::lock_guard<std::mutex> lock(ServerMutex());
    CompileServer& server = Server();
    if (server.pid < 0 && !StartServer(server)) {
        log += where + ": error: no process for the shader compiler\n";
        return false;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long deadline = now.tv_sec * 1000LL + now.tv_nsec / 1000000 + kCompileSeconds * 1000LL;
    std::string reply;
    bool late = false, ok = false;
    std::string own;
    if (SendPacket(server.socket, request.Bytes()) && ReceivePacket(server.socket, reply, deadline, late) &&
        UnpackResult(reply, ok, out, own)) {
        log += own;
        return ok;
    }
    int status = 0;
    StopServer(server, status);
    out = HlslStage();
    if (late)
        log += where + ": error: '" + entry + "': the shader compiler did not finish in " +
               std::to_string(kCompileSeconds) + " s\n";
    else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
        log += where + ": error: '" + entry + "': the shader compiler failed on this source (signal " +
               std::to_string(WTERMSIG(status)) + ")\n";
    else
        log += where + ": error: '" + entry + "': the shader compiler failed on this source\n";
    return false;
}

}  // namespace

bool CompileHlsl(const std::string& hlsl, const std::string& fileName, int line,
                 const std::string& entry, const std::string& profile,
                 const std::string& arguments, HlslStage& out, std::string& log) {
    std::string own;
    bool ok = false;
    std::string deep = NestingError(hlsl, fileName);
    if (!deep.empty()) {
        own = FormatLog(deep, hlsl, fileName, fileName);
    } else {
        ok = CompileInServer(hlsl, fileName, line, entry, profile, arguments, out, own);
    }
    log += core::FxD3dxMessages(own);
    return ok;
}

}  // namespace hlsl
