#include "model/BParser.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "model/Geometry.h"
#include "model/PathInstr.h"
#include "platform/files/Files.h"

namespace plotwick {

namespace {
constexpr std::size_t kBufferSize = 64 * 1024;
}

void ThrowFileNotOpen() { throw EBParseException(kFileNotOpen); }
void ThrowIncorrectFormat() { throw EBParseException(kIncorrectFormat); }

BParser::Opened BParser::Open(const std::string& fileName)
{
    Opened file;
    file.fd = files::OpenReadOnly(fileName, &file.size);
    return file;
}

BParser::BParser(const std::string& fileName, std::int32_t startOffset, std::size_t readAhead)
    : BParser(Open(fileName), startOffset, readAhead)
{
}

BParser::BParser(Opened file, std::int32_t startOffset, std::size_t readAhead)
    : BParser(file.fd, startOffset, readAhead, file.size)
{
}

BParser::BParser(int fd, std::int32_t startOffset, std::size_t readAhead, std::int64_t size) : readAhead_(readAhead)
{
    if (fd < 0)
        return;
    FHandle = fd == 0 ? ::dup(fd) : fd;  // a handle of 0 would read as "not open"
    if (fd == 0 && FHandle != fd)
        ::close(fd);
    if (FHandle <= 0) {
        FHandle = -1;
        return;
    }
    const std::int64_t end = size >= 0 ? size : ::lseek(FHandle, 0, SEEK_END);
    FSize = end < 0 ? 0 : (end > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(end));
    sizeKnown_ = end >= 0 && end < INT32_MAX;
    pos_ = startOffset;
}

BParser::~BParser()
{
    if (FHandle > 0)
        ::close(FHandle);
}

int BParser::GetHandle() const
{
    if (FHandle <= 0)
        ThrowFileNotOpen();
    return FHandle;
}

bool BParser::Fill()
{
    if (pos_ < 0)
        return false;
    if (sizeKnown_ && pos_ >= FSize) {  // at the end: a read would only say so (one call a glyph)
        bufStart_ = pos_;
        bufLen_ = 0;
        return false;
    }
    if (!buf_) {
        // Small files get a buffer of their size, a reader that needs only the start of a
        // file one of that size.
        const std::int64_t left = std::int64_t{FSize} - pos_;
        const auto most = static_cast<std::int64_t>(readAhead_ > 0 ? std::min(readAhead_, kBufferSize) : kBufferSize);
        bufCap_ = static_cast<std::size_t>(std::clamp<std::int64_t>(left, std::min<std::int64_t>(512, most), most));
        buf_ = std::make_unique_for_overwrite<std::uint8_t[]>(bufCap_);
    }
    ssize_t got;
    do {
        got = ::pread(FHandle, buf_.get(), bufCap_, pos_);
    } while (got < 0 && errno == EINTR);
    bufStart_ = pos_;
    bufLen_ = got > 0 ? static_cast<std::size_t>(got) : 0;
    return bufLen_ > 0;
}

std::size_t BParser::ReadRaw(std::uint8_t* out, std::size_t n)
{
    GetHandle();
    std::size_t done = 0;
    while (done < n) {
        if (pos_ < bufStart_ || pos_ >= bufStart_ + static_cast<std::int64_t>(bufLen_)) {
            if (!Fill())
                break;
        }
        const std::size_t offset = static_cast<std::size_t>(pos_ - bufStart_);
        const std::size_t take = std::min(n - done, bufLen_ - offset);
        std::memcpy(out + done, buf_.get() + offset, take);
        done += take;
        pos_ += static_cast<std::int64_t>(take);
    }
    return done;
}

std::size_t BParser::ReadAvailable(std::uint8_t* out, std::size_t n)
{
    return ReadRaw(out, n);
}

namespace {

float FloatFromBigEndian(const std::uint8_t* b)
{
    const std::uint32_t bits = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                               (std::uint32_t{b[2]} << 8) | b[3];
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace

std::uint8_t BParser::ReadByte()
{
    if (const std::uint8_t* p = Buffered(1)) {
        ++pos_;
        return *p;
    }
    std::uint8_t b;
    if (ReadRaw(&b, 1) != 1)
        ThrowIncorrectFormat();
    return b;
}

std::uint8_t BParser::ReadTagUnbuffered()
{
    GetHandle();
    tagAtEnd_ = false;
    std::uint8_t b;
    if (ReadRaw(&b, 1) == 1)
        return b;
    tagAtEnd_ = true;
    return 0;
}

std::uint16_t BParser::ReadWord()
{
    std::uint8_t b[2];
    if (ReadRaw(b, 2) != 2)
        ThrowIncorrectFormat();
    return static_cast<std::uint16_t>(b[0] * 256 + b[1]);
}

std::int16_t BParser::ReadSmallInt()
{
    return static_cast<std::int16_t>(ReadWord());
}

float BParser::ReadFloat()
{
    if (const std::uint8_t* p = Buffered(4)) {
        pos_ += 4;
        return FloatFromBigEndian(p);
    }
    std::uint8_t b[4];
    if (ReadRaw(b, 4) != 4)
        ThrowIncorrectFormat();
    return FloatFromBigEndian(b);
}

void BParser::ReadFloats(float* out, int n)
{
    if (const std::uint8_t* p = Buffered(4 * static_cast<std::size_t>(n))) {
        for (int i = 0; i < n; ++i)
            out[i] = FloatFromBigEndian(p + 4 * i);
        pos_ += 4 * n;
        return;
    }
    for (int i = 0; i < n; ++i)
        out[i] = ReadFloat();
}

void BParser::ReadPoint(float& x, float& y)
{
    x = ReadFloat();
    y = ReadFloat();
}

std::uint32_t BParser::ReadColor()
{
    std::uint8_t b[4];
    if (const std::uint8_t* p = Buffered(4)) {
        std::memcpy(b, p, 4);
        pos_ += 4;
    } else if (ReadRaw(b, 4) != 4) {
        ThrowIncorrectFormat();
    }
    // b[0] is a palette index and plays no part.
    return std::uint32_t{b[1]} | (std::uint32_t{b[2]} << 8) | (std::uint32_t{b[3]} << 16);
}

std::string BParser::ReadString(std::int32_t maxLength)
{
    std::uint8_t lb[4] = {0, 0, 0, 0};
    // A length that cannot be read completely counts as 0: nothing follows it in the file.
    const std::size_t got = ReadRaw(lb, 4);
    const std::int32_t length = got == 4 ? static_cast<std::int32_t>((std::uint32_t{lb[0]} << 24) |
                                                                     (std::uint32_t{lb[1]} << 16) |
                                                                     (std::uint32_t{lb[2]} << 8) | lb[3])
                                         : 0;
    if (length <= 0 || maxLength <= 0)
        return {};
    const std::size_t n = static_cast<std::size_t>(maxLength);
    std::string buffer(n + 1, '\0');
    const std::size_t want = length < maxLength ? static_cast<std::size_t>(length) + 1 : n;
    ReadRaw(reinterpret_cast<std::uint8_t*>(buffer.data()), want);
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

std::string BParser::ReadFixedString(std::int32_t length)
{
    if (length < 0)
        ThrowIncorrectFormat();
    std::string buffer(static_cast<std::size_t>(length), '\0');
    if (ReadRaw(reinterpret_cast<std::uint8_t*>(buffer.data()), buffer.size()) != buffer.size())
        ThrowIncorrectFormat();
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

std::int64_t BParser::Skip(std::int32_t count)
{
    GetHandle();
    const std::int64_t target = pos_ + count;
    // A move before the start of the file fails and leaves the position where it was.
    if (target < 0)
        return -1;
    pos_ = target;
    return pos_;
}

std::unique_ptr<Matrix3> BParser::ReadMatrix()
{
    auto m = std::make_unique<Matrix3>();
    for (float& v : m->M)
        v = ReadFloat();
    return m;
}

std::optional<PathInstr> BParser::ReadPathInstr(std::uint8_t kind)
{
    PathInstr p;
    p.Kind = kind;
    float v[6];
    switch (kind) {
    case 'M':
    case 'L':
        ReadFloats(v, 2);
        p.X = v[0];
        p.Y = v[1];
        p.C1X = p.C2X = p.X;
        p.C1Y = p.C2Y = p.Y;
        break;
    case 'C':
        ReadFloats(v, 6);
        p.C1X = v[0];
        p.C1Y = v[1];
        p.C2X = v[2];
        p.C2Y = v[3];
        p.X = v[4];
        p.Y = v[5];
        break;
    case 'S':
        ReadFloats(v, 4);
        p.C2X = v[0];
        p.C2Y = v[1];
        p.X = v[2];
        p.Y = v[3];
        p.C1X = p.X;
        p.C1Y = p.Y;
        break;
    default:
        break;
    }
    if (std::isnan(p.X) || std::isnan(p.Y) || std::isnan(p.C1X) || std::isnan(p.C1Y) ||
        std::isnan(p.C2X) || std::isnan(p.C2Y))
        return std::nullopt;
    return p;
}

}  // namespace plotwick
