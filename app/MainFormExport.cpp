// The export and copy commands of the main window. They act on the drawing of the selected
// list item (SelectedDrawing()), load its shapes afresh, and do nothing without one.
//
// They are run through RunCommand, so they never start while a drawing's texts are being
// laid out; anything else that loads shapes must hold a BusyScope for as long as it does.
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "app/BusyCursor.h"
#include "app/DrawingExport.h"
#include "app/MainForm.h"
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
};

// The drawing's name as the file name to propose. A "/" cannot stand in a file name; it would
// send the dialog into a folder of that name.
QString ProposedFileName(const TDrawing& drawing)
{
    QString name = QString::fromStdString(codepage::Cp1252ToUtf8(drawing.FName));
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return name;
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
    saveDial->selectFile(ProposedFileName(*drawing));
    if (saveDial->exec() != QDialog::Accepted)
        return;
    const QString fileName = saveDial->selectedFiles().value(0);
    if (fileName.isEmpty())
        return;
    ExportOutcome outcome;
    {
        const BusyCursor cursor(Qt::WaitCursor);
        QCoreApplication::processEvents();
        outcome = ExportToFile(*drawing, fileName, this, WindowExportOptions(FRenderOptions));
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
    if (TDrawing* drawing = SelectedDrawing())
        CopyAsVectorsToClipboard(*drawing, WindowExportOptions(FRenderOptions));
}

void TMainForm::CopyasBitmap1Click()
{
    BusyScope busy(*this);
    const BusyCursor cursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    if (TDrawing* drawing = SelectedDrawing())
        CopyAsBitmap(*drawing, WindowExportOptions(FRenderOptions));
}

}  // namespace plotwick::app
