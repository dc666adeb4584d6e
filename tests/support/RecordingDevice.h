// A device context for the tests that draws nothing and writes down every call as one line of
// text, so that a test can compare the exact sequence of calls:
//
//   BeginPath | EndPath | FillPath | StrokePath | CloseFigure
//   MoveToEx 10 20 | LineTo 10 20 | PolyBezierTo 1 2 3 4 5 6 (every point, x then y)
//   SelectSolidPen 0x000000ff 3 | SelectSolidBrush 0x00ff0000
//   SelectFont h=20 esc=450 ori=450 w=400 face=Arial
//       (w is the weight; width=N, italic, underline, strikeout, charset=N, out=N, clip=N,
//        quality=N and pitch=N are inserted before face= only when they differ from the
//        defaults 0, false, false, false, 1, 0, 0, 0, 0)
//   SetTextColor 0x00000000 | SetBkMode 1 | SetTextAlign 24 | SetMapperFlags 0
//   ExtTextOut 5 6 Hello (bytes below 0x20, from 0x7F, and the backslash written as \xNN)
//   DPtoLP 1000 0 | FillRect 0 0 10 10 0x00ffffff | SetGraphicsMode 1
//
// CurrentPosition is not written down: it answers where the calls have left the pen.
//
// Colours are written as eight hexadecimal digits, 0x00BBGGRR.
#pragma once

#include "platform/device/DeviceContext.h"

#include <string>
#include <vector>

namespace plotwick::fixture {

class RecordingDevice : public gdi::DeviceContext {
public:
    // DPtoLP multiplies by logicalPerDevice, rounding to the nearest integer.
    explicit RecordingDevice(double logicalPerDevice = 1.0) : logicalPerDevice_(logicalPerDevice) {}

    void SetLogicalPerDevice(double logicalPerDevice) { logicalPerDevice_ = logicalPerDevice; }

    const std::vector<std::string>& Calls() const { return calls_; }
    // The calls joined by newlines, without a trailing newline.
    std::string Text() const;
    void Clear() { calls_.clear(); }

    void BeginPath() override;
    void EndPath() override;
    void FillPath() override;
    void StrokePath() override;
    void MoveToEx(std::int32_t x, std::int32_t y) override;
    void LineTo(std::int32_t x, std::int32_t y) override;
    void PolyBezierTo(const gdi::Point* points, std::size_t count) override;
    void CloseFigure() override;
    gdi::Point CurrentPosition() const override { return position_; }

    void SelectSolidPen(gdi::ColorRef color, std::int32_t width) override;
    void SelectSolidBrush(gdi::ColorRef color) override;
    void SelectFont(const gdi::LogFont& font) override;

    void SetTextColor(gdi::ColorRef color) override;
    void SetBkMode(int mode) override;
    void SetTextAlign(std::uint32_t align) override;
    void SetMapperFlags(std::uint32_t flags) override;
    void ExtTextOut(std::int32_t x, std::int32_t y, std::string_view text) override;

    gdi::Point DPtoLP(gdi::Point device) override;
    void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                  gdi::ColorRef color) override;
    void SetGraphicsMode(int mode) override;

    // The text of one call, as it is recorded.
    static std::string FormatFont(const gdi::LogFont& font);
    static std::string FormatColor(gdi::ColorRef color);
    static std::string EscapeText(std::string_view text);

private:
    double logicalPerDevice_;
    std::vector<std::string> calls_;
    gdi::Point position_, figureStart_;
};

}  // namespace plotwick::fixture
