// The Cairo device context on raster and vector targets, the work bitmap with its 2x2
// reduction, and the BMP and PNG writers.
#include "platform/codec/BmpWriter.h"
#include "platform/device/CairoDevice.h"
#include "platform/codec/PngWriter.h"
#include "platform/device/RasterDevice.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace plotwick::gdi {
namespace {

constexpr ColorRef kWhite = 0x00FFFFFF;
constexpr ColorRef kBlack = 0x00000000;
constexpr ColorRef kRed = 0x000000FF;
constexpr ColorRef kBlue = 0x00FF0000;

struct Box {
    int left = std::numeric_limits<int>::max();
    int top = std::numeric_limits<int>::max();
    int right = std::numeric_limits<int>::min();  // inclusive
    int bottom = std::numeric_limits<int>::min();  // inclusive
    int count = 0;
    bool Empty() const { return count == 0; }
};

// Bounds and number of the pixels that are not white.
Box Ink(RasterDevice& d)
{
    Box b;
    const Bitmap24 bm = d.ToBitmap();
    for (int y = 0; y < bm.Height(); ++y)
        for (int x = 0; x < bm.Width(); ++x)
            if (bm.GetPixel(x, y) != kWhite) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
                ++b.count;
            }
    return b;
}

// The picture as rows of '#' (not white) and '.' (white), for readable failures.
std::string Picture(RasterDevice& d, int x0, int y0, int x1, int y1)
{
    std::string s;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x)
            s += d.PixelAt(x, y) == kWhite ? '.' : '#';
        s += '\n';
    }
    return s;
}

void Rect(DeviceContext& dc, int l, int t, int r, int b)
{
    dc.MoveToEx(l, t);
    dc.LineTo(r, t);
    dc.LineTo(r, b);
    dc.LineTo(l, b);
    dc.LineTo(l, t);
}

LogFont Arial(std::int32_t height, std::int32_t escapement = 0)
{
    LogFont f;
    f.height = height;
    f.escapement = escapement;
    f.orientation = escapement;
    f.faceName = "Arial";
    return f;
}

// --- Filling -------------------------------------------------------------------------------------

TEST(RasterFill, RectangleCoversExactlyThePixelsInsideExcludingRightAndBottomEdges)
{
    RasterDevice d(20, 20);
    d.SelectSolidBrush(kBlack);
    d.BeginPath();
    Rect(d, 0, 0, 10, 10);
    d.EndPath();
    d.FillPath();
    const Box ink = Ink(d);
    EXPECT_EQ(ink.count, 100);
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.top, 0);
    EXPECT_EQ(ink.right, 9);
    EXPECT_EQ(ink.bottom, 9);
    EXPECT_EQ(d.PixelAt(9, 9), kBlack);
    EXPECT_EQ(d.PixelAt(10, 5), kWhite);
    EXPECT_EQ(d.PixelAt(5, 10), kWhite);
}

TEST(RasterFill, EvenOddLeavesHolesOfNestedAndSelfOverlappingFigures)
{
    RasterDevice d(100, 100);
    d.SelectSolidBrush(kRed);
    // Two nested squares in one path: the inner one is a hole, whatever its direction.
    d.BeginPath();
    Rect(d, 5, 5, 45, 45);
    Rect(d, 15, 15, 35, 35);
    d.EndPath();
    d.FillPath();
    EXPECT_EQ(d.PixelAt(8, 8), kRed);
    EXPECT_EQ(d.PixelAt(25, 25), kWhite);
    EXPECT_EQ(d.PixelAt(15, 15), kWhite);  // the hole includes its own top-left pixel
    EXPECT_EQ(d.PixelAt(14, 14), kRed);
    EXPECT_EQ(d.PixelAt(35, 35), kRed);    // ...and not its right/bottom edge

    // A five-pointed star drawn as one self-intersecting figure: its centre is crossed twice.
    d.SelectSolidBrush(kBlue);
    d.BeginPath();
    d.MoveToEx(75, 52);
    d.LineTo(89, 95);
    d.LineTo(52, 68);
    d.LineTo(98, 68);
    d.LineTo(61, 95);
    d.EndPath();  // left open: filling closes it
    d.FillPath();
    EXPECT_EQ(d.PixelAt(75, 76), kWhite);  // the centre pentagon
    EXPECT_EQ(d.PixelAt(75, 58), kBlue);   // the upper point
    EXPECT_EQ(d.PixelAt(58, 69), kBlue);   // the left point
    EXPECT_EQ(d.PixelAt(86, 92), kBlue);   // the lower right point
    EXPECT_EQ(d.PixelAt(75, 92), kWhite);  // between the two lower points
}

TEST(RasterFill, CurvesAreFilledAndFillPathDrawsNoOutline)
{
    RasterDevice d(60, 60);
    d.SelectSolidPen(kRed, 3);  // must not be used by FillPath
    d.SelectSolidBrush(kBlack);
    // A circle of radius 20 around (30, 30) from four Béziers.
    const int k = 11;  // 20 * 0.5523
    const Point arc[12] = {{50, 30 + k}, {30 + k, 50}, {30, 50}, {30 - k, 50}, {10, 30 + k}, {10, 30},
                           {10, 30 - k}, {30 - k, 10}, {30, 10}, {30 + k, 10}, {50, 30 - k}, {50, 30}};
    d.BeginPath();
    d.MoveToEx(50, 30);
    d.PolyBezierTo(arc, 12);
    d.EndPath();
    d.FillPath();
    const Box ink = Ink(d);
    EXPECT_EQ(ink.left, 10);
    EXPECT_EQ(ink.right, 49);
    EXPECT_EQ(ink.top, 10);
    EXPECT_EQ(ink.bottom, 49);
    EXPECT_NEAR(ink.count, 3.14159 * 400, 40);
    EXPECT_EQ(d.PixelAt(11, 11), kWhite);  // outside the circle, inside its box
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_NE(d.PixelAt(x, y), kRed) << x << "," << y;
}

TEST(RasterFill, PathIsConsumedAndRestartsAtTheCurrentPosition)
{
    RasterDevice d(30, 30);
    d.SelectSolidBrush(kBlack);
    d.BeginPath();
    Rect(d, 0, 0, 5, 5);
    d.EndPath();
    d.FillPath();
    d.FillPath();  // nothing left to fill
    EXPECT_EQ(Ink(d).count, 25);

    // Without a MoveToEx inside the bracket the figure starts at the current position,
    // (0, 0) where the rectangle above ended.
    d.BeginPath();
    d.LineTo(20, 0);
    d.LineTo(20, 20);
    d.EndPath();
    d.FillPath();
    EXPECT_EQ(d.PixelAt(18, 2), kBlack);   // inside the triangle (0,0)-(20,0)-(20,20)
    EXPECT_EQ(d.PixelAt(2, 18), kWhite);   // outside it
    // BeginPath discards a path that was never drawn.
    d.BeginPath();
    Rect(d, 22, 22, 28, 28);
    d.BeginPath();
    d.EndPath();
    d.FillPath();
    EXPECT_EQ(d.PixelAt(25, 25), kWhite);
}

TEST(RasterFill, FillRectFillsHalfOpenRectangle)
{
    RasterDevice d(10, 10);
    d.FillRect(2, 3, 5, 7, kBlue);
    d.FillRect(5, 5, 5, 9, kRed);  // empty
    const Box ink = Ink(d);
    EXPECT_EQ(ink.count, 12);
    EXPECT_EQ(ink.left, 2);
    EXPECT_EQ(ink.right, 4);
    EXPECT_EQ(ink.top, 3);
    EXPECT_EQ(ink.bottom, 6);
    EXPECT_EQ(d.PixelAt(2, 3), kBlue);
    d.FillRect(-2000000000, -2000000000, 2000000000, 2000000000, kRed);
    EXPECT_EQ(Ink(d).count, 100);
    EXPECT_EQ(d.PixelAt(9, 9), kRed);
}

TEST(RasterFill, CoordinatesFarOutsideTheBitmapStillFillTheVisiblePart)
{
    for (const int far : {10000000, 100000000, 2000000000}) {
        RasterDevice d(20, 20);
        d.SelectSolidBrush(kBlack);
        d.BeginPath();
        d.MoveToEx(-far, -far);
        d.LineTo(5, -far);
        d.LineTo(5, 5);
        d.LineTo(-far, 5);
        d.EndPath();
        d.FillPath();
        const Box ink = Ink(d);
        EXPECT_EQ(ink.count, 25) << far;
        EXPECT_EQ(ink.right, 4) << far;
        EXPECT_EQ(ink.bottom, 4) << far;

        // A huge curve whose visible part is a straight band.
        RasterDevice e(20, 20);
        e.SelectSolidBrush(kBlack);
        const Point c[3] = {{far, 10}, {far, 10}, {far, 30}};
        e.BeginPath();
        e.MoveToEx(-far, 10);
        e.PolyBezierTo(c, 3);
        e.LineTo(-far, 30);
        e.EndPath();
        e.FillPath();
        EXPECT_EQ(Ink(e).count, 200) << far;
        EXPECT_EQ(e.PixelAt(0, 10), kBlack) << far;
        EXPECT_EQ(e.PixelAt(19, 9), kWhite) << far;
    }
}

// --- Thin lines ----------------------------------------------------------------------------------

TEST(RasterLines, OnePixelLinesLightExactlyTheNamedPixelsWithoutTheLast)
{
    for (const int width : {0, 1}) {
        RasterDevice d(20, 20);
        d.SelectSolidPen(kBlack, width);
        d.BeginPath();
        d.MoveToEx(2, 5);
        d.LineTo(12, 5);
        d.MoveToEx(15, 2);
        d.LineTo(15, 18);
        d.EndPath();
        d.StrokePath();
        for (int x = 0; x < 20; ++x)
            for (int y = 0; y < 20; ++y) {
                const bool onRow = y == 5 && x >= 2 && x <= 11;
                const bool onColumn = x == 15 && y >= 2 && y <= 17;
                ASSERT_EQ(d.PixelAt(x, y) == kBlack, onRow || onColumn)
                    << "width " << width << " pixel " << x << "," << y << "\n"
                    << Picture(d, 0, 0, 20, 20);
            }
    }
}

TEST(RasterLines, CloseFigureStrokesTheEdgeBackToTheStart)
{
    // The closing diagonal of a triangle passes (7, 7); without CloseFigure it is not drawn.
    for (const int width : {0, 1, 4})
        for (const bool close : {false, true}) {
            RasterDevice d(20, 20);
            d.SelectSolidPen(kBlack, width);
            d.BeginPath();
            d.MoveToEx(2, 2);
            d.LineTo(14, 2);
            d.LineTo(14, 14);
            if (close)
                d.CloseFigure();
            d.EndPath();
            d.StrokePath();
            EXPECT_EQ(d.PixelAt(7, 7) == kBlack, close) << "width " << width << "\n" << Picture(d, 0, 0, 20, 20);
            EXPECT_EQ(d.CurrentPosition(), close ? (Point{2, 2}) : (Point{14, 14}));
        }
    // A figure reaching far outside: the closing edge lights row 15 left of x = 10.
    RasterDevice far(20, 20);
    far.SelectSolidPen(kBlack, 0);
    far.BeginPath();
    far.MoveToEx(-2000000000, 5);
    far.LineTo(2000000000, 5);
    far.LineTo(10, 15);
    far.CloseFigure();  // back along row 15 from x = 10 to the far left
    far.EndPath();
    far.StrokePath();
    EXPECT_EQ(Ink(far).count, 40) << Picture(far, 0, 0, 20, 20);
}

TEST(RasterLines, SlantedLinesAndCurvesHaveOnePixelPerStepOfTheMajorAxis)
{
    RasterDevice d(40, 40);
    d.SelectSolidPen(kBlack, 0);
    d.BeginPath();
    d.MoveToEx(0, 0);
    d.LineTo(10, 10);
    d.EndPath();
    d.StrokePath();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(d.PixelAt(i, i), kBlack) << i;
    EXPECT_EQ(Ink(d).count, 10);

    // A shallow line: one pixel in every column from 0 to 29, never two.
    RasterDevice e(40, 40);
    e.SelectSolidPen(kBlack, 0);
    e.BeginPath();
    e.MoveToEx(0, 10);
    e.LineTo(30, 21);
    e.EndPath();
    e.StrokePath();
    for (int x = 0; x < 40; ++x) {
        int n = 0;
        for (int y = 0; y < 40; ++y)
            n += e.PixelAt(x, y) != kWhite;
        EXPECT_EQ(n, x < 30 ? 1 : 0) << x << "\n" << Picture(e, 0, 5, 40, 25);
    }

    // A flat arc: one pixel a column, and the pixels form a connected line.
    RasterDevice f(40, 40);
    f.SelectSolidPen(kBlack, 0);
    const Point c[3] = {{10, 5}, {30, 5}, {39, 20}};
    f.BeginPath();
    f.MoveToEx(0, 20);
    f.PolyBezierTo(c, 3);
    f.EndPath();
    f.StrokePath();
    int previous = -1;
    for (int x = 0; x < 30; ++x) {
        int n = 0, row = -1;
        for (int y = 0; y < 40; ++y)
            if (f.PixelAt(x, y) != kWhite) {
                ++n;
                row = y;
            }
        ASSERT_GE(n, 1) << x << "\n" << Picture(f, 0, 0, 40, 25);
        if (n == 1 && previous >= 0) {
            EXPECT_LE(std::abs(row - previous), 1) << x;
        }
        previous = row;
    }
}

TEST(RasterLines, LineToOutsideABracketDrawsWithThePenAndMovesTheCurrentPosition)
{
    RasterDevice d(20, 20);
    d.SelectSolidPen(kRed, 0);
    d.MoveToEx(1, 1);
    d.LineTo(6, 1);
    d.LineTo(6, 6);
    EXPECT_EQ(d.CurrentPosition(), (Point{6, 6}));
    EXPECT_EQ(Ink(d).count, 10);
    EXPECT_EQ(d.PixelAt(1, 1), kRed);
    EXPECT_EQ(d.PixelAt(6, 1), kRed);  // the corner: first pixel of the second segment
    EXPECT_EQ(d.PixelAt(6, 6), kWhite);
}

TEST(RasterLines, HugeCoordinatesAreClippedExactly)
{
    RasterDevice d(20, 20);
    d.SelectSolidPen(kBlack, 0);
    d.BeginPath();
    d.MoveToEx(-2000000000, 10);
    d.LineTo(2000000000, 10);
    d.MoveToEx(7, 2147483647);
    d.LineTo(7, -2147483647 - 1);
    d.EndPath();
    d.StrokePath();
    EXPECT_EQ(Ink(d).count, 39);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(d.PixelAt(i, 10), kBlack);
        EXPECT_EQ(d.PixelAt(7, i), kBlack);
    }
}

// --- Wide pens -------------------------------------------------------------------------------------

TEST(RasterLines, WidePensAreCentredOnThePixelsAndHaveRoundCaps)
{
    RasterDevice d(60, 40);
    d.SelectSolidPen(kBlue, 5);
    d.BeginPath();
    d.MoveToEx(20, 20);
    d.LineTo(40, 20);
    d.EndPath();
    d.StrokePath();
    const std::string picture = Picture(d, 14, 14, 46, 27);
    // Five rows thick, centred on row 20.
    for (int y = 15; y <= 25; ++y)
        EXPECT_EQ(d.PixelAt(30, y) == kBlue, y >= 18 && y <= 22) << y << "\n" << picture;
    // Round caps reach 2.5 pixels beyond the ends on the centre line but not at the corners.
    EXPECT_EQ(d.PixelAt(42, 20), kBlue) << picture;
    EXPECT_EQ(d.PixelAt(18, 20), kBlue) << picture;
    EXPECT_EQ(d.PixelAt(43, 20), kWhite) << picture;
    EXPECT_EQ(d.PixelAt(42, 18), kWhite) << picture;  // a square cap would fill this
    EXPECT_EQ(d.PixelAt(42, 22), kWhite) << picture;
    EXPECT_EQ(d.PixelAt(18, 18), kWhite) << picture;
    // Symmetric about the line's centre pixel (30, 20).
    for (int y = 14; y < 27; ++y)
        for (int x = 14; x < 46; ++x)
            ASSERT_EQ(d.PixelAt(x, y), d.PixelAt(60 - x, 40 - y)) << x << "," << y << "\n" << picture;
}

TEST(RasterLines, WidePenJoinsAreRound)
{
    RasterDevice d(40, 40);
    d.SelectSolidPen(kBlack, 9);
    d.BeginPath();
    d.MoveToEx(5, 20);
    d.LineTo(20, 20);
    d.LineTo(20, 35);
    d.EndPath();
    d.StrokePath();
    // Outer corner of the join: (24, 16) lies 5.66 from the corner pixel's centre, beyond the
    // pen's radius of 4.5, so it stays white; a mitre join would fill it.
    EXPECT_EQ(d.PixelAt(24, 16), kWhite) << Picture(d, 0, 10, 40, 40);
    EXPECT_EQ(d.PixelAt(23, 17), kBlack);
    EXPECT_EQ(d.PixelAt(24, 20), kBlack);
    EXPECT_EQ(d.PixelAt(20, 16), kBlack);
}

// --- Logical units and vector targets -----------------------------------------------------------------

TEST(CairoDeviceMapping, DPtoLPScalesByTheLogicalUnitsPerDeviceUnit)
{
    RasterDevice plain(4, 4);
    EXPECT_EQ(plain.DPtoLP({12, -7}), (Point{12, -7}));
    RasterDevice fine(4, 4, 31.25);
    EXPECT_EQ(fine.DPtoLP({1000, 0}), (Point{31250, 0}));
    EXPECT_EQ(fine.DPtoLP({1, -1}), (Point{31, -31}));
    EXPECT_EQ(fine.DPtoLP({2, 3}), (Point{63, 94}));  // 62.5 and 93.75
    EXPECT_EQ(fine.DPtoLP({2000000000, 0}).x, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ScaleDeviceToLogical({-2000000000, 0}, 31.25).x, std::numeric_limits<std::int32_t>::min());
}

TEST(CairoDeviceMapping, LogicalScaleShrinksCoordinatesPensAndFonts)
{
    RasterDevice d(40, 40, 4.0);
    d.SelectSolidBrush(kBlack);
    d.BeginPath();
    Rect(d, 0, 0, 40, 80);  // 10 x 20 pixels
    d.EndPath();
    d.FillPath();
    Box ink = Ink(d);
    EXPECT_EQ(ink.count, 200);
    EXPECT_EQ(ink.right, 9);
    EXPECT_EQ(ink.bottom, 19);

    // A pen of 4 logical units is one pixel wide.
    RasterDevice e(40, 40, 4.0);
    e.SelectSolidPen(kBlack, 4);
    e.BeginPath();
    e.MoveToEx(0, 40);
    e.LineTo(80, 40);
    e.EndPath();
    e.StrokePath();
    ink = Ink(e);
    EXPECT_EQ(ink.count, 20);
    EXPECT_EQ(ink.top, 10);
    EXPECT_EQ(ink.bottom, 10);
}

TEST(CairoDeviceMapping, VectorTargetUsesCoordinatesWithoutPixelRules)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 120, 120);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    {
        CairoDevice d(cr, 31.25, CairoDevice::Target::Vector);
        EXPECT_FALSE(d.IsRaster());
        EXPECT_EQ(d.DPtoLP({100, 0}), (Point{3125, 0}));
        d.SelectSolidBrush(kBlack);
        d.BeginPath();
        Rect(d, 625, 625, 3125, 3125);  // (20, 20)-(100, 100) in pixels
        d.EndPath();
        d.FillPath();
        // A cosmetic pen on a vector target is one device unit wide and antialiased: at
        // y = 10 it covers half of rows 9 and 10.
        d.SelectSolidPen(kBlack, 0);
        d.BeginPath();
        d.MoveToEx(0, 312);  // y = 9.984
        d.LineTo(3750, 312);
        d.EndPath();
        d.StrokePath();
        // So is a pen under half a device unit (a filled glyph's one-unit outline), not 1/31.
        d.SelectSolidPen(kBlack, 1);
        d.BeginPath();
        d.MoveToEx(0, 3437);  // y = 109.984
        d.LineTo(3750, 3437);
        d.EndPath();
        d.StrokePath();
    }
    cairo_surface_flush(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    auto px = [&](int x, int y) {
        std::uint32_t v;
        std::memcpy(&v, data + y * stride + x * 4, 4);
        return v & 0xFFFFFF;
    };
    EXPECT_EQ(px(20, 20), 0u);
    EXPECT_EQ(px(99, 99), 0u);
    EXPECT_EQ(px(100, 50), 0xFFFFFFu);
    EXPECT_EQ(px(19, 50), 0xFFFFFFu);
    const std::uint32_t g9 = px(50, 9) & 0xFF, g10 = px(50, 10) & 0xFF;
    EXPECT_GT(g9, 0x40u);
    EXPECT_LT(g9, 0xC0u);
    EXPECT_GT(g10, 0x40u);
    EXPECT_LT(g10, 0xC0u);
    EXPECT_LT(px(50, 109) & 0xFF, 0xC0u);
    EXPECT_LT(px(50, 110) & 0xFF, 0xC0u);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}

TEST(CairoDeviceMapping, TargetKindFollowsTheSurface)
{
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 8, 8);
    cairo_t* cr = cairo_create(image);
    {
        CairoDevice d(cr);
        EXPECT_TRUE(d.IsRaster());
        EXPECT_EQ(cairo_get_antialias(cr), CAIRO_ANTIALIAS_NONE);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(image);

    cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR, nullptr);
    cr = cairo_create(recording);
    {
        CairoDevice d(cr);
        EXPECT_FALSE(d.IsRaster());
        EXPECT_EQ(cairo_get_antialias(cr), CAIRO_ANTIALIAS_DEFAULT);
        CairoDevice forced(cr, 1.0, CairoDevice::Target::Raster);
        EXPECT_TRUE(forced.IsRaster());
    }
    cairo_destroy(cr);
    cairo_surface_destroy(recording);

    EXPECT_THROW(CairoDevice(nullptr), std::invalid_argument);
}

TEST(CairoDeviceMapping, DrawsPathsAndTextIntoAPdfDocument)
{
    std::vector<std::uint8_t> bytes;
    auto write = [](void* closure, const unsigned char* data, unsigned int length) -> cairo_status_t {
        auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
    };
    cairo_surface_t* pdf = cairo_pdf_surface_create_for_stream(write, &bytes, 200, 100);
    cairo_t* cr = cairo_create(pdf);
    {
        CairoDevice d(cr, 31.25);
        d.SelectSolidBrush(kBlue);
        d.SelectSolidPen(kRed, 62);
        const Point c[3] = {{3125, 0}, {3125, 3125}, {6250, 3125}};
        for (const bool fill : {true, false}) {
            d.BeginPath();
            d.MoveToEx(312, 312);
            d.PolyBezierTo(c, 3);
            d.LineTo(312, 3000);
            d.EndPath();
            fill ? d.FillPath() : d.StrokePath();
        }
        d.SelectFont(Arial(1250, 450));
        d.SetBkMode(BK_TRANSPARENT);
        d.SetTextAlign(TA_BASELINE);
        d.ExtTextOut(625, 2500, "Vector \xE9");
        EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
    }
    cairo_destroy(cr);
    cairo_surface_finish(pdf);
    EXPECT_EQ(cairo_surface_status(pdf), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(pdf);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "%PDF-");
}

// --- The work bitmap ---------------------------------------------------------------------------------

TEST(RasterBitmap, StartsWhiteAndConvertsToBitmap)
{
    RasterDevice d(7, 3);
    EXPECT_EQ(d.Width(), 7);
    EXPECT_EQ(d.Height(), 3);
    EXPECT_TRUE(Ink(d).Empty());
    d.FillRect(6, 2, 7, 3, 0x00332211);
    const Bitmap24 bm = d.ToBitmap();
    ASSERT_EQ(bm.Width(), 7);
    ASSERT_EQ(bm.Height(), 3);
    EXPECT_EQ(bm.GetPixel(6, 2), 0x00332211u);
    EXPECT_EQ(bm.Row(2)[18], 0x33);  // blue first
    EXPECT_EQ(bm.Row(2)[20], 0x11);
    EXPECT_EQ(bm.GetPixel(5, 2), kWhite);
}

// Buffers from kOwnPagesFrom on are mappings of their own, aligned for huge pages; sizes on
// either side of the limits hold their last byte, and a surface's pixels given to the next
// surface of its size start white again.
TEST(RasterBitmap, LargeBuffersAreAlignedMappingsThatStartClean)
{
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    for (std::size_t bytes : {std::size_t{1}, pixel_memory::kOwnPagesFrom - 1, pixel_memory::kOwnPagesFrom, kHuge,
                              kHuge + 1, std::size_t{1600} * 1600 * 4}) {
        SCOPED_TRACE(bytes);
        auto* p = static_cast<unsigned char*>(pixel_memory::Allocate(bytes));
        ASSERT_NE(p, nullptr);
        if (bytes >= pixel_memory::kOwnPagesFrom) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kHuge, 0u);
        }
        p[0] = 1;
        p[bytes - 1] = 2;
        pixel_memory::Release(p, bytes);
    }
    for (auto [w, h] : {std::pair{256, 256}, std::pair{800, 600}, std::pair{1600, 1600}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        {
            RasterDevice drawn(w, h);
            drawn.FillRect(0, 0, w, h, 0);
        }
        RasterDevice again(w, h);
        EXPECT_TRUE(Ink(again).Empty());
        const Bitmap24 grey(w, h, 0x00808080), colour(w, h, 0x00102030);
        EXPECT_EQ(grey.GetPixel(w - 1, h - 1), 0x00808080u);
        EXPECT_EQ(colour.GetPixel(w - 1, h - 1), 0x00102030u);
    }
}

TEST(RasterBitmap, ReductionAveragesEachBlockWithRounding)
{
    RasterDevice d(8, 4);
    auto set = [&](int x, int y, ColorRef c) { d.FillRect(x, y, x + 1, y + 1, c); };
    // Block (0, 0): red 0+0+0+1 -> 0 (0.25), green 0+0+1+1 -> 1 (0.5 rounds up),
    // blue 0+1+1+1 -> 1 (0.75).
    set(0, 0, 0x00000000);
    set(1, 0, 0x00010000);
    set(0, 1, 0x00010100);
    set(1, 1, 0x00010101);
    // Block (1, 0): one black pixel among white: 255 * 3 / 4 = 191.25 -> 191.
    set(2, 0, kBlack);
    // Block (2, 0): channels must not spill into each other.
    set(4, 0, 0x00FF00FF);
    set(5, 0, 0x00FF00FF);
    set(4, 1, 0x00FF00FF);
    set(5, 1, 0x00FF00FF);
    // Block (3, 0): 10, 20, 30, 41 in every channel -> 101 / 4 = 25.25 -> 25; then 255, 254,
    // 254, 254 -> 254.25 -> 254 for block (3, 1).
    set(6, 0, 0x000A0A0A);
    set(7, 0, 0x00141414);
    set(6, 1, 0x001E1E1E);
    set(7, 1, 0x00292929);
    set(7, 3, 0x00FEFEFE);
    set(6, 3, 0x00FEFEFE);
    set(6, 2, 0x00FEFEFE);
    // Block (0, 1): black, black, white, white -> 127.5 -> 128.
    set(0, 2, kBlack);
    set(1, 2, kBlack);

    Bitmap24 t(4, 2, 0x00123456);
    d.ReduceHalfTo(t);
    EXPECT_EQ(t.GetPixel(0, 0), 0x00010100u);
    EXPECT_EQ(t.GetPixel(1, 0), 0x00BFBFBFu);
    EXPECT_EQ(t.GetPixel(2, 0), 0x00FF00FFu);
    EXPECT_EQ(t.GetPixel(3, 0), 0x00191919u);
    EXPECT_EQ(t.GetPixel(3, 1), 0x00FEFEFEu);
    EXPECT_EQ(t.GetPixel(0, 1), 0x00808080u);
    EXPECT_EQ(t.GetPixel(1, 1), kWhite);
    EXPECT_EQ(t.GetPixel(2, 1), kWhite);
}

TEST(RasterBitmap, ReductionMatchesAPlainAverageOfARenderedPicture)
{
    RasterDevice d(64, 48);
    d.SelectSolidBrush(0x00336699);
    d.SelectSolidPen(0x00CC0000, 3);
    const Point c[3] = {{60, 0}, {0, 47}, {63, 40}};
    d.BeginPath();
    d.MoveToEx(1, 1);
    d.PolyBezierTo(c, 3);
    d.LineTo(3, 45);
    d.EndPath();
    d.FillPath();
    d.BeginPath();
    d.MoveToEx(1, 1);
    d.PolyBezierTo(c, 3);
    d.EndPath();
    d.StrokePath();
    const Bitmap24 full = d.ToBitmap();
    Bitmap24 half(32, 24);
    d.ReduceHalfTo(half);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const int sum = full.Row(2 * y)[6 * x + ch] + full.Row(2 * y)[6 * x + 3 + ch] +
                                full.Row(2 * y + 1)[6 * x + ch] + full.Row(2 * y + 1)[6 * x + 3 + ch];
                ASSERT_EQ(half.Row(y)[3 * x + ch], (sum + 2) / 4) << x << "," << y << " channel " << ch;
            }
}

TEST(RasterBitmap, ReductionNeedsATargetOfHalfTheSize)
{
    RasterDevice d(10, 6);
    Bitmap24 wrong(4, 3);
    EXPECT_THROW(d.ReduceHalfTo(wrong), std::invalid_argument);
    Bitmap24 empty;
    EXPECT_THROW(d.ReduceHalfTo(empty), std::invalid_argument);
    Bitmap24 right(5, 3);
    EXPECT_NO_THROW(d.ReduceHalfTo(right));
}

TEST(RasterBitmap, SizesThatCannotBeMadeRaiseCleanly)
{
    auto message = [](std::int32_t w, std::int32_t h) -> std::string {
        try {
            RasterDevice d(w, h);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no exception";
    };
    EXPECT_EQ(message(0, 10), "Invalid bitmap size 0 x 10");
    EXPECT_EQ(message(10, 0), "Invalid bitmap size 10 x 0");
    EXPECT_EQ(message(-5, 10), "Invalid bitmap size -5 x 10");
    EXPECT_NE(message(40000, 10).find("40000 x 10"), std::string::npos);
    EXPECT_NE(message(10, 2147483647).find("10 x 2147483647"), std::string::npos);
    EXPECT_NE(message(2147483647, 2147483647).find("too large"), std::string::npos);
    // The largest side is accepted.
    EXPECT_NO_THROW(RasterDevice(RasterDevice::kMaxSide, 1));
}

// A layer starts transparent; laid over a device, it replaces exactly the pixels drawn on it.
TEST(RasterLayer, LaidOverADeviceReplacesWhatWasDrawnOnIt)
{
    RasterDevice base(40, 20);
    base.FillRect(0, 0, 20, 20, 0x00FF0000);  // blue left half
    auto layer = RasterDevice::Layer(40, 20);
    layer->FillRect(10, 5, 30, 15, 0x000000FF);  // a red band across the middle
    layer->FillRect(35, 0, 40, 5, 0x00FFFFFF);    // white is drawn too, not a hole
    base.DrawOver(*layer);
    EXPECT_EQ(base.PixelAt(5, 10), 0x00FF0000u);
    EXPECT_EQ(base.PixelAt(15, 10), 0x000000FFu);
    EXPECT_EQ(base.PixelAt(25, 10), 0x000000FFu);
    EXPECT_EQ(base.PixelAt(35, 10), kWhite);
    EXPECT_EQ(base.PixelAt(15, 2), 0x00FF0000u);
    base.FillRect(35, 0, 40, 5, 0x0000FF00);
    base.DrawOver(*layer);
    EXPECT_EQ(base.PixelAt(37, 2), kWhite);
    auto other = RasterDevice::Layer(40, 21);
    EXPECT_THROW(base.DrawOver(*other), std::invalid_argument);
}

// --- Text ----------------------------------------------------------------------------------------------

void Text(RasterDevice& d, const LogFont& font, std::uint32_t align, int x, int y, std::string_view text,
          ColorRef color = kBlack)
{
    d.SelectFont(font);
    d.SetTextAlign(align);
    d.SetBkMode(BK_TRANSPARENT);
    d.SetTextColor(color);
    d.SetMapperFlags(0);
    d.ExtTextOut(x, y, text);
}

TEST(RasterText, BaselineLeftTextStandsOnTheBaselineWithTheCellHeightsCapitals)
{
    RasterDevice d(300, 100);
    Text(d, Arial(40), TA_BASELINE | TA_LEFT, 20, 60, "HELLO");
    const Box ink = Ink(d);
    ASSERT_FALSE(ink.Empty());
    // Capitals sit on the baseline: the last ink row is the one above it.
    EXPECT_EQ(ink.bottom, 59);
    // A cell of 40 pixels is an em of 36 (Arial's ascent + descent is 1.117 em), so capitals
    // are about 26 pixels high; an em of 40 would make them 29.
    EXPECT_GE(60 - ink.top, 24);
    EXPECT_LE(60 - ink.top, 27);
    EXPECT_GE(ink.left, 20);
    EXPECT_LE(ink.left, 24);
    EXPECT_GT(ink.right, 120);
    EXPECT_LT(ink.right, 180);
}

TEST(RasterText, DescendersGoBelowTheBaselineButNotFar)
{
    RasterDevice d(300, 120);
    Text(d, Arial(40), TA_BASELINE | TA_LEFT, 20, 60, "gjpqy");
    const Box ink = Ink(d);
    EXPECT_GT(ink.bottom, 62);
    EXPECT_LE(ink.bottom, 60 + 9);  // the cell's descent is 0.212 em = 7.6 pixels
}

TEST(RasterText, TextIsDrawnInTheTextColourWithoutAntialiasing)
{
    RasterDevice d(200, 80);
    Text(d, Arial(30), TA_BASELINE | TA_LEFT, 10, 50, "Quality @ 1252", 0x00208040);
    const Bitmap24 bm = d.ToBitmap();
    int coloured = 0;
    for (int y = 0; y < bm.Height(); ++y)
        for (int x = 0; x < bm.Width(); ++x) {
            const std::uint32_t p = bm.GetPixel(x, y);
            ASSERT_TRUE(p == kWhite || p == 0x00208040u) << std::hex << p;
            coloured += p != kWhite;
        }
    EXPECT_GT(coloured, 200);
}

TEST(RasterText, TopAlignmentHangsTheCellBelowThePoint)
{
    RasterDevice d(300, 100);
    Text(d, Arial(40), 0, 20, 10, "HELLO");
    const Box ink = Ink(d);
    // Cell top at 10, baseline at 10 + ascent (0.905 * 36 = 33), capitals 26 high above it.
    EXPECT_EQ(ink.bottom, 10 + 33 - 1);
    EXPECT_GE(ink.top, 10 + 5);
    EXPECT_LE(ink.top, 10 + 9);

    RasterDevice b(300, 100);
    Text(b, Arial(40), 8 /* bottom */, 20, 80, "HELLO");
    EXPECT_EQ(Ink(b).bottom, 80 - 8 - 1);  // descent 0.212 * 36 = 7.6 -> 8
}

TEST(RasterText, RightAndCentreAlignmentEndAtOrCentreOnThePoint)
{
    RasterDevice left(300, 60), right(300, 60), centre(300, 60);
    Text(left, Arial(30), TA_BASELINE | TA_LEFT, 100, 40, "MIM");
    Text(right, Arial(30), TA_BASELINE | CairoDevice::kAlignRight, 100, 40, "MIM");
    Text(centre, Arial(30), TA_BASELINE | CairoDevice::kAlignCenter, 100, 40, "MIM");
    const Box l = Ink(left), r = Ink(right), c = Ink(centre);
    const int width = l.right - l.left;
    EXPECT_EQ(r.right - r.left, width);
    EXPECT_LE(r.right, 100);
    EXPECT_GE(r.right, 96);
    EXPECT_NEAR((c.left + c.right) / 2.0, 100, 3);
}

TEST(RasterText, EscapementRotatesCounterClockwiseOnScreen)
{
    // 90 degrees: the text runs upward from the point, the letters' tops face left.
    RasterDevice up(100, 300);
    Text(up, Arial(40, 900), TA_BASELINE | TA_LEFT, 60, 250, "HELLO");
    Box ink = Ink(up);
    ASSERT_FALSE(ink.Empty());
    EXPECT_LE(ink.bottom, 250);
    EXPECT_GE(ink.bottom, 245);
    EXPECT_LT(ink.top, 150);
    EXPECT_EQ(ink.right, 59);
    EXPECT_GE(60 - ink.left, 24);
    EXPECT_LE(60 - ink.left, 27);

    // 45 degrees: up and to the right; the letters' tops lean left of the starting point by
    // at most their height (26) times sin 45.
    RasterDevice diag(300, 300);
    Text(diag, Arial(40, 450), TA_BASELINE | TA_LEFT, 50, 250, "HELLO");
    ink = Ink(diag);
    EXPECT_GE(ink.left, 50 - 19);
    EXPECT_LE(ink.bottom, 251);
    EXPECT_LT(ink.top, 180);
    EXPECT_GT(ink.right, 120);
    int foot = 0;  // the foot of the H, just up and right of the starting point
    for (int y = 245; y < 250; ++y)
        for (int x = 50; x < 55; ++x)
            foot += diag.PixelAt(x, y) == kBlack;
    EXPECT_GT(foot, 3);

    // 270 degrees: downward, tops facing right.
    RasterDevice down(100, 300);
    Text(down, Arial(40, 2700), TA_BASELINE | TA_LEFT, 40, 50, "HELLO");
    ink = Ink(down);
    EXPECT_GE(ink.top, 50);
    EXPECT_LE(ink.top, 55);
    EXPECT_GT(ink.bottom, 150);
    EXPECT_EQ(ink.left, 40);
    EXPECT_GE(ink.right - 40, 23);
    EXPECT_LE(ink.right - 40, 26);
}

TEST(RasterText, WeightItalicAndCodePageReachTheFace)
{
    RasterDevice regular(300, 80), bold(300, 80);
    LogFont f = Arial(40);
    Text(regular, f, TA_BASELINE, 10, 50, "Wellington");
    f.weight = 700;
    Text(bold, f, TA_BASELINE, 10, 50, "Wellington");
    EXPECT_GT(Ink(bold).count, Ink(regular).count * 5 / 4);

    // An italic capital I leans right: its top row starts further right than its bottom row.
    RasterDevice italic(100, 80);
    f = Arial(60);
    f.italic = true;
    Text(italic, f, TA_BASELINE, 20, 60, "I");
    const Box ink = Ink(italic);
    int topLeft = -1, bottomLeft = -1;
    for (int x = 0; x < 100 && (topLeft < 0 || bottomLeft < 0); ++x) {
        if (topLeft < 0 && italic.PixelAt(x, ink.top) != kWhite)
            topLeft = x;
        if (bottomLeft < 0 && italic.PixelAt(x, ink.bottom) != kWhite)
            bottomLeft = x;
    }
    EXPECT_GT(topLeft, bottomLeft + 5);

    // A width narrows or widens the characters; underline and strike-out add lines.
    RasterDevice narrow(300, 80), plain(300, 80), lined(300, 80);
    f = Arial(40);
    Text(plain, f, TA_BASELINE, 10, 50, "MMMM");
    f.width = 8;  // the face's average character width at this size is 15.9
    Text(narrow, f, TA_BASELINE, 10, 50, "MMMM");
    const Box bp = Ink(plain), bn = Ink(narrow);
    EXPECT_NEAR(bn.right - bn.left, (bp.right - bp.left) / 2.0, 8);
    EXPECT_EQ(bn.top, bp.top);
    RasterDevice natural(300, 80);
    f.width = 16;  // the natural width: the same characters as with width 0
    Text(natural, f, TA_BASELINE, 10, 50, "MMMM");
    EXPECT_EQ(Ink(natural).left, bp.left);
    EXPECT_EQ(Ink(natural).right, bp.right);
    f = Arial(40);
    f.underline = f.strikeOut = true;
    Text(lined, f, TA_BASELINE, 10, 50, "MMMM");
    const Box bl = Ink(lined);
    EXPECT_GT(bl.bottom, 50);  // the underline is below the baseline
    EXPECT_EQ(lined.PixelAt(10 + (bp.right - 10) / 8, 50 - 10), kBlack) << Picture(lined, 0, 10, 150, 60);

    // 0xE9 is e acute in the code page: the same letter with an accent above it.
    RasterDevice e(100, 80), eAcute(100, 80), euro(100, 80), c(100, 80);
    Text(e, Arial(40), TA_BASELINE, 20, 60, "e");
    Text(eAcute, Arial(40), TA_BASELINE, 20, 60, "\xE9");
    const Box be = Ink(e), ba = Ink(eAcute);
    EXPECT_EQ(ba.bottom, be.bottom);
    EXPECT_LT(ba.top, be.top - 5);
    // 0x80 is the euro sign, which is not C.
    Text(euro, Arial(40), TA_BASELINE, 20, 60, "\x80");
    Text(c, Arial(40), TA_BASELINE, 20, 60, "C");
    EXPECT_GT(Ink(euro).count, 50);
    EXPECT_NE(Ink(euro).count, Ink(c).count);
}

TEST(RasterText, OpaqueBackgroundFillsTheCellAndTransparentLeavesIt)
{
    RasterDevice d(200, 60);
    d.FillRect(0, 0, 200, 60, kBlue);
    d.SelectFont(Arial(40));
    d.SetTextAlign(TA_BASELINE);
    d.SetTextColor(kBlack);
    EXPECT_EQ(d.BkMode(), BK_OPAQUE);  // the default, as on a fresh device context
    d.ExtTextOut(10, 40, "ii");
    // The cell spans 33 pixels above the baseline and 8 below it.
    EXPECT_EQ(d.PixelAt(11, 40 - 33), kWhite);
    EXPECT_EQ(d.PixelAt(11, 40 - 34), kBlue);
    EXPECT_EQ(d.PixelAt(11, 40 + 7), kWhite);
    EXPECT_EQ(d.PixelAt(11, 40 + 8), kBlue);
    EXPECT_EQ(d.PixelAt(9, 30), kBlue);

    d.SetBkMode(BK_TRANSPARENT);
    d.ExtTextOut(100, 40, "ii");
    EXPECT_EQ(d.PixelAt(101, 40 - 33), kBlue);
    EXPECT_EQ(d.PixelAt(101, 40 + 7), kBlue);
}

TEST(RasterText, EmptyAndUnusualTextIsHandled)
{
    RasterDevice d(200, 60);
    d.SelectFont(Arial(30));
    d.SetBkMode(BK_TRANSPARENT);
    d.SetTextAlign(TA_BASELINE);
    d.ExtTextOut(10, 40, "");
    EXPECT_TRUE(Ink(d).Empty());
    d.ExtTextOut(10, 40, std::string_view("A\0B\x01\x81", 5));
    EXPECT_FALSE(Ink(d).Empty());
    // Far outside the bitmap, and a font far larger than it: nothing breaks.
    d.ExtTextOut(2000000000, -2000000000, "far away");
    LogFont huge = Arial(2000000000);
    d.SelectFont(huge);
    d.ExtTextOut(10, 40, "W");
    d.SelectFont(Arial(-3000));  // an em of 3000 pixels, drawn as outlines
    d.ExtTextOut(-500, 2000, "W");
    d.SelectFont(Arial(0));
    d.ExtTextOut(100, 40, "default size");
    SUCCEED();
}

// FreeType refuses 65,536 pixels per em; asking for it once must not leave the face, which all
// devices share, unable to draw. Rotated and through a scaled context as well.
TEST(RasterText, AnEmBeyondTheFontEngineLeavesTheFaceDrawing)
{
    for (const int escapement : {0, 450}) {
        {
            RasterDevice d(100, 60);
            LogFont huge = Arial(-70000);
            huge.escapement = escapement;
            Text(d, huge, TA_BASELINE, 10, 40, "W");
            LogFont scaled = Arial(-40000);
            scaled.escapement = escapement;
            cairo_scale(d.Context(), 2, 2);
            Text(d, scaled, TA_BASELINE, 10, 40, "W");
            cairo_identity_matrix(d.Context());
        }
        RasterDevice d(200, 60);
        Text(d, Arial(30), TA_BASELINE, 10, 40, "Still drawn");
        EXPECT_GT(Ink(d).count, 100) << escapement;
    }
}

TEST(RasterText, UnknownFaceFallsBackToAnotherFace)
{
    RasterDevice d(200, 60);
    LogFont f = Arial(30);
    f.faceName = "No Such Face Anywhere";
    Text(d, f, TA_BASELINE, 10, 40, "Fallback");
    EXPECT_GT(Ink(d).count, 100);
}

// --- BMP files -----------------------------------------------------------------------------------------

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::filesystem::path TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::filesystem::path p = std::filesystem::path(base && *base ? base : "/tmp") /
                              ("plotwick_raster_" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p;
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BmpWriter, HeadersPaddingAndBottomUpRows)
{
    Bitmap24 bm(3, 2);
    bm.SetPixel(0, 0, 0x00030201);
    bm.SetPixel(1, 0, 0x00060504);
    bm.SetPixel(2, 0, 0x00090807);
    bm.SetPixel(0, 1, 0x00A3A2A1);
    bm.SetPixel(1, 1, 0x00B3B2B1);
    bm.SetPixel(2, 1, 0x00C3C2C1);
    const std::vector<std::uint8_t> b = EncodeBmp(bm);
    ASSERT_EQ(b.size(), 54u + 2 * 12);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(U32(b, 2), 78u);   // bfSize
    EXPECT_EQ(U32(b, 6), 0u);    // reserved
    EXPECT_EQ(U32(b, 10), 54u);  // bfOffBits
    EXPECT_EQ(U32(b, 14), 40u);  // biSize
    EXPECT_EQ(U32(b, 18), 3u);   // biWidth
    EXPECT_EQ(U32(b, 22), 2u);   // biHeight, positive: bottom-up
    EXPECT_EQ(U16(b, 26), 1);    // biPlanes
    EXPECT_EQ(U16(b, 28), 24);   // biBitCount
    EXPECT_EQ(U32(b, 30), 0u);   // BI_RGB
    EXPECT_EQ(U32(b, 34), 24u);  // biSizeImage
    EXPECT_EQ(U32(b, 38), 0u);
    EXPECT_EQ(U32(b, 42), 0u);
    EXPECT_EQ(U32(b, 46), 0u);   // no colour table
    EXPECT_EQ(U32(b, 50), 0u);
    // The bottom row first, blue-green-red, then three zero bytes of padding.
    const std::vector<std::uint8_t> rows(b.begin() + 54, b.end());
    const std::vector<std::uint8_t> expected = {0xA3, 0xA2, 0xA1, 0xB3, 0xB2, 0xB1, 0xC3, 0xC2, 0xC1, 0, 0, 0,
                                                0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07, 0, 0, 0};
    EXPECT_EQ(rows, expected);
}

TEST(BmpWriter, RowSizesForEveryPaddingAndEmptyBitmaps)
{
    for (int w = 1; w <= 8; ++w) {
        const std::vector<std::uint8_t> b = EncodeBmp(Bitmap24(w, 5, 0x00102030));
        const std::size_t row = (w * 3 + 3) / 4 * 4;
        ASSERT_EQ(b.size(), 54 + row * 5) << w;
        EXPECT_EQ(row % 4, 0u);
        for (std::size_t y = 0; y < 5; ++y)
            for (std::size_t i = w * 3; i < row; ++i)
                EXPECT_EQ(b[54 + y * row + i], 0) << w;
        EXPECT_EQ(b[54 + row * 4 + 3 * (w - 1)], 0x10);  // blue of the last pixel of the top row
        EXPECT_EQ(b[54 + row * 4 + 3 * (w - 1) + 2], 0x30);
    }
    EXPECT_THROW(EncodeBmp(Bitmap24()), std::runtime_error);
    EXPECT_THROW(EncodeBmp(Bitmap24(0, 4)), std::runtime_error);
    EXPECT_THROW(EncodeBmp(Bitmap24(4, 0)), std::runtime_error);
}

TEST(BmpWriter, SavesTheEncodedBytesAndReplacesAnExistingFile)
{
    const auto dir = TempDir();
    const auto path = dir / "picture.bmp";
    {
        std::ofstream(path) << "old contents";
    }
    RasterDevice d(6, 4);
    d.FillRect(1, 1, 3, 3, kRed);
    const Bitmap24 bm = d.ToBitmap();
    SaveBmp(bm, path.string());
    EXPECT_EQ(ReadAll(path), EncodeBmp(bm));
    EXPECT_THROW(SaveBmp(bm, (dir / "missing-folder" / "x.bmp").string()), std::runtime_error);
    EXPECT_THROW(SaveBmp(Bitmap24(), (dir / "empty.bmp").string()), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(dir / "empty.bmp"));
    std::filesystem::remove_all(dir);
}

// --- PNG files -----------------------------------------------------------------------------------------

struct StreamReader {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at = 0;
    static cairo_status_t Read(void* closure, unsigned char* data, unsigned int length)
    {
        auto* self = static_cast<StreamReader*>(closure);
        if (self->at + length > self->bytes->size())
            return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, self->bytes->data() + self->at, length);
        self->at += length;
        return CAIRO_STATUS_SUCCESS;
    }
};

void ExpectSamePixels(cairo_surface_t* s, const Bitmap24& bm)
{
    ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(s), bm.Width());
    ASSERT_EQ(cairo_image_surface_get_height(s), bm.Height());
    cairo_surface_flush(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < bm.Height(); ++y)
        for (int x = 0; x < bm.Width(); ++x) {
            std::uint32_t p;
            std::memcpy(&p, data + y * stride + x * 4, 4);
            const std::uint32_t bgr = ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
            ASSERT_EQ(bgr, bm.GetPixel(x, y)) << x << "," << y;
        }
}

TEST(PngWriter, RoundTripsEveryPixel)
{
    Bitmap24 bm(37, 11);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 37; ++x)
            bm.SetPixel(x, y, static_cast<std::uint32_t>((x * 7) | (y * 23) << 8 | ((x + y) * 5) << 16));
    const std::vector<std::uint8_t> png = EncodePng(bm);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    StreamReader reader{&png};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(StreamReader::Read, &reader);
    ExpectSamePixels(s, bm);
    EXPECT_EQ(cairo_image_surface_get_format(s), CAIRO_FORMAT_RGB24);  // no alpha channel
    cairo_surface_destroy(s);

    const auto dir = TempDir();
    const auto path = dir / "picture.png";
    SavePng(bm, path.string());
    EXPECT_EQ(ReadAll(path), png);
    s = cairo_image_surface_create_from_png(path.string().c_str());
    ExpectSamePixels(s, bm);
    cairo_surface_destroy(s);
    std::filesystem::remove_all(dir);

    EXPECT_THROW(EncodePng(Bitmap24()), std::runtime_error);
    // A side longer than any surface is refused when the bitmap is made, before memory is asked for.
    EXPECT_THROW(Bitmap24(40000, 1), std::length_error);
}

}  // namespace
}  // namespace plotwick::gdi
