#include "platform/files/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>

namespace plotwick::files {

namespace {

char FoldUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StatPath(const std::string& path, struct stat& st)
{
    return ::stat(path.c_str(), &st) == 0;
}

// The entry of folder whose name equals name without regard to case, exact match preferred.
std::string FindEntry(const std::string& folder, const std::string& name)
{
    struct stat st;
    const std::string exact = folder.empty() ? name : JoinPath(folder, name);
    if (::lstat(exact.c_str(), &st) == 0)
        return name;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return {};
    std::string best;
    while (dirent* e = ::readdir(dir)) {
        if (NamesEqual(e->d_name, name)) {
            // Several names may differ only in case: take the first in listing order.
            if (best.empty() || CompareNames(e->d_name, best) < 0 ||
                (CompareNames(e->d_name, best) == 0 && std::strcmp(e->d_name, best.c_str()) < 0))
                best = e->d_name;
        }
    }
    ::closedir(dir);
    return best;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(FoldUpper(a[i]));
        const auto cb = static_cast<unsigned char>(FoldUpper(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool NamesEqual(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareNames(a, b) == 0;
}

bool WildcardMatch(std::string_view pattern, std::string_view name)
{
    if (pattern == "*.*" || pattern == "*")
        return true;
    // Iterative matcher with backtracking to the last '*'.
    std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || FoldUpper(pattern[p]) == FoldUpper(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<DirEntry> Enumerate(const std::string& folder, std::string_view pattern, Hidden hidden,
                                DotEntries dots, int* error)
{
    std::vector<DirEntry> entries;
    if (error)
        *error = 0;
    const std::string resolved = ResolvePath(folder);
    if (resolved.empty())
        return entries;
    DIR* dir = ::opendir(resolved.c_str());
    if (!dir) {
        // A folder that exists but cannot be listed is not an empty folder.
        if (error && errno != ENOENT)
            *error = errno;
        return entries;
    }
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        const bool isDot = name == "." || name == "..";
        if (isDot) {
            if (dots == DotEntries::Exclude || !WildcardMatch(pattern, name))
                continue;
            entries.push_back({name, true, false});
            continue;
        }
        const bool isHidden = name[0] == '.';
        if (isHidden && hidden == Hidden::Exclude)
            continue;
        if (!WildcardMatch(pattern, name))
            continue;
        bool isDir = false;
        if (e->d_type == DT_DIR) {
            isDir = true;
        } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st;
            isDir = StatPath(JoinPath(resolved, name), st) && S_ISDIR(st.st_mode);
        }
        entries.push_back({name, isDir, isHidden, e->d_type == DT_REG});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) {
        const int c = CompareNames(a.name, b.name);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return entries;
}

std::string ResolvePath(const std::string& path)
{
    if (path.empty())
        return {};
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0)
        return path;
    // Walk the components, matching each without regard to case.
    std::string result;
    std::size_t i = 0;
    if (path[0] == '/') {
        result = "/";
        i = 1;
    }
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        const std::string part = path.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            result = result.empty() ? std::string("..") : JoinPath(result, "..");
            continue;
        }
        const std::string found = FindEntry(result, part);
        if (found.empty())
            return {};
        result = result.empty() ? found : JoinPath(result, found);
    }
    return result;
}

bool FileExists(const std::string& path)
{
    const std::string resolved = ResolvePath(path);
    struct stat st;
    return !resolved.empty() && StatPath(resolved, st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path)
{
    const std::string resolved = ResolvePath(path);
    struct stat st;
    return !resolved.empty() && StatPath(resolved, st) && S_ISDIR(st.st_mode);
}

namespace {

// Opens a regular file for reading. The open cannot block (a FIFO without a writer, a device
// waiting for carrier): anything but a regular file is refused before it is opened. The
// descriptor keeps O_NONBLOCK, which means nothing to reads of a regular file.
int OpenRegular(const std::string& path, std::int64_t* size)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // The entry may have been replaced between the two looks.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    if (size)
        *size = st.st_size;
    return fd;
}

}  // namespace

int OpenReadOnly(const std::string& path, std::int64_t* size)
{
    int fd = OpenRegular(path, size);
    if (fd < 0 && errno == ENOENT) {
        const std::string resolved = ResolvePath(path);
        if (!resolved.empty())
            fd = OpenRegular(resolved, size);
    }
    return fd;
}

Folder::Folder(const std::string& path)
{
    const std::string resolved = ResolvePath(path);
    if (!resolved.empty())
        fd_ = ::open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

Folder::~Folder()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool Folder::HasPlainFile(const std::string& name) const
{
    struct stat st;
    return fd_ >= 0 && ::fstatat(fd_, name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
}

int Folder::Open(const std::string& name, std::int64_t* size) const
{
    if (!HasPlainFile(name))
        return -1;
    const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {  // replaced meanwhile
        ::close(fd);
        return -1;
    }
    if (fd >= 0 && size)
        *size = st.st_size;
    return fd;
}

long Folder::ReadStart(const std::string& name, void* data, std::size_t size, bool listedAsFile) const
{
    // Three or four calls a file (a font reads a few hundred files this way): the listing or a
    // look before the open keeps FIFOs, devices and sockets unopened; an entry replaced by one
    // meanwhile is read without blocking, and gives what it gives.
    struct stat st;
    if (fd_ < 0 || (!listedAsFile && (::fstatat(fd_, name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode))))
        return -1;
    const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t n;
    do {
        n = ::pread(fd, data, size, 0);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    return n < 0 ? 0 : static_cast<long>(n);
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

namespace {

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// The file a chain of symbolic links ends at (it need not exist), or empty for a loop.
std::string FollowLinks(std::string path)
{
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size())
            return {};
        link.resize(static_cast<std::size_t>(n));
        path = link[0] == '/' ? link : JoinPath(FolderOf(path), link);
    }
    return {};
}

bool WriteAll(int fd, const unsigned char* p, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w = ::pwrite(fd, p + done, size - done, static_cast<off_t>(done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += static_cast<std::size_t>(w);
    }
    return true;
}

// A temporary name that fits the file system's 255-byte limit whatever the target's name.
int CreateTemporary(const std::string& folder, std::string& temp)
{
    // Set up once per thread: setting one up asks the processor what it offers (CPUID), which
    // a virtual machine answers slowly, and which cost more than writing a small file.
    thread_local std::random_device rd;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".plotwick-%08x.tmp", static_cast<unsigned>(rd()));
        temp = JoinPath(folder, name);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the unnamed file open as fd the name target: through the descriptor itself where the
// kernel allows it (Linux 6.10 on, or with CAP_DAC_READ_SEARCH), else through its /proc name,
// a lookup of four more names. A kernel that refuses the first (ENOENT, as for a missing
// folder) is not asked again.
int LinkUnnamed(int fd, const std::string& target)
{
    static std::atomic<bool> byDescriptor{true};
    if (byDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", AT_FDCWD, target.c_str(), AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM && errno != EINVAL)
            return -1;
        byDescriptor.store(false, std::memory_order_relaxed);
    }
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, self, AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW);
}

enum LinkResult { Linked, WriteFailed, AppearedMeanwhile, Unsupported };

// A new file written without a name (O_TMPFILE) and linked under its name once complete: one
// change of the folder instead of two (create, rename), its inode made outside the folder's
// lock (exports into one folder on several threads do not queue for it), and nothing left
// behind by a crash. Unsupported where the file system has no unnamed files or neither way of
// linking one is allowed (LinkUnnamed).
LinkResult WriteUnnamedThenLink(const std::string& target, const unsigned char* data, std::size_t size)
{
    const int fd = ::open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return Unsupported;
    if (!WriteAll(fd, data, size)) {
        ::close(fd);
        return WriteFailed;
    }
    const int linked = LinkUnnamed(fd, target);
    const int linkError = errno;
    if (::close(fd) != 0 && linked == 0) {
        ::unlink(target.c_str());
        return WriteFailed;
    }
    if (linked == 0)
        return Linked;
    return linkError == EEXIST ? AppearedMeanwhile : Unsupported;
}

// Rewrites a writable file in a folder where no temporary file can be made. The new length is
// reserved before the first byte changes, so that a full disk leaves the old content.
void WriteInPlace(const std::string& path, const std::string& target, const unsigned char* data, std::size_t size)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd < 0)
        throw std::runtime_error("Cannot open file " + path);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw std::runtime_error("Cannot open file " + path);
    }
    if (size > 0 && ::posix_fallocate(fd, 0, static_cast<off_t>(size)) != 0) {
        (void)::ftruncate(fd, st.st_size);  // a partial reservation may have lengthened it
        ::close(fd);
        throw std::runtime_error("Stream write error");
    }
    bool ok = WriteAll(fd, data, size) && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    if (ok && ::fsync(fd) != 0 && errno != EINVAL)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        throw std::runtime_error("Stream write error");
}

}  // namespace

void WriteFileAtomically(const std::string& path, const void* data, std::size_t size, Target expected)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (expected == Target::New) {
        switch (WriteUnnamedThenLink(path, bytes, size)) {
        case Linked:
            return;
        case WriteFailed:
            throw std::runtime_error("Stream write error");
        case AppearedMeanwhile:  // a file or a link of that name: replaced, or written through, below
        case Unsupported:
            break;
        }
    }
    // Through a symbolic link, the file it points to is replaced and the link stays.
    const std::string target = FollowLinks(path);
    if (target.empty())
        throw std::runtime_error("Cannot create file " + path);
    struct stat st;
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        throw std::runtime_error("Cannot create file " + path);
    // A file without write permission is one its owner means to keep.
    if (exists && ((st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0))
        throw std::runtime_error("Cannot open file " + path);

    if (!exists) {
        switch (WriteUnnamedThenLink(target, bytes, size)) {
        case Linked:
            return;
        case WriteFailed:
            throw std::runtime_error("Stream write error");
        case AppearedMeanwhile:
            return WriteFileAtomically(path, data, size);  // now a file to replace
        case Unsupported:
            break;
        }
    }

    std::string temp;
    const int fd = CreateTemporary(FolderOf(target), temp);
    if (fd < 0) {
        if (exists && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            WriteInPlace(path, target, bytes, size);
            return;
        }
        throw std::runtime_error("Cannot create file " + path);
    }
    // A file that replaces another is on the disk before the rename, so that a crash leaves
    // the old content or the new; a new file has no old content to lose, and skips the sync.
    bool ok = WriteAll(fd, bytes, size);
    if (ok && exists && ::fsync(fd) != 0 && errno != EINVAL)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(temp.c_str());
        throw std::runtime_error("Stream write error");
    }
    // Keep the permissions of a file that is replaced.
    if (exists)
        ::chmod(temp.c_str(), st.st_mode & 07777);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw std::runtime_error("Cannot create file " + path);
    }
}

}  // namespace plotwick::files
