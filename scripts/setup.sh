#!/usr/bin/env bash
# Installs what kesto needs to build and test, from Debian's packages.
# Run as root on Debian 12; does nothing when everything is there already.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    clang libclang-rt-14-dev clang-format
    libgtest-dev googletest libbenchmark-dev
    qt6-base-dev libgl-dev
    libcups2-dev cups cups-client cups-bsd
    libsqlite3-dev tcl dpkg-dev
    fonts-ipafont-gothic libharfbuzz-dev zlib1g-dev
    poppler-utils qpdf
    xvfb xauth imagemagick
    g++-mingw-w64-x86-64-posix wine wine64 locales
    debhelper lintian desktop-file-utils appstream systemd zip unzip
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "kesto setup: installing ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Windows build is tested under Wine in a Japanese locale (Wine then uses
# code page 932 as the ANSI code page, as a Japanese Windows desk does).
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "kesto setup: generating the ja_JP.UTF-8 locale"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    if [ -f /etc/locale.gen ] && grep -q '^# *ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
        $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        $SUDO locale-gen >/dev/null
    else
        $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
    fi
fi

# The Windows build compiles SQLite from Debian's own source package of
# sqlite3 (its single-file sqlite3.c is made by the build, with tclsh): the
# source is fetched once by apt from Debian's mirror into a cache folder.
KESTO_SQLITE_SOURCE_CACHE=${KESTO_SQLITE_SOURCE_CACHE:-/var/cache/kesto/sqlite3-source}
if ! ls -d "$KESTO_SQLITE_SOURCE_CACHE"/sqlite3-*/ >/dev/null 2>&1; then
    echo "kesto setup: fetching Debian's sqlite3 source package into $KESTO_SQLITE_SOURCE_CACHE"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
            'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
            $SUDO tee /etc/apt/sources.list.d/kesto-deb-src.sources >/dev/null
        $SUDO apt-get update -qq
    fi
    $SUDO mkdir -p "$KESTO_SQLITE_SOURCE_CACHE"
    (cd "$KESTO_SQLITE_SOURCE_CACHE" && $SUDO apt-get source -qq sqlite3)
fi
