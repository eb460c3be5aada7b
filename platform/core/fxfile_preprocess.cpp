// Effect preprocessor: each file is cut into logical lines (continuations joined, comments
// blanked, the physical line count kept); directive lines are obeyed, runs of other lines are
// macro-expanded as one token stream, so that a macro call may span lines. Expansion follows
// the C rules with hide sets: a macro's own name is not expanded again inside its expansion.
#include "platform/core/fxfile_preprocess.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "platform/core/fxfile.h"

namespace core {

namespace {

const int kMaxIncludeDepth = 32;
const size_t kMaxIncludes = 1024;
const size_t kMaxOutput = size_t(16) << 20;   // runaway expansion guards
const long long kMaxSteps = 1000000;
const int kMaxArgumentNesting = 256;   // parentheses within one macro call's arguments

bool IsIdStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdChar(char c) { return IsIdStart(c) || IsDigit(c); }

struct LLine {
    std::string text;
    int line = 1;    // first physical line
    int count = 1;   // physical lines it spans
};

// Logical lines of `src`; false (with the line) for a comment left open.
bool SplitLines(const std::string& src, std::vector<LLine>& out, int& badLine) {
    size_t i = 0, n = src.size();
    if (n >= 3 && src.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
    int line = 1;
    LLine cur;
    cur.line = 1;
    cur.count = 1;
    char quote = 0;
    while (i < n) {
        char c = src[i];
        if (c == '\r') { ++i; continue; }
        if (c == '\\' && i + 1 < n && (src[i + 1] == '\n' || (src[i + 1] == '\r' && i + 2 < n && src[i + 2] == '\n'))) {
            i += src[i + 1] == '\n' ? 2 : 3;
            ++line;
            ++cur.count;
            continue;
        }
        if (c == '\n') {
            out.push_back(cur);
            ++line;
            cur = LLine();
            cur.line = line;
            quote = 0;
            ++i;
            continue;
        }
        if (quote) {
            cur.text += c;
            if (c == '\\' && i + 1 < n && src[i + 1] != '\n') { cur.text += src[i + 1]; i += 2; continue; }
            if (c == quote) quote = 0;
            ++i;
            continue;
        }
        if (c == '"' || c == '\'') { quote = c; cur.text += c; ++i; continue; }
        if (c == '/' && i + 1 < n && src[i + 1] == '/') {
            while (i < n && src[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && src[i + 1] == '*') {
            int start = line;
            i += 2;
            while (i + 1 < n && !(src[i] == '*' && src[i + 1] == '/')) {
                if (src[i] == '\n') { ++line; ++cur.count; }
                ++i;
            }
            if (i + 1 >= n) { badLine = start; return false; }
            i += 2;
            cur.text += ' ';
            continue;
        }
        cur.text += c;
        ++i;
    }
    if (!cur.text.empty() || cur.count > 1) out.push_back(cur);   // a last line without '\n'
    return true;
}

struct Tok {
    enum Kind { Ident, Number, String, Punct, Space, Newline } k = Space;
    std::string text;
    std::vector<int> hs;   // macros this token came out of (sorted)
};

void Lex(const std::string& s, std::vector<Tok>& out) {
    size_t i = 0, n = s.size();
    while (i < n) {
        Tok t;
        size_t b = i;
        char c = s[i];
        if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
            while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\f' || s[i] == '\v')) ++i;
            t.k = Tok::Space;
            t.text = " ";
            out.push_back(t);
            continue;
        }
        if (IsIdStart(c)) {
            while (i < n && IsIdChar(s[i])) ++i;
            t.k = Tok::Ident;
        } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(s[i + 1]))) {
            while (i < n && (IsIdChar(s[i]) || s[i] == '.' ||
                             ((s[i] == '+' || s[i] == '-') && (s[i - 1] == 'e' || s[i - 1] == 'E'))))
                ++i;
            t.k = Tok::Number;
        } else if (c == '"' || c == '\'') {
            ++i;
            while (i < n && s[i] != c) i += (s[i] == '\\' && i + 1 < n) ? 2 : 1;
            if (i < n) ++i;
            t.k = Tok::String;
        } else if (c == '#' && i + 1 < n && s[i + 1] == '#') {
            i += 2;
            t.k = Tok::Punct;
        } else {
            ++i;
            t.k = Tok::Punct;
        }
        t.text = s.substr(b, i - b);
        out.push_back(std::move(t));
    }
}

bool Word(const Tok& t) { return t.k == Tok::Ident || t.k == Tok::Number; }

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// `#if` expressions: integers, C operators, parentheses.
class ExprEval {
public:
    explicit ExprEval(const std::string& s) : s_(s) {}
    bool Run(long long& v, std::string& err) {
        if (!Cond(v)) { err = err_.empty() ? "syntax error in #if expression" : err_; return false; }
        Blank();
        if (p_ != s_.size()) { err = "unexpected '" + s_.substr(p_, 1) + "' in #if expression"; return false; }
        return true;
    }

private:
    void Blank() { while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t')) ++p_; }
    bool Take(const char* op) {
        Blank();
        size_t n = std::char_traits<char>::length(op);
        if (s_.compare(p_, n, op) != 0) return false;
        // "<" is not "<<" or "<="; "&" is not "&&"; "|" is not "||"; "!" is not "!="
        if (n == 1 && p_ + 1 < s_.size()) {
            char a = s_[p_ + 1];
            if ((op[0] == '<' || op[0] == '>') && (a == op[0] || a == '=')) return false;
            if ((op[0] == '&' || op[0] == '|') && a == op[0]) return false;
            if ((op[0] == '!' || op[0] == '=') && a == '=') return false;
        }
        p_ += n;
        return true;
    }
    // Each level of parentheses, unary operators or '?' recurses; the limit keeps a hostile
    // expression from running out of stack.
    static constexpr int kMaxNesting = 256;
    bool Deeper() {
        if (++depth_ <= kMaxNesting) return true;
        err_ = "#if expression nested deeper than " + std::to_string(kMaxNesting) + " levels";
        return false;
    }
    bool Cond(long long& v) {
        bool ok = Deeper() && CondAt(v);
        --depth_;
        return ok;
    }
    bool Unary(long long& v) {
        bool ok = Deeper() && UnaryAt(v);
        --depth_;
        return ok;
    }
    bool CondAt(long long& v) {
        if (!Binary(v, 1)) return false;
        if (Take("?")) {
            long long a, b;
            if (!Cond(a) || !Take(":") || !Cond(b)) return false;
            v = v ? a : b;
        }
        return true;
    }
    bool Binary(long long& v, int level) {
        static const char* const kOps[][4] = {{"||"}, {"&&"}, {"|"}, {"^"}, {"&"}, {"==", "!="},
                                              {"<=", ">=", "<", ">"}, {"<<", ">>"}, {"+", "-"},
                                              {"*", "/", "%"}};
        if (level > 10) return Unary(v);
        if (!Binary(v, level + 1)) return false;
        for (;;) {
            const char* found = nullptr;
            for (const char* op : kOps[level - 1])
                if (op && Take(op)) { found = op; break; }
            if (!found) return true;
            long long r;
            if (!Binary(r, level + 1)) return false;
            std::string o = found;
            if (o == "||") v = v || r;
            else if (o == "&&") v = v && r;
            else if (o == "|") v |= r;
            else if (o == "^") v ^= r;
            else if (o == "&") v &= r;
            else if (o == "==") v = v == r;
            else if (o == "!=") v = v != r;
            else if (o == "<=") v = v <= r;
            else if (o == ">=") v = v >= r;
            else if (o == "<") v = v < r;
            else if (o == ">") v = v > r;
            else if (o == "<<") v = (r >= 0 && r < 63) ? v << r : 0;
            else if (o == ">>") v = (r >= 0 && r < 63) ? v >> r : 0;
            else if (o == "+") v += r;
            else if (o == "-") v -= r;
            else if (o == "*") v *= r;
            else {
                if (r == 0) { err_ = "division by zero in #if expression"; return false; }
                v = o == "/" ? v / r : v % r;
            }
        }
    }
    bool UnaryAt(long long& v) {
        if (Take("!")) { if (!Unary(v)) return false; v = !v; return true; }
        if (Take("~")) { if (!Unary(v)) return false; v = ~v; return true; }
        if (Take("-")) { if (!Unary(v)) return false; v = -v; return true; }
        if (Take("+")) return Unary(v);
        if (Take("(")) return Cond(v) && Take(")");
        Blank();
        if (p_ < s_.size() && IsDigit(s_[p_])) {
            const char* b = s_.c_str() + p_;
            char* e = nullptr;
            v = static_cast<long long>(std::strtoull(b, &e, 0));
            p_ += static_cast<size_t>(e - b);
            while (p_ < s_.size() && (s_[p_] == 'u' || s_[p_] == 'U' || s_[p_] == 'l' || s_[p_] == 'L')) ++p_;
            if (p_ < s_.size() && (IsIdChar(s_[p_]) || s_[p_] == '.')) {
                err_ = "#if expression takes integers only";
                return false;
            }
            return true;
        }
        if (p_ < s_.size() && IsIdStart(s_[p_])) {   // a name no macro gave a value: 0
            size_t b = p_;
            while (p_ < s_.size() && IsIdChar(s_[p_])) ++p_;
            v = s_.compare(b, p_ - b, "true") == 0 ? 1 : 0;
            return true;
        }
        return false;
    }
    const std::string& s_;
    size_t p_ = 0;
    int depth_ = 0;   // Cond and Unary calls open, at most kMaxNesting
    std::string err_;
};

struct Macro {
    int id = 0;
    bool function = false;
    std::vector<std::string> params;
    bool variadic = false;
    std::vector<Tok> body;
};

struct Cond {
    bool parentActive, active, taken, elseSeen;
    int line;
};

class Pre {
public:
    Pre(FxReadFile read, FxPreprocessed& out) : read_(read), out_(out) {}
    Pre(const FxOpenInclude& open, FxPreprocessed& out) : open_(&open), out_(out) {}

    bool Define(const std::string& name, const std::string& value) {
        Macro& m = macros_[name];
        m = Macro();
        m.id = ++nextId_;
        Lex(value, m.body);
        return true;
    }

    bool File(const std::string& text, const std::string& path, int depth) {
        if (depth == 0) root_ = path;
        std::vector<LLine> lines;
        int bad = 0;
        if (!SplitLines(text, lines, bad)) return Fail(path, bad, 1, "X1000", "comment not closed before end of file");
        std::vector<Cond> conds;
        std::vector<Tok> chunk;
        int chunkLine = 1;
        auto Active = [&] { return conds.empty() || conds.back().active; };
        for (const LLine& l : lines) {
            size_t h = l.text.find_first_not_of(" \t");
            bool directive = h != std::string::npos && l.text[h] == '#';
            if (!directive) {
                if (Active()) {
                    if (chunk.empty()) chunkLine = l.line;
                    Lex(l.text, chunk);
                    for (int k = 0; k < l.count; ++k) chunk.push_back(Newline());
                } else {
                    out_.text.append(static_cast<size_t>(l.count), '\n');
                }
                continue;
            }
            if (!chunk.empty() && !Flush(chunk, path, chunkLine)) return false;
            chunk.clear();
            // Directive name and the rest.
            size_t p = h + 1;
            while (p < l.text.size() && (l.text[p] == ' ' || l.text[p] == '\t')) ++p;
            size_t q = p;
            while (q < l.text.size() && IsIdChar(l.text[q])) ++q;
            std::string name = l.text.substr(p, q - p);
            std::string rest = Trim(l.text.substr(q));
            int col = static_cast<int>(h) + 1;
            std::string blank(static_cast<size_t>(l.count), '\n');
            if (name == "if" || name == "ifdef" || name == "ifndef") {
                Cond c{Active(), false, false, false, l.line};
                if (c.parentActive) {
                    bool v = false;
                    if (name == "if") {
                        if (!Eval(rest, path, l.line, col, v)) return false;
                    } else {
                        std::string id = Trim(rest);
                        if (id.empty() || !IsIdStart(id[0]))
                            return Fail(path, l.line, col, "X1000", "#" + name + " needs a macro name");
                        size_t e = 0;
                        while (e < id.size() && IsIdChar(id[e])) ++e;
                        v = macros_.count(id.substr(0, e)) != 0;
                        if (name == "ifndef") v = !v;
                    }
                    c.active = c.taken = v;
                }
                conds.push_back(c);
                out_.text += blank;
                continue;
            }
            if (name == "elif" || name == "else" || name == "endif") {
                if (conds.empty())
                    return Fail(path, l.line, col, "X1000", "#" + name + " without #if");
                Cond& c = conds.back();
                if (name == "endif") {
                    conds.pop_back();
                } else if (c.elseSeen) {
                    return Fail(path, l.line, col, "X1000", "#" + name + " after #else");
                } else if (name == "else") {
                    c.elseSeen = true;
                    c.active = c.parentActive && !c.taken;
                    c.taken = true;
                } else {
                    bool v = false;
                    if (c.parentActive && !c.taken && !Eval(rest, path, l.line, col, v)) return false;
                    c.active = c.parentActive && !c.taken && v;
                    c.taken = c.taken || c.active;
                }
                out_.text += blank;
                continue;
            }
            if (!Active()) {
                out_.text += blank;
                continue;
            }
            if (name == "define") {
                if (!DefineLine(rest, path, l.line, col)) return false;
                out_.text += blank;
            } else if (name == "undef") {
                std::string id = Trim(rest);
                size_t e = 0;
                while (e < id.size() && IsIdChar(id[e])) ++e;
                if (e == 0) return Fail(path, l.line, col, "X1000", "#undef needs a macro name");
                macros_.erase(id.substr(0, e));
                out_.text += blank;
            } else if (name == "include") {
                if (!Include(rest, path, l, col, depth)) return false;
            } else if (name == "error") {
                return Fail(path, l.line, col, "X1000", "#error " + rest);
            } else if (name == "pragma" && rest == "once") {
                once_.insert(OnceKey(path));   // later includes of this file add nothing
                out_.text += blank;
            } else if (name == "pragma" || name == "line") {
                out_.text += "#" + name + (rest.empty() ? "" : " " + rest) + blank;
            } else if (name.empty() && rest.empty()) {
                out_.text += blank;   // a lone '#'
            } else if (name == "warning") {
                out_.text += blank;
            } else {
                return Fail(path, l.line, col, "X1000", "unknown preprocessor directive #" + name);
            }
        }
        if (!chunk.empty() && !Flush(chunk, path, chunkLine)) return false;
        if (!conds.empty())
            return Fail(path, conds.back().line, 1, "X1000", "#if not closed by #endif before end of file");
        return true;
    }

    std::string err;

private:
    static Tok Newline() {
        Tok t;
        t.k = Tok::Newline;
        t.text = "\n";
        return t;
    }

    bool Fail(const std::string& path, int line, int col, const char* code, const std::string& msg) {
        err = path + "(" + std::to_string(line) + "," + std::to_string(col > 0 ? col : 1) +
              "): error " + code + ": " + msg;
        return false;
    }

    bool DefineLine(const std::string& rest, const std::string& path, int line, int col) {
        size_t e = 0;
        while (e < rest.size() && IsIdChar(rest[e])) ++e;
        if (e == 0 || !IsIdStart(rest[0])) return Fail(path, line, col, "X1000", "#define needs a macro name");
        Macro m;
        std::string name = rest.substr(0, e);
        size_t p = e;
        if (p < rest.size() && rest[p] == '(') {
            m.function = true;
            size_t close = rest.find(')', p);
            if (close == std::string::npos)
                return Fail(path, line, col, "X1000", "missing ')' in the parameters of macro '" + name + "'");
            std::string list = rest.substr(p + 1, close - p - 1);
            size_t s = 0;
            while (s <= list.size()) {
                size_t c = list.find(',', s);
                if (c == std::string::npos) c = list.size();
                std::string param = Trim(list.substr(s, c - s));
                if (param == "...") m.variadic = true;
                else if (!param.empty()) {
                    for (char ch : param)
                        if (!IsIdChar(ch))
                            return Fail(path, line, col, "X1000", "bad parameter '" + param + "' of macro '" + name + "'");
                    m.params.push_back(param);
                } else if (c != list.size() || !m.params.empty()) {
                    return Fail(path, line, col, "X1000", "empty parameter in macro '" + name + "'");
                }
                s = c + 1;
            }
            p = close + 1;
        }
        Lex(Trim(rest.substr(p)), m.body);
        m.id = ++nextId_;
        macros_[name] = std::move(m);
        return true;
    }

    bool Include(const std::string& rest, const std::string& path, const LLine& l, int col, int depth) {
        std::string target = rest;
        if (target.empty() || (target[0] != '"' && target[0] != '<')) {   // #include MACRO
            std::vector<Tok> toks;
            Lex(target, toks);
            std::vector<Tok> expanded;
            if (!Expand(toks, expanded, path, l.line)) return false;
            target = Trim(Text(expanded));
        }
        char close = target.empty() ? 0 : target[0] == '"' ? '"' : target[0] == '<' ? '>' : 0;
        size_t end = close ? target.find(close, 1) : std::string::npos;
        if (end == std::string::npos || end == 1)
            return Fail(path, l.line, col, "X1000", "#include expects \"file\" or <file>");
        std::string header = target.substr(1, end - 1);
        std::string full = FxIncludePath(header, path);
        if (once_.count(OnceKey(full))) {
            out_.text.append(static_cast<size_t>(l.count), '\n');
            return true;
        }
        if (depth >= kMaxIncludeDepth)
            return Fail(path, l.line, col, "X1000", "#include nested more than 32 deep");
        if (out_.includes.size() >= kMaxIncludes)   // a file including itself twice doubles
            return Fail(path, l.line, col, "X1000", "more than 1024 files included");
        std::string text;
        bool opened = false;
        if (open_) {
            opened = (*open_)(header, close == '>', path, full, text);
        } else if (read_) {
            for (const std::string& candidate : FxIncludeCandidates(header, path, root_))
                if ((opened = read_(candidate, text))) {
                    full = candidate;
                    break;
                }
        }
        if (!opened)
            return Fail(path, l.line, col, "X1507", "failed to open source file: '" + header + "'");
        if (once_.count(OnceKey(full))) {   // the reader found it elsewhere
            out_.text.append(static_cast<size_t>(l.count), '\n');
            return true;
        }
        out_.includes.push_back(full);
        if (!out_.text.empty() && out_.text.back() != '\n') out_.text += '\n';
        out_.text += "#line 1 \"" + LineName(full) + "\"\n";
        if (!File(text, full, depth + 1)) return false;
        if (!out_.text.empty() && out_.text.back() != '\n') out_.text += '\n';
        out_.text += "#line " + std::to_string(l.line + l.count) + " \"" + LineName(path) + "\"\n";
        return true;
    }

    // A file as `#pragma once` knows it: paths are found without regard to case or slash.
    static std::string OnceKey(const std::string& p) {
        std::string s;
        for (char c : p) s += c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }

    // File names in #line directives: forward slashes, no quotes.
    static std::string LineName(const std::string& p) {
        std::string s;
        for (char c : p) s += c == '\\' ? '/' : c == '"' ? '\'' : c;
        return s;
    }

    bool Eval(const std::string& expr, const std::string& path, int line, int col, bool& v) {
        std::vector<Tok> toks, replaced, expanded;
        Lex(expr, toks);
        // defined X / defined(X) before expansion.
        for (size_t i = 0; i < toks.size(); ++i) {
            if (toks[i].k == Tok::Ident && toks[i].text == "defined") {
                size_t j = i + 1;
                while (j < toks.size() && toks[j].k == Tok::Space) ++j;
                bool paren = j < toks.size() && toks[j].text == "(";
                if (paren) { ++j; while (j < toks.size() && toks[j].k == Tok::Space) ++j; }
                if (j >= toks.size() || toks[j].k != Tok::Ident)
                    return Fail(path, line, col, "X1000", "'defined' needs a macro name");
                Tok t;
                t.k = Tok::Number;
                t.text = macros_.count(toks[j].text) ? "1" : "0";
                if (paren) {
                    ++j;
                    while (j < toks.size() && toks[j].k == Tok::Space) ++j;
                    if (j >= toks.size() || toks[j].text != ")")
                        return Fail(path, line, col, "X1000", "missing ')' after 'defined'");
                }
                replaced.push_back(t);
                i = j;
                continue;
            }
            replaced.push_back(toks[i]);
        }
        if (!Expand(replaced, expanded, path, line)) return false;
        std::string text = Text(expanded), msg;
        if (Trim(text).empty()) return Fail(path, line, col, "X1000", "#if with no expression");
        long long value = 0;
        if (!ExprEval(text).Run(value, msg)) return Fail(path, line, col, "X1000", msg);
        v = value != 0;
        return true;
    }

    bool Flush(std::vector<Tok>& chunk, const std::string& path, int line) {
        std::vector<Tok> expanded;
        if (!Expand(chunk, expanded, path, line)) return false;
        out_.text += Text(expanded);
        if (out_.text.size() > kMaxOutput) return Fail(path, line, 1, "X1000", "macro expansion too large");
        return true;
    }

    // Joins tokens; a blank keeps apart two tokens that a macro put side by side and that
    // would otherwise read as one ("- -1", "a b").
    static std::string Text(const std::vector<Tok>& toks) {
        std::string s;
        const Tok* prev = nullptr;
        for (const Tok& t : toks) {
            if (prev && t.k != Tok::Space && t.k != Tok::Newline && prev->k != Tok::Space &&
                prev->k != Tok::Newline && (!t.hs.empty() || !prev->hs.empty()) &&
                ((Word(t) && Word(*prev)) || (t.k == Tok::Punct && prev->k == Tok::Punct)))
                s += ' ';
            s += t.text;
            prev = &t;
        }
        return s;
    }

    static bool InSet(const std::vector<int>& hs, int id) { return std::binary_search(hs.begin(), hs.end(), id); }
    static std::vector<int> With(std::vector<int> hs, int id) {
        hs.insert(std::upper_bound(hs.begin(), hs.end(), id), id);
        return hs;
    }

    bool Expand(const std::vector<Tok>& in, std::vector<Tok>& out, const std::string& path, int line) {
        std::vector<Tok> stack(in.rbegin(), in.rend());
        while (!stack.empty()) {
            if (++steps_ > kMaxSteps) return Fail(path, line, 1, "X1000", "macro expansion too deep");
            Tok t = std::move(stack.back());
            stack.pop_back();
            auto it = t.k == Tok::Ident ? macros_.find(t.text) : macros_.end();
            if (it == macros_.end() || InSet(t.hs, it->second.id)) {
                out.push_back(std::move(t));
                continue;
            }
            const Macro& m = it->second;
            std::vector<Tok> result;
            int newlines = 0;
            if (m.function) {
                // The name is a call only when '(' follows, maybe on a later line.
                size_t j = stack.size();
                while (j > 0 && (stack[j - 1].k == Tok::Space || stack[j - 1].k == Tok::Newline)) --j;
                if (j == 0 || stack[j - 1].text != "(") {
                    out.push_back(std::move(t));
                    continue;
                }
                for (size_t k = stack.size(); k > j; --k)
                    if (stack[k - 1].k == Tok::Newline) ++newlines;
                stack.resize(j - 1);   // drops the blanks and '('
                std::vector<std::vector<Tok>> args(1);
                int depth = 1;
                while (depth > 0) {
                    if (stack.empty())
                        return Fail(path, line, 1, "X1000", "end of text inside the arguments of macro '" + t.text + "'");
                    Tok a = std::move(stack.back());
                    stack.pop_back();
                    if (a.k == Tok::Newline) {
                        ++newlines;
                        a.k = Tok::Space;
                        a.text = " ";
                    }
                    // Calls in the arguments expand recursively, one level per parenthesis.
                    if (a.text == "(" && ++depth > kMaxArgumentNesting)
                        return Fail(path, line, 1, "X1000", "arguments of macro '" + t.text +
                                                                "' nested deeper than " +
                                                                std::to_string(kMaxArgumentNesting) + " levels");
                    if (a.text == ")" && --depth == 0) break;
                    if (a.text == "," && depth == 1 &&
                        !(m.variadic && args.size() > m.params.size())) {
                        args.emplace_back();
                        continue;
                    }
                    args.back().push_back(std::move(a));
                }
                if (m.params.empty() && !m.variadic && args.size() == 1 && Trim(Text(args[0])).empty())
                    args.clear();
                size_t want = m.params.size() + (m.variadic ? 1 : 0);
                if (m.variadic && args.size() == m.params.size()) args.emplace_back();
                if (args.size() != want)
                    return Fail(path, line, 1, "X1000", std::string(args.size() < want ? "not enough" : "too many") +
                                                              " arguments for macro '" + t.text + "'");
                if (!Substitute(m, args, result, path, line)) return false;
            } else {
                result = m.body;
                Paste(result);
            }
            std::vector<int> hs = With(t.hs, m.id);
            for (Tok& r : result) {
                r.hs.insert(r.hs.end(), hs.begin(), hs.end());
                std::sort(r.hs.begin(), r.hs.end());
                r.hs.erase(std::unique(r.hs.begin(), r.hs.end()), r.hs.end());
            }
            for (int k = 0; k < newlines; ++k) stack.push_back(Newline());
            for (auto r = result.rbegin(); r != result.rend(); ++r) stack.push_back(std::move(*r));
        }
        return true;
    }

    int ParamIndex(const Macro& m, const std::string& name) const {
        for (size_t i = 0; i < m.params.size(); ++i)
            if (m.params[i] == name) return static_cast<int>(i);
        if (m.variadic && name == "__VA_ARGS__") return static_cast<int>(m.params.size());
        return -1;
    }

    bool Substitute(const Macro& m, const std::vector<std::vector<Tok>>& args, std::vector<Tok>& out,
                    const std::string& path, int line) {
        const std::vector<Tok>& b = m.body;
        auto NextSolid = [&](size_t i) {
            size_t j = i + 1;
            while (j < b.size() && b[j].k == Tok::Space) ++j;
            return j;
        };
        for (size_t i = 0; i < b.size(); ++i) {
            const Tok& t = b[i];
            if (t.text == "#") {   // stringize
                size_t j = NextSolid(i);
                int p = j < b.size() && b[j].k == Tok::Ident ? ParamIndex(m, b[j].text) : -1;
                if (p >= 0) {
                    std::string raw = Trim(Text(args[static_cast<size_t>(p)])), s = "\"";
                    for (char c : raw) {
                        if (c == '"' || c == '\\') s += '\\';
                        s += c;
                    }
                    Tok st;
                    st.k = Tok::String;
                    st.text = s + "\"";
                    out.push_back(st);
                    i = j;
                    continue;
                }
            }
            int p = t.k == Tok::Ident ? ParamIndex(m, t.text) : -1;
            if (p < 0) {
                out.push_back(t);
                continue;
            }
            // Next to ## the argument goes in as written; elsewhere fully expanded.
            size_t prev = out.size();
            while (prev > 0 && out[prev - 1].k == Tok::Space) --prev;
            bool pasted = (prev > 0 && out[prev - 1].text == "##") ||
                          (NextSolid(i) < b.size() && b[NextSolid(i)].text == "##");
            const std::vector<Tok>& a = args[static_cast<size_t>(p)];
            if (pasted) {
                size_t s = 0, e = a.size();
                while (s < e && a[s].k == Tok::Space) ++s;
                while (e > s && a[e - 1].k == Tok::Space) --e;
                out.insert(out.end(), a.begin() + static_cast<long>(s), a.begin() + static_cast<long>(e));
                if (s == e) {   // an empty argument still leaves something to paste with
                    Tok empty;
                    empty.k = Tok::Space;
                    empty.text = "";
                    out.push_back(empty);
                }
            } else {
                std::vector<Tok> ex;
                if (!Expand(a, ex, path, line)) return false;
                out.insert(out.end(), ex.begin(), ex.end());
            }
        }
        Paste(out);
        return true;
    }

    // a ## b: the two tokens around each ## become one.
    static void Paste(std::vector<Tok>& toks) {
        for (size_t i = 0; i < toks.size(); ++i) {
            if (toks[i].text != "##" || toks[i].k != Tok::Punct) continue;
            size_t l = i, r = i + 1;
            while (l > 0 && toks[l - 1].k == Tok::Space && !toks[l - 1].text.empty()) --l;
            while (r < toks.size() && toks[r].k == Tok::Space && !toks[r].text.empty()) ++r;
            std::string left = l > 0 ? toks[l - 1].text : std::string();
            std::string right = r < toks.size() ? toks[r].text : std::string();
            std::vector<Tok> joined;
            Lex(left + right, joined);
            size_t from = l > 0 ? l - 1 : l, to = r < toks.size() ? r + 1 : r;
            toks.erase(toks.begin() + static_cast<long>(from), toks.begin() + static_cast<long>(to));
            toks.insert(toks.begin() + static_cast<long>(from), joined.begin(), joined.end());
            i = from;
        }
    }

    FxReadFile read_;
    const FxOpenInclude* open_ = nullptr;   // the caller's reader, in place of read_
    std::string root_;                      // the effect file
    FxPreprocessed& out_;
    std::map<std::string, Macro> macros_;
    std::set<std::string> once_;   // files that said `#pragma once`
    int nextId_ = 0;
    long long steps_ = 0;
};

}  // namespace

namespace {

template <class Reader>
bool Preprocess(const std::string& text, const std::string& name,
                const std::vector<std::pair<std::string, std::string>>& defines, const Reader& read,
                FxPreprocessed& out, std::string& err) {
    out = FxPreprocessed();
    Pre p(read, out);
    for (const auto& d : defines) p.Define(d.first, d.second);
    if (!p.File(text, name, 0)) {
        err = p.err;
        out = FxPreprocessed();
        return false;
    }
    return true;
}

}  // namespace

bool PreprocessFx(const std::string& text, const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& defines,
                  FxReadFile read, FxPreprocessed& out, std::string& err) {
    return Preprocess(text, name, defines, read, out, err);
}

bool PreprocessFx(const std::string& text, const std::string& name,
                  const std::vector<std::pair<std::string, std::string>>& defines,
                  const FxOpenInclude& open, FxPreprocessed& out, std::string& err) {
    return Preprocess(text, name, defines, open, out, err);
}

void FxOrigin(const std::string& text, const std::string& name, int line, std::string& file,
              int& fileLine) {
    file = name;
    fileLine = line;
    int cur = 1, n = 1;   // output line, its line in `file`
    size_t pos = 0;
    while (cur < line && pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) break;
        if (text.compare(pos, 6, "#line ") == 0) {
            const char* p = text.c_str() + pos + 6;
            char* e = nullptr;
            long v = std::strtol(p, &e, 10);
            size_t q1 = text.find('"', pos), q2 = q1 == std::string::npos ? q1 : text.find('"', q1 + 1);
            if (e != p && q2 != std::string::npos && q2 < nl) {
                file = text.substr(q1 + 1, q2 - q1 - 1);
                n = static_cast<int>(v);
                pos = nl + 1;
                ++cur;
                continue;
            }
        }
        pos = nl + 1;
        ++cur;
        ++n;
    }
    fileLine = n;
}

std::string FxWhere(const FxPreprocessed& pre, const std::string& name, int line) {
    std::string file;
    int fileLine = line;
    FxOrigin(pre.text, name, line, file, fileLine);
    return file + "(" + std::to_string(fileLine) + ")";
}

bool LoadFx(const std::string& text, const std::string& name, FxPreprocessed& pre, FxFile& fx,
            std::string& err, FxReadFile read) {
    fx = FxFile();
    if (!PreprocessFx(text, name, {}, read, pre, err)) return false;
    std::string perr;
    if (ParseFx(pre.text, fx, perr)) return true;
    // The reader says "line N: message".
    int line = 0;
    std::string msg = perr;
    if (perr.compare(0, 5, "line ") == 0) {
        line = std::atoi(perr.c_str() + 5);
        size_t colon = perr.find(": ");
        if (colon != std::string::npos) msg = perr.substr(colon + 2);
    }
    err = FxD3dxMessages((line > 0 ? FxWhere(pre, name, line) : name) + ": error: " + msg);
    if (!err.empty() && err.back() == '\n') err.pop_back();
    return false;
}

std::string FxMessageCode(const std::string& text, bool error) {
    std::string t;
    for (char c : text) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto Has = [&](const char* w) { return t.find(w) != std::string::npos; };
    if (!error) {
        if (Has("truncat")) return "X3206";
        if (Has("uninitiali") || Has("not completely initiali")) return "X4000";
        if (Has("gradient")) return "X4121";
        return "X3000";
    }
    // The Direct3D 9 HLSL compiler's codes for the same faults.
    if (Has("failed to open") || Has("cannot open")) return "X1507";
    if (Has("entry point") || Has("entrypoint")) return "X3501";
    if (Has("undeclared identifier") || Has("unknown variable") || Has("names no") ||
        Has("no such"))
        return "X3004";
    if (Has("redefinition")) return "X3003";
    if (Has("no matching overloaded function") || Has("no matching function")) return "X3013";
    if (Has("constructor") || Has("construction") || Has("arguments")) return "X3014";
    if (Has("cannot convert") || Has("can't convert") || Has("implicitly convert"))
        return "X3017";
    if (Has("wrong operand types") || Has("type mismatch")) return "X3020";
    if (Has("l-value")) return "X3025";
    if (Has("array size") || Has("array dimension")) return "X3059";
    return "X3000";
}

void FxAppendMessages(std::string& log, const std::string& more) {
    size_t pos = 0;
    while (pos < more.size()) {
        size_t nl = more.find('\n', pos);
        size_t end = nl == std::string::npos ? more.size() : nl + 1;
        std::string line = more.substr(pos, end - pos);
        pos = end;
        std::string bare = line.back() == '\n' ? line.substr(0, line.size() - 1) : line;
        bool seen = false;
        for (size_t at = log.find(bare); at != std::string::npos && !seen; at = log.find(bare, at + 1))
            seen = (at == 0 || log[at - 1] == '\n') &&
                   (at + bare.size() == log.size() || log[at + bare.size()] == '\n');
        if (!seen) log += line.back() == '\n' ? line : line + "\n";
    }
}

std::string FxD3dxMessages(const std::string& log) {
    std::string out;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t nl = log.find('\n', pos);
        bool hasNl = nl != std::string::npos;
        std::string line = log.substr(pos, hasNl ? nl - pos : std::string::npos);
        pos = hasNl ? nl + 1 : log.size();
        // "<where>: error: text" / "<where>: warning: text"; <where> is "file(l)", "file(l,c)"
        // or a file alone.
        // The first ": error" or ": warning" decides; one with a code already stays.
        std::string kind;
        size_t k = std::string::npos;
        bool coded = false;
        for (const char* w : {": error: ", ": warning: ", ": error X", ": warning X"}) {
            size_t f = line.find(w);
            if (f != std::string::npos && (k == std::string::npos || f < k)) {
                k = f;
                kind = w[2] == 'e' ? "error" : "warning";
                coded = w[std::strlen(w) - 1] == 'X';
            }
        }
        if (k == std::string::npos || coded) {
            out += line + (hasNl ? "\n" : "");
            continue;
        }
        std::string where = line.substr(0, k);
        std::string text = line.substr(k + kind.size() + 4);
        if (!where.empty() && where.back() == ')') {
            size_t open = where.rfind('(');
            std::string inside = open == std::string::npos ? "" : where.substr(open + 1, where.size() - open - 2);
            bool digits = !inside.empty();
            for (char c : inside) digits = digits && (std::isdigit(static_cast<unsigned char>(c)) || c == ',');
            if (digits && inside.find(',') == std::string::npos) where.insert(where.size() - 1, ",1");
        }
        out += where + ": " + kind + " " + FxMessageCode(text, kind == "error") + ": " + text +
               (hasNl ? "\n" : "");
    }
    return out;
}

}  // namespace core
