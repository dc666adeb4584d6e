// Several drawings at once: "Export Selected…" and "Export Database…". The user picks a format
// and a folder; each drawing becomes FOLDER/<database>/<record file name less .dat>.<format>,
// the names plotwick-cli export-all gives (export/OutputNames), written by the same Export.
// A progress dialog counts the drawings and can stop the run between two of them.
#include <filesystem>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>

#include "app/BusyCursor.h"
#include "app/DrawingExport.h"
#include "app/MainForm.h"
#include "app/Settings.h"
#include "export/Export.h"
#include "export/OutputNames.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"

namespace plotwick::app {

namespace {

// The formats offered, as the save dialog names them.
struct BatchFormat {
    const char* text;
    ExportFormat format;
};
constexpr BatchFormat kBatchFormats[] = {
    {"Scalable Vector Graphics (*.svg)", ExportFormat::Svg}, {"Enhanced Metafile (*.emf)", ExportFormat::Emf},
    {"Windows Metafile (*.wmf)", ExportFormat::Wmf},         {"PNG (*.png)", ExportFormat::Png},
    {"PDF (*.pdf)", ExportFormat::Pdf},                      {"BMP (*.bmp)", ExportFormat::Bmp},
    {"JPEG (*.jpg)", ExportFormat::Jpeg},
};

}  // namespace

void TMainForm::ExportSelected1Click()
{
    std::vector<TDrawing*> drawings;
    for (int i = 0; i < drList->count(); ++i)  // in the list's order, as export-all takes them
        if (drList->item(i)->isSelected())
            if (TDrawing* d = ItemDrawing(drList->item(i)))
                drawings.push_back(d);
    if (!drawings.empty())
        ExportDrawings(drawings, QStringLiteral("Export Selected"));
}

void TMainForm::ExportDatabaseFiles1Click()
{
    std::vector<TDrawing*> drawings;
    for (int i = 0; i < drList->count(); ++i)
        if (TDrawing* d = ItemDrawing(drList->item(i)))
            drawings.push_back(d);
    if (!drawings.empty())
        ExportDrawings(drawings, QStringLiteral("Export Database"));
}

void TMainForm::RememberExportFolder(const QString& folder)
{
    if (folder == FLastExportFolder)
        return;
    FLastExportFolder = folder;
    settings::Store store;
    if (store.Writable()) {
        store.Write(settings::LastExportFolder, QStringList{folder});
        store.Flush();
    }
}

void TMainForm::ExportDrawings(const std::vector<TDrawing*>& drawings, const QString& title)
{
    // Busy from here: nothing may free the drawings while the dialogs are up.
    BusyScope busy(*this);
    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("formatDialog"));
    ask.setWindowTitle(title);
    ask.setLabelText(QStringLiteral("Export %1 drawing(s) as:").arg(drawings.size()));
    QStringList formats;
    for (const BatchFormat& f : kBatchFormats)
        formats << QString::fromLatin1(f.text);
    ask.setComboBoxItems(formats);
    ask.setComboBoxEditable(false);
    if (ask.exec() != QDialog::Accepted)
        return;
    const ExportFormat format = kBatchFormats[std::max<qsizetype>(0, formats.indexOf(ask.textValue()))].format;

    QFileDialog folderDialog(this, title + QStringLiteral(" into Folder"));
    folderDialog.setObjectName(QStringLiteral("folderDialog"));
    folderDialog.setOption(QFileDialog::DontUseNativeDialog, true);
    folderDialog.setFileMode(QFileDialog::Directory);
    folderDialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!FLastExportFolder.isEmpty() && QFileInfo(FLastExportFolder).isDir())
        folderDialog.setDirectory(FLastExportFolder);
    if (folderDialog.exec() != QDialog::Accepted)
        return;
    const QString folder = folderDialog.selectedFiles().value(0, folderDialog.directory().absolutePath());

    std::vector<ExportEntry> entries;
    for (const TDrawing* d : drawings)
        entries.push_back({d->FDB && d->FDB->FKind == kLibrary ? 1 : 0, d->FDB ? d->FDB->FName : std::string(),
                           d->FFileName});
    const std::vector<OutputName> names = ExportOutputNames(entries, std::string(ExtensionOf(format)));
    const auto outputOf = [&](std::size_t i) {
        return QDir(folder).filePath(QFile::decodeName(QByteArray::fromStdString(names[i].folder + "/" + names[i].file)));
    };
    int existing = 0;
    for (std::size_t i = 0; i < names.size(); ++i)
        existing += QFileInfo::exists(outputOf(i)) ? 1 : 0;
    if (existing > 0) {
        QMessageBox box(QMessageBox::Warning, title,
                        QStringLiteral("%1 of the files already exist in \u201C%2\u201D.\nDo you want to replace them?")
                            .arg(existing)
                            .arg(QDir::toNativeSeparators(folder)),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("overwriteBox"));
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return;
    }
    RememberExportFolder(folder);

    // The raster formats at 100 %, as export-all writes them.
    const ExportOptions options = WindowExportOptions(FRenderOptions);
    QProgressDialog progress(QStringLiteral("Exporting drawings\u2026"), QStringLiteral("Cancel"), 0,
                             static_cast<int>(drawings.size()), this);
    progress.setObjectName(QStringLiteral("progressDialog"));
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    QStringList failures;
    int written = 0;
    std::size_t i = 0;
    for (; i < drawings.size(); ++i) {
        progress.setValue(static_cast<int>(i));
        QCoreApplication::processEvents();
        if (progress.wasCanceled())
            break;
        const QString output = outputOf(i);
        try {
            try {
                std::filesystem::create_directories(QFile::encodeName(QFileInfo(output).absolutePath()).toStdString());
                Export(*drawings[i], format, options, QFile::encodeName(output).toStdString());
                ++written;
            } catch (...) {
                RethrowNamingDrawing(*drawings[i]);
            }
        } catch (const std::exception& e) {
            failures << QString::fromUtf8(e.what());
        }
    }
    const bool cancelled = i < drawings.size();
    progress.setValue(static_cast<int>(drawings.size()));
    StatusBar1->showMessage(
        (cancelled ? QStringLiteral("Cancelled: %1 of %2 drawings exported to %3")
                   : QStringLiteral("Exported %1 of %2 drawings to %3"))
            .arg(written)
            .arg(drawings.size())
            .arg(QDir::toNativeSeparators(folder)));
    if (!failures.isEmpty()) {
        const int shown = std::min<int>(failures.size(), 10);
        QString text = QStringLiteral("%1 drawing(s) could not be exported.\n\n").arg(failures.size()) +
                       failures.mid(0, shown).join(QStringLiteral("\n\n"));
        if (failures.size() > shown)
            text += QStringLiteral("\n\n\u2026and %1 more.").arg(failures.size() - shown);
        QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("errorBox"));
        box.exec();
    }
}

}  // namespace plotwick::app
