#!/usr/bin/env bash
# Builds the .deb, checks what it holds and what lintian and appstreamcli
# say of it, unpacks it into a scratch root and starts the unpacked program
# under Xvfb until its window shows the frame and the program's icon.
#   package.sh FIRSTFRAME BUILD_DIR APP_ID
source "$(dirname "$0")/../scripts/common.sh"
firstframe=$1
build=$2
id=$3

need_tools cpack dpkg-deb desktop-file-validate lintian appstreamcli Xvfb xdotool xprop

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
for path in ./usr/bin/correlator ./usr/share/applications/$id.desktop \
            ./usr/share/metainfo/$id.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/$id.svg ./usr/share/icons/hicolor/64x64/apps/$id.png \
            ./usr/share/man/man1/correlator.1.gz \
            ./usr/share/doc/correlator/copyright ./usr/share/doc/correlator/changelog.gz; do
    grep -q " $path\$" <<<"$contents" || fail "$path is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 qt6-qpa-plugins; do
    grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

# Debian's and the software centres' own checks: no error and no warning.
report=$(lintian --tag-display-limit 0 "$deb" 2>&1) || true
report=$(grep -v 'running with root privileges' <<<"$report") || true
echo "lintian: ${report:-no tags}"
! grep -q '^[EW]: ' <<<"$report" || fail "lintian reports errors or warnings"

dpkg -x "$deb" "$scratch/root"
appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/$id.metainfo.xml" || fail "the AppStream metadata does not validate"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$scratch/root/usr/share/metainfo/$id.metainfo.xml" \
    || fail "the AppStream metadata does not launch $id.desktop"
desktop-file-validate "$scratch/root/usr/share/applications/$id.desktop" \
    || fail "the desktop entry does not validate"
grep -qx 'Exec=correlator' "$scratch/root/usr/share/applications/$id.desktop" \
    || fail "the desktop entry does not run correlator"
grep -qx "Icon=$id" "$scratch/root/usr/share/applications/$id.desktop" \
    || fail "the desktop entry does not use the icon $id"
[ "$("$scratch/root/usr/bin/correlator" --version)" = "correlator $(dpkg-deb -f "$deb" Version)" ] \
    || fail "the program's version is not the package's"

start_xvfb
out=$("$firstframe" "$scratch/root/usr/bin/correlator") || fail "the installed program showed no frame"
app_pid=$(sed -n 's/^pid //p' <<<"$out")
echo "installed program: first frame after $(sed -n 's/^first_frame_ms //p' <<<"$out") ms"
kill -0 "$app_pid" || fail "the installed program is not running"
window=$(xdotool search --pid "$app_pid" --name '^Form1$' | head -n 1)
# Read whole before matching: grep -q at the end of a pipe would stop
# reading at its match and fail xprop with SIGPIPE under pipefail.
icon=$(xprop -id "$window" _NET_WM_ICON) || fail "xprop could not read the window"
grep -q '_NET_WM_ICON(CARDINAL) = ' <<<"$icon" || fail "the window has no icon"
echo "PASS"
