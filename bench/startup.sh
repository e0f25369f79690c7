#!/usr/bin/env bash
# Start-up, memory and CPU of the real program under Xvfb, and the time of
# one PNG and one CSV export as whole processes.
#   bench/startup.sh [BUILD_DIR]     (default: build)
source "$(dirname "$0")/../scripts/common.sh"
build=${1:-$ROOT/build}
program=$build/window/correlator
firstframe=$build/tests/firstframe
[ -x "$program" ] && [ -x "$firstframe" ] || die "build first (scripts/test)"

scratch=$(mktemp -d)
start_xvfb
app_pid=""
trap '[ -n "$app_pid" ] && kill $app_pid 2>/dev/null; kill $XVFB_PID 2>/dev/null; rm -rf "$scratch"' EXIT

# Starts the program, waits for its first frame; sets app_pid and first_ms.
launch() {
    local out
    out=$("$firstframe" "$program") || die "no first frame"
    app_pid=$(sed -n 's/^pid //p' <<<"$out")
    first_ms=$(sed -n 's/^first_frame_ms //p' <<<"$out")
}

# Stops the program we started, and waits until it has gone.
stop() {
    kill "$app_pid"
    while kill -0 "$app_pid" 2>/dev/null; do sleep 0.1; done
    app_pid=""
}

# Warm the font and plugin caches once, as on any desktop that ran it before.
launch
stop

launch
sleep 5
rss_kb=$(awk '/^VmRSS/ {print $2}' "/proc/$app_pid/status")

ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep 30
after=$(ticks)
stop

export_ms() { # mean and standard deviation over 20 runs, in ms
    hyperfine -N --warmup 3 --runs 20 --export-json "$scratch/h.json" "$@" >/dev/null 2>&1 \
        || die "hyperfine could not run $*"
    /usr/bin/python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][0]; print("%.1f ms +- %.1f" % (r["mean"]*1e3, r["stddev"]*1e3))' "$scratch/h.json"
}
png=$(export_ms "$program --snr 10 --delay 150 --output $scratch/figure.png")
csv=$(export_ms "$program --snr 10 --delay 150 --output $scratch/curve.csv")

printf 'first frame      %8.1f ms   (target <= 80 ms)\n' "$first_ms"
printf 'resident memory  %8.1f MB   (target <= 45 MB, after 5 s)\n' "$(bc -l <<<"$rss_kb / 1024")"
printf 'CPU over 30 s    %8.2f %%    (target <= 1 %% of one core)\n' "$(bc -l <<<"($after - $before) * 100 / $hz / 30")"
printf 'PNG export       %s\n' "$png"
printf 'CSV export       %s\n' "$csv"
