#!/usr/bin/env bash
# Tries Quillane for real on a machine without SQL Server.
#
#   scripts/try-it.sh
#
# The loopback test server (tests/tdsserver) stands in for SQL Server: it is NOT SQL Server, only
# the small part of it Quillane talks to (logging in over TDS with Kerberos, DBCC
# checkprimaryfile and CREATE DATABASE ... FOR ATTACH, reading the .mdf files for real). This
# script starts a throwaway Kerberos KDC (the test fixture) and that server on 127.0.0.1:1433,
# writes a few sample primary data files with their log files into a temporary directory, and
# opens the window there, so that pressing "附加数据库" attaches them over the real ODBC driver
# (unixODBC + FreeTDS). The window's initial connection (server ".") already points at it.
# Everything is removed when the window closes; the run log stays in build/ui/Logs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILLANE_BUILD_DIR:-$root/build}

"$root/scripts/build.sh" quillane quillane-testserver quillane-mdfmake

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillane-try.XXXXXX")
kdc=$tmp/kdc
server_pid=

cleanup() {
    if [[ -n $server_pid ]]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    bash "$root/tests/kdc/kdc-fixture.sh" stop "$kdc" >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "try-it: starting the test KDC (realm TEST.LOCAL)"
bash "$root/tests/kdc/kdc-fixture.sh" start "$kdc"
# KRB5_CONFIG, KRB5CCNAME (alice's ticket) and the server's keytab, for everything started below.
# shellcheck disable=SC1091
source "$kdc/env"

files=$tmp/files
mkdir -p "$files"
mdfmake=$build/tests/mdf/quillane-mdfmake
for db in Northwind pubs Sales2024 库存; do
    "$mdfmake" primary "$files/$db.mdf" --name "$db" \
        --data "E:\\old\\$db.mdf" --log "E:\\old\\${db}_log.ldf" >/dev/null
    "$mdfmake" log "$files/${db}_log.ldf" --binding-of "$files/$db.mdf" >/dev/null
done

echo "try-it: starting the loopback test server (standing in for SQL Server) on 127.0.0.1:1433"
"$build/tests/tdsserver/quillane-testserver" --port 1433 --keytab "$kdc/server.keytab" \
    --transcript "$tmp/transcript.txt" --databases "$tmp/databases.txt" \
    >"$tmp/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    grep -q '^READY' "$tmp/server.out" 2>/dev/null && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
        server_pid=
        echo "try-it: the test server did not start (is port 1433 taken?):" >&2
        cat "$tmp/server.out" >&2
        exit 1
    fi
    sleep 0.1
done

echo "try-it: opening the window in $files — press 附加数据库 to attach the sample files"
cd "$files"
status=0
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    echo "try-it: no display; running the window under xvfb-run -a" >&2
    xvfb-run -a "$build/ui/quillane" || status=$?
else
    "$build/ui/quillane" || status=$?
fi

echo "try-it: databases the test server attached:"
if [[ -s $tmp/databases.txt ]]; then
    sed 's/^/  /' "$tmp/databases.txt"
else
    echo "  (none)"
fi
exit "$status"
