// The Direct3D 9 device model over OpenGL 3.3 core: render, sampler and stage-0 states,
// transforms, material, textures, vertex buffers and draws, drawn into an off-screen back
// buffer (multisampled when asked) that Present scales into the window. The back buffer is
// kept top row first (GL row 0 is the screen's top row), so GL's fill rules meet Direct3D's
// top-left rule and reading it back needs no flip. While the window's framebuffer matches the
// back buffer (same size, no samples, no alpha, a depth-stencil buffer) and GL has clip
// control, the device draws straight into the window instead: clip control's upper-left
// origin turns the same drawing upright with the same fill rule, and Present has nothing to
// copy. Needs a current GL context; knows nothing of SDL. Not done here: fog, stencil, index buffers of the
// caller, more than one vertex stream, blending past texture stage 0 (later stages keep their
// texture coordinate states for pixel shaders).
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/sdl_gl/d3d_values.h"
#include "platform/sdl_gl/ffp_program.h"
#include "platform/sdl_gl/vertex_layout.h"

namespace sdlgl {

struct Material {
    float diffuse[4] = {1, 1, 1, 1};
    float ambient[4] = {0, 0, 0, 0};
    float specular[4] = {0, 0, 0, 0};
    float emissive[4] = {0, 0, 0, 0};
    float power = 0;
};

// A light as D3DLIGHT9 describes it; type 1 point, 2 spot, 3 directional. The default is
// the light Direct3D enables when none was set: white, directional, along +z.
struct Light {
    uint32_t type = 3;
    float diffuse[4] = {1, 1, 1, 0};
    float specular[4] = {0, 0, 0, 0};
    float ambient[4] = {0, 0, 0, 0};
    float position[3] = {0, 0, 0};
    float direction[3] = {0, 0, 1};
    float range = 0, falloff = 0, attenuation0 = 0, attenuation1 = 0, attenuation2 = 0;
    float theta = 0, phi = 0;
};

// A 2D RGBA8 texture with its mip chain.
struct GlTexture {
    GLuint id = 0;
    int width = 0, height = 0;
    int levels = 1;
    // Every texel of level 0 is `colour` (so are the levels made from it): sampling it inside
    // the texture gives that colour whatever the coordinates and filters.
    bool solid = false;
    float colour[4] = {0, 0, 0, 0};
};

// A vertex buffer: the bytes live in memory (what Lock hands out) and in a GL buffer,
// refreshed on Unlock.
struct GlVertexBuffer {
    GLuint id = 0;
    std::vector<uint8_t> bytes;
    uint32_t fvf = 0;
};

struct Viewport {
    int x = 0, y = 0, width = 0, height = 0;   // pixels, top-left origin
    float minZ = 0, maxZ = 1;
};

struct BackBufferDesc {
    int width = 0, height = 0;  // > 0
    int samples = 0;            // 0 or 1: single-sampled; otherwise the exact sample count
    bool alpha = false;         // the format keeps alpha (A8R8G8B8)
    bool depth = true;          // an automatic D24S8 depth-stencil buffer
    bool keepAfterPresent = false;   // D3DSWAPEFFECT_COPY: Present leaves the contents alone
};

// An axis-aligned box around a mesh's vertex positions; not valid when a position is not a
// finite number.
struct Bounds {
    float min[3] = {0, 0, 0}, max[3] = {0, 0, 0};
    bool valid = false;
};

// 4x4 row-major matrix in the row-vector convention.
struct Mat4 {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};
Mat4 Multiply(const Mat4& a, const Mat4& b);

class GlDevice;

// Depth writes a drawer has put off (text drawn without its alpha test writes depth 0 where a
// glyph covers a pixel only once a later draw could see that depth).
class DeferredDepthWriter {
public:
    virtual ~DeferredDepthWriter() = default;
    // Makes the writes now (the context is current); the device restores its GL state after.
    virtual void WriteDeferredDepth(GlDevice& device) = 0;
    // Forgets them: the depth they would have written was cleared anyway.
    virtual void DropDeferredDepth() = 0;
};

// Drawing a drawer holds back to make one GL draw of several calls (text): the device has it
// drawn before anything that could see, change or cover what it would draw.
class HeldDrawer {
public:
    virtual ~HeldDrawer() = default;
    // Draws what is held now (the context is current; the device restores its GL state after
    // the drawer calls RestoreGlState).
    virtual void SendHeld(GlDevice& device) = 0;
    // Forgets it: the back buffer goes.
    virtual void DropHeld() = 0;
};

class GlDevice {
public:
    GlDevice();
    GlDevice(const GlDevice&) = delete;
    GlDevice& operator=(const GlDevice&) = delete;

    // Creates the back buffer. Fails (with a reason) when the sample count cannot be had.
    bool Init(const BackBufferDesc& desc, std::string& err);
    // Deletes every GL object of the device; the context must still be current.
    void Shutdown();

    int Width() const { return desc_.width; }
    int Height() const { return desc_.height; }
    int Samples() const { return desc_.samples; }
    bool HasDepth() const { return desc_.depth; }
    bool HasAlpha() const { return desc_.alpha; }
    float MaxAnisotropy() const { return maxAnisotropy_; }

    // State setters take Direct3D 9 values. Out-of-range indices are refused (false).
    bool SetRenderState(uint32_t state, uint32_t value);
    uint32_t GetRenderState(uint32_t state) const;
    bool SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value);
    uint32_t GetSamplerState(uint32_t sampler, uint32_t type) const;
    bool SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value);
    uint32_t GetTextureStageState(uint32_t stage, uint32_t type) const;
    // kind: 2 view, 3 projection, 16..23 texture stages 0..7, 256 world.
    bool SetTransform(uint32_t kind, const float m[16]);
    bool GetTransform(uint32_t kind, float m[16]) const;
    // Lights 0..7 (effects set them; the engine's interface has no light calls).
    bool SetLight(uint32_t index, const Light& light);
    Light GetLight(uint32_t index) const { return index < 8 ? lights_[index] : Light(); }
    bool LightEnable(uint32_t index, bool on);
    bool GetLightEnable(uint32_t index) const { return index < 8 && lightOn_[index]; }
    void SetMaterial(const Material& m) {
        SendHeld();
        material_ = m;
    }
    const Material& GetMaterial() const { return material_; }
    bool SetTexture(uint32_t stage, GlTexture* texture);
    GlTexture* GetTexture(uint32_t stage) const {
        int slot = SamplerSlot(stage);
        return slot >= 0 ? textures_[slot] : nullptr;
    }
    // Samplers: pixel stages 0..15 and the vertex texture samplers 257..260
    // (D3DVERTEXTEXTURESAMPLER0..3), which are GL texture units 0..15 and 16..19. -1 for
    // other stages.
    static const int kSamplerSlots = 20;
    static int SamplerSlot(uint32_t stage) {
        if (stage < 16) return static_cast<int>(stage);
        if (stage >= 257 && stage <= 260) return static_cast<int>(stage - 257 + 16);
        return -1;
    }
    void SetFvf(uint32_t fvf) {
        SendHeld();
        fvf_ = fvf;
    }
    uint32_t GetFvf() const { return fvf_; }
    void SetStreamSource(GlVertexBuffer* vb, uint32_t offset, uint32_t stride);
    bool SetViewport(const Viewport& vp);
    const Viewport& GetViewport() const { return viewport_; }

    // rects: `count` rectangles as left, top, right, bottom (4 ints each) or null for all.
    bool Clear(uint32_t count, const int* rects, uint32_t flags, uint32_t color, float z,
               uint32_t stencil);
    bool DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount);
    bool DrawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* data,
                         uint32_t stride);
    // Indexed triangles from GL buffers the caller owns (meshes): the current states,
    // material and textures apply; `fvf` describes the vertices. With `bounds` (around every
    // vertex drawn), a draw that lies wholly outside the view volume is not rasterised.
    bool DrawIndexedTriangles(GLuint vbo, GLuint ibo, uint32_t fvf, uint32_t stride,
                              uint32_t firstIndex, uint32_t indexCount,
                              const Bounds* bounds = nullptr);
    // Whether a box (model space) lies wholly outside the view volume of the transforms in
    // force: the fixed-function world x view x projection, or what the program override says
    // of its position. False when that cannot be told.
    bool OutsideView(const Bounds& bounds, uint32_t fvf) const;
    // Skipping draws outside the view is on by default; tests turn it off to compare.
    void SetViewCulling(bool on) { viewCulling_ = on; }
    uint64_t CulledDraws() const { return culledDraws_; }

    // Line lists drawn from memory by the fixed-function stage one after another, with nothing
    // changed between them, go to GL as one draw: markers draw a dozen lines one at a time,
    // and each GL draw costs llvmpipe far more than its two vertices. Every state change,
    // other draw, clear, Present, read-back and drawing by others (BindBackBuffer) sends the
    // lines held first. GL draws made of held lines so far (tests).
    uint64_t LineBatches() const { return lineBatches_; }

    // Resources.
    GlTexture* CreateTexture(int width, int height, const uint8_t* rgba, int levels);
    void DestroyTexture(GlTexture* t);
    GlVertexBuffer* CreateVertexBuffer(uint32_t length, uint32_t fvf);
    void UploadVertexBuffer(GlVertexBuffer* vb, uint32_t offset, uint32_t size);
    void DestroyVertexBuffer(GlVertexBuffer* vb);

    // Scales the back buffer into the default framebuffer of windowW x windowH pixels; the
    // caller swaps. The back buffer itself keeps its size and contents.
    void Present(int windowW, int windowH);
    // The window's drawable size after a swap (and at creation): the frames that follow are
    // drawn straight into the window when it matches the back buffer and `allowed`.
    void WindowSized(int windowW, int windowH);
    void AllowDirect(bool allowed) { directAllowed_ = allowed; }
    bool DrawsIntoWindow() const { return direct_; }
    // GL window-space row of a back-buffer rectangle's top edge, and a scissor rectangle given
    // as left, top, right, bottom in back-buffer pixels.
    int GlRow(int top, int height) const { return direct_ ? desc_.height - top - height : top; }
    void Scissor(int left, int top, int right, int bottom) const;
    // (offset, scale) that turn gl_FragCoord.y into the back buffer's row from the top.
    void RowFromFragY(float out[2]) const;
    // The back buffer as RGBA8, top row first.
    bool ReadBackBuffer(std::vector<uint8_t>& rgba);

    // For code that draws with its own GL program and states (text, effects): binds the back
    // buffer, then after drawing call RestoreGlState so the next draw re-applies everything.
    void BindBackBuffer();
    void RestoreGlState();
    // Programs that replace the fixed-function one for the draws that follow (plain 0 = fixed
    // function). `alphaTested` (0 when there is none) draws while the alpha test is on and
    // gets the test's function and reference at each draw. The caller keeps the other
    // uniforms of both current; vertex attributes follow Attrib.
    // `position` says where the programs put vertices, when their owner knows it:
    // clip = position * M1 * ... * Mn (row vectors, n = positionCount), each Mi 16 floats row
    // by row, transposed where flagged, read at each draw; positionCount -1 when not known.
    struct ProgramOverride {
        GLuint plain = 0, alphaTested = 0;
        GLint alphaFunc = -1, alphaRef = -1;   // uniforms of alphaTested
        static constexpr int kMaxPositionFactors = 4;
        int positionCount = -1;
        const float* position[kMaxPositionFactors] = {};
        bool positionTransposed[kMaxPositionFactors] = {};
        // Called before a draw with alphaTested, given `owner` and `source`, to bring that
        // program's uniforms up to date (null when it needs nothing).
        void (*refreshAlphaTested)(const void* owner, const void* source) = nullptr;
        const void* source = nullptr;
        const void* owner = nullptr;   // whose values `position` and the refresh read
        // Programs with a fixed-function stage (one of the two shaders missing) and where
        // they take its uniforms; the device sends them at each draw.
        const FfpLocations* plainFixed = nullptr;
        const FfpLocations* alphaTestedFixed = nullptr;
    };
    void SetProgramOverride(const ProgramOverride& p) {
        SendHeld();
        programOverride_ = p;
    }
    const ProgramOverride& GetProgramOverride() const { return programOverride_; }
    // Owners named by overrides register while they live; an override whose owner has gone is
    // drawn without its position and refresh.
    void AddOverrideOwner(const void* owner) { owners_.insert(owner); }
    void RemoveOverrideOwner(const void* owner) { owners_.erase(owner); }
    // Deferred depth writes: a writer registers once per batch; they are made before anything
    // that could see the depth buffer (a draw with the depth test on, a partial depth clear)
    // and dropped by a depth clear of the whole buffer.
    void DeferDepth(DeferredDepthWriter* writer);
    void WriteDeferredDepth();
    void ForgetDeferredDepth(DeferredDepthWriter* writer);
    bool HasDeferredDepth() const { return !deferredDepth_.empty(); }
    // Held drawing: one drawer at a time. Holding sends held lines and another drawer's held
    // drawing first; every state change, draw, clear, Present, read-back and BindBackBuffer
    // sends it. Forget takes it back unsent (the drawer goes).
    void Hold(HeldDrawer* drawer);
    void ForgetHeld(HeldDrawer* drawer) {
        if (held_ == drawer) held_ = nullptr;
    }
    bool Holds(const HeldDrawer* drawer) const { return held_ == drawer; }
    // Draws whatever is held (lines, a drawer's) now.
    void SendHeld() {
        if (lineVertices_) DrawHeldLines();
        if (held_) SendHeldDrawing();
    }

    // The GL state the current render states ask for, applied now (also done by every draw).
    void ApplyRenderStates(bool lines);

    const std::string& LastError() const { return lastError_; }

private:
    bool PrepareDraw(const VertexLayout& layout, bool lines);
    // The fixed-function uniforms of a draw with `layout`.
    void FixedFunctionValues(const VertexLayout& layout, bool alphaTest, FfpValues& v) const;
    void ApplySamplers();
    void Resolve();
    static GLuint MakePresentTexture(int width, int height);

    BackBufferDesc desc_;
    GLuint drawFbo_ = 0, colorRb_ = 0, depthRb_ = 0;  // where drawing goes (colorRb_: MSAA)
    GLuint resolveFbo_ = 0;                           // single-sampled copy (MSAA only)
    GLuint presentTex_ = 0;   // the single-sampled colour that Present copies to the window
    bool stencilUniform_ = false;   // the whole stencil buffer holds stencilValue_
    bool canDirect_ = false;        // the window's framebuffer could stand in for the back buffer
    bool directAllowed_ = true;
    bool direct_ = false;           // drawing goes into the window's framebuffer
    uint32_t stencilValue_ = 0;
    GLuint vao_ = 0, streamVbo_ = 0;
    GLuint samplers_[kSamplerSlots] = {};
    bool samplerDirty_[kSamplerSlots] = {};
    int boundSlots_ = 8;   // units that draws bind: 8, or every slot once one past 7 is used
    float maxAnisotropy_ = 1;

    uint32_t rs_[d3d::RS_COUNT] = {};
    uint32_t samp_[kSamplerSlots][d3d::SAMP_COUNT] = {};
    uint32_t tss_[8][d3d::TSS_COUNT] = {};
    Mat4 world_, view_, proj_;
    Mat4 textureMatrix_[8];
    Light lights_[8];
    bool lightOn_[8] = {};
    Material material_;
    GlTexture* textures_[kSamplerSlots] = {};
    uint32_t fvf_ = 0;
    GlVertexBuffer* stream_ = nullptr;
    uint32_t streamOffset_ = 0, streamStride_ = 0;
    Viewport viewport_;
    ProgramOverride programOverride_;
    std::unordered_set<const void*> owners_;
    bool viewCulling_ = true;
    uint64_t culledDraws_ = 0;
    // Mesh triangles drawn since the last batch was sent off, and that batch's fence.
    static constexpr uint64_t kTrianglesPerBatch = 150000;
    uint64_t queuedTriangles_ = 0;
    GLsync batchFence_ = nullptr;
    void SendFullBatch();

    // Line-list vertices held for one GL draw (LineBatches), in the held format and stride.
    std::vector<uint8_t> lineBytes_;
    uint32_t lineFvf_ = 0, lineStride_ = 0, lineVertices_ = 0;
    uint64_t lineBatches_ = 0;
    static constexpr size_t kMaxLineBytes = 1 << 20;
    void DrawHeldLines();
    HeldDrawer* held_ = nullptr;
    void SendHeldDrawing();
    // The fixed-function program a draw of `layout` uses with the current states.
    FfpKey FixedFunctionKey(const VertexLayout& layout, bool alphaTest) const;

    // Last GL pipeline state applied; `applied_` false forces a full re-application.
    struct PipelineState {
        GLboolean depthTest, depthMask, blend, cull, multisample, lineSmooth;
        GLenum depthFunc, frontFace, polygonMode;
        GLenum srcRgb, dstRgb, srcAlpha, dstAlpha, eqRgb, eqAlpha;
        GLboolean mask[4];
        float blendColor[4];
    };
    PipelineState current_{};
    bool applied_ = false;

    FfpCache ffp_;
    std::string lastError_;
    std::vector<DeferredDepthWriter*> deferredDepth_;
    void DropDeferredDepth();
};

uint32_t VertexCount(uint32_t type, uint32_t primitiveCount);
GLenum GlCompareFunc(uint32_t d3dCmp);
GLenum GlPrimitive(uint32_t type);

}  // namespace sdlgl
