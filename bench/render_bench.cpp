// Rendering in the process: the raster export (RenderToBitmap at 800 x 800, stretched), the
// window's preview (RenderToImage: reload and fit) and the 2x2 reduction of the work bitmap.
#include <algorithm>

#include <benchmark/benchmark.h>

#include "bench/BenchData.h"
#include "model/Drawing.h"
#include "platform/device/RasterDevice.h"
#include "render/Rasteriser.h"

using namespace plotwick;

namespace {

const char* const kDrawings[] = {"big1k.dat", "big20k.dat", "big200k.dat", "paths20k.dat"};

void BM_RenderToBitmap800(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, kDrawings[state.range(0)]);
    gdi::Bitmap24 target(800, 800);
    for (auto _ : state) {
        state.PauseTiming();
        d.LoadShapes(true);
        state.ResumeTiming();
        RenderToBitmap(d, target, false);
        benchmark::DoNotOptimize(target.Row(0));
    }
    state.SetLabel(kDrawings[state.range(0)]);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderToBitmap800)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// What the window does when a drawing is selected: reload, fit, draw, reduce.
void BM_RenderToImage(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, kDrawings[state.range(0)]);
    gdi::Bitmap24 image(static_cast<std::int32_t>(state.range(1)), static_cast<std::int32_t>(state.range(2)));
    for (auto _ : state) {
        RenderToImage(d, image);
        benchmark::DoNotOptimize(image.Row(0));
    }
    state.SetLabel(kDrawings[state.range(0)]);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderToImage)
    ->Args({2, 220, 190})
    ->Args({2, 800, 600})
    ->Args({3, 400, 400})
    ->Args({1, 400, 400})
    ->Unit(benchmark::kMillisecond);

// The drawing view's full render (no cached image) of big200k.dat fitted into 1600 x 1000
// device pixels: the shapes copied, placed and drawn on the work bitmap, then reduced.
void BM_ViewRenderBig200k(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, kDrawings[2]);
    d.LoadShapes(true);
    const IntRect r = d.GetBounds();
    const std::int32_t w = 1600, h = 1000, margin = 10;
    const double scale = std::min(double(w - 2 * margin) / double(r.Width()), double(h - 2 * margin) / double(r.Height()));
    const double x0 = -(w / scale - double(r.Width())) / 2, y0 = -(h / scale - double(r.Height())) / 2;
    gdi::Bitmap24 target(w, h);
    for (auto _ : state) {
        RenderRegion(d.FShapes, target, scale, x0, y0);
        benchmark::DoNotOptimize(target.Row(0));
    }
    state.SetLabel("big200k.dat, 1600 x 1000");
}
BENCHMARK(BM_ViewRenderBig200k)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReduceHalf(benchmark::State& state)
{
    const auto side = static_cast<std::int32_t>(state.range(0));
    gdi::RasterDevice work(2 * side, 2 * side);
    gdi::Bitmap24 target(side, side);
    for (auto _ : state) {
        work.ReduceHalfTo(target);
        benchmark::DoNotOptimize(target.Row(0));
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t{4} * 4 * side * side);
}
BENCHMARK(BM_ReduceHalf)->Arg(400)->Arg(800);

// The work bitmap itself: allocation and clearing to white.
void BM_WorkBitmap(benchmark::State& state)
{
    const auto side = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        gdi::RasterDevice work(2 * side, 2 * side);
        benchmark::DoNotOptimize(work.Surface());
    }
}
BENCHMARK(BM_WorkBitmap)->Arg(400)->Arg(800);

}  // namespace
