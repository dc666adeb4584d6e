#include "platform/device/CairoDevice.h"

#include "platform/fonts/Codepage.h"
#include "platform/fonts/FaceMetrics.h"
#include "platform/fonts/FontResolver.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <numbers>
#include <stdexcept>
#include <string>

namespace plotwick::gdi {

namespace {

// Cairo keeps path coordinates in 24.8 fixed point; beyond about 8 million device units they
// wrap. Paths reaching past this bound are clipped by the device before Cairo sees them.
constexpr double kSafeDeviceRange = 4194304.0;  // 2^22

// Flattening tolerance of the device's own curve flattening, in device pixels.
constexpr double kFlattenTolerance = 0.2;
constexpr int kMaxCurvePieces = 4096;
// A device flattens at most this many points of the paths it clips: a far-reaching curve
// flattens to thousands of points, and a small file of such curves otherwise made a PDF page of
// gigabytes, written for minutes. Paths that stay inside the safe range, as every drawing's
// paths do inside its own page or bitmap, are never flattened and never counted.
constexpr std::size_t kMaxClippedPoints = std::size_t{1} << 18;

// Cell height of a font selected with height 0 ("a reasonable default"), in device units.
constexpr double kDefaultCellHeight = 16.0;
// Larger glyphs are filled as outlines instead of being rasterised to glyph images.
constexpr double kLargestGlyphImage = 256.0;
// Text whose em size exceeds this many device units is not drawn at all.
constexpr double kLargestEm = 1048576.0;
// FreeType refuses a face at 65,536 pixels per em or more, and Cairo then marks the shared face
// as failed, so that no later text in that face would draw; such text (twice the largest
// surface) is left out before the face is asked for that size.
constexpr double kLargestPixelsPerEm = 65535.0;

using DPoint = detail::FlatPoint;

void SetColor(cairo_t* cr, ColorRef color)
{
    cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                         ((color >> 16) & 0xFF) / 255.0);
}

double RoundHalfUp(double v)
{
    const double h = v + 0.5;
    // Below 2^52 in magnitude the truncation to an integer is exact; one step down for negative
    // fractions gives the floor without a library call.
    if (std::fabs(h) < 4503599627370496.0) {
        const double t = static_cast<double>(static_cast<std::int64_t>(h));
        return t > h ? t - 1 : t;
    }
    return std::floor(h);
}

// Points of a cubic Bézier from p0 (exclusive) to p3 (inclusive), flat within tolerance.
void FlattenCubic(DPoint p0, DPoint p1, DPoint p2, DPoint p3, double tolerance, std::vector<DPoint>& out)
{
    const double ax = p0.x - 2 * p1.x + p2.x, ay = p0.y - 2 * p1.y + p2.y;
    const double bx = p1.x - 2 * p2.x + p3.x, by = p1.y - 2 * p2.y + p3.y;
    // The larger of the two second differences' lengths (plain square roots: these are small
    // pixel distances, far from the overflow hypot guards against).
    const double m = std::sqrt(std::max(ax * ax + ay * ay, bx * bx + by * by));
    // Wang's bound on the number of pieces of a cubic, rounded up, at least 1 (also for NaN)
    // and at most kMaxCurvePieces.
    const double q = std::sqrt(0.75 * m / tolerance);
    int n = 1;
    if (q >= kMaxCurvePieces) {
        n = kMaxCurvePieces;
    } else if (q > 1) {
        n = static_cast<int>(q);
        n += n < q ? 1 : 0;
    }
    for (int i = 1; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double u = 1 - t;
        const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        out.push_back({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
    out.push_back(p3);
}

// Sutherland-Hodgman clipping of a closed polygon against an axis-aligned rectangle. The
// winding of every point inside the rectangle is kept, so both fill rules give the same
// pixels there.
void ClipPolygon(std::vector<DPoint>& poly, std::vector<DPoint>& tmp, double x0, double y0, double x1, double y1)
{
    auto clipEdge = [&](auto inside, auto intersect) {
        tmp.clear();
        const std::size_t n = poly.size();
        for (std::size_t i = 0; i < n; ++i) {
            const DPoint a = poly[i];
            const DPoint b = poly[(i + 1) % n];
            const bool ina = inside(a), inb = inside(b);
            if (ina && inb) {
                tmp.push_back(b);
            } else if (ina) {
                tmp.push_back(intersect(a, b));
            } else if (inb) {
                tmp.push_back(intersect(a, b));
                tmp.push_back(b);
            }
        }
        poly.swap(tmp);
    };
    auto atX = [](DPoint a, DPoint b, double x) {
        const double t = (x - a.x) / (b.x - a.x);
        return DPoint{x, a.y + t * (b.y - a.y)};
    };
    auto atY = [](DPoint a, DPoint b, double y) {
        const double t = (y - a.y) / (b.y - a.y);
        return DPoint{a.x + t * (b.x - a.x), y};
    };
    clipEdge([&](DPoint p) { return p.x >= x0; }, [&](DPoint a, DPoint b) { return atX(a, b, x0); });
    clipEdge([&](DPoint p) { return p.x <= x1; }, [&](DPoint a, DPoint b) { return atX(a, b, x1); });
    clipEdge([&](DPoint p) { return p.y >= y0; }, [&](DPoint a, DPoint b) { return atY(a, b, y0); });
    clipEdge([&](DPoint p) { return p.y <= y1; }, [&](DPoint a, DPoint b) { return atY(a, b, y1); });
}

// Liang-Barsky clipping of one segment; false when nothing of it lies inside.
bool ClipSegment(DPoint& a, DPoint& b, double x0, double y0, double x1, double y1)
{
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - x0, x1 - a.x, a.y - y0, y1 - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        if (t0 > t1)
            return false;
    }
    const DPoint start{a.x + t0 * dx, a.y + t0 * dy};
    const DPoint end{a.x + t1 * dx, a.y + t1 * dy};
    a = start;
    b = end;
    return true;
}

std::int32_t Saturate(double v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

}  // namespace

Point ScaleDeviceToLogical(Point device, double logicalPerDevice)
{
    return {Saturate(std::round(device.x * logicalPerDevice)), Saturate(std::round(device.y * logicalPerDevice))};
}

// ---------------------------------------------------------------------------------------------
// Fonts: the face fontconfig picks for a logical font, with the metrics that turn a cell
// height into an em size.

namespace detail {

struct FontFace {
    cairo_font_face_t* face = nullptr;
    // Metrics as fractions of the em.
    double ascent = 0.905;
    double descent = 0.212;
    double avgCharWidth = 0.5;
    double underlinePosition = 0.1;  // below the baseline
    double underlineThickness = 0.07;
    double strikeoutPosition = 0.26;  // above the baseline
    double strikeoutThickness = 0.05;

    double Cell() const { return ascent + descent; }

    FontFace() = default;
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;
    ~FontFace()
    {
        if (face)
            cairo_font_face_destroy(face);
    }
};

}  // namespace detail

namespace {

// The face cache is shared by all devices: resolving a face through fontconfig and reading its
// tables costs far more than drawing a short string.
std::mutex g_faceMutex;

std::shared_ptr<const detail::FontFace> ResolveFontFace(const LogFont& font)
{
    static std::map<std::string, std::shared_ptr<const detail::FontFace>> cache;
    const bool bold = font.weight > 0 && font.weight >= 600;
    const std::string family = codepage::Cp1252ToUtf8(font.faceName);
    const std::string key = family + '\n' + std::to_string(font.weight <= 0 ? 400 : font.weight) + '\n' +
                            (font.italic ? "i" : "r");
    std::lock_guard<std::mutex> lock(g_faceMutex);
    if (auto it = cache.find(key); it != cache.end())
        return it->second;

    auto result = std::make_shared<detail::FontFace>();
    if (const auto resolved = ResolveFont(FontRequest{family, font.weight, font.italic}))
        result->face = cairo_ft_font_face_create_for_pattern(resolved->match);
    if (!result->face || cairo_font_face_status(result->face) != CAIRO_STATUS_SUCCESS) {
        if (result->face)
            cairo_font_face_destroy(result->face);
        result->face = cairo_toy_font_face_create(family.empty() ? "sans-serif" : family.c_str(),
                                                  font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                                                  bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    } else {
        // The cell and average width as Windows GDI takes them (see FaceMetrics), and the
        // positions and thicknesses of the underline and strike-out.
        cairo_matrix_t unit, identity;
        cairo_matrix_init_scale(&unit, 1, 1);
        cairo_matrix_init_identity(&identity);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_scaled_font_t* scaled = cairo_scaled_font_create(result->face, &unit, &identity, options);
        cairo_font_options_destroy(options);
        if (cairo_scaled_font_status(scaled) == CAIRO_STATUS_SUCCESS) {
            if (FT_Face ft = cairo_ft_scaled_font_lock_face(scaled)) {
                if (const auto metrics = ReadFaceMetrics(ft)) {
                    const double upem = metrics->unitsPerEm;
                    result->avgCharWidth = metrics->averageWidth / upem;
                    if (metrics->ascent + metrics->descent > 0) {
                        result->ascent = metrics->ascent / upem;
                        result->descent = metrics->descent / upem;
                    }
                    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
                    if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
                        result->strikeoutPosition = os2->yStrikeoutPosition / upem;
                        result->strikeoutThickness = os2->yStrikeoutSize / upem;
                    }
                    if (ft->underline_thickness > 0) {
                        result->underlinePosition = -ft->underline_position / upem;
                        result->underlineThickness = ft->underline_thickness / upem;
                    }
                }
                cairo_ft_scaled_font_unlock_face(scaled);
            }
        }
        cairo_scaled_font_destroy(scaled);
    }
    if (cache.size() >= 64)
        cache.clear();  // the devices hold the faces they use
    cache.emplace(key, result);
    return result;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

CairoDevice::CairoDevice(cairo_t* cr, double logicalPerDevice, Target target)
    : cr_(cr), logicalPerDevice_(logicalPerDevice)
{
    if (!cr)
        throw std::invalid_argument("CairoDevice needs a Cairo context");
    if (!(logicalPerDevice > 0) || !std::isfinite(logicalPerDevice))
        throw std::invalid_argument("CairoDevice: the logical scale must be positive");
    if (target == Target::Automatic)
        raster_ = cairo_surface_get_type(cairo_get_target(cr)) == CAIRO_SURFACE_TYPE_IMAGE;
    else
        raster_ = target == Target::Raster;
    if (raster_)
        cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
    path_.reserve(64);
}

CairoDevice::~CairoDevice() = default;

// --- Path construction -----------------------------------------------------------------------

void CairoDevice::BeginPath()
{
    path_.clear();
    inBracket_ = true;
    figureOpen_ = false;
}

void CairoDevice::EndPath() { inBracket_ = false; }

void CairoDevice::Append(Op op, const Point* p)
{
    Segment s{op, {}};
    const int n = op == Op::Curve ? 3 : 1;
    for (int i = 0; i < n; ++i)
        s.p[i] = p[i];
    path_.push_back(s);
}

void CairoDevice::EnsureFigure()
{
    // A figure begins at the current position when the path has none open.
    if (!figureOpen_) {
        Append(Op::Move, &current_);
        figureOpen_ = true;
        figureStart_ = current_;
    }
}

void CairoDevice::MoveToEx(std::int32_t x, std::int32_t y)
{
    current_ = figureStart_ = {x, y};
    if (inBracket_) {
        // Consecutive moves leave only the last one.
        if (!path_.empty() && path_.back().op == Op::Move)
            path_.back().p[0] = current_;
        else
            Append(Op::Move, &current_);
        figureOpen_ = true;
    }
}

void CairoDevice::LineTo(std::int32_t x, std::int32_t y)
{
    const Point to{x, y};
    if (inBracket_) {
        EnsureFigure();
        Append(Op::Line, &to);
    } else {
        scratch_.clear();
        scratch_.push_back({Op::Move, {current_, {}, {}}});
        scratch_.push_back({Op::Line, {to, {}, {}}});
        Stroke(scratch_.data(), scratch_.size());
    }
    current_ = to;
}

void CairoDevice::PolyBezierTo(const Point* points, std::size_t count)
{
    // Points beyond the last complete curve are ignored.
    count -= count % 3;
    if (count == 0)
        return;
    if (inBracket_) {
        EnsureFigure();
        for (std::size_t i = 0; i < count; i += 3)
            Append(Op::Curve, points + i);
    } else {
        scratch_.clear();
        scratch_.push_back({Op::Move, {current_, {}, {}}});
        for (std::size_t i = 0; i < count; i += 3)
            scratch_.push_back({Op::Curve, {points[i], points[i + 1], points[i + 2]}});
        Stroke(scratch_.data(), scratch_.size());
    }
    current_ = points[count - 1];
}

void CairoDevice::CloseFigure()
{
    if (!inBracket_ || !figureOpen_)
        return;
    Append(Op::Close, &figureStart_);
    figureOpen_ = false;
    current_ = figureStart_;
}

void CairoDevice::FillPath()
{
    inBracket_ = false;
    Fill(path_.data(), path_.size());
    path_.clear();
    figureOpen_ = false;
}

void CairoDevice::StrokePath()
{
    inBracket_ = false;
    Stroke(path_.data(), path_.size());
    path_.clear();
    figureOpen_ = false;
}

// --- Drawing objects ---------------------------------------------------------------------------

void CairoDevice::SelectSolidPen(ColorRef color, std::int32_t width)
{
    penColor_ = color;
    penWidth_ = width < 0 ? 0 : width;
}

void CairoDevice::SelectSolidBrush(ColorRef color) { brushColor_ = color; }

void CairoDevice::SelectFont(const LogFont& font)
{
    if (face_ && font.faceName == font_.faceName && font.weight == font_.weight && font.italic == font_.italic) {
        font_ = font;
        return;
    }
    font_ = font;
    face_.reset();  // resolved when text is drawn
}

void CairoDevice::SetSource(ColorRef color) { SetColor(cr_, color); }

// --- Filling and stroking ------------------------------------------------------------------------

double CairoDevice::DeviceStrokeWidth() const
{
    const double w = penWidth_ / logicalPerDevice_;
    return raster_ ? RoundHalfUp(w) : w;
}

bool CairoDevice::IsHairline() const
{
    if (penWidth_ <= 0)
        return true;
    // On a vector target a pen thinner than half a device unit (the one-logical-unit outline
    // of a filled glyph) would all but vanish: it is a hairline there too.
    return raster_ ? DeviceStrokeWidth() <= 1.0 : DeviceStrokeWidth() < 0.5;
}

void CairoDevice::Emit(const Segment* segs, std::size_t count, bool stroke)
{
    // The half-pixel shift that puts strokes through pixel centres, in user units.
    double ox = 0, oy = 0;
    if (raster_ && stroke) {
        ox = 0.5;
        oy = 0.5;
        cairo_device_to_user_distance(cr_, &ox, &oy);
    }
    const double k = 1.0 / logicalPerDevice_;

    // Find out whether the path stays within the range Cairo's fixed point can hold.
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    for (std::size_t i = 0; i < count; ++i) {
        const int n = segs[i].op == Op::Curve ? 3 : 1;
        for (int j = 0; j < n; ++j) {
            minX = std::min<double>(minX, segs[i].p[j].x);
            maxX = std::max<double>(maxX, segs[i].p[j].x);
            minY = std::min<double>(minY, segs[i].p[j].y);
            maxY = std::max<double>(maxY, segs[i].p[j].y);
        }
    }
    bool safe = true;
    const double corners[4][2] = {{minX, minY}, {maxX, minY}, {minX, maxY}, {maxX, maxY}};
    cairo_matrix_t ctm;
    cairo_get_matrix(cr_, &ctm);
    for (const auto& c : corners) {
        double dx = c[0] * k + ox, dy = c[1] * k + oy;
        cairo_matrix_transform_point(&ctm, &dx, &dy);
        if (!(std::fabs(dx) < kSafeDeviceRange && std::fabs(dy) < kSafeDeviceRange))
            safe = false;
    }
    if (!safe) {
        double margin = 64, dummy = 0;
        cairo_device_to_user_distance(cr_, &margin, &dummy);
        margin = std::hypot(margin, dummy);
        if (stroke)
            margin += cairo_get_line_width(cr_);
        EmitClipped(segs, count, stroke, margin);
        return;
    }

    cairo_new_path(cr_);
    for (std::size_t i = 0; i < count; ++i) {
        const Segment& s = segs[i];
        switch (s.op) {
        case Op::Move:
            cairo_move_to(cr_, s.p[0].x * k + ox, s.p[0].y * k + oy);
            break;
        case Op::Line:
            cairo_line_to(cr_, s.p[0].x * k + ox, s.p[0].y * k + oy);
            break;
        case Op::Curve:
            cairo_curve_to(cr_, s.p[0].x * k + ox, s.p[0].y * k + oy, s.p[1].x * k + ox, s.p[1].y * k + oy,
                           s.p[2].x * k + ox, s.p[2].y * k + oy);
            break;
        case Op::Close:
            cairo_close_path(cr_);
            break;
        }
    }
}

void CairoDevice::EmitClipped(const Segment* segs, std::size_t count, bool stroke, double margin)
{
    // The visible area in user space, widened so that the cut edges and the caps they create
    // stay out of sight.
    double x0, y0, x1, y1;
    cairo_clip_extents(cr_, &x0, &y0, &x1, &y1);
    x0 -= margin;
    y0 -= margin;
    x1 += margin;
    y1 += margin;

    double ox = 0, oy = 0;
    if (raster_ && stroke) {
        ox = 0.5;
        oy = 0.5;
        cairo_device_to_user_distance(cr_, &ox, &oy);
    }
    const double k = 1.0 / logicalPerDevice_;
    double tx = 1, ty = 0, ux = 0, uy = 1;
    cairo_user_to_device_distance(cr_, &tx, &ty);
    cairo_user_to_device_distance(cr_, &ux, &uy);
    const double deviceScale = std::max(std::hypot(tx, ty), std::hypot(ux, uy));
    const double tolerance = kFlattenTolerance / (deviceScale > 0 ? deviceScale : 1);

    std::vector<DPoint>& poly = flat_;
    std::vector<DPoint>& tmp = flatTmp_;
    poly.clear();
    const auto countPoints = [&]() { CheckClippedPoints(clippedPoints_ + poly.size()); };
    auto flush = [&]() {
        clippedPoints_ += poly.size();
        if (poly.size() < 2)
            return;
        if (!stroke) {
            ClipPolygon(poly, tmp, x0, y0, x1, y1);
            if (poly.size() < 3)
                return;
            cairo_move_to(cr_, poly[0].x, poly[0].y);
            for (std::size_t i = 1; i < poly.size(); ++i)
                cairo_line_to(cr_, poly[i].x, poly[i].y);
            cairo_close_path(cr_);
            return;
        }
        bool joined = false;
        DPoint last{};
        for (std::size_t i = 0; i + 1 < poly.size(); ++i) {
            DPoint a = poly[i], b = poly[i + 1];
            if (!ClipSegment(a, b, x0, y0, x1, y1)) {
                joined = false;
                continue;
            }
            if (!joined || a.x != last.x || a.y != last.y)
                cairo_move_to(cr_, a.x, a.y);
            cairo_line_to(cr_, b.x, b.y);
            last = b;
            joined = true;
        }
    };

    cairo_new_path(cr_);
    DPoint cur{0, 0};
    for (std::size_t i = 0; i < count; ++i) {
        const Segment& s = segs[i];
        const DPoint p0{s.p[0].x * k + ox, s.p[0].y * k + oy};
        switch (s.op) {
        case Op::Move:
            flush();
            poly.clear();
            poly.push_back(p0);
            cur = p0;
            break;
        case Op::Line:
            poly.push_back(p0);
            cur = p0;
            break;
        case Op::Curve: {
            const DPoint p1{s.p[1].x * k + ox, s.p[1].y * k + oy};
            const DPoint p2{s.p[2].x * k + ox, s.p[2].y * k + oy};
            FlattenCubic(cur, p0, p1, p2, tolerance, poly);
            countPoints();
            cur = p2;
            break;
        }
        case Op::Close:
            // The closing edge back to the figure's start, which the next figure begins at.
            poly.push_back(p0);
            flush();
            poly.clear();
            poly.push_back(p0);
            cur = p0;
            break;
        }
    }
    flush();
}

void CairoDevice::CheckClippedPoints(std::size_t points)
{
    if (points > kMaxClippedPoints)
        throw std::runtime_error("The drawing has more than " + std::to_string(kMaxClippedPoints) +
                                 " points once its far-reaching curves are flattened.");
}

void CairoDevice::Fill(const Segment* segs, std::size_t count)
{
    if (count == 0)
        return;
    if (fillPixels_ && FillPixels(segs, count))
        return;
    Emit(segs, count, false);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
    SetSource(brushColor_);
    cairo_fill(cr_);
}

// The target, where opaque colour drawn on it simply replaces 32-bit pixels: an RGB or ARGB
// image surface drawn on with OVER or SOURCE. Null otherwise.
cairo_surface_t* CairoDevice::OpaquePixelTarget() const
{
    cairo_surface_t* surface = cairo_get_target(cr_);
    if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE)
        return nullptr;
    const cairo_format_t format = cairo_image_surface_get_format(surface);
    if (format != CAIRO_FORMAT_RGB24 && format != CAIRO_FORMAT_ARGB32)
        return nullptr;
    const cairo_operator_t op = cairo_get_operator(cr_);
    return op == CAIRO_OPERATOR_OVER || op == CAIRO_OPERATOR_SOURCE ? surface : nullptr;
}

// A fill written to the pixels of the device's own image surface, as Cairo would fill the path
// Emit makes of the segments. Returns false, having drawn nothing, where that is not known to
// give Cairo's pixels; the caller then fills through Cairo.
bool CairoDevice::FillPixels(const Segment* segs, std::size_t count)
{
    cairo_surface_t* surface = OpaquePixelTarget();
    if (!surface || cairo_get_antialias(cr_) != CAIRO_ANTIALIAS_NONE)
        return false;
    cairo_matrix_t ctm;
    cairo_get_matrix(cr_, &ctm);
    if (ctm.xx != 1 || ctm.yx != 0 || ctm.xy != 0 || ctm.yy != 1 || ctm.x0 != 0 || ctm.y0 != 0)
        return false;
    double offsetX = 0, offsetY = 0, scaleX = 1, scaleY = 1;
    cairo_surface_get_device_offset(surface, &offsetX, &offsetY);
    cairo_surface_get_device_scale(surface, &scaleX, &scaleY);
    if (offsetX != 0 || offsetY != 0 || scaleX != 1 || scaleY != 1)
        return false;
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    if (!data)
        return false;

    // The coordinates Emit gives Cairo for a fill (no transformation to apply), inside the
    // surface.
    const double k = 1.0 / logicalPerDevice_;
    bool inside = true;
    const auto at = [&](const Point& p, double& x, double& y) {
        x = p.x * k;
        y = p.y * k;
        inside = inside && x >= 0 && x <= width && y >= 0 && y <= height;
    };
    filler_.Begin();
    for (std::size_t i = 0; i < count && inside; ++i) {
        const Segment& s = segs[i];
        double x0, y0, x1, y1, x2, y2;
        switch (s.op) {
        case Op::Move:
            at(s.p[0], x0, y0);
            filler_.MoveTo(x0, y0);
            break;
        case Op::Line:
            at(s.p[0], x0, y0);
            filler_.LineTo(x0, y0);
            break;
        case Op::Curve:
            at(s.p[0], x0, y0);
            at(s.p[1], x1, y1);
            at(s.p[2], x2, y2);
            filler_.CurveTo(x0, y0, x1, y1, x2, y2);
            break;
        case Op::Close:
            filler_.Close();
            break;
        }
    }
    if (!inside)
        return false;
    cairo_surface_flush(surface);
    const std::uint32_t pixel = 0xFF000000u | ((brushColor_ & 0xFFu) << 16) | (brushColor_ & 0xFF00u) |
                                ((brushColor_ >> 16) & 0xFFu);
    const detail::PixelTarget target{reinterpret_cast<std::uint32_t*>(data), width, height,
                                     cairo_image_surface_get_stride(surface) / 4};
    detail::DirtyRect dirty;
    if (!filler_.Fill(target, pixel, cairo_get_tolerance(cr_), dirty))
        return false;
    if (!dirty.Empty())
        cairo_surface_mark_dirty_rectangle(surface, dirty.x0, dirty.y0, dirty.x1 - dirty.x0, dirty.y1 - dirty.y0);
    return true;
}

void CairoDevice::Stroke(const Segment* segs, std::size_t count)
{
    if (count == 0)
        return;
    if (IsHairline()) {
        if (StrokeHairlinePixels(segs, count))
            return;
        // One pixel on a raster, one device unit (a pixel of the raster at 100 %) on a vector
        // target.
        double w = 1, dummy = 0;
        if (raster_)
            cairo_device_to_user_distance(cr_, &w, &dummy);
        cairo_set_line_width(cr_, std::hypot(w, dummy));
        cairo_set_line_cap(cr_, raster_ ? CAIRO_LINE_CAP_BUTT : CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cr_, raster_ ? CAIRO_LINE_JOIN_MITER : CAIRO_LINE_JOIN_ROUND);
    } else {
        cairo_set_line_width(cr_, DeviceStrokeWidth());
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    }
    Emit(segs, count, true);
    SetSource(penColor_);
    cairo_stroke(cr_);
}

// One-pixel lines on an image surface, stepped pixel by pixel. Returns false when the target
// or its transformation does not allow it; the caller then strokes a one-pixel-wide path.
bool CairoDevice::StrokeHairlinePixels(const Segment* segs, std::size_t count)
{
    if (!raster_)
        return false;
    cairo_surface_t* surface = OpaquePixelTarget();
    if (!surface)
        return false;
    // User space must map to pixels by a whole-pixel translation only.
    cairo_matrix_t ctm;
    cairo_get_matrix(cr_, &ctm);
    const double tx = ctm.x0, ty = ctm.y0;
    if (ctm.xx != 1 || ctm.yx != 0 || ctm.xy != 0 || ctm.yy != 1 || tx != std::floor(tx) || ty != std::floor(ty))
        return false;
    // Nothing clips a context the device owns (asking Cairo would cost more than most lines).
    cairo_rectangle_list_t* clips = nullptr;
    if (!ownContext_) {
        clips = cairo_copy_clip_rectangle_list(cr_);
        if (clips->status != CAIRO_STATUS_SUCCESS) {
            cairo_rectangle_list_destroy(clips);
            return false;
        }
    }

    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    if (!data) {
        if (clips)
            cairo_rectangle_list_destroy(clips);
        return false;
    }
    const std::uint32_t pixel = 0xFF000000u | ((penColor_ & 0xFFu) << 16) | (penColor_ & 0xFF00u) |
                                ((penColor_ >> 16) & 0xFFu);

    // Clip rectangles in whole pixels (a pixel belongs to a rectangle when its centre does).
    using Box = detail::PixelBox;
    std::vector<Box>& boxes = clipBoxes_;
    boxes.clear();
    if (!clips)
        boxes.push_back({0, 0, width, height});
    for (int i = 0; clips && i < clips->num_rectangles; ++i) {
        const cairo_rectangle_t& r = clips->rectangles[i];
        Box b{static_cast<std::int64_t>(std::ceil(r.x + tx - 0.5)), static_cast<std::int64_t>(std::ceil(r.y + ty - 0.5)),
              static_cast<std::int64_t>(std::ceil(r.x + r.width + tx - 0.5)),
              static_cast<std::int64_t>(std::ceil(r.y + r.height + ty - 0.5))};
        b.x0 = std::max<std::int64_t>(b.x0, 0);
        b.y0 = std::max<std::int64_t>(b.y0, 0);
        b.x1 = std::min<std::int64_t>(b.x1, width);
        b.y1 = std::min<std::int64_t>(b.y1, height);
        if (b.x0 < b.x1 && b.y0 < b.y1)
            boxes.push_back(b);
    }
    if (clips)
        cairo_rectangle_list_destroy(clips);

    constexpr double kLimit = 1099511627776.0;  // 2^40: keeps the stepping arithmetic exact
    auto toPixel = [&](double v) {
        return static_cast<std::int64_t>(std::clamp(RoundHalfUp(v), -kLimit, kLimit));
    };
    // Every pixel of a line lies within the box of its end points, so the box of all the end
    // points holds every pixel lit.
    std::int64_t dirtyX0 = width, dirtyY0 = height, dirtyX1 = 0, dirtyY1 = 0;
    const auto extend = [&](std::int64_t x, std::int64_t y) {
        dirtyX0 = std::min(dirtyX0, x);
        dirtyY0 = std::min(dirtyY0, y);
        dirtyX1 = std::max(dirtyX1, x + 1);
        dirtyY1 = std::max(dirtyY1, y + 1);
    };
    auto* const words = reinterpret_cast<std::uint32_t*>(data);
    const std::int64_t rowWords = stride / 4;

    // Lights the pixels of the line from (x0, y0) to (x1, y1), without its last pixel: one
    // pixel per step of the major axis, the minor coordinate rounded from the exact line.
    auto line = [&](std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) __attribute__((always_inline)) {
        const std::int64_t dx = x1 - x0, dy = y1 - y0;
        const std::int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
        const bool xMajor = adx >= ady;
        const std::int64_t n = xMajor ? adx : ady;
        if (n == 0)
            return;
        if (n == 1 && boxes.size() == 1) {
            // One step lights the first pixel alone: most segments of a flattened curve.
            const Box& box = boxes.front();
            if (x0 >= box.x0 && x0 < box.x1 && y0 >= box.y0 && y0 < box.y1)
                words[y0 * rowWords + x0] = pixel;
            return;
        }
        const std::int64_t major0 = xMajor ? x0 : y0;
        const std::int64_t minor0 = xMajor ? y0 : x0;
        const std::int64_t majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
        const std::int64_t minorDelta = xMajor ? dy : dx;
        const std::int64_t minorStep = minorDelta < 0 ? -1 : 1;
        const std::int64_t minorAbs = minorDelta < 0 ? -minorDelta : minorDelta;
        const std::int64_t majorStride = xMajor ? majorStep : majorStep * rowWords;
        const std::int64_t minorStride = xMajor ? minorStep * rowWords : minorStep;
        for (const Box& box : boxes) {
            const std::int64_t lo = xMajor ? box.x0 : box.y0, hi = xMajor ? box.x1 : box.y1;
            const std::int64_t mlo = xMajor ? box.y0 : box.x0, mhi = xMajor ? box.y1 : box.x1;
            // Steps i in [0, n) whose major coordinate lies in [lo, hi).
            std::int64_t iFirst, iLast;
            if (majorStep > 0) {
                iFirst = std::max<std::int64_t>(0, lo - major0);
                iLast = std::min<std::int64_t>(n - 1, hi - 1 - major0);
            } else {
                iFirst = std::max<std::int64_t>(0, major0 - (hi - 1));
                iLast = std::min<std::int64_t>(n - 1, major0 - lo);
            }
            if (iFirst > iLast)
                continue;
            // off = (2 i minorAbs + n) / 2n, kept as quotient and remainder from one step to the
            // next: the numerator grows by 2 minorAbs <= 2n a step, so the quotient by 0 or 1.
            const std::int64_t twoN = 2 * n, stepNum = 2 * minorAbs;
            std::int64_t off = 0, rem = n;  // at i = 0
            if (iFirst > 0) {
                __extension__ typedef __int128 Wide;
                const Wide start = static_cast<Wide>(2) * iFirst * minorAbs + n;
                off = static_cast<std::int64_t>(start / twoN);
                rem = static_cast<std::int64_t>(start % twoN);
            }
            std::int64_t minor = minor0 + minorStep * off;
            const std::int64_t major = major0 + majorStep * iFirst;
            // The index of the pixel in the surface's words; only used while it is inside.
            std::int64_t at = xMajor ? minor * rowWords + major : major * rowWords + minor;
            for (std::int64_t i = iFirst;; ++i) {
                if (minor >= mlo && minor < mhi)
                    words[at] = pixel;
                if (i == iLast)
                    break;
                at += majorStride;
                rem += stepNum;
                if (rem >= twoN) {
                    rem -= twoN;
                    minor += minorStep;
                    at += minorStride;
                }
            }
        }
    };

    const double k = 1.0 / logicalPerDevice_;
    std::vector<DPoint>& pts = flat_;
    DPoint cur{0, 0};
    std::int64_t cx = 0, cy = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Segment& s = segs[i];
        const DPoint p0{s.p[0].x * k + tx, s.p[0].y * k + ty};
        switch (s.op) {
        case Op::Move:
            cur = p0;
            cx = toPixel(p0.x);
            cy = toPixel(p0.y);
            extend(cx, cy);
            break;
        case Op::Line:
        case Op::Close: {  // a closing edge runs to the figure's start
            const std::int64_t nx = toPixel(p0.x), ny = toPixel(p0.y);
            extend(nx, ny);
            line(cx, cy, nx, ny);
            cx = nx;
            cy = ny;
            cur = p0;
            break;
        }
        case Op::Curve: {
            const DPoint p1{s.p[1].x * k + tx, s.p[1].y * k + ty};
            const DPoint p2{s.p[2].x * k + tx, s.p[2].y * k + ty};
            pts.clear();
            FlattenCubic(cur, p0, p1, p2, kFlattenTolerance, pts);
            for (const DPoint& p : pts) {
                const std::int64_t nx = toPixel(p.x), ny = toPixel(p.y);
                extend(nx, ny);
                line(cx, cy, nx, ny);
                cx = nx;
                cy = ny;
            }
            cur = p2;
            break;
        }
        }
    }
    dirtyX0 = std::max<std::int64_t>(dirtyX0, 0);
    dirtyY0 = std::max<std::int64_t>(dirtyY0, 0);
    dirtyX1 = std::min<std::int64_t>(dirtyX1, width);
    dirtyY1 = std::min<std::int64_t>(dirtyY1, height);
    if (dirtyX0 < dirtyX1 && dirtyY0 < dirtyY1)
        cairo_surface_mark_dirty_rectangle(surface, static_cast<int>(dirtyX0), static_cast<int>(dirtyY0),
                                           static_cast<int>(dirtyX1 - dirtyX0), static_cast<int>(dirtyY1 - dirtyY0));
    return true;
}

// --- Text --------------------------------------------------------------------------------------

void CairoDevice::SetTextColor(ColorRef color) { textColor_ = color; }
void CairoDevice::SetBkMode(int mode)
{
    if (mode == BK_TRANSPARENT || mode == BK_OPAQUE)
        bkMode_ = mode;
}
void CairoDevice::SetTextAlign(std::uint32_t align) { textAlign_ = align; }
void CairoDevice::SetMapperFlags(std::uint32_t) {}
void CairoDevice::SetGraphicsMode(int) {}

void CairoDevice::ExtTextOut(std::int32_t x, std::int32_t y, std::string_view text)
{
    if (text.empty())
        return;
    if (!face_)
        face_ = ResolveFontFace(font_);
    const detail::FontFace& face = *face_;

    // Em size in device units: a positive height is the cell height (ascent + descent), a
    // negative one the em size itself.
    double em;
    if (font_.height > 0)
        em = font_.height / logicalPerDevice_ / face.Cell();
    else if (font_.height < 0)
        em = -static_cast<double>(font_.height) / logicalPerDevice_;
    else
        em = kDefaultCellHeight / face.Cell();
    if (raster_)
        em = std::max(1.0, RoundHalfUp(em));
    if (!(em > 0) || em > kLargestEm)
        return;
    double emX = em;
    if (font_.width != 0) {
        emX = std::abs(static_cast<double>(font_.width)) / logicalPerDevice_ / face.avgCharWidth;
        if (raster_)
            emX = std::max(1.0, RoundHalfUp(emX));
        if (emX > kLargestEm)
            return;
    }

    const double k = 1.0 / logicalPerDevice_;
    double ux = x * k, uy = y * k;
    {
        double dx = ux, dy = uy;
        cairo_user_to_device(cr_, &dx, &dy);
        if (!(std::fabs(dx) < kSafeDeviceRange && std::fabs(dy) < kSafeDeviceRange))
            return;
    }

    // Single-byte text through the code page; a zero byte has no character of its own and is
    // drawn as the font's missing glyph, as any other code without a glyph.
    std::string bytes(text);
    std::replace(bytes.begin(), bytes.end(), '\0', '\x01');
    const std::string utf8 = codepage::Cp1252ToUtf8(bytes);

    cairo_save(cr_);
    cairo_translate(cr_, ux, uy);
    // Escapement is counter-clockwise on screen; with y growing downwards that is a negative
    // rotation in Cairo's terms.
    const double angle = -(font_.escapement % 3600) / 10.0 * std::numbers::pi / 180.0;
    cairo_rotate(cr_, angle);
    cairo_matrix_t fm;
    cairo_matrix_init_scale(&fm, emX, em);
    {
        cairo_matrix_t ctm, full;
        cairo_get_matrix(cr_, &ctm);
        cairo_matrix_multiply(&full, &fm, &ctm);
        if (!(std::hypot(full.xx, full.yx) < kLargestPixelsPerEm && std::hypot(full.xy, full.yy) < kLargestPixelsPerEm)) {
            cairo_restore(cr_);
            return;
        }
    }
    cairo_set_font_face(cr_, face.face);
    cairo_set_font_matrix(cr_, &fm);
    cairo_font_options_t* options = cairo_font_options_create();
    if (raster_) {
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
    } else {
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    }
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);

    cairo_scaled_font_t* scaled = cairo_get_scaled_font(cr_);
    cairo_glyph_t* glyphs = nullptr;
    int glyphCount = 0;
    if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS ||
        cairo_scaled_font_text_to_glyphs(scaled, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &glyphs,
                                         &glyphCount, nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS) {
        cairo_restore(cr_);
        return;
    }
    cairo_text_extents_t extents;
    cairo_scaled_font_glyph_extents(scaled, glyphs, glyphCount, &extents);
    const double advance = extents.x_advance;
    const double ascent = em * face.ascent, descent = em * face.descent;

    double ox = 0, oy = 0;
    switch (textAlign_ & kAlignCenter) {
    case kAlignRight:
        ox = -advance;
        break;
    case kAlignCenter:
        ox = -advance / 2;
        break;
    default:
        break;
    }
    switch (textAlign_ & TA_BASELINE) {
    case TA_BASELINE:
        break;
    case kAlignBottom:
        oy = -descent;
        break;
    default:  // top
        oy = ascent;
        break;
    }
    if (raster_) {
        ox = RoundHalfUp(ox);
        oy = RoundHalfUp(oy);
    }
    for (int i = 0; i < glyphCount; ++i) {
        glyphs[i].x += ox;
        glyphs[i].y += oy;
    }

    if (bkMode_ == BK_OPAQUE) {
        const double top = raster_ ? RoundHalfUp(oy - ascent) : oy - ascent;
        const double bottom = raster_ ? RoundHalfUp(oy + descent) : oy + descent;
        cairo_rectangle(cr_, ox, top, advance, bottom - top);
        SetSource(bkColor_);
        cairo_fill(cr_);
    }

    SetSource(textColor_);
    if (em > kLargestGlyphImage || emX > kLargestGlyphImage) {
        cairo_new_path(cr_);
        cairo_glyph_path(cr_, glyphs, glyphCount);
        cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
        cairo_fill(cr_);
    } else {
        cairo_show_glyphs(cr_, glyphs, glyphCount);
    }
    auto line = [&](double position, double thickness) {
        double t = thickness * em;
        double top = oy + position * em - t / 2;
        if (raster_) {
            t = std::max(1.0, RoundHalfUp(t));
            top = RoundHalfUp(top);
        }
        cairo_rectangle(cr_, ox, top, advance, t);
        cairo_fill(cr_);
    };
    if (font_.underline)
        line(face.underlinePosition, face.underlineThickness);
    if (font_.strikeOut)
        line(-face.strikeoutPosition, face.strikeoutThickness);
    cairo_glyph_free(glyphs);
    cairo_restore(cr_);
}

// --- Mapping and rectangles ------------------------------------------------------------------------

Point CairoDevice::DPtoLP(Point device) { return ScaleDeviceToLogical(device, logicalPerDevice_); }

void CairoDevice::FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                           ColorRef color)
{
    if (right <= left || bottom <= top)
        return;
    const double k = 1.0 / logicalPerDevice_;
    double x0 = left * k, y0 = top * k, x1 = right * k, y1 = bottom * k;
    // Cut the rectangle to the visible area, keeping its edges where they are visible.
    double cx0, cy0, cx1, cy1;
    cairo_clip_extents(cr_, &cx0, &cy0, &cx1, &cy1);
    x0 = std::max(x0, std::floor(cx0) - 1);
    y0 = std::max(y0, std::floor(cy0) - 1);
    x1 = std::min(x1, std::ceil(cx1) + 1);
    y1 = std::min(y1, std::ceil(cy1) + 1);
    if (x1 <= x0 || y1 <= y0)
        return;
    cairo_new_path(cr_);
    cairo_rectangle(cr_, x0, y0, x1 - x0, y1 - y0);
    SetSource(color);
    cairo_fill(cr_);
}

}  // namespace plotwick::gdi
