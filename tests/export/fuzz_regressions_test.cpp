// Every input in fuzz/regressions/<target>/ (inputs that once crashed or hung a fuzz target)
// goes through the target's own entry function, built with the normal compiler: it must come
// back, without an exception the entry does not expect, within the fuzzers' time limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzEntries.h"
#include "tests/support/Fixture.h"

namespace {

namespace fs = std::filesystem;

using Entry = int (*)(const std::uint8_t*, std::size_t);

struct Target {
    const char* name;
    Entry entry;
};

const Target kTargets[] = {
    {"header", plotwick::fuzz::HeaderEntry},
    {"record", plotwick::fuzz::RecordEntry},
    {"pipeline", plotwick::fuzz::PipelineEntry},
};

// The fuzzers stop an input after 10 s; a build with the sanitizers but without the fuzzers'
// instrumentation, sharing the machine with other tests, is given twice that.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kTimeLimitSeconds = 20.0;
#else
constexpr double kTimeLimitSeconds = 10.0;
#endif

fs::path RegressionFolder()
{
    // Not found from __FILE__: compiled through ccache with a base directory, that path is
    // relative to the build folder, not to the folder the tests run in.
    return fs::path(PLOTWICK_SOURCE_DIR) / "fuzz" / "regressions";
}

struct Input {
    std::string target;
    fs::path path;
};

std::vector<Input> Inputs()
{
    std::vector<Input> inputs;
    for (const Target& t : kTargets) {
        const fs::path folder = RegressionFolder() / t.name;
        if (!fs::is_directory(folder))
            continue;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.' &&
                entry.path().filename() != "README.md")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& f : files)
            inputs.push_back({t.name, f});
    }
    return inputs;
}

std::vector<std::uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class FuzzRegression : public ::testing::TestWithParam<Input> {};

TEST_P(FuzzRegression, ComesBackWithinTheTimeLimit)
{
    const Input& input = GetParam();
    const auto target = std::find_if(std::begin(kTargets), std::end(kTargets),
                                     [&](const Target& t) { return input.target == t.name; });
    ASSERT_NE(target, std::end(kTargets));
    const std::vector<std::uint8_t> bytes = ReadAll(input.path);
    ASSERT_TRUE(fs::exists(input.path));
    const auto start = std::chrono::steady_clock::now();
    try {
        EXPECT_EQ(target->entry(bytes.data(), bytes.size()), 0);
    } catch (const std::exception& e) {
        ADD_FAILURE() << input.path << ": " << e.what();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, kTimeLimitSeconds) << input.path;
}

std::string TestName(const ::testing::TestParamInfo<Input>& info)
{
    std::string name = info.param.target + "_" + info.param.path.filename().string();
    for (char& c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            c = '_';
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzRegression, ::testing::ValuesIn(Inputs()), TestName);

// The folder holds inputs: a missing or empty folder would make the replay above pass without
// replaying anything. (A target that never failed has no folder of its own.)
TEST(FuzzRegressions, TheFolderHoldsInputs)
{
    ASSERT_TRUE(fs::is_directory(RegressionFolder())) << RegressionFolder();
    EXPECT_FALSE(Inputs().empty());
}

// The entries handle what a fuzzer produces first: nothing at all, and the separator alone.
TEST(FuzzRegressions, EntriesTakeEmptyAndMinimalInputs)
{
    const std::string separators = "\x04\n%%\n\n%%\n\n%%\n";
    for (const Target& t : kTargets) {
        EXPECT_EQ(t.entry(nullptr, 0), 0) << t.name;
        EXPECT_EQ(t.entry(reinterpret_cast<const std::uint8_t*>(separators.data()), separators.size()), 0) << t.name;
    }
}

// An entry leaves the program's global state as it found it: limits, substitute face, SVG
// option and font list.
TEST(FuzzRegressions, EntriesRestoreTheGlobalState)
{
    using namespace plotwick::fixture;
    const plotwick::ShapeLimits before = plotwick::GetShapeLimits();
    std::vector<std::uint8_t> input = {0x07};  // substitute face, fit, text outlines
    const Bytes stream = Bytes()
                             .append(Path(std::nullopt, 0x000000FF, {M(0, 0), L(100, 50)}))
                             .append(Text(5, 50, 0, std::nullopt, "VU Dedadiz", 20, kIdentity, "AB"));
    input.insert(input.end(), stream.data().begin(), stream.data().end());
    const std::string separator(plotwick::fuzz::kSectionSeparator);
    input.insert(input.end(), separator.begin(), separator.end());
    const Bytes header = plotwick::fixture::Header(1.0f, "Fonts", 1000);
    input.insert(input.end(), header.data().begin(), header.data().end());
    EXPECT_EQ(plotwick::fuzz::PipelineEntry(input.data(), input.size()), 0);
    EXPECT_EQ(plotwick::GetShapeLimits().shapes, before.shapes);
    EXPECT_EQ(plotwick::GetShapeLimits().instructions, before.instructions);
    EXPECT_TRUE(plotwick::FontList.FFonts.empty());
}

}  // namespace
