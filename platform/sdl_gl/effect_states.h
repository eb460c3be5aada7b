// State assignments of effect passes and sampler_state blocks: the state names an effect file
// may write (case-blind, as D3DX reads them) and their values, turned into Direct3D 9 numbers.
// A value is a constant (enum name, TRUE/FALSE, number, {r, g, b, a}) or names a parameter,
// written `<Name>` or `(Name)`, read when the pass begins.
// States that Direct3D 9 knows but this backend does not carry out (fog, stencil,
// clip planes, points, stages past 0's blending, ...) are not looked up here: the effect
// compiler names them once and skips them. Shader constant states are read by
// core/fx_shader_constants.h.
#pragma once

#include <cstdint>
#include <string>

namespace sdlgl {

enum class StateTarget {
    Render,         // SetRenderState(id, value)
    Sampler,        // SetSamplerState(index, id, value)
    TextureStage,   // SetTextureStageState(index, id, value)
    Texture,        // SetTexture(index, <parameter>)
    SetSampler,     // Sampler[index] = <sampler>: its sampler_state goes to stage `index`
    Material,       // material field `id` (0 diffuse, 1 ambient, 2 specular, 3 emissive, 4 power)
    Light,          // light `index`, field `id` (0 type, 1 diffuse, 2 specular, 3 ambient,
                    // 4 position, 5 direction, 6 range, 7 falloff, 8..10 attenuation 0..2,
                    // 11 theta, 12 phi)
    LightEnable,    // light `index` on or off
    Transform,      // SetTransform(id + index, <matrix>): world 256, view 2, projection 3,
                    // texture 16

    VertexShader,
    PixelShader,
    Unsupported
};

enum class StateValueKind {
    Bool, Dword, Float, Color, Blend, BlendOp, Cmp, Cull, Fill, Shade, ZBuffer, MaterialSource,
    ColorWrite, TexFilter, TexAddress, TextureOp, TextureArg, Vector4, Parameter,
    TexCoordIndex, TransformFlags, Matrix, LightType
};

struct StateInfo {
    StateTarget target = StateTarget::Unsupported;
    uint32_t id = 0;
    StateValueKind kind = StateValueKind::Dword;
};

// Looks up a pass state (`inSampler` false) or a sampler_state entry (true) by name.
// False for names this backend does not know.
bool LookupState(const std::string& name, bool inSampler, StateInfo& info);

// A parameter reference: `<Name>`, `(Name)` or a bare name that is no constant of `kind`.
// Returns the name, or empty when the value is a constant.
std::string ParameterReference(const std::string& value, StateValueKind kind);

// Reads a constant value. Floats and colours come as their Direct3D 9 DWORD (a float's bits,
// a D3DCOLOR); Vector4 values fill `vec` (missing components 0, except alpha 1 for colours).
// Matrix values (16 numbers, row by row) need ParseStateMatrix.
bool ParseStateValue(const std::string& value, StateValueKind kind, uint32_t& out,
                     float vec[4]);

// A constant matrix value: 16 numbers, in braces or a float4x4(...) constructor, or one
// number for every element.
bool ParseStateMatrix(const std::string& value, float m[16]);

}  // namespace sdlgl
