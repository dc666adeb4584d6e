// Opening drawings: the folder named on the command line, "Open Folder…", a folder dropped on
// the window and "Open Recent"; where a start begins; the empty drawing list that says what to
// open; and that nothing is ever written into an opened folder.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/EmptyState.h"
#include "app/ExportForm.h"
#include "app/Panels.h"
#include "platform/userdata/UserData.h"
#include "text/VFont.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TMainForm;

namespace {

const QString kExpected = QStringLiteral(
    " Expected a HotSync user folder (a folder with QNDraw inside), a folder that holds user folders, or a "
    "database folder inside QNDraw.");

// Every entry below folder, a file with the checksum of its bytes.
QStringList TreeChecksums(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        QString line = QDir(folder).relativeFilePath(entry.filePath());
        QFile file(entry.filePath());
        if (entry.isFile() && file.open(QIODevice::ReadOnly))
            line += QLatin1Char(' ') + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
        entries << line;
    }
    entries.sort();
    return entries;
}

// Drags urls over the drawing list and drops them there, as the window system delivers it;
// whether the window took the drag.
bool Drop(TMainForm& form, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = form.Panel2->mapTo(&form, form.Panel2->rect().center());
    const Qt::DropActions actions = Qt::CopyAction | Qt::LinkAction;
    QDragEnterEvent enter(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &move);
    QDropEvent drop(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
    return drop.isAccepted();
}

QStringList MenuTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* a : menu->actions())
        texts << a->text();
    return texts;
}

// The database selected in the tree, or "".
QString CurrentNode(const TMainForm& form)
{
    QTreeWidgetItem* node = form.dbTree->currentItem();
    return TMainForm::NodeDatabase(node) ? node->text(0) : QString();
}

// The empty drawing list's first line, or "" when the list is shown.
QString Headline(const TMainForm& form)
{
    if (form.emptyState->isHidden() == form.drList->isHidden())
        return QStringLiteral("<the list and the empty state both shown or both hidden>");
    return form.emptyState->isHidden() ? QString() : form.emptyState->headline();
}

}  // namespace

class OpenTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;
    QString base, jsmith, anna;

    QString At(const QString& name) const { return QString::fromStdString(dir->Path()) + QLatin1Char('/') + name; }

    std::unique_ptr<TMainForm> Make(const QString& path = {})
    {
        return std::make_unique<TMainForm>(FolderServices(log), path);
    }

    static bool Show(TMainForm& form)
    {
        form.show();
        return QTest::qWaitForWindowExposed(&form);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        StartFresh(dir, state, log);
        qunsetenv(userdata::kBaseFolderVariable);
        qputenv("XDG_DATA_HOME", At(QStringLiteral("data")).toUtf8());  // no default base folder
        base = At(QStringLiteral("HotSync"));
        jsmith = base + QStringLiteral("/JSmith");
        anna = base + QStringLiteral("/Anna");
        fixture::UserFolder j(jsmith.toStdString());
        const std::string sketches = j.AddDatabase(kDrawings, "Sketches");
        j.AddRecord(sketches, "a.dat", SquareRecord("Square"));
        const std::string travel = j.AddDatabase(kDrawings, "Travel");
        j.AddRecord(travel, "p.dat", SquareRecord("Paris"));
        j.AddRecord(travel, "r.dat", SquareRecord("Rome"));
        j.AddDatabase(kLibrary, "Shapes");
        fixture::UserFolder a(anna.toStdString());
        a.AddDatabase(kDrawings, "AnnasDb");
        QVERIFY(QDir().rename(anna + QStringLiteral("/QNDraw"), anna + QStringLiteral("/qnDRAW")));
        fixture::MakeFolders(base.toStdString() + "/Backup");
    }

    void cleanup()
    {
        dir.reset();
        FontList.Clear();
        qunsetenv("XDG_DATA_HOME");
    }

    // The program's command line, answered without a display where it can be.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("out");  // lines the standard output holds
        QTest::addColumn<QString>("err");
        const QStringList help = {"Usage: plotwick [options] [PATH]", "  -h, --help ", "  -v, --version ",
                                  "  PATH  "};
        const QStringList version = {"plotwick " PLOTWICK_VERSION};
        QTest::newRow("--help") << QStringList{"--help"} << 0 << help << "";
        QTest::newRow("-h, with a path") << QStringList{"-h", "somewhere"} << 0 << help << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << "";
        QTest::newRow("-v") << QStringList{"-v"} << 0 << version << "";
        QTest::newRow("two paths") << QStringList{"a", "b"} << 2 << QStringList{}
                                   << "plotwick: Only one PATH may be given.\nTry 'plotwick --help'.\n";
        QTest::newRow("unknown option") << QStringList{"--bogus", "a"} << 2 << QStringList{}
                                        << "plotwick: Unknown option 'bogus'.\nTry 'plotwick --help'.\n";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, out);
        QFETCH(QString, err);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PLOTWICK_PROGRAM), arguments);
        QVERIFY(program.waitForFinished(30000));
        QString printed = QString::fromUtf8(program.readAllStandardOutput());
        printed.replace(PLOTWICK_PROGRAM, "plotwick");
        QCOMPARE(QString::fromUtf8(program.readAllStandardError()), err);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        for (const QString& line : out)
            QVERIFY2(printed.contains(line), qPrintable(printed));
        if (out.isEmpty())
            QCOMPARE(printed, QString());
    }

    void startsWithThePathGiven_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("dialog");  // the "Select user" entries, when it shows
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("drawingDbs");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("drawings");
        QTest::addColumn<QString>("headline");

        const QString none = QStringLiteral("Quarnel Plotwick");
        QTest::newRow("base folder") << QStringLiteral("HotSync") << QStringList{"Anna", "JSmith"}
                                     << "Quarnel Plotwick - Anna" << QStringList{"AnnasDb"} << "" << QStringList{}
                                     << "";
        QTest::newRow("user folder") << QStringLiteral("HotSync/JSmith/") << QStringList{}
                                     << "Quarnel Plotwick - JSmith" << QStringList{"Sketches", "Travel"} << ""
                                     << QStringList{} << "";
        QTest::newRow("user folder, qnDRAW inside") << QStringLiteral("HotSync/Anna") << QStringList{}
                                                    << "Quarnel Plotwick - Anna" << QStringList{"AnnasDb"} << ""
                                                    << QStringList{} << "";
        QTest::newRow("database folder") << QStringLiteral("HotSync/JSmith/QNDraw/DDRW/Travel") << QStringList{}
                                         << "Quarnel Plotwick - JSmith" << QStringList{"Sketches", "Travel"}
                                         << "Travel" << QStringList{"Paris", "Rome"} << "";
        QTest::newRow("not a HotSync folder")
            << QStringLiteral("HotSync/Backup") << QStringList{} << none << QStringList{} << "" << QStringList{}
            << "%1 is not a HotSync folder." + kExpected;
        QTest::newRow("a file") << QStringLiteral("HotSync/JSmith/QNDraw/DDRW/Travel.dat") << QStringList{} << none
                                << QStringList{} << "" << QStringList{} << "%1 is not a folder." + kExpected;
        QTest::newRow("no such folder") << QStringLiteral("HotSync/Nobody") << QStringList{} << none << QStringList{}
                                        << "" << QStringList{} << "There is no folder %1." + kExpected;
    }

    void startsWithThePathGiven()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, dialog);
        QFETCH(QString, title);
        QFETCH(QStringList, drawingDbs);
        QFETCH(QString, selected);
        QFETCH(QStringList, drawings);
        QFETCH(QString, headline);
        ModalResponder responder;
        auto form = Make(At(path));
        QVERIFY(Show(*form));

        QCOMPARE(responder.Count("message"), 0);
        QCOMPARE(responder.Count("users"), dialog.isEmpty() ? 0 : 1);
        if (!dialog.isEmpty())
            QCOMPARE(responder.seen[0].entries, dialog);
        QCOMPARE(form->windowTitle(), title);
        QCOMPARE(ChildTexts(form->DrawingsRoot()), drawingDbs);
        QCOMPARE(CurrentNode(*form), selected);
        QCOMPARE(ItemTexts(form->drList), drawings);
        if (!selected.isEmpty())
            QCOMPARE(form->panDrTitle->caption(), "Drawings from: " + selected);
        const QString folder = QDir::cleanPath(At(path));
        QCOMPARE(Headline(*form), headline.contains("%1") ? headline.arg(folder) : headline);
        // A folder that opened is remembered, at once; the layout waits for the exit.
        const QStringList remembered = headline.isEmpty() ? QStringList{folder} : QStringList{};
        QCOMPARE(MenuTexts(form->OpenRecent1), remembered);
        QCOMPARE(ReadSetting("LastFolder").toString(), remembered.value(0));
        QVERIFY(!ReadSetting("WinState").isValid());
    }

    void emptyFirstStart_data()
    {
        QTest::addColumn<QString>("baseVariable");  // PLOTWICK_HOTSYNC_BASE, relative to the test folder
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("headline");
        QTest::newRow("no base folder") << "" << "Quarnel Plotwick"
                                        << "No HotSync folder was found at %1/data/quarnel-plotwick/HotSync.";
        QTest::newRow("base without users") << "HotSync/Backup" << "Quarnel Plotwick"
                                            << "%1/HotSync/Backup holds no HotSync user folder.";
        QTest::newRow("empty user") << "Empty" << "Quarnel Plotwick - Empty"
                                    << "The user folder %1/Empty holds no drawings.";
    }

    void emptyFirstStart()
    {
        QFETCH(QString, baseVariable);
        QFETCH(QString, title);
        QFETCH(QString, headline);
        fixture::UserFolder(At(QStringLiteral("Empty")).toStdString());
        if (!baseVariable.isEmpty())
            qputenv(userdata::kBaseFolderVariable, At(baseVariable).toUtf8());
        ModalResponder responder;
        auto form = Make();
        qunsetenv(userdata::kBaseFolderVariable);
        QVERIFY(Show(*form));

        // No message that ends the program or asks to install or synchronise anything.
        QVERIFY2(responder.seen.empty(), qPrintable(responder.Texts().join('\n')));
        QCOMPARE(form->windowTitle(), title);
        for (auto* root : {form->DrawingsRoot(), form->LibrariesRoot(), form->FontsRoot()})
            QCOMPARE(root->childCount(), 0);
        QCOMPARE(Headline(*form), headline.arg(QString::fromStdString(dir->Path())));
        QVERIFY(form->emptyState->explanation().contains("a folder with QNDraw/DDRW inside"));
        QCOMPARE(form->emptyState->butOpenFolder->text(), QStringLiteral("Open Folder\u2026"));
        QVERIFY(form->OpenRecent1->actions().isEmpty());  // a start from the base folder names nothing

        // Its button opens the folder dialog; the folder chosen fills the window.
        responder.folderToOpen = jsmith;
        QTest::mouseClick(form->emptyState->butOpenFolder, Qt::LeftButton);
        QTRY_COMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - JSmith"));
        QCOMPARE(responder.Count("folder"), 1);
        QCOMPARE(responder.seen[0].title, QStringLiteral("Open Folder"));
        QCOMPARE(ChildTexts(form->DrawingsRoot()), (QStringList{"Sketches", "Travel"}));
        QCOMPARE(Headline(*form), QString());
        QVERIFY(form->drList->isVisible());
    }

    void openFolderCommand()
    {
        ModalResponder responder;
        auto form = Make(jsmith);
        QVERIFY(Show(*form));
        QCOMPARE(form->OpenFolder1->text(), QStringLiteral("Open Folder\u2026"));
        QCOMPARE(form->OpenFolder1->shortcut(), QKeySequence(QKeySequence::Open));
        QCOMPARE(MenuTexts(form->File1).mid(0, 2), (QStringList{"Open Folder\u2026", "Open Recent"}));

        // Cancelled: nothing changes.
        form->dbTree->setCurrentItem(form->DrawingsRoot()->child(1));
        QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(responder.Count("folder"), 1);
        QCOMPARE(responder.seen[0].text, jsmith);  // it starts where the window is
        QCOMPARE(ItemTexts(form->drList), (QStringList{"Paris", "Rome"}));

        // A folder that is not a HotSync folder: said so, and the window keeps what it shows.
        responder.folderToOpen = base + QStringLiteral("/Backup");
        form->OpenFolder1->trigger();
        QTRY_COMPARE(responder.Count("message"), 1);
        QCOMPARE(responder.seen.back().title, QStringLiteral("A problem"));
        QCOMPARE(responder.seen.back().text, base + "/Backup is not a HotSync folder." + kExpected);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - JSmith"));
        QCOMPARE(ItemTexts(form->drList), (QStringList{"Paris", "Rome"}));

        // The base folder: the user shown stays chosen without asking.
        responder.folderToOpen = base;
        form->OpenFolder1->trigger();
        QTRY_COMPARE(MenuTexts(form->OpenRecent1), (QStringList{base, jsmith}));
        QCOMPARE(responder.Count("users"), 0);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - JSmith"));
        QCOMPARE(form->drList->count(), 0);

        // The user menu offers the base's users, as plotwick-cli lists them.
        form->SelectUser1->trigger();
        QTRY_COMPARE(responder.Count("users"), 1);
        QProcess cli;
        cli.start(QStringLiteral(PLOTWICK_CLI), {QStringLiteral("users"), base});
        QVERIFY(cli.waitForFinished(30000));
        QStringList names;
        for (const QString& line : QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
            names << line.section('\t', 1, 1);
        QCOMPARE(responder.seen.back().entries, names);
        QCOMPARE(names, (QStringList{"Anna", "JSmith"}));
    }

    void dropOpensTheFolder()
    {
        ModalResponder responder;
        auto form = Make();
        QVERIFY(Show(*form));
        QVERIFY(form->acceptDrops());
        // A file is not taken; a folder is, wherever it is in the list of what is dragged.
        QVERIFY(!Drop(*form, {QUrl::fromLocalFile(jsmith + "/QNDraw/DDRW/Travel/p.dat")}));
        QVERIFY(!Drop(*form, {QUrl(QStringLiteral("https://example.org/JSmith"))}));
        QVERIFY(Drop(*form, {QUrl::fromLocalFile(jsmith + "/QNDraw/DDRW/Sketches.dat"),
                             QUrl::fromLocalFile(jsmith + "/QNDraw/DDRW/Travel")}));
        QTRY_COMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - JSmith"));
        QCOMPARE(CurrentNode(*form), QStringLiteral("Travel"));
        QCOMPARE(ItemTexts(form->drList), (QStringList{"Paris", "Rome"}));
        QCOMPARE(MenuTexts(form->OpenRecent1), QStringList{jsmith + "/QNDraw/DDRW/Travel"});

        QVERIFY(Drop(*form, {QUrl::fromLocalFile(base + "/Backup")}));
        QTRY_COMPARE(responder.Count("message"), 1);
        QCOMPARE(responder.seen[0].text, base + "/Backup is not a HotSync folder." + kExpected);
        QCOMPARE(ItemTexts(form->drList), (QStringList{"Paris", "Rome"}));
    }

    void openRecentDropsVanishedFolders()
    {
        // Twelve stored, ten kept; a stored folder that has gone is left out at once.
        QStringList stored;
        for (int i = 0; i < 12; ++i) {
            stored << At(QStringLiteral("old%1").arg(i));
            QVERIFY(QDir().mkpath(stored.back()));
        }
        stored.insert(1, At(QStringLiteral("gone")));
        WriteSetting("RecentFolders", stored);
        const QString oddName = base + QStringLiteral("/Old, Desktop & Co");
        QVERIFY(QDir().rename(jsmith, oddName));
        ModalResponder responder;
        auto form = Make();
        QVERIFY(Show(*form));
        stored.removeAt(1);
        QCOMPARE(MenuTexts(form->OpenRecent1), stored.mid(0, 10));

        for (const QString& folder : {oddName, anna}) {
            responder.folderToOpen = folder;
            form->OpenFolder1->trigger();
            QTRY_COMPARE(ReadSetting("LastFolder").toString(), folder);
        }
        const QString oddEntry = base + "/Old, Desktop && Co";  // no mnemonic in a folder's name
        QCOMPARE(MenuTexts(form->OpenRecent1), (QStringList{anna, oddEntry} + stored.mid(0, 8)));
        QCOMPARE(ReadSetting("RecentFolders").toStringList(), (QStringList{anna, oddName} + stored.mid(0, 8)));

        // An entry opens its folder and comes first.
        form->OpenRecent1->actions().at(1)->trigger();
        QTRY_COMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - Old, Desktop & Co"));
        QCOMPARE(MenuTexts(form->OpenRecent1).mid(0, 3), (QStringList{oddEntry, anna, stored[0]}));

        // Anna goes while the window runs: the menu leaves her out when it opens next.
        QVERIFY(QDir(anna).removeRecursively());
        form->OpenRecent1->popup(form->mapToGlobal(QPoint(10, 10)));
        QTRY_VERIFY(form->OpenRecent1->isVisible());
        form->OpenRecent1->hide();
        QCOMPARE(MenuTexts(form->OpenRecent1), QStringList{oddEntry} + stored.mid(0, 8));
        QCOMPARE(ReadSetting("RecentFolders").toStringList(), QStringList{oddName} + stored.mid(0, 8));

        // An entry that goes after the menu was made: said so, and dropped.
        QVERIFY(QDir(stored[0]).removeRecursively());
        form->OpenRecent1->actions().at(1)->trigger();
        QTRY_COMPARE(responder.Count("message"), 1);
        QCOMPARE(responder.seen.back().text, "There is no folder " + stored[0] + "." + kExpected);
        QCOMPARE(MenuTexts(form->OpenRecent1), QStringList{oddEntry} + stored.mid(1, 7));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - Old, Desktop & Co"));
    }

    void lastFolderIsWhereTheNextStartBegins()
    {
        {
            ModalResponder responder;
            auto form = Make(jsmith + "/QNDraw/DDRW/Travel");
        }
        const auto startTitle = [&](const QString& path) {
            auto form = Make(path);
            return form->windowTitle() + QLatin1Char('|') + CurrentNode(*form);
        };
        QCOMPARE(startTitle({}), QStringLiteral("Quarnel Plotwick - JSmith|Travel"));
        QCOMPARE(startTitle(anna), QStringLiteral("Quarnel Plotwick - Anna|"));
        QCOMPARE(startTitle({}), QStringLiteral("Quarnel Plotwick - Anna|"));
        // The environment's base folder comes before the last folder; it is not remembered.
        qputenv(userdata::kBaseFolderVariable, jsmith.toUtf8());
        QCOMPARE(startTitle({}), QStringLiteral("Quarnel Plotwick - JSmith|"));
        qunsetenv(userdata::kBaseFolderVariable);
        QCOMPARE(startTitle({}), QStringLiteral("Quarnel Plotwick - Anna|"));
        // A last folder that has gone: the default base folder, empty here.
        QVERIFY(QDir(anna).removeRecursively());
        QCOMPARE(startTitle({}), QStringLiteral("Quarnel Plotwick|"));
    }

    void nothingIsWrittenIntoAnOpenedFolder()
    {
        const QStringList before = TreeChecksums(base);
        const QString out = At(QStringLiteral("out/travel.svg"));
        QVERIFY(QDir().mkpath(At(QStringLiteral("out"))));
        {
            ModalResponder responder;
            responder.inspect = [&](QWidget* w) {
                if (auto* settings = qobject_cast<app::TExportForm*>(w)) {
                    settings->Button1->click();  // the SVG's "Text as outlines" as it is
                    return;
                }
                auto* save = qobject_cast<QFileDialog*>(w);
                if (!save || save->acceptMode() != QFileDialog::AcceptSave)
                    return;
                auto* name = save->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                name->setText(out);
                QTest::keyClick(name, Qt::Key_Return);
            };
            auto form = Make(base);
            QVERIFY(Show(*form));
            responder.folderToOpen = jsmith;
            form->OpenFolder1->trigger();
            QTRY_COMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - JSmith"));
            for (int i = 0; i < form->DrawingsRoot()->childCount(); ++i)
                form->dbTree->setCurrentItem(form->DrawingsRoot()->child(i));
            form->dbTree->setCurrentItem(form->LibrariesRoot()->child(0));
            form->dbTree->setCurrentItem(form->DrawingsRoot()->child(1));
            form->drList->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
            QTRY_VERIFY(form->PreviewCount() > 0);
            form->CheckBox1->click();
            form->Export1->trigger();
            form->Copyasvectors1->trigger();
            form->CopyasBitmap1->trigger();
            QVERIFY(Drop(*form, {QUrl::fromLocalFile(anna)}));
            QTRY_COMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - Anna"));
            QCOMPARE(responder.Count("message"), 0);
        }
        QVERIFY(QFileInfo(out).size() > 0);
        QCOMPARE(TreeChecksums(base), before);
    }
};

QTEST_MAIN(OpenTest)
#include "tst_open.moc"
