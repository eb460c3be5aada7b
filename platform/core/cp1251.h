// Windows-1251 (Cyrillic) text to Unicode and back. The system keeps its texts as 1251 bytes;
// only code that draws or shows text converts to Unicode, and text arriving from the desktop
// (the clipboard) converts to 1251. Byte 0x98 has no
// character and maps to U+FFFD.
#pragma once

#include <cstdint>
#include <string>

namespace core {

// Unicode code point of one Windows-1251 byte.
uint32_t Cp1251ToUnicode(unsigned char byte);

// The whole text converted to UTF-8; every byte gives exactly one character.
std::string Cp1251ToUtf8(const std::string& text);

// UTF-8 text in Windows-1251, one byte per character; a character 1251 lacks, and each byte of
// a malformed sequence, becomes '?' (as Windows' own conversion writes its default character).
std::string Utf8ToCp1251(const std::string& text);

}  // namespace core
