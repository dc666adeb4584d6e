// Every record of the sample folder exports to every format, and third-party readers accept
// the files: xmllint and rsvg-convert (SVG), emf2svg-conv (EMF), wmf2svg (WMF), identify (BMP,
// PNG, JPEG, PDF). A reader that is not installed is skipped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/support/Fixture.h"
#include "tests/support/Process.h"

using namespace plotwick::fixture;
namespace fs = std::filesystem;

namespace {

class SampleExports : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir;
        const ProcessResult r = RunCommand(ShellQuote(PLOTWICK_SAMPLE_WRITER) + " " + ShellQuote(*dir / "base"));
        ASSERT_EQ(r.status, 0) << r.err;
        for (const auto& e : fs::directory_iterator(*dir / "base"))
            if (e.is_directory())
                user = e.path().string();
    }
    static void TearDownTestSuite() { delete dir; }

    // Exports every record to the format; returns the files written.
    static std::vector<std::string> ExportAll(const std::string& format)
    {
        const std::string out = *dir / ("out-" + format);
        const ProcessResult r = RunCommand(ShellQuote(PLOTWICK_CLI) + " export-all --format " + format + " --width 300 " +
                                           ShellQuote(user) + " " + ShellQuote(out));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(" exported, 0 failed"), std::string::npos) << r.out;
        std::vector<std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(out))
            if (e.is_regular_file())
                files.push_back(e.path().string());
        EXPECT_GE(files.size(), 8u);
        return files;
    }

    static void Check(const std::string& program, const std::string& format,
                      const std::function<std::string(const std::string&)>& commandFor)
    {
        if (!HaveProgram(program))
            GTEST_SKIP() << program << " is not installed";
        for (const std::string& file : ExportAll(format)) {
            const ProcessResult r = RunCommand(commandFor(file));
            EXPECT_EQ(r.status, 0) << program << " " << file << "\n" << r.err;
        }
    }

    static TempDir* dir;
    static std::string user;
};

TempDir* SampleExports::dir = nullptr;
std::string SampleExports::user;

TEST_F(SampleExports, SvgIsWellFormed)
{
    Check("xmllint", "svg", [](const std::string& f) { return "xmllint --noout " + ShellQuote(f); });
}

TEST_F(SampleExports, SvgRenders)
{
    // A drawing without shapes is a document of size 0, which rsvg-convert declines to render.
    Check("rsvg-convert", "svg", [](const std::string& f) {
        return "iconv -f UTF-16 -t UTF-8 " + ShellQuote(f) + " | grep -q 'width=\"0\"' || { rsvg-convert " + ShellQuote(f) + " -o " +
               ShellQuote(f + ".png") + " && test -s " + ShellQuote(f + ".png") + "; }";
    });
}

TEST_F(SampleExports, EmfConverts)
{
    Check("emf2svg-conv", "emf", [](const std::string& f) {
        return "emf2svg-conv -i " + ShellQuote(f) + " -o " + ShellQuote(f + ".svg") + " && test -s " +
               ShellQuote(f + ".svg");
    });
}

TEST_F(SampleExports, WmfReads)
{
    // libwmf declines a metafile in which nothing is drawn (the sample's blank page).
    Check("wmf2svg", "wmf", [](const std::string& f) {
        return "case " + ShellQuote(f) + " in */Blank.wmf) exit 0;; esac; wmf2svg -o " + ShellQuote(f + ".svg") + " " +
               ShellQuote(f) + " && test -s " + ShellQuote(f + ".svg");
    });
}

TEST_F(SampleExports, RasterFilesOpen)
{
    for (const char* format : {"png", "bmp", "jpg"})
        Check("identify", format, [](const std::string& f) { return "identify " + ShellQuote(f); });
}

TEST_F(SampleExports, PdfHasOnePage)
{
    for (const std::string& file : ExportAll("pdf")) {
        std::ifstream in(file, std::ios::binary);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(text.rfind("%PDF-", 0), 0u) << file;
        EXPECT_NE(text.find("/Count 1"), std::string::npos) << file;
    }
}

}  // namespace
