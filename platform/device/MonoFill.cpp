#include "platform/device/MonoFill.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include <cairo.h>

// Cairo's arithmetic is followed operation by operation; a fused multiply-add would round
// differently from the library's own build.
#pragma GCC optimize("fp-contract=off")

namespace plotwick::gdi::detail {

namespace {

constexpr std::int32_t kFixedOne = 256;

std::int32_t Wrap(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

bool operator==(FixedPoint a, FixedPoint b) { return a.x == b.x && a.y == b.y; }
bool operator!=(FixedPoint a, FixedPoint b) { return !(a == b); }

double ToDouble(std::int32_t f) { return static_cast<double>(f) / 256.0; }

// Whole pixels: the floor and the ceiling of a fixed-point value, and the nearest whole
// number with halves rounded down (the scan converter's rows and crossings).
std::int32_t Floor(std::int32_t f) { return f >> 8; }
std::int32_t RoundDown(std::int32_t f) { return Wrap(std::int64_t{f} + 127) >> 8; }
std::int32_t Ceil(std::int32_t f)
{
    if (f > 0)
        return ((f - 1) >> 8) + 1;
    return -static_cast<std::int32_t>(static_cast<std::uint32_t>(-static_cast<std::int64_t>(f)) >> 8);
}

// Floored quotient and remainder of (x * a) / b.
struct QuoRem {
    std::int32_t quo;
    std::int32_t rem;
};
QuoRem FlooredMulDivRem(std::int32_t x, std::int32_t a, std::int32_t b)
{
    const long long xa = static_cast<long long>(x) * a;
    QuoRem qr{static_cast<std::int32_t>(xa / b), static_cast<std::int32_t>(xa % b)};
    if ((xa >= 0) != (b >= 0) && qr.rem != 0) {
        qr.quo -= 1;
        qr.rem += b;
    }
    return qr;
}


struct Box {
    FixedPoint p1, p2;
    void Add(FixedPoint p)
    {
        if (p.x < p1.x)
            p1.x = p.x;
        else if (p.x > p2.x)
            p2.x = p.x;
        if (p.y < p1.y)
            p1.y = p.y;
        else if (p.y > p2.y)
            p2.y = p.y;
    }
    bool Contains(FixedPoint p) const { return p1.x <= p.x && p.x <= p2.x && p1.y <= p.y && p.y <= p2.y; }
};

// The points where a cubic's coordinates reach their extremes, added to the box: the path's
// extents, which bound the pixels Cairo lets a fill change.
void AddCurveBounds(Box& box, FixedPoint p0, FixedPoint p1, FixedPoint p2, FixedPoint p3)
{
    const double x0 = ToDouble(p0.x), y0 = ToDouble(p0.y), x1 = ToDouble(p1.x), y1 = ToDouble(p1.y);
    const double x2 = ToDouble(p2.x), y2 = ToDouble(p2.y), x3 = ToDouble(p3.x), y3 = ToDouble(p3.y);
    double t[4];
    int count = 0;
    const auto add = [&](double t0) {
        if (0 < t0 && t0 < 1)
            t[count++] = t0;
    };
    // The roots in (0, 1) of a t^2 + 2 b t + c, the derivative of one coordinate.
    const auto extremes = [&](double a, double b, double c) {
        if (a == 0) {
            if (b != 0)
                add(-c / (2 * b));
            return;
        }
        const double b2 = b * b;
        const double delta = b2 - a * c;
        if (delta > 0) {
            bool feasible;
            const double ab2 = 2 * a * b;
            if (ab2 >= 0)
                feasible = delta > b2 && delta < a * a + b2 + ab2;
            else if (-b / a >= 1)
                feasible = delta < b2 && delta > a * a + b2 + ab2;
            else
                feasible = delta < b2 || delta < a * a + b2 + ab2;
            if (feasible) {
                const double root = std::sqrt(delta);
                add((-b - root) / a);
                add((-b + root) / a);
            }
        } else if (delta == 0) {
            add(-b / a);
        }
    };
    extremes(-x0 + 3 * x1 - 3 * x2 + x3, x0 - 2 * x1 + x2, -x0 + x1);
    extremes(-y0 + 3 * y1 - 3 * y2 + y3, y0 - 2 * y1 + y2, -y0 + y1);
    box.Add(p0);
    for (int i = 0; i < count; ++i) {
        const double t10 = t[i], t01 = 1 - t10;
        const double t20 = t10 * t10, t02 = t01 * t01;
        const double t30 = t20 * t10, t213 = t20 * t01 * 3, t123 = t10 * t02 * 3, t03 = t01 * t02;
        const double x = x0 * t03 + x1 * t123 + x2 * t213 + x3 * t30;
        const double y = y0 * t03 + y1 * t123 + y2 * t213 + y3 * t30;
        box.Add({ToFixed(x), ToFixed(y)});
    }
    box.Add(p3);
}

struct Knots {
    FixedPoint a, b, c, d;
};

FixedPoint Half(FixedPoint a, FixedPoint b) { return {a.x + ((b.x - a.x) >> 1), a.y + ((b.y - a.y) >> 1)}; }

void Split(Knots& s1, Knots& s2)
{
    const FixedPoint ab = Half(s1.a, s1.b), bc = Half(s1.b, s1.c), cd = Half(s1.c, s1.d);
    const FixedPoint abbc = Half(ab, bc), bccd = Half(bc, cd);
    const FixedPoint middle = Half(abbc, bccd);
    s2 = {middle, bccd, cd, s1.d};
    s1.b = ab;
    s1.c = abbc;
    s1.d = middle;
}

// An upper bound on the squared distance of the control points from the chord.
double ErrorSquared(const Knots& k)
{
    double bdx = ToDouble(k.b.x - k.a.x), bdy = ToDouble(k.b.y - k.a.y);
    double cdx = ToDouble(k.c.x - k.a.x), cdy = ToDouble(k.c.y - k.a.y);
    if (k.a != k.d) {
        const double dx = ToDouble(k.d.x - k.a.x), dy = ToDouble(k.d.y - k.a.y);
        const double v = dx * dx + dy * dy;
        // A control point less the foot of its perpendicular on the chord (the nearer end
        // where the foot falls outside it).
        const auto fromChord = [&](double& px, double& py) {
            const double u = px * dx + py * dy;
            if (u <= 0)
                return;
            if (u >= v) {
                px -= dx;
                py -= dy;
            } else {
                px -= u / v * dx;
                py -= u / v * dy;
            }
        };
        fromChord(bdx, bdy);
        fromChord(cdx, cdy);
    }
    const double berr = bdx * bdx + bdy * bdy, cerr = cdx * cdx + cdy * cdy;
    return berr > cerr ? berr : cerr;
}

}  // namespace

std::int32_t ToFixed(double v)
{
    // Adding 1.5 * 2^44 leaves v * 256, rounded to even, in the low 32 bits of the mantissa.
    const double shifted = v + 26388279066624.0;
    std::uint64_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
}

bool CairoFillsAsMonoFiller()
{
    const int version = cairo_version();
    return version >= CAIRO_VERSION_ENCODE(1, 16, 0) && version < CAIRO_VERSION_ENCODE(1, 17, 0);
}

void MonoFiller::Begin()
{
    steps_.clear();
    declined_ = false;
}

void MonoFiller::MoveTo(double x, double y) { steps_.push_back({Op::Move, {{ToFixed(x), ToFixed(y)}, {}, {}}}); }

void MonoFiller::LineTo(double x, double y)
{
    if (steps_.empty())
        declined_ = true;  // Cairo would begin a figure here; not followed
    steps_.push_back({Op::Line, {{ToFixed(x), ToFixed(y)}, {}, {}}});
}

void MonoFiller::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3)
{
    if (steps_.empty())
        declined_ = true;
    steps_.push_back({Op::Curve, {{ToFixed(x1), ToFixed(y1)}, {ToFixed(x2), ToFixed(y2)}, {ToFixed(x3), ToFixed(y3)}}});
}

void MonoFiller::Close() { steps_.push_back({Op::Close, {}}); }

void MonoFiller::AddEdge(FixedPoint from, FixedPoint to)
{
    if (from.y == to.y)
        return;  // horizontal edges cross no row
    if (from.y > to.y)
        std::swap(from, to);
    lines_.push_back({from, to});
    polyY0_ = std::min(polyY0_, from.y);
    polyY1_ = std::max(polyY1_, to.y);
    polyX0_ = std::min({polyX0_, from.x, to.x});
    polyX1_ = std::max({polyX1_, from.x, to.x});
}

void MonoFiller::AddCurve(FixedPoint a, FixedPoint b, FixedPoint c, FixedPoint d, double toleranceSquared)
{
    // Halved until flat; each piece adds its start (once), the last one the curve's end.
    struct Decompose {
        MonoFiller& self;
        double toleranceSquared;
        void operator()(Knots& s1)
        {
            if (ErrorSquared(s1) < toleranceSquared) {
                if (s1.a != self.lastAdded_) {
                    self.lastAdded_ = s1.a;
                    self.AddEdge(self.current_, s1.a);
                    self.current_ = s1.a;
                }
                return;
            }
            Knots s2;
            Split(s1, s2);
            (*this)(s1);
            (*this)(s2);
        }
    };
    // A curve whose two tangents are both zero is a straight line.
    const bool line = (a == b && c == d) || (a == b && a == c && a == d) || (c == d && b == d);
    if (line) {
        AddEdge(current_, d);
        current_ = d;
        return;
    }
    Knots k{a, b, c, d};
    lastAdded_ = a;
    Decompose{*this, toleranceSquared}(k);
    AddEdge(current_, d);
    current_ = d;
}

bool MonoFiller::Fill(const PixelTarget& target, std::uint32_t pixel, double tolerance, DirtyRect& dirty)
{
    dirty = {};
    if (declined_ || target.width <= 0 || target.height <= 0)
        return false;
    const std::int64_t maxX = std::int64_t{target.width} * kFixedOne, maxY = std::int64_t{target.height} * kFixedOne;
    const auto inside = [&](FixedPoint p) { return p.x >= 0 && p.y >= 0 && p.x <= maxX && p.y <= maxY; };

    lines_.clear();
    polyX0_ = polyY0_ = INT32_MAX;
    polyX1_ = polyY1_ = INT32_MIN;
    const double toleranceSquared = tolerance * tolerance;

    // The path as Cairo keeps it (its extents, whether it has a current point, a move waiting
    // for the figure's first line) and as its filler walks it (current_, figureStart_).
    Box pathBox{};
    bool hasExtents = false, hasCurrent = false, movePending = false;
    bool rectilinear = true;  // only lines, each horizontal or vertical
    FixedPoint pathCurrent{}, lastMove{};
    current_ = figureStart_ = {0, 0};
    const auto applyMove = [&] {
        if (!movePending)
            return;
        movePending = false;
        if (hasExtents) {
            pathBox.Add(pathCurrent);
        } else {
            pathBox = {pathCurrent, pathCurrent};
            hasExtents = true;
        }
        // The filler closes the figure before and starts the next one.
        AddEdge(current_, figureStart_);
        current_ = figureStart_ = pathCurrent;
    };
    const auto lineTo = [&](FixedPoint p) {
        applyMove();
        if (p == pathCurrent)
            return;  // degenerate: no edge, no new extent
        rectilinear = rectilinear && (pathCurrent.x == p.x || pathCurrent.y == p.y);
        pathBox.Add(p);
        pathCurrent = p;
        AddEdge(current_, p);
        current_ = p;
    };
    for (const Step& s : steps_) {
        for (int i = 0; i < (s.op == Op::Curve ? 3 : s.op == Op::Close ? 0 : 1); ++i)
            if (!inside(s.p[i]))
                return false;
        switch (s.op) {
        case Op::Move:
            pathCurrent = lastMove = s.p[0];
            hasCurrent = movePending = true;
            break;
        case Op::Line:
            lineTo(s.p[0]);
            break;
        case Op::Curve: {
            const FixedPoint b = s.p[0], c = s.p[1], d = s.p[2];
            if (pathCurrent == d && b == d && c == d) {
                lineTo(d);
                break;
            }
            applyMove();
            if (!pathBox.Contains(b) || !pathBox.Contains(c))
                AddCurveBounds(pathBox, pathCurrent, b, c, d);
            else
                pathBox.Add(d);
            rectilinear = false;
            AddCurve(current_, b, c, d, toleranceSquared);
            pathCurrent = d;
            break;
        }
        case Op::Close:
            if (!hasCurrent)
                break;
            lineTo(lastMove);
            AddEdge(current_, figureStart_);
            current_ = figureStart_;
            // The next line or curve starts a figure at the same point.
            movePending = true;
            break;
        }
    }
    if (rectilinear)
        return false;  // Cairo fills such a path as boxes
    AddEdge(current_, figureStart_);

    // The pixels a fill may change: the surface, the path's extents and the flattened
    // polygon's, each rounded out to whole pixels.
    if (!hasExtents || !(pathBox.p1.x < pathBox.p2.x && pathBox.p1.y < pathBox.p2.y) || lines_.empty())
        return true;
    const std::int32_t xmin = std::max({0, Floor(pathBox.p1.x), Floor(polyX0_)});
    const std::int32_t xmax = std::min({target.width, Ceil(pathBox.p2.x), Ceil(polyX1_)});
    const std::int32_t ymin = std::max({0, Floor(pathBox.p1.y), Floor(polyY0_)});
    const std::int32_t ymax = std::min({target.height, Ceil(pathBox.p2.y), Ceil(polyY1_)});
    if (xmin >= xmax || ymin >= ymax)
        return true;

    // Edges, each stepped from the middle of one pixel row to the next in exact arithmetic.
    edges_.clear();
    edges_.reserve(lines_.size());
    for (const Line& l : lines_) {
        const std::int32_t top = std::max(RoundDown(l.top.y), ymin);
        const std::int32_t bottom = std::min(RoundDown(l.bottom.y), ymax);
        if (bottom <= top)
            continue;
        Edge e{};
        e.top = top;
        e.bottom = bottom;
        const std::int32_t dx = l.bottom.x - l.top.x, dy = l.bottom.y - l.top.y;
        if (dx == 0) {
            e.vertical = true;
            e.xQuo = l.top.x;
            e.xRem = 0;
            e.dy = 0;
        } else {
            const QuoRem step = FlooredMulDivRem(dx, kFixedOne, dy);
            e.stepQuo = step.quo;
            e.stepRem = step.rem;
            e.dy = dy;
            const QuoRem x = FlooredMulDivRem(top * kFixedOne + 127 - l.top.y, dx, dy);
            e.xQuo = Wrap(std::int64_t{x.quo} + l.top.x);
            e.xRem = x.rem;
        }
        e.xRem -= e.dy;
        edges_.push_back(e);
    }
    if (edges_.empty())
        return true;
    // The edges by the row they start on: a list for each row, through nextInRow_.
    rowFirst_.assign(static_cast<std::size_t>(ymax - ymin), -1);
    nextInRow_.resize(edges_.size());
    std::int32_t firstRow = ymax;
    for (std::size_t i = edges_.size(); i-- > 0;) {
        std::int32_t& first = rowFirst_[static_cast<std::size_t>(edges_[i].top - ymin)];
        nextInRow_[i] = first;
        first = static_cast<std::int32_t>(i);
        firstRow = std::min(firstRow, edges_[i].top);
    }

    dirty = {xmax, ymax, xmin, ymin};
    active_.clear();
    std::size_t waiting = edges_.size();
    for (std::int32_t y = firstRow; y < ymax && (waiting > 0 || !active_.empty()); ++y) {
        for (std::int32_t i = rowFirst_[static_cast<std::size_t>(y - ymin)]; i >= 0; i = nextInRow_[static_cast<std::size_t>(i)]) {
            active_.push_back(&edges_[static_cast<std::size_t>(i)]);
            --waiting;
        }
        // In order of x on this row (stable, as the edges' order among equals does not matter).
        for (std::size_t i = 1; i < active_.size(); ++i) {
            Edge* e = active_[i];
            std::size_t j = i;
            while (j > 0 && active_[j - 1]->xQuo > e->xQuo) {
                active_[j] = active_[j - 1];
                --j;
            }
            active_[j] = e;
        }
        // Spans between an odd and the following even crossing; a gap of one pixel or less
        // between two spans is filled.
        std::uint32_t* row = target.words + static_cast<std::ptrdiff_t>(y) * target.rowWords;
        std::int32_t start = INT_MIN;
        bool in = false;
        for (std::size_t i = 0; i < active_.size(); ++i) {
            const std::int32_t end = RoundDown(active_[i]->xQuo);
            in = !in;
            if (in) {
                if (start == INT_MIN)
                    start = end;
                continue;
            }
            const std::int32_t following = i + 1 < active_.size() ? RoundDown(active_[i + 1]->xQuo) : INT_MAX >> 8;
            if (following <= end + 1)
                continue;
            const std::int32_t x1 = std::max(start, xmin), x2 = std::min(end, xmax);
            start = INT_MIN;
            if (x2 <= x1)
                continue;
            std::fill(row + x1, row + x2, pixel);
            dirty.x0 = std::min(dirty.x0, x1);
            dirty.x1 = std::max(dirty.x1, x2);
            dirty.y0 = std::min(dirty.y0, y);
            dirty.y1 = y + 1;
        }
        // On to the next row; edges that end here leave.
        std::size_t kept = 0;
        for (Edge* e : active_) {
            if (y + 1 >= e->bottom)
                continue;
            if (!e->vertical) {
                e->xQuo = Wrap(std::int64_t{e->xQuo} + e->stepQuo);
                e->xRem += e->stepRem;
                if (e->xRem >= 0) {
                    e->xQuo = Wrap(std::int64_t{e->xQuo} + 1);
                    e->xRem -= e->dy;
                }
            }
            active_[kept++] = e;
        }
        active_.resize(kept);
    }
    return true;
}

}  // namespace plotwick::gdi::detail
