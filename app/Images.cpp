#include "app/Images.h"

#include "platform/codec/Bitmap.h"

namespace plotwick::app {

namespace {

QImage Convert(const gdi::Bitmap24& bitmap, bool whiteTransparent)
{
    if (bitmap.Empty())
        return {};
    // Premultiplied, the format the window paints without converting it.
    QImage img(bitmap.Width(), bitmap.Height(),
               whiteTransparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* src = bitmap.Row(y);
        auto* dst = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (std::int32_t x = 0; x < bitmap.Width(); ++x, src += 3) {
            const std::uint8_t b = src[0], g = src[1], r = src[2];
            if (whiteTransparent && r == 0xFF && g == 0xFF && b == 0xFF)
                dst[x] = 0;
            else
                dst[x] = qRgb(r, g, b);
        }
    }
    return img;
}

}  // namespace

QImage BitmapToImage(const gdi::Bitmap24& bitmap) { return Convert(bitmap, false); }

QImage ThumbnailToImage(const gdi::Bitmap24& bitmap) { return Convert(bitmap, true); }

}  // namespace plotwick::app
