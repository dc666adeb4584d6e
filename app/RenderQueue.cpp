#include "app/RenderQueue.h"

#include <algorithm>
#include <exception>
#include <new>

#include <QMetaObject>

namespace plotwick::app {

TRenderQueue::TRenderQueue(int workers, QObject* parent) : QObject(parent)
{
    if (workers <= 0)
        workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 0; i < workers; ++i)
        threads_.emplace_back([this] { Run(); });
}

TRenderQueue::~TRenderQueue()
{
    CancelAll();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void TRenderQueue::Submit(int group, Job job, Done done)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_front(Entry{std::move(job), std::move(done), group, generations_[group]});
    }
    wake_.notify_one();
}

void TRenderQueue::Cancel(int group)
{
    std::deque<Entry> dropped;  // destroyed outside the lock
    {
        std::lock_guard lock(mutex_);
        ++generations_[group];
        auto kept = std::stable_partition(queue_.begin(), queue_.end(),
                                          [group](const Entry& e) { return e.group != group; });
        std::move(kept, queue_.end(), std::back_inserter(dropped));
        queue_.erase(kept, queue_.end());
        for (const Running& r : runningJobs_)
            if (r.group == group)
                r.cancelled->store(true, std::memory_order_relaxed);
        if (queue_.empty() && running_ == 0)
            idle_.notify_all();
    }
}

void TRenderQueue::CancelAll()
{
    std::vector<int> groups;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& e : queue_)
            groups.push_back(e.group);
        for (const Running& r : runningJobs_)
            groups.push_back(r.group);
        for (const auto& [group, generation] : generations_)
            groups.push_back(group);
    }
    std::sort(groups.begin(), groups.end());
    groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    for (int group : groups)
        Cancel(group);
}

void TRenderQueue::Wait()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

int TRenderQueue::Pending() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(queue_.size()) + running_;
}

void TRenderQueue::Run()
{
    std::atomic<bool> cancelled{false};
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        ++running_;
        cancelled.store(false, std::memory_order_relaxed);
        runningJobs_.push_back(Running{entry.group, &cancelled});
        lock.unlock();

        RenderResult result;
        try {
            result = entry.job(cancelled);
        } catch (const std::bad_alloc&) {
            result.error = QStringLiteral("Out of memory.");
        } catch (const std::exception& e) {
            result.error = QString::fromUtf8(e.what());
        } catch (...) {
            result.error = QStringLiteral("The drawing could not be rendered.");
        }
        entry.job = nullptr;  // what the job holds goes on this thread
        if (!cancelled.load(std::memory_order_relaxed))
            Deliver(entry.group, entry.generation, std::move(entry.done), std::move(result));
        entry.done = nullptr;

        lock.lock();
        runningJobs_.erase(std::find_if(runningJobs_.begin(), runningJobs_.end(),
                                        [&](const Running& r) { return r.cancelled == &cancelled; }));
        --running_;
        if (running_ == 0 && queue_.empty())
            idle_.notify_all();
    }
}

void TRenderQueue::Deliver(int group, std::uint64_t generation, Done done, RenderResult result)
{
    // Posted to the queue's thread, where the generation tells whether a Cancel came between.
    QMetaObject::invokeMethod(
        this,
        [this, group, generation, done = std::move(done), result = std::move(result)] {
            std::uint64_t current;
            {
                std::lock_guard lock(mutex_);
                current = generations_[group];
            }
            if (generation == current && done)
                done(result);
        },
        Qt::QueuedConnection);
}

}  // namespace plotwick::app
