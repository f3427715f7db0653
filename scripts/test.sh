#!/usr/bin/env bash
# Sets the machine up, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
build=${QUILLANE_BUILD_DIR:-build}
werror=OFF
[[ -n ${CI:-} ]] && werror=ON
cmake -S . -B "$build" -DQUILLANE_WERROR="$werror" >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure --no-tests=error -j2
