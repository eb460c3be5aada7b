#include "platform/core/fxfile_values.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <utility>

namespace core {

FxBase FxNumericBase(const std::string& type) {
    static const std::pair<const char*, FxBase> kBases[] = {
        {"bool", FxBase::Bool},         {"int", FxBase::Int},           {"uint", FxBase::Int},
        {"dword", FxBase::Int},         {"min16int", FxBase::Int},      {"min12int", FxBase::Int},
        {"min16uint", FxBase::Int},     {"float", FxBase::Float},       {"half", FxBase::Float},
        {"double", FxBase::Float},      {"min16float", FxBase::Float},  {"min10float", FxBase::Float},
        {"matrix", FxBase::Float},      {"vector", FxBase::Float},   // float4x4 and float4
    };
    std::string t = type;
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& b : kBases)
        if (t.compare(0, std::strlen(b.first), b.first) == 0) return b.second;
    return FxBase::None;
}

bool FxSplitHandle(const char* handle, std::string& name, int& element) {
    element = -1;
    if (!handle) return false;
    const char* open = std::strchr(handle, '[');
    if (!open) {
        name = handle;
        return !name.empty();
    }
    name.assign(handle, static_cast<size_t>(open - handle));
    const char* p = open + 1;
    long long v = 0;
    if (*p < '0' || *p > '9') return false;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p - '0');
        if (v > 1000000000) return false;
        ++p;
    }
    if (*p != ']' || p[1] != '\0') return false;
    element = static_cast<int>(v);
    return !name.empty();
}

bool FxNarrow(const FxShape& param, int element, FxShape& named, size_t& offset) {
    named = param;
    offset = 0;
    if (element < 0) return true;
    if (element >= param.elements) return false;
    named.elements = 0;
    offset = param.ElementFloats() * static_cast<size_t>(element);
    return true;
}

bool FxSetArray(FxArrayCall call, const FxShape& s, const float* in, unsigned count,
                std::vector<float>& out) {
    out.clear();
    if (!s.Numeric()) return false;
    if (count > 0 && !in) return false;
    if (call == FxArrayCall::Float) {
        // As many numbers as the value holds; the rest of the input is ignored.
        size_t n = count < s.Floats() ? count : s.Floats();
        out.assign(in, in + n);
        return true;
    }
    // Vector and matrix arrays: at most one item per element.
    if (count > static_cast<unsigned>(s.elements > 0 ? s.elements : 0)) return false;
    if (call == FxArrayCall::Vector) {
        if (s.cls != FxClass::Vector) return false;
        for (unsigned i = 0; i < count; ++i)
            for (int c = 0; c < s.columns && c < 4; ++c) out.push_back(in[i * 4 + static_cast<unsigned>(c)]);
        return true;
    }
    if (s.cls != FxClass::Matrix) return false;
    bool transpose = call == FxArrayCall::MatrixTranspose;
    for (unsigned i = 0; i < count; ++i)
        for (int r = 0; r < s.rows && r < 4; ++r)
            for (int c = 0; c < s.columns && c < 4; ++c)
                out.push_back(in[i * 16 + static_cast<unsigned>(transpose ? c * 4 + r : r * 4 + c)]);
    return true;
}

bool FxGetArray(FxArrayCall call, const FxShape& s, const float* value, unsigned count,
                float* out) {
    if (call == FxArrayCall::Float) {
        if (!out || !s.Numeric()) return false;
        size_t n = count < s.Floats() ? count : s.Floats();
        for (size_t i = 0; i < n; ++i) out[i] = value[i];
        return true;
    }
    if (count == 0) return true;
    if (!out || count > static_cast<unsigned>(s.elements > 0 ? s.elements : 0)) return false;
    size_t per = s.ElementFloats();
    if (call == FxArrayCall::Vector) {
        if (s.cls != FxClass::Vector) return false;
        for (unsigned i = 0; i < count; ++i)
            for (int c = 0; c < 4; ++c)
                out[i * 4 + static_cast<unsigned>(c)] = c < s.columns ? value[i * per + static_cast<size_t>(c)] : 0.0f;
        return true;
    }
    if (s.cls != FxClass::Matrix) return false;
    bool transpose = call == FxArrayCall::MatrixTranspose;
    for (unsigned i = 0; i < count; ++i)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                float v = r < s.rows && c < s.columns
                              ? value[i * per + static_cast<size_t>(r * s.columns + c)]
                              : 0.0f;
                out[i * 16 + static_cast<unsigned>(transpose ? c * 4 + r : r * 4 + c)] = v;
            }
    return true;
}

bool FxSetRaw(const FxShape& s, bool integer, const void* data, unsigned bytes,
              std::vector<float>& out) {
    out.clear();
    size_t n = s.Floats();
    if (!data || !s.Numeric() || bytes < n * 4) return false;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        if (integer) {
            int32_t v;
            std::memcpy(&v, p + i * 4, 4);
            out.push_back(static_cast<float>(v));
        } else {
            float v;
            std::memcpy(&v, p + i * 4, 4);
            out.push_back(v);
        }
    }
    return true;
}

bool FxGetRaw(const FxShape& s, bool integer, const float* value, void* data, unsigned bytes) {
    size_t n = s.Floats();
    if (!data || !s.Numeric() || bytes < n * 4) return false;
    unsigned char* p = static_cast<unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        if (integer) {
            int32_t v = static_cast<int32_t>(value[i]);
            std::memcpy(p + i * 4, &v, 4);
        } else {
            std::memcpy(p + i * 4, &value[i], 4);
        }
    }
    return true;
}

}  // namespace core
