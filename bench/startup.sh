#!/usr/bin/env bash
# Start-up, memory and CPU of the real program under Xvfb, against a bare
# Qt window with one label (bench/barewindow.cpp) started the same way,
# interleaved; and the time of one PNG and one CSV export as whole processes.
#   bench/startup.sh [BUILD_DIR]     (default: build)
source "$(dirname "$0")/../scripts/common.sh"
build=${1:-$ROOT/build}
program=$build/app/correlator
bare=$build/bench/barewindow
firstframe=$build/bench/firstframe
runs=${RUNS:-15}
[ -x "$program" ] && [ -x "$bare" ] && [ -x "$firstframe" ] || die "build first (scripts/test)"

scratch=$(mktemp -d)
start_xvfb
app_pid=""
trap '[ -n "$app_pid" ] && kill $app_pid 2>/dev/null; kill $XVFB_PID 2>/dev/null; rm -rf "$scratch"' EXIT

# launch PROGRAM [ARGS...]: starts it, waits for its first frame; sets
# app_pid and first_ms.
launch() {
    local out
    out=$("$firstframe" "$@") || die "no first frame from $*"
    app_pid=$(sed -n 's/^pid //p' <<<"$out")
    first_ms=$(sed -n 's/^first_frame_ms //p' <<<"$out")
}

# Stops the program we started, and waits until it has gone.
stop() {
    kill "$app_pid"
    while kill -0 "$app_pid" 2>/dev/null; do sleep 0.05; done
    app_pid=""
}

resident_kb() { awk '/^VmRSS/ {print $2}' "/proc/$app_pid/status"; }

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Warm the font and plugin caches once, as on any desktop that ran it before.
for p in "$program" "$bare"; do launch "$p"; stop; done

# Interleaved, so that a busy spell of the shared machine falls on both alike.
: >"$scratch/program" >"$scratch/bare" >"$scratch/program.rss" >"$scratch/bare.rss"
for _ in $(seq "$runs"); do
    for which in program bare; do
        [ "$which" = program ] && launch "$program" || launch "$bare"
        echo "$first_ms" >>"$scratch/$which"
        sleep 2 # past the first tick
        resident_kb >>"$scratch/$which.rss"
        stop
    done
done
program_ms=$(median <"$scratch/program")
bare_ms=$(median <"$scratch/bare")
program_kb=$(median <"$scratch/program.rss")
bare_kb=$(median <"$scratch/bare.rss")

ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
hz=$(getconf CLK_TCK)
cpu_percent() { # ARGS...: the program's CPU over 30 s of ticking, in % of one core
    local before after
    launch "$program" "$@"
    before=$(ticks)
    sleep 30
    after=$(ticks)
    stop
    bc -l <<<"($after - $before) * 100 / $hz / 30"
}
cpu=$(cpu_percent)
cpu_simulating=$(cpu_percent --simulate 2.6)

export_ms() { # mean and standard deviation over 20 runs, in ms
    hyperfine -N --warmup 3 --runs 20 --export-json "$scratch/h.json" "$@" >/dev/null 2>&1 \
        || die "hyperfine could not run $*"
    /usr/bin/python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print("%.1f ms +- %.1f" % (r["mean"]*1e3, r["stddev"]*1e3))' "$scratch/h.json"
}
png=$(export_ms "$program --snr 10 --delay 150 --output $scratch/figure.png")
csv=$(export_ms "$program --snr 10 --delay 150 --output $scratch/curve.csv")

printf 'first frame      %8.1f ms   bare Qt window %6.1f ms   ratio %.3f (target <= 1.1), medians of %d\n' \
    "$program_ms" "$bare_ms" "$(bc -l <<<"$program_ms / $bare_ms")" "$runs"
printf 'resident memory  %8.1f MB   bare Qt window %6.1f MB   above %.1f MB (target <= 2 MB), 2 s after the frame\n' \
    "$(bc -l <<<"$program_kb / 1024")" "$(bc -l <<<"$bare_kb / 1024")" "$(bc -l <<<"($program_kb - $bare_kb) / 1024")"
printf 'CPU over 30 s    %8.2f %%    (target <= 1 %% of one core)\n' "$cpu"
printf 'CPU, --simulate 2.6 %5.2f %%    (target <= 8 %% of one core)\n' "$cpu_simulating"
printf 'PNG export       %s\n' "$png"
printf 'CSV export       %s\n' "$csv"
