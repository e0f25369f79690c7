#!/usr/bin/env bash
# The simulated correlator as a user meets it, on this machine:
#  - an export with --simulate 42 minus the same export without, against
#    the same method in numpy (the fastest of 5 runs of each);
#  - the whole export with four levels against the same with two;
#  - the same at 600 s, which should cost the duration in proportion;
#  - the peak resident memory of an export, and of the window, simulating
#    600 s; the window's ticks and its answer to a click meanwhile;
#  - one block on one core against its inverse transform, and the
#    correlation kernel against the population-count limit.
#   bench/simulation.sh [BUILD_DIR]     (default: build)
source "$(dirname "$0")/../scripts/common.sh"
build=${1:-$ROOT/build}
program=$build/app/correlator
bench=$build/bench/correlator_bench
responsiveness=$build/bench/responsiveness
[ -x "$program" ] && [ -x "$bench" ] && [ -x "$responsiveness" ] || die "build first (scripts/test)"
/usr/bin/python3 -c 'import numpy' 2>/dev/null || install_packages python3-numpy

scratch=$(mktemp -d)
start_xvfb
trap 'kill $XVFB_PID 2>/dev/null; rm -rf "$scratch"' EXIT

fastest_ms() { # COMMAND...: the fastest of 5 runs, in ms
    hyperfine -N --warmup 1 --runs 5 --export-json "$scratch/h.json" "$*" >/dev/null 2>&1 \
        || die "hyperfine could not run $*"
    /usr/bin/python3 -c 'import json,sys; print("%.1f" % (min(json.load(open(sys.argv[1]))["results"][0]["times"]) * 1e3))' \
        "$scratch/h.json"
}
numpy_ms() { # SECONDS: numpy's fastest of 5 runs, in ms
    /usr/bin/python3 "$(dirname "$0")/simulate_numpy.py" "$1" 5 | sed -n 's/.*: \([0-9.]*\) ms.*/\1/p'
}

plain=$(fastest_ms "$program" --output "$scratch/c.csv")
for seconds in 42 600; do
    whole=$(fastest_ms "$program" --simulate "$seconds" --output "$scratch/c.csv")
    eval "simulate_$seconds=$(bc -l <<<"$whole - $plain")"
done
numpy=$(numpy_ms 42)
printf '42 s of signal: %.0f ms (the export %.0f ms less %.0f ms without), numpy %.0f ms: %.1f x faster (target >= 7)\n' \
    "$simulate_42" "$(bc -l <<<"$simulate_42 + $plain")" "$plain" "$numpy" "$(bc -l <<<"$numpy / $simulate_42")"
printf '600 s of signal: %.0f ms, %.1f x the 42 s (target <= 15)\n' \
    "$simulate_600" "$(bc -l <<<"$simulate_600 / $simulate_42")"
two=$(fastest_ms "$program" --simulate 42 --output "$scratch/c.csv")
four=$(fastest_ms "$program" --simulate 42 --levels 4 --output "$scratch/c.csv")
printf '42 s of signal, whole export: four levels %.0f ms, two %.0f ms: %.2f x (target <= 1.5)\n' \
    "$four" "$two" "$(bc -l <<<"$four / $two")"

/usr/bin/time -f '%M' -o "$scratch/rss" "$program" --simulate 600 --output "$scratch/c.csv" || die "the export failed"
printf 'export with --simulate 600: peak resident %.1f MB (target <= 100)\n' "$(bc -l <<<"$(cat "$scratch/rss") / 1024")"
printf 'window with --simulate 600: %s (targets: 1000 +- 50 ms, at the next tick, <= 150 MB)\n' \
    "$(LC_ALL=C "$responsiveness" "$program" --simulate 600 2>/dev/null)"

"$bench" --benchmark_filter='BM_Block|BM_CorrelationKernel|BM_AlignedPopcount' \
    --benchmark_format=json --benchmark_out="$scratch/bench.json" >/dev/null 2>&1 || die "the benchmarks failed"
fastest() { # NAME: the fastest repetition's time, in the benchmark's unit
    /usr/bin/python3 - "$scratch/bench.json" "$1" <<'PY'
import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b.get("run_name") == sys.argv[2] and b.get("run_type") == "iteration"]
print("%.3f" % min(b["real_time"] for b in runs))
PY
}
block=$(fastest "BM_Block/repeats:5")
transform=$(fastest "BM_BlockTransform/repeats:5")
printf 'a block of 2^17 samples on one core: %.2f ms, its inverse transform %.2f ms: %.2f (target <= 1.3)\n' \
    "$block" "$transform" "$(bc -l <<<"$block / $transform")"
kernel=$(fastest "BM_CorrelationKernel/repeats:5")
aligned=$(fastest "BM_AlignedPopcount/repeats:5")
printf 'correlation kernel %.0f us, word-aligned popcount loop %.0f us: %.0f %% of the limit (target >= 60 %%)\n' \
    "$kernel" "$aligned" "$(bc -l <<<"100 * $aligned / $kernel")"
