# Shared by scripts/run and scripts/test: sourced, not run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building the program and opening its window need, as Debian
# packages: the toolkit with its SVG module, its X11 and Wayland plugins
# and its Italian texts, kissfft for the simulation, the fonts (Liberation
# for the window's captions, DejaVu for Qt's menus and dialogs: without a
# sans-serif face fontconfig offers Liberation Mono) and man for the
# manual page. libxkbcommon-dev is what Qt's CMake files look for; without
# it configuring says "Could NOT find XKB".
RUN_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-svg-dev libgl-dev libxkbcommon-dev libxcb1-dev
    libkissfft-dev
    qt6-qpa-plugins qt6-wayland qt6-translations-l10n
    fontconfig fonts-liberation2 fonts-dejavu-core
    man-db
)

# What the tests and the benchmarks need besides: an X server and the
# tools that drive it, the accessibility bus and a screen reader that
# speaks, the package checkers, and the viewers that render the SVG and
# PDF figures as a reader sees them.
TEST_PACKAGES=(
    "${RUN_PACKAGES[@]}"
    libx11-dev libbenchmark-dev
    xvfb xauth xdotool xclip imagemagick x11-utils
    desktop-file-utils dpkg-dev file bc procps
    dbus at-spi2-core python3-pyatspi
    orca speech-dispatcher speech-dispatcher-espeak-ng
    lintian appstream hyperfine
    librsvg2-bin poppler-utils
)

die() {
    echo "$(basename "$0"): $*" >&2
    exit 1
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        die "need root to run '$*' and sudo is not installed"
    fi
}

# install_packages PACKAGE...: installs those that are not installed yet.
install_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" = "install ok installed" ] \
            || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}"
    command -v apt-get >/dev/null || die "apt-get not found: this needs Debian 12 or a derivative"
    as_root apt-get update -q || die "apt-get update failed"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${missing[@]}" || die "could not install ${missing[*]}"
}

# need_tools TOOL...: for a test that drives real tools; each must be on
# the PATH. Missing ones fail the test on CI and skip it (status 77)
# elsewhere, since scripts/test installs them.
need_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null && continue
        [ -n "${CI:-}" ] && { echo "FAIL: $tool is missing on CI"; exit 1; }
        echo "SKIP: $tool is not installed (scripts/test installs it)"
        exit 77
    done
}

# start_xvfb: starts a private X server, exports DISPLAY for it and sets
# XVFB_PID; the caller stops it by that PID. -noreset: an X server resets
# when its last client leaves and refuses connections meanwhile, which
# would race the program against the tools that look at it.
start_xvfb() {
    local display
    exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp -noreset 2>/dev/null)
    XVFB_PID=$!
    read -r -t 60 display <&3 || die "Xvfb did not start"
    exec 3<&-
    export DISPLAY=":$display"
    unset WAYLAND_DISPLAY QT_QPA_PLATFORM
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" "$@" || die "cmake configuration failed"
    cmake --build "$dir" --parallel "$(nproc)" || die "build failed"
}
