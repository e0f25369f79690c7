// What one tick of the window is computed for, and what it writes.
#pragma once

#include <cstdint>

namespace plot {

// The two settings as the bars show them.
struct Settings {
    std::int16_t snrDb = 0;
    std::int16_t delayUs = 0;
    bool operator==(const Settings &) const = default;
};

// The three readouts a tick writes.
enum class Readout { Snr, Delay, ZeroLag };

} // namespace plot
