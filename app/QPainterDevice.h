// A device context that draws with a QPainter: the printer, the print preview, any paint
// device. It draws as the Cairo device draws on a vector target, in the painter's coordinates:
//  - paths of lines and cubic Béziers, filled with the even-odd rule;
//  - solid pens: width 0 or 1 (logical) is a cosmetic line one device pixel wide, wider pens
//    have round caps and joins; solid brushes;
//  - text in the logical font's face, a positive height being the character cell (ascent +
//    descent), a negative one the em size, turned by the escapement, aligned left, centre or
//    right on the top of the cell, its baseline or its bottom, over the background colour in
//    opaque mode; text bytes are Windows-1252.
// A device may be given a number of logical units per painter unit; every coordinate, pen width
// and font height then counts in those finer units, and DPtoLP converts to them.
#pragma once

#include <QPainterPath>

#include "platform/device/DeviceContext.h"

class QPainter;

namespace plotwick::app {

class QPainterDevice : public gdi::DeviceContext {
public:
    // The painter is referenced, not owned; logicalPerDevice must be positive.
    explicit QPainterDevice(QPainter& painter, double logicalPerDevice = 1.0);

    void BeginPath() override;
    void EndPath() override;
    void FillPath() override;
    void StrokePath() override;
    void MoveToEx(std::int32_t x, std::int32_t y) override;
    void LineTo(std::int32_t x, std::int32_t y) override;
    void PolyBezierTo(const gdi::Point* points, std::size_t count) override;
    void CloseFigure() override;
    gdi::Point CurrentPosition() const override { return current_; }

    void SelectSolidPen(gdi::ColorRef color, std::int32_t width) override;
    void SelectSolidBrush(gdi::ColorRef color) override;
    void SelectFont(const gdi::LogFont& font) override;

    void SetTextColor(gdi::ColorRef color) override { textColor_ = color; }
    void SetBkMode(int mode) override;
    void SetTextAlign(std::uint32_t align) override { textAlign_ = align; }
    void SetMapperFlags(std::uint32_t) override {}
    void ExtTextOut(std::int32_t x, std::int32_t y, std::string_view text) override;

    gdi::Point DPtoLP(gdi::Point device) override;
    void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                  gdi::ColorRef color) override;
    void SetGraphicsMode(int) override {}

private:
    QPointF At(gdi::Point p) const { return {p.x * k_, p.y * k_}; }
    void EnsureFigure();
    void Stroke(const QPainterPath& path);

    QPainter& painter_;
    double logicalPerDevice_;
    double k_;  // painter units per logical unit

    bool inBracket_ = false;
    bool figureOpen_ = false;
    QPainterPath path_;
    gdi::Point current_{};
    gdi::Point figureStart_{};  // where the open figure began

    gdi::ColorRef penColor_ = 0;
    std::int32_t penWidth_ = 0;
    gdi::ColorRef brushColor_ = 0x00FFFFFF;
    gdi::ColorRef textColor_ = 0;
    gdi::ColorRef bkColor_ = 0x00FFFFFF;
    int bkMode_ = gdi::BK_OPAQUE;
    std::uint32_t textAlign_ = gdi::TA_LEFT;
    gdi::LogFont font_;
};

}  // namespace plotwick::app
