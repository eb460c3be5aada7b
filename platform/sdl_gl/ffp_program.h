// The fixed-function pipeline of Direct3D 9 as GLSL 3.30 programs, generated per vertex format
// and state (pre-transformed or not, which vertex colours exist, lighting, texture bound, flat
// shading, alpha test on) and cached. What varies freely (matrices, material, ambient, stage-0 operations,
// texture coordinate index and transform, lights, alpha test) is passed as uniforms. Only
// stage 0 blends.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <map>
#include <string>

namespace sdlgl {

struct FfpKey {
    bool rhw = false;          // pre-transformed vertices, placed in pixels, never lit
    bool hasDiffuse = false;   // the format carries COLOR0
    bool hasSpecular = false;  // the format carries COLOR1
    bool lighting = false;     // D3DRS_LIGHTING (ignored for rhw)
    bool textured = false;     // a texture is bound on stage 0
    bool flat = false;         // D3DSHADE_FLAT
    // The alpha test is on. Only then may the program discard: a program that may discard
    // makes the rasteriser shade every pixel before its depth test.
    bool alphaTest = false;
    // Stage 0 gives the interpolated diffuse colour whatever its uniforms hold (its operations
    // pass diffuse through, no specular): the program leaves out the stage's run-time
    // branches, which the rasteriser would otherwise run for every pixel.
    bool diffuseOnly = false;
    // Stage 0's texture has one colour (uSolidTexel), taken instead of sampled.
    bool solidTexture = false;
    // Stage 0 modulates the texture by the diffuse colour (Direct3D's default stage): the
    // program does it without the run-time choice of operations. 0: another stage; else the
    // stage's alpha: 1 diffuse, 2 texture, 3 their product.
    uint8_t modulateAlpha = 0;
    uint32_t Pack() const;
};

// The uniform values of one draw, kept per program so that unchanged values are not sent
// again (runs of marker lines and text-like quads share all of them).
struct FfpValues {
    float worldViewProj[16];
    float worldView[16];
    float targetSize[2];
    float matDiffuse[4], matAmbient[4], matSpecular[4], matEmissive[4];
    float globalAmbient[4];
    int32_t sources[4];   // diffuse, ambient, specular, emissive
    int32_t ops[6];       // colour op, arg1, arg2, alpha op, arg1, arg2
    float textureFactor[4];
    int32_t specularEnable, alphaFunc;
    float alphaRef;
    int32_t lighting, rhw;           // programs that take them as uniforms
    int32_t texIndex[8], texFlags[8], texSize[8];
    float texMatrix[8][16];
    int32_t texProjected;            // stage 0: the dividing coordinate from 1, or 0
    int32_t textured;                // stage 0 has a texture
    float solidTexel[4];             // the colour of a stage-0 texture of one colour
    float power;                     // material
    int32_t lightCount;              // enabled lights, first lightCount entries filled
    int32_t lightType[8];
    float lightDiffuse[8][4], lightSpecular[8][4], lightAmbient[8][4];
    float lightPos[8][4], lightDir[8][4], lightAtt[8][4], lightSpot[8][4];
};

// Where a program keeps the fixed-function uniforms (-1 for those it lacks).
struct FfpLocations {
    int stages = 1;   // texture stages of its vertex part
    GLint worldViewProj = -1, worldView = -1, targetSize = -1;
    GLint matDiffuse = -1, matAmbient = -1, matSpecular = -1, matEmissive = -1;
    GLint globalAmbient = -1;
    GLint diffuseSource = -1, ambientSource = -1, specularSource = -1, emissiveSource = -1;
    GLint colorOp = -1, colorArg1 = -1, colorArg2 = -1;
    GLint alphaOp = -1, alphaArg1 = -1, alphaArg2 = -1;
    GLint textureFactor = -1, specularEnable = -1, alphaFunc = -1, alphaRef = -1;
    GLint sampler0 = -1;
    GLint lighting = -1, rhw = -1;
    GLint texIndex = -1, texFlags = -1, texSize = -1, texMatrix = -1, texProjected = -1;
    GLint textured = -1, solidTexel = -1;
    GLint lightCount = -1, lightType = -1, lightDiffuse = -1, lightSpecular = -1;
    GLint lightAmbient = -1, lightPos = -1, lightDir = -1, lightAtt = -1, lightSpot = -1;
    GLint power = -1, specularLit = -1;
};
FfpLocations LocateFfp(GLuint program, int stages);
// Sends `v` to the program in use.
void UploadFfp(const FfpLocations& at, const FfpValues& v);

struct FfpProgram {
    GLuint program = 0;
    FfpLocations at;
    FfpValues sent{};          // what the program holds, once `hasSent`
    bool hasSent = false;
};

// The vertex stage for an effect pass that has a pixel shader and no vertex shader: the
// fixed-function vertex processing writing the inputs `pixelGlsl` declares (dx_COLOR0/1 the
// lit colours, dx_TEXCOORDn stage n's coordinates).
std::string FixedFunctionVertexFor(const std::string& pixelGlsl);
// The pixel stage for a pass that has a vertex shader and no pixel shader: stage 0's colour
// and alpha operations over the vertex shader's outputs (`vertexGlsl`), then the alpha test
// when `alphaTestDefine` is defined, with the int and float uniforms named.
std::string FixedFunctionPixelFor(const std::string& vertexGlsl, const char* alphaTestDefine,
                                  const char* alphaFuncUniform, const char* alphaRefUniform);

// `vertexGlsl` of a vertex shader, also writing vec4(0.0) to every input of `pixelGlsl` it
// does not write: Direct3D 9 reads 0 from an output register the vertex shader leaves alone,
// where GL would refuse to link.
std::string VertexWritingInputsOf(const std::string& vertexGlsl, const std::string& pixelGlsl);

// Compiles and links a vertex and a fragment shader; attribute locations follow Attrib.
// Returns 0 and fills `log` on failure.
GLuint BuildProgram(const std::string& vs, const std::string& fs, std::string& log);

class FfpCache {
public:
    // The program for `key`, built on first use; null if it does not compile (a bug).
    FfpProgram* Get(const FfpKey& key, std::string& log);
    void Release();
    ~FfpCache() = default;

private:
    std::map<uint32_t, FfpProgram> programs_;
};

}  // namespace sdlgl
