// The rendered thumbnails kept on disk, in the user's cache folder and never beside the
// records: one PNG per thumbnail, in a folder per size, named by the MD5 of its key (as the
// freedesktop thumbnail folders name theirs by the MD5 of the file's URI), with the key
// written into the PNG so that a file is used only for the very key it was made for.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QImage>
#include <QString>

namespace plotwick::app {

// The version of the thumbnail renderer: raise it when rendered thumbnails change.
inline constexpr int kThumbnailRendererVersion = 1;

// What a rendered thumbnail depends on.
struct ThumbnailKey {
    std::string recordPath;
    std::int64_t fileSize = -1;
    std::int64_t modifiedNs = -1;  // the record file's modification time, in nanoseconds
    int side = 0;                  // the thumbnail size in pixels
    std::string substituteFace;    // empty: the drawing's own fonts
    std::string fontsStamp;        // the font databases' modification times
    int rendererVersion = kThumbnailRendererVersion;

    // The whole key as one line of text.
    std::string Text() const;
};

// The key of a record file as it is now (its size and modification time read from the disk);
// none when the file cannot be examined.
std::optional<ThumbnailKey> CurrentThumbnailKey(const std::string& recordPath, int side,
                                                const std::string& substituteFace, const std::string& fontsStamp);

// The stamp of the font databases: each folder and header file with its modification time.
// Called on the window's thread when a list starts.
std::string FontsStamp(const std::vector<std::string>& fontFolders);

// Every method is safe to call from any thread: the cache holds no state but its folder, and
// writes each file under a temporary name before renaming it.
class TThumbnailCache {
public:
    // folder empty: "plotwick/thumbnails" under the user's cache folder.
    explicit TThumbnailCache(QString folder = {});

    const QString& Folder() const { return folder_; }
    // The file a key's thumbnail is stored in.
    QString FileFor(const ThumbnailKey& key) const;
    // The stored thumbnail of the key, or none.
    std::optional<QImage> Load(const ThumbnailKey& key) const;
    // Stores it; false when it could not be written (the cache is then only slower).
    bool Store(const ThumbnailKey& key, const QImage& image) const;

    // What Clean keeps: files used within maxAge, the most recently used first, up to maxBytes
    // in all. A file's modification time is its last use (Load renews it once a day at most).
    struct Limits {
        std::chrono::hours maxAge{24 * 60};
        std::uintmax_t maxBytes = std::uintmax_t{512} << 20;
    };
    // Removes the files of the size folders beyond the limits, and temporary files left by a
    // write that never finished; returns how many files it removed. Slow on a large cache: run
    // it on a worker when nothing else waits.
    int Clean(const Limits& limits, std::chrono::system_clock::time_point now = std::chrono::system_clock::now()) const;

private:
    QString folder_;
};

}  // namespace plotwick::app
