// The command-line tool's shared pieces: option parsing, error reporting, exit codes.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace plotwick::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitDataError = 1;
inline constexpr int kExitUsage = 2;

// A usage error: reported with the subcommand's usage line, exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A data or file error tied to a path: "plotwick-cli: <path>: <message>", exit status 1.
class PathError : public std::runtime_error {
public:
    PathError(std::string path, const std::string& message) : std::runtime_error(message), path(std::move(path)) {}
    std::string path;
};

// GNU-style options: "--name value", "--name=value", flags without a value, "--" ends options.
struct ParsedArgs {
    std::map<std::string, std::string> values;
    std::vector<std::string> flags;
    std::vector<std::string> positional;
    bool Has(const std::string& flag) const;
    std::optional<std::string> Value(const std::string& name) const;
};

struct OptionSpec {
    std::vector<std::string> withValue;
    std::vector<std::string> flags;
};

ParsedArgs ParseArgs(const std::vector<std::string>& args, const OptionSpec& spec);
// Parses a whole decimal number within [min, max] or raises a usage error naming the option.
long ParseNumber(const std::string& option, const std::string& text, long min, long max);

struct Command {
    std::string name;
    std::string usage;  // the usage line and option help
    std::function<int(const std::vector<std::string>&)> run;
};

// Every subcommand registers itself here.
std::vector<Command>& Commands();
struct RegisterCommand {
    explicit RegisterCommand(Command c) { Commands().push_back(std::move(c)); }
};

// Draws the progress bar of a long run on standard error: done of total, in place.
void Progress(std::size_t done, std::size_t total);

// The user folder that a record at <U>/QNDraw/<kind>/<database>/<file> lies in, or empty.
std::string UserFolderOfRecord(const std::string& recordPath);
// Clears the font list and loads the font databases of a user folder into it, as the window's
// scan does. The databases are kept alive for the run. A font database that cannot be read is
// reported on standard error and the others are loaded.
void LoadUserFonts(const std::string& userFolder);

}  // namespace plotwick::cli
