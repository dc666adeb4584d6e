// A device context that draws on any Cairo context: an image surface for the rasteriser and
// the previews, a vector surface (PDF) for print-quality output.
//
// Pixel model on raster targets. An integer device coordinate names the top-left corner of a
// pixel, as in Windows GDI: pixel (x, y) covers [x, x+1) x [y, y+1).
//  - Fills (FillPath, FillRect) use the coordinates as they are. With antialiasing off, Cairo
//    lights a pixel when its centre (x+0.5, y+0.5) lies inside the area, so the rectangle
//    (0,0)-(10,10) fills exactly pixels 0..9 in both directions: the right and bottom edges
//    are excluded.
//  - Strokes are drawn through the centres of the named pixels, that is half a pixel right of
//    and below the coordinates: a pen of odd width w at y = 5 covers rows 5 - (w-1)/2 to
//    5 + (w-1)/2, and wide pens have round caps and joins.
//  - Pens of width 0, and pens whose width comes to one device pixel or less, are the device's
//    one-pixel line: on an image surface each segment is stepped pixel by pixel (exactly one
//    pixel per step along its major axis), lighting its first pixel and not its last, so
//    that a polyline's segments join without doubling up and the line from (0,5) to (10,5)
//    lights pixels 0..9 of row 5.
//  - Text is placed with its reference point at the pixel corner.
//
// Fonts. The face is the one ResolveFont (fonts/FontResolver) finds for the face name, weight
// (400 regular, 700 bold) and slant; "Arial" resolves to a metric-compatible face. A positive
// height is the character cell height, ascent plus descent as the face's OS/2 table gives them
// for Windows (usWinAscent + usWinDescent; the horizontal header when there is none): the em
// size is height x unitsPerEm / (usWinAscent + usWinDescent), rounded to whole pixels on
// raster targets. A negative height is the em size itself, 0 a default cell of 16 device
// units. A non-zero width scales the characters so that the face's average character width
// (fonts/FaceMetrics: the average weighted by letter frequency, which substitutes share with
// the faces they stand in for) becomes that width. Escapement turns the baseline and the
// characters together (the compatible graphics mode: orientation is not applied separately).
// Text alignment: left, right or centre along the baseline, with the reference point at the
// top of the cell (the default), at the bottom of the cell or on the baseline. In opaque
// background mode the cell behind the text is filled with the background colour first.
// Underline and strike-out are drawn with the face's own positions and thicknesses. Text
// bytes are Windows-1252; text is drawn without antialiasing on raster targets.
//
// On vector targets there is no pixel grid: coordinates are used as they are and the thinnest
// line is one device unit wide.
//
// Logical units. A device may be given a number of logical units per device unit; every
// coordinate, pen width and font height then counts in those finer units and DPtoLP converts
// device points to them. The default of 1 makes logical and device coordinates the same.
#pragma once

#include "platform/device/DeviceContext.h"
#include "platform/device/MonoFill.h"

#include <cstdint>
#include <memory>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_font_face cairo_font_face_t;

namespace plotwick::gdi {

namespace detail {
struct FontFace;  // a resolved face with its cell metrics
struct FlatPoint {
    double x;
    double y;
};
// A clip rectangle in whole pixels.
struct PixelBox {
    std::int64_t x0, y0, x1, y1;
};
}  // namespace detail

// Device-to-logical conversion with a plain scale, rounding to the nearest integer (halves
// away from zero) and saturating at the limits of a 32-bit coordinate.
Point ScaleDeviceToLogical(Point device, double logicalPerDevice);

class CairoDevice : public DeviceContext {
public:
    // How the device treats its target. Automatic: an image surface is a raster target,
    // anything else a vector target.
    enum class Target { Automatic, Raster, Vector };

    // Text alignment flags beyond the two the interface names.
    static constexpr std::uint32_t kAlignUpdateCP = 1;   // not supported; ignored
    static constexpr std::uint32_t kAlignRight = 2;
    static constexpr std::uint32_t kAlignCenter = 6;
    static constexpr std::uint32_t kAlignTop = 0;
    static constexpr std::uint32_t kAlignBottom = 8;

    // The context is referenced, not owned; it must outlive the device. On raster targets the
    // device switches the context's antialiasing off. logicalPerDevice must be positive.
    explicit CairoDevice(cairo_t* cr, double logicalPerDevice = 1.0, Target target = Target::Automatic);
    ~CairoDevice() override;
    CairoDevice(const CairoDevice&) = delete;
    CairoDevice& operator=(const CairoDevice&) = delete;

    bool IsRaster() const { return raster_; }
    double LogicalPerDevice() const { return logicalPerDevice_; }
    cairo_t* Context() const { return cr_; }

    void BeginPath() override;
    void EndPath() override;
    void FillPath() override;
    void StrokePath() override;
    void MoveToEx(std::int32_t x, std::int32_t y) override;
    void LineTo(std::int32_t x, std::int32_t y) override;
    void PolyBezierTo(const Point* points, std::size_t count) override;
    void CloseFigure() override;
    Point CurrentPosition() const override { return current_; }

    void SelectSolidPen(ColorRef color, std::int32_t width) override;
    void SelectSolidBrush(ColorRef color) override;
    void SelectFont(const LogFont& font) override;

    void SetTextColor(ColorRef color) override;
    void SetBkMode(int mode) override;
    void SetTextAlign(std::uint32_t align) override;
    void SetMapperFlags(std::uint32_t flags) override;
    void ExtTextOut(std::int32_t x, std::int32_t y, std::string_view text) override;

    Point DPtoLP(Point device) override;
    void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                  ColorRef color) override;
    void SetGraphicsMode(int mode) override;

    // Current state, for callers that need to save and restore it.
    ColorRef PenColor() const { return penColor_; }
    std::int32_t PenWidth() const { return penWidth_; }
    ColorRef BrushColor() const { return brushColor_; }
    ColorRef TextColor() const { return textColor_; }
    int BkMode() const { return bkMode_; }
    std::uint32_t TextAlign() const { return textAlign_; }
    const LogFont& Font() const { return font_; }

    // The background colour of opaque text (white, as on a fresh device context).
    void SetBkColor(ColorRef color) { bkColor_ = color; }

    // Points flattened so far to clip far-reaching paths to the visible area. Past 262,144 of
    // them (on one device, or on the devices drawing parts of one drawing together) drawing
    // stops with an error, which CheckClippedPoints raises for a total past the limit.
    std::size_t ClippedPoints() const { return clippedPoints_; }
    static void CheckClippedPoints(std::size_t points);

protected:
    // For a device that owns its context and its image surface, which nothing else clips:
    // one-pixel lines then skip asking Cairo for the clip, and fills are written to the pixels
    // directly, as Cairo would fill them, where the Cairo in use is one whose filling
    // MonoFiller follows.
    void OwnContext()
    {
        ownContext_ = true;
        fillPixels_ = detail::CairoFillsAsMonoFiller();
    }

private:
    // Close carries the figure's start point.
    enum class Op : std::uint8_t { Move, Line, Curve, Close };
    struct Segment {
        Op op;
        Point p[3];
    };
    void Append(Op op, const Point* p);
    void EnsureFigure();
    void Emit(const Segment* segs, std::size_t count, bool stroke);
    void EmitClipped(const Segment* segs, std::size_t count, bool stroke, double margin);
    void Fill(const Segment* segs, std::size_t count);
    void Stroke(const Segment* segs, std::size_t count);
    bool StrokeHairlinePixels(const Segment* segs, std::size_t count);
    bool FillPixels(const Segment* segs, std::size_t count);
    cairo_surface_t* OpaquePixelTarget() const;
    double DeviceStrokeWidth() const;
    bool IsHairline() const;
    void SetSource(ColorRef color);

    cairo_t* cr_;
    double logicalPerDevice_;
    bool raster_;

    // Path bracket state and the path itself (kept between calls so that building a path
    // allocates nothing once the buffer has grown).
    bool inBracket_ = false;
    bool figureOpen_ = false;
    std::vector<Segment> path_;
    std::vector<Segment> scratch_;
    std::vector<detail::FlatPoint> flat_, flatTmp_;
    std::vector<detail::PixelBox> clipBoxes_;
    std::size_t clippedPoints_ = 0;  // points flattened for clipping so far
    bool ownContext_ = false;
    bool fillPixels_ = false;
    detail::MonoFiller filler_;
    Point current_{};
    Point figureStart_{};

    ColorRef penColor_ = 0;
    std::int32_t penWidth_ = 0;
    ColorRef brushColor_ = 0x00FFFFFF;
    ColorRef textColor_ = 0;
    ColorRef bkColor_ = 0x00FFFFFF;
    int bkMode_ = BK_OPAQUE;
    std::uint32_t textAlign_ = TA_LEFT;
    LogFont font_;
    std::shared_ptr<const detail::FontFace> face_;
};

}  // namespace plotwick::gdi
