// A vector PDF page of a drawing, drawn by the same path code as the metafile on a Cairo
// device.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <vector>

#include "render/PathRender.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

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

// A PDF document whose pages are width x height points: draw puts the pages on the surface
// through the context. The first error, draw's or Cairo's, is raised once the surface is
// finished.
using PdfDrawing = std::function<void(cairo_surface_t* surface, cairo_t* cr)>;
std::vector<std::uint8_t> WritePdf(double width, double height, const PdfDrawing& draw);
// Dates the document (created and modified) with a time of its input, so that the same input
// always gives the same bytes.
void SetPdfDates(cairo_surface_t* surface, std::time_t time);

}  // namespace plotwick
