#!/usr/bin/env bash
# Runs every performance pair in one run and prints the ratio table, then draws it as a chart:
#   WAV->MP3 ABR 128 and WAV->Ogg q40 (5 minutes of music-like stereo) against native lame and
#     oggenc with the same settings, and against LAME's lame.exe and a minimal libvorbisenc loop
#     built for the same target from the same libraries, under the same Wine;
#   Wave->Wave of a 10-minute file (100 MiB) against cp, net of Wine's start-up;
#   the same with --normalize (two passes through a temporary file) against the single pass;
#   an 8-file batch to Ogg with --jobs 2 against --jobs 1;
#   decoding MP3 (Windows Media source) and Ogg Vorbis (DirectShow source) to Wave against
#     ffmpeg -f null, and, where perf can sample, the share of that time spent in our code.
# Wall-clock times, best of BENCH_RUNS (3) runs; the two sides of a pair alternate, so that a
# change in the machine's load hits both alike. Figures from a busy machine are only indicative.
# The script keeps a wineserver running in the build's Wine prefix and stops it at the end: do
# not run it while that build's tests run.
# The targets are for the 64-bit build under 64-bit Wine, which every machine can run, and that is
# what runs by default; BENCH_ARCH=native measures the build ./txconv uses here (the shipped 32-bit
# one where the kernel runs 32-bit programs).
# usage: benchmarks/report.sh [OUTDIR]   (default: <build>/bench; writes report.txt, report.png)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${BENCH_RUNS:-3}

[ "${BENCH_ARCH:-x86_64}" = native ] || export TRELVOX_LANE32=1
. "$root/scripts/wine-build.sh"
"$root/scripts/build.sh" "$arch" txconv >/dev/null
out=$(mkdir -p "${1:-$build/bench}" && cd "${1:-$build/bench}" && pwd)
deps=$(sed -n 's/^TRELVOX_DEPS:PATH=//p' "$build/CMakeCache.txt")
host=$(sed -n 's/^set(TOOLCHAIN_PREFIX \(.*\))$/\1/p' "$root/cmake/mingw-$arch.cmake")
exe=$build/bin/txconv.exe
# txconv finds lame_enc.dll beside itself, as an installed copy does.
cp -u "$deps/bin/lame_enc.dll" "$build/bin/"
lame_exe=$deps/bin/lame.exe
[ -f "$lame_exe" ] || { echo "no $lame_exe: rebuild the dependencies (scripts/build-deps.sh)" >&2; exit 1; }
vorbis_exe=$out/vorbis_loop.exe
if [ ! -f "$vorbis_exe" ] || [ "$root/benchmarks/vorbis_loop.cpp" -nt "$vorbis_exe" ]; then
    $host-g++-posix -O2 -std=c++17 -I"$deps/include" "$root/benchmarks/vorbis_loop.cpp" -o "$vorbis_exe" \
        "$deps/lib/libvorbisenc.a" "$deps/lib/libvorbis.a" "$deps/lib/libogg.a" -static
fi

# --- the inputs, kept between runs -------------------------------------------------------------
data=$out/data
mkdir -p "$data"
make_input() { [ -f "$data/$1" ] || { shift; "$@"; }; }
make_input music.wav sox -n -r 44100 -c 2 -b 16 "$data/music.wav" synth 300 pinknoise synth 300 sine \
    mix 220-880 synth 300 sine fmod 0.5 vol 0.5
make_input tiny.wav sox -n -r 44100 -c 2 -b 16 "$data/tiny.wav" synth 0.1 sine 440 vol 0.4
make_input long.wav sox -n -r 44100 -c 2 -b 16 "$data/long.wav" synth 600 sine 220 sine 330 vol 0.4
for i in 1 2 3 4 5 6 7 8; do
    make_input "batch$i.wav" sox -n -r 44100 -c 2 -b 16 "$data/batch$i.wav" synth 60 sine $((200 + 40 * i)) vol 0.3
done
make_input music.mp3 lame --quiet --abr 128 "$data/music.wav" "$data/music.mp3"
make_input music.ogg oggenc -Q -q 4 -o "$data/music.ogg" "$data/music.wav"
make_input tiny.mp3 lame --quiet --abr 128 "$data/tiny.wav" "$data/tiny.mp3"
make_input tiny.ogg oggenc -Q -q 4 -o "$data/tiny.ogg" "$data/tiny.wav"

tx_enter_wine
win() { printf 'Z:%s' "${1//\//\\}"; }
scratch=$(mktemp -d)
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
# A warm wineserver for the whole run, so that each start costs the same. Wine's background
# processes start with the first program and keep its output open: give them none.
wineserver -p </dev/null >/dev/null 2>&1 || true
"$TX_WINE_LOADER" "$exe" --formats </dev/null >/dev/null 2>&1
wine_run() { "$TX_WINE_LOADER" "$@"; }
# Output to a file: the terminal (or /dev/null, a character device to Windows) gets progress.
txconv() { wine_run "$exe" -y "$@"; }

# Seconds of one run of the command.
seconds_of() {
    local start end
    start=$(date +%s.%N)
    "$@" </dev/null >"$scratch/log" 2>&1 || { cat "$scratch/log" >&2; echo "failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
# Runs every named pair side by side BENCH_RUNS times; best[name] keeps the fastest.
declare -A best=()
declare -A cmd=()
measure() {
    local name t
    for _ in $(seq "$runs"); do
        for name in "$@"; do
            eval "t=\$(seconds_of ${cmd[$name]})"
            if [ -z "${best[$name]:-}" ] || [ "$(echo "$t < ${best[$name]}" | bc)" = 1 ]; then
                best[$name]=$t
            fi
        done
    done
}

d=$(win "$data")
s=$(win "$scratch")
batch=()
for i in 1 2 3 4 5 6 7 8; do batch+=("$d\\batch$i.wav"); done
cmd[startup]='txconv --formats'
cmd[tiny]='txconv -o "$s\\tiny" "$d\\tiny.wav"'
cmd[tiny_mp3]='txconv -o "$s\\tiny" "$d\\tiny.mp3"'
cmd[tiny_ogg]='txconv -o "$s\\tiny" "$d\\tiny.ogg"'
cmd[mp3]='txconv -f MP3 --opt vbr-mode=abr --opt bitrate=128 -o "$s\\mp3" "$d\\music.wav"'
cmd[lame_exe]='wine_run "$lame_exe" --quiet --abr 128 -q 5 "$d\\music.wav" "$s\\lame.mp3"'
cmd[lame]='lame --quiet --abr 128 -q 5 "$data/music.wav" "$scratch/native.mp3"'
cmd[ogg]='txconv -f "Ogg Vorbis" --opt quality=40 -o "$s\\ogg" "$d\\music.wav"'
cmd[vorbis_loop]='wine_run "$vorbis_exe" "$d\\music.wav" "$s\\loop.ogg" 0.4'
cmd[oggenc]='oggenc -Q -q 4 -o "$scratch/native.ogg" "$data/music.wav"'
cmd[wave]='txconv -o "$s\\wave" "$d\\long.wav"'
cmd[cp]='cp "$data/long.wav" "$scratch/copy.wav"'
cmd[normalize]='txconv --normalize -o "$s\\norm" "$d\\long.wav"'
cmd[jobs1]='txconv -f "Ogg Vorbis" --jobs 1 -o "$s\\j1" "${batch[@]}"'
cmd[jobs2]='txconv -f "Ogg Vorbis" --jobs 2 -o "$s\\j2" "${batch[@]}"'
cmd[wm_decode]='txconv -o "$s\\mp3dec" "$d\\music.mp3"'
cmd[ffmpeg_mp3]='ffmpeg -v error -threads 1 -i "$data/music.mp3" -f null -'
cmd[ds_decode]='txconv -o "$s\\oggdec" "$d\\music.ogg"'
cmd[ffmpeg_ogg]='ffmpeg -v error -threads 1 -i "$data/music.ogg" -f null -'

echo "measuring, best of $runs on $(nproc) cores, the $arch build in $build ..." >&2
measure startup tiny mp3 lame_exe lame
measure ogg vorbis_loop oggenc
measure tiny wave cp normalize
measure jobs1 jobs2
measure tiny_mp3 wm_decode ffmpeg_mp3 tiny_ogg ds_decode ffmpeg_ogg

# The share of a decoding run that perf finds in our code and in the runtime's decoders
# (GStreamer and the codecs it loads); "-" where perf cannot sample. Wine maps MinGW's images
# (Trelvox.dll, txconv.exe, whose sections are not page-aligned) into anonymous memory, where
# perf names them "[JIT]" or a perf map; Wine's own DLLs and the Linux libraries are mapped
# from their files. The output file's writes are the destination's, not the decoding's.
own_share() {
    local data_file=$scratch/perf.data
    if ! perf record -q -e cpu-clock -F 4000 -o "$data_file" -- "$@" </dev/null >"$scratch/log" 2>&1; then
        echo "- -"
        return
    fi
    perf report -i "$data_file" --sort dso --stdio 2>/dev/null | awk '
        /^#/ || NF < 2 { next }
        { share = $1; sub(/%/, "", share); dso = $2 }
        dso ~ /^(\[JIT\]|\/tmp\/perf-[0-9]+\.map|\[unknown\])/ { ours += share }
        dso ~ /^(libgst|libav|libmpg123|libvorbis|libogg|libFLAC|libswresample)/ { runtime += share }
        END { printf "%.1f %.1f\n", ours, runtime }'
}
read -r wm_ours wm_runtime < <(own_share "$TX_WINE_LOADER" "$exe" -y -o "$s\\mp3dec" "$d\\music.mp3")
read -r ds_ours ds_runtime < <(own_share "$TX_WINE_LOADER" "$exe" -y -o "$s\\oggdec" "$d\\music.ogg")

# --- the table ---------------------------------------------------------------------------------
calc() { echo "scale=6; $*" | bc -l; }
# Net of what a conversion costs whatever its length (the time of converting 0.1 s of the same
# kind): the process, the Windows desktop that Wine starts for the conversion's COM apartment
# (txconv --formats starts none) and, for decoding, the runtime's start.
net() { calc "${best[$1]} - ${best[${2:-tiny}]}"; }
pcm_mb=$(calc "$(stat -c %s "$data/music.wav") / 1000000")
report=$out/report.txt
chart_data=$out/report.dat
: >"$chart_data"
# row LABEL OURS PEER RATIO [TARGET OP BAR]: one line of the table and, with a target, a bar
# named BAR in the chart: the ratio as a share of its target, so that every bar met stays below 1.
row() {
    local label=$1 ours=$2 peer=$3 ratio=$4 target=${5:-} op=${6:-} bar=${7:-} verdict=""
    if [ -n "$target" ]; then
        local share
        if [ "$op" = "<=" ]; then share=$(calc "$ratio / $target"); else share=$(calc "$target / $ratio"); fi
        printf '"%s" %s %s "%s %s"\n' "$bar" "$share" "$ratio" "$op" "$target" >>"$chart_data"
        verdict=$([ "$(calc "$share <= 1")" = 1 ] && echo "met" || echo "MISSED")
    fi
    [ "$ratio" = - ] || ratio=$(printf '%.3g' "$ratio")
    printf '%-44s %10s %10s %8s %9s  %s\n' "$label" "$ours" "$peer" "$ratio" "${target:+$op $target}" "$verdict"
}
fmt() { printf '%.2f' "$1"; }
secs() { printf '%.2f s' "$1"; }
{
    echo "Trelvox performance, $arch build under Wine, best of $runs, $(nproc) cores, $(date -u +%FT%TZ)"
    printf '%-44s %10s %10s %8s %9s\n' "work" "ours" "peer" "ratio" "target"
    row "WAV->MP3 ABR 128, 5 min, vs native lame" "$(secs "${best[mp3]}")" "$(secs "${best[lame]}")" \
        "$(calc "${best[mp3]} / ${best[lame]}")" 1.05 "<=" "MP3 vs lame"
    row "WAV->MP3, vs lame.exe same target (Wine)" "$(secs "${best[mp3]}")" "$(secs "${best[lame_exe]}")" \
        "$(calc "${best[mp3]} / ${best[lame_exe]}")"
    row "WAV->Ogg q40, 5 min, vs native oggenc" "$(secs "${best[ogg]}")" "$(secs "${best[oggenc]}")" \
        "$(calc "${best[ogg]} / ${best[oggenc]}")" 1.05 "<=" "Ogg vs oggenc"
    row "WAV->Ogg, vs libvorbisenc loop (Wine)" "$(secs "${best[ogg]}")" "$(secs "${best[vorbis_loop]}")" \
        "$(calc "${best[ogg]} / ${best[vorbis_loop]}")"
    row "Wine start-up (txconv --formats)" "$(secs "${best[startup]}")" - -
    row "start-up of a conversion (0.1 s Wave)" "$(secs "${best[tiny]}")" - -
    row "Wave->Wave 100 MiB, share of cp's speed" "$(secs "$(net wave)")" "$(secs "${best[cp]}")" \
        "$(calc "${best[cp]} / ($(net wave))")" 0.50 ">=" "Wave copy vs cp"
    row "--normalize (two passes) vs single pass" "$(secs "$(net normalize)")" "$(secs "$(net wave)")" \
        "$(calc "($(net normalize)) / ($(net wave))")" 2.20 "<=" "two passes vs one"
    row "8 x 1 min to Ogg, --jobs 2 speed-up" "$(secs "${best[jobs2]}")" "$(secs "${best[jobs1]}")" \
        "$(calc "${best[jobs1]} / ${best[jobs2]}")" 1.85 ">=" "--jobs 2 speed-up"
    row "MP3 decode (Windows Media), MB/s of PCM" "$(fmt "$(calc "$pcm_mb / ($(net wm_decode tiny_mp3))")")" \
        "$(fmt "$(calc "$pcm_mb / ${best[ffmpeg_mp3]}")")" "$(calc "${best[ffmpeg_mp3]} / ($(net wm_decode tiny_mp3))")"
    row "Ogg decode (DirectShow), MB/s of PCM" "$(fmt "$(calc "$pcm_mb / ($(net ds_decode tiny_ogg))")")" \
        "$(fmt "$(calc "$pcm_mb / ${best[ffmpeg_ogg]}")")" "$(calc "${best[ffmpeg_ogg]} / ($(net ds_decode tiny_ogg))")"
    if [ "$wm_ours" != "-" ]; then
        row "MP3 decode: our code's share of samples" "$wm_ours %" "$wm_runtime %" "$(calc "$wm_ours / 100")" \
            0.10 "<=" "our share, MP3 decode"
        row "Ogg decode: our code's share of samples" "$ds_ours %" "$ds_runtime %" "$(calc "$ds_ours / 100")" \
            0.10 "<=" "our share, Ogg decode"
    fi
    echo "(a conversion's start-up is subtracted from our Wave, normalize and decode times; decode"
    echo " peers are ffmpeg -f null; the share rows give our code's and the runtime decoders' shares"
    echo " of perf samples)"
} | tee "$report"

# --- the chart ---------------------------------------------------------------------------------
if command -v gnuplot >/dev/null; then
    gnuplot <<EOF
set terminal pngcairo size 1000,480 font ",10"
set output "$out/report.png"
set title "Trelvox against its peers ($arch build under Wine, best of $runs): each bar is the measured ratio as a share of its target" noenhanced
set style fill solid 0.8 border -1
set boxwidth 0.6
stats "$chart_data" using 2 nooutput
set yrange [0:(STATS_max > 1 ? STATS_max : 1) * 1.2]
set ylabel "ratio / target (below 1: target met)"
set xtics rotate by -25 noenhanced
set grid ytics
set key off
set arrow from graph 0, first 1 to graph 1, first 1 nohead dashtype 2 linewidth 2 linecolor rgb "black"
plot "$chart_data" using 0:2:(\$2 <= 1 ? 0x2e8b57 : 0xcd3333):xtic(1) with boxes linecolor rgb variable, \
     "" using 0:2:(sprintf("%.3g\\ntarget %s", \$3, strcol(4))) with labels offset 0,2 noenhanced
EOF
    echo "chart: $out/report.png" >&2
fi
