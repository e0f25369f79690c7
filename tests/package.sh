#!/usr/bin/env bash
# Builds the .deb, checks what it holds, unpacks it into a scratch root and
# starts the unpacked program under Xvfb until its window shows the frame.
#   package.sh FIRSTFRAME BUILD_DIR
source "$(dirname "$0")/../scripts/common.sh"
firstframe=$1
build=$2

for tool in cpack dpkg-deb desktop-file-validate Xvfb; do
    if ! command -v "$tool" >/dev/null; then
        [ -n "${CI:-}" ] && { echo "FAIL: $tool is missing on CI"; exit 1; }
        echo "SKIP: $tool is not installed (scripts/test installs it)"
        exit 77
    fi
done

scratch=$(mktemp -d)
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null) || fail "cpack could not build the package"
deb=$(ls "$scratch"/out/*.deb)
echo "package $(basename "$deb"), $(stat -c %s "$deb") bytes"

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/correlator ./usr/share/applications/correlator.desktop \
            ./usr/share/icons/hicolor/scalable/apps/correlator.svg; do
    grep -q " $path\$" <<<"$contents" || fail "$path is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks libqt6widgets6: $depends"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer field"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no Description field"

dpkg -x "$deb" "$scratch/root"
desktop-file-validate "$scratch/root/usr/share/applications/correlator.desktop" \
    || fail "the desktop entry does not validate"
grep -qx 'Exec=correlator' "$scratch/root/usr/share/applications/correlator.desktop" \
    || fail "the desktop entry does not run correlator"

start_xvfb
out=$("$firstframe" "$scratch/root/usr/bin/correlator") || fail "the installed program showed no frame"
app_pid=$(sed -n 's/^pid //p' <<<"$out")
echo "installed program: first frame after $(sed -n 's/^first_frame_ms //p' <<<"$out") ms"
kill -0 "$app_pid" || fail "the installed program is not running"
echo "PASS"
