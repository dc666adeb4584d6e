// Printing and the database's PDF from the window: the menu entries, printing to a PDF file
// through QPrinter (vector pages that look like the PNG export of the same drawing), the print
// preview of the selected drawing or the whole database, and "Export Database as PDF…" writing
// the same bytes as plotwick-cli album.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <cmath>

#include "AppTestSupport.h"
#include "app/AlbumForm.h"
#include "app/PrintPages.h"
#include "export/Export.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "tests/support/Process.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TMainForm;

namespace {

// The root of the mean squared difference of two images of one size, channels from 0 to 1.
double Rmse(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            for (const int shift : {0, 8, 16}) {
                const double d = (static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)) / 255.0;
                sum += d * d;
            }
        }
    return std::sqrt(sum / (3.0 * x.width() * x.height()));
}

}  // namespace

class PrintTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;
    std::unique_ptr<fixture::UserFolder> user;
    std::string sketches;

    std::unique_ptr<TMainForm> Open() { return OpenOnDatabase(Services(state, log), QStringLiteral("Sketches")); }

    static void Select(TMainForm& form, int row) { form.drList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect); }

    QString Out(const QString& name) const { return QString::fromStdString(dir->Path()) + QLatin1Char('/') + name; }

private slots:
    void init()
    {
        StartFresh(dir, state, log);
        state->users.push_back({12, "John Smith", "jsmith"});
        user = std::make_unique<fixture::UserFolder>(dir->Path() + "/jsmith");
        sketches = user->AddDatabase(kDrawings, "Sketches");
        using namespace fixture;
        // Fills, an even-odd hole, a wide curved stroke and a hairline.
        Bytes art = Path(0x002040E0, 0x00000000, {M(0, 0), L(300, 0), L(300, 200), L(0, 200), Z(), M(100, 50),
                                                  L(200, 50), L(200, 150), L(100, 150), Z()});
        art.append(Path(std::nullopt, 0x00C05000, {M(20, 180), C(80, 20, 220, 20, 280, 180)}));
        art.append(Path(0x0000A000, std::nullopt, {M(120, 70), L(180, 70), L(150, 130), Z()}));
        user->AddRecord(sketches, "a.dat", Record("Art", art));
        user->AddRecord(sketches, "b.dat", SquareRecord("Square", 0x000000FF));
        Bytes broken = Record("Broken", Path(std::nullopt, 0, {M(0, 0), L(1, 1)}));
        broken.truncate(broken.size() - 3);
        user->AddRecord(sketches, "c.dat", broken);
        user->AddRecord(sketches, "d.dat", SquareRecord("Green", 0x0000FF00));
        // Lettering, turned a little, in the user's vector font or the substitute face.
        const std::string font = user->AddDatabase(kFonts, "Block", 1.0f, 1000);
        const Bytes box = Path(0x00000000, std::nullopt, {M(50, 0), L(550, 0), L(550, -700), L(50, -700), Z()});
        for (char c : std::string("HILO"))
            WriteFile(font + "/g" + c + ".dat",
                      GlyphRecord(static_cast<std::uint8_t>(c), std::pair<std::uint16_t, std::int16_t>{600, 0}, box));
        Bytes words = Text(10, 60, 0x00800000, std::nullopt, "Block", 40, kIdentity, "HILO HILO");
        words.append(Text(20, 140, 0x00000080, std::nullopt, "Block", 30, {0.9848f, -0.1736f, 0, 0.1736f, 0.9848f, 0, 0, 0, 1}, "LOH"));
        user->AddRecord(sketches, "e.dat", Record("Words", words));
    }

    void menuEntries()
    {
        auto form = Open();
        QVERIFY(form);
        QCOMPARE(form->ExportDatabase1->text(), QStringLiteral("Export &Database as PDF…"));
        QCOMPARE(form->Print1->text(), QStringLiteral("&Print…"));
        QCOMPARE(form->PrintPreview1->text(), QStringLiteral("Print Pre&view…"));
        QCOMPARE(form->Print1->shortcut(), QKeySequence(QKeySequence::Print));
        const QList<QAction*> file = form->File1->actions();
        QCOMPARE(file.indexOf(form->ExportDatabase1), file.indexOf(form->Export1) + 1);
        QVERIFY(file.indexOf(form->Print1) > file.indexOf(form->CopyasBitmap1));
        // Enabled while a database's drawings are listed, with or without a selection.
        QTRY_COMPARE(form->drList->count(), 5);
        for (QAction* a : {form->ExportDatabase1, form->Print1, form->PrintPreview1})
            QVERIFY(a->isEnabled());
        QVERIFY(!form->Export1->isEnabled());
    }

    // Prints the drawing of the row to a PDF file through QPrinter and compares the page's
    // rendering with the PNG export of the same drawing: the root of the mean squared
    // difference over the drawing, or -1 when poppler-utils is not installed.
    double PrintedAgainstExport(TMainForm& form, int row, bool substitute, int compareWithRow = -1)
    {
        Select(form, row);
        if (!form.SelectedDrawing())
            return 1;
        // A page on which the drawing, two points a drawing unit, lands on whole pixels at two
        // pixels a point: half-inch margins, the cell the drawing's size with its margin of a
        // unit a side, and the caption's band below.
        TDrawing& drawing = *form.SelectedDrawing();
        const IntRect bounds = ExportBounds(drawing);
        constexpr double kPixelsPerPoint = 2, kPointsPerUnit = 2, kMargin = 36;
        const PageCell any = CellOnPage(PageSetup{}, 0);
        const double band = any.cell.height - any.drawingArea.height;
        const QSizeF paper(2 * kMargin + (bounds.Width() + 2) * kPointsPerUnit,
                           2 * kMargin + band + (bounds.Height() + 2) * kPointsPerUnit);
        const QString pdf = Out(QStringLiteral("printed.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(paper, QPageSize::Point));
        printer.setPageMargins(QMarginsF(kMargin, kMargin, kMargin, kMargin), QPageLayout::Point);
        const PageCell cell = CellOnPage(app::PrinterPageSetup(printer, {}), 0);
        const DrawingPlacement at = FitDrawing(bounds.Width(), bounds.Height(), cell.drawingArea);
        if (at.scale != kPointsPerUnit || at.x != kMargin + kPointsPerUnit || at.y != kMargin + kPointsPerUnit)
            return 1;
        if (form.SubstituteFontName().empty() == substitute)
            form.CheckBox1->click();
        form.PrintDatabasePages(printer, true);
        if (form.LastPrint().drawings != 1)
            return 1;
        if (!fixture::HaveProgram("pdftoppm") || !fixture::HaveProgram("pdfimages"))
            return -1;
        // Vectors: no image on the page.
        const auto images = fixture::RunCommand("pdfimages -list " + fixture::ShellQuote(pdf.toStdString()));
        if (std::count(images.out.begin(), images.out.end(), '\n') != 2)
            return 1;
        const std::string stem = dir->Path() + "/printed";
        fixture::RunCommand("pdftoppm -r 144 -png -singlefile " + fixture::ShellQuote(pdf.toStdString()) + " " +
                            fixture::ShellQuote(stem));
        const QImage page(QString::fromStdString(stem + ".png"));
        if (page.size() != (paper * kPixelsPerPoint).toSize())
            return 1;

        // The PNG export stretched to the drawing's size on the page, with its margin of 5
        // pixels a side.
        const int w = static_cast<int>(bounds.Width() * kPointsPerUnit * kPixelsPerPoint);
        const int h = static_cast<int>(bounds.Height() * kPointsPerUnit * kPixelsPerPoint);
        ExportOptions options;
        options.substituteFont = substitute;
        options.raster.pixels = std::pair{w + 10, h + 10};
        if (compareWithRow >= 0)
            Select(form, compareWithRow);
        const auto png = ExportBytes(*form.SelectedDrawing(), ExportFormat::Png, options);
        const QImage exported = QImage::fromData(png.data(), static_cast<int>(png.size()));
        const QImage printed = page.copy(static_cast<int>(at.x * kPixelsPerPoint) - 5,
                                         static_cast<int>(at.y * kPixelsPerPoint) - 5, w + 10, h + 10);
        return Rmse(printed, exported.scaled(printed.size()));
    }

    void printedPageMatchesThePngExport_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("substitute");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("fills, a hole, strokes") << 0 << false << 0.04;
        QTest::newRow("lettering in the vector font") << 4 << false << 0.04;
        // Large letters drawn by two font rasterisers, Qt's antialiased and the export's
        // aliased one, which also puts the baseline on whole work pixels (the first line ends
        // up a pixel lower): their edges differ more; size, place and turn are the same.
        QTest::newRow("lettering in the substitute face") << 4 << true << 0.08;
    }

    void printedPageMatchesThePngExport()
    {
        QFETCH(int, row);
        QFETCH(bool, substitute);
        QFETCH(double, tolerance);
        auto form = Open();
        QVERIFY(form);
        QTRY_COMPARE(form->drList->count(), 5);
        const double rmse = PrintedAgainstExport(*form, row, substitute);
        if (rmse < 0)
            QSKIP("poppler-utils is not installed");
        QVERIFY2(rmse < tolerance, qPrintable(QStringLiteral("RMSE %1").arg(rmse)));
        // And the comparison can fail: another drawing's export is far off.
        QVERIFY(PrintedAgainstExport(*form, row, substitute, 1) > 0.1);
    }

    void pageRangeAndSheetFromThePrintDialog()
    {
        if (!fixture::HaveProgram("pdfinfo") || !fixture::HaveProgram("pdftotext"))
            QSKIP("poppler-utils is not installed");
        auto form = Open();
        QVERIFY(form);
        QTRY_COMPARE(form->drList->count(), 5);
        const auto pagesOf = [](const QString& pdf) {
            const auto info = fixture::RunCommand("pdfinfo " + fixture::ShellQuote(pdf.toStdString()));
            const auto at = info.out.find("Pages:");
            return at == std::string::npos ? -1 : std::stoi(info.out.substr(at + 6));
        };
        const auto textOf = [](const QString& pdf) {
            return QString::fromStdString(fixture::RunCommand("pdftotext " + fixture::ShellQuote(pdf.toStdString()) + " -").out);
        };
        // Pages 2 and 3 of Art, Square, Green, Words (the damaged record has no page).
        const QString range = Out(QStringLiteral("range.pdf"));
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(range);
            form->PrintDatabasePages(printer, false, {2, 3});
        }
        QCOMPARE(pagesOf(range), 2);
        QVERIFY(!textOf(range).contains(QStringLiteral("Art")));
        QVERIFY(textOf(range).contains(QStringLiteral("Square")));
        QVERIFY(textOf(range).contains(QStringLiteral("Green")));

        // "Print…" with "All" and two drawings across a page: two pages.
        const QString all = Out(QStringLiteral("all.pdf"));
        ModalResponder responder;
        bool sawSheet = false;
        responder.inspect = [&](QWidget* w) {
            auto* dialog = qobject_cast<QPrintDialog*>(w);
            if (!dialog)
                return;
            auto* sheet = dialog->findChild<app::TSheetBox*>();
            auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
            sawSheet = sheet != nullptr;
            if (!sheet || !file) {
                dialog->reject();
                return;
            }
            sheet->seColumns->setValue(2);
            file->setText(all);
            dialog->printer()->setOutputFileName(all);
            dialog->accept();
        };
        form->Print1->trigger();
        QVERIFY(sawSheet);
        QCOMPARE(pagesOf(all), 2);
        QCOMPARE(form->LastPrint().drawings, 4);
    }

    void previewShowsTheSelectedDrawingOrTheDatabase()
    {
        auto form = Open();
        QVERIFY(form);
        QTRY_COMPARE(form->drList->count(), 5);
        ModalResponder responder;
        int pages = -1;
        responder.inspect = [&](QWidget* w) {
            if (auto* preview = qobject_cast<QPrintPreviewDialog*>(w)) {
                if (auto* view = preview->findChild<QPrintPreviewWidget*>())
                    pages = view->pageCount();
                preview->reject();
            }
        };
        form->PrintPreview1->trigger();
        // Three drawings: the damaged record is left out and reported.
        QCOMPARE(pages, 4);
        QCOMPARE(form->LastPrint().problems.size(), std::size_t{1});
        QCOMPARE(responder.Count(QStringLiteral("message")), 1);
        QVERIFY(responder.Texts().first().contains(QStringLiteral("c.dat: Incorrect data format.")));
        Select(*form, 3);
        form->PrintPreview1->trigger();
        QCOMPARE(pages, 1);
        QCOMPARE(form->LastPrint().drawings, 1);
    }

    void exportDatabaseWritesWhatAlbumWrites()
    {
        auto form = Open();
        QVERIFY(form);
        QTRY_COMPARE(form->drList->count(), 5);
        const QString pdf = Out(QStringLiteral("window.pdf"));
        ModalResponder responder;
        responder.inspect = [&](QWidget* w) {
            if (auto* settings = qobject_cast<app::TAlbumForm*>(w)) {
                settings->cbPage->setCurrentIndex(1);
                settings->cbOrientation->setCurrentIndex(1);
                settings->sheetBox->seColumns->setValue(2);
                settings->sheetBox->seRows->setValue(2);
                settings->accept();
            } else if (auto* save = qobject_cast<QFileDialog*>(w)) {
                auto* name = save->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                QCOMPARE(name->text(), QStringLiteral("Sketches"));
                name->setText(pdf);
                QTest::keyClick(name, Qt::Key_Return);
            }
        };
        form->ExportDatabase1->trigger();
        QCOMPARE(responder.Count(QStringLiteral("message")), 1);  // the damaged record
        const QByteArray written = ReadFileBytes(pdf);
        QVERIFY(!written.isEmpty());

        QProcess cli;
        const QString album = Out(QStringLiteral("cli.pdf"));
        cli.start(QStringLiteral(PLOTWICK_CLI),
                  {QStringLiteral("album"), QStringLiteral("--page"), QStringLiteral("letter"), QStringLiteral("--landscape"),
                   QStringLiteral("--sheet"), QStringLiteral("2x2"), QString::fromStdString(sketches), album});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 1);
        QCOMPARE(written, ReadFileBytes(album));
    }
};

QTEST_MAIN(PrintTest)
#include "tst_print.moc"
