// export and export-all.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <set>

#include "cli/Cli.h"
#include "cli/Export.h"
#include "export/OutputNames.h"
#include "cli/Report.h"
#include "export/Workers.h"
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
    if (a.Value("jobs"))
        throw UsageError("export writes one file; --jobs is for export-all");
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

// The number of records exported at once: --jobs, by default one per processor.
unsigned JobsOf(const ParsedArgs& a)
{
    if (auto v = a.Value("jobs"))
        return static_cast<unsigned>(ParseNumber("jobs", *v, 1, 1024));
    return ProcessorCount();
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

    const bool showProgress = ::isatty(STDERR_FILENO);
    std::size_t exported = 0, failedCount = 0;
    const auto fail = [&](const std::string& path, const std::string& message) {
        if (showProgress)
            std::fputs("\r\033[K", stderr);
        ReportError(path, message);
        ++failedCount;
    };

    // A header that cannot be read, or a folder that cannot be listed, is reported and
    // counted as one failed record; the rest of the scan goes on.
    std::vector<ExportEntry> entries;
    std::vector<std::string> records;
    for (DbKind kind : {kDrawings, kLibrary}) {
        ScanFolderReporting(KindFolder(user, kind), kind, [&](std::unique_ptr<TDrawDB> db) {
            int error = 0;
            const auto listed =
                files::Enumerate(db->FPath, "*.dat", files::Hidden::Include, files::DotEntries::Exclude, &error);
            if (error != 0)
                fail(db->FPath, std::strerror(error));
            for (const auto& entry : listed) {
                if (entry.isDirectory)
                    continue;
                entries.push_back({kind, db->FName, entry.name});
                records.push_back(files::JoinPath(db->FPath, entry.name));
            }
        }, fail);
    }
    const std::vector<OutputName> names = ExportOutputNames(entries, format);
    LoadUserFonts(user);

    // Each record is exported by a worker with a context of its own; the outcomes are taken
    // in the records' order, so that the errors, the progress and the count read as one
    // worker's would.
    struct Outcome {
        std::string failedPath, message;  // empty path: exported
    };
    // What each output folder holds already, listed once: a file not there is written as a new
    // one, without a lookup of its name that would wait for the other workers' files.
    // The folders are made here too; one that cannot be made is tried again by each of its
    // records, which report why.
    struct OutputFolder {
        std::set<std::string> files;
        bool made = false;
    };
    std::map<std::string, OutputFolder> existing;
    for (const OutputName& name : names)
        if (auto [at, added] = existing.try_emplace(name.folder); added) {
            const std::string folder = files::JoinPath(outDir, name.folder);
            for (const auto& entry : files::Enumerate(folder, "*", files::Hidden::Include))
                at->second.files.insert(entry.name);
            std::error_code error;
            std::filesystem::create_directories(folder, error);
            at->second.made = !error;
        }
    const std::function<Outcome(std::size_t)> exportOne = [&](std::size_t i) -> Outcome {
        const std::string folder = files::JoinPath(outDir, names[i].folder);
        const std::string output = files::JoinPath(folder, names[i].file);
        const OutputFolder& known = existing.at(names[i].folder);
        const bool isNew = !known.files.contains(names[i].file);
        try {
            if (!known.made)
                std::filesystem::create_directories(folder);
            ExportRecord(records[i], output, format, options, isNew ? files::Target::New : files::Target::Unknown);
            return {};
        } catch (const PathError& e) {
            return {e.path, e.what()};
        } catch (const std::exception& e) {
            return {output, e.what()};
        }
    };
    const std::function<void(std::size_t, Outcome&)> take = [&](std::size_t i, Outcome& o) {
        if (o.failedPath.empty())
            ++exported;
        else
            fail(o.failedPath, o.message);
        if (showProgress && i + 1 < entries.size())
            Progress(i + 1, entries.size());
    };
    if (showProgress && !entries.empty())
        Progress(0, entries.size());
    const std::size_t count = entries.size();
    const unsigned jobs = static_cast<unsigned>(std::min<std::size_t>(JobsOf(a), std::max<std::size_t>(count, 1)));
    if (jobs == 1) {
        RunInOrder<Outcome>(nullptr, count, exportOne, take);
    } else {
        // Workers take runs of consecutive records, so that a small record costs no hand-over
        // between threads of its own; runs stay short enough (at least 32 a worker) that the
        // workers finish together, and results may run far ahead of a slow record.
        const std::size_t run = std::clamp<std::size_t>(count / (jobs * 32u), 1, 16);
        const std::size_t runs = (count + run - 1) / run;
        Workers workers(jobs);
        RunInOrder<std::vector<Outcome>>(
            &workers, runs,
            [&](std::size_t r) {
                std::vector<Outcome> out;
                for (std::size_t i = r * run; i < std::min(count, (r + 1) * run); ++i)
                    out.push_back(exportOne(i));
                return out;
            },
            [&](std::size_t r, std::vector<Outcome>& out) {
                for (std::size_t k = 0; k < out.size(); ++k)
                    take(r * run + k, out[k]);
            },
            64u * jobs);
    }
    if (showProgress) {
        Progress(entries.size(), entries.size());
        std::fputs("\n", stderr);
    }
    std::cout << exported << " exported, " << failedCount << " failed\n";
    return failedCount ? kExitDataError : kExitOk;
}

const RegisterCommand exportCommand({"export", std::string("export [options] RECORD OUTPUT\n"
    "  Exports one record file; OUTPUT's extension chooses the format.\n") + kExportOptionHelp, RunExport});
const RegisterCommand exportAllCommand({"export-all", std::string("export-all [options] USERFOLDER OUTDIR\n"
    "  Exports every record of every drawing and library database into\n"
    "  OUTDIR/<database>/<record file name less .dat>.<format>. Names are compared\n"
    "  without regard to case; where two would be the same, the later one (drawings\n"
    "  come before libraries, records in listing order) is told apart: a database\n"
    "  folder by its kind, <database>~drawings or <database>~library, a record by a\n"
    "  number, <name>~2, <name>~3, ... So every record has a file of its own, and the\n"
    "  count of exported records is the number of files written. A damaged header or a\n"
    "  folder that cannot be listed is reported, counted as one failed record, and the\n"
    "  rest are exported.\n"
    "  --format FORMAT      one of the export extensions without the dot (default svg)\n"
    "  --jobs N             records exported at once (default: one per processor); the\n"
    "                       files, the messages and their order are the same for any N\n") + kExportOptionHelp,
    RunExportAll});

}  // namespace
}  // namespace plotwick::cli
