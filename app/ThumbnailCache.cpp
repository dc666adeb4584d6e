#include "app/ThumbnailCache.h"

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QStandardPaths>

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
    QImageReader reader(FileFor(key), "png");
    if (!reader.canRead() || reader.text(kKeyText) != QString::fromStdString(key.Text()))
        return std::nullopt;
    QImage image = reader.read();
    if (image.isNull() || image.width() != key.side || image.height() != key.side)
        return std::nullopt;
    return image;
}

bool TThumbnailCache::Store(const ThumbnailKey& key, const QImage& image) const
{
    const QString path = FileFor(key);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, "png");
    writer.setText(kKeyText, QString::fromStdString(key.Text()));
    // Qt's PNG quality 80 is zlib's level 1: a tenth of the time of its default, files a third larger.
    writer.setQuality(80);
    if (!writer.write(image))
        return false;
    return file.commit();
}

}  // namespace plotwick::app
