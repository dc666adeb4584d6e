// The single-byte (ANSI) code page of the system: Windows-1252, both ways. Codes 0x00-0x7F and
// 0xA0-0xFF are the Unicode characters of the same value; 0x80-0x9F hold the typographic
// characters of the code page, and its five unassigned codes (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// map to the C1 control characters of the same value, as Windows maps them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plotwick::codepage {

// The Unicode character of one byte.
char16_t Cp1252ToUnicode(std::uint8_t code);

// The byte of a Unicode character, or -1 when the code page has none.
int UnicodeToCp1252(char32_t c);

// Whole strings, byte by byte.
std::u16string Cp1252ToUtf16(std::string_view bytes);
std::string Cp1252ToUtf8(std::string_view bytes);

}  // namespace plotwick::codepage
