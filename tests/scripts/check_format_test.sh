#!/usr/bin/env bash
# scripts/check-format.sh must fail, and say why, when a tool it needs is missing: a format check
# that cannot run would otherwise pass without checking anything.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT

status=0
for missing in git clang-format; do
    rm -f "$bin"/*
    for tool in bash dirname git clang-format; do
        [[ $tool == "$missing" ]] || ln -s "$(command -v "$tool")" "$bin/$tool"
    done
    if out=$(PATH=$bin "$root/scripts/check-format.sh" 2>&1); then
        echo "FAIL: check-format.sh passed without $missing" >&2
        status=1
    elif [[ $out != *"$missing is missing"* ]]; then
        echo "FAIL: without $missing check-format.sh said: $out" >&2
        status=1
    fi
done
exit "$status"
