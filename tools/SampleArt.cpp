#include "tools/SampleArt.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

#include "platform/fonts/Codepage.h"

namespace plotwick::sample {

Affine Affine::Scale(double sx, double sy, Pt about)
{
    return {sx, 0, 0, sy, about.x - sx * about.x, about.y - sy * about.y};
}

Affine Affine::Rotate(double degrees, Pt about)
{
    const double t = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(t), s = std::sin(t);
    // y grows downwards: a turn that looks counter-clockwise maps (1, 0) to (cos, -sin).
    const Affine turn{c, -s, s, c, 0, 0};
    return Translate(-about.x, -about.y).Then(turn).Then(Translate(about.x, about.y));
}

Affine Affine::Then(const Affine& n) const
{
    return {n.a * a + n.c * b, n.b * a + n.d * b, n.a * c + n.c * d,
            n.b * c + n.d * d, n.a * e + n.c * f + n.e, n.b * e + n.d * f + n.f};
}

Outline& Outline::Append(const Outline& other)
{
    steps_.insert(steps_.end(), other.steps_.begin(), other.steps_.end());
    return *this;
}

Outline Outline::Mapped(const Affine& m) const
{
    Outline out = *this;
    for (Step& s : out.steps_)
        for (Pt& p : s.points)
            p = m(p);
    return out;
}

namespace {
float Tidy(double v)
{
    const double r = std::round(v * 100.0) / 100.0;
    return static_cast<float>(r == 0 ? 0.0 : r);  // never -0
}
}  // namespace

std::vector<Bytes> Outline::Instructions() const
{
    std::vector<Bytes> out;
    for (const Step& s : steps_) {
        const auto X = [&](int i) { return Tidy(s.points[static_cast<std::size_t>(i)].x); };
        const auto Y = [&](int i) { return Tidy(s.points[static_cast<std::size_t>(i)].y); };
        switch (s.kind) {
        case 'M': out.push_back(fixture::M(X(0), Y(0))); break;
        case 'L': out.push_back(fixture::L(X(0), Y(0))); break;
        case 'C': out.push_back(fixture::C(X(0), Y(0), X(1), Y(1), X(2), Y(2))); break;
        case 'S': out.push_back(fixture::S(X(0), Y(0), X(1), Y(1))); break;
        default: out.push_back(fixture::Z()); break;
        }
    }
    return out;
}

Outline Rect(double x, double y, double w, double h)
{
    return Outline().M(x, y).L(x + w, y).L(x + w, y + h).L(x, y + h).Z();
}

namespace {
// The handle length of a cubic quarter circle of radius 1.
constexpr double kArc = 0.5522847498307936;
}

Outline Ellipse(double cx, double cy, double rx, double ry)
{
    const double kx = kArc * rx, ky = kArc * ry;
    return Outline()
        .M(cx + rx, cy)
        .C(cx + rx, cy + ky, cx + kx, cy + ry, cx, cy + ry)
        .S(cx - rx, cy + ky, cx - rx, cy)
        .S(cx - kx, cy - ry, cx, cy - ry)
        .S(cx + rx, cy - ky, cx + rx, cy)
        .Z();
}

Outline RoundRect(double x, double y, double w, double h, double r)
{
    const double k = kArc * r;
    const double x1 = x + w, y1 = y + h;
    return Outline()
        .M(x + r, y)
        .L(x1 - r, y)
        .C(x1 - r + k, y, x1, y + r - k, x1, y + r)
        .L(x1, y1 - r)
        .C(x1, y1 - r + k, x1 - r + k, y1, x1 - r, y1)
        .L(x + r, y1)
        .C(x + r - k, y1, x, y1 - r + k, x, y1 - r)
        .L(x, y + r)
        .C(x, y + r - k, x + r - k, y, x + r, y)
        .Z();
}

Outline Polygon(const std::vector<Pt>& points)
{
    Outline o = Polyline(points);
    return o.Z();
}

Outline Polyline(const std::vector<Pt>& points)
{
    Outline o;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0)
            o.M(points[i].x, points[i].y);
        else
            o.L(points[i].x, points[i].y);
    }
    return o;
}

Outline Star(Pt centre, double outer, double inner, int points, double turnDegrees)
{
    std::vector<Pt> corners;
    for (int i = 0; i < 2 * points; ++i) {
        const double r = i % 2 == 0 ? outer : inner;
        const double t = (turnDegrees + 90.0 + 180.0 * i / points) * std::numbers::pi / 180.0;
        corners.push_back({centre.x + r * std::cos(t), centre.y - r * std::sin(t)});
    }
    return Polygon(corners);
}

Bytes Shape(Colour fill, Colour stroke, const Outline& outline)
{
    return fixture::PathOf(fill, stroke, outline.Instructions());
}

std::string ToHandheld(std::string_view utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        char32_t c;
        std::size_t n;
        if (b < 0x80) {
            c = b;
            n = 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            n = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            n = 3;
        } else {
            c = b & 0x07;
            n = 4;
        }
        if (i + n > utf8.size())
            throw std::runtime_error("broken UTF-8 in a sample text");
        for (std::size_t k = 1; k < n; ++k)
            c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        // The five unused codes of the code page come from the C1 controls of the same value.
        const int code = c < 0x80 ? static_cast<int>(c) : codepage::UnicodeToCp1252(c);
        if (code < 0)
            throw std::runtime_error("a sample text holds a character outside the handheld's character set");
        out.push_back(static_cast<char>(code));
        i += n;
    }
    return out;
}

fixture::Matrix TurnedAt(Pt at, double degrees, double sx, double sy)
{
    const Affine m = Affine::Scale(sx, sy).Then(Affine::Rotate(degrees)).Then(Affine::Translate(at.x, at.y));
    const auto f = [](double v) { return static_cast<float>(std::abs(v) < 1e-12 ? 0.0 : v); };
    return {f(m.a), f(m.b), 0, f(m.c), f(m.d), 0, f(m.e), f(m.f), 1};
}

Bytes Label(Pt pos, Colour fill, Colour stroke, std::string_view font, std::uint16_t size, std::string_view utf8,
            const fixture::Matrix& matrix)
{
    return fixture::Text(Tidy(pos.x), Tidy(pos.y), fill, stroke, font, size, matrix, ToHandheld(utf8));
}

Bytes ShapeStream(const std::vector<Bytes>& shapes, const StreamSections& sections)
{
    Bytes stream;
    std::size_t offset = 0;
    if (sections.entryTable)
        offset += 3 + 8 * shapes.size();
    if (sections.canvas)
        offset += 5;
    if (sections.times)
        offset += 9;
    if (sections.entryTable) {
        stream.tag('a').u16(static_cast<std::uint16_t>(shapes.size()));
        for (const Bytes& s : shapes) {
            stream.u32(static_cast<std::uint32_t>(offset)).u32(static_cast<std::uint32_t>(s.size()));
            offset += s.size();
        }
    }
    if (sections.canvas)
        stream.tag('f').u16(sections.canvas->first).u16(sections.canvas->second);
    if (sections.times)
        stream.tag('#').u32(sections.times->first).u32(sections.times->second);
    for (const Bytes& s : shapes)
        stream.append(s);
    return stream;
}

}  // namespace plotwick::sample
