// One record of a drawing or library database: name, 32x32 thumbnail and shapes on demand.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/Geometry.h"
#include "model/Shapes.h"
#include "platform/codec/Bitmap.h"

namespace plotwick {

class BParser;
class TDrawDB;

// The 256-colour palette of the stored thumbnails, as 0x00BBGGRR.
const std::array<std::uint32_t, 256>& ThumbnailPalette();

// Thrown by a load of shapes whose cancelled flag turned true.
struct LoadCancelled : std::runtime_error {
    LoadCancelled() : std::runtime_error("The load was cancelled.") {}
};

class TDrawing {
public:
    TDrawing(TDrawDB* db, std::string fileName);
    // A drawing opened for its shapes alone (an export): the name and the thumbnail are not
    // read, and the file is opened once, by LoadShapes.
    struct ShapesOnly {};
    TDrawing(TDrawDB* db, std::string fileName, ShapesOnly);
    ~TDrawing();
    TDrawing(const TDrawing&) = delete;
    TDrawing& operator=(const TDrawing&) = delete;

    void ReadHeader();
    void ReadThumbnail(BParser& reader);
    // cancelled: when set, the load stops with LoadCancelled before the next top-level shape
    // once it turns true (another thread may set it), and no shape is kept. A long shape stream
    // is read in two halves at once.
    void LoadShapes(bool normalise, const std::atomic<bool>* cancelled = nullptr);
    // How many of the top-level shapes the last LoadShapes took from its second thread.
    std::size_t FShapesReadAhead = 0;
    void SkipEntryTable(BParser& reader);
    void ClearShapes() { FShapes.clear(); }
    IntRect GetBounds();
    void Transform(const Matrix3& m);
    std::string FilePath() const;  // FDB->FPath + "/" + FFileName

    // Drawing it on a device is render/Rasteriser.h's and render/Metafile.h's; writing it as
    // SVG is svg/SvgWriter.h's.

    std::vector<std::unique_ptr<VPath>> FShapes;
    TDrawDB* FDB = nullptr;
    std::string FFileName;
    std::string FName;
    std::unique_ptr<gdi::Bitmap24> FThumbnail;
    FDirtyRect FBounds;
    float FOffsetX = 0;
    float FOffsetY = 0;
};

// The fixed colour of thumbnail pixels for which a short record file holds no data.
inline constexpr std::uint32_t kThumbnailMissingColor = 0x00FFFFFF;

}  // namespace plotwick
