// First, before Qt defines its keywords.
#include "export/Workers.h"

#include "app/RenderQueue.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <new>
#include <utility>

#include <QMetaObject>

namespace plotwick::app {

TRenderQueue::TRenderQueue(int workers, QObject* parent)
    : QObject(parent),
      workers_(std::make_unique<Workers>(static_cast<unsigned>(std::max(0, workers)), Workers::Order::NewestFirst))
{
}

TRenderQueue::~TRenderQueue()
{
    CancelAll();
    workers_->Wait();
}

int TRenderQueue::WorkerCount() const { return static_cast<int>(workers_->Count()); }

void TRenderQueue::Submit(int group, Job job, Done done)
{
    std::uint64_t generation, queuedGeneration;
    {
        std::lock_guard lock(mutex_);
        generation = generations_[group];
        queuedGeneration = dropped_[group];
        ++queued_[group];
    }
    workers_->Submit([this, group, generation, queuedGeneration, job = std::move(job), done = std::move(done)]() mutable {
        RunJob(group, generation, queuedGeneration, job, done);
    });
}

void TRenderQueue::Cancel(int group)
{
    std::lock_guard lock(mutex_);
    ++generations_[group];
    ++dropped_[group];
    // Its queued jobs do nothing when the pool starts them.
    stale_ += std::exchange(queued_[group], 0);
    for (const Running& r : runningJobs_)
        if (r.group == group)
            r.cancelled->store(true, std::memory_order_relaxed);
    if (running_ == 0)
        idle_.notify_all();
}

void TRenderQueue::DropQueued(int group)
{
    std::lock_guard lock(mutex_);
    ++dropped_[group];
    stale_ += std::exchange(queued_[group], 0);
    if (running_ == 0)
        idle_.notify_all();
}

void TRenderQueue::CancelAll()
{
    std::lock_guard lock(mutex_);
    for (auto& [group, generation] : generations_)
        ++generation;
    for (auto& [group, generation] : dropped_)
        ++generation;
    for (auto& [group, count] : queued_)
        stale_ += std::exchange(count, 0);
    for (const Running& r : runningJobs_)
        r.cancelled->store(true, std::memory_order_relaxed);
    // The pool drops what it has not started; a job it has just taken still counts as stale.
    stale_ -= static_cast<int>(workers_->Cancel());
    if (running_ == 0)
        idle_.notify_all();
}

void TRenderQueue::Wait()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] {
        return running_ == 0 &&
               std::all_of(queued_.begin(), queued_.end(), [](const auto& q) { return q.second == 0; });
    });
}

int TRenderQueue::Pending() const
{
    std::lock_guard lock(mutex_);
    int pending = running_;
    for (const auto& [group, count] : queued_)
        pending += count;
    return pending;
}

namespace {

// The queue's threads yield to the window's: a worker runs 5 steps nicer than the program, so
// that the thread that paints wins a processor the moment it wakes, whatever the workers
// render. (Linux gives each thread its own nice value; the pool is the queue's alone.)
void YieldToTheWindow()
{
    thread_local bool done = false;
    if (std::exchange(done, true))
        return;
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, tid);
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, tid, std::min(19, nice + 5));
}

}  // namespace

void TRenderQueue::RunJob(int group, std::uint64_t generation, std::uint64_t queuedGeneration, Job& job,
                          Done& done)
{
    YieldToTheWindow();
    std::atomic<bool> cancelled{false};
    {
        std::lock_guard lock(mutex_);
        if (generation != generations_[group] || queuedGeneration != dropped_[group]) {
            --stale_;
            return;
        }
        --queued_[group];
        ++running_;
        runningJobs_.push_back(Running{group, &cancelled});
    }
    RenderResult result;
    try {
        result = job(cancelled);
    } catch (const std::bad_alloc&) {
        result.error = QStringLiteral("Out of memory.");
    } catch (const std::exception& e) {
        result.error = QString::fromUtf8(e.what());
    } catch (...) {
        result.error = QStringLiteral("The drawing could not be rendered.");
    }
    job = nullptr;  // what the job holds goes on this thread
    if (!cancelled.load(std::memory_order_relaxed))
        Deliver(group, generation, std::move(done), std::move(result));
    done = nullptr;

    std::lock_guard lock(mutex_);
    runningJobs_.erase(std::find_if(runningJobs_.begin(), runningJobs_.end(),
                                    [&](const Running& r) { return r.cancelled == &cancelled; }));
    if (--running_ == 0)
        idle_.notify_all();
}

void TRenderQueue::Deliver(int group, std::uint64_t generation, Done done, RenderResult result)
{
    bool wake;
    {
        std::lock_guard lock(mutex_);
        finished_.push_back(Finished{group, generation, std::move(done), std::move(result)});
        wake = !std::exchange(wakeQueued_, true);
    }
    if (wake)
        QMetaObject::invokeMethod(this, "TakeResults", Qt::QueuedConnection);
}

void TRenderQueue::TakeResults()
{
    std::vector<Finished> taken;
    {
        std::lock_guard lock(mutex_);
        wakeQueued_ = false;
        taken.swap(finished_);
    }
    for (Finished& f : taken) {
        // A Cancel since the job ended (a Done before this one may have cancelled) drops it.
        bool current;
        {
            std::lock_guard lock(mutex_);
            current = f.generation == generations_[f.group];
        }
        if (current && f.done)
            f.done(f.result);
    }
}

}  // namespace plotwick::app
