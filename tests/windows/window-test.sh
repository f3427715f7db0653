#!/usr/bin/env bash
# The unzipped program under Wine: it starts from wherever the zip was put, shows its window at
# the designed size in the "Silver" look, writes no log before there is something to log, closes
# as a user closes it, and scales as a whole with the screen's pixel density and with
# QT_SCALE_FACTOR. The pictures it takes are kept in SHOTS for people to look at.
#
#   window-test.sh ZIP SHOTS
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine-lib.sh
source "$here/wine-lib.sh"

zip=$1
shots=$2
mkdir -p "$shots"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillane-window.XXXXXX")
app_pid=
cleanup() {
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

exe=$(unzip_app "$zip" "$tmp")
mkdir -p "$tmp/work"
touch "$tmp/work/b.mdf" "$tmp/work/A.MDF" "$tmp/work/notes.txt"

# One start: the window's size is the design's times `scale`; the rest is the environment.
check_start() {
    local scale=$1 picture=$2 id size
    shift 2
    size=$((706 * scale))x$((528 * scale))
    start_app "$exe" "$tmp/work" "$@"
    id=$(wait_for 180 window_named Quillane) ||
        fail "no window \"Quillane\" within 180 s: $(cat "$tmp/wine.out")"
    # The first paint may still be under way when the window maps.
    wait_for 60 test "$(window_size "$id")" = "$size" ||
        fail "the window is $(window_size "$id"), not $size, with $*"
    # The Silver background in the empty area right of the labels, not the system's.
    local x=$((700 * scale)) y=$((20 * scale))
    wait_for 60 painted "$id" "$x" "$y" ||
        fail "the window's background at ($x,$y) is $(pixel "$id" "$x" "$y"), not Silver's"
    sleep 1
    screenshot "$id" "$shots/$picture"
    [[ ! -e $(dirname "$exe")/Logs ]] || fail "a log was written before anything happened"
    stop_app "$id" || fail "the program did not end when its window was closed"
    app_pid=
}

# The screen's pixel density, as Windows keeps it for the user (96 unless set).
set_dpi() {
    "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

check_start 1 window.png
# Wine keeps the host's QT_* variables from Windows programs (they would be meant for the host's
# Qt) and hands WINEQT_* on without the WINE.
check_start 2 window-scale-2.png WINEQT_SCALE_FACTOR=2
# A screen of twice the density: the program declares itself aware of each monitor's density and
# scales by it. The other tests click at the design's positions, so the density goes back.
trap 'set_dpi 96; cleanup' EXIT
set_dpi 192
check_start 2 window-192dpi.png
set_dpi 96
echo "window test passed; pictures in $shots"
