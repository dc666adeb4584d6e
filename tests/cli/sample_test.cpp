// plotwick-make-sample: the sample base folder is written the same every time, and the
// program reads it back as intended: its databases, users, drawings, texts and fonts.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "tests/support/Fixture.h"
#include "tests/support/Process.h"
#include "text/VFont.h"

using namespace plotwick;
using namespace plotwick::fixture;
namespace fs = std::filesystem;

namespace {

using Outcome = ProcessResult;

std::string Quote(const std::string& s) { return ShellQuote(s); }

Outcome RunProgram(const std::string& program, const std::string& args)
{
    return RunCommand(Quote(program) + " " + args);
}

Outcome Cli(const std::string& args) { return RunProgram(PLOTWICK_CLI, args); }

// Every file below root by its relative path, with its bytes; folders as empty entries
// marked with a trailing slash.
std::map<std::string, std::string> Tree(const std::string& root)
{
    std::map<std::string, std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        if (e.is_directory()) {
            tree[rel + "/"] = "";
        } else {
            std::ifstream in(e.path(), std::ios::binary);
            tree[rel].assign(std::istreambuf_iterator<char>(in), {});
        }
    }
    return tree;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// One sample written for the whole suite.
class Sample : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        base_ = new TempDir;
        const Outcome r = RunProgram(PLOTWICK_SAMPLE_WRITER, Quote(base_->Path()));
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.err, "");
    }
    static void TearDownTestSuite()
    {
        delete base_;
        base_ = nullptr;
    }

    static std::string Base() { return base_->Path(); }
    static std::string User() { return base_->Path() + "/SampleUser"; }
    static std::string Record(const std::string& kindAndDb, const std::string& file)
    {
        return User() + "/QNDraw/" + kindAndDb + "/" + file;
    }

    static TempDir* base_;
};

TempDir* Sample::base_ = nullptr;

TEST_F(Sample, WritesTheSameBytesEveryRun)
{
    TempDir other;
    const Outcome r = RunProgram(PLOTWICK_SAMPLE_WRITER, Quote(other.Path()));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto first = Tree(Base());
    EXPECT_GT(first.size(), 250u);
    EXPECT_TRUE(first == Tree(other.Path()));

    // A second run over an earlier sample replaces it as a whole; what else is in the base stays.
    WriteFile(other / "SampleUser/QNDraw/DDRW/Sketchbook/Stale.dat", Bytes().zeros(1200));
    WriteFile(other / "SampleUser/QNDraw/DDRW/House.dat", Bytes().raw("left over"));
    WriteFile(other / "users.txt", Bytes().raw("7\tSomeone\tElse\n"));
    MakeFolders(other / "Someone");
    WriteFile(other / "Someone/keep.txt", Bytes().raw("mine"));
    const Outcome again = RunProgram(PLOTWICK_SAMPLE_WRITER, Quote(other.Path()));
    ASSERT_EQ(again.status, 0) << again.err;
    auto rewritten = Tree(other.Path());
    EXPECT_EQ(rewritten.erase("Someone/"), 1u);
    EXPECT_EQ(rewritten.erase("Someone/keep.txt"), 1u);
    EXPECT_TRUE(first == rewritten);
}

TEST_F(Sample, WriterNeedsOneFolder)
{
    const Outcome none = RunProgram(PLOTWICK_SAMPLE_WRITER, "");
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("Usage: plotwick-make-sample BASEFOLDER"), std::string::npos);
    const Outcome two = RunProgram(PLOTWICK_SAMPLE_WRITER, "a b");
    EXPECT_EQ(two.status, 2);

    // A base that cannot be a folder: an error, and the file is left as it was.
    TempDir tmp;
    WriteFile(tmp / "file", Bytes().raw("plain"));
    const Outcome blocked = RunProgram(PLOTWICK_SAMPLE_WRITER, Quote(tmp / "file"));
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.err.rfind("plotwick-make-sample: ", 0), 0u) << blocked.err;
    EXPECT_EQ(Tree(tmp.Path()).size(), 1u);
}

TEST_F(Sample, UsersIndexNamesTheSampleUser)
{
    const Outcome r = Cli("users " + Quote(Base()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1001\tSample User\t" + User() + "\n");
}

TEST_F(Sample, ScanFindsExactlyTheValidDatabasesInOrder)
{
    // The entries that must not count are really there.
    const std::string drawings = User() + "/QNDraw/DDRW";
    EXPECT_TRUE(fs::is_directory(drawings + "/Notes"));
    EXPECT_FALSE(fs::exists(drawings + "/Notes.dat"));
    EXPECT_TRUE(fs::is_regular_file(drawings + "/readme.txt"));
    EXPECT_TRUE(fs::is_directory(drawings + "/.cache"));
    TDrawDB old;
    old.FPath = drawings + "/Old sketches";
    old.ReadHeader();
    EXPECT_EQ(old.FVersion, 1.5f);
    TDrawDB hidden;
    hidden.FPath = drawings + "/.cache";
    hidden.ReadHeader();
    EXPECT_EQ(hidden.FVersion, 1.0f);

    const Outcome r = Cli("databases " + Quote(User()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "drawings\tDoodles\n"
              "drawings\tSketchbook\n"
              "library\tStencils\n"
              "fonts\tVU Dedadiz\n"
              "fonts\tVU Serif\n");
}

TEST_F(Sample, EveryRecordLoads)
{
    int records = 0;
    for (const char* db : {"DDRW/Doodles", "DDRW/Sketchbook", "DLIB/Stencils"}) {
        const Outcome list = Cli("drawings " + Quote(User() + "/QNDraw/" + db));
        ASSERT_EQ(list.status, 0) << list.err;
        for (const std::string& line : Lines(list.out)) {
            const std::string file = line.substr(0, line.find('\t'));
            EXPECT_GT(line.size(), file.size() + 1) << "record without a name: " << line;
            const Outcome shapes = Cli("shapes --normalise " + Quote(Record(db, file)));
            EXPECT_EQ(shapes.status, 0) << db << "/" << file << ": " << shapes.err;
            ++records;
        }
    }
    EXPECT_EQ(records, 14);
}

// The lines of the shapes dump that follow the text line containing what, up to the next
// line at the text's own indentation or less.
std::vector<std::string> TextBody(const std::string& dump, const std::string& what)
{
    const std::vector<std::string> lines = Lines(dump);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find("text font=") == std::string::npos || lines[i].find(what) == std::string::npos)
            continue;
        const std::size_t indent = lines[i].find_first_not_of(' ');
        std::vector<std::string> body;
        for (std::size_t k = i + 1; k < lines.size() && lines[k].find_first_not_of(' ') > indent; ++k)
            body.push_back(lines[k]);
        return body;
    }
    return {};
}

int CountGlyphPaths(const std::vector<std::string>& body)
{
    int n = 0;
    for (const std::string& line : body)
        n += line.find("path ") != std::string::npos && line.find(" glyph=1") != std::string::npos;
    return n;
}

TEST_F(Sample, TextsAreSetInTheSampleFonts)
{
    const Outcome house = Cli("shapes " + Quote(Record("DDRW/Sketchbook", "House.dat")));
    ASSERT_EQ(house.status, 0) << house.err;
    const auto ours = TextBody(house.out, "font=VU Dedadiz size=20 text=Our house");
    // "Our house": eight letters, of which none has more than two outer contours.
    EXPECT_GE(CountGlyphPaths(ours), 8);
    EXPECT_NE(ours.at(0).find("path fill=#283C1E stroke=none glyph=1"), std::string::npos) << ours.at(0);

    const Outcome map = Cli("shapes " + Quote(Record("DDRW/Sketchbook", "TownMap.dat")));
    ASSERT_EQ(map.status, 0) << map.err;
    // A font the handheld does not have: set in VU Dedadiz all the same.
    EXPECT_GE(CountGlyphPaths(TextBody(map.out, "font=Helvetica size=14 text=Park")), 4);
    EXPECT_GE(CountGlyphPaths(TextBody(map.out, "font=VU Serif size=13 text=River Lin")), 8);
}

TEST_F(Sample, TheLogoTaglineHasNoMissingGlyph)
{
    const Outcome logo = Cli("shapes " + Quote(Record("DDRW/Sketchbook", "Logo.dat")));
    ASSERT_EQ(logo.status, 0) << logo.err;
    const auto tagline = TextBody(logo.out, "text=Est. 1987");
    ASSERT_FALSE(tagline.empty());
    // The box of the missing glyph would be two rectangles, a glyph path with ten instructions
    // of which four and four are lines: every character of the tagline has a glyph of its own.
    int boxes = 0;
    for (std::size_t i = 0; i < tagline.size(); ++i) {
        if (tagline[i].find("path ") == std::string::npos)
            continue;
        std::string kinds;
        for (std::size_t k = i + 1; k < tagline.size() && tagline[k].find("path ") == std::string::npos; ++k)
            kinds += tagline[k].substr(tagline[k].find_first_not_of(' '), 1);
        boxes += kinds == "MLLLzMLLLz";
    }
    EXPECT_EQ(boxes, 0);
}

TEST_F(Sample, EdgeCaseDrawings)
{
    const Outcome horizon = Cli("shapes " + Quote(Record("DDRW/Doodles", "Horizon.dat")));
    ASSERT_EQ(horizon.status, 0) << horizon.err;
    EXPECT_EQ(horizon.out,
              "Horizon\n"
              "path fill=none stroke=#000000 glyph=0\n"
              "  M 20 120\n"
              "  L 380 120\n"
              "bounds\t20\t120\t380\t120\n"
              "offset\t0\t0\n");
    const Outcome blank = Cli("shapes " + Quote(Record("DDRW/Doodles", "Blank.dat")));
    ASSERT_EQ(blank.status, 0) << blank.err;
    EXPECT_EQ(blank.out, "Blank page\nbounds\t100000\t100000\t-100000\t-100000\noffset\t0\t0\n");
    EXPECT_EQ(fs::file_size(Record("DDRW/Doodles", "Blank.dat")), 1096u);
}

TEST_F(Sample, DrawingsUseEveryInstructionAndTheOptionalSections)
{
    std::string kinds;
    for (const char* file : {"House.dat", "Flower.dat", "TownMap.dat", "Logo.dat", "SalesChart.dat"}) {
        const Outcome r = Cli("shapes " + Quote(Record("DDRW/Sketchbook", file)));
        ASSERT_EQ(r.status, 0) << r.err;
        for (const std::string& line : Lines(r.out))
            if (line.rfind("  ", 0) == 0 && line.find_first_not_of(' ') != std::string::npos) {
                const char k = line[line.find_first_not_of(' ')];
                if (kinds.find(k) == std::string::npos && std::string("MLCSz").find(k) != std::string::npos)
                    kinds += k;
            }
    }
    EXPECT_EQ(kinds.size(), 5u) << kinds;

    // The flower's stream opens with the entry table, the canvas and the times.
    std::ifstream in(Record("DDRW/Sketchbook", "Flower.dat"), std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    ASSERT_GT(bytes.size(), 1100u);
    EXPECT_EQ(bytes[1096], 'a');
    const std::size_t n = static_cast<unsigned char>(bytes[1097]) * 256u + static_cast<unsigned char>(bytes[1098]);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(bytes[1099 + 8 * n], 'f');
    EXPECT_EQ(bytes[1099 + 8 * n + 5], '#');
    EXPECT_EQ(bytes[1099 + 8 * n + 14], 'd');
    // Each entry gives the offset and length of a top-level shape from the start of the stream.
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
        return v;
    };
    EXPECT_EQ(u32(1099), 3 + 8 * n + 5 + 9);
    EXPECT_EQ(u32(1099 + 8 * (n - 1)) + u32(1099 + 8 * (n - 1) + 4), bytes.size() - 1096);
}

std::string Thumbnail(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    return bytes.size() >= 1096 ? bytes.substr(72, 1024) : std::string();
}

TEST_F(Sample, ThumbnailsAreDrawnFromTheShapes)
{
    // The blank page stays white (palette index 0); the horizon is one thin band across.
    EXPECT_EQ(Thumbnail(Record("DDRW/Doodles", "Blank.dat")), std::string(1024, '\0'));
    const std::string horizon = Thumbnail(Record("DDRW/Doodles", "Horizon.dat"));
    std::set<int> rows, columns;
    for (int i = 0; i < 1024; ++i) {
        if (horizon[static_cast<std::size_t>(i)] != 0) {
            rows.insert(i / 32);
            columns.insert(i % 32);
        }
    }
    EXPECT_GE(rows.size(), 1u);
    EXPECT_LE(rows.size(), 2u);
    EXPECT_GE(columns.size(), 28u);

    // The house is a full picture in many colours; a glyph record has a picture too.
    const std::string house = Thumbnail(Record("DDRW/Sketchbook", "House.dat"));
    std::set<char> colours(house.begin(), house.end());
    EXPECT_GE(colours.size(), 8u);
    EXPECT_LT(std::count(house.begin(), house.end(), '\0'), 450);  // 400 x 300: white bands above and below
    const std::string a = Thumbnail(Record("DFNT/VU Dedadiz", "g0041.dat"));
    EXPECT_GT(std::count_if(a.begin(), a.end(), [](char c) { return c != 0; }), 60);
    // A full stop stays small in its em square.
    const std::string stop = Thumbnail(Record("DFNT/VU Dedadiz", "g002E.dat"));
    EXPECT_LT(std::count_if(stop.begin(), stop.end(), [](char c) { return c != 0; }), 30);
    EXPECT_GT(std::count_if(stop.begin(), stop.end(), [](char c) { return c != 0; }), 0);
}

class SampleFont : public Sample {
protected:
    void SetUp() override
    {
        for (const char* name : {"VU Dedadiz", "VU Serif"}) {
            auto db = std::make_unique<TDrawDB>();
            db->FKind = kFonts;
            db->FName = name;
            db->FPath = User() + "/QNDraw/DFNT/" + name;
            db->ReadHeader();
            fonts_.push_back(std::make_unique<VFont>(db.get()));
            dbs_.push_back(std::move(db));
        }
    }
    VFont& Sans() { return *fonts_[0]; }
    VFont& Serif() { return *fonts_[1]; }

    std::vector<std::unique_ptr<TDrawDB>> dbs_;
    std::vector<std::unique_ptr<VFont>> fonts_;
};

bool Unassigned(int c) { return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D; }

TEST_F(SampleFont, DedadizHasEveryPrintableCodeAndTheMissingGlyph)
{
    EXPECT_EQ(dbs_[0]->FHeaderSize, 384);
    EXPECT_GE(Sans().UnitsPerEm(), 1000);
    EXPECT_FALSE(Sans().GlyphFile(0).empty());
    for (int c = 1; c < 256; ++c) {
        const bool printable = (c >= 0x20 && c <= 0x7E) || (c >= 0x80 && !Unassigned(c));
        EXPECT_EQ(!Sans().GlyphFile(static_cast<std::uint8_t>(c)).empty(), printable) << c;
    }
    // Every glyph but the blanks has outlines; every outline is filled black, without stroke,
    // and every contour of it is closed.
    for (int c = 0x21; c < 256; ++c) {
        if (Sans().GlyphFile(static_cast<std::uint8_t>(c)).empty() || c == 0xA0)
            continue;
        VGlyph* g = Sans().GetGlyph(static_cast<std::uint8_t>(c));
        ASSERT_NE(g, nullptr);
        EXPECT_GT(g->FWidth, 0) << c;
        EXPECT_EQ(g->FSpacing, 0);
        if (c == 0xAD)
            continue;  // the soft hyphen may be drawn as nothing
        ASSERT_FALSE(g->FOutlines.empty()) << c;
        for (const auto& o : g->FOutlines) {
            ASSERT_TRUE(o->FFill.has_value());
            EXPECT_EQ(o->FFill->Color, 0u);
            EXPECT_FALSE(o->FStroke.has_value());
            ASSERT_FALSE(o->FInstructions.empty());
            EXPECT_EQ(o->FInstructions.front().Kind, 'M');
            EXPECT_EQ(o->FInstructions.back().Kind, 'z');
            for (std::size_t i = 1; i < o->FInstructions.size(); ++i) {
                if (o->FInstructions[i].Kind == 'M') {
                    EXPECT_EQ(o->FInstructions[i - 1].Kind, 'z') << "contour left open in code " << c;
                }
            }
        }
    }
    VGlyph* space = Sans().GetGlyph(' ');
    ASSERT_NE(space, nullptr);
    EXPECT_TRUE(space->FOutlines.empty());
    EXPECT_GT(space->FWidth, 0);
}

TEST_F(SampleFont, OutlinesHangFromTheBaselineWithYDownwards)
{
    const auto box = [&](std::uint8_t code) {
        FDirtyRect r;
        r.Reset();
        for (const auto& o : Sans().GetGlyph(code)->FOutlines)
            o->ExtendBounds(r);
        return r.GetRect();
    };
    const IntRect h = box('H'), p = box('p'), underscore = box('_');
    EXPECT_EQ(h.bottom, 0);
    EXPECT_LT(h.top, -Sans().UnitsPerEm() / 2);
    EXPECT_GT(h.left, 0);
    EXPECT_LT(h.right, Sans().GetGlyph('H')->FWidth);
    EXPECT_GT(p.bottom, 0);  // the descender
    EXPECT_LT(p.top, 0);
    EXPECT_GT(underscore.top, 0);
}

TEST_F(SampleFont, QuadraticSegmentsAreRaisedExactly)
{
    // The system faces are quadratic: every cubic must be a raised quadratic, whose two
    // control points point at one common control point Q = P0 + 3/2 (C1 - P0) = P2 + 3/2 (C2 - P2).
    int curves = 0;
    for (const std::uint8_t code : std::initializer_list<std::uint8_t>{'o', 'S', '8', '@', 0xE9 /* e acute */}) {
        for (const auto& o : Sans().GetGlyph(code)->FOutlines) {
            float px = 0, py = 0;
            for (const PathInstr& i : o->FInstructions) {
                if (i.Kind == 'C') {
                    const double q1x = px + 1.5 * (i.C1X - px), q1y = py + 1.5 * (i.C1Y - py);
                    const double q2x = i.X + 1.5 * (i.C2X - i.X), q2y = i.Y + 1.5 * (i.C2Y - i.Y);
                    EXPECT_NEAR(q1x, q2x, 0.01) << code;
                    EXPECT_NEAR(q1y, q2y, 0.01) << code;
                    EXPECT_NEAR(q1x, std::round(q1x), 0.01);  // the face's points are whole units
                    EXPECT_NEAR(q1y, std::round(q1y), 0.01);
                    ++curves;
                }
                if (i.Kind != 'z') {
                    px = i.X;
                    py = i.Y;
                }
            }
        }
    }
    EXPECT_GT(curves, 40);
}

TEST_F(SampleFont, SerifIsASubsetWithSpacing)
{
    EXPECT_EQ(dbs_[1]->FHeaderSize, 384);
    EXPECT_GT(Serif().UnitsPerEm(), 0);
    EXPECT_FALSE(Serif().GlyphFile(0).empty());
    EXPECT_FALSE(Serif().GlyphFile('A').empty());
    EXPECT_TRUE(Serif().GlyphFile(0xFC).empty());  // u with diaeresis: not in the subset
    VGlyph* a = Serif().GetGlyph('A');
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->FSpacing, 24);
    // The missing glyph stands in for a code the subset lacks.
    EXPECT_EQ(Serif().GetGlyph(0xFC), Serif().GetGlyph(0));
}

}  // namespace
