#!/usr/bin/env bash
# The installed program as a person gets it: `cmake --install` and the .deb hold exactly the
# programs (the window, the command line and its report helper, the simulator), their manual
# pages, printing plugin, desktop entry, fetch file type, AppStream metainfo, icons, README, copyright and changelog,
# with the right owner, permissions and control fields, and no lintian warning or error; unpacked,
# the desktop entry and the metainfo are valid and agree, the metainfo has every changelog entry,
# the icons have their sizes, the programs are hardened and stripped, have no RPATH, find their
# libraries and run (the window without a display: exit 2 and one line; the command line with no
# display at all; the simulator: ready line, exit 0 on SIGTERM). As root, dpkg installs the .deb and
# the system's triggers make the fetch type, the icon and the desktop entry known; a purge
# (always, also when a check fails) makes them unknown again.
# usage: package-deb.sh BUILD_DIR VERSION CPACK CMAKE WITH_CLI(0|1); exits 77 (skipped) without dpkg-deb.
set -uo pipefail
build=$1 version=$2 cpack=$3 cmake=$4 id=voltrane-meter programs=(voltrane-meter voltrane-meter-sim)
appstream_id=invalid.quillmarsh.voltrane_meter fetch_type=application/x-voltrane-meter-fetch
[ "${5:-0}" = 1 ] && programs+=(voltrane-meter-cli) # the command line program, where it is built
command -v dpkg-deb >/dev/null || { echo "SKIP: no dpkg-deb; the .deb is checked on Debian only"; exit 77; }
installed_here=0 tmp=$(mktemp -d) && failed=0
trap '[ $installed_here = 1 ] && dpkg --purge $id >/dev/null 2>&1; rm -rf "$tmp"' EXIT
trap 'exit 1' INT TERM HUP
check() { # check DESCRIPTION COMMAND...
    local what=$1 out; shift
    if out=$("$@" 2>&1); then echo "ok:   $what"; else echo "FAIL: $what"; sed 's/^/      /' <<<"$out"; failed=1; fi
}
same() { [ "$1" = "$2" ] || { echo "'$1' is not '$2'"; return 1; }; }

expected=$tmp/expected printing=$(cd "$build" && find lib* -name libvoltrane-printing.so)
printf '%s\n' "${programs[@]/#/bin/}" "$printing" "${programs[@]/%/.1.gz}" libexec/$id/voltrane-meter-cli-report share/applications/$id.desktop share/mime/packages/$id.xml share/metainfo/$appstream_id.metainfo.xml share/doc/$id/{README.md,copyright,changelog.gz} \
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
# In the test's folder: lintian leaves a cache file of its own (mldbm-elf-*) in TMPDIR.
TMPDIR="$tmp" lintian --display-info --pedantic --tag-display-limit 0 "$deb" >"$tmp/lintian" 2>&1 # fails on an error, 127 when missing
status=$?
check "lintian: runs, no errors or warnings (its other tags below)" same "$status $(grep -E '^[EW]: ' "$tmp/lintian")" "0 "
sed 's/^/      lintian: /' "$tmp/lintian"
field() { dpkg-deb -f "$deb" "$1"; }
check "control: name, version, maintainer, section, a summary and a long description" same "$(field Package) $(field Version) $(field Maintainer) $(field Section) $(field Description | wc -l | awk '{print ($1 >= 3)}')" \
    "$id $version Quillmarsh <support@quillmarsh.invalid> $(field Section | grep -xE 'electronics|utils') 1"
check "Depends: libc6, libstdc++6, the Qt 6 runtime, the SQLite driver, libcups and Liberation Sans" same "$(field Depends | tr ',|' '\n\n' |
    sed 's/^ *//; s/[ :(].*//' | grep -xcE 'libc6|libstdc\+\+6|libqt6(core|gui|widgets|serialport|sql)6|qt6-qpa-plugins|libqt6sql6-sqlite|libcups2|fonts-liberation2')" 11
check "control: no maintainer scripts (the system's file triggers do their work)" same "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | LC_ALL=C sort | tr '\n' ' ')" "./control ./md5sums "

dpkg-deb -x "$deb" "$tmp/root"
usr=$tmp/root/usr desktop=$tmp/root/usr/share/applications/$id.desktop
check "desktop-file-validate: no errors, no hints" same "$(desktop-file-validate "$desktop" 2>&1)" ""
check "desktop entry: type, name, program, icon, category, fetch type, a GenericName, Comment and Keywords" same "$(grep -E '^(Type|Name|Exec|Icon|Terminal|MimeType)=' "$desktop" | LC_ALL=C sort | tr '\n' ' ')$(grep -c '^Categories=.*Utility;' "$desktop") $(grep -cE '^(GenericName|Comment|Keywords)=.' "$desktop")" \
    "Exec=$id %f Icon=$id MimeType=application/x-voltrane-meter-fetch; Name=Voltrane Meter Terminal=false Type=Application 1 3"
mkdir -p "$tmp/mime/packages" && cp "$usr/share/mime/packages/$id.xml" "$tmp/mime/packages/"
check "the fetch type: update-mime-database takes it, *.vmfetch files are of it" same "$(update-mime-database "$tmp/mime" >/dev/null 2>&1; grep -c '^application/x-voltrane-meter-fetch:\*\.vmfetch$' "$tmp/mime/globs")" 1
metainfo=$usr/share/metainfo/$appstream_id.metainfo.xml
check "appstreamcli validate --pedantic: no errors or warnings" appstreamcli validate --no-net --pedantic "$metainfo"
check "metainfo: launched by the desktop entry, opens its fetch type, provides the programs" same "$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>|\1|p; s|.*<mediatype>\(.*\)</mediatype>|\1;|p; s|.*<binary>\(.*\)</binary>|\1|p' "$metainfo" | tr '\n' ' ')" \
    "$id.desktop $(sed -n 's/^MimeType=//p' "$desktop") ${programs[*]} "
zcat "$usr/share/doc/$id/changelog.gz" >"$tmp/changelog"
check "metainfo: each changelog entry a release, newest first, with its date and items" same "$(sed -n 's|^ *<release version="\([^"]*\)" date="\([^"]*\)">$|\1 \2|p' "$metainfo") $(sed -n '/<releases>/,/<\/releases>/p' "$metainfo" | grep -c '<li>')" \
    "$(dpkg-parsechangelog -l "$tmp/changelog" --all --format rfc822 | awk '/^Version:/ { version = $2 } /^Date:/ { print version, $3, $4, $5 }' |
        while read -r release day month year; do echo "$release $(date -d "$day $month $year" +%F)"; done) $(grep -c '^  \* ' "$tmp/changelog")"
check "the icons are PNGs of their sizes" same "$(for size in 16 32 48 64 128 256; do file -b "$usr/share/icons/hicolor/${size}x${size}/apps/$id.png" | cut -d, -f2; done | tr -d '\n')" \
    " 16 x 16 32 x 32 48 x 48 64 x 64 128 x 128 256 x 256"
check "the scalable icon is an SVG; the README is the project's" same "$(grep -c '<svg' "$usr/share/icons/hicolor/scalable/apps/$id.svg") $(grep -c '^# Voltrane Meter' "$usr/share/doc/$id/README.md")" "1 1"
for program in "${programs[@]/#/bin/}" libexec/$id/voltrane-meter-cli-report "$printing"; do
    check "$program: stripped, no RPATH, finds all its shared libraries" same "$(readelf -S -d --wide "$usr/$program" | grep -cE '\.debug_|\] \.(comment|note) |\((RPATH|RUNPATH)\)') $(env -u LD_LIBRARY_PATH ldd "$usr/$program" | grep -c 'not found')" "0 0"
    check "$program: bound now, read-only after relocation, stack protector" same "$(readelf -d -l --dyn-syms --wide "$usr/$program" >"$tmp/elf"
        for mark in '\(FLAGS\) +BIND_NOW' ' GNU_RELRO ' ' __stack_chk_fail@'; do grep -cE -m 1 "$mark" "$tmp/elf"; done | tr -d '\n')" 111
done
# _FORTIFY_SOURCE checks only the calls whose buffer size the compiler knows and cannot prove
# enough; the other programs have none (lintian's hardening-no-fortify-functions, information).
check "bin/$id: fortified (calls the C library's checked functions)" same "$(readelf --dyn-syms --wide "$usr/bin/$id" | grep -cE -m 1 ' __[a-z_]+_chk@')" 1

# The unpacked programs, with a home of their own.
mkdir -p "$tmp/home" && mkdir -m 700 "$tmp/run"
run=(env -u LD_LIBRARY_PATH -u QT_PLUGIN_PATH -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM=offscreen)
status=0 && out=$("${run[@]}" timeout -k 2 5 "$usr/bin/voltrane-meter" </dev/null 2>&1) || status=$?
check "the installed program runs until stopped after 5 s, without a word" same "$status $out" "124 "
check "the installed command line: --version, and its report helper found, with no display" same "$("${run[@]}" "$usr/bin/voltrane-meter-cli" --version) $("${run[@]}" env -u QT_QPA_PLATFORM "$usr/bin/voltrane-meter-cli" report "$tmp/none" --data-set 1 --print 2>&1)" \
    "$id-cli $version “none” cannot be opened: No such file or directory."
[ "${5:-0}" = 1 ] && check "the installed command line prints through the installed printing plugin" same "$("${run[@]}" CUPS_SERVER=/nonexistent/cups.sock "$usr/bin/voltrane-meter-cli" report "$(dirname "$0")/../../fuzz/corpus/fetchfile/clean" --data-set 1 --print --no-record 2>&1)" \
    "The print service is not running on this computer. Save the report as a PDF file with --pdf FILE."
status=0 && out=$(env -u QT_QPA_PLATFORM "${run[@]:0:${#run[@]}-1}" "$usr/bin/voltrane-meter" </dev/null 2>&1) || status=$?
check "without a display: exit 2 and one line" same "$status $out" "2 voltrane-meter needs a desktop session (an X11 or Wayland display); without one, use voltrane-meter-cli."
"${run[@]}" "$usr/bin/voltrane-meter-sim" </dev/null >"$tmp/sim.out" 2>"$tmp/sim.err" & sim=$!
for _ in $(seq 100); do [ -s "$tmp/sim.out" ] && break; sleep 0.1; done
kill -TERM $sim && wait $sim
check "the installed simulator: ready line, exit 0 on SIGTERM, no error" same "$? $(grep -cE '^Meter simulator ready on /dev/pts/[0-9]+ - ' "$tmp/sim.out") $(cat "$tmp/sim.err")" "0 1 "

# Installed by dpkg: the file triggers of shared-mime-info, hicolor-icon-theme and
# desktop-file-utils make the fetch type's glob, the icon and the desktop entry for that type
# known (the package has no maintainer scripts), and a purge makes them unknown again. Read from
# the databases themselves: xdg-mime without a desktop session asks file(1), not them. A package
# that was installed before the test stays as it is.
known() { echo "$(grep -c ":$fetch_type:\*\.vmfetch$" /usr/share/mime/globs2) $(grep -c -m 1 -aF "$id" /usr/share/icons/hicolor/icon-theme.cache) $(grep -c "^$fetch_type=.*$id\.desktop;" /usr/share/applications/mimeinfo.cache)"; }
installed_state() { dpkg-query -W -f '${db:Status-Status}' $id 2>/dev/null | grep -vx not-installed; } # none when not installed
skipped=""
if [ "$(id -u)" != 0 ]; then
    skipped="installing the .deb with dpkg needs root"
elif [ -n "$(installed_state)" ]; then
    skipped="$id is installed on this machine already; it is not installed again, nor removed"
else
    check "before dpkg -i: the fetch glob, the icon and the desktop entry for it unknown" same "$(known)" "0 0 0"
    installed_here=1
    check "dpkg -i" dpkg -i "$deb"
    check "installed: the triggers made the fetch glob, the icon and the desktop entry for it known" same "$(known)" "1 1 1"
    check "dpkg --purge" dpkg --purge $id
    installed_here=0
    check "purged: nothing of it known, nothing left" same "$(known) $(installed_state)" "0 0 0 "
fi
[ -z "$skipped" ] || echo "SKIP: $skipped"
[ $failed = 0 ] && [ -n "$skipped" ] && exit 77
exit $failed
