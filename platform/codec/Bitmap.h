// A 24-bit bitmap of our own: rows top-down, three bytes a pixel in the order blue, green,
// red, rows packed without padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plotwick::gdi {

class Bitmap24 {
public:
    // The longest side: that of the largest surface the raster device draws on.
    static constexpr std::int32_t kMaxSide = 32767;

    Bitmap24() = default;
    // Throws std::bad_alloc (or std::length_error) when the size cannot be held; a side longer
    // than kMaxSide is refused before any memory is asked for.
    Bitmap24(std::int32_t width, std::int32_t height, std::uint32_t fill = 0x00FFFFFF);

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
    const std::vector<std::uint8_t>& Data() const { return data_; }

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<std::uint8_t> data_;
};

}  // namespace plotwick::gdi
