#include "render/PageLayout.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "platform/fonts/Codepage.h"

namespace plotwick {

namespace {

// Space between the cells of a sheet, and between a drawing and its caption.
constexpr double kCellGap = 6 * kPointsPerMm;
constexpr double kCaptionGap = 4;
// Caption cell heights: one drawing a page, several.
constexpr double kPageCaption = 11;
constexpr double kSheetCaption = 8;
// The share of the caption cell below the baseline, as in the caption face.
constexpr double kCaptionDescent = 0.19;
// Captions are measured in hundredths of a point.
constexpr double kMeasureUnits = 100;

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "AxB" followed by suffix, each a whole number without sign.
bool ParsePair(std::string_view text, std::string_view suffix, long& a, long& b)
{
    if (text.size() < suffix.size() || text.substr(text.size() - suffix.size()) != suffix)
        return false;
    text.remove_suffix(suffix.size());
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos || x == 0 || x + 1 >= text.size())
        return false;
    const auto whole = [](std::string_view s, long& v) {
        if (s.empty() || !std::isdigit(static_cast<unsigned char>(s.front())))
            return false;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        return ec == std::errc() && end == s.data() + s.size();
    };
    return whole(text.substr(0, x), a) && whole(text.substr(x + 1), b);
}

double Width(const gdi::TextMetrics& m)
{
    return m.advances.empty() ? 0.0 : static_cast<double>(m.advances.back());
}

}  // namespace

std::optional<PageSize> ParsePageSize(std::string_view text)
{
    const std::string s = Lower(text);
    if (s == "a4")
        return kPageA4;
    if (s == "letter")
        return kPageLetter;
    long w = 0, h = 0;
    if (!ParsePair(s, "mm", w, h) || w < 10 || h < 10 || w > 5000 || h > 5000)
        return std::nullopt;
    return PageSize{static_cast<double>(w) * kPointsPerMm, static_cast<double>(h) * kPointsPerMm};
}

std::optional<SheetLayout> ParseSheetLayout(std::string_view text)
{
    long c = 0, r = 0;
    if (!ParsePair(Lower(text), "", c, r) || c < 1 || r < 1 || c > kLargestSheetSide || r > kLargestSheetSide)
        return std::nullopt;
    return SheetLayout{static_cast<int>(c), static_cast<int>(r)};
}

PageSize OrientedPage(const PageSetup& setup)
{
    const double shorter = std::min(setup.paper.width, setup.paper.height);
    const double longer = std::max(setup.paper.width, setup.paper.height);
    return setup.landscape ? PageSize{longer, shorter} : PageSize{shorter, longer};
}

PageCell CellOnPage(const PageSetup& setup, int index)
{
    const PageSize page = OrientedPage(setup);
    const int columns = std::max(1, setup.sheet.columns), rows = std::max(1, setup.sheet.rows);
    const double margin = std::clamp(setup.margin, 0.0, std::min(page.width, page.height) / 4);
    const double cellW = std::max(0.0, (page.width - 2 * margin - (columns - 1) * kCellGap) / columns);
    const double cellH = std::max(0.0, (page.height - 2 * margin - (rows - 1) * kCellGap) / rows);
    const int column = index % columns, row = (index / columns) % rows;

    PageCell c;
    c.cell = {margin + column * (cellW + kCellGap), margin + row * (cellH + kCellGap), cellW, cellH};
    c.captionHeight = std::min(columns * rows == 1 ? kPageCaption : kSheetCaption, cellH / 4);
    c.captionWidth = cellW;
    c.captionX = c.cell.x + cellW / 2;
    c.captionY = c.cell.y + cellH - c.captionHeight * kCaptionDescent;
    const double band = c.captionHeight + std::min(kCaptionGap, cellH / 8);
    c.drawingArea = {c.cell.x, c.cell.y, cellW, std::max(0.0, cellH - band)};
    return c;
}

DrawingPlacement FitDrawing(std::int64_t width, std::int64_t height, const PageRect& area)
{
    // One drawing unit of margin on every side, as the metafile's picture has: the strokes
    // along the drawing's edges reach out of its bounds by half their width.
    const double w = static_cast<double>(std::max<std::int64_t>(width, 0)) + 2;
    const double h = static_cast<double>(std::max<std::int64_t>(height, 0)) + 2;
    DrawingPlacement p;
    p.scale = std::min(area.width / w, area.height / h);
    p.x = area.x + (area.width - w * p.scale) / 2 + p.scale;
    p.y = area.y + (area.height - h * p.scale) / 2 + p.scale;
    return p;
}

Caption FitCaption(std::string_view name, const PageCell& cell, const gdi::TextMeasure& measure)
{
    Caption caption{std::string(name), cell.captionHeight};
    if (name.empty() || !measure || !(cell.captionHeight > 0))
        return caption;
    gdi::LogFont font;
    font.faceName = kCaptionFace;
    font.height = static_cast<std::int32_t>(std::lround(cell.captionHeight * kMeasureUnits));
    const double room = cell.captionWidth * kMeasureUnits;
    const auto widthOf = [&](std::string_view text) {
        const gdi::TextMetrics m = measure(font, codepage::Cp1252ToUtf16(text));
        return m.valid ? Width(m) : 0.0;
    };
    const double full = widthOf(name);
    if (full <= room)
        return caption;
    const double factor = room / full;
    if (factor >= 0.5) {
        caption.height = std::floor(cell.captionHeight * factor * kMeasureUnits) / kMeasureUnits;
        return caption;
    }
    // Half the size and still too wide: the name is cut and ends in an ellipsis.
    caption.height = std::floor(cell.captionHeight * 0.5 * kMeasureUnits) / kMeasureUnits;
    font.height = static_cast<std::int32_t>(std::lround(caption.height * kMeasureUnits));
    std::string text(name);
    while (!text.empty()) {
        text.pop_back();
        if (widthOf(text + '\x85') <= room)
            break;
    }
    caption.text = text + '\x85';
    return caption;
}

}  // namespace plotwick
