// The window's renders, timed as a person sees them: a database of 10,000 drawings listed at
// 128 px (the first screen of thumbnails after the click, all of them, the first screen again
// on a second visit), the event loop's worst lateness meanwhile, the memory the list takes, and
// the preview of a drawing of 1,000,000 instructions.
//   plotwick-bench-window [FOLDER]   (FOLDER: where the user folder is written; default a
//                                      temporary folder)
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include "app/MainForm.h"
#include "app/DrawingView.h"
#include "app/PreviewRender.h"
#include "app/RenderQueue.h"
#include "app/ThumbnailList.h"
#include "bench/BenchData.h"
#include "model/DrawDB.h"
#include "platform/userdata/UserData.h"

using namespace plotwick;

namespace {

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// The largest lateness of a 5 ms timer, in milliseconds, while it runs.
class LatenessProbe {
public:
    LatenessProbe()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if ((now - last_) / 1e6 - 5.0 > worst_) {
                worst_ = (now - last_) / 1e6 - 5.0;
                worstAt_ = now / 1e6;
            }
            last_ = now;
            peakKiB_ = std::max(peakKiB_, ResidentKiB());
        });
    }
    void Start()
    {
        worst_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start(5);
    }
    double Worst() const { return worst_; }
    double WorstAt() const { return worstAt_; }  // ms after Start
    long PeakKiB() const { return peakKiB_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    double worst_ = 0;
    double worstAt_ = 0;
    long peakKiB_ = 0;
};

// CPU seconds of every thread of the process so far: a figure the machine's other load leaves alone.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Lets the window work for a while; the thread sleeps while it has nothing to do, as the
// program's own event loop does (a loop that polls would take a core from the workers).
void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QTreeWidgetItem* Database(app::TMainForm& form, const QString& caption)
{
    for (int i = 0; i < form.DrawingsRoot()->childCount(); ++i)
        if (form.DrawingsRoot()->child(i)->text(0) == caption)
            return form.DrawingsRoot()->child(i);
    return nullptr;
}

bool FirstScreenShown(app::TMainForm& form)
{
    const auto [first, last] = form.Thumbnails().VisibleRows();
    if (last < first)
        return false;
    for (int row = first; row <= last; ++row)
        if (form.drList->item(row)->icon().availableSizes().value(0).width() != form.Thumbnails().Side())
            return false;
    return true;
}

// Selects the database and spins the event loop until the first screen is shown and, when
// all is set, until every render has finished; returns the two times in milliseconds.
std::pair<double, double> Visit(app::TMainForm& form, const QString& caption, bool all, int records = 0)
{
    QElapsedTimer clock;
    clock.start();
    form.dbTree->setCurrentItem(Database(form, caption));
    double first = -1;
    // Wakes the loop at least every 5 ms to look.
    QTimer wake;
    wake.start(5);
    while (first < 0 || (all && (form.drList->count() < records || form.RenderQueue().Pending() > 0 ||
                                 form.Thumbnails().Outstanding() > 0))) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (first < 0 && FirstScreenShown(form))
            first = clock.nsecsElapsed() / 1e6;
        if (clock.elapsed() > 120000)
            break;
    }
    return {first, clock.nsecsElapsed() / 1e6};
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir temp;
    const std::string root = argc > 1 ? argv[1] : temp.path().toStdString();
    // A cache of its own, emptied at the start: a FOLDER given again still holds the last run's cache.
    QDir(QString::fromStdString(root + "/cache")).removeRecursively();
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(root + "/cache"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(root + "/config"));
    const std::string userFolder = root + "/BenchUser";
    {
        std::fprintf(stderr, "writing 10,000 drawings and one of 1,000,000 instructions...\n");
        fixture::UserFolder user(userFolder);
        bench::WriteBenchFont(user);
        const std::string many = user.AddDatabase(0, "Drawings10k");
        for (int i = 0; i < 10000; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "d%05d.dat", i);
            fixture::WriteFile(many + "/" + name, fixture::Record("Drawing " + std::to_string(i),
                                                                  bench::DrawingStream(120, 12, 1000 + i)));
        }
        const std::string big = user.AddDatabase(0, "Big");
        fixture::WriteFile(big + "/big1m.dat",
                           fixture::Record("Bench 1,000,000", bench::DrawingStream(1000000, 40, 15)));
        user.AddDatabase(0, "Empty");
    }

    QApplication app(argc, argv);
    app::TMainForm form({[](const std::string& folder) { return userdata::CreateUserData(folder); },
                         &app::RenderToImage},
                        QString::fromStdString(userFolder));
    form.show();
    form.resize(1280, 900);
    form.sldThumbSize->setValue(2);  // 128 px
    Spin(500);

    LatenessProbe probe;
    const long before = ResidentKiB();
    probe.Start();
    const double cpuBefore = CpuSeconds();
    const auto [first, all] = Visit(form, QStringLiteral("Drawings10k"), true, 10000);
    const double cpu = CpuSeconds() - cpuBefore;
    const double listWorst = probe.Worst();
    std::printf("10,000 drawings at 128 px on %d workers: first screen (%d thumbnails) %.0f ms, all %.0f ms\n",
                form.RenderQueue().WorkerCount(), form.Thumbnails().VisibleRows().second + 1, first, all);
    std::printf("  CPU %.2f s per 1,000 thumbnails (every thread, listing and cache writes included)\n", cpu / 10);
    std::printf("  event loop's worst lateness %.1f ms (at %.0f ms); memory %+ld MB (peak %+ld MB)\n", listWorst, probe.WorstAt(),
                (ResidentKiB() - before) / 1024, (probe.PeakKiB() - before) / 1024);

    Visit(form, QStringLiteral("Empty"), true);
    probe.Start();
    const auto [again, unused] = Visit(form, QStringLiteral("Drawings10k"), false);
    std::printf("second visit: first screen %.0f ms, worst lateness %.1f ms\n", again, probe.Worst());
    form.RenderQueue().CancelAll();

    // The drawing of 1,000,000 instructions: its thumbnail, then its preview.
    probe.Start();
    const auto [bigThumb, bigAll] = Visit(form, QStringLiteral("Big"), true);
    QElapsedTimer clock;
    clock.start();
    bool shown = false;
    QObject::connect(&form, &app::TMainForm::previewRendered, [&] { shown = true; });
    QTimer::singleShot(0, [&] { form.drList->setCurrentRow(0); });
    QTimer wake;
    wake.start(5);
    while (!shown && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("1,000,000 instructions: thumbnail %.0f ms, preview %.0f ms, worst lateness %.1f ms\n", bigAll,
                clock.nsecsElapsed() / 1e6, probe.Worst());

    // The same drawing opened in the drawing view: its shapes read and its first render shown.
    probe.Start();
    clock.restart();
    QTimer::singleShot(0, [&] { form.OpenDrawing1->trigger(); });
    while (!(form.drView->HasDrawing() && form.drView->RenderCount() > 0 && !form.drView->RenderPending()) &&
           clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("  in the drawing view: shown %.0f ms, worst lateness %.1f ms\n", clock.nsecsElapsed() / 1e6,
                probe.Worst());
    return 0;
}
