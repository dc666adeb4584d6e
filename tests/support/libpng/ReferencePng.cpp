#include "tests/support/libpng/ReferencePng.h"

#include <csetjmp>

#include <png.h>

namespace plotwick::testing {

namespace {

void Append(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

}  // namespace

std::vector<std::uint8_t> LibpngChoosingFilters(const gdi::Bitmap24& bitmap)
{
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> row(bitmap.Stride());
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &bytes, Append, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()), static_cast<png_uint_32>(bitmap.Height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color_16 white{};
    white.red = white.green = white.blue = white.gray = 255;
    png_set_bKGD(png, info, &white);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_write_info(png, info);
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* in = bitmap.Row(y);
        for (std::size_t i = 0; i < row.size(); i += 3) {
            row[i] = in[i + 2];
            row[i + 1] = in[i + 1];
            row[i + 2] = in[i];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

}  // namespace plotwick::testing
