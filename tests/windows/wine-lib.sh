# shellcheck shell=bash
# Shared by the tests that run Windows programs under Wine; sourced, not run.
#
# They run inside scripts/windows-test.sh, which makes a fresh WINEPREFIX for the run, keeps its
# wineserver up and starts a virtual display (DISPLAY). Nothing here falls back to ~/.wine.

if [[ -z ${WINEPREFIX:-} || ! -d ${WINEPREFIX:-} ]]; then
    echo "WINEPREFIX names no prefix: run the Windows tests through scripts/windows-test.sh" >&2
    exit 1
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A host path as Wine's drive Z: shows it.
winpath() {
    local path
    path=$(realpath -m "$1")
    echo "Z:${path//\//\\}"
}

# Waits (bounded: a loaded machine is slow, a hung one must not hold the run) until `$@`
# succeeds; its output is left on stdout. Fails after $1 seconds.
wait_for() {
    local seconds=$1 end
    shift
    end=$((SECONDS + seconds))
    until "$@" 2>/dev/null; do
        ((SECONDS < end)) || return 1
        sleep 0.3
    done
}

# The visible top-level X window whose title is exactly $1 (xdotool's own match ignores letter
# case, and the program's boxes are titled "quillane" beside its window "Quillane").
window_named() {
    local id
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        if [[ $(xdotool getwindowname "$id" 2>/dev/null) == "$1" ]]; then
            echo "$id"
            return 0
        fi
    done
    return 1
}

# "WIDTHxHEIGHT" of an X window.
window_size() {
    xdotool getwindowgeometry "$1" | sed -n 's/^ *Geometry: //p'
}

# Saves a picture of X window $1 as PNG file $2.
screenshot() {
    xwd -silent -id "$1" | xwdtopnm 2>/dev/null | pnmtopng >"$2"
}

# "R G B" of the pixel at ($2, $3) of X window $1.
pixel() {
    xwd -silent -id "$1" | xwdtopnm 2>/dev/null |
        pnmcut -left "$2" -top "$3" -width 1 -height 1 | pnmtoplainpnm | sed -n '4p' | xargs
}

# Starts the Windows program $1 with the working directory $2 (the rest: its environment as
# NAME=VALUE) and leaves its pid in app_pid. Its output goes to $2/../wine.out.
start_app() {
    local exe=$1 dir=$2
    shift 2
    (cd "$dir" && exec env "$@" "$wine" "$exe") >"$dir/../wine.out" 2>&1 </dev/null &
    app_pid=$!
}

# Closes the program's window as a user does (Alt+F4, again every few seconds while a busy
# machine has not handled it) and waits for the program to end; kills it when it does not within
# the bound.
stop_app() {
    local id=$1 end=$((SECONDS + 60)) next=0
    while kill -0 "$app_pid" 2>/dev/null && ((SECONDS < end)); do
        if ((SECONDS >= next)); then
            xdotool windowfocus --sync "$id" 2>/dev/null || true
            xdotool key --clearmodifiers alt+F4 2>/dev/null || true
            next=$((SECONDS + 5))
        fi
        sleep 0.3
    done
    if kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
        return 1
    fi
    wait "$app_pid" 2>/dev/null || true
}

# Presses the default button (Enter) of the box titled $1 until it has gone, within $2 seconds.
close_box() {
    local title=$1 end=$((SECONDS + $2)) box
    while box=$(window_named "$title"); do
        ((SECONDS < end)) || return 1
        xdotool windowfocus --sync "$box" 2>/dev/null || true
        xdotool key --clearmodifiers Return 2>/dev/null || true
        sleep 2
    done
}

# Whether the window has had its first paint: the Silver background (#dcdfe3) shows at ($2, $3).
painted() {
    [[ $(pixel "$1" "$2" "$3") == "220 223 227" ]]
}

# The zip unpacked into a folder of its own under $2 whose name has a blank and Chinese in it:
# the program must run from wherever it is put. Prints the program's path.
unzip_app() {
    local zip=$1 into="$2/解压 到此"
    [[ -f $zip ]] || fail "no $zip: run scripts/windows-build.sh first"
    mkdir -p "$into"
    unzip -q "$zip" -d "$into"
    echo "$into/quillane-1.0.0-win64/quillane.exe"
}
