#!/usr/bin/env bash
# Prepares a Debian 12 machine to build and test Trelvox: the cross toolchain, Wine, the
# fixture tools, and the third-party libraries cross-built from Debian's source packages into
# a cache prefix outside the repository. Safe to rerun: every step checks before it acts.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

packages=(
    g++-mingw-w64-i686 gcc-mingw-w64-i686 libz-mingw-w64-dev cmake make pkg-config dpkg-dev
    autoconf automake libtool nasm wine wine32:i386 xvfb xauth
    g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 wine64
    # The SDK package (scripts/package.sh): llvm-dlltool writes the MSVC import library.
    llvm zip unzip
    googletest sox lame flac vorbis-tools mpg123 ffmpeg id3v2 python3-mutagen cuetools bchunk python3-libdiscid
    # Screenshots of txdemo's windows on the test display.
    imagemagick x11-utils
    # whipper's accuraterip-checksum checks the rip log's AccurateRip figures.
    whipper
    # Wine's Windows Media and DirectShow decode through GStreamer: Ogg needs base, MP3 and
    # FLAC good, WMA ugly and libav, AAC libav. The 32-bit Wine loads the i386 plugins; the
    # 64-bit test build (for kernels without 32-bit support) loads the amd64 ones.
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
    gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386 gstreamer1.0-plugins-ugly:i386
    gstreamer1.0-libav:i386
    # The 32-bit lane (scripts/lane32.sh) for kernels that cannot run 32-bit programs: an
    # emulated machine and the tools that build its Debian image.
    qemu-system-x86 debootstrap e2fsprogs
    # The native fuzz targets (scripts/fuzz.sh): clang with libFuzzer and the sanitizers, zlib.
    clang-14 libclang-rt-14-dev zlib1g-dev xxd
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
        apt-get -t bookworm install -y --no-install-recommends "${packages[@]}" || {
            align_multiarch_twins
            apt-get -t bookworm install -y --no-install-recommends "${packages[@]}"
        }
    fi
}

# A library that exists for both architectures must have the same version in both. An amd64
# library updated from the security suite blocks its i386 twin, which that suite does not
# carry here: bring such libraries back to the version of the release itself.
align_multiarch_twins() {
    local pkg version release twins=()
    while read -r pkg version; do
        apt-cache madison "$pkg" | grep -F " $version " | grep -q -- '-security/' || continue
        apt-cache madison "$pkg:i386" | grep -qF " $version " && continue
        release=$(apt-cache madison "$pkg" | awk -F' *[|] *' '/ bookworm\/main amd64 / {print $2; exit}')
        [ -n "$release" ] && [ "$release" != "$version" ] || continue
        twins+=("$pkg:amd64=$release")
    done < <(dpkg-query -W -f='${Package} ${Version} ${Architecture} ${Multi-Arch}\n' |
        awk '$3 == "amd64" && $4 == "same" {print $1, $2}')
    if [ ${#twins[@]} -gt 0 ]; then
        apt-get install -y --allow-downgrades --no-install-recommends "${twins[@]}"
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
if ! "$here/native32.sh"; then
    "$here/build-deps.sh" x86_64-w64-mingw32
fi
