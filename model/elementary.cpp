#include "model/elementary.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

// The error-free sums and products are wrong where doubles are computed
// in wider registers (x87): on i386 the model is built for SSE2.
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must round to double at every step");

// Each function first sums the terms that matter exactly, as double-double
// values (the unevaluated sum of two doubles), which settles the rounding of
// all but some 1 in 5,000 arguments; those few are summed again from a
// series good to 2^-100. The error-free sums and products below need every
// operation rounded to double on its own: the model is built without fused
// multiply-add.

namespace model::elementary {

namespace {

struct Double2 {
    double hi;
    double lo;
};

// The helpers of the quick sums are inlined: called, they cost more than
// they compute.
#define INLINE [[gnu::always_inline]] inline

// a + b exactly: the rounded sum and its error (Knuth).
INLINE Double2 twoSum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// The same when |a| >= |b| (Dekker).
INLINE Double2 quickTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly, through halves of 26 bits (Veltkamp, Dekker).
INLINE Double2 twoProduct(double a, double b)
{
    constexpr double kSplitter = 0x1p27 + 1;
    const double p = a * b;
    const double ta = kSplitter * a;
    const double tb = kSplitter * b;
    const double ah = ta - (ta - a), al = a - ah;
    const double bh = tb - (tb - b), bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

INLINE Double2 operator-(Double2 a) { return {-a.hi, -a.lo}; }

Double2 operator+(Double2 a, Double2 b)
{
    const Double2 s = twoSum(a.hi, b.hi);
    const Double2 t = twoSum(a.lo, b.lo);
    const Double2 u = quickTwoSum(s.hi, s.lo + t.hi);
    return quickTwoSum(u.hi, u.lo + t.lo);
}

Double2 operator*(Double2 a, Double2 b)
{
    const Double2 p = twoProduct(a.hi, b.hi);
    return quickTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

Double2 operator/(Double2 a, Double2 b)
{
    const double q1 = a.hi / b.hi;
    Double2 r = a + -(b * Double2{q1, 0});
    const double q2 = r.hi / b.hi;
    r = r + -(b * Double2{q2, 0});
    const double q3 = r.hi / b.hi;
    return quickTwoSum(q1, q2) + Double2{q3, 0};
}

// Series good to some 2^-100, for the table and for the arguments whose
// rounding the quick sums leave open. sin and cos for |x| up to pi / 4;
// atan, by Euler's series, for x from 0 to 1.
Double2 sinSeries(Double2 x)
{
    const Double2 x2 = x * x;
    Double2 term = x, sum = x;
    for (int n = 2; n < 60 && std::fabs(term.hi) > 0x1p-110 * std::fabs(sum.hi); n += 2) {
        term = -(term * x2) / Double2{double(n * (n + 1)), 0};
        sum = sum + term;
    }
    return sum;
}

Double2 cosSeries(Double2 x)
{
    const Double2 x2 = x * x;
    Double2 term{1, 0}, sum{1, 0};
    for (int n = 1; n < 60 && std::fabs(term.hi) > 0x1p-110; n += 2) {
        term = -(term * x2) / Double2{double(n * (n + 1)), 0};
        sum = sum + term;
    }
    return sum;
}

// atan x = sum over n of (2n)!! / (2n + 1)!! y^n x / (1 + x^2), y = x^2 / (1 + x^2) <= 1/2.
Double2 atanSeries(Double2 x)
{
    const Double2 onePlus = Double2{1, 0} + x * x;
    const Double2 y = (x * x) / onePlus;
    Double2 term = x / onePlus, sum = term;
    for (int n = 1; n < 200 && term.hi > 0x1p-110 * sum.hi; ++n) {
        term = term * y * (Double2{2.0 * n, 0} / Double2{2.0 * n + 1, 0});
        sum = sum + term;
    }
    return sum;
}

// Tables: sin and cos at the points j / 256 up to a little past pi / 4,
// atan at the points j / 64 up to 1.
constexpr double kTrigStep = 1.0 / 256;
constexpr int kTrigPoints = 203;
constexpr double kAtanStep = 1.0 / 64;
constexpr int kAtanPoints = 65;

struct Tables {
    Tables()
    {
        for (int j = 0; j < kTrigPoints; ++j) {
            sin[j] = sinSeries({j * kTrigStep, 0});
            cos[j] = cosSeries({j * kTrigStep, 0});
        }
        for (int j = 0; j < kAtanPoints; ++j)
            atan[j] = atanSeries({j * kAtanStep, 0});
    }
    Double2 sin[kTrigPoints];
    Double2 cos[kTrigPoints];
    Double2 atan[kAtanPoints];
};

INLINE const Tables &tables()
{
    static const Tables computed;
    return computed;
}

// pi / 2 in pieces: the first three of 33 bits at most, so that k times
// each is exact for |k| < 2^20, then the next 53 bits; 156 bits in all,
// enough for an x within 2^-60 of a multiple of pi / 2.
constexpr double kHalfPi1 = 0x1.921fb544p+0;
constexpr double kHalfPi2 = 0x1.0b4611a6p-34;
constexpr double kHalfPi3 = 0x1.3198a2ep-69;
constexpr double kHalfPi4 = 0x1.b839a252049c1p-104;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
constexpr Double2 kHalfPi{0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr double kReductionLimit = 0x1p20;

// Below this, sin x and atan x round to x and cos x to 1.
constexpr double kTiny = 0x1p-27;

// Relative errors the quick sums stay within, with room to spare.
constexpr double kTrigError = 0x1p-67;
constexpr double kAtanError = 0x1p-65;

// The double nearest to v, when the error bound cannot move it to
// another; otherwise nothing.
INLINE bool settles(Double2 v, double relativeError, double &rounded)
{
    rounded = v.hi + v.lo;
    const double error = relativeError * std::fabs(rounded);
    return v.hi + (v.lo + error) == rounded && v.hi + (v.lo - error) == rounded;
}

// sin a or cos a for 0 <= a <= pi / 4 (and a hair), from the table point
// r0 = j / 256 nearest to a and d = a - r0, |d| <= 1/512:
//   sin a = S0 cos d + C0 sin d,   cos a = C0 cos d - S0 sin d.
// The table's value and the product with d are summed exactly; the rest is
// below 2^-19 of the result.
INLINE Double2 trigNear(Double2 a, bool cosine)
{
    const int j = int(a.hi * 256 + 0.5);
    const Double2 s0 = tables().sin[j], c0 = tables().cos[j];
    const double dh = a.hi - j * kTrigStep; // exact: the two are close
    const double dl = a.lo;
    const double z = dh * dh;
    // sin d - d and cos d - 1, for d = dh.
    const double sinRest = dh * z * (-1.0 / 6 + z * (1.0 / 120 - z * (1.0 / 5040)));
    const double cosRest = z * (-0.5 + z * (1.0 / 24 - z * (1.0 / 720)));
    // sin: S0 + C0 d + ...;  cos: C0 - S0 d + ...
    const Double2 first = cosine ? c0 : s0;
    const Double2 second = cosine ? -s0 : c0;
    const Double2 linear = twoProduct(second.hi, dh);
    const Double2 sum = twoSum(first.hi, linear.hi);
    const double rest = first.hi * (cosRest - dl * dh) + second.hi * (sinRest + (dl + dl * cosRest)) + second.lo * dh
                        + first.lo;
    return {sum.hi, sum.lo + (linear.lo + rest)};
}

// sin x or cos x as sin or cos of a reduced argument r, 0 <= r <= pi / 4
// (or a hair more), negated or not: x = r + k pi / 2 for the nearest k,
// and in the quadrants k mod 4 = 0 to 3 sin x is sin r, cos r, -sin r,
// -cos r; cos x is cos r, -sin r, -cos r, sin r.
struct Reduced {
    Double2 r;
    bool cosine;
    bool negate;
};

INLINE Reduced reduce(double x, bool cosineOfX)
{
    // Rounded to the nearest integer by adding and taking away 1.5 * 2^52.
    const double k = (x * kTwoOverPi + 0x1.8p52) - 0x1.8p52;
    // Every step exact but the last piece's, whatever cancels.
    const double t = x - k * kHalfPi1; // x lies near k pi / 2
    const Double2 r1 = twoSum(t, -(k * kHalfPi2));
    const Double2 r2 = twoSum(r1.hi, -(k * kHalfPi3));
    const Double2 lows = twoSum(r2.lo, r1.lo);
    const Double2 r3 = twoSum(r2.hi, lows.hi);
    Reduced reduced{twoSum(r3.hi, r3.lo + (lows.lo - k * kHalfPi4)), false, false};
    const unsigned quadrant = unsigned(std::int64_t(k) & 3);
    reduced.cosine = cosineOfX != bool(quadrant & 1);
    reduced.negate = cosineOfX ? quadrant == 1 || quadrant == 2 : quadrant >= 2;
    if (reduced.r.hi < 0) {
        reduced.r = -reduced.r;
        reduced.negate = reduced.negate != !reduced.cosine; // sin is odd, cos even
    }
    return reduced;
}

// Whether x takes the quick sums: neither so small that sin x is x and
// cos x is 1, nor beyond the reduction's reach, nor NaN.
INLINE bool reducible(double x)
{
    const double a = std::fabs(x);
    return a >= kTiny && a <= kReductionLimit;
}

// The arguments the quick sums cannot take: tiny, huge, not finite.
double trigOther(double x, bool cosineOfX)
{
    if (std::fabs(x) < kTiny)
        return cosineOfX ? 1 : x;
    if (std::isfinite(x))
        return cosineOfX ? std::cos(x) : std::sin(x);
    return x - x;
}

// atan z for z from 0 to 1, from the table point x0 = j / 64 nearest to z:
// atan z = atan x0 + atan u, u = (z - x0) / (1 + z x0), |u| <= 1/128.
INLINE Double2 atanNear(Double2 z)
{
    const int j = int(z.hi * 64 + 0.5);
    const double x0 = j * kAtanStep;
    const double nh = z.hi - x0; // exact: the two are close
    const Double2 product = twoProduct(z.hi, x0);
    const Double2 denominator = Double2{1, 0} + Double2{product.hi, product.lo + z.lo * x0};
    const double uh = nh / denominator.hi;
    const Double2 back = twoProduct(uh, denominator.hi);
    const double ul = (((nh - back.hi) - back.lo) + z.lo - uh * denominator.lo) / denominator.hi;
    const double w = uh * uh;
    // atan u - u, for u = uh; then ul's share.
    const double rest = uh * w * (-1.0 / 3 + w * (1.0 / 5 + w * (-1.0 / 7 + w * (1.0 / 9 - w * (1.0 / 11)))));
    const Double2 a0 = tables().atan[j];
    const Double2 s = twoSum(a0.hi, uh);
    return {s.hi, s.lo + (a0.lo + (ul - ul * w + rest))};
}

// atan a, a >= 0, as a double-double: for a above 1 as pi / 2 - atan(1 / a).
struct AtanArgument {
    Double2 z;
    bool reflect;
};

INLINE AtanArgument atanArgument(double a)
{
    if (a <= 1)
        return {{a, 0}, false};
    const double zh = 1 / a;
    const Double2 back = twoProduct(zh, a);
    return {{zh, ((1 - back.hi) - back.lo) / a}, true};
}

INLINE Double2 fromHalfPi(Double2 k)
{
    const Double2 s = twoSum(kHalfPi.hi, -k.hi);
    return {s.hi, s.lo + (kHalfPi.lo - k.lo)};
}

// Whether x takes the quick sums: not NaN, not so small that atan x is x,
// not so large that it is pi / 2.
INLINE bool atanQuick(double x)
{
    const double a = std::fabs(x);
    return a >= kTiny && a < 0x1p60;
}

double atanOther(double x)
{
    if (std::isnan(x))
        return x + x;
    if (std::fabs(x) < kTiny)
        return x;
    return x < 0 ? -kHalfPi.hi : kHalfPi.hi; // pi / 2 - 1 / |x| rounds to it
}

// A correctly rounded function as the steps below take it: which
// arguments the quick sums take, such an argument made ready for them, the
// quick sum itself (before the result's sign) and its error bound, whether
// the result is negated, the series that settles what the quick sum leaves
// open, and what the other arguments give.
struct Trig {
    using Argument = Reduced;
    static constexpr double kError = kTrigError;
    bool cosineOfX;
    bool quick(double x) const { return reducible(x); }
    Argument prepare(double x) const { return reduce(x, cosineOfX); }
    Double2 near(const Argument &a) const { return trigNear(a.r, a.cosine); }
    bool negate(const Argument &a, double) const { return a.negate; }
    Double2 series(const Argument &a) const { return a.cosine ? cosSeries(a.r) : sinSeries(a.r); }
    double other(double x) const { return trigOther(x, cosineOfX); }
};

struct Atan {
    using Argument = AtanArgument;
    static constexpr double kError = kAtanError;
    bool quick(double x) const { return atanQuick(x); }
    Argument prepare(double x) const { return atanArgument(std::fabs(x)); }
    Double2 near(const Argument &a) const
    {
        const Double2 value = atanNear(a.z);
        return a.reflect ? fromHalfPi(value) : value;
    }
    bool negate(const Argument &, double x) const { return x < 0; }
    Double2 series(const Argument &a) const { return a.reflect ? fromHalfPi(atanSeries(a.z)) : atanSeries(a.z); }
    double other(double x) const { return atanOther(x); }
};

template <typename Function>
double evaluate(const Function &f, double x)
{
    if (!f.quick(x))
        return f.other(x);
    const typename Function::Argument argument = f.prepare(x);
    double rounded;
    if (!settles(f.near(argument), Function::kError, rounded)) {
        const Double2 exact = f.series(argument);
        rounded = exact.hi + exact.lo;
    }
    return f.negate(argument, x) ? -rounded : rounded;
}

// The same for n arguments, a step at a time over chunks of them: the
// steps of different arguments do not wait for one another, and the
// processor overlaps them, some twice as fast as one argument at a time.
template <typename Function>
void evaluate(const Function &f, const double *x, double *y, std::size_t n)
{
    constexpr std::size_t kChunk = 64;
    for (std::size_t begin = 0; begin < n; begin += kChunk) {
        const std::size_t count = std::min(kChunk, n - begin);
        double in[kChunk]; // y may be x
        std::copy(x + begin, x + begin + count, in);
        double *out = y + begin;
        typename Function::Argument arguments[kChunk];
        bool quick[kChunk];
        for (std::size_t i = 0; i < count; ++i) {
            quick[i] = f.quick(in[i]);
            if (quick[i])
                arguments[i] = f.prepare(in[i]);
        }
        bool settled[kChunk];
        for (std::size_t i = 0; i < count; ++i) {
            if (!quick[i])
                continue;
            double rounded;
            settled[i] = settles(f.near(arguments[i]), Function::kError, rounded);
            out[i] = f.negate(arguments[i], in[i]) ? -rounded : rounded;
        }
        for (std::size_t i = 0; i < count; ++i)
            if (!quick[i] || !settled[i])
                out[i] = evaluate(f, in[i]);
    }
}

#undef INLINE

} // namespace

double sin(double x)
{
    return evaluate(Trig{false}, x);
}

double cos(double x)
{
    return evaluate(Trig{true}, x);
}

double atan(double x)
{
    return evaluate(Atan{}, x);
}

void sin(const double *x, double *y, std::size_t n)
{
    evaluate(Trig{false}, x, y, n);
}

void cos(const double *x, double *y, std::size_t n)
{
    evaluate(Trig{true}, x, y, n);
}

void atan(const double *x, double *y, std::size_t n)
{
    evaluate(Atan{}, x, y, n);
}

} // namespace model::elementary
