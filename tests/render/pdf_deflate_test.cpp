// zlib's deflate entry points of this program: a stream made with deflateInit, compressed on the
// calling thread or on one of its own, must hold the bytes zlib itself writes (a stream made
// with deflateInit2 is zlib's alone, so it is the reference), and so must Cairo's PDF streams,
// which our own deflate compresses.
#include <gtest/gtest.h>
#include <cairo.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <algorithm>
#include <vector>

#include "render/Pdf.h"
#include "render/PdfDeflate.h"

using namespace plotwick;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Step {
    std::size_t bytes;
    int flush;
};

// The input compressed in the given steps, the output collected in buffers of outChunk bytes,
// calling again while a buffer fills, as Cairo does; and each step's last answer.
struct Compressed {
    Bytes bytes;
    std::vector<int> answers;
    bool operator==(const Compressed&) const = default;
};

Compressed Compress(const Bytes& input, const std::vector<Step>& steps, bool ours, std::size_t outChunk)
{
    z_stream z{};
    EXPECT_EQ(ours ? deflateInit(&z, Z_DEFAULT_COMPRESSION)
                   : deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY),
              Z_OK);
    Compressed out;
    Bytes buffer(outChunk);
    std::size_t at = 0;
    for (const Step& step : steps) {
        z.next_in = const_cast<Bytef*>(input.data() + at);
        z.avail_in = static_cast<uInt>(step.bytes);
        at += step.bytes;
        int result;
        do {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(outChunk);
            result = deflate(&z, step.flush);
            out.bytes.insert(out.bytes.end(), buffer.begin(), buffer.end() - z.avail_out);
        } while (step.flush == Z_FINISH ? result == Z_OK : (result == Z_OK && (z.avail_out == 0 || z.avail_in != 0)));
        out.answers.push_back(result);
    }
    EXPECT_EQ(z.total_out, out.bytes.size());
    EXPECT_EQ(deflateEnd(&z), Z_OK);
    return out;
}

Bytes PathOperators(std::size_t n)
{
    std::mt19937 random(11);
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i % 8 == 7 ? " lmc"[random() % 4] : i % 8 == 3 ? '.' : '0' + random() % 10);
    return b;
}

}  // namespace

TEST(PdfDeflate, TheProgramsOwnEntryPointsAreInUse)
{
    EXPECT_TRUE(DeflateTakenOver());
}

TEST(PdfDeflate, WritesZlibsBytesOnEitherThread)
{
    std::mt19937 random(5);
    Bytes noise(70000);
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(random());
    const Bytes text = PathOperators(300000), zeros(100000, 0);
    const Bytes small = PathOperators(5000), text16k = PathOperators(16384);
    struct Case {
        const char* name;
        const Bytes& input;
        std::vector<Step> steps;
        std::size_t outChunk;
        bool aside;  // compressed on a thread of its own
    };
    const auto pieces = [](const Bytes& input, std::size_t piece, std::size_t outChunk) {
        std::vector<Step> steps;
        std::size_t at = 0;
        for (; input.size() - at > piece; at += piece)
            steps.push_back({piece, Z_NO_FLUSH});
        steps.push_back({input.size() - at, Z_FINISH});
        return steps;
    };
    const std::vector<Case> cases = {
        {"operators as Cairo gives them", text, pieces(text, 16384, 16384), 16384, true},
        {"operators, output in small buffers", text, pieces(text, 16384, 100), 100, true},
        {"operators, flushed on the way", text,
         {{50000, Z_NO_FLUSH}, {1000, Z_SYNC_FLUSH}, {60000, Z_NO_FLUSH}, {10, Z_FULL_FLUSH}, {0, Z_PARTIAL_FLUSH},
          {90000, Z_NO_FLUSH}, {98990, Z_FINISH}},
         4096, true},
        {"zeros", zeros, pieces(zeros, 16384, 16384), 16384, true},
        {"noise", noise, pieces(noise, 30000, 16384), 16384, true},
        {"a small page, at once", small, {{5000, Z_FINISH}}, 16384, false},
        {"a small page in pieces", small, pieces(small, 1000, 512), 512, false},
        {"a page of one full piece", text16k, {{16384, Z_NO_FLUSH}, {0, Z_FINISH}}, 4096, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t asideBefore = DeflateStreamsAside();
        const Compressed ours = Compress(c.input, c.steps, true, c.outChunk);
        EXPECT_EQ(DeflateStreamsAside() - asideBefore, c.aside ? 1u : 0u);
        EXPECT_TRUE(ours == Compress(c.input, c.steps, false, c.outChunk));
        EXPECT_EQ(ours.answers.back(), Z_STREAM_END);
    }
}

TEST(PdfDeflate, MisuseIsRefusedAsZlibRefusesIt)
{
    const Bytes text = PathOperators(100000);
    Bytes out(200000);
    z_stream z{};
    ASSERT_EQ(deflateInit(&z, Z_DEFAULT_COMPRESSION), Z_OK);
    // zlib's other functions do not know the stream and say so.
    EXPECT_EQ(deflateParams(&z, 1, Z_DEFAULT_STRATEGY), Z_STREAM_ERROR);
    z.next_in = const_cast<Bytef*>(text.data());
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = out.data();
    z.avail_out = 0;
    EXPECT_EQ(deflate(&z, Z_NO_FLUSH), Z_BUF_ERROR);  // no room for output
    EXPECT_EQ(deflate(nullptr, Z_NO_FLUSH), Z_STREAM_ERROR);
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, 99), Z_STREAM_ERROR);
    EXPECT_EQ(deflate(&z, Z_NO_FLUSH), Z_OK);
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(deflate(&z, Z_NO_FLUSH), Z_STREAM_ERROR);  // after the end, only Z_FINISH
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(deflateEnd(&z), Z_OK);
    EXPECT_EQ(z.state, nullptr);

    // A stream dropped half-way, its thread busy, ends as zlib says of one ended early.
    z = z_stream{};
    ASSERT_EQ(deflateInit(&z, Z_DEFAULT_COMPRESSION), Z_OK);
    for (std::size_t at = 0; at < text.size(); at += 16384) {
        z.next_in = const_cast<Bytef*>(text.data() + at);
        z.avail_in = static_cast<uInt>(std::min<std::size_t>(16384, text.size() - at));
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(deflate(&z, Z_NO_FLUSH), Z_OK);
    }
    EXPECT_EQ(deflateEnd(&z), Z_DATA_ERROR);
}

TEST(PdfDeflate, CairosPdfStreamHoldsZlibsBytes)
{
    const std::size_t asideBefore = DeflateStreamsAside();
    const std::vector<std::uint8_t> pdf = WritePdf(600, 600, [](cairo_surface_t*, cairo_t* cr) {
        std::mt19937 random(2);
        const auto at = [&] { return static_cast<double>(random() % 600000) / 1000; };
        for (int i = 0; i < 4000; ++i) {
            cairo_move_to(cr, at(), at());
            cairo_curve_to(cr, at(), at(), at(), at(), at(), at());
            cairo_line_to(cr, at(), at());
            cairo_close_path(cr);
            cairo_set_source_rgb(cr, i % 3 / 2.0, i % 5 / 4.0, 0.5);
            cairo_fill(cr);
        }
    });
    // Cairo's calls came here and the page went to a thread of its own, compressed by our own
    // deflate: inflated, then deflated by zlib in one go, the page's stream is the same bytes.
    EXPECT_EQ(DeflateStreamsAside() - asideBefore, 1u);
    const std::string text(pdf.begin(), pdf.end());
    const std::size_t start = text.find("stream\n") + 7;
    const std::size_t end = text.find("endstream", start);
    ASSERT_NE(end, std::string::npos);
    const Bytes stream(pdf.begin() + static_cast<std::ptrdiff_t>(start),
                       pdf.begin() + static_cast<std::ptrdiff_t>(end));
    Bytes content(4 << 20);
    uLongf contentSize = content.size();
    ASSERT_EQ(uncompress(content.data(), &contentSize, stream.data(), stream.size()), Z_OK);
    content.resize(contentSize);
    EXPECT_GT(content.size(), 100000u);
    const Bytes again = Compress(content, {{content.size(), Z_FINISH}}, false, 1 << 22).bytes;
    // Cairo ends the stream with a line break before "endstream".
    ASSERT_GE(stream.size(), again.size());
    EXPECT_EQ(Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(again.size())), again);
}
