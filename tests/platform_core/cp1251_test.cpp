#include <gtest/gtest.h>

#include "platform/core/cp1251.h"

TEST(Cp1251, TableAndUtf8) {
    EXPECT_EQ(core::Cp1251ToUnicode('A'), 0x41u);
    EXPECT_EQ(core::Cp1251ToUnicode(0xC0), 0x0410u);   // А
    EXPECT_EQ(core::Cp1251ToUnicode(0xFF), 0x044Fu);   // я
    EXPECT_EQ(core::Cp1251ToUnicode(0xA8), 0x0401u);   // Ё
    EXPECT_EQ(core::Cp1251ToUnicode(0xB8), 0x0451u);   // ё
    EXPECT_EQ(core::Cp1251ToUnicode(0xB9), 0x2116u);   // №
    EXPECT_EQ(core::Cp1251ToUnicode(0x88), 0x20ACu);   // €
    EXPECT_EQ(core::Cp1251ToUnicode(0x80), 0x0402u);
    EXPECT_EQ(core::Cp1251ToUnicode(0x9F), 0x045Fu);
    EXPECT_EQ(core::Cp1251ToUnicode(0xA0), 0x00A0u);
    EXPECT_EQ(core::Cp1251ToUnicode(0xBF), 0x0457u);
    EXPECT_EQ(core::Cp1251ToUnicode(0x98), 0xFFFDu);
    EXPECT_EQ(core::Cp1251ToUtf8("\xCA\xE0\xEC\xE5\xF0\xE0 \xB9 1"), "Камера № 1");
    EXPECT_EQ(core::Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    // Every byte gives one well-formed character.
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    std::string u = core::Cp1251ToUtf8(all);
    size_t chars = 0;
    for (unsigned char c : u)
        if ((c & 0xC0) != 0x80) ++chars;
    EXPECT_EQ(chars, 256u);
}

TEST(Cp1251, FromUtf8KeepsWhat1251HoldsAndMarksTheRest) {
    // Every 1251 character comes back as itself; byte 0x98 has none and reads '?'.
    std::string all;
    for (int b = 1; b < 256; ++b) all += char(b);
    std::string back = core::Utf8ToCp1251(core::Cp1251ToUtf8(all));
    all[0x98 - 1] = '?';
    EXPECT_EQ(back, all);
    EXPECT_EQ(core::Utf8ToCp1251("Caf\xC3\xA9 \xE2\x80\xA6 \xF0\x9F\x98\x80!"), "Caf? \x85 ?!");
    EXPECT_EQ(core::Utf8ToCp1251("a\xC3" "b\x80"), "a?b?");   // cut and stray sequences
}
