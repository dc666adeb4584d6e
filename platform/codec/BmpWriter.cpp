#include "platform/codec/BmpWriter.h"

#include "platform/files/Files.h"

#include <cstring>
#include <stdexcept>

namespace plotwick::gdi {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

void Put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp(const Bitmap24& bitmap)
{
    const std::int32_t width = bitmap.Width(), height = bitmap.Height();
    if (width <= 0 || height <= 0)
        throw std::runtime_error("Cannot save an empty bitmap (" + std::to_string(width) + " x " +
                                 std::to_string(height) + ")");
    const std::uint64_t rowSize = (static_cast<std::uint64_t>(width) * 3 + 3) & ~std::uint64_t{3};
    const std::uint64_t imageSize = rowSize * static_cast<std::uint64_t>(height);
    const std::uint64_t offset = kFileHeaderSize + kInfoHeaderSize;
    if (imageSize + offset > 0xFFFFFFFFu)
        throw std::runtime_error("The bitmap is too large for a BMP file (" + std::to_string(width) + " x " +
                                 std::to_string(height) + ")");

    std::vector<std::uint8_t> out(static_cast<std::size_t>(offset + imageSize), 0);
    std::uint8_t* h = out.data();
    // BITMAPFILEHEADER
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, static_cast<std::uint32_t>(offset + imageSize));  // bfSize
    Put16(h + 6, 0);                                                // bfReserved1
    Put16(h + 8, 0);                                                // bfReserved2
    Put32(h + 10, static_cast<std::uint32_t>(offset));              // bfOffBits
    // BITMAPINFOHEADER
    std::uint8_t* i = h + kFileHeaderSize;
    Put32(i + 0, kInfoHeaderSize);                          // biSize
    Put32(i + 4, static_cast<std::uint32_t>(width));        // biWidth
    Put32(i + 8, static_cast<std::uint32_t>(height));       // biHeight: positive, bottom-up
    Put16(i + 12, 1);                                       // biPlanes
    Put16(i + 14, 24);                                      // biBitCount
    Put32(i + 16, 0);                                       // biCompression: BI_RGB
    Put32(i + 20, static_cast<std::uint32_t>(imageSize));   // biSizeImage
    Put32(i + 24, 0);                                       // biXPelsPerMeter
    Put32(i + 28, 0);                                       // biYPelsPerMeter
    Put32(i + 32, 0);                                       // biClrUsed
    Put32(i + 36, 0);                                       // biClrImportant

    std::uint8_t* pixels = h + offset;
    for (std::int32_t y = 0; y < height; ++y) {
        // The last row of the bitmap is the first row of the file; padding stays zero.
        std::memcpy(pixels + static_cast<std::size_t>(height - 1 - y) * rowSize, bitmap.Row(y), bitmap.Stride());
    }
    return out;
}

void SaveBmp(const Bitmap24& bitmap, const std::string& path)
{
    const std::vector<std::uint8_t> bytes = EncodeBmp(bitmap);
    files::WriteFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace plotwick::gdi
