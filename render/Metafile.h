// Vector output of a drawing: the enhanced metafile behind the EMF and WMF files and the copy
// as vectors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/metafile/EmfRecorder.h"
#include "render/PathRender.h"

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
// The placeable Windows metafile is its conversion (platform/metafile/WmfConverter.h).
std::vector<std::uint8_t> CreateMetafile(TDrawing& drawing, const RenderOptions& options = {});

}  // namespace plotwick
