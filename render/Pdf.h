// A vector PDF page of a drawing, drawn by the same path code as the metafile on a Cairo
// device.
#pragma once

#include <cstdint>
#include <vector>

#include "render/PathRender.h"

namespace plotwick {

namespace gdi {
class DeviceContext;
}
class TDrawing;

// Draws the loaded shapes as every vector page draws them: in metafile mode at scale 1, so that
// one drawing unit is MetafileScale logical units of the device.
void DrawVectorShapes(const TDrawing& drawing, gdi::DeviceContext& device, const RenderOptions& options);

// One PDF page the size of the drawing's bounds (one drawing unit = one pixel at 96 dpi), the
// loaded (normalised) shapes drawn through the same path code as the metafile. A side is at
// most kLargestPdfPageUnits (1.5 million points); what lies beyond is cut off.
inline constexpr std::int64_t kLargestPdfPageUnits = 2'000'000;
std::vector<std::uint8_t> CreatePdf(TDrawing& drawing, const RenderOptions& options = {});

}  // namespace plotwick
