// A pool of worker threads for jobs that run side by side, each with a context of its own (an
// export each in plotwick-cli export-all; a thumbnail each in a window): jobs wait in a queue
// and are started in the order they were given or newest first, and the ones not started yet
// can be dropped. `RunInOrder` spreads a numbered list of jobs over a pool and hands their
// results back on the calling thread in the list's order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/threads/Processors.h"

namespace plotwick {

class Workers {
public:
    enum class Order {
        Given,        // the oldest job first (a batch in its order)
        NewestFirst,  // the latest job first (what the user looked at last)
    };

    // `threads` workers, at least one; 0 is one per processor.
    explicit Workers(unsigned threads = 0, Order order = Order::Given);
    // Drops the jobs not started and waits for the running ones.
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    unsigned Count() const { return static_cast<unsigned>(threads_.size()); }
    // Queues a job. A job must not throw; what it owns is its own business.
    void Submit(std::function<void()> job);
    // Drops every job not started yet and returns how many were dropped.
    std::size_t Cancel();
    // Waits until no job is queued or running.
    void Wait();

private:
    void Run();

    const Order order_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<std::function<void()>> queue_;
    std::size_t running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Runs job(i) for every i below count, on the workers when there are any (without them, on the
// calling thread), and calls deliver(i, result) on the calling thread for each i in increasing
// order, as soon as that job and every one before it has finished. At most `ahead` jobs are
// started beyond the last result delivered (0: four per worker), so results do not pile up.
// An exception out of a job or out of deliver stops the jobs not started yet and is rethrown
// here once the running ones have finished; deliver then sees no later result.
template <typename Result>
void RunInOrder(Workers* workers, std::size_t count, const std::function<Result(std::size_t)>& job,
                const std::function<void(std::size_t, Result&)>& deliver, std::size_t ahead = 0)
{
    if (!workers) {
        for (std::size_t i = 0; i < count; ++i) {
            Result r = job(i);
            deliver(i, r);
        }
        return;
    }
    if (ahead == 0)
        ahead = 4 * static_cast<std::size_t>(workers->Count());
    struct Slot {
        std::optional<Result> result;
        std::exception_ptr error;
        bool done = false;
    };
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<Slot> results(ahead);  // job i in results[i % ahead]
    std::size_t running = 0;
    std::size_t awaited = count;  // the job the calling thread waits for, woken by it alone
    bool stop = false;

    const auto start = [&](std::size_t i) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++running;
        }
        workers->Submit([&, i] {
            std::optional<Result> result;
            std::exception_ptr error;
            bool skip;
            {
                std::lock_guard<std::mutex> lock(mutex);
                skip = stop;
            }
            if (!skip) {
                try {
                    result.emplace(job(i));
                } catch (...) {
                    error = std::current_exception();
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            Slot& slot = results[i % ahead];
            slot.result = std::move(result);
            slot.error = error;
            slot.done = true;
            --running;
            if (i == awaited || (stop && running == 0))
                finished.notify_all();
        });
    };
    // Every job started has finished before this function returns, whatever happens.
    const auto drain = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        stop = true;
        finished.wait(lock, [&] { return running == 0; });
    };

    std::size_t next = 0;
    try {
        for (std::size_t i = 0; i < count; ++i) {
            while (next < count && next < i + ahead)
                start(next++);
            Slot taken;
            {
                std::unique_lock<std::mutex> lock(mutex);
                Slot& slot = results[i % ahead];
                awaited = i;
                finished.wait(lock, [&] { return slot.done; });
                awaited = count;
                taken = std::move(slot);
                slot = Slot{};
            }
            if (taken.error)
                std::rethrow_exception(taken.error);
            deliver(i, *taken.result);
        }
    } catch (...) {
        drain();
        throw;
    }
}

}  // namespace plotwick
