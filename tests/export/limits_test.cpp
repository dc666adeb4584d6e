// The limits untrusted files cannot defeat: nesting, shapes and instructions per record (glyph
// copies included), raster and metafile sizes. Each exceeded limit is the data layer's
// "Incorrect data format." or a clear message, never a crash or an exhausted machine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include "model/BParser.h"
#include "model/Drawing.h"
#include "model/DrawDB.h"
#include "model/Shapes.h"
#include "platform/device/RasterDevice.h"
#include "platform/metafile/WmfConverter.h"
#include "render/Metafile.h"
#include "render/Pdf.h"
#include "render/Rasteriser.h"
#include "tests/support/Fixture.h"
#include "text/VFont.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

// Lowers the limits for one test, so that a limit is reached with a few thousand shapes.
class LoweredLimits {
public:
    LoweredLimits(std::int64_t shapes, std::int64_t instructions) : saved_(GetShapeLimits())
    {
        SetShapeLimits({shapes, instructions});
    }
    ~LoweredLimits() { SetShapeLimits(saved_); }

private:
    ShapeLimits saved_;
};

Bytes Nested(int depth, const Bytes& inner)
{
    Bytes b;
    for (int i = 0; i < depth; ++i)
        b.tag('g');
    b.append(inner);
    for (int i = 0; i < depth; ++i)
        b.tag('G');
    return b;
}

Bytes PathOfLines(int n)
{
    std::vector<Bytes> instructions{M(0, 0)};
    for (int i = 1; i < n; ++i)
        instructions.push_back(L(static_cast<float>(i), static_cast<float>(i % 7)));
    return PathOf(std::nullopt, 0, instructions);
}

class LimitsTest : public ::testing::Test {
protected:
    LimitsTest() : user(dir / "user")
    {
        FontList.Clear();
        drawings.FPath = user.AddDatabase(kDrawings, "Sketches");
        const std::string fontPath = user.AddDatabase(kFonts, DefaultFontName, 1.0f, 1000);
        font.FPath = fontPath;
        font.FName = DefaultFontName;
        font.FKind = kFonts;
        font.ReadHeader();
    }
    ~LimitsTest() override { FontList.Clear(); }

    void AddGlyph(char code, const Bytes& shapes)
    {
        WriteFile(font.FPath + "/g" + std::to_string(static_cast<int>(static_cast<unsigned char>(code))) + ".dat",
                  GlyphRecord(static_cast<std::uint8_t>(code), std::pair<std::uint16_t, std::int16_t>{10, 0}, shapes));
    }
    // Call after the glyphs are written: the font scans its folder once.
    void UseFont() { FontList.AddFontDatabase(&font); }

    TDrawing& Make(const Bytes& stream)
    {
        WriteFile(drawings.FPath + "/rec.dat", Record("Limits", stream));
        drawing = std::make_unique<TDrawing>(&drawings, "rec.dat");
        return *drawing;
    }

    static Bytes TextOf(const std::string& text) { return Text(0, 0, 0, std::nullopt, DefaultFontName, 1000, kIdentity, text); }

    // Loads the drawing; true when it loaded, false on "Incorrect data format.", which is the
    // only error a limit may raise.
    static bool Loads(TDrawing& d)
    {
        try {
            d.LoadShapes(true);
            return true;
        } catch (const EBParseException& e) {
            EXPECT_STREQ(e.what(), kIncorrectFormat);
            return false;
        }
    }

    TempDir dir;
    UserFolder user;
    TDrawDB drawings;
    TDrawDB font;
    std::unique_ptr<TDrawing> drawing;
};

TEST(ShapeLimits, TheProgramsLimitsAreFarAboveAnyRealDrawing)
{
    EXPECT_EQ(kMaxShapeNesting, 256);
    EXPECT_EQ(GetShapeLimits().shapes, 5'000'000);
    EXPECT_EQ(GetShapeLimits().instructions, 50'000'000);
}

TEST_F(LimitsTest, GroupsNestUpTo256Deep)
{
    EXPECT_TRUE(Loads(Make(Nested(256, Path(std::nullopt, 0, {M(0, 0)})))));
    EXPECT_FALSE(Loads(Make(Nested(257, Path(std::nullopt, 0, {M(0, 0)})))));
}

TEST_F(LimitsTest, InstructionsPerRecordAreCountedAcrossShapes)
{
    const LoweredLimits limits(1000, 1000);
    EXPECT_TRUE(Loads(Make(PathOfLines(1000))));
    EXPECT_FALSE(Loads(Make(PathOfLines(1001))));
    // Spread over paths and groups, the record's total counts.
    EXPECT_TRUE(Loads(Make(Bytes().append(PathOfLines(500)).append(Group({PathOfLines(500)})))));
    EXPECT_FALSE(Loads(Make(Bytes().append(PathOfLines(500)).append(Group({PathOfLines(501)})))));
    // Each load counts from zero: the same record loads again and again.
    TDrawing& d = Make(PathOfLines(1000));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Loads(d));
        EXPECT_EQ(d.FShapes.size(), 1u);
    }
}

TEST_F(LimitsTest, ShapesPerRecordAreCountedGroupsIncluded)
{
    const LoweredLimits limits(100, 1'000'000);
    std::vector<Bytes> hundred(99, Group({}));
    EXPECT_TRUE(Loads(Make(GroupOf(hundred))));  // 99 groups in a group
    hundred.push_back(Group({}));
    EXPECT_FALSE(Loads(Make(GroupOf(hundred))));
    // Paths without instructions are read, then dropped, but still count as read.
    Bytes paths;
    for (int i = 0; i < 101; ++i)
        paths.append(Path(std::nullopt, 0, {}));
    EXPECT_FALSE(Loads(Make(paths)));
}

TEST_F(LimitsTest, GlyphCopiesCountAsTheRecordsShapes)
{
    AddGlyph('A', PathOfLines(10));
    UseFont();
    // The glyph's own 10 instructions, then 100 copies of them.
    const std::string hundred(100, 'A');
    {
        const LoweredLimits limits(1000, 1010);
        EXPECT_TRUE(Loads(Make(TextOf(hundred))));
    }
    FontList.Clear();
    UseFont();
    {
        const LoweredLimits limits(1000, 1009);
        EXPECT_FALSE(Loads(Make(TextOf(hundred))));
    }
}

TEST_F(LimitsTest, TextsOfGlyphsHoldingTextsCannotExpandWithoutBound)
{
    // Each glyph is a text of 180 of the next: 'e' is one line, 'a' would be 180^4 of them.
    AddGlyph('e', Path(std::nullopt, 0, {M(0, 0), L(1, 1)}));
    AddGlyph('d', TextOf(std::string(180, 'e')));
    AddGlyph('c', TextOf(std::string(180, 'd')));
    AddGlyph('b', TextOf(std::string(180, 'c')));
    AddGlyph('a', TextOf(std::string(180, 'b')));
    UseFont();
    const LoweredLimits limits(100'000, 500'000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Loads(Make(TextOf("a"))));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
    // Two levels fewer are 180^2 lines, well inside.
    TDrawing& c = Make(TextOf("c"));
    EXPECT_TRUE(Loads(c));
    ASSERT_EQ(c.FShapes.size(), 1u);
}

TEST_F(LimitsTest, AGlyphLoadedShallowCannotMakeADeeperTextNestPastTheLimit)
{
    // 'h' is 250 groups deep. Loaded for a text at the top, it fits; copied into a text that is
    // itself 11 levels down, it would make the drawing 262 levels deep.
    AddGlyph('h', Nested(250, Path(std::nullopt, 0, {M(0, 0), L(1, 1)})));
    AddGlyph('g', Nested(10, TextOf("h")));
    UseFont();
    TDrawing& fits = Make(Bytes().append(TextOf("h")).append(TextOf("h")));
    EXPECT_TRUE(Loads(fits));
    ASSERT_EQ(fits.FShapes.size(), 2u);
    EXPECT_EQ(ShapeNestingHeight(*fits.FShapes[0]), 251);
    EXPECT_FALSE(Loads(Make(Bytes().append(TextOf("h")).append(TextOf("g")))));
    // The other way round the glyph is read at that depth and fails as it is read.
    FontList.Clear();
    UseFont();
    EXPECT_FALSE(Loads(Make(TextOf("g"))));
}

TEST_F(LimitsTest, AChainOfGlyphsCannotBuildATreeDeeperThanTheLimit)
{
    // Each glyph holds 200 groups around a text of the previous glyph; laid out from the first
    // one on, each text would nest another 200 levels deeper than the last, enough to exhaust
    // the stack of every recursive pass over the shapes.
    const std::string codes = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    AddGlyph(codes[0], Path(std::nullopt, 0, {M(0, 0), L(1, 1)}));
    for (std::size_t i = 1; i < codes.size(); ++i)
        AddGlyph(codes[i], Nested(200, TextOf(std::string(1, codes[i - 1]))));
    UseFont();
    Bytes stream;
    for (char c : codes)
        stream.append(TextOf(std::string(1, c)));
    TDrawing& d = Make(stream);
    EXPECT_FALSE(Loads(d));
    for (char c : codes) {
        TDrawing& one = Make(TextOf(std::string(1, c)));
        if (Loads(one)) {
            for (const auto& shape : one.FShapes)
                EXPECT_LE(ShapeNestingHeight(*shape), kMaxShapeNesting);
        }
    }
}

TEST_F(LimitsTest, RasterSidesStopAtTheWorkBitmapsLimit)
{
    TDrawing& d = Make(Path(0, std::nullopt, {M(0, 0), L(100, 0), L(100, 50), Z()}));
    ASSERT_TRUE(Loads(d));
    const std::int32_t largest = gdi::RasterDevice::kMaxSide / 2;
    gdi::Bitmap24 wide(largest, 1);
    EXPECT_NO_THROW(RenderToBitmap(d, wide, false));
    ASSERT_TRUE(Loads(d));
    gdi::Bitmap24 tooWide(largest + 1, 1);
    try {
        RenderToBitmap(d, tooWide, false);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("is too large"), std::string::npos) << e.what();
    }
}

TEST(BitmapLimits, SidesPastTheLargestSurfaceAreRefusedBeforeAllocating)
{
    EXPECT_EQ(gdi::Bitmap24(gdi::Bitmap24::kMaxSide, 1).Width(), 32767);
    EXPECT_THROW(gdi::Bitmap24(gdi::Bitmap24::kMaxSide + 1, 1), std::length_error);
    // 100000 x 100000 pixels (30 GB) are refused as quickly, under every allocator.
    EXPECT_THROW(gdi::Bitmap24(100000, 100000), std::length_error);
}

TEST(MetafileLimits, ExtentsOfAnySizeFitIn32Bits)
{
    constexpr std::int64_t kHuge = std::numeric_limits<std::int64_t>::max() / 4;
    const MetafileLayout l = ComputeMetafileLayout(kHuge, kHuge);
    EXPECT_EQ(l.width, 20'000'000);
    EXPECT_EQ(l.height, 20'000'000);
    EXPECT_GT(l.frame.right, 0);
    EXPECT_GT(l.frame.bottom, 0);
    EXPECT_GT(l.windowExtX, 0);
    EXPECT_GT(l.viewportExtX, 0);
    EXPECT_GT(l.viewportExtY, 0);
}

TEST_F(LimitsTest, DrawingsAtTheEdgeOfSingleRangeMakeMetafilesAndPdf)
{
    TDrawing& d = Make(Path(0, 0, {M(-3.0e38f, -3.0e38f), C(3.0e38f, -3.0e38f, -3.0e38f, 3.0e38f, 3.0e38f, 3.0e38f), Z()}));
    ASSERT_TRUE(Loads(d));
    const std::vector<std::uint8_t> emf = CreateMetafile(d);
    ASSERT_GE(emf.size(), 88u);
    ASSERT_TRUE(Loads(d));
    EXPECT_FALSE(CreatePdf(d).empty());
}

TEST_F(LimitsTest, WindowsMetafilesStopAtTheirPointBudget)
{
    // 2,500 curves reaching a million units out, filled and stroked: each flattens to 4,096
    // points, 20 million in all, past the 16,777,216 a Windows metafile may hold. The small EMF
    // is refused with a clear message instead of gigabytes of points.
    std::vector<Bytes> curves{M(0, 0)};
    for (int i = 0; i < 2500; ++i)
        curves.push_back(C(1.0e6f, -1.0e6f, -1.0e6f, 1.0e6f, static_cast<float>(i), 0));
    TDrawing& d = Make(PathOf(0x000000FF, 0x00FF0000, curves));
    ASSERT_TRUE(Loads(d));
    const std::vector<std::uint8_t> emf = CreateMetafile(d);
    try {
        gdi::ConvertEmfToPlaceableWmf(emf);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "EMF to WMF: more than 16777216 points once the curves are flattened");
    }
    // A thousand paths of ordinary curves are far inside the budget.
    Bytes ordinary;
    for (int i = 0; i < 1000; ++i)
        ordinary.append(Path(0x000000FF, 0x00FF0000,
                             {M(0, static_cast<float>(i)), C(100, -400, 900, 400, 1000, static_cast<float>(i)), Z()}));
    TDrawing& many = Make(ordinary);
    ASSERT_TRUE(Loads(many));
    EXPECT_FALSE(gdi::ConvertEmfToPlaceableWmf(CreateMetafile(many)).empty());
}

TEST_F(LimitsTest, FarReachingCurvesFlattenToABoundedNumberOfPoints)
{
    // Curves reaching far past Cairo's range are flattened (4,096 points each) and clipped to
    // the page; a device flattens at most 262,144 points in all, instead of writing a page of
    // gigabytes.
    const auto far = [](int n) {
        std::vector<Bytes> curves{M(0, 0), L(100, 0), L(100, 100)};
        for (int i = 0; i < n; ++i)
            curves.push_back(C(50, 0, 50, 4.6e18f, static_cast<float>(i % 100), 10));
        curves.push_back(Z());
        return PathOf(0x000000FF, std::nullopt, curves);
    };
    TDrawing& many = Make(far(100));
    ASSERT_TRUE(Loads(many));
    const auto start = std::chrono::steady_clock::now();
    try {
        CreatePdf(many);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "The drawing has more than 262144 points once its far-reaching curves are flattened.");
    }
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
    TDrawing& fewer = Make(far(50));
    ASSERT_TRUE(Loads(fewer));
    EXPECT_FALSE(CreatePdf(fewer).empty());
}

TEST_F(LimitsTest, PdfPagesStayInsideCairosCoordinateRange)
{
    // A drawing 30 million units tall, with a curve reaching far beyond that, on a page cut at
    // the largest side: 2,000,000 units are 1,500,000 points.
    TDrawing& d = Make(Bytes()
                           .append(Path(0, std::nullopt, {M(0, 0), L(100, 0), L(100, 3.0e7f), Z()}))
                           .append(Path(0, std::nullopt, {M(0, 0), C(50, 0, 50, 4.6e18f, 60, 10), Z()})));
    ASSERT_TRUE(Loads(d));
    const std::vector<std::uint8_t> pdf = CreatePdf(d);
    const std::string text(pdf.begin(), pdf.end());
    const std::size_t box = text.find("/MediaBox [ 0 0 ");
    ASSERT_NE(box, std::string::npos);
    EXPECT_EQ(text.substr(box, 40).substr(0, text.substr(box, 40).find(']') + 1), "/MediaBox [ 0 0 75 1500000 ]");
    EXPECT_EQ(kLargestPdfPageUnits, 2'000'000);
}

}  // namespace
