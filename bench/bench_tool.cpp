// plotwick-bench-tool: the helper of bench/compare.
//   generate USERFOLDER [--font]   writes the bench databases into a user folder (BenchData.h)
//   growth USERFOLDER              writes the growth drawings into a user folder (BenchData.h)
//   records USERFOLDER COUNT       writes a user folder whose drawings database "Records" holds
//                                  COUNT small records (for timing export-all)
//   preview USERFOLDER RECORD W H RUNS
//                                  times the window's preview call, RenderToImage on a
//                                  W x H bitmap, RUNS times after loading the user folder's fonts;
//                                  prints "first MS min MS median MS" in milliseconds
//   load USERFOLDER RECORD RUNS [--normalise]
//                                  times TDrawing::LoadShapes (as plotwick-cli shapes loads, or
//                                  as the preview does with --normalise) the same way
//   write-files OUTDIR COUNT JOBS RUNS
//                                  writes COUNT new files of 87 bytes (a small record's PNG) as
//                                  export-all writes its outputs, on one thread and on JOBS
//                                  threads taking runs of 16 names, each run into a new folder of
//                                  OUTDIR, RUNS times in turns (which goes first alternates, as
//                                  a folder fuller of files makes the next ones slower); prints
//                                  "one MS jobs MS", the medians: what the file system alone costs
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchData.h"
#include "model/DatabaseScan.h"
#include "model/Drawing.h"
#include "model/DrawDB.h"
#include "platform/codec/Bitmap.h"
#include "platform/files/Files.h"
#include "render/Rasteriser.h"
#include "text/VFont.h"

using namespace plotwick;

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "Usage: plotwick-bench-tool generate USERFOLDER [--font]\n"
                 "       plotwick-bench-tool growth USERFOLDER\n"
                 "       plotwick-bench-tool records USERFOLDER COUNT\n"
                 "       plotwick-bench-tool preview USERFOLDER RECORD WIDTH HEIGHT RUNS\n"
                 "       plotwick-bench-tool load USERFOLDER RECORD RUNS [--normalise]\n"
                 "       plotwick-bench-tool write-files OUTDIR COUNT JOBS RUNS\n");
    return 2;
}

// Runs what RECORD's drawing gets RUNS times with the user folder's fonts loaded, and prints
// the times of the first run, the fastest and the median.
double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

template <class F>
int Time(const std::string& user, const std::string& record, int runs, F&& what)
{
    std::vector<std::unique_ptr<TDrawDB>> fonts;
    ScanFolder(KindFolder(user, kFonts), kFonts, [&](std::unique_ptr<TDrawDB> db) {
        FontList.AddFontDatabase(db.get());
        fonts.push_back(std::move(db));
    });
    const std::size_t slash = record.rfind('/');
    TDrawDB db;
    db.FPath = slash == std::string::npos ? "." : record.substr(0, slash);
    TDrawing drawing(&db, slash == std::string::npos ? record : record.substr(slash + 1));
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        what(drawing);
        const auto end = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    const double first = ms.front();
    std::printf("first %.3f min %.3f median %.3f\n", first, *std::min_element(ms.begin(), ms.end()), Median(ms));
    return 0;
}

// COUNT new files in outDir, each through the durable write export-all uses for a new output,
// runs of 16 consecutive names taken in turn by JOBS threads; the time in milliseconds.
double WriteFiles(const std::string& outDir, int count, int jobs)
{
    std::filesystem::create_directories(outDir);
    const std::vector<std::uint8_t> bytes(87, 0x5a);
    constexpr int kRun = 16;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; ++t)
        threads.emplace_back([&, t] {
            for (int run = t * kRun; run < count; run += jobs * kRun)
                for (int i = run; i < std::min(count, run + kRun); ++i) {
                    char name[24];
                    std::snprintf(name, sizeof name, "r%05d.png", i);
                    files::WriteFileAtomically(files::JoinPath(outDir, name), bytes.data(), bytes.size(),
                                               files::Target::New);
                }
        });
    for (std::thread& thread : threads)
        thread.join();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc >= 3 && std::strcmp(argv[1], "generate") == 0) {
            const bool font = argc == 4 && std::strcmp(argv[3], "--font") == 0;
            if (argc > 4 || (argc == 4 && !font))
                return Usage();
            bench::WriteBenchDatabases(argv[2], font);
            return 0;
        }
        if (argc == 3 && std::strcmp(argv[1], "growth") == 0) {
            bench::WriteGrowthDatabase(argv[2]);
            return 0;
        }
        if (argc == 4 && std::strcmp(argv[1], "records") == 0) {
            const int count = std::atoi(argv[3]);
            if (count <= 0 || count > 99999)
                return Usage();
            fixture::UserFolder user(argv[2]);
            bench::WriteSmallRecords(user.AddDatabase(0, "Records"), count);
            return 0;
        }
        if (argc == 7 && std::strcmp(argv[1], "preview") == 0) {
            const int w = std::atoi(argv[4]), h = std::atoi(argv[5]), runs = std::atoi(argv[6]);
            if (w <= 0 || h <= 0 || runs <= 0)
                return Usage();
            // The window's bitmap is there before the drawing is selected.
            gdi::Bitmap24 image(w, h);
            return Time(argv[2], argv[3], runs, [&](TDrawing& d) { RenderToImage(d, image); });
        }
        if (argc == 6 && std::strcmp(argv[1], "write-files") == 0) {
            const int count = std::atoi(argv[3]), jobs = std::atoi(argv[4]), runs = std::atoi(argv[5]);
            if (count <= 0 || count > 99999 || jobs <= 0 || jobs > 1024 || runs <= 0)
                return Usage();
            std::vector<double> one, many;
            for (int r = 0; r < runs; ++r) {
                const std::string folder = std::string(argv[2]) + "/" + std::to_string(r);
                const auto withOne = [&] { one.push_back(WriteFiles(folder + "-one", count, 1)); };
                const auto withMany = [&] { many.push_back(WriteFiles(folder + "-many", count, jobs)); };
                if (r % 2 == 0) {
                    withOne();
                    withMany();
                } else {
                    withMany();
                    withOne();
                }
            }
            std::printf("one %.3f jobs %.3f\n", Median(one), Median(many));
            return 0;
        }
        if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "load") == 0) {
            const int runs = std::atoi(argv[4]);
            const bool normalise = argc == 6 && std::strcmp(argv[5], "--normalise") == 0;
            if (runs <= 0 || (argc == 6 && !normalise))
                return Usage();
            return Time(argv[2], argv[3], runs, [&](TDrawing& d) { d.LoadShapes(normalise); });
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plotwick-bench-tool: %s\n", e.what());
        return 1;
    }
    return Usage();
}
