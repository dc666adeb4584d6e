// The forward reader over one database file: big-endian, one operation per value type.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace plotwick {

class Matrix3;
struct PathInstr;

// The data layer's one exception class.
class EBParseException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kFileNotOpen = "File is not open.";
inline constexpr const char* kIncorrectFormat = "Incorrect data format.";

[[noreturn]] void ThrowFileNotOpen();
[[noreturn]] void ThrowIncorrectFormat();

// Reads are buffered; positions, Skip and the end-of-file behaviour are those of a reader that
// reads every value straight from the file. A reader on a file that could not be opened exists
// and raises "File is not open." from every read and Skip.
class BParser {
public:
    // readAhead: the most bytes one read from the file takes, for a caller that needs only the
    // start of a file (a name and thumbnail, a glyph's code); 0 sizes reads to the file, up to
    // 64 KB.
    BParser(const std::string& fileName, std::int32_t startOffset, std::size_t readAhead = 0);
    // A reader on a file already open (files::OpenReadOnly, files::Folder::Open), whose handle it
    // takes over; -1 gives a reader on a file that could not be opened. size: the file's size
    // as the open found it, or -1 to ask the file.
    BParser(int handle, std::int32_t startOffset, std::size_t readAhead = 0, std::int64_t size = -1);
    ~BParser();
    BParser(const BParser&) = delete;
    BParser& operator=(const BParser&) = delete;

    int GetHandle() const;  // raises "File is not open." when the file is not open

    std::uint8_t ReadByte();
    // 0 at the end of the file, never a format error.
    std::uint8_t ReadTag()
    {
        if (const std::uint8_t* p = Buffered(1)) {
            tagAtEnd_ = false;
            ++pos_;
            return *p;
        }
        return ReadTagUnbuffered();
    }
    // Reads up to n bytes and returns how many there were; never a format error.
    std::size_t ReadAvailable(std::uint8_t* out, std::size_t n);
    // True when the last ReadTag found no byte (as opposed to a 0 byte in the file).
    bool LastTagWasEnd() const { return tagAtEnd_; }
    std::uint16_t ReadWord();
    std::int16_t ReadSmallInt();
    float ReadFloat();
    void ReadPoint(float& x, float& y);
    std::uint32_t ReadColor();
    std::string ReadString(std::int32_t maxLength);
    std::string ReadFixedString(std::int32_t length);
    std::int64_t Skip(std::int32_t count);
    std::unique_ptr<Matrix3> ReadMatrix();
    // The kind byte has been read by the caller; none for an instruction with a NaN coordinate.
    std::optional<PathInstr> ReadPathInstr(std::uint8_t kind);

    std::int32_t FHandle = -1;
    std::int32_t FSize = 0;

private:
    // A file opened by name, with its size as the open found it.
    struct Opened {
        int fd = -1;
        std::int64_t size = -1;
    };
    static Opened Open(const std::string& fileName);
    BParser(Opened file, std::int32_t startOffset, std::size_t readAhead);

    // The next n bytes when they are all in the buffer (and so the file is open), else null.
    const std::uint8_t* Buffered(std::size_t n) const
    {
        if (pos_ < bufStart_ || pos_ + static_cast<std::int64_t>(n) > bufStart_ + static_cast<std::int64_t>(bufLen_))
            return nullptr;
        return buf_.get() + (pos_ - bufStart_);
    }
    std::uint8_t ReadTagUnbuffered();
    // Reads n singles in a row, each as ReadFloat would.
    void ReadFloats(float* out, int n);
    // Copies up to n bytes at the position into out and advances by what was read.
    std::size_t ReadRaw(std::uint8_t* out, std::size_t n);
    bool Fill();

    std::int64_t pos_ = 0;          // logical file position
    std::int64_t bufStart_ = 0;     // file offset of buf_[0]
    std::size_t bufLen_ = 0;
    bool tagAtEnd_ = false;
    std::unique_ptr<std::uint8_t[]> buf_;
    std::size_t bufCap_ = 0;
    std::size_t readAhead_ = 0;
    bool sizeKnown_ = false;  // FSize is the file's whole size at the open
};

}  // namespace plotwick
