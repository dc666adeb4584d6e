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
// file is opened, and the open never blocks: a FIFO, a device or a socket gives -1.
int OpenReadOnly(const std::string& path);

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
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size);

}  // namespace plotwick::files
