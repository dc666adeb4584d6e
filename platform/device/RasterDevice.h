// The rasteriser's work bitmap: a 24-bit Cairo image surface, white when created, with a
// device context drawing on it, and the 2x2 reduction onto the target bitmap; and its layers,
// transparent 32-bit surfaces laid over it.
#pragma once

#include "platform/codec/Bitmap.h"
#include "platform/device/CairoDevice.h"

#include <cstddef>
#include <cstdint>
#include <memory>

typedef struct _cairo_surface cairo_surface_t;

namespace plotwick::gdi {

namespace detail {

// Holds the surface and its context so that they exist before the device that draws on them.
class RasterSurface {
protected:
    // White RGB pixels, or fully transparent ARGB ones for a layer.
    RasterSurface(std::int32_t width, std::int32_t height, bool transparent);
    ~RasterSurface();
    RasterSurface(const RasterSurface&) = delete;
    RasterSurface& operator=(const RasterSurface&) = delete;

    cairo_surface_t* surface_ = nullptr;
    cairo_t* context_ = nullptr;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;

private:
    void ReleasePixels();

    void* pixels_ = nullptr;  // the pixels of a large surface, mapped here
    std::size_t mappedBytes_ = 0;
};

}  // namespace detail

class RasterDevice : private detail::RasterSurface, public CairoDevice {
public:
    // The largest side an image surface may have.
    static constexpr std::int32_t kMaxSide = 32767;

    // Throws std::runtime_error for a size of 0 or less ("Invalid bitmap size W x H"), for a side
    // longer than kMaxSide, and when the memory for the pixels is not available ("Not enough
    // memory for a W x H bitmap").
    RasterDevice(std::int32_t width, std::int32_t height, double logicalPerDevice = 1.0);
    ~RasterDevice() override;

    // A layer: the same, but its pixels start fully transparent instead of white, so that what
    // is drawn on it can be laid over another device (DrawOver).
    static std::unique_ptr<RasterDevice> Layer(std::int32_t width, std::int32_t height,
                                               double logicalPerDevice = 1.0);

    // Copies every pixel the layer has drawn onto this device. Everything drawn on a raster
    // device is opaque and without antialiasing, so that drawing shapes on a layer and laying it
    // over the device gives the pixels of drawing them on the device itself. The layer must
    // have this device's size; otherwise std::invalid_argument.
    void DrawOver(const RasterDevice& layer);

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    cairo_surface_t* Surface() const { return surface_; }

    // One pixel as 0x00BBGGRR (for inspection; not meant for loops over the whole surface).
    ColorRef PixelAt(std::int32_t x, std::int32_t y);

    // Averages each 2x2 block of the work surface into one target pixel, channel by channel,
    // rounded to the nearest value ((a + b + c + d + 2) / 4). The target must already have
    // exactly half the work surface's width and height; otherwise std::invalid_argument.
    void ReduceHalfTo(Bitmap24& target);
    // The same for the target's rows [from, to) only, on the calling thread: a writer can
    // reduce rows as it needs them, on its own thread, once nothing more is drawn.
    void ReduceRowsTo(Bitmap24& target, std::int32_t from, std::int32_t to);

    // The work surface as a bitmap of the same size.
    Bitmap24 ToBitmap();

private:
    RasterDevice(std::int32_t width, std::int32_t height, double logicalPerDevice, bool transparent);
    void CheckHalfSize(const Bitmap24& target) const;
    void ReduceRows(Bitmap24& target, std::int32_t from, std::int32_t to) const;
};

}  // namespace plotwick::gdi
