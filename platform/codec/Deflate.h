// A zlib stream, byte for byte the one zlib 1.2.13 writes with deflateInit2(level 6, Z_DEFLATED,
// a window of 15 bits, memory level 8, Z_FILTERED) when it is given the input in the same
// pieces with Z_NO_FLUSH and then Z_FINISH: the settings with which libpng compresses PNG image
// data. The choices zlib makes (its hash chains, lazy matching, block ends and Huffman trees)
// are made here the same way; only the work is done faster: hashes read straight from the
// window, runs of one hash linked without a round trip through the table, matches compared
// eight bytes at a time, the hash table slid sixteen bytes at a time and Adler-32 summed
// sixteen bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace plotwick::gdi {

// Adler-32 of n bytes continued from adler (1 to start), as zlib's adler32() computes it.
std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t n);

class FilteredDeflater {
public:
    // The stream's bytes are appended to out as they are made (the two header bytes at once).
    explicit FilteredDeflater(std::vector<std::uint8_t>& out);
    ~FilteredDeflater();
    FilteredDeflater(const FilteredDeflater&) = delete;
    FilteredDeflater& operator=(const FilteredDeflater&) = delete;

    // One piece of the input, as one call of deflate() with Z_NO_FLUSH.
    void Write(const std::uint8_t* data, std::size_t n);
    // The rest of the stream: the last blocks and the Adler-32 of the input.
    void Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace plotwick::gdi
