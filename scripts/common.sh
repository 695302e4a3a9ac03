# Shared by the scripts: the Debian packages the project needs, and the build.
# Sourced, not run.

KVX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Everything a fresh Debian 12 machine lacks to build, test, fuzz and show the updater.
KVX_PACKAGES=(
    build-essential cmake ninja-build ccache pkg-config
    juce-modules-source
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev
    fontconfig fonts-dejavu-core fonts-liberation2 fonts-noto-cjk
    locales locales-all
    xvfb openbox xdotool x11-utils imagemagick
    python3 python3-pil
)

kvx_install_packages() {
    local missing=()
    local package
    for package in "${KVX_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages. Install them with:" >&2
        echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# kvx_build BUILD_DIR [extra cmake arguments...]
kvx_build() {
    local build_dir=$1
    shift
    export CCACHE_SLOPPINESS=time_macros
    export CCACHE_BASEDIR=$KVX_ROOT
    export CCACHE_NOHASHDIR=1
    if [ ! -f "$build_dir/CMakeCache.txt" ]; then
        cmake -S "$KVX_ROOT" -B "$build_dir" -G Ninja \
            -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
    fi
    cmake --build "$build_dir"
}
