// Discovery of the databases of a HotSync user folder, shared by the window and the
// command-line tool.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "model/DrawDB.h"

namespace plotwick {

// The scan folder of a kind below the user folder: "QNDraw/DDRW", "QNDraw/DLIB", "QNDraw/DFNT".
std::string KindFolder(const std::string& userFolder, DbKind kind);

// The database for one folder entry, or none when the entry is ".", "..", ends in ".dat"
// (ignoring case), or has no header of version 1.0. A header too short raises
// "Incorrect data format.".
std::unique_ptr<TDrawDB> AddDatabase(const std::string& folder, const std::string& name, DbKind kind);

using DatabaseSink = std::function<void(std::unique_ptr<TDrawDB>)>;

// Every accepted database of one scan folder, in enumeration order (hidden entries are never
// listed). A missing folder gives none. An exception ends the scan at that entry; the databases
// handed over before it stay with the sink. When failedEntry is given, it receives the path of
// the entry being read when an exception left.
void ScanFolder(const std::string& folder, DbKind kind, const DatabaseSink& sink,
                std::string* failedEntry = nullptr);

// What a scan that goes on past failures reports: the path (a header file, or a scan folder
// that cannot be listed) and the error's text.
using ScanErrorSink = std::function<void(const std::string& path, const std::string& message)>;

// As ScanFolder, but an entry whose header cannot be read is handed to onError with its
// header file's path and the scan goes on; so is a scan folder that exists but cannot be
// listed.
void ScanFolderReporting(const std::string& folder, DbKind kind, const DatabaseSink& sink,
                         const ScanErrorSink& onError);

// The three scan folders in the order drawings, library, fonts.
void ScanUserFolder(const std::string& userFolder, const DatabaseSink& sink);

}  // namespace plotwick
