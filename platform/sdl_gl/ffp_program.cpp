#include "platform/sdl_gl/ffp_program.h"

#include <vector>

#include "platform/sdl_gl/vertex_layout.h"

namespace sdlgl {

uint32_t FfpKey::Pack() const {
    return (rhw ? 1u : 0u) | (hasDiffuse ? 2u : 0u) | (hasSpecular ? 4u : 0u) |
           (lighting && !rhw ? 8u : 0u) | (textured ? 16u : 0u) | (flat ? 32u : 0u) |
           (alphaTest ? 64u : 0u) | (diffuseOnly ? 128u : 0u) |
           (solidTexture ? 256u : 0u) | (static_cast<uint32_t>(modulateAlpha) << 9);
}

// The fixed-function vertex stage as a function, shared by the fixed-function programs and by
// the vertex stage that feeds an effect's pixel shader. IS_RHW and IS_LIGHTING are constants
// in the first, uniforms in the second. It fills ffDiffuse, ffSpecular and ffTex[stage] for
// TEX_STAGES stages: each stage's texture coordinate set (TexCoordIndex, low 16 bits) or the
// coordinates it generates (high bits), through its texture transform when its
// TextureTransformFlags ask for one.
static const char* kVertexFunction = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColor0;
layout(location = 3) in vec4 aColor1;
layout(location = 5) in vec4 aTex[8];
uniform mat4 uWorldViewProj;   // D3D row-major floats as given: G = M^T, so G * v = v * M
uniform mat4 uWorldView;
uniform vec2 uTargetSize;      // render target in pixels
uniform vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive;
uniform vec4 uGlobalAmbient;
uniform int uDiffuseSource, uAmbientSource, uSpecularSource, uEmissiveSource; // 0 material, 1 COLOR0, 2 COLOR1
uniform int uTexIndex[TEX_STAGES];    // D3DTSS_TEXCOORDINDEX
uniform int uTexFlags[TEX_STAGES];    // D3DTSS_TEXTURETRANSFORMFLAGS
uniform int uTexSize[8];              // floats per coordinate set of the vertex format
uniform mat4 uTexMatrix[TEX_STAGES];  // D3DTS_TEXTUREn, as uWorldViewProj
// The enabled lights, in camera space: type (1 point, 2 spot, 3 directional), colours,
// position, direction, (attenuation 0, 1, 2, range), (cos theta/2, cos phi/2, falloff).
uniform int uLightCount;
uniform int uLightType[8];
uniform vec4 uLightDiffuse[8], uLightSpecular[8], uLightAmbient[8];
uniform vec4 uLightPos[8], uLightDir[8], uLightAtt[8], uLightSpot[8];
uniform float uPower;
uniform int uSpecularLit;     // D3DRS_SPECULARENABLE: specular light is computed
vec4 ffDiffuse, ffSpecular;
vec4 ffTex[TEX_STAGES];

vec4 Source(int source, vec4 material) {
    if (source == 1) return aColor0;
    if (source == 2) return aColor1;
    return material;
}

vec4 TexCoord(int stage) {
    int index = uTexIndex[stage];
    int generate = index / 65536;
    int set = index - generate * 65536;
    bool transformed = (uTexFlags[stage] & 255) != 0;
    vec4 t;
    if (generate != 0) {
        vec3 p = (uWorldView * vec4(aPosition.xyz, 1.0)).xyz;
        vec3 n = normalize(mat3(uWorldView) * aNormal);
        vec3 g = n;
        if (generate == 2) g = p;
        else if (generate == 3) g = reflect(normalize(p), n);
        else if (generate == 4) {
            vec3 r = reflect(normalize(p), n);
            float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
            g = vec3(r.x / m + 0.5, r.y / m + 0.5, 0.0);
        }
        t = vec4(g, 1.0);
    } else {
        t = set < 8 ? aTex[set] : vec4(0.0, 0.0, 0.0, 1.0);
        // Direct3D puts 1 after the last coordinate the format gives, which is where a
        // texture matrix keeps its translation.
        if (transformed) {
            int size = set < 8 ? uTexSize[set] : 4;
            if (size == 1) t = vec4(t.x, 1.0, 0.0, 0.0);
            else if (size == 2) t = vec4(t.xy, 1.0, 0.0);
            else if (size == 3) t = vec4(t.xyz, 1.0);
        }
    }
    return transformed ? uTexMatrix[stage] * t : t;
}

void FixedFunctionVertex() {
    if (IS_RHW) {
        // x, y in pixels with centres on integers; z in 0..1; rhw = 1/w.
        // The back buffer is stored top row first (GL y runs down the screen), so a pixel row
        // needs no flip: y maps straight to GL window y.
        float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;
        vec2 ndc = vec2(2.0 * (aPosition.x + 0.5) / uTargetSize.x - 1.0,
                        2.0 * (aPosition.y + 0.5) / uTargetSize.y - 1.0);
        gl_Position = vec4(ndc * w, (2.0 * aPosition.z - 1.0) * w, w);
    } else {
        vec4 clip = uWorldViewProj * vec4(aPosition.xyz, 1.0);
        // Direct3D 9 puts pixel centres on integer coordinates: move half a pixel.
        clip.x += clip.w / uTargetSize.x;
        clip.y -= clip.w / uTargetSize.y;
        // Top row first in the back buffer: GL's fill rule for its lower edges then acts on
        // the screen's upper edges, as Direct3D's top-left rule does.
        clip.y = -clip.y;
        // Direct3D clips depth to 0..w, GL to -w..w.
        clip.z = 2.0 * clip.z - clip.w;
        gl_Position = clip;
    }
    if (IS_LIGHTING && !IS_RHW) {
        vec4 ca = Source(uAmbientSource, uMatAmbient);
        vec4 cd = Source(uDiffuseSource, uMatDiffuse);
        vec4 cs = Source(uSpecularSource, uMatSpecular);
        vec4 ce = Source(uEmissiveSource, uMatEmissive);
        vec3 ambient = vec3(0.0), diffuse = vec3(0.0), specular = vec3(0.0);
        if (uLightCount > 0) {
            // Direct3D's per-vertex lighting in camera space, with a local viewer.
            vec3 p = (uWorldView * vec4(aPosition.xyz, 1.0)).xyz;
            vec3 n = mat3(uWorldView) * aNormal;
            n = dot(n, n) > 0.0 ? normalize(n) : n;
            vec3 toEye = dot(p, p) > 0.0 ? normalize(-p) : vec3(0.0, 0.0, -1.0);
            for (int i = 0; i < uLightCount; ++i) {
                vec3 l;
                float att = 1.0;
                if (uLightType[i] == 3) {
                    l = -normalize(uLightDir[i].xyz);
                } else {
                    vec3 d = uLightPos[i].xyz - p;
                    float dist = length(d);
                    l = dist > 0.0 ? d / dist : vec3(0.0, 0.0, -1.0);
                    vec4 a = uLightAtt[i];
                    float denom = a.x + a.y * dist + a.z * dist * dist;
                    att = dist > a.w ? 0.0 : denom > 0.0 ? 1.0 / denom : 1.0;
                    if (uLightType[i] == 2) {
                        float rho = dot(-l, normalize(uLightDir[i].xyz));
                        vec3 sp = uLightSpot[i].xyz;
                        float spot = rho > sp.x ? 1.0 : rho <= sp.y ? 0.0
                                   : pow(max((rho - sp.y) / max(sp.x - sp.y, 1e-6), 0.0), sp.z);
                        att *= spot;
                    }
                }
                ambient += uLightAmbient[i].rgb * att;
                float nl = max(dot(n, l), 0.0);
                diffuse += uLightDiffuse[i].rgb * nl * att;
                if (uSpecularLit != 0 && nl > 0.0) {
                    vec3 h = normalize(l + toEye);
                    float nh = max(dot(n, h), 0.0);
                    specular += uLightSpecular[i].rgb * (uPower > 0.0 ? pow(nh, uPower) : 1.0) * att;
                }
            }
        }
        ffDiffuse = vec4(clamp(ca.rgb * (uGlobalAmbient.rgb + ambient) + cd.rgb * diffuse + ce.rgb,
                               0.0, 1.0), cd.a);
        ffSpecular = vec4(clamp(cs.rgb * specular, 0.0, 1.0), 0.0);
    } else {
        ffDiffuse = aColor0;    // white when the format has no diffuse colour
        ffSpecular = aColor1;
    }
    for (int i = 0; i < TEX_STAGES; ++i) ffTex[i] = TexCoord(i);
}
)";

static const char* kVertexBody = R"(
INTERP out vec4 vDiffuse;
INTERP out vec4 vSpecular;
out vec4 vTex0;

void main() {
    FixedFunctionVertex();
    vDiffuse = ffDiffuse;
    vSpecular = ffSpecular;
    vTex0 = ffTex[0];
}
)";

static const char* kFragmentBody = R"(
FRAGMENT_INPUTS
uniform sampler2D uSampler0;
uniform vec4 uSolidTexel;
uniform int uTexProjected;   // the coordinate that divides the others, counted from 1; 0: none
uniform int uColorOp, uColorArg1, uColorArg2, uAlphaOp, uAlphaArg1, uAlphaArg2;
uniform vec4 uTextureFactor;
uniform int uSpecularEnable;
uniform int uAlphaFunc;    // D3DCMP value; 8 = always
uniform float uAlphaRef;   // 0..1
layout(location = 0) out vec4 fragColor;

vec4 Arg(int arg, vec4 tex) {
    int which = arg & 15;
    vec4 v;
    if (which == 0 || which == 1) v = vDiffuse;   // DIFFUSE, CURRENT (stage 0)
    else if (which == 2) v = tex;
    else if (which == 3) v = uTextureFactor;
    else if (which == 4) v = vSpecular;
    else v = vDiffuse;
    if ((arg & 0x10) != 0) v = vec4(1.0) - v;
    if ((arg & 0x20) != 0) v = vec4(v.a);
    return v;
}

vec4 Op(int op, vec4 a1, vec4 a2, vec4 tex) {
    if (op == 2) return a1;
    if (op == 3) return a2;
    if (op == 4) return a1 * a2;
    if (op == 5) return 2.0 * a1 * a2;
    if (op == 6) return 4.0 * a1 * a2;
    if (op == 7) return a1 + a2;
    if (op == 8) return a1 + a2 - 0.5;
    if (op == 9) return 2.0 * (a1 + a2 - 0.5);
    if (op == 10) return a1 - a2;
    if (op == 11) return a1 + a2 - a1 * a2;
    if (op == 12) return mix(a2, a1, vDiffuse.a);
    if (op == 13) return mix(a2, a1, tex.a);
    if (op == 14) return mix(a2, a1, uTextureFactor.a);
    if (op == 16) return mix(a2, a1, vDiffuse.a);
    return a1 * a2;
}

bool AlphaPasses(float a) {
    if (uAlphaFunc == 1) return false;
    if (uAlphaFunc == 2) return a < uAlphaRef;
    if (uAlphaFunc == 3) return a == uAlphaRef;
    if (uAlphaFunc == 4) return a <= uAlphaRef;
    if (uAlphaFunc == 5) return a > uAlphaRef;
    if (uAlphaFunc == 6) return a != uAlphaRef;
    if (uAlphaFunc == 7) return a >= uAlphaRef;
    return true;
}

void main() {
    FRAGMENT_SETUP
#ifdef DIFFUSE_ONLY
    vec4 color = vDiffuse;
#else
    vec4 tex;
    if (IS_TEXTURED) {
    vec2 uv = vTex0.xy;
    if (uTexProjected > 0) uv /= vTex0[uTexProjected - 1];
#ifdef SOLID_TEXTURE
    tex = uSolidTexel;
#else
    tex = texture(uSampler0, uv);
#endif
    } else {
    // No texture on the stage: the texture argument acts as white, its alpha as diffuse.
    tex = vec4(1.0, 1.0, 1.0, vDiffuse.a);
    }
#ifdef MODULATE_STAGE
    vec4 color = vec4(clamp(tex.rgb * vDiffuse.rgb, 0.0, 1.0), MODULATE_ALPHA);
#else
    vec4 color = vDiffuse;
    if (uColorOp != 1) {
        color.rgb = clamp(Op(uColorOp, Arg(uColorArg1, tex), Arg(uColorArg2, tex), tex).rgb,
                          0.0, 1.0);
        if (uAlphaOp != 1)
            color.a = clamp(Op(uAlphaOp, Arg(uAlphaArg1, tex), Arg(uAlphaArg2, tex), tex).a,
                            0.0, 1.0);
    }
#endif
    if (uSpecularEnable != 0) color.rgb = clamp(color.rgb + vSpecular.rgb, 0.0, 1.0);
#endif
#ifdef ALPHA_TEST
    if (!AlphaPasses(color.a)) discard;
#endif
    fragColor = color;
}
)";

static std::string Header(const FfpKey& key) {
    std::string h = "#version 330 core\n";
    h += std::string("#define IS_RHW ") + (key.rhw ? "true" : "false") + "\n";
    h += std::string("#define IS_LIGHTING ") + (key.lighting && !key.rhw ? "true" : "false") + "\n";
    h += std::string("#define IS_TEXTURED ") + (key.textured ? "true" : "false") + "\n";
    h += "#define TEX_STAGES 1\n";
    h += std::string("#define INTERP ") + (key.flat ? "flat" : "") + "\n";
    if (key.alphaTest) h += "#define ALPHA_TEST\n";
    if (key.diffuseOnly) h += "#define DIFFUSE_ONLY\n";
    if (key.solidTexture) h += "#define SOLID_TEXTURE\n";
    static const char* const kModulateAlpha[] = {"", "vDiffuse.a", "tex.a", "clamp(tex.a * vDiffuse.a, 0.0, 1.0)"};
    if (key.modulateAlpha)
        h += std::string("#define MODULATE_STAGE\n#define MODULATE_ALPHA ") + kModulateAlpha[key.modulateAlpha] + "\n";
    h += "#define FRAGMENT_SETUP\n";
    h += "#define FRAGMENT_INPUTS INTERP in vec4 vDiffuse; INTERP in vec4 vSpecular; in vec4 vTex0;\n";
    return h;
}

namespace {

struct Varying {
    std::string qualifiers;   // interpolation qualifiers with a blank after each, or empty
    std::string type, name;   // GLSL type, "dx_TEXCOORD1"
};

// The varyings a compiled stage declares with `storage` ("in" or "out"), after any
// interpolation qualifiers (which the other stage must repeat).
std::vector<Varying> Varyings(const std::string& glsl, const std::string& storage) {
    std::vector<Varying> out;
    size_t pos = 0;
    while (pos < glsl.size()) {
        size_t end = glsl.find('\n', pos);
        if (end == std::string::npos) end = glsl.size();
        std::string line = glsl.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty() || line.back() != ';') continue;
        std::vector<std::string> words;
        size_t w = 0;
        std::string body = line.substr(0, line.size() - 1);
        while (w < body.size()) {
            size_t sp = body.find(' ', w);
            if (sp == std::string::npos) sp = body.size();
            if (sp > w) words.push_back(body.substr(w, sp - w));
            w = sp + 1;
        }
        Varying v;
        size_t i = 0;
        while (i < words.size() && (words[i] == "flat" || words[i] == "smooth" ||
                                    words[i] == "noperspective" || words[i] == "centroid"))
            v.qualifiers += words[i++] + " ";
        if (words.size() != i + 3 || words[i] != storage) continue;
        v.type = words[i + 1];
        v.name = words[i + 2];
        if (v.name.compare(0, 3, "dx_") == 0) out.push_back(v);
    }
    return out;
}

// `value` (a vec4 expression) as GLSL type `type`; empty for types no fixed-function value
// fills.
std::string Narrow(const std::string& value, const std::string& type) {
    if (type == "vec4") return value;
    if (type == "vec3") return "(" + value + ").xyz";
    if (type == "vec2") return "(" + value + ").xy";
    if (type == "float") return "(" + value + ").x";
    return "";
}

}  // namespace

std::string FixedFunctionVertexFor(const std::string& pixelGlsl) {
    std::string s = "#version 330 core\n"
                    "uniform int uLighting, uRhw;\n"
                    "#define IS_RHW (uRhw != 0)\n"
                    "#define IS_LIGHTING (uLighting != 0)\n"
                    "#define TEX_STAGES 8\n";
    s += kVertexFunction;
    std::string body;
    for (const Varying& v : Varyings(pixelGlsl, "in")) {
        std::string value;
        if (v.name == "dx_COLOR0") value = "ffDiffuse";
        else if (v.name == "dx_COLOR1") value = "ffSpecular";
        else if (v.name.compare(0, 11, "dx_TEXCOORD") == 0 && v.name.size() == 12 &&
                 v.name[11] >= '0' && v.name[11] <= '7')
            value = std::string("ffTex[") + v.name[11] + "]";
        else value = "vec4(0.0)";   // nothing the fixed-function stage makes
        std::string narrowed = Narrow(value, v.type);
        s += v.qualifiers + "out " + v.type + " " + v.name + ";\n";
        body += "    " + v.name + " = " +
                (narrowed.empty() ? v.type + "(0)" : narrowed) + ";\n";
    }
    s += "void main() {\n    FixedFunctionVertex();\n" + body + "}\n";
    return s;
}

std::string FixedFunctionPixelFor(const std::string& vertexGlsl, const char* alphaTestDefine,
                                  const char* alphaFuncUniform, const char* alphaRefUniform) {
    std::string s = "#version 330 core\n";
    s += std::string("#ifdef ") + alphaTestDefine + "\n#define ALPHA_TEST\n#endif\n";
    s += "uniform int uTextured;\n"
         "#define IS_TEXTURED (uTextured != 0)\n"
         "#define INTERP\n";
    s += std::string("#define uAlphaFunc ") + alphaFuncUniform + "\n";
    s += std::string("#define uAlphaRef ") + alphaRefUniform + "\n";
    // Direct3D reads white for a diffuse colour the vertex shader does not write, black
    // for a specular one, and stage 0 samples texture coordinate set 0.
    std::string inputs, setup = "vDiffuse = vec4(1.0); vSpecular = vec4(0.0); vTex0 = vec4(0.0, 0.0, 0.0, 1.0);";
    for (const Varying& v : Varyings(vertexGlsl, "out")) {
        std::string target = v.name == "dx_COLOR0" ? "vDiffuse"
                           : v.name == "dx_COLOR1" ? "vSpecular"
                           : v.name == "dx_TEXCOORD0" ? "vTex0" : "";
        if (target.empty()) continue;
        std::string widen = v.type == "vec4" ? v.name
                          : v.type == "vec3" ? "vec4(" + v.name + ", 1.0)"
                          : v.type == "vec2" ? "vec4(" + v.name + ", 0.0, 1.0)"
                          : v.type == "float" ? "vec4(" + v.name + ", 0.0, 0.0, 1.0)" : "";
        if (widen.empty()) continue;
        inputs += v.qualifiers + "in " + v.type + " " + v.name + ";\n";
        setup += " " + target + " = " + widen + ";";
    }
    s += inputs + "vec4 vDiffuse, vSpecular, vTex0;\n";
    s += "#define FRAGMENT_INPUTS\n#define FRAGMENT_SETUP " + setup + "\n";
    s += kFragmentBody;
    return s;
}

std::string VertexWritingInputsOf(const std::string& vertexGlsl, const std::string& pixelGlsl) {
    std::vector<Varying> written = Varyings(vertexGlsl, "out");
    std::string declarations, assignments;
    for (const Varying& v : Varyings(pixelGlsl, "in")) {
        bool found = false;
        for (const Varying& w : written) found = found || w.name == v.name;
        if (found || v.type != "vec4") continue;
        declarations += v.qualifiers + "out vec4 " + v.name + ";\n";
        assignments += "    " + v.name + " = vec4(0.0);\n";
    }
    size_t end = vertexGlsl.rfind('}');
    if (declarations.empty() || end == std::string::npos) return vertexGlsl;
    // After the #version and #extension lines; the values where main ends.
    size_t after = 0;
    while (after < vertexGlsl.size() && vertexGlsl[after] == '#') {
        size_t nl = vertexGlsl.find('\n', after);
        after = nl == std::string::npos ? vertexGlsl.size() : nl + 1;
    }
    return vertexGlsl.substr(0, after) + declarations + vertexGlsl.substr(after, end - after) +
           assignments + vertexGlsl.substr(end);
}

FfpLocations LocateFfp(GLuint p, int stages) {
    FfpLocations at;
    at.stages = stages;
    auto U = [p](const char* name) { return glGetUniformLocation(p, name); };
    at.worldViewProj = U("uWorldViewProj");
    at.worldView = U("uWorldView");
    at.targetSize = U("uTargetSize");
    at.matDiffuse = U("uMatDiffuse");
    at.matAmbient = U("uMatAmbient");
    at.matSpecular = U("uMatSpecular");
    at.matEmissive = U("uMatEmissive");
    at.globalAmbient = U("uGlobalAmbient");
    at.diffuseSource = U("uDiffuseSource");
    at.ambientSource = U("uAmbientSource");
    at.specularSource = U("uSpecularSource");
    at.emissiveSource = U("uEmissiveSource");
    at.colorOp = U("uColorOp");
    at.colorArg1 = U("uColorArg1");
    at.colorArg2 = U("uColorArg2");
    at.alphaOp = U("uAlphaOp");
    at.alphaArg1 = U("uAlphaArg1");
    at.alphaArg2 = U("uAlphaArg2");
    at.textureFactor = U("uTextureFactor");
    at.specularEnable = U("uSpecularEnable");
    at.alphaFunc = U("uAlphaFunc");
    at.alphaRef = U("uAlphaRef");
    at.sampler0 = U("uSampler0");
    at.lighting = U("uLighting");
    at.rhw = U("uRhw");
    at.texIndex = U("uTexIndex");
    at.texFlags = U("uTexFlags");
    at.texSize = U("uTexSize");
    at.texMatrix = U("uTexMatrix");
    at.texProjected = U("uTexProjected");
    at.textured = U("uTextured");
    at.solidTexel = U("uSolidTexel");
    at.lightCount = U("uLightCount");
    at.lightType = U("uLightType");
    at.lightDiffuse = U("uLightDiffuse");
    at.lightSpecular = U("uLightSpecular");
    at.lightAmbient = U("uLightAmbient");
    at.lightPos = U("uLightPos");
    at.lightDir = U("uLightDir");
    at.lightAtt = U("uLightAtt");
    at.lightSpot = U("uLightSpot");
    at.power = U("uPower");
    at.specularLit = U("uSpecularLit");
    return at;
}

void UploadFfp(const FfpLocations& at, const FfpValues& v) {
    // Locations of -1 are ignored by GL.
    glUniformMatrix4fv(at.worldViewProj, 1, GL_FALSE, v.worldViewProj);
    glUniformMatrix4fv(at.worldView, 1, GL_FALSE, v.worldView);
    glUniform2fv(at.targetSize, 1, v.targetSize);
    glUniform4fv(at.matDiffuse, 1, v.matDiffuse);
    glUniform4fv(at.matAmbient, 1, v.matAmbient);
    glUniform4fv(at.matSpecular, 1, v.matSpecular);
    glUniform4fv(at.matEmissive, 1, v.matEmissive);
    glUniform4fv(at.globalAmbient, 1, v.globalAmbient);
    glUniform1i(at.diffuseSource, v.sources[0]);
    glUniform1i(at.ambientSource, v.sources[1]);
    glUniform1i(at.specularSource, v.sources[2]);
    glUniform1i(at.emissiveSource, v.sources[3]);
    glUniform1i(at.colorOp, v.ops[0]);
    glUniform1i(at.colorArg1, v.ops[1]);
    glUniform1i(at.colorArg2, v.ops[2]);
    glUniform1i(at.alphaOp, v.ops[3]);
    glUniform1i(at.alphaArg1, v.ops[4]);
    glUniform1i(at.alphaArg2, v.ops[5]);
    glUniform4fv(at.textureFactor, 1, v.textureFactor);
    glUniform1i(at.specularEnable, v.specularEnable);
    glUniform1i(at.alphaFunc, v.alphaFunc);
    glUniform1f(at.alphaRef, v.alphaRef);
    glUniform1i(at.lighting, v.lighting);
    glUniform1i(at.rhw, v.rhw);
    glUniform1iv(at.texIndex, at.stages, v.texIndex);
    glUniform1iv(at.texFlags, at.stages, v.texFlags);
    glUniform1iv(at.texSize, 8, v.texSize);
    glUniformMatrix4fv(at.texMatrix, at.stages, GL_FALSE, &v.texMatrix[0][0]);
    glUniform1i(at.texProjected, v.texProjected);
    glUniform1i(at.textured, v.textured);
    glUniform4fv(at.solidTexel, 1, v.solidTexel);
    glUniform1i(at.lightCount, v.lightCount);
    glUniform1i(at.specularLit, v.specularEnable);
    glUniform1f(at.power, v.power);
    if (v.lightCount > 0) {
        glUniform1iv(at.lightType, v.lightCount, v.lightType);
        glUniform4fv(at.lightDiffuse, v.lightCount, &v.lightDiffuse[0][0]);
        glUniform4fv(at.lightSpecular, v.lightCount, &v.lightSpecular[0][0]);
        glUniform4fv(at.lightAmbient, v.lightCount, &v.lightAmbient[0][0]);
        glUniform4fv(at.lightPos, v.lightCount, &v.lightPos[0][0]);
        glUniform4fv(at.lightDir, v.lightCount, &v.lightDir[0][0]);
        glUniform4fv(at.lightAtt, v.lightCount, &v.lightAtt[0][0]);
        glUniform4fv(at.lightSpot, v.lightCount, &v.lightSpot[0][0]);
    }
}

static GLuint Compile(GLenum type, const std::string& src, std::string& log) {
    GLuint s = glCreateShader(type);
    const char* p = src.c_str();
    glShaderSource(s, 1, &p, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        GLint len = 0;
        glGetShaderiv(s, GL_INFO_LOG_LENGTH, &len);
        std::vector<char> buf(static_cast<size_t>(len > 1 ? len : 1));
        glGetShaderInfoLog(s, len, nullptr, buf.data());
        log = buf.data();
        glDeleteShader(s);
        return 0;
    }
    return s;
}

GLuint BuildProgram(const std::string& vs, const std::string& fs, std::string& log) {
    GLuint v = Compile(GL_VERTEX_SHADER, vs, log);
    if (!v) return 0;
    GLuint f = Compile(GL_FRAGMENT_SHADER, fs, log);
    if (!f) {
        glDeleteShader(v);
        return 0;
    }
    GLuint p = glCreateProgram();
    glAttachShader(p, v);
    glAttachShader(p, f);
    glLinkProgram(p);
    glDeleteShader(v);
    glDeleteShader(f);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        GLint len = 0;
        glGetProgramiv(p, GL_INFO_LOG_LENGTH, &len);
        std::vector<char> buf(static_cast<size_t>(len > 1 ? len : 1));
        glGetProgramInfoLog(p, len, nullptr, buf.data());
        log = buf.data();
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

FfpProgram* FfpCache::Get(const FfpKey& key, std::string& log) {
    uint32_t packed = key.Pack();
    auto it = programs_.find(packed);
    if (it != programs_.end()) return &it->second;
    std::string header = Header(key);
    GLuint p = BuildProgram(header + kVertexFunction + kVertexBody, header + kFragmentBody, log);
    if (!p) return nullptr;
    FfpProgram fp;
    fp.program = p;
    fp.at = LocateFfp(p, 1);
    glUseProgram(p);
    glUniform1i(fp.at.sampler0, 0);
    return &(programs_[packed] = fp);
}

void FfpCache::Release() {
    for (auto& kv : programs_) glDeleteProgram(kv.second.program);
    programs_.clear();
}

}  // namespace sdlgl
