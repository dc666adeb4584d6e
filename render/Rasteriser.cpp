#include "render/Rasteriser.h"

#include <stdexcept>
#include <string>

#include "model/Drawing.h"
#include "model/Rounding.h"
#include "platform/gdi/RasterDevice.h"
#include "render/PathRender.h"

namespace plotwick {

namespace {

float Quotient(long double numerator, std::int64_t denominator)
{
    return denominator == 0 ? 1.0f : ToSingle(numerator / static_cast<long double>(denominator));
}

}  // namespace

RenderPlacement ComputeRenderPlacement(std::int64_t w, std::int64_t h, std::int32_t kw, std::int32_t kh, bool fit)
{
    RenderPlacement p;
    if (fit) {
        const std::int32_t m = 20;
        const std::int32_t a = (kw >= kh ? kh : kw) - 2 * m;
        p.sx = p.sy = Quotient(a, w > h ? w : h);
    } else {
        const std::int32_t m = 10;
        p.sx = Quotient(kw - 2 * m, w);
        p.sy = Quotient(kh - 2 * m, h);
    }
    p.tx = ToSingle((static_cast<long double>(kw) - static_cast<long double>(w) * p.sx) / 2);
    p.ty = ToSingle((static_cast<long double>(kh) - static_cast<long double>(h) * p.sy) / 2);
    p.penScale = ToSingle((static_cast<long double>(p.sx) + p.sy) / 2);
    return p;
}

void CheckRasterTargetSize(std::int64_t width, std::int64_t height)
{
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width <= 0 || height <= 0)
        throw std::runtime_error("The image size " + size + " has no pixels.");
    constexpr std::int32_t largest = gdi::RasterDevice::kMaxSide / 2;
    if (width > largest || height > largest)
        throw std::runtime_error("The image size " + size + " is too large; the largest side is " +
                                 std::to_string(largest) + " pixels.");
}

void TDrawing::RenderToBitmap(gdi::Bitmap24& target, bool fit)
{
    const std::int32_t tw = target.Width(), th = target.Height();
    CheckRasterTargetSize(tw, th);
    gdi::RasterDevice work(2 * tw, 2 * th);
    MetafileMode = false;
    const IntRect r = GetBounds();
    const RenderPlacement p = ComputeRenderPlacement(r.Width(), r.Height(), work.Width(), work.Height(), fit);
    Transform(Matrix3(p.sx, 0, 0, 0, p.sy, 0, p.tx, p.ty, 1));
    work.SetGraphicsMode(gdi::GM_COMPATIBLE);
    try {
        for (const auto& shape : FShapes)
            if (shape)
                shape->Draw(work, {p.tx, p.ty}, p.penScale);
    } catch (...) {
        target.Fill(0x00FFFFFF);  // a failed drawing leaves the target white
        throw;
    }
    // The reduction writes every pixel of the target.
    work.ReduceHalfTo(target);
}

void TDrawing::RenderToImage(gdi::Bitmap24& image)
{
    LoadShapes(true);
    RenderToBitmap(image, true);
}

}  // namespace plotwick
