// BParser: the reads every record goes through, over a file of path instructions.
#include <benchmark/benchmark.h>

#include "bench/BenchData.h"
#include "model/BParser.h"
#include "model/PathInstr.h"

using namespace plotwick;

namespace {

// 100,000 curves and 100,000 lines, alternating: 3.4 MB.
struct InstructionFile {
    fixture::TempDir dir;
    std::string path = dir / "instrs.dat";
    std::int64_t size = 0;
    InstructionFile()
    {
        fixture::Bytes b;
        for (int i = 0; i < 100000; ++i) {
            const float v = static_cast<float>(i) * 0.25f;
            b.append(fixture::C(v, v + 1, v + 2, v + 3, v + 4, v + 5)).append(fixture::L(v, -v));
        }
        fixture::WriteFile(path, b);
        size = static_cast<std::int64_t>(b.size());
    }
};

InstructionFile& File()
{
    static InstructionFile file;
    return file;
}

void BM_ReadTagAndPathInstr(benchmark::State& state)
{
    InstructionFile& f = File();
    for (auto _ : state) {
        BParser reader(f.path, 0);
        std::size_t n = 0;
        for (std::uint8_t t = reader.ReadTag(); !reader.LastTagWasEnd(); t = reader.ReadTag())
            n += reader.ReadPathInstr(t).has_value();
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * f.size);
    state.SetItemsProcessed(state.iterations() * 200000);
}
BENCHMARK(BM_ReadTagAndPathInstr)->Unit(benchmark::kMillisecond);

void BM_ReadFloat(benchmark::State& state)
{
    InstructionFile& f = File();
    const std::int64_t count = f.size / 4;
    for (auto _ : state) {
        BParser reader(f.path, 0);
        float sum = 0;
        for (std::int64_t i = 0; i < count; ++i)
            sum += reader.ReadFloat();
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * count * 4);
}
BENCHMARK(BM_ReadFloat)->Unit(benchmark::kMillisecond);

void BM_ReadByte(benchmark::State& state)
{
    InstructionFile& f = File();
    for (auto _ : state) {
        BParser reader(f.path, 0);
        unsigned sum = 0;
        for (std::int64_t i = 0; i < f.size; ++i)
            sum += reader.ReadByte();
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * f.size);
}
BENCHMARK(BM_ReadByte)->Unit(benchmark::kMillisecond);

// A record's name and thumbnail, as the listing reads them.
void BM_ReadHeaderFields(benchmark::State& state)
{
    fixture::TempDir dir;
    fixture::WriteFile(dir / "r.dat", fixture::Record("Record", fixture::Bytes()));
    const std::string path = dir / "r.dat";
    for (auto _ : state) {
        BParser reader(path, 0);
        std::uint8_t buffer[1024];
        benchmark::DoNotOptimize(reader.ReadAvailable(buffer, 32));
        reader.Skip(40);
        benchmark::DoNotOptimize(reader.ReadAvailable(buffer, 1024));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadHeaderFields);

}  // namespace
