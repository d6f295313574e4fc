#!/usr/bin/env bash
# The real program as a screen reader gets it: in a private D-Bus session with the accessibility
# bus (AT-SPI) on a virtual X server, with the meter simulator; a11y-check.py says what it checks.
# usage: a11y-test.sh PROGRAM SIMULATOR; exits 77 (skipped) without Xvfb, D-Bus, AT-SPI or pyatspi,
# or fails then when CI=true. Every server started here is stopped however the test ends.
set -uo pipefail
if [ "${1:-}" != --in-session ]; then
    for tool in Xvfb dbus-run-session /usr/libexec/at-spi-bus-launcher; do
        command -v "$tool" >/dev/null || missing=${tool##*/}
    done
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || missing=python3-pyatspi
    [ -z "${missing:-}" ] || { echo "a11y-test: $missing is not installed"; [ "${CI:-}" = true ] && exit 1; exit 77; }
    exec dbus-run-session -- bash "$0" --in-session "$@"
fi
program=$2 simulator=$3 tmp=$(mktemp -d)
trap 'kill ${app:-} ${meter:-} ${bus:-} ${xvfb:-} 2>/dev/null; wait; rm -rf "$tmp"' EXIT
source "$(dirname "$0")/virtual-display.sh"
"$simulator" >"$tmp/meter" 2>/dev/null & meter=$!
start_virtual_display "$tmp" || exit 1
for _ in {1..50}; do grep -q choose "$tmp/meter" && break; sleep 0.2; done
grep -q choose "$tmp/meter" || { echo "a11y-test: the meter simulator did not start"; exit 1; }
/usr/libexec/at-spi-bus-launcher --launch-immediately & bus=$!
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_RUNTIME_DIR="$tmp" XDG_CONFIG_HOME="$tmp" \
    XDG_DATA_HOME="$tmp" "$program" >"$tmp/app.log" 2>&1 & app=$!
/usr/bin/python3 "$(dirname "$0")/a11y-check.py" "$app" "$(sed -n 's/.*choose "\(COM [0-9]*\)".*/\1/p' "$tmp/meter")" || { tail -n 20 "$tmp/app.log"; exit 1; }
