#!/usr/bin/env bash
# The simulated correlator against the same method in numpy, side by side
# on this machine: 2.6 and 42 seconds of signal, the fastest of 5 runs of
# each. Also prints the program's own ratios: a whole simulation against
# its inverse transform, and the correlation kernel against the population
# count limit.
#   bench/simulation.sh [BUILD_DIR]     (default: build)
source "$(dirname "$0")/../scripts/common.sh"
build=${1:-$ROOT/build}
bench=$build/bench/correlator_bench
[ -x "$bench" ] || die "build first (scripts/test)"
/usr/bin/python3 -c 'import numpy' 2>/dev/null || install_packages python3-numpy

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$bench" --benchmark_filter='BM_Simulation|BM_CorrelationKernel|BM_AlignedPopcount|BM_CalcoloSimulating' \
    --benchmark_format=json --benchmark_out="$scratch/bench.json" >/dev/null 2>&1 || die "the benchmarks failed"

fastest() { # NAME: the fastest repetition's wall time in ms
    /usr/bin/python3 - "$scratch/bench.json" "$1" <<'PY'
import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"]
        if b.get("run_name") == sys.argv[2] + "/real_time" and b.get("run_type") == "iteration"]
print("%.2f" % min(b["real_time"] for b in runs))
PY
}
numpy_ms() { # SECONDS: numpy's fastest of 5 runs, in ms
    /usr/bin/python3 "$(dirname "$0")/simulate_numpy.py" "$1" 5 | sed -n 's/.*: \([0-9.]*\) ms.*/\1/p'
}

for seconds in 2.6 42; do
    arg=$(bc <<<"$seconds * 100 / 1")
    ours=$(fastest "BM_Simulation/$arg/repeats:5")
    transform=$(fastest "BM_SimulationTransform/$arg/repeats:5")
    theirs=$(numpy_ms "$seconds")
    printf '%5s s of signal: program %8.2f ms, numpy %8.2f ms: %5.1f x faster (target >= 7 at 42 s)\n' \
        "$seconds" "$ours" "$theirs" "$(bc -l <<<"$theirs / $ours")"
    printf '               whole simulation / its inverse transform (%.2f ms): %.2f (target <= 1.3)\n' \
        "$transform" "$(bc -l <<<"$ours / $transform")"
done
kernel=$(fastest "BM_CorrelationKernel/repeats:5")
aligned=$(fastest "BM_AlignedPopcount/repeats:5")
printf 'correlation kernel %.2f ms, word-aligned popcount loop %.2f ms: %.0f %% of the limit (target >= 60 %%)\n' \
    "$kernel" "$aligned" "$(bc -l <<<"100 * $aligned / $kernel")"
printf 'a tick of the window with --simulate 2.6: %.2f ms (target <= 50 ms)\n' "$(fastest "BM_CalcoloSimulating/repeats:5")"
