// album: a database as one vector PDF, a page per drawing or a contact sheet of several.
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/Cli.h"
#include "export/Album.h"
#include "export/Export.h"
#include "model/DrawDB.h"
#include "platform/files/Files.h"

namespace plotwick::cli {
namespace {

int RunAlbum(const std::vector<std::string>& args)
{
    const ParsedArgs a = ParseArgs(args, {{"sheet", "page", "user-folder"}, {"landscape", "substitute-font"}});
    if (a.positional.size() != 2)
        throw UsageError("album takes a database folder and an output file");
    std::string folder = a.positional[0];
    const std::string& output = a.positional[1];
    if (ExportFormatOfPath(output) != ExportFormat::Pdf)
        throw UsageError("the album is a PDF file: " + output + " does not end in .pdf");
    PageSetup setup;
    if (auto v = a.Value("page")) {
        const auto page = ParsePageSize(*v);
        if (!page)
            throw UsageError("--page takes a4, letter or WIDTHxHEIGHTmm (10 to 5000 mm)");
        setup.paper = *page;
    }
    if (auto v = a.Value("sheet")) {
        const auto sheet = ParseSheetLayout(*v);
        if (!sheet)
            throw UsageError("--sheet takes COLSxROWS, each from 1 to " + std::to_string(kLargestSheetSide));
        setup.sheet = *sheet;
    }
    setup.landscape = a.Has("landscape");
    const RenderOptions options{a.Has("substitute-font") ? "Arial" : ""};

    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (!files::DirectoryExists(folder))
        throw PathError(folder, "No such folder.");
    TDrawDB db;
    db.FPath = folder;
    db.FName = folder.substr(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/') + 1);
    const std::string user = a.Value("user-folder").value_or(UserFolderOfRecord(folder + "/record.dat"));
    if (!user.empty())
        LoadUserFonts(user);

    const bool showProgress = ::isatty(STDERR_FILENO);
    PagesReport report;
    try {
        report = WriteAlbum(db, setup, options, output, showProgress ? PageProgress(Progress) : PageProgress());
    } catch (const OutputError& e) {
        throw PathError(output, e.what());
    }
    if (showProgress)
        std::fputs("\n", stderr);
    for (const PageProblem& p : report.problems)
        std::cerr << "plotwick-cli: " << p.path << ": " << p.message << "\n";
    if (report.drawings == 0)
        throw PathError(folder, "No drawing of the database could be read; nothing was written.");
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::cout << count(static_cast<std::size_t>(report.drawings), "drawing", "drawings") << " on "
              << count(static_cast<std::size_t>(report.pages), "page", "pages") << ", " << report.problems.size()
              << " left out\n";
    return report.problems.empty() ? kExitOk : kExitDataError;
}

const RegisterCommand albumCommand({"album", "album [options] DBFOLDER OUT.pdf\n"
    "  Writes every drawing of one database folder, in the order of its list, as one vector PDF:\n"
    "  each drawing fitted to its page with its name as caption, a bookmark per drawing.\n"
    "  Damaged records are reported and left out (exit status 1).\n"
    "  --sheet COLSxROWS    a contact sheet: COLS drawings across, ROWS down, on each page\n"
    "  --page SIZE          a4 (default), letter or WIDTHxHEIGHTmm\n"
    "  --landscape          the longer side of the page across\n"
    "  --substitute-font    texts in the substitute face\n"
    "  --user-folder DIR    the HotSync user folder whose fonts are loaded first\n"
    "                       (default: the one the database lies in)", RunAlbum});

}  // namespace
}  // namespace plotwick::cli
