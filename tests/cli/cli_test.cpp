// plotwick-cli end to end: output lines, errors, exit codes, and nothing written on failure.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/support/Fixture.h"
#include "tests/support/Process.h"

using namespace plotwick::fixture;

namespace {

using Result = ProcessResult;

std::string Quote(const std::string& s) { return ShellQuote(s); }

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CliTest : public ::testing::Test {
protected:
    CliTest() : user(dir / "User")
    {
        sketches = user.AddDatabase(0, "Sketches");
        user.AddDatabase(1, "Parts");
        fonts = user.AddDatabase(2, "VU Dedadiz", 1.0f, 1000);
        WriteFile(fonts + "/a.dat", GlyphRecord('A', std::pair<std::uint16_t, std::int16_t>{600, 0},
                                                Path(0, std::nullopt, {M(0, 0), L(500, -700), L(600, 0), Z()})));
        user.AddRecord(sketches, "line.dat", Record("A line", Path(std::nullopt, 0x000000FF, {M(10, 20), L(110, 70)})));
        user.AddRecord(sketches, "text.dat",
                       Record("Lettering", Text(5, 50, 0, std::nullopt, "VU Dedadiz", 20, kIdentity, "AA")));
        Bytes broken = Record("Broken", Path(std::nullopt, 0, {M(0, 0), L(1, 1)}));
        broken.truncate(broken.size() - 3);
        user.AddRecord(sketches, "broken.dat", broken);
    }

    Result Run(const std::string& args)
    {
        return RunCommand(std::string(PLOTWICK_CLI) + " " + args);
    }

    TempDir dir;
    UserFolder user;
    std::string sketches, fonts;
};

TEST_F(CliTest, DatabasesInScanOrder)
{
    const Result r = Run("databases " + Quote(user.Root()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "drawings\tSketches\nlibrary\tParts\nfonts\tVU Dedadiz\n");
}

TEST_F(CliTest, DamagedHeaderIsReportedAndTheScanGoesOn)
{
    MakeFolders(user.Root() + "/QNDraw/DLIB/Bad");
    WriteFile(user.Root() + "/QNDraw/DLIB/Bad.dat", Bytes().zeros(360));
    const Result r = Run("databases " + Quote(user.Root()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "drawings\tSketches\nlibrary\tParts\nfonts\tVU Dedadiz\n");
    EXPECT_EQ(r.err, "plotwick-cli: " + user.Root() + "/QNDraw/DLIB/Bad.dat: Incorrect data format.\n");
}

TEST_F(CliTest, DrawingsListFileAndName)
{
    const Result r = Run("drawings " + Quote(sketches));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "broken.dat\tBroken\nline.dat\tA line\ntext.dat\tLettering\n");
}

TEST_F(CliTest, ShapesPrintsTheTreeBoundsAndOffsets)
{
    const Result r = Run("shapes --normalise " + Quote(sketches + "/line.dat"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "A line\npath fill=none stroke=#FF0000 glyph=0\n  M 0 0\n  L 100 50\n"
                     "bounds\t0\t0\t100\t50\noffset\t-10\t-20\n");
}

TEST_F(CliTest, ShapesLoadsTheUserFoldersFonts)
{
    const Result r = Run("shapes " + Quote(sketches + "/text.dat"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("text font=VU Dedadiz size=20 text=AA\n  path fill=#000000 stroke=none glyph=1\n"),
              std::string::npos)
        << r.out;
}

TEST_F(CliTest, TruncatedRecordPrintsNoTree)
{
    const Result r = Run("shapes " + Quote(sketches + "/broken.dat"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "plotwick-cli: " + sketches + "/broken.dat: Incorrect data format.\n");
}

TEST_F(CliTest, UsageErrorsExitTwoAndWriteNothing)
{
    EXPECT_EQ(Run("").status, 2);
    EXPECT_EQ(Run("nonsense").status, 2);
    EXPECT_EQ(Run("shapes").status, 2);
    EXPECT_EQ(Run("export --quality 0 " + Quote(sketches + "/line.dat") + " " + Quote(dir / "x.jpg")).status, 2);
    const Result r = Run("export " + Quote(sketches + "/line.dat") + " " + Quote(dir / "x.jpeg"));
    EXPECT_EQ(r.status, 2);
    struct stat st;
    EXPECT_NE(::stat((dir / "x.jpeg").c_str(), &st), 0);
    EXPECT_EQ(Run("--version").status, 0);
    EXPECT_EQ(Run("export --help").status, 0);
}

TEST_F(CliTest, FailedExportLeavesTheOldFile)
{
    const std::string target = dir / "out.svg";
    WriteFile(target, Bytes().raw("old"));
    const Result r = Run("export " + Quote(sketches + "/broken.dat") + " " + Quote(target));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ReadAll(target), "old");
    const Result w = Run("export " + Quote(sketches + "/line.dat") + " " + Quote(dir / "missing/out.svg"));
    EXPECT_EQ(w.status, 1);
    EXPECT_NE(w.err.find(dir / "missing/out.svg"), std::string::npos);
}

TEST_F(CliTest, RasterExportsHaveTheDialogsSize)
{
    const std::string bmp = dir / "line.BMP";
    ASSERT_EQ(Run("export --scale 50 " + Quote(sketches + "/line.dat") + " " + Quote(bmp)).status, 0);
    const std::string bytes = ReadAll(bmp);
    ASSERT_GE(bytes.size(), 54u);
    const auto le32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(le32(18), 50u);  // 100 x 50 at 50 %
    EXPECT_EQ(le32(22), 25u);
    ASSERT_EQ(Run("export --width 30 " + Quote(sketches + "/line.dat") + " " + Quote(bmp)).status, 0);
    const std::string resized = ReadAll(bmp);
    EXPECT_EQ(static_cast<unsigned char>(resized[18]), 30);
    EXPECT_EQ(static_cast<unsigned char>(resized[22]), 15);
}

TEST_F(CliTest, ExportAllCountsAndSkipsDamagedRecords)
{
    const std::string out = dir / "out";
    const Result r = Run("export-all --format png " + Quote(user.Root()) + " " + Quote(out));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "2 exported, 1 failed\n");
    EXPECT_NE(r.err.find("broken.dat: Incorrect data format."), std::string::npos);
    struct stat st;
    EXPECT_EQ(::stat((out + "/Sketches/line.png").c_str(), &st), 0);
    EXPECT_EQ(::stat((out + "/Sketches/text.png").c_str(), &st), 0);
    EXPECT_NE(::stat((out + "/Sketches/broken.png").c_str(), &st), 0);
}

// Every file of a folder and below it, by relative name, with its bytes.
std::map<std::string, std::string> Files(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            files[e.path().lexically_relative(folder).string()] = ReadAll(e.path().string());
    return files;
}

TEST_F(CliTest, ExportAllWritesTheSameWithAnyNumberOfJobs)
{
    // Enough records for every worker to take several, failures among them, and names that
    // clash ignoring case, so that the order of the messages and of the names shows.
    for (int i = 0; i < 24; ++i) {
        const std::string name = "r" + std::to_string(i) + ".dat";
        Bytes record = Record("R", Path(std::nullopt, 0x00FF00u + static_cast<unsigned>(i),
                                        {M(0, 0), L(10 + i, 20), L(5, 30 + i), Z()}));
        if (i % 7 == 3)
            record.truncate(record.size() - 3);
        user.AddRecord(sketches, name, record);
    }
    user.AddRecord(sketches, "R1.dat", Record("Clash", Path(std::nullopt, 0, {M(0, 0), L(4, 4)})));
    const std::string library = user.AddDatabase(1, "sketches");
    user.AddRecord(library, "r1.dat", Record("Clash", Path(std::nullopt, 0, {M(0, 0), L(4, 8)})));
    for (const char* format : {"png", "svg", "wmf"}) {
        SCOPED_TRACE(format);
        const std::string base = dir / (std::string("one-") + format);
        const Result one = Run("export-all --jobs 1 --format " + std::string(format) + " " + Quote(user.Root()) + " " +
                               Quote(base));
        EXPECT_EQ(one.status, 1);
        EXPECT_EQ(one.out, "25 exported, 4 failed\n");
        const auto expected = Files(base);
        EXPECT_EQ(expected.size(), 25u);
        EXPECT_EQ(expected.count("Sketches/r1~2." + std::string(format)), 1u);
        EXPECT_EQ(expected.count("sketches~library/r1." + std::string(format)), 1u);
        for (const char* jobs : {"2", "3", "8"}) {
            SCOPED_TRACE(jobs);
            const std::string out = dir / (std::string("jobs") + jobs + "-" + format);
            const Result r = Run("export-all --jobs " + std::string(jobs) + " --format " + format + " " +
                                 Quote(user.Root()) + " " + Quote(out));
            EXPECT_EQ(r.status, one.status);
            EXPECT_EQ(r.out, one.out);
            EXPECT_EQ(r.err, one.err);
            EXPECT_EQ(Files(out), expected);
        }
    }
}

TEST_F(CliTest, JobsIsACountForExportAllOnly)
{
    const std::string record = Quote(sketches + "/line.dat");
    const std::string all = Quote(user.Root()) + " " + Quote(dir / "out");
    for (const std::string& args : {"export-all --jobs 0 " + all, "export-all --jobs x " + all,
                                   "export --jobs 2 " + record + " " + Quote(dir / "line.svg")}) {
        SCOPED_TRACE(args);
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
    }
}

}  // namespace
