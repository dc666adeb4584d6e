// InTwoHalves: a piece of work over a range split in two, the halves run side by side.
#pragma once

#include <cstddef>
#include <thread>

#include "platform/threads/Processors.h"

namespace plotwick {

// Runs part(from, to) over [0, count) (rows of pixels, shapes): in two halves, the second on a
// thread of its own, where a processor is to spare (ProcessorToSpare) and there are at least
// `worthFrom` items (starting a thread costs about as much as clearing a few hundred
// kilobytes), else in one piece. part must not throw.
template <typename Part>
void InTwoHalves(std::size_t count, std::size_t worthFrom, const Part& part)
{
    if (count < worthFrom || count < 2 || !ProcessorToSpare()) {
        part(std::size_t{0}, count);
        return;
    }
    const std::size_t half = count / 2;
    std::thread second([&] { part(half, count); });
    part(std::size_t{0}, half);
    second.join();
}

}  // namespace plotwick
