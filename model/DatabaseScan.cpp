#include "model/DatabaseScan.h"

#include <cstring>
#include <exception>

#include "platform/files/Files.h"

namespace plotwick {

std::string KindFolder(const std::string& userFolder, DbKind kind)
{
    static const char* names[3] = {"QNDraw/DDRW", "QNDraw/DLIB", "QNDraw/DFNT"};
    return files::JoinPath(userFolder, names[kind]);
}

std::unique_ptr<TDrawDB> AddDatabase(const std::string& folder, const std::string& name, DbKind kind)
{
    if (name == "." || name == "..")
        return nullptr;
    if (name.size() > 4 && files::NamesEqual(std::string_view(name).substr(name.size() - 4), ".dat"))
        return nullptr;
    auto db = std::make_unique<TDrawDB>();
    db->FName = name;
    db->FPath = files::JoinPath(folder, name);
    db->FKind = kind;
    db->ReadHeader();
    if (db->FVersion != 1.0f)
        return nullptr;
    return db;
}

void ScanFolder(const std::string& folder, DbKind kind, const DatabaseSink& sink, std::string* failedEntry)
{
    for (const auto& entry : files::Enumerate(folder, "*.*", files::Hidden::Exclude, files::DotEntries::Include)) {
        if (failedEntry)
            *failedEntry = files::JoinPath(folder, entry.name);
        if (auto db = AddDatabase(folder, entry.name, kind))
            sink(std::move(db));
    }
    if (failedEntry)
        failedEntry->clear();
}

void ScanFolderReporting(const std::string& folder, DbKind kind, const DatabaseSink& sink,
                         const ScanErrorSink& onError)
{
    int error = 0;
    const auto entries = files::Enumerate(folder, "*.*", files::Hidden::Exclude, files::DotEntries::Include, &error);
    if (error != 0)
        onError(folder, std::strerror(error));
    for (const auto& entry : entries) {
        std::unique_ptr<TDrawDB> db;
        try {
            db = AddDatabase(folder, entry.name, kind);
        } catch (const std::exception& e) {
            onError(files::JoinPath(folder, entry.name) + ".dat", e.what());
            continue;
        }
        if (db)
            sink(std::move(db));
    }
}

void ScanUserFolder(const std::string& userFolder, const DatabaseSink& sink)
{
    for (DbKind kind : {kDrawings, kLibrary, kFonts})
        ScanFolder(KindFolder(userFolder, kind), kind, sink);
}

}  // namespace plotwick
