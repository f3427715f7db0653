#!/usr/bin/env bash
# quillane-attach.exe under Wine reads primary files and their logs through Windows' own file
# calls: a file with a Chinese name whose log lies beside it, and a file that is not there.
#
#   inspect-test.sh HOST_BUILD_DIR DLL_DIR... -- QUILLANE_ATTACH_EXE
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine-lib.sh
source "$here/wine-lib.sh"

mdfmake=$1/tests/mdf/quillane-mdfmake
shift
[[ -x $mdfmake ]] || fail "no $mdfmake: build the Linux test fixtures first (scripts/build.sh)"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillane-inspect.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

"$mdfmake" primary "$tmp/库存.mdf" --name 库存 --data 'E:\old\库存.mdf' \
    --log 'E:\old\库存_log.ldf' >/dev/null
"$mdfmake" log "$tmp/库存_log.ldf" --binding-of "$tmp/库存.mdf" >/dev/null
dir=$(winpath "$tmp")
status=0
bash "$here/wine-run.sh" "$@" inspect --json "$dir\\库存.mdf" "$dir\\gone.mdf" \
    >"$tmp/out.json" || status=$?
# One JSON object a line; backslashes are doubled inside JSON strings.
json_dir=${dir//\\/\\\\}
expect() {
    grep -qF -- "$2" <(sed -n "$1p" "$tmp/out.json") ||
        fail "line $1 lacks $2: $(cat "$tmp/out.json")"
}
expect 1 '"databaseName":"库存"'
expect 1 '"read":"ok","ready":true'
expect 1 "{\"attachPath\":\"$json_dir\\\\库存_log.ldf\",\"check\":\"found\",\"fileId\":2"
expect 2 "\"file\":\"$json_dir\\\\gone.mdf\",\"read\":\"notFound\",\"ready\":false"
[[ $status -eq 1 ]] || fail "exit status $status, not 1 (one file is not ready)"
echo "inspect under Wine passed"
