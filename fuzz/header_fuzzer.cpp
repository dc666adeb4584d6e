// libFuzzer target: a database header file (and the same bytes as a record file's head).
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return plotwick::fuzz::HeaderEntry(data, size);
}
