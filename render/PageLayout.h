// Pages of drawings, as the album and the printed pages lay them out: the paper and its
// margins, the cells of a contact sheet, the caption under each drawing and the fitting of a
// drawing into its cell. Every length is in points (1/72 inch), the page's top-left corner at
// (0, 0), y downwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fonts/TextMeasure.h"

namespace plotwick {

struct PageSize {
    double width = 0, height = 0;
    friend bool operator==(const PageSize&, const PageSize&) = default;
};

inline constexpr double kPointsPerMm = 72.0 / 25.4;
inline constexpr PageSize kPageA4{210 * kPointsPerMm, 297 * kPointsPerMm};
inline constexpr PageSize kPageLetter{612, 792};

// "a4", "letter" (any letter case) or "WIDTHxHEIGHTmm" with sides from 10 to 5000 mm; none for
// anything else.
std::optional<PageSize> ParsePageSize(std::string_view text);

// Drawings a page: columns across, rows down.
struct SheetLayout {
    int columns = 1, rows = 1;
    int PerPage() const { return columns * rows; }
    friend bool operator==(const SheetLayout&, const SheetLayout&) = default;
};
inline constexpr int kLargestSheetSide = 20;
// "COLSxROWS", each from 1 to kLargestSheetSide; none for anything else.
std::optional<SheetLayout> ParseSheetLayout(std::string_view text);

struct PageSetup {
    PageSize paper = kPageA4;  // as named, portrait
    bool landscape = false;
    SheetLayout sheet;
    double margin = 10 * kPointsPerMm;  // the unprinted border on every side
};

// The paper turned as the setup asks: the longer side across in landscape, down in portrait.
PageSize OrientedPage(const PageSetup& setup);

struct PageRect {
    double x = 0, y = 0, width = 0, height = 0;
};

// Where one drawing of a page goes.
struct PageCell {
    PageRect cell;         // the whole cell; what is drawn is cut to it
    PageRect drawingArea;  // the drawing is fitted into this, above the caption
    double captionX = 0;   // the caption's baseline, centred on this point
    double captionY = 0;
    double captionWidth = 0;   // the widest the caption may be
    double captionHeight = 0;  // the caption face's character cell (ascent + descent)
};

// The cell of the index-th drawing of a page (0 is top-left, then across, then down).
PageCell CellOnPage(const PageSetup& setup, int index);

// A drawing whose bounds are width x height drawing units, with one unit of margin on every
// side, scaled to fill the area with its proportions kept and centred: a page point is
// (x, y) + scale x drawing point. A side of less than 0 counts as 0.
struct DrawingPlacement {
    double scale = 1;
    double x = 0, y = 0;
};
DrawingPlacement FitDrawing(std::int64_t width, std::int64_t height, const PageRect& area);

// The face captions are drawn in: the substitute face.
inline constexpr const char* kCaptionFace = "Arial";

// A caption as drawn: the name (Windows-1252 bytes), shortened with an ellipsis when even the
// smallest size is too wide, and its cell height in points.
struct Caption {
    std::string text;
    double height = 0;
};
// The name at the cell's caption height, made smaller (down to half) to fit the caption width,
// measured with the caption face.
Caption FitCaption(std::string_view name, const PageCell& cell, const gdi::TextMeasure& measure);

}  // namespace plotwick
