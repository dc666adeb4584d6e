// The About box: the splash at start-up, its timer, and "&About" with the splash still up.
#include <QAction>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/AboutForm.h"
#include "app/Artwork.h"
#include "tests/support/Process.h"
#include "text/VFont.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TAboutForm;
using plotwick::app::TMainForm;

class AboutTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;

    std::unique_ptr<TMainForm> Open()
    {
        auto form = std::make_unique<TMainForm>(Services(state, log));
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return nullptr;
        return form;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        StartFresh(dir, state, log);
        fixture::UserFolder(dir->Path() + "/jsmith");
        state->users.push_back({12, "John Smith", "jsmith"});
    }

    void cleanup() { dir.reset(); }

    void theBoxAsDesigned()
    {
        TAboutForm box(nullptr);
        QCOMPARE(box.windowTitle(), QStringLiteral("QN Plotwick"));
        QCOMPARE(box.size(), QSize(350, 292));
        QCOMPARE(box.Button1->text(), QStringLiteral("&Close"));
        QCOMPARE(box.Button1->geometry(), QRect(256, 256, 75, 25));
        QCOMPARE(box.Image1->geometry(), QRect(0, 0, 350, 293));
        QCOMPARE(box.timer->interval(), 4000);
        QVERIFY(!box.timer->isActive());
        // The version on the picture is the one both programs answer --version with.
        QCOMPARE(box.VersionLabel->text(), QStringLiteral("Version ") + app::ProgramVersion());
        QVERIFY(box.Image1->geometry().contains(box.VersionLabel->geometry()));
        const fixture::ProcessResult cli = fixture::RunCommand(PLOTWICK_CLI " --version");
        QCOMPARE(QString::fromStdString(cli.out).trimmed(), QStringLiteral("plotwick-cli ") + app::ProgramVersion());
        // The picture is drawn, not blank.
        const QImage picture = app::AboutPicture();
        QCOMPARE(picture.size(), QSize(350, 293));
        QVERIFY(picture.pixel(10, 10) != picture.pixel(300, 100));
        QVERIFY(picture.pixel(10, 10) != picture.pixel(60, 55));
    }

    void splashAtStartUpClosesItself()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        TAboutForm* about = form->AboutForm();
        QVERIFY(about->isVisible());
        QVERIFY(about->IsSplash());
        QVERIFY(!about->isModal());
        QVERIFY(about->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!about->Button1->isVisible());
        QVERIFY(about->timer->isActive());
        QCOMPARE(about->timer->interval(), 4000);
        // The window works meanwhile.
        QVERIFY(form->isEnabled());

        QMetaObject::invokeMethod(about->timer, "timeout");  // the 4000 ms are up
        QVERIFY(!about->isVisible());
        QVERIFY(!about->timer->isActive());
        QVERIFY(!about->IsSplash());
        QVERIFY(!(about->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(responder.seen.empty());
    }

    void clickOnThePictureClosesTheSplash()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        TAboutForm* about = form->AboutForm();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QTest::mouseClick(about->Image1, Qt::LeftButton, {}, QPoint(100, 100));
        QVERIFY(!about->isVisible());
        QVERIFY(!about->timer->isActive());
    }

    void clickOnTheWindowClosesTheSplash()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        TAboutForm* about = form->AboutForm();
        QVERIFY(about->isVisible());
        // A press on the window's own surface (the status bar passes it on).
        QTest::mousePress(form->statusBar(), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!about->isVisible());
        // The timer goes on and later finds the box closed.
        QVERIFY(about->timer->isActive());
        QMetaObject::invokeMethod(about->timer, "timeout");
        QVERIFY(!about->isVisible());
        QVERIFY(!about->timer->isActive());
        QVERIFY(about->Button1->isVisibleTo(about));
    }

    void aboutWhileTheSplashShows()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        TAboutForm* about = form->AboutForm();
        QVERIFY(about->isVisible());
        QVERIFY(about->IsSplash());
        bool wasModal = false;
        bool closeShown = false;
        bool onTop = true;
        bool timerRunning = true;
        responder.inspect = [&](QWidget* w) {
            if (w != about)
                return;
            wasModal = about->isModal() && about->isVisible();
            closeShown = about->Button1->isVisible();
            onTop = about->windowFlags() & Qt::WindowStaysOnTopHint;
            timerRunning = about->timer->isActive();
        };
        form->About2->trigger();
        // The splash became the ordinary box, shown modally, and closed with "&Close".
        QCOMPARE(responder.Count("about"), 1);
        QCOMPARE(responder.seen[0].title, QStringLiteral("QN Plotwick"));
        QVERIFY(wasModal);
        QVERIFY(closeShown);
        QVERIFY(!onTop);
        QVERIFY(!timerRunning);
        QVERIFY(!about->isVisible());
        QCOMPARE(responder.Count("message"), 0);
        // The splash's timer does not come back to close a later box.
        QVERIFY(!about->timer->isActive());
    }

    void aboutLater()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QMetaObject::invokeMethod(form->AboutForm()->timer, "timeout");
        form->About2->trigger();
        QCOMPARE(responder.Count("about"), 1);
        form->About2->trigger();
        QCOMPARE(responder.Count("about"), 2);
        QVERIFY(!form->AboutForm()->isVisible());
    }
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
