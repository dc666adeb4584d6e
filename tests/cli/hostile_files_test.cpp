// plotwick-cli on unusual file systems: special files among the data, output names that clash,
// folders and files it may not read or write, long output names, symbolic links, and names
// holding control characters. Every run is bounded in time, so that a hang fails the test.
// Permission cases run the tool as an ordinary user (root reads and writes everything).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/Fixture.h"
#include "tests/support/Process.h"

using namespace plotwick::fixture;

namespace {

namespace fs = std::filesystem;

std::string Q(const std::string& s) { return ShellQuote(s); }

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names in a folder and below it, relative to it, sorted.
std::vector<std::string> Tree(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        names.push_back(e.path().lexically_relative(folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Expected {
    std::string args;
    int status;
    std::string out;
    std::string err;
};

class HostileFilesTest : public ::testing::Test {
protected:
    HostileFilesTest() : user(dir / "User")
    {
        ::chmod(dir.Path().c_str(), 0755);  // some cases run the tool as another user
        sketches = user.AddDatabase(0, "Sketches");
        parts = user.AddDatabase(1, "Parts");
        fonts = user.AddDatabase(2, "VU Dedadiz", 1.0f, 1000);
        WriteFile(fonts + "/a.dat", GlyphRecord('A', std::pair<std::uint16_t, std::int16_t>{600, 0},
                                                Path(0, std::nullopt, {M(0, 0), L(500, -700), L(600, 0), Z()})));
        line = user.AddRecord(sketches, "line.dat", Record("A line", Path(std::nullopt, 0xFF, {M(10, 20), L(110, 70)})));
        text = user.AddRecord(sketches, "text.dat",
                              Record("Lettering", Text(5, 50, 0, std::nullopt, "VU Dedadiz", 20, kIdentity, "AA")));
        user.AddRecord(parts, "p.dat", Record("Part", Path(0xFF00, std::nullopt, {M(0, 0), L(9, 0), L(9, 9), Z()})));
        MakeFolders(out);
        ::chmod(out.c_str(), 0777);
    }

    // plotwick-cli with args, for at most 20 seconds, after prefix (another user, limits).
    ProcessResult Run(const std::string& args, const std::string& prefix = "")
    {
        return RunCommand(prefix + "timeout 20 " + Q(PLOTWICK_CLI) + " " + args);
    }

    // Runs each command and compares its exit status and everything it printed.
    void ExpectRuns(const std::vector<Expected>& cases, const std::string& prefix = "")
    {
        for (const Expected& c : cases) {
            const ProcessResult r = Run(c.args, prefix);
            EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
            EXPECT_EQ(r.out, c.out) << c.args;
            EXPECT_EQ(r.err, c.err) << c.args;
        }
    }

    // The bytes a plain export of a record gives.
    std::string Exported(const std::string& record, const std::string& format = "svg")
    {
        const std::string path = dir / ("reference." + format);
        EXPECT_EQ(Run("export " + Q(record) + " " + Q(path)).status, 0);
        return ReadAll(path);
    }

    std::string Kind(int kind) const { return user.Root() + "/QNDraw/" + UserFolder::KindFolder(kind); }

    TempDir dir;
    UserFolder user;
    std::string sketches, parts, fonts, line, text;
    std::string out = dir / "out";
};

TEST_F(HostileFilesTest, FifosAmongTheDataAreReportedAndNeverWaitedFor)
{
    const std::string before = Exported(text);
    const std::string fifo = sketches + "/pipe.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((fonts + "/b.dat").c_str(), 0644), 0);  // a glyph file
    MakeFolders(Kind(2) + "/Pipe");
    ASSERT_EQ(::mkfifo((Kind(2) + "/Pipe.dat").c_str(), 0644), 0);  // a font database's header
    const std::string notOpen = "plotwick-cli: " + fifo + ": File is not open.\n";
    const std::vector<Expected> cases = {
        {"drawings " + Q(sketches), 1, "line.dat\tA line\ntext.dat\tLettering\n", notOpen},
        {"databases " + Q(user.Root()), 0, "drawings\tSketches\nlibrary\tParts\nfonts\tVU Dedadiz\n", ""},
        {"export " + Q(fifo) + " " + Q(out + "/pipe.svg"), 1, "", notOpen},
        {"export " + Q(text) + " " + Q(out + "/text.svg"), 0, "", ""},
        {"export-all " + Q(user.Root()) + " " + Q(out + "/all"), 1, "3 exported, 1 failed\n", notOpen},
    };
    ExpectRuns(cases);
    EXPECT_FALSE(fs::exists(out + "/pipe.svg"));
    // The font is loaded all the same: the text is exported as it was before.
    EXPECT_EQ(ReadAll(out + "/text.svg"), before);
    EXPECT_EQ(ReadAll(out + "/all/Sketches/text.svg"), before);
}

TEST_F(HostileFilesTest, ExportAllGivesEveryRecordAFileOfItsOwn)
{
    // A drawing database and a library of one name (ignoring case), and record names that
    // differ only in case, one of them also the distinction another would get.
    const std::string dup = user.AddDatabase(0, "Dup");
    const std::string libDup = user.AddDatabase(1, "DUP");
    std::vector<std::pair<std::string, std::string>> expected;  // record, output
    int n = 0;
    const auto add = [&](const std::string& db, const std::string& file, const std::string& output) {
        const float x = static_cast<float>(10 * ++n);
        expected.emplace_back(user.AddRecord(db, file, Record(file, Path(std::nullopt, 0, {M(0, 0), L(x, x)}))), output);
    };
    // Listed as x.DAT, x.Dat, x.dat, x~2.dat: the first keeps its name, x~2 is another's own.
    add(dup, "x.dat", "Dup/x~4.svg");
    add(dup, "x.Dat", "Dup/x~3.svg");
    add(dup, "x.DAT", "Dup/x.svg");
    add(dup, "x~2.dat", "Dup/x~2.svg");
    add(libDup, "x.dat", "DUP~library/x.svg");
    expected.emplace_back(line, "Sketches/line.svg");  // unique names keep their place
    expected.emplace_back(text, "Sketches/text.svg");
    expected.emplace_back(parts + "/p.dat", "Parts/p.svg");

    const ProcessResult r = Run("export-all " + Q(user.Root()) + " " + Q(out));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "8 exported, 0 failed\n");
    std::vector<std::string> files;
    for (const std::string& name : Tree(out))
        if (fs::is_regular_file(out + "/" + name))
            files.push_back(name);
    std::vector<std::string> outputs;
    for (const auto& [record, output] : expected)
        outputs.push_back(output);
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(files, outputs);
    for (const auto& [record, output] : expected)
        EXPECT_EQ(ReadAll(out + "/" + output), Exported(record)) << output;
}

TEST_F(HostileFilesTest, DamagedHeadersAreReportedAndTheRestGoesOn)
{
    const std::string before = Exported(text);
    // Both sort before the good databases of their folders.
    MakeFolders(Kind(2) + "/Bad");
    WriteFile(Kind(2) + "/Bad.dat", Bytes().zeros(360));
    MakeFolders(Kind(0) + "/Broken");
    WriteFile(Kind(0) + "/Broken.dat", Bytes().zeros(360));
    const std::string badFont = "plotwick-cli: " + Kind(2) + "/Bad.dat: Incorrect data format.\n";
    const std::string badDrawings = "plotwick-cli: " + Kind(0) + "/Broken.dat: Incorrect data format.\n";
    const std::vector<Expected> cases = {
        {"export " + Q(text) + " " + Q(out + "/text.svg"), 0, "", badFont},
        {"export-all " + Q(user.Root()) + " " + Q(out + "/all"), 1, "3 exported, 1 failed\n", badDrawings + badFont},
        {"databases " + Q(user.Root()), 1, "drawings\tSketches\nlibrary\tParts\nfonts\tVU Dedadiz\n",
         badDrawings + badFont},
    };
    ExpectRuns(cases);
    EXPECT_EQ(ReadAll(out + "/text.svg"), before);
    const ProcessResult shapes = Run("shapes " + Q(text));
    EXPECT_EQ(shapes.status, 0);
    EXPECT_EQ(shapes.err, badFont);
    EXPECT_NE(shapes.out.find("glyph=1"), std::string::npos) << shapes.out;
}

TEST_F(HostileFilesTest, UnreadableFoldersAndHeadersAreReportedAndCounted)
{
    const auto prefix = UnprivilegedPrefix();
    if (!prefix)
        GTEST_SKIP() << "runs as root without setpriv, so no permission can be denied";
    const std::string all = " " + Q(user.Root()) + " " + Q(out);
    const std::string denied = ": Permission denied\n";
    struct Case {
        std::string locked;  // mode 000 during the run
        Expected run;
    };
    const Case cases[] = {
        {sketches, {"drawings " + Q(sketches), 1, "", "plotwick-cli: " + sketches + denied}},
        {sketches, {"export-all" + all, 1, "1 exported, 1 failed\n", "plotwick-cli: " + sketches + denied}},
        {Kind(0), {"databases " + Q(user.Root()), 1, "library\tParts\nfonts\tVU Dedadiz\n", "plotwick-cli: " + Kind(0) + denied}},
        {Kind(0), {"export-all" + all, 1, "1 exported, 1 failed\n", "plotwick-cli: " + Kind(0) + denied}},
        {sketches + ".dat",
         {"export-all" + all, 1, "1 exported, 1 failed\n", "plotwick-cli: " + sketches + ".dat: File is not open.\n"}},
    };
    for (const Case& c : cases) {
        ::chmod(c.locked.c_str(), 0);
        ExpectRuns({c.run}, *prefix);
        ::chmod(c.locked.c_str(), fs::is_directory(c.locked) ? 0755 : 0644);
        fs::remove_all(out + "/Sketches");
        fs::remove_all(out + "/Parts");
    }
}

TEST_F(HostileFilesTest, LongOutputNamesAreWritten)
{
    for (const std::size_t length : {242, 250, 255}) {
        const std::string name = std::string(length - 4, 'n') + ".svg";
        const ProcessResult r = Run("export " + Q(line) + " " + Q(out + "/" + name));
        EXPECT_EQ(r.status, 0) << length << ": " << r.err;
        EXPECT_EQ(Tree(out), std::vector<std::string>{name});
        fs::remove(out + "/" + name);
    }
}

TEST_F(HostileFilesTest, ASymbolicLinkIsWrittenThrough)
{
    MakeFolders(dir / "real");
    std::ofstream(dir / "real/target.svg") << "old";
    fs::create_symlink("../real/target.svg", out + "/link.svg");
    const ProcessResult r = Run("export " + Q(line) + " " + Q(out + "/link.svg"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(out + "/link.svg"));
    EXPECT_EQ(fs::read_symlink(out + "/link.svg"), "../real/target.svg");
    EXPECT_EQ(ReadAll(dir / "real/target.svg"), Exported(line));
    EXPECT_EQ(Tree(dir / "real"), std::vector<std::string>{"target.svg"});
    EXPECT_EQ(Tree(out), std::vector<std::string>{"link.svg"});
}

TEST_F(HostileFilesTest, ReadOnlyFilesAreKeptAndLockedFoldersRewrittenInPlace)
{
    const auto prefix = UnprivilegedPrefix();
    if (!prefix)
        GTEST_SKIP() << "runs as root without setpriv, so no permission can be denied";
    const std::string readOnly = out + "/kept.svg";
    std::ofstream(readOnly) << "keep";
    ::chmod(readOnly.c_str(), 0444);
    const ProcessResult refused = Run("export " + Q(line) + " " + Q(readOnly), *prefix);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "plotwick-cli: " + readOnly + ": Cannot open file " + readOnly + "\n");
    EXPECT_EQ(ReadAll(readOnly), "keep");
    fs::remove(readOnly);

    // A writable file in a folder the user may not write: a full disk (here a file size limit
    // of 512 bytes) fails before the old content changes; otherwise it is rewritten.
    const std::string writable = out + "/open.svg";
    std::ofstream(writable) << "old";
    ::chmod(writable.c_str(), 0666);
    ::chmod(out.c_str(), 0555);
    const std::string limited = "trap '' XFSZ; ulimit -f 1; exec " + *prefix + "\"$@\"";
    const ProcessResult full = Run("export " + Q(line) + " " + Q(writable), "sh -c " + Q(limited) + " sh ");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "plotwick-cli: " + writable + ": Stream write error\n");
    EXPECT_EQ(ReadAll(writable), "old");
    const ProcessResult rewritten = Run("export " + Q(line) + " " + Q(writable), *prefix);
    EXPECT_EQ(rewritten.status, 0) << rewritten.err;
    EXPECT_EQ(ReadAll(writable), Exported(line));
    EXPECT_EQ(Tree(out), std::vector<std::string>{"open.svg"});
    ::chmod(out.c_str(), 0755);
}

TEST_F(HostileFilesTest, ControlCharactersAndBackslashesArePrintedEscaped)
{
    user.AddRecord(sketches, "tab\there.dat", Record("Two\nlines\x1b[31m\\", Path(std::nullopt, 0, {M(0, 0)})));
    user.AddDatabase(1, "New\nline");
    const std::string base = dir / "base";
    MakeFolders(base + "/jsmith/QNDraw");
    std::ofstream(base + "/users.txt") << "7\tJo\x7fhn \\ Smith\tjsmith\n";
    const std::vector<Expected> cases = {
        {"drawings " + Q(sketches), 0, "line.dat\tA line\ntab\\there.dat\tTwo\\nlines\\x1B[31m\\\\\ntext.dat\tLettering\n", ""},
        {"databases " + Q(user.Root()), 0, "drawings\tSketches\nlibrary\tNew\\nline\nlibrary\tParts\nfonts\tVU Dedadiz\n", ""},
        {"users " + Q(base), 0, "7\tJo\\x7Fhn \\\\ Smith\t" + base + "/jsmith\n", ""},
    };
    ExpectRuns(cases);
}

}  // namespace
