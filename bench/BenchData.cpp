#include "bench/BenchData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <vector>

#include <sys/stat.h>

#include "model/DatabaseScan.h"
#include "text/VFont.h"

namespace plotwick::bench {

using fixture::Bytes;
using fixture::Random;

namespace {

// Coordinates as the handheld would store them: hundredths.
float Hundredths(double v) { return static_cast<float>(std::round(v * 100) / 100); }

std::uint32_t Colour(Random& r) { return r.Next() & 0x00FFFFFF; }

constexpr float kCanvasW = 4000, kCanvasH = 3000;

// One path of `count` instructions around a random centre; returns the path record.
Bytes RandomPath(Random& r, int count)
{
    const float cx = r.Uniform(100, kCanvasW - 100), cy = r.Uniform(100, kCanvasH - 100);
    const float radius = r.Uniform(20, 160);
    const auto at = [&](double angle, double k) {
        return std::pair<float, float>{Hundredths(cx + radius * k * std::cos(angle)),
                                       Hundredths(cy + radius * k * std::sin(angle))};
    };
    const bool closed = r.Below(4) != 0;
    const int body = count - 1 - (closed ? 1 : 0);
    std::vector<Bytes> instrs;
    instrs.reserve(static_cast<std::size_t>(count));
    auto [x0, y0] = at(0, 1);
    instrs.push_back(fixture::M(x0, y0));
    for (int i = 0; i < body; ++i) {
        const double a = 2 * std::numbers::pi * (i + 1) / (body > 0 ? body : 1);
        const auto [x, y] = at(a, r.Uniform(0.6f, 1.0f));
        const int kind = r.Below(10);
        if (kind < 5) {
            const auto [c1x, c1y] = at(a - 0.6, r.Uniform(0.8f, 1.3f));
            const auto [c2x, c2y] = at(a - 0.3, r.Uniform(0.8f, 1.3f));
            instrs.push_back(fixture::C(c1x, c1y, c2x, c2y, x, y));
        } else if (kind < 7) {
            const auto [c2x, c2y] = at(a - 0.25, r.Uniform(0.8f, 1.3f));
            instrs.push_back(fixture::S(c2x, c2y, x, y));
        } else {
            instrs.push_back(fixture::L(x, y));
        }
    }
    if (closed)
        instrs.push_back(fixture::Z());
    std::optional<std::uint32_t> fill, stroke;
    switch (r.Below(3)) {
    case 0:
        fill = Colour(r);
        break;
    case 1:
        stroke = Colour(r);
        break;
    default:
        fill = Colour(r);
        stroke = Colour(r);
        break;
    }
    return fixture::PathOf(fill, stroke, instrs);
}

Bytes RandomText(Random& r)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789";
    std::string text;
    const int n = 8 + r.Below(17);
    for (int i = 0; i < n; ++i)
        text.push_back(kLetters[r.Below(static_cast<int>(sizeof kLetters - 1))]);
    fixture::Matrix m = fixture::kIdentity;
    if (r.Below(4) == 0) {
        const double a = r.Uniform(-1.0f, 1.0f);
        m = {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0,
             static_cast<float>(-std::sin(a)), static_cast<float>(std::cos(a)), 0, 0, 0, 1};
    }
    const std::optional<std::uint32_t> fill = Colour(r);
    const std::optional<std::uint32_t> stroke =
        r.Below(3) == 0 ? std::optional<std::uint32_t>(Colour(r)) : std::nullopt;
    return fixture::Text(Hundredths(r.Uniform(0, kCanvasW - 600)), Hundredths(r.Uniform(100, kCanvasH)), fill, stroke,
                         kBenchFont, static_cast<std::uint16_t>(24 + r.Below(72)), m, text);
}

}  // namespace

Bytes DrawingStream(int instructions, int pathsPerText, std::uint32_t seed)
{
    Random r(seed);
    Bytes stream;
    std::vector<Bytes> group;
    int left = instructions;
    int paths = 0;
    while (left > 0) {
        const int count = std::min(left, 4 + r.Below(12));
        group.push_back(RandomPath(r, count));
        left -= count;
        ++paths;
        if (pathsPerText > 0 && paths % pathsPerText == 0)
            group.push_back(RandomText(r));
        if (group.size() >= 20 || left == 0) {
            stream.append(fixture::GroupOf(group));
            group.clear();
        }
    }
    return stream;
}

Bytes PathsStream(int paths, std::uint32_t seed)
{
    Random r(seed);
    Bytes stream;
    std::vector<Bytes> group;
    for (int i = 0; i < paths; ++i) {
        const float x = r.Uniform(0, kCanvasW), y = r.Uniform(0, kCanvasH), s = r.Uniform(5, 40);
        group.push_back(fixture::PathOf(Colour(r), Colour(r),
                                        {fixture::M(x, y), fixture::C(x + s, y - s, x + 2 * s, y + s, x + 2 * s, y + 2 * s),
                                         fixture::C(x + s, y + 3 * s, x, y + s, x - s, y + 2 * s),
                                         fixture::L(x - s, y + s), fixture::Z()}));
        if (group.size() == 100) {
            stream.append(fixture::GroupOf(group));
            group.clear();
        }
    }
    if (!group.empty())
        stream.append(fixture::GroupOf(group));
    return stream;
}

namespace {

// An outline of `pieces` curves around an ellipse, as a glyph contour.
void AddContour(std::vector<Bytes>& instrs, double cx, double cy, double rx, double ry, int pieces, bool reverse)
{
    const auto at = [&](double a) {
        return std::pair<float, float>{Hundredths(cx + rx * std::cos(a)), Hundredths(cy + ry * std::sin(a))};
    };
    const double step = (reverse ? -2 : 2) * std::numbers::pi / pieces;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    auto [x0, y0] = at(0);
    instrs.push_back(fixture::M(x0, y0));
    for (int i = 0; i < pieces; ++i) {
        const double a0 = i * step, a1 = (i + 1) * step;
        const auto [x, y] = at(a1);
        const float c1x = Hundredths(cx + rx * (std::cos(a0) - k * std::sin(a0)));
        const float c1y = Hundredths(cy + ry * (std::sin(a0) + k * std::cos(a0)));
        const float c2x = Hundredths(cx + rx * (std::cos(a1) + k * std::sin(a1)));
        const float c2y = Hundredths(cy + ry * (std::sin(a1) - k * std::cos(a1)));
        instrs.push_back(fixture::C(c1x, c1y, c2x, c2y, x, y));
    }
    instrs.push_back(fixture::Z());
}

Bytes GlyphShapes(int code)
{
    // Glyph outlines have y downwards from the baseline: the letter stands above y = 0.
    const double w = 300 + 7 * (code % 31);
    std::vector<Bytes> instrs;
    AddContour(instrs, w / 2 + 40, -360, w / 2, 360, 12, false);
    AddContour(instrs, w / 2 + 40, -360, w / 4, 220, 8, true);
    return fixture::PathOf(0x00000000, std::nullopt, instrs);
}

}  // namespace

std::string WriteBenchFont(fixture::UserFolder& user)
{
    const std::string folder = user.AddDatabase(2, kBenchFont, 1.0f, 1000);
    fixture::WriteFile(folder + "/missing.dat",
                       fixture::GlyphRecord(std::nullopt, std::pair<std::uint16_t, std::int16_t>{500, 50}, GlyphShapes(0)));
    for (int code = 32; code < 127; ++code) {
        char name[32];
        std::snprintf(name, sizeof name, "g%03d.dat", code);
        const auto width = static_cast<std::uint16_t>(380 + 7 * (code % 31));
        fixture::WriteFile(folder + "/" + name,
                           fixture::GlyphRecord(static_cast<std::uint8_t>(code),
                                                std::pair<std::uint16_t, std::int16_t>{width, 60},
                                                code == ' ' ? Bytes() : GlyphShapes(code)));
    }
    return folder;
}

void WriteSmallRecords(const std::string& folder, int count)
{
    std::array<std::uint8_t, 1024> thumbnail{};
    for (int i = 0; i < count; ++i) {
        for (std::size_t p = 0; p < thumbnail.size(); ++p)
            thumbnail[p] = static_cast<std::uint8_t>((p / 32 + p % 32 + static_cast<std::size_t>(i)) % 230);
        char name[32];
        std::snprintf(name, sizeof name, "r%05d.dat", i);
        fixture::WriteFile(folder + "/" + name, fixture::Record("Record " + std::to_string(i), Bytes(), &thumbnail));
    }
}

namespace {

void WriteBenchDrawings(const std::string& db)
{
    fixture::WriteFile(db + "/big1k.dat", fixture::Record("Bench 1,000", DrawingStream(1000, 10, 11)));
    fixture::WriteFile(db + "/big20k.dat", fixture::Record("Bench 20,000", DrawingStream(20000, 25, 12)));
    fixture::WriteFile(db + "/big200k.dat", fixture::Record("Bench 200,000", DrawingStream(200000, 40, 13)));
    fixture::WriteFile(db + "/paths20k.dat", fixture::Record("Bench 20,000 paths", PathsStream(20000, 14)));
}

}  // namespace

void WriteBenchDatabases(const std::string& userFolder, bool writeFont)
{
    fixture::UserFolder user(userFolder);
    if (writeFont)
        WriteBenchFont(user);
    WriteBenchDrawings(user.AddDatabase(0, "Bench"));
    WriteSmallRecords(user.AddDatabase(0, "List10k"), 10000);
}

void WriteGrowthDatabase(const std::string& userFolder)
{
    fixture::UserFolder user(userFolder);
    const std::string db = user.AddDatabase(0, "Growth");
    std::uint32_t seed = 21;
    for (const GrowthDrawing& g : kGrowthDrawings)
        fixture::WriteFile(db + "/" + g.file, fixture::Record("Growth " + std::to_string(g.instructions),
                                                              DrawingStream(g.instructions, 25, seed++)));
}

BenchFolder::BenchFolder()
{
    fixture::UserFolder user(dir.Path());
    WriteBenchFont(user);
    db.FPath = user.AddDatabase(0, "Bench");
    db.FName = "Bench";
    FontList.Clear();
    ScanFolder(KindFolder(dir.Path(), kFonts), kFonts, [this](std::unique_ptr<TDrawDB> font) {
        FontList.AddFontDatabase(font.get());
        fonts_.push_back(std::move(font));
    });
}

BenchFolder::~BenchFolder() { FontList.Clear(); }

std::string BenchFolder::Record(const std::string& fileName, const fixture::Bytes& stream)
{
    if (std::find(written_.begin(), written_.end(), fileName) == written_.end()) {
        fixture::WriteFile(db.FPath + "/" + fileName, fixture::Record(fileName, stream));
        written_.push_back(fileName);
    }
    return fileName;
}

std::int64_t BenchFolder::StreamSize(const std::string& fileName) const
{
    struct stat st;
    if (::stat((db.FPath + "/" + fileName).c_str(), &st) != 0)
        return 0;
    return static_cast<std::int64_t>(st.st_size) - 1096;
}

BenchFolder& SharedFolder()
{
    static BenchFolder folder;
    static const bool written = (WriteBenchDrawings(folder.db.FPath), true);
    (void)written;
    return folder;
}

}  // namespace plotwick::bench
