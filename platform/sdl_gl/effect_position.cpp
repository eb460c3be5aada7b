#include "platform/sdl_gl/effect_position.h"

#include <cctype>
#include <cstring>
#include <map>

namespace sdlgl {

namespace {

bool IsIdent(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Offsets of `name` as a whole token in `text` (not part of a longer identifier, not a member
// of something else).
std::vector<size_t> Occurrences(const std::string& text, const std::string& name) {
    std::vector<size_t> out;
    for (size_t p = text.find(name); p != std::string::npos; p = text.find(name, p + 1)) {
        bool before = p > 0 && (IsIdent(text[p - 1]) || text[p - 1] == '.');
        size_t end = p + name.size();
        bool after = end < text.size() && IsIdent(text[end]);
        if (!before && !after) out.push_back(p);
    }
    return out;
}

// Whether the token ending at `end` is written there: assigned, incremented, or a component
// or element of it assigned.
bool WrittenAt(const std::string& text, size_t start, size_t end) {
    size_t q = start;
    while (q > 0 && text[q - 1] == ' ') --q;
    if (q >= 2 && (text.compare(q - 2, 2, "++") == 0 || text.compare(q - 2, 2, "--") == 0))
        return true;
    size_t p = end;
    for (;;) {
        while (p < text.size() && text[p] == ' ') ++p;
        if (p < text.size() && text[p] == '.') {
            ++p;
            while (p < text.size() && IsIdent(text[p])) ++p;
            continue;
        }
        if (p < text.size() && text[p] == '[') {
            int depth = 0;
            for (; p < text.size(); ++p) {
                if (text[p] == '[') ++depth;
                if (text[p] == ']' && --depth == 0) break;
            }
            ++p;
            continue;
        }
        break;
    }
    if (p >= text.size()) return false;
    if (text[p] == '=') return p + 1 >= text.size() || text[p + 1] != '=';
    static const char* const kOps[] = {"+=", "-=", "*=", "/=", "%=", "++", "--", "&=", "|=",
                                       "^=", "<<=", ">>="};
    for (const char* op : kOps)
        if (text.compare(p, std::strlen(op), op) == 0) return true;
    return false;
}

// The top-level statements of main, without their ';'. Blocks (control flow) become one
// statement "{" so that nothing inside them can be taken for a plain assignment.
bool MainStatements(const std::string& text, std::vector<std::string>& out, size_t& bodyStart) {
    size_t m = text.find("void main()");
    if (m == std::string::npos) return false;
    size_t open = text.find('{', m);
    if (open == std::string::npos) return false;
    bodyStart = open + 1;
    std::string cur;
    int parens = 0;
    for (size_t p = open + 1; p < text.size(); ++p) {
        char c = text[p];
        if (c == '#') {   // preprocessor lines (none in a vertex stage) end the analysis
            return false;
        }
        if (c == '(') ++parens;
        if (c == ')') --parens;
        if (c == '{') {
            int depth = 1;
            for (++p; p < text.size() && depth > 0; ++p) {
                if (text[p] == '{') ++depth;
                if (text[p] == '}') --depth;
            }
            --p;
            out.push_back("{");
            cur.clear();
            continue;
        }
        if (c == '}') return parens == 0;
        if (c == ';' && parens == 0) {
            out.push_back(Trim(cur));
            cur.clear();
            continue;
        }
        cur += c;
    }
    return false;
}

// A value of the position's expression: a product of matrix uniforms (GLSL order), or the
// input position transformed by such a product.
struct Value {
    bool ok = false;
    bool vector = false;
    std::vector<PositionFactor> factors;   // GLSL order: G1 * G2 * ... (* position)
};

std::vector<PositionFactor> Transposed(std::vector<PositionFactor> f) {
    std::vector<PositionFactor> out(f.rbegin(), f.rend());
    for (PositionFactor& x : out) x.transposed = !x.transposed;
    return out;
}

class ExpressionReader {
public:
    ExpressionReader(const std::string& text, const std::vector<std::string>& statements,
                     const HlslStage& stage, const std::string& position, bool positionIsVec4)
        : text_(text), statements_(statements), stage_(stage), position_(position),
          positionIsVec4_(positionIsVec4) {}

    Value Read(const std::string& expr, int depth) {
        if (depth > 16) return {};
        std::string saved = s_;
        size_t savedPos = p_;
        s_ = expr;
        p_ = 0;
        depth_ = depth;
        Value v = Product();
        Skip();
        if (p_ != s_.size()) v.ok = false;
        s_ = saved;
        p_ = savedPos;
        return v;
    }

private:
    void Skip() {
        while (p_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[p_]))) ++p_;
    }
    bool Eat(char c) {
        Skip();
        if (p_ < s_.size() && s_[p_] == c) {
            ++p_;
            return true;
        }
        return false;
    }
    std::string Name() {
        Skip();
        size_t b = p_;
        while (p_ < s_.size() && (IsIdent(s_[p_]) || s_[p_] == '.')) ++p_;
        return s_.substr(b, p_ - b);
    }

    static Value Multiply(const Value& a, const Value& b) {
        Value r;
        if (!a.ok || !b.ok || (a.vector && b.vector)) return r;
        r.ok = true;
        if (!a.vector) {   // M * M, M * v
            r.vector = b.vector;
            r.factors = a.factors;
            r.factors.insert(r.factors.end(), b.factors.begin(), b.factors.end());
        } else {           // v * M = transpose(M) * v
            r.vector = true;
            r.factors = Transposed(b.factors);
            r.factors.insert(r.factors.end(), a.factors.begin(), a.factors.end());
        }
        return r;
    }

    Value Product() {
        Value v = Term();
        while (v.ok && Eat('*')) v = Multiply(v, Term());
        return v;
    }

    Value Term() {
        struct Nest {   // parentheses and calls nest this deep at most
            explicit Nest(int& n) : n_(++n) {}
            ~Nest() { --n_; }
            int& n_;
        } nest(nest_);
        if (nest_ > 64) return {};
        if (Eat('(')) {
            Value v = Product();
            if (!Eat(')')) v.ok = false;
            return v;
        }
        std::string name = Name();
        if (name.empty()) return {};
        if (name == "spvWorkaroundRowMajor" || name == "transpose") {
            if (!Eat('(')) return {};
            Value v = Product();
            if (!Eat(')') || v.vector) return {};
            if (name == "transpose") v.factors = Transposed(v.factors);
            return v;
        }
        if (name == "vec4") {   // the input position with w = 1, whole or by components
            if (!Eat('(')) return {};
            std::vector<std::string> args;
            for (;;) {
                Skip();
                size_t b = p_;
                while (p_ < s_.size() && s_[p_] != ',' && s_[p_] != ')' && s_[p_] != '(') ++p_;
                if (p_ >= s_.size() || s_[p_] == '(') return {};
                args.push_back(Resolved(Trim(s_.substr(b, p_ - b))));
                if (Eat(')')) break;
                if (!Eat(',')) return {};
            }
            const std::string& one = args.back();
            if (one != "1.0" && one != "1") return {};
            const std::string& p = position_;
            bool fits = args.size() == 2 ? args[0] == (positionIsVec4_ ? p + ".xyz" : p)
                        : args.size() == 4 && args[0] == p + ".x" && args[1] == p + ".y" &&
                              args[2] == p + ".z";
            if (!fits) return {};
            Value v;
            v.ok = v.vector = true;
            return v;
        }
        if (name == position_) {
            Value v;
            v.ok = v.vector = positionIsVec4_;
            return v;
        }
        for (const HlslUniform& u : stage_.uniforms) {
            if (u.glslName != name) continue;
            Value v;
            v.ok = u.rows == 4 && u.columns == 4 && u.elements == 0 && !u.fixed &&
                   u.base == HlslBase::Float;
            v.factors.push_back({u.hlslName, false});
            return v;
        }
        if (name[0] == '_' && name.find('.') == std::string::npos) return Temporary(name);
        return {};
    }

    // The right-hand side of a temporary defined once at the top of main ("vec4 _12 = ...")
    // and never written again; empty when there is none.
    std::string Definition(const std::string& name) const {
        std::string expr;
        for (const std::string& st : statements_) {
            size_t space = st.find(' ');
            if (space == std::string::npos || space == 0) continue;
            bool typed = true;
            for (size_t i = 0; i < space; ++i) typed = typed && IsIdent(st[i]);
            std::string head = name + " = ";
            if (typed && st.compare(space + 1, head.size(), head) == 0)
                expr = st.substr(space + 1 + head.size());
        }
        if (expr.empty()) return expr;
        int definitions = 0;
        for (size_t at : Occurrences(text_, name))
            if (WrittenAt(text_, at, at + name.size())) ++definitions;
        return definitions == 1 ? expr : std::string();
    }

    // An operand with the temporaries it is a plain copy of looked through.
    std::string Resolved(std::string operand) const {
        for (int i = 0; i < 8 && operand.size() > 1 && operand[0] == '_'; ++i) {
            bool plain = true;
            for (char c : operand) plain = plain && IsIdent(c);
            std::string expr = plain ? Trim(Definition(operand)) : std::string();
            if (expr.empty()) break;
            operand = expr;
        }
        return operand;
    }

    Value Temporary(const std::string& name) {
        std::string expr = Definition(name);
        if (expr.empty()) return {};
        return Read(expr, depth_ + 1);
    }

    const std::string& text_;
    const std::vector<std::string>& statements_;
    const HlslStage& stage_;
    std::string position_;
    bool positionIsVec4_;
    std::string s_;
    size_t p_ = 0;
    int depth_ = 0;
    int nest_ = 0;
};

// The one statement among `statements` that assigns `name` as a whole: its right-hand side.
bool AssignedOnce(const std::string& text, const std::vector<std::string>& statements,
                  const std::string& name, size_t searchEnd, std::string& rhs) {
    int writes = 0;
    for (size_t at : Occurrences(text.substr(0, searchEnd), name))
        if (WrittenAt(text, at, at + name.size())) ++writes;
    if (writes != 1) return false;
    std::string head = name + " = ";
    for (const std::string& st : statements)
        if (st.compare(0, head.size(), head) == 0) {
            rhs = st.substr(head.size());
            return true;
        }
    return false;
}

}  // namespace

PositionTransform AnalysePosition(const HlslStage& vs) {
    PositionTransform result;
    if (vs.stage != ShaderStage::Vertex) return result;
    const std::string& text = vs.glsl;

    // Functions other than main may write through out parameters: leave such stages alone.
    for (size_t p = text.find(")\n{"); p != std::string::npos; p = text.find(")\n{", p + 1)) {
        size_t lineStart = text.rfind('\n', p);
        std::string head = text.substr(lineStart == std::string::npos ? 0 : lineStart + 1,
                                       p - (lineStart == std::string::npos ? 0 : lineStart + 1));
        if (head.compare(0, 10, "void main(") != 0 &&
            head.compare(0, 27, "mat4 spvWorkaroundRowMajor(") != 0)
            return result;
    }

    // The position input: POSITION0 sits at location 0.
    std::string position;
    bool isVec4 = false;
    for (const char* type : {"vec4", "vec3"}) {
        std::string decl = std::string("layout(location = 0) in ") + type + " ";
        size_t p = text.find(decl);
        if (p == std::string::npos) continue;
        size_t b = p + decl.size(), e = text.find(';', b);
        if (e == std::string::npos) return result;
        position = text.substr(b, e - b);
        isVec4 = std::strcmp(type, "vec4") == 0;
    }
    if (position.empty()) return result;

    std::vector<std::string> statements;
    size_t bodyStart = 0;
    if (!MainStatements(text, statements, bodyStart)) return result;
    // The device's own conventions follow the shader's code; they start with the half-pixel
    // move, and its clip test allows for them.
    size_t epilogue = text.find("    gl_Position.xy += vec2(", bodyStart);
    if (epilogue == std::string::npos) return result;

    std::string rhs;
    if (!AssignedOnce(text, statements, "gl_Position", epilogue, rhs)) return result;
    // A POSITION output copied into gl_Position: look at what the shader wrote into it.
    std::string target = Trim(rhs);
    bool isOutput = !target.empty() &&
                    text.find("out vec4 " + target + ";") != std::string::npos;
    if (isOutput) {
        for (char c : target)
            if (!IsIdent(c)) return result;
        if (!AssignedOnce(text, statements, target, epilogue, rhs)) return result;
    }
    ExpressionReader reader(text, statements, vs, position, isVec4);
    Value v = reader.Read(rhs, 0);
    if (!v.ok || !v.vector) return result;
    // GLSL's G1 * ... * Gn * p is p * Rn * ... * R1 with rows for columns.
    result.known = true;
    result.factors.assign(v.factors.rbegin(), v.factors.rend());
    return result;
}

}  // namespace sdlgl
