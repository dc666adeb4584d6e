// Metafile output: frame and mapping, the recorded coordinates, the file format by name, PDF.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "model/Drawing.h"
#include "model/DrawDB.h"
#include "export/Export.h"
#include "render/Metafile.h"
#include "render/Pdf.h"
#include "render/PathRender.h"
#include "tests/support/Fixture.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::int32_t LeI32(const std::vector<std::uint8_t>& b, std::size_t at) { return static_cast<std::int32_t>(Le32(b, at)); }

std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Record {
    std::uint32_t type;
    std::vector<std::int32_t> params;
};

// The records of an EMF, each with its parameters read as 32-bit values.
std::vector<Record> Records(const std::vector<std::uint8_t>& emf)
{
    std::vector<Record> out;
    std::size_t at = 0;
    while (at + 8 <= emf.size()) {
        const std::uint32_t type = Le32(emf, at), size = Le32(emf, at + 4);
        if (size < 8 || at + size > emf.size())
            break;
        Record r{type, {}};
        for (std::size_t p = at + 8; p + 4 <= at + size; p += 4)
            r.params.push_back(LeI32(emf, p));
        out.push_back(r);
        at += size;
    }
    return out;
}

constexpr std::uint32_t EMR_HEADER = 1, EMR_EOF = 14, EMR_SETWINDOWEXTEX = 9, EMR_SETVIEWPORTEXTEX = 11,
                        EMR_MOVETOEX = 27, EMR_LINETO = 54, EMR_SETMAPMODE = 17;

class MetafileTest : public ::testing::Test {
protected:
    MetafileTest() { db.FPath = dir.Path(); }
    TDrawing& Make(const Bytes& stream)
    {
        WriteFile(dir / "m.dat", plotwick::fixture::Record("m", stream));
        drawing = std::make_unique<TDrawing>(&db, "m.dat");
        drawing->LoadShapes(true);
        return *drawing;
    }
    TempDir dir;
    TDrawDB db;
    std::unique_ptr<TDrawing> drawing;
};

TEST(MetafileLayout, FrameAndMappingOfA100By50Drawing)
{
    const MetafileLayout l = ComputeMetafileLayout(100, 50);
    // 102 x 52 reference pixels at 508 mm / 1920 and 286 mm / 1080, in 0.01 mm.
    EXPECT_EQ(l.frame.right, 2699);
    EXPECT_EQ(l.frame.bottom, 1377);
    EXPECT_EQ(l.windowExtX, 10000);
    EXPECT_EQ(l.windowExtY, 5000);
    EXPECT_EQ(l.viewportExtX, 320);
    EXPECT_EQ(l.viewportExtY, 160);
    EXPECT_EQ(ComputeMetafileLayout(7, 50).viewportExtX, 22);  // 22.4 rounded
}

TEST(MetafileLayout, EmptyExtentsGiveAPictureOfOneUnit)
{
    for (const auto& [w, h] : {std::pair{0, 0}, std::pair{-200000, -200000}, std::pair{100, 0}}) {
        const MetafileLayout l = ComputeMetafileLayout(w, h);
        EXPECT_GT(l.windowExtX, 0);
        EXPECT_GT(l.windowExtY, 0);
        EXPECT_GT(l.viewportExtX, 0);
        EXPECT_GT(l.viewportExtY, 0);
        EXPECT_GT(l.frame.right, 0);
    }
}

TEST_F(MetafileTest, RecordsTheMappingAndTheMovedCoordinates)
{
    TDrawing& d = Make(Path(std::nullopt, 0, {M(0, 0), L(100, 50)}));
    const std::vector<std::uint8_t> emf = CreateMetafile(d);
    const auto records = Records(emf);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().type, EMR_HEADER);
    EXPECT_EQ(records.back().type, EMR_EOF);
    // The header's frame (after the bounds) and its byte and record counts.
    EXPECT_EQ(LeI32(emf, 24), 0);
    EXPECT_EQ(LeI32(emf, 32), 2699);
    EXPECT_EQ(LeI32(emf, 36), 1377);
    EXPECT_EQ(Le32(emf, 48), emf.size());
    EXPECT_EQ(Le32(emf, 52), records.size());
    bool sawMove = false, sawLine = false;
    for (const Record& r : records) {
        if (r.type == EMR_SETMAPMODE) {
            EXPECT_EQ(r.params, std::vector<std::int32_t>{8});
        }
        if (r.type == EMR_SETWINDOWEXTEX) {
            EXPECT_EQ(r.params, (std::vector<std::int32_t>{10000, 5000}));
        }
        if (r.type == EMR_SETVIEWPORTEXTEX) {
            EXPECT_EQ(r.params, (std::vector<std::int32_t>{320, 160}));
        }
        if (r.type == EMR_MOVETOEX) {
            EXPECT_EQ(r.params, (std::vector<std::int32_t>{31, 31}));
            sawMove = true;
        }
        if (r.type == EMR_LINETO) {
            EXPECT_EQ(r.params, (std::vector<std::int32_t>{3156, 1594}));
            sawLine = true;
        }
    }
    EXPECT_TRUE(sawMove);
    EXPECT_TRUE(sawLine);
}

TEST_F(MetafileTest, FormatFollowsTheNameIgnoringCase)
{
    TDrawing& d = Make(Path(0x00FF0000, 0, {M(0, 0), L(10, 0), L(10, 10), Z()}));
    const auto kind = [&](const std::string& name) {
        Export(d, *ExportFormatOfPath(name), {}, dir / name);
        const auto bytes = ReadAll(dir / name);
        return bytes.size() >= 44 && Le32(bytes, 0) == 0x9AC6CDD7u ? std::string("wmf")
               : bytes.size() >= 44 && std::memcmp(&bytes[40], " EMF", 4) == 0 ? std::string("emf")
                                                                                 : std::string("other");
    };
    EXPECT_EQ(kind("a.WMF"), "wmf");
    EXPECT_EQ(kind("b.wmf"), "wmf");
    EXPECT_EQ(kind("c.emf"), "emf");
    EXPECT_FALSE(ExportFormatOfPath(dir / "d.xyz"));
}

TEST_F(MetafileTest, EmptyDrawingStillMakesAValidMetafile)
{
    TDrawing& d = Make(Bytes());
    const auto records = Records(CreateMetafile(d));
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records.back().type, EMR_EOF);
    for (const Record& r : records)
        if (r.type == EMR_SETWINDOWEXTEX || r.type == EMR_SETVIEWPORTEXTEX) {
            EXPECT_GT(r.params[0], 0);
            EXPECT_GT(r.params[1], 0);
        }
}

TEST_F(MetafileTest, CopyAsVectorsReloadsTheShapes)
{
    TDrawing& d = Make(Path(std::nullopt, 0, {M(5, 5), L(50, 30)}));
    d.Transform(Matrix3::Translation(1000, 1000));  // an earlier output moved the shapes
    const auto records = Records(ClipboardMetafile(d, {}));
    for (const Record& r : records)
        if (r.type == EMR_MOVETOEX) {
            EXPECT_EQ(r.params, (std::vector<std::int32_t>{31, 31}));
        }
}

TEST_F(MetafileTest, PdfIsOnePageOfTheDrawingsSize)
{
    TDrawing& d = Make(Path(0x000000FF, 0, {M(0, 0), L(96, 0), L(96, 48), Z()}));
    const std::vector<std::uint8_t> pdf = CreatePdf(d);
    const std::string text(pdf.begin(), pdf.end());
    EXPECT_EQ(text.rfind("%PDF-", 0), 0u);
    EXPECT_NE(text.find("/MediaBox [ 0 0 72 36 ]"), std::string::npos);
    EXPECT_NE(text.find("/Count 1"), std::string::npos);
    // Dated with the record's time, not the clock's: the same record gives the same file.
    ::sleep(1);
    d.LoadShapes(true);
    EXPECT_EQ(CreatePdf(d), pdf);
}

TEST_F(MetafileTest, ThirdPartyReaderDrawsEveryPath)
{
    if (std::system("command -v emf2svg-conv >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "emf2svg-conv is not installed";
    TDrawing& d = Make(Bytes()
                           .append(Path(0x000000FF, 0, {M(0, 0), L(40, 0), L(40, 40), Z()}))
                           .append(Path(std::nullopt, 0x00FF0000, {M(0, 50), C(10, 60, 20, 40, 30, 50)}))
                           .append(Group({Path(0x0000FF00, std::nullopt, {M(50, 50), L(60, 50), L(55, 60), Z()})})));
    Export(d, ExportFormat::Emf, {}, dir / "three.emf");
    const std::string cmd = "emf2svg-conv -i '" + dir / "three.emf" + "' -o '" + dir / "three.svg" + "' 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const auto svg = ReadAll(dir / "three.svg");
    const std::string text(svg.begin(), svg.end());
    std::size_t paths = 0;
    for (std::size_t at = text.find("<path"); at != std::string::npos; at = text.find("<path", at + 1))
        ++paths;
    // Three shapes, the first with a fill pass and a stroke pass.
    EXPECT_EQ(paths, 4u);
}

}  // namespace
