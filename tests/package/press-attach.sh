#!/bin/bash
# Under an X server: starts the installed window in the current directory, presses "附加数据库"
# as the user does, and waits for the day's log to appear in LOGS.
#
#   press-attach.sh LOGS
set -euo pipefail

logs=$1
out=$(mktemp)
quillane >"$out" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Quillane$' | head -1) || true
if [[ -z $window ]]; then
    echo "press-attach: the window did not come up" >&2
    cat "$out" >&2
    exit 1
fi
# The middle of the attach button (left 608, top 108, 90 × 47): Xvfb's 96 dpi leaves it unscaled.
# A click that comes before the window takes input is lost, so it is repeated until the log shows.
for _ in 1 2 3; do
    xdotool mousemove --window "$window" 653 131 click 1
    for _ in $(seq 100); do
        for log in "$logs"/*.log; do
            [[ -s $log ]] && exit 0
        done
        kill -0 "$pid" 2>/dev/null || {
            echo "press-attach: the window ended" >&2
            cat "$out" >&2
            exit 1
        }
        sleep 0.1
    done
done
echo "press-attach: no log in $logs 30 s after pressing 附加数据库" >&2
cat "$out" >&2
exit 1
