// The model in the process: LoadShapes of the generated drawings (curves and texts, the texts
// laid out in the bench font), their bounds and transforms.
#include <benchmark/benchmark.h>

#include "bench/BenchData.h"
#include "model/Drawing.h"
#include "model/Geometry.h"

using namespace plotwick;

namespace {

const char* const kDrawings[] = {"big1k.dat", "big20k.dat", "big200k.dat", "paths20k.dat"};
const std::int64_t kInstructions[] = {1000, 20000, 200000, 100000};

void BM_LoadShapes(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    const char* file = kDrawings[state.range(0)];
    const bool normalise = state.range(1) != 0;
    TDrawing d(&f.db, file);
    for (auto _ : state) {
        d.LoadShapes(normalise);
        benchmark::DoNotOptimize(d.FShapes.data());
    }
    state.SetLabel(file);
    state.SetBytesProcessed(state.iterations() * f.StreamSize(file));
    state.SetItemsProcessed(state.iterations() * kInstructions[state.range(0)]);
}
BENCHMARK(BM_LoadShapes)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond);

// Texts only: 2,000 texts of 8 to 24 characters, each laid out glyph by glyph.
void BM_LoadTexts(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    const std::string file = f.Record("texts.dat", bench::DrawingStream(2000, 1, 21));
    TDrawing d(&f.db, file);
    for (auto _ : state) {
        d.LoadShapes(false);
        benchmark::DoNotOptimize(d.FShapes.data());
    }
    state.SetBytesProcessed(state.iterations() * f.StreamSize(file));
}
BENCHMARK(BM_LoadTexts)->Unit(benchmark::kMillisecond);

void BM_GetBounds(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, kDrawings[state.range(0)]);
    d.LoadShapes(false);
    for (auto _ : state)
        benchmark::DoNotOptimize(d.GetBounds());
    state.SetLabel(kDrawings[state.range(0)]);
    state.SetItemsProcessed(state.iterations() * kInstructions[state.range(0)]);
}
BENCHMARK(BM_GetBounds)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_Transform(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, kDrawings[state.range(0)]);
    d.LoadShapes(false);
    // A matrix and its inverse in turn keep the coordinates in range.
    const Matrix3 there(0.5f, 0, 0, 0, 0.5f, 0, 3, 4, 1), back(2, 0, 0, 0, 2, 0, -6, -8, 1);
    bool flip = false;
    for (auto _ : state) {
        d.Transform(flip ? back : there);
        flip = !flip;
        benchmark::DoNotOptimize(d.FShapes.data());
    }
    state.SetLabel(kDrawings[state.range(0)]);
    state.SetItemsProcessed(state.iterations() * kInstructions[state.range(0)]);
}
BENCHMARK(BM_Transform)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
