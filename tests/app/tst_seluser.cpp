// The "Select user" dialog on its own: its list, its preselection, and the ways out of it.
#include <QComboBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include "AppTestSupport.h"
#include "app/SelUserForm.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TselUserForm;

class SelUserTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<FakeState> state;
    std::unique_ptr<FakeUserData> userData;

private slots:
    void init()
    {
        state = std::make_shared<FakeState>();
        state->base = "/nowhere/";
        state->lowerBound = -2;
        state->users = {{12, "John Smith", "jsmith"}, {7, "Anna", "anna"}, {31, "Bert", "bert"}};
        userData = std::make_unique<FakeUserData>(state);
    }

    void asDesigned()
    {
        TselUserForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Select user"));
        QCOMPARE(form.butOk->text(), QStringLiteral("Ok"));
        QCOMPARE(form.cbUsers->width(), 217);
        QVERIFY(!form.cbUsers->isEditable());
        QVERIFY(!(form.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(form.windowFlags() & Qt::WindowMinMaxButtonsHint));
    }

    void listsTheUsersAndPreselectsTheCurrentOne()
    {
        TselUserForm form;
        form.FUserData = userData.get();
        form.FUserIDs = userData->QueryUserIDs();
        form.FUserID = 7;
        form.FormShow();
        QCOMPARE(form.cbUsers->count(), 3);
        QCOMPARE(form.cbUsers->itemText(0), QStringLiteral("John Smith"));
        QCOMPARE(form.cbUsers->itemText(2), QStringLiteral("Bert"));
        QCOMPARE(form.cbUsers->currentIndex(), 1);
        form.show();
        form.cbUsers->setCurrentIndex(2);
        QTest::mouseClick(form.butOk, Qt::LeftButton);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.Result(), 31);
    }

    void currentUserListedMayBeLeftWithEscape()
    {
        TselUserForm form;
        form.FUserData = userData.get();
        form.FUserIDs = userData->QueryUserIDs();
        form.FUserID = 31;
        form.FormShow();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
    }

    void unknownCurrentUserMustPick()
    {
        TselUserForm form;
        form.FUserData = userData.get();
        form.FUserIDs = userData->QueryUserIDs();
        form.FUserID = 99;
        form.FormShow();
        QCOMPARE(form.cbUsers->currentIndex(), 0);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        QTest::keyClick(form.butOk, Qt::Key_Space);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.Result(), 12);
    }

    void emptyListCanBeClosed()
    {
        TselUserForm form;
        form.FUserData = userData.get();
        form.FUserID = -1;
        form.FormShow();
        QCOMPARE(form.cbUsers->count(), 0);
        QVERIFY(form.Empty());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.butOk, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));

        // Without user data, nothing is listed either, whatever the IDs.
        TselUserForm other;
        other.FUserIDs = userData->QueryUserIDs();
        other.FormShow();
        QVERIFY(other.Empty());
        other.show();
        QTest::keyClick(&other, Qt::Key_Escape);
        QVERIFY(!other.isVisible());
    }

    void failingNameRequestReachesTheCaller()
    {
        TselUserForm form;
        form.FUserData = userData.get();
        form.FUserIDs = userdata::UserIDArray({12, 55}, 0);
        QVERIFY_THROWS_EXCEPTION(userdata::UserDataError, form.FormShow());
    }
};

QTEST_MAIN(SelUserTest)
#include "tst_seluser.moc"
