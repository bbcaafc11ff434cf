#!/usr/bin/env bash
# Prepares a Debian 12 machine to build and test Trelvox: the cross toolchain, Wine, the
# fixture tools, and the third-party libraries cross-built from Debian's source packages into
# a cache prefix outside the repository. Safe to rerun: every step checks before it acts.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

packages=(
    g++-mingw-w64-i686 gcc-mingw-w64-i686 libz-mingw-w64-dev cmake make pkg-config dpkg-dev
    autoconf automake libtool wine wine32:i386 xvfb xauth
    g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 wine64
    googletest sox lame flac vorbis-tools mpg123 ffmpeg id3v2 python3-mutagen
)

need_packages() {
    local p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || return 0
    done
    return 1
}

install_packages() {
    export DEBIAN_FRONTEND=noninteractive
    local changed=0
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        changed=1
    fi
    local src=/etc/apt/sources.list.d/trelvox-src.sources
    if [ ! -f "$src" ]; then
        cat >"$src" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        changed=1
    fi
    if [ "$changed" = 1 ] || need_packages; then
        # The security suite has no i386 index here; that failure is expected and harmless.
        apt-get update || true
        apt-get -t bookworm install -y --no-install-recommends "${packages[@]}"
    fi
}

# The posix thread model, for every build that calls the plain compiler names (autotools).
use_posix_mingw() {
    local host tool
    for host in i686 x86_64; do
        for tool in gcc g++; do
            local name="/usr/bin/$host-w64-mingw32-$tool"
            if [ "$(readlink -f "$name")" != "$name-posix" ]; then
                update-alternatives --set "$host-w64-mingw32-$tool" "$name-posix"
            fi
        done
    done
}

install_packages
use_posix_mingw
"$here/build-deps.sh" i686-w64-mingw32
# The 64-bit test build, for machines that cannot run 32-bit programs.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    "$here/build-deps.sh" x86_64-w64-mingw32
fi
