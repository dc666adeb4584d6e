#include "app/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace plotwick::app {

namespace {

QImage Transparent(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

// Simple shapes: a square, a circle and a triangle overlapping.
void DrawDrawingsIcon(QPainter& p)
{
    p.setPen(QPen(QColor(0x1f, 0x3f, 0x8f), 1));
    p.setBrush(QColor(0x5b, 0x8d, 0xef));
    p.drawRect(QRectF(1.5, 5.5, 8, 8));
    p.setPen(QPen(QColor(0x9a, 0x1c, 0x1c), 1));
    p.setBrush(QColor(0xf0, 0x5a, 0x4a));
    p.drawEllipse(QRectF(7.5, 1.5, 7, 7));
    QPainterPath tri;
    tri.moveTo(10.5, 7.5);
    tri.lineTo(15.0, 14.5);
    tri.lineTo(6.0, 14.5);
    tri.closeSubpath();
    p.setPen(QPen(QColor(0x1e, 0x6b, 0x1e), 1));
    p.setBrush(QColor(0x6c, 0xcb, 0x5f));
    p.drawPath(tri);
}

// Stacked pages.
void DrawLibraryIcon(QPainter& p)
{
    const QColor edge(0x55, 0x55, 0x66);
    for (int i = 2; i >= 0; --i) {
        const QRectF r(1.5 + i * 2, 1.5 + (2 - i) * 2, 9, 11);
        p.setPen(QPen(edge, 1));
        p.setBrush(i == 0 ? QColor(Qt::white) : QColor(0xe4, 0xe8, 0xf0));
        p.drawRect(r);
    }
    // A shape on the top page.
    p.setPen(QPen(QColor(0xc0, 0x6a, 0x10), 1));
    p.setBrush(QColor(0xff, 0xb3, 0x40));
    p.drawEllipse(QRectF(3.5, 8.5, 5, 5));
}

// The letter F.
void DrawFontIcon(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0x30, 0x30));
    p.drawRect(QRect(4, 2, 3, 12));   // stem
    p.drawRect(QRect(4, 2, 9, 3));    // top arm
    p.drawRect(QRect(4, 7, 7, 2));    // middle arm
    p.setBrush(QColor(0x6d, 0x6d, 0x6d));
    p.drawRect(QRect(3, 13, 5, 1));   // serif
}

// A folder.
void DrawFolderIcon(QPainter& p)
{
    const QColor edge(0x9c, 0x7a, 0x16);
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(6.0, 3.5);
    back.lineTo(7.5, 5.0);
    back.lineTo(14.5, 5.0);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    p.setPen(QPen(edge, 1));
    p.setBrush(QColor(0xe8, 0xb8, 0x30));
    p.drawPath(back);
    QLinearGradient g(0, 6, 0, 14);
    g.setColorAt(0, QColor(0xff, 0xe0, 0x7a));
    g.setColorAt(1, QColor(0xf4, 0xc4, 0x3c));
    p.setBrush(g);
    p.drawRect(QRectF(1.5, 6.5, 13, 7));
}

void DrawDevice(QPainter& p, const QRectF& r)
{
    // A handheld: a rounded body, a screen, four buttons.
    const qreal k = r.width() / 64.0;
    p.save();
    p.translate(r.topLeft());
    p.scale(k, k);
    QLinearGradient body(0, 0, 64, 64);
    body.setColorAt(0, QColor(0x4a, 0x55, 0x68));
    body.setColorAt(1, QColor(0x23, 0x2a, 0x36));
    p.setPen(QPen(QColor(0x15, 0x1a, 0x22), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(10, 2, 44, 60), 7, 7);
    p.setPen(QPen(QColor(0x10, 0x14, 0x1a), 1));
    p.setBrush(QColor(0xd8, 0xe6, 0xc8));
    p.drawRect(QRectF(15, 8, 34, 36));
    // The drawing on the screen: a curve and a filled shape.
    QPainterPath curve;
    curve.moveTo(18, 38);
    curve.cubicTo(24, 14, 34, 44, 46, 14);
    p.setPen(QPen(QColor(0x1d, 0x3b, 0x7a), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd2, 0x45, 0x3a));
    p.drawEllipse(QRectF(19, 12, 9, 9));
    p.setBrush(QColor(0x9a, 0xa6, 0xb8));
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QRectF(15 + i * 9, 50, 6, 6));
    p.restore();
}

}  // namespace

QImage TreeIconImage(int index)
{
    QImage img = Transparent(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    switch (index) {
    case kIconDrawings:
        DrawDrawingsIcon(p);
        break;
    case kIconLibrary:
        DrawLibraryIcon(p);
        break;
    case kIconFonts:
        p.setRenderHint(QPainter::Antialiasing, false);
        DrawFontIcon(p);
        break;
    default:
        DrawFolderIcon(p);
        break;
    }
    return img;
}

QIcon TreeIcon(int index)
{
    return QIcon(QPixmap::fromImage(TreeIconImage(index)));
}

QImage UnreadableRecordImage()
{
    QImage img = Transparent(32, 32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    // A page with a folded corner, crossed out.
    QPainterPath page;
    page.moveTo(6.5, 2.5);
    page.lineTo(20.5, 2.5);
    page.lineTo(26.5, 8.5);
    page.lineTo(26.5, 29.5);
    page.lineTo(6.5, 29.5);
    page.closeSubpath();
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
    p.setBrush(QColor(0xf2, 0xf2, 0xf2));
    p.drawPath(page);
    p.setBrush(QColor(0xd0, 0xd0, 0xd0));
    QPainterPath fold;
    fold.moveTo(20.5, 2.5);
    fold.lineTo(20.5, 8.5);
    fold.lineTo(26.5, 8.5);
    fold.closeSubpath();
    p.drawPath(fold);
    p.setPen(QPen(QColor(0xc6, 0x28, 0x28), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 13), QPointF(22, 24));
    p.drawLine(QPointF(22, 13), QPointF(11, 24));
    return img;
}

QImage AboutPicture()
{
    QImage img(350, 293, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    QLinearGradient sky(0, 0, 0, 293);
    sky.setColorAt(0, QColor(0x1b, 0x36, 0x5d));
    sky.setColorAt(1, QColor(0x0b, 0x17, 0x2a));
    p.fillRect(img.rect(), sky);

    // Sweeping curves, as a vector drawing would have them.
    const QColor strokes[3] = {QColor(0x3f, 0x8e, 0xd8, 150), QColor(0x6a, 0xc8, 0x9b, 130),
                               QColor(0xf0, 0xa0, 0x4b, 120)};
    for (int i = 0; i < 3; ++i) {
        QPainterPath c;
        c.moveTo(-10, 210 + i * 14);
        c.cubicTo(90, 120 + i * 25, 200, 300 - i * 20, 360, 170 + i * 18);
        p.setPen(QPen(strokes[i], 3.0 - i * 0.6));
        p.setBrush(Qt::NoBrush);
        p.drawPath(c);
    }
    QRadialGradient glow(QPointF(268, 92), 70);
    glow.setColorAt(0, QColor(0xff, 0xff, 0xff, 60));
    glow.setColorAt(1, QColor(0xff, 0xff, 0xff, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(268, 92), 70, 70);
    DrawDevice(p, QRectF(222, 40, 96, 96));

    // A stylus across the device.
    p.save();
    p.translate(300, 150);
    p.rotate(-38);
    p.setPen(QPen(QColor(0x0a, 0x0e, 0x14), 1));
    p.setBrush(QColor(0xc9, 0xd1, 0xdc));
    p.drawRoundedRect(QRectF(0, -3, 70, 6), 3, 3);
    p.setBrush(QColor(0x6b, 0x75, 0x84));
    QPainterPath tip;
    tip.moveTo(0, -3);
    tip.lineTo(-10, 0);
    tip.lineTo(0, 3);
    tip.closeSubpath();
    p.drawPath(tip);
    p.restore();

    QFont title = p.font();
    title.setPixelSize(30);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0xf4, 0xf7, 0xfb));
    p.drawText(QRect(22, 36, 200, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quarnel"));
    p.drawText(QRect(22, 72, 200, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Plotwick"));
    QFont small = p.font();
    small.setPixelSize(12);
    small.setBold(false);
    p.setFont(small);
    p.setPen(QColor(0xb8, 0xc8, 0xdc));
    p.drawText(QRect(24, 118, 200, 48), Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("Drawings from your handheld, on the desktop"));
    return img;
}

QImage ApplicationIconImage(int size)
{
    QImage img = Transparent(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    DrawDevice(p, QRectF(0, 0, size, size));
    return img;
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(ApplicationIconImage(size)));
    return icon;
}

}  // namespace plotwick::app
