#include "platform/sdl_gl/gl_font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <vector>

#include "platform/sdl_gl/ffp_program.h"

namespace sdlgl {

namespace {
constexpr size_t kMaxPendingDepth = 256;   // text draws whose depth writes wait
constexpr size_t kMaxJoinedVertices = 1 << 16;   // of one GL text draw (1.25 MB)
// Batches of this many glyphs are drawn from a composite picture. llvmpipe shades every 4 x 4
// block a triangle touches, and the glyphs' quads touch most blocks two or three times (two
// triangles a quad, neighbouring glyphs and lines): one triangle over the batch's box, scissored
// to it, shades each block once.
constexpr size_t kCompositeGlyphs = 24;
// The largest composite picture, in pixels; larger batches draw their quads.
constexpr int kCompositeMaxSide = 2048;

// a * b / 255 rounded, as the blending of 8-bit colours computes it.
inline uint32_t MulUnorm8(uint32_t a, uint32_t b) {
    uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}
}  // namespace

FaceMapping MapFaceName(const std::string& windowsName) {
    std::string n;
    for (char c : windowsName) n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (n == "verdana" || n == "tahoma" || n == "ms sans serif" || n == "microsoft sans serif")
        return {"DejaVu Sans", false};
    if (n == "kartika" || n == "arial") return {"Liberation Sans", false};
    if (n == "impact") return {"DejaVu Sans Condensed", true};
    if (n == "times new roman") return {"Liberation Serif", false};
    if (n == "courier new" || n == "courier") return {"Liberation Mono", false};
    if (n.empty()) return {"DejaVu Sans", false};
    return {windowsName, false};
}

GlFont::~GlFont() {
    if (heldOn_) heldOn_->ForgetHeld(this);
    if (deferredOn_) deferredOn_->ForgetDeferredDepth(this);
    // GL objects need the context: Release() frees them. The FreeType side is freed here.
    if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

bool GlFont::Init(const FontDesc& desc, std::string& err) {
    FaceMapping map = MapFaceName(desc.face);
    int wantWeight = desc.weight == 0 ? 400 : static_cast<int>(std::min<uint32_t>(desc.weight, 1000));
    if (map.forceBold) wantWeight = std::max(wantWeight, 700);
    weight_ = wantWeight;

    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(map.family.c_str()));
    FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(wantWeight));
    FcPatternAddInteger(pat, FC_SLANT, desc.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pat, &result);
    FcPatternDestroy(pat);
    if (!match) {
        err = "no font matches \"" + desc.face + "\"";
        return false;
    }
    FcChar8* file = nullptr;
    int index = 0, gotWeight = FC_WEIGHT_REGULAR, gotSlant = FC_SLANT_ROMAN;
    FcPatternGetString(match, FC_FILE, 0, &file);
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FcPatternGetInteger(match, FC_WEIGHT, 0, &gotWeight);
    FcPatternGetInteger(match, FC_SLANT, 0, &gotSlant);
    file_ = file ? reinterpret_cast<const char*>(file) : "";
    FcPatternDestroy(match);
    // A face lighter than asked is thickened, an upright one slanted, as Windows does.
    emboldenGlyphs_ = wantWeight >= 600 && gotWeight < FC_WEIGHT_DEMIBOLD;
    slantGlyphs_ = desc.italic && gotSlant == FC_SLANT_ROMAN;

    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib)) {
        err = "FreeType cannot start";
        return false;
    }
    library_ = lib;
    FT_Face face = nullptr;
    if (file_.empty() || FT_New_Face(lib, file_.c_str(), index, &face)) {
        err = "cannot load font file \"" + file_ + "\"";
        return false;
    }
    face_ = face;
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);

    // Windows measures a cell as the OS/2 win ascent + descent; fall back to hhea values.
    double up = face->units_per_EM ? face->units_per_EM : 2048;
    double asc = face->ascender, dsc = -face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
        if (os2->usWinAscent + os2->usWinDescent > 0) {
            asc = os2->usWinAscent;
            dsc = os2->usWinDescent;
        }
    }
    int height = desc.height;
    if (height == 0) height = 16;
    if (height < 0) {
        ppem_ = -height;   // character (em) height
    } else {
        ppem_ = static_cast<int>(std::lround(height * up / (asc + dsc)));   // cell height
    }
    ppem_ = std::max(1, std::min(ppem_, 1000));
    // An explicit width scales the glyphs horizontally so the average character has it.
    int xppem = 0;
    if (desc.width > 0) {
        auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        double avg = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : up / 2;
        xppem = static_cast<int>(std::lround(desc.width * up / avg));
        xppem = std::max(1, std::min(xppem, 1000));
    }
    if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(xppem), static_cast<FT_UInt>(ppem_))) {
        err = "font size not available";
        return false;
    }
    ascent_ = static_cast<int>(std::lround(asc * ppem_ / up));
    descent_ = static_cast<int>(std::lround(dsc * ppem_ / up));
    if (height > 0 && ascent_ + descent_ != height) descent_ = height - ascent_;
    return true;
}

bool GlFont::LoadGlyph(char32_t c, Glyph& g, bool place) {
    FT_Face face = static_cast<FT_Face>(face_);
    if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) && FT_Load_Glyph(face, 0, FT_LOAD_DEFAULT)) {
        g = Glyph{};   // nothing drawable: an empty glyph of no width
        return true;
    }
    FT_GlyphSlot slot = face->glyph;
    if (emboldenGlyphs_) FT_GlyphSlot_Embolden(slot);
    if (slantGlyphs_) FT_GlyphSlot_Oblique(slot);
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    if (!place) return true;
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL)) {
        g.w = g.h = 0;
        return true;
    }
    const FT_Bitmap& bm = slot->bitmap;
    g.w = static_cast<int>(bm.width);
    g.h = static_cast<int>(bm.rows);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    if (g.w == 0 || g.h == 0) return true;
    if (g.w + 1 > atlasSize_ || g.h + 1 > atlasSize_) return false;
    if (shelfX_ + g.w + 1 > atlasSize_) {   // next shelf
        shelfY_ += shelfH_ + 1;
        shelfX_ = 0;
        shelfH_ = 0;
    }
    if (shelfY_ + g.h + 1 > atlasSize_) return false;   // atlas full
    g.x = shelfX_;
    g.y = shelfY_;
    std::vector<uint8_t> rows(size_t(g.w) * g.h);
    for (int y = 0; y < g.h; ++y) {
        const uint8_t* src = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        std::copy(src, src + g.w, rows.begin() + static_cast<ptrdiff_t>(y) * g.w);
    }
    for (int y = 0; y < g.h; ++y)
        std::copy(rows.begin() + static_cast<ptrdiff_t>(y) * g.w,
                  rows.begin() + static_cast<ptrdiff_t>(y + 1) * g.w,
                  atlasPixels_.begin() + static_cast<ptrdiff_t>(g.y + y) * atlasSize_ + g.x);
    glBindTexture(GL_TEXTURE_2D, atlas_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, g.x, g.y, g.w, g.h, GL_RED, GL_UNSIGNED_BYTE, rows.data());
    shelfX_ += g.w + 1;
    shelfH_ = std::max(shelfH_, g.h);
    return true;
}

int GlFont::Advance(char32_t c) {
    auto it = glyphs_.find(c);
    if (it != glyphs_.end()) return it->second.advance;
    Glyph g;
    return face_ && LoadGlyph(c, g, false) ? g.advance : 0;
}

bool GlFont::GrowAtlas() {
    int size = atlasSize_ ? atlasSize_ * 2 : 256;
    if (size > 4096) return false;
    // Held text and depth writes put off read the atlas as it is.
    if (heldOn_) heldOn_->SendHeld();
    if (deferredOn_) deferredOn_->WriteDeferredDepth();
    if (!atlas_) glGenTextures(1, &atlas_);
    glBindTexture(GL_TEXTURE_2D, atlas_);
    std::vector<uint8_t> zero(size_t(size) * size, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, size, size, 0, GL_RED, GL_UNSIGNED_BYTE, zero.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    atlasSize_ = size;
    atlasPixels_ = std::move(zero);
    ++atlasGeneration_;
    shelfX_ = shelfY_ = shelfH_ = 0;
    glyphs_.clear();
    return true;
}

// The quads' programs: each corner carries its pixel, its place in the texture and the text's
// colour, the same for the four corners of a glyph.
bool GlFont::BuildTextProgram(const char* fragment, Program& out, std::string& err) {
    static const char* vs = R"(#version 330 core
layout(location = 0) in vec2 aPos;    // pixels from the top-left corner
layout(location = 2) in vec4 aColor;
layout(location = 5) in vec2 aUv;
uniform vec2 uTarget;
out vec2 vUv;
flat out vec4 vColor;
void main() {
    gl_Position = vec4(2.0 * aPos / uTarget - 1.0, -1.0, 1.0);   // depth 0
    vUv = aUv;
    vColor = aColor;
})";
    out.id = BuildProgram(vs, std::string("#version 330 core\n") + fragment, err);
    if (!out.id) return false;
    out.target = glGetUniformLocation(out.id, "uTarget");
    out.texture = glGetUniformLocation(out.id, "uTexture");
    return true;
}

bool GlFont::EnsureGl(std::string& err) {
    if (tested_.id) return true;
    // Without the alpha test, a pixel the test would drop has alpha below half a step: it
    // blends to the colour already there. The composite picture holds each pixel's colour
    // already multiplied by its alpha.
    static const char* text = R"(
in vec2 vUv;
flat in vec4 vColor;
uniform sampler2D uTexture;
out vec4 fragColor;
void main() {
    float a = vColor.a * texture(uTexture, vUv).r;
#if ALPHA_TEST
    if (a < 0.5 / 255.0) discard;   // the sprite's alpha test: only covered pixels count
#endif
    fragColor = vec4(vColor.rgb, a);
})";
    static const char* composite = R"(
in vec2 vUv;
uniform sampler2D uTexture;
out vec4 fragColor;
void main() {
    fragColor = texture(uTexture, vUv);
})";
    if (!BuildTextProgram((std::string("#define ALPHA_TEST 1\n") + text).c_str(), tested_, err) ||
        !BuildTextProgram((std::string("#define ALPHA_TEST 0\n") + text).c_str(), blended_, err) ||
        !BuildTextProgram(composite, composite_, err)) {
        for (Program* p : {&tested_, &blended_, &composite_})
            if (p->id) glDeleteProgram(p->id);
        tested_ = blended_ = composite_ = Program{};
        return false;
    }
    glGenBuffers(1, &vbo_);
    return GrowAtlas();
}

// The program with its uniforms, the texture and the vertex layout of the quads in vbo_.
void GlFont::BindQuads(const Program& p, GlDevice& device, GLuint texture) {
    glUseProgram(p.id);
    glUniform2f(p.target, static_cast<float>(device.Width()), static_cast<float>(device.Height()));
    glUniform1i(p.texture, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindSampler(0, 0);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_);
    for (int i = 0; i < ATTR_COUNT; ++i) glDisableVertexAttribArray(i);
    const GLsizei stride = sizeof(Vertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, nullptr);
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<const void*>(offsetof(Vertex, color)));
    glEnableVertexAttribArray(5);
    glVertexAttribPointer(5, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(Vertex, u)));
}

void GlFont::DrawQuads(const std::vector<Vertex>& quads) {
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(quads.size() * sizeof(Vertex)),
                 quads.data(), GL_STREAM_DRAW);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(quads.size()));
}

int GlFont::DrawText(GlDevice& device, const std::u32string& text, int rect[4],
                     uint32_t format, uint32_t color) {
    if (!face_ || !rect) return 0;
    std::string err;
    bool measureOnly = (format & DTF_CALCRECT) != 0;
    if (!measureOnly && !EnsureGl(err)) return 0;

    // Lines: LF breaks (CR is dropped) unless single-line, where both are dropped.
    flat_.clear();
    lineEnds_.clear();
    for (char32_t c : text) {
        if (c == U'\r') continue;
        if (c == U'\n') {
            if (!(format & DTF_SINGLELINE)) lineEnds_.push_back(flat_.size());
            continue;
        }
        flat_ += c;
    }
    lineEnds_.push_back(flat_.size());
    const size_t lineCount = lineEnds_.size();
    int lineHeight = CellHeight();
    int totalHeight = lineHeight * static_cast<int>(lineCount);
    widths_.clear();
    int maxWidth = 0;
    for (size_t i = 0, from = 0; i < lineCount; from = lineEnds_[i++]) {
        int w = 0;
        for (size_t k = from; k < lineEnds_[i]; ++k) w += Advance(flat_[k]);
        widths_.push_back(w);
        maxWidth = std::max(maxWidth, w);
    }
    if (measureOnly) {
        rect[2] = rect[0] + maxWidth;
        rect[3] = rect[1] + totalHeight;
        return totalHeight;
    }

    int top = rect[1];
    if (format & DTF_SINGLELINE) {
        if (format & DTF_VCENTER) top = rect[1] + (rect[3] - rect[1] - lineHeight) / 2;
        else if (format & DTF_BOTTOM) top = rect[3] - lineHeight;
    }
    int result = (format & (DTF_VCENTER | DTF_BOTTOM)) && (format & DTF_SINGLELINE)
                     ? top + totalHeight - rect[1]
                     : totalHeight;
    bool clip = !(format & DTF_NOCLIP);
    if (clip && (rect[2] <= rect[0] || rect[3] <= rect[1])) return result;

    // Make sure every glyph is in the atlas; a full atlas grows once and starts over.
    for (int attempt = 0; attempt < 3; ++attempt) {
        bool full = false;
        for (char32_t c : flat_) {
            if (glyphs_.count(c)) continue;
            Glyph g;
            if (!LoadGlyph(c, g, true)) {
                full = true;
                break;
            }
            glyphs_[c] = g;
        }
        if (!full) break;
        if (!GrowAtlas()) return 0;
    }

    // Text draws as the D3DX sprite does: screen-space quads at depth 0, alpha-blended and
    // alpha-tested, both faces, solid. The sprite leaves the depth states alone, so with the
    // depth test on the covered pixels also write depth 0 and stay in front of what is drawn
    // after them.
    Batch b;
    const bool depthTest = device.HasDepth() && device.GetRenderState(d3d::RS_ZENABLE);
    const bool depthWrite = depthTest && device.GetRenderState(d3d::RS_ZWRITEENABLE);
    b.func = device.GetRenderState(d3d::RS_ZFUNC);
    // Depth 0 passes these tests whatever the buffer holds (0..1): the test decides nothing,
    // and the depth 0 of text drawn before need not be written yet.
    const bool zeroPasses = b.func == d3d::CMP_LESSEQUAL || b.func == d3d::CMP_ALWAYS;
    b.alphaTest = depthWrite && !zeroPasses;
    b.depthTest = depthTest && !zeroPasses;
    b.depthWrite = depthWrite;
    b.deferDepth = depthWrite && zeroPasses;
    // When the depth put off was needed last time (text drawn before the scene), this text
    // writes it at once, alpha-tested: one draw instead of two, the same pixels and depth.
    // Now and then it is put off again, to notice when it stops being needed.
    if (b.deferDepth && depthSeen_ && ++directDepth_ % 64 != 0) {
        b.alphaTest = b.depthTest = true;
        b.deferDepth = false;
    }
    b.clip = clip;
    if (clip) std::copy(rect, rect + 4, b.rect);

    // Text drawn as the held text is joins it; held text drawn otherwise goes first.
    const bool joins = heldOn_ == &device && batch_.Same(b);
    if (!joins && heldOn_) heldOn_->SendHeld();
    float inv = 1.0f / static_cast<float>(atlasSize_);
    size_t quadsFrom = held_.size();
    for (size_t i = 0, from = 0; i < lineCount; from = lineEnds_[i++]) {
        int x = rect[0];
        if (format & DTF_CENTER) x = rect[0] + (rect[2] - rect[0] - widths_[i]) / 2;
        else if (format & DTF_RIGHT) x = rect[2] - widths_[i];
        int baseline = top + static_cast<int>(i) * lineHeight + ascent_;
        for (size_t k = from; k < lineEnds_[i]; ++k) {
            auto it = glyphs_.find(flat_[k]);
            if (it == glyphs_.end()) continue;
            const Glyph& g = it->second;
            if (g.w > 0 && g.h > 0) {
                // The back buffer keeps the screen's rows: y runs down in GL too.
                int left = x + g.left, top = baseline - g.top;
                float x0 = static_cast<float>(left), x1 = x0 + g.w;
                float yTop = static_cast<float>(top), yBot = yTop + g.h;
                float u0 = g.x * inv, u1 = (g.x + g.w) * inv;
                float v0 = g.y * inv, v1 = (g.y + g.h) * inv;
                const Vertex quad[] = {{x0, yTop, u0, v0, color}, {x1, yTop, u1, v0, color},
                                       {x1, yBot, u1, v1, color}, {x0, yTop, u0, v0, color},
                                       {x1, yBot, u1, v1, color}, {x0, yBot, u0, v1, color}};
                held_.insert(held_.end(), std::begin(quad), std::end(quad));
                heldGlyphs_.push_back({left, top, g.w, g.h, g.x, g.y, color});
            }
            x += g.advance;
        }
    }
    if (joins) {
        if (held_.size() > kMaxJoinedVertices) device.SendHeld();
        return result;
    }
    if (held_.size() == quadsFrom) return result;
    // A depth test that depth 0 can fail sees every depth write put off so far.
    if (b.depthTest && !zeroPasses && device.HasDeferredDepth()) device.WriteDeferredDepth();
    batch_ = b;
    heldOn_ = &device;
    device.Hold(this);
    return result;
}

bool GlFont::Batch::Same(const Batch& o) const {
    return alphaTest == o.alphaTest && depthTest == o.depthTest && depthWrite == o.depthWrite &&
           deferDepth == o.deferDepth && func == o.func && clip == o.clip &&
           (!clip || std::equal(rect, rect + 4, o.rect));
}

void GlFont::SendHeld(GlDevice& device) {
    if (held_.empty() || !tested_.id) {
        DropHeld();
        return;
    }
    const Batch& b = batch_;
    device.BindBackBuffer();
    glViewport(0, 0, device.Width(), device.Height());
    glDepthRange(0, 1);
    if (b.depthTest) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GlCompareFunc(b.func));
        glDepthMask(b.depthWrite ? GL_TRUE : GL_FALSE);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glDisable(GL_CULL_FACE);
    glDisable(GL_STENCIL_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, device.HasAlpha() ? GL_TRUE : GL_FALSE);
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (b.clip) {
        glEnable(GL_SCISSOR_TEST);
        device.Scissor(b.rect[0], b.rect[1], b.rect[2], b.rect[3]);
    } else {
        glDisable(GL_SCISSOR_TEST);
    }
    // Only colour is blended, whatever the depth buffer holds: a large batch can be drawn
    // from its composite picture.
    if (b.alphaTest || b.depthTest || heldGlyphs_.size() < kCompositeGlyphs ||
        !SendComposite(device, b.clip ? b.rect : nullptr)) {
        BindQuads(b.alphaTest ? tested_ : blended_, device, atlas_);
        DrawQuads(held_);
    }
    ++textBatches_;
    device.RestoreGlState();
    if (b.deferDepth) {
        // Depth writes of the same clipping join the last ones put off.
        PendingDepth* last = pendingDepth_.empty() ? nullptr : &pendingDepth_.back();
        if (last && last->clip == b.clip &&
            last->quads.size() + held_.size() <= kMaxJoinedVertices &&
            (!b.clip || std::equal(b.rect, b.rect + 4, last->rect))) {
            last->quads.insert(last->quads.end(), held_.begin(), held_.end());
        } else {
            PendingDepth pending;
            pending.quads = held_;
            pending.clip = b.clip;
            std::copy(b.rect, b.rect + 4, pending.rect);
            pendingDepth_.push_back(std::move(pending));
        }
        deferredOn_ = &device;
        device.DeferDepth(this);
        // Text drawn frame after frame with nothing clearing the depth stays bounded.
        if (pendingDepth_.size() >= kMaxPendingDepth) device.WriteDeferredDepth();
    }
    DropHeld();
}

void GlFont::DropHeld() {
    held_.clear();
    heldGlyphs_.clear();
    heldOn_ = nullptr;
}

// The composite picture holds what the held glyphs blend onto a pixel as one premultiplied
// colour, c * a and a, worked out with the rounding of the 8-bit blending they would have had
// (colour times alpha, each product rounded), so that blending it with ONE,
// ONE_MINUS_SRC_ALPHA (alpha: SRC_ALPHA, ONE_MINUS_SRC_ALPHA) gives the pixels the glyphs
// give. A glyph covering a pixel that a glyph before it covers would blend onto that one's
// result, which no single colour can stand for: it is left out of the picture and drawn after
// it, as a quad, in order with the others left out (so is any glyph after it on its pixels).
bool GlFont::SendComposite(GlDevice& device, const int clip[4]) {
    int box[4] = {device.Width(), device.Height(), 0, 0};
    for (const HeldGlyph& g : heldGlyphs_) {
        box[0] = std::min(box[0], g.x);
        box[1] = std::min(box[1], g.y);
        box[2] = std::max(box[2], g.x + g.w);
        box[3] = std::max(box[3], g.y + g.h);
    }
    box[0] = std::max(box[0], clip ? std::max(clip[0], 0) : 0);
    box[1] = std::max(box[1], clip ? std::max(clip[1], 0) : 0);
    box[2] = std::min(box[2], clip ? std::min(clip[2], device.Width()) : device.Width());
    box[3] = std::min(box[3], clip ? std::min(clip[3], device.Height()) : device.Height());
    const int w = box[2] - box[0], h = box[3] - box[1];
    if (w <= 0 || h <= 0) return true;   // nothing of it on the target
    if (w > kCompositeMaxSide || h > kCompositeMaxSide) return false;
    if (compositeAtlas_ != atlasGeneration_ || !std::equal(box, box + 4, compositeBox_) ||
        !(compositeGlyphs_ == heldGlyphs_))
        Compose(box);

    // One triangle over the box, its far corner beyond it, scissored to the box.
    const float x0 = static_cast<float>(box[0]), y0 = static_cast<float>(box[1]);
    const float right = x0 + 2 * w + 2, bottom = y0 + 2 * h + 2;
    const std::vector<Vertex> triangle = {
        {x0, y0, 0, 0, 0},
        {right, y0, (2 * w + 2) / static_cast<float>(compositeWidth_), 0, 0},
        {x0, bottom, 0, (2 * h + 2) / static_cast<float>(compositeHeight_), 0}};
    glEnable(GL_SCISSOR_TEST);
    device.Scissor(box[0], box[1], box[2], box[3]);
    glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    BindQuads(composite_, device, compositeTexture_);
    DrawQuads(triangle);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (!compositeRest_.empty()) {
        if (clip) device.Scissor(clip[0], clip[1], clip[2], clip[3]);
        else glDisable(GL_SCISSOR_TEST);
        BindQuads(blended_, device, atlas_);
        DrawQuads(compositeRest_);
    }
    return true;
}

void GlFont::Compose(const int box[4]) {
    const int w = box[2] - box[0], h = box[3] - box[1];
    compositePixels_.assign(size_t(w) * h * 4, 0);
    compositeTaken_.assign(size_t(w) * h, 0);
    compositeRest_.clear();
    for (size_t i = 0; i < heldGlyphs_.size(); ++i) {
        const HeldGlyph& g = heldGlyphs_[i];
        const uint32_t alpha = g.color >> 24;
        const int x0 = std::max(g.x, box[0]), x1 = std::min(g.x + g.w, box[2]);
        const int y0 = std::max(g.y, box[1]), y1 = std::min(g.y + g.h, box[3]);
        auto coverage = [&](int x, int y) {
            return MulUnorm8(alpha, atlasPixels_[size_t(g.atlasY + y - g.y) * atlasSize_ +
                                                 size_t(g.atlasX + x - g.x)]);
        };
        auto at = [&](int x, int y) {
            return compositePixels_.data() + (size_t(y - box[1]) * w + size_t(x - box[0])) * 4;
        };
        auto taken = [&](int x, int y) -> uint8_t& {
            return compositeTaken_[size_t(y - box[1]) * w + size_t(x - box[0])];
        };
        bool overlaps = false;
        for (int y = y0; y < y1 && !overlaps; ++y)
            for (int x = x0; x < x1 && !overlaps; ++x) overlaps = coverage(x, y) && taken(x, y);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (coverage(x, y)) taken(x, y) = 1;
        if (overlaps) {
            compositeRest_.insert(compositeRest_.end(), held_.begin() + static_cast<ptrdiff_t>(6 * i),
                                  held_.begin() + static_cast<ptrdiff_t>(6 * i + 6));
            continue;
        }
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const uint32_t a = coverage(x, y);
                if (!a) continue;
                uint8_t* p = at(x, y);
                p[0] = static_cast<uint8_t>(MulUnorm8((g.color >> 16) & 0xFF, a));
                p[1] = static_cast<uint8_t>(MulUnorm8((g.color >> 8) & 0xFF, a));
                p[2] = static_cast<uint8_t>(MulUnorm8(g.color & 0xFF, a));
                p[3] = static_cast<uint8_t>(a);
            }
    }
    if (!compositeTexture_) {
        glGenTextures(1, &compositeTexture_);
        glBindTexture(GL_TEXTURE_2D, compositeTexture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    glBindTexture(GL_TEXTURE_2D, compositeTexture_);
    if (w > compositeWidth_ || h > compositeHeight_) {
        compositeWidth_ = std::max(w, compositeWidth_);
        compositeHeight_ = std::max(h, compositeHeight_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, compositeWidth_, compositeHeight_, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, nullptr);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE,
                    compositePixels_.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    compositeGlyphs_ = heldGlyphs_;
    std::copy(box, box + 4, compositeBox_);
    compositeAtlas_ = atlasGeneration_;
}

void GlFont::WriteDeferredDepth(GlDevice& device) {
    if (!pendingDepth_.empty() && tested_.id) {
        glViewport(0, 0, device.Width(), device.Height());
        glDepthRange(0, 1);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_ALWAYS);   // what the text's own test gave at depth 0
        glDepthMask(GL_TRUE);
        glDisable(GL_CULL_FACE);
        glDisable(GL_STENCIL_TEST);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
        glDisable(GL_BLEND);
        for (const PendingDepth& p : pendingDepth_) {
            if (p.clip) {
                glEnable(GL_SCISSOR_TEST);
                device.Scissor(p.rect[0], p.rect[1], p.rect[2], p.rect[3]);
            } else {
                glDisable(GL_SCISSOR_TEST);
            }
            BindQuads(tested_, device, atlas_);
            DrawQuads(p.quads);
        }
        depthSeen_ = true;
    }
    pendingDepth_.clear();
    deferredOn_ = nullptr;
}

void GlFont::DropDeferredDepth() {
    depthSeen_ = false;   // cleared before anything saw it
    pendingDepth_.clear();
    deferredOn_ = nullptr;
}

void GlFont::Release() {
    // Text held is drawn; what it would have written stays in the depth buffer.
    if (heldOn_) heldOn_->SendHeld();
    if (deferredOn_) deferredOn_->WriteDeferredDepth();
    if (atlas_) glDeleteTextures(1, &atlas_);
    if (compositeTexture_) glDeleteTextures(1, &compositeTexture_);
    if (vbo_) glDeleteBuffers(1, &vbo_);
    for (Program* p : {&tested_, &blended_, &composite_})
        if (p->id) glDeleteProgram(p->id);
    tested_ = blended_ = composite_ = Program{};
    atlas_ = vbo_ = compositeTexture_ = 0;
    atlasSize_ = compositeWidth_ = compositeHeight_ = 0;
    compositeGlyphs_.clear();
    atlasPixels_.clear();
    glyphs_.clear();
}

}  // namespace sdlgl
