// The vector outputs in the process: the SVG document (BuildSvg, the file bytes, the path
// numbers), the EMF recorder (CreateMetafile), the WMF conversion and the PDF page.
#include <benchmark/benchmark.h>

#include "bench/BenchData.h"
#include "model/Drawing.h"
#include "platform/metafile/WmfConverter.h"
#include "render/Metafile.h"
#include "render/Pdf.h"
#include "svg/SvgNumbers.h"
#include "svg/SvgWriter.h"

using namespace plotwick;

namespace {

const char* const kDrawings[] = {"big1k.dat", "big20k.dat", "big200k.dat", "paths20k.dat"};

void BM_BuildSvg(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, kDrawings[state.range(0)]);
    d.LoadShapes(false);
    std::size_t units = 0;
    for (auto _ : state) {
        SvgText doc;
        BuildSvg(d, doc);
        units = doc.size();
        benchmark::DoNotOptimize(doc.data());
    }
    state.SetLabel(kDrawings[state.range(0)]);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(2 * units + 2));
}
BENCHMARK(BM_BuildSvg)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_SvgFileBytes(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, "big200k.dat");
    d.LoadShapes(false);
    SvgText doc;
    BuildSvg(d, doc);
    for (auto _ : state) {
        const auto bytes = SvgFileBytes(doc);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(2 * doc.size() + 2));
}
BENCHMARK(BM_SvgFileBytes)->Unit(benchmark::kMillisecond);

void BM_FormatPathNumber(benchmark::State& state)
{
    float v = 0.013f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatPathNumber(v));
        v = v * 1.37f + 0.5f;
        if (v > 1e6f)
            v = 0.013f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatPathNumber);

void BM_CreateMetafile(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, kDrawings[state.range(0)]);
    std::size_t size = 0;
    for (auto _ : state) {
        state.PauseTiming();
        d.LoadShapes(true);  // the recording moves the shapes
        state.ResumeTiming();
        const auto emf = CreateMetafile(d);
        size = emf.size();
        benchmark::DoNotOptimize(emf.data());
    }
    state.SetLabel(kDrawings[state.range(0)]);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_CreateMetafile)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ConvertEmfToWmf(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, kDrawings[state.range(0)]);
    d.LoadShapes(true);
    const auto emf = CreateMetafile(d);
    for (auto _ : state) {
        const auto wmf = gdi::ConvertEmfToPlaceableWmf(emf);
        benchmark::DoNotOptimize(wmf.data());
    }
    state.SetLabel(kDrawings[state.range(0)]);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(emf.size()));
}
BENCHMARK(BM_ConvertEmfToWmf)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_CreatePdf(benchmark::State& state)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, kDrawings[state.range(0)]);
    d.LoadShapes(true);
    for (auto _ : state) {
        const auto pdf = CreatePdf(d);
        benchmark::DoNotOptimize(pdf.data());
    }
    state.SetLabel(kDrawings[state.range(0)]);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CreatePdf)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
