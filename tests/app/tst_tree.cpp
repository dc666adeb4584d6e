// The database tree after a scan: roots, order, kinds, icons, and the entries left out.
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/Artwork.h"
#include "app/MainForm.h"
#include "text/VFont.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TMainForm;

class TreeTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;

    static QImage IconImage(const QTreeWidgetItem* node)
    {
        return node->icon(0).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    static QImage Expected(int index)
    {
        return app::TreeIconImage(index).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        StartFresh(dir, state, log);
        state->users.push_back({12, "John Smith", "jsmith"});
    }

    void cleanup()
    {
        dir.reset();
        FontList.Clear();
    }

    void scanFillsTheThreeRoots()
    {
        fixture::UserFolder user(dir->Path() + "/jsmith");
        const std::string ddrw = user.Root() + "/QNDraw/DDRW";
        user.AddDatabase(kDrawings, "zeta");
        user.AddDatabase(kDrawings, "Sketches");
        user.AddDatabase(kDrawings, "Alpha");
        user.AddDatabase(kDrawings, "Old", 2.0f);            // another version: left out
        user.AddDatabase(kDrawings, ".hidden");              // hidden: never listed
        fixture::MakeFolders(ddrw + "/NoHeader");            // no header beside it: left out
        fixture::WriteFile(ddrw + "/readme.txt", fixture::Bytes{'x'});  // a plain file without a header
        fixture::WriteFile(ddrw + "/Notes.DAT", fixture::Header(1.0f, "Notes", std::nullopt));
        // A short name is a candidate whatever its ending; a plain file with a header counts.
        fixture::WriteFile(ddrw + "/abc", fixture::Bytes{'x'});
        fixture::WriteFile(ddrw + "/abc.dat", fixture::Header(1.0f, "abc", std::nullopt));
        user.AddDatabase(kLibrary, "Shapes");
        user.AddDatabase(kFonts, "VU Dedadiz", 1.0f, 1000);
        user.AddDatabase(kFonts, "Block", 1.0f, 1000);

        ModalResponder responder;
        TMainForm form(Services(state, log));
        QVERIFY(responder.seen.empty());

        QCOMPARE(form.dbTree->topLevelItemCount(), 3);
        QCOMPARE(form.DrawingsRoot()->text(0), QStringLiteral("Drawing databases"));
        QCOMPARE(form.LibrariesRoot()->text(0), QStringLiteral("Shape Libraries"));
        QCOMPARE(form.FontsRoot()->text(0), QStringLiteral("Fonts"));
        // The file system's order, ascending by case-folded name; nothing sorted afterwards.
        QCOMPARE(ChildTexts(form.DrawingsRoot()), (QStringList{"abc", "Alpha", "Sketches", "zeta"}));
        QCOMPARE(ChildTexts(form.LibrariesRoot()), QStringList{"Shapes"});
        QCOMPARE(ChildTexts(form.FontsRoot()), (QStringList{"Block", "VU Dedadiz"}));

        // Each node carries its database, of its kind; the roots carry none.
        const struct {
            QTreeWidgetItem* root;
            int kind;
        } roots[] = {{form.DrawingsRoot(), kDrawings}, {form.LibrariesRoot(), kLibrary}, {form.FontsRoot(), kFonts}};
        for (const auto& r : roots) {
            QVERIFY(TMainForm::NodeDatabase(r.root) == nullptr);
            QCOMPARE(IconImage(r.root), Expected(app::kIconRoot));
            QVERIFY(r.root->isExpanded());
            for (int i = 0; i < r.root->childCount(); ++i) {
                QTreeWidgetItem* node = r.root->child(i);
                TDrawDB* db = TMainForm::NodeDatabase(node);
                QVERIFY(db);
                QCOMPARE(int(db->FKind), r.kind);
                QCOMPARE(QString::fromStdString(db->FName), node->text(0));
                QCOMPARE(db->FVersion, 1.0f);
                QCOMPARE(IconImage(node), Expected(r.kind));
            }
        }
        // The four icons differ from each other.
        for (int a = 0; a < 4; ++a)
            for (int b = a + 1; b < 4; ++b)
                QVERIFY(Expected(a) != Expected(b));

        // Font databases are in the font list, known by their names.
        QCOMPARE(FontList.FFonts.size(), std::size_t(2));
        QVERIFY(FontList.FindFont("Block"));
        QCOMPARE(FontList.FindFont("Block")->FDB, TMainForm::NodeDatabase(form.FontsRoot()->child(0)));
    }

    void missingKindFoldersLeaveRootsEmpty()
    {
        fixture::MakeFolders(dir->Path() + "/jsmith/QNDraw");
        ModalResponder responder;
        TMainForm form(Services(state, log));
        QVERIFY(responder.seen.empty());
        for (auto* root : {form.DrawingsRoot(), form.LibrariesRoot(), form.FontsRoot()})
            QCOMPARE(root->childCount(), 0);
        QVERIFY(FontList.FFonts.empty());
    }

    void rescanReplacesEverything()
    {
        fixture::UserFolder user(dir->Path() + "/jsmith");
        user.AddDatabase(kDrawings, "First");
        user.AddDatabase(kFonts, "F1", 1.0f, 1000);
        ModalResponder responder;
        TMainForm form(Services(state, log));
        QCOMPARE(ChildTexts(form.DrawingsRoot()), QStringList{"First"});
        form.dbTree->setCurrentItem(form.DrawingsRoot()->child(0));

        user.AddDatabase(kDrawings, "Second");
        user.AddDatabase(kFonts, "F2", 1.0f, 1000);
        form.ScanDatabases();
        QCOMPARE(ChildTexts(form.DrawingsRoot()), (QStringList{"First", "Second"}));
        QCOMPARE(ChildTexts(form.FontsRoot()), (QStringList{"F1", "F2"}));
        QCOMPARE(FontList.FFonts.size(), std::size_t(2));
        QCOMPARE(form.dbTree->topLevelItemCount(), 3);

        form.ReleaseDatabases();
        for (auto* root : {form.DrawingsRoot(), form.LibrariesRoot(), form.FontsRoot()})
            QCOMPARE(root->childCount(), 0);
        QCOMPARE(form.dbTree->topLevelItemCount(), 3);
    }
};

QTEST_MAIN(TreeTest)
#include "tst_tree.moc"
