#!/usr/bin/env bash
# Checks the Debian package as a user gets it: lintian, what it holds, its desktop entry and
# metainfo; then installs it with apt into a throwaway root and, there, registers FreeTDS only when
# nobody had, starts the installed window as a user and as root from a directory of primary files,
# presses "附加数据库" and finds the first log entry in the state directory (never in /usr/bin),
# and removes the package again.
#
#   tests/package/install-test.sh [--chroot] [DEB]
#
# DEB defaults to the one scripts/package.sh built. Needs root (mounts, chroot).
#
# By default the throwaway root is this machine's own file system seen through an overlay whose
# changes live in memory, in a mount namespace of its own: apt finds every dependency already
# installed (scripts/setup.sh), nothing reaches the host, and it takes seconds. With --chroot it
# is a fresh minimal Debian 12 made by mmdebstrap, from which apt has to fetch every dependency the
# package names: that shows the dependencies are complete. It needs the network and a few minutes.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)

fresh=false
if [[ ${1:-} == --chroot ]]; then
    fresh=true
    shift
fi
deb=${1:-}
if [[ -z $deb ]]; then
    debs=("${QUILLANE_BUILD_DIR:-$root/build}"/quillane_*_amd64.deb)
    deb=${debs[-1]}
fi
[[ -f $deb ]] || { echo "install-test: no package at $deb (scripts/package.sh builds it)" >&2; exit 1; }
deb=$(realpath "$deb")
[[ $(id -u) -eq 0 ]] || { echo "install-test: needs root" >&2; exit 1; }

fail() {
    echo "install-test: FAILED: $*" >&2
    exit 1
}

# Everything below runs in a mount namespace of its own: its mounts end with it.
if [[ -z ${QUILLANE_INSTALL_TEST_INSIDE:-} ]]; then
    QUILLANE_INSTALL_TEST_INSIDE=1 exec unshare --mount --propagation private \
        "$0" $($fresh && echo --chroot) "$deb"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillane-install-test.XXXXXX")
base=$scratch/root
mkdir -p "$base"
# Everything mounted for the root sits under $base, itself a mount point: one recursive unmount
# takes it all away, and the removal never crosses into a mount (the root's /dev is the host's).
cleanup() {
    umount -R "$base" 2>/dev/null || true
    rm -rf --one-file-system "$scratch"
}
trap cleanup EXIT

echo "install-test: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# --- The package itself -------------------------------------------------------------------------

echo "install-test: lintian"
status=0
lintian --fail-on error,warning "$deb" >"$scratch/lintian.out" 2>&1 || status=$?
grep -v 'running with root privileges' "$scratch/lintian.out" || true
((status == 0)) || fail "lintian reports errors or warnings"

expected_files=(
    /usr/bin/quillane
    /usr/bin/quillane-attach
    /usr/share/applications/org.quillane.Quillane.desktop
    /usr/share/doc/quillane/changelog.gz
    /usr/share/doc/quillane/copyright
    /usr/share/icons/hicolor/16x16/apps/quillane.png
    /usr/share/icons/hicolor/256x256/apps/quillane.png
    /usr/share/icons/hicolor/32x32/apps/quillane.png
    /usr/share/icons/hicolor/48x48/apps/quillane.png
    /usr/share/man/man1/quillane-attach.1.gz
    /usr/share/man/man1/quillane.1.gz
    /usr/share/metainfo/org.quillane.Quillane.metainfo.xml
)
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./|/|' | LC_ALL=C sort)
if [[ $files != "$(printf '%s\n' "${expected_files[@]}" | LC_ALL=C sort)" ]]; then
    diff <(printf '%s\n' "${expected_files[@]}" | LC_ALL=C sort) <(echo "$files") >&2 || true
    fail "the package holds other files than the product's (- missing, + extra)"
fi

depends=$(dpkg-deb -f "$deb" Depends)
for needed in tdsodbc unixodbc odbcinst qt6-qpa-plugins qt6-translations-l10n fonts-noto-cjk \
    libqt6widgets6 libodbc2; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
[[ $(dpkg-deb -f "$deb" Recommends) == *krb5-user* ]] || fail "krb5-user is not recommended"

unpacked=$scratch/unpacked
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/org.quillane.Quillane.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net "$unpacked/usr/share/metainfo/org.quillane.Quillane.metainfo.xml" ||
    fail "appstreamcli validate"
for size in 16 32 48 256; do
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    read -r width height < <(od -An -tu4 --endian=big -j16 -N8 \
        "$unpacked/usr/share/icons/hicolor/${size}x$size/apps/quillane.png")
    [[ $width == "$size" && $height == "$size" ]] ||
        fail "the ${size}x$size icon is ${width}x$height"
done

# --- A throwaway root ---------------------------------------------------------------------------

if $fresh; then
    echo "install-test: making a fresh Debian 12 with mmdebstrap"
    command -v mmdebstrap >/dev/null ||
        DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q mmdebstrap \
            >/dev/null
    # The package lists stay, for apt to fetch the package's dependencies from.
    mmdebstrap --variant=apt --skip=cleanup/apt/lists --include=xvfb,xauth,xdotool bookworm "$base" \
        http://deb.debian.org/debian >"$scratch/mmdebstrap.log" 2>&1 ||
        { cat "$scratch/mmdebstrap.log" >&2; fail "mmdebstrap"; }
    mount --bind "$base" "$base"
    target=$base
else
    # The overlay's changes go to memory, not to a disk the host may be overlaying already.
    mount -t tmpfs -o mode=0755 quillane-install-test "$base"
    mkdir -p "$base/upper" "$base/work" "$base/merged"
    mount -t overlay overlay -o "lowerdir=/,upperdir=$base/upper,workdir=$base/work" "$base/merged"
    target=$base/merged
fi
mount --rbind /dev "$target/dev"
mount -t proc proc "$target/proc"
mount -t tmpfs -o mode=1777 tmp "$target/tmp"
mount -t tmpfs -o mode=0755 run "$target/run"
cp /etc/resolv.conf "$target/etc/resolv.conf" 2>/dev/null || true

mkdir -p "$target/tmp/t"
cp "$deb" "$here/in-root.sh" "$here/press-attach.sh" "$target/tmp/t/"
echo "install-test: installing into the throwaway root with apt"
chroot "$target" /bin/bash /tmp/t/in-root.sh "/tmp/t/$(basename "$deb")"
echo "install-test: passed in ${SECONDS} s"
