#include "render/Metafile.h"

#include <algorithm>

#include "model/Drawing.h"
#include "model/Rounding.h"
#include "render/PathRender.h"

namespace plotwick {

namespace {

constexpr int MM_ANISOTROPIC = 8;

// a * b / c rounded to the nearest integer, halves away from zero, from a 64-bit product.
std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c)
{
    const long double q = static_cast<long double>(a) * b / c;
    return static_cast<std::int64_t>(q < 0 ? q - 0.5L : q + 0.5L);
}

std::int32_t ClampToInt32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

MetafileLayout ComputeMetafileLayout(std::int64_t boundsWidth, std::int64_t boundsHeight)
{
    // Drawings are far smaller than this; the limit keeps every extent inside 32 bits.
    constexpr std::int64_t kLargest = 20000000;
    MetafileLayout l;
    l.width = std::clamp<std::int64_t>(boundsWidth, 1, kLargest);
    l.height = std::clamp<std::int64_t>(boundsHeight, 1, kLargest);
    const gdi::ReferenceDevice& dev = kReferenceScreen;
    l.frame = {0, 0,
               ClampToInt32(MulDiv((l.width + 2) * dev.widthMillimetres, 100, dev.widthPixels)),
               ClampToInt32(MulDiv((l.height + 2) * dev.heightMillimetres, 100, dev.heightPixels))};
    l.windowExtX = ClampToInt32(100 * l.width);
    l.windowExtY = ClampToInt32(100 * l.height);
    l.viewportExtX = RoundEven(static_cast<long double>(100 * l.width) / MetafileScale);
    l.viewportExtY = RoundEven(static_cast<long double>(100 * l.height) / MetafileScale);
    return l;
}

std::vector<std::uint8_t> CreateMetafile(TDrawing& drawing, const RenderOptions& options)
{
    const IntRect r = drawing.GetBounds();
    const MetafileLayout l = ComputeMetafileLayout(r.Width(), r.Height());
    gdi::EmfRecorder recorder(l.frame, kReferenceScreen);
    recorder.SetMapMode(MM_ANISOTROPIC);
    recorder.SetWindowExtEx(l.windowExtX, l.windowExtY);
    recorder.SetViewportExtEx(l.viewportExtX, l.viewportExtY);
    const RenderContext context = RenderContext::Metafile(options);
    recorder.SelectSolidBrush(0x00FFFFFF);
    drawing.Transform(Matrix3::Translation(1, 1));
    for (const auto& shape : drawing.FShapes)
        if (shape)
            Draw(*shape, recorder, context, {1, 1}, 1.0f);
    return recorder.Finish();
}

}  // namespace plotwick
