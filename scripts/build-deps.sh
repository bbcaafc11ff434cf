#!/usr/bin/env bash
# Cross-builds Trelvox's third-party libraries for one MinGW host (the first argument:
# i686-w64-mingw32, the default, for the library; x86_64-w64-mingw32 for the 64-bit test build)
# from Debian's source
# packages (with Debian's patches applied) into a cache prefix outside the repository:
#
#   ${TRELVOX_DEPS_ROOT:-$HOME/.cache/trelvox-deps}/<key>     key = hash of the versions below
#   ${TRELVOX_DEPS_ROOT:-$HOME/.cache/trelvox-deps}/current-<host> -> <key>
#
# Layout: include/ (zlib, ogg, vorbis, FLAC, FLAC++, id3lib, lame, BladeMP3EncDLL.h, gtest,
# gmock), lib/ (static libraries only), bin/lame_enc.dll and LAME's lame.exe.
# Consumers define ID3LIB_LINKOPTION=1 and FLAC__NO_DLL.
#
# The second argument `ffmpeg` builds the other set: FFmpeg's libavcodec, libavformat,
# libavutil and libswresample (static, only the codecs and containers the stand-in runtimes
# use), linked into current-ffmpeg-<host>. They never go into Trelvox.dll; the Windows Media
# writer, the AAC/MP4 filters and the QCP library that Wine lacks are built on them.
#
# Safe to rerun: when the prefix for the current key is complete this only checks the
# `current` link. A build goes to a staging directory that is renamed into place once
# everything is installed and checked, so an interrupted build never looks complete.
set -euo pipefail

# Bump whenever the way the libraries are built changes.
RECIPE=2

HOST=${1:-i686-w64-mingw32}
case $HOST in
i686-w64-mingw32) DEBARCH=i686 ;;
x86_64-w64-mingw32) DEBARCH=x86-64 ;;
*) echo "build-deps: unknown host $HOST" >&2; exit 2 ;;
esac
SET=${2:-libs}
case $SET in
libs) SOURCE_PACKAGES=(libogg libvorbis flac id3lib3.8.3 lame); LINK=current-$HOST ;;
ffmpeg) SOURCE_PACKAGES=(ffmpeg); LINK=current-ffmpeg-$HOST ;;
*) echo "build-deps: unknown set $SET" >&2; exit 2 ;;
esac
GTEST_SRC=/usr/src/googletest
STAMP=trelvox-deps.stamp

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
toolchain="$(cd "$here/../cmake" && pwd)/mingw-${HOST%%-*}.cmake"
root=${TRELVOX_DEPS_ROOT:-$HOME/.cache/trelvox-deps}
jobs=$(nproc)
started=${EPOCHREALTIME/./}

# Seconds since the script started, with one decimal.
elapsed() {
    local us=$((${EPOCHREALTIME/./} - started))
    printf '%d.%d s' $((us / 1000000)) $((us / 100000 % 10))
}

# The compilers the toolchain file names (e.g. the posix thread model variants), used by the
# autotools builds too so that every library is built by the same compiler.
toolchain_compiler() {
    local c
    c=$(sed -n "s/^set(CMAKE_$1_COMPILER[[:space:]]\{1,\}\([^)[:space:]]*\).*/\1/p" "$toolchain" 2>/dev/null)
    c=${c//'${TOOLCHAIN_PREFIX}'/$HOST}
    echo "${c:-$HOST-$2}"
}
CC=$(toolchain_compiler C gcc)
CXX=$(toolchain_compiler CXX g++)
# The instruction set flags of the target (SSE2 for 32-bit), as the toolchain file gives them
# to CMake builds; the autotools builds get them as part of the compiler command, apart from
# the optimisation flags of each library.
ARCH_FLAGS=$(sed -n 's/^set(TRELVOX_ARCH_FLAGS[[:space:]]*"\([^"]*\)").*/\1/p' "$toolchain" 2>/dev/null)

die() { echo "build-deps: $*" >&2; exit 1; }
say() { echo "build-deps: $*"; }

# --- the cache key --------------------------------------------------------------------------

# Reads `apt-cache showsrc` once and prints package=version lines in SOURCE_PACKAGES order.
resolve_versions() {
    local -A best=()
    local pkg ver
    while read -r pkg ver; do
        if [ -z "${best[$pkg]:-}" ] || dpkg --compare-versions "$ver" gt "${best[$pkg]}"; then
            best[$pkg]=$ver
        fi
    done < <(apt-cache showsrc --only-source "${SOURCE_PACKAGES[@]}" 2>/dev/null |
                 awk '/^Package: /{p=$2} /^Version: /{print p, $2}')
    for pkg in "${SOURCE_PACKAGES[@]}"; do
        [ -n "${best[$pkg]:-}" ] || return 1
        echo "$pkg=${best[$pkg]}"
    done
}

# Everything that changes the result: source versions, the sysroot's zlib, GoogleTest, the
# compiler, the toolchain file, our own patches and the recipe number.
manifest() {
    echo "recipe=$RECIPE"
    [ "$SET" = libs ] || echo "set=$SET"
    echo "$VERSIONS"
    echo "host=$HOST"
    dpkg-query -W -f='${Package}=${Version}\n' libz-mingw-w64-dev googletest "mingw-w64-$DEBARCH-dev" \
        "gcc-mingw-w64-$DEBARCH-posix" "g++-mingw-w64-$DEBARCH-posix" \
        "gcc-mingw-w64-$DEBARCH-win32" "g++-mingw-w64-$DEBARCH-win32" 2>/dev/null || true
    echo "compilers=$(readlink -f "$(command -v "$CC")") $(readlink -f "$(command -v "$CXX")")"
    echo "toolchain=$(sha256sum <"$toolchain" | cut -c1-16)"
    if [ -d "$here/deps" ]; then
        echo "patches=$(cat "$here"/deps/* | sha256sum | cut -c1-16)"
    fi
}

compute_key() {
    [ -f "$toolchain" ] || die "missing toolchain file $toolchain"
    command -v "$CXX" >/dev/null || die "$CXX not found (run scripts/setup.sh)"
    if ! VERSIONS=$(resolve_versions); then
        # No deb-src index yet: fetch the lists (the i386 security index may fail; harmless).
        say "no source package index; running apt-get update"
        apt-get update >/dev/null 2>&1 || true
        VERSIONS=$(resolve_versions) ||
            die "apt-cache showsrc does not know ${SOURCE_PACKAGES[*]} (is a deb-src entry for bookworm configured?)"
    fi
    MANIFEST=$(manifest)
    KEY=$(sha256sum <<<"$MANIFEST" | cut -c1-12)
}

# Points `current-<host>` (or `current-ffmpeg-<host>`) at the prefix for KEY (atomically).
link_current() {
    local link="$root/$LINK"
    if [ "$(readlink "$link" 2>/dev/null || true)" != "$KEY" ]; then
        ln -sfn "$KEY" "$link.new.$$"
        mv -Tf "$link.new.$$" "$link"
        say "$LINK -> $root/$KEY"
    fi
}

# --- fetching Debian sources ----------------------------------------------------------------

# Downloads every source package of VERSIONS into $work/src and unpacks them with
# dpkg-source so Debian's patches are applied, each into $work/src/<package>.
fetch_sources() {
    mkdir -p "$work/src"
    local specs=()
    mapfile -t specs <<<"$VERSIONS"
    local log="$logs/fetch.log"
    if ! (cd "$work/src" && apt-get source --download-only "${specs[@]}") >"$log" 2>&1; then
        apt-get update >>"$log" 2>&1 || true
        (cd "$work/src" && apt-get source --download-only "${specs[@]}") >>"$log" 2>&1 ||
            { tail -n 20 "$log" >&2; die "apt-get source failed"; }
    fi
    local spec pkg ver dsc
    for spec in "${specs[@]}"; do
        pkg=${spec%%=*}
        ver=${spec#*=}
        dsc="$work/src/${pkg}_${ver#*:}.dsc"
        [ -f "$dsc" ] || die "missing $dsc"
        dpkg-source -x "$dsc" "$work/src/$pkg" >>"$log" 2>&1 ||
            { tail -n 20 "$log" >&2; die "dpkg-source -x $dsc failed"; }
    done
}

# --- one function per package (each runs with its output in $logs/<name>.log) -------------

# $1: the optimisation flags the library's own build picks for x86 with GCC (its configure
# does not know MinGW and would fall back to its generic flags).
autotools_env() {
    # Only our prefix is visible to pkg-config; no Debian hardening flags (they need libssp).
    export PKG_CONFIG_LIBDIR="$stage/lib/pkgconfig" PKG_CONFIG_PATH=
    export CC="$CC${ARCH_FLAGS:+ $ARCH_FLAGS}" CXX="$CXX${ARCH_FLAGS:+ $ARCH_FLAGS}"
    export CFLAGS="$1" CXXFLAGS="$1"
}

build_zlib() {
    # Not built: the sysroot's libz.a, copied so that the DLL links zlib statically (the
    # sysroot's libz.dll.a would otherwise win and pull in zlib1.dll).
    local sys=/usr/$HOST
    install -m 644 "$sys/lib/libz.a" "$stage/lib/"
    install -m 644 "$sys/include/zlib.h" "$sys/include/zconf.h" "$stage/include/"
}

build_ogg() {
    cd "$work/src/libogg"
    autotools_env "-O2 -ffast-math -fsigned-char"
    autoreconf -fi
    ./configure --host=$HOST --prefix="$stage" --disable-shared --enable-static \
        --disable-dependency-tracking
    make -j"$jobs"
    make install
}

build_vorbis() {
    cd "$work/src/libvorbis"
    autotools_env "-O3 -ffast-math -mno-ieee-fp -fsigned-char"
    autoreconf -fi -I m4
    ./configure --host=$HOST --prefix="$stage" --disable-shared --enable-static \
        --disable-dependency-tracking \
        --with-ogg="$stage" --disable-oggtest --disable-docs
    make -j"$jobs"
    make install
}

build_flac() {
    cmake -S "$work/src/flac" -B "$work/build/flac" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$stage" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_CXXLIBS=ON -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
        -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DWITH_OGG=OFF \
        -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
    cmake --build "$work/build/flac" -j"$jobs"
    cmake --install "$work/build/flac"
}

build_id3lib() {
    cd "$work/src/id3lib3.8.3"
    autotools_env "-O2"
    # Debian's regeneration sequence (autoreconf chokes on the old acconfig.h).
    libtoolize -fc
    aclocal
    autoconf
    automake --add-missing --copy --force-missing
    # ac_cv_func_mkstemp=no: with mkstemp, Debian's temp-file patch takes a code path that
    # makes ID3_Tag::Update write nothing on Windows.
    ./configure --host=$HOST --prefix="$stage" --disable-shared --enable-static \
        --disable-dependency-tracking \
        CPPFLAGS="-DID3LIB_LINKOPTION=1 -I$stage/include" LDFLAGS="-L$stage/lib" \
        ac_cv_func_mkstemp=no --no-recursion   # no-recursion: skip its bundled zlib
    grep -q '^#define HAVE_ZLIB 1' config.h || { echo "id3lib did not find zlib" >&2; return 1; }
    # Only the library and its headers (the examples are not needed).
    make -j"$jobs" -C src
    make -C src install
    make -C include install
}

build_lame() {
    cd "$work/src/lame"
    # The flags LAME's configure means to pick for GCC. It picks none by itself: its check of
    # the GCC version pattern lost its brackets to m4 and never matches. Its SSE intrinsics
    # (and, 32-bit, nasm) routines are chosen at run time by the CPU's features.
    autotools_env "-O3 -fomit-frame-pointer -ffast-math -funroll-loops -Wall -pipe"
    local nasm=()
    [ "$HOST" = i686-w64-mingw32 ] && nasm=(--enable-nasm)
    autoreconf -fi
    ./configure --host=$HOST --prefix="$stage" --disable-shared --enable-static \
        --disable-dependency-tracking "${nasm[@]}"
    grep -q '^#define HAVE_XMMINTRIN_H 1' config.h || { echo "LAME without its SSE routines" >&2; return 1; }
    if [ ${#nasm[@]} -gt 0 ]; then
        grep -q '^#define HAVE_NASM 1' config.h || { echo "LAME without its nasm routines" >&2; return 1; }
    fi
    make -j"$jobs"
    make install
    # LAME's own command line encoder from the same build: the reference that the MP3
    # destination's output is compared with byte for byte.
    install -m 755 frontend/lame.exe "$stage/bin/"

    # lame_enc.dll: the BladeEnc-style interface from Dll/, on top of the libmp3lame.a above.
    patch -p1 <"$here/deps/lame-bladeenc-dll.patch"
    cd Dll
    # The configuration record must keep the layout of the documented interface.
    cat >layout-check.c <<'EOF'
#include <windows.h>
#include "BladeMP3EncDLL.h"
#include <stddef.h>
_Static_assert(sizeof(BE_CONFIG) == 331, "BE_CONFIG must be 331 bytes");
_Static_assert(offsetof(BE_CONFIG, format) == 4, "BE_CONFIG.format must be at offset 4");
_Static_assert(sizeof(BE_VERSION) == 265, "BE_VERSION must be 265 bytes");
EOF
    $CC -fsyntax-only layout-check.c
    $CXX -fsyntax-only -x c++ -D_Static_assert=static_assert layout-check.c
    $CC -O2 -Wall -I"$stage/include/lame" -c BladeMP3EncDLL.c -o BladeMP3EncDLL.o
    $CC -shared -s -static-libgcc -o lame_enc.dll BladeMP3EncDLL.o BladeMP3EncDLL.def \
        -L"$stage/lib" -lmp3lame -lm
    check_lame_dll lame_enc.dll BladeMP3EncDLL.def
    install -d "$stage/bin"
    install -m 755 lame_enc.dll "$stage/bin/"
    install -m 644 BladeMP3EncDLL.h "$stage/include/"
}

# Every name of the .def is exported, and only Windows system DLLs are imported.
check_lame_dll() {
    local dll=$1 def=$2 dump name
    dump=$($HOST-objdump -p "$dll")
    for name in $(awk '/^EXPORTS/{on=1; next} on && NF {print $1}' "$def"); do
        grep -Eq "^[[:space:]]+\[ *[0-9]+\] $name\$" <<<"$dump" ||
            { echo "lame_enc.dll does not export $name" >&2; return 1; }
    done
    check_system_imports "$dll" "$dump"
}

# Fails if $1 imports a DLL that is not part of Windows (e.g. libgcc_s, libwinpthread).
check_system_imports() {
    local file=$1 dump=$2 dll bad=0
    for dll in $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump"); do
        if ! grep -Eqi '^(kernel32|msvcrt|user32|advapi32|ntdll|ws2_32|shell32|ole32|gdi32|bcrypt|api-ms-win-.*)\.dll$' <<<"$dll"; then
            echo "$file imports non-system DLL $dll" >&2
            bad=1
        fi
    done
    return $bad
}

build_googletest() {
    [ -f "$GTEST_SRC/CMakeLists.txt" ] || { echo "missing $GTEST_SRC (install googletest)" >&2; return 1; }
    # gtest_disable_pthreads: GoogleTest uses its Win32 primitives rather than pthreads.
    cmake -S "$GTEST_SRC" -B "$work/build/googletest" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$stage" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=ON
    cmake --build "$work/build/googletest" -j"$jobs"
    cmake --install "$work/build/googletest"

    # Smoke test: a gtest_main program linked as the project links (-static: the posix thread
    # model's libstdc++ needs winpthread) needs no MinGW runtime DLL.
    cat >"$work/gtest-smoke.cpp" <<'EOF'
#include <gmock/gmock.h>
#include <gtest/gtest.h>
TEST(Smoke, Works) { EXPECT_THAT(1 + 1, ::testing::Eq(2)); }
EOF
    "$CXX" -O1 -static -static-libgcc -static-libstdc++ -I"$stage/include" "$work/gtest-smoke.cpp" \
        -o "$work/gtest-smoke.exe" -L"$stage/lib" -lgmock -lgtest_main -lgtest
    check_system_imports gtest-smoke.exe "$($HOST-objdump -p "$work/gtest-smoke.exe")"
}

build_ffmpeg() {
    cd "$work/src/ffmpeg"
    local arch=x86
    [ "$HOST" = x86_64-w64-mingw32 ] && arch=x86_64
    # Only what the stand-ins use; no autodetected system libraries, so the static libraries
    # need nothing beyond Windows' own DLLs. FFmpeg picks its own optimisation flags (-O3).
    ./configure --prefix="$stage" --enable-cross-compile --cross-prefix="$HOST-" \
        --cc="$CC" --cxx="$CXX" --arch=$arch --target-os=mingw32 \
        --extra-cflags="$ARCH_FLAGS" --pkg-config-flags=--static \
        --disable-shared --enable-static --disable-programs --disable-doc --disable-debug \
        --disable-autodetect --enable-w32threads --disable-network --disable-avdevice \
        --disable-swscale --disable-postproc --disable-avfilter --disable-everything \
        --enable-swresample --enable-protocol=file --enable-bsf=aac_adtstoasc \
        --enable-encoder=wmav1,wmav2,aac,pcm_s16le \
        --enable-decoder=wmav1,wmav2,aac,qcelp,pcm_s16le \
        --enable-muxer=asf,mp4,ipod,mov,wav --enable-demuxer=asf,qcp,mov,wav \
        --enable-parser=aac
    make -j"$jobs"
    make install

    # Smoke test: a program using each part links against the static libraries with only
    # Windows' own DLLs.
    cat >"$work/ffmpeg-smoke.c" <<'EOF'
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
int main(void) {
    const AVCodec* c = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    const AVOutputFormat* f = av_guess_format("asf", NULL, NULL);
    const AVInputFormat* q = av_find_input_format("qcp");
    const AVCodec* a = avcodec_find_encoder(AV_CODEC_ID_AAC);
    SwrContext* s = swr_alloc();
    swr_free(&s);
    return c && f && q && a ? 0 : 1;
}
EOF
    $CC $ARCH_FLAGS -I"$stage/include" "$work/ffmpeg-smoke.c" -o "$work/ffmpeg-smoke.exe" \
        -L"$stage/lib" -static -lavformat -lavcodec -lswresample -lavutil -lbcrypt -lole32 -luser32 -lm
    check_system_imports ffmpeg-smoke.exe "$($HOST-objdump -p "$work/ffmpeg-smoke.exe")"
}

# --- driver ---------------------------------------------------------------------------------

# Runs one build function in a subshell, its output going to $logs/<name>.log.
step() {
    local name=$1 fn=$2 t0=$SECONDS rc=0
    echo -n "build-deps: $name ... "
    ("$fn") >"$logs/$name.log" 2>&1 &
    wait $! || rc=$?
    if [ $rc -ne 0 ]; then
        echo "FAILED"
        tail -n 40 "$logs/$name.log" >&2
        mkdir -p "$root/failed-logs"
        cp "$logs"/*.log "$root/failed-logs/"
        die "$name failed (logs in $root/failed-logs/)"
    fi
    echo "ok ($((SECONDS - t0)) s)"
}

check_prefix() {
    local f missing=0
    if [ "$SET" = ffmpeg ]; then
        for f in include/libavcodec/avcodec.h include/libavformat/avformat.h \
            include/libswresample/swresample.h lib/libavcodec.a lib/libavformat.a lib/libavutil.a \
            lib/libswresample.a lib/pkgconfig/libavformat.pc; do
            [ -e "$stage/$f" ] || { echo "build-deps: missing $f" >&2; missing=1; }
        done
        return $missing
    fi
    for f in include/zlib.h include/zconf.h include/ogg/ogg.h include/vorbis/vorbisenc.h \
        include/FLAC/stream_encoder.h include/FLAC++/metadata.h include/id3.h include/id3/tag.h \
        include/lame/lame.h include/BladeMP3EncDLL.h include/gtest/gtest.h include/gmock/gmock.h \
        lib/libz.a lib/libogg.a lib/libvorbis.a lib/libvorbisenc.a lib/libFLAC.a lib/libFLAC++.a \
        lib/libid3.a lib/libmp3lame.a lib/libgtest.a lib/libgtest_main.a lib/libgmock.a \
        lib/libgmock_main.a bin/lame_enc.dll bin/lame.exe; do
        [ -e "$stage/$f" ] || { echo "build-deps: missing $f" >&2; missing=1; }
    done
    return $missing
}

# Installed files that name the staging directory (pkg-config, CMake packages) are pointed at
# the final prefix; libtool archives are dropped (static linking needs none).
relocate_prefix() {
    local final=$1
    rm -f "$stage"/lib/*.la
    rm -rf "$stage/share/doc" "$stage/share/man"
    local f
    grep -rlIF "$stage" "$stage/lib" "$stage/share" 2>/dev/null | while read -r f; do
        sed -i "s|$stage|$final|g" "$f"
    done || true
}

cleanup() {
    [ -n "${work:-}" ] && rm -rf "$work"
    [ -n "${stage:-}" ] && rm -rf "$stage"
    return 0
}

main() {
    compute_key
    if [ -f "$root/$KEY/$STAMP" ]; then
        link_current
        say "up to date: $root/$KEY ($(elapsed))"
        return 0
    fi

    local t
    for t in "$CC" "$CXX" "$HOST-objdump" cmake make autoreconf libtoolize aclocal \
        automake dpkg-source apt-get patch flock; do
        command -v "$t" >/dev/null || die "missing tool $t (run scripts/setup.sh)"
    done

    mkdir -p "$root"
    # One build at a time; whoever waited finds the prefix done.
    exec 9>"$root/.lock"
    flock 9
    if [ -f "$root/$KEY/$STAMP" ]; then
        link_current
        say "up to date: $root/$KEY ($(elapsed))"
        return 0
    fi
    rm -rf "$root"/.staging.* "$root/$KEY"   # leftovers of killed builds (we hold the lock)

    work=$(mktemp -d "${TMPDIR:-/tmp}/trelvox-deps.XXXXXX")
    stage="$root/.staging.$KEY.$$"
    trap cleanup EXIT
    trap 'exit 130' INT TERM HUP
    logs="$work/logs"
    mkdir -p "$logs" "$stage/include" "$stage/lib" "$stage/bin"
    say "building into $root/$KEY ($(tr '\n' ' ' <<<"$VERSIONS"))"

    echo -n "build-deps: fetching Debian sources ... "
    fetch_sources
    echo ok
    if [ "$SET" = ffmpeg ]; then
        step ffmpeg build_ffmpeg
    else
        step zlib build_zlib
        step libogg build_ogg
        step libvorbis build_vorbis
        step flac build_flac
        step id3lib build_id3lib
        step lame build_lame
        step googletest build_googletest
    fi
    check_prefix || die "incomplete prefix"
    cp -r "$logs" "$stage/build-logs"
    rm -rf "$root/failed-logs"

    relocate_prefix "$root/$KEY"
    printf '%s\nbuilt=%s\n' "$MANIFEST" "$(date -u +%FT%TZ)" >"$stage/$STAMP"
    mv -T "$stage" "$root/$KEY"
    stage=
    link_current
    say "built ${SOURCE_PACKAGES[*]} into $root/$KEY in $(elapsed)"
}

main "$@"
