#!/usr/bin/env bash
# The unzipped program under Wine: it starts from wherever the zip was put, shows its window at
# the designed size in the "Silver" look, writes no log before there is something to log, closes
# as a user closes it, and scales as a whole with QT_SCALE_FACTOR. The pictures it takes are kept
# in SHOTS for people to look at.
#
#   window-test.sh ZIP SHOTS
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-lib.sh
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

# One start, at the designed size and then twice that.
check_start() {
    local scale=$1 size=$2 picture=$3 id
    # Wine keeps the host's QT_* variables from Windows programs (they would be meant for the
    # host's Qt) and hands WINEQT_* on without the WINE.
    start_app "$exe" "$tmp/work" WINEQT_SCALE_FACTOR="$scale"
    id=$(wait_for 180 window_named Quillane) ||
        fail "no window \"Quillane\" within 180 s: $(cat "$tmp/wine.out")"
    # The first paint may still be under way when the window maps.
    wait_for 60 test "$(window_size "$id")" = "$size" ||
        fail "the window is $(window_size "$id"), not $size, at QT_SCALE_FACTOR=$scale"
    sleep 1
    screenshot "$id" "$shots/$picture"
    # The Silver background (#dcdfe3) in the empty area right of the labels, not the system's.
    local x=$((700 * scale)) y=$((20 * scale))
    [[ $(pixel "$id" "$x" "$y") == "220 223 227" ]] ||
        fail "the window's background at ($x,$y) is $(pixel "$id" "$x" "$y"), not Silver's"
    [[ ! -e $(dirname "$exe")/Logs ]] || fail "a log was written before anything happened"
    stop_app "$id" || fail "the program did not end when its window was closed"
    app_pid=
}

check_start 1 706x528 window.png
check_start 2 1412x1056 window-scale-2.png
echo "window test passed; pictures in $shots"
