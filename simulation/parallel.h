#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace simulation {

// Runs work(begin, end) over [0, count) split in one contiguous part per
// core (at most four), and returns when all are done. The parts must not
// depend on one another; the result then does not depend on the split.
template <typename Work>
void inParallel(std::size_t count, Work &&work)
{
    const std::size_t parts = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    if (parts == 1 || count < 2) {
        work(std::size_t(0), count);
        return;
    }
    std::vector<std::thread> helpers;
    const std::size_t step = (count + parts - 1) / parts;
    for (std::size_t begin = step; begin < count; begin += step)
        helpers.emplace_back([&work, begin, end = std::min(begin + step, count)] { work(begin, end); });
    work(std::size_t(0), std::min(step, count));
    for (std::thread &helper : helpers)
        helper.join();
}

} // namespace simulation
