// The stored settings: read once at start-up, written once at exit, applied at the next start.
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QMenuBar>
#include <QTest>

#include "AppTestSupport.h"
#include "app/Panels.h"
#include "app/Settings.h"
#include "text/VFont.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TMainForm;

class SettingsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;

    std::unique_ptr<TMainForm> Open(bool show = true)
    {
        auto form = std::make_unique<TMainForm>(Services(state, log));
        if (show) {
            form->show();
            if (!QTest::qWaitForWindowExposed(form.get()))
                return nullptr;
        }
        return form;
    }

    void WriteLayout(int state, QRect placement, int panLeft, int panPreview)
    {
        WriteSetting("WinState", state);
        WriteSetting("WinLeft", placement.x());
        WriteSetting("WinTop", placement.y());
        WriteSetting("WinWidth", placement.width());
        WriteSetting("WinHeight", placement.height());
        WriteSetting("panLeft", panLeft);
        WriteSetting("panPreview", panPreview);
    }

    static QRect Screen() { return QGuiApplication::primaryScreen()->geometry(); }

    // The first start: the designed size, or 70 % of a larger screen, centred in the screen's
    // available part; the left column takes two fifths of it, the preview half its height.
    static QRect FirstStart()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize size(std::min(std::max(704, area.width() * 7 / 10), area.width()),
                         std::min(std::max(536, area.height() * 7 / 10), area.height()));
        return QRect(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2,
                     size.width(), size.height());
    }
    static int FirstPanLeft() { return FirstStart().width() * 2 / 5; }
    static int FirstPanPreview() { return FirstStart().height() / 2; }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The tests never see the user's own settings.
        QSettings s(QStringLiteral("Quarnel"), QStringLiteral("Dezevazi"));
        QVERIFY2(s.fileName().contains(QStringLiteral(".qttest")), qPrintable(s.fileName()));
    }

    void init()
    {
        StartFresh(dir, state, log);
        fixture::UserFolder(dir->Path() + "/jsmith").AddDatabase(kDrawings, "Sketches");
        fixture::UserFolder(dir->Path() + "/anna");
        state->users.push_back({12, "John Smith", "jsmith"});
    }

    void cleanup()
    {
        dir.reset();
        FontList.Clear();
    }

    void firstRunCentresAndStoresEverything()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QCOMPARE(form->frameGeometry(), FirstStart());
        QCOMPARE(form->panLeft->width(), FirstPanLeft());
        QCOMPARE(form->panPrevBox->height(), FirstPanPreview());
        QVERIFY(SettingNames().isEmpty());  // nothing is written while the program runs
        form.reset();

        QCOMPARE(SettingNames(), (QStringList{"UserID", "WinHeight", "WinLeft", "WinState", "WinTop", "WinWidth",
                                              "panLeft", "panPreview"}));
        QCOMPARE(ReadSetting("UserID").toInt(), 12);
        QCOMPARE(ReadSetting("WinState").toInt(), 0);
        QCOMPARE(ReadSetting("WinLeft").toInt(), FirstStart().x());
        QCOMPARE(ReadSetting("WinTop").toInt(), FirstStart().y());
        QCOMPARE(ReadSetting("WinWidth").toInt(), FirstStart().width());
        QCOMPARE(ReadSetting("WinHeight").toInt(), FirstStart().height());
        QCOMPARE(ReadSetting("panLeft").toInt(), FirstPanLeft());
        QCOMPARE(ReadSetting("panPreview").toInt(), FirstPanPreview());
    }

    void onlyAUserIsStored()
    {
        state->users.push_back({7, "Anna", "anna"});
        WriteSetting("UserID", 7);
        ModalResponder responder;
        auto form = Open();
        QVERIFY(responder.seen.empty());  // the stored user is used without asking
        QCOMPARE(form->UserID(), 7);
        QCOMPARE(form->frameGeometry(), FirstStart());
    }

    void placementAndPanelsComeBack()
    {
        WriteLayout(0, QRect(10, 20, 640, 480), 180, 150);
        ModalResponder responder;
        {
            auto form = Open();
            QVERIFY(form);
            QCOMPARE(form->frameGeometry(), QRect(10, 20, 640, 480));
            QCOMPARE(form->windowState(), Qt::WindowNoState);
            QCOMPARE(form->panLeft->width(), 180);
            QCOMPARE(form->panPrevBox->height(), 150);
            form->move(30, 40);
            form->resize(QSize(600, 450) - (form->frameGeometry().size() - form->size()));
            form->Splitter1->setSizes({200, 395});
            const QList<int> s = form->Splitter2->sizes();
            form->Splitter2->setSizes({s[0] + s[1] - 170, 170});
            QTRY_COMPARE(form->frameGeometry(), QRect(30, 40, 600, 450));
        }
        QCOMPARE(ReadSetting("WinLeft").toInt(), 30);
        QCOMPARE(ReadSetting("WinTop").toInt(), 40);
        QCOMPARE(ReadSetting("WinWidth").toInt(), 600);
        QCOMPARE(ReadSetting("WinHeight").toInt(), 450);
        QCOMPARE(ReadSetting("panLeft").toInt(), 200);
        QCOMPARE(ReadSetting("panPreview").toInt(), 170);

        auto again = Open();
        QVERIFY(again);
        QCOMPARE(again->frameGeometry(), QRect(30, 40, 600, 450));
        QCOMPARE(again->panLeft->width(), 200);
        QCOMPARE(again->panPrevBox->height(), 170);
    }

    void maximisedKeepsTheOlderPlacement()
    {
        WriteLayout(0, QRect(10, 20, 640, 480), 180, 150);
        ModalResponder responder;
        {
            auto form = Open();
            QVERIFY(form);
            form->showMaximized();
            QTRY_VERIFY(form->isMaximized());
            QTRY_VERIFY(form->frameGeometry() != QRect(10, 20, 640, 480));
        }
        QCOMPARE(ReadSetting("WinState").toInt(), 2);
        QCOMPARE(ReadSetting("WinLeft").toInt(), 10);
        QCOMPARE(ReadSetting("WinTop").toInt(), 20);
        QCOMPARE(ReadSetting("WinWidth").toInt(), 640);
        QCOMPARE(ReadSetting("WinHeight").toInt(), 480);
        QCOMPARE(ReadSetting("panLeft").toInt(), 180);

        // The next run places the window there, then maximises it.
        auto again = Open(false);
        QVERIFY(again);
        QVERIFY(again->windowState() & Qt::WindowMaximized);
        QCOMPARE(again->pos(), QPoint(10, 20));
        again->show();
        QVERIFY(QTest::qWaitForWindowExposed(again.get()));
        QTRY_VERIFY(again->isMaximized());
        QCOMPARE(again->panLeft->width(), 180);
        again->showNormal();
        QTRY_COMPARE(again->frameGeometry(), QRect(10, 20, 640, 480));
    }

    void minimisedStateIsApplied()
    {
        WriteLayout(1, QRect(10, 20, 640, 480), 180, 150);
        ModalResponder responder;
        auto form = Open(false);
        QVERIFY(form->windowState() & Qt::WindowMinimized);
        QCOMPARE(form->pos(), QPoint(10, 20));
        form->show();
        QVERIFY(form->isMinimized());
        form->showNormal();
        QTRY_COMPARE(form->frameGeometry(), QRect(10, 20, 640, 480));
    }

    void unknownStateIsTheNormalState()
    {
        WriteLayout(7, QRect(10, 20, 640, 480), 180, 150);
        ModalResponder responder;
        {
            auto form = Open();
            QVERIFY(form);
            QCOMPARE(form->windowState(), Qt::WindowNoState);
            QCOMPARE(form->frameGeometry(), QRect(10, 20, 640, 480));
            QCOMPARE(form->panLeft->width(), 180);
        }
        QCOMPARE(ReadSetting("WinState").toInt(), 0);
    }

    void valuesOfAnotherTypeCountAsAbsent_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("text") << QVariant(QStringLiteral("normal"));
        QTest::newRow("fraction") << QVariant(1.5);
        QTest::newRow("too large") << QVariant(QStringLiteral("4294967296"));
        QTest::newRow("list") << QVariant(QStringList{"0", "1"});
        QTest::newRow("bytes") << QVariant(QByteArray("\x00\x01", 2));
        QTest::newRow("flag") << QVariant(true);
    }

    void valuesOfAnotherTypeCountAsAbsent()
    {
        QFETCH(QVariant, value);
        // A state that cannot be read: no layout value is used, as if none was stored.
        WriteLayout(0, QRect(10, 20, 640, 480), 180, 150);
        WriteSetting("WinState", value);
        // A user ID that cannot be read: no stored user.
        state->users.push_back({7, "Anna", "anna"});
        WriteSetting("UserID", value);
        ModalResponder responder;
        responder.pick = 1;
        {
            auto form = Open();
            QVERIFY(form);
            QCOMPARE(form->frameGeometry(), FirstStart());
            QCOMPARE(form->panLeft->width(), FirstPanLeft());
            QCOMPARE(form->panPrevBox->height(), FirstPanPreview());
            QCOMPARE(responder.Count("users"), 1);
            QCOMPARE(responder.Count("message"), 0);
            QCOMPARE(form->UserID(), 7);
        }
        // Exit writes sound values over them.
        QCOMPARE(ReadSetting("WinState").toString(), QStringLiteral("0"));
        QCOMPARE(ReadSetting("UserID").toString(), QStringLiteral("7"));
    }

    void unreadablePlacementValueKeepsTheWindowWhereItIs()
    {
        WriteLayout(0, QRect(10, 20, 640, 480), 180, 150);
        WriteSetting("WinLeft", QStringLiteral("far left"));
        ModalResponder responder;
        auto form = Open();
        QCOMPARE(form->frameGeometry().topLeft().y(), 20);
        QCOMPARE(form->frameGeometry().size(), QSize(640, 480));
    }

    void namesIgnoreCase()
    {
        state->users.push_back({7, "Anna", "anna"});
        WriteSetting("userid", 7);
        WriteSetting("WINSTATE", 0);
        WriteSetting("winleft", 10);
        WriteSetting("WinTop", 20);
        ModalResponder responder;
        {
            auto form = Open();
            QVERIFY(responder.seen.empty());
            QCOMPARE(form->UserID(), 7);
            QCOMPARE(form->frameGeometry().topLeft(), QPoint(10, 20));
        }
        // One value per name, spelt as the program spells it.
        const QStringList names = SettingNames();
        QVERIFY(names.contains("UserID"));
        QVERIFY(!names.contains("userid"));
        QVERIFY(!names.contains("WINSTATE"));
        QCOMPARE(names.size(), 8);
    }

    void placementOffEveryScreenComesBack_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<QSize>("size");
        QTest::newRow("far right") << QRect(5000, 100, 640, 480) << QSize(640, 480);
        QTest::newRow("far up") << QRect(100, -4000, 640, 480) << QSize(640, 480);
        QTest::newRow("left, too large") << QRect(-9000, 0, 3000, 2000) << Screen().size();
        QTest::newRow("only the bottom edge shows") << QRect(100, -470, 640, 480) << QSize(640, 480);
    }

    void placementOffEveryScreenComesBack()
    {
        QFETCH(QRect, stored);
        QFETCH(QSize, size);
        WriteLayout(0, stored, 180, 150);
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form->frameGeometry().size(), size);
        QVERIFY(area.contains(form->frameGeometry()));
        QCOMPARE(form->frameGeometry().center().x() / 4, area.center().x() / 4);
    }

    // A placement stored at a smaller scale factor is larger than the screen is now: the window
    // is made to fit, its title bar and menu bar inside the screen.
    void placementLargerThanTheScreenIsMadeToFit_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::newRow("whole screen and more") << QRect(0, 0, Screen().width() * 2, Screen().height() * 2);
        QTest::newRow("taller, placed low") << QRect(20, 40, 400, Screen().height() + 300);
        QTest::newRow("above the top edge") << QRect(20, -20, 400, 300);
    }

    void placementLargerThanTheScreenIsMadeToFit()
    {
        QFETCH(QRect, stored);
        WriteLayout(0, stored, 180, 150);
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(area.contains(form->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(form->frameGeometry().x()).arg(form->frameGeometry().y()).arg(form->frameGeometry().width()).arg(form->frameGeometry().height())));
        QVERIFY(form->menuBar()->mapToGlobal(QPoint(0, 0)).y() >= area.top());
    }

    void placementPartlyOnTheScreenStays()
    {
        WriteLayout(0, QRect(500, 100, 640, 480), 180, 150);
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QCOMPARE(form->frameGeometry(), QRect(500, 100, 640, 480));
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
