// Windows-1251 (Cyrillic) text to Unicode. The system keeps its texts as 1251 bytes; only
// code that draws or shows text converts, with these two functions. Byte 0x98 has no
// character and maps to U+FFFD.
#pragma once

#include <cstdint>
#include <string>

namespace core {

// Unicode code point of one Windows-1251 byte.
uint32_t Cp1251ToUnicode(unsigned char byte);

// The whole text converted to UTF-8; every byte gives exactly one character.
std::string Cp1251ToUtf8(const std::string& text);

}  // namespace core
