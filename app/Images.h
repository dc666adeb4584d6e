// Our 24-bit bitmaps (blue, green, red rows) as Qt images.
#pragma once

#include <QImage>

namespace plotwick::gdi {
class Bitmap24;
}

namespace plotwick::app {

// The bitmap as an opaque RGB image of the same size.
QImage BitmapToImage(const gdi::Bitmap24& bitmap);

// A list thumbnail: pure white (FF FF FF) pixels become transparent.
QImage ThumbnailToImage(const gdi::Bitmap24& bitmap);

}  // namespace plotwick::app
