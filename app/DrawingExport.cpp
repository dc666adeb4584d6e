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
#include "app/Settings.h"
#include "model/Drawing.h"

namespace plotwick::app {

const char* const kExportExtensionsText = ".emf, .wmf, .svg, .bmp, .jpg, .png and .pdf";

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

// Asks for the pixel size (and the JPEG settings) of a raster export into options. False
// when the dialog was cancelled.
bool AskRasterSettings(TDrawing& drawing, bool jpeg, QWidget* parent, ExportOptions& options)
{
    TExportForm form(parent);
    form.ShowJpegOptions(jpeg);
    const IntRect r = ExportBounds(drawing);
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
    // with its own message; nothing is written then. The dialog's size is stretched onto.
    options.raster = {};
    options.raster.pixels = {{form.CommittedWidth(), form.CommittedHeight()}};
    options.jpeg = form.JpegSettings();
    return true;
}

// Asks whether the SVG's texts are written as outlines into options, and remembers the answer.
// False when the dialog was cancelled.
bool AskSvgSettings(QWidget* parent, ExportOptions& options)
{
    TExportForm form(parent);
    form.ShowSvgOptions();
    form.SetTextOutlines(options.textOutlines);
    int result;
    {
        const ArrowWhileAsking arrow;
        result = form.exec();
    }
    if (result != QDialog::Accepted)
        return false;
    options.textOutlines = form.TextOutlines();
    settings::Store store;
    if (store.Writable()) {
        store.Write(settings::TextOutlines, options.textOutlines ? 1 : 0);
        store.Flush();
    }
    return true;
}

// The formats the window's export writes, by the extension of the chosen name.
std::optional<ExportFormat> WindowFormat(const QString& ext)
{
    static const std::pair<const char*, ExportFormat> formats[] = {
        {".wmf", ExportFormat::Wmf}, {".emf", ExportFormat::Emf}, {".bmp", ExportFormat::Bmp},
        {".jpg", ExportFormat::Jpeg}, {".svg", ExportFormat::Svg}, {".png", ExportFormat::Png},
        {".pdf", ExportFormat::Pdf}};
    for (const auto& [extension, format] : formats)
        if (ext == QLatin1String(extension))
            return format;
    return std::nullopt;
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

ExportOptions WindowExportOptions(const RenderOptions& render)
{
    ExportOptions options;
    options.substituteFont = !render.SubstituteFontName.empty();
    options.textOutlines = settings::Store().Read(settings::TextOutlines).value_or(settings::TextOutlines.fallback) != 0;
    return options;
}

ExportOutcome ExportToFile(TDrawing& drawing, const QString& fileName, QWidget* parent, const ExportOptions& options)
{
    const std::optional<ExportFormat> format = WindowFormat(ExportExtension(fileName));
    if (!format)
        return ExportOutcome::Unsupported;
    ExportOptions chosen = options;
    if (IsRasterFormat(*format) && !AskRasterSettings(drawing, *format == ExportFormat::Jpeg, parent, chosen))
        return ExportOutcome::Cancelled;
    if (*format == ExportFormat::Svg && !AskSvgSettings(parent, chosen))
        return ExportOutcome::Cancelled;
    Export(drawing, *format, chosen, LocalPath(fileName));
    return ExportOutcome::Written;
}

QMimeData* VectorClipboardData(TDrawing& drawing, const ExportOptions& options)
{
    const std::vector<std::uint8_t> emf = ClipboardMetafile(drawing, options);
    const SvgText document = ClipboardSvg(drawing, options);
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

void CopyAsVectorsToClipboard(TDrawing& drawing, const ExportOptions& options)
{
    QMimeData* data = VectorClipboardData(drawing, options);
    QGuiApplication::clipboard()->setMimeData(data);  // the clipboard takes it, replacing what it held
}

void CopyAsBitmap(TDrawing& drawing, const ExportOptions& options)
{
    QGuiApplication::clipboard()->setImage(BitmapToImage(ClipboardBitmap(drawing, options)));
}

}  // namespace plotwick::app
