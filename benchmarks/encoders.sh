#!/usr/bin/env bash
# Times our MP3 and Ogg Vorbis destinations against the encoders they are built on, on a
# five-minute 44.1 kHz stereo Wave file, and prints the ratios:
#   WAV->MP3 ABR 128: txconv converting through the library's MP3 destination + lame_enc.dll,
#     against LAME's own command line encoder built from the same LAME sources for the same
#     target (x86_64 MinGW) with the destination's encoder quality (5), both started as a
#     process under the build tree's Wine;
#   WAV->OGG quality 40: txconv through the Ogg Vorbis destination, against a minimal
#     libvorbisenc loop (benchmarks/vorbis_loop.cpp) linked with the same libraries, the same way;
#   native Linux lame (also at quality 5) and oggenc with the same settings, for reference.
# Each run is repeated (BENCH_RUNS, default 3) and the fastest wall and CPU times count.
# usage: benchmarks/encoders.sh [BUILD_DIR]   (default: build-x86_64, built beforehand)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build-x86_64}" && pwd)
runs=${BENCH_RUNS:-3}
host=x86_64-w64-mingw32
deps=$(readlink -f "$HOME/.cache/trelvox-deps/current-$host")
work=$build/bench
mkdir -p "$work"
runner=$build/harness-run
[ -x "$runner" ] && [ -f "$build/bin/Trelvox.dll" ] || { echo "build $build first" >&2; exit 1; }
export TX_HARNESS_DIR=$build/harness
win() { echo "Z:${1//\//\\}"; }

# The Wine environment of the build tree, with one persistent wineserver: a run that had to
# start its own server would pay its start-up (seconds) and the next run none. Stopped again
# at the end unless a test run had it up already.
harness_env=(env TX_WINE_LOADER=/usr/lib/wine/wine64 TX_WINEARCH=win64)
started_harness=0
if ! { [ -f "$TX_HARNESS_DIR/xvfb.pid" ] && kill -0 "$(cat "$TX_HARNESS_DIR/xvfb.pid")" 2>/dev/null; }; then
    started_harness=1
fi
if [ $started_harness = 1 ]; then
    "${harness_env[@]}" "$root/tests/harness/start.sh" >/dev/null
else
    # Up, but its server may have ended: a new persistent one (a running one stays as it is).
    (TX_WINE_LOADER=/usr/lib/wine/wine64 && . "$root/tests/harness/wine-env.sh" &&
        wineserver -p </dev/null >/dev/null 2>&1) || true
fi
cleanup() {
    if [ $started_harness = 1 ]; then
        "${harness_env[@]}" "$root/tests/harness/stop.sh"
    fi
}
trap cleanup EXIT

# --- the references, built once into the build tree --------------------------------------
lame_exe=$work/lame-frontend/frontend/lame.exe
if [ ! -f "$lame_exe" ]; then
    echo "building LAME's command line encoder for $host ..."
    # The LAME version that lame_enc.dll was built from, as Debian's source package.
    version=$(sed -n 's/^lame=//p' "$deps/trelvox-deps.stamp")
    dsc=$work/lame-src/lame_${version#*:}.dsc
    mkdir -p "$work/lame-src"
    if [ ! -f "$dsc" ]; then
        (cd "$work/lame-src" && apt-get source --download-only "lame=$version") >"$work/lame-build.log" 2>&1
    fi
    rm -rf "$work/lame-frontend"
    dpkg-source -x "$dsc" "$work/lame-frontend" >>"$work/lame-build.log" 2>&1
    # Configured as the library inside lame_enc.dll was, with the front end added.
    (cd "$work/lame-frontend" && autoreconf -fi && CFLAGS=-O2 CC=$host-gcc-posix ./configure --host=$host \
        --disable-shared --enable-static --disable-dependency-tracking --enable-frontend &&
        make -j2) >>"$work/lame-build.log" 2>&1 || { tail -20 "$work/lame-build.log" >&2; exit 1; }
fi
# Our side: txconv as a user runs it, beside the library and the encoder library.
txconv_exe=$build/bin/txconv.exe
[ -f "$txconv_exe" ] && [ -f "$build/bin/lame_enc.dll" ] || { echo "build txconv in $build first" >&2; exit 1; }
ours_mp3_cmd=("$runner" "$txconv_exe" -y -f MP3 --opt vbr-mode=abr --opt bitrate=128)
ours_ogg_cmd=("$runner" "$txconv_exe" -y -f "Ogg Vorbis" --opt quality=40)
vorbis_exe=$work/vorbis_loop.exe
if [ ! -f "$vorbis_exe" ] || [ "$root/benchmarks/vorbis_loop.cpp" -nt "$vorbis_exe" ]; then
    $host-g++-posix -O2 -std=c++17 -I"$deps/include" "$root/benchmarks/vorbis_loop.cpp" -o "$vorbis_exe" \
        "$deps/lib/libvorbisenc.a" "$deps/lib/libvorbis.a" "$deps/lib/libogg.a" -static
fi

# --- the input: five minutes of 44.1 kHz stereo, music-like (tones over pink noise) --------
wav=$work/input.wav
if [ ! -f "$wav" ]; then
    sox -n -r 44100 -c 2 -b 16 "$wav" synth 300 pinknoise synth 300 sine mix 220-880 synth 300 \
        sine fmod 0.5 vol 0.5
fi

# One run of the command: "wall cpu" in milliseconds, cpu being user + system time of the
# process and its children. Wall time on a shared machine follows the other load; the CPU
# time much less so.
measure() {
    local report
    report=$(mktemp)
    /usr/bin/time -f "%e %U %S" -o "$report" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    awk '{ printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000 }' "$report"
    rm -f "$report"
}
# Keeps the smaller wall and CPU times of the run on stdin and of "$1" (empty: none yet).
keep() {
    local wall cpu
    read -r wall cpu
    if [ -n "$1" ]; then
        set -- $1
        [ "$1" -lt "$wall" ] && wall=$1
        [ "$2" -lt "$cpu" ] && cpu=$2
    fi
    echo "$wall $cpu"
}
seconds() { awk -v ms="$1" 'BEGIN { printf "%.2f", ms / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
# name, our pair, the reference pair: a table row with both times and both ratios.
row() {
    local name=$1
    set -- $2 $3
    printf '%-46s %7s %7s %7s %7s\n' "$name" "$(seconds "$1")" "$(ratio "$1" "$3")" "$(seconds "$2")" \
        "$(ratio "$2" "$4")"
}

out=$work/out
rm -rf "$out"
mkdir -p "$out"
# One untimed run of each Wine program loads its files into the cache.
measure "${ours_mp3_cmd[@]}" -o "$(win "$out/ours")" "$(win "$wav")" >/dev/null
measure "$runner" "$lame_exe" --quiet --abr 128 -q 5 "$(win "$wav")" "$(win "$out/lame.mp3")" >/dev/null
measure "$runner" "$vorbis_exe" "$(win "$wav")" "$(win "$out/loop.ogg")" 0.4 >/dev/null
# The pairs alternate, so that a change in the machine's load hits both sides alike.
ours_mp3="" lame_mp3="" ours_ogg="" loop_ogg="" native_mp3="" native_ogg=""
for _ in $(seq "$runs"); do
    ours_mp3=$(measure "${ours_mp3_cmd[@]}" -o "$(win "$out/ours")" "$(win "$wav")" | keep "$ours_mp3")
    lame_mp3=$(measure "$runner" "$lame_exe" --quiet --abr 128 -q 5 "$(win "$wav")" "$(win "$out/lame.mp3")" | keep "$lame_mp3")
    ours_ogg=$(measure "${ours_ogg_cmd[@]}" -o "$(win "$out/ours")" "$(win "$wav")" | keep "$ours_ogg")
    loop_ogg=$(measure "$runner" "$vorbis_exe" "$(win "$wav")" "$(win "$out/loop.ogg")" 0.4 | keep "$loop_ogg")
    native_mp3=$(measure lame --quiet --abr 128 -q 5 "$wav" "$out/native.mp3" | keep "$native_mp3")
    native_ogg=$(measure oggenc -Q -q 4 -o "$out/native.ogg" "$wav" | keep "$native_ogg")
done

printf '%-46s %7s %7s %7s %7s\n' "5 min 44.1 kHz stereo, best of $runs" wall ratio cpu ratio
row "MP3 ABR 128, txconv (Wine)" "$ours_mp3" "$lame_mp3"
row "MP3 ABR 128, lame.exe same target (Wine)" "$lame_mp3" "$lame_mp3"
row "MP3 ABR 128, native lame" "$native_mp3" "$lame_mp3"
row "Ogg q40, txconv (Wine)" "$ours_ogg" "$loop_ogg"
row "Ogg q40, libvorbisenc loop same target (Wine)" "$loop_ogg" "$loop_ogg"
row "Ogg q40, native oggenc" "$native_ogg" "$loop_ogg"
(cd "$out" && find . -type f -printf '%P %s\n' | sort) | awk '{ printf "  %-16s %10d bytes\n", $1, $2 }'
