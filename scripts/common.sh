# Shared by scripts/run and scripts/test: sourced, not run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Everything the build, the tests and the benchmarks need, as Debian packages.
PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev libgl-dev libx11-dev
    libbenchmark-dev
    fontconfig fonts-liberation2 fonts-dejavu-core
    xvfb xauth xdotool imagemagick x11-utils
    desktop-file-utils dpkg-dev file bc procps
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

install_packages() {
    local missing=() pkg
    for pkg in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed$' \
            || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}"
    command -v apt-get >/dev/null || die "apt-get not found: this needs Debian 12 or a derivative"
    as_root apt-get update -q || die "apt-get update failed"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${missing[@]}" || die "could not install ${missing[*]}"
}

# configure_and_build BUILD_DIR [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" "$@" || die "cmake configuration failed"
    cmake --build "$dir" --parallel "$(nproc)" || die "build failed"
}
