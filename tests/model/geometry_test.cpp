// Matrices, the growing rectangle, and instruction bounds and transforms.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

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

// Infinite and NaN coordinates or matrix entries: what the transform in extended precision
// gives (an infinity of the same sign or a NaN), and a finite coordinate computed from finite
// values keeps its extended-precision value.
TEST(Matrix3, NonFinitePointsAndEntriesGiveWhatTheExtendedSumsGive)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    // The transform with every sum in the extended format; a point that is not finite is
    // divided by its w (then NaN).
    const auto sum = [](float x, float a, float y, float b, float c) {
        return ToSingle(static_cast<long double>(x) * a + static_cast<long double>(y) * b + c);
    };
    const auto extended = [&](float x, float a, float y, float b, float c) {
        const float v = sum(x, a, y, b, c);
        if (std::isfinite(x) && std::isfinite(y))
            return v;
        const float w = sum(x, 0, y, 0, 1);
        return w != 0 ? ToSingle(static_cast<long double>(v) / w) : v;
    };
    const float values[] = {inf, -inf, nan, 0.0f, -0.0f, 1.5f, -3e38f, 1e-42f};
    for (const float x : values)
        for (const float y : values)
            for (const float a : values) {
                const Matrix3 m(a, 0.5f, 0, 2, a, 0, 7, -1, 1);
                float tx = x, ty = y;
                m.TransformPoint(tx, ty);
                const float ex = extended(x, a, y, 2, 7), ey = extended(x, 0.5f, y, a, -1);
                for (const auto& [got, want] : {std::pair{tx, ex}, std::pair{ty, ey}}) {
                    if (std::isnan(want))
                        EXPECT_TRUE(std::isnan(got)) << x << " " << y << " " << a;
                    else
                        EXPECT_EQ(std::bit_cast<std::uint32_t>(got), std::bit_cast<std::uint32_t>(want))
                            << x << " " << y << " " << a;
                }
            }
}

// The reflected control point, rounded once in double precision, is the extended-precision
// value bit for bit: random singles of every magnitude, subnormals and the overflow edge.
TEST(PathInstrBounds, ReflectionRoundsAsInExtendedPrecision)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<std::uint32_t> bits;
    const auto check = [](float about, float point) {
        if (std::isnan(about) || std::isnan(point))
            return;
        const float want = ToSingle(2.0L * about - point);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(ReflectCoordinate(about, point)), std::bit_cast<std::uint32_t>(want))
            << about << " " << point;
    };
    for (int i = 0; i < 200000; ++i) {
        const float a = std::bit_cast<float>(bits(random)), b = std::bit_cast<float>(bits(random));
        check(a, b);
        check(a, std::nextafter(2 * a, 0.0f));  // close values: cancellation
    }
    const float max = std::numeric_limits<float>::max();
    check(max, 0);
    check(max, max);
    check(max / 2 + 1e31f, -max / 2);
    check(1e-45f, 3e-45f);
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

// Points gathered in two parts, the second from a reset rectangle and joined to the first (or,
// where Join cannot tell, added after the first's), end as gathering them all in order: NaNs
// anywhere, zeros of both signs, infinities, coordinates past the reset 100000.
TEST(FDirtyRect, JoiningTwoPartsIsGatheringInOrder)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float pool[] = {nan, 0.0f, -0.0f, 1.5f, -2.0f, 7.0f, inf, -inf, 150000.0f, -150000.0f, 100000.0f};
    std::mt19937 random(5);
    const auto bitsOf = [](const FDirtyRect& r) {
        return std::array<std::uint32_t, 4>{std::bit_cast<std::uint32_t>(r.Left), std::bit_cast<std::uint32_t>(r.Top),
                                            std::bit_cast<std::uint32_t>(r.Right), std::bit_cast<std::uint32_t>(r.Bottom)};
    };
    int joined = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        std::vector<std::pair<float, float>> points(random() % 10);
        for (auto& p : points)
            p = {pool[random() % std::size(pool)], pool[random() % std::size(pool)]};
        FDirtyRect inOrder;
        for (const auto& [x, y] : points)
            inOrder.AddPoint(x, y);
        for (std::size_t cut = 0; cut <= points.size(); ++cut) {
            FDirtyRect first, second;
            for (std::size_t i = 0; i < points.size(); ++i)
                (i < cut ? first : second).AddPoint(points[i].first, points[i].second);
            if (first.Join(second)) {
                ++joined;
            } else {
                for (std::size_t i = cut; i < points.size(); ++i)
                    first.AddPoint(points[i].first, points[i].second);
            }
            ASSERT_EQ(bitsOf(first), bitsOf(inOrder)) << "trial " << trial << ", cut " << cut;
        }
    }
    EXPECT_GT(joined, 50000);  // most parts join
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
