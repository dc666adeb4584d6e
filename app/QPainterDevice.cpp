#include "app/QPainterDevice.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>
#include <stdexcept>

#include "platform/device/CairoDevice.h"
#include "platform/fonts/Codepage.h"

namespace plotwick::app {

namespace {

QColor ToColor(gdi::ColorRef c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// Faces are laid out at this em size and scaled to the size asked for, as the em size of a
// QFont is a whole number of pixels.
constexpr int kReferenceEm = 1000;
// Text of a larger em, in painter units, is not drawn.
constexpr double kLargestEm = 1048576.0;

}  // namespace

QPainterDevice::QPainterDevice(QPainter& painter, double logicalPerDevice)
    : painter_(painter), logicalPerDevice_(logicalPerDevice), k_(1.0 / logicalPerDevice)
{
    if (!(logicalPerDevice > 0) || !std::isfinite(logicalPerDevice))
        throw std::invalid_argument("QPainterDevice: the logical scale must be positive");
    path_.setFillRule(Qt::OddEvenFill);
}

void QPainterDevice::BeginPath()
{
    path_.clear();
    path_.setFillRule(Qt::OddEvenFill);
    inBracket_ = true;
    figureOpen_ = false;
}

void QPainterDevice::EndPath() { inBracket_ = false; }

void QPainterDevice::EnsureFigure()
{
    // A figure begins at the current position when the path has none open.
    if (!figureOpen_) {
        path_.moveTo(At(current_));
        figureStart_ = current_;
        figureOpen_ = true;
    }
}

void QPainterDevice::CloseFigure()
{
    if (!inBracket_ || !figureOpen_)
        return;
    path_.closeSubpath();
    figureOpen_ = false;
    current_ = figureStart_;
}

void QPainterDevice::MoveToEx(std::int32_t x, std::int32_t y)
{
    current_ = {x, y};
    if (inBracket_) {
        path_.moveTo(At(current_));  // a move after a move replaces it
        figureStart_ = current_;
        figureOpen_ = true;
    }
}

void QPainterDevice::LineTo(std::int32_t x, std::int32_t y)
{
    const gdi::Point to{x, y};
    if (inBracket_) {
        EnsureFigure();
        path_.lineTo(At(to));
    } else {
        QPainterPath line(At(current_));
        line.lineTo(At(to));
        Stroke(line);
    }
    current_ = to;
}

void QPainterDevice::PolyBezierTo(const gdi::Point* points, std::size_t count)
{
    // Points beyond the last complete curve are ignored.
    count -= count % 3;
    if (count == 0)
        return;
    QPainterPath loose(At(current_));
    QPainterPath& path = inBracket_ ? path_ : loose;
    if (inBracket_)
        EnsureFigure();
    for (std::size_t i = 0; i < count; i += 3)
        path.cubicTo(At(points[i]), At(points[i + 1]), At(points[i + 2]));
    if (!inBracket_)
        Stroke(loose);
    current_ = points[count - 1];
}

void QPainterDevice::FillPath()
{
    inBracket_ = false;
    painter_.fillPath(path_, ToColor(brushColor_));
    path_.clear();
    figureOpen_ = false;
}

void QPainterDevice::StrokePath()
{
    inBracket_ = false;
    Stroke(path_);
    path_.clear();
    figureOpen_ = false;
}

void QPainterDevice::Stroke(const QPainterPath& path)
{
    QPen pen(ToColor(penColor_));
    if (penWidth_ <= 1) {
        pen.setWidth(0);  // cosmetic: one device pixel
        pen.setCosmetic(true);
    } else {
        pen.setWidthF(penWidth_ * k_);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    }
    painter_.strokePath(path, pen);
}

void QPainterDevice::SelectSolidPen(gdi::ColorRef color, std::int32_t width)
{
    penColor_ = color;
    penWidth_ = width < 0 ? 0 : width;
}

void QPainterDevice::SelectSolidBrush(gdi::ColorRef color) { brushColor_ = color; }

void QPainterDevice::SelectFont(const gdi::LogFont& font) { font_ = font; }

void QPainterDevice::SetBkMode(int mode)
{
    if (mode == gdi::BK_TRANSPARENT || mode == gdi::BK_OPAQUE)
        bkMode_ = mode;
}

void QPainterDevice::ExtTextOut(std::int32_t x, std::int32_t y, std::string_view text)
{
    if (text.empty())
        return;
    QFont face(QString::fromStdString(codepage::Cp1252ToUtf8(font_.faceName)));
    face.setPixelSize(kReferenceEm);
    face.setWeight(font_.weight >= 600 ? QFont::Bold : QFont::Normal);
    face.setItalic(font_.italic);
    face.setUnderline(font_.underline);
    face.setStrikeOut(font_.strikeOut);
    face.setHintingPreference(QFont::PreferNoHinting);
    face.setKerning(false);
    const QFontMetricsF metrics(face);
    const double cell = (metrics.ascent() + metrics.descent()) / kReferenceEm;
    double em;
    if (font_.height > 0)
        em = font_.height * k_ / (cell > 0 ? cell : 1);
    else if (font_.height < 0)
        em = -font_.height * k_;
    else
        em = 16.0 / (cell > 0 ? cell : 1);
    if (!(em > 0) || em > kLargestEm)
        return;

    std::string bytes(text);
    for (char& c : bytes)
        if (c == '\0')
            c = '\x01';
    const std::u16string utf16 = codepage::Cp1252ToUtf16(bytes);
    const QString string = QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
    const double advance = metrics.horizontalAdvance(string);
    const double ascent = metrics.ascent(), descent = metrics.descent();
    double ox = 0, oy = 0;
    switch (textAlign_ & gdi::CairoDevice::kAlignCenter) {
    case gdi::CairoDevice::kAlignRight:
        ox = -advance;
        break;
    case gdi::CairoDevice::kAlignCenter:
        ox = -advance / 2;
        break;
    default:
        break;
    }
    switch (textAlign_ & gdi::TA_BASELINE) {
    case gdi::TA_BASELINE:
        break;
    case gdi::CairoDevice::kAlignBottom:
        oy = -descent;
        break;
    default:  // top
        oy = ascent;
        break;
    }

    painter_.save();
    painter_.translate(x * k_, y * k_);
    // Escapement is counter-clockwise on screen, a negative rotation in the painter's terms.
    painter_.rotate(-(font_.escapement % 3600) / 10.0);
    painter_.scale(em / kReferenceEm, em / kReferenceEm);
    if (bkMode_ == gdi::BK_OPAQUE)
        painter_.fillRect(QRectF(ox, oy - ascent, advance, ascent + descent), ToColor(bkColor_));
    painter_.setFont(face);
    painter_.setPen(ToColor(textColor_));
    painter_.drawText(QPointF(ox, oy), string);
    painter_.restore();
}

gdi::Point QPainterDevice::DPtoLP(gdi::Point device) { return gdi::ScaleDeviceToLogical(device, logicalPerDevice_); }

void QPainterDevice::FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                              gdi::ColorRef color)
{
    if (right <= left || bottom <= top)
        return;
    painter_.fillRect(QRectF(At({left, top}), At({right, bottom})), ToColor(color));
}

}  // namespace plotwick::app
