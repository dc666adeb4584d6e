// The export settings dialog: its components, its two widths, and the arithmetic of scale,
// width and height driven through the fields as a user types and leaves them.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include "app/ExportForm.h"

using plotwick::app::TExportForm;

namespace {

// Types text into a field, replacing what it shows, without leaving it.
void Type(QLineEdit* field, const QString& text)
{
    field->setFocus(Qt::TabFocusReason);
    field->selectAll();
    QTest::keyClicks(field, text);
}

// Leaves the field with the Tab key, as a user would.
bool Leave(QLineEdit* field)
{
    QTest::keyClick(field, Qt::Key_Tab);
    return !field->hasFocus();
}

}  // namespace

class ExportFormTest : public QObject {
    Q_OBJECT

private:
    // A dialog shown (not modally) for a drawing of the given size, active, so that the focus
    // moves between its fields.
    std::unique_ptr<TExportForm> Shown(std::int32_t sourceWidth, std::int32_t sourceHeight, bool jpeg = true)
    {
        auto form = std::make_unique<TExportForm>();
        form->ShowJpegOptions(jpeg);
        form->FSourceWidth = sourceWidth;
        form->FSourceHeight = sourceHeight;
        form->show();
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            return nullptr;
        return form;
    }

    static QString Texts(const TExportForm& f)
    {
        return f.eScale->text() + QLatin1Char('|') + f.eWidth->text() + QLatin1Char('|') + f.eHeight->text();
    }
    static QString Committed(const TExportForm& f)
    {
        return QString::number(f.CommittedScale()) + QLatin1Char('|') + QString::number(f.CommittedWidth()) +
               QLatin1Char('|') + QString::number(f.CommittedHeight());
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void componentsAsDesigned()
    {
        TExportForm f;
        QCOMPARE(f.windowTitle(), QStringLiteral("Export drawing"));
        QCOMPARE(f.size(), QSize(405, 207));
        QCOMPARE(f.OuterWidth(), 411);
        QVERIFY(f.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(!(f.windowFlags() & Qt::WindowContextHelpButtonHint));

        QCOMPARE(f.GroupBox1->title(), QStringLiteral("Image scale"));
        QCOMPARE(f.GroupBox1->geometry(), QRect(8, 8, 161, 57));
        QCOMPARE(f.Label1->text(), QStringLiteral("Scale:"));
        QCOMPARE(f.Label2->text(), QStringLiteral("%"));
        QCOMPARE(f.eScale->width(), 49);
        QCOMPARE(f.eScale->parentWidget(), f.GroupBox1);

        QCOMPARE(f.GroupBox2->title(), QStringLiteral("Pixel Dimensions"));
        QCOMPARE(f.GroupBox2->geometry(), QRect(8, 72, 161, 97));
        QCOMPARE(f.Label4->text(), QStringLiteral("Width:"));
        QCOMPARE(f.Label3->text(), QStringLiteral("px"));
        QCOMPARE(f.Label5->text(), QStringLiteral("Height:"));
        QCOMPARE(f.Label6->text(), QStringLiteral("px"));
        QCOMPARE(f.eWidth->parentWidget(), f.GroupBox2);
        QCOMPARE(f.eHeight->parentWidget(), f.GroupBox2);
        QVERIFY(f.eWidth->y() < f.eHeight->y());
        QVERIFY(f.eHeight->y() < f.chbProps->y());
        QCOMPARE(f.chbProps->text(), QStringLiteral("Constrain &Proportions"));
        QVERIFY(f.chbProps->isChecked());

        QCOMPARE(f.grJpeg->title(), QStringLiteral("JPEG "));
        QCOMPARE(f.grJpeg->geometry(), QRect(176, 8, 225, 161));
        QCOMPARE(f.Label7->text(), QStringLiteral("Compression Quality"));
        QCOMPARE(f.tbQuality->width(), 209);
        QCOMPARE(f.tbQuality->orientation(), Qt::Horizontal);
        QCOMPARE(f.tbQuality->minimum(), 1);
        QCOMPARE(f.tbQuality->maximum(), 100);
        QCOMPARE(f.tbQuality->value(), 75);
        QCOMPARE(f.tbQuality->tickInterval(), 20);
        QCOMPARE(f.tbQuality->tickPosition(), QSlider::TicksBelow);
        QCOMPARE(f.Label8->text(), QStringLiteral("Low"));
        QCOMPARE(f.Label9->text(), QStringLiteral("Maximum"));
        QVERIFY(f.Label8->x() < f.Label9->x());
        QVERIFY(f.Label8->y() > f.tbQuality->y());
        QCOMPARE(f.chbProgressive->text(), QStringLiteral("Progressive"));
        QCOMPARE(f.chbSmoothing->text(), QStringLiteral("Smoothing"));
        QCOMPARE(f.chbGrayscale->text(), QStringLiteral("Grayscale"));
        for (QCheckBox* box : {f.chbProgressive, f.chbSmoothing, f.chbGrayscale}) {
            QVERIFY(!box->isChecked());
            QCOMPARE(box->parentWidget(), f.grJpeg);
        }

        QCOMPARE(f.Button1->text(), QStringLiteral("&Ok"));
        QVERIFY(f.Button1->isDefault());
        QCOMPARE(f.Button1->geometry(), QRect(246, 176, 75, 25));
        QCOMPARE(f.Button2->text(), QStringLiteral("&Cancel"));
        QVERIFY(!f.Button2->isDefault());
        QCOMPARE(f.Button2->geometry(), QRect(326, 176, 75, 25));

        // The components carry their designed names.
        for (const char* name : {"GroupBox1", "Label1", "eScale", "Label2", "GroupBox2", "Label4", "eWidth", "Label3",
                                 "Label5", "eHeight", "Label6", "chbProps", "grJpeg", "Label7", "tbQuality", "Label8",
                                 "Label9", "chbProgressive", "chbSmoothing", "chbGrayscale", "Button1", "Button2"})
            QVERIFY2(f.findChild<QWidget*>(QString::fromLatin1(name)), name);

        // Every text fits its control in the font the dialog shows.
        for (QLabel* label : f.findChildren<QLabel*>())
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
        for (QCheckBox* box : f.findChildren<QCheckBox*>())
            QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->text()));
    }

    void jpegGroupSetsTheWidth()
    {
        TExportForm f;
        f.ShowJpegOptions(false);
        QCOMPARE(f.OuterWidth(), 181);
        QCOMPARE(f.width(), 175);
        QCOMPARE(f.height(), 207);
        QVERIFY(f.grJpeg->isHidden());
        QVERIFY(!f.grJpeg->isEnabled());
        // The buttons keep their distance to the right edge.
        QCOMPARE(f.Button2->geometry(), QRect(175 - 79, 176, 75, 25));
        QCOMPARE(f.Button1->geometry(), QRect(175 - 159, 176, 75, 25));
        QVERIFY(f.Button1->x() >= 0);

        f.ShowJpegOptions(true);
        QCOMPARE(f.OuterWidth(), 411);
        QCOMPARE(f.width(), 405);
        QVERIFY(!f.grJpeg->isHidden());
        QVERIFY(f.grJpeg->isEnabled());
        QCOMPARE(f.Button2->geometry(), QRect(326, 176, 75, 25));
        QCOMPARE(f.Button1->geometry(), QRect(246, 176, 75, 25));
    }

    void showingStartsAtTheFullSize()
    {
        auto f = Shown(333, 120);
        QVERIFY(f);
        QCOMPARE(Texts(*f), QStringLiteral("100|333|120"));
        QCOMPARE(Committed(*f), QStringLiteral("100|333|120"));
        QVERIFY(f->eScale->isEnabled());
    }

    void halfScaleRoundsToEven()
    {
        auto f = Shown(333, 201);
        QVERIFY(f);
        Type(f->eScale, QStringLiteral("50"));
        // Typing commits nothing; leaving the field does.
        QCOMPARE(Committed(*f), QStringLiteral("100|333|201"));
        QVERIFY(Leave(f->eScale));
        QCOMPARE(Texts(*f), QStringLiteral("50|166|100"));  // 166.5 and 100.5 go to the even neighbour
        QCOMPARE(Committed(*f), QStringLiteral("50|166|100"));

        auto g = Shown(335, 10);
        QVERIFY(g);
        Type(g->eScale, QStringLiteral("50"));
        QVERIFY(Leave(g->eScale));
        QCOMPARE(Texts(*g), QStringLiteral("50|168|5"));
    }

    void widthKeepsTheProportions()
    {
        auto f = Shown(200, 100);
        QVERIFY(f);
        Type(f->eWidth, QStringLiteral("300"));
        QVERIFY(Leave(f->eWidth));
        QCOMPARE(Texts(*f), QStringLiteral("150|300|150"));
        QCOMPARE(Committed(*f), QStringLiteral("150|300|150"));

        // The height leads the same way; the scale follows the width.
        Type(f->eHeight, QStringLiteral("50"));
        QVERIFY(Leave(f->eHeight));
        QCOMPARE(Texts(*f), QStringLiteral("50|100|50"));
        QCOMPARE(Committed(*f), QStringLiteral("50|100|50"));
    }

    void zeroAndNegativeCommitOneAndKeepTheText()
    {
        auto f = Shown(200, 100);
        QVERIFY(f);
        Type(f->eWidth, QStringLiteral("0"));
        QVERIFY(Leave(f->eWidth));
        // Width 1: the height 100 x (1 / 200), a little above one half in extended precision,
        // goes to 1; the scale 1 / 200 x 100, exactly one half, to 0.
        QCOMPARE(Texts(*f), QStringLiteral("0|0|1"));
        QCOMPARE(Committed(*f), QStringLiteral("0|1|1"));

        auto g = Shown(200, 100);
        QVERIFY(g);
        Type(g->eWidth, QStringLiteral("-40"));
        QVERIFY(Leave(g->eWidth));
        QCOMPARE(g->eWidth->text(), QStringLiteral("-40"));
        QCOMPARE(g->CommittedWidth(), 1);

        // A scale below 1 counts as 1; the field shows what was typed.
        auto h = Shown(1000, 400);
        QVERIFY(h);
        Type(h->eScale, QStringLiteral("-3"));
        QVERIFY(Leave(h->eScale));
        QCOMPARE(Texts(*h), QStringLiteral("-3|10|4"));
        QCOMPARE(Committed(*h), QStringLiteral("1|10|4"));
    }

    void textThatIsNoNumberChangesNothing()
    {
        auto f = Shown(200, 100);
        QVERIFY(f);
        Type(f->eScale, QStringLiteral("abc"));
        QVERIFY(Leave(f->eScale));
        QCOMPARE(Texts(*f), QStringLiteral("abc|200|100"));
        QCOMPARE(Committed(*f), QStringLiteral("100|200|100"));
        // A trailing space fails as well; the committed values and the other texts stay.
        Type(f->eWidth, QStringLiteral("300 "));
        QVERIFY(Leave(f->eWidth));
        QCOMPARE(Texts(*f), QStringLiteral("abc|300 |100"));
        QCOMPARE(Committed(*f), QStringLiteral("100|200|100"));
        // Leading spaces, a sign and hexadecimal numbers are numbers.
        Type(f->eWidth, QStringLiteral("  +100"));
        QVERIFY(Leave(f->eWidth));
        QCOMPARE(Committed(*f), QStringLiteral("50|100|50"));
        QCOMPARE(f->eScale->text(), QStringLiteral("50"));
        Type(f->eWidth, QStringLiteral("$C8"));
        QVERIFY(Leave(f->eWidth));
        QCOMPARE(Committed(*f), QStringLiteral("100|200|100"));
        Type(f->eScale, QStringLiteral("0x96"));
        QVERIFY(Leave(f->eScale));
        QCOMPARE(Texts(*f), QStringLiteral("0x96|300|150"));
        QCOMPARE(Committed(*f), QStringLiteral("150|300|150"));
    }

    void freeProportionsGreyTheScale()
    {
        auto f = Shown(200, 100);
        QVERIFY(f);
        QTest::mouseClick(f->chbProps, Qt::LeftButton, {}, QPoint(8, f->chbProps->height() / 2));
        QVERIFY(!f->chbProps->isChecked());
        QVERIFY(!f->eScale->isEnabled());
        Type(f->eWidth, QStringLiteral("300"));
        QVERIFY(Leave(f->eWidth));
        QCOMPARE(Texts(*f), QStringLiteral("100|300|100"));
        QCOMPARE(Committed(*f), QStringLiteral("100|300|100"));
        Type(f->eHeight, QStringLiteral("40"));
        QVERIFY(Leave(f->eHeight));
        QCOMPARE(Texts(*f), QStringLiteral("100|300|40"));
        QCOMPARE(Committed(*f), QStringLiteral("100|300|40"));

        // Constrained again: the scale field is back and follows the next width.
        QTest::mouseClick(f->chbProps, Qt::LeftButton, {}, QPoint(8, f->chbProps->height() / 2));
        QVERIFY(f->eScale->isEnabled());
        QCOMPARE(Texts(*f), QStringLiteral("100|300|40"));
        Type(f->eWidth, QStringLiteral("150"));
        QVERIFY(Leave(f->eWidth));
        QCOMPARE(Texts(*f), QStringLiteral("75|150|20"));
    }

    void jpegSettingsFromTheControls()
    {
        TExportForm f;
        auto o = f.JpegSettings();
        QCOMPARE(o.quality, 75);
        QVERIFY(!o.grayscale && !o.progressive && !o.smoothing);
        f.tbQuality->setValue(12);
        f.chbGrayscale->setChecked(true);
        o = f.JpegSettings();
        QCOMPARE(o.quality, 12);
        QVERIFY(o.grayscale && !o.progressive && !o.smoothing);
        f.chbGrayscale->setChecked(false);
        f.chbProgressive->setChecked(true);
        f.chbSmoothing->setChecked(true);
        o = f.JpegSettings();
        QVERIFY(!o.grayscale && o.progressive && o.smoothing);
    }

    // Enter in a field: what it shows is committed, then the dialog closes with OK.
    void enterCommitsTheFieldThenOk()
    {
        TExportForm f;
        f.FSourceWidth = 200;
        f.FSourceHeight = 100;
        bool typed = false;
        QTimer::singleShot(0, &f, [&] {
            if (!QTest::qWaitForWindowActive(&f))
                return;
            Type(f.eWidth, QStringLiteral("300"));
            typed = f.eWidth->hasFocus();
            QTest::keyClick(f.eWidth, Qt::Key_Return);
        });
        QTimer::singleShot(5000, &f, [&] { f.reject(); });  // never hangs
        QCOMPARE(f.exec(), int(QDialog::Accepted));
        QVERIFY(typed);
        QCOMPARE(f.CommittedWidth(), 300);
        QCOMPARE(f.CommittedHeight(), 150);
        QCOMPARE(f.CommittedScale(), 150);
    }

    // Clicking "&Ok" leaves the field first.
    void clickingOkCommitsTheField()
    {
        TExportForm f;
        f.FSourceWidth = 200;
        f.FSourceHeight = 100;
        QTimer::singleShot(0, &f, [&] {
            if (!QTest::qWaitForWindowActive(&f))
                return;
            Type(f.eScale, QStringLiteral("25"));
            QTest::mouseClick(f.Button1, Qt::LeftButton);
        });
        QTimer::singleShot(5000, &f, [&] { f.reject(); });
        QCOMPARE(f.exec(), int(QDialog::Accepted));
        QCOMPARE(Committed(f), QStringLiteral("25|50|25"));
    }

    void cancelAndCloseReject()
    {
        for (int way = 0; way < 3; ++way) {
            TExportForm f;
            f.FSourceWidth = 20;
            f.FSourceHeight = 10;
            QTimer::singleShot(0, &f, [&] {
                if (!QTest::qWaitForWindowActive(&f))
                    return;
                if (way == 0)
                    QTest::mouseClick(f.Button2, Qt::LeftButton);
                else if (way == 1)
                    f.close();  // the title-bar close button
                else
                    QTest::keyClick(&f, Qt::Key_Escape);
            });
            QTimer::singleShot(5000, &f, [&] { f.accept(); });
            QCOMPARE(f.exec(), int(QDialog::Rejected));
        }
    }

    // A drawing without extent on an axis is sized as one pixel there.
    void zeroExtentCountsAsOnePixel()
    {
        auto f = Shown(0, 57);
        QVERIFY(f);
        QCOMPARE(Texts(*f), QStringLiteral("100|1|57"));
        Type(f->eScale, QStringLiteral("200"));
        QVERIFY(Leave(f->eScale));
        QCOMPARE(Committed(*f), QStringLiteral("200|2|114"));
    }

    // Each showing starts afresh.
    void aNewDialogStartsAtItsDefaults()
    {
        {
            auto f = Shown(200, 100);
            QVERIFY(f);
            Type(f->eScale, QStringLiteral("10"));
            QVERIFY(Leave(f->eScale));
            f->chbProps->setChecked(false);
            f->tbQuality->setValue(3);
        }
        auto g = Shown(200, 100);
        QVERIFY(g);
        QCOMPARE(Texts(*g), QStringLiteral("100|200|100"));
        QVERIFY(g->chbProps->isChecked());
        QCOMPARE(g->tbQuality->value(), 75);
    }
};

QTEST_MAIN(ExportFormTest)
#include "tst_exportform.moc"
