// JPEG compression of a rendered bitmap through libjpeg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/codec/Bitmap.h"

namespace plotwick {

struct JpegOptions {
    int quality = 75;          // 1 to 100, with baseline-compatible quantisation tables
    bool grayscale = false;    // one component
    bool progressive = false;  // progressive encoding (and progressive display when decoded)
    bool smoothing = false;    // only matters when a JPEG image is decoded; the file is the same
};

// Throws std::runtime_error for an empty bitmap or when libjpeg reports an error.
std::vector<std::uint8_t> EncodeJpeg(const gdi::Bitmap24& bitmap, const JpegOptions& options);
// Writes the file completely or not at all.
void SaveJpegFile(const gdi::Bitmap24& bitmap, const JpegOptions& options, const std::string& path);

}  // namespace plotwick
