// libFuzzer target: a record through every writer: SVG, EMF, WMF, raster, PDF.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return plotwick::fuzz::PipelineEntry(data, size);
}
