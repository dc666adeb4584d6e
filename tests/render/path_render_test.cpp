// The device calls that drawing paths, groups and texts makes, in both modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/Shapes.h"
#include "render/PathRender.h"
#include "render/TextDraw.h"
#include "tests/support/RecordingDevice.h"
#include "text/VPathText.h"

using namespace plotwick;
using fixture::RecordingDevice;

namespace {

// The context the tests draw with.
RenderContext g_context;

struct ModeGuard {
    explicit ModeGuard(bool metafile) { g_context.MetafileMode = metafile; }
    ~ModeGuard() { g_context = {}; }
};

PathInstr Instr(char kind, float x, float y)
{
    PathInstr p;
    p.Kind = static_cast<std::uint8_t>(kind);
    p.X = p.C1X = p.C2X = x;
    p.Y = p.C1Y = p.C2Y = y;
    return p;
}

PathInstr Curve(char kind, float c1x, float c1y, float c2x, float c2y, float x, float y)
{
    PathInstr p = Instr(kind, x, y);
    if (kind == 'C') {
        p.C1X = c1x;
        p.C1Y = c1y;
    }
    p.C2X = c2x;
    p.C2Y = c2y;
    return p;
}

std::unique_ptr<VPath> Line(std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke)
{
    auto p = std::make_unique<VPath>();
    if (fill)
        p->SetFill(*fill);
    if (stroke)
        p->SetStroke(*stroke);
    p->AddInstruction(Instr('M', 0, 0));
    p->AddInstruction(Instr('L', 10, 5));
    return p;
}

TEST(ToDeviceUnits, BitmapAndMetafileRounding)
{
    {
        ModeGuard g(false);
        EXPECT_EQ(ToDeviceUnits(2.5f, g_context.MetafileMode), 2);
        EXPECT_EQ(ToDeviceUnits(3.5f, g_context.MetafileMode), 4);
        EXPECT_EQ(ToDeviceUnits(-0.5f, g_context.MetafileMode), 0);
    }
    ModeGuard g(true);
    EXPECT_EQ(ToDeviceUnits(10.0f, g_context.MetafileMode), 312);
    EXPECT_EQ(ToDeviceUnits(10.2f, g_context.MetafileMode), 319);
    EXPECT_EQ(ToDeviceUnits(1.0f, g_context.MetafileMode), 31);
    EXPECT_EQ(ToDeviceUnits(101.0f, g_context.MetafileMode), 3156);
    EXPECT_EQ(ToDeviceUnits(51.0f, g_context.MetafileMode), 1594);
}

TEST(PathDraw, FillPassThenStrokePass)
{
    ModeGuard g(false);
    RecordingDevice dc;
    Draw(*Line(0x00FF0000, 0x000000FF), dc, g_context, {0, 0}, 1.0f);
    EXPECT_EQ(dc.Text(),
              "SelectSolidBrush 0x00ff0000\nSelectSolidPen 0x000000ff 1\n"
              "BeginPath\nMoveToEx 0 0\nLineTo 10 5\nEndPath\nFillPath\n"
              "BeginPath\nMoveToEx 0 0\nLineTo 10 5\nEndPath\nStrokePath");
}

TEST(PathDraw, OneColourOrNone)
{
    ModeGuard g(false);
    RecordingDevice fillOnly, none;
    Draw(*Line(0x00000001, std::nullopt), fillOnly, g_context, {0, 0}, 1.0f);
    EXPECT_EQ(fillOnly.Text(), "SelectSolidBrush 0x00000001\nBeginPath\nMoveToEx 0 0\nLineTo 10 5\nEndPath\nFillPath");
    Draw(*Line(std::nullopt, std::nullopt), none, g_context, {0, 0}, 1.0f);
    EXPECT_TRUE(none.Calls().empty());
}

TEST(PathDraw, PenWidths)
{
    const auto penOf = [](bool metafile, float scale, bool glyph, bool filled) {
        ModeGuard g(metafile);
        RecordingDevice dc;
        auto p = Line(filled ? std::optional<std::uint32_t>(0) : std::nullopt, 0);
        p->FIsGlyph = glyph;
        Draw(*p, dc, g_context, {0, 0}, scale);
        for (const auto& c : dc.Calls())
            if (c.rfind("SelectSolidPen", 0) == 0)
                return c.substr(c.rfind(' ') + 1);
        return std::string("none");
    };
    EXPECT_EQ(penOf(false, 2.5f, false, false), "2");
    EXPECT_EQ(penOf(false, 3.5f, false, false), "4");
    EXPECT_EQ(penOf(false, 0.4f, false, false), "0");
    EXPECT_EQ(penOf(true, 1.0f, false, false), "31");
    EXPECT_EQ(penOf(true, 1.0f, true, true), "1");
    EXPECT_EQ(penOf(false, 7.0f, true, true), "1");
    EXPECT_EQ(penOf(false, 7.0f, true, false), "7");  // an unfilled glyph outline scales
}

TEST(PathDraw, CurvesAndTheSmoothReflection)
{
    ModeGuard g(false);
    RecordingDevice dc;
    VPath p;
    p.SetStroke(0);
    p.AddInstruction(Instr('M', 0, 0));
    p.AddInstruction(Curve('C', 1, 2, 8, 6, 10, 10));
    p.AddInstruction(Curve('S', 0, 0, 20, 20, 30, 30));
    p.AddInstruction(Instr('L', 40, 40));
    p.AddInstruction(Curve('S', 0, 0, 45, 45, 50, 50));
    p.AddInstruction(Instr('z', 0, 0));
    p.AddInstruction(Instr('Q', 0, 0));
    Draw(p, dc, g_context, {0, 0}, 1.0f);
    EXPECT_EQ(dc.Text(),
              "SelectSolidPen 0x00000000 1\nBeginPath\nMoveToEx 0 0\nPolyBezierTo 1 2 8 6 10 10\n"
              "PolyBezierTo 12 14 20 20 30 30\nLineTo 40 40\nPolyBezierTo 40 40 45 45 50 50\nCloseFigure\n"
              "EndPath\nStrokePath");
}

TEST(PathDraw, ASmoothCurveWithNothingToReflectStartsAtTheCurrentPoint)
{
    ModeGuard g(false);
    struct Case {
        std::vector<PathInstr> instrs;
        std::string bezier;
    } cases[] = {
        // First in its path: where the device's pen was left, not its own stored point.
        {{Curve('S', 0, 0, 4, 4, 6, 6)}, "PolyBezierTo 3 7 4 4 6 6"},
        // After a 'z': the start of the figure just closed.
        {{Instr('M', 1, 2), Instr('L', 10, 2), Instr('z', 0, 0), Curve('S', 0, 0, 4, 4, 6, 6)},
         "PolyBezierTo 1 2 4 4 6 6"},
    };
    for (const Case& c : cases) {
        RecordingDevice dc;
        dc.MoveToEx(3, 7);
        VPath p;
        p.SetStroke(0);
        for (const PathInstr& i : c.instrs)
            p.AddInstruction(i);
        Draw(p, dc, g_context, {0, 0}, 1.0f);
        EXPECT_NE(std::find(dc.Calls().begin(), dc.Calls().end(), c.bezier), dc.Calls().end()) << dc.Text();
    }
}

TEST(GroupDraw, ChildrenInOrderAndNothingForAnEmptyGroup)
{
    ModeGuard g(false);
    RecordingDevice empty, dc;
    VPathGroup none;
    none.SetFill(0x123);
    Draw(none, empty, g_context, {0, 0}, 1.0f);
    EXPECT_TRUE(empty.Calls().empty());
    VPathGroup group;
    group.AddChild(Line(std::nullopt, 0x1));
    group.AddChild(Line(std::nullopt, 0x2));
    Draw(group, dc, g_context, {5, 5}, 1.0f);
    EXPECT_EQ(dc.Calls()[0], "SelectSolidPen 0x00000001 1");
    EXPECT_EQ(dc.Calls()[6], "SelectSolidPen 0x00000002 1");
}

class SubstituteTextTest : public ::testing::Test {
protected:
    SubstituteTextTest() { g_context.SubstituteFontName = "Arial"; }
    ~SubstituteTextTest() override
    {
        g_context.SubstituteFontName.clear();
        g_context.MetafileMode = false;
    }
    static std::unique_ptr<VPathText> Sample(std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke)
    {
        auto holder = std::make_unique<VPathText>();
        VPathText& t = *holder;
        if (fill)
            t.SetFill(*fill);
        if (stroke)
            t.SetStroke(*stroke);
        t.FText = "Hi";
        t.FFontSize = 12;
        t.FBaseStart = {10.5f, 20};
        t.FBaseEnd = {10.5f, 10};
        t.AddChild(Line(0, std::nullopt));
        return holder;
    }
};

TEST_F(SubstituteTextTest, DrawsTheStringRotatedToTheBaseline)
{
    RecordingDevice dc;
    Draw(*Sample(0x00000011, 0x00000022), dc, g_context, {0, 0}, 2.0f);
    EXPECT_EQ(dc.Text(),
              "SetTextColor 0x00000011\nSetBkMode 1\nSelectFont h=24 esc=900 ori=900 w=400 face=Arial\n"
              "SetMapperFlags 0\nSetTextAlign 24\nExtTextOut 10 20 Hi");
}

TEST_F(SubstituteTextTest, TheHeightIsTheLengthOfTheVerticalAxis)
{
    // Size 12 at scale 2: 24 whichever way the text is turned or mirrored.
    const struct {
        Matrix3 matrix;
        const char* font;
    } cases[] = {
        {Matrix3(0, 1, 0, -1, 0, 0, 0, 0, 1), "SelectFont h=24 esc=900 ori=900 w=400 face=Arial"},
        {Matrix3(-1, 0, 0, 0, -1, 0, 0, 0, 1), "SelectFont h=24 esc=900 ori=900 w=400 face=Arial"},
        {Matrix3(1, 0, 0, 0.9f, 1.2f, 0, 0, 0, 1), "SelectFont h=36 esc=900 ori=900 w=400 face=Arial"},
    };
    for (const auto& c : cases) {
        RecordingDevice dc;
        auto text = Sample(0, std::nullopt);
        text->FMatrix = c.matrix;
        Draw(*text, dc, g_context, {0, 0}, 2.0f);
        EXPECT_EQ(dc.Calls()[2], c.font);
    }
}

TEST_F(SubstituteTextTest, ColourIsFillElseStrokeElseBlack)
{
    RecordingDevice a, b;
    Draw(*Sample(std::nullopt, 0x00000022), a, g_context, {0, 0}, 1.0f);
    EXPECT_EQ(a.Calls()[0], "SetTextColor 0x00000022");
    Draw(*Sample(std::nullopt, std::nullopt), b, g_context, {0, 0}, 1.0f);
    EXPECT_EQ(b.Calls()[0], "SetTextColor 0x00000000");
}

TEST_F(SubstituteTextTest, MetafileModeConvertsThroughTheDeviceMapping)
{
    g_context.MetafileMode = true;
    RecordingDevice dc(31.25);
    Draw(*Sample(0, std::nullopt), dc, g_context, {0, 0}, 1.0f);
    // 12 device units become 375 logical units; the start point (10.5, 20) becomes (328, 625).
    EXPECT_EQ(dc.Calls()[2], "DPtoLP 12000 0");
    EXPECT_EQ(dc.Calls()[3], "SelectFont h=375 esc=900 ori=900 w=400 face=Arial");
    EXPECT_EQ(dc.Calls().back(), "ExtTextOut 328 625 Hi");
}

TEST_F(SubstituteTextTest, WithoutASubstituteTheOutlinesAreDrawn)
{
    g_context.SubstituteFontName.clear();
    RecordingDevice dc;
    Draw(*Sample(0, std::nullopt), dc, g_context, {0, 0}, 1.0f);
    EXPECT_EQ(dc.Calls()[0], "SelectSolidBrush 0x00000000");
}

TEST(ToLogical, RoundsHalvesToEvenOutsideMetafiles)
{
    RecordingDevice dc;
    EXPECT_EQ(ToLogical(dc, g_context, 12.5f), 12);
    EXPECT_EQ(ToLogical(dc, g_context, 13.5f), 14);
    EXPECT_TRUE(dc.Calls().empty());
}

}  // namespace
