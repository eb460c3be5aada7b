#include <gtest/gtest.h>

#include "platform/core/cursor.h"
#include "tests/platform_core/image_test.h"

using namespace imgtest;

namespace {

// A cursor file with one entry holding `image`.
std::string Cur(const std::string& image, int hx, int hy, int w = 2, int h = 2, uint16_t type = 2) {
    std::string s;
    Put16(s, 0); Put16(s, type); Put16(s, 1);
    s += char(w); s += char(h); s += char(0); s += char(0);
    Put16(s, uint32_t(hx)); Put16(s, uint32_t(hy));
    Put32(s, uint32_t(image.size())); Put32(s, 22);
    return s + image;
}

bool Read(const std::string& s, core::Cursor& c, std::string& err) {
    return core::ReadCursor(reinterpret_cast<const uint8_t*>(s.data()), s.size(), c, err);
}

core::Cursor Ok(const std::string& s) {
    core::Cursor c;
    std::string err;
    EXPECT_TRUE(Read(s, c, err)) << err;
    return c;
}

std::vector<int> Px(const core::Image& img, int x, int y) {
    const uint8_t* p = &img.rgba[size_t(y * img.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

}  // namespace

TEST(Cursor, OneBitWithAndMask) {
    // 2x2, doubled height. Colour rows bottom-up: bottom row pixels (1, 0), top row (0, 1).
    // AND mask bottom-up: bottom row (0, 1), top row (1, 0).
    std::string dib = InfoHeader(2, 4, 1);
    Put32(dib, 0x00000000); Put32(dib, 0x00FFFFFF);
    dib += std::string("\x80\0\0\0", 4) + std::string("\x40\0\0\0", 4);
    dib += std::string("\x40\0\0\0", 4) + std::string("\x80\0\0\0", 4);
    core::Cursor c = Ok(Cur(dib, 1, 0));
    EXPECT_EQ(c.hotX, 1);
    EXPECT_EQ(c.hotY, 0);
    ASSERT_EQ(c.image.width, 2);
    ASSERT_EQ(c.image.height, 2);
    EXPECT_EQ(Px(c.image, 0, 0), (std::vector<int>{0, 0, 0, 0}));         // black + AND: transparent
    EXPECT_EQ(Px(c.image, 1, 0), (std::vector<int>{255, 255, 255, 255}));  // white, opaque
    EXPECT_EQ(Px(c.image, 0, 1), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(Px(c.image, 1, 1), (std::vector<int>{0, 0, 0, 0}));
}

TEST(Cursor, ThirtyTwoBitAlphaAndTwentyFourBitMask) {
    std::string dib = InfoHeader(2, 4, 32);
    Put32(dib, 0x80FF0000); Put32(dib, 0x00000000);   // bottom row
    Put32(dib, 0xFF00FF00); Put32(dib, 0x400000FF);   // top row
    dib += std::string(8, '\xFF');                      // AND mask, ignored when alpha is used
    core::Cursor c = Ok(Cur(dib, 0, 1));
    EXPECT_EQ(Px(c.image, 0, 1), (std::vector<int>{255, 0, 0, 0x80}));
    EXPECT_EQ(Px(c.image, 1, 1), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(Px(c.image, 0, 0), (std::vector<int>{0, 255, 0, 255}));

    std::string d24 = InfoHeader(2, 4, 24);
    d24 += std::string("\x00\x00\xFF\x00\x00\x00\0\0", 8) + std::string("\x00\xFF\x00\xFF\x00\x00\0\0", 8);
    d24 += std::string("\x40\0\0\0", 4) + std::string("\x00\0\0\0", 4);
    core::Cursor c24 = Ok(Cur(d24, 0, 0));
    EXPECT_EQ(Px(c24.image, 0, 1), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(Px(c24.image, 1, 1), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(Px(c24.image, 1, 0), (std::vector<int>{0, 0, 255, 255}));
}

TEST(Cursor, PngPayloadAndHotspotInsideImage) {
    std::vector<uint8_t> rgba(4 * 4 * 4, 200);
    core::Cursor c = Ok(Cur(Png(4, 4, rgba), 9, 2, 4, 4));
    EXPECT_EQ(c.image.width, 4);
    EXPECT_EQ(c.image.rgba, rgba);
    EXPECT_EQ(c.hotX, 3);   // pulled inside the 4-pixel image
    EXPECT_EQ(c.hotY, 2);
}

TEST(Cursor, BadFilesFailWithReason) {
    std::string dib = InfoHeader(2, 4, 8);
    dib += std::string(1024, '\0') + std::string(8, '\x01') + std::string(8, '\0');
    std::string good = Cur(dib, 0, 0);
    Ok(good);
    for (size_t n = 0; n < good.size(); n += 7) {
        core::Cursor c;
        std::string err;
        std::string cut = good.substr(0, n);
        EXPECT_FALSE(Read(cut, c, err)) << n;
        EXPECT_FALSE(err.empty());
    }
    core::Cursor c;
    std::string err;
    EXPECT_FALSE(Read(Cur(dib, 0, 0, 2, 2, 1), c, err));
    EXPECT_NE(err.find("icon"), std::string::npos);
    std::string far = good;
    far[18] = char(0xF0);   // image offset beyond the file
    EXPECT_FALSE(Read(far, c, err));
    EXPECT_FALSE(Read(Cur(InfoHeader(2, -4, 8) + std::string(1040, '\0'), 0, 0), c, err));
    std::string none;
    Put16(none, 0); Put16(none, 2); Put16(none, 0);
    EXPECT_FALSE(Read(none, c, err));
}
