#include "tests/support/Fixture.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace plotwick::fixture {

Bytes& Bytes::u8(std::uint8_t v)
{
    data_.push_back(v);
    return *this;
}

Bytes& Bytes::u16(std::uint16_t v)
{
    data_.push_back(static_cast<std::uint8_t>(v >> 8));
    data_.push_back(static_cast<std::uint8_t>(v));
    return *this;
}

Bytes& Bytes::u32(std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        data_.push_back(static_cast<std::uint8_t>(v >> shift));
    return *this;
}

Bytes& Bytes::f32(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return u32(bits);
}

Bytes& Bytes::color(std::uint32_t colorRef, std::uint8_t index)
{
    u8(index);
    u8(static_cast<std::uint8_t>(colorRef));
    u8(static_cast<std::uint8_t>(colorRef >> 8));
    return u8(static_cast<std::uint8_t>(colorRef >> 16));
}

Bytes& Bytes::str(std::string_view s)
{
    i32(static_cast<std::int32_t>(s.size()));
    raw(s);
    return u8(0);
}

Bytes& Bytes::fixed(std::string_view s, std::size_t n)
{
    raw(s.substr(0, n));
    return zeros(n - std::min(n, s.size()));
}

Bytes& Bytes::zeros(std::size_t n)
{
    data_.insert(data_.end(), n, 0);
    return *this;
}

Bytes& Bytes::append(const Bytes& other)
{
    data_.insert(data_.end(), other.data_.begin(), other.data_.end());
    return *this;
}

Bytes& Bytes::raw(std::string_view s)
{
    data_.insert(data_.end(), s.begin(), s.end());
    return *this;
}

Bytes& Bytes::truncate(std::size_t n)
{
    if (n < data_.size())
        data_.resize(n);
    return *this;
}

Bytes M(float x, float y) { return Bytes().tag('M').f32(x).f32(y); }
Bytes L(float x, float y) { return Bytes().tag('L').f32(x).f32(y); }
Bytes C(float c1x, float c1y, float c2x, float c2y, float x, float y)
{
    return Bytes().tag('C').f32(c1x).f32(c1y).f32(c2x).f32(c2y).f32(x).f32(y);
}
Bytes S(float c2x, float c2y, float x, float y) { return Bytes().tag('S').f32(c2x).f32(c2y).f32(x).f32(y); }
Bytes Z() { return Bytes().tag('z'); }

namespace {
void Colour(Bytes& b, std::optional<std::uint32_t> c)
{
    if (c)
        b.u8(1).color(*c);
    else
        b.u8(0);
}
}  // namespace

Bytes PathOf(std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke,
             const std::vector<Bytes>& instructions)
{
    Bytes b;
    b.tag('d');
    Colour(b, fill);
    Colour(b, stroke);
    for (const Bytes& i : instructions)
        b.append(i);
    return b.tag('D');
}

Bytes Path(std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke,
           std::initializer_list<Bytes> instructions)
{
    return PathOf(fill, stroke, std::vector<Bytes>(instructions));
}

Bytes GroupOf(const std::vector<Bytes>& children)
{
    Bytes b;
    b.tag('g');
    for (const Bytes& c : children)
        b.append(c);
    return b.tag('G');
}

Bytes Group(std::initializer_list<Bytes> children) { return GroupOf(std::vector<Bytes>(children)); }

Bytes Text(float x, float y, std::optional<std::uint32_t> fill, std::optional<std::uint32_t> stroke,
           std::string_view fontName, std::uint16_t fontSize, const Matrix& matrix, std::string_view text)
{
    Bytes b;
    b.tag('x').f32(x).f32(y);
    Colour(b, fill);
    Colour(b, stroke);
    b.str(fontName).u16(fontSize);
    for (float v : matrix)
        b.f32(v);
    b.str(text);
    return b.tag('X');
}

Bytes Record(std::string_view name, const Bytes& shapeStream, const std::array<std::uint8_t, 1024>* thumbnail)
{
    Bytes b;
    b.fixed(name, 32).zeros(40);
    if (thumbnail) {
        for (std::uint8_t v : *thumbnail)
            b.u8(v);
    } else {
        b.zeros(1024);  // palette index 0 is white
    }
    return b.append(shapeStream);
}

Bytes GlyphRecord(std::optional<std::uint8_t> code, std::optional<std::pair<std::uint16_t, std::int16_t>> metrics,
                  const Bytes& shapes)
{
    std::string name;
    if (code)
        name.push_back(static_cast<char>(*code));
    Bytes stream;
    if (metrics)
        stream.tag('f').u16(metrics->first).i16(metrics->second);
    stream.append(shapes);
    return Record(name, stream);
}

Bytes Header(float version, std::string_view title, std::optional<std::uint16_t> extensionWord)
{
    Bytes b;
    b.zeros(278).f32(version).fixed(title, 64);
    if (extensionWord)
        b.u8(0).zeros(32).u8(0).u8(0).u8(0).u16(*extensionWord);
    return b;
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data().data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void MakeFolders(const std::string& path) { std::filesystem::create_directories(path); }

UserFolder::UserFolder(std::string root) : root_(std::move(root))
{
    for (int kind = 0; kind < 3; ++kind)
        MakeFolders(root_ + "/QNDraw/" + KindFolder(kind));
}

const char* UserFolder::KindFolder(int kind)
{
    static const char* names[3] = {"DDRW", "DLIB", "DFNT"};
    return names[kind];
}

std::string UserFolder::AddDatabase(int kind, const std::string& name, float version,
                                    std::optional<std::uint16_t> extensionWord)
{
    const std::string path = root_ + "/QNDraw/" + KindFolder(kind) + "/" + name;
    MakeFolders(path);
    WriteFile(path + ".dat", Header(version, name, extensionWord));
    return path;
}

std::string UserFolder::AddRecord(const std::string& dbPath, const std::string& fileName, const Bytes& record)
{
    const std::string path = dbPath + "/" + fileName;
    WriteFile(path, record);
    return path;
}

TempDir::TempDir()
{
    char pattern[] = "/tmp/plotwick-test-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace plotwick::fixture
