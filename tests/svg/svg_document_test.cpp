// The SVG document: frame, definitions, paths, groups, texts, fonts and the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "model/Shapes.h"
#include "platform/files/Files.h"
#include "svg/SvgWriter.h"
#include "tests/support/Fixture.h"
#include "text/VFont.h"
#include "text/VPathText.h"

namespace plotwick {
namespace {

// The options every document of a test is written with; each test starts from the defaults.
SvgOptions g_options;

// The file as the export writes it: the whole document, then the atomic write.
void SaveSvg(const TDrawing& d, const std::string& path)
{
    const SvgFile file = BuildSvgFile(d, g_options);
    const auto bytes = file.Bytes();
    files::WriteFileAtomically(path, bytes.data(), bytes.size());
}

namespace fx = fixture;

// ---------------------------------------------------------------------------------------------
// Helpers

std::string Utf8(const SvgText& d)
{
    std::string out;
    for (std::size_t i = 0; i < d.size(); ++i) {
        char32_t c = d[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < d.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (d[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// Lines joined with CR LF, each line ended by one.
std::string Lines(std::initializer_list<std::string> lines)
{
    std::string out;
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out;
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out;
}

PathInstr Instr(char kind, float x = 0, float y = 0, float c1x = 0, float c1y = 0, float c2x = 0, float c2y = 0)
{
    PathInstr i;
    i.Kind = static_cast<std::uint8_t>(kind);
    i.X = x;
    i.Y = y;
    i.C1X = c1x;
    i.C1Y = c1y;
    i.C2X = c2x;
    i.C2Y = c2y;
    return i;
}

std::unique_ptr<VPath> MakePath(std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke,
                                std::initializer_list<PathInstr> instructions, bool glyph = false)
{
    auto p = std::make_unique<VPath>();
    if (fill)
        p->SetFill(*fill);
    if (stroke)
        p->SetStroke(*stroke);
    for (const PathInstr& i : instructions)
        p->AddInstruction(i);
    p->FIsGlyph = glyph;
    return p;
}

// A font database folder of glyph record files; the font is created once the glyphs are there.
class FontFolder {
public:
    FontFolder(const fx::TempDir& dir, const std::string& name, std::uint16_t unitsPerEm = 1000)
    {
        folder_ = dir / name;
        fx::MakeFolders(folder_);
        db_.FPath = folder_;
        db_.FName = name;
        db_.FKind = kFonts;
        db_.FHeaderWord = unitsPerEm;
    }
    void Glyph(const std::string& file, std::optional<std::uint8_t> code, std::uint16_t width, std::int16_t spacing,
               const fx::Bytes& shapes)
    {
        fx::WriteFile(folder_ + "/" + file, fx::GlyphRecord(code, std::make_pair(width, spacing), shapes));
    }
    VFont& Font()
    {
        if (!font_)
            font_ = std::make_unique<VFont>(&db_);
        return *font_;
    }
    TDrawDB* Db() { return &db_; }

private:
    std::string folder_;
    TDrawDB db_;
    std::unique_ptr<VFont> font_;
};

// A small font: a missing glyph of width 500, "A" of width 600 and
// spacing 20, no glyph for "B".
void WriteExampleFont(FontFolder& f)
{
    f.Glyph("missing.dat", std::nullopt, 500, 0,
            fx::Path(std::nullopt, std::nullopt, {fx::M(50, -100), fx::L(450, -100), fx::L(450, -600), fx::Z()}));
    f.Glyph("a.dat", 'A', 600, 20,
            fx::Path(std::nullopt, std::nullopt, {fx::M(10, -10), fx::L(300, -700), fx::L(590, -10), fx::Z()}));
}

const std::vector<std::string> kExampleFontLines = {
    "\t\t<font id=\"Font1\">",
    "\t\t\t<font-face font-family=\"VU Dedadiz\" units-per-em=\"1000\">",
    "\t\t\t</font-face>",
    "\t\t\t<missing-glyph horiz-adv-x=\"500\">",
    "\t\t\t\t<path fill-rule=\"evenodd\" d=\"M50,100L450,100L450,600z\" />",
    "\t\t\t</missing-glyph>",
    "\t\t\t<glyph unicode=\"A\" horiz-adv-x=\"620\">",
    "\t\t\t\t<path fill-rule=\"evenodd\" d=\"M10,10L300,700L590,10z\" />",
    "\t\t\t</glyph>",
    "\t\t</font>",
};

std::unique_ptr<VPathText> MakeText(VFont* font, const std::string& text, std::optional<std::uint32_t> fill,
                                    std::optional<std::uint32_t> stroke)
{
    auto t = std::make_unique<VPathText>();
    t->FPosX = 10;
    t->FPosY = 20;
    t->FFontSize = 12;
    t->FFont = font;
    t->FFontName = font ? font->FName : std::string();
    t->FText = text;
    if (fill)
        t->SetFill(*fill);
    if (stroke)
        t->SetStroke(*stroke);
    return t;
}

// A text at (10, 20) of size 12 in the font of that name, laid out with the fonts loaded.
std::unique_ptr<VPathText> LaidOutText(const std::string& fontName, const std::string& chars,
                                       std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke)
{
    auto t = std::make_unique<VPathText>();
    t->FPosX = 10;
    t->FPosY = 20;
    t->FFontSize = 12;
    t->FFontName = fontName;
    t->FText = chars;
    if (fill)
        t->SetFill(*fill);
    if (stroke)
        t->SetStroke(*stroke);
    t->Layout();
    return t;
}

std::string Frame(int w, int h, const std::string& e, const std::string& f)
{
    const std::string ws = std::to_string(w), hs = std::to_string(h);
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + ws + "\" height=\"" + hs + "\" viewBox=\"0 0 " +
           ws + " " + hs + "\" >\r\n<g transform=\"matrix(1.00 0.00 0.00 1.00 " + e + " " + f + ")\" >\r\n";
}

const std::string kFrameEnd = "</g>\r\n</svg>\r\n";

// Every test starts from the default options and an empty font list, and leaves them so.
class SvgDocument : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        g_options = {};
        FontList.Clear();
    }

    std::string Build(const TDrawing& d) const
    {
        SvgText text;
        BuildSvg(d, text, g_options);
        return Utf8(text);
    }

    fx::TempDir dir_;
    TDrawDB drawDb_ = [this] {
        TDrawDB db;
        db.FPath = dir_.Path();
        return db;
    }();
    TDrawing drawing_{&drawDb_, "absent.dat"};
};

// ---------------------------------------------------------------------------------------------
// Pieces

TEST(SvgPieces, PathDataOfEachKind)
{
    struct Case {
        PathInstr instr;
        const char* text;
    } cases[] = {
        {Instr('M', 10.2f, -4.6f), "M10.2,-4.6"},
        {Instr('L', 50, 8), "L50,8"},
        {Instr('C', 20, 6, 40, 2, 30, 4.5f), "C40,2 30,4.5 20,6"},
        {Instr('S', 20, 6, 99, 99, 30, 4.5f), "S30,4.5 20,6"},  // the first control point is not written
        {Instr('z'), "z"},
        {Instr('Z', 1, 2), ""},
        {Instr('Q', 1, 2, 3, 4, 5, 6), ""},
        {Instr(0, 1, 2), ""},
        {Instr('M', -0.5f, 0.25f), "M-0.5,0.25"},
        {Instr('L', 3.0f, -0.0f), "L3,0"},
        {Instr('L', 1.0f / 3.0f, 12345678.0f), "L0.3333333,1.234568E7"},
    };
    for (const auto& c : cases) {
        SvgText d = u"x";
        WriteSvgData(c.instr, d);
        EXPECT_EQ(Utf8(d), std::string("x") + c.text) << c.text;
    }
}

TEST(SvgPieces, ColourText)
{
    struct Case {
        std::uint32_t value;
        const char* text;
    } cases[] = {
        {0x000080FF, "#FF8000"},  // red 255, green 128, blue 0
        {0, "#000000"},
        {0x00FFFFFF, "#FFFFFF"},
        {0x00123456, "#563412"},
        {0xAB0A0B0C, "#0C0B0A"},  // the top byte plays no part
    };
    for (const auto& c : cases)
        EXPECT_EQ(SvgColorText(c.value), c.text);
}

TEST(SvgPieces, XmlText)
{
    struct Case {
        std::string data;
        XmlPlace place;
        const char* text;
    } cases[] = {
        {"a&b<c>d\"e'", XmlPlace::Content, "a&amp;b&lt;c>d\"e'"},
        {"a&b<c>d\"e'", XmlPlace::Attribute, "a&amp;b&lt;c>d&quot;e'"},
        {"x]]>y", XmlPlace::Content, "x]]&gt;y"},
        {"x]>y]]", XmlPlace::Content, "x]>y]]"},
        // Windows-1252: the euro sign, typographic quotes, accented letters, an unassigned code.
        {"\x80\x93\xE9\xFF\x81", XmlPlace::Content, "\u20AC\u201C\u00E9\u00FF\u0081"},
        // Control codes XML does not allow are replaced; TAB, LF, CR stay in content and
        // become character references in attribute values.
        {std::string("a\x01\x1F", 3) + std::string(1, '\0') + "b", XmlPlace::Content, "a\uFFFD\uFFFD\uFFFDb"},
        {"a\tb\nc\rd", XmlPlace::Content, "a\tb\nc\rd"},
        {"a\tb\nc\rd", XmlPlace::Attribute, "a&#9;b&#10;c&#13;d"},
        {"\x7F", XmlPlace::Content, "\x7F"},
    };
    for (const auto& c : cases) {
        SvgText d;
        AppendXmlText(d, c.data, c.place);
        EXPECT_EQ(Utf8(d), c.text) << c.data;
    }
}

TEST(SvgPieces, NamesFromTheFileSystem)
{
    struct Case {
        std::string name;
        const char* text;
    } cases[] = {
        {"VU Dedadiz", "VU Dedadiz"},
        {"Caf\xC3\xA9 & Co", "Caf\u00E9 &amp; Co"},  // valid UTF-8
        {"Caf\xE9", "Caf\u00E9"},                     // not UTF-8: Windows-1252
        {"\xC0\xAF", "\u00C0\u00AF"},                 // an overlong form is not UTF-8
    };
    for (const auto& c : cases) {
        SvgText d;
        AppendXmlName(d, c.name, XmlPlace::Attribute);
        EXPECT_EQ(Utf8(d), c.text);
    }
}

// ---------------------------------------------------------------------------------------------
// Paths and groups

TEST(SvgShapes, PathElements)
{
    struct Case {
        const char* name;
        std::unique_ptr<VPath> path;
        int level;
        const char* line;
    };
    Case cases[] = {
        {"a path of every kind", MakePath(std::nullopt, 0, {Instr('M', 10.2f, -4.6f), Instr('L', 50, 8), Instr('C', 20, 6, 40, 2, 30, 4.5f), Instr('z')}), 1,
         "\t<path fill-rule=\"evenodd\" stroke=\"#000000\" fill=\"none\" d=\"M10.2,-4.6L50,8C40,2 30,4.5 20,6z\" />"},
        {"no colours", MakePath(std::nullopt, std::nullopt, {Instr('M', 1, 2)}), 1,
         "\t<path fill-rule=\"evenodd\" stroke=\"none\" fill=\"none\" d=\"M1,2\" />"},
        {"no instructions", MakePath(0x000080FF, std::nullopt, {}), 2,
         "\t\t<path fill-rule=\"evenodd\" stroke=\"none\" fill=\"#FF8000\" d=\"\" />"},
        {"stroke before fill", MakePath(0x00FF0000, 0x000000FF, {Instr('M', 0, 0)}), 0,
         "<path fill-rule=\"evenodd\" stroke=\"#FF0000\" fill=\"#0000FF\" d=\"M0,0\" />"},
        {"glyph outline", MakePath(0x00FF0000, 0x000000FF, {Instr('M', 1, 1), Instr('z')}, true), 4,
         "\t\t\t\t<path fill-rule=\"evenodd\" d=\"M1,1z\" />"},
        {"unknown kind joins its neighbours", MakePath(std::nullopt, 0, {Instr('M', 1, 2), Instr('Q', 7, 7), Instr('L', 3, 4)}), 1,
         "\t<path fill-rule=\"evenodd\" stroke=\"#000000\" fill=\"none\" d=\"M1,2L3,4\" />"},
        {"numbers", MakePath(std::nullopt, 0, {Instr('M', -0.5f, 0.25f), Instr('L', 3.0f, 0.00005f), Instr('S', 0, 0, 0, 0, 1e-45f, -1234567.8f)}), 1,
         "\t<path fill-rule=\"evenodd\" stroke=\"#000000\" fill=\"none\" d=\"M-0.5,0.25L3,5E-5S1.401298E-45,-1234568 0,0\" />"},
    };
    for (const auto& c : cases) {
        SvgText d;
        WriteSvg(*c.path, d, c.level, g_options);
        EXPECT_EQ(Utf8(d), std::string(c.line) + "\r\n") << c.name;
    }
}

TEST_F(SvgDocument, NestedGroupsIndentByLevelAndCloseAtColumnZero)
{
    auto inner = std::make_unique<VPathGroup>();
    inner->AddChild(MakePath(std::nullopt, 0, {Instr('M', 0, 0), Instr('L', 4, 3)}));
    inner->SetFill(0x00FF00FF);  // a group's own colours are never written
    auto outer = std::make_unique<VPathGroup>();
    outer->AddChild(std::move(inner));
    outer->AddChild(MakePath(0, std::nullopt, {Instr('M', 1, 1)}));
    drawing_.FShapes.push_back(std::move(outer));
    drawing_.FShapes.push_back(nullptr);  // empty entries are skipped
    drawing_.FShapes.push_back(std::make_unique<VPathGroup>());

    EXPECT_EQ(Build(drawing_), Frame(4, 3, "0.00", "0.00") + Lines({
                                   "\t<defs>",
                                   "\t</defs>",
                                   "\t<g>",
                                   "\t\t<g>",
                                   "\t\t\t<path fill-rule=\"evenodd\" stroke=\"#000000\" fill=\"none\" d=\"M0,0L4,3\" />",
                                   "</g>",
                                   "\t\t<path fill-rule=\"evenodd\" stroke=\"none\" fill=\"#000000\" d=\"M1,1\" />",
                                   "</g>",
                                   "\t<g>",
                                   "</g>",
                               }) + kFrameEnd);
}

// ---------------------------------------------------------------------------------------------
// The document

TEST_F(SvgDocument, WorkedExample)
{
    drawing_.FOffsetX = -10;
    drawing_.FOffsetY = 5;
    drawing_.FShapes.push_back(MakePath(std::nullopt, 0,
                                        {Instr('M', 10.2f, -4.6f), Instr('L', 50, 8), Instr('C', 20, 6, 40, 2, 30, 4.5f), Instr('z')}));
    // Bounds 10..50 x -5..8.
    EXPECT_EQ(Build(drawing_),
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"13\" viewBox=\"0 0 40 13\" >\r\n"
              "<g transform=\"matrix(1.00 0.00 0.00 1.00 -10.00 5.00)\" >\r\n"
              "\t<defs>\r\n"
              "\t</defs>\r\n"
              "\t<path fill-rule=\"evenodd\" stroke=\"#000000\" fill=\"none\" d=\"M10.2,-4.6L50,8C40,2 30,4.5 20,6z\" />\r\n"
              "</g>\r\n"
              "</svg>\r\n");
}

TEST_F(SvgDocument, EmptyDrawings)
{
    struct Case {
        const char* name;
        bool emptyGroup;
        bool substitute;
        std::string text;
    } cases[] = {
        {"no shapes", false, false, Frame(0, 0, "0.00", "0.00") + Lines({"\t<defs>", "\t</defs>"}) + kFrameEnd},
        {"no shapes, substitute face", false, true, Frame(0, 0, "0.00", "0.00") + kFrameEnd},
        {"only an empty group", true, false, Frame(0, 0, "0.00", "0.00") + Lines({"\t<defs>", "\t</defs>", "\t<g>", "</g>"}) + kFrameEnd},
    };
    for (const auto& c : cases) {
        TDrawing d(&drawDb_, "absent.dat");
        if (c.emptyGroup)
            d.FShapes.push_back(std::make_unique<VPathGroup>());
        g_options.SubstituteFontName = c.substitute ? "Arial" : "";
        EXPECT_EQ(Build(d), c.text) << c.name;
    }
}

TEST_F(SvgDocument, FrameSizeIsTheIntegerBounds)
{
    struct Case {
        float x0, y0, x1, y1;
        float offsetX, offsetY;
        std::string frame;
    } cases[] = {
        {0.5f, 1.5f, 2.5f, -0.5f, 0, -2, Frame(2, 2, "0.00", "-2.00")},  // halves go to even: 0..2 x 0..2
        {-100.4f, -50.6f, 220.7f, 30.2f, 100, 51, Frame(321, 81, "100.00", "51.00")},
        {3, 4, 3, 4, -3, -4, Frame(1, 1, "-3.00", "-4.00")},  // a single point: one unit, so readers show it
        {0, 5, 100, 5, 0, -5, Frame(100, 1, "0.00", "-5.00")},  // a horizontal line
    };
    for (const auto& c : cases) {
        TDrawing d(&drawDb_, "absent.dat");
        d.FOffsetX = c.offsetX;
        d.FOffsetY = c.offsetY;
        d.FShapes.push_back(MakePath(std::nullopt, 0, {Instr('M', c.x0, c.y0), Instr('L', c.x1, c.y1)}));
        EXPECT_EQ(Build(d).substr(0, c.frame.size()), c.frame);
    }
}

TEST_F(SvgDocument, FileIsUtf16LittleEndianWithByteOrderMark)
{
    drawing_.FOffsetX = -1;
    drawing_.FShapes.push_back(MakePath(std::nullopt, 0, {Instr('M', 1, 0), Instr('L', 2, 1)}));
    auto text = MakeText(nullptr, "\x80", 0, std::nullopt);  // the euro sign, U+20AC
    text->FFontName = "None";
    drawing_.FShapes.push_back(std::move(text));

    const std::string path = dir_ / "out.svg";
    SaveSvg(drawing_, path);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    SvgText doc;
    BuildSvg(drawing_, doc, g_options);
    ASSERT_EQ(bytes.size(), 2 + 2 * doc.size());
    const unsigned char head[] = {0xFF, 0xFE, 0x3C, 0x00, 0x73, 0x00, 0x76, 0x00, 0x67, 0x00, 0x20, 0x00};
    for (std::size_t i = 0; i < sizeof head; ++i)
        EXPECT_EQ(static_cast<unsigned char>(bytes[i]), head[i]) << "byte " << i;
    for (std::size_t i = 0; i < doc.size(); ++i) {
        const auto lo = static_cast<unsigned char>(bytes[2 + 2 * i]);
        const auto hi = static_cast<unsigned char>(bytes[3 + 2 * i]);
        ASSERT_EQ(static_cast<char16_t>(lo | (hi << 8)), doc[i]) << "unit " << i;
    }
    EXPECT_NE(bytes.find(std::string("\xAC\x20<\0/\0t\0", 8)), std::string::npos);  // "€</t", low byte first
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\r\0\n\0", 4));

    EXPECT_EQ(SvgFileBytes(u""), (std::vector<std::uint8_t>{0xFF, 0xFE}));
    EXPECT_EQ(SvgFileBytes(u"A\u20AC\U0001F600"),
              (std::vector<std::uint8_t>{0xFF, 0xFE, 0x41, 0x00, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE}));
}

TEST_F(SvgDocument, FailedSaveLeavesTheExistingFile)
{
    drawing_.FShapes.push_back(MakePath(std::nullopt, 0, {Instr('M', 1, 0)}));
    EXPECT_THROW(SaveSvg(drawing_, dir_ / "missing-folder/out.svg"), std::exception);

    // A document that cannot be built touches nothing on disk: a damaged glyph file raises
    // while the fonts are written.
    FontFolder f(dir_, "Broken");
    fx::WriteFile(dir_ / "Broken/b.dat", fx::GlyphRecord('B', std::make_pair(std::uint16_t{5}, std::int16_t{0}),
                                                          fx::Bytes{'d', 0, 0, 'M'}));
    drawing_.FShapes.push_back(MakeText(&f.Font(), "B", 0, std::nullopt));
    const std::string path = dir_ / "kept.svg";
    fx::WriteFile(path, fx::Bytes{'o', 'l', 'd'});
    EXPECT_THROW(SaveSvg(drawing_, path), std::exception);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "old");
}

// ---------------------------------------------------------------------------------------------
// Texts and fonts

TEST_F(SvgDocument, TextWorkedExample)
{
    FontFolder f(dir_, "VU Dedadiz");
    WriteExampleFont(f);
    FontList.AddFontDatabase(f.Db());
    // Outlines at 12/1000 of the font units: x 10.12..22.84, y 11.6..19.88.
    auto text = LaidOutText("VU Dedadiz", "AB", 0, std::nullopt);
    drawing_.FOffsetX = -10;
    drawing_.FOffsetY = -12;
    drawing_.FShapes.push_back(std::move(text));

    std::vector<std::string> lines = {"\t<defs>"};
    lines.insert(lines.end(), kExampleFontLines.begin(), kExampleFontLines.end());
    lines.push_back("\t</defs>");
    lines.push_back("\t<text ");
    lines.push_back("x=\"10.00\" y=\"20.00\" transform=\"matrix(1.00 0.00 0.00 1.00 0.00 0.00)\" "
                    "font-family=\"VU Dedadiz\" font-size=\"12\" stroke=\"none\" fill=\"#000000\" >AB</text>");
    EXPECT_EQ(Build(drawing_), Frame(13, 8, "-10.00", "-12.00") + Lines(lines) + kFrameEnd);
}

TEST_F(SvgDocument, TextOutlinesOption)
{
    FontFolder f(dir_, "VU Dedadiz");
    WriteExampleFont(f);
    // A glyph with a stroke of its own keeps it when the text has no stroke; a group inside
    // a glyph stays a group.
    f.Glyph("c.dat", 'C', 100, 0,
            fx::Group({fx::Path(std::nullopt, 0x000000FF, {fx::M(0, 0), fx::L(0, -500)})}));
    FontList.AddFontDatabase(f.Db());
    auto text = LaidOutText("vu dedadiz", "ABC", 0x00008000, std::nullopt);
    drawing_.FOffsetX = -10;
    drawing_.FOffsetY = -12;
    drawing_.FShapes.push_back(std::move(text));
    g_options.TextOutlines = true;

    const std::string doc = Build(drawing_);
    EXPECT_EQ(doc, Frame(13, 8, "-10.00", "-12.00") +
                       Lines({
                           "\t<defs>",
                           "\t</defs>",
                           "\t<g>",
                           "\t\t<path fill-rule=\"evenodd\" stroke=\"none\" fill=\"#008000\" d=\"M10.12,19.88L13.6,11.6L17.08,19.88z\" />",
                           "\t\t<path fill-rule=\"evenodd\" stroke=\"none\" fill=\"#008000\" d=\"M18.04,18.8L22.84,18.8L22.84,12.8z\" />",
                           "\t\t<g>",
                           "\t\t\t<path fill-rule=\"evenodd\" stroke=\"#FF0000\" fill=\"none\" d=\"M23.44,20L23.44,14\" />",
                           "</g>",
                           "</g>",
                       }) +
                       kFrameEnd);

    // The substitute face changes nothing about the outlines, but leaves out the definitions.
    g_options.SubstituteFontName = "Arial";
    const std::string substituted = Build(drawing_);
    EXPECT_EQ(substituted.find("<defs>"), std::string::npos);
    EXPECT_NE(substituted.find("\t<g>\r\n\t\t<path fill-rule=\"evenodd\" stroke=\"none\" fill=\"#008000\" d=\"M10.12"),
              std::string::npos);
}

TEST_F(SvgDocument, TextPaintInBothModes)
{
    const std::string family = "font-family=\"VU Dedadiz\" font-size=\"12\" ";
    const std::string arial = "font-family=\"Arial, Helvetica\" font-size=\"12\" ";
    struct Case {
        const char* name;
        std::optional<std::uint32_t> fill, stroke;
        bool substitute;
        std::string attributes;
    } cases[] = {
        {"fill only", 0x000000FF, std::nullopt, false, family + "stroke=\"none\" fill=\"#FF0000\" "},
        {"fill and stroke", 0x000000FF, 0x00FF0000, false, family + "stroke=\"#0000FF\" fill=\"#FF0000\" "},
        {"neither", std::nullopt, std::nullopt, false, family + "stroke=\"none\" fill=\"none\" "},
        {"substitute, fill only", 0x000000FF, std::nullopt, true, arial + "stroke=\"none\" fill=\"#FF0000\" "},
        {"substitute, stroke only", std::nullopt, 0x00FF0000, true, arial + "fill=\"#0000FF\" stroke=\"none\" "},
        {"substitute, fill and stroke", 0x000000FF, 0x00FF0000, true, arial + "stroke=\"#0000FF\" fill=\"#FF0000\" "},
        {"substitute, neither", std::nullopt, std::nullopt, true, arial + "stroke=\"none\" fill=\"none\" "},
    };
    FontFolder f(dir_, "VU Dedadiz");
    WriteExampleFont(f);
    for (const auto& c : cases) {
        g_options.SubstituteFontName = c.substitute ? "Arial" : "";
        auto text = MakeText(&f.Font(), "A", c.fill, c.stroke);
        SvgText d;
        WriteSvg(*text, d, 2, g_options);
        EXPECT_EQ(Utf8(d), "\t\t<text \r\nx=\"10.00\" y=\"20.00\" transform=\"matrix(1.00 0.00 0.00 1.00 0.00 0.00)\" " +
                               c.attributes + ">A</text>\r\n")
            << c.name;
    }
}

TEST_F(SvgDocument, TextPositionMatrixAndEscaping)
{
    FontFolder f(dir_, "VU Dedadiz");
    WriteExampleFont(f);
    auto text = MakeText(&f.Font(), "R&D <1> \"q\" \x80", 0, std::nullopt);
    text->FPosX = -0.125f;
    text->FPosY = 123456.789f;
    text->FFontSize = 65535;
    text->FMatrix = Matrix3(0.5f, -0.866f, 0, 0.866f, 0.5f, 0, 12345678.0f, -0.001f, 1);
    SvgText d;
    WriteSvg(*text, d, 1, g_options);
    EXPECT_EQ(Utf8(d), "\t<text \r\nx=\"-0.13\" y=\"123456.80\" transform=\"matrix(0.50 -0.87 0.87 0.50 1.234568E7 0.00)\" "
                       "font-family=\"VU Dedadiz\" font-size=\"65535\" stroke=\"none\" fill=\"#000000\" "
                       ">R&amp;D &lt;1> \"q\" \u20AC</text>\r\n");
}

TEST_F(SvgDocument, TextWithoutFontNamesItsOwnFontAndEmbedsNothing)
{
    auto text = MakeText(nullptr, "Hi", 0, std::nullopt);
    text->FFontName = "Nowhere & \"Co\"";
    drawing_.FShapes.push_back(std::move(text));
    // What a normalising load leaves for a drawing whose bounds are empty: the document is
    // not moved by it.
    drawing_.FOffsetX = drawing_.FOffsetY = -100000;
    EXPECT_EQ(Build(drawing_), Frame(0, 0, "0.00", "0.00") +
                                   Lines({"\t<defs>", "\t</defs>", "\t<text ",
                                          "x=\"10.00\" y=\"20.00\" transform=\"matrix(1.00 0.00 0.00 1.00 0.00 0.00)\" "
                                          "font-family=\"Nowhere &amp; &quot;Co&quot;\" font-size=\"12\" stroke=\"none\" "
                                          "fill=\"#000000\" >Hi</text>"}) +
                                   kFrameEnd);
    SvgFontUse fonts;
    CollectFonts(*drawing_.FShapes[0], fonts);
    EXPECT_TRUE(fonts.empty());
}

// The font section of a built document: the lines between "<defs>" and "</defs>".
std::string DefsOf(const std::string& doc)
{
    const auto begin = doc.find("\t<defs>\r\n");
    const auto end = doc.find("\t</defs>\r\n");
    if (begin == std::string::npos || end == std::string::npos)
        return "(no defs)";
    return doc.substr(begin + 9, end - begin - 9);
}

std::string GlyphElement(const std::string& unicode, int advance, const std::string& data)
{
    return Lines({"\t\t\t<glyph unicode=\"" + unicode + "\" horiz-adv-x=\"" + std::to_string(advance) + "\">",
                  "\t\t\t\t<path fill-rule=\"evenodd\" d=\"" + data + "\" />", "\t\t\t</glyph>"});
}

std::string FontHead(int id, const std::string& name, int upem, int missingAdvance, const std::string& missingData)
{
    std::vector<std::string> l = {"\t\t<font id=\"Font" + std::to_string(id) + "\">",
                                  "\t\t\t<font-face font-family=\"" + name + "\" units-per-em=\"" + std::to_string(upem) + "\">",
                                  "\t\t\t</font-face>",
                                  "\t\t\t<missing-glyph horiz-adv-x=\"" + std::to_string(missingAdvance) + "\">"};
    if (!missingData.empty())
        l.push_back("\t\t\t\t<path fill-rule=\"evenodd\" d=\"" + missingData + "\" />");
    l.push_back("\t\t\t</missing-glyph>");
    return Lines(l);
}

const std::string kFontEnd = "\t\t</font>\r\n";

// A font with glyphs for A, B, C (widths 100, 200, 300), a missing glyph and a glyph of
// width 500 and spacing -520 for "-".
void WriteAbcFont(FontFolder& f)
{
    f.Glyph("0.dat", std::nullopt, 50, 0, fx::Path(0, std::nullopt, {fx::M(0, -1), fx::Z()}));
    f.Glyph("z.dat", 'A', 100, 0, fx::Path(0, 0x00FF0000, {fx::M(1, -10), fx::L(2, 0)}));
    f.Glyph("y.dat", 'B', 200, 0, fx::Path(std::nullopt, std::nullopt, {fx::M(2, -20)}));
    f.Glyph("x.dat", 'C', 300, 0, fx::Path(std::nullopt, std::nullopt, {fx::M(3, -30)}));
    f.Glyph("w.dat", '-', 500, -520, fx::Path(std::nullopt, std::nullopt, {fx::M(4, 0.5f)}));
}

TEST_F(SvgDocument, StrokeOnlyTextIsWrittenAsItsOutlines)
{
    // No reader draws a text element with a stroke and no fill as the preview does: the
    // default document holds its outlines, with the text's stroke, and embeds no font for it.
    FontFolder f(dir_, "VU Dedadiz");
    WriteExampleFont(f);
    FontList.AddFontDatabase(f.Db());
    drawing_.FShapes.push_back(LaidOutText("vu dedadiz", "AB", std::nullopt, 0x00FF0000));

    const std::string doc = Build(drawing_);
    EXPECT_EQ(DefsOf(doc), "");
    EXPECT_EQ(doc.find("<text"), std::string::npos);
    EXPECT_EQ(doc.find("stroke-width"), std::string::npos);
    EXPECT_NE(doc.find("\t<g>\r\n\t\t<path fill-rule=\"evenodd\" stroke=\"#0000FF\" "), std::string::npos) << doc;
}

TEST_F(SvgDocument, FontsOfSeveralTexts)
{
    FontFolder abc(dir_, "Abc");
    WriteAbcFont(abc);
    FontFolder other(dir_, "Other", 2048);
    other.Glyph("m.dat", std::nullopt, 7, 0, fx::Path(std::nullopt, std::nullopt, {fx::M(5, 5)}));
    other.Glyph("b.dat", 'B', 9, 0, fx::Path(std::nullopt, std::nullopt, {fx::M(6, -6)}));

    const std::string head = FontHead(1, "Abc", 1000, 50, "M0,1z");
    const std::string a = GlyphElement("A", 100, "M1,10L2,0");  // no colour attributes
    const std::string b = GlyphElement("B", 200, "M2,20");
    const std::string c = GlyphElement("C", 300, "M3,30");
    struct Case {
        const char* name;
        std::vector<std::pair<FontFolder*, std::string>> texts;
        std::string defs;
    } cases[] = {
        {"one font, used characters once each and ascending", {{&abc, "CA"}, {&abc, "BAAC"}}, head + a + b + c + kFontEnd},
        {"a character without glyph gets none", {{&abc, "AxB"}}, head + a + b + kFontEnd},
        {"negative advance", {{&abc, "-"}}, head + GlyphElement("-", -20, "M4,-0.5") + kFontEnd},
        {"two fonts in document order", {{&other, "BA"}, {&abc, "C"}, {&other, "B"}},
         FontHead(1, "Other", 2048, 7, "M5,-5") + GlyphElement("B", 9, "M6,6") + kFontEnd +
             FontHead(2, "Abc", 1000, 50, "M0,1z") + c + kFontEnd},
    };
    for (const auto& cs : cases) {
        TDrawing d(&drawDb_, "absent.dat");
        for (const auto& [font, s] : cs.texts)
            d.FShapes.push_back(MakeText(&font->Font(), s, 0, std::nullopt));
        EXPECT_EQ(DefsOf(Build(d)), cs.defs) << cs.name;
    }
}

TEST_F(SvgDocument, TextsInsideGroupsAreCollected)
{
    FontFolder abc(dir_, "Abc");
    WriteAbcFont(abc);
    auto group = std::make_unique<VPathGroup>();
    auto inner = std::make_unique<VPathGroup>();
    inner->AddChild(MakeText(&abc.Font(), "B", 0, std::nullopt));
    group->AddChild(std::move(inner));
    drawing_.FShapes.push_back(std::move(group));
    const std::string doc = Build(drawing_);
    EXPECT_EQ(DefsOf(doc), FontHead(1, "Abc", 1000, 50, "M0,1z") + GlyphElement("B", 200, "M2,20") + kFontEnd);
    EXPECT_NE(doc.find("\t\t\t<text \r\n"), std::string::npos);
}

TEST_F(SvgDocument, SubstituteFaceWritesNoFontsAndCollectsNothing)
{
    FontFolder abc(dir_, "Abc");
    WriteAbcFont(abc);
    drawing_.FShapes.push_back(MakeText(&abc.Font(), "A", 0, std::nullopt));
    g_options.SubstituteFontName = "Arial";
    const std::string doc = Build(drawing_);
    EXPECT_EQ(doc.find("defs"), std::string::npos);
    EXPECT_EQ(doc.find("<font"), std::string::npos);
    EXPECT_NE(doc.find("font-family=\"Arial, Helvetica\""), std::string::npos);
}

TEST_F(SvgDocument, SecondExportGivesTheSameBytesAndLeavesTheGlyphCache)
{
    FontFolder abc(dir_, "Abc");
    WriteAbcFont(abc);
    drawing_.FShapes.push_back(MakeText(&abc.Font(), "AB-", 0, std::nullopt));
    const std::string first = Build(drawing_);

    VGlyph* a = abc.Font().CachedGlyph('A');
    ASSERT_NE(a, nullptr);
    const PathInstr& m = a->FOutlines.at(0)->FInstructions.at(0);
    EXPECT_EQ(m.X, 1.0f);
    EXPECT_EQ(m.Y, -10.0f);
    const PathInstr& dash = abc.Font().CachedGlyph('-')->FOutlines.at(0)->FInstructions.at(0);
    EXPECT_EQ(dash.Y, 0.5f);

    EXPECT_EQ(Build(drawing_), first);
    const std::string path1 = dir_ / "1.svg", path2 = dir_ / "2.svg";
    SaveSvg(drawing_, path1);
    SaveSvg(drawing_, path2);
    std::ifstream in1(path1, std::ios::binary), in2(path2, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in1), {}), std::string(std::istreambuf_iterator<char>(in2), {}));
}

TEST_F(SvgDocument, GlyphCacheRestoredExactlyAfterMirroring)
{
    // Coordinates whose mirror image is not simply restored by mirroring again: an infinity
    // and a negative zero.
    FontFolder f(dir_, "Odd");
    f.Glyph("0.dat", std::nullopt, 1, 0,
            fx::Path(std::nullopt, std::nullopt, {fx::M(std::numeric_limits<float>::infinity(), 2), fx::L(-0.0f, 3)}));
    drawing_.FShapes.push_back(MakeText(&f.Font(), "x", 0, std::nullopt));
    Build(drawing_);
    const auto& instr = f.Font().CachedGlyph(0)->FOutlines.at(0)->FInstructions;
    EXPECT_EQ(instr[0].X, std::numeric_limits<float>::infinity());
    EXPECT_EQ(instr[0].Y, 2.0f);
    EXPECT_TRUE(std::signbit(instr[1].X));
    EXPECT_EQ(instr[1].Y, 3.0f);
}

TEST_F(SvgDocument, SecondDocumentWithFewerCharacters)
{
    FontFolder abc(dir_, "Abc");
    WriteAbcFont(abc);
    TDrawing first(&drawDb_, "absent.dat");
    first.FShapes.push_back(MakeText(&abc.Font(), "ABC", 0, std::nullopt));
    Build(first);
    TDrawing second(&drawDb_, "absent.dat");
    second.FShapes.push_back(MakeText(&abc.Font(), "B", 0, std::nullopt));
    EXPECT_EQ(DefsOf(Build(second)), FontHead(1, "Abc", 1000, 50, "M0,1z") + GlyphElement("B", 200, "M2,20") + kFontEnd);
}

TEST_F(SvgDocument, FontWithoutMissingGlyph)
{
    FontFolder f(dir_, "Sparse");
    f.Glyph("a.dat", 'A', 10, 2, fx::Path(std::nullopt, std::nullopt, {fx::M(1, -1)}));
    drawing_.FShapes.push_back(MakeText(&f.Font(), "AB", 0, std::nullopt));
    EXPECT_EQ(DefsOf(Build(drawing_)), FontHead(1, "Sparse", 1000, 0, "") + GlyphElement("A", 12, "M1,1") + kFontEnd);
}

TEST_F(SvgDocument, CharactersOfGlyphElements)
{
    FontFolder f(dir_, "Chars");
    f.Glyph("0.dat", std::nullopt, 1, 0, fx::Path(std::nullopt, std::nullopt, {fx::M(0, 0)}));
    const struct {
        std::uint8_t code;
        const char* unicode;  // nullptr: no glyph element
    } cases[] = {
        {'&', "&amp;"}, {'<', "&lt;"}, {'"', "&quot;"}, {'>', ">"}, {'\t', "&#9;"}, {'\n', "&#10;"},
        {'\r', "&#13;"}, {0x01, nullptr}, {0x1F, nullptr}, {0x80, "\u20AC"}, {0x9D, "\u009D"}, {0xE9, "\u00E9"},
    };
    std::string text, expected = FontHead(1, "Chars", 1000, 1, "M0,0");
    std::vector<std::pair<int, std::string>> ordered;
    for (const auto& c : cases) {
        f.Glyph("g" + std::to_string(c.code) + ".dat", c.code, 3, 0, fx::Path(std::nullopt, std::nullopt, {fx::M(c.code, 0)}));
        text.push_back(static_cast<char>(c.code));
        if (c.unicode)
            ordered.emplace_back(c.code, GlyphElement(c.unicode, 3, "M" + std::to_string(c.code) + ",0"));
    }
    std::sort(ordered.begin(), ordered.end());
    for (const auto& [code, element] : ordered)
        expected += element;
    expected += kFontEnd;
    drawing_.FShapes.push_back(MakeText(&f.Font(), text, 0, std::nullopt));
    const std::string doc = Build(drawing_);
    EXPECT_EQ(DefsOf(doc), expected);
    // In the text itself the forbidden control codes stand as U+FFFD.
    EXPECT_NE(doc.find(">&amp;&lt;\">\t\n\r\uFFFD\uFFFD\u20AC\u009D\u00E9</text>"), std::string::npos);
}

}  // namespace
}  // namespace plotwick
