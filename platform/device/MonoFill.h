// MonoFill: filling a path on 32-bit pixels, even-odd and without antialiasing, pixel for pixel
// as Cairo 1.16's image surface fills it: the same 24.8 fixed point, the same curve
// subdivision, the same edge stepping at the middle of each pixel row and the same spans. A
// preview of a drawing of 200,000 instructions fills some 20,000 small paths; through Cairo
// each of them pays for building its path, setting up a compositor and allocating a scan
// converter, which took more time than finding the pixels.
//
// The filler draws only the paths Cairo would scan-convert as polygons on an unclipped surface
// with no transformation: a path of horizontal and vertical lines alone (Cairo fills those as
// boxes) or one reaching outside the surface is declined, and the caller lets Cairo fill it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plotwick::gdi::detail {

// A point in Cairo's 24.8 fixed point.
struct FixedPoint {
    std::int32_t x;
    std::int32_t y;
};

// Cairo's conversion of a device coordinate to 24.8 fixed point: to the nearest 1/256, halves
// to even, wrapping as Cairo does far outside its range.
std::int32_t ToFixed(double v);

// True when the Cairo this process runs with fills as MonoFiller does (1.16).
bool CairoFillsAsMonoFiller();

// The pixels of an image surface, 32 bits each.
struct PixelTarget {
    std::uint32_t* words;
    std::int32_t width;
    std::int32_t height;
    std::ptrdiff_t rowWords;
};

// The rectangle of pixels a fill may have changed.
struct DirtyRect {
    std::int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool Empty() const { return x0 >= x1 || y0 >= y1; }
};

class MonoFiller {
public:
    // A new path. Points are in device pixels; the filler rounds them to fixed point itself.
    void Begin();
    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
    void Close();

    // Fills the path with `pixel`, with the flattening tolerance of the context (in pixels).
    // Returns false without touching a pixel when the path is one Cairo would not fill as a
    // polygon on this target; `dirty` then stays empty.
    bool Fill(const PixelTarget& target, std::uint32_t pixel, double tolerance, DirtyRect& dirty);

private:
    enum class Op : std::uint8_t { Move, Line, Curve, Close };
    struct Step {
        Op op;
        FixedPoint p[3];
    };
    struct Edge {
        std::int32_t top, bottom;  // rows [top, bottom)
        std::int32_t xQuo, xRem;   // x on the current row, floored, and its remainder less dy
        std::int32_t stepQuo, stepRem;
        std::int32_t dy;
        bool vertical;
    };

    void AddEdge(FixedPoint from, FixedPoint to);
    void AddCurve(FixedPoint a, FixedPoint b, FixedPoint c, FixedPoint d, double toleranceSquared);
    bool PathBounds(const PixelTarget& target);

    std::vector<Step> steps_;
    bool declined_ = false;  // a step this filler does not follow Cairo through

    // Built by Fill: the lines of the flattened path (top point first) and the rows they cross.
    struct Line {
        FixedPoint top, bottom;
    };
    std::vector<Line> lines_;
    std::vector<Edge> edges_;
    std::vector<std::int32_t> rowFirst_, nextInRow_;
    std::vector<Edge*> active_;
    FixedPoint current_{}, figureStart_{}, lastAdded_{};
    std::int32_t polyX0_ = 0, polyX1_ = 0, polyY0_ = 0, polyY1_ = 0;  // fixed
    std::int32_t pathX0_ = 0, pathX1_ = 0, pathY0_ = 0, pathY1_ = 0;  // fixed
};

}  // namespace plotwick::gdi::detail
