#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it, and when the check cannot be
# made at all (no git, no clang-format, no files): a check that cannot run must not pass.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in git clang-format; do
    if ! command -v "$tool" >/dev/null; then
        echo "check-format.sh: $tool is missing (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done
listing=$(git ls-files '*.cpp' '*.h')
mapfile -t files <<<"$listing"
if [[ -z $listing ]]; then
    echo "check-format.sh: git lists no C++ files to check" >&2
    exit 1
fi
clang-format --dry-run --Werror "${files[@]}"
