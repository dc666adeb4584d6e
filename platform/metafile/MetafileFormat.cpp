#include "platform/metafile/MetafileFormat.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace plotwick::gdi::metafile {

void ByteWriter::F32(float v)
{
    U32(std::bit_cast<std::uint32_t>(v));
}

float ByteReader::F32(std::size_t at) const
{
    return std::bit_cast<float>(U32(at));
}

std::int64_t RoundDiv(std::int64_t n, std::int64_t d)
{
    if (d < 0) {
        n = -n;
        d = -d;
    }
    const std::int64_t q = n / d;
    const std::int64_t r = n % d;  // same sign as n
    if (2 * (r < 0 ? -r : r) >= d)
        return n < 0 ? q - 1 : q + 1;
    return q;
}

std::int32_t RoundToInt32(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = std::round(v);
    if (r >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (r <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

std::int16_t RoundToInt16(double v)
{
    const std::int32_t r = RoundToInt32(v);
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(r, -32768, 32767));
}

namespace {

std::int32_t Saturate32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

Mapping::Mapping(std::int32_t devicePixelsX, std::int32_t devicePixelsY, std::int32_t deviceMicrometresX,
                 std::int32_t deviceMicrometresY)
    : devicePixelsX_(devicePixelsX > 0 ? devicePixelsX : 1),
      devicePixelsY_(devicePixelsY > 0 ? devicePixelsY : 1),
      deviceMicrometresX_(deviceMicrometresX > 0 ? deviceMicrometresX : 1),
      deviceMicrometresY_(deviceMicrometresY > 0 ? deviceMicrometresY : 1)
{
}

void Mapping::SetFixedExtents(std::int64_t numerator, std::int64_t denominator)
{
    // Window: the size of the reference device in the mode's unit; viewport: its size in
    // pixels, y growing upwards.
    winExtX_ = std::max<std::int64_t>(1, RoundDiv(std::int64_t(deviceMicrometresX_) * numerator, denominator));
    winExtY_ = std::max<std::int64_t>(1, RoundDiv(std::int64_t(deviceMicrometresY_) * numerator, denominator));
    vpExtX_ = devicePixelsX_;
    vpExtY_ = -std::int64_t(devicePixelsY_);
}

bool Mapping::SetMapMode(int mode)
{
    switch (mode) {
    case MM_TEXT:
        winExtX_ = winExtY_ = vpExtX_ = vpExtY_ = 1;
        break;
    case MM_LOMETRIC:  // 0.1 mm
        SetFixedExtents(1, 100);
        break;
    case MM_HIMETRIC:  // 0.01 mm
        SetFixedExtents(1, 10);
        break;
    case MM_LOENGLISH:  // 0.01 inch = 254 micrometres
        SetFixedExtents(1, 254);
        break;
    case MM_HIENGLISH:  // 0.001 inch
        SetFixedExtents(10, 254);
        break;
    case MM_TWIPS:  // 1/1440 inch
        SetFixedExtents(1440, 25400);
        break;
    case MM_ANISOTROPIC:
        // Entering the mode keeps the current extents.
        break;
    default:
        return false;
    }
    mode_ = mode;
    return true;
}

bool Mapping::SetWindowExt(std::int32_t cx, std::int32_t cy)
{
    if (cx == 0 || cy == 0)
        return false;
    if (mode_ == MM_ANISOTROPIC) {
        winExtX_ = cx;
        winExtY_ = cy;
    }
    return true;
}

bool Mapping::SetViewportExt(std::int32_t cx, std::int32_t cy)
{
    if (cx == 0 || cy == 0)
        return false;
    if (mode_ == MM_ANISOTROPIC) {
        vpExtX_ = cx;
        vpExtY_ = cy;
    }
    return true;
}

std::int32_t Mapping::DeviceToLogicalX(std::int32_t x) const
{
    return Saturate32(RoundDiv((std::int64_t(x) - vpOrgX_) * winExtX_, vpExtX_) + winOrgX_);
}

std::int32_t Mapping::DeviceToLogicalY(std::int32_t y) const
{
    return Saturate32(RoundDiv((std::int64_t(y) - vpOrgY_) * winExtY_, vpExtY_) + winOrgY_);
}

void BoxD::Add(PointD p)
{
    if (empty) {
        left = right = p.x;
        top = bottom = p.y;
        empty = false;
        return;
    }
    left = std::min(left, p.x);
    right = std::max(right, p.x);
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
}

void BoxD::Add(const BoxD& b)
{
    if (b.empty)
        return;
    Add(PointD{b.left, b.top});
    Add(PointD{b.right, b.bottom});
}

namespace {

double CubicAt(double a, double b, double c, double d, double t)
{
    const double u = 1 - t;
    return u * u * u * a + 3 * u * u * t * b + 3 * u * t * t * c + t * t * t * d;
}

// Parameters in (0, 1) where the derivative of one coordinate of the cubic is zero.
int CubicExtremes(double a, double b, double c, double d, double out[2])
{
    // B'(t)/3 = A t^2 + B t + C with
    const double qa = -a + 3 * b - 3 * c + d;
    const double qb = 2 * (a - 2 * b + c);
    const double qc = b - a;
    int n = 0;
    auto keep = [&](double t) {
        if (t > 0 && t < 1)
            out[n++] = t;
    };
    const double scale = std::max({std::fabs(qa), std::fabs(qb), std::fabs(qc)});
    if (scale == 0)
        return 0;
    if (std::fabs(qa) <= 1e-12 * scale) {
        if (qb != 0)
            keep(-qc / qb);
        return n;
    }
    const double disc = qb * qb - 4 * qa * qc;
    if (disc < 0)
        return 0;
    const double s = std::sqrt(disc);
    keep((-qb + s) / (2 * qa));
    keep((-qb - s) / (2 * qa));
    return n;
}

}  // namespace

BoxD CubicBounds(PointD p0, PointD p1, PointD p2, PointD p3)
{
    BoxD box;
    box.Add(p0);
    box.Add(p3);
    double t[2];
    for (int i = 0, n = CubicExtremes(p0.x, p1.x, p2.x, p3.x, t); i < n; ++i)
        box.Add(PointD{CubicAt(p0.x, p1.x, p2.x, p3.x, t[i]), CubicAt(p0.y, p1.y, p2.y, p3.y, t[i])});
    for (int i = 0, n = CubicExtremes(p0.y, p1.y, p2.y, p3.y, t); i < n; ++i)
        box.Add(PointD{CubicAt(p0.x, p1.x, p2.x, p3.x, t[i]), CubicAt(p0.y, p1.y, p2.y, p3.y, t[i])});
    return box;
}

int CubicSegments(PointD p0, PointD p1, PointD p2, PointD p3, double tolerance)
{
    // The distance between the curve and its chord polygon over n uniform steps is at most
    // max|B''| / (8 n^2), and |B''| <= 6 max(|p0 - 2p1 + p2|, |p1 - 2p2 + p3|).
    const double ax = p0.x - 2 * p1.x + p2.x, ay = p0.y - 2 * p1.y + p2.y;
    const double bx = p1.x - 2 * p2.x + p3.x, by = p1.y - 2 * p2.y + p3.y;
    const double m = std::sqrt(std::max(ax * ax + ay * ay, bx * bx + by * by));
    if (!(tolerance > 0) || !std::isfinite(m))
        return 1;
    const double n = std::ceil(std::sqrt(0.75 * m / tolerance));
    constexpr int kMaxSegments = 4096;
    if (!(n >= 1))
        return 1;
    return n > kMaxSegments ? kMaxSegments : static_cast<int>(n);
}

void FlattenCubic(PointD p0, PointD p1, PointD p2, PointD p3, double tolerance, std::vector<PointD>& out)
{
    const int n = CubicSegments(p0, p1, p2, p3, tolerance);
    for (int i = 1; i < n; ++i) {
        const double t = double(i) / n;
        out.push_back(PointD{CubicAt(p0.x, p1.x, p2.x, p3.x, t), CubicAt(p0.y, p1.y, p2.y, p3.y, t)});
    }
    out.push_back(p3);
}

}  // namespace plotwick::gdi::metafile
