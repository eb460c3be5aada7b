#include "platform/core/fx_shader_constants.h"

#include <cctype>
#include <cstdlib>

namespace core {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool IsIdent(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

// The state's register file and register limit from its name; false for other names.
bool Kind(const std::string& name, bool& vertex, char& file, int& maxRegisters) {
    std::string n = Lower(name);
    std::string rest;
    if (n.compare(0, 20, "vertexshaderconstant") == 0) {
        vertex = true;
        rest = n.substr(20);
    } else if (n.compare(0, 19, "pixelshaderconstant") == 0) {
        vertex = false;
        rest = n.substr(19);
    } else {
        return false;
    }
    file = 'f';
    maxRegisters = 0;
    if (rest.empty() || rest == "f") return true;
    if (rest == "i" || rest == "b") {
        file = rest[0];
        return true;
    }
    if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
        maxRegisters = rest[0] - '0';
        return true;
    }
    return false;
}

bool Numeric(const FxParameter& p) {
    if (p.paramClass != FxClass::Scalar && p.paramClass != FxClass::Vector && p.paramClass != FxClass::Matrix)
        return false;
    return FxNumericBase(p.type) != FxBase::None;
}

// Numbers written out: braces, commas, constructors (float4(...)), true and false around them.
bool Numbers(const std::string& v, std::vector<float>& out) {
    size_t i = 0;
    while (i < v.size()) {
        char c = v[i];
        if (std::isspace(static_cast<unsigned char>(c)) || c == '{' || c == '}' || c == ',' || c == '(' || c == ')') {
            ++i;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t b = i;
            while (i < v.size() && (std::isalnum(static_cast<unsigned char>(v[i])) || v[i] == '_')) ++i;
            std::string w = Lower(v.substr(b, i - b));
            if (w == "true" || w == "false") {
                out.push_back(w == "true" ? 1.0f : 0.0f);
                continue;
            }
            size_t j = i;
            while (j < v.size() && v[j] == ' ') ++j;
            if (j < v.size() && v[j] == '(') continue;   // a constructor
            return false;
        }
        const char* p = v.c_str() + i;
        char* end = nullptr;
        float f = std::strtof(p, &end);
        if (end == p) return false;
        i = static_cast<size_t>(end - v.c_str());
        while (i < v.size() && (v[i] == 'f' || v[i] == 'F' || v[i] == 'h' || v[i] == 'H')) ++i;
        out.push_back(f);
    }
    return !out.empty();
}

}  // namespace

bool FxIsShaderConstantState(const std::string& name) {
    bool vertex;
    char file;
    int max;
    return Kind(name, vertex, file, max);
}

bool FxReadShaderConstant(const FxFile& fx, const FxState& s, FxConstantState& out, std::string& err) {
    out = FxConstantState();
    if (!Kind(s.name, out.vertex, out.file, out.maxRegisters)) {
        err = "'" + s.name + "' is no shader constant state";
        return false;
    }
    out.first = s.index < 0 ? 0 : s.index;
    std::string v = Trim(s.value);
    std::string inner = v;
    if (v.size() >= 2 && ((v.front() == '<' && v.back() == '>') || (v.front() == '(' && v.back() == ')')))
        inner = Trim(v.substr(1, v.size() - 2));
    // A parameter, or one element of an array parameter: name[2].
    std::string name = inner;
    int element = -1;
    size_t open = inner.find('[');
    if (open != std::string::npos && inner.back() == ']') {
        std::string index = Trim(inner.substr(open + 1, inner.size() - open - 2));
        char* end = nullptr;
        long e = std::strtol(index.c_str(), &end, 10);
        if (!index.empty() && *end == '\0' && e >= 0 && e < 65536) {
            name = Trim(inner.substr(0, open));
            element = static_cast<int>(e);
        }
    }
    if (IsIdent(name) && Lower(name) != "true" && Lower(name) != "false") {
        for (size_t i = 0; i < fx.params.size(); ++i) {
            const FxParameter& p = fx.params[i];
            if (p.name != name) continue;
            if (!Numeric(p) || (element >= 0 && element >= p.elements)) break;
            out.param = static_cast<int>(i);
            out.element = element;
            return true;
        }
        err = "cannot read the value '" + s.value + "' of " + s.name;
        return false;
    }
    if (!Numbers(v, out.literal)) {
        err = "cannot read the value '" + s.value + "' of " + s.name;
        return false;
    }
    return true;
}

std::vector<float> FxConstantRegisters(const FxConstantState& c, const FxShape& shape, bool rowMajor,
                                       const std::vector<float>& values) {
    std::vector<float> regs;
    const size_t width = c.file == 'b' ? 1 : 4;
    const int rows = shape.rows, cols = shape.columns;
    const size_t per = static_cast<size_t>(rows * cols);
    if (c.param < 0) {
        regs = c.literal;
    } else if (c.file == 'b') {
        size_t from = c.element >= 0 ? static_cast<size_t>(c.element) * per : 0;
        size_t to = c.element >= 0 ? from + per : values.size();
        for (size_t i = from; i < to && i < values.size(); ++i) regs.push_back(values[i]);
    } else {
        size_t elements = static_cast<size_t>(shape.elements > 0 ? shape.elements : 1);
        size_t from = 0;
        if (c.element >= 0) {
            from = static_cast<size_t>(c.element);
            elements = from + 1;
        }
        auto At = [&](size_t e, int r, int k) {
            size_t i = e * per + static_cast<size_t>(r * cols + k);
            return i < values.size() ? values[i] : 0.0f;
        };
        for (size_t e = from; e < elements; ++e) {
            if (shape.cls == FxClass::Matrix && !rowMajor) {
                for (int k = 0; k < cols; ++k)
                    for (int r = 0; r < 4; ++r) regs.push_back(r < rows ? At(e, r, k) : 0.0f);
            } else {
                for (int r = 0; r < rows; ++r)
                    for (int k = 0; k < 4; ++k) regs.push_back(k < cols ? At(e, r, k) : 0.0f);
            }
        }
    }
    if (width == 4) regs.resize((regs.size() + 3) / 4 * 4, 0.0f);
    if (c.maxRegisters > 0 && regs.size() > static_cast<size_t>(c.maxRegisters) * width)
        regs.resize(static_cast<size_t>(c.maxRegisters) * width);
    return regs;
}

}  // namespace core
