#!/usr/bin/env bash
# kdc-smoke.sh DIR: the KDC started by kdc-fixture.sh works for the stock MIT tools.
set -euo pipefail
export PATH=$PATH:/usr/sbin:/sbin

DIR=$1
fail() {
    echo "kdc-smoke: $*" >&2
    exit 1
}

[[ -f $DIR/ready ]] || fail "$DIR/ready missing: the KDC was not started"
# shellcheck source=/dev/null
source "$DIR/env"

out=$(klist)
grep -q '^Default principal: alice@TEST.LOCAL$' <<<"$out" || fail "klist: $out"
grep -q 'krbtgt/TEST.LOCAL@TEST.LOCAL' <<<"$out" || fail "no TGT in: $out"

# Service tickets go into a copy, so this test leaves alice's cache as the fixture made it.
cache=$(mktemp "$DIR/smoke-XXXXXX.ccache")
trap 'rm -f "$cache"' EXIT
cp "$DIR/alice.ccache" "$cache"
export KRB5CCNAME=FILE:$cache

# -k: the ticket must also decrypt with the key in the server keytab.
for spn in MSSQLSvc/127.0.0.1:1433@TEST.LOCAL MSSQLSvc/localhost:14360@TEST.LOCAL \
    "MSSQLSvc/$(hostname):1433@TEST.LOCAL"; do
    kvno -k "$DIR/server.keytab" "$spn" || fail "kvno $spn"
done

keys=$(klist -k "$DIR/server.keytab")
for spn in MSSQLSvc/127.0.0.1:1433@TEST.LOCAL MSSQLSvc/127.0.0.1:14331@TEST.LOCAL \
    MSSQLSvc/localhost:14360@TEST.LOCAL "MSSQLSvc/$(hostname):1433@TEST.LOCAL"; do
    grep -qF " $spn" <<<"$keys" || fail "$spn not in the keytab"
done

# bob exists with his password, but the fixture gives him no ticket.
kinit -c "FILE:$cache" bob@TEST.LOCAL <<<"bob-pw" >/dev/null || fail "kinit bob"

# An absent cache means no credentials at all.
export KRB5CCNAME=FILE:$DIR/no-ticket.ccache
if klist -s; then fail "a ticket where there should be none"; fi
if kvno MSSQLSvc/127.0.0.1:1433@TEST.LOCAL 2>/dev/null; then fail "kvno without a ticket"; fi
echo "kdc-smoke: ok"
