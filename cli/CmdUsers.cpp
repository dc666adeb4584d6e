// users: the HotSync users the desktop program would offer, with their data folders.
#include <iostream>
#include <sstream>

#include "cli/Cli.h"
#include "cli/Report.h"
#include "platform/userdata/UserData.h"

namespace plotwick::cli {
namespace {

int RunUsers(const std::vector<std::string>& args)
{
    const ParsedArgs a = ParseArgs(args, {});
    if (a.positional.size() > 1)
        throw UsageError("users takes at most one base folder");
    const std::string base = a.positional.empty() ? userdata::DefaultBaseFolder() : a.positional[0];
    std::unique_ptr<userdata::IPDUserData> provider;
    try {
        provider = userdata::CreateUserData(base);
    } catch (const userdata::UserDataUnavailable&) {
        throw PathError(base, "No such folder.");
    }
    const userdata::UserIDArray ids = provider->QueryUserIDs();
    const std::string baseFolder = provider->QueryBaseFolder();
    std::ostringstream out;
    for (std::int32_t i = ids.LowerBound(); i <= ids.UpperBound(); ++i) {
        const std::int32_t id = ids.At(i);
        out << id << '\t' << EscapeField(provider->QueryUserName(id)) << '\t'
            << EscapeField(baseFolder + provider->QueryUserFolder(id)) << '\n';
    }
    std::cout << out.str();
    return kExitOk;
}

const RegisterCommand usersCommand({"users", "users [BASE]\n"
    "  Lists the HotSync users of the base folder: ID<TAB>NAME<TAB>FOLDER, FOLDER the user's\n"
    "  data folder. BASE defaults to $PLOTWICK_HOTSYNC_BASE, else\n"
    "  $XDG_DATA_HOME/quarnel-plotwick/HotSync.\n"
    "  Control characters and the backslash in NAME and FOLDER are escaped.", RunUsers});

}  // namespace
}  // namespace plotwick::cli
