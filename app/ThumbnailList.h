// The drawing list's thumbnails at the size the user chose: the stored 32 px thumbnails as
// they are, or 64, 128, 256 px rendered from the vectors on the render queue's workers, kept
// in proportion. Until a thumbnail is ready its item shows the stored one; a drawing that fails
// to render shows the picture of an unreadable record. Only the thumbnails on screen and one
// screen either side are kept in memory; the rest of the list is rendered into the disk cache
// behind them, so that scrolling and a second visit find them there.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QTimer>

#include "render/PathRender.h"

class QListWidget;
class QListWidgetItem;

namespace plotwick {
class TDrawDB;
class TDrawing;
}

namespace plotwick::app {

class TRenderQueue;
class TThumbnailCache;

// The icon of a placeholder: the picture drawn to fill whatever size the list asks for, so that
// every item is laid out at the chosen size from the start (the stored 32 px thumbnail
// enlarged, until the rendered one replaces it).
QIcon PlaceholderIcon(const QImage& picture);

inline constexpr std::array<int, 4> kThumbnailSides = {32, 64, 128, 256};

class TThumbnailList : public QObject {
    Q_OBJECT
public:
    // drawingOf gives the drawing of a list item (none for other items).
    TThumbnailList(QListWidget* list, TRenderQueue* queue, std::shared_ptr<const TThumbnailCache> cache,
                   TDrawing* (*drawingOf)(QListWidgetItem*), QObject* parent = nullptr);
    ~TThumbnailList() override;

    // One of kThumbnailSides; another value takes the nearest. Re-renders the list.
    void SetSide(int side);
    int Side() const { return side_; }
    // The list's first items are in place: renders them with these options. fontsStamp names the
    // state of the font databases (FontsStamp).
    void Start(const RenderOptions& options, std::string fontsStamp);
    // Items were added at the list's end: those near the screen are rendered too.
    void Grow();
    // The list is complete: the rest is rendered into the disk cache behind the screen's rows.
    void ListComplete();
    // Cancels the list's renders (the items are about to go, or to change).
    void Stop();

    // The whole list is in place (ListComplete came).
    bool Complete() const { return complete_; }
    // Items showing a rendered thumbnail, and those whose render failed.
    int ShownCount() const { return shown_; }
    int FailedCount() const { return failed_; }
    // Renders queued, running or still to be asked for, for this list.
    int Outstanding() const;
    // The rows kept in memory: those on screen and a screen either side.
    std::pair<int, int> KeptRows() const { return {keepFirst_, keepLast_}; }
    std::pair<int, int> VisibleRows() const { return {visibleFirst_, visibleLast_}; }

signals:
    // A rendered thumbnail (or the picture of a failed render) replaced a placeholder.
    void thumbnailShown(int row);
    // Every render of the list has finished.
    void finished();

private:
    enum class State : std::uint8_t { Placeholder, Requested, Shown, Failed };
    void ApplySide();
    void StopRenders();  // Stop, but the list stays the same
    void ScheduleRange();
    void UpdateRange();
    void FeedBackground();
    void FindVisibleRows();
    void Request(int row, bool background);
    void Delivered(std::uint64_t list, int row, bool background, bool failed, const QImage& image);
    void ShowPlaceholder(int row);

    QListWidget* list_;
    TRenderQueue* queue_;
    std::shared_ptr<const TThumbnailCache> cache_;
    TDrawing* (*drawingOf_)(QListWidgetItem*);
    int side_ = 32;
    RenderOptions options_;
    std::string fontsStamp_;
    bool running_ = false;
    bool complete_ = false;  // ListComplete was called for the items now listed
    std::uint64_t listId_ = 0;  // which Start the results belong to
    std::shared_ptr<const TDrawDB> db_;  // the workers' own copy of the list's database
    std::vector<State> states_;
    int shown_ = 0;
    int failed_ = 0;
    int screenOutstanding_ = 0;      // renders asked for the rows near the screen
    int backgroundOutstanding_ = 0;  // renders asked for the disk cache
    int nextBackground_ = 0;         // the next row the disk cache asks for
    int visibleFirst_ = 0, visibleLast_ = -1;
    int keepFirst_ = 0, keepLast_ = -1;
    QTimer rangeTimer_;
};

}  // namespace plotwick::app
