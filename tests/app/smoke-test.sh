#!/usr/bin/env bash
# Smoke test of the real program on a virtual X server: starts its own Xvfb, starts the program
# on Qt's xcb platform, waits for the main window, checks its size, takes a screenshot, closes the
# window the way a window manager does and checks that the program exits with code 0.
#
# usage: smoke-test.sh PROGRAM CLOSE_HELPER OUTPUT_DIR
#   PROGRAM       the voltrane-meter binary
#   CLOSE_HELPER  voltrane-close-window (sends WM_DELETE_WINDOW; there is no window manager here)
#   OUTPUT_DIR    where the screenshot and the program's log go
#
# Exits 0 on success, 1 on failure, 77 (skipped) when Xvfb is not installed.
# Needs (Debian): xvfb, xdotool, imagemagick; fonts-dejavu-core for legible text.
set -euo pipefail

readonly TITLE='Voltrane Meter - PC Utility'
readonly WIDTH=816 HEIGHT=434
readonly WINDOW_TIMEOUT=20 # seconds for the window to appear
readonly EXIT_TIMEOUT=10   # seconds for the program to exit after the close request
# A painted window has text, frames and the logo; an unpainted one is a single colour.
readonly MIN_COLOURS=8

say() { printf 'smoke-test: %s\n' "$*"; }
fail() {
    printf 'smoke-test: FAIL: %s\n' "$*" >&2
    if [ -n "${app_log:-}" ] && [ -s "$app_log" ]; then
        printf -- '--- program output (%s) ---\n' "$app_log" >&2
        tail -n 40 "$app_log" >&2
        printf -- '---\n' >&2
    fi
    exit 1
}

[ $# -eq 3 ] || { echo "usage: $0 PROGRAM CLOSE_HELPER OUTPUT_DIR" >&2; exit 2; }
program=$1
closer=$2
out_dir=$3

if ! command -v Xvfb >/dev/null; then
    say "SKIP: Xvfb is not installed (Debian package: xvfb)"
    exit 77
fi
for tool in xdotool:xdotool import:imagemagick identify:imagemagick; do
    command -v "${tool%%:*}" >/dev/null ||
        fail "${tool%%:*} is missing (Debian package: ${tool#*:})"
done
[ -x "$program" ] || fail "no program at $program"
[ -x "$closer" ] || fail "no close helper at $closer"
mkdir -p "$out_dir"

tmp=$(mktemp -d)
app_log=$out_dir/app-smoke.log
shot=$out_dir/app-smoke-main-window.png
xvfb_pid=''
app_pid=''

# Stops whatever is still running, on every way out of this script.
# shellcheck disable=SC2317 # called by the trap below
cleanup() {
    local status=$?
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill -KILL "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill -TERM "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Xvfb picks a free display number itself and writes it to fd 3 once it accepts clients, so
# several of these tests (or a desktop session) can run side by side.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for ((i = 0; i < 100; i++)); do
    grep -q '^[0-9][0-9]*$' "$tmp/display" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(tail -n 5 "$tmp/xvfb.log")"
    sleep 0.1
done
grep -q '^[0-9][0-9]*$' "$tmp/display" || fail "Xvfb did not report a display within 10 s"
DISPLAY=":$(head -n 1 "$tmp/display")"
export DISPLAY
unset WAYLAND_DISPLAY
say "Xvfb on display $DISPLAY"

# Private runtime and settings folders: the test neither reads nor changes the user's settings.
mkdir -m 700 "$tmp/runtime"
say "starting $program"
QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="$tmp/config" \
    "$program" >"$app_log" 2>&1 &
app_pid=$!

# Succeeds once the program has ended, with its exit code in $app_code.
app_code=''
program_ended() {
    [ -n "$app_pid" ] || return 0
    kill -0 "$app_pid" 2>/dev/null && return 1
    app_code=0
    wait "$app_pid" || app_code=$?
    app_pid=''
}

window=''
deadline=$((SECONDS + WINDOW_TIMEOUT))
while [ -z "$window" ]; do
    program_ended && fail "the program exited with code $app_code before showing its window"
    [ "$SECONDS" -lt "$deadline" ] ||
        fail "no visible window named \"$TITLE\" within $WINDOW_TIMEOUT s"
    window=$(xdotool search --onlyvisible --name "^${TITLE}\$" 2>/dev/null | head -n 1) || true
    [ -n "$window" ] || sleep 0.2
done
say "window $window is \"$(xdotool getwindowname "$window")\""

# Client area: with no window manager the program's own top-level window is the client area.
size=''
deadline=$((SECONDS + 5))
while :; do
    geometry=$(xdotool getwindowgeometry --shell "$window")
    width=$(sed -n 's/^WIDTH=//p' <<<"$geometry")
    height=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
    size="${width}x${height}"
    [ "$size" = "${WIDTH}x${HEIGHT}" ] && break
    [ "$SECONDS" -lt "$deadline" ] ||
        fail "the window's client area is $size, expected ${WIDTH}x${HEIGHT}"
    sleep 0.2
done
say "client area is $size"

# The first frame may not be painted yet right after the window maps: retry for a few seconds.
colours=0
deadline=$((SECONDS + 5))
while :; do
    rm -f "$shot"
    if import -silent -window "$window" "png:$shot" 2>"$tmp/import.log"; then
        colours=$(identify -format '%k' "$shot")
        [ "$colours" -ge "$MIN_COLOURS" ] && break
    fi
    [ "$SECONDS" -lt "$deadline" ] || break
    sleep 0.5
done
[ -s "$shot" ] || fail "could not take a screenshot: $(tail -n 3 "$tmp/import.log")"
say "screenshot: $shot ($(identify -format '%wx%h' "$shot"), $colours colours)"
[ "$colours" -ge "$MIN_COLOURS" ] ||
    fail "the screenshot has only $colours colour(s): the window was not painted"

# Close the window like the title bar's close button would, then wait for the program to end.
"$closer" "$window" || fail "could not ask the window to close"
deadline=$((SECONDS + EXIT_TIMEOUT))
until program_ended; do
    [ "$SECONDS" -lt "$deadline" ] ||
        fail "the program was still running $EXIT_TIMEOUT s after its window was asked to close"
    sleep 0.2
done
[ "$app_code" -eq 0 ] || fail "the program exited with code $app_code after its window was closed"
say "the program exited with code 0 after its window was closed"
