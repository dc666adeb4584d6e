// Our deflate must write the bytes zlib writes at level 6 with either strategy (libpng's
// filtered one for PNG image data, the default one for Cairo's PDF streams), given the input in
// any pieces; zlib itself is the reference.
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

Bytes WithZlib(const Bytes& input, std::size_t piece, gdi::DeflateStrategy strategy)
{
    z_stream z{};
    const int zlibStrategy = strategy == gdi::DeflateStrategy::Filtered ? Z_FILTERED : Z_DEFAULT_STRATEGY;
    EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15, 8, zlibStrategy), Z_OK);
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

Bytes WithOurs(const Bytes& input, std::size_t piece, gdi::DeflateStrategy strategy)
{
    Bytes out;
    gdi::Deflater deflater(out, strategy);
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
    Bytes runs;
    for (std::size_t run = 0; runs.size() < 150000; ++run) {
        runs.insert(runs.end(), 8 + run * 5 % 7, 'a');
        runs.push_back('X');
        runs.push_back(static_cast<std::uint8_t>('a' + random() % 3));
    }
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
        // A PDF page's path operators: numbers with three decimals, short repeats far apart.
        {"path operators", make(200000, [&](std::size_t i) {
             return static_cast<std::uint8_t>(i % 8 == 7 ? " lmc"[random() % 4] : i % 8 == 3 ? '.' : '0' + random() % 10);
         })},
        // Runs of one byte of 8 to 14, where strings are linked eight at a time, each ended by
        // another byte, so that matches end inside runs and strings near a run's end are looked
        // for.
        {"runs of 8 to 14", runs},
    };
    for (const Case& c : cases) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{261}, std::size_t{2401}, std::size_t{40000}, c.input.size()}) {
            if (piece == 0 || (piece == 1 && c.input.size() > 20000))
                continue;
            for (const auto strategy : {gdi::DeflateStrategy::Default, gdi::DeflateStrategy::Filtered}) {
                SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece) +
                             (strategy == gdi::DeflateStrategy::Filtered ? ", filtered" : ", default strategy"));
                EXPECT_EQ(WithOurs(c.input, piece, strategy), WithZlib(c.input, piece, strategy));
            }
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
