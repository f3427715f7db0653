#!/usr/bin/env bash
# Runs a Windows test program under Wine with the DLLs it needs found where they were built.
#
#   wine-run.sh DLL_DIR... -- PROGRAM [ARG...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine-lib.sh
source "$here/wine-lib.sh"

path=
while [[ $1 != -- ]]; do
    path+="${path:+;}$(winpath "$1")"
    shift
done
shift
export WINEPATH=$path
exec "$wine" "$@"
