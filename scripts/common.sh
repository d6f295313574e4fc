# Shared by scripts/test and scripts/run: installs what the build needs and builds the project.
# Sourced, not run.

# Debian 12 packages the build needs; the test and run scripts add their own.
BUILD_PACKAGES=(g++ make cmake qt6-base-dev qt6-serialport-dev libcups2-dev libxcb1-dev
    libqt6sql6-sqlite libqt6sql6-psql)

ROOT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${VOLTRANE_BUILD_DIR:-$ROOT_DIR/build}

say() { printf '==> %s\n' "$*" >&2; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Installs the Debian packages of "$@" that are missing (with sudo when not root).
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null ||
            die "missing packages: ${missing[*]}; install them as root (apt-get install ${missing[*]})"
        sudo=(sudo)
    fi
    say "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures (once) and builds the whole project in $BUILD_DIR. With "quiet" (needs pipefail), the
# output goes to $BUILD_DIR/build.log; only the files compiled or linked are listed as they come,
# and the whole log if the build fails.
build_project() {
    if [ "${1:-}" = quiet ]; then
        local log=$BUILD_DIR/build.log made='^(\[ *[0-9]+%\] )?(Building|Linking) '
        mkdir -p "$BUILD_DIR"
        say "building (the whole output goes to $log)"
        if ! build_project 2>&1 | tee "$log" | { grep --line-buffered -E "$made" >&2 || true; }; then
            cat "$log" >&2
            die "the build failed (its output is above and in $log)"
        fi
        grep -qE "$made" "$log" || say "the build is up to date"
        return 0
    fi
    if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
        say "configuring in $BUILD_DIR"
        cmake -S "$ROOT_DIR" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo || return
    fi
    say "building"
    cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}
