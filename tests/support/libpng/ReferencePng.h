// The reference for the PNG writer: the same bitmap written by libpng itself, 8-bit RGB with a
// white bKGD, libpng choosing among all five filters on every row.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/codec/Bitmap.h"

namespace plotwick::testing {

// The file's bytes; empty when libpng fails.
std::vector<std::uint8_t> LibpngChoosingFilters(const gdi::Bitmap24& bitmap);

}  // namespace plotwick::testing
