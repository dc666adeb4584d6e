// Record files: names, thumbnails, the shape stream and normalisation.
#include <gtest/gtest.h>

#include "model/BParser.h"
#include "model/Drawing.h"
#include "model/DrawDB.h"
#include "tests/support/Fixture.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

class DrawingTest : public ::testing::Test {
protected:
    DrawingTest() { db.FPath = dir.Path(); }
    TDrawing& Make(const Bytes& record, const std::string& file = "rec.dat")
    {
        WriteFile(dir / file, record);
        drawings.push_back(std::make_unique<TDrawing>(&db, file));
        return *drawings.back();
    }
    TempDir dir;
    TDrawDB db;
    std::vector<std::unique_ptr<TDrawing>> drawings;
};

const Bytes kLine = Path(std::nullopt, 0, {M(0, 0), L(10, 5)});

TEST_F(DrawingTest, NameAndThumbnail)
{
    std::array<std::uint8_t, 1024> thumb{};
    thumb[0] = 0;     // white
    thumb[1] = 215;   // near black
    thumb[32] = 216;  // first grey
    thumb[1023] = 229;
    TDrawing& d = Make(Record("House", Bytes(), &thumb));
    EXPECT_EQ(d.FName, "House");
    ASSERT_TRUE(d.FThumbnail);
    EXPECT_EQ(d.FThumbnail->GetPixel(0, 0), 0x00FFFFFFu);
    EXPECT_EQ(d.FThumbnail->GetPixel(1, 0), 0x000F0F0Fu);
    EXPECT_EQ(d.FThumbnail->GetPixel(0, 1), 0x001D1D1Du);
    EXPECT_EQ(d.FThumbnail->GetPixel(31, 31), 0x00767600u);  // (0, 0x76, 0x76) as 0x00BBGGRR
    EXPECT_TRUE(d.FShapes.empty());
}

TEST_F(DrawingTest, ThumbnailPaletteFollowsItsRule)
{
    const auto& p = ThumbnailPalette();
    // i = 1: h 0, j 1, r 0, b 0, g 1 -> (E6, BB, E6)
    EXPECT_EQ(p[1], 0x00E6BBE6u);
    // i = 108 + 18 + 6: h 1, j 24, r 1, b 3 + 1, g 0 -> (BB, E6, 2C)
    EXPECT_EQ(p[132], 0x002CE6BBu);
    EXPECT_EQ(p[225], 0x00B0B0B0u);
    EXPECT_EQ(p[226], 0x00000076u);
    EXPECT_EQ(p[230], 0u);
    EXPECT_EQ(p[255], 0u);
}

TEST_F(DrawingTest, NameOfExactly32Bytes)
{
    const std::string name(32, 'N');
    EXPECT_EQ(Make(Record(name, Bytes())).FName, name);
}

TEST_F(DrawingTest, ShortRecordHasAFixedColourAndNoShapes)
{
    Bytes b;
    b.fixed("Tiny", 32).zeros(40).u8(215);
    TDrawing& d = Make(b);
    EXPECT_EQ(d.FName, "Tiny");
    ASSERT_TRUE(d.FThumbnail);
    EXPECT_EQ(d.FThumbnail->GetPixel(0, 0), 0x000F0F0Fu);
    EXPECT_EQ(d.FThumbnail->GetPixel(1, 0), kThumbnailMissingColor);
    d.LoadShapes(true);
    EXPECT_TRUE(d.FShapes.empty());
}

TEST_F(DrawingTest, UnreadableRecordHasNoNameAndLoadSaysFileIsNotOpen)
{
    TDrawing d(&db, "missing.dat");
    EXPECT_EQ(d.FName, "");
    EXPECT_FALSE(d.FThumbnail);
    try {
        d.LoadShapes(false);
        FAIL();
    } catch (const EBParseException& e) {
        EXPECT_STREQ(e.what(), "File is not open.");
    }
    EXPECT_TRUE(d.FShapes.empty());
}

TEST_F(DrawingTest, OptionalSectionsAreSkippedInOrder)
{
    Bytes stream;
    stream.tag('a').u16(2).zeros(16).tag('f').zeros(4).tag('#').zeros(8).append(kLine);
    TDrawing& d = Make(Record("s", stream));
    d.LoadShapes(false);
    ASSERT_EQ(d.FShapes.size(), 1u);
}

TEST_F(DrawingTest, SectionsOutOfOrderEndTheStream)
{
    Bytes stream;
    stream.tag('#').zeros(8).tag('a').u16(0).append(kLine);
    TDrawing& d = Make(Record("s", stream));
    d.LoadShapes(false);
    EXPECT_TRUE(d.FShapes.empty());
}

TEST_F(DrawingTest, PathsWithoutInstructionsAreDroppedGroupsKept)
{
    Bytes stream;
    stream.append(Path(0xFF, std::nullopt, {})).append(Group({})).append(kLine).tag('?').append(kLine);
    TDrawing& d = Make(Record("s", stream));
    d.LoadShapes(false);
    ASSERT_EQ(d.FShapes.size(), 2u);  // the unknown byte ends the stream
    EXPECT_TRUE(d.FShapes[0]->IsGroup());
}

TEST_F(DrawingTest, NormalisingMovesTheBoxToTheOrigin)
{
    TDrawing& d = Make(Record("n", Path(std::nullopt, 0, {M(10.2f, -4.6f), L(50, 8)})));
    d.LoadShapes(true);
    EXPECT_EQ(d.GetBounds(), (IntRect{0, 0, 40, 13}));
    EXPECT_EQ(d.FOffsetX, -10.0f);
    EXPECT_EQ(d.FOffsetY, 5.0f);
    // A load without normalisation restores the file's coordinates and keeps the offsets.
    d.LoadShapes(false);
    EXPECT_EQ(d.GetBounds(), (IntRect{10, -5, 50, 8}));
    EXPECT_EQ(d.FOffsetX, -10.0f);
    d.LoadShapes(false);
    EXPECT_EQ(d.FShapes.size(), 1u);  // reloading replaces, never doubles
}

TEST_F(DrawingTest, TruncatedShapeKeepsEarlierShapesAndRaises)
{
    Bytes stream;
    stream.append(kLine).append(kLine).truncate(kLine.size() + 12);
    TDrawing& d = Make(Record("t", stream));
    try {
        d.LoadShapes(false);
        FAIL();
    } catch (const EBParseException& e) {
        EXPECT_STREQ(e.what(), "Incorrect data format.");
    }
    EXPECT_EQ(d.FShapes.size(), 1u);
}

TEST_F(DrawingTest, ACancelledLoadRaisesAndKeepsNoShape)
{
    TDrawing& d = Make(Record("c", Bytes().append(kLine).append(kLine)));
    std::atomic<bool> cancelled{false};
    d.LoadShapes(false, &cancelled);
    EXPECT_EQ(d.FShapes.size(), 2u);
    cancelled = true;
    EXPECT_THROW(d.LoadShapes(false, &cancelled), LoadCancelled);
    EXPECT_TRUE(d.FShapes.empty());
}

TEST_F(DrawingTest, EmptyDrawingHasTheEmptyBounds)
{
    TDrawing& d = Make(Record("e", Bytes()));
    d.LoadShapes(true);
    EXPECT_EQ(d.GetBounds(), (IntRect{100000, 100000, -100000, -100000}));
}

}  // namespace
