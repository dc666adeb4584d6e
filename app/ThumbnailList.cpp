#include "app/ThumbnailList.h"

#include <algorithm>

#include <QIcon>
#include <QIconEngine>
#include <QPainter>
#include <QListWidget>
#include <QPixmap>
#include <QScrollBar>

#include "app/Artwork.h"
#include "app/Images.h"
#include "app/RenderQueue.h"
#include "app/ThumbnailCache.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "platform/codec/Bitmap.h"
#include "render/Rasteriser.h"

namespace plotwick::app {

namespace {

// On a worker: the thumbnail from the disk cache, or rendered from the record's vectors and
// stored there. Touches its own drawing, the database copy it was given, the cache's files and
// the font list's glyphs.
RenderResult RenderThumbnail(std::shared_ptr<const TDrawDB> db, const std::string& fileName, int side,
                             const RenderOptions& options, const std::string& fontsStamp,
                             const TThumbnailCache& cache, const std::atomic<bool>& cancelled)
{
    TDrawing drawing(const_cast<TDrawDB*>(db.get()), fileName);
    const auto key = CurrentThumbnailKey(drawing.FilePath(), side, options.SubstituteFontName, fontsStamp);
    if (key) {
        if (auto image = cache.Load(*key))
            return {image->convertToFormat(QImage::Format_ARGB32_Premultiplied), {}};
    }
    if (cancelled)
        return {};
    gdi::Bitmap24 bitmap(side, side);
    RenderOptions mine = options;
    mine.Cancelled = &cancelled;
    RenderToImage(drawing, bitmap, mine);
    QImage image = ThumbnailToImage(bitmap);
    if (key && !cancelled)
        cache.Store(*key, image);
    return {std::move(image), {}};
}

// The image is premultiplied already: the pixmap takes it without a conversion.
QIcon IconOf(const QImage& image) { return QIcon(QPixmap::fromImage(image, Qt::NoFormatConversion)); }

// Draws one small picture at any size: no copy of it is made per size.
class PlaceholderEngine : public QIconEngine {
public:
    explicit PlaceholderEngine(QImage picture) : picture_(std::move(picture)) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(rect.width(), rect.height());
        const QRect square(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side, side);
        painter->drawImage(square, picture_);
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(actualSize(size, mode, state));
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, pixmap.rect(), mode, state);
        return pixmap;
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {picture_.size()}; }
    QIconEngine* clone() const override { return new PlaceholderEngine(picture_); }

private:
    QImage picture_;
};

}  // namespace

QIcon PlaceholderIcon(const QImage& picture) { return QIcon(new PlaceholderEngine(picture)); }

TThumbnailList::TThumbnailList(QListWidget* list, TRenderQueue* queue, std::shared_ptr<const TThumbnailCache> cache,
                               TDrawing* (*drawingOf)(QListWidgetItem*), QObject* parent)
    : QObject(parent), list_(list), queue_(queue), cache_(std::move(cache)), drawingOf_(drawingOf)
{
    rangeTimer_.setSingleShot(true);
    rangeTimer_.setInterval(0);
    connect(&rangeTimer_, &QTimer::timeout, this, [this] { UpdateRange(); });
    connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, &TThumbnailList::ScheduleRange);
    connect(list_->verticalScrollBar(), &QScrollBar::rangeChanged, this, &TThumbnailList::ScheduleRange);
    ApplySide();
}

TThumbnailList::~TThumbnailList() { queue_->Cancel(kThumbnailGroup); }

void TThumbnailList::SetSide(int side)
{
    const auto nearest = std::min_element(kThumbnailSides.begin(), kThumbnailSides.end(),
                                          [side](int a, int b) { return std::abs(a - side) < std::abs(b - side); });
    if (*nearest == side_) {
        ApplySide();  // the list's first size: its grid as for any other
        return;
    }
    const bool wasRunning = running_;
    StopRenders();
    side_ = *nearest;
    ApplySide();
    if (wasRunning)
        Start(options_, fontsStamp_);
}

void TThumbnailList::ApplySide()
{
    // A cell holds the thumbnail and the name's two lines under it.
    list_->setIconSize(QSize(side_, side_));
    list_->setGridSize(QSize(std::max(112, side_ + 24), side_ + 2 * list_->fontMetrics().height() + 14));
}

void TThumbnailList::Start(const RenderOptions& options, std::string fontsStamp)
{
    StopRenders();
    options_ = options;
    fontsStamp_ = std::move(fontsStamp);
    running_ = true;
    ++listId_;
    states_.assign(static_cast<std::size_t>(list_->count()), State::Placeholder);
    db_.reset();
    for (int row = 0; row < list_->count() && !db_; ++row)
        if (TDrawing* d = drawingOf_(list_->item(row)); d && d->FDB)
            db_ = std::make_shared<const TDrawDB>(*d->FDB);
    if (side_ == kThumbnailSides.front() || !db_) {
        emit finished();
        return;  // the stored thumbnails are the list's
    }
    if (complete_)
        ListComplete();  // the same list again, at another size or with other options
    else
        UpdateRange();
}

void TThumbnailList::ListComplete()
{
    complete_ = true;
    if (!running_ || !db_ || side_ == kThumbnailSides.front())
        return;
    states_.resize(static_cast<std::size_t>(list_->count()), State::Placeholder);
    nextBackground_ = 0;
    UpdateRange();
    FeedBackground();
}

void TThumbnailList::FeedBackground()
{
    // The rest of the list goes into the disk cache, the first rows first, a few renders at a
    // time and only while none of the screen's is waiting: those always come first.
    const int count = static_cast<int>(states_.size());
    const int most = 8 * queue_->WorkerCount();  // enough that no worker waits for the window
    while (complete_ && running_ && screenOutstanding_ == 0 && backgroundOutstanding_ < most &&
           nextBackground_ < count) {
        const int row = nextBackground_++;
        if (states_[row] == State::Placeholder)
            Request(row, true);
    }
}

void TThumbnailList::Grow()
{
    if (!running_)
        return;
    const int before = static_cast<int>(states_.size());
    states_.resize(static_cast<std::size_t>(list_->count()), State::Placeholder);
    if (states_.size() > static_cast<std::size_t>(before))
        ScheduleRange();
}

void TThumbnailList::Stop()
{
    StopRenders();
    complete_ = false;
}

void TThumbnailList::StopRenders()
{
    queue_->Cancel(kThumbnailGroup);
    ++listId_;
    for (int row = 0; row < static_cast<int>(states_.size()); ++row)
        if (states_[row] == State::Shown || states_[row] == State::Failed)
            ShowPlaceholder(row);
    states_.clear();
    running_ = false;
    shown_ = failed_ = screenOutstanding_ = backgroundOutstanding_ = nextBackground_ = 0;
    visibleFirst_ = keepFirst_ = 0;
    visibleLast_ = keepLast_ = -1;
}

void TThumbnailList::ScheduleRange()
{
    if (running_)
        rangeTimer_.start();
}

void TThumbnailList::FindVisibleRows()
{
    // The items under a lattice of points over the viewport, half a grid cell apart.
    const QRect area = list_->viewport()->rect();
    const QSize grid = list_->gridSize().isValid() ? list_->gridSize() : QSize(32, 32);
    const int stepX = std::max(4, grid.width() / 2), stepY = std::max(4, grid.height() / 2);
    int first = -1, last = -1;
    for (int y = area.top() + 1; y < area.bottom() + stepY; y += stepY)
        for (int x = area.left() + 1; x < area.right() + stepX; x += stepX) {
            const QPoint at(std::min(x, area.right()), std::min(y, area.bottom()));
            const int row = list_->indexAt(at).row();
            if (row < 0)
                continue;
            first = first < 0 ? row : std::min(first, row);
            last = std::max(last, row);
        }
    visibleFirst_ = first < 0 ? 0 : first;
    visibleLast_ = first < 0 ? -1 : last;
}

void TThumbnailList::UpdateRange()
{
    if (!running_ || side_ == kThumbnailSides.front())
        return;
    FindVisibleRows();
    const int count = static_cast<int>(states_.size());
    const int page = std::max(1, visibleLast_ - visibleFirst_ + 1);
    const int keepFirst = std::max(0, visibleFirst_ - page);
    const int keepLast = std::min(count - 1, visibleLast_ + page);
    // What left the neighbourhood of the screen goes back to its stored thumbnail.
    for (int row = keepFirst_; row <= keepLast_ && row < count; ++row)
        if ((row < keepFirst || row > keepLast) && states_[row] == State::Shown)
            ShowPlaceholder(row);
    keepFirst_ = keepFirst;
    keepLast_ = keepLast;
    // The last requested runs first: the screen's rows from the top, before the neighbours.
    for (int row = keepLast; row > visibleLast_; --row)
        Request(row, false);
    for (int row = visibleFirst_ - 1; row >= keepFirst; --row)
        Request(row, false);
    for (int row = std::min(visibleLast_, count - 1); row >= visibleFirst_; --row)
        Request(row, false);
}

void TThumbnailList::Request(int row, bool background)
{
    State& state = states_[row];
    if (!background && state != State::Placeholder)
        return;
    TDrawing* drawing = drawingOf_(list_->item(row));
    if (!drawing || !drawing->FThumbnail) {
        if (!background)
            state = State::Failed;  // the record cannot be read: its placeholder says so already
        return;
    }
    if (!background)
        state = State::Requested;
    ++(background ? backgroundOutstanding_ : screenOutstanding_);
    const std::uint64_t list = listId_;
    queue_->Submit(
        kThumbnailGroup,
        [db = db_, fileName = drawing->FFileName, side = side_, options = options_, stamp = fontsStamp_,
         cache = cache_](const std::atomic<bool>& cancelled) {
            return RenderThumbnail(db, fileName, side, options, stamp, *cache, cancelled);
        },
        [this, list, row, background](const RenderResult& result) {
            Delivered(list, row, background, result.Failed(), result.image);
        });
}

void TThumbnailList::Delivered(std::uint64_t list, int row, bool background, bool failed, const QImage& image)
{
    if (list != listId_ || row >= static_cast<int>(states_.size()))
        return;
    --(background ? backgroundOutstanding_ : screenOutstanding_);
    State& state = states_[row];
    if (failed && state != State::Failed) {
        // Shown wherever the row is: the picture is small, and selecting it shows the error.
        if (state == State::Shown)
            --shown_;
        state = State::Failed;
        ++failed_;
        list_->item(row)->setIcon(PlaceholderIcon(UnreadableRecordImage()));
        emit thumbnailShown(row);
    } else if (!failed && !image.isNull() && state != State::Shown && state != State::Failed && row >= keepFirst_ &&
               row <= keepLast_) {
        state = State::Shown;
        ++shown_;
        list_->item(row)->setIcon(IconOf(image));
        emit thumbnailShown(row);
    } else if (state == State::Requested && (row < keepFirst_ || row > keepLast_)) {
        state = State::Placeholder;  // asked for again when it comes back near the screen
    }
    FeedBackground();
    if (Outstanding() == 0)
        emit finished();
}

int TThumbnailList::Outstanding() const
{
    if (!running_ || side_ == kThumbnailSides.front())
        return 0;
    const int unfed = complete_ ? static_cast<int>(states_.size()) - nextBackground_ : 0;
    return screenOutstanding_ + backgroundOutstanding_ + unfed;
}

void TThumbnailList::ShowPlaceholder(int row)
{
    QListWidgetItem* item = list_->item(row);
    TDrawing* drawing = item ? drawingOf_(item) : nullptr;
    if (!item)
        return;
    if (states_[row] == State::Shown)
        --shown_;
    else if (states_[row] == State::Failed && drawing && drawing->FThumbnail)
        --failed_;
    states_[row] = State::Placeholder;
    item->setIcon(PlaceholderIcon(drawing && drawing->FThumbnail ? ThumbnailToImage(*drawing->FThumbnail)
                                                                 : UnreadableRecordImage()));
}

}  // namespace plotwick::app
