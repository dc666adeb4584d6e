// Rendering off the window's thread: jobs run on the worker threads of export/Workers (one per
// core, the pool export-all uses), the newest first; their results come back to the thread that
// owns the queue, where the window paints them. Cancel drops what is queued and the results of what is running.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <QImage>
#include <QObject>
#include <QString>

namespace plotwick {
class Workers;
}

namespace plotwick::app {

// The queue's groups: each is cancelled on its own.
inline constexpr int kThumbnailGroup = 1;  // the list's thumbnails
inline constexpr int kPreviewGroup = 2;    // the preview
inline constexpr int kViewGroup = 3;       // the drawing view
inline constexpr int kCleanGroup = 4;      // the disk cache's cleaning
inline constexpr int kViewLoadGroup = 5;   // the drawing view's load of shapes

// What a job gives back: an image, or the text of the error that stopped it.
struct RenderResult {
    QImage image;
    QString error;
    bool Failed() const { return !error.isNull(); }
};

class TRenderQueue : public QObject {
    Q_OBJECT
public:
    // A job runs on a worker. It may touch only what it was given by value, files read
    // through its own objects, and the font list's glyphs; cancelled turns true once its
    // result is no longer wanted, so a long job may stop early.
    using Job = std::function<RenderResult(const std::atomic<bool>& cancelled)>;
    // Runs on the queue's thread with the job's result, unless the job was cancelled first.
    using Done = std::function<void(const RenderResult&)>;

    // workers 0: one per core.
    explicit TRenderQueue(int workers = 0, QObject* parent = nullptr);
    // Cancels everything and waits for the running jobs.
    ~TRenderQueue() override;

    // Queues a job of a group (the list's thumbnails, the preview, ...) in front of every
    // queued one.
    void Submit(int group, Job job, Done done);
    // Drops the group's queued jobs; its running ones see cancelled and their results are
    // dropped.
    void Cancel(int group);
    // Drops only the group's queued jobs: those running finish and deliver.
    void DropQueued(int group);
    // The same as Cancel for every group.
    void CancelAll();
    // Returns once no job is queued or running (jobs queued meanwhile included).
    void Wait();
    // Jobs queued or running.
    int Pending() const;
    int WorkerCount() const;

private:
    struct Running {
        int group;
        std::atomic<bool>* cancelled;
    };
    void RunJob(int group, std::uint64_t generation, std::uint64_t queuedGeneration, Job& job, Done& done);
    void Deliver(int group, std::uint64_t generation, Done done, RenderResult result);
    // On the queue's thread: hands the finished results to their Done.
    Q_INVOKABLE void TakeResults();

    struct Finished {
        int group;
        std::uint64_t generation;
        Done done;
        RenderResult result;
    };

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::map<int, std::uint64_t> generations_;  // bumped by each Cancel of the group
    std::map<int, std::uint64_t> dropped_;      // bumped by each Cancel or DropQueued of the group
    std::map<int, int> queued_;                 // live jobs not started, per group
    int stale_ = 0;                             // cancelled jobs the pool has yet to start
    int running_ = 0;
    std::vector<Running> runningJobs_;
    // Results pass to the queue's thread here, under mutex_, and only a wake-up goes through
    // Qt's event queue: the hand-over is then one ThreadSanitizer sees.
    std::vector<Finished> finished_;
    bool wakeQueued_ = false;
    // The last member: its threads stop before the rest goes. (export/Workers.h is included
    // only before Qt's headers: Qt's "slots" keyword would break it.)
    std::unique_ptr<Workers> workers_;
};

}  // namespace plotwick::app
