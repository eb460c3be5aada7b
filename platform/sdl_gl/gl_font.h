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

class GlFont {
public:
    GlFont() = default;
    GlFont(const GlFont&) = delete;
    GlFont& operator=(const GlFont&) = delete;
    ~GlFont();

    // Finds and loads the face; needs no GL context. Fails when no face can be loaded.
    bool Init(const FontDesc& desc, std::string& err);
    // Draws text given as Unicode code points. rect is left, top, right, bottom; with
    // DTF_CALCRECT it is only adjusted to the text's extent. Returns the text height in
    // pixels, 0 on failure. Needs the device's GL context.
    int DrawText(GlDevice& device, const std::u32string& text, int rect[4], uint32_t format,
                 uint32_t color);
    // Frees the GL objects (context current) and the face.
    void Release();

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

    std::map<char32_t, Glyph> glyphs_;
    GLuint atlas_ = 0, program_ = 0, vbo_ = 0;
    GLint uTarget_ = -1, uColor_ = -1, uAtlas_ = -1;
    int atlasSize_ = 0;
    int shelfX_ = 0, shelfY_ = 0, shelfH_ = 0;
};

}  // namespace sdlgl
