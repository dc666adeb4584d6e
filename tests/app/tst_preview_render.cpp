// The preview drawn by the real rasteriser: what the user sees for a selected drawing.
#include <QCheckBox>
#include <QListWidget>
#include <QSplitter>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/Panels.h"
#include "app/PreviewRender.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "text/VFont.h"
#include "text/VPathText.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TMainForm;

namespace {

int CountColour(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
    return n;
}

}  // namespace

class PreviewRenderTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;
    std::string sketches;

    std::unique_ptr<TMainForm> Open()
    {
        auto form = std::make_unique<TMainForm>(Services(state, log));
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            return nullptr;
        form->dbTree->setCurrentItem(form->DrawingsRoot()->child(0));
        return form;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        ResetSettings();
        FontList.Clear();
        dir = std::make_unique<fixture::TempDir>();
        fixture::UserFolder user(dir->Path() + "/jsmith");
        sketches = user.AddDatabase(kDrawings, "Sketches");
        user.AddRecord(sketches, "a.dat", SquareRecord("Red square", 0x000000FF));
        // Lettering in the user's vector font, beside a blue square.
        const std::string font = user.AddDatabase(kFonts, "Block", 1.0f, 1000);
        const fixture::Bytes box = fixture::Path(0x00000000, std::nullopt,
                                                 {fixture::M(50, 0), fixture::L(550, 0), fixture::L(550, -700),
                                                  fixture::L(50, -700), fixture::Z()});
        for (char c : std::string("HI"))
            fixture::WriteFile(font + "/g" + c + ".dat",
                               fixture::GlyphRecord(static_cast<std::uint8_t>(c),
                                                    std::pair<std::uint16_t, std::int16_t>{600, 0}, box));
        fixture::Bytes stream = fixture::Path(0x00FF0000, std::nullopt,
                                              {fixture::M(0, 0), fixture::L(20, 0), fixture::L(20, 20),
                                               fixture::L(0, 20), fixture::Z()});
        stream.append(fixture::Text(0, 60, 0x00000000, std::nullopt, "Block", 40, fixture::kIdentity, "HIHI"));
        user.AddRecord(sketches, "b.dat", fixture::Record("Lettering", stream));
        state = std::make_shared<FakeState>();
        state->base = dir->Path() + "/";
        state->users.push_back({12, "John Smith", "jsmith"});
        log = std::make_shared<RenderLog>();
        log->useRealRenderer = true;
    }

    void cleanup()
    {
        dir.reset();
        FontList.Clear();
    }

    void selectedDrawingIsDrawnFitted()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->drList->setCurrentRow(0);
        QVERIFY2(responder.seen.empty(), qPrintable(responder.Texts().join('\n')));
        QCOMPARE(form->PreviewCount(), 1);
        const QImage image = form->imgPreview->image();
        QCOMPARE(image.size(), form->imgPreview->size());
        // A square fitted with its proportions kept: red in the middle, white margins.
        const QPoint centre(image.width() / 2, image.height() / 2);
        QCOMPARE(image.pixel(centre) & 0xFFFFFF, QRgb(0xFF0000));
        QCOMPARE(image.pixel(1, 1) & 0xFFFFFF, QRgb(0xFFFFFF));
        const int red = CountColour(image, qRgb(255, 0, 0));
        const int side = std::min(image.width(), image.height()) - 20;
        QVERIFY2(std::abs(red - side * side) <= 4 * side, qPrintable(QString::number(red)));
    }

    void substituteFontRedrawsTheTexts()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->drList->setCurrentRow(1);
        QVERIFY2(responder.seen.empty(), qPrintable(responder.Texts().join('\n')));
        const QImage vector = form->imgPreview->image();
        QVERIFY(CountColour(vector, qRgb(0, 0, 255)) > 0);  // the blue square
        QVERIFY(CountColour(vector, qRgb(0, 0, 0)) > 0);    // the glyph boxes

        QTest::mouseClick(form->CheckBox1, Qt::LeftButton);
        QCOMPARE(form->SubstituteFontName(), std::string("Arial"));
        QCOMPARE(form->PreviewCount(), 2);
        const QImage substituted = form->imgPreview->image();
        QVERIFY(substituted != vector);

        QTest::mouseClick(form->CheckBox1, Qt::LeftButton);
        QCOMPARE(form->PreviewCount(), 3);
        QCOMPARE(form->imgPreview->image(), vector);
    }

    void resizeDrawsAtTheNewSize()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        form->drList->setCurrentRow(0);
        const QSize before = form->imgPreview->image().size();
        const QList<int> sizes = form->Splitter2->sizes();
        form->Splitter2->setSizes({sizes[0] - 60, sizes[1] + 60});
        QTRY_COMPARE(form->imgPreview->image().size(), form->imgPreview->size());
        QCOMPARE(form->imgPreview->image().height(), before.height() + 60);
    }
};

QTEST_MAIN(PreviewRenderTest)
#include "tst_preview_render.moc"
