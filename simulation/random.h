// Random numbers written down here rather than taken from the standard
// library, whose distributions differ from one implementation to the
// next: the same seed must give the same realisation everywhere.
#pragma once

#include <cstdint>

namespace simulation {

// SplitMix64 (Steele, Lea and Flood 2014): spreads a seed over the state
// of the generator below.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

// xoshiro256** 1.0 (Blackman and Vigna 2018), seeded through SplitMix64.
class Xoshiro256 {
public:
    explicit Xoshiro256(std::uint64_t seed)
    {
        SplitMix64 spread(seed);
        for (std::uint64_t &word : s_)
            word = spread.next();
    }
    std::uint64_t next()
    {
        const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }
    // Uniform in (0, 1): 53 random bits, never 0.
    double uniform() { return (double(next() >> 11) + 0.5) * 0x1p-53; }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4];
};

// The ziggurat's 128 layers, as Marsaglia and Tsang set them up.
struct Ziggurat {
    Ziggurat();
    static const Ziggurat &layers();
    std::uint32_t k[128];
    double w[128];
    double f[128];
};

// Standard normal deviates by the ziggurat method of Marsaglia and Tsang
// (2000), 128 layers, on 32-bit halves of the generator's words. The
// common case, inside a layer's rectangle, is inline: a simulation draws
// millions of them.
class Normal {
public:
    explicit Normal(std::uint64_t seed) : random_(seed) {}
    double next()
    {
        const std::int32_t hz = nextInt();
        const unsigned iz = unsigned(hz) & 127;
        if (std::uint32_t(hz < 0 ? -std::int64_t(hz) : std::int64_t(hz)) < z_.k[iz])
            return hz * z_.w[iz];
        return slow(hz, iz);
    }

private:
    std::int32_t nextInt()
    {
        if (!half_) {
            word_ = random_.next();
            half_ = true;
            return std::int32_t(std::uint32_t(word_));
        }
        half_ = false;
        return std::int32_t(std::uint32_t(word_ >> 32));
    }
    double slow(std::int32_t hz, unsigned iz);

    const Ziggurat &z_ = Ziggurat::layers();
    Xoshiro256 random_;
    std::uint64_t word_ = 0;
    bool half_ = false;
};

} // namespace simulation
