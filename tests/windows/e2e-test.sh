#!/usr/bin/env bash
# End to end on Windows' side of the bridge: the unzipped quillane.exe under Wine connects and
# attaches through Wine's odbc32, the host's unixODBC and the FreeTDS driver, registered under
# the name the Windows connection text asks for ("SQL Server") in this test's own odbcinst.ini,
# logging in with the test KDC's ticket, to the loopback test server.
#
#   e2e-test.sh ZIP HOST_BUILD_DIR KDC_DIR SHOTS
#
# The window sees this machine's files through Wine's drive Z:, so it names them "Z:\…"; the test
# server is told that drive Z: is "/" (--drive Z=/) and opens the same files, while its transcript
# keeps the statements exactly as they were sent. The server box gets "127.0.0.1,<port>": the
# FreeTDS driver reads Server= as a host (and port) only, so the start-up text's "." (this
# machine's default instance, for Windows' own driver) reaches nothing here.
#
# One run: three primary files in the working directory at start-up, one of them gone by the time
# the attach button is pressed. The first and last are attached, the gone one gets its name report
# in a message box, which is closed, and the run goes on.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine-lib.sh
source "$here/wine-lib.sh"

zip=$1
host=$2
kdc=$3
shots=$4
mkdir -p "$shots"
server=$host/tests/tdsserver/quillane-testserver
mdfmake=$host/tests/mdf/quillane-mdfmake
for tool in "$server" "$mdfmake"; do
    [[ -x $tool ]] || fail "no $tool: build the Linux test fixtures first (scripts/build.sh)"
done
[[ -f $kdc/env ]] || fail "the test KDC is not running in $kdc"
# KRB5_CONFIG and KRB5CCNAME (alice's ticket) for the driver inside the program, and the keytab.
# shellcheck disable=SC1091
source "$kdc/env"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillane-e2e.XXXXXX")
app_pid=
server_pid=
cleanup() {
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null
    [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

exe=$(unzip_app "$zip" "$tmp")
files=$tmp/files
mkdir -p "$files"
for db in Northwind zz_gone 库存; do
    "$mdfmake" primary "$files/$db.mdf" --name "$db" \
        --data "E:\\old\\$db.mdf" --log "E:\\old\\${db}_log.ldf" >/dev/null
    "$mdfmake" log "$files/${db}_log.ldf" --binding-of "$files/$db.mdf" >/dev/null
done

# The test server on the first free port of the range the KDC has service principals for.
ready_or_gone() { grep -q '^READY' "$tmp/server.out" || ! kill -0 "$server_pid"; }
port=
for candidate in {14331..14360}; do
    "$server" --port "$candidate" --keytab "$kdc/server.keytab" --drive Z=/ \
        --transcript "$tmp/transcript.txt" --databases "$tmp/databases.txt" \
        >"$tmp/server.out" 2>&1 </dev/null &
    server_pid=$!
    # It says READY, or ends at once when the port is taken.
    wait_for 60 ready_or_gone || true
    if grep -q '^READY' "$tmp/server.out"; then
        port=$candidate
        break
    fi
    wait "$server_pid" 2>/dev/null || true
    server_pid=
done
[[ -n $port ]] || fail "the test server found no free port: $(cat "$tmp/server.out")"

# The FreeTDS driver as "SQL Server", for this test only: nothing of the machine's registrations
# is read or changed.
mkdir -p "$tmp/odbc"
driver=$(dpkg -L tdsodbc | grep -m1 '/libtdsodbc\.so$')
printf '[SQL Server]\nDescription=FreeTDS in place of Windows'"'"' SQL Server driver\nDriver=%s\n' \
    "$driver" >"$tmp/odbc/odbcinst.ini"
: >"$tmp/odbc/odbc.ini"

start_app "$exe" "$files" ODBCSYSINI="$tmp/odbc" ODBCINI="$tmp/odbc/odbc.ini"
id=$(wait_for 180 window_named Quillane) || fail "no window within 180 s: $(cat "$tmp/wine.out")"
wait_for 60 painted "$id" 700 20 || fail "the window was not painted within 60 s"

# A failure box, if one is up: its text goes into the failure, its picture into SHOTS.
no_box() {
    local box
    box=$(window_named quillane) || return 0
    screenshot "$box" "$shots/e2e-unexpected-box.png"
    return 1
}

# Connect: the server box gets this server, then the connect button.
xdotool mousemove --window "$id" 532 68 click 1
sleep 0.5
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 30 "127.0.0.1,$port"
xdotool mousemove --window "$id" 653 75 click 1
connected() { no_box && grep -q 'login alice@TEST.LOCAL (Kerberos)' "$tmp/server.out"; }
wait_for 120 connected || {
    screenshot "$id" "$shots/e2e-window.png"
    fail "no Kerberos login reached the test server (see $shots): $(cat "$tmp/server.out")"
}
no_box || fail "connecting showed a message box (see $shots/e2e-unexpected-box.png)"

# One of the files goes before the run: its entry gets a name report.
rm "$files/zz_gone.mdf" "$files/zz_gone_log.ldf"
xdotool mousemove --window "$id" 653 131 click 1
box=$(wait_for 120 window_named quillane) || fail "the gone file's report was not shown"
sleep 1
screenshot "$box" "$shots/e2e-name-report.png"
close_box quillane 60 || fail "the report's box did not close on Enter"
# The run ends with the last entry's success line in the day's log.
logs=$(dirname "$exe")/Logs
run_ended() { iconv -f UTF-16LE -t UTF-8 "$logs"/*.log | grep -qF '附加数据库【库存】成功！'; }
wait_for 120 run_ended || fail "the run did not go on to the last entry: $(cat "$tmp/server.out")"
screenshot "$id" "$shots/e2e-window.png"
no_box || fail "a second message box came up (see $shots/e2e-unexpected-box.png)"

# The statements, exactly as the server received them, Windows paths and all.
in=$(winpath "$files")
record=0
expected_batch() {
    local text=$1$'\r\n'
    record=$((record + 1))
    printf 'BATCH %d BYTES %d LOGIN alice@TEST.LOCAL\n%s\n' "$record" \
        "$(printf '%s' "$text" | wc -c)" "$text"
}
{
    for db in Northwind zz_gone 库存; do
        expected_batch "DBCC checkprimaryfile(N'$in\\$db.mdf', 2)"
        [[ $db == zz_gone ]] && continue
        expected_batch "DBCC checkprimaryfile(N'$in\\$db.mdf', 3)"
        expected_batch "CREATE DATABASE [$db] ON "$'\r\n'"( FILENAME = N'$in\\$db.mdf' ),"$'\r\n'"( FILENAME = N'$in\\${db}_log.ldf' )"$'\r\n'" FOR ATTACH "
    done
} >"$tmp/expected-transcript.txt"
diff <(cat -A "$tmp/expected-transcript.txt") <(cat -A "$tmp/transcript.txt") ||
    fail "the server received other statements than these"

# The databases the server holds: the moved files, with their logs found beside them.
expected_databases=$(for db in Northwind 库存; do
    printf '%s\t%s\t%s\n' "$db" "${in//\\/\\\\}\\\\$db.mdf" "${in//\\/\\\\}\\\\${db}_log.ldf"
done)
[[ $(cat "$tmp/databases.txt") == "$expected_databases" ]] ||
    fail "attached: $(cat "$tmp/databases.txt")"

# The day's log beside the unzipped program: UTF-16LE without a byte-order mark, each step in
# order. The server's wording of the missing file is checked no further than its report's frame.
shopt -s nullglob
log_files=("$logs"/*.log)
[[ ${#log_files[@]} -eq 1 ]] || fail "expected one day's log in $logs, found: ${log_files[*]-none}"
[[ $(head -c2 "${log_files[0]}" | od -An -tx1 | xargs) == "5b 00" ]] ||
    fail "the log does not start with \"[\" in UTF-16LE"
iconv -f UTF-16LE -t UTF-8 "${log_files[0]}" | tr -d '\r' | sed 's/^\[[^]]*\] //' |
    sed 's/^\(检查数据库名出错！错误：\).*/\1…/' >"$tmp/log.txt"
{
    i=0
    for db in Northwind zz_gone 库存; do
        echo "选中第【$i】文件,选中文件名：$in\\$db.mdf"
        i=$((i + 1))
        if [[ $db == zz_gone ]]; then
            # The report: the server's message, then the statement, which ends with a line break.
            echo "检查数据库名出错！错误：…"
            echo " Sql:DBCC checkprimaryfile(N'$in\\$db.mdf', 2)"
            echo
            continue
        fi
        echo "附加后的数据库名：$db"
        echo "数据库文件:E:\\old\\$db.mdf"
        echo "日志文件:E:\\old\\${db}_log.ldf"
        echo "附加数据库【$db】成功！"
    done
} >"$tmp/expected-log.txt"
# Lines of the report between its frame and its statement are the server's own message.
awk '/^检查数据库名出错/ {print; skip=1; next} skip && /^ Sql:/ {skip=0} !skip' "$tmp/log.txt" |
    diff "$tmp/expected-log.txt" - || fail "the day's log differs"

stop_app "$id" || fail "the program did not end when its window was closed"
app_pid=
echo "end-to-end run under Wine passed (test server on port $port)"
