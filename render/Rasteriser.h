// The drawing rasteriser: the placement of a drawing in the work bitmap, twice the target's
// size, and the 2x2 reduction onto the target.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "render/PathRender.h"

namespace plotwick {

namespace gdi {
class Bitmap24;
class RasterDevice;
}
class TDrawing;
class VPath;

struct RenderPlacement {
    float sx = 1, sy = 1;  // scale factors
    float tx = 0, ty = 0;  // translation after scaling
    float penScale = 1;    // (sx + sy) / 2: the pen width of stroked paths, in work pixels
};

// Where a drawing whose bounds are w x h lands in a work bitmap of kw x kh pixels. Fit mode
// keeps the proportions with a margin of 20 work pixels; stretch mode fills the bitmap up to a
// margin of 10. An extent of 0 (a straight line or a dot) has nothing to divide by: that axis
// keeps a scale of 1, centred.
// Raises a clear error for a target size the rasteriser cannot draw: a side of 0 pixels or
// less, or longer than the largest side of its work bitmap allows. Callers check before they
// allocate the target, as a huge bitmap could take more memory than there is.
void CheckRasterTargetSize(std::int64_t width, std::int64_t height);

RenderPlacement ComputeRenderPlacement(std::int64_t w, std::int64_t h, std::int32_t kw, std::int32_t kh, bool fit);

// Draws the loaded shapes (loaded with normalisation) onto target, whose size is set; the
// shapes are left transformed. Fit keeps the proportions, else the drawing is stretched.
void RenderToBitmap(TDrawing& drawing, gdi::Bitmap24& target, bool fit, const RenderOptions& options = {});
// The same drawing on the work bitmap for a target of width x height, not yet reduced: its
// writer reduces it (RasterDevice::ReduceHalfTo, or ReduceRowsTo as it goes).
std::unique_ptr<gdi::RasterDevice> DrawForTarget(TDrawing& drawing, std::int32_t width, std::int32_t height, bool fit,
                                                 const RenderOptions& options = {});
// The drawing view's render of a region: draws shapes (loaded with normalisation; they are left
// as they are) at scale target pixels per drawing unit, with the drawing's point (x0, y0) at
// the target's top left corner, through a work bitmap twice the target's size as every render.
void RenderRegion(const std::vector<std::unique_ptr<VPath>>& shapes, gdi::Bitmap24& target, double scale, double x0,
                  double y0, const RenderOptions& options = {});
// The preview: reloads the shapes normalised and renders them fitted into image.
void RenderToImage(TDrawing& drawing, gdi::Bitmap24& image, const RenderOptions& options = {});

}  // namespace plotwick
