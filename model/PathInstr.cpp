#include "model/PathInstr.h"

#include "model/Geometry.h"
#include "model/Rounding.h"

namespace plotwick {

void PathInstr::ExtendBounds(FDirtyRect& r, const PathInstr*& prev) const
{
    switch (Kind) {
    case 'M':
    case 'L':
        r.AddPoint(X, Y);
        break;
    case 'C':
        r.AddPoint(X, Y);
        r.AddPoint(C1X, C1Y);
        r.AddPoint(C2X, C2Y);
        break;
    case 'S':
        // The reflected control point of the previous instruction; a first 'S' has none and
        // reflects about its own start, which is unknown, so only its own points count.
        if (prev)
            r.AddPoint(ReflectCoordinate(prev->X, prev->C2X), ReflectCoordinate(prev->Y, prev->C2Y));
        r.AddPoint(X, Y);
        r.AddPoint(C2X, C2Y);
        break;
    default:
        break;
    }
    prev = this;
}

void PathInstr::Transform(const Matrix3& m)
{
    switch (Kind) {
    case 'M':
    case 'L':
        m.TransformPoint(X, Y);
        C1X = C2X = X;
        C1Y = C2Y = Y;
        break;
    case 'C':
        m.TransformPoint(X, Y);
        m.TransformPoint(C1X, C1Y);
        m.TransformPoint(C2X, C2Y);
        break;
    case 'S':
        m.TransformPoint(X, Y);
        m.TransformPoint(C2X, C2Y);
        break;
    default:
        break;
    }
}

void ExtendBoundsOfInstructions(const PathInstr* instrs, std::size_t count, FDirtyRect& r)
{
    // A local rectangle: the coordinates read cannot alias it.
    FDirtyRect local = r;
    const PathInstr* prev = nullptr;
    for (std::size_t i = 0; i < count; ++i)
        instrs[i].ExtendBounds(local, prev);
    r = local;
}

namespace {

// Applies f to every point of the instructions, as PathInstr::Transform does.
template <class F>
void ForEachPoint(PathInstr* instrs, std::size_t count, F&& f)
{
    for (std::size_t i = 0; i < count; ++i) {
        PathInstr& p = instrs[i];
        switch (p.Kind) {
        case 'M':
        case 'L':
            f(p.X, p.Y);
            p.C1X = p.C2X = p.X;
            p.C1Y = p.C2Y = p.Y;
            break;
        case 'C':
            f(p.X, p.Y);
            f(p.C1X, p.C1Y);
            f(p.C2X, p.C2Y);
            break;
        case 'S':
            f(p.X, p.Y);
            f(p.C2X, p.C2Y);
            break;
        default:
            break;
        }
    }
}

}  // namespace

void TransformInstructions(PathInstr* instrs, std::size_t count, const Matrix3& matrix)
{
    const Matrix3 m = matrix;  // a copy the coordinates written cannot alias
    if (m.IsTranslation()) {
        // What TransformPoint does for a translation, with the matrix's values taken once.
        const float m1 = m.M[1], m3 = m.M[3], dx = m.M[6], dy = m.M[7];
        ForEachPoint(instrs, count, [&](float& x, float& y) {
            if (Matrix3::IsFinite(x) && Matrix3::IsFinite(y)) {
                const float nx = (x + y * m3) + dx;
                const float ny = (x * m1 + y) + dy;
                x = nx;
                y = ny;
            } else {
                m.TransformPoint(x, y);
            }
        });
    } else if (m.M[2] == 0.0f && m.M[5] == 0.0f && m.M[8] == 1.0f && Matrix3::IsFinite(m.M[0]) &&
               Matrix3::IsFinite(m.M[1]) && Matrix3::IsFinite(m.M[3]) && Matrix3::IsFinite(m.M[4]) &&
               Matrix3::IsFinite(m.M[6]) && Matrix3::IsFinite(m.M[7])) {
        // What TransformPoint does when w is 1: the same sums in extended precision.
        // Singles, as in the matrix: the extended products are formed from them as they are.
        const float a = m.M[0], b = m.M[1], c = m.M[3], d = m.M[4], e = m.M[6], f = m.M[7];
        ForEachPoint(instrs, count, [&](float& x, float& y) {
            if (Matrix3::IsFinite(x) && Matrix3::IsFinite(y)) {
                const long double lx = x, ly = y;
                const float nx = ToSingle(lx * a + ly * c + e);
                const float ny = ToSingle(lx * b + ly * d + f);
                x = nx;
                y = ny;
            } else {
                m.TransformPoint(x, y);
            }
        });
    } else {
        for (std::size_t i = 0; i < count; ++i)
            instrs[i].Transform(m);
    }
}

}  // namespace plotwick
