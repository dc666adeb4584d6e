// BMP files of 24-bit bitmaps: a BITMAPFILEHEADER (14 bytes) and a BITMAPINFOHEADER (40 bytes),
// then the pixels uncompressed, three bytes each (blue, green, red), rows from the bottom up,
// each row padded with zero bytes to a multiple of four. No colour table; the resolution
// fields are 0 ("not stated"), so readers apply their own default.
#pragma once

#include "platform/codec/Bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plotwick::gdi {

// The complete file. Throws std::runtime_error for a bitmap without pixels ("Cannot save an
// empty bitmap (W x H)") and for one whose file would exceed the format's 4 GB limit.
std::vector<std::uint8_t> EncodeBmp(const Bitmap24& bitmap);

// Encodes and writes the file completely or not at all (a temporary file renamed over the
// target). Throws std::runtime_error as EncodeBmp and files::WriteFileAtomically do.
void SaveBmp(const Bitmap24& bitmap, const std::string& path);

}  // namespace plotwick::gdi
