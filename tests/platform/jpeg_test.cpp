// JPEG files: frame type, components, and the options that must not change the file.
#include <gtest/gtest.h>

#include <cstdio>

#include <jpeglib.h>

#include "platform/codec/JpegWriter.h"

using namespace plotwick;

namespace {

gdi::Bitmap24 Picture()
{
    gdi::Bitmap24 b(64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            b.SetPixel(x, y, (x < 32 ? 0x000000FFu : 0x00FF0000u) | static_cast<std::uint32_t>(y * 4) << 8);
    return b;
}

struct Decoded {
    int components = 0;
    bool progressive = false;
    int width = 0, height = 0;
    std::uint32_t firstPixel = 0;  // 0x00BBGGRR (grey repeated)
};

Decoded Decode(const std::vector<std::uint8_t>& bytes)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    Decoded d;
    d.components = cinfo.num_components;
    d.progressive = jpeg_has_multiple_scans(&cinfo);
    jpeg_start_decompress(&cinfo);
    d.width = static_cast<int>(cinfo.output_width);
    d.height = static_cast<int>(cinfo.output_height);
    std::vector<std::uint8_t> row(cinfo.output_width * static_cast<unsigned>(cinfo.output_components));
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
    d.firstPixel = cinfo.output_components == 3 ? (row[0] | row[1] << 8 | row[2] << 16) : (row[0] * 0x010101u);
    jpeg_abort_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return d;
}

TEST(Jpeg, BaselineColourByDefault)
{
    const Decoded d = Decode(EncodeJpeg(Picture(), {}));
    EXPECT_EQ(d.components, 3);
    EXPECT_FALSE(d.progressive);
    EXPECT_EQ(d.width, 64);
    EXPECT_EQ(d.height, 48);
    // Red stays red (the bitmap's blue-green-red order is turned into RGB).
    EXPECT_GT(d.firstPixel & 0xFF, 200u);
    EXPECT_LT((d.firstPixel >> 16) & 0xFF, 60u);
}

TEST(Jpeg, GrayscaleAndProgressive)
{
    JpegOptions grey;
    grey.grayscale = true;
    EXPECT_EQ(Decode(EncodeJpeg(Picture(), grey)).components, 1);
    JpegOptions progressive;
    progressive.progressive = true;
    const Decoded p = Decode(EncodeJpeg(Picture(), progressive));
    EXPECT_TRUE(p.progressive);
    EXPECT_EQ(p.components, 3);
    JpegOptions both = grey;
    both.progressive = true;
    const Decoded gp = Decode(EncodeJpeg(Picture(), both));
    EXPECT_TRUE(gp.progressive);
    EXPECT_EQ(gp.components, 1);
}

TEST(Jpeg, SmoothingDoesNotChangeTheFileAndQualityDoes)
{
    JpegOptions smooth;
    smooth.smoothing = true;
    EXPECT_EQ(EncodeJpeg(Picture(), {}), EncodeJpeg(Picture(), smooth));
    JpegOptions low;
    low.quality = 5;
    EXPECT_LT(EncodeJpeg(Picture(), low).size(), EncodeJpeg(Picture(), {}).size());
}

TEST(Jpeg, EmptyBitmapIsAClearError)
{
    EXPECT_THROW(EncodeJpeg(gdi::Bitmap24(0, 5), {}), std::runtime_error);
}

}  // namespace
