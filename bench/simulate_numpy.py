#!/usr/bin/python3
"""The simulated one-bit correlator as a student would write it in numpy.

The same method as the program's: two noisy copies of one Gaussian signal,
flat over the band the model implies (125,600 +- 78,500 rad/s), made by
drawing complex Gaussians on the in-band bins of a length-N spectrum and
inverse-transforming; clipped to one bit; correlated over the N circular
positions at lags 0, 5, ..., 300 us, with numpy's fastest means (XOR of
boolean arrays and a count). Prints the fastest of several runs.

    simulate_numpy.py SECONDS [RUNS]
"""

import sys
import time

import numpy as np

RATE = 200_000.0
LAGS = 61


def smooth_length(seconds):
    """The smallest 2^a 3^b 5^c at least seconds x 200,000."""
    wanted = int(np.ceil(seconds * RATE - 1e-6))
    best = None
    twos = 1
    while twos < 2 * wanted:
        threes = twos
        while threes < 2 * wanted:
            fives = threes
            while fives < 2 * wanted:
                if fives >= wanted and (best is None or fives < best):
                    best = fives
                fives *= 5
            threes *= 3
        twos *= 2
    return best


def simulate(n, snr_db, delay_us, rng):
    omega = 2 * np.pi * np.fft.rfftfreq(n, 1 / RATE)
    band = (omega >= 125600.0 - 78500.0) & (omega <= 125600.0 + 78500.0)
    bins = np.count_nonzero(band)

    def gaussians():
        return rng.standard_normal(bins) + 1j * rng.standard_normal(bins)

    amplitude = 10 ** (snr_db / 20)
    s = amplitude * gaussians()
    x1 = np.zeros(n // 2 + 1, complex)
    x2 = np.zeros(n // 2 + 1, complex)
    x1[band] = s + gaussians()
    x2[band] = s * np.exp(-1j * omega[band] * delay_us * 1e-6) + gaussians()
    b1 = np.fft.irfft(x1, n) > 0
    b2 = np.fft.irfft(x2, n) > 0
    estimates = np.empty(LAGS)
    for k in range(LAGS):
        differ = np.count_nonzero(b1[: n - k] ^ b2[k:]) + np.count_nonzero(b1[n - k :] ^ b2[:k])
        estimates[k] = 1 - 2 * differ / n
    return estimates


def main():
    seconds = float(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    n = smooth_length(seconds)
    rng = np.random.default_rng(1)
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        simulate(n, 0, 50, rng)
        times.append(time.perf_counter() - start)
    print(f"numpy {seconds:g} s of signal, N = {n}: {min(times) * 1e3:.1f} ms (fastest of {runs})")


if __name__ == "__main__":
    main()
