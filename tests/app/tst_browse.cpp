// Browsing: selecting roots, databases and drawings; the drawing list, the preview, the
// substitute font, the drawing commands, and commands held while a text is laid out.
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/Panels.h"
#include "app/RenderQueue.h"
#include "model/Drawing.h"
#include "text/VFont.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TMainForm;

namespace {

QString Title(const app::TTitlePanel* panel) { return panel->caption(); }

}  // namespace

class BrowseTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;
    std::unique_ptr<fixture::UserFolder> user;
    std::string sketches, empty, library;

    std::unique_ptr<TMainForm> Open()
    {
        auto form = std::make_unique<TMainForm>(Services(state, log));
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return nullptr;
        return form;
    }

    QTreeWidgetItem* Node(TMainForm& form, QTreeWidgetItem* root, const QString& caption)
    {
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(0) == caption)
                return root->child(i);
        return nullptr;
    }

    // Waits for the row: the records after a first slice are added from the event loop.
    void Select(TMainForm& form, int row)
    {
        QTRY_VERIFY(form.drList->count() > row);
        form.drList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        StartFresh(dir, state, log);
        state->users.push_back({12, "John Smith", "jsmith"});
        user = std::make_unique<fixture::UserFolder>(dir->Path() + "/jsmith");
        sketches = user->AddDatabase(kDrawings, "Sketches");
        // Listed in the file system's order, whatever the names inside say.
        user->AddRecord(sketches, "b.dat", SquareRecord("House"));
        user->AddRecord(sketches, "A.dat", SquareRecord("Tree"));
        user->AddRecord(sketches, ".hidden.dat", SquareRecord("Hidden one"));  // hidden records are listed
        user->AddRecord(sketches, "c.DAT", SquareRecord("\xC9t\xE9"));          // handheld text: Windows-1252
        user->AddRecord(sketches, "notes.txt", SquareRecord("Not a record"));
        fixture::MakeFolders(sketches + "/Folder.dat");                        // cannot be opened
        empty = user->AddDatabase(kDrawings, "Empty");
        library = user->AddDatabase(kLibrary, "Shapes");
        user->AddRecord(library, "s1.dat", SquareRecord("Star"));
    }

    void cleanup()
    {
        user.reset();
        dir.reset();
        FontList.Clear();
    }

    void selectingADatabaseListsItsRecords()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QCOMPARE(Title(form->panDrTitle), QStringLiteral("Drawings"));
        QCOMPARE(Title(form->panPrTitle), QStringLiteral("Preview"));
        QCOMPARE(form->panPreview->caption(), QStringLiteral("No drawing selected"));

        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        QCOMPARE(Title(form->panDrTitle), QStringLiteral("Drawings from: Sketches"));
        QCOMPARE(ItemTexts(form->drList),
                 (QStringList{"Hidden one", "Tree", "House", QStringLiteral("\u00C9t\u00E9"), "Folder.dat"}));
        QVERIFY(responder.seen.empty());
        // Each item carries its drawing; the unreadable one too, shown with its file name.
        for (int i = 0; i < form->drList->count(); ++i)
            QVERIFY(TMainForm::ItemDrawing(form->drList->item(i)));
        TDrawing* broken = TMainForm::ItemDrawing(form->drList->item(4));
        QCOMPARE(broken->FFileName, std::string("Folder.dat"));
        QVERIFY(!broken->FThumbnail);
        QVERIFY(!form->drList->item(4)->icon().isNull());
        QVERIFY(form->drList->item(4)->toolTip().contains("cannot be read"));
        // Thumbnails at 32 x 32, pure white see-through.
        const QImage thumb = form->drList->item(1)->icon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(thumb.size(), QSize(32, 32));
        QCOMPARE(qAlpha(thumb.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(thumb.pixel(16, 16)), 255);
        QCOMPARE(qRed(thumb.pixel(16, 16)), 0);
        // Nothing selected, nothing rendered, the commands still off.
        QVERIFY(form->drList->selectedItems().isEmpty());
        QVERIFY(log->calls.empty());
        QVERIFY(!form->Export1->isEnabled());
        QCOMPARE(form->drList->viewMode(), QListView::IconMode);
        QCOMPARE(form->drList->iconSize(), QSize(32, 32));
    }

    void selectingARootChangesNothing()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        QTRY_COMPARE(form->drList->count(), 5);
        form->dbTree->setCurrentItem(form->LibrariesRoot());
        QCOMPARE(form->drList->count(), 5);
        QCOMPARE(Title(form->panDrTitle), QStringLiteral("Drawings from: Sketches"));
    }

    void emptyDatabaseEmptiesTheList()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Empty"));
        QCOMPARE(form->drList->count(), 0);
        QCOMPARE(Title(form->panDrTitle), QStringLiteral("Drawings from: Empty"));
        form->dbTree->setCurrentItem(Node(*form, form->LibrariesRoot(), "Shapes"));
        QCOMPARE(ItemTexts(form->drList), QStringList{"Star"});
    }

    void selectingADrawingRendersItsPreview()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        // Listing shows the hourglass and holds commands; so does rendering, with its own cursor.
        int listCursor = -1;
        bool listBusy = false;
        QTimer::singleShot(0, form.get(), [&] {
            listCursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1;
            listBusy = form->Busy();
        });
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        QCOMPARE(listCursor, int(Qt::WaitCursor));
        QVERIFY(listBusy);
        QVERIFY(!QApplication::overrideCursor());
        int renderCursor = -1;
        log->beforeLoad = [&] {
            renderCursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1;
        };
        QSignalSpy rendered(form.get(), &TMainForm::previewRendered);
        Select(*form, 2);
        QCOMPARE(renderCursor, int(Qt::BusyCursor));
        QVERIFY(!QApplication::overrideCursor());
        log->beforeLoad = nullptr;
        QCOMPARE(Title(form->panPrTitle), QStringLiteral("Preview: House"));
        QVERIFY(form->Export1->isEnabled());
        QVERIFY(form->Copyasvectors1->isEnabled());
        QVERIFY(form->CopyasBitmap1->isEnabled());
        QCOMPARE(rendered.count(), 1);
        QCOMPARE(log->calls.size(), std::size_t(1));
        QCOMPARE(log->calls[0].name, std::string("House"));
        QCOMPARE(log->calls[0].shapes, std::size_t(1));
        // The bitmap is sized to the image control.
        QVERIFY(!form->imgPreview->size().isEmpty());
        QCOMPARE(log->calls[0].pixels, form->imgPreview->size() * form->imgPreview->devicePixelRatioF());
        QCOMPARE(form->imgPreview->image().pixelColor(3, 3), log->fill);
        QCOMPARE(form->imgPreview->geometry(), form->panPreview->contentsRect());

        // Another drawing: rendered afresh.
        log->fill = Qt::darkGreen;
        Select(*form, 1);
        QCOMPARE(Title(form->panPrTitle), QStringLiteral("Preview: Tree"));
        QCOMPARE(log->calls.size(), std::size_t(2));
        QCOMPARE(log->calls[1].name, std::string("Tree"));
        QCOMPARE(form->imgPreview->image().pixelColor(3, 3), QColor(Qt::darkGreen));

        // Deselecting turns the commands off; the preview stays.
        form->drList->clearSelection();
        QVERIFY(!form->Export1->isEnabled());
        QVERIFY(!form->Copyasvectors1->isEnabled());
        QVERIFY(!form->CopyasBitmap1->isEnabled());
        QCOMPARE(Title(form->panPrTitle), QStringLiteral("Preview: Tree"));
        QCOMPARE(log->calls.size(), std::size_t(2));
    }

    void anotherDatabaseClearsPreviewAndCommands()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        Select(*form, 1);
        QVERIFY(form->Export1->isEnabled());
        form->dbTree->setCurrentItem(Node(*form, form->LibrariesRoot(), "Shapes"));
        QCOMPARE(ItemTexts(form->drList), QStringList{"Star"});
        QVERIFY(form->drList->selectedItems().isEmpty());
        // A new list: no preview of a drawing no longer listed, no command acting on nothing.
        for (QAction* a : {form->Export1, form->Copyasvectors1, form->CopyasBitmap1})
            QVERIFY(!a->isEnabled());
        QCOMPARE(Title(form->panPrTitle), QStringLiteral("Preview"));
        QVERIFY(form->imgPreview->image().isNull());
        QVERIFY(form->SelectedDrawing() == nullptr);
        // A command run all the same (as a held one would be) finds no drawing.
        form->Export1->trigger();
        form->Copyasvectors1->trigger();
        form->CopyasBitmap1->trigger();
        QVERIFY(responder.seen.empty());
    }

    // A long preview title is cut short; "Substitute font" keeps its whole width at the right.
    void longTitleLeavesTheCheckBoxWhole()
    {
        user->AddRecord(sketches, "long.dat", SquareRecord("A rather long drawing name"));
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->Splitter1->setSizes({TMainForm::kDesignedPanLeft, form->width() - TMainForm::kDesignedPanLeft});
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        QTRY_VERIFY(ItemTexts(form->drList).contains("A rather long drawing name"));
        Select(*form, ItemTexts(form->drList).indexOf("A rather long drawing name"));
        QCOMPARE(Title(form->panPrTitle), QStringLiteral("Preview: A rather long drawing name"));
        QTRY_VERIFY(form->CheckBox1->width() >= form->CheckBox1->sizeHint().width());
        QVERIFY(form->CheckBox1->geometry().right() < form->panPrTitle->width());
        QVERIFY(form->panLeft->width() <= TMainForm::kDesignedPanLeft);
    }

    void substituteFontRerenders()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QVERIFY(!form->CheckBox1->isChecked());
        QCOMPARE(form->CheckBox1->text(), QStringLiteral("Substitute font"));

        // With no drawing selected only the variable changes.
        QTest::mouseClick(form->CheckBox1, Qt::LeftButton);
        QCOMPARE(form->SubstituteFontName(), std::string("Arial"));
        QVERIFY(log->calls.empty());
        QTest::mouseClick(form->CheckBox1, Qt::LeftButton);
        QCOMPARE(form->SubstituteFontName(), std::string());

        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        Select(*form, 1);
        QCOMPARE(log->calls.size(), std::size_t(1));
        QCOMPARE(log->calls[0].substitute, std::string());
        QTest::mouseClick(form->CheckBox1, Qt::LeftButton);
        QVERIFY(form->CheckBox1->isChecked());
        QCOMPARE(form->SubstituteFontName(), std::string("Arial"));
        QCOMPARE(log->calls.size(), std::size_t(2));
        QCOMPARE(log->calls[1].substitute, std::string("Arial"));
        QCOMPARE(log->calls[1].name, std::string("Tree"));
        QTest::mouseClick(form->CheckBox1, Qt::LeftButton);
        QCOMPARE(form->SubstituteFontName(), std::string());
        QCOMPARE(log->calls.size(), std::size_t(3));
        QCOMPARE(log->calls[2].substitute, std::string());

        // The switch survives a change of database and of user.
        QTest::mouseClick(form->CheckBox1, Qt::LeftButton);
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Empty"));
        QCOMPARE(form->SubstituteFontName(), std::string("Arial"));
        responder.pick = 0;
        form->SelectUser1->trigger();
        QTRY_COMPARE(responder.Count("users"), 1);
        QCOMPARE(form->SubstituteFontName(), std::string("Arial"));
        QVERIFY(form->CheckBox1->isChecked());
    }

    void resizingRerendersAtTheNewSize()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        Select(*form, 1);
        QCOMPARE(log->calls.size(), std::size_t(1));
        const QSize before = log->calls[0].pixels;

        // Dragging Splitter2 changes the preview's height.
        const QList<int> sizes = form->Splitter2->sizes();
        form->Splitter2->setSizes({sizes[0] - 40, sizes[1] + 40});
        QTRY_VERIFY(log->calls.size() >= 2);
        QCOMPARE(log->calls.back().pixels, form->imgPreview->size());
        QCOMPARE(log->calls.back().pixels.height(), before.height() + 40);

        // So does Splitter1, with the width.
        std::size_t n = log->calls.size();
        const QList<int> columns = form->Splitter1->sizes();
        form->Splitter1->setSizes({columns[0] + 30, columns[1] - 30});
        QTRY_VERIFY(log->calls.size() > n);
        QCOMPARE(log->calls.back().pixels, form->imgPreview->size());
        QCOMPARE(log->calls.back().pixels.width(), before.width() + 30);

        // A larger window gives the room to the tree and the list: the left column and the
        // preview box keep their sizes.
        const int leftWidth = form->panLeft->width();
        const int boxHeight = form->panPrevBox->height();
        n = log->calls.size();
        form->resize(form->width() + 50, form->height() + 30);
        QTRY_COMPARE(form->Splitter1->width(), form->centralWidget()->width());
        QTest::qWait(20);
        QCOMPARE(form->panLeft->width(), leftWidth);
        QCOMPARE(form->panPrevBox->height(), boxHeight);
        QCOMPARE(log->calls.back().pixels, form->imgPreview->size());
    }

    void unreadableRecordReportsItsError()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        Select(*form, 1);
        QVERIFY(!form->imgPreview->image().isNull());
        Select(*form, 4);
        QTRY_COMPARE(responder.Count("message"), 1);
        QCOMPARE(responder.Texts(),
                 QStringList{QStringLiteral("Quarnel Plotwick: Drawing \u201CFolder.dat\u201D, file %1/Folder.dat:\n"
                                            "File is not open.")
                                 .arg(QString::fromStdString(sketches))});
        QCOMPARE(Title(form->panPrTitle), QStringLiteral("Preview: Folder.dat"));
        // No stale picture under its title; the window goes on.
        QVERIFY(form->imgPreview->image().isNull());
        Select(*form, 2);
        QCOMPARE(log->calls.back().name, std::string("House"));
        QVERIFY(!form->imgPreview->image().isNull());
    }

    void shortcutsReachTheCommands()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QCOMPARE(form->Copyasvectors1->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
        QCOMPARE(form->CopyasBitmap1->shortcut(), QKeySequence(QStringLiteral("Ctrl+B")));
        QCOMPARE(form->Export1->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
        QCOMPARE(form->Export1->text(), QStringLiteral("E&xport\u2026"));
        QCOMPARE(form->Copyasvectors1->text(), QStringLiteral("Copy as &Vectors"));
        QCOMPARE(form->CopyasBitmap1->text(), QStringLiteral("Copy as &Bitmap"));
        QCOMPARE(form->SelectUser1->text(), QStringLiteral("Select &User"));
        QCOMPARE(form->About2->text(), QStringLiteral("&About"));
        QCOMPARE(form->File1->title(), QStringLiteral("&File"));
        QCOMPARE(form->Options1->title(), QStringLiteral("&User"));
        QCOMPARE(form->About1->title(), QStringLiteral("&Help"));
        QVERIFY(form->N1->isSeparator());

        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        Select(*form, 1);
        QSignalSpy vectors(form->Copyasvectors1, &QAction::triggered);
        QSignalSpy bitmap(form->CopyasBitmap1, &QAction::triggered);
        form->activateWindow();
        form->drList->setFocus();
        QTRY_VERIFY(form->drList->hasFocus());
        QTest::keyClick(form->drList, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(form->drList, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(vectors.count(), 1);
        QCOMPARE(bitmap.count(), 1);
    }

    void componentsCarryTheirDesignedNames()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        for (const char* name : {"dbTree", "drList", "imgPreview", "panLeft", "Panel3", "panPrevBox", "panPrTitle",
                                 "CheckBox1", "panPreview", "Splitter1", "Splitter2", "Panel2", "panDrTitle",
                                 "StatusBar1", "File1", "Options1", "About1"})
            QVERIFY2(form->findChild<QObject*>(QString::fromLatin1(name)), name);
        for (const char* name : {"Export1", "N1", "Copyasvectors1", "CopyasBitmap1", "SelectUser1", "About2"})
            QVERIFY2(form->findChild<QAction*>(QString::fromLatin1(name)), name);
        QCOMPARE(Title(form->Panel3), QStringLiteral("Databases"));
        QCOMPARE(form->panPrevBox->caption(), QStringLiteral("No drawing selected"));
        QCOMPARE(form->dbTree->indentation(), 19);
    }

    // A drawing whose text is laid out in a font of the user's: the layout lets events
    // through, and the commands that would free the drawing or the fonts wait.
    void commandsWaitWhileATextIsLaidOut()
    {
        const std::string font = user->AddDatabase(kFonts, "Block", 1.0f, 1000);
        const fixture::Bytes glyph = fixture::Path(0, std::nullopt, {fixture::M(0, 0), fixture::L(500, 0),
                                                                     fixture::L(500, -700), fixture::Z()});
        for (char c : std::string("ABC"))
            fixture::WriteFile(font + "/g" + c + ".dat",
                               fixture::GlyphRecord(static_cast<std::uint8_t>(c),
                                                    std::pair<std::uint16_t, std::int16_t>{600, 0}, glyph));
        user->AddRecord(sketches, "t.dat",
                        fixture::Record("Lettering", fixture::Text(0, 0, 0, std::nullopt, "Block", 24,
                                                                   fixture::kIdentity, "ABCABC")));
        ModalResponder responder;
        responder.pick = 0;
        auto form = Open();
        QVERIFY(form);
        QCOMPARE(FontList.FFonts.size(), std::size_t(1));
        form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Sketches"));
        QTRY_VERIFY(ItemTexts(form->drList).contains("Lettering"));
        const int lettering = ItemTexts(form->drList).indexOf("Lettering");

        // While the text is laid out, the user picks another database, ticks the substitute
        // font, asks for another user and closes the window.
        bool ranDuringLayout = false;
        bool busyThen = false;
        bool listIntact = false;
        bool fontsIntact = false;
        // The worker only raises a flag: the window's thread sees it and acts (a functor posted
        // from the worker would be freed there, by Qt, out of ThreadSanitizer's sight).
        std::atomic<bool> loading{false}, acted{false};
        log->beforeLoad = [&] {
            loading = true;
            for (int ms = 0; !acted && ms < 10000; ++ms)  // the render goes on once the user has acted
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        QTimer poll;
        connect(&poll, &QTimer::timeout, form.get(), [&] {
            if (!loading || std::exchange(ranDuringLayout, true))
                return;
            busyThen = form->Busy();
            form->dbTree->setCurrentItem(Node(*form, form->DrawingsRoot(), "Empty"));
            QTest::mouseClick(form->CheckBox1, Qt::LeftButton);
            form->SelectUser1->trigger();
            form->About2->trigger();
            form->close();
            listIntact = form->drList->count() == 6 && form->SelectedDrawing() != nullptr;
            fontsIntact = FontList.FFonts.size() == 1;
            acted = true;
        });
        poll.start(1);
        Select(*form, lettering);
        // The held commands abandoned the preview; its worker still finishes the render it began.
        form->RenderQueue().Wait();
        QVERIFY(ranDuringLayout);
        QVERIFY(busyThen);
        QVERIFY(listIntact);
        QVERIFY(fontsIntact);
        // The render went through with the drawing it started with.
        QCOMPARE(log->calls.size(), std::size_t(1));
        QCOMPARE(log->calls[0].name, std::string("Lettering"));
        QCOMPARE(log->calls[0].substitute, std::string());
        QCOMPARE(form->SubstituteFontName(), std::string());
        QVERIFY(form->isVisible());

        // Then the held commands run, in turn.
        QTRY_COMPARE(Title(form->panDrTitle), QStringLiteral("Drawings from: Empty"));
        QTRY_COMPARE(form->SubstituteFontName(), std::string("Arial"));
        QTRY_COMPARE(responder.Count("users"), 1);
        QTRY_COMPARE(responder.Count("about"), 1);
        QTRY_VERIFY(!form->isVisible());
        QCOMPARE(responder.Count("message"), 0);
    }
};

QTEST_MAIN(BrowseTest)
#include "tst_browse.moc"
