#include "model/DatabaseScan.h"

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

void ScanUserFolder(const std::string& userFolder, const DatabaseSink& sink)
{
    for (DbKind kind : {kDrawings, kLibrary, kFonts})
        ScanFolder(KindFolder(userFolder, kind), kind, sink);
}

}  // namespace plotwick
