// The building blocks of a PNG file: the signature, the header chunk and chunks with their
// CRC, appended to bytes held in a std::string or a std::vector of bytes.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace plotwick::gdi::png {

template <typename Bytes>
void AppendU32(Bytes& out, std::uint32_t v)
{
    const unsigned char b[4] = {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    out.insert(out.end(), b, b + 4);
}

template <typename Bytes>
void AppendSignature(Bytes& out)
{
    static const unsigned char kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    out.insert(out.end(), kSignature, kSignature + 8);
}

// A chunk: its length, its type, the data and the CRC of type and data.
template <typename Bytes>
void AppendChunk(Bytes& out, const char* type, const void* data, std::size_t length)
{
    AppendU32(out, static_cast<std::uint32_t>(length));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (length > 0)
        out.insert(out.end(), bytes, bytes + length);
    AppendU32(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(out.data()) + start,
                                                    static_cast<uInt>(length + 4))));
}

// IHDR of a width x height image of 8 bits a channel, deflate, the five filters, no interlace.
template <typename Bytes>
void AppendHeader(Bytes& out, std::uint32_t width, std::uint32_t height, unsigned char colourType)
{
    unsigned char header[13] = {0, 0, 0, 0, 0, 0, 0, 0, 8, colourType, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<unsigned char>(width >> (24 - 8 * i));
        header[4 + i] = static_cast<unsigned char>(height >> (24 - 8 * i));
    }
    AppendChunk(out, "IHDR", header, sizeof header);
}

}  // namespace plotwick::gdi::png
