#include "platform/shader/legacy_rewrite.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "platform/shader/hlsl_text.h"

namespace hlsl {

namespace {

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

// Prefixes of the names this stage makes from the source's names.
const char kReservedPrefix[] = "dx_w_";   // a word glslang reserves
const char kCopyPrefix[] = "dx_g_";       // the copy of a global that shader code writes
constexpr size_t kPrefixLength = 5;

// Words glslang's HLSL scanner (hlslScanContext.cpp, its keyword table) reserves that are no
// keyword, reserved word or type of Direct3D 9 HLSL: geometry shader primitives and streams,
// tessellation patches, later interpolation and storage modifiers, Direct3D 10 and later
// resource types, minimum-precision types and glslang's own `layout`. Sorted, for lookup.
const char* const kGlslangOnlyWords[] = {
    "AppendStructuredBuffer", "Buffer", "ByteAddressBuffer", "ConstantBuffer",
    "ConsumeStructuredBuffer", "InputPatch", "LineStream", "OutputPatch", "PointStream",
    "RWBuffer", "RWByteAddressBuffer", "RWStructuredBuffer", "RWTexture1D", "RWTexture1DArray",
    "RWTexture2D", "RWTexture2DArray", "RWTexture3D", "SamplerComparisonState",
    "StructuredBuffer", "SubpassInput", "SubpassInputMS", "Texture1DArray", "Texture2DArray",
    "Texture2DMS", "Texture2DMSArray", "TextureBuffer", "TextureCubeArray", "TriangleStream",
    "centroid", "globallycoherent", "groupshared", "layout", "line", "lineadj", "linear",
    "min10float", "min10float1", "min10float2", "min10float3", "min10float4", "min12int",
    "min12int1", "min12int2", "min12int3", "min12int4", "min16float", "min16float1",
    "min16float2", "min16float3", "min16float4", "min16int", "min16int1", "min16int2",
    "min16int3", "min16int4", "min16uint", "min16uint1", "min16uint2", "min16uint3",
    "min16uint4", "nointerpolation", "noperspective", "packoffset", "point", "precise",
    "sample", "snorm", "triangle", "triangleadj", "uint64_t", "unorm"};

bool GlslangOnlyWord(const char* p, size_t n) {
    std::string_view w(p, n);
    return std::binary_search(std::begin(kGlslangOnlyWords), std::end(kGlslangOnlyWords), w,
                              [](std::string_view a, std::string_view b) { return a < b; });
}

// The length of the name a renamed word stands for when `s` holds one of this stage's names
// at `at` (a prefix and then a name); 0 otherwise.
size_t RenamedAt(const std::string& s, size_t at) {
    if (at > 0 && IsIdentChar(s[at - 1])) return 0;
    bool reserved = s.compare(at, kPrefixLength, kReservedPrefix) == 0;
    if (!reserved && s.compare(at, kPrefixLength, kCopyPrefix) != 0) return 0;
    size_t b = at + kPrefixLength, e = b;
    while (e < s.size() && IsIdentChar(s[e])) ++e;
    if (e == b || (reserved && !GlslangOnlyWord(s.data() + b, e - b))) return 0;
    return e - b;
}

// The tokens of a source and the lookups the rewrites below make on them.
class TokenText {
public:
    explicit TokenText(const std::string& s) : s_(s), t_(Tokens(s)) {}

    const std::vector<HlslToken>& All() const { return t_; }

    std::string Text(size_t i) const { return s_.substr(t_[i].begin, t_[i].end - t_[i].begin); }
    std::string_view View(size_t i) const {
        return std::string_view(s_).substr(t_[i].begin, t_[i].end - t_[i].begin);
    }
    bool Is(size_t i, const char* p) const {
        size_t n = std::strlen(p);
        return i < t_.size() && t_[i].end - t_[i].begin == n && s_.compare(t_[i].begin, n, p) == 0;
    }
    // The token closing the bracket at `i` ('(', '[' or '{'); t_.size() when it is not closed.
    size_t Match(size_t i) const {
        char open = s_[t_[i].begin], close = open == '(' ? ')' : open == '[' ? ']' : '}';
        int depth = 0;
        for (size_t j = i; j < t_.size(); ++j) {
            if (t_[j].kind != 'p' || t_[j].end - t_[j].begin != 1) continue;
            char c = s_[t_[j].begin];
            if (c == open) ++depth;
            if (c == close && --depth == 0) return j;
        }
        return t_.size();
    }
    // From `i` to the next `stop` (";" or ",") outside brackets; t_.size() when there is none.
    size_t Skip(size_t i, const char* stop, const char* alsoStop = nullptr) const {
        while (i < t_.size() && !Is(i, stop) && !(alsoStop && Is(i, alsoStop))) {
            if (Is(i, "(") || Is(i, "[") || Is(i, "{")) i = Match(i);
            if (i < t_.size()) ++i;
        }
        return i;
    }

protected:
    const std::string& s_;
    std::vector<HlslToken> t_;
};

// Globals written by shader code; see RewriteLegacyHlsl.
class WrittenGlobals : private TokenText {
public:
    explicit WrittenGlobals(const std::string& s) : TokenText(s) {}

    std::string Rewrite() {
        ReadTopLevel();
        if (globals_.empty()) return s_;
        std::set<std::string, std::less<>> written;
        for (const Body& f : functions_) FindWrites(f, written);
        if (written.empty()) return s_;
        // Edits from the back, so that earlier offsets stay valid.
        std::vector<std::pair<size_t, std::pair<size_t, std::string>>> edits;
        for (const Body& f : functions_)
            for (size_t k = f.params; k <= f.bodyClose; ++k)
                if (t_[k].kind == 'w' && written.count(View(k)) && !(k > 0 && Is(k - 1, ".")))
                    edits.push_back({t_[k].begin, {t_[k].end - t_[k].begin, kCopyPrefix + Text(k)}});
        for (const Global& g : globals_)
            if (written.count(g.name))
                edits.push_back({g.end, {0, " static " + g.type + " " + kCopyPrefix + g.name + g.dims +
                                                " = " + g.name + ";"}});
        std::sort(edits.begin(), edits.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        std::string out = s_;
        for (const auto& e : edits) out.replace(e.first, e.second.first, e.second.second);
        return out;
    }

private:
    struct Global {
        std::string name, type, dims;
        size_t end = 0;   // just after the declaration's ';'
    };
    struct Body {
        size_t params = 0, bodyOpen = 0, bodyClose = 0;   // token indices
    };

    // Global variables that may become uniforms, functions with bodies, and which parameters
    // of each function are out or inout.
    void ReadTopLevel() {
        size_t i = 0, n = t_.size();
        while (i < n) {
            if (Is(i, ";")) { ++i; continue; }
            if (Is(i, "[")) { i = Match(i) + 1; continue; }   // an attribute
            std::string first = Text(i);
            if (t_[i].kind != 'w' || first == "struct" || first == "cbuffer" || first == "tbuffer" ||
                first == "typedef" || first == "namespace" || first == "class" || first == "interface") {
                i = Skip(i, ";") + 1;
                continue;
            }
            bool local = false;   // static or const: no uniform
            size_t j = i;
            for (; j < n && t_[j].kind == 'w'; ++j) {
                std::string w = Text(j);
                if (w == "static" || w == "const") local = true;
                else if (w != "uniform" && w != "extern" && w != "shared" && w != "volatile" &&
                         w != "row_major" && w != "column_major" && w != "inline" && w != "precise")
                    break;
            }
            size_t typeAt = j++;
            if (Is(j, "<")) {   // matrix<float, 4, 4>
                while (j < n && !Is(j, ">") && !Is(j, ";")) ++j;
                ++j;
            }
            size_t typeEnd = j;
            if (typeAt >= n || t_[typeAt].kind != 'w' || j >= n || t_[j].kind != 'w') {
                i = Skip(i, ";") + 1;
                continue;
            }
            if (Is(j + 1, "(")) {
                i = Function(j + 1);
                continue;
            }
            std::string type = s_.substr(t_[typeAt].begin, t_[typeEnd - 1].end - t_[typeAt].begin);
            std::string upper = Upper(type);
            local = local || upper.compare(0, 7, "SAMPLER") == 0 || upper.compare(0, 7, "TEXTURE") == 0 ||
                    upper == "STRING" || upper == "VERTEXSHADER" || upper == "PIXELSHADER";
            std::vector<Global> names;
            while (j < n && t_[j].kind == 'w') {
                Global g;
                g.name = Text(j++);
                g.type = type;
                size_t dims = j;
                while (Is(j, "[")) j = Match(j) + 1;
                if (j > dims && j <= n) g.dims = s_.substr(t_[dims].begin, t_[j - 1].end - t_[dims].begin);
                names.push_back(g);
                j = Skip(j, ";", ",");
                if (!Is(j, ",")) break;
                ++j;
            }
            j = Skip(j, ";");
            if (!local && j < n)
                for (Global& g : names) {
                    g.end = t_[j].end;
                    names_.insert(g.name);
                    globals_.push_back(g);
                }
            i = j + 1;
        }
    }

    // A function at its parameter list `open`: its out parameters, and its body when it has one.
    // Returns the token after it.
    size_t Function(size_t open) {
        size_t close = Match(open);
        if (close >= t_.size()) return t_.size();
        std::vector<bool>& outs = outParams_[Text(open - 1)];
        size_t index = 0;
        bool out = false;
        for (size_t k = open + 1; k <= close; ++k) {
            if (Is(k, ",") || k == close) {
                if (outs.size() <= index) outs.resize(index + 1, false);
                outs[index] = outs[index] || out;
                ++index;
                out = false;
            } else if (Is(k, "out") || Is(k, "inout")) {
                out = true;
            } else if (Is(k, "(") || Is(k, "[") || Is(k, "{")) {
                k = Match(k);
            }
        }
        size_t k = close + 1;
        while (k < t_.size() && !Is(k, "{") && !Is(k, ";")) ++k;
        if (!Is(k, "{")) return k + 1;
        size_t end = Match(k);
        if (end < t_.size()) functions_.push_back({open, k, end});
        return end + 1;
    }

    // Globals that the body of `f` writes: assigned, incremented, or passed as an out argument.
    void FindWrites(const Body& f, std::set<std::string, std::less<>>& written) const {
        static const char* const kAssign[] = {"=", "+=", "-=", "*=", "/=", "%=", "<<=", ">>=",
                                              "&=", "|=", "^=", "++", "--"};
        size_t end = std::min(f.bodyClose, t_.size());
        for (size_t k = f.bodyOpen + 1; k < end; ++k) {
            if (t_[k].kind != 'w' || Is(k - 1, ".")) continue;
            std::string_view name = View(k);
            if (!names_.count(name) || written.count(name)) continue;
            size_t m = k + 1;   // past the indices and members that follow the name
            for (;;) {
                if (Is(m, "[")) m = Match(m) + 1;
                else if (Is(m, ".") && m + 1 < end && t_[m + 1].kind == 'w') m += 2;
                else break;
            }
            bool write = Is(k - 1, "++") || Is(k - 1, "--");
            for (const char* op : kAssign) write = write || Is(m, op);
            if (!write && (Is(k - 1, "(") || Is(k - 1, ",")) && (Is(m, ",") || Is(m, ")")))
                write = OutArgument(k - 1, f.bodyOpen);
            if (write) written.emplace(name);
        }
    }

    // Whether the argument after `before` (its '(' or ',') is an out argument of the call.
    bool OutArgument(size_t before, size_t bodyOpen) const {
        size_t index = 0, p = before;
        int depth = 0;
        for (; p > bodyOpen; --p) {
            if (Is(p, ")") || Is(p, "]")) ++depth;
            else if ((Is(p, "(") || Is(p, "[")) && depth-- == 0) break;
            else if (Is(p, ",") && depth == 0) ++index;
        }
        if (!Is(p, "(") || t_[p - 1].kind != 'w') return false;
        std::string callee = Text(p - 1);
        // The intrinsics with out parameters.
        if (callee == "sincos") return index == 1 || index == 2;
        if (callee == "modf" || callee == "frexp") return index == 1;
        auto it = outParams_.find(callee);
        return it != outParams_.end() && index < it->second.size() && it->second[index];
    }

    std::vector<Global> globals_;
    std::set<std::string, std::less<>> names_;   // of globals_
    std::vector<Body> functions_;
    std::map<std::string, std::vector<bool>> outParams_;   // by function name, all overloads
};

}  // namespace

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
    return WrittenGlobals(s).Rewrite();
}

std::string MoveCalledInitializers(std::string& s) {
    if (s.find("static") == std::string::npos) return std::string();
    const TokenText tokens(s);
    const std::vector<HlslToken>& t = tokens.All();
    const size_t n = t.size();
    auto Text = [&](size_t i) { return tokens.Text(i); };
    auto Is = [&](size_t i, const char* p) { return tokens.Is(i, p); };
    auto Match = [&](size_t i) { return tokens.Match(i); };
    // Top-level statements: [begin, end) with end at the ';' or just past a function's body.
    struct Statement {
        size_t begin, end;
        bool function;
    };
    std::vector<Statement> statements;
    std::set<std::string> functions;
    for (size_t i = 0; i < n;) {
        size_t j = i, firstParen = n;
        bool assigned = false, function = false;
        while (j < n && !Is(j, ";")) {
            if (Is(j, "=")) assigned = true;
            if (Is(j, "(") || Is(j, "[")) {
                if (Is(j, "(") && firstParen == n) firstParen = j;
                j = Match(j);
                if (j < n) ++j;
                continue;
            }
            if (Is(j, "{")) {
                size_t close = Match(j);
                if (!assigned && firstParen != n && firstParen > i && t[firstParen - 1].kind == 'w') {
                    functions.insert(Text(firstParen - 1));
                    function = true;
                    j = close;
                    break;
                }
                j = close < n ? close + 1 : n;
                continue;
            }
            ++j;
        }
        statements.push_back({i, std::min(j, n), function});
        i = j + 1;
    }
    // Static declarations whose initialisers call one of those functions, or read a static
    // moved before them.
    std::set<std::string> moved;
    std::string prologue;
    for (const Statement& st : statements) {
        if (st.function || !Is(st.begin, "static")) continue;
        size_t constWord = n, j = st.begin;
        for (; j < st.end && t[j].kind == 'w' && (Is(j, "static") || Is(j, "const") || Is(j, "uniform") ||
                                                  Is(j, "row_major") || Is(j, "column_major"));
             ++j)
            if (Is(j, "const")) constWord = j;
        ++j;   // the type
        if (Is(j, "<")) {
            while (j < st.end && !Is(j, ">")) ++j;
            ++j;
        }
        bool any = false;
        while (j < st.end && t[j].kind == 'w') {
            std::string name = Text(j++);
            while (Is(j, "[")) j = Match(j) + 1;
            if (Is(j, ":")) j += 2;   // a semantic
            size_t end = std::min(tokens.Skip(j, ",", ";"), st.end);
            if (Is(j, "=") && j + 1 < end && !Is(j + 1, "{")) {
                bool calls = false;
                for (size_t k = j + 1; k < end && !calls; ++k)
                    calls = t[k].kind == 'w' && ((Is(k + 1, "(") && functions.count(Text(k))) || moved.count(Text(k)));
                if (calls) {
                    std::string init = s.substr(t[j + 1].begin, t[end - 1].end - t[j + 1].begin);
                    for (char& c : init)
                        if (c == '\n' || c == '\r') c = ' ';
                    prologue += " " + name + " = (" + init + ");";
                    moved.insert(name);
                    any = true;
                    for (size_t c = t[j].begin; c < t[end - 1].end; ++c)
                        if (s[c] != '\n') s[c] = ' ';
                }
            }
            j = end < st.end ? end + 1 : end;
        }
        if (any && constWord < n) s.replace(t[constWord].begin, 5, "     ");
    }
    return prologue;
}

void RenameReservedWords(std::string& hlsl) {
    std::string out;
    size_t done = 0;
    for (const HlslToken& t : Tokens(hlsl)) {
        if (t.kind != 'w' || !GlslangOnlyWord(hlsl.data() + t.begin, t.end - t.begin)) continue;
        out.append(hlsl, done, t.begin - done);
        out += kReservedPrefix;
        done = t.begin;
    }
    if (done == 0) return;
    out.append(hlsl, done, std::string::npos);
    hlsl.swap(out);
}

std::string CompilerName(const std::string& name) {
    return GlslangOnlyWord(name.data(), name.size()) ? kReservedPrefix + name : name;
}

std::string SourceName(const std::string& name) {
    size_t n = RenamedAt(name, 0);
    return n && kPrefixLength + n == name.size() ? name.substr(kPrefixLength) : name;
}

std::string SourceNames(const std::string& text) {
    if (text.find("dx_") == std::string::npos) return text;
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (RenamedAt(text, i)) {
            i += kPrefixLength;
            continue;
        }
        out += text[i++];
    }
    return out;
}

int SourceColumn(const std::string& renamedLine, int col) {
    int shift = 0;
    for (size_t i = 0; i + 1 < static_cast<size_t>(col) && i < renamedLine.size(); ++i)
        if (RenamedAt(renamedLine, i)) shift += static_cast<int>(kPrefixLength);
    return std::max(1, col - shift);
}

}  // namespace hlsl
