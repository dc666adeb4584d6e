#include "render/Rasteriser.h"

#include <exception>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "model/Drawing.h"
#include "model/Rounding.h"
#include "model/Shapes.h"
#include "platform/device/DeviceContext.h"
#include "platform/device/RasterDevice.h"
#include "platform/threads/Processors.h"
#include "render/PathRender.h"

namespace plotwick {

namespace {

float Quotient(long double numerator, std::int64_t denominator)
{
    return denominator == 0 ? 1.0f : ToSingle(numerator / static_cast<long double>(denominator));
}

// Drawings from this many instructions on are drawn in two halves side by side, on a machine
// with more than one processor: below it a second thread costs more than it saves.
constexpr std::size_t kSplitFromInstructions = 20000;
// Nor when the work bitmap is larger than this: the second half needs a layer of that size.
constexpr std::int64_t kLargestSplitPixels = std::int64_t{4096} * 4096;
// The preview makes a work bitmap of this many pixels or more on a second thread while the
// drawing loads: below it the thread costs more than the bitmap.
constexpr std::int64_t kMadeAsideFromPixels = std::int64_t{1} << 20;

// The work of drawing a shape: its instructions, and one for the shape itself.
std::size_t Weight(const VPath& shape)
{
    std::size_t weight = shape.FInstructions.size() + 1;
    if (shape.IsGroup())
        for (const auto& child : static_cast<const VPathGroup&>(shape).FChildren)
            if (child)
                weight += Weight(*child);
    return weight;
}

// Stands in for the device while shapes are gone through once more, to learn the current
// position the device has after them: the position and the figures move as on the device
// (CairoDevice: a line or curve in a path with no open figure starts one where the position
// is, and closing it goes back there), nothing is drawn. Started from an unknown position, it
// also tells whether the position it ends with came from those shapes alone: set by them, and
// never read before they set it.
class PositionTracker final : public gdi::DeviceContext {
public:
    explicit PositionTracker(bool startKnown) : currentKnown_(startKnown), figureStartKnown_(startKnown) {}

    gdi::Point Position() const { return current_; }
    bool PositionIsTheirs() const { return currentKnown_ && !readUnknown_; }

    void BeginPath() override
    {
        inBracket_ = true;
        figureOpen_ = false;
    }
    void EndPath() override { inBracket_ = false; }
    void FillPath() override { inBracket_ = figureOpen_ = false; }
    void StrokePath() override { inBracket_ = figureOpen_ = false; }
    void MoveToEx(std::int32_t x, std::int32_t y) override
    {
        current_ = figureStart_ = {x, y};
        currentKnown_ = figureStartKnown_ = true;
        figureOpen_ = figureOpen_ || inBracket_;
    }
    void LineTo(std::int32_t x, std::int32_t y) override
    {
        EnsureFigure();
        current_ = {x, y};
        currentKnown_ = true;
    }
    void PolyBezierTo(const gdi::Point* points, std::size_t count) override
    {
        count -= count % 3;  // as the device: points past the last whole curve are ignored
        if (count == 0)
            return;
        EnsureFigure();
        current_ = points[count - 1];
        currentKnown_ = true;
    }
    void CloseFigure() override
    {
        if (!inBracket_ || !figureOpen_)
            return;
        figureOpen_ = false;
        current_ = figureStart_;
        currentKnown_ = figureStartKnown_;
    }
    gdi::Point CurrentPosition() const override
    {
        readUnknown_ = readUnknown_ || !currentKnown_;
        return current_;
    }
    void SelectSolidPen(gdi::ColorRef, std::int32_t) override {}
    void SelectSolidBrush(gdi::ColorRef) override {}
    void SelectFont(const gdi::LogFont&) override {}
    void SetTextColor(gdi::ColorRef) override {}
    void SetBkMode(int) override {}
    void SetTextAlign(std::uint32_t) override {}
    void SetMapperFlags(std::uint32_t) override {}
    void ExtTextOut(std::int32_t, std::int32_t, std::string_view) override {}
    gdi::Point DPtoLP(gdi::Point device) override { return device; }
    void FillRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t, gdi::ColorRef) override {}
    void SetGraphicsMode(int) override {}

private:
    void EnsureFigure()
    {
        if (inBracket_ && !figureOpen_) {
            figureOpen_ = true;
            figureStart_ = current_;
            figureStartKnown_ = currentKnown_;
        }
    }

    gdi::Point current_{0, 0};
    gdi::Point figureStart_{0, 0};
    bool currentKnown_;
    bool figureStartKnown_;
    bool inBracket_ = false;
    bool figureOpen_ = false;
    mutable bool readUnknown_ = false;
};

using ShapeList = std::vector<std::unique_ptr<VPath>>;

void DrawShapes(gdi::DeviceContext& dc, ShapeList::const_iterator begin, ShapeList::const_iterator end,
                const RenderPlacement& p, const RenderContext& context)
{
    for (auto it = begin; it != end; ++it) {
        if (context.Cancelled && context.Cancelled->load(std::memory_order_relaxed))
            throw RenderCancelled();
        if (*it)
            Draw(**it, dc, context, {p.tx, p.ty}, p.penScale);
    }
}

// The device's current position after drawing [begin, end) on a new device. Found from the
// last shapes, as few as give the position on their own (most shapes start with a move); at
// worst from all of them.
gdi::Point PositionAfter(ShapeList::const_iterator begin, ShapeList::const_iterator end, const RenderPlacement& p,
                         const RenderContext& context)
{
    for (std::ptrdiff_t last = 1;; last *= 2) {
        const bool all = last >= end - begin;
        PositionTracker tracker(all);  // a new device starts at (0, 0)
        DrawShapes(tracker, all ? begin : end - last, end, p, context);
        if (all || tracker.PositionIsTheirs())
            return tracker.Position();
    }
}

// Where a drawing's top-level shapes are cut into two halves of about the same work; 0 when
// it is better drawn in one go.
std::size_t SplitPoint(const ShapeList& shapes, const gdi::RasterDevice& work)
{
    if (shapes.size() < 2 || !ProcessorToSpare() ||
        static_cast<std::int64_t>(work.Width()) * work.Height() > kLargestSplitPixels)
        return 0;
    std::vector<std::size_t> weights;
    weights.reserve(shapes.size());
    std::size_t total = 0;
    for (const auto& shape : shapes) {
        weights.push_back(shape ? Weight(*shape) : 0);
        total += weights.back();
    }
    if (total < kSplitFromInstructions)
        return 0;
    // The first thread also weighs the shapes before and lays the layer over after: a little
    // less for it (49 of 100 leave both threads about the same number of instructions on
    // big200k.dat).
    std::size_t sum = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        sum += weights[i];
        if (sum * 100 >= total * 49)
            return i + 1 < weights.size() ? i + 1 : 0;
    }
    return 0;
}

// Draws the shapes on the work bitmap: the first half there, at the same time the second half
// on a layer that is then laid over it. Every pixel ends as drawing them one after the other
// leaves it, as nothing drawn is transparent or antialiased (see RasterDevice::DrawOver); the
// second half starts from the current position the first half leaves.
void DrawShapesOn(gdi::RasterDevice& work, const ShapeList& shapes, const RenderPlacement& p,
                  const RenderContext& context)
{
    const std::size_t split = SplitPoint(shapes, work);
    std::unique_ptr<gdi::RasterDevice> layer;
    if (split > 0) {
        try {
            layer = gdi::RasterDevice::Layer(work.Width(), work.Height());
        } catch (const std::runtime_error&) {
            // No memory for the layer: drawn in one go.
        }
    }
    if (!layer) {
        DrawShapes(work, shapes.begin(), shapes.end(), p, context);
        return;
    }
    const auto middle = shapes.begin() + static_cast<std::ptrdiff_t>(split);
    layer->SetGraphicsMode(gdi::GM_COMPATIBLE);
    std::exception_ptr secondError;
    std::thread second([&] {
        try {
            const gdi::Point position = PositionAfter(shapes.begin(), middle, p, context);
            layer->MoveToEx(position.x, position.y);
            DrawShapes(*layer, middle, shapes.end(), p, context);
        } catch (...) {
            secondError = std::current_exception();
        }
    });
    std::exception_ptr firstError;
    try {
        DrawShapes(work, shapes.begin(), middle, p, context);
    } catch (...) {
        firstError = std::current_exception();
    }
    second.join();
    // The error drawing them in order would have met first.
    if (firstError)
        std::rethrow_exception(firstError);
    if (secondError)
        std::rethrow_exception(secondError);
    gdi::CairoDevice::CheckClippedPoints(work.ClippedPoints() + layer->ClippedPoints());
    work.DrawOver(*layer);
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

namespace {

// Draws the loaded drawing on `work`, a new device.
void DrawOn(gdi::RasterDevice& work, TDrawing& drawing, bool fit, const RenderOptions& options)
{
    const IntRect r = drawing.GetBounds();
    const RenderPlacement p = ComputeRenderPlacement(r.Width(), r.Height(), work.Width(), work.Height(), fit);
    drawing.Transform(Matrix3(p.sx, 0, 0, 0, p.sy, 0, p.tx, p.ty, 1));
    work.SetGraphicsMode(gdi::GM_COMPATIBLE);
    DrawShapesOn(work, drawing.FShapes, p, RenderContext::Raster(options));
}

// Draws the loaded drawing on `work`, a new device twice the target's size, and reduces it to
// the target.
void RenderOn(gdi::RasterDevice& work, TDrawing& drawing, gdi::Bitmap24& target, bool fit, const RenderOptions& options)
{
    try {
        DrawOn(work, drawing, fit, options);
    } catch (...) {
        target.Fill(0x00FFFFFF);  // a failed drawing leaves the target white
        throw;
    }
    // The reduction writes every pixel of the target.
    work.ReduceHalfTo(target);
}

}  // namespace

void RenderToBitmap(TDrawing& drawing, gdi::Bitmap24& target, bool fit, const RenderOptions& options)
{
    CheckRasterTargetSize(target.Width(), target.Height());
    gdi::RasterDevice work(2 * target.Width(), 2 * target.Height());
    RenderOn(work, drawing, target, fit, options);
}

std::unique_ptr<gdi::RasterDevice> DrawForTarget(TDrawing& drawing, std::int32_t width, std::int32_t height, bool fit,
                                                 const RenderOptions& options)
{
    CheckRasterTargetSize(width, height);
    auto work = std::make_unique<gdi::RasterDevice>(2 * width, 2 * height);
    DrawOn(*work, drawing, fit, options);
    return work;
}

void RenderRegion(const ShapeList& shapes, gdi::Bitmap24& target, double scale, double x0, double y0,
                  const RenderOptions& options)
{
    const std::int32_t tw = target.Width(), th = target.Height();
    CheckRasterTargetSize(tw, th);
    RenderPlacement p;
    p.sx = p.sy = p.penScale = ToSingle(2 * static_cast<long double>(scale));
    p.tx = ToSingle(-2 * static_cast<long double>(scale) * x0);
    p.ty = ToSingle(-2 * static_cast<long double>(scale) * y0);
    const Matrix3 m(p.sx, 0, 0, 0, p.sy, 0, p.tx, p.ty, 1);
    ShapeList copy;
    copy.reserve(shapes.size());
    for (const auto& shape : shapes) {
        copy.push_back(shape ? shape->Clone() : nullptr);
        if (copy.back())
            copy.back()->Transform(m);
    }
    gdi::RasterDevice work(2 * tw, 2 * th);
    work.SetGraphicsMode(gdi::GM_COMPATIBLE);
    try {
        DrawShapesOn(work, copy, p, RenderContext::Raster(options));
    } catch (...) {
        target.Fill(0x00FFFFFF);
        throw;
    }
    work.ReduceHalfTo(target);
}

void RenderToImage(TDrawing& drawing, gdi::Bitmap24& image, const RenderOptions& options)
{
    const std::int64_t workPixels = std::int64_t{4} * image.Width() * image.Height();
    if (workPixels < kMadeAsideFromPixels || !ProcessorToSpare()) {
        drawing.LoadShapes(true, options.Cancelled);
        RenderToBitmap(drawing, image, true, options);
        return;
    }
    // A large work device is made (its memory mapped and cleared) while the drawing loads. The
    // errors stay in their order: the drawing's, then the size's, then the device's.
    const std::int32_t w = image.Width(), h = image.Height();
    std::future<std::unique_ptr<gdi::RasterDevice>> made;
    if (w <= gdi::RasterDevice::kMaxSide / 2 && h <= gdi::RasterDevice::kMaxSide / 2) {
        try {
            made = std::async(std::launch::async, [w, h] { return std::make_unique<gdi::RasterDevice>(2 * w, 2 * h); });
        } catch (const std::system_error&) {
            // No thread to be had: the device is made after the loading.
        }
    }
    drawing.LoadShapes(true, options.Cancelled);  // a throw waits for the device, then drops it
    CheckRasterTargetSize(w, h);
    const std::unique_ptr<gdi::RasterDevice> work =
        made.valid() ? made.get() : std::make_unique<gdi::RasterDevice>(2 * w, 2 * h);
    RenderOn(*work, drawing, image, true, options);
}

}  // namespace plotwick
