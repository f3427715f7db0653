#!/usr/bin/env bash
# Starts the test KDC in a temp directory and quillane-testserver on 127.0.0.1:1433 with the SQL
# login quill/quill, for trying things by hand. Ctrl-C stops both.
#   tests/tdsserver/run-local.sh [BUILD_DIR]     (default: build/ at the top of the tree)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath -m "${1:-$here/../../build}")
QUILLANE_BUILD_DIR=$build "$here/../../scripts/build.sh" quillane-testserver
server=$build/tests/tdsserver/quillane-testserver
run=$(mktemp -d /tmp/quillane-local-XXXXXX)
mkdir "$run/log"
trap 'bash "$here/../kdc/kdc-fixture.sh" stop "$run/kdc" >/dev/null 2>&1 || true; rm -rf "$run"' EXIT
bash "$here/../kdc/kdc-fixture.sh" start "$run/kdc"
cat <<MSG

Connect with (in another shell):
  tsql -H 127.0.0.1 -p 1433 -U quill -P quill
  source $run/kdc/env
  isql -v -e -k "Driver={FreeTDS};Server=127.0.0.1;Port=1433;Trusted_Connection=Yes;TDS_Version=7.4"
(isql needs -e: the server answers SQL batches, not the prepared-statement RPCs of SQLPrepare.)
Transcript: $run/transcript   Attached databases: $run/databases   Rebuilt logs: $run/log

MSG
source "$run/kdc/env"
"$server" --port 1433 --keytab "$run/kdc/server.keytab" --sql-login quill:quill \
    --transcript "$run/transcript" --databases "$run/databases" --log-dir "$run/log"
