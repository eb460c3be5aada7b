#include "platform/sdl_gl/gl_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sdlgl {

using namespace d3d;

Mat4 Multiply(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k) s += a.m[4 * i + k] * b.m[4 * k + j];
            r.m[4 * i + j] = s;
        }
    return r;
}

uint32_t VertexCount(uint32_t type, uint32_t n) {
    switch (type) {
        case PT_POINTLIST: return n;
        case PT_LINELIST: return 2 * n;
        case PT_LINESTRIP: return n ? n + 1 : 0;
        case PT_TRIANGLELIST: return 3 * n;
        case PT_TRIANGLESTRIP:
        case PT_TRIANGLEFAN: return n ? n + 2 : 0;
        default: return 0;
    }
}

GLenum GlPrimitive(uint32_t type) {
    switch (type) {
        case PT_POINTLIST: return GL_POINTS;
        case PT_LINELIST: return GL_LINES;
        case PT_LINESTRIP: return GL_LINE_STRIP;
        case PT_TRIANGLELIST: return GL_TRIANGLES;
        case PT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
        case PT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
        default: return GL_NONE;
    }
}

static bool IsLines(uint32_t type) {
    return type == PT_LINELIST || type == PT_LINESTRIP;
}

static GLenum BlendFactor(uint32_t v) {
    switch (v) {
        case BLEND_ZERO: return GL_ZERO;
        case BLEND_ONE: return GL_ONE;
        case BLEND_SRCCOLOR: return GL_SRC_COLOR;
        case BLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case BLEND_SRCALPHA: return GL_SRC_ALPHA;
        case BLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case BLEND_DESTALPHA: return GL_DST_ALPHA;
        case BLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case BLEND_DESTCOLOR: return GL_DST_COLOR;
        case BLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case BLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
        case BLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
        case BLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
        default: return GL_ONE;
    }
}

static GLenum BlendEquation(uint32_t v) {
    switch (v) {
        case BLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
        case BLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case BLENDOP_MIN: return GL_MIN;
        case BLENDOP_MAX: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}

GLenum GlCompareFunc(uint32_t v) {
    switch (v) {
        case CMP_NEVER: return GL_NEVER;
        case CMP_LESS: return GL_LESS;
        case CMP_EQUAL: return GL_EQUAL;
        case CMP_LESSEQUAL: return GL_LEQUAL;
        case CMP_GREATER: return GL_GREATER;
        case CMP_NOTEQUAL: return GL_NOTEQUAL;
        case CMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

static void ColorToFloats(uint32_t c, float out[4]) {
    out[0] = ((c >> 16) & 0xFF) / 255.0f;
    out[1] = ((c >> 8) & 0xFF) / 255.0f;
    out[2] = (c & 0xFF) / 255.0f;
    out[3] = ((c >> 24) & 0xFF) / 255.0f;
}

GlDevice::GlDevice() {
    rs_[RS_ZENABLE] = 1;
    rs_[RS_FILLMODE] = FILL_SOLID;
    rs_[RS_SHADEMODE] = SHADE_GOURAUD;
    rs_[RS_ZWRITEENABLE] = 1;
    rs_[16] = 1;  // LASTPIXEL
    rs_[RS_SRCBLEND] = BLEND_ONE;
    rs_[RS_DESTBLEND] = BLEND_ZERO;
    rs_[RS_CULLMODE] = CULL_CCW;
    rs_[RS_ZFUNC] = CMP_LESSEQUAL;
    rs_[RS_ALPHAFUNC] = CMP_ALWAYS;
    rs_[RS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs_[136] = 1;  // CLIPPING
    rs_[RS_LIGHTING] = 1;
    rs_[RS_COLORVERTEX] = 1;
    rs_[142] = 1;  // LOCALVIEWER
    rs_[RS_DIFFUSEMATERIALSOURCE] = MCS_COLOR1;
    rs_[RS_SPECULARMATERIALSOURCE] = MCS_COLOR2;
    rs_[RS_MULTISAMPLEANTIALIAS] = 1;
    rs_[162] = 0xFFFFFFFF;  // MULTISAMPLEMASK
    rs_[RS_COLORWRITEENABLE] = 0x0F;
    rs_[RS_BLENDOP] = BLENDOP_ADD;
    rs_[193] = 0xFFFFFFFF;  // BLENDFACTOR
    rs_[RS_SRCBLENDALPHA] = BLEND_ONE;
    rs_[RS_DESTBLENDALPHA] = BLEND_ZERO;
    rs_[RS_BLENDOPALPHA] = BLENDOP_ADD;
    for (auto& s : samp_) {
        s[SAMP_ADDRESSU] = s[SAMP_ADDRESSV] = s[SAMP_ADDRESSW] = TADDRESS_WRAP;
        s[SAMP_MAGFILTER] = s[SAMP_MINFILTER] = TEXF_POINT;
        s[SAMP_MIPFILTER] = TEXF_NONE;
        s[SAMP_MAXANISOTROPY] = 1;
    }
    for (uint32_t i = 0; i < 8; ++i) {
        uint32_t* t = tss_[i];
        t[TSS_COLOROP] = i == 0 ? TOP_MODULATE : TOP_DISABLE;
        t[TSS_COLORARG1] = TA_TEXTURE;
        t[TSS_COLORARG2] = TA_CURRENT;
        t[TSS_ALPHAOP] = i == 0 ? TOP_SELECTARG1 : TOP_DISABLE;
        t[TSS_ALPHAARG1] = TA_TEXTURE;
        t[TSS_ALPHAARG2] = TA_CURRENT;
        t[TSS_TEXCOORDINDEX] = i;
    }
}

// The single-sampled buffer that Present copies into the window. It is stored as 8-bit BGRA,
// the layout of a 24/32-bit window, so that the same-size copy can be a plain memory copy
// where the driver allows it (Mesa's llvmpipe does, for an unsized RGBA texture specified as
// BGRA bytes) instead of a textured draw over the whole window. A back buffer without alpha
// keeps its alpha at 1: clears write 1 and draws never write alpha.
GLuint GlDevice::MakePresentTexture(int width, int height) {
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    return tex;
}

bool GlDevice::Init(const BackBufferDesc& desc, std::string& err) {
    desc_ = desc;
    if (desc_.samples < 2) desc_.samples = 0;
    if (desc_.width <= 0 || desc_.height <= 0) {
        err = "empty back buffer";
        return false;
    }
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    if (desc_.samples > maxSamples) {
        err = "multisampling with " + std::to_string(desc_.samples) +
              " samples is not available (at most " + std::to_string(maxSamples) + ")";
        return false;
    }
    glGenFramebuffers(1, &drawFbo_);
    if (desc_.samples) {
        glGenRenderbuffers(1, &colorRb_);
        glBindRenderbuffer(GL_RENDERBUFFER, colorRb_);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, desc_.samples,
                                         desc_.alpha ? GL_RGBA8 : GL_RGB8, desc_.width,
                                         desc_.height);
        GLint got = 0;
        glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &got);
        if (got != desc_.samples) {
            err = "multisampling with " + std::to_string(desc_.samples) +
                  " samples is not available";
            Shutdown();
            return false;
        }
    } else {
        presentTex_ = MakePresentTexture(desc_.width, desc_.height);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
    if (colorRb_)
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorRb_);
    else
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, presentTex_, 0);
    if (desc_.depth) {
        glGenRenderbuffers(1, &depthRb_);
        glBindRenderbuffer(GL_RENDERBUFFER, depthRb_);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, desc_.samples, GL_DEPTH24_STENCIL8,
                                         desc_.width, desc_.height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                  depthRb_);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        err = "the back buffer cannot be made";
        Shutdown();
        return false;
    }
    if (desc_.samples) {
        glGenFramebuffers(1, &resolveFbo_);
        presentTex_ = MakePresentTexture(desc_.width, desc_.height);
        glBindFramebuffer(GL_FRAMEBUFFER, resolveFbo_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, presentTex_, 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            err = "the multisample resolve buffer cannot be made";
            Shutdown();
            return false;
        }
    }
    // The window's own framebuffer can take the drawing when it has what the back buffer has.
    if (!desc_.samples && !desc_.alpha && !desc_.keepAfterPresent &&
        (epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control"))) {
        GLint depthBits = 0, stencilBits = 0, doubleBuffered = 0;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        if (desc_.depth) {
            glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH,
                                                  GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &depthBits);
            glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL,
                                                  GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE,
                                                  &stencilBits);
        }
        GLboolean db = GL_FALSE;
        glGetBooleanv(GL_DOUBLEBUFFER, &db);
        doubleBuffered = db;
        while (glGetError() != GL_NO_ERROR) {
        }
        canDirect_ = doubleBuffered && (!desc_.depth || (depthBits >= 24 && stencilBits >= 8));
    }
    // A known start: black (opaque when the format has no alpha), depth 1, stencil 0.
    glBindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
    glClearColor(0, 0, 0, desc_.alpha ? 0.0f : 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | (desc_.depth ? GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT : 0));
    stencilUniform_ = desc_.depth;
    stencilValue_ = 0;
    rs_[RS_ZENABLE] = desc_.depth ? 1 : 0;
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &streamVbo_);
    glGenSamplers(kSamplerSlots, samplers_);
    for (bool& d : samplerDirty_) d = true;
    if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
        epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic"))
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);  // flat shading takes the first vertex
    viewport_ = Viewport{0, 0, desc_.width, desc_.height, 0, 1};
    BindBackBuffer();
    applied_ = false;
    return true;
}

void GlDevice::DeferDepth(DeferredDepthWriter* writer) {
    SendHeld();
    if (std::find(deferredDepth_.begin(), deferredDepth_.end(), writer) == deferredDepth_.end())
        deferredDepth_.push_back(writer);
}

void GlDevice::Hold(HeldDrawer* drawer) {
    if (held_ == drawer) return;
    SendHeld();
    held_ = drawer;
}

void GlDevice::SendHeldDrawing() {
    HeldDrawer* drawer = held_;
    held_ = nullptr;   // the drawer binds the back buffer, which sends what is held
    drawer->SendHeld(*this);
}

void GlDevice::WriteDeferredDepth() {
    SendHeld();   // held text may add depth writes of its own
    if (deferredDepth_.empty()) return;
    std::vector<DeferredDepthWriter*> writers;
    writers.swap(deferredDepth_);
    BindBackBuffer();
    for (DeferredDepthWriter* w : writers) w->WriteDeferredDepth(*this);
    RestoreGlState();
}

void GlDevice::DropDeferredDepth() {
    std::vector<DeferredDepthWriter*> writers;
    writers.swap(deferredDepth_);
    for (DeferredDepthWriter* w : writers) w->DropDeferredDepth();
}

void GlDevice::ForgetDeferredDepth(DeferredDepthWriter* writer) {
    deferredDepth_.erase(std::remove(deferredDepth_.begin(), deferredDepth_.end(), writer),
                         deferredDepth_.end());
}

void GlDevice::Shutdown() {
    lineVertices_ = 0;   // the back buffer goes: nothing to draw the held lines into
    lineBytes_.clear();
    if (held_) held_->DropHeld();
    held_ = nullptr;
    DropDeferredDepth();
    if (batchFence_) glDeleteSync(batchFence_);
    batchFence_ = nullptr;
    ffp_.Release();
    if (samplers_[0]) glDeleteSamplers(kSamplerSlots, samplers_);
    std::fill(std::begin(samplers_), std::end(samplers_), 0u);
    GLuint rbs[] = {colorRb_, depthRb_};
    glDeleteRenderbuffers(2, rbs);
    if (presentTex_) glDeleteTextures(1, &presentTex_);
    GLuint fbos[] = {drawFbo_, resolveFbo_};
    glDeleteFramebuffers(2, fbos);
    if (streamVbo_) glDeleteBuffers(1, &streamVbo_);
    if (vao_) glDeleteVertexArrays(1, &vao_);
    colorRb_ = depthRb_ = presentTex_ = drawFbo_ = resolveFbo_ = streamVbo_ = vao_ = 0;
    stencilUniform_ = false;
    if (direct_) glClipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    canDirect_ = direct_ = false;
}

bool GlDevice::SetRenderState(uint32_t state, uint32_t value) {
    SendHeld();
    if (state >= RS_COUNT) return false;
    rs_[state] = value;
    return true;
}

uint32_t GlDevice::GetRenderState(uint32_t state) const {
    return state < RS_COUNT ? rs_[state] : 0;
}

bool GlDevice::SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value) {
    SendHeld();
    int slot = SamplerSlot(sampler);
    if (slot < 0 || type >= SAMP_COUNT) return false;
    samp_[slot][type] = value;
    samplerDirty_[slot] = true;
    return true;
}

uint32_t GlDevice::GetSamplerState(uint32_t sampler, uint32_t type) const {
    int slot = SamplerSlot(sampler);
    return slot >= 0 && type < SAMP_COUNT ? samp_[slot][type] : 0;
}

bool GlDevice::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) {
    SendHeld();
    if (stage >= 8 || type >= TSS_COUNT) return false;
    tss_[stage][type] = value;
    return true;
}

bool GlDevice::SetLight(uint32_t index, const Light& light) {
    SendHeld();
    if (index >= 8) return false;
    lights_[index] = light;
    return true;
}

bool GlDevice::LightEnable(uint32_t index, bool on) {
    SendHeld();
    if (index >= 8) return false;
    lightOn_[index] = on;
    return true;
}

uint32_t GlDevice::GetTextureStageState(uint32_t stage, uint32_t type) const {
    return stage < 8 && type < TSS_COUNT ? tss_[stage][type] : 0;
}

bool GlDevice::SetTransform(uint32_t kind, const float m[16]) {
    SendHeld();
    Mat4* t = kind == 256 ? &world_ : kind == 2 ? &view_ : kind == 3 ? &proj_
            : kind >= 16 && kind < 24 ? &textureMatrix_[kind - 16] : nullptr;
    if (!t) return false;
    std::memcpy(t->m, m, sizeof t->m);
    return true;
}

bool GlDevice::GetTransform(uint32_t kind, float m[16]) const {
    const Mat4* t = kind == 256 ? &world_ : kind == 2 ? &view_ : kind == 3 ? &proj_
                  : kind >= 16 && kind < 24 ? &textureMatrix_[kind - 16] : nullptr;
    if (!t) return false;
    std::memcpy(m, t->m, sizeof t->m);
    return true;
}

bool GlDevice::SetTexture(uint32_t stage, GlTexture* texture) {
    SendHeld();
    int slot = SamplerSlot(stage);
    if (slot < 0) return false;
    textures_[slot] = texture;
    // Stages past 7 are rare (effects' high registers, vertex textures): draws bind them
    // only once one has been used.
    if (slot >= 8 && texture) boundSlots_ = kSamplerSlots;
    return true;
}

void GlDevice::SetStreamSource(GlVertexBuffer* vb, uint32_t offset, uint32_t stride) {
    SendHeld();
    stream_ = vb;
    streamOffset_ = offset;
    streamStride_ = stride;
}

bool GlDevice::SetViewport(const Viewport& vp) {
    SendHeld();
    if (vp.width <= 0 || vp.height <= 0 || vp.x < 0 || vp.y < 0 ||
        vp.x + vp.width > desc_.width || vp.y + vp.height > desc_.height)
        return false;
    viewport_ = vp;
    applied_ = false;
    return true;
}

void GlDevice::BindBackBuffer() {
    SendHeld();
    glBindFramebuffer(GL_FRAMEBUFFER, direct_ ? 0 : drawFbo_);
    glBindVertexArray(vao_);
}

void GlDevice::WindowSized(int windowW, int windowH) {
    SendHeld();
    bool direct = canDirect_ && directAllowed_ && windowW == desc_.width &&
                  windowH == desc_.height;
    if (direct == direct_) return;
    if (direct) {
        // The window takes over with the picture the back buffer holds (readers may look at
        // it between frames).
        glBindFramebuffer(GL_READ_FRAMEBUFFER, drawFbo_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glBlitFramebuffer(0, 0, desc_.width, desc_.height, 0, desc_.height, desc_.width, 0,
                          GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    // Depth and stencil of the buffer now drawn into start as a fresh device's do.
    DropDeferredDepth();
    if (desc_.depth) {
        glBindFramebuffer(GL_FRAMEBUFFER, direct ? 0 : drawFbo_);
        glDisable(GL_SCISSOR_TEST);
        glDepthMask(GL_TRUE);
        glStencilMask(0xFF);
        glClearDepth(1.0);
        glClearStencil(0);
        glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    }
    // The upper-left origin turns the top-row-first drawing upright in the window and keeps
    // Direct3D's fill rule and facing; off-screen drawing goes back to GL's default.
    glClipControl(direct ? GL_UPPER_LEFT : GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    direct_ = direct;
    stencilUniform_ = desc_.depth;
    stencilValue_ = 0;
    RestoreGlState();
}

void GlDevice::Scissor(int left, int top, int right, int bottom) const {
    glScissor(left, GlRow(top, bottom - top), right - left, bottom - top);
}

void GlDevice::RowFromFragY(float out[2]) const {
    out[0] = direct_ ? static_cast<float>(desc_.height) : 0.0f;
    out[1] = direct_ ? -1.0f : 1.0f;
}

void GlDevice::RestoreGlState() {
    // The sampler objects are the device's own, changed only by ApplySamplers; draws bind
    // them to their units again.
    BindBackBuffer();
    applied_ = false;
}

bool GlDevice::Clear(uint32_t count, const int* rects, uint32_t flags, uint32_t color, float z,
                     uint32_t stencil) {
    SendHeld();
    if ((flags & (CLEAR_ZBUFFER | CLEAR_STENCIL)) && !desc_.depth) return false;
    BindBackBuffer();
    GLbitfield bits = 0;
    if (flags & CLEAR_TARGET) {
        float c[4];
        ColorToFloats(color, c);
        if (!desc_.alpha) c[3] = 1.0f;
        glClearColor(c[0], c[1], c[2], c[3]);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);  // Clear ignores COLORWRITEENABLE
        bits |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & CLEAR_ZBUFFER) {
        glClearDepth(std::min(1.0f, std::max(0.0f, z)));
        glDepthMask(GL_TRUE);
        bits |= GL_DEPTH_BUFFER_BIT;
    }
    // Draws never write stencil, so it stays one value after a clear of the whole buffer.
    // A depth clear then also rewrites that value: clearing depth alone in a combined
    // depth-stencil buffer costs a read and a write of every pixel, clearing both only a write.
    bool wholeBuffer = viewport_.x == 0 && viewport_.y == 0 && viewport_.width == desc_.width &&
                       viewport_.height == desc_.height && (count == 0 || !rects);
    if ((flags & CLEAR_ZBUFFER) && !deferredDepth_.empty()) {
        if (wholeBuffer) DropDeferredDepth();
        else WriteDeferredDepth();
    }
    uint32_t stencilValue = stencil & 0xFF;
    if (flags & CLEAR_STENCIL) {
        stencilUniform_ = wholeBuffer || (stencilUniform_ && stencilValue == stencilValue_);
        stencilValue_ = stencilValue;
    } else if ((flags & CLEAR_ZBUFFER) && stencilUniform_) {
        stencilValue = stencilValue_;
        flags |= CLEAR_STENCIL;
    }
    if (flags & CLEAR_STENCIL) {
        glClearStencil(static_cast<GLint>(stencilValue));
        glStencilMask(0xFF);
        bits |= GL_STENCIL_BUFFER_BIT;
    }
    applied_ = false;
    if (!bits) return true;
    glEnable(GL_SCISSOR_TEST);
    // The cleared area is the viewport, cut by each rectangle when there are some.
    auto clearArea = [&](int l, int t, int r, int b) {
        l = std::max(l, viewport_.x);
        t = std::max(t, viewport_.y);
        r = std::min(r, viewport_.x + viewport_.width);
        b = std::min(b, viewport_.y + viewport_.height);
        if (r <= l || b <= t) return;
        Scissor(l, t, r, b);
        glClear(bits);
    };
    if (count == 0 || !rects) {
        clearArea(viewport_.x, viewport_.y, viewport_.x + viewport_.width,
                  viewport_.y + viewport_.height);
    } else {
        for (uint32_t i = 0; i < count; ++i)
            clearArea(rects[4 * i], rects[4 * i + 1], rects[4 * i + 2], rects[4 * i + 3]);
    }
    glDisable(GL_SCISSOR_TEST);
    return true;
}

void GlDevice::ApplyRenderStates(bool lines) {
    SendHeld();
    PipelineState s{};
    bool depthOn = desc_.depth && rs_[RS_ZENABLE] != 0;
    s.depthTest = depthOn;
    s.depthMask = rs_[RS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE;
    s.depthFunc = GlCompareFunc(rs_[RS_ZFUNC]);
    // Direct3D culls by the winding seen on screen; the back buffer is stored upside down in
    // GL terms, so the screen's clockwise is GL's counter-clockwise. Values outside the three
    // modes draw both sides.
    uint32_t cull = rs_[RS_CULLMODE];
    s.cull = (cull == CULL_CW || cull == CULL_CCW) ? GL_TRUE : GL_FALSE;
    s.frontFace = cull == CULL_CW ? GL_CW : GL_CCW;
    uint32_t fill = rs_[RS_FILLMODE];
    s.polygonMode = fill == FILL_POINT ? GL_POINT : fill == FILL_WIREFRAME ? GL_LINE : GL_FILL;
    s.blend = rs_[RS_ALPHABLENDENABLE] ? GL_TRUE : GL_FALSE;
    uint32_t src = rs_[RS_SRCBLEND], dst = rs_[RS_DESTBLEND];
    s.srcRgb = BlendFactor(src);
    s.dstRgb = BlendFactor(dst);
    if (src == BLEND_BOTHSRCALPHA) {
        s.srcRgb = GL_SRC_ALPHA;
        s.dstRgb = GL_ONE_MINUS_SRC_ALPHA;
    } else if (src == BLEND_BOTHINVSRCALPHA) {
        s.srcRgb = GL_ONE_MINUS_SRC_ALPHA;
        s.dstRgb = GL_SRC_ALPHA;
    }
    s.eqRgb = BlendEquation(rs_[RS_BLENDOP]);
    if (rs_[RS_SEPARATEALPHABLENDENABLE]) {
        s.srcAlpha = BlendFactor(rs_[RS_SRCBLENDALPHA]);
        s.dstAlpha = BlendFactor(rs_[RS_DESTBLENDALPHA]);
        s.eqAlpha = BlendEquation(rs_[RS_BLENDOPALPHA]);
    } else {
        s.srcAlpha = s.srcRgb;
        s.dstAlpha = s.dstRgb;
        s.eqAlpha = s.eqRgb;
    }
    ColorToFloats(rs_[193], s.blendColor);
    uint32_t mask = rs_[RS_COLORWRITEENABLE];
    for (int i = 0; i < 4; ++i) s.mask[i] = (mask >> i) & 1 ? GL_TRUE : GL_FALSE;
    if (!desc_.alpha) s.mask[3] = GL_FALSE;   // an X8 back buffer's alpha stays 1
    s.multisample = desc_.samples && rs_[RS_MULTISAMPLEANTIALIAS] ? GL_TRUE : GL_FALSE;
    // ANTIALIASEDLINEENABLE is kept but drawn as plain one-pixel lines: GL's smooth lines
    // come out two pixels wide and solid unless blending is on, far from Direct3D's look.
    (void)lines;
    s.lineSmooth = GL_FALSE;

    if (applied_ && std::memcmp(&s, &current_, sizeof s) == 0) return;
    auto Toggle = [](GLenum cap, GLboolean on) { on ? glEnable(cap) : glDisable(cap); };
    Toggle(GL_DEPTH_TEST, s.depthTest);
    glDepthMask(s.depthMask);
    glDepthFunc(s.depthFunc);
    Toggle(GL_CULL_FACE, s.cull);
    glCullFace(GL_BACK);
    glFrontFace(s.frontFace);
    glPolygonMode(GL_FRONT_AND_BACK, s.polygonMode);
    Toggle(GL_BLEND, s.blend);
    glBlendFuncSeparate(s.srcRgb, s.dstRgb, s.srcAlpha, s.dstAlpha);
    glBlendEquationSeparate(s.eqRgb, s.eqAlpha);
    glBlendColor(s.blendColor[0], s.blendColor[1], s.blendColor[2], s.blendColor[3]);
    glColorMask(s.mask[0], s.mask[1], s.mask[2], s.mask[3]);
    Toggle(GL_MULTISAMPLE, s.multisample);
    Toggle(GL_LINE_SMOOTH, s.lineSmooth);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glViewport(viewport_.x, GlRow(viewport_.y, viewport_.height), viewport_.width,
               viewport_.height);
    glDepthRange(viewport_.minZ, viewport_.maxZ);
    current_ = s;
    applied_ = true;
}

void GlDevice::ApplySamplers() {
    for (int i = 0; i < boundSlots_; ++i) {
        if (!samplerDirty_[i]) continue;
        samplerDirty_[i] = false;
        const uint32_t* s = samp_[i];
        GLuint smp = samplers_[i];
        auto Linear = [](uint32_t f) { return f == TEXF_LINEAR || f == TEXF_ANISOTROPIC || f > 3; };
        bool minLinear = Linear(s[SAMP_MINFILTER]);
        GLenum minFilter;
        switch (s[SAMP_MIPFILTER]) {
            case TEXF_NONE: minFilter = minLinear ? GL_LINEAR : GL_NEAREST; break;
            case TEXF_POINT:
                minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
                break;
            default:
                minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
                break;
        }
        glSamplerParameteri(smp, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
        glSamplerParameteri(smp, GL_TEXTURE_MAG_FILTER,
                            Linear(s[SAMP_MAGFILTER]) ? GL_LINEAR : GL_NEAREST);
        auto Wrap = [](uint32_t a) -> GLint {
            switch (a) {
                case TADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
                case TADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
                case TADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
                case TADDRESS_MIRRORONCE: return GL_MIRRORED_REPEAT;
                default: return GL_REPEAT;
            }
        };
        glSamplerParameteri(smp, GL_TEXTURE_WRAP_S, Wrap(s[SAMP_ADDRESSU]));
        glSamplerParameteri(smp, GL_TEXTURE_WRAP_T, Wrap(s[SAMP_ADDRESSV]));
        glSamplerParameteri(smp, GL_TEXTURE_WRAP_R, Wrap(s[SAMP_ADDRESSW]));
        float border[4];
        ColorToFloats(s[SAMP_BORDERCOLOR], border);
        glSamplerParameterfv(smp, GL_TEXTURE_BORDER_COLOR, border);
        float bias;
        std::memcpy(&bias, &s[SAMP_MIPMAPLODBIAS], sizeof bias);
        glSamplerParameterf(smp, GL_TEXTURE_LOD_BIAS, bias);
        glSamplerParameterf(smp, GL_TEXTURE_MIN_LOD, static_cast<float>(s[SAMP_MAXMIPLEVEL]));
        if (maxAnisotropy_ > 1) {
            bool aniso = s[SAMP_MINFILTER] == TEXF_ANISOTROPIC ||
                         s[SAMP_MAGFILTER] == TEXF_ANISOTROPIC;
            float level = aniso ? std::min(maxAnisotropy_,
                                           std::max(1.0f, static_cast<float>(s[SAMP_MAXANISOTROPY])))
                                : 1.0f;
            glSamplerParameterf(smp, GL_TEXTURE_MAX_ANISOTROPY_EXT, level);
        }
    }
}

// Whether stage 0 gives exactly the diffuse colour. Without a texture, the texture argument
// reads white with the diffuse alpha, so selecting diffuse, current or texture, or modulating
// the texture with diffuse, gives the diffuse colour back.
// Stage 0 modulating its texture by the diffuse colour, as FfpKey::modulateAlpha says its
// alpha (0 for any other stage).
static uint8_t ModulatingStage(bool textured, const uint32_t* s) {
    auto isDiffuse = [](uint32_t arg) { return arg == TA_DIFFUSE || arg == TA_CURRENT; };
    uint32_t a1 = s[TSS_COLORARG1], a2 = s[TSS_COLORARG2];
    if (!textured || s[TSS_COLOROP] != TOP_MODULATE ||
        !((a1 == TA_TEXTURE && isDiffuse(a2)) || (a2 == TA_TEXTURE && isDiffuse(a1))))
        return 0;
    uint32_t op = s[TSS_ALPHAOP], b1 = s[TSS_ALPHAARG1], b2 = s[TSS_ALPHAARG2];
    uint32_t selected = op == TOP_SELECTARG1 ? b1 : op == TOP_SELECTARG2 ? b2 : 0xFF;
    if (op == TOP_DISABLE || isDiffuse(selected)) return 1;
    if (selected == TA_TEXTURE) return 2;
    if (op == TOP_MODULATE && ((b1 == TA_TEXTURE && isDiffuse(b2)) || (b2 == TA_TEXTURE && isDiffuse(b1))))
        return 3;
    return 0;
}

static bool StageGivesDiffuse(bool textured, uint32_t colorOp, uint32_t colorArg1,
                              uint32_t colorArg2, uint32_t alphaOp, uint32_t alphaArg1,
                              uint32_t alphaArg2) {
    if (colorOp == TOP_DISABLE) return true;
    if (textured) return false;
    auto isDiffuse = [](uint32_t arg) { return arg == TA_DIFFUSE || arg == TA_CURRENT; };
    auto isPlain = [](uint32_t arg) { return arg <= TA_TEXTURE; };   // diffuse, current, texture
    bool rgb = (colorOp == TOP_SELECTARG1 && isDiffuse(colorArg1)) ||
               (colorOp == TOP_SELECTARG2 && isDiffuse(colorArg2)) ||
               (colorOp == TOP_MODULATE &&
                ((colorArg1 == TA_TEXTURE && isDiffuse(colorArg2)) ||
                 (colorArg2 == TA_TEXTURE && isDiffuse(colorArg1))));
    bool alpha = alphaOp == TOP_DISABLE || (alphaOp == TOP_SELECTARG1 && isPlain(alphaArg1)) ||
                 (alphaOp == TOP_SELECTARG2 && isPlain(alphaArg2));
    return rgb && alpha;
}

bool GlDevice::PrepareDraw(const VertexLayout& layout, bool lines) {
    if (!layout.valid) {
        lastError_ = "vertex format not drawable";
        return false;
    }
    if (!deferredDepth_.empty() && desc_.depth && rs_[RS_ZENABLE]) WriteDeferredDepth();
    BindBackBuffer();
    ApplyRenderStates(lines);
    ApplySamplers();
    for (int i = 0; i < boundSlots_; ++i) {
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
        glBindTexture(GL_TEXTURE_2D, textures_[i] ? textures_[i]->id : 0);
        glBindSampler(static_cast<GLuint>(i), samplers_[i]);
    }
    glActiveTexture(GL_TEXTURE0);
    bool alphaTest = rs_[RS_ALPHATESTENABLE] && rs_[RS_ALPHAFUNC] != CMP_ALWAYS;
    if (programOverride_.plain) {
        const ProgramOverride& o = programOverride_;
        const FfpLocations* fixed = o.plainFixed;
        if (alphaTest && o.alphaTested) {
            if (o.refreshAlphaTested && owners_.count(o.owner)) o.refreshAlphaTested(o.owner, o.source);
            glUseProgram(o.alphaTested);
            glUniform1i(o.alphaFunc, static_cast<GLint>(rs_[RS_ALPHAFUNC]));
            glUniform1f(o.alphaRef, (rs_[RS_ALPHAREF] & 0xFF) / 255.0f);
            fixed = o.alphaTestedFixed;
        } else {
            glUseProgram(o.plain);
        }
        if (fixed && owners_.count(o.owner)) {
            FfpValues v{};
            FixedFunctionValues(layout, alphaTest, v);
            UploadFfp(*fixed, v);
        }
        return true;
    }
    FfpProgram* p = ffp_.Get(FixedFunctionKey(layout, alphaTest), lastError_);
    if (!p) return false;
    glUseProgram(p->program);
    FfpValues v{};
    FixedFunctionValues(layout, alphaTest, v);
    if (p->hasSent && std::memcmp(&v, &p->sent, sizeof v) == 0) return true;
    UploadFfp(p->at, v);
    p->sent = v;
    p->hasSent = true;
    return true;
}

FfpKey GlDevice::FixedFunctionKey(const VertexLayout& layout, bool alphaTest) const {
    FfpKey key;
    key.rhw = layout.rhw;
    key.hasDiffuse = layout.diffuse >= 0;
    key.hasSpecular = layout.specular >= 0;
    key.lighting = rs_[RS_LIGHTING] != 0;
    key.textured = textures_[0] != nullptr && tss_[0][TSS_COLOROP] != TOP_DISABLE;
    // A texture of one colour is that colour wherever it is sampled, but for a border outside
    // it: the program takes the colour instead of sampling (each sample of a line or a small
    // triangle costs the rasteriser a whole block of pixels).
    key.solidTexture = key.textured && textures_[0]->solid && samp_[0][SAMP_ADDRESSU] != TADDRESS_BORDER &&
                       samp_[0][SAMP_ADDRESSV] != TADDRESS_BORDER;
    key.flat = rs_[RS_SHADEMODE] == SHADE_FLAT;
    key.alphaTest = alphaTest;
    const uint32_t* stage0 = tss_[0];
    key.diffuseOnly = StageGivesDiffuse(key.textured, stage0[TSS_COLOROP], stage0[TSS_COLORARG1],
                                        stage0[TSS_COLORARG2], stage0[TSS_ALPHAOP],
                                        stage0[TSS_ALPHAARG1], stage0[TSS_ALPHAARG2]) &&
                      !rs_[RS_SPECULARENABLE];
    key.modulateAlpha = key.diffuseOnly ? 0 : ModulatingStage(key.textured, stage0);
    return key;
}

void GlDevice::FixedFunctionValues(const VertexLayout& layout, bool alphaTest,
                                   FfpValues& v) const {
    Mat4 wv = Multiply(world_, view_);
    Mat4 wvp = Multiply(wv, proj_);
    std::memcpy(v.worldViewProj, wvp.m, sizeof v.worldViewProj);
    std::memcpy(v.worldView, wv.m, sizeof v.worldView);
    v.targetSize[0] = static_cast<float>(viewport_.width);
    v.targetSize[1] = static_cast<float>(viewport_.height);
    std::memcpy(v.matDiffuse, material_.diffuse, sizeof v.matDiffuse);
    std::memcpy(v.matAmbient, material_.ambient, sizeof v.matAmbient);
    std::memcpy(v.matSpecular, material_.specular, sizeof v.matSpecular);
    std::memcpy(v.matEmissive, material_.emissive, sizeof v.matEmissive);
    ColorToFloats(rs_[RS_AMBIENT], v.globalAmbient);
    // Where each lighting colour comes from: 0 material, 1 vertex diffuse, 2 vertex specular.
    auto Source = [&](uint32_t state) -> int32_t {
        if (!rs_[RS_COLORVERTEX]) return 0;
        uint32_t value = rs_[state];
        if (value == MCS_COLOR1 && layout.diffuse >= 0) return 1;
        if (value == MCS_COLOR2 && layout.specular >= 0) return 2;
        return 0;
    };
    v.sources[0] = Source(RS_DIFFUSEMATERIALSOURCE);
    v.sources[1] = Source(RS_AMBIENTMATERIALSOURCE);
    v.sources[2] = Source(RS_SPECULARMATERIALSOURCE);
    v.sources[3] = Source(RS_EMISSIVEMATERIALSOURCE);
    const uint32_t ops[6] = {TSS_COLOROP, TSS_COLORARG1, TSS_COLORARG2,
                             TSS_ALPHAOP, TSS_ALPHAARG1, TSS_ALPHAARG2};
    for (int i = 0; i < 6; ++i) v.ops[i] = static_cast<int32_t>(tss_[0][ops[i]]);
    ColorToFloats(rs_[RS_TEXTUREFACTOR], v.textureFactor);
    v.specularEnable = rs_[RS_SPECULARENABLE] ? 1 : 0;
    v.alphaFunc = static_cast<int32_t>(alphaTest ? rs_[RS_ALPHAFUNC] : uint32_t(CMP_ALWAYS));
    v.alphaRef = (rs_[RS_ALPHAREF] & 0xFF) / 255.0f;
    v.lighting = rs_[RS_LIGHTING] ? 1 : 0;
    v.rhw = layout.rhw ? 1 : 0;
    for (int i = 0; i < 8; ++i) {
        // Set numbers past the format's sets read (0, 0, 0, 1), as missing attributes do.
        v.texIndex[i] = static_cast<int32_t>(tss_[i][TSS_TEXCOORDINDEX] & 0x000F0007u);
        v.texFlags[i] = static_cast<int32_t>(tss_[i][TSS_TEXTURETRANSFORMFLAGS]);
        v.texSize[i] = i < layout.texCount ? layout.texSize[i] : 4;
        std::memcpy(v.texMatrix[i], textureMatrix_[i].m, sizeof v.texMatrix[i]);
    }
    // A projected stage-0 lookup divides by the last coordinate the count keeps (the fourth
    // when there is no count, as with coordinates from a vertex shader).
    uint32_t flags = tss_[0][TSS_TEXTURETRANSFORMFLAGS];
    uint32_t count = flags & 0xFF;
    if (count == 0) count = 4;
    v.texProjected = (flags & 256) && count >= 2 && count <= 4 ? static_cast<int32_t>(count) : 0;
    v.textured = textures_[0] != nullptr ? 1 : 0;
    if (textures_[0] && textures_[0]->solid) std::memcpy(v.solidTexel, textures_[0]->colour, sizeof v.solidTexel);
    v.power = material_.power;
    // Lights go to camera space: positions times the view, directions times its 3x3 part.
    v.lightCount = 0;
    for (int i = 0; i < 8; ++i) {
        if (!lightOn_[i]) continue;
        const Light& l = lights_[i];
        int k = v.lightCount++;
        v.lightType[k] = static_cast<int32_t>(l.type);
        std::memcpy(v.lightDiffuse[k], l.diffuse, sizeof v.lightDiffuse[k]);
        std::memcpy(v.lightSpecular[k], l.specular, sizeof v.lightSpecular[k]);
        std::memcpy(v.lightAmbient[k], l.ambient, sizeof v.lightAmbient[k]);
        const float* m = view_.m;
        for (int c = 0; c < 3; ++c) {
            v.lightPos[k][c] = l.position[0] * m[c] + l.position[1] * m[4 + c] +
                               l.position[2] * m[8 + c] + m[12 + c];
            v.lightDir[k][c] = l.direction[0] * m[c] + l.direction[1] * m[4 + c] +
                               l.direction[2] * m[8 + c];
        }
        v.lightPos[k][3] = 1;
        v.lightDir[k][3] = 0;
        v.lightAtt[k][0] = l.attenuation0;
        v.lightAtt[k][1] = l.attenuation1;
        v.lightAtt[k][2] = l.attenuation2;
        v.lightAtt[k][3] = l.range;
        v.lightSpot[k][0] = std::cos(l.theta * 0.5f);
        v.lightSpot[k][1] = std::cos(l.phi * 0.5f);
        v.lightSpot[k][2] = l.falloff;
        v.lightSpot[k][3] = 0;
    }
}

bool GlDevice::DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount) {
    SendHeld();
    uint32_t n = VertexCount(type, primitiveCount);
    GLenum mode = GlPrimitive(type);
    if (mode == GL_NONE || !stream_ || streamStride_ == 0) return false;
    uint64_t end = streamOffset_ + (uint64_t(startVertex) + n) * streamStride_;
    if (end > stream_->bytes.size()) return false;  // would read past the buffer
    if (n == 0) return true;
    VertexLayout layout = LayoutOf(fvf_);
    if (!PrepareDraw(layout, IsLines(type))) return false;
    glBindBuffer(GL_ARRAY_BUFFER, stream_->id);
    BindVertexAttributes(layout, static_cast<int>(streamStride_), streamOffset_);
    glDrawArrays(mode, static_cast<GLint>(startVertex), static_cast<GLsizei>(n));
    return true;
}

bool GlDevice::DrawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* data,
                               uint32_t stride) {
    uint32_t n = VertexCount(type, primitiveCount);
    GLenum mode = GlPrimitive(type);
    if (mode == GL_NONE || !data || stride == 0) return false;
    stream_ = nullptr;  // the call leaves stream 0 unset, as Direct3D does
    streamOffset_ = streamStride_ = 0;
    if (n == 0) return true;
    VertexLayout layout = LayoutOf(fvf_);
    const size_t bytes = size_t(n) * stride;
    if (type == PT_LINELIST && !programOverride_.plain && layout.valid) {
        if (held_) SendHeldDrawing();   // drawn before these lines
        if (lineVertices_ && (lineFvf_ != fvf_ || lineStride_ != stride ||
                              lineBytes_.size() + bytes > kMaxLineBytes))
            DrawHeldLines();
        if (!lineVertices_) {
            // The draw fails now if its program cannot be had; held lines cannot fail later.
            bool alphaTest = rs_[RS_ALPHATESTENABLE] && rs_[RS_ALPHAFUNC] != CMP_ALWAYS;
            if (!ffp_.Get(FixedFunctionKey(layout, alphaTest), lastError_)) return false;
            lineBytes_.clear();
            lineFvf_ = fvf_;
            lineStride_ = stride;
        }
        const uint8_t* from = static_cast<const uint8_t*>(data);
        lineBytes_.insert(lineBytes_.end(), from, from + bytes);
        lineVertices_ += n;
        return true;
    }
    SendHeld();
    if (!PrepareDraw(layout, IsLines(type))) return false;
    glBindBuffer(GL_ARRAY_BUFFER, streamVbo_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(uint64_t(n) * stride), data,
                 GL_STREAM_DRAW);
    BindVertexAttributes(layout, static_cast<int>(stride), 0);
    glDrawArrays(mode, 0, static_cast<GLsizei>(n));
    return true;
}

void GlDevice::DrawHeldLines() {
    const uint32_t n = lineVertices_;
    lineVertices_ = 0;   // PrepareDraw binds the back buffer, which sends held lines
    if (!PrepareDraw(LayoutOf(lineFvf_), true)) return;
    glBindBuffer(GL_ARRAY_BUFFER, streamVbo_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(lineBytes_.size()), lineBytes_.data(),
                 GL_STREAM_DRAW);
    BindVertexAttributes(LayoutOf(lineFvf_), static_cast<int>(lineStride_), 0);
    glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(n));
    lineBytes_.clear();
    ++lineBatches_;
}

bool GlDevice::OutsideView(const Bounds& b, uint32_t fvf) const {
    // The row-vector matrix taking model positions to clip space.
    double m[16];
    auto Load = [](const float* src, bool transposed, double out[16]) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) out[4 * r + c] = transposed ? src[4 * c + r] : src[4 * r + c];
    };
    if (programOverride_.plain) {
        const ProgramOverride& o = programOverride_;
        if (o.positionCount < 0 || o.positionCount > ProgramOverride::kMaxPositionFactors ||
            !owners_.count(o.owner))
            return false;
        for (int i = 0; i < 16; ++i) m[i] = i % 5 == 0 ? 1.0 : 0.0;
        for (int f = 0; f < o.positionCount; ++f) {
            if (!o.position[f]) return false;
            double x[16], r[16];
            Load(o.position[f], o.positionTransposed[f], x);
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    double s = 0;
                    for (int k = 0; k < 4; ++k) s += m[4 * i + k] * x[4 * k + j];
                    r[4 * i + j] = s;
                }
            std::memcpy(m, r, sizeof m);
        }
    } else {
        if (LayoutOf(fvf).rhw) return false;   // already in screen space
        Mat4 wvp = Multiply(Multiply(world_, view_), proj_);
        Load(wvp.m, false, m);
    }
    // Direct3D's volume is -w <= x, y <= w, 0 <= z <= w. The device moves x and y by half a
    // pixel, so the sides are widened by two pixels; near and far by a little for rounding.
    // Each test is linear in the homogeneous corner, so a box with all eight corners outside
    // one plane has every point outside it, behind the eye included.
    const double mx = 4.0 / std::max(1, viewport_.width), my = 4.0 / std::max(1, viewport_.height);
    const double ez = 1e-4;
    unsigned outside = 0x3F;   // planes that every corner so far lies beyond
    for (int k = 0; k < 8 && outside; ++k) {
        double v[3] = {(k & 1) ? b.max[0] : b.min[0], (k & 2) ? b.max[1] : b.min[1],
                       (k & 4) ? b.max[2] : b.min[2]};
        double c[4];
        for (int j = 0; j < 4; ++j)
            c[j] = v[0] * m[j] + v[1] * m[4 + j] + v[2] * m[8 + j] + m[12 + j];
        unsigned here = 0;
        if (c[0] > (1 + mx) * c[3]) here |= 1;
        if (c[0] < -(1 + mx) * c[3]) here |= 2;
        if (c[1] > (1 + my) * c[3]) here |= 4;
        if (c[1] < -(1 + my) * c[3]) here |= 8;
        if (c[2] < -ez * c[3]) here |= 16;
        if (c[2] > (1 + ez) * c[3]) here |= 32;
        outside &= here;
    }
    return outside != 0;
}

bool GlDevice::DrawIndexedTriangles(GLuint vbo, GLuint ibo, uint32_t fvf, uint32_t stride,
                                    uint32_t firstIndex, uint32_t indexCount,
                                    const Bounds* bounds) {
    SendHeld();
    if (bounds && viewCulling_ && OutsideView(*bounds, fvf)) {
        ++culledDraws_;
        return true;
    }
    VertexLayout layout = LayoutOf(fvf);
    if (!PrepareDraw(layout, false)) return false;
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo);
    BindVertexAttributes(layout, static_cast<int>(stride), 0);
    SendFullBatch();
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount), GL_UNSIGNED_INT,
                   reinterpret_cast<const void*>(uintptr_t(firstIndex) * 4));
    queuedTriangles_ += indexCount / 3;
    return true;
}

void GlDevice::SendFullBatch() {
    // llvmpipe keeps the binned triangles of every draw until the frame is rasterised: a
    // frame of a million triangles held more than 100 MB. Each batch of triangles is sent
    // off, and the one before it waited for, so that at most two batches are held. Every
    // batch sent off mid-frame costs llvmpipe time of its own, so batches are large, and a
    // full one is sent off only when another mesh draw follows it: a frame of up to 150,000
    // triangles goes whole, as a plain OpenGL program's does.
    if (queuedTriangles_ < kTrianglesPerBatch) return;
    queuedTriangles_ = 0;
    if (batchFence_) {
        glClientWaitSync(batchFence_, GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
        glDeleteSync(batchFence_);
    }
    batchFence_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
}

GlTexture* GlDevice::CreateTexture(int width, int height, const uint8_t* rgba, int levels) {
    SendHeld();
    if (width <= 0 || height <= 0) return nullptr;
    auto* t = new GlTexture;
    t->width = width;
    t->height = height;
    int full = 1;
    for (int s = std::max(width, height); s > 1; s >>= 1) ++full;
    t->levels = (levels <= 0 || levels > full) ? full : levels;
    const size_t texels = static_cast<size_t>(width) * static_cast<size_t>(height);
    t->solid = rgba != nullptr;
    for (size_t i = 1; t->solid && i < texels; ++i) t->solid = std::memcmp(rgba, rgba + 4 * i, 4) == 0;
    for (int c = 0; t->solid && c < 4; ++c) t->colour[c] = rgba[c] / 255.0f;
    glGenTextures(1, &t->id);
    glBindTexture(GL_TEXTURE_2D, t->id);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, t->levels - 1);
    if (t->levels > 1) glGenerateMipmap(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    return t;
}

void GlDevice::DestroyTexture(GlTexture* t) {
    SendHeld();
    if (!t) return;
    for (auto& bound : textures_)
        if (bound == t) bound = nullptr;
    glDeleteTextures(1, &t->id);
    delete t;
}

GlVertexBuffer* GlDevice::CreateVertexBuffer(uint32_t length, uint32_t fvf) {
    if (length == 0) return nullptr;
    auto* vb = new GlVertexBuffer;
    vb->bytes.assign(length, 0);
    vb->fvf = fvf;
    glGenBuffers(1, &vb->id);
    glBindBuffer(GL_ARRAY_BUFFER, vb->id);
    glBufferData(GL_ARRAY_BUFFER, length, nullptr, GL_DYNAMIC_DRAW);
    return vb;
}

void GlDevice::UploadVertexBuffer(GlVertexBuffer* vb, uint32_t offset, uint32_t size) {
    if (!vb || offset >= vb->bytes.size()) return;
    size = std::min<uint32_t>(size, static_cast<uint32_t>(vb->bytes.size()) - offset);
    glBindBuffer(GL_ARRAY_BUFFER, vb->id);
    glBufferSubData(GL_ARRAY_BUFFER, offset, size, vb->bytes.data() + offset);
}

void GlDevice::DestroyVertexBuffer(GlVertexBuffer* vb) {
    if (!vb) return;
    if (stream_ == vb) stream_ = nullptr;
    glDeleteBuffers(1, &vb->id);
    delete vb;
}

void GlDevice::Resolve() {
    if (!desc_.samples) return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, drawFbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFbo_);
    glBlitFramebuffer(0, 0, desc_.width, desc_.height, 0, 0, desc_.width, desc_.height,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

void GlDevice::Present(int windowW, int windowH) {
    SendHeld();
    // The swap sends the frame off and waits for it, the batches sent before included.
    queuedTriangles_ = 0;
    if (batchFence_) glDeleteSync(batchFence_);
    batchFence_ = nullptr;
    if (direct_) return;   // already in the window
    Resolve();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, desc_.samples ? resolveFbo_ : drawFbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    bool same = windowW == desc_.width && windowH == desc_.height;
    if (windowW > 0 && windowH > 0)   // turned upright for the window
        glBlitFramebuffer(0, 0, desc_.width, desc_.height, 0, windowH, windowW, 0,
                          GL_COLOR_BUFFER_BIT, same ? GL_NEAREST : GL_LINEAR);
    BindBackBuffer();
    applied_ = false;
}

bool GlDevice::ReadBackBuffer(std::vector<uint8_t>& rgba) {
    SendHeld();
    if (!drawFbo_) return false;
    Resolve();
    size_t row = size_t(desc_.width) * 4;
    rgba.resize(row * size_t(desc_.height));
    if (direct_) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
    } else {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, desc_.samples ? resolveFbo_ : drawFbo_);
    }
    glReadPixels(0, 0, desc_.width, desc_.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    if (direct_) {   // the window's rows run bottom up
        std::vector<uint8_t> swap(row);
        for (int y = 0; y < desc_.height / 2; ++y) {
            uint8_t* a = rgba.data() + size_t(y) * row;
            uint8_t* b = rgba.data() + size_t(desc_.height - 1 - y) * row;
            std::copy(a, a + row, swap.data());
            std::copy(b, b + row, a);
            std::copy(swap.data(), swap.data() + row, b);
        }
    }
    BindBackBuffer();
    return true;
}

}  // namespace sdlgl
