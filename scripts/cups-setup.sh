#!/usr/bin/env bash
# Makes a real CUPS print path for the printing test (tests/report/tst_cupsprint): installs CUPS
# and the cups-pdf backend, starts the scheduler if it is not running, adds the cups-pdf queue
# VoltranePDF and makes it the default printer. A page printed on it ends up as a PDF file in the
# printing user's cups-pdf folder (for root: /root/PDF).
#
# usage: bash scripts/cups-setup.sh           set up; exits 0 once the queue is ready and default
#        bash scripts/cups-setup.sh --check   only check that it is; changes nothing
#        bash scripts/cups-setup.sh --stop    stop the scheduler (one started without systemd)
#
# Installing and starting need root (or sudo). Without systemd (CI, a chroot, a container) the
# scheduler is started directly and keeps running after the script ends. Running it again is
# harmless. Environment: VOLTRANE_CUPS_QUEUE overrides the queue name.
# Note: this makes the queue the default printer of the whole machine.
set -euo pipefail

if [[ "${BASH_SOURCE[0]}" != "$0" ]]; then
    echo "error: run scripts/cups-setup.sh with bash, don't source it" >&2
    return 1
fi

# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"

QUEUE=${VOLTRANE_CUPS_QUEUE:-VoltranePDF}
CUPS_PACKAGES=(cups printer-driver-cups-pdf poppler-utils)
CUPSD_CONF=/etc/cups/cupsd.conf
CUPS_PDF_CONF=/etc/cups/cups-pdf.conf
START_TIMEOUT=30 # seconds for the scheduler to answer after it is started
STOP_TIMEOUT=15

# Messages of the CUPS tools are parsed below: keep them untranslated.
export LC_ALL=C

# Talk only to the scheduler on this machine's own socket, never to one reached over the network
# (for instance one on the host when this runs in a chroot).
socket=$(awk '$1 == "Listen" && $2 ~ /^\// { print $2; exit }' "$CUPSD_CONF" 2>/dev/null || true)
socket=${socket:-/run/cups/cups.sock}
export CUPS_SERVER=$socket

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        die "'$*' needs root; run this script as root or install sudo"
    fi
}

scheduler_running() {
    [ -S "$socket" ] && lpstat -r 2>/dev/null | grep -qx 'scheduler is running'
}

# The folder that cups-pdf writes the current user's jobs to (its "Out" setting).
# shellcheck disable=SC2016 # '${HOME}' and '${USER}' are cups-pdf's own placeholders
output_dir() {
    local out
    out=$(awk '$1 == "Out" { $1 = ""; sub(/^ +/, ""); print; exit }' "$CUPS_PDF_CONF" \
        2>/dev/null || true)
    out=${out:-'${HOME}/PDF'}
    out=${out//'${HOME}'/$HOME}
    out=${out//'${USER}'/$(id -un)}
    printf '%s\n' "$out"
}

queue_ready() {
    local default device
    default=$(lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p')
    device=$(lpstat -v "$QUEUE" 2>/dev/null | sed -n "s/^device for $QUEUE: //p")
    [ "$default" = "$QUEUE" ] && [[ "$device" == cups-pdf:* ]] &&
        lpstat -p "$QUEUE" 2>/dev/null | grep -q "^printer $QUEUE .*enabled" &&
        lpstat -a "$QUEUE" 2>/dev/null | grep -q "^$QUEUE accepting" &&
        lpoptions -p "$QUEUE" 2>/dev/null | grep -Eq '(^| )pdftops-renderer=pdftocairo( |$)'
}

# The scheduler runs its helpers and filters as user lp, so / must be open to other users. It is
# on any normal system; a chroot unpacked into a folder made by mktemp -d has a 0700 root, and
# there every driver look-up and every job fails with "Permission denied".
open_root_dir() {
    local mode
    mode=$(stat -c %a /)
    if (((8#$mode & 8#005) != 8#005)); then
        say "/ has mode $mode, closed to user lp that CUPS runs its helpers as: adding o+rx"
        as_root chmod o+rx /
    fi
}

start_scheduler() {
    if [ -d /run/systemd/system ]; then
        say "starting the CUPS scheduler (systemctl start cups)"
        as_root systemctl start cups
    else
        say "starting the CUPS scheduler (cupsd)"
        # cupsd checks and fixes most of its folders itself, but not the parents of its socket,
        # and a fresh chroot or container may have an empty /run.
        as_root mkdir -p "$(dirname "$socket")" /run/cups /var/spool/cups/tmp /var/cache/cups \
            /var/log/cups
        # cupsd forks; the parent returns once the child has read its configuration.
        as_root cupsd
    fi
    local waited=0
    until scheduler_running; do
        [ "$waited" -lt $((START_TIMEOUT * 2)) ] ||
            die "the CUPS scheduler did not answer within ${START_TIMEOUT}s;" \
                "see /var/log/cups/error_log"
        sleep 0.5
        waited=$((waited + 1))
    done
}

stop_scheduler() {
    if [ -d /run/systemd/system ]; then
        die "the scheduler is run by systemd here; stop it with: systemctl stop cups"
    fi
    local pid
    pid=$(cat /run/cups/cupsd.pid 2>/dev/null || true)
    if [ -z "$pid" ] || [ "$(cat "/proc/$pid/comm" 2>/dev/null)" != cupsd ]; then
        say "no CUPS scheduler is running"
        return 0
    fi
    say "stopping the CUPS scheduler (pid $pid)"
    as_root kill -TERM "$pid"
    local waited=0
    while [ -e "/proc/$pid" ]; do
        [ "$waited" -lt $((STOP_TIMEOUT * 2)) ] ||
            die "cupsd (pid $pid) did not stop within ${STOP_TIMEOUT}s"
        sleep 0.5
        waited=$((waited + 1))
    done
}

# The model name of the cups-pdf driver, as the scheduler lists it.
cups_pdf_model() {
    local models model
    models=$(as_root lpinfo -m 2>/dev/null) || die "lpinfo -m failed; see /var/log/cups/error_log"
    for model in CUPS-PDF_opt.ppd CUPS-PDF_noopt.ppd; do
        # e.g. "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd Generic CUPS-PDF Printer (w/ options)"
        awk -v m="$model" '$1 ~ ("/" m "$") { print $1; found = 1; exit } END { exit !found }' \
            <<<"$models" && return 0
    done
    die "the scheduler lists no cups-pdf driver (is printer-driver-cups-pdf installed?)"
}

report_ready() {
    say "cups-pdf queue $QUEUE is the default printer;" \
        "$(id -un)'s jobs are written to $(output_dir)"
}

case "${1:-}" in
    --check)
        scheduler_running || die "the CUPS scheduler is not running (run scripts/cups-setup.sh)"
        queue_ready ||
            die "$QUEUE is not a ready, default cups-pdf queue (run scripts/cups-setup.sh)"
        report_ready
        exit 0
        ;;
    --stop)
        stop_scheduler
        exit 0
        ;;
    "") ;;
    *) die "unknown option '$1' (usage: scripts/cups-setup.sh [--check|--stop])" ;;
esac

ensure_packages "${CUPS_PACKAGES[@]}"
open_root_dir
scheduler_running || start_scheduler

if ! queue_ready; then
    model=$(cups_pdf_model)
    say "adding the cups-pdf queue $QUEUE ($model) as the default printer"
    # CUPS hands cups-pdf PostScript. Made by Ghostscript (the default), the fonts in it become
    # Type 3 glyphs whose text can't be read back from the PDF; pdftocairo keeps real fonts.
    # lpadmin warns that PPD drivers are deprecated: true, and harmless for this queue.
    as_root lpadmin -p "$QUEUE" -E -v cups-pdf:/ -m "$model" -D "Voltrane test printer (PDF)" \
        -o pdftops-renderer-default=pdftocairo -o printer-is-shared=false \
        2> >(grep -v 'drivers are deprecated' >&2)
    as_root lpadmin -d "$QUEUE"
    as_root cupsenable "$QUEUE"
    as_root cupsaccept "$QUEUE"
    queue_ready || die "$QUEUE is still not ready; see lpstat -t and /var/log/cups/error_log"
fi
report_ready
