#include "model/quantization.h"

#include "model/elementary.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <vector>

namespace model {

namespace {

constexpr double kPi = 3.14; // the model's, for two levels
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A quantizer as steps: where its output jumps, and by how much.
struct Steps {
    std::array<double, 3> at;
    std::array<double, 3> by;
    int count;
};

Steps stepsOf(Levels levels)
{
    switch (levels) {
    case Levels::Two:
        return {{0}, {2}, 1};
    case Levels::Three:
        return {{-0.612, 0.612}, {1, 1}, 2};
    case Levels::Four:
        return {{-0.996, 0, 0.996}, {2, 2, 2}, 3};
    case Levels::Analog:
        break;
    }
    return {{}, {}, 0};
}

// e^x for x <= 0, written out (the C libraries' differ in the last bit, and
// the tables below must be the same everywhere): x = k ln 2 + r, |r| <=
// ln 2 / 2, e^r by its series.
double exponential(double x)
{
    if (x < -745)
        return 0;
    constexpr double kLn2High = 0x1.62e42fee00000p-1; // k times it is exact
    constexpr double kLn2Low = 0x1.a39ef35793c76p-33;
    const double k = (x * (1 / std::numbers::ln2) + 0x1.8p52) - 0x1.8p52;
    const double r = (x - k * kLn2High) - k * kLn2Low;
    double sum = 1, term = 1;
    for (int n = 1; n <= 14; ++n) {
        term = term * r / n;
        sum += term;
    }
    return std::ldexp(sum, int(k));
}

// A quantizer's output against the input correlation, through the angle
// theta = arcsin rho: Price's theorem gives dE[q(x) q(y)] / d rho as the
// bivariate normal density at the pairs of thresholds, weighted by the
// jumps, which in theta is smooth up to pi / 2:
//   dE/dtheta = sum over thresholds a, b of
//               jump(a) jump(b) / (2 pi) exp(-(a - b)^2 / (2 cos^2) - a b / (1 + sin)).
// It is integrated by Simpson's rule over 1024 intervals, and the table
// holds on each the cubic through the ends' values and slopes, normalised by
// its value at pi / 2, which is E[q(x)^2].
class AngleTable {
public:
    static constexpr int kIntervals = 1024;

    explicit AngleTable(Levels levels)
    {
        const Steps steps = stepsOf(levels);
        const double step = (std::numbers::pi / 2) / kIntervals;
        const auto slope = [&](double theta) {
            const double s = elementary::sin(theta), c = elementary::cos(theta);
            double sum = 0;
            for (int k = 0; k < steps.count; ++k)
                for (int l = 0; l < steps.count; ++l) {
                    const double a = steps.at[k], b = steps.at[l];
                    const double gap = a == b ? 0 : (a - b) * (a - b) / (2 * c * c);
                    sum += steps.by[k] * steps.by[l] * exponential(-gap - a * b / (1 + s));
                }
            return sum / (2 * std::numbers::pi);
        };
        std::vector<double> value(kIntervals + 1), derivative(kIntervals + 1);
        value[0] = 0;
        derivative[0] = slope(0);
        for (int i = 1; i <= kIntervals; ++i) {
            derivative[i] = slope(i * step);
            value[i] = value[i - 1] + step / 6 * (derivative[i - 1] + 4 * slope((i - 0.5) * step) + derivative[i]);
        }
        meanSquare_ = value[kIntervals];
        nodes_.resize(kIntervals + 1);
        cubics_.resize(kIntervals);
        for (int i = 0; i <= kIntervals; ++i)
            nodes_[i] = value[i] / meanSquare_;
        for (int i = 0; i < kIntervals; ++i) {
            const double v0 = nodes_[i], v1 = nodes_[i + 1];
            const double d0 = step * derivative[i] / meanSquare_, d1 = step * derivative[i + 1] / meanSquare_;
            cubics_[i] = {v0, d0, 3 * (v1 - v0) - 2 * d0 - d1, 2 * (v0 - v1) + d0 + d1};
        }
        step_ = step;
        slopeAtZero_ = derivative[0];
    }

    // E[q(x)^2], and dE/drho at rho = 0, which is E[x q(x)]^2.
    double meanSquare() const { return meanSquare_; }
    double slopeAtZero() const { return slopeAtZero_; }

    // NaN for an angle that is none, or beyond pi / 2.
    double at(double angle) const
    {
        if (!(std::fabs(angle) <= kIntervals * step_))
            return kNaN;
        const double position = std::fabs(angle) / step_;
        const int i = std::min(int(position), kIntervals - 1);
        const double u = position - i;
        const Cubic &c = cubics_[std::size_t(i)];
        const double v = ((c[3] * u + c[2]) * u + c[1]) * u + c[0];
        return angle < 0 ? -v : v;
    }

    // The angle whose value is r, 0 <= r <= 1: the interval by bisection,
    // then Newton's method on its cubic, which rises across it.
    double angleOf(double r) const
    {
        const auto above = std::upper_bound(nodes_.begin(), nodes_.end(), r);
        const int i = std::clamp(int(above - nodes_.begin()) - 1, 0, kIntervals - 1);
        const Cubic &c = cubics_[std::size_t(i)];
        const double span = nodes_[std::size_t(i) + 1] - nodes_[std::size_t(i)];
        double u = span > 0 ? std::clamp((r - c[0]) / span, 0.0, 1.0) : 0;
        for (int n = 0; n < 8; ++n) {
            const double f = ((c[3] * u + c[2]) * u + c[1]) * u + c[0] - r;
            const double df = (3 * c[3] * u + 2 * c[2]) * u + c[1];
            if (!(df > 0))
                break;
            u = std::clamp(u - f / df, 0.0, 1.0);
        }
        return (i + u) * step_;
    }

private:
    using Cubic = std::array<double, 4>;
    std::vector<double> nodes_;
    std::vector<Cubic> cubics_;
    double step_ = 0;
    double meanSquare_ = 1;
    double slopeAtZero_ = 0;
};

// Made when first needed: a window that only ever shows two levels never
// spends the two milliseconds.
const AngleTable &tableOf(Levels levels)
{
    if (levels == Levels::Three) {
        static const AngleTable three(Levels::Three);
        return three;
    }
    static const AngleTable four(Levels::Four);
    return four;
}

} // namespace

const char *optionName(Levels levels)
{
    switch (levels) {
    case Levels::Two:
        return "2";
    case Levels::Three:
        return "3";
    case Levels::Four:
        return "4";
    case Levels::Analog:
        break;
    }
    return "analog";
}

double thresholdSigma(Levels levels)
{
    const Steps steps = stepsOf(levels);
    return steps.count == 0 ? kNaN : steps.at[std::size_t(steps.count - 1)];
}

int outerLevel(Levels levels)
{
    return levels == Levels::Four ? 3 : 1;
}

double quantizedCorrelationAtAngle(Levels levels, double angle)
{
    switch (levels) {
    case Levels::Two:
        return (2 / kPi) * angle;
    case Levels::Three:
    case Levels::Four:
        return tableOf(levels).at(angle);
    case Levels::Analog:
        break;
    }
    return elementary::sin(angle);
}

double quantizedCorrelation(Levels levels, double rho)
{
    if (levels == Levels::Analog)
        return std::fabs(rho) <= 1 ? rho : kNaN;
    // arcsin rho as the model takes it, through the arctangent.
    const double root = std::sqrt(1 + rho * -rho);
    const double angle = root == 0 ? std::copysign(elementary::atan(HUGE_VAL), rho) : elementary::atan(rho / root);
    return quantizedCorrelationAtAngle(levels, angle);
}

double vanVleck(Levels levels, double r)
{
    switch (levels) {
    case Levels::Two:
        return elementary::sin(std::clamp(r / (2 / kPi), -std::numbers::pi / 2, std::numbers::pi / 2));
    case Levels::Three:
    case Levels::Four: {
        const double angle = tableOf(levels).angleOf(std::min(std::fabs(r), 1.0));
        return std::copysign(elementary::sin(angle), r);
    }
    case Levels::Analog:
        break;
    }
    return std::clamp(r, -1.0, 1.0);
}

double efficiency(Levels levels)
{
    switch (levels) {
    case Levels::Two:
        return 2 / std::numbers::pi;
    case Levels::Three:
    case Levels::Four:
        // dE/d rho at 0 is E[x q(x)]^2; divided by E[q^2].
        return tableOf(levels).slopeAtZero() / tableOf(levels).meanSquare();
    case Levels::Analog:
        break;
    }
    return 1;
}

} // namespace model
