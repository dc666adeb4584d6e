// The arithmetic of the export settings dialog, without the widgets: scale, pixel width and
// pixel height, each with the text the user sees and the value last committed, kept consistent
// when a field is left. The dialog and plotwick-cli both size raster exports through it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace plotwick {

// Reads a field's text as a 32-bit integer: leading spaces, then an optional sign and decimal
// digits, or, without a sign, a hexadecimal number after "$", "x" or "0x". Anything else (an
// empty text, trailing characters, a value out of range) is none.
std::optional<std::int32_t> ParseFieldInteger(const std::string& text);

class ExportSize {
public:
    // The drawing's width and height at 100 %. A zero or negative extent (a straight line, a dot,
    // a drawing without shapes) counts as one pixel, so that every drawing exports to an image.
    void Show(std::int64_t sourceWidth, std::int64_t sourceHeight);

    void SizeFromScale();
    void ScaleFromSize();
    void ScaleExit();   // the scale field loses the focus
    void WidthExit();   // the width field loses the focus
    void HeightExit();  // the height field loses the focus
    void SetConstrain(bool constrain);  // "Constrain Proportions"; the scale field is enabled with it

    std::int32_t SourceWidth() const { return sourceWidth_; }
    std::int32_t SourceHeight() const { return sourceHeight_; }
    std::int32_t Scale() const { return scale_; }
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    bool Constrain() const { return constrain_; }
    bool ScaleEnabled() const { return constrain_; }

    std::string scaleText;
    std::string widthText;
    std::string heightText;

private:
    std::int32_t sourceWidth_ = 1;
    std::int32_t sourceHeight_ = 1;
    std::int32_t scale_ = 100;
    std::int32_t width_ = 1;
    std::int32_t height_ = 1;
    bool constrain_ = true;
};

}  // namespace plotwick
