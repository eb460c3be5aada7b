// Effects written for other programs: their parameters bound by semantic and annotation, as
// effect tools bind them (transforms, camera, time, lights, materials, textures), and the
// technique such an effect draws with. The binding is worked out once per effect, from its
// reflection, into a table of handles by role; a draw then sets only what the table holds, so
// an effect that uses only the engine's own parameter names gets no call from it. Parameters
// named as the engine's own values are left to the engine. Knows no engine class: fxtool
// shows and draws with the same binding.
#pragma once

#include <string>
#include <vector>

#include "d3dx9.h"

enum class BindRole : unsigned char {
    Transform,          // detail: kWorld | kView | kProjection, form: see BindForm
    CameraPosition,
    CameraDirection,
    Time,               // detail: BindTime
    LightPosition,      // light: 0 the light drawn, n the scene's light n + 1
    LightDirection,
    LightColor,
    LightSpecular,
    LightAmbient,
    MaterialDiffuse,
    MaterialAmbient,
    MaterialSpecular,
    MaterialEmissive,
    MaterialPower,
    SubsetTexture,      // the texture of the subset drawn, as stage 0 gets it
    FileTexture,        // the file its annotation names, set once when the effect loads
};

const int kWorld = 1, kView = 2, kProjection = 4;
enum class BindForm : unsigned char { Plain, Inverse, Transpose, InverseTranspose };
// RenderMonkey-style cycles run over 120 seconds.
enum class BindTime : unsigned char { Seconds, Cycle, Cycle01, Cycle2Pi, SinCycle, CosCycle, TanCycle,
                                      Sin01, Cos01, Sin2Pi, Cos2Pi };

struct BoundParameter {
    D3DXHANDLE handle = nullptr;
    BindRole role = BindRole::Transform;
    int detail = 0;                  // Transform: factors; Time: BindTime; textures: 1 when named as the colour map
    BindForm form = BindForm::Plain;
    unsigned light = 0;
    bool viewSpace = false;          // light values in view space (annotation Space = "View")
    // Textures: the subset's texture stands in for a file that does not load (the texture
    // called the diffuse one, or the only texture of an effect not the engine's).
    bool subsetFallback = false;
    bool matrix = false;             // SetMatrix
    bool scalar = false;             // SetFloat; else SetVector
    std::string file;                // FileTexture: the file as the annotation names it
    D3DXHANDLE array = nullptr;      // an element's array ("g_LightDir[3]": light k in element k)
    unsigned elements = 0;           // on element 0: how many elements are bound
};

// Several lights in one pass, offered by an effect's techniques "ald_Phong_lights" (the first
// batch of an object's lights: writes the colour) and "ald_Phong_lights_alpha" (each further
// batch: adds). The first says how many lights it takes with `int Lights = N` (or the length of
// LightPositions), and reads arrays of that many elements: LightPositions and LightColors
// (float4), LightFalloffs, LightSpeculars, LightSpecularIntensities, LightAmbients and
// LightAttenuations (float), and LightCount, the lights of the batch; the elements past it
// are zero.
struct LightBatch {
    unsigned perPass = 0;   // lights a pass takes; 0 when the effect does not offer it
    D3DXHANDLE first = nullptr, further = nullptr;   // the two techniques
    D3DXHANDLE positions = nullptr, colours = nullptr, falloffs = nullptr, speculars = nullptr,
               intensities = nullptr, ambients = nullptr, attenuations = nullptr, count = nullptr;
};

struct EffectBinding {
    std::vector<BoundParameter> perDraw;     // before Begin: transforms, camera, time, lights
    std::vector<BoundParameter> perSubset;   // before each subset: material, texture
    std::vector<BoundParameter> files;       // textures named by an annotation
    std::vector<std::string> watched;        // every path tried for them, so edits reload the effect
    unsigned lightsUsed = 0;                 // highest light index read, plus one
    bool needsCamera = false, needsTime = false;
    // True when the effect has "ald_Phong" or "ald_Phong_alpha": drawn once per light with
    // them, as the engine draws its own effects. Otherwise `technique` is the first valid
    // one, drawn for the first light only.
    bool engineTechniques = true;
    D3DXHANDLE technique = nullptr;
    LightBatch batch;
};

// The table for an effect, from its reflection.
void BindEffect(ID3DXEffect* effect, EffectBinding& out);
// The same for an effect compiler (fxtool): its first technique stands for the valid one.
void BindEffect(ID3DXEffectCompiler* compiler, EffectBinding& out);

// Loads each texture an annotation names: as written, in "textures\", then next to
// `effectFile`. One that loads is set on the effect once; one that does not is added to
// `missing` and bound to the subset's texture where that may stand in. The paths tried, up to
// the one that loaded, go to `binding.watched`.
void LoadBindingTextures(IDirect3DDevice9* device, ID3DXEffect* effect, const char* effectFile,
                         EffectBinding& binding, std::vector<std::string>& missing);

// What the engine gives the parameter `name` bound as `bound` (null: not bound by semantic),
// for fxtool: "world-view-projection", "light 0 position (world space)", "the light's position
// (by its name)"; empty when the engine sets nothing.
std::string BindingText(const char* name, const BoundParameter* bound);

// A light as the binding reads it.
struct BindingLight {
    D3DXVECTOR4 position;   // w 1
    D3DXVECTOR3 lookAt;     // the point it shines at
    D3DXVECTOR4 colour;     // a 1
    float ambient = 0;
    float falloff = 0, specular = 0, specularIntensity = 0, attenuation = 0;
};

const unsigned kBindingLights = 8;

// What one draw supplies.
struct BindingScene {
    const D3DXMATRIX* world = nullptr;
    const D3DXMATRIX* view = nullptr;
    const D3DXMATRIX* projection = nullptr;
    D3DXVECTOR3 eye, lookAt;
    float seconds = 0;
    BindingLight lights[kBindingLights];   // [0] the light drawn, then the scene's others
    unsigned lightCount = 0;
};

// Sets the per-draw values. Lights the scene does not have keep their values.
void ApplyDraw(ID3DXEffect* effect, const EffectBinding& binding, const BindingScene& scene);

// Sets a batch of `count` lights (at most batch.perPass) in the effect's light arrays.
void ApplyLightBatch(ID3DXEffect* effect, const LightBatch& batch, const BindingLight* lights, unsigned count);

// Draws mesh subsets 0..count-1 in every pass of the effect's current technique, each with its
// material and stage-0 texture; an effect with per-subset values gets them before each
// subset, sent with CommitChanges. No device or mesh: passes without subsets.
void DrawEffectPasses(IDirect3DDevice9* device, ID3DXEffect* effect, const EffectBinding& binding,
                      ID3DXMesh* mesh, const D3DMATERIAL9* materials, IDirect3DTexture9* const* textures,
                      unsigned count);
