#!/bin/bash
# The part of install-test.sh that runs inside the throwaway root: install, use and remove the
# package as a Debian user would.
#
#   in-root.sh DEB
set -euo pipefail

deb=$1
here=$(dirname "$0")
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
apt=(apt-get -q -y -o DPkg::Lock::Timeout=120 -o Dpkg::Use-Pty=0)
marker=/var/lib/quillane/registered-freetds

fail() {
    echo "install-test: FAILED: $*" >&2
    exit 1
}
registered() { odbcinst -q -d -n FreeTDS >/dev/null 2>&1; }
# apt as the README says, once, for the dependencies; dpkg after that, which is what apt runs.
install_with_apt() {
    "${apt[@]}" install --no-install-recommends "$deb" >/tmp/apt.log 2>&1 ||
        { cat /tmp/apt.log >&2; fail "apt-get install $deb"; }
}
install_package() {
    dpkg -i "$deb" >/tmp/dpkg.log 2>&1 || { cat /tmp/dpkg.log >&2; fail "dpkg -i $deb"; }
}
purge_package() {
    dpkg --purge quillane >/tmp/dpkg.log 2>&1 || { cat /tmp/dpkg.log >&2; fail "dpkg --purge"; }
}

echo "install-test: FreeTDS registered before: left as it was"
# Here already (scripts/setup.sh), or registered by tdsodbc itself as apt brings it in.
registered_before=false
if registered; then
    registered_before=true
    cp /etc/odbcinst.ini /tmp/odbcinst.before
fi
install_with_apt
[[ $(command -v quillane) == /usr/bin/quillane ]] || fail "quillane is not on the PATH"
quillane-attach --version >/dev/null || fail "quillane-attach does not run"
if $registered_before; then
    cmp -s /etc/odbcinst.ini /tmp/odbcinst.before || fail "installing changed /etc/odbcinst.ini"
elif [[ -e $marker ]]; then
    # Nobody had registered FreeTDS, so the package did; begin again with it registered.
    purge_package
    odbcinst -i -d -f /usr/share/tdsodbc/odbcinst.ini >/dev/null
    install_package
fi
registered || fail "FreeTDS is not registered"
[[ ! -e $marker ]] || fail "the package claims a FreeTDS registration it did not make"
cp /etc/odbcinst.ini /tmp/odbcinst.installed
purge_package
cmp -s /etc/odbcinst.ini /tmp/odbcinst.installed || fail "removing changed /etc/odbcinst.ini"

echo "install-test: FreeTDS not registered: the package registers it, and takes it back"
for _ in 1 2 3 4 5; do
    registered || break
    odbcinst -u -d -n FreeTDS >/dev/null
done
registered && fail "cannot unregister FreeTDS to begin with"
install_package
registered || fail "the package did not register FreeTDS"

# The window as an ordinary user and as root, each from a directory of primary files. The
# connection fails (there is no server, and no network in there); the first entry is logged
# before the server is asked.
useradd --create-home dba 2>/dev/null || true
for user in dba root; do
    home=$(getent passwd "$user" | cut -d: -f6)
    echo "install-test: the installed window, as $user"
    files=$home/restore
    rm -rf "$files" "$home/.local/state/quillane"
    mkdir -p "$files"
    touch "$files/Northwind.mdf" "$files/pubs.mdf"
    chown -R "$user:" "$files"
    # A network and a process tree of its own: its X server cannot meet the host's (abstract
    # sockets belong to the network namespace), and nothing outlives the run.
    unshare --net --pid --fork --mount-proc \
        runuser -u "$user" -- env -u XDG_STATE_HOME HOME="$home" \
        bash -c 'cd "$1" && exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$2" "$3"' \
        _ "$files" "$here/press-attach.sh" "$home/.local/state/quillane/Logs" || {
        [[ ! -e /usr/bin/Logs ]] || fail "the installed program logged into /usr/bin/Logs as $user"
        fail "no log entry as $user (see above)"
    }
    log=$(ls "$home/.local/state/quillane/Logs/"*.log)
    first=$(iconv -f UTF-16LE -t UTF-8 "$log" | head -1 | tr -d '\r')
    [[ $first =~ ^\[.+\]\ 选中第【0】文件,选中文件名：$files/Northwind\.mdf$ ]] ||
        fail "first log entry as $user: $first"
    echo "install-test:   $log: $first"
    [[ ! -e /usr/bin/Logs ]] || fail "the installed program wrote into /usr/bin/Logs as $user"
done

purge_package
registered && fail "removing the package left its FreeTDS registration behind"
[[ ! -e /var/lib/quillane ]] || fail "removing the package left /var/lib/quillane"
exit 0
