#!/usr/bin/env bash
# Runs tst_atspi.py on a real accessibility bus with a real screen reader:
# a private X server, session bus and AT-SPI bus launcher, as a desktop has
# them, and Orca speaking through speech-dispatcher into a null sound
# device (without one, speech-dispatcher hangs Orca).
#   atspi.sh PROGRAM
source "$(dirname "$0")/../../scripts/common.sh"
program=$1

need_tools Xvfb xdotool dbus-daemon /usr/libexec/at-spi-bus-launcher /usr/bin/python3 orca speech-dispatcher
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || need_tools python3-pyatspi

# Under /tmp, whatever TMPDIR says: the bus sockets live here, and a
# socket's path must stay short. It goes at the end.
scratch=$(mktemp -d /tmp/correlator-atspi.XXXXXX)
bus_pid=""
launcher_pid=""
cleanup() {
    local speechd
    speechd=$(cat "$scratch/runtime/speech-dispatcher/pid/speech-dispatcher.pid" 2>/dev/null) || true
    for pid in "$launcher_pid" "$bus_pid" "${XVFB_PID:-}" "$speechd"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

# A home of the test's own: Orca's settings, speech-dispatcher's.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$XDG_CONFIG_HOME/speech-dispatcher" "$HOME/orca"
mkdir -m 700 "$XDG_RUNTIME_DIR"
printf 'AudioOutputMethod "alsa"\nDefaultModule espeak-ng\n' >"$XDG_CONFIG_HOME/speech-dispatcher/speechd.conf"
echo 'pcm.!default { type null }' >"$HOME/.asoundrc"

start_xvfb
export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/bus"
dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" 2>"$scratch/bus.log" &
bus_pid=$!
for _ in $(seq 50); do [ -S "$scratch/bus" ] && break; sleep 0.1; done
[ -S "$scratch/bus" ] || die "the session bus did not start"
/usr/libexec/at-spi-bus-launcher --launch-immediately 2>"$scratch/launcher.log" &
launcher_pid=$!

/usr/bin/python3 "$(dirname "$0")/tst_atspi.py" "$program" "$scratch"
