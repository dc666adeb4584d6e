// Vector fonts, glyph caching and text layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "model/BParser.h"
#include "model/Drawing.h"
#include "model/DrawDB.h"
#include "tests/support/Fixture.h"
#include "text/VFont.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

const Bytes kBox = Path(0, std::nullopt, {M(50, -100), L(450, -100), L(450, -600), Z()});
const Bytes kPeak = Path(0, std::nullopt, {M(10, -10), L(300, -700), L(590, -10), Z()});

class FontTest : public ::testing::Test {
protected:
    FontTest()
    {
        FontList.Clear();
        user = std::make_unique<UserFolder>(dir / "user");
    }
    ~FontTest() override { FontList.Clear(); }

    TDrawDB* AddFont(const std::string& name, std::uint16_t unitsPerEm)
    {
        const std::string path = user->AddDatabase(kFonts, name, 1.0f, unitsPerEm);
        auto db = std::make_unique<TDrawDB>();
        db->FPath = path;
        db->FName = name;
        db->FKind = kFonts;
        db->ReadHeader();
        dbs.push_back(std::move(db));
        return dbs.back().get();
    }
    void AddGlyph(TDrawDB* db, const std::string& file, std::optional<std::uint8_t> code,
                  std::optional<std::pair<std::uint16_t, std::int16_t>> metrics, const Bytes& shapes)
    {
        WriteFile(db->FPath + "/" + file, GlyphRecord(code, metrics, shapes));
    }
    std::unique_ptr<VPathText> ReadText(const Bytes& record)
    {
        WriteFile(dir / "text.bin", record);
        BParser r(dir / "text.bin", 1);
        auto text = std::make_unique<VPathText>();
        text->Read(r);
        return text;
    }

    TempDir dir;
    std::unique_ptr<UserFolder> user;
    std::vector<std::unique_ptr<TDrawDB>> dbs;
};

TEST_F(FontTest, FindFontIgnoresCaseAndFallsBack)
{
    TDrawDB* vu = AddFont("VU Dedadiz", 1000);
    TDrawDB* other = AddFont("Other", 1000);
    FontList.AddFontDatabase(other);
    EXPECT_EQ(FontList.FindFont("nothing"), nullptr);
    FontList.AddFontDatabase(vu);
    EXPECT_EQ(FontList.FindFont("vu dedadiz")->FName, "VU Dedadiz");
    EXPECT_EQ(FontList.FindFont("OTHER")->FName, "Other");
    EXPECT_EQ(FontList.FindFont("nothing")->FName, "VU Dedadiz");
    EXPECT_EQ(FontList.FindFont("Other")->UnitsPerEm(), 1000);
}

TEST_F(FontTest, GlyphFilesAreFiledByTheirRecordName)
{
    TDrawDB* db = AddFont("F", 1000);
    AddGlyph(db, "zzz.dat", 'A', std::pair<std::uint16_t, std::int16_t>{600, 20}, kPeak);
    AddGlyph(db, "missing.dat", std::nullopt, std::pair<std::uint16_t, std::int16_t>{500, 0}, kBox);
    VFont font(db);
    EXPECT_EQ(font.GlyphFile('A'), "zzz.dat");
    EXPECT_EQ(font.GlyphFile(0), "missing.dat");

    VGlyph* a = font.GetGlyph('A');
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Advance(), 620);
    EXPECT_TRUE(a->FOutlines[0]->FIsGlyph);
    EXPECT_EQ(font.GetGlyph('A'), a);  // loaded once
    // A code without its own glyph gets the missing glyph, not filed under its code.
    VGlyph* b = font.GetGlyph('B');
    EXPECT_EQ(b, font.CachedGlyph(0));
    EXPECT_FALSE(font.CachedGlyph('B'));
}

TEST_F(FontTest, ThreadsAskingForTheSameGlyphsAllGetThem)
{
    // Glyphs with a few thousand instructions each, so that the threads meet while one loads.
    TDrawDB* db = AddFont("F", 1000);
    std::vector<Bytes> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back(L(static_cast<float>(i % 500), static_cast<float>(-i % 700)));
    many.insert(many.begin(), M(0, 0));
    for (char c = 'A'; c <= 'H'; ++c)
        AddGlyph(db, std::string(1, c) + ".dat", static_cast<std::uint8_t>(c),
                 std::pair<std::uint16_t, std::int16_t>{500, 0}, PathOf(0, std::nullopt, many));
    VFont font(db);
    std::vector<std::array<VGlyph*, 8>> seen(4);
    std::vector<std::thread> threads;
    for (auto& mine : seen)
        threads.emplace_back([&font, &mine] {
            for (int i = 0; i < 8; ++i)
                mine[i] = font.GetGlyph(static_cast<std::uint8_t>('A' + i));
        });
    for (auto& t : threads)
        t.join();
    for (const auto& mine : seen)
        for (int i = 0; i < 8; ++i) {
            ASSERT_NE(mine[i], nullptr) << char('A' + i);
            EXPECT_EQ(mine[i], font.CachedGlyph(static_cast<std::uint8_t>('A' + i)));
            EXPECT_EQ(mine[i]->FOutlines.at(0)->FInstructions.size(), 3001u);
        }
}

TEST_F(FontTest, NoMissingGlyphMeansNoGlyph)
{
    TDrawDB* db = AddFont("F", 1000);
    VFont font(db);
    EXPECT_EQ(font.GetGlyph('A'), nullptr);
    std::vector<std::unique_ptr<VPath>> list;
    FPoint pen{5, 0};
    font.PlaceGlyph('A', list, pen, std::nullopt, std::nullopt);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(pen.x, 5);
}

TEST_F(FontTest, PlacingRecoloursCopiesAndAdvances)
{
    TDrawDB* db = AddFont("F", 1000);
    AddGlyph(db, "a.dat", 'A', std::pair<std::uint16_t, std::int16_t>{500, -20},
             Path(0x00000011, 0x00000022, {M(0, 0), L(1, 1)}));
    AddGlyph(db, "b.dat", 'B', std::nullopt, Path(std::nullopt, 0x00000033, {M(0, 0)}).append(Path(0, 0, {})));
    VFont font(db);
    std::vector<std::unique_ptr<VPath>> list;
    FPoint pen{0, 0};
    font.PlaceGlyph('A', list, pen, VColor{0x00ABCDEF}, std::nullopt);
    EXPECT_EQ(pen.x, 480);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->FFill->Color, 0x00ABCDEFu);
    EXPECT_EQ(list[0]->FStroke->Color, 0x00000022u);  // the glyph's own stroke stays
    EXPECT_TRUE(list[0]->FIsGlyph);
    font.PlaceGlyph('B', list, pen, std::nullopt, std::nullopt);
    EXPECT_EQ(pen.x, 480);  // no 'f' section: no advance, outlines still placed
    ASSERT_EQ(list.size(), 2u);  // the path without instructions was not kept
    EXPECT_EQ(list[1]->FInstructions[0].X, 480);
    // The cached glyph is untouched.
    EXPECT_EQ(font.GetGlyph('A')->FOutlines[0]->FFill->Color, 0x00000011u);
}

TEST_F(FontTest, DamagedGlyphRaisesAndIsNotCached)
{
    TDrawDB* db = AddFont("F", 1000);
    Bytes broken = GlyphRecord('A', std::pair<std::uint16_t, std::int16_t>{1, 1}, kPeak);
    broken.truncate(broken.size() - 5);
    WriteFile(db->FPath + "/a.dat", broken);
    VFont font(db);
    EXPECT_THROW(font.GetGlyph('A'), EBParseException);
    EXPECT_FALSE(font.CachedGlyph('A'));
}

TEST_F(FontTest, GlyphHoldingATextOfItselfDoesNotRecurse)
{
    TDrawDB* db = AddFont("VU Dedadiz", 1000);
    AddGlyph(db, "a.dat", 'A', std::pair<std::uint16_t, std::int16_t>{100, 0},
             Text(0, 0, 0, std::nullopt, "VU Dedadiz", 10, kIdentity, "AA").append(kPeak));
    FontList.AddFontDatabase(db);
    VGlyph* a = FontList.FindFont("VU Dedadiz")->GetGlyph('A');
    ASSERT_TRUE(a);
    ASSERT_EQ(a->FOutlines.size(), 2u);
    EXPECT_TRUE(static_cast<VPathGroup&>(*a->FOutlines[0]).FChildren.empty());
}

TEST_F(FontTest, LayoutScalesByFontSizeOverEmAndMovesToThePosition)
{
    TDrawDB* db = AddFont("VU Dedadiz", 1000);
    AddGlyph(db, "a.dat", 'A', std::pair<std::uint16_t, std::int16_t>{600, 0}, Path(0, std::nullopt, {M(500, -700)}));
    AddGlyph(db, "b.dat", 'B', std::pair<std::uint16_t, std::int16_t>{400, 0}, Path(0, std::nullopt, {M(0, 0)}));
    FontList.AddFontDatabase(db);
    const auto text = ReadText(Text(100, 50, std::nullopt, std::nullopt, "VU Dedadiz", 12, kIdentity, "AB"));
    ASSERT_EQ(text->FChildren.size(), 2u);
    EXPECT_FLOAT_EQ(text->FChildren[0]->FInstructions[0].X, 106);
    EXPECT_FLOAT_EQ(text->FChildren[0]->FInstructions[0].Y, 41.6f);
    // The second glyph sits 600 font units to the right; the baseline ends at 1000 units.
    EXPECT_FLOAT_EQ(text->FChildren[1]->FInstructions[0].X, 100 + 600 * 0.012f);
    EXPECT_FLOAT_EQ(text->FBaseStart.x, 100);
    EXPECT_FLOAT_EQ(text->FBaseEnd.x, 112);
    EXPECT_EQ(text->FFont->FName, "VU Dedadiz");
}

TEST_F(FontTest, TextRecordColoursAndMissingGlyphs)
{
    TDrawDB* db = AddFont("Plain", 1000);
    AddGlyph(db, "0.dat", std::nullopt, std::pair<std::uint16_t, std::int16_t>{500, 0}, kBox);
    AddGlyph(db, "a.dat", 'A', std::pair<std::uint16_t, std::int16_t>{600, 0}, kPeak);
    FontList.AddFontDatabase(db);
    // No colours: the font name length follows the presence bytes directly.
    const auto plain = ReadText(Text(0, 0, std::nullopt, std::nullopt, "Plain", 1000, kIdentity, "AxA"));
    ASSERT_EQ(plain->FChildren.size(), 3u);
    EXPECT_FALSE(plain->FFill);
    EXPECT_EQ(plain->FChildren[0]->FFill->Color, 0u);  // the glyph's own fill
    EXPECT_FLOAT_EQ(plain->FBaseEnd.x, 1700);           // 'x' advanced by the missing glyph
    const auto coloured = ReadText(Text(0, 0, 0x000000FF, 0x0000FF00, "Plain", 1000, kIdentity, "A"));
    EXPECT_EQ(coloured->FChildren[0]->FFill->Color, 0x000000FFu);
    EXPECT_EQ(coloured->FChildren[0]->FStroke->Color, 0x0000FF00u);
}

TEST_F(FontTest, EmptyTextAndUnknownFont)
{
    const Matrix rotate = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    const auto noFont = ReadText(Text(10, 20, std::nullopt, std::nullopt, "Nowhere", 12, rotate, "Hello"));
    EXPECT_EQ(noFont->FFont, nullptr);
    EXPECT_TRUE(noFont->FChildren.empty());
    // Both baseline points end at the position transformed by the matrix.
    EXPECT_FLOAT_EQ(noFont->FBaseStart.x, -20);
    EXPECT_FLOAT_EQ(noFont->FBaseStart.y, 10);
    EXPECT_FLOAT_EQ(noFont->FBaseEnd.x, -20);
    EXPECT_EQ(VPathText::BaselineAngle(noFont->FBaseStart, noFont->FBaseEnd), 0);
}

TEST_F(FontTest, ZeroEmSizeGivesAScaleOfOne)
{
    TDrawDB* db = AddFont("VU Dedadiz", 0);
    AddGlyph(db, "a.dat", 'A', std::pair<std::uint16_t, std::int16_t>{10, 0}, Path(0, std::nullopt, {M(5, -5)}));
    FontList.AddFontDatabase(db);
    EXPECT_EQ(FontList.FindFont("VU Dedadiz")->UnitsPerEm(), 0);
    const auto text = ReadText(Text(1, 2, std::nullopt, std::nullopt, "VU Dedadiz", 12, kIdentity, "A"));
    ASSERT_EQ(text->FChildren.size(), 1u);
    EXPECT_FLOAT_EQ(text->FChildren[0]->FInstructions[0].X, 6);
    EXPECT_FLOAT_EQ(text->FChildren[0]->FInstructions[0].Y, -3);
}

TEST_F(FontTest, TruncatedTextRecordIsAFormatError)
{
    Bytes rec = Text(0, 0, std::nullopt, std::nullopt, "F", 12, kIdentity, "A");
    rec.truncate(20);
    WriteFile(dir / "t.bin", rec);
    BParser r(dir / "t.bin", 1);
    VPathText text;
    EXPECT_THROW(text.Read(r), EBParseException);
}

TEST_F(FontTest, LayoutLetsMessagesThroughBeforeEachCharacter)
{
    TDrawDB* db = AddFont("VU Dedadiz", 1000);
    FontList.AddFontDatabase(db);
    int calls = 0;
    SetLayoutMessageHook([&] { ++calls; });
    ReadText(Text(0, 0, std::nullopt, std::nullopt, "VU Dedadiz", 12, kIdentity, "four"));
    SetLayoutMessageHook(nullptr);
    EXPECT_EQ(calls, 4);
}

TEST(BaselineAngle, CounterClockwiseOnScreen)
{
    const FPoint o{0, 0};
    EXPECT_EQ(VPathText::BaselineAngle(o, {10, 0}), 0);
    EXPECT_EQ(VPathText::BaselineAngle(o, {10, -10}), 45);
    EXPECT_EQ(VPathText::BaselineAngle(o, {0, -10}), 90);
    EXPECT_EQ(VPathText::BaselineAngle(o, {-10, 0}), 180);
    EXPECT_EQ(VPathText::BaselineAngle(o, {0, 10}), 270);
    EXPECT_EQ(VPathText::BaselineAngle(o, {10, 10}), 315);
    EXPECT_EQ(VPathText::BaselineAngle({3, 3}, {3, 3}), 0);
}


// A record's shapes as reading them in order gives them, written out; `error` gets what the
// reading raised.
std::string Written(const VPath& shape)
{
    std::string out;
    const auto bits = [](float v) {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        return std::to_string(u) + ' ';
    };
    out += shape.IsText() ? "x" : shape.IsGroup() ? "g" : "d";
    out += (shape.FFill ? std::to_string(shape.FFill->Color) : "-") + '/' +
           (shape.FStroke ? std::to_string(shape.FStroke->Color) : "-") + ' ';
    if (shape.IsText()) {
        const auto& text = static_cast<const VPathText&>(shape);
        out += text.FFontName + '|' + text.FText + '|' + bits(text.FPosX);
    }
    for (const PathInstr& i : shape.FInstructions)
        out += std::string(1, static_cast<char>(i.Kind)) + bits(i.X) + bits(i.Y) + bits(i.C1X) + bits(i.C2Y);
    if (shape.IsGroup()) {
        out += "{";
        for (const auto& child : static_cast<const VPathGroup&>(shape).FChildren)
            out += child ? Written(*child) : "null";
        out += "}";
    }
    return out + "\n";
}

std::string Written(const std::vector<std::unique_ptr<VPath>>& shapes, const std::string& error)
{
    std::string out = "error: " + error + "\n";
    for (const auto& shape : shapes)
        out += Written(*shape);
    return out;
}

// A long record is read in two halves at once: the second from a kind byte near its middle,
// which may lie inside a path's coordinates, a text's strings or a group. The shapes, where the
// drawing ends and the errors are those of reading it in order: a byte that is not a kind
// ending the drawing in the second half, a record cut short there, and the record's limits.
TEST_F(FontTest, ALongRecordReadInTwoHalvesGivesTheShapesOfReadingItInOrder)
{
    TDrawDB* font = AddFont("VU Test", 1000);
    AddGlyph(font, "a.dat", 'A', std::pair<std::uint16_t, std::int16_t>{600, 20}, kPeak);
    AddGlyph(font, "b.dat", 'B', std::pair<std::uint16_t, std::int16_t>{500, 0}, kBox);
    FontList.AddFontDatabase(font);

    // Coordinates whose bytes are kind bytes: 'd', 'g' and 'x'.
    const auto kindLike = [](std::uint8_t b) {
        const std::uint32_t u = 0x01010101u * b;
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    };
    Random r(7);
    std::vector<Bytes> shapes;
    std::size_t size = 0;
    while (size < (1200u << 10)) {
        std::vector<Bytes> children;
        const int n = r.Below(4) == 0 ? 1 + r.Below(25) : 0;
        for (int i = 0; i < std::max(n, 1); ++i) {
            const float x = r.Uniform(0, 5000), y = r.Uniform(0, 5000);
            switch (r.Below(6)) {
            case 0:
                children.push_back(Text(x, y, 0x00112233, std::nullopt, "VU Test", 40, kIdentity, "ABxdg"));
                break;
            case 1:
                children.push_back(Path(0x000000FF, 0, {M(kindLike('d'), kindLike('g')), L(x, kindLike('x')), Z()}));
                break;
            case 2:
                children.push_back(Group({Path(std::nullopt, 7, {M(x, y), L(y, x)}), Group({})}));
                break;
            default:
                children.push_back(Path(r.Below(2) ? std::optional<std::uint32_t>(r.Next() & 0xFFFFFF) : std::nullopt,
                                        r.Next() & 0xFFFFFF, {M(x, y), C(x + 5, y, x, y + 9, x + 3, y + 3), L(y, x)}));
            }
        }
        shapes.push_back(n > 0 ? GroupOf(children) : children[0]);
        size += shapes.back().size();
    }
    const auto streamOf = [&](std::size_t from, std::size_t to) {
        Bytes stream;
        for (std::size_t i = from; i < to; ++i)
            stream.append(shapes[i]);
        return stream;
    };
    const std::size_t n = shapes.size();
    Bytes endsEarly = streamOf(0, n * 9 / 10);
    endsEarly.u8(1).append(streamOf(n * 9 / 10, n));  // 1 is no kind: the drawing ends there
    Bytes cutShort = streamOf(0, n);
    cutShort.truncate(cutShort.size() * 8 / 10);

    // Reading in order, and what it counted.
    const auto readInOrder = [&](std::vector<std::unique_ptr<VPath>>& out, std::string& error) {
        const ShapeCountScope count;
        try {
            BParser reader(dir / "long.dat", 1096);
            for (auto shape = ShapeFactory::CreateShape(reader.ReadTag()); shape;
                 shape = ShapeFactory::CreateShape(reader.ReadTag()))
                if (auto kept = ReadShape(reader, std::move(shape)))
                    out.push_back(std::move(kept));
        } catch (const std::exception& e) {
            error = e.what();
        }
        return CurrentShapeCounts().shapes;
    };
    WriteFile(dir / "long.dat", Record("Long", streamOf(0, n)));
    std::vector<std::unique_ptr<VPath>> all;
    std::string none;
    const std::int64_t counted = readInOrder(all, none);
    const struct {
        const char* name;
        Bytes stream;
        std::int64_t shapeLimit;
        bool readAhead;  // the second thread's shapes are taken
    } cases[] = {
        {"whole", streamOf(0, n), kMaxShapes, true},
        {"a byte that is no kind", endsEarly, kMaxShapes, true},
        {"cut short", cutShort, kMaxShapes, false},
        {"past the limit of shapes", streamOf(0, n), counted * 8 / 10, false},
    };
    TDrawDB db;
    db.FPath = dir.Path();
    for (const auto& c : cases) {
        SetShapeLimits({c.shapeLimit, kMaxInstructions});
        WriteFile(dir / "long.dat", Record("Long", c.stream));
        std::string error;
        TDrawing drawing(&db, "long.dat");
        try {
            drawing.LoadShapes(false);
        } catch (const std::exception& e) {
            error = e.what();
        }
        std::vector<std::unique_ptr<VPath>> expected;
        std::string expectedError;
        readInOrder(expected, expectedError);
        SetShapeLimits({});
        EXPECT_GT(expected.size(), 1000u) << c.name;
        EXPECT_EQ(drawing.FShapesReadAhead > 0, c.readAhead) << c.name;
        EXPECT_EQ(Written(drawing.FShapes, error), Written(expected, expectedError)) << c.name;
    }
}

}  // namespace
