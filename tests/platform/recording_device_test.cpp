// The recording device of the tests: every call becomes one line of text.
#include "tests/support/RecordingDevice.h"

#include <gtest/gtest.h>

#include <vector>

namespace plotwick::fixture {
namespace {

TEST(RecordingDevice, WritesEveryCallAsOneLine)
{
    RecordingDevice d;
    d.SetGraphicsMode(gdi::GM_COMPATIBLE);
    d.FillRect(0, 0, 10, 20, 0x00FFFFFF);
    d.SelectSolidBrush(0x00FF0000);
    d.SelectSolidPen(0x000000FF, 3);
    d.BeginPath();
    d.MoveToEx(10, 20);
    d.LineTo(-3, 4);
    const gdi::Point c[6] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}, {11, -12}};
    d.PolyBezierTo(c, 6);
    d.EndPath();
    d.FillPath();
    d.StrokePath();
    d.SetTextColor(0x00123456);
    d.SetBkMode(gdi::BK_TRANSPARENT);
    d.SetMapperFlags(0);
    d.SetTextAlign(gdi::TA_BASELINE | gdi::TA_LEFT);
    d.ExtTextOut(5, 6, "Hello");
    const std::vector<std::string> expected = {
        "SetGraphicsMode 1",
        "FillRect 0 0 10 20 0x00ffffff",
        "SelectSolidBrush 0x00ff0000",
        "SelectSolidPen 0x000000ff 3",
        "BeginPath",
        "MoveToEx 10 20",
        "LineTo -3 4",
        "PolyBezierTo 1 2 3 4 5 6 7 8 9 10 11 -12",
        "EndPath",
        "FillPath",
        "StrokePath",
        "SetTextColor 0x00123456",
        "SetBkMode 1",
        "SetMapperFlags 0",
        "SetTextAlign 24",
        "ExtTextOut 5 6 Hello",
    };
    EXPECT_EQ(d.Calls(), expected);
    EXPECT_EQ(d.Text().substr(0, 27), "SetGraphicsMode 1\nFillRect ");
    EXPECT_EQ(d.Text().back(), 'o');
    d.Clear();
    EXPECT_TRUE(d.Calls().empty());
    EXPECT_EQ(d.Text(), "");
}

TEST(RecordingDevice, FontsShowTheirFieldsAndOnlyNonDefaultExtras)
{
    RecordingDevice d;
    gdi::LogFont f;
    f.height = 20;
    f.escapement = 450;
    f.orientation = 450;
    f.faceName = "Arial";
    d.SelectFont(f);
    f.width = 7;
    f.weight = 700;
    f.italic = f.underline = f.strikeOut = true;
    f.charSet = 0;
    f.outPrecision = 3;
    f.clipPrecision = 2;
    f.quality = 4;
    f.pitchAndFamily = 34;
    f.faceName = "VU Dedadiz";
    d.SelectFont(f);
    ASSERT_EQ(d.Calls().size(), 2u);
    EXPECT_EQ(d.Calls()[0], "SelectFont h=20 esc=450 ori=450 w=400 face=Arial");
    EXPECT_EQ(d.Calls()[1], "SelectFont h=20 esc=450 ori=450 w=700 width=7 italic underline strikeout charset=0 "
                            "out=3 clip=2 quality=4 pitch=34 face=VU Dedadiz");
}

TEST(RecordingDevice, EscapesTextBytesAndConvertsPointsWithItsScale)
{
    RecordingDevice d(31.25);
    d.ExtTextOut(-1, 2, std::string_view("a\\b\x01\xE9\x7F\0z", 8));
    EXPECT_EQ(d.Calls().back(), "ExtTextOut -1 2 a\\x5cb\\x01\\xe9\\x7f\\x00z");
    EXPECT_EQ(d.DPtoLP({1000, 0}), (gdi::Point{31250, 0}));
    EXPECT_EQ(d.Calls().back(), "DPtoLP 1000 0");
    EXPECT_EQ(d.DPtoLP({2, -3}), (gdi::Point{63, -94}));  // 62.5 and -93.75
    d.SetLogicalPerDevice(1.0);
    EXPECT_EQ(d.DPtoLP({2, -3}), (gdi::Point{2, -3}));
}

}  // namespace
}  // namespace plotwick::fixture
