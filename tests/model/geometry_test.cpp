// Matrices, the growing rectangle, and instruction bounds and transforms.
#include <gtest/gtest.h>

#include "model/Geometry.h"
#include "model/PathInstr.h"
#include "model/Rounding.h"

using namespace plotwick;

namespace {

FPoint Map(const Matrix3& m, float x, float y)
{
    m.TransformPoint(x, y);
    return {x, y};
}

TEST(Matrix3, TransformPoint)
{
    FPoint p = Map(Matrix3(1, 0, 0, 0, 1, 0, 5, -3, 1), 2, 2);
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(p.y, -1);
    p = Map(Matrix3(1, 0, 0, 0, -1, 0, 0, 0, 1), 3, 4);
    EXPECT_EQ(p.x, 3);
    EXPECT_EQ(p.y, -4);
    // w = 0: left undivided; w = 2: halved.
    p = Map(Matrix3(1, 0, 0, 0, 1, 0, 0, 0, 0), 3, 4);
    EXPECT_EQ(p.x, 3);
    EXPECT_EQ(p.y, 4);
    p = Map(Matrix3(1, 0, 0, 0, 1, 0, 0, 0, 2), 3, 4);
    EXPECT_EQ(p.x, 1.5f);
    EXPECT_EQ(p.y, 2);
}

TEST(Matrix3, MultiplyAppliesSelfFirst)
{
    Matrix3 m = Matrix3::Translation(5, 0);
    m.Multiply(Matrix3(2, 0, 0, 0, 2, 0, 0, 0, 1));
    const FPoint p = Map(m, 1, 1);
    EXPECT_EQ(p.x, 12);
    EXPECT_EQ(p.y, 2);
    EXPECT_EQ(m.GetAffine().e, 10);
}

TEST(Matrix3, MultiplyRoundsEachRunningSumToASingle)
{
    // 1 + 2^-30 is not a single: the running sum must lose the small term after each step.
    Matrix3 a(1, 1, 0, 0, 1, 0, 0, 0, 1);
    Matrix3 b(1, 0, 0, 9.3132257e-10f, 1, 0, 0, 0, 1);
    a.Multiply(b);
    EXPECT_EQ(a.M[0], 1.0f);
}

TEST(FDirtyRect, EmptyAndGrowing)
{
    FDirtyRect r;
    EXPECT_EQ(r.GetRect(), (IntRect{100000, 100000, -100000, -100000}));
    r.AddPoint(0.5f, 1.5f);
    r.AddPoint(2.5f, -0.5f);
    EXPECT_EQ(r.GetRect(), (IntRect{0, 0, 2, 2}));
    r.Reset();
    r.AddPoint(-3, 7);
    EXPECT_EQ(r.GetRect(), (IntRect{-3, 7, -3, 7}));
}

TEST(Rounding, HalvesGoToEven)
{
    EXPECT_EQ(RoundEven(2.5L), 2);
    EXPECT_EQ(RoundEven(3.5L), 4);
    EXPECT_EQ(RoundEven(-0.5L), 0);
    EXPECT_EQ(RoundEven(-1.5L), -2);
    EXPECT_EQ(RoundEven(1e30L), 2147483647);
    EXPECT_EQ(RoundEven(-1e30L), -2147483647 - 1);
}

PathInstr Instr(char kind, float x, float y, float c1x = 0, float c1y = 0, float c2x = 0, float c2y = 0)
{
    PathInstr p;
    p.Kind = static_cast<std::uint8_t>(kind);
    p.X = x;
    p.Y = y;
    if (kind == 'M' || kind == 'L') {
        p.C1X = p.C2X = x;
        p.C1Y = p.C2Y = y;
    } else {
        p.C1X = c1x;
        p.C1Y = c1y;
        p.C2X = c2x;
        p.C2Y = c2y;
    }
    return p;
}

TEST(PathInstrBounds, CurvesAddTheirControlPolygon)
{
    FDirtyRect r;
    const PathInstr* prev = nullptr;
    const PathInstr m = Instr('M', 0, 0);
    const PathInstr c = Instr('C', 100, 0, 0, 100, 100, 100);
    m.ExtendBounds(r, prev);
    c.ExtendBounds(r, prev);
    EXPECT_EQ(r.GetRect(), (IntRect{0, 0, 100, 100}));
    EXPECT_EQ(prev, &c);
}

TEST(PathInstrBounds, SmoothCurveAddsTheReflectedPointFirst)
{
    FDirtyRect r;
    const PathInstr c = Instr('C', 10, 10, 0, 0, 8, 6);
    PathInstr s = Instr('S', 11, 11);
    s.C2X = 11;
    s.C2Y = 11;
    const PathInstr* prev = &c;
    s.ExtendBounds(r, prev);
    EXPECT_EQ(r.Right, 12);
    EXPECT_EQ(r.Bottom, 14);
    // A first 'S' has nothing to reflect and must not fail.
    FDirtyRect first;
    const PathInstr* none = nullptr;
    s.ExtendBounds(first, none);
    EXPECT_EQ(first.GetRect(), (IntRect{11, 11, 11, 11}));
}

TEST(PathInstrBounds, CloseAndUnknownKindsAddNothingButBecomePrevious)
{
    FDirtyRect r;
    const PathInstr z = Instr('z', 0, 0);
    const PathInstr* prev = nullptr;
    z.ExtendBounds(r, prev);
    EXPECT_EQ(prev, &z);
    EXPECT_EQ(r.GetRect(), (IntRect{100000, 100000, -100000, -100000}));
}

TEST(PathInstrTransform, LinesKeepTheirControlCopiesOnTheEndPoint)
{
    PathInstr l = Instr('L', 3, 4);
    l.Transform(Matrix3::Translation(1, 1));
    EXPECT_EQ(l.X, 4);
    EXPECT_EQ(l.C1X, 4);
    EXPECT_EQ(l.C2Y, 5);
    PathInstr s = Instr('S', 5, 6, 5, 6);
    s.C2X = 3;
    s.C2Y = 4;
    s.Transform(Matrix3::Translation(1, 1));
    EXPECT_EQ(s.C1X, 5);  // never used, left as read
    EXPECT_EQ(s.C2X, 4);
    EXPECT_EQ(s.X, 6);
}

}  // namespace
