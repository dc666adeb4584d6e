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
            r.AddPoint(ToSingle(2.0L * prev->X - prev->C2X), ToSingle(2.0L * prev->Y - prev->C2Y));
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

}  // namespace plotwick
