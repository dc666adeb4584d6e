// The handheld's vector fonts: the global font list, fonts with their glyph caches, glyphs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/Geometry.h"
#include "model/Shapes.h"

namespace plotwick {

class TDrawDB;
class VFont;

namespace files {
class Folder;
}

inline constexpr const char* DefaultFontName = "VU Dedadiz";

class VGlyph {
public:
    // Reads the glyph from its file, opened (handle taken over; -1: "File is not open."), of the
    // size the open found (-1: unknown).
    void Load(int handle, std::int64_t size = -1);
    // Copies the outlines into list at the pen, recoloured, and advances the pen.
    void AppendOutlines(std::vector<std::unique_ptr<VPath>>& list, FPoint& pen,
                        const std::optional<VColor>& fill, const std::optional<VColor>& stroke) const;
    std::int32_t Advance() const { return static_cast<std::int32_t>(FWidth) + FSpacing; }

    std::vector<std::unique_ptr<VPath>> FOutlines;
    std::uint16_t FWidth = 0;
    std::int16_t FSpacing = 0;
};

class VFont {
public:
    explicit VFont(TDrawDB* db);
    ~VFont();

    // The file of a code's glyph, empty when there is none; code 0 is the missing glyph.
    const std::string& GlyphFile(std::uint8_t code);
    void ScanGlyphFiles();
    // The glyph of a code, loaded on first use; the missing glyph (code 0) for a code without
    // a file; none without either. Safe to call from several threads at once.
    VGlyph* GetGlyph(std::uint8_t code);
    // The glyph of exactly this code if it has been loaded, without loading anything.
    VGlyph* CachedGlyph(std::uint8_t code) const { return loaded_[code].load(std::memory_order_acquire); }
    void PlaceGlyph(std::uint8_t code, std::vector<std::unique_ptr<VPath>>& list, FPoint& pen,
                    const std::optional<VColor>& fill, const std::optional<VColor>& stroke);
    std::int32_t UnitsPerEm() const;

    TDrawDB* FDB = nullptr;
    std::string FName;

private:
    std::once_flag scanned_;
    std::unique_ptr<files::Folder> folder_;             // the glyph files' folder, held open once scanned
    std::array<std::string, 256> glyphFiles_;          // filed by code on first use
    std::array<std::unique_ptr<VGlyph>, 256> glyphs_;  // the cache, written under the load lock
    std::array<std::atomic<VGlyph*>, 256> loaded_{};  // published once loaded, read without it
    std::array<bool, 256> loading_{};                 // codes being loaded right now
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
