// plotwick-cli album: pages, captions, bookmarks, title and dates of the PDF, damaged records
// left out, contact sheets, page sizes, and usage errors. The PDF is read back with poppler's
// pdfinfo, pdftotext and pdfimages where they are installed (skipped otherwise), and the
// outline from the file's own objects.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <fstream>
#include <regex>

#include "tests/support/Fixture.h"
#include "tests/support/Process.h"

using namespace plotwick::fixture;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The outline's titles in the order the file holds them (the document's own title is in the
// information dictionary, which has no /Parent).
std::vector<std::string> OutlineTitles(const std::string& pdf)
{
    std::vector<std::string> titles;
    const std::regex item(R"(/Title \(([^)]*)\)\s*/Parent)");
    for (auto it = std::sregex_iterator(pdf.begin(), pdf.end(), item); it != std::sregex_iterator(); ++it)
        titles.push_back((*it)[1]);
    return titles;
}

class AlbumTest : public ::testing::Test {
protected:
    AlbumTest() : user(dir / "User")
    {
        sketches = user.AddDatabase(0, "Sketches");
        // Listed by upper-cased file name: apple, Banana, cherry, damaged, egg, fig.
        const auto square = [](std::uint32_t color) {
            return Path(color, 0, {M(0, 0), L(100, 0), L(100, 60), L(0, 60), Z()});
        };
        user.AddRecord(sketches, "cherry.dat", Record("Cherry", square(0x0000FF)));
        user.AddRecord(sketches, "apple.dat", Record("Apple", square(0x00FF00)));
        user.AddRecord(sketches, "Banana.dat", Record("Banana", Path(std::nullopt, 0xFF0000, {M(0, 0), C(10, 80, 90, 80, 100, 0)})));
        user.AddRecord(sketches, "egg.dat", Record("Egg", square(0x808080)));
        user.AddRecord(sketches, "fig.dat", Record("Fig", square(0x00FFFF)));
        Bytes damaged = Record("Damaged", square(0));
        damaged.truncate(damaged.size() - 3);
        user.AddRecord(sketches, "damaged.dat", damaged);
    }

    ProcessResult Album(const std::string& options, const std::string& out)
    {
        return RunCommand(ShellQuote(PLOTWICK_CLI) + " album " + options + " " + ShellQuote(sketches) + " " +
                          ShellQuote(out));
    }

    static std::string Poppler(const std::string& program, const std::string& args)
    {
        return RunCommand(program + " " + args).out;
    }

    TempDir dir;
    UserFolder user;
    std::string sketches;
};

TEST_F(AlbumTest, APagePerDrawingInListOrderWithoutTheDamagedRecord)
{
    const std::string out = dir / "album.pdf";
    const ProcessResult r = Album("", out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "plotwick-cli: " + sketches + "/damaged.dat: Incorrect data format.\n");
    EXPECT_EQ(r.out, "5 drawings on 5 pages, 1 left out\n");
    const std::string pdf = ReadAll(out);
    ASSERT_FALSE(pdf.empty());
    EXPECT_EQ(OutlineTitles(pdf), (std::vector<std::string>{"Apple", "Banana", "Cherry", "Egg", "Fig"}));
    if (!HaveProgram("pdfinfo") || !HaveProgram("pdftotext") || !HaveProgram("pdfimages"))
        GTEST_SKIP() << "poppler-utils is not installed";
    const std::string info = Poppler("pdfinfo", ShellQuote(out));
    EXPECT_NE(info.find("Title:           Sketches\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Pages:           5\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Page size:       595.276 x 841.89 pts (A4)"), std::string::npos) << info;
    // One caption a page, in the list's order.
    const char* names[] = {"Apple", "Banana", "Cherry", "Egg", "Fig"};
    for (int page = 1; page <= 5; ++page) {
        const std::string text = Poppler("pdftotext", "-f " + std::to_string(page) + " -l " + std::to_string(page) + " " +
                                                          ShellQuote(out) + " -");
        EXPECT_EQ(text.substr(0, text.find('\n')), names[page - 1]) << "page " << page;
    }
    // Vectors only: pdfimages lists its two header lines and no image.
    const std::string images = Poppler("pdfimages", "-list " + ShellQuote(out));
    EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2) << images;
}

TEST_F(AlbumTest, TheSameRecordsGiveTheSameBytesDatedByTheNewestRecord)
{
    // The newest record: 2021-03-04 05:06:07 UTC; the damaged one, left out, is newer still.
    const auto touch = [&](const std::string& file, std::time_t t) {
        const struct timeval times[2] = {{t, 0}, {t, 0}};
        ASSERT_EQ(::utimes((sketches + "/" + file).c_str(), times), 0);
    };
    for (const char* file : {"apple.dat", "Banana.dat", "cherry.dat", "fig.dat"})
        touch(file, 1'500'000'000);
    touch("egg.dat", 1'614'834'367);
    touch("damaged.dat", 1'700'000'000);
    const std::string first = dir / "first.pdf", second = dir / "second.pdf";
    Album("", first);
    Album("", second);
    EXPECT_EQ(ReadAll(first), ReadAll(second));
    EXPECT_NE(ReadAll(first).find("/CreationDate (20210304050607Z)"), std::string::npos);
    EXPECT_NE(ReadAll(first).find("/ModDate (20210304050607Z)"), std::string::npos);
}

TEST_F(AlbumTest, ContactSheetsPlaceColumnsTimesRowsDrawingsAPage)
{
    if (!HaveProgram("pdfinfo") || !HaveProgram("pdftotext"))
        GTEST_SKIP() << "poppler-utils is not installed";
    struct Case {
        std::string sheet;
        std::vector<int> perPage;
    };
    for (const Case& c : {Case{"2x2", {4, 1}}, Case{"3x1", {3, 2}}, Case{"1x5", {5}}, Case{"4x4", {5}}}) {
        const std::string out = dir / ("sheet-" + c.sheet + ".pdf");
        const ProcessResult r = Album("--sheet " + c.sheet, out);
        EXPECT_EQ(r.status, 1) << c.sheet;
        if (c.perPage.size() == 1) {
            EXPECT_EQ(r.out, "5 drawings on 1 page, 1 left out\n");
        }
        const std::string info = Poppler("pdfinfo", ShellQuote(out));
        EXPECT_NE(info.find("Pages:           " + std::to_string(c.perPage.size()) + "\n"), std::string::npos)
            << c.sheet << "\n" << info;
        EXPECT_EQ(OutlineTitles(ReadAll(out)).size(), 5u) << c.sheet;
        for (std::size_t page = 1; page <= c.perPage.size(); ++page) {
            const std::string text = Poppler("pdftotext", "-f " + std::to_string(page) + " -l " + std::to_string(page) +
                                                              " " + ShellQuote(out) + " -");
            int captions = 0;
            for (const char* name : {"Apple", "Banana", "Cherry", "Egg", "Fig"})
                captions += text.find(name) != std::string::npos ? 1 : 0;
            EXPECT_EQ(captions, c.perPage[page - 1]) << c.sheet << " page " << page << "\n" << text;
        }
    }
}

TEST_F(AlbumTest, PageSizesAndOrientation)
{
    if (!HaveProgram("pdfinfo"))
        GTEST_SKIP() << "pdfinfo is not installed";
    struct Case {
        std::string options, size;
    };
    for (const Case& c : {Case{"--landscape", "841.89 x 595.276 pts (A4)"}, Case{"--page letter", "612 x 792 pts (letter)"},
                          Case{"--page=LETTER --landscape", "792 x 612 pts (letter)"},
                          Case{"--page 100x150mm", "283.465 x 425.197 pts"},
                          Case{"--page 150x100mm", "283.465 x 425.197 pts"}}) {
        const std::string out = dir / "size.pdf";
        Album(c.options, out);
        const std::string info = Poppler("pdfinfo", ShellQuote(out));
        EXPECT_NE(info.find("Page size:       " + c.size), std::string::npos) << c.options << "\n" << info;
    }
}

TEST_F(AlbumTest, UsageErrorsWriteNothing)
{
    const std::string out = dir / "never.pdf";
    for (const char* options : {"--sheet 0x2", "--sheet 3", "--sheet 21x1", "--page a5", "--page 5x100mm",
                                       "--page 100x100", "--colour"}) {
        const ProcessResult r = Album(options, out);
        EXPECT_EQ(r.status, 2) << options;
        EXPECT_NE(r.err.find("Usage: plotwick-cli album"), std::string::npos) << options << r.err;
    }
    EXPECT_EQ(Album("", dir / "album.svg").status, 2);
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Exists(dir / "album.svg"));
}

TEST_F(AlbumTest, ADatabaseWithoutAReadableDrawingWritesNothing)
{
    const std::string empty = user.AddDatabase(0, "Empty");
    const std::string out = dir / "empty.pdf";
    const ProcessResult r =
        RunCommand(ShellQuote(PLOTWICK_CLI) + " album " + ShellQuote(empty) + " " + ShellQuote(out));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No drawing of the database could be read"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(out));
    const ProcessResult missing =
        RunCommand(ShellQuote(PLOTWICK_CLI) + " album " + ShellQuote(dir / "nowhere") + " " + ShellQuote(out));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "plotwick-cli: " + (dir / "nowhere") + ": No such folder.\n");
}

}  // namespace
