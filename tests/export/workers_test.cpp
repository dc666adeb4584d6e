// The worker pool: results in the list's order whatever the number of workers, the two orders
// of starting, cancellation, and errors handed back to the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "export/Workers.h"

using namespace plotwick;

namespace {

// A job that waits until the test opens the gate.
class Gate {
public:
    void Wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void WaitForWaiters(int n)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return waiting_ >= n; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int waiting_ = 0;
    bool open_ = false;
};

TEST(Workers, ResultsComeInTheListsOrder)
{
    struct Case {
        unsigned threads;  // 0: no pool, the calling thread
        std::size_t count, ahead;
    };
    for (const Case& c : std::vector<Case>{{0, 50, 0}, {1, 50, 0}, {2, 0, 0}, {2, 1, 0}, {2, 200, 0}, {3, 200, 1},
                                           {4, 200, 3}, {8, 37, 100}}) {
        SCOPED_TRACE(testing::Message() << c.threads << " threads, " << c.count << " jobs, " << c.ahead << " ahead");
        std::optional<Workers> workers;
        if (c.threads > 0)
            workers.emplace(c.threads);
        std::vector<std::size_t> delivered;
        RunInOrder<std::string>(
            workers ? &*workers : nullptr, c.count,
            [](std::size_t i) {
                // Later jobs finish first now and then.
                if (i % 5 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                return std::to_string(i * i);
            },
            [&](std::size_t i, std::string& r) {
                EXPECT_EQ(r, std::to_string(i * i));
                delivered.push_back(i);
            },
            c.ahead);
        ASSERT_EQ(delivered.size(), c.count);
        for (std::size_t i = 0; i < c.count; ++i)
            EXPECT_EQ(delivered[i], i);
    }
}

TEST(Workers, AnErrorStopsTheRestAndReachesTheCaller)
{
    for (const bool inDeliver : {false, true}) {
        SCOPED_TRACE(inDeliver ? "deliver throws" : "a job throws");
        Workers workers(2);
        std::atomic<int> started{0};
        std::vector<std::size_t> delivered;
        try {
            RunInOrder<int>(
                &workers, 1000,
                [&](std::size_t i) {
                    ++started;
                    if (!inDeliver && i == 10)
                        throw std::runtime_error("job 10");
                    return static_cast<int>(i);
                },
                [&](std::size_t i, int&) {
                    if (inDeliver && i == 10)
                        throw std::runtime_error("job 10");
                    delivered.push_back(i);
                });
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "job 10");
        }
        EXPECT_EQ(delivered.size(), 10u);
        EXPECT_LT(started.load(), 100);  // at most a window ahead of the failure
        workers.Wait();
    }
}

TEST(Workers, StartOrderAndCancel)
{
    for (const auto order : {Workers::Order::Given, Workers::Order::NewestFirst}) {
        Workers workers(1, order);
        Gate gate;
        std::mutex mutex;
        std::vector<int> ran;
        workers.Submit([&] { gate.Wait(); });
        gate.WaitForWaiters(1);  // the one worker is busy: the next jobs queue
        for (int i = 0; i < 4; ++i)
            workers.Submit([&, i] {
                std::lock_guard<std::mutex> lock(mutex);
                ran.push_back(i);
            });
        gate.Open();
        workers.Wait();
        EXPECT_EQ(ran, order == Workers::Order::Given ? std::vector<int>({0, 1, 2, 3}) : std::vector<int>({3, 2, 1, 0}));
    }

    Workers workers(1);
    Gate gate;
    std::atomic<int> ran{0};
    workers.Submit([&] { gate.Wait(); });
    gate.WaitForWaiters(1);
    for (int i = 0; i < 5; ++i)
        workers.Submit([&] { ++ran; });
    EXPECT_EQ(workers.Cancel(), 5u);
    gate.Open();
    workers.Wait();
    EXPECT_EQ(ran.load(), 0);
    workers.Submit([&] { ++ran; });  // the pool goes on after a cancel
    workers.Wait();
    EXPECT_EQ(ran.load(), 1);
}

TEST(Workers, DefaultIsOnePerProcessor)
{
    EXPECT_GE(ProcessorCount(), 1u);
    EXPECT_EQ(Workers().Count(), ProcessorCount());
}

// A job leaves its helper threads out while the pool's jobs keep every processor busy, and
// takes them again once a processor is free.
TEST(Workers, HelpersOnlyWhereAProcessorIsSpare)
{
    const unsigned n = ProcessorCount();
    EXPECT_EQ(ProcessorToSpare(), n > 1);
    for (unsigned busy : {n, n - 1}) {
        if (busy == 0)
            continue;
        Workers workers(busy);
        Gate started, asked;  // every job asks while all of them are running
        std::atomic<unsigned> spare{0};
        for (unsigned i = 0; i < busy; ++i)
            workers.Submit([&] {
                started.Wait();
                spare += ProcessorToSpare() ? 1 : 0;
                asked.Wait();
            });
        started.WaitForWaiters(static_cast<int>(busy));
        started.Open();
        asked.WaitForWaiters(static_cast<int>(busy));
        asked.Open();
        workers.Wait();
        EXPECT_EQ(spare.load(), busy < n ? busy : 0u) << busy << " of " << n << " processors busy";
    }
    EXPECT_EQ(ProcessorToSpare(), n > 1);
}

}  // namespace
