// The database's pages from the main window: "Export Database as PDF…" writes the album that
// plotwick-cli album writes; "Print…" and "Print Preview…" print the selected drawing or every
// drawing of the listed database through Qt's print dialogs.
//
// They are run through RunCommand and hold a BusyScope while they load shapes.
#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "app/AlbumForm.h"
#include "app/BusyCursor.h"
#include "app/MainForm.h"
#include "app/PrintPages.h"
#include "export/Album.h"
#include "export/Export.h"
#include "model/Drawing.h"
#include "platform/fonts/Codepage.h"

namespace plotwick::app {

namespace {

QString LeftOutText(const PagesReport& report)
{
    QString text = QStringLiteral("%1 of the drawings could not be read and were left out:").arg(report.problems.size());
    for (const PageProblem& p : report.problems)
        text += QStringLiteral("\n") + QString::fromStdString(p.path) + QStringLiteral(": ") +
                QString::fromStdString(p.message);
    return text;
}

}  // namespace

void TMainForm::BuildPrintActions()
{
    ExportDatabase1 = new QAction(QStringLiteral("Export &Database as PDF…"), this);
    ExportDatabase1->setObjectName(QStringLiteral("ExportDatabase1"));
    File1->insertAction(N1, ExportDatabase1);
    N3 = File1->addSeparator();
    N3->setObjectName(QStringLiteral("N3"));
    PrintPreview1 = File1->addAction(QStringLiteral("Print Pre&view…"));
    PrintPreview1->setObjectName(QStringLiteral("PrintPreview1"));
    Print1 = File1->addAction(QStringLiteral("&Print…"));
    Print1->setObjectName(QStringLiteral("Print1"));
    Print1->setShortcut(QKeySequence::Print);
    Print1->setShortcutContext(Qt::WindowShortcut);
    connect(ExportDatabase1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::ExportDatabase1Click); });
    connect(PrintPreview1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::PrintPreview1Click); });
    connect(Print1, &QAction::triggered, this, [this] { RunCommand(&TMainForm::Print1Click); });
    // The three work on the listed database: enabled while it has drawings.
    const auto follow = [this] {
        for (QAction* a : {ExportDatabase1, PrintPreview1, Print1})
            a->setEnabled(drList->count() > 0);
    };
    connect(drList->model(), &QAbstractItemModel::rowsInserted, this, follow);
    connect(drList->model(), &QAbstractItemModel::rowsRemoved, this, follow);
    connect(drList->model(), &QAbstractItemModel::modelReset, this, follow);
    follow();
}

TDrawDB* TMainForm::ListedDatabase() const
{
    for (int i = 0; i < drList->count(); ++i)
        if (TDrawing* drawing = ItemDrawing(drList->item(i)))
            return drawing->FDB;
    return nullptr;
}

void TMainForm::ExportDatabase1Click()
{
    TDrawDB* db = ListedDatabase();
    if (!db)
        return;
    BusyScope busy(*this);
    TAlbumForm settings(this);
    if (settings.exec() != QDialog::Accepted)
        return;
    QFileDialog save(this, QStringLiteral("Export Database as PDF"));
    save.setObjectName(QStringLiteral("albumSaveDial"));
    save.setOption(QFileDialog::DontUseNativeDialog, true);
    save.setAcceptMode(QFileDialog::AcceptSave);
    save.setNameFilter(QStringLiteral("PDF (*.pdf)"));
    save.setDefaultSuffix(QStringLiteral("pdf"));
    save.selectFile(QString::fromStdString(codepage::Cp1252ToUtf8(db->FName)).replace(QLatin1Char('/'), QLatin1Char('_')));
    if (save.exec() != QDialog::Accepted || save.selectedFiles().value(0).isEmpty())
        return;
    PagesReport report;
    {
        const BusyCursor cursor(Qt::WaitCursor);
        QCoreApplication::processEvents();
        report = WriteAlbum(*db, settings.Setup(), FRenderOptions, save.selectedFiles().value(0).toStdString());
    }
    if (report.drawings == 0)
        ShowProblem(QStringLiteral("No drawing of the database could be read; nothing was written."));
    else if (!report.problems.empty())
        ShowProblem(LeftOutText(report));
}

void TMainForm::PrintDatabasePages(QPrinter& printer, bool selectedOnly, const PageRange& range)
{
    TDrawDB* db = ListedDatabase();
    if (!db)
        return;
    std::vector<std::string> files;
    if (selectedOnly) {
        if (TDrawing* drawing = SelectedDrawing())
            files.push_back(drawing->FFileName);
    } else {
        files = DatabaseRecordFiles(*db);
    }
    BusyScope busy(*this);
    const BusyCursor cursor(Qt::WaitCursor);
    FLastPrint = PrintPages(printer, *db, files, FPrintSheet, FRenderOptions, range);
}

void TMainForm::Print1Click()
{
    if (!ListedDatabase())
        return;
    BusyScope busy(*this);
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("printDialog"));
    // "Selection" prints the selected drawing, "All" every drawing of the database, a page
    // range those pages of it.
    if (SelectedDrawing()) {
        dialog.setOption(QAbstractPrintDialog::PrintSelection, true);
        printer.setPrintRange(QPrinter::Selection);
    }
    auto* sheet = new TSheetBox(FPrintSheet);
    dialog.setOptionTabs({sheet});
    if (dialog.exec() != QDialog::Accepted)
        return;
    FPrintSheet = sheet->Sheet();
    PageRange range;
    if (printer.printRange() == QPrinter::PageRange)
        range = {printer.fromPage(), printer.toPage()};
    PrintDatabasePages(printer, printer.printRange() == QPrinter::Selection, range);
    if (!FLastPrint.problems.empty())
        ShowProblem(LeftOutText(FLastPrint));
}

void TMainForm::PrintPreview1Click()
{
    if (!ListedDatabase())
        return;
    BusyScope busy(*this);
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog preview(&printer, this);
    preview.setObjectName(QStringLiteral("printPreview"));
    // The selected drawing, or the whole database when none is selected.
    const bool selectedOnly = SelectedDrawing() != nullptr;
    QString error;
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* p) {
        try {
            PrintDatabasePages(*p, selectedOnly);
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
    });
    preview.exec();
    if (!error.isEmpty())
        ShowError(error);
    else if (!FLastPrint.problems.empty())
        ShowProblem(LeftOutText(FLastPrint));
}

}  // namespace plotwick::app
