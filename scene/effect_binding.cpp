// Binding of effect parameters by semantic and annotation: the names effect tools use, read
// case-blind with underscores dropped ("WorldViewProj", "WORLD_VIEW_PROJECTION", "WorldIT").
#include "scene/effect_binding.h"

#include <cctype>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// The engine's own parameter names, set by name at every draw, and what they carry.
const struct {
    const char* name;
    const char* text;
} kEngineNames[] = {
    {"View_Pos", "the camera's position"},
    {"mat_World_View_Proj", "world-view-projection"},
    {"matWorld", "world"},
    {"LightPos", "the light's position"},
    {"LightColor", "the light's colour"},
    {"LightFalloff", "the light's falloff"},
    {"LightSpecular", "the light's specular power"},
    {"LightSpecular_Itens", "the light's specular intensity"},
    {"LightAmbient", "the light's ambient"},
    {"Attenuation", "the light's attenuation"},
    {"LightPositions", "the positions of a batch of lights"},
    {"LightColors", "the colours of a batch of lights"},
    {"LightFalloffs", "the falloffs of a batch of lights"},
    {"LightSpeculars", "the specular powers of a batch of lights"},
    {"LightSpecularIntensities", "the specular intensities of a batch of lights"},
    {"LightAmbients", "the ambients of a batch of lights"},
    {"LightAttenuations", "the attenuations of a batch of lights"},
    {"LightCount", "the number of lights in the batch"},
};

const char* EngineName(const char* name) {
    for (const auto& e : kEngineNames)
        if (name && std::strcmp(name, e.name) == 0) return e.text;
    return nullptr;
}

// Lower case without underscores, blanks or dots.
std::string Plain(const char* s) {
    std::string out;
    for (; s && *s; ++s)
        if (std::isalnum(static_cast<unsigned char>(*s)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(*s)));
    return out;
}

// Takes the first of `words` that `s` starts with at `at`.
bool Take(const std::string& s, size_t& at, std::initializer_list<const char*> words) {
    for (const char* w : words) {
        size_t n = std::strlen(w);
        if (s.compare(at, n, w) == 0) {
            at += n;
            return true;
        }
    }
    return false;
}

// "worldviewprojection", "viewinverse", "worldit", "wvp": factors and form.
bool ReadTransform(const std::string& s, int& factors, BindForm& form) {
    size_t at = 0;
    factors = 0;
    if (s == "wvp" || s == "mvp") {
        factors = kWorld | kView | kProjection;
        form = BindForm::Plain;
        return true;
    }
    if (Take(s, at, {"world", "model", "object"})) factors |= kWorld;
    size_t to = at;   // "ObjectToView": from one space to the next
    if (factors && Take(s, to, {"to"}) && (s.compare(to, 4, "view") == 0 || s.compare(to, 6, "camera") == 0))
        at = to;
    if (Take(s, at, {"view", "camera"})) factors |= kView;
    if (Take(s, at, {"projection", "proj"})) factors |= kProjection;
    if (!factors || factors == (kWorld | kProjection)) return false;
    Take(s, at, {"matrix"});
    form = BindForm::Plain;
    if (Take(s, at, {"inversetranspose", "invtranspose", "inversetrans", "invtrans", "transposeinverse",
                     "transinverse", "transinv", "it", "ti"}))
        form = BindForm::InverseTranspose;
    else if (Take(s, at, {"inverse", "inv", "i"}))
        form = BindForm::Inverse;
    else if (Take(s, at, {"transpose", "trans", "t"}))
        form = BindForm::Transpose;
    return at == s.size();
}

// The value `s` names in a table of {name, value}.
template <typename T, size_t N>
bool Lookup(const std::string& s, const std::pair<const char*, T> (&table)[N], T& out) {
    for (const auto& entry : table)
        if (s == entry.first) {
            out = entry.second;
            return true;
        }
    return false;
}

bool ReadTime(const std::string& s, BindTime& kind) {
    static const std::pair<const char*, BindTime> kTimes[] = {
        {"time", BindTime::Seconds},         {"timer", BindTime::Seconds},
        {"apptime", BindTime::Seconds},      {"globaltime", BindTime::Seconds},
        {"time0x", BindTime::Cycle},         {"time01", BindTime::Cycle01},
        {"time02pi", BindTime::Cycle2Pi},    {"sintime0x", BindTime::SinCycle},
        {"costime0x", BindTime::CosCycle},   {"tantime0x", BindTime::TanCycle},
        {"sintime01", BindTime::Sin01},      {"costime01", BindTime::Cos01},
        {"sintime02pi", BindTime::Sin2Pi},   {"costime02pi", BindTime::Cos2Pi},
    };
    return Lookup(s, kTimes, kind);
}

// "cameraposition", "worldeyepos", "viewdirection".
bool ReadCamera(const std::string& s, BindRole& role) {
    size_t at = 0;
    Take(s, at, {"world"});
    if (!Take(s, at, {"camera", "cam", "view", "eye"})) return false;
    if (Take(s, at, {"position", "pos", "location", "point", "pt"}))
        role = BindRole::CameraPosition;
    else if (Take(s, at, {"direction", "dir", "vector", "forward"}))
        role = BindRole::CameraDirection;
    else
        return false;
    return at == s.size();
}

bool ReadNumber(const std::string& s, size_t& at, unsigned& n) {
    size_t from = at;
    n = 0;
    while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])) && at - from < 3)
        n = n * 10 + static_cast<unsigned>(s[at++] - '0');
    return at > from;
}

// A light's value named by what follows "light" (or a light object's semantic).
bool ReadLightValue(const std::string& s, size_t& at, BindRole& role) {
    if (Take(s, at, {"position", "pos"}))
        role = BindRole::LightPosition;
    else if (Take(s, at, {"direction", "dir", "vector"}))
        role = BindRole::LightDirection;
    else if (Take(s, at, {"diffusecolor", "diffusecolour", "diffuse", "color", "colour"}))
        role = BindRole::LightColor;
    else if (Take(s, at, {"specularcolor", "specularcolour", "specular"}))
        role = BindRole::LightSpecular;
    else if (Take(s, at, {"ambientcolor", "ambientcolour", "ambient"}))
        role = BindRole::LightAmbient;
    else
        return false;
    return true;
}

// "lightposition", "lightposition1", "light1position", "worldlightdir".
bool ReadLight(const std::string& s, BindRole& role, unsigned& light) {
    size_t at = 0;
    Take(s, at, {"world"});
    if (!Take(s, at, {"light"})) return false;
    unsigned before = 0, after = 0;
    bool numbered = ReadNumber(s, at, before);
    if (!ReadLightValue(s, at, role)) return false;
    if (ReadNumber(s, at, after)) {
        if (numbered) return false;
        before = after;
    }
    light = before;
    return at == s.size() && light < kBindingLights;
}

// A light's position, direction or colour named by a parameter without a semantic: a short
// prefix ("g", "fv", "world"), "light", then the value, perhaps numbered ("Light0Pos"); "View"
// after a position or direction asks for it in view space ("g_vLightPosView"). Tutorials name
// the light by its part: "DiffuseLightDirection", "AmbientLightColor" (the ambient colour).
bool ReadLightName(const std::string& s, BindRole& role, bool& view) {
    size_t at = s.find("light");
    if (at == std::string::npos || at > 8) return false;
    const std::string prefix = s.substr(0, at);
    const bool ambient = prefix.find("ambient") != std::string::npos;
    const bool specular = prefix.find("specular") != std::string::npos;
    if (at > 6 && !ambient && !specular && prefix.find("diffuse") == std::string::npos) return false;
    at += 5;
    unsigned n = 0;
    ReadNumber(s, at, n);
    if (Take(s, at, {"position", "pos"}))
        role = BindRole::LightPosition;
    else if (Take(s, at, {"direction", "dir"}))
        role = BindRole::LightDirection;
    else if (Take(s, at, {"color", "colour", "diffuse"}))
        role = ambient ? BindRole::LightAmbient : specular ? BindRole::LightSpecular : BindRole::LightColor;
    else
        return false;
    ReadNumber(s, at, n);
    view = (role == BindRole::LightPosition || role == BindRole::LightDirection) &&
           Take(s, at, {"viewspace", "view"});
    return at == s.size() && n == 0;
}

// A texture named as the colour map ("diffuseMap_Tex", "baseMap", "gColorTexture"), as effect
// editors name it instead of giving it a semantic; not one named for another map as well.
bool ColourMapName(const std::string& s) {
    auto Has = [&](std::initializer_list<const char*> words) {
        for (const char* w : words)
            if (s.find(w) != std::string::npos) return true;
        return false;
    };
    return Has({"diffuse", "albedo", "base", "color", "colour"}) &&
           !Has({"normal", "bump", "height", "specular", "gloss", "env", "cube", "refl", "shadow", "depth",
                 "curve", "ramp", "gradient", "noise", "lookup", "target"});
}

bool ReadMaterial(const std::string& s, BindRole& role) {
    static const std::pair<const char*, BindRole> kMaterials[] = {
        {"materialdiffuse", BindRole::MaterialDiffuse},   {"materialambient", BindRole::MaterialAmbient},
        {"materialspecular", BindRole::MaterialSpecular}, {"materialemissive", BindRole::MaterialEmissive},
        {"materialpower", BindRole::MaterialPower},       {"materialspecularpower", BindRole::MaterialPower},
    };
    return Lookup(s, kMaterials, role);
}

// A value named by a parameter without a semantic, as sample programs set theirs by name: a
// short prefix ("g_m", "m", "mat", "g_v", "g_f", "x"), then the words a semantic would use:
// "g_mWorldViewProjection", "g_mInvView", "g_fTime", "g_MaterialDiffuseColor", "g_vEyePt".
bool ReadByName(const std::string& name, BoundParameter& b, BindRole& role) {
    static const char* const kPrefixes[] = {"", "g", "gm", "m", "mat", "gmat", "mmat", "mtx", "gmtx",
                                            "gv", "v", "fv", "gf", "f", "u", "x"};
    for (const char* prefix : kPrefixes) {
        size_t at = std::strlen(prefix);
        if (name.compare(0, at, prefix) != 0) continue;
        const std::string rest = name.substr(at);
        size_t inv = 0;
        const bool inverse = Take(rest, inv, {"inverse", "inv"});
        BindForm form;
        if (ReadTransform(rest.substr(inv), b.detail, form) && !(inverse && form != BindForm::Plain)) {
            b.form = inverse ? BindForm::Inverse : form;
            role = BindRole::Transform;
            return true;
        }
        BindTime time;
        if (ReadTime(rest, time)) {
            b.detail = static_cast<int>(time);
            role = BindRole::Time;
            return true;
        }
        std::string material = rest;   // "materialdiffusecolor" reads as "materialdiffuse"
        for (const char* word : {"colour", "color"}) {
            size_t n = std::strlen(word);
            if (material.size() > n && material.compare(material.size() - n, n, word) == 0)
                material.resize(material.size() - n);
        }
        if (ReadMaterial(material, role) || ReadCamera(rest, role)) return true;
    }
    return false;
}

// The text of the annotation of `object` whose name is `name` (case-blind), or "".
std::string AnnotationText(ID3DXBaseEffect* effect, D3DXHANDLE object, UINT count,
                           std::initializer_list<const char*> names) {
    for (UINT i = 0; i < count; ++i) {
        D3DXHANDLE a = effect->GetAnnotation(object, i);
        D3DXPARAMETER_DESC d;
        LPCSTR text = nullptr;
        if (!a || FAILED(effect->GetParameterDesc(a, &d)) || d.Type != D3DXPT_STRING) continue;
        std::string n = Plain(d.Name);
        for (const char* want : names)
            if (n == want && SUCCEEDED(effect->GetString(a, &text)) && text) return text;
    }
    return std::string();
}

// Textures a 2D texture file or a subset's texture can fill (not cube or volume ones).
bool IsFlatTexture(D3DXPARAMETER_TYPE t) {
    return t == D3DXPT_TEXTURE || t == D3DXPT_TEXTURE1D || t == D3DXPT_TEXTURE2D;
}

// A float value the role can be set into: matrices for transforms, vectors of 3 or 4 for
// positions and colours, scalars or vectors for times and powers.
bool Fits(const D3DXPARAMETER_DESC& d, BindRole role) {
    if (d.Type != D3DXPT_FLOAT || d.Elements) return false;
    bool matrix = d.Class == D3DXPC_MATRIX_ROWS || d.Class == D3DXPC_MATRIX_COLUMNS;
    switch (role) {
    case BindRole::Transform:
        return matrix && d.Rows >= 3 && d.Columns >= 3;
    case BindRole::Time:
    case BindRole::MaterialPower:
        return d.Class == D3DXPC_SCALAR || d.Class == D3DXPC_VECTOR;
    default:
        return d.Class == D3DXPC_VECTOR && d.Columns >= 3;
    }
}

// Light values of a parameter annotated with a light object ("PointLight0", "Lamp1").
bool ReadLightObject(const std::string& object, const std::string& semantic, BindRole& role, unsigned& light) {
    std::string o = Plain(object.c_str());
    size_t at = o.find("light");
    size_t lamp = o.find("lamp");
    if (at == std::string::npos && lamp == std::string::npos) return false;
    at = at != std::string::npos ? at + 5 : lamp + 4;
    light = 0;
    ReadNumber(o, at, light);
    size_t s = 0;
    return ReadLightValue(semantic, s, role) && s == semantic.size() && light < kBindingLights;
}

// Values of a parameter annotated with the camera or the geometry drawn, as some effect
// players name them: Object = "Camera" with POSITION or DIRECTION, Object = "Geometry" with
// DIFFUSE, AMBIENT, SPECULAR, EMISSIVE or SPECULARPOWER (the subset's material).
bool ReadSceneObject(const std::string& object, const std::string& semantic, BindRole& role) {
    static const std::pair<const char*, BindRole> kCamera[] = {
        {"position", BindRole::CameraPosition}, {"direction", BindRole::CameraDirection}};
    static const std::pair<const char*, BindRole> kGeometry[] = {
        {"diffuse", BindRole::MaterialDiffuse},   {"ambient", BindRole::MaterialAmbient},
        {"specular", BindRole::MaterialSpecular}, {"emissive", BindRole::MaterialEmissive},
        {"specularpower", BindRole::MaterialPower}, {"power", BindRole::MaterialPower}};
    std::string o = Plain(object.c_str());
    if (o == "camera") return Lookup(semantic, kCamera, role);
    if (o == "geometry") return Lookup(semantic, kGeometry, role);
    return false;
}

}  // namespace

namespace {

// The light arrays of an effect that offers "ald_Phong_lights".
void BindBatch(ID3DXBaseEffect* effect, LightBatch& out) {
    out.first = effect->GetTechniqueByName("ald_Phong_lights");
    if (!out.first) return;
    out.further = effect->GetTechniqueByName("ald_Phong_lights_alpha");
    const struct {
        const char* name;
        D3DXHANDLE* handle;
        bool vector;
    } kArrays[] = {
        {"LightPositions", &out.positions, true},      {"LightColors", &out.colours, true},
        {"LightFalloffs", &out.falloffs, false},       {"LightSpeculars", &out.speculars, false},
        {"LightSpecularIntensities", &out.intensities, false}, {"LightAmbients", &out.ambients, false},
        {"LightAttenuations", &out.attenuations, false},
    };
    UINT shortest = 0;
    for (const auto& a : kArrays) {
        D3DXHANDLE h = effect->GetParameterByName(nullptr, a.name);
        D3DXPARAMETER_DESC d;
        bool fits = h && SUCCEEDED(effect->GetParameterDesc(h, &d)) && d.Elements > 0 &&
                    (a.vector ? d.Class == D3DXPC_VECTOR : d.Class == D3DXPC_SCALAR);
        if (!fits) continue;
        *a.handle = h;
        shortest = shortest ? std::min(shortest, d.Elements) : d.Elements;
    }
    out.count = effect->GetParameterByName(nullptr, "LightCount");
    INT lights = 0;
    D3DXHANDLE said = effect->GetAnnotationByName(out.first, "Lights");
    if (said && SUCCEEDED(effect->GetValue(said, &lights, sizeof lights)) && lights > 0)
        out.perPass = static_cast<unsigned>(lights);
    else
        out.perPass = shortest;
    if (shortest) out.perPass = std::min(out.perPass, static_cast<unsigned>(shortest));
    out.perPass = std::min(out.perPass, kBindingLights);
    if (!out.perPass) out = LightBatch();
}

// Adds `b` (its role and light set) when the parameter described by `d` can take the value.
void Add(BoundParameter b, const D3DXPARAMETER_DESC& d, EffectBinding& out) {
    const BindRole role = b.role;
    if (!Fits(d, role)) return;
    b.matrix = role == BindRole::Transform;
    b.scalar = d.Class == D3DXPC_SCALAR;
    bool perSubset = role >= BindRole::MaterialDiffuse;
    (perSubset ? out.perSubset : out.perDraw).push_back(b);
    if (role >= BindRole::LightPosition && role <= BindRole::LightAmbient && b.light + 1 > out.lightsUsed)
        out.lightsUsed = b.light + 1;
    out.needsCamera |= role == BindRole::CameraPosition || role == BindRole::CameraDirection;
    out.needsTime |= role == BindRole::Time;
}

// An array of light values: element k gets light k, for as many lights as the binding holds.
void BindElements(ID3DXBaseEffect* effect, const BoundParameter& array, BindRole role, UINT elements,
                  EffectBinding& out) {
    const unsigned n = std::min<unsigned>(elements, kBindingLights);
    for (unsigned k = 0; k < n; ++k) {
        BoundParameter b = array;
        b.array = array.handle;
        b.handle = effect->GetParameterElement(array.handle, k);
        b.elements = k == 0 ? n : 0;
        b.role = role;
        b.light = k;
        D3DXPARAMETER_DESC d;
        if (b.handle && SUCCEEDED(effect->GetParameterDesc(b.handle, &d))) Add(b, d, out);
    }
}

void Bind(ID3DXBaseEffect* effect, ID3DXEffect* drawable, EffectBinding& out) {
    out = EffectBinding();
    D3DXEFFECT_DESC desc;
    if (!effect || FAILED(effect->GetDesc(&desc))) return;

    BindBatch(effect, out.batch);
    out.engineTechniques = effect->GetTechniqueByName("ald_Phong") ||
                           effect->GetTechniqueByName("ald_Phong_alpha") || out.batch.perPass;
    if (!out.engineTechniques && !drawable) out.technique = effect->GetTechnique(0);
    if (!out.engineTechniques && drawable && drawable->FindNextValidTechnique(nullptr, &out.technique) != D3D_OK)
        out.technique = nullptr;

    std::vector<BoundParameter> textures;   // not named by a file
    for (UINT i = 0; i < desc.Parameters; ++i) {
        D3DXHANDLE h = effect->GetParameter(nullptr, i);
        D3DXPARAMETER_DESC d;
        if (!h || FAILED(effect->GetParameterDesc(h, &d)) || EngineName(d.Name)) continue;
        BoundParameter b;
        b.handle = h;
        std::string semantic = Plain(d.Semantic);
        if (IsFlatTexture(d.Type) && !d.Elements) {
            b.file = AnnotationText(effect, h, d.Annotations, {"resourcename", "name", "file", "filename"});
            b.role = b.file.empty() ? BindRole::SubsetTexture : BindRole::FileTexture;
            b.subsetFallback = semantic == "diffuse" || semantic == "diffusemap" || semantic == "diffusetexture" ||
                               semantic == "materialtexture";
            b.detail = semantic.empty() && ColourMapName(Plain(d.Name));   // a colour map by its name
            (b.file.empty() ? textures : out.files).push_back(b);
            continue;
        }
        std::string object = AnnotationText(effect, h, d.Annotations, {"object"});
        BindTime time;
        BindRole role;
        unsigned light = 0;
        if (!object.empty()) {
            if (!ReadSceneObject(object, semantic, role) && !ReadLightObject(object, semantic, role, light))
                continue;
            b.viewSpace = Plain(AnnotationText(effect, h, d.Annotations, {"space"}).c_str()) == "view";
        } else if (ReadTransform(semantic, b.detail, b.form)) {
            role = BindRole::Transform;
        } else if (ReadTime(semantic, time)) {
            role = BindRole::Time;
            b.detail = static_cast<int>(time);
        } else if (semantic.empty()) {
            // Effect editors without scene lights leave the light a plain tweakable, named
            // for what it is ("fvLightPosition", "worldLightPos"), and sample programs set
            // their values by name: an effect that is not the engine's gets them by name.
            if (out.engineTechniques) continue;
            std::string name = Plain(d.Name);
            if (ReadLightName(name, role, b.viewSpace)) {
                if (d.Elements) {   // "g_LightDir[3]": light k in element k
                    BindElements(effect, b, role, d.Elements, out);
                    continue;
                }
            } else if (!ReadByName(name, b, role)) {
                continue;
            }
        } else if (!ReadCamera(semantic, role) && !ReadLight(semantic, role, light) &&
                   !ReadMaterial(semantic, role)) {
            continue;
        }
        b.role = role;
        b.light = light;
        Add(b, d, out);
    }
    // The subset's texture goes to a texture called the diffuse one, or, when the effect is
    // not one of the engine's (those sample stage 0 themselves), to its only texture, or else
    // to the first texture named as its colour map.
    bool only = textures.size() + out.files.size() == 1 && !out.engineTechniques;
    bool diffuse = false;
    for (const std::vector<BoundParameter>* list : {&out.files, &textures})
        for (const BoundParameter& t : *list) diffuse |= t.subsetFallback;
    BoundParameter* named = nullptr;
    for (std::vector<BoundParameter>* list : {&out.files, &textures})
        for (BoundParameter& t : *list)
            if (!named && t.detail) named = &t;
    if (named && !diffuse && !out.engineTechniques) named->subsetFallback = true;
    for (BoundParameter& t : out.files) t.subsetFallback |= only;
    for (BoundParameter& t : textures) {
        t.subsetFallback |= only;
        if (t.subsetFallback) out.perSubset.push_back(t);
    }
}

}  // namespace

void BindEffect(ID3DXEffect* effect, EffectBinding& out) { Bind(effect, effect, out); }
void BindEffect(ID3DXEffectCompiler* compiler, EffectBinding& out) { Bind(compiler, nullptr, out); }

void LoadBindingTextures(IDirect3DDevice9* device, ID3DXEffect* effect, const char* effectFile,
                         EffectBinding& binding, std::vector<std::string>& missing) {
    std::string file = effectFile ? effectFile : "";
    size_t slash = file.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    binding.watched.clear();
    for (const BoundParameter& b : binding.files) {
        std::vector<std::string> tries = {b.file, "textures\\" + b.file};
        if (!folder.empty()) tries.push_back(folder + b.file);
        IDirect3DTexture9* texture = nullptr;
        for (const std::string& path : tries) {
            if (texture) break;
            binding.watched.push_back(path);
            if (FAILED(D3DXCreateTextureFromFileA(device, path.c_str(), &texture))) texture = nullptr;
        }
        if (texture) {
            effect->SetTexture(b.handle, texture);
            texture->Release();   // the effect holds it
            continue;
        }
        missing.push_back(b.file);
        if (b.subsetFallback) binding.perSubset.push_back(b);
    }
}

std::string BindingText(const char* name, const BoundParameter* b) {
    if (const char* engine = EngineName(name)) return std::string(engine) + " (by its name)";
    if (!b) return std::string();
    static const char* const kFactors[] = {"", "world", "view", "world-view", "projection", "",
                                           "view-projection", "world-view-projection"};
    static const char* const kForms[] = {"", " inverse", " transpose", " inverse transpose"};
    static const char* const kTimes[] = {"seconds", "seconds (120 s cycle)", "cycle 0..1",
                                         "cycle 0..2pi", "sin of seconds (cycle)", "cos of seconds (cycle)",
                                         "tan of seconds (cycle)", "sin of cycle 0..1", "cos of cycle 0..1",
                                         "sin of cycle 0..2pi", "cos of cycle 0..2pi"};
    static const char* const kLight[] = {"position", "direction", "colour", "specular colour", "ambient colour"};
    static const char* const kMaterial[] = {"diffuse", "ambient", "specular", "emissive", "power"};
    int role = static_cast<int>(b->role);
    switch (b->role) {
    case BindRole::Transform:
        return std::string(kFactors[b->detail & 7]) + kForms[static_cast<int>(b->form)];
    case BindRole::CameraPosition:
        return "camera position";
    case BindRole::CameraDirection:
        return "camera direction";
    case BindRole::Time:
        return std::string("time: ") + kTimes[b->detail];
    case BindRole::SubsetTexture:
        return "the subset's texture";
    case BindRole::FileTexture:
        return "texture file \"" + b->file + "\"" + (b->subsetFallback ? ", else the subset's texture" : "");
    default:
        break;
    }
    if (b->role >= BindRole::MaterialDiffuse)
        return std::string("material ") + kMaterial[role - static_cast<int>(BindRole::MaterialDiffuse)];
    bool placed = b->role == BindRole::LightPosition || b->role == BindRole::LightDirection;
    std::string which = b->elements > 1 ? "lights 0 to " + std::to_string(b->elements - 1) + ", one an element,"
                                        : "light " + std::to_string(b->light);
    return which + " " + kLight[role - static_cast<int>(BindRole::LightPosition)] +
           (!placed ? "" : b->viewSpace ? " (view space)" : " (world space)");
}

namespace {

// The product of the factors, in world-view-projection order, in the form asked for.
D3DXMATRIX Transform(const BoundParameter& b, const BindingScene& s) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    if (b.detail & kWorld) m = *s.world;
    if (b.detail & kView) D3DXMatrixMultiply(&m, &m, s.view);
    if (b.detail & kProjection) D3DXMatrixMultiply(&m, &m, s.projection);
    if (b.form == BindForm::Inverse || b.form == BindForm::InverseTranspose) {
        D3DXMATRIX inverse;
        if (D3DXMatrixInverse(&inverse, nullptr, &m)) m = inverse;
    }
    if (b.form == BindForm::Transpose || b.form == BindForm::InverseTranspose) D3DXMatrixTranspose(&m, &m);
    return m;
}

float TimeValue(BindTime kind, float seconds) {
    const float kCycle = 120.0f, kTwoPi = 6.2831853f;
    float cycle = std::fmod(seconds, kCycle);
    float unit = cycle / kCycle;
    switch (kind) {
    case BindTime::Seconds: return seconds;
    case BindTime::Cycle: return cycle;
    case BindTime::Cycle01: return unit;
    case BindTime::Cycle2Pi: return unit * kTwoPi;
    case BindTime::SinCycle: return std::sin(cycle);
    case BindTime::CosCycle: return std::cos(cycle);
    case BindTime::TanCycle: return std::tan(cycle);
    case BindTime::Sin01: return std::sin(unit);
    case BindTime::Cos01: return std::cos(unit);
    case BindTime::Sin2Pi: return std::sin(unit * kTwoPi);
    case BindTime::Cos2Pi: return std::cos(unit * kTwoPi);
    }
    return seconds;
}

D3DXVECTOR4 Direction(const D3DXVECTOR3& from, const D3DXVECTOR3& to) {
    D3DXVECTOR3 d = to - from, n;
    if (d.x == 0 && d.y == 0 && d.z == 0) d = D3DXVECTOR3(0, -1, 0);   // nothing to aim at: down
    D3DXVec3Normalize(&n, &d);
    return D3DXVECTOR4(n.x, n.y, n.z, 0.0f);
}

// A world-space point (w 1) or direction (w 0) moved into view space.
D3DXVECTOR4 IntoView(const D3DXVECTOR4& v, const D3DXMATRIX& view) {
    D3DXVECTOR4 out;
    out.x = v.x * view._11 + v.y * view._21 + v.z * view._31 + v.w * view._41;
    out.y = v.x * view._12 + v.y * view._22 + v.z * view._32 + v.w * view._42;
    out.z = v.x * view._13 + v.y * view._23 + v.z * view._33 + v.w * view._43;
    out.w = v.w;
    return out;
}

D3DXVECTOR4 Vector(const D3DCOLORVALUE& c) { return D3DXVECTOR4(c.r, c.g, c.b, c.a); }

void SetValue(ID3DXEffect* effect, const BoundParameter& b, const D3DXVECTOR4& v) {
    if (b.scalar)
        effect->SetFloat(b.handle, v.x);
    else
        effect->SetVector(b.handle, &v);
}

}  // namespace

void ApplyDraw(ID3DXEffect* effect, const EffectBinding& binding, const BindingScene& s) {
    for (const BoundParameter& b : binding.perDraw) {
        if (b.role == BindRole::Transform) {
            D3DXMATRIX m = Transform(b, s);
            effect->SetMatrix(b.handle, &m);
            continue;
        }
        if (b.role == BindRole::Time) {
            float t = TimeValue(static_cast<BindTime>(b.detail), s.seconds);
            SetValue(effect, b, D3DXVECTOR4(t, t, t, t));
            continue;
        }
        if (b.role == BindRole::CameraPosition || b.role == BindRole::CameraDirection) {
            SetValue(effect, b, b.role == BindRole::CameraPosition ? D3DXVECTOR4(s.eye.x, s.eye.y, s.eye.z, 1.0f)
                                                                   : Direction(s.eye, s.lookAt));
            continue;
        }
        if (b.light >= s.lightCount) continue;
        const BindingLight& l = s.lights[b.light];
        D3DXVECTOR4 v;
        switch (b.role) {
        case BindRole::LightPosition: v = l.position; break;
        case BindRole::LightDirection:
            v = Direction(D3DXVECTOR3(l.position.x, l.position.y, l.position.z), l.lookAt);
            break;
        case BindRole::LightAmbient: v = l.colour * l.ambient; v.w = 1.0f; break;
        default: v = l.colour; break;
        }
        if (b.viewSpace) v = IntoView(v, *s.view);
        SetValue(effect, b, v);
    }
}

void ApplyLightBatch(ID3DXEffect* effect, const LightBatch& batch, const BindingLight* lights, unsigned count) {
    // Elements past the batch stay zero: no colour, no ambient, no specular.
    D3DXVECTOR4 positions[kBindingLights], colours[kBindingLights];
    float falloffs[kBindingLights] = {}, speculars[kBindingLights] = {}, intensities[kBindingLights] = {},
          ambients[kBindingLights] = {}, attenuations[kBindingLights] = {};
    count = std::min(count, batch.perPass);
    for (unsigned i = 0; i < count; ++i) {
        positions[i] = lights[i].position;
        colours[i] = lights[i].colour;
        falloffs[i] = lights[i].falloff;
        speculars[i] = lights[i].specular;
        intensities[i] = lights[i].specularIntensity;
        ambients[i] = lights[i].ambient;
        attenuations[i] = lights[i].attenuation;
    }
    unsigned n = batch.perPass;
    if (batch.positions) effect->SetVectorArray(batch.positions, positions, n);
    if (batch.colours) effect->SetVectorArray(batch.colours, colours, n);
    const std::pair<D3DXHANDLE, const float*> kFloats[] = {
        {batch.falloffs, falloffs}, {batch.speculars, speculars}, {batch.intensities, intensities},
        {batch.ambients, ambients}, {batch.attenuations, attenuations}};
    for (const auto& f : kFloats)
        if (f.first) effect->SetFloatArray(f.first, f.second, n);
    if (batch.count) effect->SetFloat(batch.count, static_cast<float>(count));
}

void DrawEffectPasses(IDirect3DDevice9* device, ID3DXEffect* effect, const EffectBinding& binding,
                      ID3DXMesh* mesh, const D3DMATERIAL9* materials, IDirect3DTexture9* const* textures,
                      unsigned count) {
    UINT passes = 0;   // stays 0 when Begin fails: nothing is drawn
    effect->Begin(&passes, 0);
    for (UINT p = 0; p < passes; ++p) {
        effect->BeginPass(p);
        for (unsigned m = 0; device && mesh && m < count; ++m) {
            device->SetMaterial(&materials[m]);
            device->SetTexture(0, textures[m]);   // null unbinds the previous subset's texture
            for (const BoundParameter& b : binding.perSubset) {
                const D3DMATERIAL9& mat = materials[m];
                switch (b.role) {
                case BindRole::MaterialDiffuse: SetValue(effect, b, Vector(mat.Diffuse)); break;
                case BindRole::MaterialAmbient: SetValue(effect, b, Vector(mat.Ambient)); break;
                case BindRole::MaterialSpecular: SetValue(effect, b, Vector(mat.Specular)); break;
                case BindRole::MaterialEmissive: SetValue(effect, b, Vector(mat.Emissive)); break;
                case BindRole::MaterialPower:
                    SetValue(effect, b, D3DXVECTOR4(mat.Power, mat.Power, mat.Power, mat.Power));
                    break;
                default: effect->SetTexture(b.handle, textures[m]); break;
                }
            }
            if (!binding.perSubset.empty()) effect->CommitChanges();
            mesh->DrawSubset(m);
        }
        effect->EndPass();
    }
    effect->End();
}
