// export and export-all.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "cli/Cli.h"
#include "cli/Export.h"
#include "model/BParser.h"
#include "model/DatabaseScan.h"
#include "platform/files/Files.h"

namespace plotwick::cli {
namespace {

std::string SupportedList()
{
    std::string list;
    for (const auto& f : ExportFormats())
        list += (list.empty() ? "." : ", .") + f;
    return list;
}

int RunExport(const std::vector<std::string>& args)
{
    const ParsedArgs a = ParseArgs(args, ExportOptionSpec());
    if (a.Value("format"))
        throw UsageError("export takes the format from OUTPUT's extension; --format is for export-all");
    if (a.positional.size() != 2)
        throw UsageError("export takes a record file and an output file");
    const std::string& record = a.positional[0];
    const std::string& output = a.positional[1];
    const std::string format = ExportFormatOf(output);
    if (format.empty())
        throw UsageError("cannot tell the format of " + output + "; the extensions are " + SupportedList());
    const ExportOptions options = ReadExportOptions(a);
    const std::string user = a.Value("user-folder").value_or(UserFolderOfRecord(record));
    if (!user.empty())
        LoadUserFonts(user);
    ExportRecord(record, output, format, options);
    return kExitOk;
}

int RunExportAll(const std::vector<std::string>& args)
{
    const ParsedArgs a = ParseArgs(args, ExportOptionSpec());
    if (a.positional.size() != 2)
        throw UsageError("export-all takes a user folder and an output folder");
    const std::string& user = a.positional[0];
    const std::string& outDir = a.positional[1];
    std::string format = a.Value("format").value_or("svg");
    if (ExportFormatOf("x." + format).empty())
        throw UsageError("--format takes one of " + SupportedList());
    format = ExportFormatOf("x." + format);
    const ExportOptions options = ReadExportOptions(a);
    if (!files::DirectoryExists(user))
        throw PathError(user, "No such folder.");

    struct Job {
        std::string record, output, folder;
    };
    std::vector<Job> jobs;
    for (DbKind kind : {kDrawings, kLibrary}) {
        std::string failed;
        try {
            ScanFolder(KindFolder(user, kind), kind, [&](std::unique_ptr<TDrawDB> db) {
                const std::string folder = files::JoinPath(outDir, db->FName);
                for (const auto& entry : files::Enumerate(db->FPath, "*.dat", files::Hidden::Include)) {
                    if (entry.isDirectory)
                        continue;
                    const std::string stem = entry.name.substr(0, entry.name.size() - 4);
                    jobs.push_back({files::JoinPath(db->FPath, entry.name),
                                    files::JoinPath(folder, stem + "." + format), folder});
                }
            }, &failed);
        } catch (const EBParseException& e) {
            throw PathError(failed + ".dat", e.what());
        }
    }
    LoadUserFonts(user);
    const bool showProgress = ::isatty(STDERR_FILENO);
    std::size_t exported = 0, failedCount = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (showProgress)
            Progress(i, jobs.size());
        try {
            std::filesystem::create_directories(jobs[i].folder);
            ExportRecord(jobs[i].record, jobs[i].output, format, options);
            ++exported;
        } catch (const PathError& e) {
            if (showProgress)
                std::fputs("\r\033[K", stderr);
            std::cerr << "plotwick-cli: " << e.path << ": " << e.what() << "\n";
            ++failedCount;
        } catch (const std::exception& e) {
            if (showProgress)
                std::fputs("\r\033[K", stderr);
            std::cerr << "plotwick-cli: " << jobs[i].output << ": " << e.what() << "\n";
            ++failedCount;
        }
    }
    if (showProgress) {
        Progress(jobs.size(), jobs.size());
        std::fputs("\n", stderr);
    }
    std::cout << exported << " exported, " << failedCount << " failed\n";
    return failedCount ? kExitDataError : kExitOk;
}

const RegisterCommand exportCommand({"export", std::string("export [options] RECORD OUTPUT\n"
    "  Exports one record file; OUTPUT's extension chooses the format.\n") + kExportOptionHelp, RunExport});
const RegisterCommand exportAllCommand({"export-all", std::string("export-all [options] USERFOLDER OUTDIR\n"
    "  Exports every record of every drawing and library database into\n"
    "  OUTDIR/<database>/<record file name less .dat>.<format>.\n"
    "  --format FORMAT      one of the export extensions without the dot (default svg)\n") + kExportOptionHelp,
    RunExportAll});

}  // namespace
}  // namespace plotwick::cli
