#!/usr/bin/env bash
# Times ripping a disc image to Wave through txconv and the CD bench's virtual drive along the
# three read paths: the CD access layer (direct), the secure read with jitter correction off,
# and with it on. Prints frames per second and the ratios (not part of the tests; the target
# is jitter correction at most 1.3 times the secure read without it). The image and the
# outputs go to a temporary directory that is removed at the end.
# Usage: benchmarks/cdrip.sh [MINUTES] (default 10)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
minutes=${1:-10}

. "$root/scripts/wine-build.sh"
. "$root/benchmarks/disc-image.sh"
"$root/scripts/build.sh" "$arch" txconv >/dev/null
"$root/scripts/build.sh" "$arch" cdbench_aspi >/dev/null

tx_enter_wine
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wnaspi32=n"

work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
make_disc_image "$work" "$minutes" 4
winwork="Z:${work//\//\\}"
txconv() { "$TX_WINE_LOADER" "$build/bin/txconv.exe" --virtual-drive "$winwork\\disc.cue" --cd "$@"; }
wineserver -p

rip() { # NAME ARGS...: the best of three timed rips; prints and returns the frames per second
    local name=$1 run start end best=0
    shift
    for run in 1 2 3; do
        rm -rf "$work/out"
        mkdir "$work/out"
        start=$(date +%s.%N)
        txconv D: -f Wave -o "$winwork\\out" -y "$@" >"$work/log" 2>&1 ||
            { cat "$work/log" >&2; exit 1; }
        end=$(date +%s.%N)
        best=$(awk -v s="$start" -v e="$end" -v f="$frames" -v b="$best" \
            'BEGIN { r = f / (e - s); printf "%.3f\n", (r > b ? r : b) }')
    done
    awk -v n="$name" -v f="$frames" -v r="$best" \
        'BEGIN { printf "%-22s %8d frames in %7.2f s: %8.0f frames/s (best of 3)\n", n, f, f / r, r }' >&2
    echo "$best"
}

txconv >/dev/null # Wine is up and its prefix ready
direct=$(rip "direct")
off=$(rip "secure, jitter off" --secure --jitter off)
on=$(rip "secure, jitter on" --secure --jitter on)
awk -v d="$direct" -v off="$off" -v on="$on" 'BEGIN {
    printf "secure (jitter off) / direct: %.2fx the time\n", d / off
    printf "secure (jitter on)  / direct: %.2fx the time\n", d / on
    printf "jitter on / jitter off:       %.2fx the time (target <= 1.3)\n", off / on
}'
