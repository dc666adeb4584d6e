// The PNG writer's compressor must write the bytes zlib writes with libpng's settings, given
// the input in the same pieces; zlib itself is the reference.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/codec/Deflate.h"

using namespace plotwick;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes WithZlib(const Bytes& input, std::size_t piece)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15, 8, Z_FILTERED), Z_OK);
    Bytes out(deflateBound(&z, input.size()) + 64);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    for (std::size_t at = 0; at < input.size(); at += piece) {
        z.next_in = const_cast<Bytef*>(input.data() + at);
        z.avail_in = static_cast<uInt>(std::min(piece, input.size() - at));
        EXPECT_EQ(deflate(&z, Z_NO_FLUSH), Z_OK);
    }
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

Bytes WithOurs(const Bytes& input, std::size_t piece)
{
    Bytes out;
    gdi::FilteredDeflater deflater(out);
    for (std::size_t at = 0; at < input.size(); at += piece)
        deflater.Write(input.data() + at, std::min(piece, input.size() - at));
    deflater.Finish();
    return out;
}

}  // namespace

TEST(Deflate, WritesTheBytesZlibWrites)
{
    std::mt19937 random(7);
    const auto make = [&](std::size_t n, const std::function<std::uint8_t(std::size_t)>& byte) {
        Bytes b(n);
        for (std::size_t i = 0; i < n; ++i)
            b[i] = byte(i);
        return b;
    };
    // Bytes each rarer than the one before by a constant factor: codes of up to 15 bits.
    std::geometric_distribution<int> geometric(0.4);
    struct Case {
        const char* name;
        Bytes input;
    };
    const std::vector<Case> cases = {
        {"nothing", {}},
        {"one byte", {42}},
        {"three bytes", {1, 2, 3}},
        // Long runs of zeros, as white rows filtered leave them, with a rare other byte.
        {"mostly zeros", make(300000, [&](std::size_t) { return random() % 97 == 0 ? std::uint8_t(random() % 4) : 0; })},
        // Noise: blocks stored as they are, longer than the window can keep.
        {"noise", make(150000, [&](std::size_t) { return static_cast<std::uint8_t>(random()); })},
        {"noise between zeros", make(200000, [&](std::size_t i) { return (i / 20000) % 2 ? std::uint8_t(random()) : 0; })},
        // Many short matches (five bytes or fewer are not taken) and long chains of one hash.
        {"five letters", make(120000, [&](std::size_t) { return std::uint8_t("abcab"[random() % 5]); })},
        {"steps", make(250000, [&](std::size_t i) { return static_cast<std::uint8_t>((i / (1 + i % 37)) % 7 * 3); })},
        {"long codes", make(100000, [&](std::size_t) { return static_cast<std::uint8_t>(geometric(random) * 7); })},
    };
    for (const Case& c : cases) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{261}, std::size_t{2401}, std::size_t{40000}, c.input.size()}) {
            if (piece == 0 || (piece == 1 && c.input.size() > 20000))
                continue;
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            EXPECT_EQ(WithOurs(c.input, piece), WithZlib(c.input, piece));
        }
    }
}

TEST(Deflate, Adler32IsZlibs)
{
    std::mt19937 random(3);
    for (std::size_t n : {1, 15, 16, 17, 5551, 5552, 5553, 100000}) {
        Bytes data(n);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(n % 2 ? random() : 255);
        for (std::uint32_t start : {1u, (65520u << 16) | 65520u}) {
            SCOPED_TRACE(std::to_string(n) + " bytes from " + std::to_string(start));
            EXPECT_EQ(gdi::Adler32(start, data.data(), n), adler32(start, data.data(), static_cast<uInt>(n)));
        }
    }
}
