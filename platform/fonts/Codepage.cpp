#include "platform/fonts/Codepage.h"

#include <array>

namespace plotwick::codepage {

namespace {

// 0x80-0x9F.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

char16_t Cp1252ToUnicode(std::uint8_t code)
{
    if (code >= 0x80 && code <= 0x9F)
        return kHigh[code - 0x80];
    return static_cast<char16_t>(code);
}

int UnicodeToCp1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == c)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

std::u16string Cp1252ToUtf16(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (const char b : bytes)
        out.push_back(Cp1252ToUnicode(static_cast<std::uint8_t>(b)));
    return out;
}

std::string Cp1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char b : bytes)
        AppendUtf8(out, Cp1252ToUnicode(static_cast<std::uint8_t>(b)));
    return out;
}

}  // namespace plotwick::codepage
