#!/usr/bin/env bash
# Start-up, memory and CPU of the real program under Xvfb.
#   bench/startup.sh [BUILD_DIR]     (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
program=$build/window/correlator
firstframe=$build/tests/firstframe
[ -x "$program" ] && [ -x "$firstframe" ] || { echo "startup.sh: build first (scripts/test)" >&2; exit 1; }

exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset 2>/dev/null)
xvfb_pid=$!
read -r -t 10 display <&3 || { echo "startup.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
app_pid=""
trap '[ -n "$app_pid" ] && kill $app_pid 2>/dev/null; kill $xvfb_pid 2>/dev/null || true' EXIT

# Warm the font and plugin caches once, as on any desktop that ran it before.
"$firstframe" "$program" >/dev/null && pkill -f "^$program\$" || true
sleep 0.5

out=$("$firstframe" "$program")
app_pid=$(sed -n 's/^pid //p' <<<"$out")
first=$(sed -n 's/^first_frame_ms //p' <<<"$out")

sleep 5
rss_kb=$(awk '/^VmRSS/ {print $2}' "/proc/$app_pid/status")

ticks() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep 30
after=$(ticks)

printf 'first frame      %8.1f ms   (target <= 80 ms)\n' "$first"
printf 'resident memory  %8.1f MB   (target <= 45 MB, after 5 s)\n' "$(bc -l <<<"$rss_kb / 1024")"
printf 'CPU over 30 s    %8.2f %%    (target <= 1 %% of one core)\n' "$(bc -l <<<"($after - $before) * 100 / $hz / 30")"
