// Page arithmetic: page sizes and sheets as typed, cells inside the margins, drawings fitted
// into their cells, captions made to fit.
#include <gtest/gtest.h>

#include "render/PageLayout.h"

using namespace plotwick;

namespace {

TEST(PageLayout, PageSizesAndSheetsAsTyped)
{
    struct Case {
        const char* text;
        std::optional<PageSize> page;
    };
    for (const Case& c : {Case{"a4", kPageA4}, Case{"A4", kPageA4}, Case{"Letter", kPageLetter},
                          Case{"100x150mm", PageSize{100 * kPointsPerMm, 150 * kPointsPerMm}},
                          Case{"10x5000mm", PageSize{10 * kPointsPerMm, 5000 * kPointsPerMm}}, Case{"a5", {}},
                          Case{"9x100mm", {}}, Case{"100x150", {}}, Case{"x150mm", {}}, Case{"-10x150mm", {}},
                          Case{"100x150mmm", {}}, Case{"", {}}})
        EXPECT_EQ(ParsePageSize(c.text), c.page) << c.text;

    struct Sheet {
        const char* text;
        std::optional<SheetLayout> sheet;
    };
    for (const Sheet& c : {Sheet{"1x1", SheetLayout{1, 1}}, Sheet{"3x4", SheetLayout{3, 4}},
                           Sheet{"20X20", SheetLayout{20, 20}}, Sheet{"0x2", {}}, Sheet{"21x1", {}}, Sheet{"3", {}},
                           Sheet{"3x", {}}, Sheet{"+3x2", {}}, Sheet{"3x2x1", {}}})
        EXPECT_EQ(ParseSheetLayout(c.text), c.sheet) << c.text;
}

TEST(PageLayout, OrientationTurnsThePaperWhicheverWayItWasGiven)
{
    for (const PageSize paper : {kPageA4, PageSize{kPageA4.height, kPageA4.width}}) {
        PageSetup setup;
        setup.paper = paper;
        EXPECT_EQ(OrientedPage(setup), kPageA4);
        setup.landscape = true;
        EXPECT_EQ(OrientedPage(setup), (PageSize{kPageA4.height, kPageA4.width}));
    }
}

TEST(PageLayout, CellsFillThePrintableAreaWithoutOverlapping)
{
    for (const SheetLayout sheet : {SheetLayout{1, 1}, SheetLayout{3, 2}, SheetLayout{2, 5}}) {
        PageSetup setup;
        setup.sheet = sheet;
        setup.landscape = sheet.columns > sheet.rows;
        const PageSize page = OrientedPage(setup);
        std::vector<PageCell> cells;
        for (int i = 0; i < sheet.PerPage(); ++i)
            cells.push_back(CellOnPage(setup, i));
        // The next page starts again at the top-left cell.
        EXPECT_DOUBLE_EQ(CellOnPage(setup, sheet.PerPage()).cell.x, cells[0].cell.x);
        EXPECT_DOUBLE_EQ(cells.front().cell.x, setup.margin);
        EXPECT_DOUBLE_EQ(cells.front().cell.y, setup.margin);
        EXPECT_NEAR(cells.back().cell.x + cells.back().cell.width, page.width - setup.margin, 1e-9);
        EXPECT_NEAR(cells.back().cell.y + cells.back().cell.height, page.height - setup.margin, 1e-9);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const PageCell& c = cells[i];
            // Across, then down.
            EXPECT_EQ(c.cell.x > cells[0].cell.x, i % sheet.columns != 0);
            // The drawing above the caption, both inside the cell.
            EXPECT_LT(c.drawingArea.y + c.drawingArea.height, c.captionY - c.captionHeight * 0.8);
            EXPECT_LE(c.captionY, c.cell.y + c.cell.height);
            EXPECT_DOUBLE_EQ(c.captionX, c.cell.x + c.cell.width / 2);
            for (std::size_t j = i + 1; j < cells.size(); ++j) {
                const PageRect& a = c.cell;
                const PageRect& b = cells[j].cell;
                const bool apart = a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y ||
                                   b.y + b.height <= a.y;
                EXPECT_TRUE(apart) << i << " and " << j;
            }
        }
        EXPECT_DOUBLE_EQ(cells[0].captionHeight, sheet.PerPage() == 1 ? 11 : 8);
    }
}

TEST(PageLayout, DrawingsAreFittedAndCentred)
{
    const PageRect area{10, 20, 200, 100};
    struct Case {
        std::int64_t w, h;
        DrawingPlacement expected;
    };
    // Each drawing with a unit of margin a side.
    for (const Case& c : {Case{398, 98, {0.5, 10.5, 45.5}}, Case{48, 98, {1, 86, 21}}, Case{18, 8, {10, 20, 30}},
                          Case{0, 0, {50, 110, 70}}, Case{-200000, -200000, {50, 110, 70}}}) {
        const DrawingPlacement p = FitDrawing(c.w, c.h, area);
        EXPECT_DOUBLE_EQ(p.scale, c.expected.scale) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(p.x, c.expected.x) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(p.y, c.expected.y) << c.w << "x" << c.h;
    }
}

TEST(PageLayout, CaptionsShrinkToFitThenLoseTheirEnd)
{
    // Every character is half the font's height wide.
    const gdi::TextMeasure measure = [](const gdi::LogFont& font, std::u16string_view text) {
        gdi::TextMetrics m;
        m.valid = font.faceName == kCaptionFace;
        for (std::size_t i = 0; i < text.size(); ++i)
            m.advances.push_back(static_cast<std::int32_t>((i + 1) * font.height / 2));
        return m;
    };
    PageCell cell;
    cell.captionHeight = 10;
    cell.captionWidth = 50;  // ten characters at full size, twenty at half
    struct Case {
        std::string name;
        std::string text;
        double height;
    };
    for (const Case& c : {Case{"Short", "Short", 10}, Case{"Ten chars!", "Ten chars!", 10},
                          Case{"Sixteen chars ab", "Sixteen chars ab", 6.25},
                          Case{"Twenty-five characters...", "Twenty characters \x85", 5}}) {
        // The last case: nineteen characters and the ellipsis make twenty.
        const Caption caption = FitCaption(c.name, cell, measure);
        EXPECT_EQ(caption.height, c.height) << c.name;
        if (c.name.size() <= 20)
            EXPECT_EQ(caption.text, c.text) << c.name;
        else
            EXPECT_EQ(caption.text, c.name.substr(0, 19) + '\x85');
    }
}

}  // namespace
