#!/usr/bin/env bash
# Throwaway MIT Kerberos KDC on 127.0.0.1 for the tests.
#
#   kdc-fixture.sh start DIR   build realm TEST.LOCAL under DIR, start krb5kdc, kinit alice
#   kdc-fixture.sh stop DIR    kill that KDC and remove DIR
#
# Everything lives under DIR; nothing in /etc is read or written. After a successful start,
# DIR/env holds the export lines to use it and DIR/ready exists.
set -euo pipefail
# krb5kdc, kdb5_util and kadmin.local live in /usr/sbin, which a non-root PATH may lack.
export PATH=$PATH:/usr/sbin:/sbin

readonly REALM=TEST.LOCAL
readonly MASTER_PW=quillane-test-master
readonly MARKER=.quillane-kdc
readonly SERVICE_PORTS=(1433 {14331..14360})

die() {
    echo "kdc-fixture: $*" >&2
    exit 1
}

usage() {
    die "usage: $0 start|stop DIR"
}

# The KDC runs with "-P DIR/krb5kdc.pid" on its command line; that is how we recognise our own
# KDC and never signal a recycled pid or somebody else's krb5kdc.
is_our_kdc() {
    local pid=$1 cmdline
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    cmdline=$(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline") || return 1
    [[ $cmdline == *krb5kdc*" -P $DIR/krb5kdc.pid"* ]]
}

kill_kdc() {
    local pid=$1 i
    is_our_kdc "$pid" || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for ((i = 0; i < 50; i++)); do
        is_our_kdc "$pid" || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

stop_kdc() {
    local pid f
    if [[ -f $DIR/krb5kdc.pid ]]; then
        kill_kdc "$(head -n1 "$DIR/krb5kdc.pid" 2>/dev/null || true)"
    fi
    # An interrupted run may have lost its pid file but left the KDC serving this DIR.
    for f in $(grep -lasF -- "$DIR/krb5kdc.pid" /proc/[0-9]*/cmdline || true); do
        pid=${f#/proc/}
        kill_kdc "${pid%/cmdline}"
    done
}

remove_dir() {
    [[ -e $DIR ]] || return 0
    # Refuse to wipe a directory this script did not create.
    if [[ ! -e $DIR/$MARKER ]] && [[ -n $(ls -A "$DIR" 2>/dev/null) ]]; then
        die "$DIR exists and was not made by this script; not removing it"
    fi
    rm -rf -- "$DIR"
}

# True when any TCP or UDP socket (IPv4 or IPv6, any address) is bound to the port.
port_in_use() {
    local hex
    hex=$(printf '%04X' "$1")
    cat /proc/net/tcp /proc/net/tcp6 /proc/net/udp /proc/net/udp6 2>/dev/null |
        awk -v p=":$hex" 'NR > 0 && substr($2, length($2) - 4) == p { found = 1 } END { exit !found }'
}

# True when every socket bound to PORT belongs to process PID. krb5kdc does not fail when another
# process already listens on its port (both get the port, as with SO_REUSEPORT), and a second KDC
# for the same realm with other keys would answer some of our requests.
port_owned_by() {
    local pid=$1 hex fd link ours=" "
    hex=$(printf '%04X' "$2")
    for fd in /proc/"$pid"/fd/*; do
        link=$(readlink "$fd" 2>/dev/null) || continue
        [[ $link == socket:\[*\] ]] && ours+="${link//[^0-9]/} "
    done
    cat /proc/net/tcp /proc/net/tcp6 /proc/net/udp /proc/net/udp6 2>/dev/null |
        awk -v p=":$hex" -v ours="$ours" '
            substr($2, length($2) - 4) == p && $10 != 0 && index(ours, " " $10 " ") == 0 { bad = 1 }
            END { exit bad }'
}

# Below the Linux ephemeral range (32768+), so outgoing connections do not take it meanwhile.
pick_port() {
    local p i
    for ((i = 0; i < 200; i++)); do
        p=$((20000 + RANDOM % 12000))
        if ! port_in_use "$p"; then
            echo "$p"
            return 0
        fi
    done
    die "no free port found"
}

write_configs() {
    local port=$1
    cat >"$DIR/krb5.conf" <<EOF
[libdefaults]
    default_realm = $REALM
    dns_lookup_kdc = false
    dns_lookup_realm = false
    dns_canonicalize_hostname = false
    rdns = false
    udp_preference_limit = 1
    ticket_lifetime = 24h
    renew_lifetime = 7d

[realms]
    $REALM = {
        kdc = 127.0.0.1:$port
    }

[domain_realm]
    localhost = $REALM
    127.0.0.1 = $REALM
EOF
    cat >"$DIR/kdc.conf" <<EOF
[kdcdefaults]
    kdc_ports = 127.0.0.1:$port
    kdc_tcp_ports = 127.0.0.1:$port

[realms]
    $REALM = {
        kdc_ports = 127.0.0.1:$port
        kdc_tcp_ports = 127.0.0.1:$port
        database_name = $DIR/db/principal
        key_stash_file = $DIR/db/stash
        acl_file = $DIR/kadm5.acl
        max_life = 24h
        max_renewable_life = 7d
    }

[logging]
    kdc = FILE:$DIR/krb5kdc.log
    admin_server = FILE:$DIR/kadmin.log
    default = FILE:$DIR/krb5lib.log
EOF
    echo "*/admin@$REALM *" >"$DIR/kadm5.acl"
}

# The names a client may put into MSSQLSvc/<host>:<port>. FreeTDS replaces a dotless host name by
# the resolver's canonical name when that one has a dot (say "localhost.localdomain"), hence the
# getent lookups.
service_hosts() {
    local h f name
    h=$(hostname 2>/dev/null || true)
    f=$(timeout 5 hostname -f 2>/dev/null || true)
    {
        printf '%s\n' 127.0.0.1 localhost "$h" "$f"
        for name in localhost "$h"; do
            if [[ -n $name ]]; then
                timeout 5 getent hosts "$name" | awk 'NR == 1 { print $2 }' || true
            fi
        done
    } 2>/dev/null | awk 'NF && !seen[$0]++'
}

create_realm() {
    kdb5_util create -r "$REALM" -s -P "$MASTER_PW" >"$DIR/kdb5_util.log" 2>&1 ||
        die "kdb5_util create failed: $(cat "$DIR/kdb5_util.log")"

    local host port spns=()
    while read -r host; do
        for port in "${SERVICE_PORTS[@]}"; do
            spns+=("MSSQLSvc/$host:$port@$REALM")
        done
    done < <(service_hosts)

    # One kadmin.local for everything: each invocation opens the database, so this is what keeps
    # start fast. ktadd takes many principals at once.
    {
        echo "addprinc -pw alice-pw alice@$REALM"
        echo "addprinc -pw bob-pw bob@$REALM"
        local spn
        for spn in "${spns[@]}"; do
            echo "addprinc -randkey $spn"
        done
        echo "ktadd -k $DIR/server.keytab ${spns[*]}"
    } | kadmin.local -r "$REALM" >"$DIR/kadmin.local.log" 2>&1 ||
        die "kadmin.local failed: $(tail -n 20 "$DIR/kadmin.local.log")"

    # kadmin.local exits 0 even when single commands fail: count what it reports as done.
    local created added
    created=$(grep -c '^Principal ".*" created\.$' "$DIR/kadmin.local.log" || true)
    added=$(klist -k "$DIR/server.keytab" 2>/dev/null | grep -c ' MSSQLSvc/' || true)
    if ((created != ${#spns[@]} + 2 || added < ${#spns[@]})); then
        die "kadmin.local created $created principals and $added keys of $((${#spns[@]} + 2)):" \
            "$(grep -Ev '^(Principal ".*" created|No policy|Entry for|Authenticating as)' \
                "$DIR/kadmin.local.log" | grep -Ev '^kadmin.local: +addprinc ' | tail -n 5)"
    fi
}

kinit_alice() {
    kinit -c "FILE:$DIR/alice.ccache" "alice@$REALM" <<<"alice-pw" >"$DIR/kinit.log" 2>&1
}

# Start krb5kdc on PORT and wait until alice has a ticket from it.
# Returns 0 on success, 1 when the KDC exited or shares its port with somebody else (try
# another), 2 when it runs but does not issue the ticket.
try_start_kdc() {
    local port=$1 pid i
    write_configs "$port"
    krb5kdc -n -P "$DIR/krb5kdc.pid" </dev/null >>"$DIR/krb5kdc.out" 2>&1 &
    pid=$!
    # Written by us at once, so a failure from here on can still find it; krb5kdc rewrites the
    # same pid once it has bound its ports.
    echo "$pid" >"$DIR/krb5kdc.pid"
    for ((i = 0; i < 100; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid" 2>/dev/null || true
            return 1
        fi
        if kinit_alice; then
            if port_owned_by "$pid" "$port"; then
                return 0
            fi
            echo "kdc-fixture: another process also listens on port $port" >&2
            kill_kdc "$pid"
            return 1
        fi
        # Anything but "not listening yet" will not get better by waiting.
        grep -q 'Cannot contact any KDC' "$DIR/kinit.log" || break
        sleep 0.1
    done
    echo "kdc-fixture: kinit alice failed: $(cat "$DIR/kinit.log")" >&2
    kill_kdc "$pid"
    return 2
}

start() {
    stop_kdc
    remove_dir
    mkdir -p "$DIR"
    touch "$DIR/$MARKER"
    mkdir -p "$DIR/db"

    # Halfway failures and interruptions (ctest timeout, Ctrl-C) leave no KDC behind.
    trap 'rc=$?; trap - EXIT; if [[ $rc -ne 0 ]]; then stop_kdc; fi; exit $rc' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM

    export KRB5_CONFIG=$DIR/krb5.conf
    export KRB5_KDC_PROFILE=$DIR/kdc.conf
    export KRB5CCNAME=FILE:$DIR/alice.ccache
    export KRB5_KTNAME=FILE:$DIR/server.keytab
    unset KRB5_CLIENT_KTNAME KRB5_TRACE

    local port
    # The realm is created once; only the port lives in the config files, which are rewritten
    # for each attempt.
    port=$(pick_port)
    write_configs "$port"
    create_realm

    local attempt rc=1
    for ((attempt = 0; attempt < 5 && rc == 1; attempt++)); do
        port=$(pick_port)
        rc=0
        try_start_kdc "$port" || rc=$?
        if ((rc == 1)); then
            echo "kdc-fixture: krb5kdc could not serve port $port alone, trying another" >&2
        fi
    done
    ((rc == 0)) || die "krb5kdc did not start: $(tail -n 20 "$DIR/krb5kdc.out" "$DIR/krb5kdc.log" 2>/dev/null)"

    cat >"$DIR/env" <<EOF
export KRB5_CONFIG='$DIR/krb5.conf'
export KRB5_KDC_PROFILE='$DIR/kdc.conf'
export KRB5CCNAME='FILE:$DIR/alice.ccache'
export KRB5_KTNAME='FILE:$DIR/server.keytab'
EOF
    echo "$port" >"$DIR/port"
    touch "$DIR/ready"
    echo "kdc-fixture: realm $REALM on 127.0.0.1:$port (pid $(cat "$DIR/krb5kdc.pid")), env in $DIR/env"
}

stop() {
    stop_kdc
    remove_dir
}

[[ $# -eq 2 ]] || usage
[[ -n $2 && $2 != / ]] || die "refusing DIR '$2'"
DIR=$(realpath -m -- "$2")
[[ $DIR != / ]] || die "refusing DIR '$2'"

case $1 in
    start) start ;;
    stop) stop ;;
    *) usage ;;
esac
