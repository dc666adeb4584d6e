#include "platform/codec/Bitmap.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace plotwick::gdi {

namespace pixel_memory {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t Mapped(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* Allocate(std::size_t bytes) noexcept
{
    if (bytes < kOwnPagesFrom)
        return std::malloc(bytes == 0 ? 1 : bytes);
    const std::size_t mapped = Mapped(bytes);
    if (mapped < bytes || mapped + kHugePage < mapped)
        return nullptr;
    // Mapped a huge page larger, then trimmed to the aligned part.
    void* raw = ::mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    if (const std::size_t tail = start + kHugePage - aligned; tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + mapped), tail);
    void* pixels = reinterpret_cast<void*>(aligned);
    ::madvise(pixels, mapped, MADV_HUGEPAGE);
    return pixels;
}

void Release(void* pixels, std::size_t bytes) noexcept
{
    if (!pixels)
        return;
    if (bytes < kOwnPagesFrom)
        std::free(pixels);
    else
        ::munmap(pixels, Mapped(bytes));
}

}  // namespace pixel_memory

Bitmap24::Bitmap24(std::int32_t width, std::int32_t height, Unfilled)
{
    if (width < 0 || height < 0)
        throw std::length_error("Bitmap size is negative");
    if (width > kMaxSide || height > kMaxSide)
        throw std::length_error("Bitmap size is too large");
    width_ = width;
    height_ = height;
    data_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
}

Bitmap24::Bitmap24(std::int32_t width, std::int32_t height, std::uint32_t fill) : Bitmap24(width, height, Unfilled{})
{
    Fill(fill);
}

std::uint32_t Bitmap24::GetPixel(std::int32_t x, std::int32_t y) const
{
    const std::uint8_t* p = Row(y) + static_cast<std::size_t>(x) * 3;
    return static_cast<std::uint32_t>(p[2]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[0]) << 16);
}

void Bitmap24::SetPixel(std::int32_t x, std::int32_t y, std::uint32_t color)
{
    std::uint8_t* p = Row(y) + static_cast<std::size_t>(x) * 3;
    p[0] = static_cast<std::uint8_t>(color >> 16);
    p[1] = static_cast<std::uint8_t>(color >> 8);
    p[2] = static_cast<std::uint8_t>(color);
}

void Bitmap24::Fill(std::uint32_t color)
{
    const std::uint8_t b = static_cast<std::uint8_t>(color >> 16);
    const std::uint8_t g = static_cast<std::uint8_t>(color >> 8);
    const std::uint8_t r = static_cast<std::uint8_t>(color);
    if (data_.empty())
        return;  // an empty vector's data() may be null, which memset may not be given
    if (b == g && g == r) {  // white, black and the greys: one byte value throughout
        std::memset(data_.data(), b, data_.size() - data_.size() % 3);
        return;
    }
    for (std::size_t i = 0; i + 2 < data_.size(); i += 3) {
        data_[i] = b;
        data_[i + 1] = g;
        data_[i + 2] = r;
    }
}

}  // namespace plotwick::gdi
