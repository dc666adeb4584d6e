// Reading metafiles back in tests: a bounds-checked walk over the records of an Enhanced
// Metafile and of a placeable Windows Metafile. Written independently of the readers in
// platform/metafile so that the tests do not check the code with itself. Every read past the end of
// a record or of the file throws std::runtime_error. The walks keep their own copy of the
// bytes, so what they return stays valid after the bytes given to them are gone.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace plotwick::testing {

// Little-endian reads from a byte range, bounds-checked.
class LeBytes {
public:
    LeBytes() = default;
    explicit LeBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    std::uint8_t U8(std::size_t at) const
    {
        if (at >= bytes_.size())
            throw std::runtime_error("read past the end at " + std::to_string(at) + " of " +
                                     std::to_string(bytes_.size()));
        return bytes_[at];
    }
    std::uint16_t U16(std::size_t at) const
    {
        return static_cast<std::uint16_t>(U8(at) | (U8(at + 1) << 8));
    }
    std::int16_t I16(std::size_t at) const { return static_cast<std::int16_t>(U16(at)); }
    std::uint32_t U32(std::size_t at) const
    {
        return static_cast<std::uint32_t>(U16(at)) | (static_cast<std::uint32_t>(U16(at + 2)) << 16);
    }
    std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    float F32(std::size_t at) const
    {
        return std::bit_cast<float>(U32(at));
    }
    std::span<const std::uint8_t> Span(std::size_t at, std::size_t count) const
    {
        if (at > bytes_.size() || count > bytes_.size() - at)
            throw std::runtime_error("range past the end");
        return bytes_.subspan(at, count);
    }

private:
    std::span<const std::uint8_t> bytes_;
};

// ---- EMF ----------------------------------------------------------------------------------------

using SharedBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

struct EmfRecord {
    SharedBytes owner;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::size_t offset = 0;  // in the file
    LeBytes bytes;           // the whole record, type and size included
};

// The records of an EMF, header first. Throws when a record is not framed properly (size under
// 8 or not a multiple of 4, past the end of the file) or when the last record is not EOF or is
// followed by more bytes.
inline std::vector<EmfRecord> WalkEmf(std::span<const std::uint8_t> given)
{
    const auto owner = std::make_shared<const std::vector<std::uint8_t>>(given.begin(), given.end());
    const std::span<const std::uint8_t> file(*owner);
    std::vector<EmfRecord> records;
    const LeBytes all(file);
    std::size_t offset = 0;
    while (offset < file.size()) {
        EmfRecord r;
        r.owner = owner;
        r.offset = offset;
        r.type = all.U32(offset);
        r.size = all.U32(offset + 4);
        if (r.size < 8 || r.size % 4 != 0 || r.size > file.size() - offset)
            throw std::runtime_error("EMF record at " + std::to_string(offset) + " has size " + std::to_string(r.size));
        r.bytes = LeBytes(file.subspan(offset, r.size));
        records.push_back(r);
        offset += r.size;
        if (r.type == 14 && offset != file.size())
            throw std::runtime_error("bytes after the EMF EOF record");
    }
    if (records.empty() || records.back().type != 14)
        throw std::runtime_error("EMF does not end with EOF");
    return records;
}

// ---- WMF ----------------------------------------------------------------------------------------

struct WmfRecord {
    std::uint16_t function = 0;
    std::uint32_t words = 0;
    std::size_t offset = 0;  // in the file
    LeBytes bytes;           // the whole record
    // The n-th 16-bit parameter after the function number.
    std::int16_t Param(std::size_t n) const { return bytes.I16(6 + 2 * n); }
    std::uint16_t UParam(std::size_t n) const { return bytes.U16(6 + 2 * n); }
    std::size_t ParamCount() const { return words - 3; }
};

struct WmfFile {
    SharedBytes owner;
    // Placeable header.
    std::uint32_t key = 0;
    std::uint16_t handle = 0;
    std::int16_t left = 0, top = 0, right = 0, bottom = 0;
    std::uint16_t unitsPerInch = 0;
    std::uint32_t reserved = 0;
    std::uint16_t checksum = 0;
    std::uint16_t computedChecksum = 0;  // XOR of the first ten words
    // Standard header.
    std::uint16_t type = 0, headerWords = 0, version = 0;
    std::uint32_t sizeWords = 0;
    std::uint16_t numberOfObjects = 0;
    std::uint32_t maxRecord = 0;
    std::uint16_t numberOfMembers = 0;
    std::vector<WmfRecord> records;
};

// A placeable WMF. Throws when it is shorter than its headers or a record is not framed
// properly (fewer than 3 words, past the end) or the last record is not META_EOF at the end.
inline WmfFile WalkWmf(std::span<const std::uint8_t> given)
{
    WmfFile w;
    w.owner = std::make_shared<const std::vector<std::uint8_t>>(given.begin(), given.end());
    const std::span<const std::uint8_t> file(*w.owner);
    const LeBytes all(file);
    w.key = all.U32(0);
    w.handle = all.U16(4);
    w.left = all.I16(6);
    w.top = all.I16(8);
    w.right = all.I16(10);
    w.bottom = all.I16(12);
    w.unitsPerInch = all.U16(14);
    w.reserved = all.U32(16);
    w.checksum = all.U16(20);
    for (std::size_t i = 0; i < 20; i += 2)
        w.computedChecksum ^= all.U16(i);
    const std::size_t h = 22;
    w.type = all.U16(h);
    w.headerWords = all.U16(h + 2);
    w.version = all.U16(h + 4);
    w.sizeWords = all.U32(h + 6);
    w.numberOfObjects = all.U16(h + 10);
    w.maxRecord = all.U32(h + 12);
    w.numberOfMembers = all.U16(h + 16);
    std::size_t offset = h + 18;
    bool ended = false;
    while (offset < file.size()) {
        WmfRecord r;
        r.offset = offset;
        r.words = all.U32(offset);
        r.function = all.U16(offset + 4);
        if (r.words < 3 || r.words > (file.size() - offset) / 2)
            throw std::runtime_error("WMF record at " + std::to_string(offset) + " has " + std::to_string(r.words) +
                                     " words");
        r.bytes = LeBytes(file.subspan(offset, 2 * std::size_t(r.words)));
        w.records.push_back(r);
        offset += 2 * std::size_t(r.words);
        if (r.function == 0) {
            ended = true;
            break;
        }
    }
    if (!ended || offset != file.size())
        throw std::runtime_error("WMF does not end with META_EOF at the end of the file");
    return w;
}

}  // namespace plotwick::testing
