// .x mesh reader. The file is first turned into a tree of data objects (type, name, numbers,
// strings, children and references) by one parser fed from a text or a binary token source,
// then the tree is walked: frames carry transforms down to their meshes, and every mesh is
// merged into one output mesh with its materials.
#include "platform/core/xfile.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

namespace core {

namespace {

// Nesting deeper than this is refused, so a hostile file cannot exhaust the stack.
constexpr int kMaxDepth = 128;
// Most vertices, and most triangles, of the merged mesh.
constexpr size_t kMaxElements = 1u << 22;
// Largest uncompressed body accepted from a compressed file.
constexpr size_t kMaxInflated = 64u << 20;

struct Num {
    double d;   // exact for integers
    float f;    // the value as a float, rounded once from the source
};

struct Tok {
    enum Kind { Eof, Name, String, Number, Guid, OBrace, CBrace, Sep, Template, Other } k = Eof;
    std::string s;   // name, string or the word as written
    Num n{0, 0};
    size_t where = 0;  // line (text) or byte offset (binary)
};

struct XObj {
    std::string type, name;
    std::vector<Num> nums;
    std::vector<std::string> strings;
    std::vector<std::unique_ptr<XObj>> children;
    std::vector<std::string> refs;   // names of referenced objects, in order with children
    std::vector<int> order;          // child order: >= 0 child index, < 0 ~ref index
};

bool IEquals(const std::string& a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Token sources

class Lexer {
public:
    virtual ~Lexer() = default;
    virtual bool Next(Tok& t, std::string& err) = 0;
    virtual std::string Where(size_t w) const = 0;
    virtual bool IsText() const = 0;
};

bool ParseNumber(const char* b, const char* e, Num& out) {
    if (b < e && *b == '+') ++b;
    if (b == e) return false;
    double d = 0;
    auto r = std::from_chars(b, e, d);
    if (r.ec != std::errc() || r.ptr != e) return false;
    float f = 0;
    auto rf = std::from_chars(b, e, f);
    if (rf.ec == std::errc::result_out_of_range) f = static_cast<float>(d);
    else if (rf.ec != std::errc() || rf.ptr != e) return false;
    out.d = d;
    out.f = f;
    return true;
}

class TextLexer : public Lexer {
public:
    TextLexer(const char* p, size_t n) : p_(p), end_(p + n) {}
    bool IsText() const override { return true; }
    std::string Where(size_t w) const override { return "line " + std::to_string(w); }

    bool Next(Tok& t, std::string& err) override {
        SkipSpace();
        t = Tok();
        t.where = line_;
        if (p_ >= end_) { t.k = Tok::Eof; return true; }
        char c = *p_;
        if (c == '{') { ++p_; t.k = Tok::OBrace; return true; }
        if (c == '}') { ++p_; t.k = Tok::CBrace; return true; }
        if (c == ',' || c == ';') { ++p_; t.k = Tok::Sep; return true; }
        if (c == '"') {
            const char* s = ++p_;
            while (p_ < end_ && *p_ != '"') { if (*p_ == '\n') ++line_; ++p_; }
            if (p_ >= end_) { err = Where(t.where) + ": unterminated string"; return false; }
            t.k = Tok::String;
            t.s.assign(s, p_);
            ++p_;
            return true;
        }
        if (c == '<') {
            const char* s = ++p_;
            while (p_ < end_ && *p_ != '>' && *p_ != '\n') ++p_;
            if (p_ >= end_ || *p_ != '>') { err = Where(t.where) + ": unterminated GUID"; return false; }
            t.k = Tok::Guid;
            t.s.assign(s, p_);
            ++p_;
            return true;
        }
        if (IsDelim(c)) { ++p_; t.k = Tok::Other; t.s.assign(1, c); return true; }
        const char* s = p_;
        while (p_ < end_ && !IsSpace(*p_) && !IsDelim(*p_) && *p_ != '#' &&
               !(*p_ == '/' && p_ + 1 < end_ && p_[1] == '/'))
            ++p_;
        t.s.assign(s, p_);
        if (ParseNumber(s, p_, t.n)) t.k = Tok::Number;
        else if (t.s == "template") t.k = Tok::Template;
        else t.k = Tok::Name;
        return true;
    }

private:
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == '\0'; }
    static bool IsDelim(char c) {
        return c == '{' || c == '}' || c == ',' || c == ';' || c == '"' || c == '<' || c == '>' ||
               c == '[' || c == ']' || c == '(' || c == ')';
    }
    void SkipSpace() {
        while (p_ < end_) {
            if (*p_ == '\n') { ++line_; ++p_; }
            else if (IsSpace(*p_)) ++p_;
            else if (*p_ == '#' || (*p_ == '/' && p_ + 1 < end_ && p_[1] == '/')) {
                while (p_ < end_ && *p_ != '\n') ++p_;
            } else break;
        }
    }
    const char* p_;
    const char* end_;
    size_t line_ = 1;
};

class BinaryLexer : public Lexer {
public:
    BinaryLexer(const uint8_t* p, size_t n, bool doubles, size_t base)
        : p_(p), n_(n), doubles_(doubles), base_(base) {}
    bool IsText() const override { return false; }
    std::string Where(size_t w) const override { return "offset " + std::to_string(w + base_); }

    bool Next(Tok& t, std::string& err) override {
        t = Tok();
        if (listLeft_ > 0) return ListItem(t, err);
        t.where = pos_;
        if (pos_ >= n_) { t.k = Tok::Eof; return true; }
        if (n_ - pos_ < 2) return Fail(err, t.where, "truncated token");
        uint16_t id = U16();
        switch (id) {
            case 1: case 2: {  // NAME, STRING
                uint32_t len;
                if (!U32(len) || len > n_ - pos_) return Fail(err, t.where, "truncated name or string");
                t.s.assign(reinterpret_cast<const char*>(p_ + pos_), len);
                pos_ += len;
                t.k = id == 1 ? Tok::Name : Tok::String;
                if (id == 2) {
                    // Terminator: a comma or semicolon token, written as a word or a double word.
                    if (n_ - pos_ >= 2 && (Peek16() == 19 || Peek16() == 20)) {
                        pos_ += 2;
                        if (n_ - pos_ >= 2 && Peek16() == 0) pos_ += 2;
                    }
                }
                return true;
            }
            case 3: {  // INTEGER
                uint32_t v = 0;
                if (!U32(v)) return Fail(err, t.where, "truncated integer");
                t.k = Tok::Number;
                t.n = Num{static_cast<double>(v), static_cast<float>(v)};
                return true;
            }
            case 5:  // GUID
                if (n_ - pos_ < 16) return Fail(err, t.where, "truncated GUID");
                pos_ += 16;
                t.k = Tok::Guid;
                return true;
            case 6: case 7: {  // INTEGER_LIST, FLOAT_LIST
                uint32_t count = 0;
                if (!U32(count)) return Fail(err, t.where, "truncated list");
                size_t item = id == 6 ? 4 : (doubles_ ? 8 : 4);
                if (count > (n_ - pos_) / item) return Fail(err, t.where, "list longer than the file");
                listLeft_ = count;
                listFloat_ = id == 7;
                if (count == 0) { t.k = Tok::Sep; return true; }
                return ListItem(t, err);
            }
            case 10: t.k = Tok::OBrace; return true;
            case 11: t.k = Tok::CBrace; return true;
            case 19: case 20: t.k = Tok::Sep; return true;
            case 31: t.k = Tok::Template; return true;
            default:
                if ((id >= 12 && id <= 18) || (id >= 40 && id <= 52)) { t.k = Tok::Other; return true; }
                return Fail(err, t.where, "unknown token " + std::to_string(id));
        }
    }

private:
    bool Fail(std::string& err, size_t where, const std::string& what) {
        err = Where(where) + ": " + what;
        return false;
    }
    uint16_t Peek16() const { return static_cast<uint16_t>(p_[pos_] | (p_[pos_ + 1] << 8)); }
    uint16_t U16() { uint16_t v = Peek16(); pos_ += 2; return v; }
    bool U32(uint32_t& v) {
        if (n_ - pos_ < 4) return false;
        std::memcpy(&v, p_ + pos_, 4);
        pos_ += 4;
        return true;
    }
    bool ListItem(Tok& t, std::string& err) {
        t.where = pos_;
        t.k = Tok::Number;
        --listLeft_;
        if (!listFloat_) {
            uint32_t v = 0;
            if (!U32(v)) return Fail(err, t.where, "truncated list");
            t.n = Num{static_cast<double>(v), static_cast<float>(v)};
        } else if (doubles_) {
            double d;
            if (n_ - pos_ < 8) return Fail(err, t.where, "truncated list");
            std::memcpy(&d, p_ + pos_, 8);
            pos_ += 8;
            t.n = Num{d, static_cast<float>(d)};
        } else {
            float f;
            if (n_ - pos_ < 4) return Fail(err, t.where, "truncated list");
            std::memcpy(&f, p_ + pos_, 4);
            pos_ += 4;
            t.n = Num{f, f};
        }
        return true;
    }
    const uint8_t* p_;
    size_t n_;
    size_t pos_ = 0;
    bool doubles_;
    size_t base_;
    uint32_t listLeft_ = 0;
    bool listFloat_ = false;
};

// ---------------------------------------------------------------------------------------
// Generic data-object parser

class Parser {
public:
    explicit Parser(Lexer& lex) : lex_(lex) {}

    bool ParseFile(std::vector<std::unique_ptr<XObj>>& top, std::string& err) {
        if (!Fill(err)) return false;
        for (;;) {
            Tok t;
            if (!Take(t, err)) return false;
            if (t.k == Tok::Eof) return true;
            if (t.k == Tok::Sep) continue;
            if (t.k == Tok::Template) {
                if (!SkipTemplate(t, err)) return false;
                continue;
            }
            if (t.k != Tok::Name) return Unexpected(t, "at top level", err);
            auto obj = std::make_unique<XObj>();
            if (!ParseObject(t, *obj, 1, err)) return false;
            top.push_back(std::move(obj));
        }
    }

    std::map<std::string, XObj*> named;   // every named object, first definition wins

private:
    bool Fill(std::string& err) { return lex_.Next(peek_, err); }
    bool Take(Tok& t, std::string& err) {
        t = std::move(peek_);
        if (t.k == Tok::Eof) { peek_ = t; return true; }
        return lex_.Next(peek_, err);
    }
    bool Unexpected(const Tok& t, const char* where, std::string& err) {
        std::string what = t.k == Tok::Eof ? "unexpected end of file" : "unexpected token";
        if (!t.s.empty() && t.k != Tok::Eof) what += " '" + t.s.substr(0, 40) + "'";
        err = lex_.Where(t.where) + ": " + what + " " + where;
        return false;
    }

    bool SkipTemplate(const Tok& start, std::string& err) {
        Tok t;
        if (!Take(t, err)) return false;
        if (t.k != Tok::Name) return Unexpected(t, "after 'template'", err);
        if (!Take(t, err)) return false;
        if (t.k != Tok::OBrace) return Unexpected(t, "in template", err);
        int depth = 1;
        while (depth > 0) {
            if (!Take(t, err)) return false;
            if (t.k == Tok::Eof) {
                err = lex_.Where(start.where) + ": template not closed before end of file";
                return false;
            }
            if (t.k == Tok::OBrace) ++depth;
            else if (t.k == Tok::CBrace) --depth;
        }
        return true;
    }

    // Object names in text may look like numbers ("Material 1 {").
    bool IsNameToken(const Tok& t) const {
        return t.k == Tok::Name || (t.k == Tok::Number && lex_.IsText());
    }

    bool ParseObject(const Tok& typeTok, XObj& obj, int depth, std::string& err) {
        if (depth > kMaxDepth) {
            err = lex_.Where(typeTok.where) + ": objects nested too deeply";
            return false;
        }
        obj.type = typeTok.s;
        Tok t;
        if (!Take(t, err)) return false;
        if (IsNameToken(t) && peek_.k == Tok::OBrace) {
            obj.name = t.s;
            if (!Take(t, err)) return false;
        }
        if (t.k != Tok::OBrace) return Unexpected(t, ("after '" + obj.type + "' (expected '{')").c_str(), err);
        if (!obj.name.empty()) named.emplace(obj.name, &obj);
        if (peek_.k == Tok::Guid && !Take(t, err)) return false;
        for (;;) {
            if (!Take(t, err)) return false;
            switch (t.k) {
                case Tok::CBrace: return true;
                case Tok::Number: obj.nums.push_back(t.n); break;
                case Tok::String: obj.strings.push_back(t.s); break;
                case Tok::Sep: case Tok::Guid: break;
                case Tok::OBrace: {
                    Tok r;
                    if (!Take(r, err)) return false;
                    std::string name;
                    if (IsNameToken(r)) {
                        name = r.s;
                        if (!Take(r, err)) return false;
                    }
                    if (r.k == Tok::Guid && !Take(r, err)) return false;
                    if (r.k != Tok::CBrace) return Unexpected(r, "in object reference", err);
                    if (!name.empty()) {
                        obj.order.push_back(-1 - static_cast<int>(obj.refs.size()));
                        obj.refs.push_back(name);
                    }
                    break;
                }
                case Tok::Name: {
                    auto child = std::make_unique<XObj>();
                    if (!ParseObject(t, *child, depth + 1, err)) return false;
                    obj.order.push_back(static_cast<int>(obj.children.size()));
                    obj.children.push_back(std::move(child));
                    break;
                }
                case Tok::Eof: {
                    err = lex_.Where(t.where) + ": unexpected end of file inside '" + obj.type + "'";
                    return false;
                }
                default: return Unexpected(t, ("inside '" + obj.type + "'").c_str(), err);
            }
        }
    }

    Lexer& lex_;
    Tok peek_;
};

// ---------------------------------------------------------------------------------------
// Compressed bodies

bool Inflate(const uint8_t* p, size_t n, std::vector<uint8_t>& out, std::string& err) {
    if (n < 4) { err = "compressed file truncated"; return false; }
    uint32_t total;
    std::memcpy(&total, p, 4);
    if (total < 16) { err = "compressed size field too small"; return false; }
    size_t want = total - 16;
    if (want > kMaxInflated) { err = "compressed file too large when expanded"; return false; }
    out.clear();
    size_t pos = 4;
    uint8_t block[65536];
    while (out.size() < want) {
        if (n - pos < 6) { err = "compressed block header truncated"; return false; }
        uint16_t plain = static_cast<uint16_t>(p[pos] | (p[pos + 1] << 8));
        uint16_t packed = static_cast<uint16_t>(p[pos + 2] | (p[pos + 3] << 8));
        if (p[pos + 4] != 'C' || p[pos + 5] != 'K') { err = "compressed block without 'CK' signature"; return false; }
        size_t dataStart = pos + 6;
        z_stream zs;
        std::memset(&zs, 0, sizeof zs);
        if (inflateInit2(&zs, -15) != Z_OK) { err = "inflate init failed"; return false; }
        if (!out.empty()) {
            size_t dict = std::min<size_t>(out.size(), 32768);
            inflateSetDictionary(&zs, out.data() + out.size() - dict, static_cast<uInt>(dict));
        }
        zs.next_in = const_cast<Bytef*>(p + dataStart);
        zs.avail_in = static_cast<uInt>(n - dataStart);
        zs.next_out = block;
        zs.avail_out = sizeof block;
        int rc = inflate(&zs, Z_FINISH);
        size_t produced = sizeof block - zs.avail_out;
        size_t used = (n - dataStart) - zs.avail_in;
        inflateEnd(&zs);
        if (rc != Z_STREAM_END) { err = "compressed block is corrupt"; return false; }
        if (produced != plain) { err = "compressed block expands to the wrong size"; return false; }
        (void)packed;
        if (produced > want - out.size()) { err = "compressed data longer than declared"; return false; }
        out.insert(out.end(), block, block + produced);
        pos = dataStart + used;
        if (produced == 0) { err = "empty compressed block"; return false; }
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Mesh building

struct Mat4 {
    double m[16];
    static Mat4 Identity() {
        Mat4 r{};
        for (int i = 0; i < 4; ++i) r.m[i * 5] = 1;
        return r;
    }
    bool IsIdentity3x3() const {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                if (m[r * 4 + c] != (r == c ? 1.0 : 0.0)) return false;
        return true;
    }
    bool IsIdentity() const { return IsIdentity3x3() && m[3] == 0 && m[7] == 0 && m[11] == 0 && m[12] == 0 && m[13] == 0 && m[14] == 0 && m[15] == 1; }
};

// a · b with row vectors: first a, then b.
Mat4 Mul(const Mat4& a, const Mat4& b) {
    Mat4 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[i * 4 + k] * b.m[k * 4 + j];
            r.m[i * 4 + j] = s;
        }
    return r;
}

class Builder {
public:
    Builder(const std::map<std::string, XObj*>& named, XMesh& out) : named_(named), out_(out) {}

    bool Walk(const std::vector<std::unique_ptr<XObj>>& top, std::string& err) {
        for (const auto& o : top) {
            if (IEquals(o->type, "Mesh")) {
                if (!AddMesh(*o, Mat4::Identity(), err)) return false;
            } else if (IEquals(o->type, "Frame")) {
                if (!WalkFrame(*o, Mat4::Identity(), 1, err)) return false;
            }
        }
        return true;
    }

    bool Finish(std::string& err);

private:
    const XObj* Resolve(const XObj& parent, int order, std::string& err) const {
        if (order >= 0) return parent.children[order].get();
        const std::string& name = parent.refs[-1 - order];
        auto it = named_.find(name);
        if (it == named_.end()) {
            err = "reference to unknown object '" + name + "' in '" + parent.type + "'";
            return nullptr;
        }
        return it->second;
    }

    bool WalkFrame(const XObj& frame, Mat4 current, int depth, std::string& err) {
        if (depth > kMaxDepth) { err = "frames nested too deeply"; return false; }
        if (++visits_ > kMaxVisits) { err = "frames refer to each other too often"; return false; }
        for (int ord : frame.order) {
            const XObj* c = Resolve(frame, ord, err);
            if (!c) return false;
            if (IEquals(c->type, "FrameTransformMatrix")) {
                if (c->nums.size() < 16) { err = "FrameTransformMatrix in frame '" + frame.name + "' has fewer than 16 numbers"; return false; }
                Mat4 m;
                for (int i = 0; i < 16; ++i) m.m[i] = c->nums[i].f;
                current = Mul(m, current);
            } else if (IEquals(c->type, "Frame")) {
                if (!WalkFrame(*c, current, depth + 1, err)) return false;
            } else if (IEquals(c->type, "Mesh")) {
                if (++visits_ > kMaxVisits) { err = "frames refer to each other too often"; return false; }
                if (!AddMesh(*c, current, err)) return false;
            }
        }
        return true;
    }

    bool ReadMaterial(const XObj& m, XMaterial& out, std::string& err) const;
    bool AddMesh(const XObj& mesh, const Mat4& transform, std::string& err);

    const std::map<std::string, XObj*>& named_;
    XMesh& out_;
    // Frames and meshes may be reached through references; this bounds the walk.
    static constexpr size_t kMaxVisits = 100000;
    size_t visits_ = 0;
    bool anyMaterialList_ = false;
    bool anyWithoutList_ = false;
    static constexpr uint32_t kNoMaterial = 0xFFFFFFFFu;
};

// Reads numbers of an object in sequence, checking that each one is there.
class NumReader {
public:
    NumReader(const XObj& o, std::string& err) : o_(o), err_(err) {}
    size_t Left() const { return o_.nums.size() - pos_; }
    bool Count(uint32_t& v, const char* what) {
        if (!Need(1, what)) return false;
        double d = o_.nums[pos_++].d;
        if (!(d >= 0 && d <= 4294967295.0) || d != std::floor(d)) return Bad(what, "is not a count");
        v = static_cast<uint32_t>(d);
        return true;
    }
    bool Floats(float* dst, size_t n, const char* what) {
        if (!Need(n, what)) return false;
        for (size_t i = 0; i < n; ++i) dst[i] = o_.nums[pos_++].f;
        return true;
    }
    bool Need(size_t n, const char* what) {
        if (Left() < n) return Bad(what, "is missing (object truncated)");
        return true;
    }
    bool Bad(const char* what, const char* why) {
        err_ = std::string("'") + o_.type + (o_.name.empty() ? "" : " " + o_.name) + "': " + what + " " + why;
        return false;
    }

private:
    const XObj& o_;
    std::string& err_;
    size_t pos_ = 0;
};

// Polygon lists (Mesh faces, MeshNormals faces): per face its corner indices.
bool ReadFaces(NumReader& r, uint32_t limit, std::vector<uint32_t>& starts, std::vector<uint32_t>& corners,
               const char* what) {
    uint32_t nFaces = 0;
    if (!r.Count(nFaces, what)) return false;
    if (nFaces > r.Left()) return r.Need(static_cast<size_t>(nFaces) + 1, "face list");
    starts.clear();
    corners.clear();
    starts.reserve(nFaces + 1);
    for (uint32_t f = 0; f < nFaces; ++f) {
        starts.push_back(static_cast<uint32_t>(corners.size()));
        uint32_t k = 0;
        if (!r.Count(k, "face corner count")) return false;
        if (k < 3) return r.Bad("face", "has fewer than 3 corners");
        if (k > r.Left()) return r.Need(k, "face corner list");
        for (uint32_t i = 0; i < k; ++i) {
            uint32_t idx = 0;
            if (!r.Count(idx, "face index")) return false;
            if (idx >= limit) return r.Bad("face index", "is out of range");
            corners.push_back(idx);
        }
    }
    starts.push_back(static_cast<uint32_t>(corners.size()));
    return true;
}

bool Builder::ReadMaterial(const XObj& m, XMaterial& out, std::string& err) const {
    NumReader r(m, err);
    out = XMaterial();
    if (!r.Floats(out.diffuse, 4, "faceColor") || !r.Floats(&out.power, 1, "power") ||
        !r.Floats(out.specular, 3, "specularColor") || !r.Floats(out.emissive, 3, "emissiveColor"))
        return false;
    out.specular[3] = 1;
    out.emissive[3] = 1;
    for (int ord : m.order) {
        const XObj* c = Resolve(m, ord, err);
        if (!c) return false;
        if (IEquals(c->type, "TextureFilename") || IEquals(c->type, "TextureFileName")) {
            if (c->strings.empty()) { err = "TextureFilename without a file name"; return false; }
            out.textureFile = c->strings[0];
        }
    }
    return true;
}

bool Builder::AddMesh(const XObj& mesh, const Mat4& transform, std::string& err) {
    NumReader r(mesh, err);
    uint32_t nVerts = 0;
    if (!r.Count(nVerts, "vertex count")) return false;
    if (nVerts > r.Left() / 3) return r.Need(static_cast<size_t>(nVerts) * 3, "vertex list");
    std::vector<float> pos(static_cast<size_t>(nVerts) * 3);
    if (!r.Floats(pos.data(), pos.size(), "vertex list")) return false;
    std::vector<uint32_t> faceStart, corners;
    if (!ReadFaces(r, nVerts, faceStart, corners, "face count")) return false;
    const size_t nFaces = faceStart.size() - 1;

    // Optional children.
    const XObj *normalsObj = nullptr, *uvObj = nullptr, *matObj = nullptr, *colorObj = nullptr;
    for (int ord : mesh.order) {
        const XObj* c = Resolve(mesh, ord, err);
        if (!c) return false;
        if (IEquals(c->type, "MeshNormals")) { if (!normalsObj) normalsObj = c; }
        else if (IEquals(c->type, "MeshTextureCoords")) { if (!uvObj) uvObj = c; }
        else if (IEquals(c->type, "MeshMaterialList")) { if (!matObj) matObj = c; }
        else if (IEquals(c->type, "MeshVertexColors")) { if (!colorObj) colorObj = c; }
    }

    std::vector<float> normals;
    std::vector<uint32_t> nFaceStart, nCorners;
    if (normalsObj) {
        NumReader n(*normalsObj, err);
        uint32_t count = 0;
        if (!n.Count(count, "normal count")) return false;
        if (count > n.Left() / 3) return n.Need(static_cast<size_t>(count) * 3, "normal list");
        normals.resize(static_cast<size_t>(count) * 3);
        if (!n.Floats(normals.data(), normals.size(), "normal list")) return false;
        if (!ReadFaces(n, count, nFaceStart, nCorners, "normal face count")) return false;
        if (nFaceStart.size() != faceStart.size()) return n.Bad("normal face count", "differs from the mesh's face count");
        for (size_t f = 0; f < nFaces; ++f)
            if (nFaceStart[f + 1] - nFaceStart[f] != faceStart[f + 1] - faceStart[f])
                return n.Bad("normal face", "has a different corner count than its mesh face");
    }
    std::vector<float> uvs;
    if (uvObj) {
        NumReader u(*uvObj, err);
        uint32_t count = 0;
        if (!u.Count(count, "texture coordinate count")) return false;
        if (count != nVerts) return u.Bad("texture coordinate count", "differs from the vertex count");
        if (count > u.Left() / 2) return u.Need(static_cast<size_t>(count) * 2, "texture coordinate list");
        uvs.resize(static_cast<size_t>(count) * 2);
        if (!u.Floats(uvs.data(), uvs.size(), "texture coordinate list")) return false;
    }
    std::vector<uint32_t> colors;
    if (colorObj) {
        NumReader c(*colorObj, err);
        uint32_t count = 0;
        if (!c.Count(count, "vertex colour count")) return false;
        if (count > c.Left() / 5) return c.Need(static_cast<size_t>(count) * 5, "vertex colour list");
        colors.assign(nVerts, 0xFFFFFFFFu);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t idx = 0;
            float rgba[4];
            if (!c.Count(idx, "vertex colour index") || !c.Floats(rgba, 4, "vertex colour")) return false;
            if (idx >= nVerts) return c.Bad("vertex colour index", "is out of range");
            auto ch = [](float x) -> uint32_t {
                if (!(x > 0)) return 0;
                if (x >= 1) return 255;
                return static_cast<uint32_t>(std::floor(x * 255.0f + 0.5f));
            };
            colors[idx] = (ch(rgba[3]) << 24) | (ch(rgba[0]) << 16) | (ch(rgba[1]) << 8) | ch(rgba[2]);
        }
    }
    std::vector<uint32_t> faceMat(nFaces, kNoMaterial);
    uint32_t matBase = static_cast<uint32_t>(out_.materials.size());
    if (matObj) {
        NumReader m(*matObj, err);
        uint32_t nMats = 0, nIdx = 0;
        if (!m.Count(nMats, "material count") || !m.Count(nIdx, "face index count")) return false;
        if (nIdx > m.Left()) return m.Need(nIdx, "face index list");
        std::vector<uint32_t> idx(nIdx);
        for (uint32_t i = 0; i < nIdx; ++i)
            if (!m.Count(idx[i], "face material index")) return false;
        std::vector<XMaterial> mats;
        for (int ord : matObj->order) {
            const XObj* c = Resolve(*matObj, ord, err);
            if (!c) return false;
            if (!IEquals(c->type, "Material")) continue;
            XMaterial xm;
            if (!ReadMaterial(*c, xm, err)) return false;
            mats.push_back(xm);
        }
        if (nMats > 0) {
            if (mats.size() != nMats)
                return m.Bad("material count", ("is " + std::to_string(nMats) + " but " + std::to_string(mats.size()) + " materials follow").c_str());
            if (nIdx == 0 && nFaces > 0) return m.Bad("face index count", "is 0");
            for (size_t f = 0; f < nFaces; ++f) {
                // A short list repeats its last index for the remaining faces.
                uint32_t v = idx[std::min<size_t>(f, nIdx - 1)];
                if (v >= nMats) return m.Bad("face material index", "is out of range");
                faceMat[f] = matBase + v;
            }
            out_.materials.insert(out_.materials.end(), mats.begin(), mats.end());
            anyMaterialList_ = true;
        }
    }
    if (faceMat.size() && faceMat[0] == kNoMaterial) anyWithoutList_ = true;

    // Vertices: one per position, plus copies where a position meets a second normal.
    const uint32_t base = static_cast<uint32_t>(out_.vertices.size());
    std::vector<uint32_t> slot(corners.size());
    std::vector<uint32_t> extraSrc;  // source position of each appended copy
    std::vector<uint32_t> extraNormal;
    std::vector<int64_t> normalOf(nVerts, -1);
    if (normalsObj) {
        std::vector<std::vector<uint32_t>> copies(nVerts);  // indices into extraSrc
        auto same = [&](uint32_t a, uint32_t b) {
            return a == b || std::memcmp(&normals[a * 3], &normals[b * 3], 3 * sizeof(float)) == 0;
        };
        for (size_t i = 0; i < corners.size(); ++i) {
            uint32_t v = corners[i], n = nCorners[i];
            if (normalOf[v] < 0) { normalOf[v] = n; slot[i] = v; continue; }
            if (same(static_cast<uint32_t>(normalOf[v]), n)) { slot[i] = v; continue; }
            bool found = false;
            for (uint32_t e : copies[v])
                if (same(extraNormal[e], n)) { slot[i] = nVerts + e; found = true; break; }
            if (found) continue;
            copies[v].push_back(static_cast<uint32_t>(extraSrc.size()));
            slot[i] = nVerts + static_cast<uint32_t>(extraSrc.size());
            extraSrc.push_back(v);
            extraNormal.push_back(n);
        }
    } else {
        slot = corners;
    }

    const bool moved = !transform.IsIdentity();
    const bool turned = !transform.IsIdentity3x3();
    // Normals go through the inverse transpose of the upper 3x3 and are renormalised.
    double nm[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (turned) {
        const double* a = transform.m;
        double c00 = a[5] * a[10] - a[6] * a[9], c01 = a[6] * a[8] - a[4] * a[10], c02 = a[4] * a[9] - a[5] * a[8];
        double c10 = a[2] * a[9] - a[1] * a[10], c11 = a[0] * a[10] - a[2] * a[8], c12 = a[1] * a[8] - a[0] * a[9];
        double c20 = a[1] * a[6] - a[2] * a[5], c21 = a[2] * a[4] - a[0] * a[6], c22 = a[0] * a[5] - a[1] * a[4];
        double det = a[0] * c00 + a[1] * c01 + a[2] * c02;
        if (det != 0) {
            // inverse transpose = cofactor matrix / det
            double inv = 1.0 / det;
            double t[9] = {c00, c01, c02, c10, c11, c12, c20, c21, c22};
            for (int i = 0; i < 9; ++i) nm[i] = t[i] * inv;
        }
    }
    const size_t total = static_cast<size_t>(nVerts) + extraSrc.size();
    size_t tris = 0;
    for (size_t f = 0; f < nFaces; ++f) tris += faceStart[f + 1] - faceStart[f] - 2;
    if (out_.vertices.size() + total > kMaxElements || out_.attributes.size() + tris > kMaxElements) {
        err = "merged mesh exceeds " + std::to_string(kMaxElements) + " vertices or triangles";
        return false;
    }
    for (size_t i = 0; i < total; ++i) {
        uint32_t src = i < nVerts ? static_cast<uint32_t>(i) : extraSrc[i - nVerts];
        XVertex v;
        const float* p = &pos[src * 3];
        if (moved) {
            const double* m = transform.m;
            double x = p[0] * m[0] + p[1] * m[4] + p[2] * m[8] + m[12];
            double y = p[0] * m[1] + p[1] * m[5] + p[2] * m[9] + m[13];
            double z = p[0] * m[2] + p[1] * m[6] + p[2] * m[10] + m[14];
            double w = p[0] * m[3] + p[1] * m[7] + p[2] * m[11] + m[15];
            if (w != 1 && w != 0) { x /= w; y /= w; z /= w; }
            v.pos[0] = static_cast<float>(x); v.pos[1] = static_cast<float>(y); v.pos[2] = static_cast<float>(z);
        } else {
            std::memcpy(v.pos, p, sizeof v.pos);
        }
        int64_t ni = i < nVerts ? normalOf[i] : extraNormal[i - nVerts];
        if (ni >= 0) {
            const float* n = &normals[static_cast<size_t>(ni) * 3];
            if (turned) {
                double x = n[0] * nm[0] + n[1] * nm[3] + n[2] * nm[6];
                double y = n[0] * nm[1] + n[1] * nm[4] + n[2] * nm[7];
                double z = n[0] * nm[2] + n[1] * nm[5] + n[2] * nm[8];
                double len = std::sqrt(x * x + y * y + z * z);
                if (len > 0) { x /= len; y /= len; z /= len; }
                v.normal[0] = static_cast<float>(x); v.normal[1] = static_cast<float>(y); v.normal[2] = static_cast<float>(z);
            } else {
                std::memcpy(v.normal, n, sizeof v.normal);
            }
        }
        if (!uvs.empty()) { v.uv[0] = uvs[src * 2]; v.uv[1] = uvs[src * 2 + 1]; }
        if (!colors.empty()) v.color = colors[src];
        out_.vertices.push_back(v);
    }
    if (normalsObj) out_.hasNormals = true;
    if (uvObj) out_.hasTexCoords = true;
    if (colorObj) out_.hasColors = true;

    // Triangle fans, keeping each polygon's winding.
    for (size_t f = 0; f < nFaces; ++f) {
        for (uint32_t k = faceStart[f] + 2; k < faceStart[f + 1]; ++k) {
            out_.indices.push_back(base + slot[faceStart[f]]);
            out_.indices.push_back(base + slot[k - 1]);
            out_.indices.push_back(base + slot[k]);
            out_.attributes.push_back(faceMat[f]);
        }
    }
    return true;
}

bool Builder::Finish(std::string& err) {
    if (out_.vertices.empty() && out_.indices.empty()) { err = "the file holds no mesh"; return false; }
    if (out_.indices.empty()) { err = "the meshes of the file have no faces"; return false; }
    // Faces of meshes without a material list use one default material, appended last.
    if (!anyMaterialList_ || anyWithoutList_) {
        uint32_t def = static_cast<uint32_t>(out_.materials.size());
        bool used = false;
        for (uint32_t& a : out_.attributes)
            if (a == kNoMaterial) { a = def; used = true; }
        if (used || out_.materials.empty()) out_.materials.push_back(DefaultXMaterial());
    }
    // Group triangles by material, keeping file order within a material.
    const size_t nTri = out_.attributes.size();
    std::vector<uint32_t> order(nTri);
    for (size_t i = 0; i < nTri; ++i) order[i] = static_cast<uint32_t>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return out_.attributes[a] < out_.attributes[b]; });
    std::vector<uint32_t> idx(nTri * 3), attr(nTri);
    for (size_t i = 0; i < nTri; ++i) {
        attr[i] = out_.attributes[order[i]];
        for (int k = 0; k < 3; ++k) idx[i * 3 + k] = out_.indices[order[i] * 3 + k];
    }
    out_.indices.swap(idx);
    out_.attributes.swap(attr);
    out_.subsets.clear();
    for (size_t i = 0; i < nTri;) {
        size_t j = i;
        uint32_t lo = UINT32_MAX, hi = 0;
        while (j < nTri && out_.attributes[j] == out_.attributes[i]) {
            for (int k = 0; k < 3; ++k) {
                lo = std::min(lo, out_.indices[j * 3 + k]);
                hi = std::max(hi, out_.indices[j * 3 + k]);
            }
            ++j;
        }
        XSubset s;
        s.attribId = out_.attributes[i];
        s.faceStart = static_cast<uint32_t>(i);
        s.faceCount = static_cast<uint32_t>(j - i);
        s.vertexStart = lo;
        s.vertexCount = hi - lo + 1;
        out_.subsets.push_back(s);
        i = j;
    }
    return true;
}

}  // namespace

XMaterial DefaultXMaterial() {
    XMaterial m;
    for (int i = 0; i < 3; ++i) { m.diffuse[i] = 0.5f; m.specular[i] = 0.5f; }
    m.diffuse[3] = 0;
    m.specular[3] = 0;
    m.ambient[3] = 0;
    m.emissive[3] = 0;
    m.power = 0;
    return m;
}

bool ReadXFile(const uint8_t* data, size_t size, XMesh& out, std::string& err) {
    out = XMesh();
    if (!data || size < 16) { err = "file too short for an .x header"; return false; }
    if (std::memcmp(data, "xof ", 4) != 0) { err = "not an .x file (no 'xof ' magic)"; return false; }
    for (int i = 4; i < 8; ++i)
        if (data[i] < '0' || data[i] > '9') { err = "bad .x version field"; return false; }
    bool text, compressed = false;
    if (std::memcmp(data + 8, "txt ", 4) == 0) text = true;
    else if (std::memcmp(data + 8, "bin ", 4) == 0) text = false;
    else if (std::memcmp(data + 8, "tzip", 4) == 0) { text = true; compressed = true; }
    else if (std::memcmp(data + 8, "bzip", 4) == 0) { text = false; compressed = true; }
    else { err = "unknown .x format '" + std::string(reinterpret_cast<const char*>(data + 8), 4) + "'"; return false; }
    bool doubles;
    if (std::memcmp(data + 12, "0032", 4) == 0) doubles = false;
    else if (std::memcmp(data + 12, "0064", 4) == 0) doubles = true;
    else { err = "unknown .x float size"; return false; }

    std::vector<uint8_t> inflated;
    const uint8_t* body = data + 16;
    size_t bodySize = size - 16;
    if (compressed) {
        if (!Inflate(body, bodySize, inflated, err)) return false;
        body = inflated.data();
        bodySize = inflated.size();
    }
    std::unique_ptr<Lexer> lex;
    if (text) lex = std::make_unique<TextLexer>(reinterpret_cast<const char*>(body), bodySize);
    else lex = std::make_unique<BinaryLexer>(body, bodySize, doubles, compressed ? 0 : 16);

    std::vector<std::unique_ptr<XObj>> top;
    Parser parser(*lex);
    if (!parser.ParseFile(top, err)) { out = XMesh(); return false; }
    if (top.empty()) { err = "the file holds no data objects"; return false; }
    Builder b(parser.named, out);
    if (!b.Walk(top, err) || !b.Finish(err)) { out = XMesh(); return false; }
    return true;
}

}  // namespace core
