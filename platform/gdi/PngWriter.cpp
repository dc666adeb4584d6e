#include "platform/gdi/PngWriter.h"

#include "platform/files/Files.h"

#include <cairo.h>

#include <cstring>
#include <memory>
#include <stdexcept>

namespace plotwick::gdi {

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    try {
        out->insert(out->end(), data, data + length);
    } catch (...) {
        return CAIRO_STATUS_NO_MEMORY;
    }
    return CAIRO_STATUS_SUCCESS;
}

std::string SizeText(const Bitmap24& bitmap)
{
    return std::to_string(bitmap.Width()) + " x " + std::to_string(bitmap.Height());
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const Bitmap24& bitmap)
{
    if (bitmap.Empty())
        throw std::runtime_error("Cannot save an empty bitmap (" + SizeText(bitmap) + ")");
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, bitmap.Width(), bitmap.Height()));
    const cairo_status_t status = cairo_surface_status(surface.get());
    if (status == CAIRO_STATUS_NO_MEMORY)
        throw std::runtime_error("Not enough memory for a " + SizeText(bitmap) + " bitmap");
    if (status != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("Cannot encode a " + SizeText(bitmap) + " bitmap as PNG: " +
                                 cairo_status_to_string(status));

    cairo_surface_flush(surface.get());
    unsigned char* data = cairo_image_surface_get_data(surface.get());
    const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* in = bitmap.Row(y);
        auto* out = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        for (std::int32_t x = 0; x < bitmap.Width(); ++x, in += 3)
            out[x] = 0xFF000000u | (static_cast<std::uint32_t>(in[2]) << 16) |
                     (static_cast<std::uint32_t>(in[1]) << 8) | in[0];
    }
    cairo_surface_mark_dirty(surface.get());

    std::vector<std::uint8_t> bytes;
    const cairo_status_t written = cairo_surface_write_to_png_stream(surface.get(), AppendBytes, &bytes);
    if (written != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(std::string("Cannot encode the bitmap as PNG: ") + cairo_status_to_string(written));
    return bytes;
}

void SavePng(const Bitmap24& bitmap, const std::string& path)
{
    const std::vector<std::uint8_t> bytes = EncodePng(bitmap);
    files::WriteFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace plotwick::gdi
