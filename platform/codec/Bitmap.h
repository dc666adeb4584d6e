// A 24-bit bitmap of our own: rows top-down, three bytes a pixel in the order blue, green,
// red, rows packed without padding.
#pragma once

#include "platform/threads/InTwoHalves.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace plotwick::gdi {

// Memory for large pixel buffers. From kOwnPagesFrom bytes on a buffer is a mapping of its own,
// aligned to 2 MiB and rounded up to whole 2 MiB, in huge pages where the system gives them: a
// first touch of a 4 KiB page can cost 10 us on a virtual machine, so that clearing a
// 1600 x 1600 work surface in small pages took 26 ms against 0.8 ms in huge ones.
namespace pixel_memory {
constexpr std::size_t kOwnPagesFrom = std::size_t{256} << 10;
// Memory of at least `bytes` bytes (a mapping of its own from kOwnPagesFrom on); nullptr
// when the system refuses it.
void* Allocate(std::size_t bytes) noexcept;
// Gives back what Allocate returned for the same `bytes`.
void Release(void* pixels, std::size_t bytes) noexcept;
}  // namespace pixel_memory

template <typename T>
struct PixelAllocator {
    using value_type = T;
    PixelAllocator() = default;
    template <typename U>
    PixelAllocator(const PixelAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        void* p = pixel_memory::Allocate(n * sizeof(T));
        if (!p)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept { pixel_memory::Release(p, n * sizeof(T)); }
    // A resize leaves the new bytes unwritten: every pixel is written once, by its first fill.
    template <typename U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const PixelAllocator<U>&) const noexcept
    {
        return true;
    }
};


class Bitmap24 {
public:
    // The longest side: that of the largest surface the raster device draws on.
    static constexpr std::int32_t kMaxSide = 32767;

    Bitmap24() = default;
    // Throws std::bad_alloc (or std::length_error) when the size cannot be held; a side longer
    // than kMaxSide is refused before any memory is asked for.
    Bitmap24(std::int32_t width, std::int32_t height, std::uint32_t fill = 0x00FFFFFF);
    // A bitmap whose pixels the caller writes, every one of them, before reading any.
    struct Unfilled {};
    Bitmap24(std::int32_t width, std::int32_t height, Unfilled);

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }

    // Colours as 0x00BBGGRR.
    std::uint32_t GetPixel(std::int32_t x, std::int32_t y) const;
    void SetPixel(std::int32_t x, std::int32_t y, std::uint32_t color);
    void Fill(std::uint32_t color);

    std::uint8_t* Row(std::int32_t y) { return data_.data() + static_cast<std::size_t>(y) * Stride(); }
    const std::uint8_t* Row(std::int32_t y) const { return data_.data() + static_cast<std::size_t>(y) * Stride(); }
    std::size_t Stride() const { return static_cast<std::size_t>(width_) * 3; }
    using Pixels = std::vector<std::uint8_t, PixelAllocator<std::uint8_t>>;
    const Pixels& Data() const { return data_; }

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    Pixels data_;
};

}  // namespace plotwick::gdi
