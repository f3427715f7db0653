#!/usr/bin/env bash
# Cross-compiles Quillane for 64-bit Windows with Debian's mingw-w64 compilers against the Qt in
# ../shared/toolchains (the product and the tests that run on Windows), checks the manifest and
# the version resource inside quillane.exe, and packs the portable zip:
#
#   scripts/windows-build.sh        → build-win/quillane-1.0.0-win64.zip
#
# QUILLANE_TOOLCHAINS names another folder holding the Qt archive and its toolchain file,
# QUILLANE_WIN_BUILD_DIR another build directory. Under CI warnings are errors. The Linux build
# and its tests never need any of this.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
toolchains=${QUILLANE_TOOLCHAINS:-$root/../shared/toolchains}
build=${QUILLANE_WIN_BUILD_DIR:-$root/build-win}
qt_archive=qt6-mingw64-6.4.2.tar.xz
triple=x86_64-w64-mingw32
zip_name=quillane-1.0.0-win64

if [[ ! -f $toolchains/$qt_archive || ! -f $toolchains/mingw64-toolchain.cmake ]]; then
    cat >&2 <<EOF
windows-build.sh: no Qt for Windows in $toolchains
($qt_archive and mingw64-toolchain.cmake are needed). Build them once from Debian's own
qt6-base sources with the script that made them (about 15 minutes of two cores, as root on
Debian 12):
    Q=/tmp/qt-mingw bash build-qt-mingw.sh
then copy /tmp/qt-mingw/$qt_archive and /tmp/qt-mingw/mingw64-toolchain.cmake into one folder
and run this script again with QUILLANE_TOOLCHAINS=<that folder>.
EOF
    exit 2
fi
toolchains=$(cd "$toolchains" && pwd)

# Cross compilers and resource tools; Debian's own Qt host tools (moc, rcc) match the 6.4.2
# inside the archive; the Chinese Qt translations go into the zip.
"$root/scripts/setup.sh" g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    binutils-mingw-w64-x86-64 mingw-w64-tools ninja-build xz-utils zip qt6-translations-l10n

mkdir -p "$build"
build=$(cd "$build" && pwd)

# Qt unpacked into the build directory, again whenever the archive changes.
qt=$build/qt
sum=$(sha256sum "$toolchains/$qt_archive" | cut -d' ' -f1)
if [[ $(cat "$qt/.archive" 2>/dev/null) != "$sum" ]]; then
    if [[ -f $toolchains/$qt_archive.sha256 ]]; then
        (cd "$toolchains" && sha256sum --quiet -c "$qt_archive.sha256")
    fi
    rm -rf "$qt"
    mkdir -p "$qt"
    tar -xJf "$toolchains/$qt_archive" -C "$qt"
    echo "$sum" >"$qt/.archive"
fi

options=(-DQUILLANE_WERROR="$([[ -n ${CI:-} ]] && echo ON || echo OFF)")
[[ -f $build/CMakeCache.txt ]] || options+=(-G Ninja -DCMAKE_BUILD_TYPE=Release)
cmake -S "$root" -B "$build" "${options[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchains/mingw64-toolchain.cmake" \
    -DCMAKE_PREFIX_PATH="$qt/install" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQUILLANE_BUILD_BENCH=OFF -DQUILLANE_HOST_BUILD_DIR="${QUILLANE_BUILD_DIR:-$root/build}" \
    >/dev/null
cmake --build "$build" -j"${QUILLANE_JOBS:-2}"

exe=$build/ui/quillane.exe

# The manifest and the version resource, read back out of the executable.
check_resources() {
    local rc missing=()
    rc=$("$triple-windres" -J coff -O rc -i "$1")
    local wanted=(
        'FILEVERSION 1, 0, 0, 0' 'PRODUCTVERSION 1, 0, 0, 0'
        'VALUE "FileVersion", "1.0.0.0"' 'VALUE "ProductVersion", "1.0.0.0"'
        '1 24 /* RT_MANIFEST */'
        'level=""asInvoker""'
        'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""'
        'PerMonitorV2'
        # Windows Vista, 7, 8, 8.1 and 10
        e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a
        4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78
        8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a
    )
    for text in "${wanted[@]}"; do
        grep -qF -- "$text" <<<"$rc" || missing+=("$text")
    done
    if ((${#missing[@]})); then
        printf 'windows-build.sh: %s lacks in its resources:\n' "$1" >&2
        printf '    %s\n' "${missing[@]}" >&2
        exit 1
    fi
    echo "windows-build.sh: manifest and version resource of $(basename "$1") checked"
}

imports() {
    "$triple-objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'
}

# The DLL a module imports, from Qt or the compiler's runtime; nothing when Windows has it.
# Windows' own DLLs are the ones Wine provides too; any other import must be found, or the zip
# would not start elsewhere.
locate_dll() {
    local name=$1 found
    if [[ -f $qt/install/bin/$name ]]; then
        echo "$qt/install/bin/$name"
        return
    fi
    found=$("$triple-g++-posix" -print-file-name="$name")
    if [[ $found == /* && -f $found ]]; then
        realpath "$found"
        return
    fi
    # API sets (api-ms-win-*, ext-ms-win-*) are names the Windows loader resolves itself.
    if [[ ${name,,} == api-ms-win-* || ${name,,} == ext-ms-win-* ||
        -f /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/${name,,} ]]; then
        return
    fi
    echo "windows-build.sh: $name, imported by the program, is found nowhere" >&2
    exit 1
}

package() {
    local stage=$build/package/$zip_name
    rm -rf "$build/package" "$build/$zip_name.zip"
    mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations" "$stage/licenses"
    cp "$exe" "$stage/quillane.exe"
    cp "$qt/install/plugins/platforms/qwindows.dll" "$stage/platforms/"
    cp "$qt/install/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
    # Every DLL the program and its plugins import, and theirs in turn.
    local queue=("$stage/quillane.exe" "$stage/platforms/qwindows.dll"
        "$stage/styles/qwindowsvistastyle.dll")
    local seen=" " module name path
    while ((${#queue[@]})); do
        module=${queue[0]}
        queue=("${queue[@]:1}")
        while read -r name; do
            [[ $seen == *" ${name,,} "* ]] && continue
            seen+="${name,,} "
            path=$(locate_dll "$name")
            if [[ -n $path ]]; then
                cp "$path" "$stage/$name"
                queue+=("$stage/$name")
            fi
        done < <(imports "$module")
    done
    find "$stage" -name '*.dll' -exec "$triple-strip" --strip-unneeded {} +
    "$triple-strip" "$stage/quillane.exe"
    # Qt's own texts (buttons of the boxes, the file dialog) in Chinese; qt.conf tells Qt where.
    cp /usr/share/qt6/translations/qt_zh_CN.qm /usr/share/qt6/translations/qtbase_zh_CN.qm \
        "$stage/translations/"
    printf '[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n' >"$stage/qt.conf"
    cp /usr/share/doc/libqt6core6/copyright "$stage/licenses/Qt-copyright.txt"
    cat >"$stage/licenses/README.txt" <<'EOF'
Qt 6.4.2 (Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll and the plugins) is used under the GNU LGPL
version 3; its licence texts are in Qt-copyright.txt. It was built from Debian's qt6-base
source package 6.4.2+dfsg-10 with Debian's mingw-w64 compilers (build-qt-mingw.sh in the
project's toolchains). libstdc++-6.dll and libgcc_s_seh-1.dll come with GCC (GPL with the GCC
Runtime Library Exception), libwinpthread-1.dll with mingw-w64 (MIT licence).
EOF
    (cd "$build/package" && zip -qr9 "$build/$zip_name.zip" "$zip_name")
    echo "windows-build.sh: $build/$zip_name.zip ($(stat -c %s "$build/$zip_name.zip") bytes)"
    echo "windows-build.sh: quillane.exe imports: $(imports "$exe" | tr '\n' ' ')"
}

check_resources "$exe"
package
