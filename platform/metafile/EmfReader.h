// Reading an Enhanced Metafile into what a Windows Metafile can draw: the paths (curves
// flattened) and texts in the order the EMF draws them, each with the pen, brush, font and text
// state in effect, every coordinate and length in the logical units of one base mapping (the
// mapping of the first drawing record), and the picture frame as a window in those units.
//
// Records that change nothing drawn (brush origin, stretch mode, miter limit, comments, colour
// management) are skipped; the others that a Windows Metafile cannot express (bitmaps,
// regions, clipping, world transforms, saved states, isotropic mapping, raster operations
// other than copying the pen, glyph-index text) fail the conversion.
#pragma once

#include "platform/metafile/EmfRecorder.h"  // RectL
#include "platform/metafile/MetafileFormat.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace plotwick::gdi::metafile {

// Background mode: the background is filled behind text.
constexpr std::uint32_t OPAQUE = 2;

// Throws std::runtime_error with the message, prefixed as an error of the EMF to WMF
// conversion.
[[noreturn]] void FailConversion(const std::string& message);

// ---- What the EMF draws, in the logical units of the base mapping ------------------------------

struct PenSpec {
    std::uint16_t style = PS_SOLID;
    double width = 0;  // 0: the thinnest line
    std::uint32_t color = 0;
};

struct BrushSpec {
    std::uint16_t style = BS_SOLID;
    std::uint32_t color = 0x00FFFFFF;
    std::uint16_t hatch = 0;
};

struct FontSpec {
    double height = 0;
    double width = 0;
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 0;
    std::array<std::uint8_t, 8> flags{};  // italic .. pitch and family, as in the LogFont
    std::string face;                     // Windows-1252
};

struct Figure {
    std::vector<PointD> points;
    bool closed = false;
};

struct PathOp {
    std::vector<Figure> figures;
    bool fill = false;
    bool stroke = false;
    PenSpec pen;
    BrushSpec brush;
    std::uint32_t fillMode = ALTERNATE;
};

struct TextOp {
    PointD reference;
    std::string text;          // Windows-1252
    std::vector<double> dx;    // empty: no character-spacing array
    std::uint16_t options = 0; // ETO_OPAQUE | ETO_CLIPPED
    std::array<double, 4> rect{};
    std::optional<FontSpec> font;
    std::uint32_t align = 0;
    std::uint32_t textColor = 0;
    std::uint32_t bkMode = OPAQUE;
    std::uint32_t bkColor = 0x00FFFFFF;
    std::uint32_t mapperFlags = 0;
};

using Op = std::variant<PathOp, TextOp>;

struct Picture {
    RectL frame;   // the header's picture frame, 0.01 mm
    Mapping base;  // the mapping of the first drawing record: the units of everything below
    std::vector<Op> ops;
    // The window: the picture frame in base logical units.
    double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
};

// Throws std::runtime_error when the EMF is malformed, holds a record that cannot be converted,
// or when its curves, flattened, make the picture more than maxPoints points. Curves are
// flattened to within a fraction of a pixel times coarseness.
Picture ReadEmfPicture(std::span<const std::uint8_t> emf, std::size_t maxPoints, double coarseness = 1);

}  // namespace plotwick::gdi::metafile
