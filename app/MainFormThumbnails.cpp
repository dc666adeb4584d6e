// The window's renders off its thread: the render queue, the list's thumbnails and the size
// chooser in the list's title bar.
#include <optional>
#include <stdexcept>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "app/Panels.h"
#include "app/RenderQueue.h"
#include "app/Settings.h"
#include "app/ThumbnailCache.h"
#include "app/ThumbnailList.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"

namespace plotwick::app {

namespace {

int StepOfSide(int side)
{
    for (std::size_t i = 0; i < kThumbnailSides.size(); ++i)
        if (kThumbnailSides[i] == side)
            return static_cast<int>(i);
    return 0;
}

}  // namespace

void TMainForm::BuildThumbnails()
{
    FRenderQueue = std::make_unique<TRenderQueue>();
    auto cache = std::make_shared<TThumbnailCache>();
    FThumbnails = std::make_unique<TThumbnailList>(drList, FRenderQueue.get(), cache, &TMainForm::ItemDrawing);
    // Once a run, when a list's rendered thumbnails are all there (the workers have nothing
    // else to do), a worker removes what the cache has not used for long or holds beyond its size.
    connect(FThumbnails.get(), &TThumbnailList::finished, this, [this, cache, cleaned = false]() mutable {
        if (cleaned || FThumbnails->Side() == kThumbnailSides.front())
            return;
        cleaned = true;
        FRenderQueue->Submit(
            kCleanGroup,
            [cache](const std::atomic<bool>&) {
                cache->Clean(TThumbnailCache::Limits{});
                return RenderResult{};
            },
            nullptr);
    });
    int side = settings::ThumbnailSize.fallback;
    {
        settings::Store store;
        side = store.Read(settings::ThumbnailSize).value_or(side);
    }
    FThumbnails->SetSide(side);

    auto* label = new QLabel(QStringLiteral("Size"), panDrTitle);
    label->setObjectName(QStringLiteral("lblThumbSize"));
    sldThumbSize = new QSlider(Qt::Horizontal, panDrTitle);
    sldThumbSize->setObjectName(QStringLiteral("sldThumbSize"));
    sldThumbSize->setRange(0, static_cast<int>(kThumbnailSides.size()) - 1);
    sldThumbSize->setPageStep(1);
    sldThumbSize->setTickPosition(QSlider::NoTicks);
    sldThumbSize->setFixedWidth(80);
    sldThumbSize->setFocusPolicy(Qt::TabFocus);
    sldThumbSize->setValue(StepOfSide(FThumbnails->Side()));
    sldThumbSize->setToolTip(QStringLiteral("Thumbnails of %1 px").arg(FThumbnails->Side()));
    label->setBuddy(sldThumbSize);
    panDrTitle->addRightWidget(label);
    panDrTitle->addRightWidget(sldThumbSize);
    connect(sldThumbSize, &QSlider::valueChanged, this, &TMainForm::ThumbnailSizeChanged);
}

void TMainForm::ThumbnailSizeChanged(int step)
{
    const int side = kThumbnailSides[static_cast<std::size_t>(std::clamp(step, 0, 3))];
    sldThumbSize->setToolTip(QStringLiteral("Thumbnails of %1 px").arg(side));
    FThumbnails->SetSide(side);
    settings::Store store;
    if (store.Writable()) {
        store.Write(settings::ThumbnailSize, side);
        store.Flush();
    }
}

void TMainForm::StartThumbnails()
{
    std::vector<std::string> fontFolders;
    if (FFontsRoot)
        for (int i = 0; i < FFontsRoot->childCount(); ++i)
            if (TDrawDB* db = NodeDatabase(FFontsRoot->child(i)))
                fontFolders.push_back(db->FPath);
    FThumbnails->Start(FRenderOptions, FontsStamp(fontFolders));
}

QImage TMainForm::RenderPreviewOnWorker(TDrawing& drawing, QSize pixels)
{
    // The worker reads its own drawing of the same record, through its own copy of the
    // database, with the services' renderer.
    auto db = drawing.FDB ? std::make_shared<const TDrawDB>(*drawing.FDB) : nullptr;
    std::optional<RenderResult> outcome;
    QEventLoop loop;
    FRenderQueue->Cancel(kPreviewGroup);
    FRenderQueue->Submit(
        kPreviewGroup,
        [render = FServices.renderPreview, db, fileName = drawing.FFileName, pixels,
         options = FRenderOptions](const std::atomic<bool>& cancelled) {
            TDrawing own(const_cast<TDrawDB*>(db.get()), fileName);
            RenderOptions mine = options;
            mine.Cancelled = &cancelled;
            return RenderResult{render(own, pixels, mine), {}};
        },
        [&](const RenderResult& result) {
            outcome = result;
            loop.quit();
        });
    FPreviewLoop = &loop;
    loop.exec();
    FPreviewLoop = nullptr;
    if (!outcome)
        return {};
    if (outcome->Failed())
        throw std::runtime_error(outcome->error.toStdString());
    return outcome->image;
}

void TMainForm::AbandonPreview()
{
    if (!FPreviewLoop)
        return;
    // The result is dropped, the worker stops at its next shape; the held commands run next.
    FRenderQueue->Cancel(kPreviewGroup);
    FPreviewLoop->quit();
}

void TMainForm::StopRendering()
{
    if (!FRenderQueue)
        return;
    FThumbnails->Stop();
    FRenderQueue->CancelAll();
    FRenderQueue->Wait();
}

}  // namespace plotwick::app
