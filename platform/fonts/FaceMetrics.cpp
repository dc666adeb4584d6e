#include "platform/fonts/FaceMetrics.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

namespace plotwick::gdi {

namespace {

// The weighted average of the space and a-z; 0 when the face lacks one of them.
double WeightedAverageWidth(FT_Face face)
{
    static constexpr int kWeights[26] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6, 35, 20,
                                         56, 56, 17, 4, 49, 56, 71, 31, 10, 18, 3, 18, 2};
    auto advance = [&](FT_ULong c) -> double {
        const FT_UInt glyph = FT_Get_Char_Index(face, c);
        FT_Fixed a = 0;
        if (glyph == 0 || FT_Get_Advance(face, glyph, FT_LOAD_NO_SCALE, &a) != 0)
            return -1;
        return static_cast<double>(a);
    };
    double sum = advance(' ');
    if (sum < 0)
        return 0;
    sum *= 166;
    for (int i = 0; i < 26; ++i) {
        const double a = advance('a' + i);
        if (a < 0)
            return 0;
        sum += a * kWeights[i];
    }
    return sum / 1000;
}

}  // namespace

std::optional<FaceMetrics> ReadFaceMetrics(FT_Face face)
{
    if (!face || face->units_per_EM == 0)
        return std::nullopt;
    FaceMetrics m;
    m.unitsPerEm = face->units_per_EM;
    m.ascent = face->ascender;
    m.descent = -static_cast<double>(face->descender);
    m.averageWidth = m.unitsPerEm / 2;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF) {
        if (os2->usWinAscent + os2->usWinDescent > 0) {
            m.ascent = os2->usWinAscent;
            m.descent = os2->usWinDescent;
        }
        if (os2->xAvgCharWidth > 0)
            m.averageWidth = os2->xAvgCharWidth;
        if (const double weighted = WeightedAverageWidth(face); weighted > 0)
            m.averageWidth = weighted;
    }
    return m;
}

}  // namespace plotwick::gdi
