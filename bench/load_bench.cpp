// Reading records: LoadShapes of a large drawing of curves and the listing of a database of
// 2,000 records, each beside a plain read() of the same bytes.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "model/Drawing.h"
#include "model/DrawDB.h"
#include "platform/files/Files.h"
#include "tests/support/Fixture.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

struct Corpus {
    TempDir dir;
    TDrawDB db;
    std::size_t bigSize = 0;
    std::size_t listBytes = 0;
    std::vector<std::string> records;

    Corpus()
    {
        db.FPath = dir.Path();
        // About 5 MB of paths of curves: each path a move and 24 curves, in groups of 50.
        Bytes stream;
        for (int g = 0; g < 170; ++g) {
            std::vector<Bytes> paths;
            for (int p = 0; p < 50; ++p) {
                std::vector<Bytes> instrs{M(static_cast<float>(p), static_cast<float>(g))};
                for (int i = 0; i < 24; ++i) {
                    const float b = static_cast<float>(i * 3 + p);
                    instrs.push_back(C(b, b + 1, b + 2, b + 3, b + 4.5f, b + 5.25f));
                }
                paths.push_back(PathOf(0x00336699, 0, instrs));
            }
            stream.append(GroupOf(paths));
        }
        const Bytes big = Record("big", stream);
        WriteFile(dir / "big.dat", big);
        bigSize = big.size();
        for (int i = 0; i < 2000; ++i) {
            const std::string name = "r" + std::to_string(10000 + i) + ".dat";
            WriteFile(dir / name, Record("Record " + std::to_string(i), Path(0, 0, {M(0, 0), L(1, 1)})));
            records.push_back(name);
            listBytes += 1096;
        }
    }
};

Corpus& Data()
{
    static Corpus corpus;
    return corpus;
}

void BM_LoadShapesNormalised(benchmark::State& state)
{
    Corpus& c = Data();
    TDrawing d(&c.db, "big.dat");
    for (auto _ : state) {
        d.LoadShapes(true);
        benchmark::DoNotOptimize(d.FShapes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (c.bigSize - 1096)));
}
BENCHMARK(BM_LoadShapesNormalised)->Unit(benchmark::kMillisecond);

void BM_ReadWholeFile(benchmark::State& state)
{
    Corpus& c = Data();
    std::vector<char> buffer(c.bigSize);
    for (auto _ : state) {
        const int fd = ::open((c.dir / "big.dat").c_str(), O_RDONLY);
        ssize_t n = 0, total = 0;
        while ((n = ::read(fd, buffer.data() + total, buffer.size() - static_cast<std::size_t>(total))) > 0)
            total += n;
        ::close(fd);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (c.bigSize - 1096)));
}
BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMillisecond);

void BM_ListDatabase(benchmark::State& state)
{
    Corpus& c = Data();
    for (auto _ : state) {
        std::vector<std::unique_ptr<TDrawing>> list;
        for (const auto& entry : files::Enumerate(c.db.FPath, "r*.dat", files::Hidden::Include))
            list.push_back(std::make_unique<TDrawing>(&c.db, entry.name));
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * c.records.size()));
}
BENCHMARK(BM_ListDatabase)->Unit(benchmark::kMillisecond);

void BM_ReadRecordHeaders(benchmark::State& state)
{
    Corpus& c = Data();
    char buffer[1096];
    for (auto _ : state) {
        for (const auto& name : c.records) {
            const int fd = ::open((c.dir / name).c_str(), O_RDONLY);
            benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
            ::close(fd);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * c.records.size()));
}
BENCHMARK(BM_ReadRecordHeaders)->Unit(benchmark::kMillisecond);

}  // namespace
