// Database header files and the discovery of databases in a user folder.
#include <gtest/gtest.h>

#include "model/BParser.h"
#include "model/DatabaseScan.h"
#include "model/DrawDB.h"
#include "tests/support/Fixture.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

TDrawDB ReadHeaderAt(const std::string& dbPath)
{
    TDrawDB db;
    db.FPath = dbPath;
    db.ReadHeader();
    return db;
}

TEST(DrawDBHeader, CompleteWithoutExtension)
{
    TempDir dir;
    WriteFile(dir / "Sketches.dat", Header(1.0f, "My sketches", std::nullopt));
    const TDrawDB db = ReadHeaderAt(dir / "Sketches");
    EXPECT_EQ(db.FHeaderSize, 346);
    EXPECT_EQ(db.FVersion, 1.0f);
    EXPECT_EQ(db.FTitle, "My sketches");
    EXPECT_EQ(db.FHeaderWord, 0);
}

TEST(DrawDBHeader, ExtensionFields)
{
    TempDir dir;
    Bytes b;
    b.zeros(278).f32(1.0f).fixed("T", 64).u8(7).zeros(32).u8(8).u8(9).u8(10).u16(2048).raw("trailing bytes");
    WriteFile(dir / "Font.dat", b);
    const TDrawDB db = ReadHeaderAt(dir / "Font");
    EXPECT_EQ(db.FHeaderByte1, 7);
    EXPECT_EQ(db.FHeaderByte2, 8);
    EXPECT_EQ(db.FHeaderByte3, 9);
    EXPECT_EQ(db.FHeaderWord, 2048);
}

TEST(DrawDBHeader, ShortHeadersAreFormatErrors)
{
    TempDir dir;
    WriteFile(dir / "A.dat", Bytes().zeros(300));
    WriteFile(dir / "B.dat", Header(1.0f, "", std::nullopt).zeros(14));  // 360 bytes
    for (const char* name : {"A", "B"}) {
        TDrawDB db;
        db.FPath = dir / name;
        EXPECT_THROW(
            {
                try {
                    db.ReadHeader();
                } catch (const EBParseException& e) {
                    EXPECT_STREQ(e.what(), "Incorrect data format.");
                    throw;
                }
            },
            EBParseException);
    }
}

TEST(DrawDBHeader, MissingHeaderLeavesVersionZero)
{
    TempDir dir;
    const TDrawDB db = ReadHeaderAt(dir / "Nothing");
    EXPECT_EQ(db.FVersion, 0.0f);
    EXPECT_EQ(db.FHeaderSize, 0);
}

TEST(DrawDBHeader, HeaderNameIgnoresCase)
{
    TempDir dir;
    MakeFolders(dir / "Sketches");
    WriteFile(dir / "Sketches.DAT", Header(1.0f, "", std::nullopt));
    EXPECT_EQ(ReadHeaderAt(dir / "Sketches").FVersion, 1.0f);
}

TEST(DatabaseScan, KeepsOnlyValidDatabasesInNameOrder)
{
    TempDir dir;
    UserFolder user(dir.Path());
    user.AddDatabase(kDrawings, "zebra");
    user.AddDatabase(kDrawings, "Apple");
    user.AddDatabase(kDrawings, "_under");  // '_' sorts after the letters when names are upper-cased
    user.AddDatabase(kDrawings, "Newer", 1.5f);
    user.AddDatabase(kDrawings, "Zero", 0.0f);
    user.AddDatabase(kDrawings, ".hidden");
    MakeFolders(dir / "QNDraw/DDRW/NoHeader");
    WriteFile(dir / "QNDraw/DDRW/readme.txt", Bytes().raw("hello"));
    // A plain file with a valid header beside it is a candidate too.
    WriteFile(dir / "QNDraw/DDRW/abc", Bytes());
    WriteFile(dir / "QNDraw/DDRW/abc.dat", Header(1.0f, "", std::nullopt));
    user.AddDatabase(kFonts, "VU Dedadiz", 1.0f, 1000);
    std::vector<std::string> found;
    ScanUserFolder(dir.Path(), [&](std::unique_ptr<TDrawDB> db) {
        found.push_back(std::to_string(db->FKind) + ":" + db->FName);
    });
    EXPECT_EQ(found, (std::vector<std::string>{"0:abc", "0:Apple", "0:zebra", "0:_under", "2:VU Dedadiz"}));
}

TEST(DatabaseScan, EntriesEndingInDatAreNeverDatabases)
{
    TempDir dir;
    MakeFolders(dir / "Notes.DAT");
    WriteFile(dir / "Notes.DAT.dat", Header(1.0f, "", std::nullopt));
    EXPECT_EQ(AddDatabase(dir.Path(), "Notes.DAT", kDrawings), nullptr);
    EXPECT_EQ(AddDatabase(dir.Path(), ".", kDrawings), nullptr);
    EXPECT_EQ(AddDatabase(dir.Path(), "..", kDrawings), nullptr);
}

TEST(DatabaseScan, ShortHeaderEndsTheScanKeepingEarlierDatabases)
{
    TempDir dir;
    UserFolder user(dir.Path());
    user.AddDatabase(kDrawings, "A");
    MakeFolders(dir / "QNDraw/DDRW/B");
    WriteFile(dir / "QNDraw/DDRW/B.dat", Bytes().zeros(360));
    user.AddDatabase(kDrawings, "C");
    std::vector<std::string> found;
    std::string failed;
    EXPECT_THROW(ScanFolder(KindFolder(dir.Path(), kDrawings), kDrawings,
                            [&](std::unique_ptr<TDrawDB> db) { found.push_back(db->FName); }, &failed),
                 EBParseException);
    EXPECT_EQ(found, std::vector<std::string>{"A"});
    EXPECT_EQ(failed, dir / "QNDraw/DDRW/B");
}

}  // namespace
