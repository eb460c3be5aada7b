// The text form of tree files: writing it from records and compiling it back.
// Grammar (README.md beside this file has the full description):
//   text   := node*
//   node   := name [ '[' attr* ']' ] [ '{' node* '}' ]      braces make a knot
//   name   := bare word | '"' quoted bytes with escapes '"'
//   attr   := flag=N | params=N | knots=N
// '#' starts a comment that runs to the end of the line.
#include <string>

#include "tools/drtool/tree_records.h"

namespace drtool {

namespace {

// Bytes a name may hold without quotes. Everything else (space, quotes, backslash, braces,
// brackets, '#', control bytes, bytes above 127) forces the quoted form in a dump.
bool IsBareByte(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '_': case '.': case '-': case '+': case ':': case '/': case ',': case ';':
        case '!': case '?': case '@': case '$': case '%': case '&': case '*': case '(':
        case ')': case '<': case '>': case '|': case '^': case '~': case '=': case '\'':
        case '`':
            return true;
        default:
            return false;
    }
}

const char kHex[] = "0123456789ABCDEF";
constexpr uint32_t kMaxIndent = 64;

// Children of each record by kind, as the nesting of the list gives them.
void CountChildren(const std::vector<Record>& recs, std::vector<size_t>& params,
                   std::vector<size_t>& knots) {
    params.assign(recs.size(), 0);
    knots.assign(recs.size(), 0);
    std::vector<size_t> open;  // indices of enclosing knots
    for (size_t i = 0; i < recs.size(); ++i) {
        while (!open.empty() && recs[open.back()].depth >= recs[i].depth) open.pop_back();
        if (!open.empty()) (recs[i].flag ? knots : params)[open.back()]++;
        if (recs[i].flag) open.push_back(i);
    }
}

}  // namespace

std::string QuoteName(const std::string& name) {
    bool bare = !name.empty();
    for (unsigned char c : name)
        if (!IsBareByte(c)) { bare = false; break; }
    if (bare) return name;
    std::string out = "\"";
    for (unsigned char c : name) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out.push_back(static_cast<char>(c));
                } else {
                    out += "\\x";
                    out.push_back(kHex[c >> 4]);
                    out.push_back(kHex[c & 15]);
                }
        }
    }
    out += "\"";
    return out;
}

std::string DumpText(const std::vector<Record>& recs) {
    std::vector<size_t> cp, ck;
    CountChildren(recs, cp, ck);
    std::string out;
    std::vector<uint32_t> open;  // depths of knots whose closing brace is still due
    // Four spaces a level, up to kMaxIndent levels, so a very deep file stays a linear dump.
    auto indent = [&](uint32_t depth) {
        out.append(static_cast<size_t>(depth < kMaxIndent ? depth : kMaxIndent) * 4, ' ');
    };
    auto closeTo = [&](uint32_t depth) {
        while (!open.empty() && open.back() >= depth) {
            indent(open.back());
            out += "}\n";
            open.pop_back();
        }
    };
    for (size_t i = 0; i < recs.size(); ++i) {
        const Record& r = recs[i];
        closeTo(r.depth);
        indent(r.depth);
        out += QuoteName(r.name);
        size_t children = cp[i] + ck[i];
        std::string attrs;
        if (r.flag > 1) attrs += "flag=" + std::to_string(r.flag);
        bool statedCounts;
        if (r.flag == 0) {
            statedCounts = r.params != 0 || r.knots != 0;
        } else {
            // Counts that differ from the nesting are kept when they still add up to the
            // children that follow. When they promise more (a file cut short), the children
            // that were read decide, so the text compiles to a file that loads.
            bool differ = r.params != cp[i] || r.knots != ck[i];
            statedCounts = differ && static_cast<uint16_t>(r.params + r.knots) == children;
        }
        if (statedCounts) {
            if (!attrs.empty()) attrs += ' ';
            attrs += "params=" + std::to_string(r.params) + " knots=" + std::to_string(r.knots);
        }
        if (!attrs.empty()) out += " [" + attrs + "]";
        if (r.flag == 0) {
            out += '\n';
        } else if (children == 0) {
            out += " {}\n";
        } else {
            out += " {\n";
            open.push_back(r.depth);
        }
    }
    closeTo(0);
    return out;
}

namespace {

// Compiles text; keeps the position for error messages.
class TextParser {
public:
    TextParser(const char* text, size_t size)
        : p_(reinterpret_cast<const unsigned char*>(text)), size_(size) {}

    ParseResult Run();

private:
    struct OpenKnot {
        size_t index;             // record index
        size_t params = 0;        // param children seen so far
        size_t knots = 0;         // knot children seen so far
        bool stated = false;      // counts given in the text
        size_t line = 0, column = 0;
    };
    struct Attrs {
        int flag = -1;            // -1 when not given
        long params = -1, knots = -1;
    };

    bool AtEnd() const { return pos_ >= size_; }
    unsigned char Peek() const { return p_[pos_]; }
    void Advance() {
        if (p_[pos_] == '\n') { ++line_; col_ = 1; } else { ++col_; }
        ++pos_;
    }
    void SkipBlank();
    bool Fail(size_t line, size_t col, std::string why) {
        res_.ok = false;
        res_.line = line;
        res_.column = col;
        res_.error = std::move(why);
        return false;
    }
    bool ReadName(std::string& name);
    bool ReadQuoted(std::string& name);
    bool ReadAttrs(Attrs& a);
    bool ReadNumber(long max, long& value);
    bool CloseKnot();

    const unsigned char* p_;
    size_t size_;
    size_t pos_ = 0;
    size_t line_ = 1, col_ = 1;
    std::vector<OpenKnot> open_;
    ParseResult res_;
};

void TextParser::SkipBlank() {
    while (!AtEnd()) {
        unsigned char c = Peek();
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            Advance();
        } else if (c == '#') {
            while (!AtEnd() && Peek() != '\n') Advance();
        } else {
            return;
        }
    }
}

bool TextParser::ReadQuoted(std::string& name) {
    size_t line = line_, col = col_;
    Advance();  // opening quote
    for (;;) {
        if (AtEnd()) return Fail(line, col, "quoted name is not closed");
        unsigned char c = Peek();
        if (c == '"') { Advance(); return true; }
        if (c == '\n') return Fail(line, col, "quoted name is not closed on its line");
        if (c < 0x20 || c == 0x7F)
            return Fail(line_, col_, "raw control byte in a quoted name; write it as \\xHH");
        if (c != '\\') {
            name.push_back(static_cast<char>(c));
            Advance();
            continue;
        }
        size_t eline = line_, ecol = col_;
        Advance();
        if (AtEnd()) return Fail(line, col, "quoted name is not closed");
        c = Peek();
        Advance();
        switch (c) {
            case '"': name.push_back('"'); break;
            case '\\': name.push_back('\\'); break;
            case 'n': name.push_back('\n'); break;
            case 'r': name.push_back('\r'); break;
            case 't': name.push_back('\t'); break;
            case 'x': {
                int v = 0;
                for (int k = 0; k < 2; ++k) {
                    int d = -1;
                    if (!AtEnd()) {
                        unsigned char h = Peek();
                        if (h >= '0' && h <= '9') d = h - '0';
                        else if (h >= 'a' && h <= 'f') d = h - 'a' + 10;
                        else if (h >= 'A' && h <= 'F') d = h - 'A' + 10;
                    }
                    if (d < 0) return Fail(eline, ecol, "\\x needs two hex digits");
                    v = v * 16 + d;
                    Advance();
                }
                name.push_back(static_cast<char>(v));
                break;
            }
            default:
                return Fail(eline, ecol, "unknown escape; use \\\" \\\\ \\n \\r \\t or \\xHH");
        }
    }
}

bool TextParser::ReadName(std::string& name) {
    unsigned char c = Peek();
    if (c == '"') {
        if (!ReadQuoted(name)) return false;
        if (!AtEnd() && (Peek() == '"' || IsBareByte(Peek()) || Peek() >= 0x80))
            return Fail(line_, col_, "a quoted name must end where its quote closes");
        return true;
    }
    // Bytes above 127 are taken as they are, so text typed in a single-byte code page works.
    while (!AtEnd() && (IsBareByte(Peek()) || Peek() >= 0x80)) {
        name.push_back(static_cast<char>(Peek()));
        Advance();
    }
    if (!AtEnd() && Peek() == '"')
        return Fail(line_, col_, "quote inside a bare name; quote the whole name");
    if (name.empty()) {
        std::string what = c >= 0x20 && c < 0x7F ? std::string("'") + static_cast<char>(c) + "'"
                                                  : "byte 0x" + std::string(1, kHex[c >> 4]) +
                                                        kHex[c & 15];
        return Fail(line_, col_, "unexpected " + what + "; a node starts with a name");
    }
    return true;
}

bool TextParser::ReadNumber(long max, long& value) {
    size_t line = line_, col = col_;
    value = 0;
    bool any = false;
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
        value = value * 10 + (Peek() - '0');
        if (value > max) return Fail(line, col, "number above " + std::to_string(max));
        any = true;
        Advance();
    }
    if (!any) return Fail(line, col, "number expected");
    return true;
}

bool TextParser::ReadAttrs(Attrs& a) {
    size_t line0 = line_, col0 = col_;
    Advance();  // '['
    for (;;) {
        SkipBlank();
        if (AtEnd()) return Fail(line_, col_, "'[' is not closed");
        if (Peek() == ']') { Advance(); break; }
        size_t line = line_, col = col_;
        std::string key;
        while (!AtEnd() && Peek() >= 'a' && Peek() <= 'z') {
            key.push_back(static_cast<char>(Peek()));
            Advance();
        }
        if (AtEnd() || Peek() != '=' || (key != "flag" && key != "params" && key != "knots"))
            return Fail(line, col, "expected flag=N, params=N or knots=N");
        Advance();
        long v = 0;
        if (key == "flag") {
            if (a.flag >= 0) return Fail(line, col, "flag given twice");
            if (!ReadNumber(255, v)) return false;
            a.flag = static_cast<int>(v);
        } else {
            long& slot = key == "params" ? a.params : a.knots;
            if (slot >= 0) return Fail(line, col, key + " given twice");
            if (!ReadNumber(65535, v)) return false;
            slot = v;
        }
    }
    if ((a.params >= 0) != (a.knots >= 0))
        return Fail(line0, col0, "params= and knots= go together");
    return true;
}

bool TextParser::CloseKnot() {
    OpenKnot& k = open_.back();
    Record& r = res_.records[k.index];
    size_t children = k.params + k.knots;
    if (k.stated) {
        if (static_cast<uint16_t>(r.params + r.knots) != children)
            return Fail(k.line, k.column,
                        "stated params=" + std::to_string(r.params) + " knots=" +
                            std::to_string(r.knots) + " do not add up to its " +
                            std::to_string(children) + " children");
    } else {
        if (children > 65535)
            return Fail(k.line, k.column,
                        "knot has " + std::to_string(children) + " children; a file holds 65535 at most");
        r.params = static_cast<uint16_t>(k.params);
        r.knots = static_cast<uint16_t>(k.knots);
    }
    open_.pop_back();
    return true;
}

ParseResult TextParser::Run() {
    // A byte order mark that an editor may put first is not part of the first name.
    if (size_ >= 3 && p_[0] == 0xEF && p_[1] == 0xBB && p_[2] == 0xBF) pos_ = 3;
    for (;;) {
        SkipBlank();
        if (AtEnd()) break;
        unsigned char c = Peek();
        if (c == '}') {
            if (open_.empty()) { Fail(line_, col_, "'}' without an open knot"); break; }
            Advance();
            if (!CloseKnot()) break;
            continue;
        }
        if (c == '{' || c == '[' || c == ']') {
            Fail(line_, col_, std::string("'") + static_cast<char>(c) + "' must follow a name");
            break;
        }
        size_t line = line_, col = col_;
        Record rec;
        if (!ReadName(rec.name)) break;
        if (rec.name.size() > kMaxName) {
            Fail(line, col, "name is " + std::to_string(rec.name.size()) +
                                " bytes; a file can load " + std::to_string(kMaxName) + " at most");
            break;
        }
        rec.depth = static_cast<uint32_t>(open_.size());
        SkipBlank();
        Attrs a;
        if (!AtEnd() && Peek() == '[') {
            if (!ReadAttrs(a)) break;
            SkipBlank();
        }
        bool knot = !AtEnd() && Peek() == '{';
        if (knot && a.flag == 0) { Fail(line, col, "a knot's flag cannot be 0"); break; }
        if (!knot && a.flag > 0) { Fail(line, col, "a flag above 0 makes a knot; add braces"); break; }
        rec.flag = static_cast<uint8_t>(knot ? (a.flag > 0 ? a.flag : 1) : 0);
        if (a.params >= 0) {
            rec.params = static_cast<uint16_t>(a.params);
            rec.knots = static_cast<uint16_t>(a.knots);
        }
        if (!open_.empty()) (knot ? open_.back().knots : open_.back().params)++;
        res_.records.push_back(std::move(rec));
        if (knot) {
            Advance();  // '{'
            OpenKnot k;
            k.index = res_.records.size() - 1;
            k.stated = a.params >= 0;
            k.line = line;
            k.column = col;
            open_.push_back(k);
        }
    }
    if (res_.ok && !open_.empty()) {
        const OpenKnot& k = open_.back();
        Fail(k.line, k.column, "knot " + QuoteName(res_.records[k.index].name) + " is not closed with '}'");
    }
    if (!res_.ok) res_.records.clear();
    return std::move(res_);
}

}  // namespace

ParseResult ParseText(const char* text, size_t size) {
    return TextParser(text, size).Run();
}

}  // namespace drtool
