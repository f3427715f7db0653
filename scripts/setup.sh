#!/usr/bin/env bash
# Installs what building, running and testing Quillane needs on Debian 12, and the packages named
# on its command line (the Windows build's). Safe to run again: it only asks apt for packages that
# are missing, and refreshes the package lists first then.
set -euo pipefail

packages=(
    # build
    build-essential cmake pkg-config clang-format git
    qt6-base-dev qt6-base-dev-tools libgl-dev
    unixodbc-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    # run: the ODBC driver manager and the FreeTDS driver, Qt's platform plugins, CJK fonts
    unixodbc odbcinst tdsodbc qt6-qpa-plugins fonts-noto-cjk
    # run: Qt's own texts (dialogs, buttons) in Chinese
    qt6-translations-l10n
    # the Debian package: building it, checking it, pressing a button in the installed window
    dpkg-dev lintian desktop-file-utils appstream xdotool
    # tests: Kerberos for the integrated login, FreeTDS's own client, a display for the window
    libkrb5-dev krb5-kdc krb5-admin-server krb5-user freetds-bin
    xvfb xauth
)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    # Another installer (a second checkout's setup, unattended upgrades) may hold the lock.
    apt=($sudo apt-get -o DPkg::Lock::Timeout=600)
    "${apt[@]}" update -q
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -q "${missing[@]}"
fi

# The FreeTDS driver must be known to unixODBC by the name the connection uses.
if ! odbcinst -q -d -n FreeTDS >/dev/null 2>&1; then
    driver=$(dpkg -L tdsodbc | grep -m1 '/libtdsodbc\.so$')
    printf '[FreeTDS]\nDescription=FreeTDS ODBC driver\nDriver=%s\n' "$driver" >/tmp/freetds-odbcinst.ini
    ${sudo:-} odbcinst -i -d -f /tmp/freetds-odbcinst.ini
fi
