// Generated drawings for the benchmarks and the comparison script: busy drawings of filled and
// stroked paths of curves and lines with texts among them, a drawing of many small paths, a
// database of many small records, and a vector font for the texts when no sample folder is
// at hand. Every generator is deterministic: the same arguments give the same bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/DrawDB.h"
#include "tests/support/Fixture.h"

namespace plotwick::bench {

inline constexpr const char* kBenchFont = "VU Dedadiz";

// A shape stream of groups of paths ('M', then 'C', 'S' and 'L', closed with 'z' most of the
// time) holding `instructions` path instructions in all, with a text every `pathsPerText`
// paths (0: no texts) set in kBenchFont. Texts count for no instructions of their own.
fixture::Bytes DrawingStream(int instructions, int pathsPerText, std::uint32_t seed = 1);

// A shape stream of `paths` small paths of five instructions each (M, two curves, a line, z),
// filled and stroked, in groups of 100.
fixture::Bytes PathsStream(int paths, std::uint32_t seed = 2);

// Writes a font database named kBenchFont into the user folder: 1000 units to the em, a missing
// glyph and one glyph for every printable ASCII code, each an outer contour of curves with a
// hole. Returns the database folder.
std::string WriteBenchFont(fixture::UserFolder& user);

// Writes `count` records of exactly 1096 bytes (name and thumbnail, no shapes) named
// "r00000.dat"... into the folder.
void WriteSmallRecords(const std::string& folder, int count);

// What the comparison script works on, written into an existing user folder: the drawings
// database "Bench" with big1k.dat, big20k.dat, big200k.dat (that many instructions, curves
// and texts) and paths20k.dat (20,000 paths), and the database "List10k" of 10,000 small
// records. With writeFont, also a font database (for a user folder that has none).
void WriteBenchDatabases(const std::string& userFolder, bool writeFont);

// The sizes of the growth drawings, in instructions, and their file names ("grow1k.dat"...).
struct GrowthDrawing {
    int instructions;
    const char* file;
};
inline constexpr GrowthDrawing kGrowthDrawings[] = {
    {1000, "grow1k.dat"}, {10000, "grow10k.dat"}, {100000, "grow100k.dat"}, {1000000, "grow1m.dat"}};

// Writes the drawings database "Growth" into an existing user folder: the drawings of
// kGrowthDrawings, each made as the Bench drawings are (closed outlines of curves and lines,
// some open paths, a text every 25 paths), so that the cost per instruction can be compared
// from the smallest to the largest.
void WriteGrowthDatabase(const std::string& userFolder);

// For the benchmark programs: a temporary user folder with the bench font, loaded into the
// global font list, and a drawings database whose records are written on demand.
class BenchFolder {
public:
    BenchFolder();
    ~BenchFolder();
    // Writes a record of the stream (once per file name) and returns its file name.
    std::string Record(const std::string& fileName, const fixture::Bytes& stream);
    // The size of a record's shape stream in bytes.
    std::int64_t StreamSize(const std::string& fileName) const;

    fixture::TempDir dir;
    TDrawDB db;  // the drawings database

private:
    std::vector<std::unique_ptr<TDrawDB>> fonts_;
    std::vector<std::string> written_;
};

// One folder for the whole program, with the drawings "big1k.dat", "big20k.dat",
// "big200k.dat" (as in the comparison) and "paths20k.dat".
BenchFolder& SharedFolder();

}  // namespace plotwick::bench
