// Builds the handheld's big-endian files byte by byte: database headers, record files, shape
// streams and glyph records, and the folders of a HotSync user. Used by the tests and by the
// writer of the sample folder.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plotwick::fixture {

class Bytes {
public:
    Bytes() = default;
    Bytes(std::initializer_list<std::uint8_t> bytes) : data_(bytes) {}

    Bytes& u8(std::uint8_t v);
    Bytes& tag(char c) { return u8(static_cast<std::uint8_t>(c)); }
    Bytes& u16(std::uint16_t v);
    Bytes& i16(std::int16_t v) { return u16(static_cast<std::uint16_t>(v)); }
    Bytes& u32(std::uint32_t v);
    Bytes& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    Bytes& f32(float v);
    Bytes& f32bits(std::uint32_t bits) { return u32(bits); }
    // A colour record: palette index, red, green, blue, from a 0x00BBGGRR value.
    Bytes& color(std::uint32_t colorRef, std::uint8_t index = 0);
    // A length-prefixed string as the handheld writes it: length, bytes, a zero byte.
    Bytes& str(std::string_view s);
    // A zero-padded text field of n bytes (s is cut to n).
    Bytes& fixed(std::string_view s, std::size_t n);
    Bytes& zeros(std::size_t n);
    Bytes& append(const Bytes& other);
    Bytes& raw(std::string_view s);

    const std::vector<std::uint8_t>& data() const { return data_; }
    std::size_t size() const { return data_.size(); }
    Bytes& truncate(std::size_t n);

private:
    std::vector<std::uint8_t> data_;
};

// Path instructions as they stand in a shape stream (kind byte and operands in file order).
Bytes M(float x, float y);
Bytes L(float x, float y);
Bytes C(float c1x, float c1y, float c2x, float c2y, float x, float y);
Bytes S(float c2x, float c2y, float x, float y);
Bytes Z();

// Shape records. Colours are 0x00BBGGRR.
Bytes Path(std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke,
           std::initializer_list<Bytes> instructions);
Bytes PathOf(std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke,
             const std::vector<Bytes>& instructions);
Bytes Group(std::initializer_list<Bytes> children);
Bytes GroupOf(const std::vector<Bytes>& children);
using Matrix = std::array<float, 9>;
inline constexpr Matrix kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
Bytes Text(float x, float y, std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke,
           std::string_view fontName, std::uint16_t fontSize, const Matrix& matrix, std::string_view text);

// A record file: name field, 40 unread bytes, thumbnail, then the shape stream.
Bytes Record(std::string_view name, const Bytes& shapeStream,
             const std::array<std::uint8_t, 1024>* thumbnail = nullptr);
// A glyph record: the name's first byte is the code (empty name: the missing glyph), an
// optional 'f' section with width and spacing, then the outlines.
Bytes GlyphRecord(std::optional<std::uint8_t> code, std::optional<std::pair<std::uint16_t, std::int16_t>> metrics,
                  const Bytes& shapes);
// A database header file: version at 278, title at 282; with an extension word, 384 bytes.
Bytes Header(float version, std::string_view title, std::optional<std::uint16_t> extensionWord);

void WriteFile(const std::string& path, const Bytes& bytes);
void MakeFolders(const std::string& path);

// A HotSync user folder under construction: <root>/QNDraw/{DDRW,DLIB,DFNT}.
class UserFolder {
public:
    explicit UserFolder(std::string root);
    const std::string& Root() const { return root_; }
    static const char* KindFolder(int kind);  // "DDRW", "DLIB", "DFNT"
    // Creates the database folder and its header; returns the database folder's path.
    std::string AddDatabase(int kind, const std::string& name, float version = 1.0f,
                            std::optional<std::uint16_t> extensionWord = std::nullopt);
    std::string AddRecord(const std::string& dbPath, const std::string& fileName, const Bytes& record);

private:
    std::string root_;
};

// A fresh temporary folder, removed with its contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A small linear congruential generator: the same numbers on every platform.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
    std::uint32_t Next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    // In [lo, hi).
    float Uniform(float lo, float hi) { return lo + (hi - lo) * static_cast<float>(Next() % 65536) / 65536.0f; }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint32_t state_;
};

}  // namespace plotwick::fixture
