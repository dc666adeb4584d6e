#include "cli/Cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/Report.h"
#include "model/DatabaseScan.h"
#include "platform/files/Files.h"
#include "text/VFont.h"

namespace plotwick::cli {

bool ParsedArgs::Has(const std::string& flag) const
{
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::optional<std::string> ParsedArgs::Value(const std::string& name) const
{
    const auto it = values.find(name);
    if (it == values.end())
        return std::nullopt;
    return it->second;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, const OptionSpec& spec)
{
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            parsed.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = a.substr(2);
        std::optional<std::string> value;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const bool takesValue = std::find(spec.withValue.begin(), spec.withValue.end(), name) != spec.withValue.end();
        const bool isFlag = std::find(spec.flags.begin(), spec.flags.end(), name) != spec.flags.end();
        if (takesValue) {
            if (!value) {
                if (i + 1 >= args.size())
                    throw UsageError("option --" + name + " needs a value");
                value = args[++i];
            }
            parsed.values[name] = *value;
        } else if (isFlag) {
            if (value)
                throw UsageError("option --" + name + " takes no value");
            parsed.flags.push_back(name);
        } else {
            throw UsageError("unknown option --" + name);
        }
    }
    return parsed;
}

long ParseNumber(const std::string& option, const std::string& text, long min, long max)
{
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < min || v > max)
        throw UsageError("--" + option + " takes a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max));
    return v;
}

void Progress(std::size_t done, std::size_t total)
{
    constexpr int width = 40;
    const int filled = total ? static_cast<int>(width * done / total) : width;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(width - filled), ' ').c_str(), done, total);
    std::fflush(stderr);
}

std::vector<Command>& Commands()
{
    static std::vector<Command> commands;
    return commands;
}

std::string UserFolderOfRecord(const std::string& recordPath)
{
    // <U>/QNDraw/<kind folder>/<database>/<file>
    std::vector<std::string> parts;
    std::string current;
    for (char c : recordPath) {
        if (c == '/') {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    parts.push_back(current);
    if (parts.size() < 5)
        return {};
    const std::size_t n = parts.size();
    if (!files::NamesEqual(parts[n - 4], "QNDraw"))
        return {};
    const std::string& kind = parts[n - 3];
    if (!files::NamesEqual(kind, "DDRW") && !files::NamesEqual(kind, "DLIB") && !files::NamesEqual(kind, "DFNT"))
        return {};
    std::string user;
    for (std::size_t i = 0; i + 4 < n; ++i) {
        if (i > 0)
            user += "/";
        user += parts[i];
    }
    return user.empty() && recordPath[0] == '/' ? "/" : user;
}

void LoadUserFonts(const std::string& userFolder)
{
    static std::vector<std::unique_ptr<TDrawDB>> fontDatabases;
    FontList.Clear();
    fontDatabases.clear();
    // A font database whose header cannot be read is reported and left out; the others load.
    ScanFolderReporting(KindFolder(userFolder, kFonts), kFonts, [](std::unique_ptr<TDrawDB> db) {
        FontList.AddFontDatabase(db.get());
        fontDatabases.push_back(std::move(db));
    }, ReportError);
}

}  // namespace plotwick::cli
