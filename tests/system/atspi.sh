#!/usr/bin/env bash
# Runs tst_atspi.py on a real accessibility bus: a private X server, a
# private session bus and the AT-SPI bus launcher, as a desktop has them.
#   atspi.sh PROGRAM
source "$(dirname "$0")/../../scripts/common.sh"
program=$1

need_tools Xvfb xdotool dbus-daemon /usr/libexec/at-spi-bus-launcher /usr/bin/python3
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || need_tools python3-pyatspi

scratch=$(mktemp -d)
bus_pid=""
launcher_pid=""
cleanup() {
    for pid in "$launcher_pid" "$bus_pid" "${XVFB_PID:-}"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

start_xvfb
export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/bus"
dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" 2>"$scratch/bus.log" &
bus_pid=$!
for _ in $(seq 50); do [ -S "$scratch/bus" ] && break; sleep 0.1; done
[ -S "$scratch/bus" ] || die "the session bus did not start"
/usr/libexec/at-spi-bus-launcher --launch-immediately 2>"$scratch/launcher.log" &
launcher_pid=$!

/usr/bin/python3 "$(dirname "$0")/tst_atspi.py" "$program"
