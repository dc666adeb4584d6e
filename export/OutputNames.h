// The file names export-all gives the records of a user folder: OUTDIR/<database>/<record file
// name less .dat>.<format>, made unique when names would clash. Names are compared without
// regard to the case of ASCII letters, so that the files stay apart on a folder that ignores
// case too. Entries are taken in the order given (drawings, then libraries, each in listing
// order), and the first to claim a name keeps it:
//  - a database folder name taken by an earlier database gets its kind appended,
//    "<name>~drawings" or "<name>~library";
//  - a record stem taken by an earlier record of the same database folder gets "~2", "~3", ...
//    (the lowest number not yet taken).
// A name that is still taken after its kind was appended gets a number as a record stem does.
// No generated name ever takes a name another entry has by itself.
// Pure: no file system access, so that any exporter can share it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace plotwick {

struct ExportEntry {
    int kind = 0;          // 0 drawings, 1 library
    std::string database;  // the database folder's name
    std::string record;    // the record file's name, with its ".dat"
};

struct OutputName {
    std::string folder;  // the folder below OUTDIR
    std::string file;    // the file name in it, with ".<format>"
};

std::vector<OutputName> ExportOutputNames(const std::vector<ExportEntry>& entries, const std::string& format);

// A drawing's name (UTF-8) as a file name to propose: '/' and control characters become '_',
// a name of only dots or spaces or an empty one becomes "Drawing", and the result is cut to at
// most maxBytes bytes (never inside a character), room left for an extension.
std::string SafeFileName(const std::string& name, std::size_t maxBytes = 200);

}  // namespace plotwick
