// The export and copy commands of the main window. They act on the drawing of the selected
// list item (SelectedDrawing()), load its shapes afresh, and do nothing without one.
//
// They are run through RunCommand, so they never start while a drawing's texts are being
// laid out; anything else that loads shapes must hold a BusyScope for as long as it does.
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>

#include "app/BusyCursor.h"
#include "app/DrawingExport.h"
#include "app/MainForm.h"
#include "export/OutputNames.h"
#include "model/Drawing.h"
#include "platform/fonts/Codepage.h"

namespace plotwick::app {

namespace {

// The save dialog's filters, in their order, each with the extension it makes the default.
struct SaveFilter {
    const char* text;
    const char* extension;
};
constexpr SaveFilter kSaveFilters[] = {
    {"Enhanced Metafile (*.emf)", "emf"},
    {"Windows Metafile (*.wmf)", "wmf"},
    {"Scalable Vector Graphics (*.svg)", "svg"},
    {"BMP (*.bmp)", "bmp"},
    {"JPEG (*.jpg)", "jpg"},
    {"PNG (*.png)", "png"},
    {"PDF (*.pdf)", "pdf"},
};

// The drawing's name as the file name to propose: no "/" (it would send the dialog into a
// folder of that name), no control characters, at most 200 bytes.
QString ProposedFileName(const TDrawing& drawing)
{
    return QString::fromStdString(SafeFileName(codepage::Cp1252ToUtf8(drawing.FName)));
}

// Asks before an existing file is replaced; true to go on.
bool ConfirmReplace(QWidget* parent, const QString& fileName)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Export drawing"),
                    QStringLiteral("“%1” already exists.\nDo you want to replace it?")
                        .arg(QFileInfo(fileName).fileName()),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("overwriteBox"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace

void TMainForm::BuildSaveDialog()
{
    saveDial = new QFileDialog(this, QStringLiteral("Export drawing"));
    saveDial->setObjectName(QStringLiteral("saveDial"));
    // Qt's own dialog: the same on every desktop, and it reports the change of file type.
    saveDial->setOption(QFileDialog::DontUseNativeDialog, true);
    saveDial->setOption(QFileDialog::DontConfirmOverwrite, true);
    saveDial->setAcceptMode(QFileDialog::AcceptSave);
    saveDial->setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const SaveFilter& f : kSaveFilters)
        filters << QString::fromLatin1(f.text);
    saveDial->setNameFilters(filters);
    saveDial->selectNameFilter(filters.first());
    saveDial->setDefaultSuffix(QString::fromLatin1(kSaveFilters[0].extension));
    connect(saveDial, &QFileDialog::filterSelected, this, &TMainForm::saveDialTypeChange);
}

void TMainForm::saveDialTypeChange(const QString& filter)
{
    // The dialog appends the default extension to a name typed without one.
    for (const SaveFilter& f : kSaveFilters)
        if (filter == QLatin1String(f.text))
            saveDial->setDefaultSuffix(QString::fromLatin1(f.extension));
}

void TMainForm::Export1Click()
{
    TDrawing* drawing = SelectedDrawing();
    if (!drawing)
        return;
    // Busy from here: while the dialogs are up, nothing may free the drawing.
    BusyScope busy(*this);
    if (!FLastExportFolder.isEmpty() && QFileInfo(FLastExportFolder).isDir())
        saveDial->setDirectory(FLastExportFolder);
    saveDial->selectFile(ProposedFileName(*drawing));
    if (saveDial->exec() != QDialog::Accepted)
        return;
    const QString fileName = saveDial->selectedFiles().value(0);
    if (fileName.isEmpty())
        return;
    if (!ExportExtension(fileName).isEmpty() && QFileInfo::exists(fileName) && !ConfirmReplace(this, fileName))
        return;
    ExportOutcome outcome;
    try {
        const BusyCursor cursor(Qt::WaitCursor);
        QCoreApplication::processEvents();
        outcome = ExportToFile(*drawing, fileName, this, WindowExportOptions(FRenderOptions));
    } catch (...) {
        RethrowNamingDrawing(*drawing);
    }
    if (outcome == ExportOutcome::Written) {
        RememberExportFolder(QFileInfo(fileName).absolutePath());
        StatusBar1->showMessage(QStringLiteral("Exported “%1” to %2")
                                    .arg(QString::fromStdString(codepage::Cp1252ToUtf8(drawing->FName)),
                                         QFileInfo(fileName).fileName()));
    }
    if (outcome == ExportOutcome::Unsupported) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("A problem"),
                        QStringLiteral("Nothing was exported: the drawing can be exported to files ending in ") +
                            QString::fromLatin1(kExportExtensionsText) + QStringLiteral(", not to \"") +
                            QFileInfo(fileName).fileName() + QStringLiteral("\"."),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("problemBox"));
        box.exec();
    }
}

void TMainForm::Copyasvectors1Click()
{
    BusyScope busy(*this);
    const BusyCursor cursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    if (TDrawing* drawing = SelectedDrawing()) {
        try {
            CopyAsVectorsToClipboard(*drawing, WindowExportOptions(FRenderOptions));
        } catch (...) {
            RethrowNamingDrawing(*drawing);
        }
    }
}

void TMainForm::CopyasBitmap1Click()
{
    BusyScope busy(*this);
    const BusyCursor cursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    if (TDrawing* drawing = SelectedDrawing()) {
        try {
            CopyAsBitmap(*drawing, WindowExportOptions(FRenderOptions));
        } catch (...) {
            RethrowNamingDrawing(*drawing);
        }
    }
}

}  // namespace plotwick::app
