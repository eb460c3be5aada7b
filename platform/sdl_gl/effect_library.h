// Effect files compiled for one OpenGL device: each distinct file content is parsed with the
// core .fx reader, its pass shaders compiled once (platform/shader/hlsl_compiler.h, assembly
// with platform/shader/asm_shader.h) and linked
// into one GL program per vertex/pixel pair, then shared by every effect made from that
// content. Effects keep their own parameter values and upload them when a pass begins.
// The preprocessor runs over the whole file first, so included files are read as part of it.
// A pass with only one of the two shaders runs the other stage as Direct3D's fixed-function
// stage (ffp_program.h) and the device feeds it its states at each draw.
// Not done: effect pools, macros given at creation.
#pragma once

#include <epoxy/gl.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/fx_shader_constants.h"
#include "platform/core/fxfile.h"
#include "platform/core/fxfile_preprocess.h"
#include "platform/d3dx9.h"
#include "platform/sdl_gl/effect_states.h"
#include "platform/sdl_gl/gl_device.h"
#include "platform/shader/hlsl_compiler.h"

namespace sdlgl {

// The shader compiler is shared with the headless backend.
using hlsl::CompileHlsl;
using hlsl::HlslBase;
using hlsl::HlslSampler;
using hlsl::HlslStage;
using hlsl::HlslUniform;
using hlsl::kAlphaFuncUniform;
using hlsl::kAlphaRefUniform;
using hlsl::kAlphaTestDefine;
using hlsl::kHalfPixelUniform;
using hlsl::kRowFromFragYUniform;
using hlsl::ProfileStage;
using hlsl::ShaderStage;

// A state assignment with its value read; `param` >= 0 takes the value from that parameter
// when the pass begins.
struct EffectState {
    StateTarget target = StateTarget::Unsupported;
    uint32_t id = 0;
    uint32_t index = 0;   // sampler or stage index
    StateValueKind kind = StateValueKind::Dword;
    uint32_t value = 0;
    float vec[4] = {0, 0, 0, 0};
    float matrix[16] = {};   // transforms given as constants
    int param = -1;
    size_t offset = 0;       // first float of the value in the parameter (an array element)
};

struct EffectParam {
    std::string name, semantic, type;
    core::FxClass paramClass = core::FxClass::Scalar;
    HlslBase base = HlslBase::Float;
    int rows = 1, columns = 1, elements = 0;
    bool rowMajor = false;
    bool isTexture = false, isSampler = false;
    std::vector<float> initial;   // rows x columns (row by row) per element
    // Samplers:
    int textureParam = -1;        // the texture parameter sampler_state names, or -1
    std::vector<EffectState> samplerStates;
    size_t FloatCount() const {
        return static_cast<size_t>(rows * columns * (elements > 0 ? elements : 1));
    }
};

struct UniformBinding {
    int param = -1;          // -1 for values fixed by the compile call
    GLint location = -1;
    GLenum type = 0;
    GLint count = 1;
    std::vector<float> fixedValue;
    // Shader assembly: the RegisterUniform kind that feeds it instead of a parameter (-1 for
    // none), of the vertex or the pixel stage, and its texture stage (bump values).
    int registers = -1;
    bool vertex = false;
    int stageIndex = 0;
};

// One linked program of a pass and where its values go.
struct PassProgram {
    GLuint program = 0;
    GLint halfPixel = -1;
    GLint alphaFunc = -1, alphaRef = -1;
    GLint textured = -1;   // passes without a pixel shader: whether stage 0 has a texture
    GLint rowFromFragY = -1;
    std::vector<UniformBinding> uniforms;
    // One of the stages is Direct3D's fixed-function stage, fed by the device at each draw.
    bool fixedStage = false;
    FfpLocations fixed;
};

struct EffectPass {
    std::string name;
    int line = 0;
    PassProgram plain;         // program 0: the fixed-function pipeline
    // The same shaders ending in Direct3D's alpha test, drawn with while the test is on;
    // program 0 when the pixel stage writes no colour. A shader that may discard makes the
    // rasteriser shade before the depth test, so the test is only built in where it is used.
    PassProgram alphaTested;
    std::vector<EffectState> states;
    std::vector<core::FxConstantState> constants;   // shader constant states, in order
    // Sampler parameters the pixel stage reads and their sampler registers: register N is
    // device stage N, which gets the sampler_state when the pass begins.
    struct Sampler {
        int param = -1;
        uint32_t reg = 0;
    };
    std::vector<Sampler> samplers;
    // Where the vertex program puts vertices (effect_position.h): position times these
    // parameters' values in order, each (parameter, transposed); -1 entries never occur.
    bool positionKnown = false;
    std::vector<std::pair<int, bool>> positionFactors;
};

struct EffectTechnique {
    std::string name;
    std::vector<EffectPass> passes;
};

struct PassShaders {
    int vs = -1, ps = -1;   // indices into EffectSource::stages
    bool hasVs = false, hasPs = false;
};

// An effect file parsed and its shaders compiled to GLSL; needs no GL context.
struct EffectSource {
    bool ok = false;
    std::string log;                     // compiler messages, "file(line): error: ..."
    std::vector<EffectParam> params;
    std::vector<EffectTechnique> techniques;   // passes without programs yet
    std::vector<HlslStage> stages;             // each (profile, entry, arguments) once
    std::vector<std::vector<PassShaders>> passShaders;   // per technique, per pass
    std::string text;                    // the file after the preprocessor
    std::shared_ptr<const core::FxFile> fx;   // as parsed, for reflection; null when unread
    int FindParam(std::string_view name) const;
};

// Preprocesses and parses `text` (messages name it `name`; includes are found next to it)
// and compiles every pass's shaders.
EffectSource CompileEffect(const std::string& text, const std::string& name);
// The same from the preprocessor's output.
EffectSource CompileEffect(const core::FxPreprocessed& pre, const std::string& name);

// One effect file compiled and linked. Owns its GL programs.
class EffectCode {
public:
    EffectCode() = default;
    EffectCode(const EffectCode&) = delete;
    EffectCode& operator=(const EffectCode&) = delete;
    ~EffectCode();

    bool ok = false;
    std::string log;                     // compiler messages, "file(line): error: ..."
    std::vector<EffectParam> params;
    std::vector<EffectTechnique> techniques;
    std::vector<GLuint> programs;        // every program of the passes, once
    std::shared_ptr<const core::FxFile> fx;   // as parsed, for reflection

    int FindParam(std::string_view name) const;        // -1 when absent
    int FindTechnique(std::string_view name) const;    // -1 when absent
};

// Uploads `count` elements of `data` (HLSL layout) to the uniform at `location` of GL type
// `type` in the program in use.
void UploadUniform(GLint location, GLenum type, GLint count, const float* data);

class EffectLibrary {
public:
    typedef GlTexture* (*TextureOf)(IDirect3DBaseTexture9* texture);

    // `owner` (may be null) gets a reference from every effect, so that the device outlives
    // them; `textureOf` finds the GL texture of a texture the engine hands to SetTexture.
    EffectLibrary(GlDevice& device, TextureOf textureOf, IUnknown* owner);

    // D3DXCreateEffectFromFileA: reads the file (through winpath::Map), compiles it unless the
    // same content was compiled before, and makes an effect. Compiler messages go to stderr
    // and into `messages`. Fails with a negative HRESULT for a missing or failing file.
    HRESULT CreateFromFile(const char* path, ID3DXEffect** out, std::string& messages);
    // The same from text; `name` appears in messages.
    HRESULT CreateFromText(const std::string& text, const std::string& name, ID3DXEffect** out,
                           std::string& messages);

    // The same from the preprocessor's output (macros and include reader applied by the caller).
    HRESULT CreateFromPreprocessed(const core::FxPreprocessed& pre, const std::string& name,
                                   ID3DXEffect** out, std::string& messages);

    // Distinct contents compiled so far (a failed compile counts too).
    int Compilations() const { return compilations_; }
    // Drops the cache; effects already made keep their code.
    void Clear() { byContent_.clear(); }

private:
    std::shared_ptr<EffectCode> Build(const core::FxPreprocessed& pre, const std::string& name);

    GlDevice& device_;
    TextureOf textureOf_;
    IUnknown* owner_;
    std::map<std::string, std::shared_ptr<EffectCode>> byContent_;
    int compilations_ = 0;
};

}  // namespace sdlgl
