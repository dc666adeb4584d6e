// PNG files of 24-bit bitmaps, byte for byte as Cairo writes an RGB24 image surface: 8 bits per
// channel, RGB without alpha.
#pragma once

#include "platform/codec/Bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plotwick::gdi {

// The complete file. Throws std::runtime_error for a bitmap without pixels, for one larger
// than an image surface may be (32767 pixels a side), and when the encoder fails.
std::vector<std::uint8_t> EncodePng(const Bitmap24& bitmap);

// Encodes and writes the file completely or not at all (a temporary file renamed over the
// target). Throws std::runtime_error as EncodePng and files::WriteFileAtomically do.
void SavePng(const Bitmap24& bitmap, const std::string& path);

}  // namespace plotwick::gdi
