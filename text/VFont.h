// The handheld's vector fonts: the global font list, fonts with their glyph caches, glyphs.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/Geometry.h"
#include "model/Shapes.h"

namespace plotwick {

class TDrawDB;
class VFont;

inline constexpr const char* DefaultFontName = "VU Dedadiz";

class VGlyph {
public:
    void Load(const std::string& fileName, const TDrawDB& db);
    // Copies the outlines into list at the pen, recoloured, and advances the pen.
    void AppendOutlines(std::vector<std::unique_ptr<VPath>>& list, FPoint& pen,
                        const std::optional<VColor>& fill, const std::optional<VColor>& stroke) const;
    void WriteSvgOutlines(SvgText& d, int level);  // svg/
    std::int32_t Advance() const { return static_cast<std::int32_t>(FWidth) + FSpacing; }

    std::vector<std::unique_ptr<VPath>> FOutlines;
    std::uint16_t FWidth = 0;
    std::int16_t FSpacing = 0;
};

class VFont {
public:
    explicit VFont(TDrawDB* db);
    ~VFont();

    void ScanGlyphFiles();
    void RegisterGlyphFile(const std::string& fileName);
    VGlyph* GetGlyph(std::uint8_t code);
    void PlaceGlyph(std::uint8_t code, std::vector<std::unique_ptr<VPath>>& list, FPoint& pen,
                    const std::optional<VColor>& fill, const std::optional<VColor>& stroke);
    std::int32_t UnitsPerEm() const;
    void ClearUsedChars() { FUsedChars.fill(0); }
    void MarkUsedChars(const std::string& text);
    void WriteSvgFont(SvgText& d, int index);  // svg/

    TDrawDB* FDB = nullptr;
    std::string FName;
    std::array<std::string, 256> FGlyphFiles;
    std::array<std::unique_ptr<VGlyph>, 256> FGlyphs;
    std::array<std::uint8_t, 256> FUsedChars{};

private:
    std::array<bool, 256> loading_{};  // codes whose glyph is being loaded right now
};

class VFontList {
public:
    void AddFontDatabase(TDrawDB* db);
    VFont* FindFont(const std::string& name) const;
    void Clear() { FFonts.clear(); }

    std::vector<std::pair<std::string, std::unique_ptr<VFont>>> FFonts;
};

// The program's one font list. Created empty at start-up; the window and the command-line tool
// refill it from the font databases of the user folder.
extern VFontList FontList;

}  // namespace plotwick
