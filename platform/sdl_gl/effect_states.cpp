#include "platform/sdl_gl/effect_states.h"

#include "platform/core/fx_state_names.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace sdlgl {

namespace {

typedef StateValueKind K;

struct StateName {
    const char* name;
    StateTarget target;
    uint32_t id;
    K kind;
};

const StateName kPassStates[] = {
    {"ZEnable", StateTarget::Render, 7, K::ZBuffer},
    {"FillMode", StateTarget::Render, 8, K::Fill},
    {"ShadeMode", StateTarget::Render, 9, K::Shade},
    {"ZWriteEnable", StateTarget::Render, 14, K::Bool},
    {"AlphaTestEnable", StateTarget::Render, 15, K::Bool},
    {"LastPixel", StateTarget::Render, 16, K::Bool},
    {"SrcBlend", StateTarget::Render, 19, K::Blend},
    {"DestBlend", StateTarget::Render, 20, K::Blend},
    {"CullMode", StateTarget::Render, 22, K::Cull},
    {"ZFunc", StateTarget::Render, 23, K::Cmp},
    {"AlphaRef", StateTarget::Render, 24, K::Dword},
    {"AlphaFunc", StateTarget::Render, 25, K::Cmp},
    {"DitherEnable", StateTarget::Render, 26, K::Bool},
    {"AlphaBlendEnable", StateTarget::Render, 27, K::Bool},
    {"SpecularEnable", StateTarget::Render, 29, K::Bool},
    {"TextureFactor", StateTarget::Render, 60, K::Color},
    {"Clipping", StateTarget::Render, 136, K::Bool},
    {"Lighting", StateTarget::Render, 137, K::Bool},
    {"Ambient", StateTarget::Render, 139, K::Color},
    {"ColorVertex", StateTarget::Render, 141, K::Bool},
    {"LocalViewer", StateTarget::Render, 142, K::Bool},
    {"NormalizeNormals", StateTarget::Render, 143, K::Bool},
    {"DiffuseMaterialSource", StateTarget::Render, 145, K::MaterialSource},
    {"SpecularMaterialSource", StateTarget::Render, 146, K::MaterialSource},
    {"AmbientMaterialSource", StateTarget::Render, 147, K::MaterialSource},
    {"EmissiveMaterialSource", StateTarget::Render, 148, K::MaterialSource},
    {"MultiSampleAntialias", StateTarget::Render, 161, K::Bool},
    {"MultiSampleMask", StateTarget::Render, 162, K::Dword},
    {"ColorWriteEnable", StateTarget::Render, 168, K::ColorWrite},
    {"BlendOp", StateTarget::Render, 171, K::BlendOp},
    {"ScissorTestEnable", StateTarget::Render, 174, K::Bool},
    {"AntialiasedLineEnable", StateTarget::Render, 176, K::Bool},
    {"BlendFactor", StateTarget::Render, 193, K::Color},
    {"SeparateAlphaBlendEnable", StateTarget::Render, 206, K::Bool},
    {"SrcBlendAlpha", StateTarget::Render, 207, K::Blend},
    {"DestBlendAlpha", StateTarget::Render, 208, K::Blend},
    {"BlendOpAlpha", StateTarget::Render, 209, K::BlendOp},
    {"ColorOp", StateTarget::TextureStage, 1, K::TextureOp},
    {"ColorArg1", StateTarget::TextureStage, 2, K::TextureArg},
    {"ColorArg2", StateTarget::TextureStage, 3, K::TextureArg},
    {"AlphaOp", StateTarget::TextureStage, 4, K::TextureOp},
    {"AlphaArg1", StateTarget::TextureStage, 5, K::TextureArg},
    {"AlphaArg2", StateTarget::TextureStage, 6, K::TextureArg},
    {"TexCoordIndex", StateTarget::TextureStage, 11, K::TexCoordIndex},
    // The bump matrix of a stage, read by shader assembly's texbem, texbeml and bem.
    {"BumpEnvMat00", StateTarget::TextureStage, 7, K::Float},
    {"BumpEnvMat01", StateTarget::TextureStage, 8, K::Float},
    {"BumpEnvMat10", StateTarget::TextureStage, 9, K::Float},
    {"BumpEnvMat11", StateTarget::TextureStage, 10, K::Float},
    {"BumpEnvLScale", StateTarget::TextureStage, 22, K::Float},
    {"BumpEnvLOffset", StateTarget::TextureStage, 23, K::Float},
    {"TextureTransformFlags", StateTarget::TextureStage, 24, K::TransformFlags},
    {"Texture", StateTarget::Texture, 0, K::Parameter},
    {"Sampler", StateTarget::SetSampler, 0, K::Parameter},
    {"WorldTransform", StateTarget::Transform, 256, K::Matrix},
    {"ViewTransform", StateTarget::Transform, 2, K::Matrix},
    {"ProjectionTransform", StateTarget::Transform, 3, K::Matrix},
    {"TextureTransform", StateTarget::Transform, 16, K::Matrix},
    {"ColorWriteEnable1", StateTarget::Render, 190, K::ColorWrite},   // one render target:
    {"ColorWriteEnable2", StateTarget::Render, 191, K::ColorWrite},   // nothing to write
    {"ColorWriteEnable3", StateTarget::Render, 192, K::ColorWrite},
    {"LightType", StateTarget::Light, 0, K::LightType},
    {"LightDiffuse", StateTarget::Light, 1, K::Vector4},
    {"LightSpecular", StateTarget::Light, 2, K::Vector4},
    {"LightAmbient", StateTarget::Light, 3, K::Vector4},
    {"LightPosition", StateTarget::Light, 4, K::Vector4},
    {"LightDirection", StateTarget::Light, 5, K::Vector4},
    {"LightRange", StateTarget::Light, 6, K::Float},
    {"LightFalloff", StateTarget::Light, 7, K::Float},
    {"LightAttenuation0", StateTarget::Light, 8, K::Float},
    {"LightAttenuation1", StateTarget::Light, 9, K::Float},
    {"LightAttenuation2", StateTarget::Light, 10, K::Float},
    {"LightTheta", StateTarget::Light, 11, K::Float},
    {"LightPhi", StateTarget::Light, 12, K::Float},
    {"LightEnable", StateTarget::LightEnable, 0, K::Bool},
    {"MaterialDiffuse", StateTarget::Material, 0, K::Vector4},
    {"MaterialAmbient", StateTarget::Material, 1, K::Vector4},
    {"MaterialSpecular", StateTarget::Material, 2, K::Vector4},
    {"MaterialEmissive", StateTarget::Material, 3, K::Vector4},
    {"MaterialPower", StateTarget::Material, 4, K::Float},
    {"VertexShader", StateTarget::VertexShader, 0, K::Parameter},
    {"PixelShader", StateTarget::PixelShader, 0, K::Parameter},
};

const StateName kSamplerStates[] = {
    {"AddressU", StateTarget::Sampler, 1, K::TexAddress},
    {"AddressV", StateTarget::Sampler, 2, K::TexAddress},
    {"AddressW", StateTarget::Sampler, 3, K::TexAddress},
    {"BorderColor", StateTarget::Sampler, 4, K::Color},
    {"MagFilter", StateTarget::Sampler, 5, K::TexFilter},
    {"MinFilter", StateTarget::Sampler, 6, K::TexFilter},
    {"MipFilter", StateTarget::Sampler, 7, K::TexFilter},
    {"MipMapLodBias", StateTarget::Sampler, 8, K::Float},
    {"MaxMipLevel", StateTarget::Sampler, 9, K::Dword},
    {"MaxAnisotropy", StateTarget::Sampler, 10, K::Dword},
    {"SRGBTexture", StateTarget::Sampler, 11, K::Bool},
    {"Texture", StateTarget::Texture, 0, K::Parameter},
};

struct EnumName {
    const char* name;
    uint32_t value;
};

const EnumName kBlend[] = {{"Zero", 1}, {"One", 2}, {"SrcColor", 3}, {"InvSrcColor", 4},
                           {"SrcAlpha", 5}, {"InvSrcAlpha", 6}, {"DestAlpha", 7},
                           {"InvDestAlpha", 8}, {"DestColor", 9}, {"InvDestColor", 10},
                           {"SrcAlphaSat", 11}, {"BothSrcAlpha", 12}, {"BothInvSrcAlpha", 13},
                           {"BlendFactor", 14}, {"InvBlendFactor", 15}};
const EnumName kBlendOp[] = {{"Add", 1}, {"Subtract", 2}, {"RevSubtract", 3}, {"Min", 4},
                             {"Max", 5}};
const EnumName kCmp[] = {{"Never", 1}, {"Less", 2}, {"Equal", 3}, {"LessEqual", 4},
                         {"Greater", 5}, {"NotEqual", 6}, {"GreaterEqual", 7}, {"Always", 8}};
const EnumName kCull[] = {{"None", 1}, {"CW", 2}, {"CCW", 3}};
const EnumName kFill[] = {{"Point", 1}, {"Wireframe", 2}, {"Solid", 3}};
const EnumName kShade[] = {{"Flat", 1}, {"Gouraud", 2}, {"Phong", 3}};
const EnumName kZBuffer[] = {{"False", 0}, {"True", 1}, {"UseW", 2}};
const EnumName kMaterialSource[] = {{"Material", 0}, {"Color1", 1}, {"Color2", 2}};
const EnumName kColorWrite[] = {{"Red", 1}, {"Green", 2}, {"Blue", 4}, {"Alpha", 8}};
const EnumName kTexFilter[] = {{"None", 0}, {"Point", 1}, {"Linear", 2}, {"Anisotropic", 3},
                               {"PyramidalQuad", 6}, {"GaussianQuad", 7}};
const EnumName kTexAddress[] = {{"Wrap", 1}, {"Mirror", 2}, {"Clamp", 3}, {"Border", 4},
                                {"MirrorOnce", 5}};
const EnumName kTextureOp[] = {
    {"Disable", 1}, {"SelectArg1", 2}, {"SelectArg2", 3}, {"Modulate", 4}, {"Modulate2x", 5},
    {"Modulate4x", 6}, {"Add", 7}, {"AddSigned", 8}, {"AddSigned2x", 9}, {"Subtract", 10},
    {"AddSmooth", 11}, {"BlendDiffuseAlpha", 12}, {"BlendTextureAlpha", 13},
    {"BlendFactorAlpha", 14}, {"BlendTextureAlphaPM", 15}, {"BlendCurrentAlpha", 16},
    {"PreModulate", 17}, {"ModulateAlpha_AddColor", 18}, {"ModulateColor_AddAlpha", 19},
    {"ModulateInvAlpha_AddColor", 20}, {"ModulateInvColor_AddAlpha", 21},
    {"BumpEnvMap", 22}, {"BumpEnvMapLuminance", 23}, {"DotProduct3", 24},
    {"MultiplyAdd", 25}, {"Lerp", 26}};
const EnumName kTextureArg[] = {{"Diffuse", 0}, {"Current", 1}, {"Texture", 2}, {"TFactor", 3},
                                {"Specular", 4}, {"Temp", 5}, {"Constant", 6},
                                {"Complement", 0x10}, {"AlphaReplicate", 0x20}};
const EnumName kBool[] = {{"False", 0}, {"True", 1}};
const EnumName kLightType[] = {{"Point", 1}, {"Spot", 2}, {"Directional", 3}};
const EnumName kTexCoordIndex[] = {{"PassThru", 0}, {"CameraSpaceNormal", 0x10000},
                                   {"CameraSpacePosition", 0x20000},
                                   {"CameraSpaceReflectionVector", 0x30000},
                                   {"SphereMap", 0x40000}};
const EnumName kTransformFlags[] = {{"Disable", 0}, {"Count1", 1}, {"Count2", 2},
                                    {"Count3", 3}, {"Count4", 4}, {"Projected", 256}};

// Prefixes an effect file may put before an enum name.
const char* const kPrefixes[] = {"D3DBLENDOP_", "D3DBLEND_", "D3DCMP_", "D3DCULL_", "D3DFILL_",
                                 "D3DSHADE_", "D3DZB_", "D3DMCS_", "D3DCOLORWRITEENABLE_",
                                 "D3DTEXF_", "D3DTADDRESS_", "D3DTOP_", "D3DTA_",
                                 "D3DTSS_TCI_", "D3DTTFF_", "D3DLIGHT_"};

using core::EqualNoCase;

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool IsIdentifier(const std::string& s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

template <size_t N>
bool FindEnum(const EnumName (&table)[N], std::string word, uint32_t& value) {
    for (const char* p : kPrefixes) {
        size_t n = std::strlen(p);
        if (word.size() > n && EqualNoCase(word.substr(0, n), p)) {
            word = word.substr(n);
            break;
        }
    }
    for (const EnumName& e : table)
        if (EqualNoCase(word, e.name)) {
            value = e.value;
            return true;
        }
    return false;
}

// Integers in decimal or hex; floats are truncated.
bool ParseNumber(const std::string& text, double& out) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        unsigned long v = std::strtoul(t.c_str() + 2, &end, 16);
        if (*end != '\0') return false;
        out = static_cast<double>(v);
        return true;
    }
    out = std::strtod(t.c_str(), &end);
    while (end && (*end == 'f' || *end == 'F' || *end == 'h' || *end == 'H')) ++end;
    return end && *end == '\0';
}

bool ParseVector(const std::string& text, float vec[4], int& count) {
    std::string t = Trim(text);
    if (!t.empty() && t.front() == '{' && t.back() == '}') t = t.substr(1, t.size() - 2);
    // Also accept constructor form: float4(r, g, b, a).
    size_t paren = t.find('(');
    if (paren != std::string::npos && t.back() == ')') t = t.substr(paren + 1, t.size() - paren - 2);
    count = 0;
    size_t pos = 0;
    while (pos <= t.size() && count < 4) {
        size_t comma = t.find(',', pos);
        if (comma == std::string::npos) comma = t.size();
        double d;
        if (!ParseNumber(t.substr(pos, comma - pos), d)) return false;
        vec[count++] = static_cast<float>(d);
        pos = comma + 1;
        if (comma == t.size()) break;
    }
    return count > 0 && pos >= t.size();
}

uint32_t ColorFromFloats(const float v[4]) {
    auto Byte = [](float f) -> uint32_t {
        f = f < 0 ? 0 : f > 1 ? 1 : f;
        return static_cast<uint32_t>(f * 255.0f + 0.5f);
    };
    return (Byte(v[3]) << 24) | (Byte(v[0]) << 16) | (Byte(v[1]) << 8) | Byte(v[2]);
}

template <size_t N>
bool ParseFlags(const EnumName (&table)[N], const std::string& text, uint32_t& out) {
    out = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t bar = text.find('|', pos);
        if (bar == std::string::npos) bar = text.size();
        std::string part = Trim(text.substr(pos, bar - pos));
        uint32_t v;
        double d;
        if (FindEnum(table, part, v)) out |= v;
        else if (ParseNumber(part, d)) out |= static_cast<uint32_t>(d);
        else return false;
        pos = bar + 1;
    }
    return true;
}

}  // namespace

bool LookupState(const std::string& name, bool inSampler, StateInfo& info) {
    if (inSampler) {
        for (const StateName& s : kSamplerStates)
            if (EqualNoCase(name, s.name)) {
                info = StateInfo{s.target, s.id, s.kind};
                return true;
            }
        return false;
    }
    for (const StateName& s : kPassStates)
        if (EqualNoCase(name, s.name)) {
            info = StateInfo{s.target, s.id, s.kind};
            return true;
        }
    // Sampler states also appear in passes with a sampler index: MinFilter[0] = Linear.
    for (const StateName& s : kSamplerStates)
        if (EqualNoCase(name, s.name)) {
            info = StateInfo{s.target, s.id, s.kind};
            return true;
        }
    return false;
}

std::string ParameterReference(const std::string& value, StateValueKind kind) {
    std::string t = Trim(value);
    if (t.size() >= 2 && ((t.front() == '<' && t.back() == '>') ||
                          (t.front() == '(' && t.back() == ')'))) {
        std::string inner = Trim(t.substr(1, t.size() - 2));
        if (IsIdentifier(inner)) return inner;
        return std::string();
    }
    if (!IsIdentifier(t)) return std::string();
    if (kind == K::Parameter) return t;
    uint32_t v;
    float vec[4];
    if (ParseStateValue(t, kind, v, vec)) return std::string();
    return t;
}

bool ParseStateValue(const std::string& value, StateValueKind kind, uint32_t& out,
                     float vec[4]) {
    std::string t = Trim(value);
    double d = 0;
    switch (kind) {
        case K::Bool:
            if (FindEnum(kBool, t, out)) return true;
            if (!ParseNumber(t, d)) return false;
            out = d != 0 ? 1 : 0;
            return true;
        case K::Dword:
            if (FindEnum(kBool, t, out)) return true;
            if (!ParseNumber(t, d) || d < 0) return false;
            out = static_cast<uint32_t>(d);
            return true;
        case K::Float: {
            if (!ParseNumber(t, d)) return false;
            float f = static_cast<float>(d);
            std::memcpy(&out, &f, sizeof out);
            return true;
        }
        case K::Color:
        case K::Vector4: {
            float v[4] = {0, 0, 0, kind == K::Color ? 1.0f : 0.0f};
            int n = 0;
            if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X') && kind == K::Color) {
                if (!ParseNumber(t, d)) return false;
                out = static_cast<uint32_t>(d);
                v[0] = ((out >> 16) & 0xFF) / 255.0f;
                v[1] = ((out >> 8) & 0xFF) / 255.0f;
                v[2] = (out & 0xFF) / 255.0f;
                v[3] = (out >> 24) / 255.0f;
            } else {
                float read[4];
                if (!ParseVector(t, read, n)) return false;
                for (int i = 0; i < n; ++i) v[i] = read[i];
                out = ColorFromFloats(v);
            }
            if (vec)
                for (int i = 0; i < 4; ++i) vec[i] = v[i];
            return true;
        }
        case K::ColorWrite: return ParseFlags(kColorWrite, t, out);
        case K::TextureArg: return ParseFlags(kTextureArg, t, out);
        case K::TexCoordIndex: return ParseFlags(kTexCoordIndex, t, out);
        case K::TransformFlags: return ParseFlags(kTransformFlags, t, out);
        case K::Matrix: return false;
        case K::Parameter: return false;
        default: break;
    }
    bool found = false;
    switch (kind) {
        case K::Blend: found = FindEnum(kBlend, t, out); break;
        case K::BlendOp: found = FindEnum(kBlendOp, t, out); break;
        case K::Cmp: found = FindEnum(kCmp, t, out); break;
        case K::Cull: found = FindEnum(kCull, t, out); break;
        case K::Fill: found = FindEnum(kFill, t, out); break;
        case K::Shade: found = FindEnum(kShade, t, out); break;
        case K::ZBuffer: found = FindEnum(kZBuffer, t, out); break;
        case K::MaterialSource: found = FindEnum(kMaterialSource, t, out); break;
        case K::TexFilter: found = FindEnum(kTexFilter, t, out); break;
        case K::LightType: found = FindEnum(kLightType, t, out); break;
        case K::TexAddress: found = FindEnum(kTexAddress, t, out); break;
        case K::TextureOp: found = FindEnum(kTextureOp, t, out); break;
        default: break;
    }
    if (found) return true;
    if (!ParseNumber(t, d) || d < 0) return false;
    out = static_cast<uint32_t>(d);
    return true;
}

bool ParseStateMatrix(const std::string& value, float m[16]) {
    std::string t = Trim(value);
    // A scalar is promoted to the matrix as HLSL promotes one: every element takes its value.
    double scalar;
    if (ParseNumber(t, scalar)) {
        for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(scalar);
        return true;
    }
    size_t open = t.find_first_of("{(");
    if (open == std::string::npos || (t.back() != '}' && t.back() != ')')) return false;
    t = t.substr(open + 1, t.size() - open - 2);
    int count = 0;
    size_t pos = 0;
    bool atEnd = false;
    while (!atEnd) {
        size_t comma = t.find(',', pos);
        if (comma == std::string::npos) comma = t.size();
        double d;
        std::string part = Trim(t.substr(pos, comma - pos));
        // Rows may be nested in their own braces.
        while (!part.empty() && (part.front() == '{' || part.front() == '(')) part.erase(0, 1);
        while (!part.empty() && (part.back() == '}' || part.back() == ')')) part.pop_back();
        if (count == 16 || !ParseNumber(part, d)) return false;
        m[count++] = static_cast<float>(d);
        atEnd = comma == t.size();
        pos = comma + 1;
    }
    return count == 16;
}

}  // namespace sdlgl
