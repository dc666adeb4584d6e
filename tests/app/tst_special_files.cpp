// The window on a user folder with special files and damaged headers: a FIFO among the records
// or glyphs never stops it, and a damaged font header leaves the rest of the folder usable.
#include <sys/stat.h>

#include <QListWidget>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/Panels.h"
#include "text/VFont.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TMainForm;

class SpecialFilesTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;
    std::unique_ptr<fixture::UserFolder> user;
    std::string sketches, fonts;

    // Opens the window, lists Sketches and previews the drawing in the given row.
    std::unique_ptr<TMainForm> OpenAndPreview(int row)
    {
        auto form = std::make_unique<TMainForm>(Services(state, log));
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return nullptr;
        QTreeWidgetItem* node = ChildNamed(form->DrawingsRoot(), "Sketches");
        if (!node)
            return nullptr;
        form->dbTree->setCurrentItem(node);
        form->drList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        return form;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        StartFresh(dir, state, log);
        state->users.push_back({12, "John Smith", "jsmith"});
        user = std::make_unique<fixture::UserFolder>(dir->Path() + "/jsmith");
        sketches = user->AddDatabase(kDrawings, "Sketches");
        user->AddRecord(sketches, "a.dat", SquareRecord("House"));
        user->AddRecord(sketches, "z.dat", SquareRecord("Tree"));
        fonts = user->AddDatabase(kFonts, "VU Dedadiz", 1.0f, 1000);
    }

    void cleanup()
    {
        user.reset();
        dir.reset();
        FontList.Clear();
    }

    void aFifoIsListedAsUnreadableAndTheRestWorks()
    {
        QCOMPARE(::mkfifo((sketches + "/pipe.dat").c_str(), 0644), 0);
        QCOMPARE(::mkfifo((fonts + "/g.dat").c_str(), 0644), 0);  // a glyph file
        ModalResponder responder;
        auto form = OpenAndPreview(2);
        QVERIFY(form);
        QCOMPARE(ItemTexts(form->drList), (QStringList{"House", "pipe.dat", "Tree"}));
        QVERIFY(form->drList->item(1)->toolTip().contains("cannot be read"));
        QCOMPARE(log->calls.back().name, std::string("Tree"));
        QVERIFY(responder.seen.empty());
        form->drList->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
        QTRY_COMPARE(responder.Texts(),
                     QStringList{QStringLiteral("Quarnel Plotwick: Drawing \u201Cpipe.dat\u201D, file %1/pipe.dat:\n"
                                                "File is not open.")
                                     .arg(QString::fromStdString(sketches))});
        QVERIFY(FontList.FindFont("VU Dedadiz"));
    }

    void aDamagedFontHeaderLeavesTheRestUsable()
    {
        fixture::MakeFolders(user->Root() + "/QNDraw/DFNT/Bad");
        fixture::WriteFile(user->Root() + "/QNDraw/DFNT/Bad.dat", fixture::Bytes().zeros(360));
        ModalResponder responder;
        auto form = OpenAndPreview(0);
        QVERIFY(form);
        QCOMPARE(responder.Texts(), QStringList{"Quarnel Plotwick: Incorrect data format."});
        QCOMPARE(ItemTexts(form->drList), (QStringList{"House", "Tree"}));
        QCOMPARE(log->calls.size(), std::size_t(1));
        QCOMPARE(log->calls.back().name, std::string("House"));
        QCOMPARE(log->calls.back().shapes, std::size_t(1));
        QVERIFY(!form->imgPreview->image().isNull());
    }
};

QTEST_MAIN(SpecialFilesTest)
#include "tst_special_files.moc"
