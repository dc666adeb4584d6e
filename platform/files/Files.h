// The file system with the original platform's semantics: names compared without regard to
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
// empty list.
std::vector<DirEntry> Enumerate(const std::string& folder, std::string_view pattern, Hidden hidden,
                                DotEntries dots = DotEntries::Exclude);

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
// Returns a file descriptor, or -1. Resolves the name without regard to case.
int OpenReadOnly(const std::string& path);

// Joins a folder and a name with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Writes data to a temporary file in the target's folder and renames it over the target only
// when it is complete, so that a failed write leaves an existing file as it was. Throws
// std::runtime_error with "Cannot create file <name>" or "Stream write error".
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size);

}  // namespace plotwick::files
