#include "app/ThumbnailCache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <system_error>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>

#include <zlib.h>

#include "platform/codec/PngChunks.h"
#include "platform/files/Files.h"

namespace plotwick::app {

namespace {

// Qt reads a text key up to its first colon, so this one has none.
const QString kKeyText = QStringLiteral("PlotwickKey");

std::optional<std::pair<std::int64_t, std::int64_t>> SizeAndTime(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    const std::int64_t ns = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return std::make_pair(std::int64_t{st.st_size}, ns);
}

// The cache's own PNG: 8-bit RGBA, every row with the "Sub" filter (a run of equal pixels
// becomes zeros) compressed with zlib's run-length strategy, and the key as international text.
// No search for the best filter per row, as a general encoder makes.
std::optional<std::string> EncodeCachePng(const QImage& picture, const QString& key)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    std::string raw;
    raw.resize(static_cast<std::size_t>(h) * (1 + 4 * static_cast<std::size_t>(w)));
    auto* out = reinterpret_cast<std::uint8_t*>(raw.data());
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        *out++ = 1;  // Sub
        std::uint8_t prev[4] = {0, 0, 0, 0};
        for (int x = 0; x < w; ++x) {
            const std::uint8_t px[4] = {std::uint8_t(qRed(row[x])), std::uint8_t(qGreen(row[x])),
                                        std::uint8_t(qBlue(row[x])), std::uint8_t(qAlpha(row[x]))};
            for (int c = 0; c < 4; ++c) {
                *out++ = static_cast<std::uint8_t>(px[c] - prev[c]);
                prev[c] = px[c];
            }
        }
    }
    std::string compressed(compressBound(static_cast<uLong>(raw.size())) + 64, '\0');
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK)
        return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(compressed.data());
    z.avail_out = static_cast<uInt>(compressed.size());
    const int status = deflate(&z, Z_FINISH);
    compressed.resize(z.total_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END)
        return std::nullopt;

    std::string file;
    gdi::png::AppendSignature(file);
    gdi::png::AppendHeader(file, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), 6);  // RGBA
    // Keyword, no compression, no language, no translated keyword, the text in UTF-8.
    const std::string text = kKeyText.toStdString() + std::string("\0\0\0\0\0", 5) + key.toStdString();
    gdi::png::AppendChunk(file, "iTXt", text.data(), text.size());
    gdi::png::AppendChunk(file, "IDAT", compressed.data(), compressed.size());
    gdi::png::AppendChunk(file, "IEND", nullptr, 0);
    return file;
}

}  // namespace

std::string ThumbnailKey::Text() const
{
    // The path last: it may hold any character but the line break ends the text.
    return "v" + std::to_string(rendererVersion) + " side=" + std::to_string(side) +
           " size=" + std::to_string(fileSize) + " mtime=" + std::to_string(modifiedNs) +
           " face=" + substituteFace + " fonts=" + fontsStamp + " path=" + recordPath;
}

std::optional<ThumbnailKey> CurrentThumbnailKey(const std::string& recordPath, int side,
                                                const std::string& substituteFace, const std::string& fontsStamp)
{
    const auto st = SizeAndTime(recordPath);
    if (!st)
        return std::nullopt;
    ThumbnailKey key;
    key.recordPath = recordPath;
    key.fileSize = st->first;
    key.modifiedNs = st->second;
    key.side = side;
    key.substituteFace = substituteFace;
    key.fontsStamp = fontsStamp;
    return key;
}

std::string FontsStamp(const std::vector<std::string>& fontFolders)
{
    std::string stamp;
    for (const std::string& folder : fontFolders) {
        for (const std::string& path : {folder, folder + ".dat"}) {
            const auto st = SizeAndTime(path);
            stamp += std::to_string(st ? st->second : -1);
            stamp += ';';
        }
    }
    // Short and free of the folders' own characters.
    return QCryptographicHash::hash(QByteArray::fromStdString(stamp), QCryptographicHash::Md5).toHex().toStdString();
}

TThumbnailCache::TThumbnailCache(QString folder) : folder_(std::move(folder))
{
    if (folder_.isEmpty())
        folder_ = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                  QStringLiteral("/plotwick/thumbnails");
}

QString TThumbnailCache::FileFor(const ThumbnailKey& key) const
{
    const QByteArray md5 =
        QCryptographicHash::hash(QByteArray::fromStdString(key.Text()), QCryptographicHash::Md5).toHex();
    return QStringLiteral("%1/%2x%2/%3.png").arg(folder_).arg(key.side).arg(QString::fromLatin1(md5));
}

std::optional<QImage> TThumbnailCache::Load(const ThumbnailKey& key) const
{
    const QString path = FileFor(key);
    QImageReader reader(path, "png");
    if (!reader.canRead() || reader.text(kKeyText) != QString::fromStdString(key.Text()))
        return std::nullopt;
    QImage image = reader.read();
    if (image.isNull() || image.width() != key.side || image.height() != key.side)
        return std::nullopt;
    // The file's time is its last use, for Clean; renewed once a day, not at every look.
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && st.st_mtim.tv_sec + 24 * 3600 < ::time(nullptr))
        ::utimensat(AT_FDCWD, name.constData(), nullptr, 0);
    return image;
}

bool TThumbnailCache::Store(const ThumbnailKey& key, const QImage& image) const
{
    const QString path = FileFor(key);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    const auto bytes = EncodeCachePng(image, QString::fromStdString(key.Text()));
    if (!bytes)
        return false;
    // Written under a temporary name and renamed; a new file is not synced: a cache file lost
    // in a crash is only rendered again, and one cut short fails to read as its key.
    try {
        files::WriteFileAtomically(QFile::encodeName(path).toStdString(), bytes->data(), bytes->size());
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

int TThumbnailCache::Clean(const Limits& limits, std::chrono::system_clock::time_point now) const
{
    namespace fs = std::filesystem;
    struct Entry {
        fs::path path;
        fs::file_time_type used;
        std::uintmax_t bytes;
    };
    const auto oldest = fs::file_time_type::clock::now() - (std::chrono::system_clock::now() - now) - limits.maxAge;
    // A write still under way is at most this old.
    const auto abandoned = fs::file_time_type::clock::now() - (std::chrono::system_clock::now() - now) -
                           std::chrono::hours(1);
    std::vector<Entry> kept;
    int removed = 0;
    std::error_code ec;
    const auto remove = [&](const fs::path& path) {
        std::error_code ignored;
        removed += fs::remove(path, ignored) ? 1 : 0;
    };
    for (const auto& folder : fs::directory_iterator(folder_.toStdString(), ec)) {
        // Only the size folders ("128x128") hold what this cache wrote.
        const std::string name = folder.path().filename().string();
        if (!folder.is_directory(ec) || name.find('x') == std::string::npos || !std::isdigit(static_cast<unsigned char>(name.front())))
            continue;
        for (const auto& file : fs::directory_iterator(folder.path(), ec)) {
            if (!file.is_regular_file(ec))
                continue;
            const auto used = file.last_write_time(ec);
            if (ec)
                continue;
            const bool thumbnail = file.path().extension() == ".png";
            if (used < (thumbnail ? oldest : abandoned))
                remove(file.path());
            else if (thumbnail)
                kept.push_back({file.path(), used, file.file_size(ec)});
        }
    }
    std::sort(kept.begin(), kept.end(), [](const Entry& a, const Entry& b) { return a.used > b.used; });
    std::uintmax_t total = 0;
    for (const Entry& e : kept) {
        total += e.bytes;
        if (total > limits.maxBytes)
            remove(e.path);
    }
    return removed;
}

}  // namespace plotwick::app
