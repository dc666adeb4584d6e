// The stored 32 x 32 thumbnails of the sample records, drawn by the program's own rasteriser
// from the records' shapes.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "model/DatabaseScan.h"
#include "model/Drawing.h"
#include "platform/files/Files.h"
#include "platform/codec/Bitmap.h"
#include "render/Rasteriser.h"
#include "text/VFont.h"
#include "tools/SampleFolder.h"

namespace plotwick::sample {

namespace {

constexpr int kSide = 32;
constexpr int kBlock = 10;                     // rendered pixels to one thumbnail pixel
constexpr std::size_t kThumbnailOffset = 72;  // in a record file
constexpr std::uint32_t kWhite = 0x00FFFFFF;
constexpr double kMinInk = 0.4;

int Red(std::uint32_t c) { return static_cast<int>(c & 0xFF); }
int Green(std::uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
int Blue(std::uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }

// The palette entry nearest to a colour; of equally near entries the first.
std::uint8_t NearestIndex(int r, int g, int b)
{
    const auto& palette = ThumbnailPalette();
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t c = palette[static_cast<std::size_t>(i)];
        const long dr = Red(c) - r, dg = Green(c) - g, db = Blue(c) - b;
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return static_cast<std::uint8_t>(best);
}

// The record drawn as the preview places it, ten times the thumbnail's size, each 10 x 10
// block averaged into one pixel of the palette. A record without shapes stays white. A glyph
// is drawn in its em square (emSize > 0), so that a full stop stays small beside a capital.
std::vector<std::uint8_t> RenderThumbnail(TDrawing& drawing, int emSize)
{
    std::vector<std::uint8_t> indexes(kSide * kSide, 0);
    drawing.LoadShapes(emSize <= 0);
    if (drawing.FShapes.empty())
        return indexes;
    if (emSize > 0) {
        // Corners of the em square as a path that only moves: it counts in the bounds and
        // draws nothing. The glyph's origin is on the baseline, a fifth of the em up from the bottom.
        auto frame = std::make_unique<VPath>();
        for (const float y : {-0.8f * static_cast<float>(emSize), 0.2f * static_cast<float>(emSize)}) {
            PathInstr corner;
            corner.Kind = 'M';
            corner.X = corner.C1X = corner.C2X = y < 0 ? 0.0f : static_cast<float>(emSize);
            corner.Y = corner.C1Y = corner.C2Y = y;
            frame->AddInstruction(corner);
        }
        drawing.FShapes.push_back(std::move(frame));
        const IntRect r = drawing.GetBounds();
        drawing.Transform(Matrix3(1, 0, 0, 0, 1, 0, static_cast<float>(-r.left), static_cast<float>(-r.top), 1));
    }
    gdi::Bitmap24 image(kSide * kBlock, kSide * kBlock);
    RenderToBitmap(drawing, image, true);
    drawing.ClearShapes();
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            // The block's ink: its pixels that are not the white background. A block with a
            // little ink (a hairline) gets at least kMinInk of it, so thin lines stay visible.
            int r = 0, g = 0, b = 0, ink = 0;
            for (int v = 0; v < kBlock; ++v) {
                for (int u = 0; u < kBlock; ++u) {
                    const std::uint32_t c = image.GetPixel(x * kBlock + u, y * kBlock + v);
                    if (c == kWhite)
                        continue;
                    r += Red(c);
                    g += Green(c);
                    b += Blue(c);
                    ++ink;
                }
            }
            if (ink == 0)
                continue;
            const double share = std::max(static_cast<double>(ink) / (kBlock * kBlock), kMinInk);
            const auto mix = [&](int sum) {
                return static_cast<int>(std::lround(255.0 * (1 - share) + share * sum / ink));
            };
            indexes[static_cast<std::size_t>(y * kSide + x)] = NearestIndex(mix(r), mix(g), mix(b));
        }
    }
    return indexes;
}

void StoreThumbnail(const std::string& path, const std::vector<std::uint8_t>& indexes)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(kThumbnailOffset));
    file.write(reinterpret_cast<const char*>(indexes.data()), static_cast<std::streamsize>(indexes.size()));
    if (!file)
        throw std::runtime_error("cannot store the thumbnail of " + path);
}

}  // namespace

void StoreThumbnails(const std::string& userFolder)
{
    // Texts are set in the user's own fonts, as the window sets them.
    std::vector<std::unique_ptr<TDrawDB>> databases;
    FontList.Clear();
    ScanUserFolder(userFolder, [&](std::unique_ptr<TDrawDB> db) {
        if (db->FKind == kFonts)
            FontList.AddFontDatabase(db.get());
        databases.push_back(std::move(db));
    });
    for (const auto& db : databases) {
        for (const auto& entry : files::Enumerate(db->FPath, "*.dat", files::Hidden::Include)) {
            if (entry.isDirectory)
                continue;
            TDrawing drawing(db.get(), entry.name);
            StoreThumbnail(drawing.FilePath(), RenderThumbnail(drawing, db->FKind == kFonts ? db->FHeaderWord : 0));
        }
    }
    FontList.Clear();
}

}  // namespace plotwick::sample
