// The list's thumbnails: the size chooser, renders on the workers, placeholders, the disk cache.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <map>

#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/Artwork.h"
#include "app/Panels.h"
#include "app/RenderQueue.h"
#include "app/ThumbnailCache.h"
#include "app/ThumbnailList.h"
#include "model/Drawing.h"
#include "text/VFont.h"

using namespace plotwick;
using namespace plotwick::apptest;
using plotwick::app::TMainForm;

namespace {

// Every file under a folder with its size and modification time.
std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> Snapshot(const std::string& folder)
{
    std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        files[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    return files;
}

// The list's cells hold a thumbnail of the side and the name's two lines under it.
bool CellHoldsThumbnailAndName(const TMainForm& form, int side)
{
    const QSize cell = form.drList->gridSize();
    return cell.width() >= side && cell.height() >= side + 2 * form.drList->fontMetrics().height();
}

}  // namespace

class ThumbnailsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<fixture::TempDir> dir;
    std::shared_ptr<FakeState> state;
    std::shared_ptr<RenderLog> log;
    std::unique_ptr<fixture::UserFolder> user;
    std::string sketches, other;

    std::unique_ptr<TMainForm> Open() { return OpenWindow(Services(state, log), QSize(900, 600)); }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        StartFresh(dir, state, log);
        QDir(app::TThumbnailCache().Folder()).removeRecursively();
        state->users.push_back({12, "John Smith", "jsmith"});
        user = std::make_unique<fixture::UserFolder>(dir->Path() + "/jsmith");
        sketches = user->AddDatabase(kDrawings, "Sketches");
        user->AddRecord(sketches, "a.dat", SquareRecord("Red", 0x000000FF));
        user->AddRecord(sketches, "b.dat", SquareRecord("Blue", 0x00FF0000));
        // A readable name and thumbnail, but shapes cut off before their end.
        fixture::Bytes damaged = SquareRecord("Damaged");
        damaged.truncate(damaged.size() - 6);
        user->AddRecord(sketches, "c.dat", damaged);
        other = user->AddDatabase(kDrawings, "Other");
        user->AddRecord(other, "x.dat", SquareRecord("Green", 0x0000FF00));
    }

    void cleanup()
    {
        user.reset();
        dir.reset();
        FontList.Clear();
    }

    void theChosenSizeIsRenderedAndRemembered()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        QCOMPARE(form->Thumbnails().Side(), 32);
        SelectDatabase(*form, "Sketches");
        // At 32 px the stored thumbnails are the list's: nothing is rendered.
        QCOMPARE(form->RenderQueue().Pending(), 0);
        QCOMPARE(IconSide(form->drList->item(0)), 32);
        // A thumbnail the cache has not used for long goes once the first rendered list is there.
        const std::string stale = app::TThumbnailCache().Folder().toStdString() + "/64x64/stale.png";
        fixture::MakeFolders(std::filesystem::path(stale).parent_path().string());
        fixture::WriteFile(stale, fixture::Bytes().zeros(3));
        std::filesystem::last_write_time(stale, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 90));

        for (const int step : {2, 3, 1}) {
            const int side = app::kThumbnailSides[step];
            form->sldThumbSize->setValue(step);
            QCOMPARE(form->drList->iconSize(), QSize(side, side));
            QVERIFY(CellHoldsThumbnailAndName(*form, side));
            QVERIFY(WaitForThumbnails(*form));
            QVERIFY(!std::filesystem::exists(stale));
            QCOMPARE(form->Thumbnails().ShownCount(), 2);
            QCOMPARE(ReadSetting("ThumbnailSize").toInt(), side);
            // The square fills the thumbnail but for the margin, its own colour, edges see-through.
            for (const auto& [row, red, blue] : {std::tuple{0, 255, 0}, std::tuple{1, 0, 255}}) {
                const QImage image = IconImage(form->drList->item(row), side);
                QCOMPARE(image.size(), QSize(side, side));
                QCOMPARE(qAlpha(image.pixel(1, 1)), 0);
                const QRgb centre = image.pixel(side / 2, side / 2);
                QCOMPARE(qAlpha(centre), 255);
                QCOMPARE(qRed(centre), red);
                QCOMPARE(qBlue(centre), blue);
            }
        }
        form.reset();
        form = Open();
        QVERIFY(form);
        QCOMPARE(form->Thumbnails().Side(), 64);
        QCOMPARE(form->sldThumbSize->value(), 1);
        QVERIFY(CellHoldsThumbnailAndName(*form, 64));  // the stored size lays out the list too
    }

    void aDamagedRecordShowsTheUnreadablePlaceholderAndItsErrorWhenSelected()
    {
        ModalResponder responder;
        log->useRealRenderer = true;
        WriteSetting("ThumbnailSize", 128);
        auto form = Open();
        QVERIFY(form);
        SelectDatabase(*form, "Sketches");
        QVERIFY(WaitForThumbnails(*form));
        QCOMPARE(form->Thumbnails().FailedCount(), 1);
        QCOMPARE(IconImage(form->drList->item(2), 32),
                 app::UnreadableRecordImage().convertToFormat(QImage::Format_ARGB32));
        QVERIFY(responder.seen.empty());
        form->drList->setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
        QTRY_COMPARE(responder.Count("message"), 1);
        // The box names the drawing and its file before the message.
        QVERIFY(responder.seen[0].text.startsWith(QStringLiteral("Drawing \u201CDamaged\u201D, file ")));
        QVERIFY(responder.seen[0].text.endsWith(QStringLiteral("/c.dat:\nIncorrect data format.")));
    }

    void aSecondVisitUsesTheCacheUntilTheRecordChanges()
    {
        ModalResponder responder;
        WriteSetting("ThumbnailSize", 64);
        auto form = Open();
        QVERIFY(form);
        const auto before = Snapshot(dir->Path());
        SelectDatabase(*form, "Sketches");
        QVERIFY(WaitForThumbnails(*form));
        const std::string red = sketches + "/a.dat";
        const auto key = app::CurrentThumbnailKey(red, 64, "", FontsStampOf(*form));
        QVERIFY(key);
        const app::TThumbnailCache cache;
        QVERIFY(cache.Load(*key));
        QVERIFY(cache.FileFor(*key).startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)));
        // A stored picture of another colour under the same key is what the next visit shows.
        QImage planted(64, 64, QImage::Format_ARGB32);
        planted.fill(QColor(0, 255, 0));
        QVERIFY(cache.Store(*key, planted));
        SelectDatabase(*form, "Other");
        QVERIFY(WaitForThumbnails(*form));
        SelectDatabase(*form, "Sketches");
        QVERIFY(WaitForThumbnails(*form));
        QCOMPARE(qGreen(IconImage(form->drList->item(0), 64).pixel(32, 32)), 255);
        // The record's file changes: it is rendered again.
        user->AddRecord(sketches, "a.dat", SquareRecord("Red again", 0x000000FF, false));
        SelectDatabase(*form, "Other");
        QVERIFY(WaitForThumbnails(*form));
        SelectDatabase(*form, "Sketches");
        QVERIFY(WaitForThumbnails(*form));
        const QRgb centre = IconImage(form->drList->item(0), 64).pixel(32, 32);
        QCOMPARE(qRed(centre), 255);
        QCOMPARE(qGreen(centre), 0);
        // Nothing was written beside the records.
        auto after = Snapshot(dir->Path());
        after.erase(red);
        auto expected = before;
        expected.erase(red);
        QCOMPARE(after.size(), expected.size());
        QVERIFY(after == expected);
    }

    void cleaningKeepsTheRecentlyUsedWithinTheCap()
    {
        namespace fs = std::filesystem;
        const QString folder = QString::fromStdString(dir->Path() + "/cache");
        const auto now = fs::file_time_type::clock::now();
        // Name, age in hours, bytes.
        const std::tuple<const char*, int, int> files[] = {
            {"128x128/new.png", 0, 100}, {"128x128/week.png", 24 * 7, 100}, {"64x64/old.png", 24 * 61, 10},
            {"64x64/.plotwick-new00001.tmp", 0, 10}, {"64x64/.plotwick-old00001.tmp", 2, 10}, {"other/old.png", 24 * 61, 10}};
        // Bytes allowed, and what is left.
        const std::pair<std::uintmax_t, std::vector<const char*>> cases[] = {
            {1000, {"128x128/new.png", "128x128/week.png", "64x64/.plotwick-new00001.tmp", "other/old.png"}},
            {150, {"128x128/new.png", "64x64/.plotwick-new00001.tmp", "other/old.png"}},
        };
        for (const auto& [maxBytes, left] : cases) {
            QDir(folder).removeRecursively();
            for (const auto& [name, hours, bytes] : files) {
                const std::string path = folder.toStdString() + "/" + name;
                fixture::MakeFolders(fs::path(path).parent_path().string());
                fixture::WriteFile(path, fixture::Bytes().zeros(static_cast<std::size_t>(bytes)));
                fs::last_write_time(path, now - std::chrono::hours(hours));
            }
            app::TThumbnailCache::Limits limits;
            limits.maxBytes = maxBytes;
            QCOMPARE(app::TThumbnailCache(folder).Clean(limits), static_cast<int>(std::size(files) - left.size()));
            std::vector<std::string> found;
            for (const auto& e : fs::recursive_directory_iterator(folder.toStdString()))
                if (e.is_regular_file())
                    found.push_back(fs::relative(e.path(), folder.toStdString()).string());
            std::sort(found.begin(), found.end());
            QCOMPARE(found, std::vector<std::string>(left.begin(), left.end()));
        }
    }

    void changingTheListCancelsItsRenders()
    {
        ModalResponder responder;
        WriteSetting("ThumbnailSize", 256);
        auto form = Open();
        QVERIFY(form);
        // Many records, so that renders are still queued when the list changes.
        for (int i = 0; i < 300; ++i)
            user->AddRecord(sketches, "m" + std::to_string(i) + ".dat", SquareRecord("M", 0x00FF00FF));
        SelectDatabase(*form, "Sketches");
        QVERIFY(form->RenderQueue().Pending() > 0);
        SelectDatabase(*form, "Other");
        // Only the new list's renders of its one record are left; none of the old list's results is shown.
        QVERIFY(form->RenderQueue().Pending() <= 3 + form->RenderQueue().WorkerCount());
        QVERIFY(WaitForThumbnails(*form));
        QCOMPARE(form->drList->count(), 1);
        QCOMPARE(form->Thumbnails().ShownCount(), 1);
        QCOMPARE(qGreen(IconImage(form->drList->item(0), 256).pixel(128, 128)), 255);
    }

    void everyRecordReachesTheDiskCacheAtEachSizeChosen()
    {
        ModalResponder responder;
        WriteSetting("ThumbnailSize", 64);
        auto form = Open();
        QVERIFY(form);
        for (int i = 0; i < 400; ++i)
            user->AddRecord(sketches, "m" + std::to_string(i) + ".dat", SquareRecord("M", 0x00FF00FF));
        SelectDatabase(*form, "Sketches");
        const auto cachedCount = [&](int side) {
            const app::TThumbnailCache cache;
            int cached = 0;
            for (int row = 0; row < form->drList->count(); ++row) {
                const TDrawing* d = TMainForm::ItemDrawing(form->drList->item(row));
                const auto key = app::CurrentThumbnailKey(d->FilePath(), side, "", FontsStampOf(*form));
                cached += key && cache.Load(*key) ? 1 : 0;
            }
            return cached;
        };
        for (const int step : {1, 2}) {
            form->sldThumbSize->setValue(step);
            QVERIFY(WaitForThumbnails(*form));
            QCOMPARE(form->drList->count(), 403);
            // Far more than the screen holds: the rest was rendered behind it. The damaged one
            // is never stored.
            QCOMPARE(cachedCount(app::kThumbnailSides[step]), 402);
            const auto [first, last] = form->Thumbnails().KeptRows();
            QVERIFY(last - first + 1 < 400);
            QCOMPARE(form->Thumbnails().ShownCount(), last - first + 1 - (first <= 2 && last >= 2 ? 1 : 0));
        }
    }

    void aSelectionChangeLeavesASlowPreviewBehind()
    {
        ModalResponder responder;
        auto form = Open();
        QVERIFY(form);
        SelectDatabase(*form, "Sketches");
        // The first preview's render does not finish until the test lets it.
        std::atomic<bool> release{false};
        struct Release {
            std::atomic<bool>& r;
            ~Release() { r = true; }  // a failing check must not leave a worker held
        } releaseAtEnd{release};
        std::atomic<int> renders{0};
        log->beforeLoad = [&] {
            if (renders++ == 0)
                while (!release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        QSignalSpy rendered(form.get(), &TMainForm::previewRendered);
        // While it renders, the window goes on: a timer fires, the user selects another drawing.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(5);
        QTimer::singleShot(50, form.get(),
                           [&] { form->drList->setCurrentRow(1, QItemSelectionModel::ClearAndSelect); });
        form->drList->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        QVERIFY(ticks > 0);
        // The second drawing's preview is shown while the first render is still held.
        QTRY_COMPARE(rendered.count(), 1);
        QCOMPARE(form->panPrTitle->caption(), QStringLiteral("Preview: Blue"));
        QCOMPARE(renders.load(), 2);
        QVERIFY(form->RenderQueue().Pending() >= 1);
        release = true;
        form->RenderQueue().Wait();
        QTest::qWait(20);
        // The abandoned render's picture never replaces it.
        QCOMPARE(rendered.count(), 1);
        QCOMPARE(form->panPrTitle->caption(), QStringLiteral("Preview: Blue"));
        log->beforeLoad = nullptr;
    }

    void aSelectionChangeDuringASlowRenderIsAnsweredAtOnce()
    {
        ModalResponder responder;
        log->useRealRenderer = true;
        // 20,000 zigzag paths: seconds to load and draw under the sanitizers.
        fixture::Bytes stream;
        for (int i = 0; i < 20000; ++i) {
            std::vector<fixture::Bytes> zigzag{fixture::M(0, float(i % 500))};
            for (int k = 1; k <= 10; ++k)
                zigzag.push_back(fixture::L(float(k * 50), float((i + k * 37) % 500)));
            stream.append(fixture::PathOf(std::nullopt, 0x00000000, zigzag));
        }
        user->AddRecord(sketches, "0big.dat", fixture::Record("Big", stream));
        auto form = Open();
        QVERIFY(form);
        SelectDatabase(*form, "Sketches");
        QCOMPARE(form->drList->item(0)->text(), QStringLiteral("Big"));
        form->drList->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
        QTRY_COMPARE(form->panPrTitle->caption(), QStringLiteral("Preview: Red"));
        form->RenderQueue().Wait();
        log->calls.clear();
        std::atomic<bool> bigStarted{false};
        log->beforeLoad = [&] { bigStarted = true; };
        struct Unhook {
            RenderLog& l;
            ~Unhook() { l.beforeLoad = nullptr; }
        } unhook{*log};
        QSignalSpy rendered(form.get(), &TMainForm::previewRendered);
        // The window's largest delay while the big drawing renders; once it is under way the
        // user selects another drawing.
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, worst = 0;
        bool moved = false;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] {
            worst = std::max(worst, clock.elapsed() - last);
            last = clock.elapsed();
            if (bigStarted && !std::exchange(moved, true))
                QTimer::singleShot(0, form.get(),
                                   [&] { form->drList->setCurrentRow(2, QItemSelectionModel::ClearAndSelect); });
        });
        ticker.start(5);
        form->drList->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        QTRY_COMPARE(rendered.count(), 1);
        QCOMPARE(form->panPrTitle->caption(), QStringLiteral("Preview: Blue"));
        // The big render was dropped part way: it never reached its end.
        form->RenderQueue().Wait();
        ticker.stop();
        for (const auto& call : log->calls)
            QVERIFY(call.name != "Big");
        // A bound the sanitizers' builds keep too; the benchmark measures the real figure.
        QVERIFY2(worst < 250, qPrintable(QString::number(worst)));
    }
};

QTEST_MAIN(ThumbnailsTest)
#include "tst_thumbnails.moc"
