#include "render/ExportSize.h"

#include <algorithm>
#include <cctype>

#include "model/Rounding.h"

namespace plotwick {

std::optional<std::int32_t> ParseFieldInteger(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    bool hex = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    } else if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int digit;
        if (std::isdigit(c))
            digit = c - '0';
        else if (hex && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            return std::nullopt;
        value = value * (hex ? 16 : 10) + digit;
        if (value > (hex ? 0xFFFFFFFFLL : 2147483648LL))
            return std::nullopt;
    }
    if (hex)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));  // $FFFFFFFF is -1
    if (negative)
        value = -value;
    if (value > 2147483647LL || value < -2147483648LL)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

namespace {

std::int32_t ClampExtent(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, 1, 2147483647));
}

}  // namespace

void ExportSize::Show(std::int64_t sourceWidth, std::int64_t sourceHeight)
{
    sourceWidth_ = ClampExtent(sourceWidth);
    sourceHeight_ = ClampExtent(sourceHeight);
    scaleText = "100";
    scale_ = 100;
    width_ = sourceWidth_;
    height_ = sourceHeight_;
    SizeFromScale();
}

void ExportSize::SizeFromScale()
{
    width_ = RoundEven(static_cast<long double>(sourceWidth_) * (static_cast<long double>(scale_) / 100));
    widthText = std::to_string(width_);
    height_ = RoundEven(static_cast<long double>(sourceHeight_) * (static_cast<long double>(scale_) / 100));
    heightText = std::to_string(height_);
}

void ExportSize::ScaleFromSize()
{
    if (!ScaleEnabled())
        return;
    scale_ = RoundEven(static_cast<long double>(width_) / sourceWidth_ * 100);
    scaleText = std::to_string(scale_);
}

void ExportSize::ScaleExit()
{
    const auto v = ParseFieldInteger(scaleText);
    if (!v)
        return;
    scale_ = std::max(*v, 1);
    SizeFromScale();
}

void ExportSize::WidthExit()
{
    const auto parsed = ParseFieldInteger(widthText);
    if (!parsed)
        return;
    const std::int32_t v = std::max(*parsed, 1);
    if (constrain_ && width_ > 0) {
        const double f = static_cast<double>(v) / width_;
        height_ = RoundEven(static_cast<long double>(height_) * f);
        heightText = std::to_string(height_);
    }
    width_ = v;
    ScaleFromSize();
}

void ExportSize::HeightExit()
{
    const auto parsed = ParseFieldInteger(heightText);
    if (!parsed)
        return;
    const std::int32_t v = std::max(*parsed, 1);
    if (constrain_ && height_ > 0) {
        const double f = static_cast<double>(v) / height_;
        width_ = RoundEven(static_cast<long double>(width_) * f);
        widthText = std::to_string(width_);
    }
    height_ = v;
    ScaleFromSize();
}

void ExportSize::SetConstrain(bool constrain) { constrain_ = constrain; }

}  // namespace plotwick
