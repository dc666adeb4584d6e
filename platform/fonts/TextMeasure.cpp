#include "platform/fonts/TextMeasure.h"

#include "platform/fonts/Codepage.h"
#include "platform/fonts/FaceMetrics.h"
#include "platform/fonts/FontResolver.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

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
        const auto metrics = ReadFaceMetrics(face);
        if (!metrics)
            return m;
        const double cellAscent = metrics->ascent, cellDescent = metrics->descent;
        if (cellAscent + cellDescent <= 0)
            return m;
        // Logical units per font unit.
        const double scale = font.height > 0 ? double(font.height) / (cellAscent + cellDescent)
                                             : -double(font.height) / metrics->unitsPerEm;
        double xScale = scale;
        if (font.width != 0)
            xScale = std::fabs(double(font.width)) / metrics->averageWidth;

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
        const auto key = std::make_tuple(font.faceName, font.weight, font.italic);
        if (auto it = faces_.find(key); it != faces_.end())
            return it->second;
        FT_Face face = nullptr;
        const FontRequest request{codepage::Cp1252ToUtf8(font.faceName), font.weight, font.italic};
        if (const auto resolved = ResolveFont(request)) {
            if (FT_New_Face(library_, resolved->file.c_str(), resolved->index, &face) != 0)
                face = nullptr;
        }
        faces_.emplace(key, face);
        return face;
    }

    FT_Library library_ = nullptr;
    bool libraryFailed_ = false;
    std::map<std::tuple<std::string, std::int32_t, bool>, FT_Face> faces_;
};

}  // namespace

TextMeasure SystemTextMeasure()
{
    auto cache = std::make_shared<FaceCache>();
    return [cache](const LogFont& font, std::u16string_view text) { return cache->Measure(font, text); };
}

}  // namespace plotwick::gdi
