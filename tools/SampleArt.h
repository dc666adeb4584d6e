// Drawing helpers for the sample folder: outlines built from points, moved as a whole, and
// written as the handheld's shape records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/Fixture.h"

namespace plotwick::sample {

using fixture::Bytes;
using fixture::Group;
using fixture::GroupOf;

// Colours as the shape records hold them: 0x00BBGGRR.
constexpr std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return static_cast<std::uint32_t>(r) | static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b) << 16;
}
using Colour = std::optional<std::uint32_t>;
inline constexpr Colour kNone = std::nullopt;

struct Pt {
    double x = 0, y = 0;
};

// An affine map of points: x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    Pt operator()(Pt p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    static Affine Translate(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }
    static Affine Scale(double sx, double sy, Pt about = {});
    // Turns by degrees counter-clockwise as seen on the screen (y grows downwards).
    static Affine Rotate(double degrees, Pt about = {});
    Affine Then(const Affine& next) const;
};

// The instructions of one path, as points, so that a whole outline can be moved before it
// is written. Coordinates are written rounded to hundredths.
class Outline {
public:
    Outline& M(double x, double y) { return Add('M', {{x, y}}); }
    Outline& L(double x, double y) { return Add('L', {{x, y}}); }
    Outline& C(double c1x, double c1y, double c2x, double c2y, double x, double y)
    {
        return Add('C', {{c1x, c1y}, {c2x, c2y}, {x, y}});
    }
    Outline& S(double c2x, double c2y, double x, double y) { return Add('S', {{c2x, c2y}, {x, y}}); }
    Outline& Z() { return Add('z', {}); }
    // Appends another outline's instructions (for shapes with holes or several parts).
    Outline& Append(const Outline& other);

    Outline Mapped(const Affine& m) const;
    std::vector<Bytes> Instructions() const;

private:
    struct Step {
        char kind;
        std::vector<Pt> points;
    };
    Outline& Add(char kind, std::vector<Pt> points)
    {
        steps_.push_back({kind, std::move(points)});
        return *this;
    }
    std::vector<Step> steps_;
};

// Closed outlines of common figures.
Outline Rect(double x, double y, double w, double h);
// Clockwise on the screen: a first 'C' quarter and three smooth 'S' quarters.
Outline Ellipse(double cx, double cy, double rx, double ry);
Outline RoundRect(double x, double y, double w, double h, double r);
Outline Polygon(const std::vector<Pt>& points);
Outline Polyline(const std::vector<Pt>& points);  // open
Outline Star(Pt centre, double outer, double inner, int points, double turnDegrees = 0);

Bytes Shape(Colour fill, Colour stroke, const Outline& outline);

// A text record. The matrix maps the laid-out text (origin at pos) onto the drawing.
Bytes Label(Pt pos, Colour fill, Colour stroke, std::string_view font, std::uint16_t size, std::string_view utf8,
            const fixture::Matrix& matrix = fixture::kIdentity);
// A text matrix that turns the text by degrees about the point where it starts and puts it at at.
fixture::Matrix TurnedAt(Pt at, double degrees, double sx = 1, double sy = 1);

// A string in the handheld's character set from UTF-8; throws for a character the code
// page lacks. Bytes below 0x80 pass unchanged (including control characters).
std::string ToHandheld(std::string_view utf8);

// The shape stream of a record, with the optional sections written before the shapes:
// 'a' the entry table (offset and length of every top-level shape record, from the start of
// the stream), 'f' the canvas size, '#' the creation and modification times.
struct StreamSections {
    bool entryTable = false;
    std::optional<std::pair<std::uint16_t, std::uint16_t>> canvas;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> times;

    StreamSections& Table()
    {
        entryTable = true;
        return *this;
    }
    StreamSections& Canvas(std::uint16_t width, std::uint16_t height)
    {
        canvas = {{width, height}};
        return *this;
    }
    StreamSections& Times(std::uint32_t created, std::uint32_t modified)
    {
        times = {{created, modified}};
        return *this;
    }
};
Bytes ShapeStream(const std::vector<Bytes>& shapes, const StreamSections& sections = {});

}  // namespace plotwick::sample
