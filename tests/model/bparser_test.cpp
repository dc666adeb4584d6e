// The data file reader: byte order, strings, end-of-file behaviour and its two errors.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/BParser.h"
#include "model/Geometry.h"
#include "model/PathInstr.h"
#include "tests/support/Fixture.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

class ReaderTest : public ::testing::Test {
protected:
    std::string Write(const Bytes& b)
    {
        const std::string path = dir / ("f" + std::to_string(counter++) + ".bin");
        WriteFile(path, b);
        return path;
    }
    template <typename F>
    static std::string ErrorOf(F&& f)
    {
        try {
            f();
        } catch (const EBParseException& e) {
            return e.what();
        }
        return "no error";
    }
    TempDir dir;
    int counter = 0;
};

TEST_F(ReaderTest, MissingFileOpensButEveryReadSaysFileIsNotOpen)
{
    BParser r(dir / "missing.dat", 0);
    EXPECT_EQ(r.FSize, 0);
    EXPECT_LE(r.FHandle, 0);
    EXPECT_EQ(ErrorOf([&] { r.ReadTag(); }), "File is not open.");
    EXPECT_EQ(ErrorOf([&] { r.ReadByte(); }), "File is not open.");
    EXPECT_EQ(ErrorOf([&] { r.ReadString(25); }), "File is not open.");
    EXPECT_EQ(ErrorOf([&] { r.Skip(4); }), "File is not open.");
    EXPECT_EQ(ErrorOf([&] { r.ReadMatrix(); }), "File is not open.");
}

TEST_F(ReaderTest, IntegersFloatsAndColoursAreBigEndian)
{
    Bytes b{0xFF, 0xFE, 0xFF, 0xFE, 0x3F, 0x80, 0x00, 0x00, 0xC7, 0xC3, 0x50, 0x00, 0x07, 0x00, 0x00, 0xFF,
            0x00, 0xFF, 0x80, 0x00};
    BParser r(Write(b), 0);
    EXPECT_EQ(r.FSize, 20);
    EXPECT_EQ(r.ReadWord(), 65534);
    EXPECT_EQ(r.ReadSmallInt(), -2);
    EXPECT_EQ(r.ReadFloat(), 1.0f);
    EXPECT_EQ(r.ReadFloat(), -100000.0f);
    EXPECT_EQ(r.ReadColor(), 0x00FF0000u);  // the leading palette index plays no part
    EXPECT_EQ(r.ReadColor(), 0x000080FFu);
    EXPECT_EQ(r.ReadTag(), 0);  // end of file: a tag of 0, no error
}

TEST_F(ReaderTest, ShortReadsOfEveryWidthAreFormatErrors)
{
    const std::string path = Write(Bytes{0x01, 0x02, 0x03});
    {
        BParser r(path, 3);
        EXPECT_EQ(ErrorOf([&] { r.ReadByte(); }), "Incorrect data format.");
    }
    {
        BParser r(path, 2);
        EXPECT_EQ(ErrorOf([&] { r.ReadWord(); }), "Incorrect data format.");
    }
    {
        BParser r(path, 2);
        EXPECT_EQ(ErrorOf([&] { r.ReadSmallInt(); }), "Incorrect data format.");
    }
    {
        BParser r(path, 0);
        EXPECT_EQ(ErrorOf([&] { r.ReadFloat(); }), "Incorrect data format.");
        // The bytes that could be read were consumed.
        EXPECT_EQ(r.ReadTag(), 0);
    }
    {
        BParser r(path, 0);
        EXPECT_EQ(ErrorOf([&] { r.ReadColor(); }), "Incorrect data format.");
    }
    {
        BParser r(path, 0);
        float x, y;
        EXPECT_EQ(ErrorOf([&] { r.ReadPoint(x, y); }), "Incorrect data format.");
    }
    {
        BParser r(path, 0);
        EXPECT_EQ(ErrorOf([&] { r.ReadMatrix(); }), "Incorrect data format.");
        // The reader stays usable after an error.
        EXPECT_EQ(r.Skip(-3), 0);
        EXPECT_EQ(r.ReadByte(), 1);
    }
}

TEST_F(ReaderTest, StartOffsetBeyondTheEnd)
{
    BParser r(Write(Bytes{1, 2}), 100);
    EXPECT_EQ(r.ReadTag(), 0);
    EXPECT_EQ(ErrorOf([&] { r.ReadByte(); }), "Incorrect data format.");
}

TEST_F(ReaderTest, LengthPrefixedStrings)
{
    // L < n: L + 1 bytes follow the length.
    {
        BParser r(Write(Bytes{0, 0, 0, 3, 'A', 'b', 'c', 0, 'Z'}), 0);
        EXPECT_EQ(r.ReadString(25), "Abc");
        EXPECT_EQ(r.ReadTag(), 'Z');
    }
    // L = 0 and L < 0: only the four length bytes are consumed.
    for (std::int32_t length : {0, -5}) {
        BParser r(Write(Bytes().i32(length).raw("Q")), 0);
        EXPECT_EQ(r.ReadString(25), "");
        EXPECT_EQ(r.ReadTag(), 'Q');
    }
    // L >= n: exactly n bytes, the rest stays in the stream.
    {
        Bytes b;
        b.i32(40).raw(std::string(25, 'x')).raw("REST");
        BParser r(Write(b), 0);
        EXPECT_EQ(r.ReadString(25), std::string(25, 'x'));
        EXPECT_EQ(r.ReadTag(), 'R');
    }
    // L = n - 1: the terminating zero is the last byte consumed.
    {
        Bytes b;
        b.i32(24).raw(std::string(24, 'y')).u8(0).raw("N");
        BParser r(Write(b), 0);
        EXPECT_EQ(r.ReadString(25), std::string(24, 'y'));
        EXPECT_EQ(r.ReadTag(), 'N');
    }
    // A zero byte inside the text ends it.
    {
        Bytes b;
        b.i32(40).raw("ab").u8(0).raw(std::string(22, 'z')).raw("T");
        BParser r(Write(b), 0);
        EXPECT_EQ(r.ReadString(25), "ab");
        EXPECT_EQ(r.ReadTag(), 'T');
    }
    // At or near the end of the file: what could be read, no error.
    {
        BParser r(Write(Bytes().i32(10).raw("hel")), 0);
        EXPECT_EQ(r.ReadString(25), "hel");
    }
    {
        BParser r(Write(Bytes{0, 0}), 0);
        EXPECT_EQ(r.ReadString(25), "");
    }
}

TEST_F(ReaderTest, FixedStrings)
{
    Bytes field;
    field.raw("Drawings").zeros(56);
    BParser r(Write(field), 0);
    EXPECT_EQ(r.ReadFixedString(64), "Drawings");

    Bytes full;
    full.raw("ABCDEFGH");
    BParser all(Write(full), 0);
    EXPECT_EQ(all.ReadFixedString(8), "ABCDEFGH");

    BParser shortFile(Write(Bytes().zeros(10)), 0);
    EXPECT_EQ(ErrorOf([&] { shortFile.ReadFixedString(64); }), "Incorrect data format.");
}

TEST_F(ReaderTest, SkipMovesBothWaysAndPastTheEnd)
{
    BParser r(Write(Bytes{10, 20, 30, 40}), 1);
    EXPECT_EQ(r.ReadTag(), 20);
    EXPECT_EQ(r.Skip(1), 3);
    EXPECT_EQ(r.ReadTag(), 40);
    EXPECT_EQ(r.Skip(-4), 0);
    EXPECT_EQ(r.ReadTag(), 10);
    EXPECT_EQ(r.Skip(100), 101);
    EXPECT_EQ(r.ReadTag(), 0);
    EXPECT_TRUE(r.LastTagWasEnd());
    EXPECT_EQ(ErrorOf([&] { r.ReadByte(); }), "Incorrect data format.");
}

TEST_F(ReaderTest, ReadsAcrossBufferBoundaries)
{
    // Values straddling the reader's internal buffer must read as if unbuffered, whatever
    // read-ahead the caller asks for (0: sized to the file).
    Bytes b;
    for (int i = 0; i < 70000; ++i)
        b.u8(static_cast<std::uint8_t>(i * 7));
    b.f32(1234.5f);
    const std::string path = Write(b);
    for (const std::size_t readAhead : {0, 1, 3, 1096}) {
        SCOPED_TRACE(readAhead);
        BParser r(path, 65534, readAhead);
        EXPECT_EQ(r.ReadWord(), static_cast<std::uint16_t>(((65534 * 7) & 0xFF) * 256 + ((65535 * 7) & 0xFF)));
        r.Skip(70000 - 65536);
        EXPECT_EQ(r.ReadFloat(), 1234.5f);
        EXPECT_EQ(r.ReadTag(), 0);
        EXPECT_TRUE(r.LastTagWasEnd());
        EXPECT_EQ(r.Skip(-70004), 0);
        EXPECT_EQ(r.ReadByte(), 0);
        EXPECT_EQ(r.ReadWord(), 7 * 256 + 14);
    }
}

TEST_F(ReaderTest, MatrixIsNineSinglesRowMajor)
{
    Bytes b;
    for (float v : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 10.f, 20.f, 1.f})
        b.f32(v);
    BParser r(Write(b), 0);
    const auto m = r.ReadMatrix();
    float x = 0, y = 0;
    m->TransformPoint(x, y);
    EXPECT_EQ(x, 10.f);
    EXPECT_EQ(y, 20.f);
}

TEST_F(ReaderTest, PathInstructionOperands)
{
    BParser r(Write(Bytes{0x42, 0xC8, 0, 0, 0x42, 0x48, 0, 0}), 0);
    const auto m = r.ReadPathInstr('M');
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Kind, 'M');
    EXPECT_EQ(m->X, 100.f);
    EXPECT_EQ(m->Y, 50.f);
    EXPECT_EQ(m->C1X, 100.f);
    EXPECT_EQ(m->C2Y, 50.f);

    Bytes c;
    for (float v : {1.f, 2.f, 3.f, 4.f, 5.f, 6.f})
        c.f32(v);
    BParser rc(Write(c), 0);
    const auto ci = rc.ReadPathInstr('C');
    ASSERT_TRUE(ci);
    EXPECT_EQ(ci->C1X, 1.f);
    EXPECT_EQ(ci->C1Y, 2.f);
    EXPECT_EQ(ci->C2X, 3.f);
    EXPECT_EQ(ci->C2Y, 4.f);
    EXPECT_EQ(ci->X, 5.f);
    EXPECT_EQ(ci->Y, 6.f);

    Bytes s;
    for (float v : {3.f, 4.f, 5.f, 6.f})
        s.f32(v);
    BParser rs(Write(s), 0);
    const auto si = rs.ReadPathInstr('S');
    ASSERT_TRUE(si);
    EXPECT_EQ(si->C2X, 3.f);
    EXPECT_EQ(si->C2Y, 4.f);
    EXPECT_EQ(si->X, 5.f);
    EXPECT_EQ(si->C1X, 5.f);
    EXPECT_EQ(si->C1Y, 6.f);
}

TEST_F(ReaderTest, CloseAndUnknownKindsConsumeNothing)
{
    BParser r(Write(Bytes{'Q', 'z'}), 0);
    const auto z = r.ReadPathInstr('z');
    ASSERT_TRUE(z);
    EXPECT_EQ(z->X, 0.f);
    const auto q = r.ReadPathInstr(0x51);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Kind, 0x51);
    EXPECT_EQ(r.ReadTag(), 'Q');
}

TEST_F(ReaderTest, NaNOperandsDropTheInstructionButConsumeItsBytes)
{
    BParser r(Write(Bytes{0x7F, 0xC0, 0, 0, 0, 0, 0, 0, 'n', 0x7F, 0x80, 0, 0, 0, 0, 0, 0}), 0);
    EXPECT_FALSE(r.ReadPathInstr('L'));
    EXPECT_EQ(r.ReadTag(), 'n');
    const auto inf = r.ReadPathInstr('L');
    ASSERT_TRUE(inf);
    EXPECT_TRUE(std::isinf(inf->X));
}

TEST_F(ReaderTest, ShortOperandsAreFormatErrors)
{
    BParser r(Write(Bytes{0x3F, 0x80, 0, 0, 0x3F}), 0);
    EXPECT_EQ(ErrorOf([&] { r.ReadPathInstr('L'); }), "Incorrect data format.");
}

}  // namespace
