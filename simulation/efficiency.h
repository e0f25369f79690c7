// What a quantizer costs, measured: the signal-to-noise ratio of its
// correlator's estimate against an unquantized correlator's on the same
// samples.
#pragma once

#include "model/quantization.h"
#include "simulation/correlator.h"

#include <vector>

namespace simulation {

struct Efficiency {
    model::Levels levels;
    double theory; // the closed form for independent samples
    double white;  // measured on independent samples
    double signal; // measured on this program's band at 200 kHz
};

// In the weak-signal limit, inputs uncorrelated. There the ratio of the
// two estimates' signal-to-noise ratios is the correlation coefficient
// between them over realisations and lags: the one's response to a weak
// correlation is the other's times E[x q(x)]^2 / E[q^2], exactly the
// share of its noise that they have in common. Two, three, four levels and
// none, in that order; progress is told after each block.
std::vector<Efficiency> measureEfficiencies(const Correlator::Progress &progress = {});

// What the band's own autocorrelation rho(m) predicts for it: the theory's
// efficiency times sqrt(sum rho(m)^2 / sum r(rho(m))^2), sums over all lags
// m, r the quantizer's output for correlation rho. The noise of both
// estimates sums the products of the inputs' autocorrelations over lags,
// which for quantized inputs are r(rho).
double predictedSignalEfficiency(model::Levels levels);

} // namespace simulation
