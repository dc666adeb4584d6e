// The window's speed, on the offscreen platform: the drawing view's frames while it pans at
// 400 % over the sample drawings (what the window's thread does for a frame: move and paint;
// the renders of the parts newly in sight run on the view's worker, timed separately in
// BM_ViewRegionRender400), and the first screen of thumbnails of the 10,000-record database
// List10k. The folders are written first: the sample folder by plotwick-make-sample and the
// bench databases beside it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTreeWidget>

#include "app/DrawingView.h"
#include "app/MainForm.h"
#include "app/PreviewRender.h"
#include "app/RenderQueue.h"
#include "bench/BenchData.h"
#include "model/DatabaseScan.h"
#include "model/Drawing.h"
#include "platform/codec/Bitmap.h"
#include "platform/files/Files.h"
#include "platform/userdata/UserData.h"
#include "render/Rasteriser.h"
#include "text/VFont.h"

using namespace plotwick;

namespace {

struct SampleFolder {
    fixture::TempDir dir;
    std::string user;  // the user folder
    std::vector<std::unique_ptr<TDrawDB>> databases;
    std::vector<std::string> drawings;  // the sample drawings' record paths

    SampleFolder()
    {
        QProcess::execute(QStringLiteral(PLOTWICK_SAMPLE_WRITER), {QString::fromStdString(dir.Path())});
        user = dir.Path() + "/SampleUser";
        bench::WriteBenchDatabases(user, false);
        ScanFolder(KindFolder(user, kFonts), kFonts, [&](std::unique_ptr<TDrawDB> db) {
            FontList.AddFontDatabase(db.get());
            databases.push_back(std::move(db));
        });
        ScanFolder(KindFolder(user, kDrawings), kDrawings, [&](std::unique_ptr<TDrawDB> db) {
            if (db->FName != "Bench" && db->FName != "List10k")
                for (const auto& e : files::Enumerate(db->FPath, "*.dat", files::Hidden::Exclude))
                    drawings.push_back(db->FPath + "/" + e.name);
            databases.push_back(std::move(db));
        });
    }
};

SampleFolder& Sample()
{
    static SampleFolder folder;
    return folder;
}

std::shared_ptr<app::ViewDrawing> LoadForView(const std::string& path)
{
    TDrawDB db;
    db.FPath = path.substr(0, path.rfind('/'));
    TDrawing drawing(&db, path.substr(path.rfind('/') + 1));
    drawing.LoadShapes(true);
    auto shown = std::make_shared<app::ViewDrawing>();
    const IntRect r = drawing.GetBounds();
    shown->width = static_cast<double>(r.Width());
    shown->height = static_cast<double>(r.Height());
    shown->shapes = std::move(drawing.FShapes);
    return shown;
}

// One frame of panning at 400 %: the view moves 12 pixels (back and forth across the drawing)
// and paints what it shows, the rendered vectors where they are ready.
void BM_ViewPanFrame400(benchmark::State& state)
{
    SampleFolder& sample = Sample();
    const std::string& path = sample.drawings[static_cast<std::size_t>(state.range(0)) % sample.drawings.size()];
    app::TRenderQueue queue;
    app::TDrawingView view(queue);
    view.resize(1600, 1000);
    view.show();
    view.SetDrawing(LoadForView(path), QStringLiteral("bench"));
    view.SetZoom(4, QPointF(800, 500));
    QElapsedTimer wait;
    wait.start();
    while ((view.RenderPending() || view.RenderCount() == 0) && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QImage frame(view.viewport()->size(), QImage::Format_RGB32);
    int step = 12;
    for (auto _ : state) {
        QScrollBar* bar = view.horizontalScrollBar();
        if (bar->value() + step > bar->maximum() || bar->value() + step < 0)
            step = -step;
        bar->setValue(bar->value() + step);
        QCoreApplication::processEvents();  // the renders delivered meanwhile
        view.viewport()->render(&frame);
        benchmark::DoNotOptimize(frame.bits());
    }
    state.counters["renders"] = view.RenderCount();
    state.SetLabel(path.substr(path.rfind('/') + 1) + " at 400 %");
}
BENCHMARK(BM_ViewPanFrame400)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// What the view's worker draws while panning at 400 %: the 1600 x 1000 pixels in sight and a
// quarter of that more on each side.
void BM_ViewRegionRender400(benchmark::State& state)
{
    SampleFolder& sample = Sample();
    const std::string& path = sample.drawings[static_cast<std::size_t>(state.range(0)) % sample.drawings.size()];
    const auto shown = LoadForView(path);
    app::ViewRenderRequest request;
    request.drawing = shown;
    request.scale = 4;
    request.width = 2400;
    request.height = 1500;
    request.x0 = shown->width / 2 - 300;
    request.y0 = shown->height / 2 - 187;
    for (auto _ : state) {
        const QImage image = app::TViewRenderer::Render(request);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(path.substr(path.rfind('/') + 1) + " at 400 %, 2400 x 1500");
}
BENCHMARK(BM_ViewRegionRender400)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// Selecting the database of 10,000 records until its first screen of thumbnails is painted.
void BM_FirstScreen10k(benchmark::State& state)
{
    SampleFolder& sample = Sample();
    app::TMainForm form({[](const std::string& folder) { return userdata::CreateUserData(folder); },
                         &app::RenderToImage},
                        QString::fromStdString(sample.user));
    form.resize(1600, 1000);
    form.show();
    QCoreApplication::processEvents();
    QTreeWidgetItem* list10k = nullptr;
    QTreeWidgetItem* other = nullptr;
    for (int i = 0; i < form.DrawingsRoot()->childCount(); ++i) {
        QTreeWidgetItem* node = form.DrawingsRoot()->child(i);
        (node->text(0) == QStringLiteral("List10k") ? list10k : other) = node;
    }
    if (!list10k || !other) {
        state.SkipWithError("List10k not found");
        return;
    }
    QImage frame(form.drList->viewport()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        state.PauseTiming();
        form.dbTree->setCurrentItem(other);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        form.dbTree->setCurrentItem(list10k);
        QCoreApplication::processEvents();
        form.drList->viewport()->render(&frame);
        benchmark::DoNotOptimize(frame.bits());
    }
    state.counters["listed"] = form.drList->count();
}
BENCHMARK(BM_FirstScreen10k)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);  // the window's settings stay out of the user's
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
