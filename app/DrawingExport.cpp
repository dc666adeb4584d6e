#include "app/DrawingExport.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>

#include "app/ExportForm.h"
#include "app/Images.h"
#include "model/Drawing.h"
#include "platform/gdi/Bitmap.h"
#include "platform/gdi/BmpWriter.h"
#include "platform/gdi/RasterDevice.h"
#include "render/JpegWriter.h"
#include "render/Rasteriser.h"
#include "render/Metafile.h"

namespace plotwick::app {

const char* const kExportExtensionsText = ".emf, .wmf, .svg, .bmp and .jpg";

namespace {

std::string LocalPath(const QString& fileName) { return QFile::encodeName(fileName).toStdString(); }

std::int32_t ToInt32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// The screen shows the hourglass while an export runs; the settings dialog waits for the user
// and shows the arrow.
class ArrowWhileAsking {
public:
    ArrowWhileAsking() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowWhileAsking() { QApplication::restoreOverrideCursor(); }
    ArrowWhileAsking(const ArrowWhileAsking&) = delete;
    ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;
};

// Asks for the pixel size (and the JPEG settings) and renders the drawing, stretched, at that
// size. False when the dialog was cancelled.
bool AskAndRender(TDrawing& drawing, bool jpeg, QWidget* parent, gdi::Bitmap24& bitmap, JpegOptions& options)
{
    TExportForm form(parent);
    form.ShowJpegOptions(jpeg);
    const IntRect r = drawing.GetBounds();
    form.FSourceWidth = ToInt32(r.Width());
    form.FSourceHeight = ToInt32(r.Height());
    int result;
    {
        const ArrowWhileAsking arrow;
        result = form.exec();
    }
    if (result != QDialog::Accepted)
        return false;
    // A width or height of 0 (a small scale of a small drawing) is refused by the rasteriser
    // with its own message; nothing is written then.
    CheckRasterTargetSize(form.CommittedWidth(), form.CommittedHeight());
    bitmap = gdi::Bitmap24(form.CommittedWidth(), form.CommittedHeight());
    drawing.RenderToBitmap(bitmap, /*fit=*/false);
    options = form.JpegSettings();
    return true;
}

}  // namespace

QString ExportExtension(const QString& fileName)
{
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return {};
    QString ext = fileName.mid(dot);
    for (QChar& c : ext)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() - 'A' + 'a');
    return ext;
}

ExportOutcome ExportToFile(TDrawing& drawing, const QString& fileName, QWidget* parent)
{
    const QString ext = ExportExtension(fileName);
    const std::string path = LocalPath(fileName);
    if (ext == QLatin1String(".wmf")) {
        drawing.LoadShapes(true);
        SaveWmf(drawing, path);
        return ExportOutcome::Written;
    }
    if (ext == QLatin1String(".emf")) {
        drawing.LoadShapes(true);
        SaveEmf(drawing, path);
        return ExportOutcome::Written;
    }
    if (ext == QLatin1String(".bmp")) {
        drawing.LoadShapes(true);
        return SaveBmp(drawing, fileName, parent);
    }
    if (ext == QLatin1String(".jpg")) {
        drawing.LoadShapes(true);
        return SaveJpeg(drawing, fileName, parent);
    }
    if (ext == QLatin1String(".svg")) {
        // The document carries the offsets of the last normalising load (those of the preview
        // in the window) around the file's own coordinates: the normalising load comes first
        // here too, so that the file does not depend on what was shown before.
        drawing.LoadShapes(true);
        drawing.LoadShapes(false);
        drawing.SaveSvg(path);
        return ExportOutcome::Written;
    }
    return ExportOutcome::Unsupported;
}

ExportOutcome SaveBmp(TDrawing& drawing, const QString& fileName, QWidget* parent)
{
    gdi::Bitmap24 bitmap;
    JpegOptions unused;
    if (!AskAndRender(drawing, false, parent, bitmap, unused))
        return ExportOutcome::Cancelled;
    gdi::SaveBmp(bitmap, LocalPath(fileName));
    return ExportOutcome::Written;
}

ExportOutcome SaveJpeg(TDrawing& drawing, const QString& fileName, QWidget* parent)
{
    gdi::Bitmap24 bitmap;
    JpegOptions options;
    if (!AskAndRender(drawing, true, parent, bitmap, options))
        return ExportOutcome::Cancelled;
    SaveJpegFile(bitmap, options, LocalPath(fileName));
    return ExportOutcome::Written;
}

QMimeData* VectorClipboardData(TDrawing& drawing)
{
    const std::vector<std::uint8_t> emf = ::plotwick::CopyAsVectors(drawing);  // loads normalised
    // The SVG as the export writes it: the file's own coordinates after a normalising load.
    drawing.LoadShapes(false);
    SvgText document;
    drawing.BuildSvg(document);
    // The file is UTF-16 with a byte-order mark; programs that take SVG from the clipboard
    // expect UTF-8 without one. The document declares no encoding, so UTF-8 is its default.
    const QByteArray svg =
        QString::fromUtf16(document.data(), static_cast<qsizetype>(document.size())).toUtf8();
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/x-emf"),
                  QByteArray(reinterpret_cast<const char*>(emf.data()), static_cast<qsizetype>(emf.size())));
    data->setData(QStringLiteral("image/svg+xml"), svg);
    return data;
}

void CopyAsVectorsToClipboard(TDrawing& drawing)
{
    QMimeData* data = VectorClipboardData(drawing);
    QGuiApplication::clipboard()->setMimeData(data);  // the clipboard takes it, replacing what it held
}

void CopyAsBitmap(TDrawing& drawing)
{
    drawing.LoadShapes(true);
    const IntRect r = drawing.GetBounds();
    // One pixel per drawing unit. A line, a dot or a drawing without shapes has no extent on
    // an axis; it gets one pixel there, as in the raster export.
    const std::int32_t width = ToInt32(std::max<std::int64_t>(r.Width(), 1));
    const std::int32_t height = ToInt32(std::max<std::int64_t>(r.Height(), 1));
    CheckRasterTargetSize(width, height);
    gdi::Bitmap24 bitmap(width, height);
    drawing.RenderToBitmap(bitmap, /*fit=*/false);
    QGuiApplication::clipboard()->setImage(BitmapToImage(bitmap));
}

}  // namespace plotwick::app
