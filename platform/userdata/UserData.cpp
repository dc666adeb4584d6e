#include "platform/userdata/UserData.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/files/Files.h"

namespace plotwick::userdata {

namespace {

constexpr std::int32_t kMaxID = 0x7FFFFFFF;

std::string FoldUpper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string Trim(std::string_view s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return std::string(s.substr(b, e - b));
}

// A positive decimal ID that fits 31 bits, or 0.
std::int32_t ParseID(const std::string& text)
{
    if (text.empty() || text.size() > 10)
        return 0;
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        v = v * 10 + (c - '0');
    }
    return (v > 0 && v <= kMaxID) ? static_cast<std::int32_t>(v) : 0;
}

bool IsPlainComponent(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::string LastComponent(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder above path ("/" for a folder at the root).
std::string ParentFolder(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsUserFolder(const std::string& folder) { return files::DirectoryExists(files::JoinPath(folder, "QNDraw")); }

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return {};
}

}  // namespace

std::int32_t UserIDArray::At(std::int32_t index) const
{
    const std::int64_t i = static_cast<std::int64_t>(index) - lowerBound_;
    if (i < 0 || i >= static_cast<std::int64_t>(values_.size()))
        throw std::out_of_range("user ID index out of bounds");
    return values_[static_cast<std::size_t>(i)];
}

std::int32_t DerivedUserID(const std::string& folderName)
{
    // FNV-1a over the name as the file system compares it (ASCII letters folded).
    std::uint32_t h = 2166136261u;
    for (char c : FoldUpper(folderName)) {
        h ^= static_cast<std::uint8_t>(c);
        h *= 16777619u;
    }
    const auto id = static_cast<std::int32_t>(h & static_cast<std::uint32_t>(kMaxID));
    return id == 0 ? 1 : id;
}

HotSyncFolderUserData::HotSyncFolderUserData(const std::string& baseFolder)
{
    if (baseFolder.empty() || !files::DirectoryExists(baseFolder))
        throw UserDataUnavailable("No HotSync base folder " + baseFolder);
    base_ = files::ResolvePath(baseFolder);
    while (base_.size() > 1 && base_.back() == '/')
        base_.pop_back();
    if (base_.back() != '/')
        base_ += '/';

    std::set<std::int32_t> ids;
    std::set<std::string> folders;  // case-folded
    const auto taken = [&](const std::string& folder) { return folders.count(FoldUpper(folder)) != 0; };

    // The index: fixed IDs and display names.
    const std::string index = files::ResolvePath(base_ + kIndexFileName);
    if (!index.empty() && files::FileExists(index)) {
        std::ifstream in(index, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (Trim(line).empty() || Trim(line)[0] == '#')
                continue;
            std::vector<std::string> fields;
            std::stringstream ss(line);
            for (std::string f; std::getline(ss, f, '\t');)
                fields.push_back(f);
            if (fields.size() != 3)
                continue;
            const std::int32_t id = ParseID(Trim(fields[0]));
            const std::string name = Trim(fields[1]);
            const std::string folder = Trim(fields[2]);
            if (id == 0 || ids.count(id) || !IsPlainComponent(folder) || taken(folder))
                continue;
            const std::string resolved = files::ResolvePath(base_ + folder);
            if (resolved.empty() || !files::DirectoryExists(resolved))
                continue;
            const std::string actual = LastComponent(resolved);
            ids.insert(id);
            folders.insert(FoldUpper(actual));
            users_.push_back({id, name.empty() ? actual : name, actual});
        }
    }

    // Folders dropped in without an index entry.
    for (const auto& entry : files::Enumerate(base_, "*", files::Hidden::Exclude)) {
        if (!entry.isDirectory || taken(entry.name))
            continue;
        if (!files::DirectoryExists(files::JoinPath(base_ + entry.name, "QNDraw")))
            continue;
        std::int32_t id = DerivedUserID(entry.name);
        while (ids.count(id))
            id = id == kMaxID ? 1 : id + 1;
        ids.insert(id);
        folders.insert(FoldUpper(entry.name));
        users_.push_back({id, entry.name, entry.name});
    }
}

std::unique_ptr<HotSyncFolderUserData> HotSyncFolderUserData::ForUserFolder(const std::string& userFolder)
{
    const std::string resolved = userFolder.empty() ? std::string() : files::ResolvePath(userFolder);
    const std::string name = LastComponent(resolved);
    if (resolved.empty() || !files::DirectoryExists(resolved) || !IsPlainComponent(name))
        throw UserDataUnavailable("No HotSync user folder " + userFolder);
    std::unique_ptr<HotSyncFolderUserData> provider(new HotSyncFolderUserData);
    provider->base_ = ParentFolder(resolved);
    if (provider->base_.back() != '/')
        provider->base_ += '/';
    provider->users_.push_back({DerivedUserID(name), name, name});
    return provider;
}

const HotSyncUser& HotSyncFolderUserData::Find(std::int32_t userID) const
{
    for (const auto& u : users_)
        if (u.id == userID)
            return u;
    throw UserDataError("No HotSync user with the ID " + std::to_string(userID) + ".");
}

UserIDArray HotSyncFolderUserData::QueryUserIDs()
{
    std::vector<std::int32_t> ids;
    ids.reserve(users_.size());
    for (const auto& u : users_)
        ids.push_back(u.id);
    return UserIDArray(std::move(ids), 0);
}

std::string HotSyncFolderUserData::QueryBaseFolder() { return base_; }

std::int32_t HotSyncFolderUserData::QueryUserCount() { return static_cast<std::int32_t>(users_.size()); }

std::string HotSyncFolderUserData::QueryUserFolder(std::int32_t userID) { return Find(userID).folder; }

std::string HotSyncFolderUserData::QueryUserName(std::int32_t userID) { return Find(userID).name; }

std::string DefaultBaseFolder()
{
    if (const char* base = std::getenv(kBaseFolderVariable); base && *base)
        return base;
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
        data = xdg;
    else
        data = files::JoinPath(HomeFolder(), ".local/share");
    return files::JoinPath(data, "quarnel-plotwick/HotSync");
}

FolderLocation LocateFolder(const std::string& path)
{
    FolderLocation at;
    if (path.empty())
        return at;
    std::error_code error;
    std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
    while (absolute.size() > 1 && absolute.back() == '/')
        absolute.pop_back();
    at.folder = files::ResolvePath(absolute);
    if (at.folder.empty() || !files::DirectoryExists(at.folder)) {
        at.folder = absolute;
        return at;
    }
    if (IsUserFolder(at.folder)) {
        at.kind = FolderKind::User;
        at.userFolder = at.folder;
        return at;
    }
    const std::string kindFolder = ParentFolder(at.folder);
    const std::string qnDraw = ParentFolder(kindFolder);
    const std::string kind = LastComponent(kindFolder);
    if (!qnDraw.empty() && files::NamesEqual(LastComponent(qnDraw), "QNDraw") &&
        (files::NamesEqual(kind, "DDRW") || files::NamesEqual(kind, "DLIB") || files::NamesEqual(kind, "DFNT")) &&
        files::FileExists(at.folder + ".dat")) {
        at.kind = FolderKind::Database;
        at.userFolder = ParentFolder(qnDraw);
        return at;
    }
    const std::string index = files::ResolvePath(files::JoinPath(at.folder, kIndexFileName));
    if ((!index.empty() && files::FileExists(index)) || !HotSyncFolderUserData(at.folder).Users().empty()) {
        at.kind = FolderKind::Base;
        return at;
    }
    at.kind = FolderKind::Other;
    return at;
}

std::unique_ptr<IPDUserData> CreateUserData(const std::string& folder)
{
    const std::string path = folder.empty() ? DefaultBaseFolder() : folder;
    const FolderLocation at = LocateFolder(path);
    if (at.kind == FolderKind::User || at.kind == FolderKind::Database)
        return HotSyncFolderUserData::ForUserFolder(at.userFolder);
    return std::make_unique<HotSyncFolderUserData>(path);
}

}  // namespace plotwick::userdata
