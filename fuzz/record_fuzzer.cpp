// libFuzzer target: a record loaded and normalised, with a fuzzed font, read through a link and
// as a FIFO too.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return plotwick::fuzz::RecordEntry(data, size);
}
