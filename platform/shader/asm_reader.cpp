#include "platform/shader/asm_reader.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace hlsl {

std::string AsmProgram::Profile() const {
    return std::string(stage == ShaderStage::Vertex ? "vs_" : "ps_") + std::to_string(major) + "_" +
           (major == 2 && minor == 1 ? std::string("x") : std::to_string(minor));
}

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct Tok {
    enum Kind { Word, Number, Punct, End } kind = End;
    std::string text;
    int line = 0, column = 0;
};

// Splits the text into words, numbers and punctuation; comments and # lines are skipped.
bool Tokenise(const std::string& s, int line, int column, std::vector<Tok>& out, AsmError& err) {
    size_t i = 0, n = s.size();
    size_t lineStart = 0;   // index of the first character of the current line
    int firstColumn = column;
    auto Col = [&](size_t at) {
        return static_cast<int>(at - lineStart) + (lineStart == 0 ? firstColumn : 1);
    };
    bool atLineStart = true;
    while (i < n) {
        char c = s[i];
        if (c == '\n') {
            ++line;
            lineStart = ++i;
            firstColumn = 1;
            atLineStart = true;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') { ++i; continue; }
        if ((c == '/' && i + 1 < n && s[i + 1] == '/') || c == ';' || (c == '#' && atLineStart)) {
            while (i < n && s[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            i += 2;
            while (i + 1 < n && !(s[i] == '*' && s[i + 1] == '/')) {
                if (s[i] == '\n') { ++line; lineStart = i + 1; firstColumn = 1; }
                ++i;
            }
            i = i + 1 < n ? i + 2 : n;
            continue;
        }
        atLineStart = false;
        Tok t;
        t.line = line;
        t.column = Col(i);
        size_t b = i;
        if (IsWordStart(c)) {
            while (i < n && IsWordChar(s[i])) ++i;
            t.kind = Tok::Word;
            t.text = s.substr(b, i - b);
            // The version written with dots: ps.1.4, vs.2.x.
            std::string low = Lower(t.text);
            if ((low == "vs" || low == "ps") && i + 3 < n + 0 && s[i] == '.' && IsDigit(s[i + 1]) &&
                s[i + 2] == '.' && (IsDigit(s[i + 3]) || s[i + 3] == 'x' || s[i + 3] == 'X') &&
                (i + 4 >= n || !IsWordChar(s[i + 4]))) {
                t.text = low + "_" + s[i + 1] + "_" + static_cast<char>(std::tolower(s[i + 3]));
                i += 4;
            }
        } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(s[i + 1]))) {
            while (i < n && (IsDigit(s[i]) || s[i] == '.')) ++i;
            if (i < n && (s[i] == 'e' || s[i] == 'E')) {
                size_t e = i + 1;
                if (e < n && (s[e] == '+' || s[e] == '-')) ++e;
                if (e < n && IsDigit(s[e])) {
                    i = e;
                    while (i < n && IsDigit(s[i])) ++i;
                }
            }
            if (i < n && (s[i] == 'f' || s[i] == 'F')) ++i;
            t.kind = Tok::Number;
            t.text = s.substr(b, i - b);
        } else if (std::strchr(",.[]+-()!", c)) {
            t.kind = Tok::Punct;
            t.text.assign(1, c);
            ++i;
        } else {
            err.line = line;
            err.column = t.column;
            err.text = std::string("unexpected character '") + c + "'";
            return false;
        }
        out.push_back(std::move(t));
    }
    Tok end;
    end.line = line;
    end.column = Col(n);
    out.push_back(end);
    return true;
}

// What an opcode is and where it exists. Versions as AsmProgram::Version(); 0 where the
// stage lacks it.
struct OpInfo {
    const char* name;
    AsmOp op;
    bool dest;
    int minSrc, maxSrc;
    int vsFrom, vsTo, psFrom, psTo;
};

const OpInfo kOps[] = {
    {"nop", AsmOp::Nop, false, 0, 0, 11, 30, 11, 30},
    {"mov", AsmOp::Mov, true, 1, 1, 11, 30, 11, 30},
    {"add", AsmOp::Add, true, 2, 2, 11, 30, 11, 30},
    {"sub", AsmOp::Sub, true, 2, 2, 11, 30, 11, 30},
    {"mad", AsmOp::Mad, true, 3, 3, 11, 30, 11, 30},
    {"mul", AsmOp::Mul, true, 2, 2, 11, 30, 11, 30},
    {"rcp", AsmOp::Rcp, true, 1, 1, 11, 30, 20, 30},
    {"rsq", AsmOp::Rsq, true, 1, 1, 11, 30, 20, 30},
    {"dp3", AsmOp::Dp3, true, 2, 2, 11, 30, 11, 30},
    {"dp4", AsmOp::Dp4, true, 2, 2, 11, 30, 12, 30},
    {"min", AsmOp::Min, true, 2, 2, 11, 30, 20, 30},
    {"max", AsmOp::Max, true, 2, 2, 11, 30, 20, 30},
    {"slt", AsmOp::Slt, true, 2, 2, 11, 30, 0, 0},
    {"sge", AsmOp::Sge, true, 2, 2, 11, 30, 0, 0},
    {"abs", AsmOp::Abs, true, 1, 1, 20, 30, 20, 30},
    {"exp", AsmOp::Exp, true, 1, 1, 11, 30, 20, 30},
    {"log", AsmOp::Log, true, 1, 1, 11, 30, 20, 30},
    {"expp", AsmOp::Expp, true, 1, 1, 11, 30, 0, 0},
    {"logp", AsmOp::Logp, true, 1, 1, 11, 30, 0, 0},
    {"dst", AsmOp::Dst, true, 2, 2, 11, 30, 0, 0},
    {"lit", AsmOp::Lit, true, 1, 1, 11, 30, 0, 0},
    {"lrp", AsmOp::Lrp, true, 3, 3, 20, 30, 11, 30},
    {"frc", AsmOp::Frc, true, 1, 1, 11, 30, 20, 30},
    {"pow", AsmOp::Pow, true, 2, 2, 20, 30, 20, 30},
    {"crs", AsmOp::Crs, true, 2, 2, 20, 30, 20, 30},
    {"sgn", AsmOp::Sgn, true, 1, 3, 20, 30, 0, 0},
    {"nrm", AsmOp::Nrm, true, 1, 1, 20, 30, 20, 30},
    {"sincos", AsmOp::SinCos, true, 1, 3, 20, 30, 20, 30},
    {"m4x4", AsmOp::M4x4, true, 2, 2, 11, 30, 20, 30},
    {"m4x3", AsmOp::M4x3, true, 2, 2, 11, 30, 20, 30},
    {"m3x4", AsmOp::M3x4, true, 2, 2, 11, 30, 20, 30},
    {"m3x3", AsmOp::M3x3, true, 2, 2, 11, 30, 20, 30},
    {"m3x2", AsmOp::M3x2, true, 2, 2, 11, 30, 20, 30},
    {"mova", AsmOp::Mova, true, 1, 1, 20, 30, 0, 0},
    {"cnd", AsmOp::Cnd, true, 3, 3, 0, 0, 11, 14},
    {"cmp", AsmOp::Cmp, true, 3, 3, 0, 0, 12, 30},
    {"dp2add", AsmOp::Dp2Add, true, 3, 3, 0, 0, 20, 30},
    {"bem", AsmOp::Bem, true, 2, 2, 0, 0, 14, 14},
    {"dsx", AsmOp::Dsx, true, 1, 1, 0, 0, 21, 30},
    {"dsy", AsmOp::Dsy, true, 1, 1, 0, 0, 21, 30},
    {"tex", AsmOp::Tex, true, 0, 0, 0, 0, 11, 13},
    {"texld", AsmOp::Tex, true, 1, 2, 0, 0, 14, 30},
    {"texldp", AsmOp::TexLdp, true, 2, 2, 0, 0, 20, 30},
    {"texldb", AsmOp::TexLdb, true, 2, 2, 0, 0, 20, 30},
    {"texldl", AsmOp::TexLdl, true, 2, 2, 30, 30, 30, 30},
    {"texldd", AsmOp::TexLdd, true, 4, 4, 0, 0, 21, 30},
    {"texcoord", AsmOp::TexCoord, true, 0, 0, 0, 0, 11, 13},
    {"texcrd", AsmOp::TexCoord, true, 1, 1, 0, 0, 14, 14},
    {"texkill", AsmOp::TexKill, true, 0, 0, 0, 0, 11, 30},
    {"texbem", AsmOp::TexBem, true, 1, 1, 0, 0, 11, 13},
    {"texbeml", AsmOp::TexBeml, true, 1, 1, 0, 0, 11, 13},
    {"texreg2ar", AsmOp::TexReg2Ar, true, 1, 1, 0, 0, 11, 13},
    {"texreg2gb", AsmOp::TexReg2Gb, true, 1, 1, 0, 0, 11, 13},
    {"texreg2rgb", AsmOp::TexReg2Rgb, true, 1, 1, 0, 0, 12, 13},
    {"texm3x2pad", AsmOp::TexM3x2Pad, true, 1, 1, 0, 0, 11, 13},
    {"texm3x2tex", AsmOp::TexM3x2Tex, true, 1, 1, 0, 0, 11, 13},
    {"texm3x2depth", AsmOp::TexM3x2Depth, true, 1, 1, 0, 0, 13, 13},
    {"texm3x3pad", AsmOp::TexM3x3Pad, true, 1, 1, 0, 0, 11, 13},
    {"texm3x3tex", AsmOp::TexM3x3Tex, true, 1, 1, 0, 0, 11, 13},
    {"texm3x3spec", AsmOp::TexM3x3Spec, true, 2, 2, 0, 0, 11, 13},
    {"texm3x3vspec", AsmOp::TexM3x3VSpec, true, 1, 1, 0, 0, 11, 13},
    {"texm3x3", AsmOp::TexM3x3, true, 1, 1, 0, 0, 12, 13},
    {"texdp3", AsmOp::TexDp3, true, 1, 1, 0, 0, 12, 13},
    {"texdp3tex", AsmOp::TexDp3Tex, true, 1, 1, 0, 0, 12, 13},
    {"texdepth", AsmOp::TexDepth, true, 0, 0, 0, 0, 14, 14},
    {"phase", AsmOp::Phase, false, 0, 0, 0, 0, 14, 14},
    {"dcl", AsmOp::Dcl, true, 0, 0, 11, 30, 20, 30},
    {"def", AsmOp::Def, true, 0, 0, 11, 30, 11, 30},
    {"defi", AsmOp::DefI, true, 0, 0, 20, 30, 21, 30},
    {"defb", AsmOp::DefB, true, 0, 0, 20, 30, 21, 30},
    {"if", AsmOp::If, false, 1, 1, 20, 30, 21, 30},
    {"else", AsmOp::Else, false, 0, 0, 20, 30, 21, 30},
    {"endif", AsmOp::EndIf, false, 0, 0, 20, 30, 21, 30},
    {"loop", AsmOp::Loop, false, 2, 2, 20, 30, 30, 30},
    {"endloop", AsmOp::EndLoop, false, 0, 0, 20, 30, 30, 30},
    {"rep", AsmOp::Rep, false, 1, 1, 20, 30, 21, 30},
    {"endrep", AsmOp::EndRep, false, 0, 0, 20, 30, 21, 30},
    {"break", AsmOp::Break, false, 0, 0, 21, 30, 21, 30},
    {"breakp", AsmOp::BreakP, false, 1, 1, 21, 30, 21, 30},
    {"call", AsmOp::Call, false, 1, 1, 20, 30, 21, 30},
    {"callnz", AsmOp::CallNz, false, 2, 2, 20, 30, 21, 30},
    {"label", AsmOp::Label, false, 1, 1, 20, 30, 21, 30},
    {"ret", AsmOp::Ret, false, 0, 0, 20, 30, 21, 30},
    {"setp", AsmOp::SetP, true, 2, 2, 21, 30, 21, 30},
};

// How many registers of a kind a version has (0: none) and whether they may be written.
struct FileLimit {
    int count;
    bool read, write;
};

FileLimit Limit(AsmFile f, ShaderStage stage, int v) {
    const bool vs = stage == ShaderStage::Vertex;
    const bool ps1 = !vs && v < 20;
    switch (f) {
        case AsmFile::Temp:
            if (vs) return {v >= 21 ? 32 : 12, true, true};
            return {v <= 13 ? 2 : v == 14 ? 6 : v == 20 ? 12 : 32, true, true};
        case AsmFile::Input:
            if (vs) return {16, true, false};
            return {v >= 30 ? 10 : 2, true, false};
        case AsmFile::Const:
            if (vs) return {256, true, false};
            return {ps1 ? 8 : v < 30 ? 32 : 224, true, false};
        case AsmFile::ConstInt:
        case AsmFile::ConstBool:
            return {(vs && v >= 20) || (!vs && v >= 21) ? 16 : 0, true, false};
        case AsmFile::Texture:
            if (vs) return {0, false, false};
            if (v <= 13) return {4, true, true};
            return {v == 14 ? 6 : v < 30 ? 8 : 0, true, false};
        case AsmFile::Sampler:
            return {vs ? (v >= 30 ? 4 : 0) : (v >= 20 ? 16 : 0), true, false};
        case AsmFile::Address: return {vs ? 1 : 0, true, true};
        case AsmFile::Loop: return {(vs && v >= 20) || (!vs && v >= 30) ? 1 : 0, true, false};
        case AsmFile::Predicate: return {v >= 21 ? 1 : 0, true, true};
        case AsmFile::Label: return {(vs && v >= 20) || (!vs && v >= 21) ? 2048 : 0, true, false};
        case AsmFile::Position:
        case AsmFile::Fog:
        case AsmFile::PointSize: return {vs && v < 30 ? 1 : 0, false, true};
        case AsmFile::ColorOut: return {vs && v < 30 ? 2 : 0, false, true};
        case AsmFile::TexCoordOut: return {vs && v < 30 ? 8 : 0, false, true};
        case AsmFile::Output: return {vs && v >= 30 ? 12 : 0, false, true};
        case AsmFile::PixelColor: return {!vs && v >= 20 ? 4 : 0, false, true};
        case AsmFile::Depth: return {!vs && v >= 20 ? 1 : 0, false, true};
        case AsmFile::PixelPos:
        case AsmFile::Face: return {!vs && v >= 30 ? 1 : 0, true, false};
    }
    return {0, false, false};
}

const char* FilePrefix(AsmFile f) {
    switch (f) {
        case AsmFile::Temp: return "r";
        case AsmFile::Input: return "v";
        case AsmFile::Const: return "c";
        case AsmFile::ConstInt: return "i";
        case AsmFile::ConstBool: return "b";
        case AsmFile::Texture: return "t";
        case AsmFile::Sampler: return "s";
        case AsmFile::Address: return "a";
        case AsmFile::Loop: return "aL";
        case AsmFile::Predicate: return "p";
        case AsmFile::Label: return "l";
        case AsmFile::Position: return "oPos";
        case AsmFile::Fog: return "oFog";
        case AsmFile::PointSize: return "oPts";
        case AsmFile::ColorOut: return "oD";
        case AsmFile::TexCoordOut: return "oT";
        case AsmFile::Output: return "o";
        case AsmFile::PixelColor: return "oC";
        case AsmFile::Depth: return "oDepth";
        case AsmFile::PixelPos: return "vPos";
        case AsmFile::Face: return "vFace";
    }
    return "?";
}

// Register kinds that are one register without a number.
bool Single(AsmFile f) {
    return f == AsmFile::Loop || f == AsmFile::Position || f == AsmFile::Fog ||
           f == AsmFile::PointSize || f == AsmFile::Depth || f == AsmFile::PixelPos ||
           f == AsmFile::Face;
}

std::string RegisterText(const AsmRegister& r) {
    std::string s = FilePrefix(r.file);
    if (!Single(r.file)) s += std::to_string(r.index);
    return s;
}

// A register name: "r3", "oPos", "oT1", "c" (the base of c[a0.x]); `numbered` false for the
// bare letter.
bool RegisterName(const std::string& word, AsmRegister& r, bool& numbered) {
    std::string w = Lower(word);
    numbered = true;
    r = AsmRegister();
    static const struct { const char* name; AsmFile file; int index; } kNamed[] = {
        {"opos", AsmFile::Position, 0}, {"ofog", AsmFile::Fog, 0}, {"opts", AsmFile::PointSize, 0},
        {"odepth", AsmFile::Depth, 0},  {"vpos", AsmFile::PixelPos, 0}, {"vface", AsmFile::Face, 0},
        {"al", AsmFile::Loop, 0},       {"a0", AsmFile::Address, 0}, {"p0", AsmFile::Predicate, 0}};
    for (const auto& k : kNamed)
        if (w == k.name) {
            r.file = k.file;
            r.index = k.index;
            return true;
        }
    static const struct { const char* prefix; AsmFile file; } kNumbered[] = {
        {"od", AsmFile::ColorOut}, {"ot", AsmFile::TexCoordOut}, {"oc", AsmFile::PixelColor},
        {"o", AsmFile::Output},    {"r", AsmFile::Temp},         {"v", AsmFile::Input},
        {"c", AsmFile::Const},     {"i", AsmFile::ConstInt},     {"b", AsmFile::ConstBool},
        {"t", AsmFile::Texture},   {"s", AsmFile::Sampler},      {"l", AsmFile::Label}};
    for (const auto& k : kNumbered) {
        size_t p = std::strlen(k.prefix);
        if (w.compare(0, p, k.prefix) != 0) continue;
        std::string digits = w.substr(p);
        if (digits.empty()) {
            if (k.file != AsmFile::Const && k.file != AsmFile::Input && k.file != AsmFile::Output)
                return false;
            r.file = k.file;
            numbered = false;
            return true;
        }
        if (digits.size() > 5) return false;
        for (char c : digits)
            if (!IsDigit(c)) return false;
        r.file = k.file;
        r.index = std::atoi(digits.c_str());
        return true;
    }
    return false;
}

// Component letters: xyzw or rgba, -1 for any other.
int Component(char c) {
    switch (std::tolower(static_cast<unsigned char>(c))) {
        case 'x': case 'r': return 0;
        case 'y': case 'g': return 1;
        case 'z': case 'b': return 2;
        case 'w': case 'a': return 3;
        default: return -1;
    }
}

class Reader {
public:
    Reader(const std::vector<Tok>& t, AsmProgram& out, AsmError& err) : t_(t), out_(out), err_(err) {}

    bool Run() {
        if (!ReadVersion()) return false;
        while (!At(Tok::End))
            if (!Instruction()) return false;
        return true;
    }

private:
    const Tok& Cur() const { return t_[i_]; }
    bool At(Tok::Kind k) const { return Cur().kind == k; }
    bool IsP(char c) const { return At(Tok::Punct) && Cur().text[0] == c; }
    int Version() const { return out_.Version(); }
    bool Vs() const { return out_.stage == ShaderStage::Vertex; }

    bool Fail(const Tok& at, const std::string& what) {
        err_.line = at.line;
        err_.column = at.column;
        err_.text = what;
        return false;
    }
    std::string Found() const {
        return At(Tok::End) ? "the end of the shader" : "'" + Cur().text + "'";
    }

    bool ReadVersion() {
        static const struct { const char* name; ShaderStage stage; int major, minor; } kVersions[] = {
            {"vs_1_1", ShaderStage::Vertex, 1, 1}, {"vs_2_0", ShaderStage::Vertex, 2, 0},
            {"vs_2_x", ShaderStage::Vertex, 2, 1}, {"vs_3_0", ShaderStage::Vertex, 3, 0},
            {"ps_1_1", ShaderStage::Pixel, 1, 1},  {"ps_1_2", ShaderStage::Pixel, 1, 2},
            {"ps_1_3", ShaderStage::Pixel, 1, 3},  {"ps_1_4", ShaderStage::Pixel, 1, 4},
            {"ps_2_0", ShaderStage::Pixel, 2, 0},  {"ps_2_x", ShaderStage::Pixel, 2, 1},
            {"ps_3_0", ShaderStage::Pixel, 3, 0}};
        std::string w = At(Tok::Word) ? Lower(Cur().text) : std::string();
        for (const auto& v : kVersions)
            if (w == v.name) {
                out_.stage = v.stage;
                out_.major = v.major;
                out_.minor = v.minor;
                out_.line = Cur().line;
                ++i_;
                return true;
            }
        return Fail(Cur(), "expected the shader version (vs_1_1 .. vs_3_0, ps_1_1 .. ps_3_0) first, found " +
                               Found());
    }

    // Checks that register `r` (at token `at`) exists in this version and may be read or
    // written.
    bool Check(const AsmRegister& r, bool write, const Tok& at) {
        FileLimit l = Limit(r.file, out_.stage, Version());
        std::string name = RegisterText(r);
        if (l.count == 0) return Fail(at, "register " + name + " does not exist in " + out_.Profile());
        if (!r.relative && r.index >= l.count) {
            std::string range = l.count > 1 ? std::string(FilePrefix(r.file)) + "0.." + FilePrefix(r.file) +
                                                  std::to_string(l.count - 1)
                                            : std::string(FilePrefix(r.file)) + "0";
            return Fail(at, "register " + name + " does not exist in " + out_.Profile() + " (" + range + ")");
        }
        if (write && !l.write) return Fail(at, "register " + name + " cannot be written");
        if (!write && !l.read) return Fail(at, "register " + name + " cannot be read");
        return true;
    }

    // [a0.x + 5], [aL], [5 + a0.x], [3]: into `r`, whose number is the base.
    bool Relative(AsmRegister& r) {
        const Tok& open = Cur();
        ++i_;   // '['
        int sum = 0;
        bool any = false;
        for (;;) {
            if (At(Tok::Number)) {
                const std::string& s = Cur().text;
                for (char c : s)
                    if (!IsDigit(c)) return Fail(Cur(), "register offset '" + s + "' is not a whole number");
                sum += std::atoi(s.c_str());
                ++i_;
            } else if (At(Tok::Word)) {
                AsmRegister idx;
                bool numbered;
                if (!RegisterName(Cur().text, idx, numbered) ||
                    (idx.file != AsmFile::Address && idx.file != AsmFile::Loop) || r.relative)
                    return Fail(Cur(), "expected a0 or aL in the register index, found '" + Cur().text + "'");
                if (!Check(idx, false, Cur())) return false;
                r.relative = true;
                r.relFile = idx.file;
                ++i_;
                if (IsP('.')) {
                    ++i_;
                    if (!At(Tok::Word) || Cur().text.size() != 1 || Component(Cur().text[0]) < 0)
                        return Fail(Cur(), "expected one component of the index register");
                    r.relComponent = Component(Cur().text[0]);
                    ++i_;
                } else if (idx.file == AsmFile::Address && Version() < 20) {
                    return Fail(Cur(), "a0 needs its component (a0.x) in " + out_.Profile());
                }
            } else {
                return Fail(Cur(), "expected a number, a0 or aL in the register index, found " + Found());
            }
            any = true;
            if (IsP('+')) { ++i_; continue; }
            if (IsP(']')) { ++i_; break; }
            return Fail(Cur(), "expected ']' after the register index, found " + Found());
        }
        if (!any) return Fail(open, "empty register index");
        r.index += sum;
        return true;
    }

    bool RegisterAt(AsmRegister& r, std::string& suffix) {
        if (!At(Tok::Word)) return Fail(Cur(), "expected a register, found " + Found());
        const Tok& at = Cur();
        std::string word = at.text;
        size_t us = word.find('_');
        suffix = us == std::string::npos ? std::string() : Lower(word.substr(us + 1));
        bool numbered;
        if (!RegisterName(word.substr(0, us), r, numbered))
            return Fail(at, "'" + word.substr(0, us) + "' is not a register");
        ++i_;
        if (IsP('[')) {
            if (!suffix.empty()) return Fail(at, "'" + word + "' is not a register");
            if (r.file != AsmFile::Const && r.file != AsmFile::Input && r.file != AsmFile::Output)
                return Fail(Cur(), "register " + RegisterText(r) + " cannot be indexed");
            if (!Relative(r)) return false;
            // A modifier after the index: c[a0.x]_bx2.
            if (At(Tok::Word) && Cur().text[0] == '_') {
                suffix = Lower(Cur().text.substr(1));
                ++i_;
            }
        } else if (!numbered) {
            return Fail(at, "register " + word + " needs a number");
        }
        return true;
    }

    bool Dest(AsmDest& d) {
        std::string suffix;
        const Tok& regTok = Cur();
        if (!RegisterAt(d.reg, suffix)) return false;
        if (!suffix.empty()) return Fail(regTok, "'_" + suffix + "' cannot follow a destination register");
        d.mask = 0xF;
        if (IsP('.')) {
            ++i_;
            if (!At(Tok::Word)) return Fail(Cur(), "expected a write mask after '.'");
            const std::string& m = Cur().text;
            unsigned mask = 0;
            int last = -1;
            for (char c : m) {
                int k = Component(c);
                if (k <= last || m.size() > 4) return Fail(Cur(), "invalid write mask '." + m + "'");
                mask |= 1u << k;
                last = k;
            }
            d.mask = mask;
            ++i_;
        }
        return true;
    }

    bool Source(AsmSource& s) {
        s = AsmSource();
        const Tok& start = Cur();
        bool neg = false, comp = false, bang = false;
        if (IsP('-')) {
            neg = true;
            ++i_;
        } else if (IsP('!')) {
            bang = true;
            ++i_;
        } else if (At(Tok::Number) && t_[i_ + 1].kind == Tok::Punct && t_[i_ + 1].text == "-") {
            if (Cur().text != "1") return Fail(Cur(), "only '1 - register' complements a register");
            comp = true;
            i_ += 2;
        }
        std::string suffix;
        const Tok& regTok = Cur();
        if (!RegisterAt(s.reg, suffix)) return false;
        AsmSrcMod mod = AsmSrcMod::None;
        if (!suffix.empty()) {
            static const struct { const char* name; AsmSrcMod mod, neg; } kMods[] = {
                {"bias", AsmSrcMod::Bias, AsmSrcMod::BiasNeg}, {"bx2", AsmSrcMod::Sign, AsmSrcMod::SignNeg},
                {"x2", AsmSrcMod::X2, AsmSrcMod::X2Neg},       {"dz", AsmSrcMod::Dz, AsmSrcMod::None},
                {"db", AsmSrcMod::Dz, AsmSrcMod::None},        {"dw", AsmSrcMod::Dw, AsmSrcMod::None},
                {"da", AsmSrcMod::Dw, AsmSrcMod::None},        {"abs", AsmSrcMod::Abs, AsmSrcMod::AbsNeg}};
            bool found = false;
            for (const auto& m : kMods) {
                if (suffix != m.name) continue;
                found = true;
                if (comp || bang || (neg && m.neg == AsmSrcMod::None))
                    return Fail(regTok, "'_" + suffix + "' cannot be combined with that modifier");
                mod = neg ? m.neg : m.mod;
                bool ps1 = !Vs() && Version() < 20;
                bool allowed = (m.mod == AsmSrcMod::Bias || m.mod == AsmSrcMod::Sign) ? ps1
                             : m.mod == AsmSrcMod::X2 || m.mod == AsmSrcMod::Dz || m.mod == AsmSrcMod::Dw
                                 ? !Vs() && Version() == 14
                                 : Version() >= 20;
                if (!allowed)
                    return Fail(regTok, "source modifier '_" + suffix + "' does not exist in " + out_.Profile());
            }
            if (!found) return Fail(regTok, "unknown source modifier '_" + suffix + "'");
        } else {
            mod = neg ? AsmSrcMod::Neg : comp ? AsmSrcMod::Comp : bang ? AsmSrcMod::Not : AsmSrcMod::None;
        }
        if (comp && !(!Vs() && Version() < 20))
            return Fail(start, "'1 - register' does not exist in " + out_.Profile());
        if (bang && s.reg.file != AsmFile::ConstBool && s.reg.file != AsmFile::Predicate)
            return Fail(start, "'!' negates only b# and p0 registers");
        s.mod = mod;
        if (IsP('.')) {
            ++i_;
            if (!At(Tok::Word)) return Fail(Cur(), "expected a swizzle after '.'");
            const std::string& w = Cur().text;
            if (w.size() > 4) return Fail(Cur(), "invalid swizzle '." + w + "'");
            for (size_t k = 0; k < 4; ++k) {
                int c = Component(w[std::min(k, w.size() - 1)]);
                if (c < 0) return Fail(Cur(), "invalid swizzle '." + w + "'");
                s.swizzle[k] = static_cast<uint8_t>(c);
            }
            ++i_;
        }
        return Check(s.reg, false, regTok);
    }

    // "dcl", "dcl_texcoord1", "dcl_2d", "dcl_centroid": the usage or sampler type.
    bool DclUsage(const std::string& part, AsmInstruction& ins, const Tok& at) {
        static const struct { const char* name; AsmSamplerType type; } kSamplers[] = {
            {"2d", AsmSamplerType::Tex2D}, {"cube", AsmSamplerType::Cube}, {"volume", AsmSamplerType::Volume}};
        for (const auto& s : kSamplers)
            if (part == s.name) {
                ins.sampler = s.type;
                return true;
            }
        static const char* const kUsages[] = {"position", "blendweight", "blendindices", "normal", "psize",
                                              "texcoord", "tangent", "binormal", "tessfactor", "positiont",
                                              "color", "fog", "depth", "sample"};
        size_t end = part.size();
        while (end > 0 && IsDigit(part[end - 1])) --end;
        std::string base = part.substr(0, end);
        for (const char* u : kUsages)
            if (base == u) {
                ins.usage = Lower(base);
                for (char& c : ins.usage) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                ins.usageIndex = end < part.size() ? std::atoi(part.c_str() + end) : 0;
                if (ins.usageIndex > 15) return Fail(at, "usage index of 'dcl_" + part + "' out of range");
                return true;
            }
        return Fail(at, "unknown declaration 'dcl_" + part + "'");
    }

    bool Number(float& v, bool integer) {
        bool neg = false;
        if (IsP('-')) {
            neg = true;
            ++i_;
        }
        if (!At(Tok::Number)) return Fail(Cur(), "expected a number, found " + Found());
        std::string s = Cur().text;
        if (!s.empty() && (s.back() == 'f' || s.back() == 'F')) s.pop_back();
        char* end = nullptr;
        v = std::strtof(s.c_str(), &end);
        if (end != s.c_str() + s.size() || (integer && s.find_first_of(".eE") != std::string::npos))
            return Fail(Cur(), "'" + Cur().text + "' is not " + (integer ? "a whole number" : "a number"));
        if (neg) v = -v;
        ++i_;
        return true;
    }

    bool Comma() {
        if (IsP(',')) {
            ++i_;
            return true;
        }
        return Fail(Cur(), "expected ',' and another operand, found " + Found());
    }

    bool Definition(AsmInstruction& ins, const Tok& at) {
        if (!Dest(ins.dest)) return false;
        AsmFile want = ins.op == AsmOp::Def ? AsmFile::Const : ins.op == AsmOp::DefI ? AsmFile::ConstInt
                                                                                       : AsmFile::ConstBool;
        if (ins.dest.reg.file != want || ins.dest.reg.relative || ins.dest.mask != 0xF)
            return Fail(at, "'" + ins.name + "' defines a " + FilePrefix(want) + "# register");
        if (!Check(ins.dest.reg, false, at)) return false;
        int n = ins.op == AsmOp::DefB ? 1 : 4;
        for (int k = 0; k < n; ++k) {
            if (!Comma()) return false;
            if (ins.op == AsmOp::DefB) {
                std::string w = At(Tok::Word) ? Lower(Cur().text) : std::string();
                if (w != "true" && w != "false") return Fail(Cur(), "expected true or false, found " + Found());
                ins.values[0] = w == "true" ? 1.0f : 0.0f;
                ++i_;
            } else if (!Number(ins.values[k], ins.op == AsmOp::DefI)) {
                return false;
            }
        }
        return true;
    }

    bool Declaration(AsmInstruction& ins, const std::vector<std::string>& parts, const Tok& at) {
        // dcl_<usage or sampler type>, then its modifiers: dcl_texcoord0_centroid, dcl_pp.
        for (size_t k = 1; k < parts.size(); ++k) {
            if (parts[k] == "pp" || parts[k] == "centroid") continue;
            if (k > 1) return Fail(at, "unknown declaration '" + ins.name + "'");
            if (!DclUsage(parts[k], ins, at)) return false;
        }
        const Tok& regTok = Cur();
        if (!Dest(ins.dest)) return false;
        const AsmRegister& r = ins.dest.reg;
        bool output = r.file == AsmFile::Output;
        if (!Check(r, output, regTok)) return false;
        bool ok;
        if (r.file == AsmFile::Sampler) {
            ok = ins.sampler != AsmSamplerType::Unknown || Version() < 30;
            if (ins.sampler == AsmSamplerType::Unknown) ins.sampler = AsmSamplerType::Tex2D;
        } else if (ins.sampler != AsmSamplerType::Unknown) {
            ok = false;
        } else if (Vs()) {
            ok = (r.file == AsmFile::Input || output) && !ins.usage.empty();
        } else if (Version() < 30) {
            ok = (r.file == AsmFile::Input || r.file == AsmFile::Texture) && ins.usage.empty();
        } else {
            ok = (r.file == AsmFile::Input && !ins.usage.empty()) ||
                 ((r.file == AsmFile::PixelPos || r.file == AsmFile::Face) && ins.usage.empty());
        }
        if (!ok) return Fail(regTok, "'" + ins.name + "' cannot declare register " + RegisterText(r));
        return true;
    }

    bool Instruction() {
        AsmInstruction ins;
        const Tok& first = Cur();
        if (IsP('+')) {
            if (Vs() || Version() >= 20) return Fail(Cur(), "co-issue '+' exists only in ps_1_x");
            if (out_.code.empty() || out_.code.back().coissue) return Fail(Cur(), "'+' has no instruction to pair with");
            ins.coissue = true;
            ++i_;
        }
        if (IsP('(')) {
            if (Version() < 21) return Fail(Cur(), "predicated instructions do not exist in " + out_.Profile());
            ++i_;
            if (IsP('!')) {
                ins.predicateNot = true;
                ++i_;
            }
            AsmSource p;
            std::string suffix;
            const Tok& pt = Cur();
            if (!RegisterAt(p.reg, suffix) || p.reg.file != AsmFile::Predicate || !suffix.empty())
                return Fail(pt, "expected p0 in the predicate");
            if (IsP('.')) {
                ++i_;
                if (!At(Tok::Word) || Cur().text.size() > 4) return Fail(Cur(), "invalid predicate swizzle");
                const std::string& w = Cur().text;
                for (size_t k = 0; k < 4; ++k) {
                    int c = Component(w[std::min(k, w.size() - 1)]);
                    if (c < 0) return Fail(Cur(), "invalid predicate swizzle");
                    ins.predicateSwizzle[k] = static_cast<uint8_t>(c);
                }
                ++i_;
            }
            if (!IsP(')')) return Fail(Cur(), "expected ')' after the predicate, found " + Found());
            ++i_;
            ins.predicated = true;
        }
        if (!At(Tok::Word)) return Fail(Cur(), "expected an instruction, found " + Found());
        const Tok& opTok = Cur();
        ins.name = Lower(opTok.text);
        ins.line = opTok.line;
        ins.column = (ins.coissue || ins.predicated) ? first.column : opTok.column;
        ++i_;
        std::vector<std::string> parts;
        {
            size_t b = 0;
            for (;;) {
                size_t us = ins.name.find('_', b);
                parts.push_back(ins.name.substr(b, us == std::string::npos ? std::string::npos : us - b));
                if (us == std::string::npos) break;
                b = us + 1;
            }
        }
        const OpInfo* info = nullptr;
        for (const OpInfo& o : kOps)
            if (parts[0] == o.name) info = &o;
        if (!info) return Fail(opTok, "unknown instruction '" + opTok.text + "'");
        int from = Vs() ? info->vsFrom : info->psFrom, to = Vs() ? info->vsTo : info->psTo;
        if (from == 0 || Version() < from || Version() > to)
            return Fail(opTok, "'" + parts[0] + "' is not an instruction of " + out_.Profile());
        ins.op = info->op;
        ins.hasDest = info->dest;
        if (ins.op == AsmOp::Dcl) {
            if (!Declaration(ins, parts, opTok)) return false;
            out_.code.push_back(std::move(ins));
            return true;
        }
        // Instruction modifiers and comparisons.
        bool comparable = ins.op == AsmOp::If || ins.op == AsmOp::Break || ins.op == AsmOp::SetP;
        for (size_t k = 1; k < parts.size(); ++k) {
            const std::string& m = parts[k];
            static const char* const kCompare[] = {"gt", "eq", "ge", "lt", "ne", "le"};
            bool done = false;
            for (int c = 0; c < 6 && !done; ++c)
                if (m == kCompare[c] && comparable && ins.compare == AsmCompare::None) {
                    ins.compare = static_cast<AsmCompare>(c + 1);
                    done = true;
                }
            if (done) continue;
            static const struct { const char* name; int shift; } kShifts[] = {
                {"x2", 1}, {"x4", 2}, {"x8", 3}, {"d2", -1}, {"d4", -2}, {"d8", -3}};
            for (const auto& s : kShifts)
                if (m == s.name && ins.hasDest) {
                    if (ins.dest.shift != 0) return Fail(opTok, "more than one result scale in '" + ins.name + "'");
                    if (Vs() || Version() >= 20)
                        return Fail(opTok, "result scale '_" + m + "' exists only in ps_1_x");
                    ins.dest.shift = s.shift;
                    done = true;
                }
            if (done) continue;
            if (m == "sat" && ins.hasDest) ins.dest.saturate = true;
            else if (m != "pp" && m != "centroid") return Fail(opTok, "unknown modifier '_" + m + "' of '" + parts[0] + "'");
        }
        if (ins.op == AsmOp::SetP && ins.compare == AsmCompare::None)
            return Fail(opTok, "'setp' needs a comparison (setp_gt, setp_lt, ...)");
        if (ins.op == AsmOp::If && ins.compare != AsmCompare::None) ins.op = AsmOp::IfC;
        if (ins.op == AsmOp::Break && ins.compare != AsmCompare::None) ins.op = AsmOp::BreakC;
        if (ins.op == AsmOp::Def || ins.op == AsmOp::DefI || ins.op == AsmOp::DefB) {
            if (!Definition(ins, opTok)) return false;
            out_.code.push_back(std::move(ins));
            return true;
        }
        int minSrc = info->minSrc, maxSrc = info->maxSrc;
        if (ins.op == AsmOp::IfC || ins.op == AsmOp::BreakC) minSrc = maxSrc = 2;
        if (ins.op == AsmOp::Tex && Version() >= 14) minSrc = maxSrc = Version() == 14 ? 1 : 2;
        bool any = false;
        if (ins.hasDest) {
            const Tok& dt = Cur();
            if (!Dest(ins.dest)) return false;
            bool written = ins.op != AsmOp::TexKill;
            if (!Check(ins.dest.reg, written, dt)) return false;
            if (ins.dest.reg.relative && !(Vs() && Version() >= 30 && ins.dest.reg.file == AsmFile::Output))
                return Fail(dt, "register " + RegisterText(ins.dest.reg) + " cannot be written with an index");
            any = true;
        }
        while (static_cast<int>(ins.src.size()) < maxSrc && (any ? IsP(',') : !At(Tok::End) && StartsOperand())) {
            if (any) ++i_;
            AsmSource s;
            if (!Source(s)) return false;
            ins.src.push_back(s);
            any = true;
        }
        if (IsP(',')) return Fail(Cur(), "too many operands for '" + parts[0] + "'");
        if (static_cast<int>(ins.src.size()) < minSrc)
            return Fail(Cur(), "'" + parts[0] + "' takes " + std::to_string(minSrc) + " source operand" +
                                   (minSrc == 1 ? "" : "s") + ", found " + std::to_string(ins.src.size()));
        if (!Operands(ins, opTok)) return false;
        out_.code.push_back(std::move(ins));
        return true;
    }

    // A token that may start the first operand of an instruction without a destination.
    bool StartsOperand() const {
        if (IsP('-') || IsP('!')) return true;
        if (At(Tok::Number)) return true;
        if (!At(Tok::Word)) return false;
        AsmRegister r;
        bool numbered;
        std::string w = Cur().text;
        return RegisterName(w.substr(0, w.find('_')), r, numbered);
    }

    // The kinds of registers particular operands must be.
    bool Operands(const AsmInstruction& ins, const Tok& at) {
        auto Need = [&](size_t k, AsmFile f, const char* what) {
            if (ins.src[k].reg.file == f) return true;
            return Fail(at, "'" + ins.name + "' needs " + what + " as operand " + std::to_string(k + (ins.hasDest ? 2 : 1)));
        };
        const bool sampled = ins.op == AsmOp::Tex || ins.op == AsmOp::TexLdp || ins.op == AsmOp::TexLdb ||
                             ins.op == AsmOp::TexLdl || ins.op == AsmOp::TexLdd;
        if (sampled && ins.src.size() >= 2) return Need(1, AsmFile::Sampler, "a sampler (s#)");
        switch (ins.op) {
            case AsmOp::Loop: return Need(0, AsmFile::Loop, "aL") && Need(1, AsmFile::ConstInt, "an i# register");
            case AsmOp::Rep: return Need(0, AsmFile::ConstInt, "an i# register");
            case AsmOp::If:
                if (ins.src[0].reg.file == AsmFile::Predicate) return true;
                return Need(0, AsmFile::ConstBool, "a b# register or p0");
            case AsmOp::Call:
            case AsmOp::Label: return Need(0, AsmFile::Label, "a label (l#)");
            case AsmOp::CallNz:
                if (!Need(0, AsmFile::Label, "a label (l#)")) return false;
                if (ins.src[1].reg.file == AsmFile::Predicate) return true;
                return Need(1, AsmFile::ConstBool, "a b# register or p0");
            case AsmOp::BreakP: return Need(0, AsmFile::Predicate, "p0");
            case AsmOp::SetP:
                if (ins.dest.reg.file != AsmFile::Predicate) return Fail(at, "'setp' writes p0");
                return true;
            case AsmOp::Mova:
                if (ins.dest.reg.file != AsmFile::Address) return Fail(at, "'mova' writes a0");
                return true;
            default: break;
        }
        if (ins.hasDest && ins.dest.reg.file == AsmFile::Address && !(ins.op == AsmOp::Mov && Version() < 20) &&
            ins.op != AsmOp::Mova)
            return Fail(at, Version() < 20 ? "a0 is written with 'mov'" : "a0 is written with 'mova'");
        if (ins.hasDest && ins.dest.reg.file == AsmFile::Predicate && ins.op != AsmOp::SetP)
            return Fail(at, "p0 is written with 'setp'");
        for (const AsmSource& s : ins.src) {
            bool special = s.reg.file == AsmFile::Sampler || s.reg.file == AsmFile::Label ||
                           s.reg.file == AsmFile::Loop || s.reg.file == AsmFile::ConstInt ||
                           s.reg.file == AsmFile::ConstBool || s.reg.file == AsmFile::Address;
            if (special && !(sampled && s.reg.file == AsmFile::Sampler))
                return Fail(at, "'" + ins.name + "' cannot read register " + RegisterText(s.reg));
        }
        return true;
    }

    const std::vector<Tok>& t_;
    AsmProgram& out_;
    AsmError& err_;
    size_t i_ = 0;
};

}  // namespace

bool ReadAssembly(const std::string& text, int line, int column, AsmProgram& out, AsmError& err) {
    out = AsmProgram();
    err = AsmError();
    std::vector<Tok> toks;
    if (!Tokenise(text, line, column, toks, err)) return false;
    Reader r(toks, out, err);
    return r.Run();
}

}  // namespace hlsl
