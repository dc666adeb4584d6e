// Start-up: the user data, the choice of the user, the scan, and the messages on the way.
#include <QAction>
#include <QListWidget>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/AboutForm.h"
#include "app/EmptyState.h"
#include "app/MainForm.h"
#include "text/VFont.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TMainForm;

namespace {

QString Joined(const std::vector<std::string>& calls)
{
    QStringList list;
    for (const auto& c : calls)
        list << QString::fromStdString(c);
    return list.join(QStringLiteral(", "));
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;

    // A user folder with one drawing database of one record.
    void AddUser(std::int32_t id, const std::string& name, const std::string& folder, const std::string& dbName)
    {
        fixture::UserFolder user(dir->Path() + "/" + folder);
        const std::string db = user.AddDatabase(kDrawings, dbName);
        user.AddRecord(db, "r1.dat", SquareRecord("Square"));
        state->users.push_back({id, name, folder});
    }

    std::unique_ptr<TMainForm> Make() { return std::make_unique<TMainForm>(Services(state, log)); }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        StartFresh(dir, state, log);
    }

    void cleanup()
    {
        dir.reset();
        FontList.Clear();
    }

    void oneUserIsTakenWithoutAsking()
    {
        AddUser(12, "John Smith", "jsmith", "Sketches");
        ModalResponder responder;
        auto form = Make();
        QVERIFY2(responder.seen.empty(), qPrintable(responder.Texts().join('\n')));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - John Smith"));
        QCOMPARE(form->UserID(), 12);
        QCOMPARE(form->UserName(), QStringLiteral("John Smith"));
        QCOMPARE(ChildTexts(form->DrawingsRoot()), QStringList{QStringLiteral("Sketches")});
        QCOMPARE(form->SubstituteFontName(), std::string());
        // The requests, in the designed order.
        const std::vector<std::string> expected = {"create",          "QueryUserIDs",    "QueryUserCount",
                                                   "QueryUserName(12)", "QueryBaseFolder", "QueryUserFolder(12)"};
        QCOMPARE(Joined(state->calls), Joined(expected));
        // The splash is up, the drawing commands are off.
        QVERIFY(form->AboutForm()->isVisible());
        QVERIFY(form->AboutForm()->IsSplash());
        QVERIFY(!form->Export1->isEnabled());
        QVERIFY(!form->Copyasvectors1->isEnabled());
        QVERIFY(!form->CopyasBitmap1->isEnabled());
        QVERIFY(form->SelectUser1->isEnabled());
        QVERIFY(form->About2->isEnabled());
    }

    void severalUsersAreOfferedInTheDialog()
    {
        state->lowerBound = 1;  // the array's own lower bound is honoured
        AddUser(12, "John Smith", "jsmith", "JohnsDb");
        AddUser(7, "Anna", "anna", "AnnasDb");
        AddUser(31, "Bert", "bert", "BertsDb");
        ModalResponder responder;
        responder.pick = 2;
        auto form = Make();
        QCOMPARE(responder.Count("users"), 1);
        QCOMPARE(responder.Count("message"), 0);
        const auto& dialog = responder.seen[0];
        QCOMPARE(dialog.title, QStringLiteral("Select user"));
        QCOMPARE(dialog.entries, (QStringList{"John Smith", "Anna", "Bert"}));
        QCOMPARE(dialog.preselected, 0);
        QCOMPARE(form->UserID(), 31);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - Bert"));
        QCOMPARE(ChildTexts(form->DrawingsRoot()), QStringList{QStringLiteral("BertsDb")});
    }

    void storedUserIsUsedWithoutAsking()
    {
        AddUser(12, "John Smith", "jsmith", "JohnsDb");
        AddUser(7, "Anna", "anna", "AnnasDb");
        WriteSetting("UserID", 7);
        ModalResponder responder;
        auto form = Make();
        QVERIFY(responder.seen.empty());
        QCOMPARE(form->UserID(), 7);
        QCOMPARE(ChildTexts(form->DrawingsRoot()), QStringList{QStringLiteral("AnnasDb")});
        QVERIFY(std::find(state->calls.begin(), state->calls.end(), "QueryUserCount") == state->calls.end());
    }

    void storedUserOfZeroCountsAsNone()
    {
        AddUser(12, "John Smith", "jsmith", "JohnsDb");
        WriteSetting("UserID", 0);
        ModalResponder responder;
        auto form = Make();
        QVERIFY(responder.seen.empty());
        QCOMPARE(form->UserID(), 12);
        QVERIFY(std::find(state->calls.begin(), state->calls.end(), "QueryUserName(0)") == state->calls.end());
    }

    void goneStoredUserFallsBackToTheOnlyUser()
    {
        AddUser(12, "John Smith", "jsmith", "JohnsDb");
        WriteSetting("UserID", 99);
        ModalResponder responder;
        auto form = Make();
        QVERIFY2(responder.seen.empty(), qPrintable(responder.Texts().join('\n')));
        QCOMPARE(form->UserID(), 12);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - John Smith"));
        const std::vector<std::string> expected = {"create",          "QueryUserIDs",      "QueryUserName(99)",
                                                   "QueryUserCount",  "QueryUserName(12)", "QueryBaseFolder",
                                                   "QueryUserFolder(12)"};
        QCOMPARE(Joined(state->calls), Joined(expected));
    }

    void goneStoredUserAmongSeveralMustBePicked()
    {
        AddUser(12, "John Smith", "jsmith", "JohnsDb");
        AddUser(7, "Anna", "anna", "AnnasDb");
        WriteSetting("UserID", 99);
        ModalResponder responder;
        responder.tryClose = true;  // the dialog cannot be left without a choice here
        responder.pick = 1;
        auto form = Make();
        QCOMPARE(responder.Count("users"), 1);
        QVERIFY(!responder.seen[0].closedWithoutChoice);
        QCOMPARE(responder.seen[0].preselected, 0);
        QCOMPARE(form->UserID(), 7);
        QCOMPARE(ChildTexts(form->DrawingsRoot()), QStringList{QStringLiteral("AnnasDb")});
    }

    void noUserOpensTheWindowEmpty()
    {
        ModalResponder responder;
        auto form = Make();
        // Nothing to synchronise on Linux: the drawing list says what to open instead.
        QVERIFY2(responder.seen.empty(), qPrintable(responder.Texts().join('\n')));
        QVERIFY(!form->emptyState->isHidden());
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick"));
        QCOMPARE(form->UserID(), -1);
        QCOMPARE(form->dbTree->topLevelItemCount(), 3);
        for (auto* root : {form->DrawingsRoot(), form->LibrariesRoot(), form->FontsRoot()})
            QCOMPARE(root->childCount(), 0);
        // No user was asked for by name.
        for (const auto& call : state->calls)
            QVERIFY2(call.rfind("QueryUserName", 0) != 0, call.c_str());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));

        // "Select User" offers nothing; the dialog can be closed, and nothing else happens.
        responder.tryClose = true;
        form->SelectUser1->trigger();
        QTRY_COMPARE(responder.Count("users"), 1);
        QVERIFY(responder.seen.back().entries.isEmpty());
        QVERIFY(responder.seen.back().closedWithoutChoice);
        QCOMPARE(responder.Count("message"), 0);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick"));

        // Its Ok closes it as well.
        responder.tryClose = false;
        form->SelectUser1->trigger();
        QTRY_COMPARE(responder.Count("users"), 2);
        QCOMPARE(responder.Count("message"), 0);
        QCOMPARE(form->UserID(), -1);

        // Nothing about the user is stored.
        form.reset();
        QVERIFY(!ReadSetting("UserID").isValid());
        QCOMPARE(ReadSetting("WinState").toInt(), 0);
    }

    void goneStoredUserWithNoUsersLeft()
    {
        WriteSetting("UserID", 99);
        ModalResponder responder;
        auto form = Make();
        QVERIFY(responder.seen.empty());
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick"));
        for (auto* root : {form->DrawingsRoot(), form->LibrariesRoot(), form->FontsRoot()})
            QCOMPARE(root->childCount(), 0);
        QVERIFY(!form->emptyState->isHidden());
    }

    void missingUserDataOpensTheWindowEmpty()
    {
        state->failCreate = true;
        WriteSetting("UserID", 12);
        ModalResponder responder;
        auto form = Make();
        QVERIFY(responder.seen.empty());
        QCOMPARE(Joined(state->calls), QStringLiteral("create"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick"));
        QVERIFY(!form->emptyState->isHidden());
        QVERIFY(form->drList->isHidden());
        form.reset();
        // The layout is kept, and so is the user stored before.
        QCOMPARE(ReadSetting("WinState").toInt(), 0);
        QCOMPARE(ReadSetting("UserID").toInt(), 12);
    }

    void failingRequestIsShownAndTheWindowGoesOn()
    {
        AddUser(12, "John Smith", "jsmith", "JohnsDb");
        state->failUserIDs = true;
        ModalResponder responder;
        auto form = Make();
        QCOMPARE(responder.Texts(), QStringList{"Quarnel Plotwick: The user list cannot be read."});
        QCOMPARE(responder.seen[0].kind, QStringLiteral("message"));
        QCOMPARE(responder.seen[0].buttons, int(QMessageBox::Ok));
        QVERIFY(responder.seen[0].hasIcon);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick"));
    }

    void selectUserAlwaysAsksAndRebuilds()
    {
        AddUser(12, "John Smith", "jsmith", "JohnsDb");
        ModalResponder responder;
        auto form = Make();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(responder.seen.empty());
        QTreeWidgetItem* db = form->DrawingsRoot()->child(0);
        form->dbTree->setCurrentItem(db);
        QCOMPARE(form->drList->count(), 1);

        // The dialog shows even for one user; choosing the same user rebuilds the tree and
        // empties the list.
        form->SelectUser1->trigger();
        QTRY_COMPARE(responder.Count("users"), 1);
        QCOMPARE(responder.seen[0].entries, QStringList{"John Smith"});
        QCOMPARE(form->drList->count(), 0);
        QCOMPARE(ChildTexts(form->DrawingsRoot()), QStringList{QStringLiteral("JohnsDb")});
        // The user list is the one fetched at start-up.
        QCOMPARE(std::count(state->calls.begin(), state->calls.end(), "QueryUserIDs"), 1);
    }

    void selectUserSwitchesUsers()
    {
        AddUser(12, "John Smith", "jsmith", "JohnsDb");
        AddUser(7, "Anna", "anna", "AnnasDb");
        WriteSetting("UserID", 12);
        ModalResponder responder;
        auto form = Make();
        form->show();
        QCOMPARE(form->UserID(), 12);
        responder.pick = 1;
        form->SelectUser1->trigger();
        QTRY_COMPARE(responder.Count("users"), 1);
        QCOMPARE(responder.seen[0].preselected, 0);
        QCOMPARE(form->UserID(), 7);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - Anna"));
        QCOMPARE(ChildTexts(form->DrawingsRoot()), QStringList{QStringLiteral("AnnasDb")});

        // Closing the dialog without a choice keeps the user and the list as they are.
        form->dbTree->setCurrentItem(form->DrawingsRoot()->child(0));
        QCOMPARE(form->drList->count(), 1);
        responder.tryClose = true;
        form->SelectUser1->trigger();
        QTRY_COMPARE(responder.Count("users"), 2);
        QCOMPARE(responder.seen[1].preselected, 1);
        QVERIFY(responder.seen[1].closedWithoutChoice);
        QCOMPARE(form->UserID(), 7);
        QCOMPARE(form->drList->count(), 1);

        form.reset();
        QCOMPARE(ReadSetting("UserID").toInt(), 7);
    }

    void damagedHeaderEndsTheScan()
    {
        fixture::UserFolder user(dir->Path() + "/jsmith");
        user.AddDatabase(kDrawings, "Alpha");
        fixture::MakeFolders(user.Root() + "/QNDraw/DDRW/Broken");
        fixture::WriteFile(user.Root() + "/QNDraw/DDRW/Broken.dat", fixture::Bytes{1, 2, 3});
        user.AddDatabase(kDrawings, "Zeta");
        user.AddDatabase(kLibrary, "Lib");
        state->users.push_back({12, "John Smith", "jsmith"});
        ModalResponder responder;
        auto form = Make();
        QCOMPARE(responder.Texts(), QStringList{"Quarnel Plotwick: Incorrect data format."});
        QCOMPARE(ChildTexts(form->DrawingsRoot()), QStringList{QStringLiteral("Alpha")});
        QCOMPARE(form->LibrariesRoot()->childCount(), 0);
        QCOMPARE(form->windowTitle(), QStringLiteral("Quarnel Plotwick - John Smith"));
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
