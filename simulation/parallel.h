#pragma once

#include <algorithm>
#include <cstddef>

// Threads where the C++ library has them; the browser's build has none and
// works on one core.
#if defined(_LIBCPP_HAS_NO_THREADS)
#define CORRELATOR_THREADS 0
#else
#define CORRELATOR_THREADS 1
#include <thread>
#include <vector>
#endif

namespace simulation {

// Cores a simulation uses unless told otherwise: all there are, at most four.
inline unsigned defaultWorkers()
{
#if CORRELATOR_THREADS
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
#else
    return 1;
#endif
}

// Runs work(begin, end) over [0, count) split in at most parts contiguous
// parts, and returns when all are done. The parts must not depend on one
// another; the result then does not depend on the split. The helpers are
// joined on every way out, an exception on this thread included.
template <typename Work>
void inParallel(unsigned parts, std::size_t count, Work &&work)
{
#if CORRELATOR_THREADS
    if (parts <= 1 || count < 2) {
        work(std::size_t(0), count);
        return;
    }
    std::vector<std::jthread> helpers;
    const std::size_t step = (count + parts - 1) / parts;
    for (std::size_t begin = step; begin < count; begin += step)
        helpers.emplace_back([&work, begin, end = std::min(begin + step, count)] { work(begin, end); });
    work(std::size_t(0), std::min(step, count));
#else
    (void)parts;
    work(std::size_t(0), count);
#endif
}

} // namespace simulation
