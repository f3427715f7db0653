#!/usr/bin/env bash
# Builds Quillane in release mode (into build-release/ at the top of the tree, or
# $QUILLANE_BENCH_BUILD_DIR) and runs the benchmarks, each printing its figures beside its
# baseline. Nothing here passes or fails on time.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILLANE_BENCH_BUILD_DIR:-$root/build-release}

"$root/scripts/setup.sh"
options=(-DCMAKE_BUILD_TYPE=Release)
if [[ ! -f $build/CMakeCache.txt ]] && command -v ninja >/dev/null; then
    options+=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${options[@]}" >/dev/null

# --- quillane-attach: --jobs 1, --jobs 4 and the bare ODBC loop, against the test server taking
# 20 ms over every statement. It logs in with Kerberos, so the test KDC runs meanwhile.
cmake --build "$build" -j"${QUILLANE_JOBS:-2}" --target quillane_cli_bench
kdc=$build/kdc-run
bash "$root/tests/kdc/kdc-fixture.sh" start "$kdc" >/dev/null
trap 'bash "$root/tests/kdc/kdc-fixture.sh" stop "$kdc" >/dev/null 2>&1 || true' EXIT
"$build/bench/quillane_cli_bench"
# --- end of quillane-attach
