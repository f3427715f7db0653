#!/usr/bin/env bash
# Builds the benchmarks in release mode into a build directory of their own and runs them; every
# program prints each of its figures beside its baseline, measured in the same run, with the
# ratio and the goal.
#
#   scripts/bench.sh                       every benchmark program
#   scripts/bench.sh window server         only these (names below)
#   scripts/bench.sh engine -- --benchmark_filter=AddLog --benchmark_repetitions=20
#
# Arguments after "--" go to every program run (Google Benchmark's options). The machine may be
# busy with other work: figures are medians of repetitions whose two sides are interleaved, and
# only the ratios beside them are worth comparing between runs. QUILLANE_BENCH_BUILD_DIR picks
# another build directory (default: build-bench/ at the top of the tree).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILLANE_BENCH_BUILD_DIR:-$root/build-bench}

# One block per benchmark program: its name here, the targets it needs, and how it runs.
programs=()
declare -A targets=()

programs+=(engine)
targets[engine]="quillane_bench"
bench_engine() {
    "$build/bench/quillane_bench" "$@"
}

programs+=(window)
targets[window]="quillane_window_bench"
bench_window() {
    QT_QPA_PLATFORM=offscreen "$build/bench/quillane_window_bench" "$@"
}

programs+=(server)
targets[server]="quillane_server_bench quillane-testserver"
bench_server() {
    # The test KDC of the bench build (the program finds it where the build put it).
    local kdc=$build/kdc-run
    bash "$root/tests/kdc/kdc-fixture.sh" start "$kdc" >/dev/null
    local status=0
    QT_QPA_PLATFORM=offscreen "$build/bench/quillane_server_bench" "$@" || status=$?
    bash "$root/tests/kdc/kdc-fixture.sh" stop "$kdc" >/dev/null || true
    return "$status"
}

programs+=(cli)
targets[cli]="quillane_cli_bench quillane-attach quillane-testserver"
bench_cli() {
    # quillane-attach --jobs 1, --jobs 4 and the bare ODBC loop against the test server taking
    # 20 ms over every statement; it takes no Google Benchmark options. It logs in with Kerberos,
    # so the test KDC runs meanwhile.
    local kdc=$build/kdc-run
    bash "$root/tests/kdc/kdc-fixture.sh" start "$kdc" >/dev/null
    local status=0
    "$build/bench/quillane_cli_bench" || status=$?
    bash "$root/tests/kdc/kdc-fixture.sh" stop "$kdc" >/dev/null || true
    return "$status"
}

chosen=()
while (($#)) && [[ $1 != -- ]]; do
    if [[ -z ${targets[$1]+set} ]]; then
        echo "bench.sh: no benchmark program \"$1\" (there are: ${programs[*]})" >&2
        exit 2
    fi
    chosen+=("$1")
    shift
done
(($#)) && shift  # the "--"
((${#chosen[@]})) || chosen=("${programs[@]}")

"$root/scripts/setup.sh"
options=(-DCMAKE_BUILD_TYPE=Release -DQUILLANE_BUILD_TESTS=ON -DQUILLANE_BUILD_BENCH=ON)
if [[ ! -f $build/CMakeCache.txt ]] && command -v ninja >/dev/null; then
    options+=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${options[@]}" >/dev/null
build_targets=()
for program in "${chosen[@]}"; do
    read -ra needed <<<"${targets[$program]}"
    build_targets+=("${needed[@]}")
done
cmake --build "$build" -j"${QUILLANE_JOBS:-2}" --target "${build_targets[@]}"

# Each program's full report as it runs, and all the figures together at the end.
out=$(mktemp -d "${TMPDIR:-/tmp}/quillane-bench.XXXXXX")
trap 'rm -rf "$out"' EXIT
status=0
for program in "${chosen[@]}"; do
    echo
    echo "=== $program"
    "bench_$program" "$@" 2>&1 | tee "$out/$program" || status=$?
done
echo
echo "=== Figures beside their baselines"
for program in "${chosen[@]}"; do
    echo "$program:"
    sed -n '/^Figures beside their baselines/,$p' "$out/$program" | tail -n +2
done
exit "$status"
