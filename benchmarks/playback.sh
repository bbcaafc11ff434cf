#!/usr/bin/env bash
# Measures playback (not part of the tests): the CPU that txconv --play spends on a 1-minute
# Ogg Vorbis file (decoding through DirectShow, the playback thread and Wine's ALSA driver),
# as a share of one core over the minute of audio. ALSA plays into a file sink, which takes the
# audio as fast as it comes: the wall time is shorter than the minute, the CPU time is what
# real-time playback would cost. (PlaylistTest prints the load time of a 10,000-entry M3U.)
# Usage: benchmarks/playback.sh [SECONDS] (default 60)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}

. "$root/scripts/wine-build.sh"
"$root/scripts/build.sh" "$arch" txconv >/dev/null
export TX_DLLOVERRIDES=winealsa.drv=b
tx_enter_wine
exe="$build/bin/txconv.exe"

work=$(mktemp -d)
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }
printf 'pcm.null { type null }\npcm.!default { type file slave.pcm "null" file "%s" format "raw" }\n' \
    "$work/sink.raw" >"$work/alsa.conf"
export ALSA_CONFIG_PATH="$work/alsa.conf"

sox -n -r 44100 -c 2 "$work/song.ogg" synth "$seconds" sine 440 sine 660 vol 0.5
wineserver -p
"$TX_WINE_LOADER" "$exe" --formats >/dev/null # Wine's start-up, once
TIMEFORMAT='%R %U %S'
times=$( { time "$TX_WINE_LOADER" "$exe" --play "$(win "$work/song.ogg")" >"$work/log" 2>&1; } 2>&1)
read -r wall user sys <<<"$times"
played=$(stat -c %s "$work/sink.raw")
awk -v w="$wall" -v u="$user" -v s="$sys" -v a="$seconds" -v b="$played" 'BEGIN {
    printf "play %d s of Ogg Vorbis: %d bytes at the device, %.2f s wall, %.2f s CPU (%.2f user + %.2f sys)\n", a, b, w, u + s, u, s
    printf "  = %.1f%% of one core at real-time playback\n", 100 * (u + s) / a }'

