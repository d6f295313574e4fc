#!/usr/bin/env bash
# The real program on its own virtual X server, given a kept fetch to open (as a file manager does)
# and a second one it does not open, which it says: the main window appears with the first file's
# name in its caption and its 816 × 434 client area, painted (a screenshot of 8 colours or more),
# its WM_CLASS the desktop entry's StartupWMClass (how a desktop puts the window under the menu
# entry's icon), printing, the records and the image-format plugins not loaded yet, and a click on
# "Close" ends it with exit code 0.
# usage: smoke-test.sh PROGRAM OUTPUT_DIR; exits 77 (skipped) without Xvfb.
set -uo pipefail
program=$1 out=$2 tmp=$(mktemp -d)
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
mkdir -p "$out" && mkdir -m 700 "$tmp/run"
trap 'kill -9 ${app:-} 2>/dev/null; kill ${xvfb:-} 2>/dev/null; wait; rm -rf "$tmp"' EXIT
fail() { echo "smoke-test: FAIL: $*"; tail -n 20 "$out/app-smoke.log"; exit 1; }
within() { # within SECONDS COMMAND...: until the command succeeds, or fails after that long
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.2; done
}
source "$(dirname "$0")/virtual-display.sh"
start_virtual_display "$tmp" || fail "Xvfb did not start"
QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp/run" XDG_CONFIG_HOME="$tmp" XDG_DATA_HOME="$tmp" "$program" "$(dirname "$0")/../../fuzz/corpus/fetchfile/clean" "$(dirname "$0")/../../fuzz/corpus/fetchfile/cut-short" >"$out/app-smoke.log" 2>&1 & app=$!
found() { window=$(xdotool search --onlyvisible --name '^Voltrane Meter - PC Utility - clean$' | head -n 1) && [ -n "$window" ]; }
within 20 found || fail "no main window within 20 s"
sized() { xdotool getwindowgeometry "$window" | grep -q 'Geometry: 816x434'; }
within 5 sized || fail "the client area is not 816x434: $(xdotool getwindowgeometry "$window")"
wm_class=$(xprop -id "$window" WM_CLASS) startup_class=$(sed -n 's/^StartupWMClass=//p' "$(dirname "$0")/../../packaging/voltrane-meter.desktop")
[ "$wm_class" = "WM_CLASS(STRING) = \"$(basename "$program")\", \"$startup_class\"" ] ||
    fail "the window's $wm_class is not the desktop entry's StartupWMClass=$startup_class"
painted() { import -silent -window "$window" "$out/app-smoke-main-window.png" && [ "$(identify -format %k "$out/app-smoke-main-window.png")" -ge 8 ]; }
within 5 painted || fail "the window was not painted"
# Printing (Qt's print support, libcups and what it brings), the team server's client, the records'
# SQLite (nothing kept to list) and the image-format plugins are loaded on first use, not at start.
early=$(grep -oE '/(lib(Qt6PrintSupport|cups|gnutls|krb5|avahi-client|pq|sqlite3)|imageformats/lib[a-z]+)\.so[^ ]*' /proc/$app/maps | sort -u | tr '\n' ' ')
[ -z "$early" ] || fail "loaded at start: $early"
# The window's captions are all in its own face: the desktop's is not read for it.
faces=$(grep -oE '/usr/share/fonts/[^ ]+' /proc/$app/maps | grep -v '/Liberation' | sort -u | tr '\n' ' ')
[ -z "$faces" ] || fail "fonts read at start beside the window's face: $faces"
iconed() { xprop -id "$window" _NET_WM_ICON | grep -q 'Icon (16 x 16)'; }
within 5 iconed || fail "the window has no icon: $(xprop -id "$window" _NET_WM_ICON | cut -c1-80)"
xdotool mousemove --window "$window" 756 404 click 1 # the middle of "Close", 10680 5880 1335 375 twips
ended() { ! kill -0 $app 2>/dev/null; }
within 10 ended || fail "the program still runs 10 s after \"Close\""
wait $app; code=$?
[ $code -eq 0 ] || fail "the program exited with code $code"
grep -q '^voltrane-meter opens one kept fetch at a time: “.*/cut-short” was not opened\.$' "$out/app-smoke.log" ||
    fail "the second file was left without a word"
echo "smoke-test: the window showed the fetch at 816x434 as \"$startup_class\", painted, and \"Close\" ended the program with code 0"
