// The export and copy commands of the main window: the save dialog and its file types, the
// formats chosen by the extension, the export settings dialog in the raster exports, the files
// written (the same bytes as plotwick-cli writes), failures, and the clipboard.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QListWidget>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/DrawingExport.h"
#include "app/ExportForm.h"
#include "app/Settings.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "text/VFont.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TExportForm;
using plotwick::app::TMainForm;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The frame marker (C0 baseline, C2 progressive, ...) and the number of components of a JPEG
// file, read from its markers.
struct JpegFrame {
    int marker = -1;
    int components = -1;
};

JpegFrame ReadJpegFrame(const QByteArray& b)
{
    const auto at = [&](qsizetype i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0u; };
    if (at(0) != 0xFF || at(1) != 0xD8)
        return {};
    qsizetype i = 2;
    while (i + 4 <= b.size()) {
        if (at(i) != 0xFF)
            return {};
        const unsigned marker = at(i + 1);
        if (marker == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return {static_cast<int>(marker), static_cast<int>(at(i + 9))};
        const qsizetype length = (at(i + 2) << 8) | at(i + 3);
        i += 2 + length;
    }
    return {};
}

// The SVG file's UTF-16 text (after its byte-order mark) as UTF-8.
QByteArray SvgFileAsUtf8(const QByteArray& file)
{
    if (file.size() < 2 || static_cast<unsigned char>(file[0]) != 0xFF || static_cast<unsigned char>(file[1]) != 0xFE)
        return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(file.constData() + 2), (file.size() - 2) / 2)
        .toUtf8();
}

// Lowers the largest file this process may write while it lives; a write past it fails (with
// SIGXFSZ ignored) as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit limit = old_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool Ok() const { return ok_; }

private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

// What the user does in the save dialog and in the export settings dialog.
struct Plan {
    QString path;              // typed as the file name; empty: cancel the save dialog
    int filter = -1;           // the row of the file type to choose first, when set
    QString scale;             // typed into the scale field and left, when set
    QString width;             // typed into the width field and left, when set
    bool cancelSettings = false;
    bool pressEnter = false;   // Enter in the last field typed into instead of leaving it and clicking "&Ok"
    int quality = -1;          // the slider's position, when set
    bool grayscale = false, progressive = false, smoothing = false;
    bool replace = true;       // the answer to the question before an existing file is replaced
    int textOutlines = -1;     // SVG: tick (1) or untick (0) "Text as outlines", when set
};

// What the dialogs showed.
struct Shown {
    int saveDialogs = 0;
    QString saveTitle;
    QString proposedName;
    QStringList filters;
    QString filterAtStart;
    QString suffixAtStart;
    QString suffixAfterTypeChange;
    bool overrideCursorInSaveDialog = false;
    int settingsDialogs = 0;
    int settingsOuterWidth = 0;
    bool jpegGroupVisible = false;
    QString settingsTexts;
    int settingsCursor = -1;  // the override cursor's shape over the settings dialog
    QStringList overwriteQuestions;
    QString startFolder;      // where the save dialog started
    int svgDialogs = 0;       // the settings dialog with only the SVG group
    int textOutlinesAtStart = -1;
};

// Answers the export settings dialog of an SVG export, leaving "Text as outlines" as it is.
void AcceptSvgSettings(QWidget* w)
{
    if (auto* f = qobject_cast<TExportForm*>(w); f && f->grSvg->isVisible())
        f->Button1->click();
}

}  // namespace

class ExportTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;
    std::unique_ptr<fixture::UserFolder> user;
    std::string sketches;
    QString out;  // the folder the exports go to

    std::unique_ptr<TMainForm> Open()
    {
        auto form = std::make_unique<TMainForm>(Services(state, log));
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return nullptr;
        form->activateWindow();
        form->dbTree->setCurrentItem(Node(*form, "Sketches"));
        return form;
    }

    static QTreeWidgetItem* Node(TMainForm& form, const QString& caption)
    {
        for (int i = 0; i < form.DrawingsRoot()->childCount(); ++i)
            if (form.DrawingsRoot()->child(i)->text(0) == caption)
                return form.DrawingsRoot()->child(i);
        return nullptr;
    }

    static bool SelectDrawing(TMainForm& form, const QString& caption)
    {
        const int row = ItemTexts(form.drList).indexOf(caption);
        if (row < 0)
            return false;
        form.drList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        return form.SelectedDrawing() != nullptr;
    }

    // How an error box names the drawing "Small" before the message.
    QString SmallNamed() const
    {
        return QStringLiteral("Drawing \u201CSmall\u201D, file %1:\n").arg(QString::fromStdString(RecordPath("e.dat")));
    }

    QString Out(const QString& name) const { return out + QLatin1Char('/') + name; }
    std::string RecordPath(const std::string& file) const { return sketches + "/" + file; }

    // Runs "E&xport" with the responder answering the dialogs as planned.
    Shown Export(TMainForm& form, ModalResponder& responder, const Plan& plan)
    {
        Shown shown;
        responder.inspect = [&](QWidget* w) {
            if (auto* d = qobject_cast<QFileDialog*>(w)) {
                ++shown.saveDialogs;
                shown.saveTitle = d->windowTitle();
                shown.filters = d->nameFilters();
                shown.filterAtStart = d->selectedNameFilter();
                shown.suffixAtStart = d->defaultSuffix();
                shown.overrideCursorInSaveDialog = QApplication::overrideCursor() != nullptr;
                shown.startFolder = d->directory().absolutePath();
                auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                if (!name || !types) {
                    d->reject();
                    return;
                }
                shown.proposedName = name->text();
                // Chosen with the keyboard, one row at a time, as a user would.
                for (int guard = 0; plan.filter >= 0 && types->currentIndex() != plan.filter && guard < 10; ++guard)
                    QTest::keyClick(types, types->currentIndex() < plan.filter ? Qt::Key_Down : Qt::Key_Up);
                shown.suffixAfterTypeChange = d->defaultSuffix();
                if (plan.path.isEmpty()) {
                    d->reject();
                    return;
                }
                name->setText(plan.path);
                QTest::keyClick(name, Qt::Key_Return);
                if (d->isVisible())
                    d->reject();  // the dialog refused the name
            } else if (auto* box = qobject_cast<QMessageBox*>(w); box && box->objectName() == "overwriteBox") {
                shown.overwriteQuestions << box->text();
                box->button(plan.replace ? QMessageBox::Yes : QMessageBox::No)->click();
            } else if (auto* f = qobject_cast<TExportForm*>(w); f && f->grSvg->isVisible()) {
                ++shown.svgDialogs;
                shown.textOutlinesAtStart = f->chbTextOutlines->isChecked() ? 1 : 0;
                QVERIFY(!f->GroupBox1->isVisible() && !f->GroupBox2->isVisible() && !f->grJpeg->isVisible());
                if (plan.textOutlines >= 0)
                    f->chbTextOutlines->setChecked(plan.textOutlines == 1);
                (plan.cancelSettings ? f->Button2 : f->Button1)->click();
            } else if (auto* f = qobject_cast<TExportForm*>(w)) {
                ++shown.settingsDialogs;
                shown.settingsOuterWidth = f->OuterWidth();
                shown.jpegGroupVisible = f->grJpeg->isVisible();
                shown.settingsTexts = f->eScale->text() + QLatin1Char('|') + f->eWidth->text() + QLatin1Char('|') +
                                      f->eHeight->text();
                shown.settingsCursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1;
                if (plan.quality >= 0)
                    f->tbQuality->setValue(plan.quality);
                f->chbGrayscale->setChecked(plan.grayscale);
                f->chbProgressive->setChecked(plan.progressive);
                f->chbSmoothing->setChecked(plan.smoothing);
                QLineEdit* last = nullptr;
                const auto type = [&](QLineEdit* field, const QString& text) {
                    if (last)
                        QTest::keyClick(last, Qt::Key_Tab);
                    field->setFocus(Qt::TabFocusReason);
                    field->selectAll();
                    QTest::keyClicks(field, text);
                    last = field;
                };
                if (!plan.scale.isEmpty())
                    type(f->eScale, plan.scale);
                if (!plan.width.isEmpty())
                    type(f->eWidth, plan.width);
                if (plan.pressEnter && last && !plan.cancelSettings) {
                    QTest::keyClick(last, Qt::Key_Return);
                    return;
                }
                if (last)
                    QTest::keyClick(last, Qt::Key_Tab);
                (plan.cancelSettings ? f->Button2 : f->Button1)->click();
            }
        };
        form.Export1->trigger();
        responder.inspect = nullptr;
        return shown;
    }

    // plotwick-cli export of a record of the test's user; empty on failure.
    QByteArray Cli(const std::string& record, const QString& name, const QStringList& options = {})
    {
        const QString output = QString::fromStdString(dir->Path()) + QStringLiteral("/cli-") + name;
        QFile::remove(output);
        QProcess cli;
        cli.setProgram(QStringLiteral(PLOTWICK_CLI));
        cli.setArguments(QStringList{QStringLiteral("export"), QStringLiteral("--user-folder"),
                                     QString::fromStdString(user->Root())} +
                         options + QStringList{QString::fromStdString(RecordPath(record)), output});
        cli.start();
        if (!cli.waitForFinished(60000) || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            qWarning() << "plotwick-cli failed:" << cli.readAllStandardError();
            return {};
        }
        return ReadAll(output);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        StartFresh(dir, state, log);
        state->users.push_back({12, "John Smith", "jsmith"});
        user = std::make_unique<fixture::UserFolder>(dir->Path() + "/jsmith");
        sketches = user->AddDatabase(kDrawings, "Sketches");
        using namespace fixture;
        user->AddRecord(sketches, "a.dat", SquareRecord("Square", 0x000000FF));
        // Lettering in the user's own font, a group and outlined shapes.
        const std::string font = user->AddDatabase(kFonts, "Block", 1.0f, 1000);
        const Bytes box = Path(0x00000000, std::nullopt, {M(50, 0), L(550, 0), L(550, -700), L(50, -700), Z()});
        for (char c : std::string("HI"))
            WriteFile(font + "/g" + c + ".dat",
                      GlyphRecord(static_cast<std::uint8_t>(c), std::pair<std::uint16_t, std::int16_t>{600, 0}, box));
        Bytes lettering = Path(0x00FF0000, 0x00000000, {M(10, 5), L(30, 5), C(40, 5, 40, 25, 30, 25), L(10, 25), Z()});
        lettering.append(Group({Path(std::nullopt, 0x0000A000, {M(0, 40), L(90, 70)}),
                                Path(0x0000FFFF, std::nullopt, {M(60, 0), L(80, 0), L(70, 20), Z()})}));
        lettering.append(Text(0, 60, 0x00000000, std::nullopt, "Block", 40, kIdentity, "HIHI"));
        user->AddRecord(sketches, "b.dat", Record("Lettering", lettering));
        // A straight line: no height. A record without shapes: no extent at all.
        user->AddRecord(sketches, "c.dat", Record("Line", Path(std::nullopt, 0x00000000, {M(0, 10), L(80, 10)})));
        user->AddRecord(sketches, "d.dat", Record("Blank", Bytes{}));
        user->AddRecord(sketches, "e.dat",
                        Record("Small", Path(0x00008000, std::nullopt, {M(0, 0), L(20, 0), L(20, 10), L(0, 10), Z()})));
        user->AddRecord(sketches, "f.dat", SquareRecord("Half/Whole", 0x00FF0000));
        user->AddRecord(sketches, "g.dat",
                        Record("Shifted", Path(0x00808080, std::nullopt, {M(30, 40), L(70, 40), L(70, 90), Z()})));
        out = QString::fromStdString(dir->Path()) + QStringLiteral("/out");
        QDir().mkpath(out);
    }

    void cleanup()
    {
        user.reset();
        dir.reset();
        FontList.Clear();
    }

    void saveDialogAsDesigned()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QFileDialog* d = form->saveDial;
        QVERIFY(d);
        QCOMPARE(d->objectName(), QStringLiteral("saveDial"));
        QCOMPARE(d->windowTitle(), QStringLiteral("Export drawing"));
        QCOMPARE(d->nameFilters(),
                 (QStringList{"Enhanced Metafile (*.emf)", "Windows Metafile (*.wmf)",
                              "Scalable Vector Graphics (*.svg)", "BMP (*.bmp)", "JPEG (*.jpg)", "PNG (*.png)",
                              "PDF (*.pdf)"}));
        QCOMPARE(d->defaultSuffix(), QStringLiteral("emf"));
        QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(d->testOption(QFileDialog::DontConfirmOverwrite));
        QVERIFY(d->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(d->parentWidget(), form.get());
    }

    // The name proposed is the drawing's; the default extension is added to a name typed
    // without one; choosing a file type sets the default extension, and the dialog keeps it
    // for the next export.
    void fileTypeAndDefaultExtension()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Square"));

        Plan plan;
        plan.path = Out("first");
        Shown shown = Export(*form, responder, plan);
        QCOMPARE(shown.saveDialogs, 1);
        QCOMPARE(shown.saveTitle, QStringLiteral("Export drawing"));
        QCOMPARE(shown.proposedName, QStringLiteral("Square"));
        QCOMPARE(shown.filterAtStart, QStringLiteral("Enhanced Metafile (*.emf)"));
        QCOMPARE(shown.suffixAtStart, QStringLiteral("emf"));
        QVERIFY(!shown.overrideCursorInSaveDialog);
        QVERIFY(QFile::exists(Out("first.emf")));
        QCOMPARE(ReadAll(Out("first.emf")).left(4), QByteArray("\x01\x00\x00\x00", 4));  // EMR_HEADER

        plan.path = Out("second");
        plan.filter = 2;  // "Scalable Vector Graphics (*.svg)"
        shown = Export(*form, responder, plan);
        QCOMPARE(shown.suffixAfterTypeChange, QStringLiteral("svg"));
        QVERIFY(QFile::exists(Out("second.svg")));
        QVERIFY(!QFile::exists(Out("second.emf")));

        // The next export starts with the SVG type.
        plan.path = Out("third");
        plan.filter = -1;
        shown = Export(*form, responder, plan);
        QCOMPARE(shown.filterAtStart, QStringLiteral("Scalable Vector Graphics (*.svg)"));
        QCOMPARE(shown.suffixAtStart, QStringLiteral("svg"));
        QVERIFY(QFile::exists(Out("third.svg")));

        // Each type sets its own extension.
        const QStringList suffixes{"emf", "wmf", "svg", "bmp", "jpg"};
        for (int row : {3, 4, 1, 0, 2, 4}) {
            plan.path.clear();  // cancelled
            plan.filter = row;
            shown = Export(*form, responder, plan);
            QCOMPARE(shown.suffixAfterTypeChange, suffixes[row]);
        }
        QCOMPARE(form->saveDial->selectedNameFilter(), QStringLiteral("JPEG (*.jpg)"));
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), 3);  // cancelling wrote nothing
        QVERIFY(responder.seen.empty());
    }

    // A drawing's name with a "/" is proposed with "_" instead: a file name cannot hold one.
    void slashInTheNameIsReplaced()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Half/Whole"));
        const Shown shown = Export(*form, responder, Plan{});
        QCOMPARE(shown.proposedName, QStringLiteral("Half_Whole"));
    }

    // The vector exports of the window are the bytes plotwick-cli writes for the same record,
    // after the preview has loaded the drawing.
    void vectorFilesAsTheCommandLineWritesThem()
    {
        ModalResponder responder;
        log->useRealRenderer = true;
        auto form = Open();
        QVERIFY(form);
        for (const char* caption : {"Lettering", "Square", "Line", "Blank"}) {
            QVERIFY(SelectDrawing(*form, QString::fromLatin1(caption)));
            const std::string record = TMainForm::ItemDrawing(form->drList->selectedItems().value(0))->FFileName;
            for (const char* ext : {"svg", "emf", "wmf"}) {
                const QString name = QString::fromLatin1(caption) + QLatin1Char('.') + QLatin1String(ext);
                Plan plan;
                plan.path = Out(name);
                const Shown shown = Export(*form, responder, plan);
                QCOMPARE(shown.settingsDialogs, 0);
                const bool svg = QLatin1String(ext) == QLatin1String("svg");
                QCOMPARE(shown.svgDialogs, svg ? 1 : 0);
                const QByteArray window = ReadAll(Out(name));
                QVERIFY2(!window.isEmpty(), qPrintable(name));
                // Texts as outlines unless the user unticks it.
                QVERIFY2(window == Cli(record, name, svg ? QStringList{"--text-outlines"} : QStringList{}),
                         qPrintable(name));
            }
        }
        QVERIFY2(responder.seen.empty(), qPrintable(responder.Texts().join('\n')));
        QVERIFY(!SvgFileAsUtf8(ReadAll(Out("Lettering.svg"))).contains("<text"));
    }

    // "Text as outlines" is offered for SVG, ticked at first; the choice is stored and the next
    // export and the clipboard's SVG follow it.
    void svgTextAsOutlinesIsAChoiceRemembered()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Lettering"));
        const std::string record = form->SelectedDrawing()->FFileName;
        Plan plan;
        plan.path = Out("fonts.svg");
        plan.textOutlines = 0;
        Shown shown = Export(*form, responder, plan);
        QCOMPARE(shown.svgDialogs, 1);
        QCOMPARE(shown.textOutlinesAtStart, 1);
        const QByteArray fonts = ReadAll(Out("fonts.svg"));
        QCOMPARE(fonts, Cli(record, "fonts.svg"));
        QVERIFY(SvgFileAsUtf8(fonts).contains("<font"));
        QCOMPARE(app::settings::Store().Read(app::settings::TextOutlines), std::optional<std::int32_t>(0));

        form->Copyasvectors1->trigger();
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/svg+xml")), SvgFileAsUtf8(fonts));

        plan.path = Out("again.svg");
        plan.textOutlines = -1;
        shown = Export(*form, responder, plan);
        QCOMPARE(shown.textOutlinesAtStart, 0);
        QCOMPARE(ReadAll(Out("again.svg")), fonts);

        // Cancelled: nothing written, the stored choice kept.
        plan.path = Out("cancelled.svg");
        plan.textOutlines = 1;
        plan.cancelSettings = true;
        Export(*form, responder, plan);
        QVERIFY(!QFile::exists(Out("cancelled.svg")));
        QCOMPARE(app::settings::Store().Read(app::settings::TextOutlines), std::optional<std::int32_t>(0));
        QVERIFY(responder.seen.empty());
    }

    // The SVG does not depend on whether the drawing was shown before: a drawing away from
    // the origin, never loaded, exports as after its preview.
    void svgOfADrawingNeverShown()
    {
        TDrawDB db;
        db.FPath = sketches;
        TDrawing drawing(&db, "g.dat");
        QCOMPARE(drawing.FName, std::string("Shifted"));
        ModalResponder responder;
        responder.inspect = AcceptSvgSettings;
        QCOMPARE(app::ExportToFile(drawing, Out("shifted.svg"), nullptr), app::ExportOutcome::Written);
        const QByteArray svg = ReadAll(Out("shifted.svg"));
        QCOMPARE(svg, Cli("g.dat", "shifted.svg"));
        QVERIFY(SvgFileAsUtf8(svg).contains("<g transform=\"matrix(1.00 0.00 0.00 1.00 -30.00 -40.00)\" >"));
        // The shapes stay loaded in the file's own coordinates.
        QCOMPARE(drawing.GetBounds(), (IntRect{30, 40, 70, 90}));
    }

    // The raster exports at the size set in the dialog; the JPEG settings as chosen.
    void rasterFilesAsTheCommandLineWritesThem()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Lettering"));

        Plan plan;
        plan.path = Out("half.bmp");
        plan.scale = QStringLiteral("50");
        Shown shown = Export(*form, responder, plan);
        QCOMPARE(shown.settingsDialogs, 1);
        QCOMPARE(shown.settingsOuterWidth, 181);
        QVERIFY(!shown.jpegGroupVisible);
        const QByteArray bmp = ReadAll(Out("half.bmp"));
        QVERIFY(!bmp.isEmpty());
        QCOMPARE(bmp, Cli("b.dat", "half.bmp", {"--scale", "50"}));
        const QImage image = QImage::fromData(bmp, "BMP");
        QVERIFY(!image.isNull());

        plan.path = Out("wide.jpg");
        plan.scale.clear();
        plan.width = QStringLiteral("333");
        plan.quality = 90;
        plan.grayscale = true;
        plan.progressive = true;
        shown = Export(*form, responder, plan);
        QCOMPARE(shown.settingsOuterWidth, 411);
        QVERIFY(shown.jpegGroupVisible);
        const QByteArray jpg = ReadAll(Out("wide.jpg"));
        QVERIFY(!jpg.isEmpty());
        QCOMPARE(jpg, Cli("b.dat", "wide.jpg", {"--width", "333", "--quality", "90", "--grayscale", "--progressive"}));
        QCOMPARE(QImage::fromData(jpg, "JPG").width(), 333);
        QVERIFY(responder.seen.empty());
    }

    void jpegSettingsReachTheFile()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Lettering"));
        const auto jpeg = [&](const QString& name, bool grayscale, bool progressive, bool smoothing) {
            Plan plan;
            plan.path = Out(name);
            plan.grayscale = grayscale;
            plan.progressive = progressive;
            plan.smoothing = smoothing;
            Export(*form, responder, plan);
            return ReadAll(Out(name));
        };
        const QByteArray plain = jpeg("plain.jpg", false, false, false);
        const QByteArray grey = jpeg("grey.jpg", true, false, false);
        const QByteArray progressive = jpeg("progressive.jpg", false, true, false);
        const QByteArray smooth = jpeg("smooth.jpg", false, false, true);
        QCOMPARE(ReadJpegFrame(plain).marker, 0xC0);
        QCOMPARE(ReadJpegFrame(plain).components, 3);
        QCOMPARE(ReadJpegFrame(grey).marker, 0xC0);
        QCOMPARE(ReadJpegFrame(grey).components, 1);
        QCOMPARE(ReadJpegFrame(progressive).marker, 0xC2);
        QCOMPARE(ReadJpegFrame(progressive).components, 3);
        QVERIFY(!smooth.isEmpty());
        QCOMPARE(smooth, plain);  // smoothing only matters when a JPEG is decoded
        QVERIFY(grey != plain);
        // At 100 %, the drawing's own size.
        const IntRect r = [&] {
            TDrawing* d = form->SelectedDrawing();
            d->LoadShapes(true);
            return d->GetBounds();
        }();
        QCOMPARE(QImage::fromData(plain, "JPG").size(), QSize(int(r.Width()), int(r.Height())));
        QCOMPARE(QImage::fromData(grey, "JPG").format(), QImage::Format_Grayscale8);
    }

    // The extension decides, in any letter case; an unknown one writes nothing and says which
    // ones are known.
    void extensionChoosesTheFormat()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Square"));
        Plan plan;
        plan.path = Out("Capitals.JPG");
        Shown shown = Export(*form, responder, plan);
        QCOMPARE(shown.settingsDialogs, 1);
        QCOMPARE(ReadJpegFrame(ReadAll(Out("Capitals.JPG"))).components, 3);
        plan.path = Out("Mixed.Svg");
        Export(*form, responder, plan);
        QVERIFY(ReadAll(Out("Mixed.Svg")).startsWith(QByteArray("\xFF\xFE<\0s\0v\0g\0", 10)));
        QVERIFY(responder.seen.empty());

        for (const char* name : {"photo.jpeg", "archive.tar", "drawing.emf.txt"}) {
            plan.path = Out(QString::fromLatin1(name));
            shown = Export(*form, responder, plan);
            QCOMPARE(shown.settingsDialogs, 0);
            QVERIFY(!QFile::exists(plan.path));
            QCOMPARE(responder.seen.size(), std::size_t(1));
            QCOMPARE(responder.seen[0].title, QStringLiteral("A problem"));
            QVERIFY(responder.seen[0].text.contains(QStringLiteral(".emf, .wmf, .svg, .bmp, .jpg, .png and .pdf")));
            QVERIFY(responder.seen[0].text.contains(QString::fromLatin1(name)));
            responder.seen.clear();
        }
        QCOMPARE(app::ExportExtension(QStringLiteral("/a.b/c")), QString());
        QCOMPARE(app::ExportExtension(QStringLiteral("/a/c.ÉMF")), QStringLiteral(".Émf"));
        QCOMPARE(app::ExportExtension(QStringLiteral("/a/c.JpG")), QStringLiteral(".jpg"));
    }

    // PNG and PDF, as the command line writes them; PNG asks for its size as BMP does.
    void pngAndPdfAsTheCommandLineWritesThem()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Lettering"));
        Plan plan;
        plan.path = Out("Lettering.png");
        QCOMPARE(Export(*form, responder, plan).settingsDialogs, 1);
        QCOMPARE(ReadAll(Out("Lettering.png")), Cli("b.dat", "Lettering.png"));
        plan.path = Out("Lettering.pdf");
        QCOMPARE(Export(*form, responder, plan).settingsDialogs, 0);
        QVERIFY(ReadAll(Out("Lettering.pdf")).startsWith("%PDF"));
        QVERIFY2(responder.seen.empty(), qPrintable(responder.Texts().join('\n')));
    }

    // An existing file is replaced only when the user says so; a written file is named in the
    // status bar, and the next export starts in its folder, also after a restart.
    void overwriteAskedAndLastFolderKept()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Square"));
        QVERIFY(WriteAll(Out("Square.svg"), "old"));
        Plan plan;
        plan.path = Out("Square.svg");
        plan.replace = false;
        Shown shown = Export(*form, responder, plan);
        QCOMPARE(shown.overwriteQuestions,
                 QStringList{QStringLiteral("\u201CSquare.svg\u201D already exists.\nDo you want to replace it?")});
        QCOMPARE(ReadAll(Out("Square.svg")), QByteArray("old"));
        QVERIFY(form->StatusBar1->currentMessage().isEmpty());

        plan.replace = true;
        shown = Export(*form, responder, plan);
        QCOMPARE(shown.overwriteQuestions.size(), 1);
        QCOMPARE(ReadAll(Out("Square.svg")), Cli("a.dat", "Square.svg"));
        QCOMPARE(form->StatusBar1->currentMessage(), QStringLiteral("Exported \u201CSquare\u201D to Square.svg"));
        QCOMPARE(ReadSetting("LastExportFolder").toString(), out);

        plan.path = Out("new.svg");
        shown = Export(*form, responder, plan);
        QVERIFY(shown.overwriteQuestions.isEmpty());  // a new file: no question
        form.reset();
        auto again = Open();
        QVERIFY(again && SelectDrawing(*again, "Square"));
        plan.path.clear();
        QCOMPARE(Export(*again, responder, plan).startFolder, out);
    }

    // The proposed name holds no control character (the length limit: export/OutputNames).
    void proposedNameIsSafe()
    {
        user->AddRecord(sketches, "h.dat", SquareRecord("Tab\there"));
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Tab\there"));
        QCOMPARE(Export(*form, responder, Plan{}).proposedName, QStringLiteral("Tab_here"));
    }

    // "Export Selected…" and "Export Database…": the files and names plotwick-cli export-all
    // writes, with a progress dialog; existing files are replaced only after asking.
    void severalDrawingsAsExportAllWritesThem()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->drList->setFocus();
        QTest::keyClick(form->drList, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(form->drList->selectedItems().size(), form->drList->count());
        int progressDialogs = 0;
        QStringList questions;
        bool replace = true;
        responder.folderToOpen = Out("window");
        responder.inspect = [&](QWidget* w) {
            if (auto* ask = qobject_cast<QInputDialog*>(w)) {
                ask->setTextValue(QStringLiteral("PNG (*.png)"));
                ask->accept();
            } else if (auto* box = qobject_cast<QMessageBox*>(w); box && box->objectName() == "overwriteBox") {
                questions << box->text();
                box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
            }
        };
        QObject::connect(qApp, &QApplication::focusChanged, form.get(), [&] {
            if (form->findChild<QProgressDialog*>())
                ++progressDialogs;
        });
        QDir().mkpath(Out("window"));
        form->ExportSelected1->trigger();

        QProcess cli;
        cli.start(QStringLiteral(PLOTWICK_CLI), {QStringLiteral("export-all"), QStringLiteral("--format"),
                                                 QStringLiteral("png"), QString::fromStdString(user->Root()),
                                                 Out("cli")});
        QVERIFY(cli.waitForFinished(60000));
        const QDir windowFiles(Out("window/Sketches")), cliFiles(Out("cli/Sketches"));
        QCOMPARE(windowFiles.entryList(QDir::Files), cliFiles.entryList(QDir::Files));
        QCOMPARE(windowFiles.entryList(QDir::Files).size(), 7);
        for (const QString& name : cliFiles.entryList(QDir::Files))
            QVERIFY2(ReadAll(windowFiles.filePath(name)) == ReadAll(cliFiles.filePath(name)), qPrintable(name));
        QVERIFY(progressDialogs > 0);
        QVERIFY(questions.isEmpty());
        QCOMPARE(form->StatusBar1->currentMessage(),
                 QStringLiteral("Exported 7 of 7 drawings to %1").arg(QDir::toNativeSeparators(Out("window"))));

        // Again into the same folder: one question for all; "No" writes nothing.
        QVERIFY(WriteAll(windowFiles.filePath("a.png"), "old"));
        replace = false;
        form->ExportDatabaseFiles1->trigger();
        QCOMPARE(questions.size(), 1);
        QVERIFY(questions[0].startsWith(QStringLiteral("7 of the files already exist")));
        QCOMPARE(ReadAll(windowFiles.filePath("a.png")), QByteArray("old"));
        replace = true;
        form->ExportDatabaseFiles1->trigger();
        QCOMPARE(ReadAll(windowFiles.filePath("a.png")), ReadAll(cliFiles.filePath("a.png")));
        QCOMPARE(responder.Count("message"), 0);
    }

    void cancelWritesNothing()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Square"));
        QVERIFY(WriteAll(Out("kept.bmp"), "old"));
        Plan plan;
        plan.path = Out("kept.bmp");
        plan.cancelSettings = true;
        Shown shown = Export(*form, responder, plan);
        QCOMPARE(shown.settingsDialogs, 1);
        QCOMPARE(ReadAll(Out("kept.bmp")), QByteArray("old"));
        plan.path.clear();
        shown = Export(*form, responder, plan);
        QCOMPARE(shown.saveDialogs, 1);
        QCOMPARE(shown.settingsDialogs, 0);
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.bmp"});
        QVERIFY(responder.seen.empty());
    }

    // The hourglass while the drawing is read and written; the arrow over the settings dialog.
    void cursors()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Lettering"));
        QList<int> seen;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (QApplication::overrideCursor())
                seen << QApplication::overrideCursor()->shape();
        });
        watch.start(0);
        Plan plan;
        plan.path = Out("c.bmp");
        const Shown shown = Export(*form, responder, plan);
        watch.stop();
        QCOMPARE(shown.settingsCursor, int(Qt::ArrowCursor));
        QVERIFY(seen.contains(Qt::WaitCursor));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(QFile::exists(Out("c.bmp")));
    }

    // Drawings with no extent on an axis, and sizes of no pixels.
    void zeroSizes()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);

        // A straight line is one pixel high; a drawing without shapes one pixel each way.
        QVERIFY(SelectDrawing(*form, "Line"));
        Plan plan;
        plan.path = Out("line.bmp");
        Shown shown = Export(*form, responder, plan);
        QCOMPARE(shown.settingsTexts, QStringLiteral("100|80|1"));
        QCOMPARE(QImage::fromData(ReadAll(Out("line.bmp")), "BMP").size(), QSize(80, 1));
        QCOMPARE(ReadAll(Out("line.bmp")), Cli("c.dat", "line.bmp"));
        QVERIFY(SelectDrawing(*form, "Blank"));
        plan.path = Out("blank.jpg");
        shown = Export(*form, responder, plan);
        QCOMPARE(shown.settingsTexts, QStringLiteral("100|1|1"));
        QCOMPARE(QImage::fromData(ReadAll(Out("blank.jpg")), "JPG").size(), QSize(1, 1));
        QVERIFY(responder.seen.empty());

        // Scale 1 % of 20 x 10 pixels is 0 x 0: refused with a message; the file of that
        // name stays as it was.
        QVERIFY(SelectDrawing(*form, "Small"));
        QVERIFY(WriteAll(Out("small.bmp"), "old"));
        plan.path = Out("small.bmp");
        plan.scale = QStringLiteral("1");
        plan.pressEnter = true;
        shown = Export(*form, responder, plan);
        QCOMPARE(shown.settingsDialogs, 1);
        QCOMPARE(shown.settingsTexts, QStringLiteral("100|20|10"));
        QCOMPARE(responder.seen.size(), std::size_t(1));
        QCOMPARE(responder.seen[0].title, QStringLiteral("Quarnel Plotwick"));
        QCOMPARE(responder.seen[0].text, SmallNamed() + QStringLiteral("The image size 0 x 0 has no pixels."));
        QCOMPARE(ReadAll(Out("small.bmp")), QByteArray("old"));
        responder.seen.clear();
        // Leaving the scale field with Tab puts the focus in the width field, which then shows
        // 0; clicking "&Ok" leaves that field too: its 0 is committed as 1, the height stays 0.
        plan.pressEnter = false;
        Export(*form, responder, plan);
        QCOMPARE(responder.seen.size(), std::size_t(1));
        QCOMPARE(responder.seen[0].text, SmallNamed() + QStringLiteral("The image size 1 x 0 has no pixels."));
        QCOMPARE(ReadAll(Out("small.bmp")), QByteArray("old"));
        responder.seen.clear();

        // A size beyond what the rasteriser takes is refused before any memory is taken.
        plan.path = Out("huge.jpg");
        plan.scale = QStringLiteral("200000");
        Export(*form, responder, plan);
        QCOMPARE(responder.seen.size(), std::size_t(1));
        QCOMPARE(responder.seen[0].text,
                 SmallNamed() + QStringLiteral("The image size 40000 x 20000 is too large; the largest side is 16383 pixels."));
        QVERIFY(!QFile::exists(Out("huge.jpg")));
        QVERIFY(form->isVisible());
    }

    // A folder that cannot be written and a write that stops halfway (as on a full disk): the
    // error is shown, the file of that name is left as it was and nothing else is left behind.
    void failedWritesLeaveTheFile()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Lettering"));
        Plan plan;
        plan.path = Out("missing/folder.emf");
        Export(*form, responder, plan);
        QCOMPARE(responder.seen.size(), std::size_t(1));
        QCOMPARE(responder.seen[0].title, QStringLiteral("Quarnel Plotwick"));
        // The drawing and its file first, then what went wrong.
        const QString named = QStringLiteral("Drawing \u201CLettering\u201D, file %1:\n").arg(QString::fromStdString(RecordPath("b.dat")));
        QVERIFY2(responder.seen[0].text.startsWith(named + QStringLiteral("Cannot create file ")),
                 qPrintable(responder.seen[0].text));
        QVERIFY(!QDir(Out("missing")).exists());
        responder.seen.clear();

        for (const char* name : {"full.emf", "full.svg", "full.wmf", "full.bmp", "full.jpg"}) {
            const QString path = Out(QString::fromLatin1(name));
            QVERIFY(WriteAll(path, "the old file"));
            plan.path = path;
            {
                const FileSizeLimit limit(64);
                QVERIFY(limit.Ok());
                Export(*form, responder, plan);
            }
            QCOMPARE(responder.seen.size(), std::size_t(1));
            QCOMPARE(responder.seen[0].text, named + QStringLiteral("Stream write error"));
            QCOMPARE(ReadAll(path), QByteArray("the old file"));
            responder.seen.clear();
        }
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 5);
        // Without the limit the same export goes through.
        plan.path = Out("full.emf");
        Export(*form, responder, plan);
        QVERIFY(responder.seen.empty());
        QVERIFY(ReadAll(Out("full.emf")) != QByteArray("the old file"));
    }

    // "Copy as Vectors": the metafile and the SVG of the drawing, the bytes the files hold.
    void copyAsVectors()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        for (const char* caption : {"Lettering", "Blank"}) {
            QVERIFY(SelectDrawing(*form, QString::fromLatin1(caption)));
            const std::string record = form->SelectedDrawing()->FFileName;
            QGuiApplication::clipboard()->setText(QStringLiteral("before"));
            form->Copyasvectors1->trigger();
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            QVERIFY(data);
            QVERIFY(!data->hasText());  // the whole content was replaced
            const QByteArray emf = data->data(QStringLiteral("image/x-emf"));
            QVERIFY(!emf.isEmpty());
            QCOMPARE(emf, Cli(record, "copy.emf"));
            const QByteArray svg = data->data(QStringLiteral("image/svg+xml"));
            QVERIFY(svg.startsWith("<svg "));
            QCOMPARE(svg, SvgFileAsUtf8(Cli(record, "copy.svg", {"--text-outlines"})));
        }
        QVERIFY(responder.seen.empty());
    }

    // "Copy as Bitmap": one pixel per drawing unit, the drawing stretched with its margin.
    void copyAsBitmap()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(SelectDrawing(*form, "Square"));
        form->Copyasvectors1->trigger();
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/x-emf")));
        form->CopyasBitmap1->trigger();
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data->hasImage());
        QVERIFY(!data->hasFormat(QStringLiteral("image/x-emf")));
        QImage image = QGuiApplication::clipboard()->image();
        QCOMPARE(image.size(), QSize(100, 100));
        QCOMPARE(image.pixelColor(50, 50), QColor(0xFF, 0, 0));
        // The same pixels as a BMP export at 100 %.
        Plan plan;
        plan.path = Out("square.bmp");
        Export(*form, responder, plan);
        QCOMPARE(image.convertToFormat(QImage::Format_RGB32),
                 QImage::fromData(ReadAll(Out("square.bmp")), "BMP").convertToFormat(QImage::Format_RGB32));

        QVERIFY(SelectDrawing(*form, "Line"));
        form->CopyasBitmap1->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(80, 1));
        QVERIFY(SelectDrawing(*form, "Blank"));
        form->CopyasBitmap1->trigger();
        image = QGuiApplication::clipboard()->image();
        QCOMPARE(image.size(), QSize(1, 1));
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::white));
        QVERIFY(responder.seen.empty());
    }

    // Without a selected drawing the commands do nothing; with one they act on it.
    void commandsNeedASelectedDrawing()
    {
        const std::string other = user->AddDatabase(kDrawings, "Other");
        user->AddRecord(other, "z.dat", SquareRecord("Elsewhere"));
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(!form->Export1->isEnabled());
        QVERIFY(SelectDrawing(*form, "Square"));
        QVERIFY(form->Export1->isEnabled());
        // Another database: no drawing is selected, and the commands are disabled; run anyway
        // (as a held command would), they do nothing.
        QTreeWidgetItem* node = Node(*form, "Other");
        QVERIFY(node);
        form->dbTree->setCurrentItem(node);
        QVERIFY(!form->Copyasvectors1->isEnabled());
        for (QAction* a : {form->Export1, form->Copyasvectors1, form->CopyasBitmap1})
            a->setEnabled(true);
        QVERIFY(!form->SelectedDrawing());
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        Plan plan;
        plan.path = Out("none.emf");
        const Shown shown = Export(*form, responder, plan);
        QCOMPARE(shown.saveDialogs, 0);
        form->Copyasvectors1->trigger();
        form->CopyasBitmap1->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
        QVERIFY(QDir(out).entryList(QDir::Files).isEmpty());
        QVERIFY(responder.seen.empty());
        QVERIFY(QApplication::overrideCursor() == nullptr);

        QVERIFY(SelectDrawing(*form, "Elsewhere"));
        form->CopyasBitmap1->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(100, 100));
    }

    // A command chosen while a text is laid out waits, and then runs on the drawing selected.
    void commandHeldWhileBusy()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        bool busyThen = false;
        log->beforeLoad = [&] {
            log->beforeLoad = nullptr;
            busyThen = form->Busy();
            form->CopyasBitmap1->trigger();
            QVERIFY(!QGuiApplication::clipboard()->mimeData()->hasImage());
        };
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        QVERIFY(SelectDrawing(*form, "Square"));
        QVERIFY(busyThen);
        QTRY_VERIFY(QGuiApplication::clipboard()->mimeData()->hasImage());
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(100, 100));
    }
};

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
