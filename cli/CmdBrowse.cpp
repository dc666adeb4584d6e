// databases, drawings, shapes: what a user folder, a database and a record hold.
#include <cstring>
#include <iostream>
#include <memory>
#include <unistd.h>

#include "cli/Cli.h"
#include "cli/Report.h"
#include "model/BParser.h"
#include "model/DatabaseScan.h"
#include "model/Drawing.h"
#include "platform/files/Files.h"
#include "svg/SvgNumbers.h"
#include "text/VFont.h"
#include "text/VPathText.h"

namespace plotwick::cli {
namespace {

const char* KindName(int kind)
{
    static const char* names[3] = {"drawings", "library", "fonts"};
    return names[kind];
}

int RunDatabases(const std::vector<std::string>& args)
{
    const ParsedArgs a = ParseArgs(args, {});
    if (a.positional.size() != 1)
        throw UsageError("databases takes one user folder");
    const std::string& user = a.positional[0];
    if (!files::DirectoryExists(user))
        throw PathError(user, "No such folder.");
    // A database whose header cannot be read, or a scan folder that cannot be listed, is
    // reported and the scan goes on.
    int status = kExitOk;
    for (DbKind kind : {kDrawings, kLibrary, kFonts}) {
        ScanFolderReporting(KindFolder(user, kind), kind, [](std::unique_ptr<TDrawDB> db) {
            std::cout << KindName(db->FKind) << '\t' << EscapeField(db->FName) << '\n';
        }, [&status](const std::string& path, const std::string& message) {
            std::cout.flush();
            ReportError(path, message);
            status = kExitDataError;
        });
    }
    return status;
}

std::pair<std::string, std::string> SplitRecordPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

int RunDrawings(const std::vector<std::string>& args)
{
    const ParsedArgs a = ParseArgs(args, {});
    if (a.positional.size() != 1)
        throw UsageError("drawings takes one database folder");
    TDrawDB db;
    db.FPath = a.positional[0];
    if (!files::DirectoryExists(db.FPath))
        throw PathError(db.FPath, "No such folder.");
    int error = 0;
    const auto entries = files::Enumerate(db.FPath, "*.dat", files::Hidden::Include, files::DotEntries::Exclude, &error);
    if (error != 0)
        throw PathError(db.FPath, std::strerror(error));
    // A record that cannot be opened (unreadable, or not a regular file) is reported and left out.
    int status = kExitOk;
    for (const auto& entry : entries) {
        if (entry.isDirectory)
            continue;
        const std::string path = files::JoinPath(db.FPath, entry.name);
        const int fd = files::OpenReadOnly(path);
        if (fd < 0) {
            std::cout.flush();
            ReportError(path, kFileNotOpen);
            status = kExitDataError;
            continue;
        }
        ::close(fd);
        TDrawing drawing(&db, entry.name);
        std::cout << EscapeField(entry.name) << '\t' << EscapeField(drawing.FName) << '\n';
    }
    return status;
}

std::string ColorText(const std::optional<VColor>& c)
{
    if (!c)
        return "none";
    static const char* hex = "0123456789ABCDEF";
    std::string s = "#";
    for (int shift : {0, 8, 16}) {
        const unsigned byte = (c->Color >> shift) & 0xFF;
        s += hex[byte >> 4];
        s += hex[byte & 15];
    }
    return s;
}

// The listing is built in one string and written at once: a large drawing has hundreds of
// thousands of lines.
void DumpInstruction(std::string& out, const PathInstr& i)
{
    const auto n = [&out](float v) {
        out += ' ';
        out += FormatPathNumber(v);
    };
    switch (i.Kind) {
    case 'M':
    case 'L':
        out += static_cast<char>(i.Kind);
        n(i.X);
        n(i.Y);
        break;
    case 'C':
        out += 'C';
        n(i.C1X);
        n(i.C1Y);
        n(i.C2X);
        n(i.C2Y);
        n(i.X);
        n(i.Y);
        break;
    case 'S':
        out += 'S';
        n(i.C2X);
        n(i.C2Y);
        n(i.X);
        n(i.Y);
        break;
    case 'z':
        out += 'z';
        break;
    default: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "?%02X", i.Kind);
        out += buf;
        break;
    }
    }
}

void DumpShape(std::string& out, const VPath& shape, int level)
{
    const std::size_t indent = static_cast<std::size_t>(level) * 2;
    if (const auto* text = dynamic_cast<const VPathText*>(&shape)) {
        out.append(indent, ' ');
        out += "text font=";
        out += EscapeField(text->FFontName);
        out += " size=";
        out += std::to_string(text->FFontSize);
        out += " text=";
        out += EscapeField(text->FText);
        out += '\n';
    } else if (shape.IsGroup()) {
        out.append(indent, ' ');
        out += "group\n";
    } else {
        out.append(indent, ' ');
        out += "path fill=";
        out += ColorText(shape.FFill);
        out += " stroke=";
        out += ColorText(shape.FStroke);
        out += " glyph=";
        out += shape.FIsGlyph ? '1' : '0';
        out += '\n';
        for (const PathInstr& i : shape.FInstructions) {
            out.append(indent + 2, ' ');
            DumpInstruction(out, i);
            out += '\n';
        }
        return;
    }
    for (const auto& child : static_cast<const VPathGroup&>(shape).FChildren)
        if (child)
            DumpShape(out, *child, level + 1);
}

int RunShapes(const std::vector<std::string>& args)
{
    const ParsedArgs a = ParseArgs(args, {{"user-folder"}, {"normalise"}});
    if (a.positional.size() != 1)
        throw UsageError("shapes takes one record file");
    const std::string& record = a.positional[0];
    const std::string user = a.Value("user-folder").value_or(UserFolderOfRecord(record));
    if (!user.empty())
        LoadUserFonts(user);
    const auto [folder, file] = SplitRecordPath(record);
    TDrawDB db;
    db.FPath = folder;
    TDrawing drawing(&db, file);
    try {
        drawing.LoadShapes(a.Has("normalise"));
    } catch (const EBParseException& e) {
        throw PathError(record, e.what());
    }
    std::string out = EscapeField(drawing.FName) + '\n';
    for (const auto& shape : drawing.FShapes)
        if (shape)
            DumpShape(out, *shape, 0);
    const IntRect r = drawing.GetBounds();
    out += "bounds\t" + std::to_string(r.left) + '\t' + std::to_string(r.top) + '\t' + std::to_string(r.right) +
           '\t' + std::to_string(r.bottom) + '\n';
    out += "offset\t" + FormatPathNumber(drawing.FOffsetX) + '\t' + FormatPathNumber(drawing.FOffsetY) + '\n';
    std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
    return kExitOk;
}

const RegisterCommand databasesCommand({"databases", "databases USERFOLDER\n"
    "  Lists every accepted database of a HotSync user folder in scan order:\n"
    "  KIND<TAB>NAME, KIND one of drawings, library, fonts. A database whose header\n"
    "  cannot be read is reported and the rest are listed (exit status 1).", RunDatabases});
const RegisterCommand drawingsCommand({"drawings", "drawings DBFOLDER\n"
    "  Lists the records of one database folder: FILE<TAB>NAME. A record that cannot be\n"
    "  opened (unreadable, or not a regular file) is reported and the rest are listed\n"
    "  (exit status 1).", RunDrawings});
const RegisterCommand shapesCommand({"shapes", "shapes [--normalise] [--user-folder DIR] RECORD\n"
    "  Loads one record file and prints its name, its shape tree, its bounds and offsets.\n"
    "  --normalise         move the drawing so that its bounding box starts at (0, 0)\n"
    "  --user-folder DIR   the HotSync user folder whose fonts are loaded first\n"
    "                      (default: the one the record lies in)", RunShapes});

}  // namespace
}  // namespace plotwick::cli
