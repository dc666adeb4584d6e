// plotwick-cli users: the provider's users, one line each, and its errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/userdata/UserData.h"
#include "tests/support/Fixture.h"
#include "tests/support/Process.h"

using namespace plotwick;
using namespace plotwick::fixture;

namespace {

using CliRun = ProcessResult;

std::string Quote(const std::string& s) { return ShellQuote(s); }

CliRun RunCli(const std::string& args, const std::string& env = {})
{
    return RunCommand(env + " " + Quote(PLOTWICK_CLI) + " " + args);
}

TEST(CliUsers, ListsUsersInTheProvidersOrder)
{
    TempDir base;
    UserFolder(base / "jsmith");
    UserFolder(base / "Dropped In");
    std::ofstream(base / "users.txt") << "12\tJohn Smith\tjsmith\n";
    const CliRun r = RunCli("users " + Quote(base.Path()));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string dropped = std::to_string(userdata::DerivedUserID("Dropped In"));
    EXPECT_EQ(r.out, "12\tJohn Smith\t" + base.Path() + "/jsmith\n" + dropped + "\tDropped In\t" + base.Path() +
                         "/Dropped In\n");
    EXPECT_EQ(r.err, "");
}

TEST(CliUsers, BaseComesFromTheEnvironmentByDefault)
{
    TempDir base;
    UserFolder(base / "Anna");
    const CliRun r = RunCli("users", "PLOTWICK_HOTSYNC_BASE=" + Quote(base.Path()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::to_string(userdata::DerivedUserID("Anna")) + "\tAnna\t" + base.Path() + "/Anna\n");

    TempDir home;
    const CliRun none = RunCli("users", "PLOTWICK_HOTSYNC_BASE= XDG_DATA_HOME=" + Quote(home.Path()));
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "plotwick-cli: " + home.Path() + "/quarnel-plotwick/HotSync: No such folder.\n");
}

TEST(CliUsers, UserFolderIsAUserOfItsOwn)
{
    TempDir base;
    UserFolder(base / "Anna");
    UserFolder(base / "jsmith");
    const std::string line =
        std::to_string(userdata::DerivedUserID("jsmith")) + "\tjsmith\t" + base.Path() + "/jsmith\n";
    EXPECT_EQ(RunCli("users " + Quote(base / "jsmith")).out, line);
    EXPECT_EQ(RunCli("users", "PLOTWICK_HOTSYNC_BASE=" + Quote(base / "jsmith")).out, line);
}

TEST(CliUsers, EmptyBasePrintsNothing)
{
    TempDir base;
    const CliRun r = RunCli("users " + Quote(base.Path()));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

TEST(CliUsers, UsageErrors)
{
    const CliRun r = RunCli("users a b");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Usage: plotwick-cli users [BASE]"), std::string::npos) << r.err;
    const CliRun help = RunCli("users --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("ID<TAB>NAME<TAB>FOLDER"), std::string::npos);
}

}  // namespace
