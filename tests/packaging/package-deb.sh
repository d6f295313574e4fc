#!/usr/bin/env bash
# The installed program, as a person gets it: installs the build tree with `cmake --install` into
# a scratch folder, makes the .deb with CPack, and checks
#   - both trees hold exactly the two programs, the desktop entry, the icons (16 ... 256 and the
#     SVG) and the README with its pictures: no test, benchmark, static library or header;
#   - the package's owner, permissions and control fields (name, version, architecture,
#     maintainer, section, Depends with the Qt 6 runtime packages);
#   - the unpacked package: the desktop entry is valid and names the installed program and icon,
#     each PNG has the size of its folder, the programs are stripped, have no RPATH and find all
#     their libraries;
#   - the unpacked program starts on Qt's offscreen platform, keeps running until `timeout` ends
#     it after 5 s (exit code 124) and prints nothing; the unpacked simulator prints its ready
#     line and exits with code 0 on SIGTERM.
#
# Usage: package-deb.sh BUILD_DIR VERSION CPACK CMAKE
# Exit code 0 when all checks pass, 1 when any fails, 77 (skipped) without dpkg-deb.
# Needs dpkg-deb (dpkg), readelf (binutils), ldd (libc-bin) and desktop-file-validate
# (desktop-file-utils; its check is skipped without it, except under CI=true).
set -uo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 BUILD_DIR VERSION CPACK CMAKE" >&2
    exit 2
fi
build_dir=$1 version=$2 cpack=$3 cmake=$4
id=voltrane-meter

if ! command -v dpkg-deb >/dev/null || ! command -v dpkg >/dev/null; then
    echo "SKIP: dpkg-deb not found; the .deb is made and checked on Debian only"
    exit 77
fi

passed=0 failed=0
ok() { printf 'ok:   %s\n' "$*"; passed=$((passed + 1)); }
fail() { printf 'FAIL: %s\n' "$*"; failed=$((failed + 1)); }
check() { # check DESCRIPTION COMMAND...: passes when the command succeeds
    local what=$1
    shift
    if "$@"; then ok "$what"; else fail "$what"; fi
}
finished=false
finish() {
    finished=true
    printf '%d passed, %d failed\n' "$passed" "$failed"
    [ "$failed" -eq 0 ]
    exit
}
indent() { sed 's/^/      /' "$@"; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/voltrane-package.XXXXXX") || exit 1
sim_pid=
cleanup() {
    local status=$?
    [ -n "$sim_pid" ] && kill -KILL "$sim_pid" 2>/dev/null
    rm -rf "$scratch"
    if ! $finished; then # stopped early: by an error in this script, or a signal
        echo "FAIL: the checks stopped before the end"
        exit 1
    fi
    exit "$status"
}
trap cleanup EXIT

# What must be installed, relative to the prefix.
required=(
    bin/voltrane-meter
    bin/voltrane-meter-sim
    share/applications/$id.desktop
    share/icons/hicolor/scalable/apps/$id.svg
    share/doc/$id/README.md
)
icon_sizes=(16 32 48 64 128 256)
for size in "${icon_sizes[@]}"; do
    required+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done

# check_tree NAME FILE: FILE lists the installed files, relative to the prefix, one a line.
# All required files are there, and nothing else but more documentation.
check_tree() {
    local name=$1 list=$2 file bad=()
    local missing=()
    for file in "${required[@]}"; do
        grep -qxF -- "$file" "$list" || missing+=("$file")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        ok "$name: the programs, the desktop entry, all icons and the README are there"
    else
        fail "$name: missing ${missing[*]}"
    fi
    while IFS= read -r file; do
        case $file in
        *.a | *.h | *.hpp | include/* | lib/* | */cmake/* | *tst_* | *bench* | *test*)
            bad+=("$file") ;;
        share/doc/$id/*) ;;
        *) printf '%s\n' "${required[@]}" | grep -qxF -- "$file" || bad+=("$file") ;;
        esac
    done <"$list"
    if [ ${#bad[@]} -eq 0 ]; then
        ok "$name: no test, benchmark, library, header or other stray file"
    else
        fail "$name: files that must not be installed: ${bad[*]}"
    fi
}

# ---- cmake --install --------------------------------------------------------------------------
prefix=$scratch/prefix
if "$cmake" --install "$build_dir" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
    ok "cmake --install into a scratch prefix"
    (cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$scratch/installed.txt"
    check_tree "cmake --install" "$scratch/installed.txt"
else
    fail "cmake --install failed:"
    indent "$scratch/install.log"
    finish
fi

# ---- cpack -G DEB -----------------------------------------------------------------------------
arch=$(dpkg --print-architecture)
if (cd "$build_dir" && "$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" \
    -B "$scratch/cpack") >"$scratch/cpack.log" 2>&1; then
    ok "cpack -G DEB"
else
    fail "cpack -G DEB failed:"
    indent "$scratch/cpack.log"
    finish
fi
debs=("$scratch"/cpack/*.deb)
deb=$scratch/cpack/${id}_${version}_${arch}.deb
if [ ${#debs[@]} -eq 1 ] && [ "${debs[0]}" = "$deb" ]; then
    ok "one package, named $(basename "$deb")"
else
    fail "expected only $(basename "$deb"), made: ${debs[*]##*/}"
    [ -f "$deb" ] || finish
fi

# ---- dpkg-deb -c: the files, their owner and permissions --------------------------------------
dpkg-deb -c "$deb" >"$scratch/contents.txt" || { fail "dpkg-deb -c"; finish; }
# Lines: "drwxr-xr-x root/root 0 2024-01-01 00:00 ./usr/bin/"; links add " -> target".
awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' "$scratch/contents.txt" |
    LC_ALL=C sort >"$scratch/packaged.txt"
if grep -qv '^\./usr/' <(awk '{ print $6 }' "$scratch/contents.txt" | grep -vx '\./'); then
    fail "the package has files outside /usr:"
    awk '{ print $6 }' "$scratch/contents.txt" | grep -v '^\./usr/' | grep -vx '\./' | indent
else
    ok "everything in the package is under /usr"
fi
check_tree "the .deb" "$scratch/packaged.txt"
if diff -u "$scratch/installed.txt" "$scratch/packaged.txt" >"$scratch/tree.diff"; then
    ok "the .deb holds the same files as cmake --install"
else
    fail "the .deb and cmake --install differ:"
    indent "$scratch/tree.diff"
fi
wrong_modes=$(awk '
    $2 != "root/root" { print; next }
    $1 ~ /^d/ && $1 != "drwxr-xr-x" { print; next }
    $1 ~ /^-/ && $6 ~ /^\.\/usr\/bin\// && $1 != "-rwxr-xr-x" { print; next }
    $1 ~ /^-/ && $6 !~ /^\.\/usr\/bin\// && $1 != "-rw-r--r--" { print; next }
    $1 !~ /^[-d]/ { print }' "$scratch/contents.txt")
if [ -z "$wrong_modes" ]; then
    ok "owned by root, programs rwxr-xr-x, other files rw-r--r--, folders rwxr-xr-x"
else
    fail "wrong owner, permissions or file type:"
    printf '%s\n' "$wrong_modes" | indent
fi

# ---- dpkg-deb -I: the control fields ----------------------------------------------------------
dpkg-deb -I "$deb" >"$scratch/info.txt" || { fail "dpkg-deb -I"; finish; }
echo "      dpkg-deb -I:"
indent "$scratch/info.txt"
field() { dpkg-deb -f "$deb" "$1"; }
check_field() { # check_field NAME EXPECTED
    local value
    value=$(field "$1")
    if [ "$value" = "$2" ]; then ok "$1: $value"; else fail "$1 is '$value', not '$2'"; fi
}
check_field Package "$id"
check_field Version "$version"
check_field Architecture "$arch"
check_field Maintainer "Quillmarsh <support@quillmarsh.invalid>"
section=$(field Section)
case $section in
electronics | utils) ok "Section: $section" ;;
*) fail "Section is '$section', not electronics or utils" ;;
esac
description=$(field Description)
if [ "$(printf '%s\n' "$description" | wc -l)" -ge 3 ] &&
    [ -n "$(printf '%s\n' "$description" | head -n1)" ]; then
    ok "Description: a summary and a long description"
else
    fail "Description has no long text: '$description'"
fi
depends=$(field Depends)
missing_depends=()
for pkg in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 \
    libqt6printsupport6 qt6-qpa-plugins; do
    # Each entry: "name", "name (>= version)" or "name:arch ...", separated by ", " or " | ".
    printf '%s\n' "$depends" | tr ',|' '\n\n' | sed 's/^ *//; s/[ :(].*//' | grep -qxF "$pkg" ||
        missing_depends+=("$pkg")
done
if [ ${#missing_depends[@]} -eq 0 ]; then
    ok "Depends lists libc6, libstdc++6 and the Qt 6 runtime packages"
else
    fail "Depends lacks ${missing_depends[*]}: '$depends'"
fi

# ---- the unpacked package ---------------------------------------------------------------------
root=$scratch/root
dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x"; finish; }
usr=$root/usr

desktop=$usr/share/applications/$id.desktop
if command -v desktop-file-validate >/dev/null; then
    if desktop-file-validate "$desktop" >"$scratch/validate.txt" 2>&1 &&
        [ ! -s "$scratch/validate.txt" ]; then
        ok "desktop-file-validate: no errors, no hints"
    else
        fail "desktop-file-validate:"
        indent "$scratch/validate.txt"
    fi
elif [ "${CI:-}" = true ]; then
    fail "desktop-file-validate not found (package desktop-file-utils)"
else
    echo "skip: desktop-file-validate not found (package desktop-file-utils)"
fi
# desktop_key KEY: the key's value in the [Desktop Entry] group
desktop_key() {
    awk -F= -v key="$1" '
        /^\[/ { group = $0; next }
        group == "[Desktop Entry]" && $1 == key { sub(/^[^=]*=/, ""); print; exit }' "$desktop"
}
for pair in "Type=Application" "Name=Voltrane Meter" "Exec=$id" "Icon=$id" "Terminal=false"; do
    value=$(desktop_key "${pair%%=*}")
    if [ "$value" = "${pair#*=}" ]; then ok "desktop entry: $pair"
    else fail "desktop entry: ${pair%%=*} is '$value', not '${pair#*=}'"; fi
done
check "desktop entry: a GenericName and a Comment" \
    test -n "$(desktop_key GenericName)" -a -n "$(desktop_key Comment)"
case ";$(desktop_key Categories)" in
*";Utility;"*) ok "desktop entry: in the Utility category" ;;
*) fail "desktop entry: Categories '$(desktop_key Categories)' lacks Utility" ;;
esac
check "desktop entry: Exec names an installed program" test -x "$usr/bin/$(desktop_key Exec)"

# png_size FILE: "WIDTHxHEIGHT" from the PNG header
png_size() {
    local bytes
    read -ra bytes < <(od -An -tu1 -j16 -N8 "$1")
    [ ${#bytes[@]} -eq 8 ] || return 1
    printf '%dx%d\n' $(((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3])) \
        $(((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]))
}
wrong_icons=()
for size in "${icon_sizes[@]}"; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] &&
        [ "$(png_size "$icon")" = "${size}x${size}" ] ||
        wrong_icons+=("${size}x${size}: $(png_size "$icon" 2>/dev/null || echo 'not a PNG')")
done
if [ ${#wrong_icons[@]} -eq 0 ]; then
    ok "each hicolor PNG has the size of its folder (${icon_sizes[*]})"
else
    fail "icons of the wrong size: ${wrong_icons[*]}"
fi
check "the scalable icon is an SVG" \
    grep -q '<svg' "$usr/share/icons/hicolor/scalable/apps/$id.svg"
check "the README is the project's" \
    grep -q '^# Voltrane Meter' "$usr/share/doc/$id/README.md"

for program in voltrane-meter voltrane-meter-sim; do
    binary=$usr/bin/$program
    if readelf -S --wide "$binary" 2>/dev/null | grep -q '\.debug_'; then
        fail "$program is not stripped"
    else
        ok "$program is stripped"
    fi
    rpath=$(readelf -d "$binary" 2>/dev/null | grep -E '\((RPATH|RUNPATH)\)')
    if [ -z "$rpath" ]; then ok "$program has no RPATH"; else fail "$program: $rpath"; fi
    unresolved=$(env -u LD_LIBRARY_PATH ldd "$binary" 2>&1 | grep 'not found')
    if [ -z "$unresolved" ]; then
        ok "$program finds all its shared libraries"
    else
        fail "$program: $unresolved"
    fi
done

# ---- starting the unpacked programs -----------------------------------------------------------
# A home of their own, so nothing is read from or written to the real one.
mkdir -p "$scratch/home" && mkdir -m 700 "$scratch/runtime"
run_env=(env -u LD_LIBRARY_PATH -u QT_PLUGIN_PATH -u DISPLAY -u WAYLAND_DISPLAY
    HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config"
    XDG_CACHE_HOME="$scratch/home/.cache" XDG_DATA_HOME="$scratch/home/.local/share"
    XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen)

"${run_env[@]}" timeout -k 2 5 "$usr/bin/voltrane-meter" </dev/null \
    >"$scratch/meter.out" 2>"$scratch/meter.err"
status=$?
if [ "$status" -eq 124 ]; then
    ok "the installed program ran until timeout ended it after 5 s"
else
    fail "the installed program ended by itself with exit code $status"
fi
if [ -s "$scratch/meter.out" ] || [ -s "$scratch/meter.err" ]; then
    fail "the installed program printed:"
    cat "$scratch/meter.out" "$scratch/meter.err" | indent
else
    ok "the installed program printed nothing"
fi

"${run_env[@]}" "$usr/bin/voltrane-meter-sim" </dev/null \
    >"$scratch/sim.out" 2>"$scratch/sim.err" &
sim_pid=$!
for _ in $(seq 100); do # up to 10 s
    [ -s "$scratch/sim.out" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
kill -TERM "$sim_pid" 2>/dev/null
wait "$sim_pid"
status=$?
sim_pid=
ready=$(head -n1 "$scratch/sim.out")
ready_line='^Meter simulator ready on /dev/pts/[0-9]+ - '
if [[ $ready =~ $ready_line ]]; then
    ok "the installed simulator: $ready"
else
    fail "the installed simulator printed no ready line:"
    cat "$scratch/sim.out" "$scratch/sim.err" | indent
fi
if [ "$status" -eq 0 ] && [ ! -s "$scratch/sim.err" ]; then
    ok "the installed simulator exited with code 0 on SIGTERM, no error"
else
    fail "the installed simulator exited with code $status on SIGTERM:"
    indent "$scratch/sim.err"
fi

finish
