#include "platform/fonts/TextMeasure.h"

#include "platform/fonts/Codepage.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace plotwick::gdi {

namespace {

class FaceCache {
public:
    FaceCache() = default;
    ~FaceCache()
    {
        for (auto& [key, face] : faces_) {
            if (face)
                FT_Done_Face(face);
        }
        if (library_)
            FT_Done_FreeType(library_);
    }
    FaceCache(const FaceCache&) = delete;
    FaceCache& operator=(const FaceCache&) = delete;

    TextMetrics Measure(const LogFont& font, std::u16string_view text)
    {
        TextMetrics m;
        if (font.height == 0)
            return m;
        FT_Face face = Find(font);
        if (!face || face->units_per_EM == 0)
            return m;

        const double upem = face->units_per_EM;
        double cellAscent = face->ascender, cellDescent = -double(face->descender);
        double avgWidth = 0;
        if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
            if (os2->usWinAscent + os2->usWinDescent > 0) {
                cellAscent = os2->usWinAscent;
                cellDescent = os2->usWinDescent;
            }
            avgWidth = os2->xAvgCharWidth;
        }
        if (cellAscent + cellDescent <= 0)
            return m;
        // Logical units per font unit.
        const double scale = font.height > 0 ? double(font.height) / (cellAscent + cellDescent)
                                             : -double(font.height) / upem;
        double xScale = scale;
        if (font.width != 0 && avgWidth > 0)
            xScale = std::fabs(double(font.width)) / avgWidth;

        m.advances.reserve(text.size());
        double pen = 0;
        long long placed = 0;
        for (const char16_t c : text) {
            FT_Fixed advance = 0;
            const FT_UInt glyph = FT_Get_Char_Index(face, c);
            if (FT_Get_Advance(face, glyph, FT_LOAD_NO_SCALE, &advance) != 0)
                advance = 0;
            pen += double(advance) * xScale;
            const long long next = std::llround(pen);
            m.advances.push_back(static_cast<std::int32_t>(next - placed));
            placed = next;
        }
        m.ascent = static_cast<std::int32_t>(std::lround(cellAscent * scale));
        m.descent = static_cast<std::int32_t>(std::lround(cellDescent * scale));
        m.valid = true;
        return m;
    }

private:
    FT_Face Find(const LogFont& font)
    {
        if (!library_ && !libraryFailed_) {
            // Opened on first use: most recordings have no text in a substitute face.
            if (FT_Init_FreeType(&library_) != 0) {
                library_ = nullptr;
                libraryFailed_ = true;
            }
        }
        if (!library_)
            return nullptr;
        const bool bold = font.weight >= 600;
        const auto key = std::make_tuple(font.faceName, bold, font.italic);
        if (auto it = faces_.find(key); it != faces_.end())
            return it->second;
        FT_Face face = Open(font.faceName, bold, font.italic);
        faces_.emplace(key, face);
        return face;
    }

    FT_Face Open(const std::string& faceName, bool bold, bool italic)
    {
        if (!FcInit())
            return nullptr;
        FcPattern* pattern = FcPatternCreate();
        if (!pattern)
            return nullptr;
        const std::string family = codepage::Cp1252ToUtf8(faceName);
        if (!family.empty())
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        if (!match)
            return nullptr;
        FT_Face face = nullptr;
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            if (FT_New_Face(library_, reinterpret_cast<const char*>(file), index, &face) != 0)
                face = nullptr;
        }
        FcPatternDestroy(match);
        return face;
    }

    FT_Library library_ = nullptr;
    bool libraryFailed_ = false;
    std::map<std::tuple<std::string, bool, bool>, FT_Face> faces_;
};

}  // namespace

TextMeasure SystemTextMeasure()
{
    auto cache = std::make_shared<FaceCache>();
    return [cache](const LogFont& font, std::u16string_view text) { return cache->Measure(font, text); };
}

}  // namespace plotwick::gdi
