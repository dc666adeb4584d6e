#include "tests/support/RecordingDevice.h"

#include "platform/device/CairoDevice.h"

#include <cstdio>

namespace plotwick::fixture {

std::string RecordingDevice::FormatColor(gdi::ColorRef color)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(color));
    return buf;
}

std::string RecordingDevice::EscapeText(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F || b == '\\') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", b);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string RecordingDevice::FormatFont(const gdi::LogFont& f)
{
    std::string s = "SelectFont h=" + std::to_string(f.height) + " esc=" + std::to_string(f.escapement) +
                    " ori=" + std::to_string(f.orientation) + " w=" + std::to_string(f.weight);
    if (f.width != 0)
        s += " width=" + std::to_string(f.width);
    if (f.italic)
        s += " italic";
    if (f.underline)
        s += " underline";
    if (f.strikeOut)
        s += " strikeout";
    if (f.charSet != 1)
        s += " charset=" + std::to_string(f.charSet);
    if (f.outPrecision != 0)
        s += " out=" + std::to_string(f.outPrecision);
    if (f.clipPrecision != 0)
        s += " clip=" + std::to_string(f.clipPrecision);
    if (f.quality != 0)
        s += " quality=" + std::to_string(f.quality);
    if (f.pitchAndFamily != 0)
        s += " pitch=" + std::to_string(f.pitchAndFamily);
    s += " face=" + EscapeText(f.faceName);
    return s;
}

std::string RecordingDevice::Text() const
{
    std::string out;
    for (std::size_t i = 0; i < calls_.size(); ++i) {
        if (i)
            out += '\n';
        out += calls_[i];
    }
    return out;
}

void RecordingDevice::BeginPath() { calls_.push_back("BeginPath"); }
void RecordingDevice::EndPath() { calls_.push_back("EndPath"); }
void RecordingDevice::FillPath() { calls_.push_back("FillPath"); }
void RecordingDevice::StrokePath() { calls_.push_back("StrokePath"); }

void RecordingDevice::MoveToEx(std::int32_t x, std::int32_t y)
{
    calls_.push_back("MoveToEx " + std::to_string(x) + " " + std::to_string(y));
    position_ = figureStart_ = {x, y};
}

void RecordingDevice::LineTo(std::int32_t x, std::int32_t y)
{
    calls_.push_back("LineTo " + std::to_string(x) + " " + std::to_string(y));
    position_ = {x, y};
}

void RecordingDevice::PolyBezierTo(const gdi::Point* points, std::size_t count)
{
    std::string s = "PolyBezierTo";
    for (std::size_t i = 0; i < count; ++i)
        s += " " + std::to_string(points[i].x) + " " + std::to_string(points[i].y);
    calls_.push_back(std::move(s));
    if (count >= 3)
        position_ = points[count - count % 3 - 1];
}

void RecordingDevice::CloseFigure()
{
    calls_.push_back("CloseFigure");
    position_ = figureStart_;
}

void RecordingDevice::SelectSolidPen(gdi::ColorRef color, std::int32_t width)
{
    calls_.push_back("SelectSolidPen " + FormatColor(color) + " " + std::to_string(width));
}

void RecordingDevice::SelectSolidBrush(gdi::ColorRef color)
{
    calls_.push_back("SelectSolidBrush " + FormatColor(color));
}

void RecordingDevice::SelectFont(const gdi::LogFont& font) { calls_.push_back(FormatFont(font)); }

void RecordingDevice::SetTextColor(gdi::ColorRef color) { calls_.push_back("SetTextColor " + FormatColor(color)); }
void RecordingDevice::SetBkMode(int mode) { calls_.push_back("SetBkMode " + std::to_string(mode)); }
void RecordingDevice::SetTextAlign(std::uint32_t align) { calls_.push_back("SetTextAlign " + std::to_string(align)); }

void RecordingDevice::SetMapperFlags(std::uint32_t flags)
{
    calls_.push_back("SetMapperFlags " + std::to_string(flags));
}

void RecordingDevice::ExtTextOut(std::int32_t x, std::int32_t y, std::string_view text)
{
    calls_.push_back("ExtTextOut " + std::to_string(x) + " " + std::to_string(y) + " " + EscapeText(text));
}

gdi::Point RecordingDevice::DPtoLP(gdi::Point device)
{
    calls_.push_back("DPtoLP " + std::to_string(device.x) + " " + std::to_string(device.y));
    return gdi::ScaleDeviceToLogical(device, logicalPerDevice_);
}

void RecordingDevice::FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                               gdi::ColorRef color)
{
    calls_.push_back("FillRect " + std::to_string(left) + " " + std::to_string(top) + " " + std::to_string(right) +
                     " " + std::to_string(bottom) + " " + FormatColor(color));
}

void RecordingDevice::SetGraphicsMode(int mode) { calls_.push_back("SetGraphicsMode " + std::to_string(mode)); }

}  // namespace plotwick::fixture
