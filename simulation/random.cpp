#include "simulation/random.h"

#include <cmath>
#include <cstdlib>

namespace simulation {

Ziggurat::Ziggurat()
{
    constexpr double m1 = 2147483648.0;
    double dn = 3.442619855899;
    double tn = dn;
    constexpr double vn = 9.91256303526217e-3;
    const double q = vn / std::exp(-0.5 * dn * dn);
    k[0] = std::uint32_t((dn / q) * m1);
    k[1] = 0;
    w[0] = q / m1;
    w[127] = dn / m1;
    f[0] = 1.0;
    f[127] = std::exp(-0.5 * dn * dn);
    for (int i = 126; i >= 1; --i) {
        dn = std::sqrt(-2.0 * std::log(vn / dn + std::exp(-0.5 * dn * dn)));
        k[i + 1] = std::uint32_t((dn / tn) * m1);
        tn = dn;
        f[i] = std::exp(-0.5 * dn * dn);
        w[i] = dn / m1;
    }
}

const Ziggurat &Ziggurat::layers()
{
    static const Ziggurat ziggurat;
    return ziggurat;
}

namespace {

constexpr double kTail = 3.442620;

} // namespace

// Outside the layers' rectangles: the wedges and the tail.
double Normal::slow(std::int32_t hz, unsigned iz)
{
    const Ziggurat &z = z_;
    for (;;) {
        const double x = hz * z.w[iz];
        if (iz == 0) {
            double tx, ty;
            do {
                tx = -std::log(random_.uniform()) / kTail;
                ty = -std::log(random_.uniform());
            } while (ty + ty < tx * tx);
            return hz > 0 ? kTail + tx : -kTail - tx;
        }
        if (z.f[iz] + random_.uniform() * (z.f[iz - 1] - z.f[iz]) < std::exp(-0.5 * x * x))
            return x;
        hz = nextInt();
        iz = unsigned(hz) & 127;
        if (std::uint32_t(std::abs(std::int64_t(hz))) < z.k[iz])
            return hz * z.w[iz];
    }
}

} // namespace simulation
