#!/usr/bin/env bash
# Builds the Debian package: the programs (in the build directory scripts/build.sh uses, installed
# under /usr) and cpack, giving build/quillane_<version>_amd64.deb. Install it with
#
#   sudo apt install ./build/quillane_1.0.0_amd64.deb
#
# tests/package/install-test.sh checks the package in a throwaway root.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUILLANE_BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
# The package installs under /usr; the programs know where that is (an installed program keeps
# its log out of /usr/bin, even for root).
options=(-DCMAKE_INSTALL_PREFIX=/usr -DQUILLANE_WERROR="$([[ -n ${CI:-} ]] && echo ON || echo OFF)")
if [[ ! -f $build/CMakeCache.txt ]] && command -v ninja >/dev/null; then
    options+=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"${QUILLANE_JOBS:-2}" --target quillane quillane-attach quillane_compressed_docs
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/quillane_*.deb
