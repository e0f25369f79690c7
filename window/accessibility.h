// What a screen reader finds in the window: the bars with their units and
// the result, the readouts as the numbers they show, and a text for the
// plot. What changes is said once, when it changes.
#pragma once

namespace accessibility {

// Installs, once, what Qt does not know of the window: its parts that are
// not controls (the plot, the announcement of a new result) and the bars'
// values as the window shows them.
void install();

} // namespace accessibility
