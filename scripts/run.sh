#!/usr/bin/env bash
# Builds Quillane when needed (into build/ at the top of the tree) and opens its window.
#
#   scripts/run.sh
#
# On a machine without a display it runs the window on a virtual one (xvfb-run -a), which is only
# useful to check that it starts; close it with Ctrl+C. QUILLANE_BUILD_DIR picks another build
# directory.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILLANE_BUILD_DIR:-$root/build}

"$root/scripts/build.sh" quillane

exe=$build/ui/quillane
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    command -v xvfb-run >/dev/null || {
        echo "run.sh: no display and no xvfb-run (apt-get install xvfb xauth)" >&2
        exit 1
    }
    echo "run.sh: no display; running the window under xvfb-run -a" >&2
    exec xvfb-run -a "$exe" "$@"
fi
exec "$exe" "$@"
