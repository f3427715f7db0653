#!/usr/bin/env bash
# Sets the machine up and builds the named targets (everything when none is named) into
# $QUILLANE_BUILD_DIR (default: build/ at the top of the tree). Under CI warnings are errors.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILLANE_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
options=(-DQUILLANE_WERROR="$([[ -n ${CI:-} ]] && echo ON || echo OFF)")
if [[ ! -f $build/CMakeCache.txt ]] && command -v ninja >/dev/null; then
    options+=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${options[@]}" >/dev/null
targets=()
(($#)) && targets=(--target "$@")
cmake --build "$build" -j"${QUILLANE_JOBS:-2}" "${targets[@]}"
