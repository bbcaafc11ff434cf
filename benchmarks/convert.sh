#!/usr/bin/env bash
# Times txconv on Wave -> Wave conversions (not part of the tests):
#   a 10-minute stereo file: single pass, --normalize (two passes through a temporary file)
#   and cp of the same file, for the cost of the disk alone;
#   a batch of 8 files: --jobs 1 against --jobs 2.
#   the same batch encoded to Ogg Vorbis, where the encoder and not the disk sets the pace.
# Every txconv run also pays Wine's start-up, measured once with --formats. The script keeps
# a wineserver running in the build's Wine prefix and stops it at the end: do not run it
# while that build's tests run.
# Usage: benchmarks/convert.sh [MINUTES] (default 10)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
minutes=${1:-10}

# The same build and Wine as ./txconv, called directly so that no build check or path
# mapping is timed.
. "$root/scripts/wine-build.sh"
"$root/scripts/build.sh" "$arch" >/dev/null
tx_enter_wine
exe="$build/bin/txconv.exe"

work=$(mktemp -d)
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }
txconv() {
    "$TX_WINE_LOADER" "$exe" "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; exit 1; }
}
# Best of three wall-clock seconds of a command.
best() {
    local best="" start end t
    for _ in 1 2 3; do
        start=$(date +%s.%N)
        "$@"
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
    done
    printf '%.2f' "$best"
}

echo "making the inputs in $work ..."
sox -n -r 44100 -c 2 -b 16 "$work/long.wav" synth "$((minutes * 60))" sine 220 sine 330 vol 0.4
for i in 1 2 3 4 5 6 7 8; do
    sox -n -r 44100 -c 2 -b 16 "$work/batch$i.wav" synth 60 sine $((200 + 40 * i)) vol 0.3
done
size=$(stat -c %s "$work/long.wav")
batch=()
for i in 1 2 3 4 5 6 7 8; do batch+=("$(win "$work/batch$i.wav")"); done

# A warm wineserver for the whole run, so that each start costs the same. Wine's own
# background processes start with the first program and keep its output open: give them none.
wineserver -p </dev/null >/dev/null 2>&1 || true
"$TX_WINE_LOADER" "$exe" --formats </dev/null >/dev/null 2>&1

echo "input: $minutes minutes of 16-bit stereo 44.1 kHz ($((size / 1048576)) MiB); $(nproc) cores"
printf '%-44s %8s s\n' "Wine start-up (txconv --formats)" "$(best txconv --formats)"
printf '%-44s %8s s\n' "cp" "$(best cp "$work/long.wav" "$work/copy.wav")"
printf '%-44s %8s s\n' "txconv, single pass" "$(best txconv -y -o "$(win "$work/single")" "$(win "$work/long.wav")")"
printf '%-44s %8s s\n' "txconv --normalize, two passes" \
    "$(best txconv -y --normalize -o "$(win "$work/norm")" "$(win "$work/long.wav")")"
printf '%-44s %8s s\n' "8 x 1 minute, --jobs 1" "$(best txconv -y --jobs 1 -o "$(win "$work/j1")" "${batch[@]}")"
printf '%-44s %8s s\n' "8 x 1 minute, --jobs 2" "$(best txconv -y --jobs 2 -o "$(win "$work/j2")" "${batch[@]}")"
printf '%-44s %8s s\n' "8 x 1 minute, --normalize --jobs 1" \
    "$(best txconv -y --normalize --jobs 1 -o "$(win "$work/n1")" "${batch[@]}")"
printf '%-44s %8s s\n' "8 x 1 minute, --normalize --jobs 2" \
    "$(best txconv -y --normalize --jobs 2 -o "$(win "$work/n2")" "${batch[@]}")"
printf '%-44s %8s s\n' "8 x 1 minute to Ogg Vorbis, --jobs 1" \
    "$(best txconv -y -f "Ogg Vorbis" --jobs 1 -o "$(win "$work/o1")" "${batch[@]}")"
printf '%-44s %8s s\n' "8 x 1 minute to Ogg Vorbis, --jobs 2" \
    "$(best txconv -y -f "Ogg Vorbis" --jobs 2 -o "$(win "$work/o2")" "${batch[@]}")"
cmp -s "$work/j1/batch8.wav" "$work/j2/batch8.wav" || echo "warning: --jobs 1 and --jobs 2 differ" >&2
