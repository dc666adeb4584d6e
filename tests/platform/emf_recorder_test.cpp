// The Enhanced Metafile recorder: the records it writes, read back with the test walker.

#include "platform/metafile/EmfRecorder.h"
#include "tests/support/MetafileFixtures.h"
#include "tests/support/MetafileWalker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace plotwick::gdi {
namespace {

using testing::DrawingMapping;
using testing::EmfRecord;
using testing::FakeMeasure;
using testing::FrameFor;
using testing::WalkEmf;

constexpr std::uint32_t HEADER = 1, POLYBEZIERTO = 5, SETWINDOWEXTEX = 9, SETVIEWPORTEXTEX = 11, EOF_ = 14,
                        SETMAPPERFLAGS = 16, SETMAPMODE = 17, SETBKMODE = 18, SETTEXTALIGN = 22, SETTEXTCOLOR = 24,
                        MOVETOEX = 27, SELECTOBJECT = 37, CREATEPEN = 38, CREATEBRUSHINDIRECT = 39,
                        DELETEOBJECT = 40, LINETO = 54, BEGINPATH = 59, ENDPATH = 60, CLOSEFIGURE = 61,
                        FILLPATH = 62, STROKEPATH = 64, EXTCREATEFONTINDIRECTW = 82, EXTTEXTOUTW = 84,
                        POLYBEZIERTO16 = 88, EXTCREATEPEN = 95;

std::vector<std::uint32_t> Types(const std::vector<EmfRecord>& records)
{
    std::vector<std::uint32_t> types;
    for (const auto& r : records)
        types.push_back(r.type);
    return types;
}

RectL RectAt(const EmfRecord& r, std::size_t at)
{
    return RectL{r.bytes.I32(at), r.bytes.I32(at + 4), r.bytes.I32(at + 8), r.bytes.I32(at + 12)};
}

std::vector<const EmfRecord*> OfType(const std::vector<EmfRecord>& records, std::uint32_t type)
{
    std::vector<const EmfRecord*> out;
    for (const auto& r : records)
        if (r.type == type)
            out.push_back(&r);
    return out;
}

// Object handles: created in 1..nHandles-1 while free, selected and deleted only while they
// exist (or stock), never deleted while selected, all deleted by the end.
void ExpectHandlesSound(const std::vector<EmfRecord>& records)
{
    const std::uint16_t nHandles = records.at(0).bytes.U16(56);
    std::set<std::uint32_t> live;
    std::uint32_t selected[3] = {0, 0, 0};  // pen, brush, font
    std::map<std::uint32_t, int> kindOf;
    for (const auto& r : records) {
        if (r.type == CREATEPEN || r.type == EXTCREATEPEN || r.type == CREATEBRUSHINDIRECT ||
            r.type == EXTCREATEFONTINDIRECTW) {
            const std::uint32_t h = r.bytes.U32(8);
            EXPECT_GT(h, 0u);
            EXPECT_LT(h, nHandles);
            EXPECT_FALSE(live.count(h)) << "handle " << h << " created twice";
            live.insert(h);
            kindOf[h] = r.type == CREATEPEN || r.type == EXTCREATEPEN ? 0 : r.type == CREATEBRUSHINDIRECT ? 1 : 2;
        } else if (r.type == SELECTOBJECT) {
            const std::uint32_t h = r.bytes.U32(8);
            if (h & 0x80000000u) {
                const std::uint32_t stock = h & 0x7FFFFFFF;
                selected[stock <= 5 ? 1 : stock <= 8 ? 0 : 2] = h;
                continue;
            }
            ASSERT_TRUE(live.count(h)) << "selection of handle " << h << " that does not exist";
            selected[kindOf[h]] = h;
        } else if (r.type == DELETEOBJECT) {
            const std::uint32_t h = r.bytes.U32(8);
            ASSERT_TRUE(live.count(h)) << "deletion of handle " << h << " that does not exist";
            for (const std::uint32_t s : selected)
                EXPECT_NE(s, h) << "handle " << h << " deleted while selected";
            live.erase(h);
        }
    }
    EXPECT_TRUE(live.empty());
}

// ---- Header and framing -----------------------------------------------------------------------

TEST(EmfRecorderHeader, FieldsCountsAndBoundsOfASmallDrawing)
{
    EmfRecorder rec(FrameFor(100, 50), ReferenceDevice{}, FakeMeasure);
    DrawingMapping(rec, 100, 50);
    rec.SelectSolidBrush(0x00FFFFFF);
    rec.BeginPath();
    rec.MoveToEx(31, 31);
    rec.LineTo(3156, 31);
    rec.LineTo(3156, 1594);
    rec.EndPath();
    rec.FillPath();
    const std::vector<std::uint8_t> bytes = rec.Finish();
    const auto records = WalkEmf(bytes);
    const auto& h = records.at(0).bytes;

    EXPECT_EQ(records[0].type, HEADER);
    EXPECT_EQ(records[0].size, 108u);
    EXPECT_EQ(RectAt(records[0], 24), (RectL{0, 0, 2699, 1377}));
    EXPECT_EQ(h.U32(40), 0x464D4520u);  // " EMF"
    EXPECT_EQ(h.U32(44), 0x10000u);
    EXPECT_EQ(h.U32(48), bytes.size());
    EXPECT_EQ(h.U32(52), records.size());
    EXPECT_EQ(h.U16(56), 2);  // the metafile and one brush
    EXPECT_EQ(h.U16(58), 0);
    EXPECT_EQ(h.U32(60), 0u);  // no description
    EXPECT_EQ(h.U32(64), 0u);
    EXPECT_EQ(h.U32(68), 0u);  // no palette
    EXPECT_EQ(h.I32(72), 1920);
    EXPECT_EQ(h.I32(76), 1080);
    EXPECT_EQ(h.I32(80), 508);
    EXPECT_EQ(h.I32(84), 286);
    EXPECT_EQ(h.U32(88), 0u);  // cbPixelFormat
    EXPECT_EQ(h.U32(92), 0u);
    EXPECT_EQ(h.U32(96), 0u);  // bOpenGL
    EXPECT_EQ(h.I32(100), 508000);
    EXPECT_EQ(h.I32(104), 286000);

    // Logical x 31..3156 is device 0.992..100.992, y 31..1594 is 0.992..51.008.
    const auto fills = OfType(records, FILLPATH);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0]->size, 24u);
    EXPECT_EQ(RectAt(*fills[0], 8), (RectL{0, 0, 101, 52}));
    EXPECT_EQ(RectAt(records[0], 8), (RectL{0, 0, 101, 52}));

    const auto& eof = records.back();
    EXPECT_EQ(eof.type, EOF_);
    EXPECT_EQ(eof.size, 20u);
    EXPECT_EQ(eof.bytes.U32(8), 0u);    // nPalEntries
    EXPECT_EQ(eof.bytes.U32(16), 20u);  // nSizeLast
    ExpectHandlesSound(records);
}

TEST(EmfRecorderHeader, EmptyRecordingIsAValidFile)
{
    {
        EmfRecorder rec(FrameFor(10, 10));
        const auto bytes = rec.Finish();
        const auto records = WalkEmf(bytes);
        EXPECT_EQ(Types(records), (std::vector<std::uint32_t>{HEADER, EOF_}));
        EXPECT_EQ(bytes.size(), 128u);
        EXPECT_EQ(records[0].bytes.U32(48), 128u);
        EXPECT_EQ(records[0].bytes.U32(52), 2u);
        EXPECT_EQ(records[0].bytes.U16(56), 1);  // the metafile itself
        // Nothing drawn: the bounds are the frame's 12 x 12 pixels.
        EXPECT_EQ(RectAt(records[0], 8), (RectL{0, 0, 11, 11}));
        EXPECT_EQ(RectAt(records[0], 24), FrameFor(10, 10));
    }
    {
        EmfRecorder rec(FrameFor(10, 10));
        DrawingMapping(rec, 10, 10);
        const auto records = WalkEmf(rec.Finish());
        EXPECT_EQ(Types(records),
                  (std::vector<std::uint32_t>{HEADER, SETMAPMODE, SETWINDOWEXTEX, SETVIEWPORTEXTEX, EOF_}));
        EXPECT_EQ(records[0].bytes.U32(52), 5u);
    }
}

TEST(EmfRecorderHeader, FinishTwiceGivesTheSameBytes)
{
    EmfRecorder rec(FrameFor(10, 10));
    rec.SelectSolidPen(0xFF, 3);
    const std::vector<std::uint8_t> first = rec.Finish();
    const std::vector<std::uint8_t> second = rec.Finish();
    EXPECT_EQ(first, second);
}

// ---- Mapping ----------------------------------------------------------------------------------

TEST(EmfRecorderMapping, RecordsAndDeviceToLogicalConversion)
{
    EmfRecorder rec(FrameFor(100, 50));
    EXPECT_EQ(rec.DPtoLP(Point{5, -7}), (Point{5, -7}));  // MM_TEXT until set
    DrawingMapping(rec, 100, 50);
    const auto records = WalkEmf(rec.Finish());
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[1].type, SETMAPMODE);
    EXPECT_EQ(records[1].size, 12u);
    EXPECT_EQ(records[1].bytes.U32(8), 8u);
    EXPECT_EQ(records[2].type, SETWINDOWEXTEX);
    EXPECT_EQ(records[2].size, 16u);
    EXPECT_EQ(records[2].bytes.I32(8), 10000);
    EXPECT_EQ(records[2].bytes.I32(12), 5000);
    EXPECT_EQ(records[3].type, SETVIEWPORTEXTEX);
    EXPECT_EQ(records[3].bytes.I32(8), 320);
    EXPECT_EQ(records[3].bytes.I32(12), 160);

    // logical = device * window / viewport, to the nearest, halves away from zero.
    EXPECT_EQ(rec.DPtoLP(Point{1000, 0}), (Point{31250, 0}));
    EXPECT_EQ(rec.DPtoLP(Point{12000, 0}), (Point{375000, 0}));  // the text height 12
    EXPECT_EQ(rec.DPtoLP(Point{1, 2}), (Point{31, 63}));         // 31.25, 62.5
    EXPECT_EQ(rec.DPtoLP(Point{-2, -1}), (Point{-63, -31}));     // -62.5, -31.25
}

TEST(EmfRecorderMapping, NarrowDrawingAndRefusedExtents)
{
    // W = 7: viewport 22 (22.4 rounded), so 22 device units are the full 700 logical units.
    EmfRecorder rec(FrameFor(7, 50));
    DrawingMapping(rec, 7, 50);
    EXPECT_EQ(rec.DPtoLP(Point{22, 160}), (Point{700, 5000}));
    EXPECT_EQ(rec.DPtoLP(Point{11, 0}), (Point{350, 0}));

    // A zero extent fails without recording anything and leaves the mapping as it was.
    rec.SetWindowExtEx(0, 5000);
    rec.SetViewportExtEx(22, 0);
    EXPECT_TRUE(rec.Ok());
    EXPECT_EQ(rec.DPtoLP(Point{22, 160}), (Point{700, 5000}));
    const auto records = WalkEmf(rec.Finish());
    EXPECT_EQ(OfType(records, SETWINDOWEXTEX).size(), 1u);
    EXPECT_EQ(OfType(records, SETVIEWPORTEXTEX).size(), 1u);

    EmfRecorder isotropic(FrameFor(7, 50));
    isotropic.SetMapMode(7);
    EXPECT_FALSE(isotropic.Ok());
    EXPECT_THROW(isotropic.Finish(), std::runtime_error);
}

// ---- Paths ------------------------------------------------------------------------------------

TEST(EmfRecorderPath, BracketRecordsAndExactCoordinates)
{
    EmfRecorder rec(FrameFor(100, 50));
    DrawingMapping(rec, 100, 50);
    rec.SelectSolidPen(0x000000, 31);
    rec.BeginPath();
    rec.MoveToEx(31, 31);
    rec.LineTo(3156, 1594);
    const Point curve[3] = {{100, -200}, {32767, -32768}, {500, 600}};
    rec.PolyBezierTo(curve, 3);
    rec.LineTo(-5, 1234);
    rec.EndPath();
    rec.StrokePath();
    const auto records = WalkEmf(rec.Finish());

    std::vector<std::uint32_t> path;
    bool inside = false;
    for (const auto& r : records) {
        inside = inside || r.type == BEGINPATH;
        if (inside)
            path.push_back(r.type);
        if (r.type == STROKEPATH)
            break;
    }
    EXPECT_EQ(path, (std::vector<std::uint32_t>{BEGINPATH, MOVETOEX, LINETO, POLYBEZIERTO16, LINETO, ENDPATH,
                                                STROKEPATH}));
    const auto moves = OfType(records, MOVETOEX);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0]->size, 16u);
    EXPECT_EQ(moves[0]->bytes.I32(8), 31);
    EXPECT_EQ(moves[0]->bytes.I32(12), 31);
    const auto lines = OfType(records, LINETO);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]->bytes.I32(8), 3156);
    EXPECT_EQ(lines[0]->bytes.I32(12), 1594);
    EXPECT_EQ(lines[1]->bytes.I32(8), -5);
    EXPECT_EQ(lines[1]->bytes.I32(12), 1234);
    const auto beziers = OfType(records, POLYBEZIERTO16);
    ASSERT_EQ(beziers.size(), 1u);
    const auto& b = beziers[0]->bytes;
    EXPECT_EQ(beziers[0]->size, 40u);
    EXPECT_EQ(b.U32(24), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(b.I16(28 + 4 * i), curve[i].x);
        EXPECT_EQ(b.I16(30 + 4 * i), curve[i].y);
    }
    EXPECT_EQ(OfType(records, STROKEPATH).at(0)->size, 24u);
}

TEST(EmfRecorderPath, BezierRecordNeedsThirtyTwoBitsOnlyWhenAPointDoes)
{
    EmfRecorder rec(FrameFor(10, 10));
    rec.BeginPath();
    rec.MoveToEx(0, 0);
    const Point small[3] = {{-32768, 32767}, {1, 2}, {3, 4}};
    rec.PolyBezierTo(small, 3);
    const Point large[6] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}, {32768, -9}, {-32769, 70000}};
    rec.PolyBezierTo(large, 6);
    const Point tall[3] = {{1, 2}, {3, 32768}, {5, 6}};  // only a y beyond 16 bits
    rec.PolyBezierTo(tall, 3);
    rec.EndPath();
    rec.FillPath();
    const auto records = WalkEmf(rec.Finish());
    ASSERT_EQ(OfType(records, POLYBEZIERTO16).size(), 1u);
    const auto wide = OfType(records, POLYBEZIERTO);
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_EQ(wide[1]->bytes.I32(40), 32768);
    EXPECT_EQ(wide[0]->size, 28u + 8 * 6);
    EXPECT_EQ(wide[0]->bytes.U32(24), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(wide[0]->bytes.I32(28 + 8 * i), large[i].x);
        EXPECT_EQ(wide[0]->bytes.I32(32 + 8 * i), large[i].y);
    }
}

TEST(EmfRecorderPath, BoundsFollowTheCurveAndThePen)
{
    // In MM_TEXT one logical unit is one pixel. The curve's control points reach y = 100,
    // the curve itself only 75.
    EmfRecorder rec(RectL{0, 0, 5000, 5000});
    rec.SelectSolidPen(0, 10);
    rec.BeginPath();
    rec.MoveToEx(0, 0);
    const Point arch[3] = {{0, 100}, {100, 100}, {100, 0}};
    rec.PolyBezierTo(arch, 3);
    rec.EndPath();
    rec.FillPath();
    rec.BeginPath();
    rec.MoveToEx(10, 200);
    rec.LineTo(50, 200);
    rec.EndPath();
    rec.StrokePath();
    const auto records = WalkEmf(rec.Finish());
    EXPECT_EQ(RectAt(*OfType(records, FILLPATH).at(0), 8), (RectL{0, 0, 100, 75}));
    EXPECT_EQ(RectAt(*OfType(records, STROKEPATH).at(0), 8), (RectL{5, 195, 55, 205}));
    // The frame's 189 pixels widen the bounds of what was drawn.
    EXPECT_EQ(RectAt(records[0], 8), (RectL{0, 0, 188, 205}));
}

TEST(EmfRecorderHeader, BoundsStartAtTheFrameWhatEverIsDrawnFarFromItsCorner)
{
    // A shape 9 and 8 pixels in from the corner of a 122 x 102 pixel frame: a reader that
    // places the picture by its bounds must not move it.
    EmfRecorder rec(FrameFor(120, 100));
    DrawingMapping(rec, 120, 100);
    rec.SelectSolidBrush(0);
    rec.BeginPath();
    rec.MoveToEx(9 * 31, 8 * 31);
    rec.LineTo(60 * 31, 50 * 31);
    rec.LineTo(9 * 31, 50 * 31);
    rec.EndPath();
    rec.FillPath();
    const auto records = WalkEmf(rec.Finish());
    EXPECT_EQ(RectAt(records[0], 8), (RectL{0, 0, 121, 101}));
}

TEST(EmfRecorderPath, CloseFigureIsRecordedInsideABracketAndMovesToTheFigureStart)
{
    EmfRecorder rec(FrameFor(10, 10));
    rec.CloseFigure();  // outside a bracket: nothing
    rec.BeginPath();
    rec.MoveToEx(1, 2);
    rec.LineTo(30, 2);
    rec.LineTo(30, 40);
    rec.CloseFigure();
    EXPECT_EQ(rec.CurrentPosition(), (Point{1, 2}));
    rec.EndPath();
    rec.StrokePath();
    const auto records = WalkEmf(rec.Finish());
    EXPECT_EQ(Types(records), (std::vector<std::uint32_t>{HEADER, BEGINPATH, MOVETOEX, LINETO, LINETO, CLOSEFIGURE,
                                                          ENDPATH, STROKEPATH, EOF_}));
    EXPECT_EQ(OfType(records, CLOSEFIGURE).at(0)->size, 8u);
}

TEST(EmfRecorderObjects, PensOfWidthZeroOrOneAreCosmetic)
{
    const struct {
        std::int32_t width;
        std::uint32_t type;
    } cases[] = {{0, EXTCREATEPEN}, {1, EXTCREATEPEN}, {2, CREATEPEN}, {31, CREATEPEN}};
    for (const auto& c : cases) {
        EmfRecorder rec(FrameFor(10, 10));
        rec.SelectSolidPen(0x00123456, c.width);
        const auto records = WalkEmf(rec.Finish());
        ASSERT_EQ(records.at(1).type, c.type) << "width " << c.width;
        const auto& r = records[1].bytes;
        if (c.type == CREATEPEN) {
            EXPECT_EQ(r.I32(16), c.width);
            continue;
        }
        EXPECT_EQ(records[1].size, 52u);
        EXPECT_EQ(r.U32(12), 0u);         // no pattern bitmap
        EXPECT_EQ(r.U32(28), 0u);         // PS_COSMETIC | PS_SOLID
        EXPECT_EQ(r.U32(32), 1u);         // one pixel
        EXPECT_EQ(r.U32(36), 0u);         // BS_SOLID
        EXPECT_EQ(r.U32(40), 0x00123456u);
        EXPECT_EQ(r.U32(48), 0u);         // no dashes
        ExpectHandlesSound(records);
    }
}

// ---- Objects ----------------------------------------------------------------------------------

TEST(EmfRecorderObjects, CreatedOnChangeSelectedThenReplacedAndHandlesReused)
{
    EmfRecorder rec(FrameFor(10, 10));
    rec.SelectSolidPen(0x0000FF, 31);
    rec.SelectSolidPen(0x0000FF, 31);  // unchanged: nothing recorded
    rec.SelectSolidBrush(0x00FFFFFF);
    rec.SelectSolidPen(0xFF0000, 31);
    rec.SelectSolidPen(0x00FF00, 0);
    rec.SelectSolidBrush(0x00FFFFFF);  // unchanged
    const auto records = WalkEmf(rec.Finish());

    std::vector<std::pair<std::uint32_t, std::uint32_t>> objectRecords;
    for (const auto& r : records) {
        if (r.type == CREATEPEN || r.type == EXTCREATEPEN || r.type == CREATEBRUSHINDIRECT || r.type == SELECTOBJECT ||
            r.type == DELETEOBJECT)
            objectRecords.emplace_back(r.type, r.bytes.U32(8));
    }
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {
        {CREATEPEN, 1}, {SELECTOBJECT, 1},
        {CREATEBRUSHINDIRECT, 2}, {SELECTOBJECT, 2},
        {CREATEPEN, 3}, {SELECTOBJECT, 3}, {DELETEOBJECT, 1},
        {EXTCREATEPEN, 1}, {SELECTOBJECT, 1}, {DELETEOBJECT, 3},  // width 0: a cosmetic pen
        // Finish: stock objects back in, ours deleted.
        {SELECTOBJECT, 0x80000007}, {DELETEOBJECT, 1},
        {SELECTOBJECT, 0x80000000}, {DELETEOBJECT, 2},
    };
    EXPECT_EQ(objectRecords, expected);
    EXPECT_EQ(records[0].bytes.U16(56), 4);  // handles 0..3

    const auto pens = OfType(records, CREATEPEN);
    ASSERT_EQ(pens.size(), 2u);
    EXPECT_EQ(pens[0]->size, 28u);
    EXPECT_EQ(pens[0]->bytes.U32(12), 0u);  // PS_SOLID
    EXPECT_EQ(pens[0]->bytes.I32(16), 31);
    EXPECT_EQ(pens[0]->bytes.I32(20), 0);
    EXPECT_EQ(pens[0]->bytes.U32(24), 0x0000FFu);
    EXPECT_EQ(OfType(records, EXTCREATEPEN).at(0)->bytes.U32(40), 0x00FF00u);
    const auto brush = OfType(records, CREATEBRUSHINDIRECT).at(0);
    EXPECT_EQ(brush->size, 24u);
    EXPECT_EQ(brush->bytes.U32(12), 0u);  // BS_SOLID
    EXPECT_EQ(brush->bytes.U32(16), 0x00FFFFFFu);
    ExpectHandlesSound(records);
}

TEST(EmfRecorderObjects, FontRecordCarriesTheLogicalFont)
{
    EmfRecorder rec(FrameFor(10, 10), ReferenceDevice{}, FakeMeasure);
    LogFont f;
    f.height = 375;
    f.escapement = 450;
    f.orientation = 450;
    f.weight = 400;
    f.faceName = "Arial";
    rec.SelectFont(f);
    rec.SelectFont(f);
    LogFont g = f;
    g.faceName = "Caf\xe9 0123456789012345678901234567890123";  // longer than 31 characters
    g.italic = true;
    g.charSet = 0;
    rec.SelectFont(g);
    const auto records = WalkEmf(rec.Finish());
    const auto fonts = OfType(records, EXTCREATEFONTINDIRECTW);
    ASSERT_EQ(fonts.size(), 2u);
    const auto& a = fonts[0]->bytes;
    EXPECT_EQ(fonts[0]->size, 332u);  // LogFontPanose
    EXPECT_EQ(a.I32(12), 375);
    EXPECT_EQ(a.I32(16), 0);
    EXPECT_EQ(a.I32(20), 450);
    EXPECT_EQ(a.I32(24), 450);
    EXPECT_EQ(a.I32(28), 400);
    EXPECT_EQ(a.U8(32), 0);  // italic
    EXPECT_EQ(a.U8(35), 1);  // DEFAULT_CHARSET
    const std::u16string arial = u"Arial";
    for (std::size_t i = 0; i < 32; ++i)
        EXPECT_EQ(a.U16(40 + 2 * i), i < arial.size() ? arial[i] : 0) << i;
    const auto& b = fonts[1]->bytes;
    EXPECT_EQ(b.U8(32), 1);
    EXPECT_EQ(b.U8(35), 0);
    EXPECT_EQ(b.U16(40 + 2 * 3), 0x00E9);  // é
    EXPECT_EQ(b.U16(40 + 2 * 30), u'5');   // 31 characters kept
    EXPECT_EQ(b.U16(40 + 2 * 31), 0);      // and the terminating zero
    ExpectHandlesSound(records);
}

// ---- Text -------------------------------------------------------------------------------------

TEST(EmfRecorderText, StateRecordsAndTextRecord)
{
    EmfRecorder rec(RectL{0, 0, 5000, 5000}, ReferenceDevice{}, FakeMeasure);
    LogFont f;
    f.height = 50;
    f.faceName = "Arial";
    rec.SelectFont(f);
    rec.SetMapperFlags(0);
    rec.SetTextAlign(24);
    rec.SetBkMode(1);
    rec.SetTextColor(0x00123456);
    rec.ExtTextOut(100, 200, "A\x80\xe9");
    const auto records = WalkEmf(rec.Finish());

    const auto value = [&](std::uint32_t type) {
        const auto r = OfType(records, type);
        EXPECT_EQ(r.size(), 1u);
        EXPECT_EQ(r.at(0)->size, 12u);
        return r.at(0)->bytes.U32(8);
    };
    EXPECT_EQ(value(SETMAPPERFLAGS), 0u);
    EXPECT_EQ(value(SETTEXTALIGN), 24u);
    EXPECT_EQ(value(SETBKMODE), 1u);
    EXPECT_EQ(value(SETTEXTCOLOR), 0x00123456u);

    const auto texts = OfType(records, EXTTEXTOUTW);
    ASSERT_EQ(texts.size(), 1u);
    const auto& t = texts[0]->bytes;
    // Baseline at y = 200, advances 11 + 22 + 33, cell 40 above and 10 below.
    EXPECT_EQ(RectAt(*texts[0], 8), (RectL{100, 160, 166, 210}));
    EXPECT_EQ(t.U32(24), 1u);                      // GM_COMPATIBLE
    EXPECT_NEAR(t.F32(28), 50800.0 / 1920, 1e-3);  // 0.01 mm per page unit
    EXPECT_NEAR(t.F32(32), 28600.0 / 1080, 1e-3);
    EXPECT_EQ(t.I32(36), 100);
    EXPECT_EQ(t.I32(40), 200);
    EXPECT_EQ(t.U32(44), 3u);   // nChars
    EXPECT_EQ(t.U32(48), 76u);  // offString
    EXPECT_EQ(t.U32(52), 0u);   // options
    EXPECT_EQ(RectAt(*texts[0], 56), (RectL{0, 0, -1, -1}));
    EXPECT_EQ(t.U32(72), 84u);  // offDx: after the string padded to 4 bytes
    EXPECT_EQ(t.U16(76), u'A');
    EXPECT_EQ(t.U16(78), 0x20AC);  // € from 0x80
    EXPECT_EQ(t.U16(80), 0x00E9);
    EXPECT_EQ(t.U16(82), 0);
    EXPECT_EQ(t.I32(84), 11);
    EXPECT_EQ(t.I32(88), 22);
    EXPECT_EQ(t.I32(92), 33);
    EXPECT_EQ(texts[0]->size, 96u);
    EXPECT_EQ(RectAt(records[0], 8), (RectL{0, 0, 188, 210}));  // the text and the frame
}

TEST(EmfRecorderText, RotatedTextBoundsAndMetafileScale)
{
    EmfRecorder rec(FrameFor(100, 50), ReferenceDevice{}, FakeMeasure);
    DrawingMapping(rec, 100, 50);  // 31.25 logical units a pixel
    LogFont f;
    f.height = 1562;
    f.escapement = 900;  // straight up
    f.orientation = 900;
    f.faceName = "Arial";
    rec.SelectFont(f);
    rec.SetTextAlign(24);
    rec.ExtTextOut(3125, 6250, "ab");  // pixel (100, 200)
    const auto records = WalkEmf(rec.Finish());
    const auto& t = *OfType(records, EXTTEXTOUTW).at(0);
    EXPECT_NEAR(t.bytes.F32(28), 320.0 / 10000 * 50800 / 1920, 1e-4);
    EXPECT_NEAR(t.bytes.F32(32), 160.0 / 5000 * 28600 / 1080, 1e-4);
    // Advances 11 + 22 logical units run upwards from y = 200 px (33 / 31.25 px); the cell lies
    // 40 units to the left and 10 to the right of the baseline.
    EXPECT_EQ(RectAt(t, 8), (RectL{static_cast<std::int32_t>(std::floor(100 - 40 / 31.25)),
                                   static_cast<std::int32_t>(std::floor(200 - 33 / 31.25)),
                                   static_cast<std::int32_t>(std::ceil(100 + 10 / 31.25)), 200}));
}

TEST(EmfRecorderText, SystemMeasureFollowsTheFace)
{
    const TextMeasure measure = SystemTextMeasure();
    LogFont f;
    f.height = 2288;
    f.faceName = "Arial";
    const TextMetrics m = measure(f, u"Wii");
    if (!m.valid)
        GTEST_SKIP() << "no scalable face found for Arial";
    ASSERT_EQ(m.advances.size(), 3u);
    EXPECT_GT(m.advances[0], m.advances[1]);
    EXPECT_GT(m.advances[1], 0);
    EXPECT_NEAR(m.advances[1], m.advances[2], 1);
    EXPECT_NEAR(m.ascent + m.descent, 2288, 1);  // a positive height is the cell height
    EXPECT_GT(m.ascent, m.descent);

    // A negative height is the em size; a width of 0 keeps the face's proportions.
    LogFont em = f;
    em.height = -2048;
    const TextMetrics e = measure(em, u"W");
    ASSERT_TRUE(e.valid);
    EXPECT_GT(e.ascent + e.descent, 2048);

    // Doubling the height doubles the advances (to the rounding).
    LogFont twice = f;
    twice.height = 2 * 2288;
    const TextMetrics d = measure(twice, u"Wii");
    ASSERT_TRUE(d.valid);
    EXPECT_NEAR(d.advances[0], 2 * m.advances[0], 2);

    LogFont none = f;
    none.height = 0;
    EXPECT_FALSE(measure(none, u"W").valid);
}

TEST(EmfRecorderText, FontOfHeightZeroIsBoundedButGetsNoSpacingArray)
{
    std::vector<std::int32_t> heights;
    EmfRecorder rec(FrameFor(100, 50), ReferenceDevice{}, [&](const LogFont& f, std::u16string_view t) {
        heights.push_back(f.height);
        return FakeMeasure(f, t);
    });
    DrawingMapping(rec, 100, 50);
    LogFont f;
    f.height = 0;
    f.faceName = "Arial";
    rec.SelectFont(f);
    rec.SetTextAlign(24);
    rec.ExtTextOut(3125, 6250, "ab");
    const auto records = WalkEmf(rec.Finish());
    const auto& t = *OfType(records, EXTTEXTOUTW).at(0);
    EXPECT_EQ(heights, (std::vector<std::int32_t>{500}));  // 16 pixels of 31.25 units
    EXPECT_EQ(t.bytes.U32(72), 0u);
    EXPECT_EQ(t.size, 76u + 4);
    // Measured cell: advances 11 + 22, 40 above and 10 below the baseline.
    EXPECT_EQ(RectAt(t, 8), (RectL{100, static_cast<std::int32_t>(std::floor(200 - 40 / 31.25)),
                                   static_cast<std::int32_t>(std::ceil(100 + 33 / 31.25)),
                                   static_cast<std::int32_t>(std::ceil(200 + 10 / 31.25))}));
}

TEST(EmfRecorderText, TextWithoutMetricsHasNoSpacingArray)
{
    EmfRecorder rec(RectL{0, 0, 5000, 5000}, ReferenceDevice{},
                    [](const LogFont&, std::u16string_view) { return TextMetrics{}; });
    rec.ExtTextOut(10, 20, "xyz");  // no font selected either
    const auto records = WalkEmf(rec.Finish());
    const auto& t = *OfType(records, EXTTEXTOUTW).at(0);
    EXPECT_EQ(t.bytes.U32(72), 0u);
    EXPECT_EQ(t.size, 76u + 8);
    EXPECT_EQ(t.bytes.U16(76), u'x');
    EXPECT_EQ(t.bytes.U16(80), u'z');
}

// ---- FillRect ---------------------------------------------------------------------------------

TEST(EmfRecorderFillRect, PathWithATemporaryBrushAndTheStateKept)
{
    EmfRecorder rec(RectL{0, 0, 5000, 5000});
    rec.SelectSolidBrush(0x0000FF);
    rec.MoveToEx(5, 6);
    rec.FillRect(10, 20, 30, 40, 0xFF0000);
    rec.FillRect(10, 20, 30, 40, 0x0000FF);  // the selected brush's colour: no brush records
    rec.FillRect(10, 20, 10, 40, 0x00FF00);  // empty: nothing
    const auto records = WalkEmf(rec.Finish());
    std::vector<std::uint32_t> types = Types(records);
    const std::vector<std::uint32_t> expected = {
        HEADER, CREATEBRUSHINDIRECT, SELECTOBJECT, MOVETOEX,
        CREATEBRUSHINDIRECT, SELECTOBJECT,
        BEGINPATH, MOVETOEX, LINETO, LINETO, LINETO, CLOSEFIGURE, ENDPATH, FILLPATH,
        SELECTOBJECT, DELETEOBJECT, MOVETOEX,
        BEGINPATH, MOVETOEX, LINETO, LINETO, LINETO, CLOSEFIGURE, ENDPATH, FILLPATH, MOVETOEX,
        SELECTOBJECT, DELETEOBJECT, EOF_};
    EXPECT_EQ(types, expected);
    EXPECT_EQ(records[4].bytes.U32(16), 0xFF0000u);
    EXPECT_EQ(records[14].bytes.U32(8), records[1].bytes.U32(8));  // the red brush again
    EXPECT_EQ(records[15].bytes.U32(8), records[4].bytes.U32(8));  // the blue one deleted
    EXPECT_EQ(records[16].bytes.I32(8), 5);                        // the position back
    EXPECT_EQ(records[16].bytes.I32(12), 6);
    EXPECT_EQ(records[8].bytes.I32(8), 30);
    EXPECT_EQ(records[8].bytes.I32(12), 20);
    EXPECT_EQ(records[10].bytes.I32(8), 10);
    EXPECT_EQ(records[10].bytes.I32(12), 40);
    EXPECT_EQ(RectAt(records[13], 8), (RectL{10, 20, 30, 40}));
    ExpectHandlesSound(records);
}

// ---- Errors -----------------------------------------------------------------------------------

TEST(EmfRecorderErrors, FirstErrorIsStickyAndFinishThrowsIt)
{
    {
        EmfRecorder rec(FrameFor(10, 10));
        rec.BeginPath();
        const Point two[2] = {{1, 2}, {3, 4}};
        rec.PolyBezierTo(two, 2);
        EXPECT_FALSE(rec.Ok());
        const std::string first = rec.Error();
        EXPECT_NE(first.find("multiple of three"), std::string::npos) << first;
        rec.EndPath();
        rec.FillPath();
        rec.FillPath();  // would fail on its own
        EXPECT_EQ(rec.Error(), first);
        try {
            rec.Finish();
            ADD_FAILURE() << "Finish did not throw";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), first);
        }
    }
    {
        EmfRecorder rec(FrameFor(10, 10));
        rec.FillPath();
        EXPECT_NE(rec.Error().find("FillPath"), std::string::npos);
    }
    {
        EmfRecorder rec(FrameFor(10, 10));
        rec.EndPath();
        EXPECT_FALSE(rec.Ok());
    }
    {
        EmfRecorder rec(FrameFor(10, 10));
        rec.BeginPath();
        rec.FillRect(0, 0, 5, 5, 0);
        EXPECT_NE(rec.Error().find("FillRect"), std::string::npos);
    }
    {
        EmfRecorder rec(FrameFor(10, 10));
        rec.Finish();
        rec.LineTo(1, 1);
        EXPECT_FALSE(rec.Ok());
        EXPECT_THROW(rec.Finish(), std::runtime_error);
    }
}

TEST(EmfRecorderErrors, OpenBracketIsClosedByFinish)
{
    EmfRecorder rec(FrameFor(10, 10));
    rec.BeginPath();
    rec.MoveToEx(1, 1);
    rec.LineTo(2, 2);
    const auto records = WalkEmf(rec.Finish());
    EXPECT_EQ(Types(records), (std::vector<std::uint32_t>{HEADER, BEGINPATH, MOVETOEX, LINETO, ENDPATH, EOF_}));
    EXPECT_EQ(RectAt(records[0], 8), (RectL{0, 0, 11, 11}));  // nothing was drawn: the frame
}

// ---- A third-party reader -----------------------------------------------------------------------

bool OnPath(const char* program)
{
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST(EmfRecorderReaders, Emf2svgReadsTheRecording)
{
    if (!OnPath("emf2svg-conv"))
        GTEST_SKIP() << "emf2svg-conv is not installed";
    EmfRecorder rec(FrameFor(100, 50), ReferenceDevice{}, FakeMeasure);
    DrawingMapping(rec, 100, 50);
    rec.SelectSolidBrush(0x0000FF);
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1)
            rec.SelectSolidPen(0, 31);
        rec.BeginPath();
        rec.MoveToEx(312, 312);
        const Point c[3] = {{312, 100}, {1500, 100}, {1500, 800}};
        rec.PolyBezierTo(c, 3);
        rec.LineTo(312, 1500);
        rec.EndPath();
        if (pass == 0)
            rec.FillPath();
        else
            rec.StrokePath();
    }
    LogFont f;
    f.height = 375;
    f.faceName = "Arial";
    rec.SelectFont(f);
    rec.SetTextAlign(24);
    rec.SetBkMode(1);
    rec.ExtTextOut(1600, 1200, "Hello");
    rec.FillRect(2000, 200, 3000, 900, 0x00FF00);
    const auto bytes = rec.Finish();
    const auto records = WalkEmf(bytes);
    const std::size_t paths = OfType(records, FILLPATH).size() + OfType(records, STROKEPATH).size();
    ASSERT_EQ(paths, 3u);

    const std::string dir = ::testing::TempDir();
    const std::string in = dir + "/plotwick_recorder.emf", out = dir + "/plotwick_recorder.svg";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
    std::remove(out.c_str());
    const std::string command = "emf2svg-conv -i '" + in + "' -o '" + out + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream svgFile(out);
    ASSERT_TRUE(svgFile.good());
    const std::string svg((std::istreambuf_iterator<char>(svgFile)), std::istreambuf_iterator<char>());
    std::size_t count = 0;
    for (std::size_t at = svg.find("<path"); at != std::string::npos; at = svg.find("<path", at + 1))
        ++count;
    EXPECT_EQ(count, paths);
    EXPECT_NE(svg.find("Hello"), std::string::npos);
    std::remove(in.c_str());
    std::remove(out.c_str());
}

}  // namespace
}  // namespace plotwick::gdi
