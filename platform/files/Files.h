// The file system with Windows semantics: names compared without regard to
// case where it would, names starting with "." hidden, every enumeration in ascending
// case-folded (upper-case) name order, files opened read-only without locking.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plotwick::files {

struct DirEntry {
    std::string name;
    bool isDirectory = false;
    bool isHidden = false;  // the name starts with "."
    bool isFile = false;    // listed as a plain file (not a link to one): no need to look again
};

enum class Hidden { Exclude, Include };
enum class DotEntries { Exclude, Include };

// Entries of folder whose names match pattern ("*" and "?" wildcards, letters compared without
// regard to case; "*.*" matches every name). Sorted by CompareNames. A missing folder gives an
// empty list. A folder that exists but cannot be listed gives an empty list too, and its errno
// in *error when error is given (0 otherwise).
std::vector<DirEntry> Enumerate(const std::string& folder, std::string_view pattern, Hidden hidden,
                                DotEntries dots = DotEntries::Exclude, int* error = nullptr);

// Orders names as the original file system lists them: byte-wise after upper-casing ASCII letters.
int CompareNames(std::string_view a, std::string_view b);
bool NamesEqual(std::string_view a, std::string_view b);
bool WildcardMatch(std::string_view pattern, std::string_view name);

// The path of an existing entry whose name matches path without regard to case, component by
// component; the exact path is preferred. Empty when there is none.
std::string ResolvePath(const std::string& path);
bool FileExists(const std::string& path);       // a plain file, name case ignored
bool DirectoryExists(const std::string& path);  // name case ignored

// Read-only open that takes no lock (other programs may read and write the file meanwhile).
// Returns a file descriptor, or -1. Resolves the name without regard to case. Only a regular
// file is opened, and the open never blocks: a FIFO, a device or a socket gives -1. Where size
// is given it receives the file's size as the open found it.
int OpenReadOnly(const std::string& path, std::int64_t* size = nullptr);

// A folder held open, so that the files in it are opened by name without walking its path
// again for each (a font's glyph files, read one after another).
class Folder {
public:
    // Resolves the path without regard to case; not open when there is no such folder.
    explicit Folder(const std::string& path);
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Reads up to size bytes from the start of the plain file `name` in the folder: the count
    // read (0 for an empty file or one that cannot be read), or -1 when there is no plain file
    // of that name. As OpenReadOnly, it takes no lock and never opens a FIFO, a device or a socket.
    long ReadStart(const std::string& name, void* data, std::size_t size) const
    {
        return ReadStart(name, data, size, false);
    }
    // The same for an entry of the folder's listing; one the listing gave as a plain file is
    // opened without looking at it first.
    long ReadStart(const DirEntry& entry, void* data, std::size_t size) const
    {
        return ReadStart(entry.name, data, size, entry.isFile);
    }

    // Whether `name` in the folder is a plain file (or a link to one).
    bool HasPlainFile(const std::string& name) const;
    // Opens the plain file `name` in the folder for reading, as OpenReadOnly opens a path: a
    // file descriptor, or -1 (and its size, where size is given).
    int Open(const std::string& name, std::int64_t* size = nullptr) const;

private:
    long ReadStart(const std::string& name, void* data, std::size_t size, bool listedAsFile) const;

    int fd_ = -1;
};

// Joins a folder and a name with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Writes data to a temporary file in the target's folder and renames it over the target only
// when it is complete, so that a failed write leaves an existing file as it was. A symbolic
// link is written through: the file it points to is replaced, in that file's folder, and the
// link stays. An existing file that may not be written (no write permission) is refused with
// "Cannot open file <name>" and left. A writable file in a folder where no temporary file can
// be made is rewritten in place, its new length reserved first so that a full disk fails
// before the old content changes. Throws std::runtime_error with "Cannot create file <name>",
// "Cannot open file <name>" or "Stream write error".
// A caller that has just listed the folder and found no entry of the name says Target::New:
// the file is then linked under its name without looking the name up first (a lookup of a new
// name waits while another thread adds a file to the folder), and if an entry of that name has
// appeared meanwhile, it is treated as above.
enum class Target { Unknown, New };
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         Target expected = Target::Unknown);

}  // namespace plotwick::files
