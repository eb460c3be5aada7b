#include <gtest/gtest.h>

#include "platform/core/image.h"
#include "tests/platform_core/image_test.h"

using namespace imgtest;

namespace {

bool Decode(const std::string& s, core::Image& img, std::string& err) {
    return core::DecodeImage(reinterpret_cast<const uint8_t*>(s.data()), s.size(), img, err);
}

core::Image Ok(const std::string& s) {
    core::Image img;
    std::string err;
    EXPECT_TRUE(Decode(s, img, err)) << err;
    return img;
}

std::vector<int> Px(const core::Image& img, int x, int y) {
    const uint8_t* p = &img.rgba[size_t(y * img.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

}  // namespace

TEST(Image, Bmp24BottomUpAndTopDownWithRowPadding) {
    // 3x2: rows are 9 bytes, padded to 12. Bottom row first in the file.
    std::string px;
    const char bottom[] = "\x01\x02\x03\x04\x05\x06\x07\x08\x09\0\0\0";
    const char top[] = "\x10\x20\x30\x40\x50\x60\x70\x80\x90\0\0\0";
    px.append(bottom, 12).append(top, 12);
    core::Image up = Ok(BmpFile(InfoHeader(3, 2, 24) + px, 40));
    ASSERT_EQ(up.width, 3);
    ASSERT_EQ(up.height, 2);
    EXPECT_EQ(Px(up, 0, 0), (std::vector<int>{0x30, 0x20, 0x10, 255}));   // BGR stored
    EXPECT_EQ(Px(up, 2, 1), (std::vector<int>{0x09, 0x08, 0x07, 255}));
    core::Image down = Ok(BmpFile(InfoHeader(3, -2, 24) + px, 40));
    EXPECT_EQ(Px(down, 0, 0), (std::vector<int>{0x03, 0x02, 0x01, 255}));
}

TEST(Image, BmpPalettesAndBitFields) {
    std::string pal;
    Put32(pal, 0x000000FF);  // entry 0: blue
    Put32(pal, 0x0000FF00);  // entry 1: green
    Put32(pal, 0x00FF0000);  // entry 2: red
    std::string px8 = std::string("\x02\x01\0\0", 4) + std::string("\x00\x02\0\0", 4);
    core::Image p8 = Ok(BmpFile(InfoHeader(2, 2, 8, 0, 3) + pal + px8, 40 + 12));
    EXPECT_EQ(Px(p8, 0, 0), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(Px(p8, 0, 1), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(Px(p8, 1, 1), (std::vector<int>{0, 255, 0, 255}));

    std::string px4 = std::string("\x21\0\0\0", 4);   // pixels 2, 1
    core::Image p4 = Ok(BmpFile(InfoHeader(2, 1, 4, 0, 3) + pal + px4, 40 + 12));
    EXPECT_EQ(Px(p4, 0, 0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(Px(p4, 1, 0), (std::vector<int>{0, 255, 0, 255}));

    std::string px1 = std::string("\x40\0\0\0", 4);   // pixels 0, 1, 0
    core::Image p1 = Ok(BmpFile(InfoHeader(3, 1, 1, 0, 2) + pal.substr(0, 8) + px1, 40 + 8));
    EXPECT_EQ(Px(p1, 1, 0), (std::vector<int>{0, 255, 0, 255}));
    EXPECT_EQ(Px(p1, 2, 0), (std::vector<int>{0, 0, 255, 255}));

    // 32 bits without bit fields: the fourth byte is not alpha.
    std::string px32;
    Put32(px32, 0x00112233);
    EXPECT_EQ(Px(Ok(BmpFile(InfoHeader(1, 1, 32) + px32, 40)), 0, 0), (std::vector<int>{0x11, 0x22, 0x33, 255}));
    // With an alpha mask it is.
    std::string masks;
    Put32(masks, 0x00FF0000); Put32(masks, 0x0000FF00); Put32(masks, 0x000000FF); Put32(masks, 0xFF000000);
    std::string px32a;
    Put32(px32a, 0x80112233);
    EXPECT_EQ(Px(Ok(BmpFile(InfoHeader(1, 1, 32, 6) + masks + px32a, 56)), 0, 0),
              (std::vector<int>{0x11, 0x22, 0x33, 0x80}));
    // 16 bits, 5-5-5.
    std::string px16;
    Put16(px16, 0x7C00); Put16(px16, 0);
    EXPECT_EQ(Px(Ok(BmpFile(InfoHeader(1, 1, 16) + px16, 40)), 0, 0), (std::vector<int>{255, 0, 0, 255}));
}

TEST(Image, BadBmpFailsWithReason) {
    std::string good = BmpFile(InfoHeader(2, 2, 24) + std::string(16, '\0'), 40);
    for (size_t n = 0; n < good.size(); ++n) {
        core::Image img;
        std::string err;
        EXPECT_FALSE(Decode(good.substr(0, n), img, err)) << n;
        EXPECT_FALSE(err.empty());
        EXPECT_TRUE(img.rgba.empty());
    }
    core::Image img;
    std::string err;
    EXPECT_FALSE(Decode(BmpFile(InfoHeader(100000, 100000, 24), 40), img, err));
    EXPECT_NE(err.find("too large"), std::string::npos);
    EXPECT_FALSE(Decode(BmpFile(InfoHeader(2, 2, 8, 1) + std::string(1024 + 8, '\0'), 40), img, err));
    EXPECT_NE(err.find("compressed"), std::string::npos);
    EXPECT_FALSE(Decode(BmpFile(InfoHeader(2, 2, 7) + std::string(64, '\0'), 40), img, err));
    EXPECT_FALSE(Decode(BmpFile(InfoHeader(2, 2, 8, 0, 300) + std::string(2000, '\0'), 40), img, err));
}

TEST(Image, PngAndTga) {
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 9, 8, 7, 6};
    core::Image png = Ok(Png(2, 2, rgba));
    ASSERT_EQ(png.width, 2);
    EXPECT_EQ(png.rgba, rgba);

    // Uncompressed 24-bit TGA, rows bottom-up (origin bit clear).
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = 2; tga[14] = 1; tga[16] = 24;
    tga += std::string("\x01\x02\x03\x04\x05\x06", 6);
    core::Image t = Ok(tga);
    ASSERT_EQ(t.width, 2);
    ASSERT_EQ(t.height, 1);
    EXPECT_EQ(Px(t, 0, 0), (std::vector<int>{3, 2, 1, 255}));
    EXPECT_EQ(Px(t, 1, 0), (std::vector<int>{6, 5, 4, 255}));

    core::Image img;
    std::string err;
    std::string broken = Png(2, 2, rgba);
    broken.resize(broken.size() - 20);
    EXPECT_FALSE(Decode(broken, img, err));
    EXPECT_FALSE(err.empty());
    std::string forged = Png(2, 2, rgba);
    size_t idat = forged.find("IDAT") - 4;
    forged[idat] = char(0x7F);   // chunk length of about 2 GB in a tiny file
    EXPECT_FALSE(Decode(forged, img, err));
    EXPECT_NE(err.find("past the end"), std::string::npos);
    EXPECT_FALSE(Decode("hello world, not an image", img, err));
    EXPECT_FALSE(Decode("", img, err));
}

namespace {

// DDS header: pixel format flags, FourCC, bit count and masks.
std::string Dds(int w, int h, uint32_t pfFlags, const char* fourcc, uint32_t bits, uint32_t r, uint32_t g,
                uint32_t b, uint32_t a) {
    std::string s = "DDS ";
    Put32(s, 124); Put32(s, 0x1007); Put32(s, uint32_t(h)); Put32(s, uint32_t(w));
    for (int i = 0; i < 14; ++i) Put32(s, 0);
    Put32(s, 32); Put32(s, pfFlags);
    s += fourcc ? std::string(fourcc, 4) : std::string(4, '\0');
    Put32(s, bits); Put32(s, r); Put32(s, g); Put32(s, b); Put32(s, a);
    for (int i = 0; i < 5; ++i) Put32(s, 0);
    return s;
}

}  // namespace

TEST(Image, DdsBlocksAndMasks) {
    // DXT1 5x1 (two blocks): first block red/blue with the 3-colour mode unused, second
    // block with c0 <= c1 so index 3 is transparent.
    std::string d1 = Dds(5, 1, 0x4, "DXT1", 0, 0, 0, 0, 0);
    Put16(d1, 0xF800); Put16(d1, 0x001F); Put32(d1, 0xE4);   // row 0: indices 0,1,2,3
    Put16(d1, 0x0000); Put16(d1, 0xFFFF); Put32(d1, 0x03);   // pixel 0: index 3
    core::Image a = Ok(d1);
    ASSERT_EQ(a.width, 5);
    EXPECT_EQ(Px(a, 0, 0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(Px(a, 1, 0), (std::vector<int>{0, 0, 255, 255}));
    EXPECT_EQ(Px(a, 2, 0), (std::vector<int>{170, 0, 85, 255}));
    EXPECT_EQ(Px(a, 4, 0), (std::vector<int>{0, 0, 0, 0}));
    // DXT5: alpha 255..0 in eight steps, pixel 0 index 1 (alpha 0), pixel 1 index 2.
    std::string d5 = Dds(4, 4, 0x4, "DXT5", 0, 0, 0, 0, 0);
    d5 += char(255); d5 += char(0);
    d5 += char(0x11); d5.append(5, '\0');
    Put16(d5, 0xFFFF); Put16(d5, 0xFFFF); Put32(d5, 0);
    core::Image b = Ok(d5);
    EXPECT_EQ(Px(b, 0, 0)[3], 0);
    EXPECT_EQ(Px(b, 1, 0)[3], 219);
    EXPECT_EQ(Px(b, 2, 0)[3], 255);
    // Uncompressed A8R8G8B8.
    std::string u = Dds(1, 1, 0x41, nullptr, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    Put32(u, 0x80102030);
    EXPECT_EQ(Px(Ok(u), 0, 0), (std::vector<int>{0x10, 0x20, 0x30, 0x80}));
    core::Image img;
    std::string err;
    EXPECT_FALSE(Decode(d1.substr(0, d1.size() - 1), img, err));
    EXPECT_NE(err.find("truncated"), std::string::npos);
    EXPECT_FALSE(Decode(Dds(4, 4, 0x4, "ATI2", 0, 0, 0, 0, 0) + std::string(16, '\0'), img, err));
    EXPECT_NE(err.find("ATI2"), std::string::npos);
}

// 16x16 baseline JPEG filled with rgb(200, 40, 90), quality 95.
const char kJpeg[] =
    "\xff\xd8\xff\xe0\x00\x10\x4a\x46\x49\x46\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xff\xdb\x00\x43"
    "\x00\x02\x01\x01\x01\x01\x01\x02\x01\x01\x01\x02\x02\x02\x02\x02\x04\x03\x02\x02\x02\x02\x05\x04"
    "\x04\x03\x04\x06\x05\x06\x06\x06\x05\x06\x06\x06\x07\x09\x08\x06\x07\x09\x07\x06\x06\x08\x0b\x08"
    "\x09\x0a\x0a\x0a\x0a\x0a\x06\x08\x0b\x0c\x0b\x0a\x0c\x09\x0a\x0a\x0a\xff\xdb\x00\x43\x01\x02\x02"
    "\x02\x02\x02\x02\x05\x03\x03\x05\x0a\x07\x06\x07\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a"
    "\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a"
    "\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\x0a\xff\xc0\x00\x11\x08\x00\x10\x00\x10\x03"
    "\x01\x11\x00\x02\x11\x01\x03\x11\x01\xff\xc4\x00\x15\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x08\xff\xc4\x00\x14\x10\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\xff\xc4\x00\x16\x01\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x04\x09\xff\xc4\x00\x14\x11\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\xff\xda\x00\x0c\x03\x01\x00\x02\x11\x03\x11\x00\x3f\x00\x9d\xd3\xb4\xc0\x00\x00"
    "\x7f\xff\xd9";

TEST(Image, Jpeg) {
    std::string jpg(kJpeg, sizeof kJpeg - 1);
    core::Image img = Ok(jpg);
    ASSERT_EQ(img.width, 16);
    std::vector<int> p = Px(img, 7, 7);
    EXPECT_NEAR(p[0], 200, 4);
    EXPECT_NEAR(p[1], 40, 4);
    EXPECT_NEAR(p[2], 90, 4);
    EXPECT_EQ(p[3], 255);
    std::string err;
    core::Image bad;
    EXPECT_FALSE(Decode(jpg.substr(0, 20), bad, err));
    EXPECT_FALSE(err.empty());
}
