#!/usr/bin/env bash
# Builds the Windows zip and tests (scripts/windows-build.sh) and runs those tests under Wine on a
# virtual display: the unit tests as Windows programs, the unzipped program's window, and an
# attach run from end to end through Wine's ODBC bridge to the loopback test server.
#
#   scripts/windows-test.sh
#
# Every run makes a fresh Wine prefix of its own and removes it afterwards; the pictures the
# window tests take stay in build-win/screenshots.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILLANE_WIN_BUILD_DIR:-$root/build-win}

"$root/scripts/windows-build.sh"
"$root/scripts/setup.sh" wine64 fonts-wine xvfb xdotool x11-apps netpbm unzip
# The test server and the fixture maker run on this side of the bridge.
"$root/scripts/build.sh" quillane-testserver quillane-mdfmake

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillane-wine.XXXXXX")
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=
cleanup() {
    wineserver -k 2>/dev/null || true
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and writes it to the descriptor.
exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 </dev/null &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 300); do
    [[ -s $tmp/display ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$tmp/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
DISPLAY=:$(head -n1 "$tmp/display")
export DISPLAY

# The prefix, and a wineserver kept up for the whole run so that each program starts at once.
mkdir -p "$WINEPREFIX"
wineserver -p
echo "windows-test.sh: making a fresh Wine prefix"
timeout 600 /usr/lib/wine/wine64 wineboot -i >"$tmp/wineboot.log" 2>&1 ||
    { cat "$tmp/wineboot.log" >&2; exit 1; }
# Tahoma, the window's font, is in every Windows; Wine ships its own but leaves a new prefix
# without it.
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

ctest --test-dir "$build" --output-on-failure --no-tests=error -j2
