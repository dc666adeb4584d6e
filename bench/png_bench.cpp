// PNG encoding of an 800 x 800 raster export, beside Cairo's own PNG writer of the same image,
// which EncodePng must match byte for byte (checked before the benchmarks run), and beside
// libpng writing the same file with the same settings, choosing every row's filter itself.
#include <benchmark/benchmark.h>

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/BenchData.h"
#include "model/Drawing.h"
#include "platform/codec/PngWriter.h"
#include "render/Rasteriser.h"
#include "tests/support/libpng/ReferencePng.h"

using namespace plotwick;

namespace {

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

// The bitmap through an RGB24 image surface and cairo_surface_write_to_png_stream.
std::vector<std::uint8_t> CairoPng(const gdi::Bitmap24& bitmap)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, bitmap.Width(), bitmap.Height());
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* in = bitmap.Row(y);
        auto* out = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (std::int32_t x = 0; x < bitmap.Width(); ++x, in += 3)
            out[x] = 0xFF000000u | (std::uint32_t{in[2]} << 16) | (std::uint32_t{in[1]} << 8) | in[0];
    }
    cairo_surface_mark_dirty(surface);
    std::vector<std::uint8_t> bytes;
    cairo_surface_write_to_png_stream(surface, Append, &bytes);
    cairo_surface_destroy(surface);
    return bytes;
}

gdi::Bitmap24 Rendered(const char* file, std::int32_t w, std::int32_t h, bool fit)
{
    bench::BenchFolder& f = bench::SharedFolder();
    TDrawing d(&f.db, file);
    d.LoadShapes(true);
    gdi::Bitmap24 bitmap(w, h);
    RenderToBitmap(d, bitmap, fit);
    return bitmap;
}

gdi::Bitmap24 Noise(std::int32_t w, std::int32_t h, std::uint32_t seed, int levels)
{
    gdi::Bitmap24 bitmap(w, h);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const std::uint32_t v = seed >> 8;
            bitmap.SetPixel(x, y, (v % static_cast<std::uint32_t>(levels)) * (0x00FFFFFFu / static_cast<std::uint32_t>(levels)) ^ (x * 7 + y));
        }
    return bitmap;
}

// EncodePng against Cairo on drawings, noise, gradients and the smallest sizes.
const bool kChecked = [] {
    std::vector<gdi::Bitmap24> images;
    images.push_back(Rendered("big1k.dat", 800, 800, false));
    images.push_back(Rendered("big20k.dat", 333, 517, true));
    images.push_back(Rendered("paths20k.dat", 640, 480, false));
    images.push_back(Noise(97, 61, 1, 256));
    images.push_back(Noise(128, 128, 2, 3));
    images.push_back(Noise(1, 50, 3, 256));
    images.push_back(Noise(50, 1, 4, 256));
    images.push_back(Noise(1, 1, 5, 256));
    images.push_back(Noise(2, 2, 6, 256));
    gdi::Bitmap24 ramp(300, 200);
    for (std::int32_t y = 0; y < 200; ++y)
        for (std::int32_t x = 0; x < 300; ++x)
            ramp.SetPixel(x, y, static_cast<std::uint32_t>((x & 0xFF) | ((y & 0xFF) << 8) | (((x + y) & 0xFF) << 16)));
    images.push_back(ramp);
    images.push_back(gdi::Bitmap24(800, 800));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::vector<std::uint8_t> ours = gdi::EncodePng(images[i]);
        if (ours != CairoPng(images[i]) || ours != plotwick::testing::LibpngChoosingFilters(images[i])) {
            std::fprintf(stderr, "png_bench: EncodePng differs from Cairo's or libpng's PNG for image %zu\n", i);
            std::exit(1);
        }
    }
    return true;
}();

void BM_EncodePng(benchmark::State& state)
{
    const gdi::Bitmap24 bitmap = Rendered("big20k.dat", 800, 800, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(gdi::EncodePng(bitmap).data());
    state.SetBytesProcessed(state.iterations() * 800 * 800 * 3);
}
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond);

void BM_CairoPng(benchmark::State& state)
{
    const gdi::Bitmap24 bitmap = Rendered("big20k.dat", 800, 800, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(CairoPng(bitmap).data());
    state.SetBytesProcessed(state.iterations() * 800 * 800 * 3);
}
BENCHMARK(BM_CairoPng)->Unit(benchmark::kMillisecond);

void BM_LibpngChoosesFilters(benchmark::State& state)
{
    const gdi::Bitmap24 bitmap = Rendered("big20k.dat", 800, 800, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(plotwick::testing::LibpngChoosingFilters(bitmap).data());
    state.SetBytesProcessed(state.iterations() * 800 * 800 * 3);
}
BENCHMARK(BM_LibpngChoosesFilters)->Unit(benchmark::kMillisecond);

// The same two on noise of 16 levels, where the filters matter more than on a drawing.
void BM_EncodePngNoise(benchmark::State& state)
{
    const gdi::Bitmap24 bitmap = Noise(800, 800, 7, 16);
    for (auto _ : state)
        benchmark::DoNotOptimize(gdi::EncodePng(bitmap).data());
    state.SetBytesProcessed(state.iterations() * 800 * 800 * 3);
}
BENCHMARK(BM_EncodePngNoise)->Unit(benchmark::kMillisecond);

void BM_LibpngChoosesFiltersNoise(benchmark::State& state)
{
    const gdi::Bitmap24 bitmap = Noise(800, 800, 7, 16);
    for (auto _ : state)
        benchmark::DoNotOptimize(plotwick::testing::LibpngChoosingFilters(bitmap).data());
    state.SetBytesProcessed(state.iterations() * 800 * 800 * 3);
}
BENCHMARK(BM_LibpngChoosesFiltersNoise)->Unit(benchmark::kMillisecond);

}  // namespace
