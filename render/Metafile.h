// Vector output of a drawing: the enhanced metafile behind the EMF and WMF files and the copy
// as vectors, and a PDF page drawn by the same path code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/EmfRecorder.h"

namespace plotwick {

class TDrawing;

// The reference device of every metafile: a screen of 1920 x 1080 pixels, 508 x 286 mm
// (96 pixels per inch), the same in the window and in plotwick-cli.
inline constexpr gdi::ReferenceDevice kReferenceScreen{};

struct MetafileLayout {
    std::int64_t width = 0, height = 0;  // the drawing's extents, at least 1 unit each
    gdi::RectL frame;                    // picture frame in 0.01 mm: (W + 2) x (H + 2) reference pixels
    std::int32_t windowExtX = 0, windowExtY = 0;
    std::int32_t viewportExtX = 0, viewportExtY = 0;
};

// The frame and mapping of the metafile of a drawing with the given bounds. A drawing whose
// box has no width or height, or that has no shapes, is given a picture of at least one unit
// rather than zero or negative extents.
MetafileLayout ComputeMetafileLayout(std::int64_t boundsWidth, std::int64_t boundsHeight);

// Records the currently loaded (normalised) shapes, moved by (1, 1); returns the EMF bytes.
std::vector<std::uint8_t> CreateMetafile(TDrawing& drawing);
// The enhanced metafile, or a placeable Windows metafile when the name ends in ".wmf" in any
// letter case. Written completely or not at all.
void SaveEmf(TDrawing& drawing, const std::string& fileName);
void SaveWmf(TDrawing& drawing, const std::string& fileName);
// Reloads the shapes normalised and records them, for the clipboard.
std::vector<std::uint8_t> CopyAsVectors(TDrawing& drawing);

// One PDF page the size of the drawing's bounds (one drawing unit = one pixel at 96 dpi), the
// loaded (normalised) shapes drawn through the same path code as the metafile. A side is at
// most kLargestPdfPageUnits (1.5 million points); what lies beyond is cut off.
inline constexpr std::int64_t kLargestPdfPageUnits = 2'000'000;
std::vector<std::uint8_t> CreatePdf(TDrawing& drawing);

}  // namespace plotwick
