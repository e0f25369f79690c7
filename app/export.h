#pragma once

struct CommandLine;

// Writes what one tick of the window computes for the command's settings
// to its output file, without a display: the window's picture (PNG, or
// SVG and PDF in vectors) or the curve's points (CSV). Returns the program's exit status; a failure is
// reported on stderr and leaves no file behind.
int exportFigure(const CommandLine &command, char *programName);

// Measures what each quantizer costs and prints it as CSV on stdout, one
// row a quantizer: levels,threshold_sigma,outer_level,eta_theory,eta_white,
// eta_signal. Returns the program's exit status.
int printEfficiencies();
