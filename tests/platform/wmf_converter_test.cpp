// The EMF-to-placeable-WMF conversion: recordings made with the EMF recorder, converted and read
// back with the test walker.

#include "platform/metafile/EmfRecorder.h"
#include "platform/metafile/WmfConverter.h"
#include "tests/support/MetafileFixtures.h"
#include "tests/support/MetafileWalker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace plotwick::gdi {
namespace {

using testing::DrawingMapping;
using testing::FakeMeasure;
using testing::FrameFor;
using testing::WalkEmf;
using testing::WalkWmf;
using testing::WmfFile;
using testing::WmfRecord;

constexpr std::uint16_t META_EOF = 0x0000, SETBKMODE = 0x0102, SETMAPMODE = 0x0103, SETPOLYFILLMODE = 0x0106,
                        SELECTOBJECT = 0x012D, SETTEXTALIGN = 0x012E, DELETEOBJECT = 0x01F0,
                        SETTEXTCOLOR = 0x0209, SETWINDOWORG = 0x020B, SETWINDOWEXT = 0x020C,
                        SETMAPPERFLAGS = 0x0231, CREATEPENINDIRECT = 0x02FA, CREATEFONTINDIRECT = 0x02FB,
                        CREATEBRUSHINDIRECT = 0x02FC, POLYGON = 0x0324, POLYLINE = 0x0325,
                        POLYPOLYGON = 0x0538, EXTTEXTOUT = 0x0A32;

// The window extent the conversion should give: the frame in logical units of the mapping
// above (0.01 mm -> pixels of the 96-dpi screen -> 31.25-ish logical units a pixel).
double LogicalFrameX(int w)
{
    return FrameFor(w, 1).right * 1920.0 / 50800 * (100.0 * w) / std::nearbyint(100 * w / 31.25);
}
double LogicalFrameY(int h)
{
    return FrameFor(1, h).bottom * 1080.0 / 28600 * (100.0 * h) / std::nearbyint(100 * h / 31.25);
}

std::vector<std::uint8_t> Convert(EmfRecorder& rec)
{
    return ConvertEmfToPlaceableWmf(rec.Finish());
}

// A drawing record with the objects selected when it was played.
struct Drawn {
    WmfRecord record;
    std::optional<WmfRecord> pen, brush, font;
};

// Plays the object records of a WMF by the object-table rules (a new object takes the lowest
// free slot; only existing objects may be selected or deleted), failing the test on a breach
// or on the deletion of a selected object, and returns the drawing records with their objects.
std::vector<Drawn> Play(const WmfFile& wmf)
{
    std::vector<std::optional<WmfRecord>> table;
    std::optional<std::size_t> selected[3];
    std::size_t largest = 0;
    std::vector<Drawn> drawn;
    const auto kind = [](std::uint16_t f) { return f == CREATEPENINDIRECT ? 0 : f == CREATEBRUSHINDIRECT ? 1 : 2; };
    for (const auto& r : wmf.records) {
        switch (r.function) {
        case CREATEPENINDIRECT:
        case CREATEBRUSHINDIRECT:
        case CREATEFONTINDIRECT: {
            auto free = std::find_if(table.begin(), table.end(), [](const auto& s) { return !s; });
            if (free == table.end())
                free = table.insert(table.end(), std::nullopt);
            *free = r;
            largest = std::max(largest, table.size());
            break;
        }
        case SELECTOBJECT: {
            const std::size_t i = r.UParam(0);
            if (i >= table.size() || !table[i]) {
                ADD_FAILURE() << "selection of object " << i << " that does not exist";
                return drawn;
            }
            selected[kind(table[i]->function)] = i;
            break;
        }
        case DELETEOBJECT: {
            const std::size_t i = r.UParam(0);
            if (i >= table.size() || !table[i]) {
                ADD_FAILURE() << "deletion of object " << i << " that does not exist";
                return drawn;
            }
            EXPECT_NE(selected[kind(table[i]->function)], std::optional<std::size_t>(i))
                << "object " << i << " deleted while selected";
            table[i].reset();
            break;
        }
        case POLYGON:
        case POLYLINE:
        case POLYPOLYGON:
        case EXTTEXTOUT: {
            Drawn d{r, {}, {}, {}};
            if (selected[0])
                d.pen = table[*selected[0]];
            if (selected[1])
                d.brush = table[*selected[1]];
            if (selected[2])
                d.font = table[*selected[2]];
            drawn.push_back(d);
            break;
        }
        default:
            break;
        }
    }
    EXPECT_EQ(wmf.numberOfObjects, largest);
    return drawn;
}

std::vector<const WmfRecord*> OfFunction(const WmfFile& wmf, std::uint16_t function)
{
    std::vector<const WmfRecord*> out;
    for (const auto& r : wmf.records)
        if (r.function == function)
            out.push_back(&r);
    return out;
}

// The points of a POLYGON or POLYLINE record.
std::vector<Point> PointsOf(const WmfRecord& r)
{
    std::vector<Point> points;
    const int n = r.Param(0);
    EXPECT_EQ(r.words, 4u + 2 * n);
    for (int i = 0; i < n; ++i)
        points.push_back(Point{r.Param(1 + 2 * i), r.Param(2 + 2 * i)});
    return points;
}

// Checks of the two headers that every converted file must pass.
void ExpectHeadersSound(const std::vector<std::uint8_t>& bytes, const WmfFile& wmf)
{
    EXPECT_EQ(wmf.key, 0x9AC6CDD7u);
    EXPECT_EQ(wmf.handle, 0);
    EXPECT_EQ(wmf.left, 0);
    EXPECT_EQ(wmf.top, 0);
    // The box is the window the records set, in their own units.
    EXPECT_GT(wmf.unitsPerInch, 0);
    const auto ext = std::find_if(wmf.records.begin(), wmf.records.end(),
                                  [](const WmfRecord& r) { return r.function == SETWINDOWEXT; });
    if (ext != wmf.records.end()) {
        EXPECT_EQ(wmf.right, ext->Param(1));
        EXPECT_EQ(wmf.bottom, ext->Param(0));
    }
    EXPECT_EQ(wmf.reserved, 0u);
    EXPECT_EQ(wmf.checksum, wmf.computedChecksum);
    EXPECT_EQ(wmf.type, 1);
    EXPECT_EQ(wmf.headerWords, 9);
    EXPECT_EQ(wmf.version, 0x0300);
    EXPECT_EQ(2 * std::size_t(wmf.sizeWords), bytes.size() - 22);
    EXPECT_EQ(wmf.numberOfMembers, 0);
    std::uint32_t largest = 0;
    for (const auto& r : wmf.records)
        largest = std::max(largest, r.words);
    EXPECT_EQ(wmf.maxRecord, largest);
    EXPECT_EQ(wmf.records.back().function, META_EOF);
    EXPECT_EQ(wmf.records.back().words, 3u);
}

// ---- Headers and mapping ------------------------------------------------------------------------

TEST(WmfConverterHeaders, PlaceableHeaderAndChecksum)
{
    // A frame of 2646 x 1323 hundredths of a millimetre recorded in pixels (MM_TEXT) is
    // 100 x 50 records' units at 96 to the inch.
    EmfRecorder rec(RectL{0, 0, 2646, 1323});
    const auto bytes = Convert(rec);
    const WmfFile wmf = WalkWmf(bytes);
    EXPECT_EQ(wmf.left, 0);
    EXPECT_EQ(wmf.top, 0);
    EXPECT_EQ(wmf.right, 100);
    EXPECT_EQ(wmf.bottom, 50);
    EXPECT_EQ(wmf.unitsPerInch, 96);
    EXPECT_EQ(wmf.checksum, 0x5727);
    ExpectHeadersSound(bytes, wmf);
    const std::vector<std::uint8_t> start(bytes.begin(), bytes.begin() + 4);
    EXPECT_EQ(start, (std::vector<std::uint8_t>{0xD7, 0xCD, 0xC6, 0x9A}));

    // The frame of a 100 x 50 drawing, 2699 x 1377 hundredths of a millimetre, in the records'
    // units (31.25-ish a pixel), as the window is: the same box, at 3000 units to the inch.
    EmfRecorder drawing(FrameFor(100, 50));
    DrawingMapping(drawing, 100, 50);
    const auto second = Convert(drawing);
    const WmfFile w2 = WalkWmf(second);
    EXPECT_EQ(w2.right, 3188);
    EXPECT_EQ(w2.bottom, 1625);
    EXPECT_EQ(w2.right, w2.records.at(2).Param(1));
    EXPECT_EQ(w2.bottom, w2.records.at(2).Param(0));
    EXPECT_EQ(w2.unitsPerInch, 3000);
    EXPECT_NEAR(w2.right * 2540.0 / w2.unitsPerInch, 2699, 1);  // the physical width kept
    ExpectHeadersSound(second, w2);
}

TEST(WmfConverterHeaders, EmptyRecordingGivesAValidFile)
{
    EmfRecorder rec(FrameFor(100, 50));
    DrawingMapping(rec, 100, 50);
    const auto bytes = Convert(rec);
    const WmfFile wmf = WalkWmf(bytes);
    ExpectHeadersSound(bytes, wmf);
    ASSERT_EQ(wmf.records.size(), 4u);
    EXPECT_EQ(wmf.records[0].function, SETMAPMODE);
    EXPECT_EQ(wmf.records[1].function, SETWINDOWORG);
    EXPECT_EQ(wmf.records[2].function, SETWINDOWEXT);
    EXPECT_EQ(wmf.records[3].function, META_EOF);
    EXPECT_EQ(wmf.numberOfObjects, 0);
    EXPECT_EQ(bytes.size(), 22u + 18 + 2 * (4 + 5 + 5 + 3));
}

TEST(WmfConverterHeaders, WindowCoversThePictureFrame)
{
    EmfRecorder rec(FrameFor(100, 50));
    DrawingMapping(rec, 100, 50);
    const WmfFile wmf = WalkWmf(Convert(rec));
    const WmfRecord& mode = wmf.records.at(0);
    EXPECT_EQ(mode.function, SETMAPMODE);
    EXPECT_EQ(mode.words, 4u);
    EXPECT_EQ(mode.Param(0), 8);  // MM_ANISOTROPIC
    const WmfRecord& org = wmf.records.at(1);
    EXPECT_EQ(org.words, 5u);
    EXPECT_EQ(org.Param(0), 0);  // y
    EXPECT_EQ(org.Param(1), 0);  // x
    const WmfRecord& ext = wmf.records.at(2);
    EXPECT_EQ(ext.words, 5u);
    EXPECT_EQ(ext.Param(1), std::lround(LogicalFrameX(100)));  // 3187.8
    EXPECT_EQ(ext.Param(0), std::lround(LogicalFrameY(50)));   // 1624.96
    EXPECT_EQ(ext.Param(1), 3188);
    EXPECT_EQ(ext.Param(0), 1625);
}

// ---- Paths --------------------------------------------------------------------------------------

TEST(WmfConverterPaths, FillsWithANullPenStrokesAsPolylinesWithTheirPen)
{
    EmfRecorder rec(FrameFor(100, 50));
    DrawingMapping(rec, 100, 50);
    rec.SelectSolidBrush(0x00FF0000);
    rec.SelectSolidPen(0x000000FF, 31);
    for (int pass = 0; pass < 2; ++pass) {
        rec.BeginPath();
        rec.MoveToEx(31, 31);
        rec.LineTo(3156, 31);
        rec.LineTo(3156, 1594);
        rec.EndPath();
        if (pass == 0)
            rec.FillPath();
        else
            rec.StrokePath();
    }
    const auto bytes = Convert(rec);
    const WmfFile wmf = WalkWmf(bytes);
    ExpectHeadersSound(bytes, wmf);
    const auto drawn = Play(wmf);
    ASSERT_EQ(drawn.size(), 2u);

    const Drawn& fill = drawn[0];
    EXPECT_EQ(fill.record.function, POLYGON);
    EXPECT_EQ(PointsOf(fill.record), (std::vector<Point>{{31, 31}, {3156, 31}, {3156, 1594}}));
    ASSERT_TRUE(fill.pen && fill.brush);
    EXPECT_EQ(fill.pen->words, 8u);
    EXPECT_EQ(fill.pen->UParam(0), 5);  // PS_NULL
    EXPECT_EQ(fill.brush->words, 7u);
    EXPECT_EQ(fill.brush->UParam(0), 0);  // BS_SOLID
    EXPECT_EQ(fill.brush->bytes.U32(8), 0x00FF0000u);
    const auto modes = OfFunction(wmf, SETPOLYFILLMODE);
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0]->Param(0), 1);  // ALTERNATE
    EXPECT_LT(modes[0]->offset, fill.record.offset);

    const Drawn& stroke = drawn[1];
    EXPECT_EQ(stroke.record.function, POLYLINE);
    EXPECT_EQ(PointsOf(stroke.record), (std::vector<Point>{{31, 31}, {3156, 31}, {3156, 1594}}));
    ASSERT_TRUE(stroke.pen);
    EXPECT_EQ(stroke.pen->UParam(0), 0);     // PS_SOLID
    EXPECT_EQ(stroke.pen->Param(1), 31);     // width
    EXPECT_EQ(stroke.pen->bytes.U32(12), 0x000000FFu);
}

// Inserts a record into an EMF before the record with the given index, keeping the header's
// counts right.
std::vector<std::uint8_t> InsertRecord(std::vector<std::uint8_t> emf, std::size_t before,
                                       std::vector<std::uint8_t> record)
{
    const auto records = WalkEmf(emf);
    emf.insert(emf.begin() + static_cast<std::ptrdiff_t>(records.at(before).offset), record.begin(), record.end());
    const auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            emf[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(48, static_cast<std::uint32_t>(emf.size()));
    put(52, static_cast<std::uint32_t>(records.size() + 1));
    return emf;
}

TEST(WmfConverterPaths, ClosedFiguresStrokedAsPolygonsWithANullBrush)
{
    EmfRecorder rec(RectL{0, 0, 5000, 5000});
    rec.SelectSolidBrush(0x00123456);
    rec.SelectSolidPen(0x00000000, 3);
    rec.BeginPath();
    rec.MoveToEx(10, 10);
    rec.LineTo(100, 10);
    rec.LineTo(100, 100);
    rec.MoveToEx(200, 200);
    rec.LineTo(300, 200);
    rec.EndPath();
    rec.StrokePath();
    const auto emf = rec.Finish();
    const auto records = WalkEmf(emf);
    // Close the first figure only: CLOSEFIGURE right before the second MOVETOEX.
    std::size_t secondMove = 0;
    for (std::size_t i = 0, moves = 0; i < records.size(); ++i)
        if (records[i].type == 27 && ++moves == 2)
            secondMove = i;
    const std::vector<std::uint8_t> close = {61, 0, 0, 0, 8, 0, 0, 0};
    const auto withClose = InsertRecord(emf, secondMove, close);

    const auto bytes = ConvertEmfToPlaceableWmf(withClose);
    const WmfFile wmf = WalkWmf(bytes);
    ExpectHeadersSound(bytes, wmf);
    const auto drawn = Play(wmf);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].record.function, POLYGON);
    EXPECT_EQ(PointsOf(drawn[0].record), (std::vector<Point>{{10, 10}, {100, 10}, {100, 100}}));
    ASSERT_TRUE(drawn[0].brush && drawn[0].pen);
    EXPECT_EQ(drawn[0].brush->UParam(0), 1);  // BS_NULL
    EXPECT_EQ(drawn[0].pen->Param(1), 3);
    EXPECT_EQ(drawn[1].record.function, POLYLINE);
    EXPECT_EQ(PointsOf(drawn[1].record), (std::vector<Point>{{200, 200}, {300, 200}}));
}

TEST(WmfConverterPaths, ACosmeticPenIsOnePixelOfThePicture)
{
    // The EMF's thinnest line (a filled glyph's outline) keeps one pixel's width, 31 logical
    // units here, where a width of 0 would be a thirty-first of a pixel to scaling readers.
    EmfRecorder rec(FrameFor(100, 50));
    DrawingMapping(rec, 100, 50);
    rec.SelectSolidPen(0x0000FF00, 1);
    rec.BeginPath();
    rec.MoveToEx(31, 31);
    rec.LineTo(3156, 31);
    rec.EndPath();
    rec.StrokePath();
    const WmfFile wmf = WalkWmf(Convert(rec));  // owns the bytes the records below read
    const auto drawn = Play(wmf);
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_TRUE(drawn[0].pen);
    EXPECT_EQ(drawn[0].pen->Param(1), 31);
}

TEST(WmfConverterPaths, SeveralFiguresFillTogether)
{
    EmfRecorder rec(RectL{0, 0, 5000, 5000});
    rec.SelectSolidBrush(0x0000FF00);
    rec.BeginPath();
    const Point outer[4] = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
    const Point inner[4] = {{25, 25}, {75, 25}, {75, 75}, {25, 75}};
    for (const Point* square : {outer, inner}) {
        rec.MoveToEx(square[0].x, square[0].y);
        for (int i = 1; i < 4; ++i)
            rec.LineTo(square[i].x, square[i].y);
    }
    rec.MoveToEx(500, 500);  // a lone point adds no figure
    rec.EndPath();
    rec.FillPath();
    const auto bytes = Convert(rec);
    const WmfFile wmf = WalkWmf(bytes);
    ExpectHeadersSound(bytes, wmf);
    const auto drawn = Play(wmf);
    ASSERT_EQ(drawn.size(), 1u);
    const WmfRecord& r = drawn[0].record;
    EXPECT_EQ(r.function, POLYPOLYGON);
    EXPECT_EQ(r.Param(0), 2);
    EXPECT_EQ(r.Param(1), 4);
    EXPECT_EQ(r.Param(2), 4);
    EXPECT_EQ(r.words, 3u + 1 + 2 + 2 * 8);
    std::vector<Point> points;
    for (int i = 0; i < 8; ++i)
        points.push_back(Point{r.Param(3 + 2 * i), r.Param(4 + 2 * i)});
    EXPECT_EQ(points, (std::vector<Point>{{0, 0}, {100, 0}, {100, 100}, {0, 100},
                                          {25, 25}, {75, 25}, {75, 75}, {25, 75}}));
    EXPECT_EQ(drawn[0].pen->UParam(0), 5);
    EXPECT_EQ(OfFunction(wmf, SETPOLYFILLMODE).at(0)->Param(0), 1);
}

// Distance from p to the cubic, by dense sampling.
double DistanceToCubic(double px, double py, const double (&c)[8])
{
    double best = 1e300;
    for (int i = 0; i <= 20000; ++i) {
        const double t = i / 20000.0, u = 1 - t;
        const double x = u * u * u * c[0] + 3 * u * u * t * c[2] + 3 * u * t * t * c[4] + t * t * t * c[6];
        const double y = u * u * u * c[1] + 3 * u * u * t * c[3] + 3 * u * t * t * c[5] + t * t * t * c[7];
        best = std::min(best, std::hypot(px - x, py - y));
    }
    return best;
}

TEST(WmfConverterPaths, CurvesFlattenedWithoutVisibleFacets)
{
    // A quarter circle of 320 pixels' radius in the drawing mapping (31.25 units a pixel).
    EmfRecorder rec(FrameFor(400, 400));
    DrawingMapping(rec, 400, 400);
    rec.SelectSolidPen(0, 31);
    rec.BeginPath();
    rec.MoveToEx(10000, 312);
    const Point arc[3] = {{10000, 5835}, {5835, 10000}, {312, 10000}};
    rec.PolyBezierTo(arc, 3);
    rec.EndPath();
    rec.StrokePath();
    const WmfFile wmf = WalkWmf(Convert(rec));
    const auto drawn = Play(wmf);
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_EQ(drawn[0].record.function, POLYLINE);
    const auto points = PointsOf(drawn[0].record);
    ASSERT_GE(points.size(), 10u);
    EXPECT_LE(points.size(), 400u);
    EXPECT_EQ(points.front(), (Point{10000, 312}));
    EXPECT_EQ(points.back(), (Point{312, 10000}));
    const double curve[8] = {10000, 312, 10000, 5835, 5835, 10000, 312, 10000};
    const double unitsPerPixel = 31.25;
    double worst = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        worst = std::max(worst, DistanceToCubic(points[i].x, points[i].y, curve));
        if (i + 1 < points.size()) {
            // The middle of every segment: where a chord strays farthest from the curve.
            const double mx = (points[i].x + points[i + 1].x) / 2.0, my = (points[i].y + points[i + 1].y) / 2.0;
            worst = std::max(worst, DistanceToCubic(mx, my, curve));
        }
    }
    EXPECT_LT(worst / unitsPerPixel, 0.1) << "largest distance from the curve: " << worst << " units";
}

TEST(WmfConverterPaths, MappingChangedAfterDrawingStartedKeepsThePicture)
{
    EmfRecorder rec(FrameFor(100, 50));
    DrawingMapping(rec, 100, 50);
    rec.SelectSolidPen(0, 31);
    rec.BeginPath();
    rec.MoveToEx(0, 0);
    rec.LineTo(31, 0);
    rec.EndPath();
    rec.StrokePath();
    rec.SetMapMode(1);  // MM_TEXT: one logical unit is a pixel from here on
    rec.SelectSolidPen(0, 2);
    rec.BeginPath();
    rec.MoveToEx(10, 10);
    rec.LineTo(50, 25);
    rec.EndPath();
    rec.StrokePath();
    const auto bytes = Convert(rec);
    const WmfFile wmf = WalkWmf(bytes);
    ExpectHeadersSound(bytes, wmf);
    const auto drawn = Play(wmf);
    ASSERT_EQ(drawn.size(), 2u);
    // Pixels back to the first mapping's units: 10 -> 312.5, 50 -> 1562.5, 25 -> 781.25.
    EXPECT_EQ(PointsOf(drawn[1].record), (std::vector<Point>{{313, 313}, {1563, 781}}));
    EXPECT_EQ(drawn[1].pen->Param(1), 63);  // 2 pixels = 62.5 units
}

// ---- Objects ------------------------------------------------------------------------------------

TEST(WmfConverterObjects, ObjectsReusedAndTheTableKeptSmall)
{
    EmfRecorder rec(FrameFor(100, 50));
    DrawingMapping(rec, 100, 50);
    const std::uint32_t fills[4] = {0x0000FF, 0x00FF00, 0x0000FF, 0xFF0000};
    for (int shape = 0; shape < 4; ++shape) {
        rec.SelectSolidBrush(fills[shape]);
        rec.SelectSolidPen(0, 31);
        for (int pass = 0; pass < 2; ++pass) {
            rec.BeginPath();
            rec.MoveToEx(100 * shape, 0);
            rec.LineTo(100 * shape + 90, 0);
            rec.LineTo(100 * shape + 90, 90);
            rec.EndPath();
            if (pass == 0)
                rec.FillPath();
            else
                rec.StrokePath();
        }
    }
    const auto bytes = Convert(rec);
    const WmfFile wmf = WalkWmf(bytes);
    ExpectHeadersSound(bytes, wmf);
    const auto drawn = Play(wmf);
    ASSERT_EQ(drawn.size(), 8u);
    for (int shape = 0; shape < 4; ++shape) {
        EXPECT_EQ(drawn[2 * shape].pen->UParam(0), 5);
        EXPECT_EQ(drawn[2 * shape].brush->bytes.U32(8), fills[shape]);
        EXPECT_EQ(drawn[2 * shape + 1].pen->UParam(0), 0);
    }
    // The null pen and the black pen are made once; brushes whenever the colour changes.
    EXPECT_EQ(OfFunction(wmf, CREATEPENINDIRECT).size(), 2u);
    EXPECT_EQ(OfFunction(wmf, CREATEBRUSHINDIRECT).size(), 4u);
    EXPECT_LE(wmf.numberOfObjects, 4);
}

// ---- Text ---------------------------------------------------------------------------------------

TEST(WmfConverterText, FontStateAndTextRecords)
{
    EmfRecorder rec(FrameFor(100, 50), ReferenceDevice{}, FakeMeasure);
    DrawingMapping(rec, 100, 50);
    LogFont f;
    f.height = 375;
    f.escapement = 450;
    f.orientation = 450;
    f.weight = 400;
    f.faceName = "Arial";
    rec.SelectFont(f);
    rec.SetMapperFlags(0);
    rec.SetTextAlign(24);
    rec.SetBkMode(1);
    rec.SetTextColor(0x00123456);
    rec.ExtTextOut(312, 1594, "A\x80\xe9");
    const auto bytes = Convert(rec);
    const WmfFile wmf = WalkWmf(bytes);
    ExpectHeadersSound(bytes, wmf);
    const auto drawn = Play(wmf);
    ASSERT_EQ(drawn.size(), 1u);
    const WmfRecord& t = drawn[0].record;
    ASSERT_EQ(t.function, EXTTEXTOUT);
    EXPECT_EQ(t.Param(0), 1594);  // y
    EXPECT_EQ(t.Param(1), 312);   // x
    EXPECT_EQ(t.Param(2), 3);     // bytes of text
    EXPECT_EQ(t.UParam(3), 0);    // options
    EXPECT_EQ(t.bytes.U8(14), 'A');
    EXPECT_EQ(t.bytes.U8(15), 0x80);
    EXPECT_EQ(t.bytes.U8(16), 0xE9);
    EXPECT_EQ(t.Param(6), 11);  // spacing, after the text padded to a word
    EXPECT_EQ(t.Param(7), 22);
    EXPECT_EQ(t.Param(8), 33);
    EXPECT_EQ(t.words, 7u + 2 + 3);

    ASSERT_TRUE(drawn[0].font);
    const WmfRecord& font = *drawn[0].font;
    EXPECT_EQ(font.words, 28u);
    EXPECT_EQ(font.Param(0), 375);
    EXPECT_EQ(font.Param(1), 0);
    EXPECT_EQ(font.Param(2), 450);
    EXPECT_EQ(font.Param(3), 450);
    EXPECT_EQ(font.Param(4), 400);
    EXPECT_EQ(font.bytes.U8(16), 0);  // italic
    EXPECT_EQ(font.bytes.U8(19), 1);  // DEFAULT_CHARSET
    const std::string face(reinterpret_cast<const char*>(&font.bytes.Span(24, 32)[0]), 32);
    EXPECT_EQ(face, std::string("Arial") + std::string(27, '\0'));

    const auto before = [&](std::uint16_t function) {
        const auto r = OfFunction(wmf, function);
        EXPECT_EQ(r.size(), 1u);
        EXPECT_LT(r.at(0)->offset, t.offset);
        return r.at(0);
    };
    EXPECT_EQ(before(SETTEXTALIGN)->Param(0), 24);
    EXPECT_EQ(before(SETBKMODE)->Param(0), 1);
    EXPECT_EQ(before(SETTEXTCOLOR)->bytes.U32(6), 0x00123456u);
    EXPECT_EQ(before(SETMAPPERFLAGS)->bytes.U32(6), 0u);
}

TEST(WmfConverterText, UnicodeTextWithoutAWindows1252CharacterGetsAQuestionMark)
{
    // An EXTTEXTOUTW with a character outside Windows-1252 (U+0416), written into the text of
    // a recording: the recorder's own text is "ab"; its second unit is replaced.
    EmfRecorder rec(RectL{0, 0, 5000, 5000}, ReferenceDevice{}, FakeMeasure);
    rec.ExtTextOut(10, 20, "ab");
    std::vector<std::uint8_t> emf = rec.Finish();
    const auto records = WalkEmf(emf);
    std::size_t text = 0;
    while (records[text].type != 84)
        ++text;
    const std::size_t second = records[text].offset + 76 + 2;
    emf[second] = 0x16;
    emf[second + 1] = 0x04;
    const WmfFile wmf = WalkWmf(ConvertEmfToPlaceableWmf(emf));
    const auto t = OfFunction(wmf, EXTTEXTOUT).at(0);
    EXPECT_EQ(t->bytes.U8(14), 'a');
    EXPECT_EQ(t->bytes.U8(15), '?');
}

// ---- 16-bit coordinates ---------------------------------------------------------------------------

TEST(WmfConverterScale, WideDrawingsAreDividedByTheSmallestIntegerThatFits)
{
    for (const int width : {1100, 2000, 3000}) {
        SCOPED_TRACE(width);
        EmfRecorder rec(FrameFor(width, 100), ReferenceDevice{}, FakeMeasure);
        DrawingMapping(rec, width, 100);
        const std::int32_t right = static_cast<std::int32_t>(std::nearbyint((width + 1) * 31.25));
        rec.SelectSolidPen(0x00000000, 31);
        rec.SelectSolidBrush(0x00FFFFFF);
        rec.BeginPath();
        rec.MoveToEx(31, 31);
        rec.LineTo(right, 31);
        rec.LineTo(right, 3156);
        rec.LineTo(-31, 3156);
        rec.EndPath();
        rec.StrokePath();
        LogFont f;
        f.height = 375;
        f.faceName = "Arial";
        rec.SelectFont(f);
        rec.ExtTextOut(right - 1000, 1593, "xyz");
        const auto bytes = Convert(rec);
        const WmfFile wmf = WalkWmf(bytes);
        ExpectHeadersSound(bytes, wmf);

        const double frameX = LogicalFrameX(width);
        ASSERT_GT(frameX, 32767.0);  // would not fit as it is
        const double k = std::ceil(frameX / 32767);
        EXPECT_EQ(k, width == 3000 ? 3 : 2);
        const auto scaled = [&](double v) { return static_cast<int>(std::lround(v / k)); };
        // The placeable box is the divided window, and its inch divided as well.
        EXPECT_EQ(wmf.right, scaled(frameX));
        EXPECT_EQ(wmf.unitsPerInch, 3000 / k);
        EXPECT_EQ(wmf.records.at(2).function, SETWINDOWEXT);
        EXPECT_EQ(wmf.records[2].Param(1), scaled(frameX));
        EXPECT_EQ(wmf.records[2].Param(0), scaled(LogicalFrameY(100)));

        const auto drawn = Play(wmf);
        ASSERT_EQ(drawn.size(), 2u);
        EXPECT_EQ(PointsOf(drawn[0].record),
                  (std::vector<Point>{{scaled(31), scaled(31)}, {scaled(right), scaled(31)},
                                      {scaled(right), scaled(3156)}, {scaled(-31), scaled(3156)}}));
        EXPECT_EQ(drawn[0].pen->Param(1), scaled(31));
        const WmfRecord& t = drawn[1].record;
        EXPECT_EQ(t.Param(0), scaled(1593));
        EXPECT_EQ(t.Param(1), scaled(right - 1000));
        // Spacing 11, 22, 33: positions 11, 33, 66 scaled and differenced.
        EXPECT_EQ(t.Param(6), scaled(11));
        EXPECT_EQ(t.Param(7), scaled(33) - scaled(11));
        EXPECT_EQ(t.Param(8), scaled(66) - scaled(33));
        EXPECT_EQ(drawn[1].font->Param(0), scaled(375));

        // The picture is the same: every point keeps its place in the window.
        const double placed = double(PointsOf(drawn[0].record)[1].x) / wmf.records[2].Param(1);
        EXPECT_NEAR(placed, right / frameX, 1.0 / wmf.records[2].Param(1));
    }
}

TEST(WmfConverterScale, AFilledFigureOfTooManyPointsIsFlattenedCoarser)
{
    // 2,500 wide curves in one figure: tens of points each when flattened finely, more than a
    // polygon holds; flattened coarser, the figure fits one polygon.
    EmfRecorder rec(FrameFor(1000, 1000));
    DrawingMapping(rec, 1000, 1000);
    rec.SelectSolidBrush(0);
    rec.BeginPath();
    rec.MoveToEx(31, 31);
    std::vector<Point> curves;
    for (int i = 0; i < 2500; ++i) {
        const int y = 31 + 12 * i;
        curves.insert(curves.end(), {{31000, y}, {31000, y + 6}, {31, y + 12}});
    }
    rec.PolyBezierTo(curves.data(), curves.size());
    rec.EndPath();
    rec.FillPath();
    const auto bytes = Convert(rec);
    const WmfFile wmf = WalkWmf(bytes);
    ExpectHeadersSound(bytes, wmf);
    const auto polygons = std::count_if(wmf.records.begin(), wmf.records.end(),
                                        [](const WmfRecord& r) { return r.function == POLYGON; });
    ASSERT_EQ(polygons, 1);
    const auto& polygon = *std::find_if(wmf.records.begin(), wmf.records.end(),
                                        [](const WmfRecord& r) { return r.function == POLYGON; });
    EXPECT_GT(polygon.UParam(0), 2500u * 2);  // still more than a chord per curve
    EXPECT_LE(polygon.UParam(0), 32767u);
}

TEST(WmfConverterScale, ThePointBudgetGrowsWithTheMetafile)
{
    // 400 curves flattened under a budget of 100 points: ordinary ones fit the share of their
    // EMF's size, far-reaching ones of the same size do not.
    EXPECT_EQ(WmfPointBudget(100, 100), 100u);
    EXPECT_EQ(WmfPointBudget(1000 * kEmfBytesPerWmfPoint, 100), 1000u);
    for (const int reach : {40, 30000000}) {
        EmfRecorder rec(FrameFor(1000, 1000));
        DrawingMapping(rec, 1000, 1000);
        rec.SelectSolidBrush(0);
        rec.BeginPath();
        rec.MoveToEx(31, 31);
        std::vector<Point> curves;
        for (int i = 0; i < 400; ++i)
            curves.insert(curves.end(), {{31 + reach, 51 + 60 * i}, {31 + reach, 71 + 60 * i}, {31, 91 + 60 * i}});
        rec.PolyBezierTo(curves.data(), curves.size());
        rec.EndPath();
        rec.FillPath();
        const std::vector<std::uint8_t> emf = rec.Finish();
        if (reach < 1000) {
            const WmfFile wmf = WalkWmf(ConvertEmfToPlaceableWmf(emf, 100));
            const auto& polygon = *std::find_if(wmf.records.begin(), wmf.records.end(),
                                                [](const WmfRecord& r) { return r.function == POLYGON; });
            EXPECT_GT(polygon.UParam(0), 400u * 2);
        } else {
            EXPECT_THROW(ConvertEmfToPlaceableWmf(emf, 100), std::runtime_error) << emf.size();
        }
    }
}

TEST(WmfConverterScale, DrawingsThatFitKeepTheirCoordinates)
{
    EmfRecorder rec(FrameFor(1000, 100));
    DrawingMapping(rec, 1000, 100);  // 1002 px * 31.25 = 31312.5 units: fits
    rec.BeginPath();
    rec.MoveToEx(31, 31);
    rec.LineTo(31281, 3156);
    rec.EndPath();
    rec.StrokePath();
    const WmfFile wmf = WalkWmf(Convert(rec));
    EXPECT_EQ(wmf.records[2].Param(1), std::lround(LogicalFrameX(1000)));
    EXPECT_EQ(PointsOf(*OfFunction(wmf, POLYLINE).at(0)), (std::vector<Point>{{31, 31}, {31281, 3156}}));
}

// ---- Bad input ----------------------------------------------------------------------------------

std::vector<std::uint8_t> SampleEmf()
{
    EmfRecorder rec(FrameFor(100, 50), ReferenceDevice{}, FakeMeasure);
    DrawingMapping(rec, 100, 50);
    rec.SelectSolidBrush(0x0000FF);
    rec.SelectSolidPen(0, 31);
    rec.BeginPath();
    rec.MoveToEx(31, 31);
    const Point c[3] = {{500, 40}, {900, 1200}, {1500, 1500}};
    rec.PolyBezierTo(c, 3);
    rec.EndPath();
    rec.FillPath();
    LogFont f;
    f.height = 375;
    f.faceName = "Arial";
    rec.SelectFont(f);
    rec.ExtTextOut(100, 200, "Hi");
    return rec.Finish();
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST(WmfConverterBadInput, MalformedMetafilesAreRefused)
{
    const std::vector<std::uint8_t> good = SampleEmf();
    EXPECT_NO_THROW(ConvertEmfToPlaceableWmf(good));
    EXPECT_THROW(ConvertEmfToPlaceableWmf({}), std::runtime_error);
    EXPECT_THROW(ConvertEmfToPlaceableWmf(std::span(good).first(60)), std::runtime_error);

    auto bad = good;
    PutU32(bad, 48, static_cast<std::uint32_t>(good.size() + 4));  // nBytes past the end
    EXPECT_THROW(ConvertEmfToPlaceableWmf(bad), std::runtime_error);

    bad = good;
    PutU32(bad, 40, 0x12345678);  // signature
    EXPECT_THROW(ConvertEmfToPlaceableWmf(bad), std::runtime_error);

    const auto records = WalkEmf(good);
    bad = good;
    PutU32(bad, records[2].offset + 4, 14);  // size not a multiple of 4
    EXPECT_THROW(ConvertEmfToPlaceableWmf(bad), std::runtime_error);
    bad = good;
    PutU32(bad, records[2].offset + 4, 0x7FFFFFF0);  // past the end
    EXPECT_THROW(ConvertEmfToPlaceableWmf(bad), std::runtime_error);
    bad = good;
    PutU32(bad, records[2].offset, 81);  // a bitmap record: cannot be converted
    EXPECT_THROW(ConvertEmfToPlaceableWmf(bad), std::runtime_error);

    // A selection of an object never created.
    std::size_t select = 0;
    while (records[select].type != 37)
        ++select;
    bad = good;
    PutU32(bad, records[select].offset + 8, 77);
    EXPECT_THROW(ConvertEmfToPlaceableWmf(bad), std::runtime_error);
}

TEST(WmfConverterBadInput, TruncatedAndCorruptedMetafilesNeverCrash)
{
    const std::vector<std::uint8_t> good = SampleEmf();
    // Every shorter file, with nBytes claiming just what is there: no EOF, or a record cut.
    for (std::size_t length = 88; length < good.size(); length += 4) {
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        PutU32(cut, 48, static_cast<std::uint32_t>(length));
        EXPECT_THROW(ConvertEmfToPlaceableWmf(cut), std::runtime_error) << length;
    }
    // Single bytes changed anywhere after the header: converted or refused, nothing else.
    std::uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 3000; ++round) {
        auto bad = good;
        const std::size_t at = 108 + next() % (good.size() - 108);
        bad[at] = static_cast<std::uint8_t>(next() >> 16);
        try {
            const auto wmf = ConvertEmfToPlaceableWmf(bad);
            EXPECT_NO_THROW(WalkWmf(wmf));
        } catch (const std::runtime_error&) {
        }
    }
}

// ---- A third-party reader -----------------------------------------------------------------------

TEST(WmfConverterReaders, Wmf2svgReadsTheConversion)
{
    if (std::system("command -v wmf2svg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "wmf2svg is not installed";
    const auto bytes = ConvertEmfToPlaceableWmf(SampleEmf());
    const WmfFile wmf = WalkWmf(bytes);
    const std::string dir = ::testing::TempDir();
    const std::string in = dir + "/plotwick_converter.wmf", out = dir + "/plotwick_converter.svg";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
    std::remove(out.c_str());
    const std::string command = "wmf2svg -o '" + out + "' '" + in + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream svgFile(out, std::ios::binary);
    ASSERT_TRUE(svgFile.good());
    const std::string svg((std::istreambuf_iterator<char>(svgFile)), std::istreambuf_iterator<char>());
    const auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("<polygon"), OfFunction(wmf, POLYGON).size());
    EXPECT_EQ(count("<polyline"), OfFunction(wmf, POLYLINE).size());
    EXPECT_EQ(OfFunction(wmf, POLYGON).size(), 1u);
    EXPECT_GE(count("<text"), 1u);
    std::remove(in.c_str());
    std::remove(out.c_str());
}

}  // namespace
}  // namespace plotwick::gdi
