// A zlib stream, byte for byte the one zlib 1.2.13 writes with deflateInit2(level 6, Z_DEFLATED,
// a window of 15 bits, memory level 8, Z_DEFAULT_STRATEGY or Z_FILTERED) when it is given the
// input with Z_NO_FLUSH and then Z_FINISH (in whatever pieces: with Z_NO_FLUSH zlib's choices do
// not depend on them): the settings of deflateInit(Z_DEFAULT_COMPRESSION), with which Cairo
// compresses PDF streams, and those with which libpng compresses PNG image data. The choices zlib
// makes (its hash chains, lazy matching, block ends and Huffman trees) are made here the same
// way; only the work is done faster: of the strings on zlib's chain only those sharing four
// bytes with the current one are visited (they have chains of their own, and a string's place
// on zlib's chain is counted as it is linked, so zlib's limit on the chain is kept), hashes read
// straight from the window, runs of one byte linked eight strings at a time, matches compared
// sixteen bytes at a time, the hash tables slid and Adler-32 summed sixteen bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace plotwick::gdi {

// Adler-32 of n bytes continued from adler (1 to start), as zlib's adler32() computes it.
std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t n);

enum class DeflateStrategy {
    Default,   // zlib's Z_DEFAULT_STRATEGY
    Filtered,  // Z_FILTERED: no match of 5 bytes or fewer, for data such as filtered image rows
};

class Deflater {
public:
    // The stream's bytes are appended to out as they are made (the two header bytes at once).
    Deflater(std::vector<std::uint8_t>& out, DeflateStrategy strategy);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // One piece of the input, as one call of deflate() with Z_NO_FLUSH.
    void Write(const std::uint8_t* data, std::size_t n);
    // The rest of the stream: the last blocks and the Adler-32 of the input.
    void Finish();
    // The Adler-32 of the input so far.
    std::uint32_t Adler() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace plotwick::gdi
