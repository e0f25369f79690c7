#!/usr/bin/env bash
# Builds the .deb, checks what it holds and what lintian and appstreamcli
# say of it, unpacks it into a scratch root and starts the unpacked program
# under Xvfb until its window shows the frame and the program's icon.
#   package.sh BUILD_DIR APP_ID
source "$(dirname "$0")/../../scripts/common.sh"
build=$1
id=$2

need_tools cpack dpkg-deb desktop-file-validate lintian appstreamcli Xvfb xdotool xprop import

scratch=$(mktemp -d)
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A build of the program alone, as scripts/run makes it, is enough to
# install everything, the manual page and the changelog with it.
rm -f "$build/data/correlator.1.gz" "$build/data/changelog.gz"
cmake --build "$build" --target correlator >/dev/null || fail "the program did not build"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null \
    || fail "installing after a build of the program alone failed"
[ -f "$scratch/prefix/share/man/man1/correlator.1.gz" ] || fail "no manual page installed after a build of the program alone"

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
for needed in libqt6widgets6 qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core; do
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
"$scratch/root/usr/bin/correlator" 2>"$scratch/stderr" &
app_pid=$!
window=""
for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --pid "$app_pid" --name '^Form1$' 2>/dev/null) && break
    sleep 0.1
done
window=${window%%$'\n'*}
[ -n "$window" ] || fail "the installed program opened no window"
# The last dot of the grid, bottom right of the frame, turns black.
for _ in $(seq 200); do
    dot=$(import -window "$window" -crop 1x1+620+433 txt:- 2>/dev/null) || true
    grep -q '#000000' <<<"$dot" && break
    sleep 0.1
done
grep -q '#000000' <<<"$dot" || fail "the installed program showed no frame"
kill -0 "$app_pid" || fail "the installed program is not running"
# Read whole before matching: grep -q at the end of a pipe would stop
# reading at its match and fail xprop with SIGPIPE under pipefail.
icon=$(xprop -id "$window" _NET_WM_ICON) || fail "xprop could not read the window"
grep -q '_NET_WM_ICON(CARDINAL) = ' <<<"$icon" || fail "the window has no icon"
# A dock ties the window to its launcher by the window's class.
class=$(xprop -id "$window" WM_CLASS) || fail "xprop could not read the window"
wm_class=$(sed -n 's/^StartupWMClass=//p' "$scratch/root/usr/share/applications/$id.desktop")
[ -n "$wm_class" ] || fail "the desktop entry names no StartupWMClass"
grep -q "\"$wm_class\"\$" <<<"$class" || fail "the window's class ($class) is not $wm_class"
echo "PASS"
