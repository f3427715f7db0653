#!/usr/bin/env bash
# Sets the machine up, builds everything and runs every test.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

"$root/scripts/build.sh"
ctest --test-dir "${QUILLANE_BUILD_DIR:-$root/build}" --output-on-failure --no-tests=error -j2
