// The direct filler against Cairo itself: every pixel of many random paths, filled both ways.
#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/device/MonoFill.h"
#include "tests/support/Fixture.h"

namespace {

using plotwick::gdi::detail::DirtyRect;
using plotwick::gdi::detail::MonoFiller;
using plotwick::gdi::detail::PixelTarget;

struct PathOp {
    char op;  // M, L, C, Z
    double v[6];
};
using Path = std::vector<PathOp>;

using plotwick::fixture::Random;

// In [lo, hi): on a grid of 1/64 pixel most of the time (as drawings scaled by simple factors
// are), anywhere otherwise.
double Coordinate(Random& r, double lo, double hi)
{
    const double v = lo + (hi - lo) * (r.Next() % 1000000) / 1000000.0;
    return r.Below(3) == 0 ? v : static_cast<int>(v * 64) / 64.0;
}

// Figures of lines and curves anywhere on a size x size surface: self-crossing, thin, nearly
// horizontal, open and closed.
Path RandomPath(Random& r, double size)
{
    Path path;
    const int figures = 1 + r.Below(3);
    for (int f = 0; f < figures; ++f) {
        const double cx = Coordinate(r, 0, size), cy = Coordinate(r, 0, size);
        const double reach = r.Below(4) == 0 ? size : 2 + r.Below(static_cast<int>(size / 3));
        auto near = [&](double c) { return std::clamp(c + Coordinate(r, -reach, reach), 0.0, size); };
        const bool flat = r.Below(5) == 0;  // a sliver: every y within a pixel or two
        auto nearY = [&] { return flat ? std::clamp(cy + Coordinate(r, -1.5, 1.5), 0.0, size) : near(cy); };
        path.push_back({'M', {near(cx), nearY()}});
        const int steps = 1 + r.Below(8);
        for (int i = 0; i < steps; ++i) {
            if (r.Below(2) == 0)
                path.push_back({'L', {near(cx), nearY()}});
            else
                path.push_back({'C', {near(cx), nearY(), near(cx), nearY(), near(cx), nearY()}});
        }
        if (r.Below(3) != 0)
            path.push_back({'Z', {}});
    }
    return path;
}

void Emit(cairo_t* cr, const Path& path)
{
    cairo_new_path(cr);
    for (const PathOp& o : path) {
        switch (o.op) {
        case 'M': cairo_move_to(cr, o.v[0], o.v[1]); break;
        case 'L': cairo_line_to(cr, o.v[0], o.v[1]); break;
        case 'C': cairo_curve_to(cr, o.v[0], o.v[1], o.v[2], o.v[3], o.v[4], o.v[5]); break;
        default: cairo_close_path(cr); break;
        }
    }
}

void Emit(MonoFiller& filler, const Path& path)
{
    filler.Begin();
    for (const PathOp& o : path) {
        switch (o.op) {
        case 'M': filler.MoveTo(o.v[0], o.v[1]); break;
        case 'L': filler.LineTo(o.v[0], o.v[1]); break;
        case 'C': filler.CurveTo(o.v[0], o.v[1], o.v[2], o.v[3], o.v[4], o.v[5]); break;
        default: filler.Close(); break;
        }
    }
}

std::string Describe(const Path& path)
{
    std::string s;
    char buf[64];
    for (const PathOp& o : path) {
        s += o.op;
        const int n = o.op == 'C' ? 6 : o.op == 'Z' ? 0 : 2;
        for (int i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, " %.17g", o.v[i]);
            s += buf;
        }
        s += ' ';
    }
    return s;
}

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kInk = 0xFF123456;

// Fills the path both ways on white surfaces of the given size; fails at the first pixel that
// differs. Returns whether the filler drew it (false: it declined, and drew nothing).
bool SameAsCairo(const Path& path, int width, int height, cairo_format_t format = CAIRO_FORMAT_RGB24)
{
    cairo_surface_t* surface = cairo_image_surface_create(format, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_set_source_rgb(cr, 0x12 / 255.0, 0x34 / 255.0, 0x56 / 255.0);
    Emit(cr, path);
    cairo_fill(cr);
    cairo_surface_flush(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);

    std::vector<std::uint32_t> ours(static_cast<std::size_t>(width) * height, kWhite);
    MonoFiller filler;
    Emit(filler, path);
    DirtyRect dirty;
    const bool drawn = filler.Fill(PixelTarget{ours.data(), width, height, width}, kInk, 0.1, dirty);
    bool same = true;
    for (int y = 0; y < height && same; ++y) {
        for (int x = 0; x < width && same; ++x) {
            std::uint32_t theirs;
            std::memcpy(&theirs, data + y * stride + x * 4, 4);
            const std::uint32_t mine = ours[static_cast<std::size_t>(y) * width + x];
            if (drawn && mine != theirs) {
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << mine << " where Cairo has " << theirs
                              << "\n  path: " << Describe(path);
                same = false;
            }
            if (mine != kWhite && (!drawn || x < dirty.x0 || x >= dirty.x1 || y < dirty.y0 || y >= dirty.y1)) {
                ADD_FAILURE() << "pixel " << x << "," << y << " changed outside the dirty rectangle\n  path: "
                              << Describe(path);
                same = false;
            }
        }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return drawn;
}

class MonoFill : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!plotwick::gdi::detail::CairoFillsAsMonoFiller())
            GTEST_SKIP() << "Cairo " << cairo_version_string() << " fills its own way";
    }
};

TEST_F(MonoFill, RandomPathsGiveCairosPixels)
{
    Random r(1);
    int drawn = 0;
    for (int i = 0; i < 4000 && !HasFailure(); ++i) {
        const int size = i % 4 == 0 ? 7 : i % 4 == 1 ? 300 : 40;
        drawn += SameAsCairo(RandomPath(r, size), size, size, i % 2 ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32);
    }
    EXPECT_GT(drawn, 3000);  // the filler declines few of them
}

TEST_F(MonoFill, ShapesAtTheirLimits)
{
    const std::vector<Path> cases = {
        // A circle of four curves touching the surface's edges.
        {{'M', {20, 10}}, {'C', {20, 15.5, 15.5, 20, 10, 20}}, {'C', {4.5, 20, 0, 15.5, 0, 10}},
         {'C', {0, 4.5, 4.5, 0, 10, 0}}, {'C', {15.5, 0, 20, 4.5, 20, 10}}, {'Z', {}}},
        // Nearly horizontal edges starting in the lower half of a row, and a point-like figure.
        {{'M', {1, 5.9}}, {'L', {19, 6.2}}, {'L', {10, 6.95}}, {'Z', {}}, {'M', {3, 3}}, {'Z', {}}},
        // Two crossing figures, one of them open, sharing an edge.
        {{'M', {2, 2}}, {'L', {18, 17.5}}, {'L', {2, 17.5}}, {'Z', {}}, {'M', {2, 17.5}}, {'L', {18, 2.25}}, {'L', {18, 17.5}}},
        // A degenerate curve, a curve back to its start, collinear lines.
        {{'M', {5, 5}}, {'C', {5, 5, 5, 5, 5, 5}}, {'C', {19, 0, 19, 19, 5, 5}}, {'L', {6, 6}}, {'L', {7, 7}}, {'L', {1, 15}}},
    };
    for (const Path& path : cases)
        EXPECT_TRUE(SameAsCairo(path, 20, 20)) << Describe(path);
}

TEST_F(MonoFill, DeclinesWhatCairoFillsAnotherWay)
{
    MonoFiller filler;
    std::vector<std::uint32_t> pixels(100, kWhite);
    DirtyRect dirty;
    const auto declined = [&](const Path& path) {
        Emit(filler, path);
        const bool drawn = filler.Fill(PixelTarget{pixels.data(), 10, 10, 10}, kInk, 0.1, dirty);
        return !drawn && dirty.Empty() && pixels == std::vector<std::uint32_t>(100, kWhite);
    };
    // Horizontal and vertical lines only: Cairo fills boxes.
    EXPECT_TRUE(declined({{'M', {1, 1}}, {'L', {8, 1}}, {'L', {8, 8}}, {'L', {1, 8}}, {'Z', {}}}));
    // Reaching past the surface.
    EXPECT_TRUE(declined({{'M', {1, 1}}, {'L', {10.5, 3}}, {'L', {2, 8}}, {'Z', {}}}));
    EXPECT_TRUE(declined({{'M', {1, 1}}, {'C', {1, -2, 5, 5, 8, 8}}, {'Z', {}}}));
    // A line without a figure to belong to.
    EXPECT_TRUE(declined({{'L', {3, 4}}, {'L', {8, 1}}}));
    EXPECT_FALSE(declined({{'M', {1, 1}}, {'L', {8, 2}}, {'L', {2, 8}}, {'Z', {}}}));
}

}  // namespace
