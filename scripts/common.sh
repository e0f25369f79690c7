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
    chromium
)

# What building the page takes: Debian's clang 14 and its WebAssembly
# runtime, C and C++ libraries (12.5 MB; clang-14 and lld-14 come with
# build-essential's neighbours on most machines), and dpkg-dev to unpack
# kissfft's source.
WEB_PACKAGES=(
    cmake clang-14 lld-14 libc++-14-dev-wasm32 libclang-rt-14-dev-wasm32 wasi-libc dpkg-dev
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

# fetch_kissfft_source: Debian's source of the kissfft the desktop links,
# unpacked under build/web/kissfft, for the page's build, which compiles it;
# sets KISSFFT_SOURCE_DIR. The machine's own Debian mirrors give it, through
# an apt configuration of the build's own (deb-src lines beside the
# system's deb lines): nothing of the system's is changed.
fetch_kissfft_source() {
    local version dir apt
    version=$(dpkg-query -W -f='${Version}' libkissfft-dev 2>/dev/null) || true
    [ -n "$version" ] || version=$(apt-cache policy libkissfft-dev | sed -n 's/^ *Candidate: //p')
    [ -n "$version" ] && [ "$version" != "(none)" ] || die "no version of kissfft known to apt"
    dir="$ROOT/build/web/kissfft"
    KISSFFT_SOURCE_DIR="$dir/src"
    if [ -f "$dir/version" ] && [ "$(cat "$dir/version")" = "$version" ] && [ -f "$KISSFFT_SOURCE_DIR/kiss_fft.c" ]; then
        return 0
    fi
    rm -rf "$dir"
    apt="$dir/apt"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts"
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && sed -n 's/^deb \(.*\)$/deb-src \1/p' "$f"
    done >"$apt/sources.list"
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && sed 's/^Types:.*$/Types: deb-src/' "$f" >"$apt/parts/$(basename "$f")"
    done
    local options=(-q -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts"
                   -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o Debug::NoLocking=1)
    echo "Fetching Debian's source of kissfft $version"
    apt-get "${options[@]}" update >"$dir/apt.log" 2>&1 || die "apt-get update for kissfft's source failed (see $dir/apt.log)"
    (cd "$dir" && apt-get "${options[@]}" source --download-only "kissfft=$version") >>"$dir/apt.log" 2>&1 \
        || die "could not download kissfft's source (see $dir/apt.log)"
    (cd "$dir" && dpkg-source -q -x kissfft_*.dsc src) >>"$dir/apt.log" 2>&1 \
        || die "could not unpack kissfft's source (see $dir/apt.log)"
    rm -rf "$apt" # the source indices: 10 MB that nothing needs any more
    echo "$version" >"$dir/version"
}

# build_page: build/web/correlatore.html, from a tree of its own in
# build/web/wasm.
build_page() {
    fetch_kissfft_source
    local out="$ROOT/build/web"
    configure_and_build "$out/wasm" -DCMAKE_BUILD_TYPE=Release \
        --toolchain "$ROOT/web/wasi.cmake" -DKISSFFT_SOURCE_DIR="$KISSFFT_SOURCE_DIR"
    cp "$out/wasm/correlatore.html" "$out/correlatore.html.new" && mv "$out/correlatore.html.new" "$out/correlatore.html"
    echo "wrote build/web/correlatore.html ($(stat -c %s "$out/correlatore.html") bytes)"
}

# install_node: node and npm, from Debian unless the machine has them.
install_node() {
    local missing=()
    command -v node >/dev/null || missing+=(nodejs)
    command -v npm >/dev/null || missing+=(npm)
    [ ${#missing[@]} -eq 0 ] || install_packages "${missing[@]}"
}

# install_page_test_packages: the npm packages of tests/web's lock file,
# again only when the lock file changed.
install_page_test_packages() {
    local dir="$ROOT/tests/web"
    if cmp -s "$dir/package-lock.json" "$dir/node_modules/.installed-lock.json"; then
        return 0
    fi
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error) || die "npm ci in tests/web failed"
    cp "$dir/package-lock.json" "$dir/node_modules/.installed-lock.json"
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" "$@" || die "cmake configuration failed"
    cmake --build "$dir" --parallel "$(nproc)" || die "build failed"
}
