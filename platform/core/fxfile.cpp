// Effect file reader: tokenises the file once (comments and preprocessor lines skipped), then
// walks the top level: declarations become parameters, functions and structs pass through,
// techniques become FxTechnique records. Effect-only text is blanked in a copy of the input,
// which then is plain HLSL with the same line layout.
#include "platform/core/fxfile.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

namespace core {

namespace {

struct FTok {
    enum Kind { Ident, Number, String, Punct, Asm, End } k = End;
    // Strings without quotes; punctuation as one character; Asm: the text between the braces
    // of `asm { ... }` (the token after the word asm).
    std::string text;
    size_t b = 0, e = 0;  // byte range in the source, quotes and braces included
    int line = 1;
    int bodyLine = 0, bodyColumn = 0;   // Asm: where the text begins
};

bool IsIdStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdChar(char c) { return IsIdStart(c) || IsDigit(c); }

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string LineErr(int line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

bool IsAsmWord(const std::string& w) { return w == "asm" || w == "ASM"; }

// After the word asm at `i`: blanks and comments up to a '{', then the assembly up to its
// '}', skipping its comments (//, ;, /* */), which may hold any character. False when there is
// no block; with `err` set when it is not closed.
bool AsmBody(const std::string& src, size_t& i, int& line, FTok& t, std::string& err) {
    size_t j = i;
    int l = line;
    while (j < src.size()) {
        char c = src[j];
        if (c == '\n') { ++l; ++j; continue; }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') { ++j; continue; }
        if (c == '/' && j + 1 < src.size() && src[j + 1] == '/') {
            while (j < src.size() && src[j] != '\n') ++j;
            continue;
        }
        break;
    }
    if (j >= src.size() || src[j] != '{') return false;
    t.k = FTok::Asm;
    t.b = j;
    t.line = l;
    size_t k = j + 1;
    t.bodyLine = l;
    size_t lineStart = src.rfind('\n', j);
    t.bodyColumn = static_cast<int>(k - (lineStart == std::string::npos ? 0 : lineStart + 1)) + 1;
    while (k < src.size() && src[k] != '}') {
        if (src[k] == '\n') ++l;
        if (src[k] == ';' || (src[k] == '/' && k + 1 < src.size() && src[k + 1] == '/')) {
            while (k < src.size() && src[k] != '\n') ++k;
            continue;
        }
        if (src[k] == '/' && k + 1 < src.size() && src[k + 1] == '*') {
            k += 2;
            while (k + 1 < src.size() && !(src[k] == '*' && src[k + 1] == '/')) {
                if (src[k] == '\n') ++l;
                ++k;
            }
            k += 2;
            continue;
        }
        ++k;
    }
    if (k >= src.size()) {
        err = LineErr(t.line, "asm block not closed before end of file");
        return false;
    }
    t.text = src.substr(j + 1, k - j - 1);
    t.e = k + 1;
    i = k + 1;
    line = l;
    return true;
}
bool Tokenise(const std::string& src, std::vector<FTok>& out, std::string& err) {
    size_t i = 0, n = src.size();
    if (n >= 3 && src.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;  // UTF-8 byte order mark
    int line = 1;
    bool lineStart = true;  // only blanks seen since the last newline
    while (i < n) {
        char c = src[i];
        if (c == '\n') { ++line; ++i; lineStart = true; continue; }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') { ++i; continue; }
        if (c == '/' && i + 1 < n && src[i + 1] == '/') {
            while (i < n && src[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && src[i + 1] == '*') {
            int start = line;
            i += 2;
            while (i + 1 < n && !(src[i] == '*' && src[i + 1] == '/')) { if (src[i] == '\n') ++line; ++i; }
            if (i + 1 >= n) { err = LineErr(start, "comment not closed before end of file"); return false; }
            i += 2;
            continue;
        }
        if (c == '#' && lineStart) {
            // Preprocessor line (with backslash continuations): left to the shader compiler.
            while (i < n && src[i] != '\n') {
                if (src[i] == '\\' && i + 1 < n && src[i + 1] == '\n') { ++line; i += 2; continue; }
                if (src[i] == '\\' && i + 2 < n && src[i + 1] == '\r' && src[i + 2] == '\n') { ++line; i += 3; continue; }
                ++i;
            }
            continue;
        }
        lineStart = false;
        FTok t;
        t.b = i;
        t.line = line;
        if (IsIdStart(c)) {
            while (i < n && IsIdChar(src[i])) ++i;
            t.k = FTok::Ident;
            t.text = src.substr(t.b, i - t.b);
            FTok body;
            std::string asmErr;
            if (IsAsmWord(t.text) && AsmBody(src, i, line, body, asmErr)) {
                t.e = t.b + t.text.size();
                out.push_back(std::move(t));
                out.push_back(std::move(body));
                continue;
            }
            if (!asmErr.empty()) { err = asmErr; return false; }
        } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(src[i + 1]))) {
            while (i < n && (IsIdChar(src[i]) || src[i] == '.' ||
                             ((src[i] == '+' || src[i] == '-') && (src[i - 1] == 'e' || src[i - 1] == 'E') &&
                              !(i >= 2 && (src[i - 2] == 'x' || src[i - 2] == 'X')))))
                ++i;
            t.k = FTok::Number;
            t.text = src.substr(t.b, i - t.b);
        } else if (c == '"' || c == '\'') {
            ++i;
            while (i < n && src[i] != c && src[i] != '\n') {
                if (src[i] == '\\' && i + 1 < n && src[i + 1] != '\n') ++i;
                ++i;
            }
            if (i >= n || src[i] != c) { err = LineErr(line, "string not closed on its line"); return false; }
            t.k = FTok::String;
            t.text = src.substr(t.b + 1, i - t.b - 1);
            ++i;
        } else {
            t.k = FTok::Punct;
            t.text.assign(1, c);
            ++i;
        }
        t.e = i;
        out.push_back(std::move(t));
    }
    FTok end;
    end.b = end.e = n;
    end.line = line;
    out.push_back(end);
    return true;
}

bool ParseNumberText(const std::string& s, float& v) {
    std::string t = s;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        while (!t.empty() && (t.back() == 'u' || t.back() == 'U' || t.back() == 'l' || t.back() == 'L')) t.pop_back();
        unsigned long long u = 0;
        auto r = std::from_chars(t.data() + 2, t.data() + t.size(), u, 16);
        if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return false;
        // HLSL integers are 32 bits: 0x80808080 is the int of those bits, as a colour held
        // in an int parameter is.
        if (u >= 0x80000000ull && u <= 0xFFFFFFFFull)
            v = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(u)));
        else
            v = static_cast<float>(u);
        return true;
    }
    while (!t.empty() && std::strchr("fFhHlLuU", t.back())) t.pop_back();
    if (t.empty()) return false;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

class FxParser {
public:
    FxParser(const std::string& src, const std::vector<FTok>& toks, FxFile& out)
        : src_(src), t_(toks), out_(out) {}

    bool Run(std::string& err) {
        out_.hlsl = src_;
        if (src_.compare(0, 3, "\xEF\xBB\xBF") == 0) Blank(0, 3);
        while (!At(FTok::End)) {
            const FTok& t = t_[i_];
            if (t.k == FTok::Ident) {
                std::string low = Lower(t.text);
                if (t.text == "technique10") {
                    if (!SkipTechnique10(err)) return false;
                    continue;
                }
                if (low == "technique10" || low == "technique11") {
                    err = LineErr(t.line, "'" + t.text + "' is no technique of a Direct3D 9 effect (fx_2_0)");
                    return false;
                }
                if (low == "technique" || low == "technique9") {
                    if (!Technique(err)) return false;
                    continue;
                }
                if (t.text == "struct" || t.text == "cbuffer" || t.text == "tbuffer") {
                    if (!SkipBlockDecl(err)) return false;
                    continue;
                }
                if (t.text == "typedef") {
                    if (!SkipTo(";", err)) return false;
                    ++i_;
                    continue;
                }
                if (!Declaration(err)) return false;
                continue;
            }
            if (IsP(";")) { ++i_; continue; }
            if (IsP("[")) {  // attribute before a function
                if (!SkipBalanced("[", "]", err)) return false;
                continue;
            }
            err = LineErr(t.line, "unexpected '" + t.text + "' at top level");
            return false;
        }
        return true;
    }

private:
    bool At(FTok::Kind k) const { return t_[i_].k == k; }
    bool IsP(const char* p) const { return t_[i_].k == FTok::Punct && t_[i_].text == p; }
    bool IsPAt(size_t j, const char* p) const { return j < t_.size() && t_[j].k == FTok::Punct && t_[j].text == p; }
    int Line() const { return t_[i_].line; }

    void Blank(size_t b, size_t e) {
        for (size_t k = b; k < e && k < out_.hlsl.size(); ++k)
            if (out_.hlsl[k] != '\n' && out_.hlsl[k] != '\r') out_.hlsl[k] = ' ';
    }

    bool Expect(const char* p, const std::string& where, std::string& err) {
        if (!IsP(p)) {
            err = LineErr(Line(), std::string("expected '") + p + "' " + where +
                                      (At(FTok::End) ? " (end of file)" : ", found '" + t_[i_].text + "'"));
            return false;
        }
        ++i_;
        return true;
    }

    // From an opening token to just past its partner; nested pairs of the same kind counted.
    bool SkipBalanced(const char* open, const char* close, std::string& err) {
        int line = Line();
        int depth = 0;
        do {
            if (At(FTok::End)) { err = LineErr(line, std::string("'") + open + "' not closed before end of file"); return false; }
            if (IsP(open)) ++depth;
            else if (IsP(close)) --depth;
            ++i_;
        } while (depth > 0);
        return true;
    }

    // Moves to the next `p` at bracket depth 0 (not past it). An unmatched '}' on the way
    // means the `p` is missing there.
    bool SkipTo(const char* p, std::string& err) {
        int line = Line();
        while (!IsP(p)) {
            if (At(FTok::End)) { err = LineErr(line, std::string("missing '") + p + "' before end of file"); return false; }
            if (IsP("}")) { err = LineErr(Line(), std::string("expected '") + p + "' before '}'"); return false; }
            if (IsP("{")) { if (!SkipBalanced("{", "}", err)) return false; continue; }
            if (IsP("(")) { if (!SkipBalanced("(", ")", err)) return false; continue; }
            ++i_;
        }
        return true;
    }

    bool SkipBlockDecl(std::string& err) {
        if (!SkipTo("{", err)) return false;
        if (!SkipBalanced("{", "}", err)) return false;
        if (!SkipTo(";", err)) return false;
        ++i_;
        return true;
    }

    // Text of tokens [b, e) with single blanks where the source had any space between them.
    std::string Join(size_t b, size_t e) const {
        std::string s;
        for (size_t j = b; j < e; ++j) {
            if (j > b && t_[j].b > t_[j - 1].e) s += ' ';
            if (t_[j].k == FTok::String) s += src_.substr(t_[j].b, t_[j].e - t_[j].b);
            else if (t_[j].k == FTok::Asm) s += "{...}";
            else s += t_[j].text;
        }
        return s;
    }

    // `[n]` with n a number from `low` to 65535; i_ is at '['.
    bool Bracketed(int low, const std::string& what, const char* after, int& out, std::string& err) {
        ++i_;
        float v = 0;
        if (!At(FTok::Number) || !ParseNumberText(t_[i_].text, v) || !(v >= low && v <= 65535)) {
            err = LineErr(Line(), what + " is not a number from " + std::to_string(low) + " to 65535");
            return false;
        }
        out = static_cast<int>(v);
        ++i_;
        return Expect("]", after, err);
    }

    // `< type name = value; ... >`; i_ is at '<'.
    bool Annotations(std::vector<FxAnnotation>& list, std::string& err) {
        size_t start = t_[i_].b;
        ++i_;
        while (!IsP(">")) {
            if (At(FTok::End)) { err = LineErr(Line(), "annotation list not closed before end of file"); return false; }
            FxAnnotation a;
            if (!At(FTok::Ident)) { err = LineErr(Line(), "expected an annotation type, found '" + t_[i_].text + "'"); return false; }
            a.type = t_[i_++].text;
            if (IsP("<")) {  // vector<float, 3> style type
                if (!SkipBalanced("<", ">", err)) return false;
            }
            if (!At(FTok::Ident)) { err = LineErr(Line(), "expected an annotation name"); return false; }
            a.name = t_[i_++].text;
            // An array, `float4 UIMin[2] = {...}`, as effect editors write them.
            if (IsP("[") &&
                !Bracketed(1, "size of annotation '" + a.name + "'", "after annotation size", a.elements, err))
                return false;
            if (!Expect("=", "after annotation '" + a.name + "'", err)) return false;
            size_t vb = i_;
            if (!SkipTo(";", err)) return false;
            if (i_ == vb + 1 && t_[vb].k == FTok::String) a.value = t_[vb].text;
            else a.value = Join(vb, i_);
            ++i_;
            list.push_back(std::move(a));
        }
        Blank(start, t_[i_].e);
        ++i_;
        return true;
    }

    // One state `Name[index] = value;` (or `Name(args);`), inside a pass or sampler_state.
    bool State(std::vector<FxState>& list, std::string& err) {
        FxState s;
        if (!At(FTok::Ident)) { err = LineErr(Line(), "expected a state name, found '" + t_[i_].text + "'"); return false; }
        s.line = Line();
        s.name = t_[i_++].text;
        if (IsP("[") && !Bracketed(0, "state index of '" + s.name + "'", "after state index", s.index, err)) return false;
        if (IsP("(")) {  // function-style state
            size_t vb = i_ + 1;
            if (!SkipBalanced("(", ")", err)) return false;
            s.value = Join(vb, i_ - 1);
        } else {
            if (!Expect("=", "after state '" + s.name + "'", err)) return false;
            size_t vb = i_;
            if (!SkipTo(";", err)) return false;
            if (i_ == vb) { err = LineErr(Line(), "state '" + s.name + "' has no value"); return false; }
            s.value = Join(vb, i_);
            if (i_ == vb + 2 && t_[vb + 1].k == FTok::Asm) {
                s.isAsm = true;
                s.assembly = Assembly(t_[vb + 1]);
            }
            if (t_[vb].k == FTok::Ident && t_[vb].text == "compile") {
                size_t j = vb + 1;
                if (j + 1 >= i_ || t_[j].k != FTok::Ident || t_[j + 1].k != FTok::Ident) {
                    err = LineErr(t_[vb].line, "expected 'compile profile function(...)'");
                    return false;
                }
                s.isCompile = true;
                s.profile = t_[j].text;
                s.entry = t_[j + 1].text;
                if (j + 2 < i_ && IsPAt(j + 2, "(") && IsPAt(i_ - 1, ")")) s.arguments = Join(j + 3, i_ - 1);
                else if (j + 2 != i_) {
                    err = LineErr(t_[vb].line, "bad argument list in compile of '" + s.entry + "'");
                    return false;
                }
            }
        }
        if (!Expect(";", "after state '" + s.name + "'", err)) return false;
        list.push_back(std::move(s));
        return true;
    }

    bool Technique(std::string& err) {
        size_t start = t_[i_].b;
        FxTechnique tech;
        tech.line = Line();
        ++i_;
        if (At(FTok::Ident)) tech.name = t_[i_++].text;
        if (IsP("<") && !Annotations(tech.annotations, err)) return false;
        if (!Expect("{", "to open technique '" + tech.name + "'", err)) return false;
        while (!IsP("}")) {
            if (IsP(";")) { ++i_; continue; }
            if (!At(FTok::Ident) || Lower(t_[i_].text) != "pass") {
                err = LineErr(Line(), At(FTok::End) ? "technique '" + tech.name + "' not closed before end of file"
                                                     : "expected 'pass' in technique '" + tech.name + "', found '" + t_[i_].text + "'");
                return false;
            }
            FxPass pass;
            pass.line = Line();
            ++i_;
            if (At(FTok::Ident)) pass.name = t_[i_++].text;
            if (IsP("<") && !Annotations(pass.annotations, err)) return false;
            if (!Expect("{", "to open pass '" + pass.name + "'", err)) return false;
            while (!IsP("}")) {
                if (At(FTok::End)) { err = LineErr(pass.line, "pass '" + pass.name + "' not closed before end of file"); return false; }
                if (IsP(";")) { ++i_; continue; }
                if (!State(pass.states, err)) return false;
            }
            ++i_;
            tech.passes.push_back(std::move(pass));
        }
        ++i_;
        if (IsP(";")) ++i_;
        Blank(start, t_[i_ - 1].e);
        out_.techniques.push_back(std::move(tech));
        return true;
    }

    // A Direct3D 10 technique. D3DX 9 compiles effects as fx_2_0, which reads technique10
    // blocks and leaves them out of the effect (vkd3d-shader's fx_2_0 writer keeps only
    // technique blocks; its tests record that the native compiler accepts technique10 there
    // and rejects technique11).
    bool SkipTechnique10(std::string& err) {
        size_t start = t_[i_].b;
        int line = Line();
        ++i_;
        if (At(FTok::Ident)) ++i_;
        if (IsP("<") && !SkipBalanced("<", ">", err)) return false;
        if (!IsP("{")) {
            err = LineErr(line, "expected '{' to open technique10" +
                                    (At(FTok::End) ? std::string(" (end of file)") : ", found '" + t_[i_].text + "'"));
            return false;
        }
        if (!SkipBalanced("{", "}", err)) return false;
        if (IsP(";")) ++i_;
        Blank(start, t_[i_ - 1].e);
        return true;
    }

    static bool IsModifier(const std::string& s) {
        static const char* kMods[] = {"uniform", "static", "const", "extern", "shared", "volatile", "row_major",
                                      "column_major", "inline", "precise", "nointerpolation", "groupshared",
                                      "snorm", "unorm", "unsigned"};
        for (const char* m : kMods)
            if (s == m) return true;
        return false;
    }

    // Fills class and shape from the base type name.
    static void Shape(FxParameter& p, const std::string& type, const std::vector<int>& tmplArgs) {
        std::string low = Lower(type);
        static const char* kScalars[] = {"bool", "int", "uint", "dword", "half", "float", "double",
                                         "min16float", "min10float", "min16int", "min12int", "min16uint"};
        if (low == "matrix") {
            p.paramClass = FxClass::Matrix;
            p.rows = tmplArgs.size() >= 3 ? tmplArgs[1] : 4;
            p.columns = tmplArgs.size() >= 3 ? tmplArgs[2] : 4;
            return;
        }
        if (low == "vector") {
            p.paramClass = FxClass::Vector;
            p.columns = tmplArgs.size() >= 2 ? tmplArgs[1] : 4;
            return;
        }
        for (const char* s : kScalars) {
            size_t n = std::strlen(s);
            if (type.compare(0, n, s) != 0) continue;
            std::string rest = type.substr(n);
            if (rest.empty()) { p.paramClass = FxClass::Scalar; return; }
            if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
                p.paramClass = FxClass::Vector;
                p.columns = rest[0] - '0';
                return;
            }
            if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' && rest[2] <= '4') {
                p.paramClass = FxClass::Matrix;
                p.rows = rest[0] - '0';
                p.columns = rest[2] - '0';
                return;
            }
        }
        if (low.compare(0, 7, "texture") == 0 || low.compare(0, 7, "sampler") == 0 || low == "string" ||
            low == "vertexshader" || low == "pixelshader") {
            p.paramClass = FxClass::Object;
            return;
        }
        p.paramClass = FxClass::Struct;
    }

    // Types that exist only for the effect framework and are taken out of the HLSL.
    static bool EffectOnlyType(const std::string& type) {
        std::string low = Lower(type);
        if (low == "string" || low == "texture" || low == "vertexshader" || low == "pixelshader") return true;
        return type == "texture1D" || type == "texture2D" || type == "texture3D" || type == "textureCUBE" ||
               type == "texture1d" || type == "texture2d" || type == "texture3d" || type == "textureCube";
    }

    bool Declaration(std::string& err) {
        size_t declStart = i_;
        bool isStatic = false, isConst = false, rowMajor = false;
        while (At(FTok::Ident) && IsModifier(t_[i_].text)) {
            if (t_[i_].text == "static") isStatic = true;
            if (t_[i_].text == "const") isConst = true;
            if (t_[i_].text == "row_major") rowMajor = true;
            if (t_[i_].text == "shared") Blank(t_[i_].b, t_[i_].e);  // effect pools only
            ++i_;
        }
        if (!At(FTok::Ident)) {
            err = LineErr(Line(), "expected a type, found '" + t_[i_].text + "'");
            return false;
        }
        std::string type = t_[i_++].text;
        std::vector<int> tmplArgs;
        if (IsP("<") && (type == "matrix" || type == "vector" || type.compare(0, 7, "Texture") == 0 ||
                         type.find("Buffer") != std::string::npos)) {
            size_t b = i_;
            if (!SkipBalanced("<", ">", err)) return false;
            for (size_t j = b; j < i_; ++j) {
                float v;
                if (t_[j].k == FTok::Number && ParseNumberText(t_[j].text, v)) tmplArgs.push_back(v >= 1 && v <= 4 ? static_cast<int>(v) : 0);
                else if (t_[j].k == FTok::Ident) tmplArgs.push_back(0);
            }
            for (int& a : tmplArgs)
                if (a < 1 || a > 4) a = 4;
        }
        if (!At(FTok::Ident)) {
            err = LineErr(Line(), "expected a name after '" + type + "', found '" + t_[i_].text + "'");
            return false;
        }
        // Function definition or prototype: left as it is.
        if (IsPAt(i_ + 1, "(")) {
            ++i_;
            if (!SkipBalanced("(", ")", err)) return false;
            while (!IsP("{") && !IsP(";")) {
                if (At(FTok::End)) { err = LineErr(Line(), "function without a body before end of file"); return false; }
                ++i_;
            }
            if (IsP(";")) { ++i_; return true; }
            return SkipBalanced("{", "}", err);
        }
        const bool effectOnly = EffectOnlyType(type);
        for (;;) {
            FxParameter p;
            p.type = type;
            p.rowMajor = rowMajor;
            p.line = Line();
            Shape(p, type, tmplArgs);
            if (!At(FTok::Ident)) { err = LineErr(Line(), "expected a variable name after '" + type + "'"); return false; }
            p.name = t_[i_++].text;
            int dims = 0;
            while (IsP("[")) {
                ++i_;
                ++dims;
                size_t sb = i_;
                if (!SkipTo("]", err)) return false;
                // The size: a number or constant arithmetic (macros expand to it).
                size_t j = sb;
                float v = 0;
                if (p.elements == 0 && sb < i_ && Arith(j, i_, v, 0) && j == i_) {
                    if (!(v >= 1 && v <= 1e6f) || v != static_cast<float>(static_cast<int>(v))) {
                        err = LineErr(Line(), "array size of '" + p.name + "' out of range");
                        return false;
                    }
                    p.elements = static_cast<int>(v);
                }
                ++i_;
            }
            while (IsP(":")) {
                ++i_;
                if (!At(FTok::Ident)) { err = LineErr(Line(), "expected a semantic after ':'"); return false; }
                std::string sem = t_[i_++].text;
                if (IsP("(")) {  // register(c0), packoffset(c1)
                    size_t b = i_;
                    if (!SkipBalanced("(", ")", err)) return false;
                    if (sem == "register") Register(p, b, i_);
                } else if (p.semantic.empty()) {
                    p.semantic = sem;
                }
            }
            if (IsP("<") && !Annotations(p.annotations, err)) return false;
            if (IsP("=")) {
                size_t eqTok = i_;
                ++i_;
                p.hasInitializer = true;
                if (At(FTok::Ident) && Lower(t_[i_].text) == "sampler_state") {
                    ++i_;
                    if (!IsP("{")) { err = LineErr(Line(), "expected '{' after '" + t_[i_ - 1].text + "'"); return false; }
                    if (!StateBlock(p, "sampler_state", err)) return false;
                    Blank(t_[eqTok].b, t_[i_ - 1].e);
                } else if (At(FTok::Ident) && IsAsmWord(t_[i_].text)) {
                    if (t_[i_ + 1].k != FTok::Asm) { err = LineErr(Line(), "expected '{' after 'asm'"); return false; }
                    p.asmBlocks.push_back(Assembly(t_[i_ + 1]));
                    p.initializerText = "asm {...}";
                    i_ += 2;
                    Blank(t_[eqTok].b, t_[i_ - 1].e);
                } else {
                    size_t vb = i_;
                    while (!IsP(",") && !IsP(";")) {
                        if (At(FTok::End)) { err = LineErr(p.line, "declaration of '" + p.name + "' not ended with ';'"); return false; }
                        if (IsP("{")) { if (!SkipBalanced("{", "}", err)) return false; continue; }
                        if (IsP("(")) { if (!SkipBalanced("(", ")", err)) return false; continue; }
                        ++i_;
                    }
                    if (i_ == vb) { err = LineErr(p.line, "'" + p.name + "' has an empty initialiser"); return false; }
                    for (size_t j = vb; j < i_; ++j)
                        if (t_[j].k == FTok::Asm) p.asmBlocks.push_back(Assembly(t_[j]));
                    // An array's initialiser gives every number of every element.
                    size_t want = static_cast<size_t>(p.rows * p.columns * p.elements);
                    if (Initial(p, vb, i_) && p.elements > 0 && dims == 1 && p.paramClass != FxClass::Object &&
                        p.paramClass != FxClass::Struct && p.initialValue.size() != want) {
                        err = LineErr(p.line, "cannot implicitly convert from " +
                                                  std::to_string(p.initialValue.size()) +
                                                  " initial values to '" + type + "[" +
                                                  std::to_string(p.elements) + "]' ('" + p.name + "')");
                        return false;
                    }
                }
            } else if (IsP("{")) {
                // State-object block (`SamplerState s { ... };`): effect syntax only.
                size_t b = t_[i_].b;
                if (!StateBlock(p, "state block", err)) return false;
                Blank(b, t_[i_ - 1].e);
            }
            // A static const number can size the arrays declared after it.
            if (isStatic && isConst && p.paramClass == FxClass::Scalar && !p.elements && p.initialValue.size() == 1)
                constants_[p.name] = p.initialValue[0];
            if (!isStatic) out_.params.push_back(std::move(p));
            if (IsP(",")) { ++i_; continue; }
            if (IsP(";")) { ++i_; break; }
            err = LineErr(Line(), At(FTok::End) ? "declaration not ended with ';' before end of file"
                                                : "expected ';' after declaration, found '" + t_[i_].text + "'");
            return false;
        }
        if (effectOnly) Blank(t_[declStart].b, t_[i_ - 1].e);
        return true;
    }

    // The last `letter digits` word of a register(...) list: register(ps_2_0, s1) names s1.
    void Register(FxParameter& p, size_t b, size_t e) const {
        for (size_t j = b; j < e; ++j) {
            const std::string& w = t_[j].text;
            if (t_[j].k != FTok::Ident || w.size() < 2 || w.size() > 4) continue;
            char k = static_cast<char>(w[0] | 0x20);
            bool digits = true;
            for (size_t c = 1; c < w.size(); ++c) digits = digits && IsDigit(w[c]);
            if (!digits || (k != 's' && k != 'c' && k != 'b' && k != 'i')) continue;
            p.registerKind = k;
            p.registerIndex = std::atoi(w.c_str() + 1);
        }
    }

    // `{ Name = value; ... }` at i_ into the sampler's states; `what` names it in messages.
    bool StateBlock(FxParameter& p, const char* what, std::string& err) {
        ++i_;
        while (!IsP("}")) {
            if (At(FTok::End)) { err = LineErr(p.line, std::string(what) + " of '" + p.name + "' not closed"); return false; }
            if (IsP(";")) { ++i_; continue; }
            if (!State(p.samplerStates, err)) return false;
        }
        ++i_;
        for (const FxState& s : p.samplerStates)
            if (Lower(s.name) == "texture") p.textureName = TextureRef(s.value);
        return true;
    }

    static FxAsm Assembly(const FTok& t) {
        FxAsm a;
        a.text = t.text;
        a.line = t.bodyLine;
        a.column = t.bodyColumn;
        return a;
    }

    static std::string TextureRef(const std::string& v) {
        std::string s;
        for (char c : v)
            if (c != '<' && c != '>' && c != '(' && c != ')' && c != ' ') s += c;
        return s;
    }

    // Arithmetic of one initialiser element: numbers, true/false, + - * / and parentheses.
    // `nest` counts the parentheses and signs around it: deeper than kMaxArithNesting is no
    // constant (the shader compiler then refuses it) rather than a stack overflow.
    static constexpr int kMaxArithNesting = 256;
    bool Arith(size_t& j, size_t e, float& v, int level, int nest = 0) const {
        if (nest > kMaxArithNesting) return false;
        if (level == 0) {   // sums
            if (!Arith(j, e, v, 1, nest)) return false;
            while (j < e && (IsPAt(j, "+") || IsPAt(j, "-"))) {
                bool plus = IsPAt(j++, "+");
                float r;
                if (!Arith(j, e, r, 1, nest)) return false;
                v = plus ? v + r : v - r;
            }
            return true;
        }
        if (level == 1) {   // products
            if (!Arith(j, e, v, 2, nest)) return false;
            while (j < e && (IsPAt(j, "*") || IsPAt(j, "/"))) {
                bool times = IsPAt(j++, "*");
                float r;
                if (!Arith(j, e, r, 2, nest)) return false;
                v = times ? v * r : v / r;
            }
            return true;
        }
        if (j >= e) return false;
        if (IsPAt(j, "-") || IsPAt(j, "+")) {
            bool minus = IsPAt(j++, "-");
            if (!Arith(j, e, v, 2, nest + 1)) return false;
            if (minus) v = -v;
            return true;
        }
        if (IsPAt(j, "(")) {
            ++j;
            if (!Arith(j, e, v, 0, nest + 1) || j >= e || !IsPAt(j, ")")) return false;
            ++j;
            return true;
        }
        const FTok& t = t_[j++];
        if (t.k == FTok::Number) return ParseNumberText(t.text, v);
        if (t.k == FTok::Ident && (Lower(t.text) == "true" || Lower(t.text) == "false")) {
            v = Lower(t.text) == "true" ? 1.0f : 0.0f;
            return true;
        }
        auto constant = t.k == FTok::Ident ? constants_.find(t.text) : constants_.end();
        if (constant != constants_.end()) {
            v = constant->second;
            return true;
        }
        return false;
    }

    // The initialiser's values in order: braces and constructors (float4(...)) group, the
    // elements between commas are evaluated. False when an element is not constant arithmetic.
    bool Values(size_t b, size_t e, std::vector<float>& out) const {
        size_t j = b;
        while (j < e) {
            if (IsPAt(j, "{") || IsPAt(j, "}") || IsPAt(j, ",") || IsPAt(j, ")")) { ++j; continue; }
            if (t_[j].k == FTok::Ident && IsPAt(j + 1, "(") && Lower(t_[j].text) != "true" &&
                Lower(t_[j].text) != "false") {
                j += 2;   // a type constructor
                continue;
            }
            float v;
            if (!Arith(j, e, v, 0)) return false;
            if (j < e && !IsPAt(j, ",") && !IsPAt(j, "}") && !IsPAt(j, ")")) return false;
            out.push_back(v);
        }
        return true;
    }

    // True when every value of the initialiser is constant arithmetic.
    bool Initial(FxParameter& p, size_t b, size_t e) {
        if (e == b + 1 && t_[b].k == FTok::String) p.initializerText = t_[b].text;
        else p.initializerText = Join(b, e);
        if (Values(b, e, p.initialValue)) return true;
        p.initialValue.clear();
        for (size_t j = b; j < e; ++j) {
            const FTok& t = t_[j];
            if (t.k == FTok::Number) {
                float v;
                if (!ParseNumberText(t.text, v)) continue;
                if (j > b && IsPAt(j - 1, "-")) v = -v;
                p.initialValue.push_back(v);
            } else if (t.k == FTok::Ident) {
                std::string low = Lower(t.text);
                if (low == "true") p.initialValue.push_back(1);
                else if (low == "false") p.initialValue.push_back(0);
            }
        }
        return false;
    }

    const std::string& src_;
    const std::vector<FTok>& t_;
    FxFile& out_;
    std::map<std::string, float> constants_;   // static const numbers declared so far
    size_t i_ = 0;
};

}  // namespace

bool ParseFx(const std::string& text, FxFile& out, std::string& err) {
    out = FxFile();
    std::vector<FTok> toks;
    if (!Tokenise(text, toks, err)) return false;
    FxParser p(text, toks, out);
    if (!p.Run(err)) {
        out = FxFile();
        return false;
    }
    return true;
}

namespace {

std::string TrimText(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// "compile vs_2_0 f(1, 2)" into a compile state.
bool CompileText(const std::string& text, FxState& out) {
    std::string t = TrimText(text);
    if (t.compare(0, 8, "compile ") != 0) return false;
    size_t p = 8;
    auto Word = [&](std::string& w) {
        while (p < t.size() && t[p] == ' ') ++p;
        size_t b = p;
        while (p < t.size() && IsIdChar(t[p])) ++p;
        w = t.substr(b, p - b);
        return !w.empty();
    };
    if (!Word(out.profile) || !Word(out.entry)) return false;
    std::string rest = TrimText(t.substr(p));
    if (!rest.empty()) {
        if (rest.front() != '(' || rest.back() != ')') return false;
        out.arguments = TrimText(rest.substr(1, rest.size() - 2));
    }
    out.isCompile = true;
    out.value = t;
    return true;
}

}  // namespace

bool ResolveShaderState(const FxFile& fx, const FxState& s, FxState& out, std::string& err) {
    out = s;
    if (s.isCompile || s.isAsm) return true;
    std::string v = TrimText(s.value);
    if (v.size() >= 2 && ((v.front() == '(' && v.back() == ')') || (v.front() == '<' && v.back() == '>')))
        v = TrimText(v.substr(1, v.size() - 2));
    std::string name = v, index;
    size_t open = v.find('[');
    if (open != std::string::npos) {
        if (v.back() != ']') { err = "bad shader array index in '" + s.value + "'"; return false; }
        name = TrimText(v.substr(0, open));
        index = TrimText(v.substr(open + 1, v.size() - open - 2));
    }
    const FxParameter* var = nullptr;
    for (const FxParameter& p : fx.params)
        if (p.name == name) var = &p;
    std::string type = var ? Lower(var->type) : std::string();
    if (!var || (type != "vertexshader" && type != "pixelshader")) {
        err = s.name + " = " + s.value + " names no shader variable";
        return false;
    }
    // The elements of the initialiser, split at top-level commas.
    std::string init = TrimText(var->initializerText);
    if (!init.empty() && init.front() == '{' && init.back() == '}') init = init.substr(1, init.size() - 2);
    std::vector<std::string> items;
    int depth = 0;
    std::string cur;
    for (char c : init) {
        if (c == '(' || c == '{') ++depth;
        if (c == ')' || c == '}') --depth;
        if (c == ',' && depth == 0) { items.push_back(cur); cur.clear(); continue; }
        cur += c;
    }
    if (!TrimText(cur).empty()) items.push_back(cur);
    size_t at = 0;
    if (!index.empty()) {
        float f = 0;
        bool found = ParseNumberText(index, f);
        for (const FxParameter& p : fx.params)
            if (!found && p.name == index && p.paramClass == FxClass::Scalar) {
                f = p.initialValue.empty() ? 0.0f : p.initialValue[0];
                found = true;
            }
        if (!found || f < 0) { err = "shader index '" + index + "' is no number or int parameter"; return false; }
        at = static_cast<size_t>(f);
    }
    if (at >= items.size()) {
        err = "shader variable " + name + " has no element " + std::to_string(at);
        return false;
    }
    std::string item = TrimText(items[at]);
    if (Lower(item) == "null") {
        out.value = "NULL";
        return true;
    }
    if (item == "asm {...}" || item == "ASM {...}") {
        // The how-manyth asm block of the initialiser it is.
        size_t k = 0;
        for (size_t j = 0; j < at; ++j) {
            std::string before = TrimText(items[j]);
            if (before == "asm {...}" || before == "ASM {...}") ++k;
        }
        if (k >= var->asmBlocks.size()) {
            err = "shader variable " + name + " has no asm block " + std::to_string(k);
            return false;
        }
        out.isAsm = true;
        out.assembly = var->asmBlocks[k];
        out.value = item;
        return true;
    }
    if (!CompileText(item, out)) {
        err = "shader variable " + name + " does not hold 'compile <profile> <entry>(...)' or 'asm { ... }'";
        return false;
    }
    return true;
}

}  // namespace core
