#include "platform/device/RasterDevice.h"

#include <cairo.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>

namespace plotwick::gdi {

namespace {

std::string SizeText(std::int32_t width, std::int32_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

// Memory the system can still give without swapping, in bytes, within the limit of the
// process's control group when it has one; 0 when unknown.
std::uint64_t AvailableMemory()
{
    std::uint64_t available = 0;
    {
        std::ifstream in("/proc/meminfo");
        std::string key, unit;
        std::uint64_t value = 0;
        while (in >> key >> value) {
            std::getline(in, unit);
            if (key == "MemAvailable:") {
                available = value * 1024;
                break;
            }
        }
    }
    std::ifstream maxFile("/sys/fs/cgroup/memory.max"), currentFile("/sys/fs/cgroup/memory.current");
    std::uint64_t limit = 0, current = 0;
    if (maxFile >> limit && currentFile >> current) {  // "max" (no limit) fails to parse
        const std::uint64_t left = limit > current ? limit - current : 1;
        if (available == 0 || left < available)
            available = left;
    }
    return available;
}

// Below this size the memory check is not worth reading the system's files for.
constexpr std::uint64_t kCheckMemoryAbove = 64u << 20;
// From this size on the pixels are mapped by the surface itself.
constexpr std::uint64_t kMapAbove = pixel_memory::kOwnPagesFrom;
// From this size on a surface is cleared on two processors.
constexpr std::size_t kClearInTwoFrom = std::size_t{4} << 20;

// The pixels of the last two mapped surfaces released, up to kCheckMemoryAbove bytes each, kept
// for the next surfaces of the same size: a preview drawn again, or the next drawing of an
// export, writes its pixels without faulting in and clearing every page once more.
class SpareMappings {
public:
    // Pixels of exactly `bytes` bytes kept from an earlier surface, or nullptr.
    void* Take(std::size_t bytes)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Mapping& m : spare_) {
            if (m.pixels && m.bytes == bytes) {
                void* pixels = m.pixels;
                m = {};
                return pixels;
            }
        }
        return nullptr;
    }

    // Keeps the pixels or unmaps them.
    void Give(void* pixels, std::size_t bytes)
    {
        if (bytes <= kCheckMemoryAbove) {
            std::lock_guard<std::mutex> lock(mutex_);
            for (Mapping& m : spare_) {
                if (!m.pixels) {
                    m = {pixels, bytes};
                    return;
                }
            }
        }
        pixel_memory::Release(pixels, bytes);
    }

private:
    struct Mapping {
        void* pixels = nullptr;
        std::size_t bytes = 0;
    };
    std::mutex mutex_;
    Mapping spare_[2];
};

SpareMappings& Spares()
{
    static SpareMappings* spares = new SpareMappings;  // never destroyed: surfaces may outlive statics
    return *spares;
}

}  // namespace

namespace detail {

RasterSurface::RasterSurface(std::int32_t width, std::int32_t height, bool transparent)
    : width_(width), height_(height)
{
    const cairo_format_t format = transparent ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24;
    if (width <= 0 || height <= 0)
        throw std::runtime_error("Invalid bitmap size " + SizeText(width, height));
    if (width > RasterDevice::kMaxSide || height > RasterDevice::kMaxSide)
        throw std::runtime_error("A " + SizeText(width, height) + " bitmap is too large (at most " +
                                 std::to_string(RasterDevice::kMaxSide) + " pixels a side)");
    const int stride = cairo_format_stride_for_width(format, width);
    const std::uint64_t bytes = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
    // The pixels are all written at once below; asking for more than the system has would
    // succeed on paper and then bring the machine down.
    const std::uint64_t available = bytes > kCheckMemoryAbove ? AvailableMemory() : 0;
    if (stride <= 0 || (available != 0 && bytes > available))
        throw std::runtime_error("Not enough memory for a " + SizeText(width, height) + " bitmap");

    bool reused = false;  // pixels of an earlier surface, holding what was drawn there
    if (bytes >= kMapAbove) {
        // Pixels of their own, in huge pages where the system gives them (see pixel_memory).
        void* pixels = Spares().Take(static_cast<std::size_t>(bytes));
        if (pixels) {
            reused = true;
        } else {
            pixels = pixel_memory::Allocate(static_cast<std::size_t>(bytes));
            if (!pixels)
                throw std::runtime_error("Not enough memory for a " + SizeText(width, height) + " bitmap");
        }
        pixels_ = pixels;
        mappedBytes_ = static_cast<std::size_t>(bytes);
        surface_ = cairo_image_surface_create_for_data(static_cast<unsigned char*>(pixels), format, width, height,
                                                       stride);
    } else {
        surface_ = cairo_image_surface_create(format, width, height);
    }
    const cairo_status_t status = cairo_surface_status(surface_);
    if (status != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface_);
        ReleasePixels();
        if (status == CAIRO_STATUS_NO_MEMORY)
            throw std::runtime_error("Not enough memory for a " + SizeText(width, height) + " bitmap");
        throw std::runtime_error("Cannot create a " + SizeText(width, height) + " bitmap: " +
                                 cairo_status_to_string(status));
    }
    context_ = cairo_create(surface_);
    if (cairo_status(context_) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(context_);
        cairo_surface_destroy(surface_);
        ReleasePixels();
        throw std::runtime_error("Not enough memory for a " + SizeText(width, height) + " bitmap");
    }
    // A new layer is already transparent: fresh mapped pages and Cairo's own pixels start as
    // zeros, and pages never written are never faulted in.
    if (!transparent || reused) {
        cairo_surface_flush(surface_);
        // A large surface is cleared on two processors: most of the time goes to the pages'
        // first faults, which the system serves side by side.
        unsigned char* data = cairo_image_surface_get_data(surface_);
        const auto rowBytes = static_cast<std::size_t>(stride);
        InTwoHalves(static_cast<std::size_t>(height), kClearInTwoFrom / rowBytes, [&](std::size_t from, std::size_t to) {
            std::memset(data + from * rowBytes, transparent ? 0 : 0xFF, (to - from) * rowBytes);
        });
        cairo_surface_mark_dirty(surface_);
    }
}

RasterSurface::~RasterSurface()
{
    cairo_destroy(context_);
    cairo_surface_destroy(surface_);
    ReleasePixels();
}

void RasterSurface::ReleasePixels()
{
    if (pixels_)
        Spares().Give(pixels_, mappedBytes_);
    pixels_ = nullptr;
}

}  // namespace detail

RasterDevice::RasterDevice(std::int32_t width, std::int32_t height, double logicalPerDevice)
    : RasterDevice(width, height, logicalPerDevice, false)
{
}

RasterDevice::RasterDevice(std::int32_t width, std::int32_t height, double logicalPerDevice, bool transparent)
    : RasterSurface(width, height, transparent), CairoDevice(context_, logicalPerDevice, Target::Raster)
{
    OwnContext();
}

std::unique_ptr<RasterDevice> RasterDevice::Layer(std::int32_t width, std::int32_t height, double logicalPerDevice)
{
    return std::unique_ptr<RasterDevice>(new RasterDevice(width, height, logicalPerDevice, true));
}

void RasterDevice::DrawOver(const RasterDevice& layer)
{
    if (layer.width_ != width_ || layer.height_ != height_)
        throw std::invalid_argument("DrawOver: the layer (" + SizeText(layer.width_, layer.height_) +
                                    ") must have the size of the device (" + SizeText(width_, height_) + ")");
    cairo_surface_flush(surface_);
    cairo_surface_flush(layer.surface_);
    unsigned char* data = cairo_image_surface_get_data(surface_);
    const unsigned char* over = cairo_image_surface_get_data(layer.surface_);
    const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface_));
    const std::size_t overStride = static_cast<std::size_t>(cairo_image_surface_get_stride(layer.surface_));
    // A large surface on two processors, as it is cleared.
    InTwoHalves(static_cast<std::size_t>(height_), kClearInTwoFrom / stride, [&](std::size_t from, std::size_t to) {
        for (std::size_t y = from; y < to; ++y) {
            auto* out = reinterpret_cast<std::uint32_t*>(data + y * stride);
            const auto* in = reinterpret_cast<const std::uint32_t*>(over + y * overStride);
            for (std::int32_t x = 0; x < width_; ++x) {
                // Alpha is 0 where nothing was drawn and 255 wherever something was.
                const std::uint32_t p = in[x];
                out[x] = (p >> 24) != 0 ? p : out[x];
            }
        }
    });
    cairo_surface_mark_dirty(surface_);
}

RasterDevice::~RasterDevice() = default;

ColorRef RasterDevice::PixelAt(std::int32_t x, std::int32_t y)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        throw std::out_of_range("RasterDevice::PixelAt: outside the bitmap");
    cairo_surface_flush(surface_);
    const unsigned char* row = cairo_image_surface_get_data(surface_) +
                               static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(surface_);
    std::uint32_t p;
    std::memcpy(&p, row + static_cast<std::size_t>(x) * 4, 4);
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

void RasterDevice::ReduceHalfTo(Bitmap24& target)
{
    CheckHalfSize(target);
    cairo_surface_flush(surface_);
    // The rows of a large target are reduced on two processors.
    InTwoHalves(static_cast<std::size_t>(target.Height()), 256, [&](std::size_t from, std::size_t to) {
        ReduceRows(target, static_cast<std::int32_t>(from), static_cast<std::int32_t>(to));
    });
}

void RasterDevice::ReduceRowsTo(Bitmap24& target, std::int32_t from, std::int32_t to)
{
    CheckHalfSize(target);
    cairo_surface_flush(surface_);
    ReduceRows(target, std::max(from, 0), std::min(to, target.Height()));
}

void RasterDevice::CheckHalfSize(const Bitmap24& target) const
{
    if (static_cast<std::int64_t>(target.Width()) * 2 != width_ ||
        static_cast<std::int64_t>(target.Height()) * 2 != height_)
        throw std::invalid_argument("ReduceHalfTo: the work bitmap (" + SizeText(width_, height_) +
                                    ") must be twice the size of the target (" +
                                    SizeText(target.Width(), target.Height()) + ")");
}

void RasterDevice::ReduceRows(Bitmap24& target, std::int32_t from, std::int32_t to) const
{
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface_));
    const std::int32_t tw = target.Width();
    for (std::int32_t y = from; y < to; ++y) {
        const auto* a = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(2 * y) * stride);
        const auto* b = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(2 * y + 1) * stride);
        std::uint8_t* out = target.Row(y);
        std::int32_t x = 0;
#ifdef __SSE2__
        // Two target pixels at a time, each channel summed in a 16-bit lane. Every store writes
        // four bytes of which the fourth is overwritten by the next pixel, so the last pixel of
        // a row is left to the loop below.
        for (; x + 2 < tw; x += 2) {
            const __m128i zero = _mm_setzero_si128();
            const __m128i top = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 2 * x));
            const __m128i bottom = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 2 * x));
            // Lanes: pixels 2x and 2x+1 in the low half, 2x+2 and 2x+3 in the high half.
            const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(top, zero), _mm_unpacklo_epi8(bottom, zero));
            const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(top, zero), _mm_unpackhi_epi8(bottom, zero));
            // Each pair of neighbouring pixels added: target pixel x in lanes 0-3, x+1 in 4-7.
            const __m128i sums = _mm_add_epi16(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi));
            const __m128i rounded = _mm_srli_epi16(_mm_add_epi16(sums, _mm_set1_epi16(2)), 2);
            const __m128i bytes = _mm_packus_epi16(rounded, zero);
            const std::uint32_t p0 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
            const std::uint32_t p1 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 4)));
            std::memcpy(out, &p0, 4);
            std::memcpy(out + 3, &p1, 4);
            out += 6;
        }
#endif
        for (; x < tw; ++x) {
            const std::uint32_t p0 = a[2 * x], p1 = a[2 * x + 1], p2 = b[2 * x], p3 = b[2 * x + 1];
            // Red and blue side by side in 16-bit lanes, green alone: four 8-bit values sum to
            // at most 1020, which fits a lane.
            const std::uint32_t rb = (p0 & 0x00FF00FFu) + (p1 & 0x00FF00FFu) + (p2 & 0x00FF00FFu) +
                                     (p3 & 0x00FF00FFu) + 0x00020002u;
            const std::uint32_t g = (p0 & 0x0000FF00u) + (p1 & 0x0000FF00u) + (p2 & 0x0000FF00u) +
                                    (p3 & 0x0000FF00u) + 0x00000200u;
            out[0] = static_cast<std::uint8_t>((rb >> 2) & 0xFF);
            out[1] = static_cast<std::uint8_t>((g >> 10) & 0xFF);
            out[2] = static_cast<std::uint8_t>((rb >> 18) & 0xFF);
            out += 3;
        }
    }
}

Bitmap24 RasterDevice::ToBitmap()
{
    Bitmap24 result(width_, height_);
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const std::size_t stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface_));
    for (std::int32_t y = 0; y < height_; ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        std::uint8_t* out = result.Row(y);
        for (std::int32_t x = 0; x < width_; ++x) {
            const std::uint32_t p = in[x];
            out[0] = static_cast<std::uint8_t>(p);
            out[1] = static_cast<std::uint8_t>(p >> 8);
            out[2] = static_cast<std::uint8_t>(p >> 16);
            out += 3;
        }
    }
    return result;
}

}  // namespace plotwick::gdi
