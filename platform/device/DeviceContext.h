// The device-context interface: the short list of drawing operations the renderer, the text
// drawing and the metafile output use. Implemented by the Cairo raster device, the Enhanced
// Metafile recorder and the recording device of the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plotwick::gdi {

// Colours are 0x00BBGGRR (red in the low byte) throughout.
using ColorRef = std::uint32_t;

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A logical font as the substitute-face drawing creates it.
struct LogFont {
    std::int32_t height = 0;       // > 0: character cell height (ascent + descent), logical units
    std::int32_t width = 0;
    std::int32_t escapement = 0;   // tenths of a degree, counter-clockwise on screen
    std::int32_t orientation = 0;  // tenths of a degree
    std::int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charSet = 1;      // DEFAULT_CHARSET
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    std::string faceName;          // Windows-1252 bytes
    friend bool operator==(const LogFont&, const LogFont&) = default;
};

// Text alignment flags (combined: 24 = TA_BASELINE | TA_LEFT).
constexpr std::uint32_t TA_LEFT = 0;
constexpr std::uint32_t TA_BASELINE = 24;
// Background modes.
constexpr int BK_TRANSPARENT = 1;
constexpr int BK_OPAQUE = 2;
// Graphics modes.
constexpr int GM_COMPATIBLE = 1;

class DeviceContext {
public:
    virtual ~DeviceContext() = default;

    // Path bracket and path construction. The polygon fill mode is always alternate
    // (even-odd). PolyBezierTo takes a multiple of three points: control 1, control 2, end.
    // CloseFigure joins the open figure of the path being built to its start, as a stroke
    // then draws it (joined, without caps); the current position becomes that start.
    virtual void BeginPath() = 0;
    virtual void EndPath() = 0;
    virtual void FillPath() = 0;
    virtual void StrokePath() = 0;
    virtual void MoveToEx(std::int32_t x, std::int32_t y) = 0;
    virtual void LineTo(std::int32_t x, std::int32_t y) = 0;
    virtual void PolyBezierTo(const Point* points, std::size_t count) = 0;
    virtual void CloseFigure() = 0;
    // Where the last MoveToEx, LineTo, PolyBezierTo or CloseFigure left the pen; (0, 0) at first.
    virtual Point CurrentPosition() const = 0;

    // Drawing objects. A pen of width 0 is the device's thinnest line.
    virtual void SelectSolidPen(ColorRef color, std::int32_t width) = 0;
    virtual void SelectSolidBrush(ColorRef color) = 0;
    virtual void SelectFont(const LogFont& font) = 0;

    // Text output of single-byte (Windows-1252) text at a logical point.
    virtual void SetTextColor(ColorRef color) = 0;
    virtual void SetBkMode(int mode) = 0;
    virtual void SetTextAlign(std::uint32_t align) = 0;
    virtual void SetMapperFlags(std::uint32_t flags) = 0;
    virtual void ExtTextOut(std::int32_t x, std::int32_t y, std::string_view text) = 0;

    // Device-to-logical conversion of one point, through the context's mapping.
    virtual Point DPtoLP(Point device) = 0;
    // Fills [left, right) x [top, bottom) with a solid colour.
    virtual void FillRect(std::int32_t left, std::int32_t top, std::int32_t right,
                          std::int32_t bottom, ColorRef color) = 0;
    virtual void SetGraphicsMode(int mode) = 0;
};

}  // namespace plotwick::gdi
