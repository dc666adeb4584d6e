#include "model/Drawing.h"

#include <cstring>

#include "model/BParser.h"
#include "model/DrawDB.h"
#include "platform/files/Files.h"
#include "platform/threads/InTwoHalves.h"

namespace plotwick {

namespace {

constexpr std::int32_t kNameSize = 32;
constexpr std::int32_t kThumbnailOffset = 72;
constexpr std::int32_t kThumbnailSide = 32;
constexpr std::int32_t kShapeStreamOffset = 1096;
// From this many top-level shapes (a drawing of some tens of thousands of instructions) a
// transformation is worth a second thread.
constexpr std::size_t kTransformInTwoFrom = 256;

std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return std::uint32_t{r} | (std::uint32_t{g} << 8) | (std::uint32_t{b} << 16);
}

std::array<std::uint32_t, 256> BuildPalette()
{
    static constexpr std::uint8_t levels[6] = {0xE6, 0xBB, 0x8B, 0x5C, 0x2C, 0x00};
    static constexpr std::uint8_t greys[10] = {0x1D, 0x3F, 0x4D, 0x6A, 0x7D, 0x9A, 0xA8, 0xCA, 0xD8, 0xB0};
    std::array<std::uint32_t, 256> palette{};
    for (int i = 0; i < 216; ++i) {
        const int h = i / 108, j = i % 108;
        const int r = j / 18, b = 3 * h + (j % 18) / 6, g = j % 6;
        palette[i] = Rgb(levels[r], levels[g], levels[b]);
    }
    palette[0] = Rgb(0xFF, 0xFF, 0xFF);
    palette[215] = Rgb(0x0F, 0x0F, 0x0F);
    for (int i = 0; i < 10; ++i)
        palette[216 + i] = Rgb(greys[i], greys[i], greys[i]);
    palette[226] = Rgb(0x76, 0, 0);
    palette[227] = Rgb(0x76, 0, 0x76);
    palette[228] = Rgb(0, 0x76, 0);
    palette[229] = Rgb(0, 0x76, 0x76);
    // 230 to 255 stay black.
    return palette;
}

}  // namespace

const std::array<std::uint32_t, 256>& ThumbnailPalette()
{
    static const std::array<std::uint32_t, 256> palette = BuildPalette();
    return palette;
}

TDrawing::TDrawing(TDrawDB* db, std::string fileName) : FDB(db), FFileName(std::move(fileName))
{
    ReadHeader();
}

TDrawing::~TDrawing() = default;

std::string TDrawing::FilePath() const
{
    return files::JoinPath(FDB ? FDB->FPath : std::string(), FFileName);
}

void TDrawing::ReadHeader()
{
    // The name and the thumbnail end where the shapes start: a listing reads no further.
    BParser reader(FilePath(), 0, kShapeStreamOffset);
    if (reader.FHandle <= 0)
        return;
    std::uint8_t name[kNameSize + 1] = {};
    reader.ReadAvailable(name, kNameSize);
    ReadThumbnail(reader);
    FName.assign(reinterpret_cast<const char*>(name), std::strlen(reinterpret_cast<const char*>(name)));
}

void TDrawing::ReadThumbnail(BParser& reader)
{
    auto thumb = std::make_unique<gdi::Bitmap24>(kThumbnailSide, kThumbnailSide, kThumbnailMissingColor);
    const auto& palette = ThumbnailPalette();
    reader.Skip(static_cast<std::int32_t>(kThumbnailOffset - reader.Skip(0)));
    std::uint8_t indexes[kThumbnailSide * kThumbnailSide];
    // Pixels the file holds no data for keep the fixed colour.
    const std::size_t got = reader.ReadAvailable(indexes, sizeof indexes);
    // The rows are packed, so the pixels lie one after another in reading order.
    std::uint8_t* p = thumb->Row(0);
    for (std::size_t i = 0; i < got; ++i, p += 3) {
        const std::uint32_t color = palette[indexes[i]];
        p[0] = static_cast<std::uint8_t>(color >> 16);
        p[1] = static_cast<std::uint8_t>(color >> 8);
        p[2] = static_cast<std::uint8_t>(color);
    }
    FThumbnail = std::move(thumb);
}

void TDrawing::SkipEntryTable(BParser& reader)
{
    const std::uint16_t n = reader.ReadWord();
    reader.Skip(static_cast<std::int32_t>(n) * 8);
}

void TDrawing::LoadShapes(bool normalise, const std::atomic<bool>* cancelled)
{
    ClearShapes();
    {
        const ShapeCountScope count;
        BParser reader(FilePath(), kShapeStreamOffset);
        std::uint8_t t = reader.ReadTag();
        if (t == 'a') {
            SkipEntryTable(reader);
            t = reader.ReadTag();
        }
        if (t == 'f') {
            reader.Skip(4);
            t = reader.ReadTag();
        }
        if (t == '#') {
            reader.Skip(8);
            t = reader.ReadTag();
        }
        for (auto shape = ShapeFactory::CreateShape(t); shape; shape = ShapeFactory::CreateShape(t)) {
            if (cancelled && cancelled->load(std::memory_order_relaxed)) {
                ClearShapes();
                throw LoadCancelled();
            }
            if (auto kept = ReadShape(reader, std::move(shape)))
                FShapes.push_back(std::move(kept));
            t = reader.ReadTag();
        }
    }
    if (normalise) {
        const IntRect r = GetBounds();
        FOffsetX = static_cast<float>(-static_cast<std::int64_t>(r.left));
        FOffsetY = static_cast<float>(-static_cast<std::int64_t>(r.top));
        Transform(Matrix3::Translation(FOffsetX, FOffsetY));
    }
}

IntRect TDrawing::GetBounds()
{
    FBounds.Reset();
    for (const auto& shape : FShapes)
        if (shape)
            shape->ExtendBounds(FBounds);
    return FBounds.GetRect();
}

void TDrawing::Transform(const Matrix3& m)
{
    // Each shape is transformed on its own: a drawing of many shapes in two halves at once.
    InTwoHalves(FShapes.size(), kTransformInTwoFrom, [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            if (FShapes[i])
                FShapes[i]->Transform(m);
    });
}

}  // namespace plotwick
