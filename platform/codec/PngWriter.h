// PNG files of 24-bit bitmaps, byte for byte as Cairo writes an RGB24 image surface: 8 bits per
// channel, RGB without alpha.
#pragma once

#include "platform/codec/Bitmap.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plotwick::gdi {

// The complete file. Throws std::runtime_error for a bitmap without pixels, for one larger
// than an image surface may be (32767 pixels a side), and when the encoder fails.
std::vector<std::uint8_t> EncodePng(const Bitmap24& bitmap);

// Called with rows [from, to) of the bitmap before any of them is read, in order from the top,
// on the thread that reads them; it must not throw.
using RowsNeeded = std::function<void(std::int32_t from, std::int32_t to)>;
// The same file, of a bitmap whose rows are filled as they are needed: a renderer reduces its
// work surface row by row alongside the compression.
std::vector<std::uint8_t> EncodePng(const Bitmap24& bitmap, const RowsNeeded& rowsNeeded);

// Encodes and writes the file completely or not at all (a temporary file renamed over the
// target). Throws std::runtime_error as EncodePng and files::WriteFileAtomically do.
void SavePng(const Bitmap24& bitmap, const std::string& path);

}  // namespace plotwick::gdi
