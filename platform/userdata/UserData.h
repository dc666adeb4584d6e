// The HotSync user data: who the HotSync users are and where each one's data folder lies.
//
// IPDUserData is the five operations the window needs. HotSyncFolderUserData answers them
// from a HotSync base folder on disk, or from one user folder on its own (docs/userdata.md
// describes the folders and the index).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace plotwick::userdata {

// A failing request. Every operation raises it where a failing status would end the call.
class UserDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user data cannot be had at all (no HotSync base folder).
class UserDataUnavailable : public UserDataError {
public:
    using UserDataError::UserDataError;
};

// A one-dimensional array of user IDs with its own lower bound. Callers index it from
// LowerBound() to UpperBound(); an empty array holds no element at all.
class UserIDArray {
public:
    UserIDArray() = default;
    UserIDArray(std::vector<std::int32_t> values, std::int32_t lowerBound = 0)
        : values_(std::move(values)), lowerBound_(lowerBound) {}

    bool Empty() const { return values_.empty(); }
    std::int32_t Count() const { return static_cast<std::int32_t>(values_.size()); }
    std::int32_t LowerBound() const { return lowerBound_; }
    std::int32_t UpperBound() const { return lowerBound_ + Count() - 1; }
    // The element at index (counted from LowerBound()); std::out_of_range outside the bounds.
    std::int32_t At(std::int32_t index) const;
    const std::vector<std::int32_t>& Values() const { return values_; }
    void Clear() { values_.clear(); }

    bool operator==(const UserIDArray&) const = default;

private:
    std::vector<std::int32_t> values_;
    std::int32_t lowerBound_ = 0;
};

class IPDUserData {
public:
    virtual ~IPDUserData() = default;

    virtual UserIDArray QueryUserIDs() = 0;
    // The first half of a user's data folder. QueryBaseFolder() + QueryUserFolder(id), joined
    // with nothing in between, is the user's data folder.
    virtual std::string QueryBaseFolder() = 0;
    virtual std::int32_t QueryUserCount() = 0;
    virtual std::string QueryUserFolder(std::int32_t userID) = 0;
    // Fails for an ID that names no user.
    virtual std::string QueryUserName(std::int32_t userID) = 0;
};

// One user as the folder provider found it.
struct HotSyncUser {
    std::int32_t id = 0;
    std::string name;
    std::string folder;  // the sub-folder of the base folder, one path component
};

// Reads a HotSync base folder once, when created:
// - the users listed by the index file "users.txt" (name case ignored) in the base folder, one
//   line "ID<TAB>NAME<TAB>FOLDER" each, in the index's order;
// - then every other sub-folder of the base that holds a "QNDraw" folder (case ignored), in
//   the file system's enumeration order, its ID derived from the folder name.
// Throws UserDataUnavailable when baseFolder is not an existing folder.
class HotSyncFolderUserData : public IPDUserData {
public:
    explicit HotSyncFolderUserData(const std::string& baseFolder);

    UserIDArray QueryUserIDs() override;
    std::string QueryBaseFolder() override;  // ends with "/"
    std::int32_t QueryUserCount() override;
    std::string QueryUserFolder(std::int32_t userID) override;
    std::string QueryUserName(std::int32_t userID) override;

    const std::vector<HotSyncUser>& Users() const { return users_; }

    // One user folder as the only user, named after its folder; its parent is the base.
    // Throws UserDataUnavailable when userFolder is not an existing folder.
    static std::unique_ptr<HotSyncFolderUserData> ForUserFolder(const std::string& userFolder);

private:
    HotSyncFolderUserData() = default;
    const HotSyncUser& Find(std::int32_t userID) const;

    std::string base_;
    std::vector<HotSyncUser> users_;
};

inline constexpr const char* kBaseFolderVariable = "PLOTWICK_HOTSYNC_BASE";
inline constexpr const char* kIndexFileName = "users.txt";

// The base folder the program reads: $PLOTWICK_HOTSYNC_BASE when set and not empty, else
// $XDG_DATA_HOME/quarnel-plotwick/HotSync (with ~/.local/share when XDG_DATA_HOME is unset or
// not absolute).
std::string DefaultBaseFolder();

// What a folder named by the user holds.
enum class FolderKind {
    Missing,   // no such folder
    Other,     // a folder with none of the three below in it
    Base,      // a HotSync base folder: an index file, or a sub-folder that is a user folder
    User,      // a user folder: it holds "QNDraw" (any letter case)
    Database,  // a database folder: <user folder>/QNDraw/<DDRW|DLIB|DFNT>/<name>, with the
               // header <name>.dat beside it
};

struct FolderLocation {
    FolderKind kind = FolderKind::Missing;
    std::string folder;      // the folder, absolute, as the file system spells it
    std::string userFolder;  // User and Database: the user folder
};

FolderLocation LocateFolder(const std::string& path);

// The provider for folder, or for DefaultBaseFolder() when folder is empty: a user folder (or
// the user folder of a database folder) is a user of its own; any other folder is read as a
// base folder. Throws UserDataUnavailable when there is no such folder.
std::unique_ptr<IPDUserData> CreateUserData(const std::string& folder = {});

// The ID a user folder without an index entry gets: a 31-bit hash of its case-folded name,
// never 0. HotSyncFolderUserData steps past IDs already taken.
std::int32_t DerivedUserID(const std::string& folderName);

}  // namespace plotwick::userdata
