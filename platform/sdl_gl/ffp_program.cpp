#include "platform/sdl_gl/ffp_program.h"

#include <vector>

#include "platform/sdl_gl/vertex_layout.h"

namespace sdlgl {

uint32_t FfpKey::Pack() const {
    return (rhw ? 1u : 0u) | (hasDiffuse ? 2u : 0u) | (hasSpecular ? 4u : 0u) |
           (lighting && !rhw ? 8u : 0u) | (textured ? 16u : 0u) | (flat ? 32u : 0u) |
           (alphaTest ? 64u : 0u);
}

static const char* kVertexBody = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 2) in vec4 aColor0;
layout(location = 3) in vec4 aColor1;
layout(location = 5) in vec4 aTex0;
uniform mat4 uWorldViewProj;   // D3D row-major floats as given: G = M^T, so G * v = v * M
uniform vec2 uTargetSize;      // render target in pixels
uniform vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive;
uniform vec4 uGlobalAmbient;
uniform int uDiffuseSource, uAmbientSource, uSpecularSource, uEmissiveSource; // 0 material, 1 COLOR0, 2 COLOR1
INTERP out vec4 vDiffuse;
INTERP out vec4 vSpecular;
out vec2 vTex0;

vec4 Source(int source, vec4 material) {
    if (source == 1) return aColor0;
    if (source == 2) return aColor1;
    return material;
}

void main() {
#if RHW
    // x, y in pixels with centres on integers; z in 0..1; rhw = 1/w.
    // The back buffer is stored top row first (GL y runs down the screen), so a pixel row
    // needs no flip: y maps straight to GL window y.
    float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;
    vec2 ndc = vec2(2.0 * (aPosition.x + 0.5) / uTargetSize.x - 1.0,
                    2.0 * (aPosition.y + 0.5) / uTargetSize.y - 1.0);
    gl_Position = vec4(ndc * w, (2.0 * aPosition.z - 1.0) * w, w);
#else
    vec4 clip = uWorldViewProj * vec4(aPosition.xyz, 1.0);
    // Direct3D 9 puts pixel centres on integer coordinates: move half a pixel.
    clip.x += clip.w / uTargetSize.x;
    clip.y -= clip.w / uTargetSize.y;
    // Top row first in the back buffer: GL's fill rule for its lower edges then acts on the
    // screen's upper edges, as Direct3D's top-left rule does.
    clip.y = -clip.y;
    // Direct3D clips depth to 0..w, GL to -w..w.
    clip.z = 2.0 * clip.z - clip.w;
    gl_Position = clip;
#endif
#if LIGHTING
    vec4 ca = Source(uAmbientSource, uMatAmbient);
    vec4 cd = Source(uDiffuseSource, uMatDiffuse);
    vec4 ce = Source(uEmissiveSource, uMatEmissive);
    vDiffuse = vec4(clamp(ca.rgb * uGlobalAmbient.rgb + ce.rgb, 0.0, 1.0), cd.a);
    vSpecular = vec4(0.0, 0.0, 0.0, 0.0);
#else
    vDiffuse = aColor0;    // white when the format has no diffuse colour
    vSpecular = aColor1;
#endif
    vTex0 = aTex0.xy;
}
)";

static const char* kFragmentBody = R"(
INTERP in vec4 vDiffuse;
INTERP in vec4 vSpecular;
in vec2 vTex0;
uniform sampler2D uSampler0;
uniform int uColorOp, uColorArg1, uColorArg2, uAlphaOp, uAlphaArg1, uAlphaArg2;
uniform vec4 uTextureFactor;
uniform int uSpecularEnable;
uniform int uAlphaFunc;    // D3DCMP value; 8 = always
uniform float uAlphaRef;   // 0..1
out vec4 fragColor;

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
#if TEXTURED
    vec4 tex = texture(uSampler0, vTex0);
#else
    // No texture on the stage: the texture argument acts as white, its alpha as diffuse.
    vec4 tex = vec4(1.0, 1.0, 1.0, vDiffuse.a);
#endif
    vec4 color = vDiffuse;
    if (uColorOp != 1) {
        color.rgb = clamp(Op(uColorOp, Arg(uColorArg1, tex), Arg(uColorArg2, tex), tex).rgb,
                          0.0, 1.0);
        if (uAlphaOp != 1)
            color.a = clamp(Op(uAlphaOp, Arg(uAlphaArg1, tex), Arg(uAlphaArg2, tex), tex).a,
                            0.0, 1.0);
    }
    if (uSpecularEnable != 0) color.rgb = clamp(color.rgb + vSpecular.rgb, 0.0, 1.0);
#if ALPHA_TEST
    if (!AlphaPasses(color.a)) discard;
#endif
    fragColor = color;
}
)";

static std::string Header(const FfpKey& key) {
    std::string h = "#version 330 core\n";
    h += std::string("#define RHW ") + (key.rhw ? "1" : "0") + "\n";
    h += std::string("#define LIGHTING ") + (key.lighting && !key.rhw ? "1" : "0") + "\n";
    h += std::string("#define TEXTURED ") + (key.textured ? "1" : "0") + "\n";
    h += std::string("#define INTERP ") + (key.flat ? "flat" : "") + "\n";
    h += std::string("#define ALPHA_TEST ") + (key.alphaTest ? "1" : "0") + "\n";
    return h;
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
    GLuint p = BuildProgram(header + kVertexBody, header + kFragmentBody, log);
    if (!p) return nullptr;
    FfpProgram fp;
    fp.program = p;
    auto U = [p](const char* name) { return glGetUniformLocation(p, name); };
    fp.worldViewProj = U("uWorldViewProj");
    fp.targetSize = U("uTargetSize");
    fp.matDiffuse = U("uMatDiffuse");
    fp.matAmbient = U("uMatAmbient");
    fp.matSpecular = U("uMatSpecular");
    fp.matEmissive = U("uMatEmissive");
    fp.globalAmbient = U("uGlobalAmbient");
    fp.diffuseSource = U("uDiffuseSource");
    fp.ambientSource = U("uAmbientSource");
    fp.specularSource = U("uSpecularSource");
    fp.emissiveSource = U("uEmissiveSource");
    fp.colorOp = U("uColorOp");
    fp.colorArg1 = U("uColorArg1");
    fp.colorArg2 = U("uColorArg2");
    fp.alphaOp = U("uAlphaOp");
    fp.alphaArg1 = U("uAlphaArg1");
    fp.alphaArg2 = U("uAlphaArg2");
    fp.textureFactor = U("uTextureFactor");
    fp.specularEnable = U("uSpecularEnable");
    fp.alphaFunc = U("uAlphaFunc");
    fp.alphaRef = U("uAlphaRef");
    fp.sampler0 = U("uSampler0");
    glUseProgram(p);
    glUniform1i(fp.sampler0, 0);
    return &(programs_[packed] = fp);
}

void FfpCache::Release() {
    for (auto& kv : programs_) glDeleteProgram(kv.second.program);
    programs_.clear();
}

}  // namespace sdlgl
