// plotwick-cli export when the output cannot be written completely: the file being replaced
// stays as it was, and no temporary file is left beside it. The write is made to fail halfway
// with a file size limit (RLIMIT_FSIZE, SIGXFSZ ignored) on the exporting process, which stops
// root as well as anyone else.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/Fixture.h"

using namespace plotwick::fixture;

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string err;
};

// Runs plotwick-cli with args; when fileSizeLimit is not 0, no file it writes may grow past that
// many bytes.
Outcome RunCli(const std::vector<std::string>& args, rlim_t fileSizeLimit)
{
    int errPipe[2];
    if (::pipe(errPipe) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(errPipe[1], 2);
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, 1);
        if (fileSizeLimit != 0) {
            ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
            struct rlimit limit = {fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv;
        std::string program = PLOTWICK_CLI;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (auto& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(errPipe[1]);
    Outcome outcome;
    char buffer[4096];
    for (ssize_t n; (n = ::read(errPipe[0], buffer, sizeof buffer)) > 0;)
        outcome.err.append(buffer, static_cast<std::size_t>(n));
    ::close(errPipe[0]);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ExportAtomicTest : public ::testing::TestWithParam<const char*> {
protected:
    ExportAtomicTest() : user(dir / "User")
    {
        const std::string sketches = user.AddDatabase(0, "Sketches");
        const std::string fonts = user.AddDatabase(2, "VU Dedadiz", 1.0f, 1000);
        WriteFile(fonts + "/a.dat", GlyphRecord('A', std::pair<std::uint16_t, std::int16_t>{600, 0},
                                                Path(0, std::nullopt, {M(0, 0), L(500, -700), L(600, 0), Z()})));
        record = user.AddRecord(
            sketches, "art.dat",
            Record("Art", Bytes()
                              .append(Path(0x000000FF, 0x00FF0000, {M(0, 0), L(300, 0), C(300, 100, 200, 200, 0, 200), Z()}))
                              .append(Text(20, 150, 0, std::nullopt, "VU Dedadiz", 40, kIdentity, "AAA"))));
        MakeFolders(dir / "out");
    }

    TempDir dir;
    UserFolder user;
    std::string record;
};

TEST_P(ExportAtomicTest, AWriteFailingHalfwayLeavesTheOldFile)
{
    const std::string format = GetParam();
    // The complete export, for its size.
    const std::string full = dir / ("full." + format);
    const Outcome complete = RunCli({"export", record, full}, 0);
    ASSERT_EQ(complete.status, 0) << complete.err;
    const std::size_t size = ReadAll(full).size();
    ASSERT_GT(size, 64u);

    const std::string target = dir / ("out/art." + format);
    const std::string old = "the export before this one";
    std::ofstream(target, std::ios::binary) << old;

    const Outcome failed = RunCli({"export", record, target}, size / 2);
    EXPECT_EQ(failed.status, 1) << failed.err;
    EXPECT_NE(failed.err.find(target), std::string::npos) << failed.err;
    EXPECT_EQ(ReadAll(target), old);
    EXPECT_EQ(Names(dir / "out"), std::vector<std::string>{"art." + format});

    // Without the limit the same command replaces the file with the complete export.
    const Outcome again = RunCli({"export", record, target}, 0);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(ReadAll(target), ReadAll(full));
    EXPECT_EQ(Names(dir / "out"), std::vector<std::string>{"art." + format});
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, ExportAtomicTest,
                         ::testing::Values("svg", "emf", "wmf", "bmp", "jpg", "png", "pdf"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST(ExportAllAtomic, AFailedWriteLeavesTheOldFile)
{
    // export-all writes OUTDIR/<database>/<record>.<format> through the same path.
    TempDir dir;
    UserFolder user(dir / "User");
    const std::string sketches = user.AddDatabase(0, "Sketches");
    user.AddRecord(sketches, "one.dat", Record("One", Path(0x000000FF, std::nullopt, {M(0, 0), L(90, 0), L(90, 90), Z()})));
    const std::string out = dir / "out";
    const Outcome first = RunCli({"export-all", "--format", "png", user.Root(), out}, 0);
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(Names(out + "/Sketches"), std::vector<std::string>{"one.png"});
    const std::string written = out + "/Sketches/one.png";
    const std::string complete = ReadAll(written);
    ASSERT_GT(complete.size(), 64u);
    std::ofstream(written, std::ios::binary) << "older";
    const Outcome failed = RunCli({"export-all", "--format", "png", user.Root(), out}, complete.size() / 2);
    EXPECT_NE(failed.status, 0);
    EXPECT_NE(failed.err.find(written), std::string::npos) << failed.err;
    EXPECT_EQ(ReadAll(written), "older");
    EXPECT_EQ(Names(out + "/Sketches"), std::vector<std::string>{"one.png"});
}

}  // namespace
