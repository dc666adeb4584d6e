#include "platform/threads/Processors.h"

#include <sched.h>

#include <atomic>
#include <thread>

namespace plotwick {

namespace {

std::atomic<unsigned> busyWorkers{0};
thread_local bool isBusyWorker = false;

unsigned CountProcessors()
{
    // The processors this process may run on (taskset, a container's limit), else all of them.
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0)
            return static_cast<unsigned>(n);
    }
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? n : 1;
}

}  // namespace

unsigned ProcessorCount()
{
    static const unsigned count = CountProcessors();
    return count;
}

bool ProcessorToSpare()
{
    const unsigned busy = busyWorkers.load(std::memory_order_relaxed) + (isBusyWorker ? 0 : 1);
    return busy < ProcessorCount();
}

WorkerBusy::WorkerBusy()
{
    isBusyWorker = true;
    busyWorkers.fetch_add(1, std::memory_order_relaxed);
}

WorkerBusy::~WorkerBusy()
{
    busyWorkers.fetch_sub(1, std::memory_order_relaxed);
    isBusyWorker = false;
}

}  // namespace plotwick
