// One record of a drawing or library database: name, 32x32 thumbnail and shapes on demand.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/Geometry.h"
#include "model/Shapes.h"
#include "platform/gdi/Bitmap.h"

namespace plotwick {

class BParser;
class TDrawDB;

// The 256-colour palette of the stored thumbnails, as 0x00BBGGRR.
const std::array<std::uint32_t, 256>& ThumbnailPalette();

class TDrawing {
public:
    TDrawing(TDrawDB* db, std::string fileName);
    ~TDrawing();
    TDrawing(const TDrawing&) = delete;
    TDrawing& operator=(const TDrawing&) = delete;

    void ReadHeader();
    void ReadThumbnail(BParser& reader);
    void LoadShapes(bool normalise);
    void SkipEntryTable(BParser& reader);
    void ClearShapes() { FShapes.clear(); }
    IntRect GetBounds();
    void Transform(const Matrix3& m);
    std::string FilePath() const;  // FDB->FPath + "/" + FFileName

    // Rendering (render/).
    // Draws the loaded shapes (loaded with normalisation) onto target, whose size is set; the
    // shapes are left transformed. Fit keeps the proportions, else the drawing is stretched.
    void RenderToBitmap(gdi::Bitmap24& target, bool fit);
    // The preview: reloads the shapes normalised and renders them fitted into image.
    void RenderToImage(gdi::Bitmap24& image);

    // SVG (svg/).
    void BuildSvg(SvgText& d) const;
    void SaveSvg(const std::string& fileName) const;

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
