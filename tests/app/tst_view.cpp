// The drawing view and the commands around it, driven through the real widgets: opening a
// drawing large, zooming by keys, wheel and pinch, panning, stepping through the list, full
// screen, the list's names and filter, the menus' keys, and what happens when the list is
// replaced or a drawing is damaged.
#include <filesystem>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/DrawingList.h"
#include "app/DrawingView.h"
#include "app/Panels.h"
#include "model/DrawDB.h"
#include "text/VFont.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TDrawingView;
using plotwick::app::TMainForm;

class ViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;
    std::unique_ptr<fixture::UserFolder> user;
    std::string sketches;

    std::unique_ptr<TMainForm> Open()
    {
        auto form = std::make_unique<TMainForm>(Services(state, log));
        form->resize(900, 700);
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return nullptr;
        form->activateWindow();
        form->dbTree->setCurrentItem(ChildNamed(form->DrawingsRoot(), QStringLiteral("Sketches")));
        return form;
    }

    // Clicks the thumbnail with that caption, as a user picks it.
    static bool Click(TMainForm& form, const QString& caption)
    {
        const int row = ItemTexts(form.drList).indexOf(caption);
        if (row < 0)
            return false;
        const QRect r = form.drList->visualItemRect(form.drList->item(row));
        QTest::mouseClick(form.drList->viewport(), Qt::LeftButton, {}, r.center());
        return form.SelectedDrawing() != nullptr;
    }

    // Opens the window and that drawing in the view, with Enter on its thumbnail.
    std::unique_ptr<TMainForm> OpenDrawing(const QString& caption)
    {
        auto form = Open();
        if (!form || !Click(*form, caption))
            return nullptr;
        QTest::keyClick(form->drList, Qt::Key_Return);
        // The shapes are read on a worker: the view has them a moment later.
        if (!form->ViewShown() || !QTest::qWaitFor([&] { return form->drView->HasDrawing(); }, 5000))
            return nullptr;
        return form;
    }

    // Waits until the view shows a finished render of what it shows now.
    static bool Rendered(TDrawingView* view)
    {
        return QTest::qWaitFor([view] { return !view->RenderPending() && view->RenderCount() > 0; }, 5000);
    }

    static QString StatusView(TMainForm& form)
    {
        return form.StatusBar1->findChild<QLabel*>(QStringLiteral("lblView"))->text();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        StartFresh(dir, state, log);
        user = std::make_unique<fixture::UserFolder>(dir->Path() + "/jsmith");
        sketches = user->AddDatabase(kDrawings, "Sketches");
        user->AddRecord(sketches, "a.dat", SquareRecord("Red square", 0x000000FF));
        user->AddRecord(sketches, "b.dat", SquareRecord("Green square", 0x0000FF00));
        user->AddRecord(sketches, "c.dat", SquareRecord("Blue square", 0x00FF0000));
        user->AddDatabase(kDrawings, "Empty");
        state->users.push_back({12, "John Smith", "jsmith"});
    }

    void cleanup()
    {
        user.reset();
        dir.reset();
        FontList.Clear();
    }

    void enterSpaceAndDoubleClickOpenTheViewFitted_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Enter") << 0;
        QTest::newRow("Space") << 1;
        QTest::newRow("double click") << 2;
        QTest::newRow("View menu") << 3;
    }

    void enterSpaceAndDoubleClickOpenTheViewFitted()
    {
        QFETCH(int, how);
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form && Click(*form, "Green square"));
        QVERIFY(!form->ViewShown());
        QVERIFY(!form->ZoomIn1->isEnabled());
        const QRect r = form->drList->visualItemRect(form->drList->currentItem());
        if (how == 0)
            QTest::keyClick(form->drList, Qt::Key_Return);
        else if (how == 1)
            QTest::keyClick(form->drList, Qt::Key_Space);
        else if (how == 2)
            QTest::mouseDClick(form->drList->viewport(), Qt::LeftButton, {}, r.center());
        else
            form->OpenDrawing1->trigger();
        QTRY_VERIFY(form->ViewShown());
        QVERIFY(form->drList->isHidden());
        QCOMPARE(form->drView->Caption(), QStringLiteral("Green square"));
        QVERIFY(form->drView->Fits());
        QTRY_VERIFY(form->drView->HasDrawing());  // read on a worker
        QVERIFY(form->ZoomIn1->isEnabled());
        // Fitted: the 100-unit square fills the smaller side of the view less its margins.
        const QSize v = form->drView->viewport()->size();
        QCOMPARE(form->drView->Zoom(), (std::min(v.width(), v.height()) - 2.0 * TDrawingView::kMargin) / 100.0);
        QVERIFY(Rendered(form->drView));
        QCOMPARE(StatusView(*form), QStringLiteral("Green square \u2013 ") + form->drView->ZoomText());
        // Drawn in green, from the vectors.
        const QImage image = form->drView->RenderedImage();
        QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2), QColor(0, 255, 0));

        QTest::keyClick(form->drView, Qt::Key_Escape);
        QVERIFY(!form->ViewShown());
        QVERIFY(form->drList->isVisible());
        QVERIFY(responder.seen.empty());
    }

    void keysWheelAndPinchZoomFromTheVectors()
    {
        ModalResponder responder;
        auto form = OpenDrawing("Red square");
        QVERIFY(form);
        TDrawingView* view = form->drView;
        QVERIFY(Rendered(view));

        // A new zoom never waits for its render: the last image is shown scaled meanwhile.
        const QSize fitted = view->RenderedImage().size();
        QTest::keyClick(view, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(view->Zoom(), 1.0);
        QCOMPARE(view->ZoomText(), QStringLiteral("100 %"));
        QVERIFY(view->RenderPending());
        QCOMPARE(view->RenderedImage().size(), fitted);
        const QImage meanwhile = view->viewport()->grab().toImage();
        QCOMPARE(meanwhile.pixelColor(meanwhile.rect().center()), QColor(255, 0, 0));
        QVERIFY(Rendered(view));
        QCOMPARE(view->RenderedImage().size(), QSize(100 + 2 * TDrawingView::kMargin, 100 + 2 * TDrawingView::kMargin));
        for (const double expected : {1.5, 2.0, 3.0, 4.0}) {
            QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);
            QCOMPARE(view->Zoom(), expected);
        }
        QCOMPARE(StatusView(*form), QStringLiteral("Red square \u2013 400 %"));
        // At 400 % the image is rendered at 400 %: 400 device pixels for the 100 units, never a
        // stretched smaller bitmap.
        QTRY_COMPARE(view->RenderedImage().size(), QSize(400 + 2 * TDrawingView::kMargin, 400 + 2 * TDrawingView::kMargin));
        const int rendersAt400 = view->RenderCount();
        QVERIFY(rendersAt400 >= 2);

        QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(view->Zoom(), 3.0);
        QTest::keyClick(view, Qt::Key_9, Qt::ControlModifier);
        QVERIFY(view->Fits());

        // Ctrl+wheel: one notch up zooms in by a fifth about the pointer; without Ctrl it scrolls.
        QTest::keyClick(view, Qt::Key_0, Qt::ControlModifier);
        const QPointF at = QRectF(view->viewport()->rect()).center();
        QWheelEvent up(at, view->viewport()->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::ControlModifier,
                       Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &up);
        QCOMPARE(view->Zoom(), 1.2);
        QWheelEvent plain(at, view->viewport()->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &plain);
        QCOMPARE(view->Zoom(), 1.2);

        // A touchpad's pinch.
        QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, at,
                                  at, view->viewport()->mapToGlobal(at), 0.5, {});
        QApplication::sendEvent(view->viewport(), &pinch);
        QCOMPARE(view->Zoom(), 1.8);
        QVERIFY(responder.seen.empty());
    }

    void draggingAndScrollbarsPan()
    {
        ModalResponder responder;
        auto form = OpenDrawing("Red square");
        QVERIFY(form);
        TDrawingView* view = form->drView;
        QTest::keyClick(view, Qt::Key_0, Qt::ControlModifier);
        for (int i = 0; i < 6; ++i)
            QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);  // 800 %
        QVERIFY(view->horizontalScrollBar()->maximum() > 0);
        QVERIFY(view->verticalScrollBar()->maximum() > 0);
        const int x = view->horizontalScrollBar()->value(), y = view->verticalScrollBar()->value();
        const QPoint from = view->viewport()->rect().center();
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, from + QPoint(-40, -30), view->viewport()->mapToGlobal(from + QPoint(-40, -30)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &move);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, from + QPoint(-40, -30));
        QCOMPARE(view->horizontalScrollBar()->value(), x + 40);
        QCOMPARE(view->verticalScrollBar()->value(), y + 30);
        // The panned part is drawn again, from the vectors, in red.
        QVERIFY(QTest::qWaitFor([&] { return !view->RenderPending(); }, 5000));
        QCOMPARE(view->RenderedImage().pixelColor(view->RenderedImage().width() / 2, view->RenderedImage().height() / 2),
                 QColor(255, 0, 0));
        QScrollBar* bar = view->horizontalScrollBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 40, bar->height() / 2));
        QVERIFY(view->horizontalScrollBar()->value() > x + 40);
    }

    void pageKeysStepThroughTheFilteredList()
    {
        user->AddRecord(sketches, "d.dat", SquareRecord("Red circle", 0x000000FF));
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QTest::keyClicks(form->edFilter, QStringLiteral("rED"));
        QTRY_COMPARE(ItemTexts(form->drList).size(), 4);
        QStringList shown;
        for (int i = 0; i < form->drList->count(); ++i)
            if (!form->drList->item(i)->isHidden())
                shown << form->drList->item(i)->text();
        QCOMPARE(shown, (QStringList{"Red square", "Red circle"}));
        QVERIFY(Click(*form, "Red square"));
        QTest::keyClick(form->drList, Qt::Key_Return);
        QTest::keyClick(form->drView, Qt::Key_PageDown);
        QCOMPARE(form->drView->Caption(), QStringLiteral("Red circle"));
        QCOMPARE(form->panPrTitle->caption(), QStringLiteral("Preview: Red circle"));
        QTest::keyClick(form->drView, Qt::Key_PageDown);  // the last one the filter leaves
        QCOMPARE(form->drView->Caption(), QStringLiteral("Red circle"));
        QTest::keyClick(form->drView, Qt::Key_PageUp);
        QCOMPARE(form->drView->Caption(), QStringLiteral("Red square"));
        QVERIFY(Rendered(form->drView));
        QCOMPARE(form->drView->RenderedImage().pixelColor(form->drView->RenderedImage().width() / 2,
                                                          form->drView->RenderedImage().height() / 2),
                 QColor(255, 0, 0));
    }

    // The next drawing's shapes are read on a worker: its caption shows at once, the last
    // picture stays until they arrive, then the next drawing is drawn.
    void steppingKeepsThePictureUntilTheNextDrawingArrives()
    {
        ModalResponder responder;
        auto form = OpenDrawing("Red square");
        QVERIFY(form);
        TDrawingView* view = form->drView;
        QVERIFY(Rendered(view));
        QTest::keyClick(view, Qt::Key_PageDown);
        QCOMPARE(view->Caption(), QStringLiteral("Green square"));
        QVERIFY(view->Loading());
        QVERIFY(view->RenderPending());
        const QImage meanwhile = view->viewport()->grab().toImage();
        QCOMPARE(meanwhile.pixelColor(meanwhile.rect().center()), QColor(255, 0, 0));
        QVERIFY(Rendered(view));
        QVERIFY(!view->Loading());
        QCOMPARE(view->RenderedImage().pixelColor(view->RenderedImage().width() / 2, view->RenderedImage().height() / 2),
                 QColor(0, 255, 0));
        QVERIFY(responder.seen.empty());
    }

    // Export and the copies act on the drawing the view shows, full screen too.
    void copiesFromTheView()
    {
        ModalResponder responder;
        auto form = OpenDrawing("Blue square");
        QVERIFY(form);
        QTest::keyClick(form->drView, Qt::Key_PageDown);  // none after it: it stays
        QTest::keyClick(form->drView, Qt::Key_PageUp);
        QCOMPARE(form->drView->Caption(), QStringLiteral("Green square"));
        QTest::keyClick(form->drView, Qt::Key_F11);
        QTRY_VERIFY(form->isFullScreen());
        QTest::keyClick(form->drView, Qt::Key_B, Qt::ControlModifier);
        const QImage copied = QGuiApplication::clipboard()->image();
        QCOMPARE(copied.size(), QSize(100, 100));
        QCOMPARE(copied.pixelColor(50, 50), QColor(0, 255, 0));
        QTest::keyClick(form->drView, Qt::Key_Escape);
        QTRY_VERIFY(!form->isFullScreen());
        QVERIFY(form->ViewShown());  // the view was open before full screen: it stays
        QVERIFY(responder.seen.empty());
    }

    void fullScreenAndEscape()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form && Click(*form, "Blue square"));
        QTest::keyClick(form->drList, Qt::Key_F11);
        QTRY_VERIFY(form->isFullScreen());
        QVERIFY(form->ViewShown());
        QVERIFY(form->menuBar()->isHidden());
        QVERIFY(form->panLeft->isHidden());
        QTest::keyClick(form->drView, Qt::Key_Escape);
        QTRY_VERIFY(!form->isFullScreen());
        QVERIFY(form->menuBar()->isVisible());
        QVERIFY(!form->ViewShown());  // full screen had opened it from the list
        QVERIFY(form->drList->isVisible());
    }

    void substituteFaceRendersTheViewAgain()
    {
        ModalResponder responder;
        auto form = OpenDrawing("Blue square");
        QVERIFY(form);
        QVERIFY(Rendered(form->drView));
        const int before = form->drView->RenderCount();
        form->CheckBox1->click();
        QTRY_VERIFY(form->drView->RenderCount() > before);
    }

    void replacingTheListClearsPreviewViewAndCommands()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form && Click(*form, "Red square"));
        QTRY_VERIFY(!form->imgPreview->image().isNull());
        QTest::keyClick(form->drList, Qt::Key_Return);
        QVERIFY(form->Export1->isEnabled());
        form->dbTree->setCurrentItem(ChildNamed(form->DrawingsRoot(), QStringLiteral("Empty")));
        QVERIFY(!form->ViewShown());
        QVERIFY(form->imgPreview->image().isNull());
        QCOMPARE(form->panPrTitle->caption(), QStringLiteral("Preview"));
        for (QAction* a : {form->Export1, form->Copyasvectors1, form->CopyasBitmap1, form->ExportSelected1,
                           form->ExportDatabaseFiles1, form->OpenDrawing1, form->ZoomIn1})
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        QVERIFY(responder.seen.empty());
    }

    void errorBoxesNameTheDrawingAndItsFile()
    {
        const std::string path = user->AddRecord(sketches, "torn.dat", SquareRecord("Torn page"));
        std::filesystem::resize_file(path, std::filesystem::file_size(path) - 3);  // the shapes end early
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form && Click(*form, "Torn page"));
        QTRY_COMPARE(responder.Count("message"), 1);
        const QString expected = QStringLiteral("Drawing \u201CTorn page\u201D, file %1:\nIncorrect data format.")
                                     .arg(QString::fromStdString(path));
        QCOMPARE(responder.seen.back().text, expected);
        QTest::keyClick(form->drList, Qt::Key_Return);  // the view names it too
        QTRY_COMPARE(responder.Count("message"), 2);
        QCOMPARE(responder.seen.back().text, expected);
    }

    void namesWrapElideAndTellTheirFile()
    {
        const QFontMetrics m(QApplication::font());
        const int width = m.horizontalAdvance(QStringLiteral("Flower in a pot"));
        struct Case {
            QString name, shown;
        } cases[] = {
            {"Flower", "Flower"},
            {"Flower in a pot", "Flower in a pot"},
            {"Flower in a pot Flower in a pot", "Flower in a pot\nFlower in a pot"},
        };
        for (const Case& c : cases)
            QCOMPARE(app::TwoLineName(c.name, m, width), c.shown);
        // Longer: two lines with the middle left out, both ends kept.
        const QString longName = QStringLiteral("Drawing 0001 of the very long series of drawings 9999");
        const QStringList lines = app::TwoLineName(longName, m, width).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.join(QLatin1Char(' ')).contains(QStringLiteral("\u2026")));
        QVERIFY(lines.first().startsWith(QStringLiteral("Drawing")));
        QVERIFY(lines.last().endsWith(QStringLiteral("9999")));
        for (const QString& line : lines)
            QVERIFY(m.horizontalAdvance(line) <= width);

        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        const QString tip = form->drList->item(0)->toolTip();
        QCOMPARE(tip, QStringLiteral("Red square\na.dat, %1 bytes")
                          .arg(QLocale(QLocale::English).toString(QFileInfo(QString::fromStdString(sketches + "/a.dat")).size())));
    }

    // A large database shows its first screen at once and fills the rest while the window
    // goes on; the filter applies to the drawings added later too.
    void aLargeDatabaseFillsInSlices()
    {
        const std::string many = user->AddDatabase(kDrawings, "Many");
        for (int i = 0; i < 1200; ++i)
            user->AddRecord(many, "r" + std::to_string(10000 + i) + ".dat",
                            SquareRecord(i % 2 ? "Odd " + std::to_string(i) : "Even " + std::to_string(i)));
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->dbTree->setCurrentItem(ChildNamed(form->DrawingsRoot(), QStringLiteral("Many")));
        QVERIFY(form->drList->count() > 0);
        QVERIFY(form->drList->count() < 1200);
        form->edFilter->setText(QStringLiteral("odd"));  // typed while the list fills
        QTRY_COMPARE(form->drList->count(), 1200);
        int shown = 0;
        for (int i = 0; i < form->drList->count(); ++i)
            shown += form->drList->item(i)->isHidden() ? 0 : 1;
        QCOMPARE(shown, 600);
        // Another database while it fills: nothing of the first one is added to it.
        form->dbTree->setCurrentItem(ChildNamed(form->DrawingsRoot(), QStringLiteral("Many")));
        form->dbTree->setCurrentItem(ChildNamed(form->DrawingsRoot(), QStringLiteral("Sketches")));
        QTest::qWait(50);
        QCOMPARE(ItemTexts(form->drList), (QStringList{"Red square", "Green square", "Blue square"}));
    }

    void menusHaveTheUsualKeys()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QCOMPARE(form->Export1->text(), QStringLiteral("E&xport\u2026"));
        QCOMPARE(form->Export1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
        QCOMPARE(form->Quit1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(form->OpenFolder1->shortcut(), QKeySequence(QKeySequence::Open));
        QCOMPARE(form->ZoomIn1->shortcut(), QKeySequence(QKeySequence::ZoomIn));
        QCOMPARE(form->KeyboardShortcuts1->text(), QStringLiteral("Keyboard Shortcuts"));

        // Ctrl+A selects every drawing for "Export Selected…".
        form->drList->setFocus();
        QTest::keyClick(form->drList, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(form->drList->selectedItems().size(), 3);
        QVERIFY(form->ExportSelected1->isEnabled());

        QStringList listed;
        responder.inspect = [&](QWidget* w) {
            if (auto* table = w->findChild<QTableWidget*>(QStringLiteral("shortcutsTable"))) {
                for (int row = 0; row < table->rowCount(); ++row)
                    listed << table->item(row, 0)->text() + QLatin1Char('=') + table->item(row, 1)->text();
                static_cast<QDialog*>(w)->reject();
            }
        };
        QTest::keyClick(form->drList, Qt::Key_F1);
        QVERIFY2(listed.contains(QStringLiteral("Quit=Ctrl+Q")), qPrintable(listed.join('|')));
        QVERIFY(listed.contains(QStringLiteral("Full Screen=F11")) || listed.filter("Full Screen=").size() == 1);

        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form->drList, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!form->isVisible());
    }
};

QTEST_MAIN(ViewTest)
#include "tst_view.moc"
