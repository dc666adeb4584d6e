// Processors: how many this process may run on, and whether a piece of work may hand part of
// itself to a helper thread.
#pragma once

namespace plotwick {

// The number of processors this process may run on (at least 1), read once.
unsigned ProcessorCount();

// Whether a processor is left for a helper thread of the calling thread's work: there are
// more processors than the threads busy with pool jobs (WorkerBusy), the calling thread
// counted once. Where a pool keeps every processor busy (export-all's workers), a helper
// would only take turns with another job, at the cost of starting a thread.
bool ProcessorToSpare();

// Counts the calling thread as busy with a pool's job while it lives.
class WorkerBusy {
public:
    WorkerBusy();
    ~WorkerBusy();
    WorkerBusy(const WorkerBusy&) = delete;
    WorkerBusy& operator=(const WorkerBusy&) = delete;
};

}  // namespace plotwick
