#!/bin/bash
# Writes app/startup-functions.txt: the program's own functions that run until its first window
# is painted (and in the seconds after), as the section names the linker places side by side
# (see cmake/StartupOrder.cmake). Run it after changes to what the program does at start:
#
#   bench/startup-order.sh [build/app/voltrane-meter]
#
# It starts the program under valgrind's callgrind (package valgrind) on a virtual X server
# (xvfb-run, package xvfb), with empty settings, records and history, for 20 seconds, and lists
# the functions of the program's own file that ran. A constructor or destructor appears under
# one of the names it has (C1, D1); its code lies in the section of the other (C2, D2), so both
# are listed. Static initialisers and main are in .text.startup sections.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/app/voltrane-meter}")
for tool in valgrind xvfb-run; do
    command -v $tool >/dev/null || { echo "startup-order: $tool is needed" >&2; exit 2; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
HOME=$tmp XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data XDG_CACHE_HOME=$tmp/cache \
    xvfb-run -a -s "-screen 0 1280x800x24" timeout -s TERM 20 \
    valgrind --tool=callgrind --demangle=no --callgrind-out-file="$tmp/profile" "$program" \
    >"$tmp/log" 2>&1 || true
[ -s "$tmp/profile" ] || { cat "$tmp/log" >&2; echo "startup-order: no profile" >&2; exit 1; }
# In the profile, "ob=(n) file" and "fn=(n) name" give the object and function of the costs that
# follow (the name only where the number first appears); cob= and cfn= name the ones called.
awk -v program="$program" '
    function named(line, names,    id, rest) {
        id = line; sub(/^[a-z]+=\(/, "", id); rest = id; sub(/\).*/, "", id)
        if (sub(/^[0-9]+\) /, "", rest)) names[id] = rest
        return id
    }
    /^c?ob=/ { id = named($0, objects); if ($0 ~ /^ob=/) current = objects[id]; next }
    /^c?fn=/ {
        id = named($0, functions)
        if ($0 ~ /^fn=/ && current == program) ran[functions[id]] = 1
    }
    END {
        print ".text.startup"; print ".text.startup.*"
        for (f in ran) {
            if (f !~ /^_Z/) continue # main and the static initialisers: in .text.startup
            print ".text." f
            other = f
            if (sub(/C1E/, "C2E", other) || sub(/D1E/, "D2E", other)) print ".text." other
        }
    }' "$tmp/profile" | LC_ALL=C sort -u >"$root/app/startup-functions.txt"
echo "startup-order: $(wc -l <"$root/app/startup-functions.txt") sections in app/startup-functions.txt"
