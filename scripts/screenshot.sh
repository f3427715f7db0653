#!/usr/bin/env bash
# Takes docs/screenshot.png (or the file named): the window under a virtual X server, with the
# Silver style, in a directory of sample databases, after "附加数据库" attached them over the real
# ODBC driver to the loopback test server, so that the grid shows the last file's rows.
#
#   scripts/screenshot.sh [FILE.png]
#
# It uses the test KDC of the build directory, and leaves it running if the tests started it.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILLANE_BUILD_DIR:-$root/build}
target=$(realpath -m "${1:-$root/docs/screenshot.png}")

"$root/scripts/build.sh" quillane_ui_e2e_test quillane-testserver

kdc=$build/kdc-run
started=
if [[ ! -e $kdc/ready ]]; then
    bash "$root/tests/kdc/kdc-fixture.sh" start "$kdc" >/dev/null
    started=1
fi
status=0
QT_QPA_PLATFORM=xcb xvfb-run -a "$build/tests/ui/quillane_ui_e2e_test" --screenshot="$target" ||
    status=$?
if [[ -n $started ]]; then
    bash "$root/tests/kdc/kdc-fixture.sh" stop "$kdc" >/dev/null || true
fi
((status == 0)) && echo "screenshot.sh: saved $target"
exit "$status"
