#include "export/Workers.h"

#include "platform/threads/Processors.h"

namespace plotwick {

Workers::Workers(unsigned threads, Order order) : order_(order)
{
    if (threads == 0)
        threads = ProcessorCount();
    threads_.reserve(threads);
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this] { Run(); });
}

Workers::~Workers()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.clear();
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

void Workers::Submit(std::function<void()> job)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(job));
    }
    wake_.notify_one();
}

std::size_t Workers::Cancel()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dropped.swap(queue_);
        if (running_ == 0)
            idle_.notify_all();
    }
    return dropped.size();  // destroyed outside the lock: a job may own a lot
}

void Workers::Wait()
{
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

void Workers::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            return;
        std::function<void()> job;
        if (order_ == Order::NewestFirst) {
            job = std::move(queue_.back());
            queue_.pop_back();
        } else {
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        ++running_;
        lock.unlock();
        {
            const WorkerBusy busy;
            job();
            job = nullptr;  // what the job holds goes before it counts as finished
        }
        lock.lock();
        --running_;
        if (running_ == 0 && queue_.empty())
            idle_.notify_all();
    }
}

}  // namespace plotwick
