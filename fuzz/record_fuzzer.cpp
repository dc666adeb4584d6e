// libFuzzer target: a record loaded with and without normalisation, with a fuzzed font.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return plotwick::fuzz::RecordEntry(data, size);
}
