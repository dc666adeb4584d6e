// PNG files: EncodePng chooses every row's filter itself; its bytes must be those libpng writes
// when it tries all five filters on every row, with the same settings.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "platform/codec/PngWriter.h"
#include "tests/support/libpng/ReferencePng.h"

using namespace plotwick;

namespace {

using Colour = std::function<std::uint32_t(std::uint32_t x, std::uint32_t y)>;

gdi::Bitmap24 Painted(std::int32_t w, std::int32_t h, const Colour& colour)
{
    gdi::Bitmap24 bitmap(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            bitmap.SetPixel(x, y, colour(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)) & 0x00FFFFFFu);
    return bitmap;
}

std::uint32_t Noise(std::uint32_t x, std::uint32_t y, std::uint32_t levels)
{
    std::uint32_t v = (x * 73856093u) ^ (y * 19349663u);
    v = (v ^ (v >> 13)) * 0x5bd1e995u;
    v ^= v >> 15;
    return (v % levels) * (0x00FFFFFFu / levels);
}

TEST(PngWriter, ChoosesTheFiltersLibpngChooses)
{
    const struct {
        const char* name;
        std::int32_t w, h;
        Colour colour;
    } cases[] = {
        {"noise", 97, 61, [](std::uint32_t x, std::uint32_t y) { return Noise(x, y, 256); }},
        {"noise of three levels", 128, 128, [](std::uint32_t x, std::uint32_t y) { return Noise(x, y, 3); }},
        {"flat colour", 64, 40, [](std::uint32_t, std::uint32_t) { return 0x00336699u; }},
        {"gradient across", 300, 50, [](std::uint32_t x, std::uint32_t) { return (x & 0xFF) * 0x010101u; }},
        {"gradient down", 50, 300, [](std::uint32_t, std::uint32_t y) { return (y & 0xFF) << 8; }},
        {"diagonal gradients", 300, 200,
         [](std::uint32_t x, std::uint32_t y) { return (x & 0xFF) | (y & 0xFF) << 8 | ((x + y) & 0xFF) << 16; }},
        {"1 x 1", 1, 1, [](std::uint32_t, std::uint32_t) { return 0x00123456u; }},
        {"one pixel wide", 1, 200, [](std::uint32_t x, std::uint32_t y) { return Noise(x, y, 7) ^ y; }},
        {"one row", 200, 1, [](std::uint32_t x, std::uint32_t y) { return Noise(x, y, 256); }},
        {"wide", 3000, 3, [](std::uint32_t x, std::uint32_t y) { return Noise(x / 5, y, 5) + x * 3; }},
        // The header of image data of 16 KiB or less names the smallest window that holds it:
        // exactly 1 KiB and 16 KiB of data.
        {"1 KiB of image data", 5, 64, [](std::uint32_t x, std::uint32_t y) { return Noise(x, y, 256); }},
        {"16 KiB of image data", 85, 64, [](std::uint32_t x, std::uint32_t y) { return Noise(x, y, 4) + y; }},
        // Large enough for the rows to be made and filtered on a second thread, and taller
        // than the ring they go round: flat bands between the noisy
        // ones give each filter its rows; noise alone gives zlib stored blocks and a file of
        // many IDAT chunks; white gives long matches.
        {"large, bands of noise and flat colour", 400, 700,
         [](std::uint32_t x, std::uint32_t y) { return (y / 50) % 2 ? Noise(x, y, 256) : (y / 100) * 0x203040u; }},
        {"large noise", 300, 300, [](std::uint32_t x, std::uint32_t y) { return Noise(x, y, 256); }},
        {"large white", 800, 600, [](std::uint32_t, std::uint32_t) { return 0x00FFFFFFu; }},
    };
    for (const auto& c : cases) {
        const gdi::Bitmap24 bitmap = Painted(c.w, c.h, c.colour);
        const std::vector<std::uint8_t> reference = plotwick::testing::LibpngChoosingFilters(bitmap);
        ASSERT_FALSE(reference.empty()) << c.name;
        EXPECT_EQ(gdi::EncodePng(bitmap), reference) << c.name;
    }
}

// A bitmap whose rows are filled only when the encoder says it needs them gives the same file,
// the rows asked for in order from the top, each once, whether they are made on a thread of
// their own (large) or on the writing thread (small).
TEST(PngWriter, RowsFilledAsTheyAreNeededGiveTheSameFile)
{
    for (const auto& [w, h] : {std::pair{400, 700}, std::pair{97, 61}}) {
        const gdi::Bitmap24 full = Painted(w, h, [](std::uint32_t x, std::uint32_t y) {
            return (y / 30) % 2 ? Noise(x, y, 256) : (x * 3 + y) * 0x010203u;
        });
        gdi::Bitmap24 lazy(w, h, 0x00FF00FFu);  // rows not yet filled would show
        std::int32_t next = 0;
        bool inOrder = true;
        const std::vector<std::uint8_t> bytes = gdi::EncodePng(lazy, [&](std::int32_t from, std::int32_t to) {
            inOrder = inOrder && from == next && to > from && to <= h;
            for (std::int32_t y = from; y < to; ++y)
                std::memcpy(lazy.Row(y), full.Row(y), full.Stride());
            next = to;
        });
        EXPECT_TRUE(inOrder) << w;
        EXPECT_EQ(next, h) << w;
        EXPECT_EQ(bytes, gdi::EncodePng(full)) << w;
    }
}

}  // namespace
