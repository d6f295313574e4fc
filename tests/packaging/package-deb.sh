#!/usr/bin/env bash
# The installed program as a person gets it: `cmake --install` and the .deb hold exactly the
# programs (the window, the command line and its report helper, the simulator), their manual
# pages, desktop entry, fetch file type, icons, README, copyright and changelog, with the right
# owner, permissions and control fields, and no lintian error; unpacked, the desktop entry is
# valid, the icons have their sizes, the programs are stripped, have no RPATH, find their libraries
# and run (the window without a display: exit 2 and one line; the command line with no display at
# all; the simulator: ready line, exit 0 on SIGTERM).
# usage: package-deb.sh BUILD_DIR VERSION CPACK CMAKE WITH_CLI(0|1); exits 77 (skipped) without dpkg-deb.
set -uo pipefail
build=$1 version=$2 cpack=$3 cmake=$4 id=voltrane-meter programs=(voltrane-meter voltrane-meter-sim)
[ "${5:-0}" = 1 ] && programs+=(voltrane-meter-cli) # the command line program, where it is built
command -v dpkg-deb >/dev/null || { echo "SKIP: no dpkg-deb; the .deb is checked on Debian only"; exit 77; }
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT && failed=0
check() { # check DESCRIPTION COMMAND...
    local what=$1 out; shift
    if out=$("$@" 2>&1); then echo "ok:   $what"; else echo "FAIL: $what"; sed 's/^/      /' <<<"$out"; failed=1; fi
}
same() { [ "$1" = "$2" ] || { echo "'$1' is not '$2'"; return 1; }; }

expected=$tmp/expected
printf '%s\n' "${programs[@]/#/bin/}" "${programs[@]/%/.1.gz}" libexec/$id/voltrane-meter-cli-report share/applications/$id.desktop share/mime/packages/$id.xml share/doc/$id/{README.md,copyright,changelog.gz} \
    share/doc/$id/docs/images/{main-window,report-page}.png share/icons/hicolor/scalable/apps/$id.svg \
    share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/$id.png | sed 's|^[^/]*\.1\.gz$|share/man/man1/&|' | LC_ALL=C sort >"$expected"

check "cmake --install" "$cmake" --install "$build" --prefix "$tmp/prefix"
(cd "$tmp/prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >"$tmp/installed"
check "cmake --install: exactly the programs, manual pages, desktop entry, icons and documents" diff "$expected" "$tmp/installed"

check "cpack -G DEB" bash -c "cd '$build' && '$cpack' -G DEB -B '$tmp/cpack'"
deb=$tmp/cpack/${id}_${version}_$(dpkg --print-architecture).deb
check "one package, $(basename "$deb")" same "$(ls "$tmp"/cpack/*.deb)" "$deb"
[ -f "$deb" ] || exit 1
dpkg-deb -c "$deb" >"$tmp/contents"
awk '$1 !~ /^d/ { print $6 }' "$tmp/contents" | sed 's|^\./usr/||' | LC_ALL=C sort >"$tmp/packaged"
check "the .deb: the same files, all under /usr" diff "$expected" "$tmp/packaged"
check "owned by root; programs and folders rwxr-xr-x, other files rw-r--r--" same "$(awk '
    $2 != "root/root" || ($1 ~ /^d/ && $1 != "drwxr-xr-x") || $1 !~ /^[-d]/ ||
    ($1 ~ /^-/ && $1 != ($6 ~ /\/usr\/(bin|libexec)\// ? "-rwxr-xr-x" : "-rw-r--r--"))' "$tmp/contents")" ""
lintian -I --pedantic --tag-display-limit 0 "$deb" >"$tmp/lintian" 2>&1 # fails on an error, 127 when missing
check "lintian: no errors (its tags below)" same $? 0
sed 's/^/      lintian: /' "$tmp/lintian"
field() { dpkg-deb -f "$deb" "$1"; }
check "control: name, version, maintainer, section, a summary and a long description" same "$(field Package) $(field Version) $(field Maintainer) $(field Section) $(field Description | wc -l | awk '{print ($1 >= 3)}')" \
    "$id $version Quillmarsh <support@quillmarsh.invalid> $(field Section | grep -xE 'electronics|utils') 1"
check "Depends: libc6, libstdc++6, the Qt 6 runtime and the SQLite driver" same "$(field Depends | tr ',|' '\n\n' |
    sed 's/^ *//; s/[ :(].*//' | grep -xcE 'libc6|libstdc\+\+6|libqt6(core|gui|widgets|serialport|printsupport|sql)6|qt6-qpa-plugins|libqt6sql6-sqlite')" 10

dpkg-deb -x "$deb" "$tmp/root"
usr=$tmp/root/usr desktop=$tmp/root/usr/share/applications/$id.desktop
check "desktop-file-validate: no errors, no hints" same "$(desktop-file-validate "$desktop" 2>&1)" ""
check "desktop entry: type, name, program, icon, category, fetch type, a GenericName and a Comment" same "$(grep -E '^(Type|Name|Exec|Icon|Terminal|MimeType)=' "$desktop" | LC_ALL=C sort | tr '\n' ' ')$(grep -c '^Categories=.*Utility;' "$desktop") $(grep -cE '^(GenericName|Comment)=.' "$desktop")" \
    "Exec=$id %f Icon=$id MimeType=application/x-voltrane-meter-fetch; Name=Voltrane Meter Terminal=false Type=Application 1 2"
mkdir -p "$tmp/mime/packages" && cp "$usr/share/mime/packages/$id.xml" "$tmp/mime/packages/"
check "the fetch type: update-mime-database takes it, *.vmfetch files are of it" same "$(update-mime-database "$tmp/mime" >/dev/null 2>&1; grep -c '^application/x-voltrane-meter-fetch:\*\.vmfetch$' "$tmp/mime/globs")" 1
check "the icons are PNGs of their sizes" same "$(for size in 16 32 48 64 128 256; do file -b "$usr/share/icons/hicolor/${size}x${size}/apps/$id.png" | cut -d, -f2; done | tr -d '\n')" \
    " 16 x 16 32 x 32 48 x 48 64 x 64 128 x 128 256 x 256"
check "the scalable icon is an SVG; the README is the project's" same "$(grep -c '<svg' "$usr/share/icons/hicolor/scalable/apps/$id.svg") $(grep -c '^# Voltrane Meter' "$usr/share/doc/$id/README.md")" "1 1"
for program in "${programs[@]/#/bin/}" libexec/$id/voltrane-meter-cli-report; do
    check "$program: stripped, no RPATH, finds all its shared libraries" same "$(readelf -S -d --wide "$usr/$program" | grep -cE '\.debug_|\((RPATH|RUNPATH)\)') $(env -u LD_LIBRARY_PATH ldd "$usr/$program" | grep -c 'not found')" "0 0"
done

# The unpacked programs, with a home of their own.
mkdir -p "$tmp/home" && mkdir -m 700 "$tmp/run"
run=(env -u LD_LIBRARY_PATH -u QT_PLUGIN_PATH -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=offscreen)
status=0 && out=$("${run[@]}" timeout -k 2 5 "$usr/bin/voltrane-meter" </dev/null 2>&1) || status=$?
check "the installed program runs until stopped after 5 s, without a word" same "$status $out" "124 "
check "the installed command line: --version, and its report helper found, with no display" same "$("${run[@]}" "$usr/bin/voltrane-meter-cli" --version) $("${run[@]}" env -u QT_QPA_PLATFORM "$usr/bin/voltrane-meter-cli" report "$tmp/none" --data-set 1 --print 2>&1)" \
    "$id-cli $version “none” cannot be opened: No such file or directory."
status=0 && out=$(env -u QT_QPA_PLATFORM "${run[@]:0:${#run[@]}-1}" "$usr/bin/voltrane-meter" </dev/null 2>&1) || status=$?
check "without a display: exit 2 and one line" same "$status $out" "2 voltrane-meter needs a desktop session (an X11 or Wayland display); without one, use voltrane-meter-cli."
"${run[@]}" "$usr/bin/voltrane-meter-sim" </dev/null >"$tmp/sim.out" 2>"$tmp/sim.err" & sim=$!
for _ in $(seq 100); do [ -s "$tmp/sim.out" ] && break; sleep 0.1; done
kill -TERM $sim && wait $sim
check "the installed simulator: ready line, exit 0 on SIGTERM, no error" same "$? $(grep -cE '^Meter simulator ready on /dev/pts/[0-9]+ - ' "$tmp/sim.out") $(cat "$tmp/sim.err")" "0 1 "
exit $failed
