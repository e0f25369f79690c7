// The curve's values as a file: what one tick traces, as CSV.
#pragma once

#include "model/quantization.h"
#include "plot/settings.h"

#include <span>
#include <string>

namespace plot {

// One line per traced point, lag_us,correlation, each number in the
// shortest form that reads back as the same double, with '.' whatever the
// locale. Simulated estimates (as shown), when there are, come as a third
// column, each on a line of its own in lag order among the traced points:
// LAG,,VALUE, under the header lag_us,correlation,simulated.
std::string curveCsv(Settings settings, model::Quantization quantization, std::span<const double> simulated);

} // namespace plot
