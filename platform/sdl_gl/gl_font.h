// Fonts for text drawing: faces found with fontconfig (Windows face names mapped to the faces
// Debian ships), glyphs rasterised by FreeType into a grow-on-demand atlas, drawn as textured
// quads into the device's back buffer. Heights follow the Windows rule (negative: character
// height, positive: cell height). Not done: word breaking, tab expansion, prefix characters,
// kerning (GDI does not kern by default either).
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/sdl_gl/gl_device.h"

namespace sdlgl {

// The Debian family used for a Windows face name, and whether it is drawn bold whatever the
// weight asked (faces that only exist heavy). Unknown names pass through to fontconfig.
struct FaceMapping {
    std::string family;
    bool forceBold = false;
};
FaceMapping MapFaceName(const std::string& windowsName);

struct FontDesc {
    int height = 0;        // < 0 character height, > 0 cell height, 0 default (16-pixel cell)
    uint32_t width = 0;    // average character width in pixels; 0 keeps the face's proportions
    uint32_t weight = 0;   // 0 = normal, 100..900
    bool italic = false;
    std::string face;      // Windows face name, may be empty
};

// Format flags understood by DrawText (Windows DrawText values).
enum : uint32_t {
    DTF_CENTER = 0x1, DTF_RIGHT = 0x2, DTF_VCENTER = 0x4, DTF_BOTTOM = 0x8,
    DTF_SINGLELINE = 0x20, DTF_NOCLIP = 0x100, DTF_CALCRECT = 0x400
};

// Text that would write depth (depth test and writes on, with a test that depth 0 always
// passes) is drawn without its alpha test, which keeps llvmpipe on its fast path; the depth
// writes of the covered pixels are put off until something could see them, then made by the
// alpha-tested program with colour writes off.
// Consecutive text draws of one font with the same states and clipping, whatever their colours,
// are held and go to GL as one draw (and their depth writes as one), sent before anything else
// happens on the device. A large held batch that only blends colour is drawn from a picture of
// its glyphs, made again only when the glyphs change (see SendComposite).
class GlFont : public DeferredDepthWriter, public HeldDrawer {
public:
    GlFont() = default;
    GlFont(const GlFont&) = delete;
    GlFont& operator=(const GlFont&) = delete;
    ~GlFont() override;

    // Finds and loads the face; needs no GL context. Fails when no face can be loaded.
    bool Init(const FontDesc& desc, std::string& err);
    // Draws text given as Unicode code points. rect is left, top, right, bottom; with
    // DTF_CALCRECT it is only adjusted to the text's extent. Returns the text height in
    // pixels, 0 on failure. Needs the device's GL context.
    int DrawText(GlDevice& device, const std::u32string& text, int rect[4], uint32_t format,
                 uint32_t color);
    // Frees the GL objects (context current) and the face.
    void Release();

    void WriteDeferredDepth(GlDevice& device) override;
    void DropDeferredDepth() override;
    void SendHeld(GlDevice& device) override;
    void DropHeld() override;
    // GL draws made of held text so far (tests).
    uint64_t TextBatches() const { return textBatches_; }

    int CellHeight() const { return ascent_ + descent_; }
    int Ascent() const { return ascent_; }
    int PixelSize() const { return ppem_; }
    const std::string& File() const { return file_; }
    int Weight() const { return weight_; }
    int Advance(char32_t c);   // pixels, for measuring

private:
    struct Glyph {
        int x = 0, y = 0, w = 0, h = 0;   // place in the atlas
        int left = 0, top = 0;            // bitmap offset from the pen, top above the baseline
        int advance = 0;
    };
    bool LoadGlyph(char32_t c, Glyph& g, bool place);
    bool EnsureGl(std::string& err);
    bool GrowAtlas();

    void* library_ = nullptr;   // FT_Library
    void* face_ = nullptr;      // FT_Face
    std::string file_;
    int ppem_ = 0, ascent_ = 0, descent_ = 0, weight_ = 400;
    bool emboldenGlyphs_ = false, slantGlyphs_ = false;

    // A corner of a glyph's quad: pixels from the top-left corner, place in the atlas (or the
    // composite picture), the text's colour (D3DCOLOR, drawn as r, g, b, a).
    struct Vertex {
        float x, y, u, v;
        uint32_t color;
    };
    // A held glyph as the composite picture takes it: its box on the target, its place in the
    // atlas, its colour.
    struct HeldGlyph {
        int x, y, w, h, atlasX, atlasY;
        uint32_t color;
        bool operator==(const HeldGlyph& o) const {
            return x == o.x && y == o.y && w == o.w && h == o.h && atlasX == o.atlasX &&
                   atlasY == o.atlasY && color == o.color;
        }
    };
    struct Program {
        GLuint id = 0;
        GLint target = -1, texture = -1;
    };
    bool BuildTextProgram(const char* fragment, Program& out, std::string& err);
    void BindQuads(const Program& p, GlDevice& device, GLuint texture);
    void DrawQuads(const std::vector<Vertex>& quads);
    // Draws the held batch from its composite picture (remade when the glyphs changed), then
    // the glyphs the picture could not take; false (nothing drawn) when it does not fit one.
    bool SendComposite(GlDevice& device, const int scissor[4]);
    // Remakes the composite picture of the held glyphs over `box`; the glyphs that cover a
    // pixel another glyph before them covers go to compositeRest_ instead.
    void Compose(const int box[4]);

    // One text draw whose depth writes are put off: its quads and scissor.
    struct PendingDepth {
        std::vector<Vertex> quads;
        bool clip = false;
        int rect[4] = {};
    };
    std::vector<PendingDepth> pendingDepth_;
    GlDevice* deferredOn_ = nullptr;
    bool depthSeen_ = false;      // the last depth writes put off were made, not dropped
    uint32_t directDepth_ = 0;    // text drawn since with its depth written at once

    // Text held for one GL draw, and what it is drawn with: the states at the first call.
    struct Batch {
        bool alphaTest = false;   // the alpha-tested program
        bool depthTest = false;   // GL depth test (a function depth 0 may fail)
        bool depthWrite = false;
        bool deferDepth = false;  // depth writes put off
        uint32_t func = 0;
        bool clip = false;
        int rect[4] = {};
        bool Same(const Batch& o) const;
    };
    Batch batch_;
    std::vector<Vertex> held_;            // 6 vertices per glyph
    std::vector<HeldGlyph> heldGlyphs_;   // one per glyph, in drawing order
    GlDevice* heldOn_ = nullptr;
    uint64_t textBatches_ = 0;
    // Layout scratch kept between calls: the text without CRs, its lines and their widths.
    std::u32string flat_;
    std::vector<size_t> lineEnds_;
    std::vector<int> widths_;

    std::map<char32_t, Glyph> glyphs_;
    GLuint atlas_ = 0, vbo_ = 0;
    Program tested_, blended_;   // with and without the alpha test
    int atlasSize_ = 0;
    int shelfX_ = 0, shelfY_ = 0, shelfH_ = 0;
    std::vector<uint8_t> atlasPixels_;   // the atlas's coverage, atlasSize_ squared
    uint32_t atlasGeneration_ = 0;       // counts the atlases made: places are per atlas

    // The composite picture: premultiplied RGBA over compositeBox_, of compositeGlyphs_ (at
    // atlasGeneration compositeAtlas_); compositeRest_ holds the quads of the glyphs it left out.
    Program composite_;
    GLuint compositeTexture_ = 0;
    int compositeWidth_ = 0, compositeHeight_ = 0;   // the texture's size
    int compositeBox_[4] = {};
    uint32_t compositeAtlas_ = 0;
    std::vector<HeldGlyph> compositeGlyphs_;
    std::vector<Vertex> compositeRest_;
    std::vector<uint8_t> compositePixels_;
    std::vector<uint8_t> compositeTaken_;   // pixels some glyph covered, left out or not
};

}  // namespace sdlgl
