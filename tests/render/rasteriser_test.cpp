// Placement of a drawing in the work bitmap, and rendered pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model/Drawing.h"
#include "model/DrawDB.h"
#include "model/Shapes.h"
#include "platform/codec/Bitmap.h"
#include "platform/device/RasterDevice.h"
#include "render/ExportSize.h"
#include "render/PathRender.h"
#include "render/Rasteriser.h"
#include "tests/support/Fixture.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

TEST(RenderPlacement, FitKeepsProportionsWithAMargin)
{
    const RenderPlacement p = ComputeRenderPlacement(50, 25, 400, 200, true);
    EXPECT_FLOAT_EQ(p.sx, 3.2f);
    EXPECT_FLOAT_EQ(p.sy, 3.2f);
    EXPECT_FLOAT_EQ(p.tx, 120);
    EXPECT_FLOAT_EQ(p.ty, 60);
    EXPECT_FLOAT_EQ(p.penScale, 3.2f);  // pen width 3 work pixels
    const RenderPlacement square = ComputeRenderPlacement(100, 100, 200, 200, true);
    EXPECT_FLOAT_EQ(square.sx, 1.6f);
    EXPECT_FLOAT_EQ(square.tx, 20);
    EXPECT_FLOAT_EQ(square.ty, 20);
}

TEST(RenderPlacement, StretchFillsUpToTheMargin)
{
    const RenderPlacement p = ComputeRenderPlacement(50, 10, 200, 200, false);
    EXPECT_FLOAT_EQ(p.sx, 3.6f);
    EXPECT_FLOAT_EQ(p.sy, 18);
    EXPECT_FLOAT_EQ(p.tx, 10);
    EXPECT_FLOAT_EQ(p.ty, 10);
    EXPECT_FLOAT_EQ(p.penScale, 10.8f);  // pen width 11
    const RenderPlacement copy = ComputeRenderPlacement(40, 20, 80, 40, false);
    EXPECT_FLOAT_EQ(copy.sx, 1.5f);
    EXPECT_FLOAT_EQ(copy.sy, 1.0f);
    EXPECT_FLOAT_EQ(copy.tx, 10);
    EXPECT_FLOAT_EQ(copy.ty, 10);
}

TEST(RenderPlacement, ZeroExtentsKeepAScaleOfOne)
{
    // A horizontal line previews as before: the larger extent decides.
    const RenderPlacement line = ComputeRenderPlacement(100, 0, 200, 200, true);
    EXPECT_FLOAT_EQ(line.sx, 1.6f);
    EXPECT_FLOAT_EQ(line.ty, 100);
    // Stretched, the empty axis keeps a scale of 1 and is centred.
    const RenderPlacement stretched = ComputeRenderPlacement(100, 0, 200, 2, false);
    EXPECT_FLOAT_EQ(stretched.sx, 1.8f);
    EXPECT_FLOAT_EQ(stretched.sy, 1.0f);
    EXPECT_FLOAT_EQ(stretched.ty, 1.0f);
    const RenderPlacement dot = ComputeRenderPlacement(0, 0, 200, 200, true);
    EXPECT_FLOAT_EQ(dot.sx, 1.0f);
    EXPECT_FLOAT_EQ(dot.tx, 100);
}

class RenderTest : public ::testing::Test {
protected:
    RenderTest() { db.FPath = dir.Path(); }
    TDrawing& Make(const Bytes& stream)
    {
        WriteFile(dir / "r.dat", Record("r", stream));
        drawing = std::make_unique<TDrawing>(&db, "r.dat");
        return *drawing;
    }
    TempDir dir;
    TDrawDB db;
    std::unique_ptr<TDrawing> drawing;
};

// A red square with a square hole (even-odd), black outline, on 0..100.
const Bytes kSquareWithHole = Path(0x000000FF, 0x00000000,
                                   {M(0, 0), L(100, 0), L(100, 100), L(0, 100), Z(), M(30, 30), L(70, 30), L(70, 70),
                                    L(30, 70), Z()});

TEST_F(RenderTest, FillsInsideWhiteOutsideAndTheHoleStaysEmpty)
{
    TDrawing& d = Make(kSquareWithHole);
    d.LoadShapes(true);
    gdi::Bitmap24 bmp(100, 100);
    RenderToBitmap(d, bmp, true);
    EXPECT_EQ(bmp.GetPixel(2, 2), 0x00FFFFFFu);    // the margin
    EXPECT_EQ(bmp.GetPixel(25, 25), 0x000000FFu);  // inside the red ring
    EXPECT_EQ(bmp.GetPixel(50, 50), 0x00FFFFFFu);  // the hole
    EXPECT_EQ(bmp.GetPixel(97, 50), 0x00FFFFFFu);
    // The shapes stay transformed: a second render without a load scales them again.
    const IntRect once = d.GetBounds();
    RenderToBitmap(d, bmp, true);
    EXPECT_NE(d.GetBounds(), once);
}

TEST_F(RenderTest, StretchFillsTheTargetUpToTheMargin)
{
    TDrawing& d = Make(Path(0x00FF0000, std::nullopt, {M(0, 0), L(50, 0), L(50, 10), L(0, 10), Z()}));
    d.LoadShapes(true);
    gdi::Bitmap24 bmp(100, 100);
    RenderToBitmap(d, bmp, false);
    EXPECT_EQ(bmp.GetPixel(50, 50), 0x00FF0000u);
    EXPECT_EQ(bmp.GetPixel(7, 7), 0x00FF0000u);
    EXPECT_EQ(bmp.GetPixel(2, 50), 0x00FFFFFFu);
    EXPECT_EQ(bmp.GetPixel(50, 97), 0x00FFFFFFu);
}

TEST_F(RenderTest, EmptyDrawingRendersWhite)
{
    TDrawing& d = Make(Bytes());
    d.LoadShapes(true);
    gdi::Bitmap24 bmp(20, 10, 0);
    RenderToBitmap(d, bmp, false);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(bmp.GetPixel(x, y), 0x00FFFFFFu);
}

TEST_F(RenderTest, StraightLineExportsStretched)
{
    TDrawing& d = Make(Path(std::nullopt, 0, {M(0, 5), L(100, 5)}));
    d.LoadShapes(true);
    ExportSize size;
    size.Show(d.GetBounds().Width(), d.GetBounds().Height());
    ASSERT_EQ(size.Height(), 1);
    gdi::Bitmap24 bmp(size.Width(), size.Height());
    RenderToBitmap(d, bmp, false);
    EXPECT_LT(bmp.GetPixel(50, 0) & 0xFF, 0xFFu);  // the line shows
}

// The preview of a large image makes its work bitmap while the drawing loads: the same pixels
// as loading first, and a drawing that cannot be loaded reports its own error at any size.
TEST_F(RenderTest, PreviewGivesThePixelsOfLoadingThenRendering)
{
    TDrawing& d = Make(kSquareWithHole);
    std::vector<std::string> errors;
    for (const auto& [w, h] : {std::pair{60, 40}, std::pair{640, 500}}) {
        gdi::Bitmap24 preview(w, h);
        RenderToImage(d, preview);
        d.LoadShapes(true);
        gdi::Bitmap24 expected(w, h);
        RenderToBitmap(d, expected, true);
        EXPECT_TRUE(std::equal(preview.Row(0), preview.Row(0) + preview.Stride() * h, expected.Row(0))) << w;

        TDrawing missing(&db, "missing.dat");
        gdi::Bitmap24 image(w, h);
        try {
            RenderToImage(missing, image);
            errors.push_back("no error");
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
    }
    EXPECT_EQ(errors[0], errors[1]);
    EXPECT_NE(errors[0], "no error");
}

TEST_F(RenderTest, EmptyAndHugeTargetsAreClearErrors)
{
    TDrawing& d = Make(kSquareWithHole);
    d.LoadShapes(true);
    gdi::Bitmap24 none(0, 10);
    EXPECT_THROW(RenderToBitmap(d, none, false), std::runtime_error);
    gdi::Bitmap24 wide(1, 1);
    // A bitmap of 100000 x 100000 pixels cannot be held: the error is an exception, never a crash.
    EXPECT_ANY_THROW({
        gdi::Bitmap24 huge(100000, 100000);
        RenderToBitmap(d, huge, false);
    });
}

// A drawing large enough to be drawn in two halves side by side gives the pixels of drawing its
// shapes one after the other: overlapping fills and strokes, thin and thick pens, and paths
// that start from where the path before them ended (no move of their own, a first curve that
// reflects nothing, a figure closed back to a start made paths before), the first of the
// second half included.
class LargeDrawingTest : public RenderTest {
protected:
    void ExpectThePixelsOfDrawingItInOrder(const std::vector<Bytes>& paths)
    {
        TDrawing& d = Make([&] {
            Bytes stream;
            for (const Bytes& path : paths)
                stream.append(path);
            return stream;
        }());
        for (const bool fit : {true, false}) {
            for (const int side : {150, 500}) {  // thick pens at 500 (scale 0.5), hairlines at 150
                d.LoadShapes(true);
                gdi::Bitmap24 drawn(side, side);
                RenderToBitmap(d, drawn, fit);

                // The same, shape by shape on one device.
                d.LoadShapes(true);
                gdi::RasterDevice work(2 * side, 2 * side);
                const IntRect r = d.GetBounds();
                const RenderPlacement p = ComputeRenderPlacement(r.Width(), r.Height(), 2 * side, 2 * side, fit);
                d.Transform(Matrix3(p.sx, 0, 0, 0, p.sy, 0, p.tx, p.ty, 1));
                work.SetGraphicsMode(gdi::GM_COMPATIBLE);
                for (const auto& shape : d.FShapes)
                    Draw(*shape, work, RenderContext{}, {p.tx, p.ty}, p.penScale);
                gdi::Bitmap24 expected(side, side);
                work.ReduceHalfTo(expected);

                int differing = 0, coloured = 0;
                for (int y = 0; y < side; ++y)
                    for (int x = 0; x < side; ++x) {
                        differing += drawn.GetPixel(x, y) != expected.GetPixel(x, y);
                        coloured += expected.GetPixel(x, y) != 0x00FFFFFFu;
                    }
                EXPECT_EQ(differing, 0) << "fit " << fit << ", " << side << " pixels";
                EXPECT_GT(coloured, side * side / 4);
            }
        }
    }
};

TEST_F(LargeDrawingTest, PathsWithAndWithoutMovesOfTheirOwn)
{
    std::uint32_t seed = 12345;
    const auto next = [&](int below) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(below));
    };
    std::vector<Bytes> paths;
    for (int i = 0; i < 3000; ++i) {
        std::vector<Bytes> instrs;
        float x = static_cast<float>(next(2000)), y = static_cast<float>(next(2000));
        if (i % 3 != 0)
            instrs.push_back(M(x, y));  // every third path goes on from the previous one
        else if (i % 2 == 0)
            instrs.push_back(S(x - 30, y + 50, x, y));  // from the current point
        for (int k = 0; k < 7; ++k) {
            const float nx = x + static_cast<float>(next(300) - 150), ny = y + static_cast<float>(next(300) - 150);
            if (k % 2 == 0)
                instrs.push_back(L(nx, ny));
            else
                instrs.push_back(C(x + 40, y - 60, nx - 30, ny + 50, nx, ny));
            x = nx;
            y = ny;
        }
        if (i % 4 == 0)
            instrs.push_back(Z());
        const std::uint32_t colour = static_cast<std::uint32_t>(next(0x1000000));
        std::optional<std::uint32_t> fill, stroke;
        if (i % 5 != 1)
            fill = colour;
        if (i % 5 != 2)
            stroke = colour ^ 0x00FFFFFF;
        paths.push_back(PathOf(fill, stroke, instrs));
    }
    ExpectThePixelsOfDrawingItInOrder(paths);
}

// Only the first path moves: each later one starts where the one before ended, and closes its
// figure back to that first move, so the position at any cut depends on every path before it.
TEST_F(LargeDrawingTest, OneFigureRunningThroughEveryPath)
{
    std::vector<Bytes> paths;
    paths.push_back(PathOf(std::nullopt, 0x000000FF, {M(1000, 1000), L(1010, 1000)}));
    for (int i = 1; i < 4200; ++i) {
        const float x = static_cast<float>((i * 37) % 2000), y = static_cast<float>((i * 91) % 2000);
        paths.push_back(PathOf(static_cast<std::uint32_t>(i * 2654435761u) & 0x00FFFFFF, 0x00000000,
                               {S(x + 20, y - 40, x, y), L(x + 60, y + 10), C(x + 90, y, x + 20, y + 90, x + 5, y + 70), Z()}));
    }
    ExpectThePixelsOfDrawingItInOrder(paths);
}

TEST(ExportSize, DialogArithmetic)
{
    ExportSize s;
    s.Show(333, 100);
    s.scaleText = "50";
    s.ScaleExit();
    EXPECT_EQ(s.Width(), 166);
    s.Show(335, 100);
    s.scaleText = "50";
    s.ScaleExit();
    EXPECT_EQ(s.Width(), 168);

    s.Show(200, 100);
    s.widthText = "300";
    s.WidthExit();
    EXPECT_EQ(s.Height(), 150);
    EXPECT_EQ(s.heightText, "150");
    EXPECT_EQ(s.Scale(), 150);

    s.widthText = "-4";
    s.WidthExit();
    EXPECT_EQ(s.Width(), 1);
    EXPECT_EQ(s.widthText, "-4");  // the field keeps what was typed

    s.Show(200, 100);
    s.scaleText = "abc";
    s.ScaleExit();
    EXPECT_EQ(s.Width(), 200);
    EXPECT_EQ(s.Scale(), 100);

    s.SetConstrain(false);
    s.widthText = "50";
    s.WidthExit();
    EXPECT_EQ(s.Height(), 100);
    EXPECT_EQ(s.Scale(), 100);
    s.heightText = "0x20";
    s.HeightExit();
    EXPECT_EQ(s.Height(), 32);
    EXPECT_EQ(s.Width(), 50);
}

TEST(ExportSize, FieldParsing)
{
    EXPECT_EQ(ParseFieldInteger("  42"), 42);
    EXPECT_EQ(ParseFieldInteger("-7"), -7);
    EXPECT_EQ(ParseFieldInteger("+7"), 7);
    EXPECT_EQ(ParseFieldInteger("$ff"), 255);
    EXPECT_EQ(ParseFieldInteger("x10"), 16);
    EXPECT_EQ(ParseFieldInteger("0X1A"), 26);
    EXPECT_EQ(ParseFieldInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseFieldInteger("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "42 ", "4 2", "abc", "2147483648", "-$5", "$", "1.5"})
        EXPECT_FALSE(ParseFieldInteger(bad)) << bad;
}

}  // namespace
