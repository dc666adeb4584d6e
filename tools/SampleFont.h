// The vector fonts of the sample folder, converted from the outlines of installed system faces.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Fixture.h"

namespace plotwick::sample {

// An installed face as fontconfig found it.
struct SystemFace {
    std::string family;  // the family that matched
    std::string file;
    int index = 0;
};

// The first of the families that fontconfig has installed, in its regular (upright, book)
// style. Throws std::runtime_error naming all of them when none is installed: the sample
// must never be built from whatever face fontconfig would substitute.
SystemFace FindSystemFace(std::initializer_list<const char*> families);

// One glyph in the form of the handheld's glyph records: filled paths (font units, y
// downwards, origin on the baseline) and the two metrics. Each path is one outer contour with
// the holes inside it, so that it fills alike with the even-odd and the non-zero rule; parts
// that overlap (a cedilla joined to its letter) are separate paths and simply paint twice.
struct ConvertedGlyph {
    std::vector<std::vector<fixture::Bytes>> paths;  // none for a blank glyph such as the space
    std::uint16_t width = 0;
    std::int16_t spacing = 0;
};

// Reads glyph outlines of one face through FreeType, unscaled and unhinted.
class FaceConverter {
public:
    explicit FaceConverter(const SystemFace& face);
    ~FaceConverter();
    FaceConverter(const FaceConverter&) = delete;
    FaceConverter& operator=(const FaceConverter&) = delete;

    std::uint16_t UnitsPerEm() const;
    // The glyph of a Unicode character, or none when the face has no glyph for it. The advance
    // is split into width + spacing: spacing as given, width the rest.
    std::optional<ConvertedGlyph> Convert(char32_t character, std::int16_t spacing) const;
    // The glyph drawn for characters the font lacks: a hollow box of the face's proportions.
    ConvertedGlyph MissingGlyph(std::int16_t spacing) const;

private:
    struct Impl;
    Impl* impl_;
};

// Writes one font database below DFNT: header with the em size, one glyph record per code
// (record name: the code byte; file name: g<Unicode in hex>.dat) and the missing glyph
// (empty record name, missing.dat). Every code must have a glyph in the face, else throws.
void WriteFontDatabase(fixture::UserFolder& user, const std::string& fontName, const SystemFace& face,
                       const std::vector<std::uint8_t>& codes, std::int16_t spacing);

// The printable codes of the handheld's character set: 0x20-0x7E, 0xA0-0xFF and the assigned
// codes of 0x80-0x9F, ascending.
std::vector<std::uint8_t> PrintableCodes();

}  // namespace plotwick::sample
