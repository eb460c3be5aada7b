#include "platform/shader/legacy_rewrite.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
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
    return s;
}

}  // namespace hlsl
