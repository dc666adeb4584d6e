// Listing a database of many records: the first slice of thumbnails is added at once, the
// rest in slices from the event loop, so that the window shows and answers while the list
// fills. A slice ends after a few milliseconds (each record is opened to read its name and
// stored thumbnail, which a slow disk can make long), so the event loop is never held for
// long; on a local disk the first slice fills a screen and more. A new list, a new user or
// the window's end stops the slices still to come.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include "app/MainForm.h"
#include "app/ThumbnailList.h"

namespace plotwick::app {

namespace {

constexpr qint64 kSliceNs = 10'000'000;  // the time a slice adds records for
constexpr std::size_t kSlice = 500;       // and the most records it adds

}  // namespace

void TMainForm::StartListing(TDrawDB* db, std::vector<files::DirEntry> entries, std::int64_t spentNs)
{
    FListingDb = db;
    FListingEntries = std::move(entries);
    FListingNext = 0;
    ContinueListing(++FListingGeneration, spentNs);
}

void TMainForm::ContinueListing(std::uint64_t generation, std::int64_t spentNs)
{
    if (generation != FListingGeneration || !FListingDb)
        return;  // the list was replaced meanwhile
    const std::size_t first = drList->count();
    const std::size_t end = std::min(FListingEntries.size(), FListingNext + kSlice);
    QElapsedTimer clock;
    clock.start();
    drList->setUpdatesEnabled(false);
    // At least one record a slice, however slow.
    while (FListingNext < end) {
        AddDrawing(FListingDb, FListingEntries[FListingNext].name);
        if (++FListingNext < end && spentNs + clock.nsecsElapsed() >= kSliceNs)
            break;
    }
    // The filter applies to the new items as to the others.
    const QString filter = edFilter->text().trimmed();
    if (!filter.isEmpty())
        for (int i = static_cast<int>(first); i < drList->count(); ++i)
            drList->item(i)->setHidden(!drList->item(i)->text().contains(filter, Qt::CaseInsensitive));
    drList->setUpdatesEnabled(true);
    // The thumbnails of the first screen start rendering at once; later slices join them, and
    // the disk cache is filled behind the screen once the list is complete.
    if (first == 0)
        StartThumbnails();
    else
        FThumbnails->Grow();
    if (FListingNext < FListingEntries.size()) {
        QTimer::singleShot(0, this, [this, generation] { ContinueListing(generation); });
    } else {
        FThumbnails->ListComplete();
        StopListing();
    }
}

void TMainForm::StopListing()
{
    ++FListingGeneration;
    FListingDb = nullptr;
    FListingEntries.clear();
    FListingNext = 0;
}

}  // namespace plotwick::app
