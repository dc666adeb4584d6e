// The HotSync user data read from a base folder: users found, their IDs, names and folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/files/Files.h"
#include "platform/userdata/UserData.h"
#include "tests/support/Fixture.h"

using namespace plotwick;
using namespace plotwick::fixture;
using namespace plotwick::userdata;

namespace {

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Sets an environment variable for one test and puts the old value back.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(UserIDArray, HonoursItsLowerBound)
{
    const UserIDArray ids({7, 8, 9}, 3);
    EXPECT_EQ(ids.LowerBound(), 3);
    EXPECT_EQ(ids.UpperBound(), 5);
    EXPECT_EQ(ids.At(3), 7);
    EXPECT_EQ(ids.At(5), 9);
    EXPECT_THROW(ids.At(2), std::out_of_range);
    EXPECT_THROW(ids.At(6), std::out_of_range);
    EXPECT_TRUE(UserIDArray().Empty());
    EXPECT_EQ(UserIDArray().UpperBound(), -1);
}

TEST(HotSyncFolderUserData, MissingBaseFolderCannotBeCreated)
{
    TempDir dir;
    EXPECT_THROW(HotSyncFolderUserData(dir / "absent"), UserDataUnavailable);
    EXPECT_THROW(CreateUserData(dir / "absent"), UserDataUnavailable);
    WriteText(dir / "plain", "x");
    EXPECT_THROW(HotSyncFolderUserData(dir / "plain"), UserDataUnavailable);
    // Every failure is a runtime_error, as a failing status would be.
    try {
        HotSyncFolderUserData provider(dir / "absent");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("absent"), std::string::npos);
    }
}

TEST(HotSyncFolderUserData, EmptyBaseHasNoUsers)
{
    TempDir dir;
    HotSyncFolderUserData provider(dir.Path());
    EXPECT_EQ(provider.QueryUserCount(), 0);
    EXPECT_TRUE(provider.QueryUserIDs().Empty());
    EXPECT_EQ(provider.QueryBaseFolder(), dir.Path() + "/");
    EXPECT_THROW(provider.QueryUserName(1), UserDataError);
    EXPECT_THROW(provider.QueryUserFolder(1), UserDataError);
    EXPECT_THROW(provider.QueryUserName(-1), UserDataError);
}

TEST(HotSyncFolderUserData, FoldersWithQNDrawAreUsers)
{
    TempDir dir;
    UserFolder a(dir / "Smith J");
    files::WriteFileAtomically(dir / "README", "x", 1);
    fixture::MakeFolders(dir / "Backup");             // no QNDraw: not a user
    fixture::MakeFolders(dir / "lowercase/qndraw");   // the name's case is ignored
    fixture::MakeFolders(dir / ".hidden/QNDraw");     // hidden folders never count
    UserFolder b(dir / "Anna");

    HotSyncFolderUserData provider(dir.Path() + "///");
    ASSERT_EQ(provider.QueryUserCount(), 3);
    const UserIDArray ids = provider.QueryUserIDs();
    ASSERT_EQ(ids.Count(), 3);
    EXPECT_EQ(ids.LowerBound(), 0);
    // The file system's order: ascending by case-folded name.
    EXPECT_EQ(provider.QueryUserName(ids.At(0)), "Anna");
    EXPECT_EQ(provider.QueryUserName(ids.At(1)), "lowercase");
    EXPECT_EQ(provider.QueryUserName(ids.At(2)), "Smith J");
    for (std::int32_t i = ids.LowerBound(); i <= ids.UpperBound(); ++i) {
        EXPECT_GT(ids.At(i), 0);
        EXPECT_EQ(ids.At(i), DerivedUserID(provider.QueryUserFolder(ids.At(i))));
        // Base and folder joined with nothing in between give the user folder.
        const std::string folder = provider.QueryBaseFolder() + provider.QueryUserFolder(ids.At(i));
        EXPECT_TRUE(files::DirectoryExists(folder + "/QNDraw")) << folder;
    }
    EXPECT_EQ(provider.QueryBaseFolder(), dir.Path() + "/");
}

TEST(HotSyncFolderUserData, DerivedIDsAreStableAndPositive)
{
    EXPECT_EQ(DerivedUserID("Smith J"), DerivedUserID("Smith J"));
    EXPECT_EQ(DerivedUserID("Smith J"), DerivedUserID("SMITH j"));
    EXPECT_NE(DerivedUserID("Smith J"), DerivedUserID("Smith K"));
    for (const char* name : {"", "a", "Anna", "\xff\xfe", "very long folder name with spaces"})
        EXPECT_GT(DerivedUserID(name), 0) << name;

    TempDir dir;
    UserFolder(dir / "Anna");
    UserFolder(dir / "Bert");
    const auto first = HotSyncFolderUserData(dir.Path()).QueryUserIDs();
    const auto again = HotSyncFolderUserData(dir.Path()).QueryUserIDs();
    EXPECT_EQ(first, again);
    // A new folder does not move the IDs of the others.
    UserFolder(dir / "Carl");
    const auto later = HotSyncFolderUserData(dir.Path()).QueryUserIDs();
    ASSERT_EQ(later.Count(), 3);
    EXPECT_EQ(later.At(0), first.At(0));
    EXPECT_EQ(later.At(1), first.At(1));
}

TEST(HotSyncFolderUserData, CollidingIDsStepAside)
{
    TempDir dir;
    UserFolder(dir / "Anna");
    UserFolder(dir / "Bert");
    const std::int32_t annaID = DerivedUserID("Anna");
    // The index pins the ID that Anna's folder would derive on another folder, so the
    // dropped-in folder Anna steps to the next free ID.
    UserFolder(dir / "Pinned");
    WriteText(dir / "users.txt", std::to_string(annaID) + "\tPinned user\tPinned\n");
    HotSyncFolderUserData provider(dir.Path());
    const auto ids = provider.QueryUserIDs();
    ASSERT_EQ(ids.Count(), 3);
    EXPECT_EQ(ids.At(0), annaID);
    EXPECT_EQ(provider.QueryUserName(annaID), "Pinned user");
    EXPECT_EQ(provider.QueryUserFolder(annaID), "Pinned");
    EXPECT_EQ(provider.QueryUserName(ids.At(1)), "Anna");
    EXPECT_EQ(ids.At(1), annaID == 0x7FFFFFFF ? 1 : annaID + 1);
    EXPECT_EQ(provider.QueryUserName(ids.At(2)), "Bert");
}

TEST(HotSyncFolderUserData, IndexGivesIDsNamesAndOrder)
{
    TempDir dir;
    UserFolder(dir / "jsmith");
    UserFolder(dir / "anna");
    fixture::MakeFolders(dir / "newuser");  // listed by the index: a user even before a sync
    WriteText(dir / "Users.TXT",
              "# HotSync users\r\n"
              "\r\n"
              "12\tJohn Smith\tJSMITH\r\n"         // folder name case ignored
              "7\t\tanna\n"                         // no name: the folder's
              "0\tZero\tnewuser\n"                  // IDs are positive
              "-4\tNegative\tnewuser\n"
              "12\tDuplicate ID\tnewuser\n"         // the first line with an ID wins
              "13\tDuplicate folder\tanna\n"        // and the first line with a folder
              "14\tNo such folder\tghost\n"
              "15\tEscaping\t../anna\n"             // one path component only
              "x\tNot a number\tnewuser\n"
              "16\tToo few fields\n"
              "2147483648\tToo large\tnewuser\n"
              "31\tNew User\tnewuser\n");
    HotSyncFolderUserData provider(dir.Path());
    const auto ids = provider.QueryUserIDs();
    ASSERT_EQ(ids.Values(), (std::vector<std::int32_t>{12, 7, 31}));
    EXPECT_EQ(provider.QueryUserName(12), "John Smith");
    EXPECT_EQ(provider.QueryUserFolder(12), "jsmith");
    EXPECT_EQ(provider.QueryUserName(7), "anna");
    EXPECT_EQ(provider.QueryUserFolder(7), "anna");
    EXPECT_EQ(provider.QueryUserName(31), "New User");
    EXPECT_EQ(provider.QueryUserCount(), 3);
    EXPECT_THROW(provider.QueryUserName(13), UserDataError);
    EXPECT_THROW(provider.QueryUserName(14), UserDataError);
}

TEST(HotSyncFolderUserData, DroppedInFolderJoinsAnIndexedBase)
{
    TempDir dir;
    UserFolder(dir / "jsmith");
    WriteText(dir / "users.txt", "12\tJohn Smith\tjsmith\n");
    UserFolder(dir / "Old Desktop Copy");
    HotSyncFolderUserData provider(dir.Path());
    const auto ids = provider.QueryUserIDs();
    ASSERT_EQ(ids.Count(), 2);
    EXPECT_EQ(ids.At(0), 12);
    EXPECT_EQ(ids.At(1), DerivedUserID("Old Desktop Copy"));
    EXPECT_EQ(provider.QueryUserName(ids.At(1)), "Old Desktop Copy");
}

TEST(DefaultBaseFolder, VariableThenXdgDataHomeThenHome)
{
    {
        EnvVar base(kBaseFolderVariable, "/srv/hotsync");
        EXPECT_EQ(DefaultBaseFolder(), "/srv/hotsync");
    }
    EnvVar base(kBaseFolderVariable, "");
    {
        EnvVar xdg("XDG_DATA_HOME", "/data/me");
        EXPECT_EQ(DefaultBaseFolder(), "/data/me/quarnel-plotwick/HotSync");
    }
    EnvVar home("HOME", "/home/someone");
    {
        EnvVar xdg("XDG_DATA_HOME", "relative/path");  // not absolute: ignored
        EXPECT_EQ(DefaultBaseFolder(), "/home/someone/.local/share/quarnel-plotwick/HotSync");
    }
    EnvVar xdg("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(DefaultBaseFolder(), "/home/someone/.local/share/quarnel-plotwick/HotSync");
}

TEST(DefaultBaseFolder, CreateUserDataReadsIt)
{
    TempDir dir;
    UserFolder(dir / "Anna");
    EnvVar base(kBaseFolderVariable, dir.Path().c_str());
    const auto provider = CreateUserData();
    EXPECT_EQ(provider->QueryUserCount(), 1);
    EXPECT_EQ(provider->QueryBaseFolder(), dir.Path() + "/");
}

// What each kind of folder is taken for, and the user folder behind it.
TEST(LocateFolder, TellsTheKindsApart)
{
    TempDir dir;
    UserFolder user(dir / "base/JSmith");
    const std::string sketches = user.AddDatabase(0, "Sketches");
    fixture::MakeFolders(dir / "base/JSmith/QNDraw/DDRW/NoHeader");
    fixture::MakeFolders(dir / "indexed");
    WriteText(dir / "indexed/USERS.TXT", "# nobody yet\n");
    fixture::MakeFolders(dir / "plain/Backup");
    WriteText(dir / "file", "x");
    struct Case {
        std::string path;
        FolderKind kind;
        std::string folder, userFolder;
    };
    const std::string u = dir / "base/JSmith";
    const Case cases[] = {
        {dir / "base", FolderKind::Base, dir / "base", ""},
        {dir / "base//", FolderKind::Base, dir / "base", ""},
        {u, FolderKind::User, u, u},
        {dir / "BASE/jsmith", FolderKind::User, u, u},  // letter case ignored, the disk's spelling kept
        {sketches, FolderKind::Database, sketches, u},
        {u + "/qndraw/ddrw/SKETCHES/", FolderKind::Database, sketches, u},
        {u + "/QNDraw/DDRW/NoHeader", FolderKind::Other, u + "/QNDraw/DDRW/NoHeader", ""},
        {u + "/QNDraw", FolderKind::Other, u + "/QNDraw", ""},
        {dir / "indexed", FolderKind::Base, dir / "indexed", ""},
        {dir / "plain", FolderKind::Other, dir / "plain", ""},
        {dir / "file", FolderKind::Missing, dir / "file", ""},
        {dir / "absent/../absent", FolderKind::Missing, dir / "absent", ""},
        {"", FolderKind::Missing, "", ""},
    };
    for (const Case& c : cases) {
        const FolderLocation at = LocateFolder(c.path);
        EXPECT_EQ(at.kind, c.kind) << c.path;
        EXPECT_EQ(at.folder, c.folder) << c.path;
        EXPECT_EQ(at.userFolder, c.userFolder) << c.path;
    }
}

TEST(CreateUserData, UserFolderIsAUserOfItsOwn)
{
    TempDir dir;
    UserFolder user(dir / "base/JSmith");
    const std::string sketches = user.AddDatabase(0, "Sketches");
    UserFolder(dir / "base/Anna");
    for (const std::string& folder : {user.Root(), sketches, dir / "base/jsmith/"}) {
        const auto provider = CreateUserData(folder);
        ASSERT_EQ(provider->QueryUserCount(), 1) << folder;
        const std::int32_t id = provider->QueryUserIDs().At(0);
        EXPECT_EQ(id, DerivedUserID("JSmith"));
        EXPECT_EQ(provider->QueryUserName(id), "JSmith");
        EXPECT_EQ(provider->QueryBaseFolder() + provider->QueryUserFolder(id), user.Root());
    }
    // The base itself still holds both.
    EXPECT_EQ(CreateUserData(dir / "base")->QueryUserCount(), 2);
    EXPECT_THROW(HotSyncFolderUserData::ForUserFolder(dir / "absent"), UserDataUnavailable);
}

}  // namespace
