#include "platform/shader/entry_binding.h"

#include <cctype>
#include <cstdlib>

#include "platform/shader/hlsl_text.h"

namespace hlsl {

namespace {

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

}  // namespace

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
            for (size_t k = 0; k < w.size(); ++k) {
                const std::string& x = w[k];
                isUniform = isUniform || x == "uniform";
                static const char* const kQualifiers[] = {
                    "in", "out", "inout", "uniform", "const", "linear", "centroid",
                    "nointerpolation", "noperspective", "sample", "precise"};
                bool qualifier = false;
                for (const char* q : kQualifiers) qualifier = qualifier || x == q;
                // Direct3D 9 HLSL has no interpolation qualifiers: after a type, "sample" or
                // "linear" is the parameter's name.
                if (k + 1 == w.size() && typeAndName > 0) qualifier = false;
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
                       const std::vector<std::string>& args, const std::string& file, int line,
                       const std::string& prologue) {
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
           sig.returnType + " " + kBoundEntry + "(" + params + ")" + sig.suffix + " {" + prologue + " " + body +
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

}  // namespace hlsl
