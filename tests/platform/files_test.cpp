// The file system layer: enumeration order and filters, case-insensitive lookups, atomic writes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>

#include "platform/files/Files.h"
#include "tests/support/Fixture.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

std::vector<std::string> Names(const std::vector<files::DirEntry>& entries)
{
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.name);
    return names;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Files, WildcardsIgnoreCase)
{
    EXPECT_TRUE(files::WildcardMatch("*.dat", "a.DAT"));
    EXPECT_TRUE(files::WildcardMatch("*.dat", ".dat"));
    EXPECT_FALSE(files::WildcardMatch("*.dat", "a.data"));
    EXPECT_FALSE(files::WildcardMatch("*.dat", "adat"));
    EXPECT_TRUE(files::WildcardMatch("*.*", "noextension"));
    EXPECT_TRUE(files::WildcardMatch("g?.dat", "G1.Dat"));
    EXPECT_TRUE(files::WildcardMatch("*a*b", "xxaxxb"));
}

TEST(Files, EnumerationIsSortedByUpperCasedName)
{
    TempDir dir;
    for (const char* n : {"b.dat", "A.dat", "_x.dat", "C.DAT", "other.txt", ".hidden.dat"})
        WriteFile(dir / n, Bytes());
    MakeFolders(dir / "folder.dat");
    EXPECT_EQ(Names(files::Enumerate(dir.Path(), "*.dat", files::Hidden::Exclude)),
              (std::vector<std::string>{"A.dat", "b.dat", "C.DAT", "folder.dat", "_x.dat"}));
    EXPECT_EQ(Names(files::Enumerate(dir.Path(), "*.dat", files::Hidden::Include)),
              (std::vector<std::string>{".hidden.dat", "A.dat", "b.dat", "C.DAT", "folder.dat", "_x.dat"}));
    const auto all = files::Enumerate(dir.Path(), "*.*", files::Hidden::Exclude, files::DotEntries::Include);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0].name, ".");
    EXPECT_EQ(all[1].name, "..");
    EXPECT_TRUE(files::Enumerate(dir / "missing", "*.*", files::Hidden::Include).empty());
}

TEST(Files, LookupsIgnoreCase)
{
    TempDir dir;
    MakeFolders(dir / "Sketches");
    WriteFile(dir / "Sketches/Rec.DAT", Bytes().raw("x"));
    EXPECT_TRUE(files::DirectoryExists(dir / "SKETCHES"));
    EXPECT_TRUE(files::FileExists(dir / "sketches/rec.dat"));
    EXPECT_FALSE(files::FileExists(dir / "sketches"));
    EXPECT_EQ(files::ResolvePath(dir / "sketches/rec.dat"), dir / "Sketches/Rec.DAT");
    const int fd = files::OpenReadOnly(dir / "SKETCHES/REC.dat");
    EXPECT_GE(fd, 0);
    if (fd >= 0)
        ::close(fd);
    EXPECT_LT(files::OpenReadOnly(dir / "Sketches"), 0);  // a folder is not a readable file
}

TEST(Files, AnOpenFolderReadsTheStartOfItsPlainFilesOnly)
{
    TempDir dir;
    MakeFolders(dir / "Font/Sub.dat");
    WriteFile(dir / "Font/g0041.dat", Bytes().raw("ABC"));
    WriteFile(dir / "Font/empty.dat", Bytes());
    ASSERT_EQ(::mkfifo((dir / "Font/pipe.dat").c_str(), 0600), 0);  // opening it would block
    ASSERT_EQ(::symlink("g0041.dat", (dir / "Font/link.dat").c_str()), 0);
    const files::Folder folder(dir / "FONT");  // the folder's name case is ignored
    ASSERT_TRUE(folder.IsOpen());
    const struct {
        const char* name;
        long read;
        const char* start;
    } cases[] = {{"g0041.dat", 2, "AB"}, {"link.dat", 2, "AB"}, {"empty.dat", 0, ""},
                 {"pipe.dat", -1, ""},   {"Sub.dat", -1, ""},   {"missing.dat", -1, ""}};
    for (const auto& c : cases) {
        char buffer[2] = {};
        EXPECT_EQ(folder.ReadStart(c.name, buffer, 2), c.read) << c.name;
        EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max(c.read, 0L))), c.start) << c.name;
        // A plain file is one that reads; it opens as one.
        EXPECT_EQ(folder.HasPlainFile(c.name), c.read >= 0) << c.name;
        const int fd = folder.Open(c.name);
        EXPECT_EQ(fd >= 0, c.read >= 0) << c.name;
        if (fd >= 0)
            ::close(fd);
    }
    // An entry of the listing reads as its name does.
    for (const auto& entry : files::Enumerate(dir / "Font", "*.dat", files::Hidden::Include)) {
        char byName[2] = {}, byEntry[2] = {};
        EXPECT_EQ(folder.ReadStart(entry, byEntry, 2), folder.ReadStart(entry.name, byName, 2)) << entry.name;
        EXPECT_EQ(std::string(byEntry, 2), std::string(byName, 2)) << entry.name;
    }
    EXPECT_FALSE(files::Folder(dir / "missing").IsOpen());
}

TEST(Files, AtomicWriteReplacesOnlyWhenComplete)
{
    TempDir dir;
    const std::string target = dir / "out.bin";
    files::WriteFileAtomically(target, "first", 5);
    EXPECT_EQ(ReadAll(target), "first");
    files::WriteFileAtomically(target, "second", 6);
    EXPECT_EQ(ReadAll(target), "second");
    EXPECT_EQ(Names(files::Enumerate(dir.Path(), "*.*", files::Hidden::Include)), std::vector<std::string>{"out.bin"});
    // A folder that cannot be written: a new file cannot be made, a writable one is rewritten.
    if (::geteuid() != 0) {
        ::chmod(dir.Path().c_str(), 0555);
        EXPECT_THROW(files::WriteFileAtomically(dir / "new.bin", "x", 1), std::runtime_error);
        files::WriteFileAtomically(target, "third", 5);
        ::chmod(dir.Path().c_str(), 0755);
        EXPECT_EQ(ReadAll(target), "third");
    }
    EXPECT_THROW(files::WriteFileAtomically(dir / "missing/out.bin", "x", 1), std::runtime_error);
}

// A caller that expects a new name (export-all, after listing the folder) must get what any
// write gets when the name is there after all.
TEST(Files, AtomicWriteOfAnExpectedNewNameActsAsAnyWriteWhereTheNameExists)
{
    const struct {
        const char* name;
        std::function<void(const TempDir&)> setUp;
    } cases[] = {
        {"no entry", [](const TempDir&) {}},
        {"a file with its own permissions",
         [](const TempDir& d) {
             WriteFile(d / "out.bin", Bytes().raw("old"));
             ::chmod((d / "out.bin").c_str(), 0640);
         }},
        {"a link to a file in another folder",
         [](const TempDir& d) {
             MakeFolders(d / "real");
             WriteFile(d / "real/file.bin", Bytes().raw("old"));
             ASSERT_EQ(::symlink("real/file.bin", (d / "out.bin").c_str()), 0);
         }},
        {"a dangling link",
         [](const TempDir& d) {
             MakeFolders(d / "real");
             ASSERT_EQ(::symlink("real/new.bin", (d / "out.bin").c_str()), 0);
         }},
        {"a file without write permission",
         [](const TempDir& d) {
             WriteFile(d / "out.bin", Bytes().raw("keep"));
             ::chmod((d / "out.bin").c_str(), 0444);
         }},
        {"a folder", [](const TempDir& d) { MakeFolders(d / "out.bin"); }},
    };
    // Every entry below the folder: its name, kind, permissions and content.
    const auto state = [](const TempDir& d) {
        std::vector<std::string> seen;
        for (const auto& e : std::filesystem::recursive_directory_iterator(d.Path())) {
            const auto status = std::filesystem::symlink_status(e.path());
            std::string line = e.path().string().substr(d.Path().size()) + " " +
                               std::to_string(static_cast<int>(status.type())) + " " +
                               std::to_string(static_cast<int>(status.permissions()));
            if (status.type() == std::filesystem::file_type::regular)
                line += " " + ReadAll(e.path().string());
            seen.push_back(line);
        }
        std::sort(seen.begin(), seen.end());
        return seen;
    };
    for (const auto& c : cases) {
        std::string outcome[2];
        std::vector<std::string> states[2];
        int i = 0;
        for (files::Target expected : {files::Target::Unknown, files::Target::New}) {
            TempDir dir;
            c.setUp(dir);
            try {
                files::WriteFileAtomically(dir / "out.bin", "new", 3, expected);
                outcome[i] = "written";
            } catch (const std::runtime_error& e) {
                outcome[i] = e.what();
            }
            outcome[i] = outcome[i].substr(0, outcome[i].find(dir.Path()));  // messages name the path
            states[i] = state(dir);
            ++i;
        }
        EXPECT_EQ(outcome[1], outcome[0]) << c.name;
        EXPECT_EQ(states[1], states[0]) << c.name;
    }
}

TEST(Files, AtomicWriteFailsCleanlyOnAFullDevice)
{
    // /dev/full is not a folder we can create in; writing next to a target on a full file
    // system is simulated with a file size limit instead.
    TempDir dir;
    const std::string target = dir / "big.bin";
    files::WriteFileAtomically(target, "old", 3);
    struct rlimit old;
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string big(4096, 'x');
    EXPECT_THROW(files::WriteFileAtomically(target, big.data(), big.size()), std::runtime_error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(Names(files::Enumerate(dir.Path(), "*.*", files::Hidden::Include)), std::vector<std::string>{"big.bin"});
}

}  // namespace
