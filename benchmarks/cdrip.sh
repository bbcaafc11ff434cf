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
"$root/scripts/build.sh" "$arch" txconv >/dev/null
"$root/scripts/build.sh" "$arch" cdbench_aspi >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=$((minutes * 60 * 75))
tracks=4
echo "making a $minutes-minute image ($frames frames, $tracks tracks)"
head -c $((frames * 2352)) /dev/urandom >"$work/disc.bin"
{
    echo 'FILE "disc.bin" BINARY'
    for i in $(seq 0 $((tracks - 1))); do
        at=$((i * frames / tracks))
        printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' $((i + 1)) $((at / 4500)) $((at / 75 % 60)) $((at % 75))
    done
} >"$work/disc.cue"
cat "$work/disc.bin" >/dev/null # the page cache holds the image for every run

rip() { # NAME ARGS...: one rip, timed; prints and returns the frames per second
    local name=$1
    shift
    rm -rf "$work/out"
    mkdir "$work/out"
    local start end
    start=$(date +%s.%N)
    "$root/txconv" --virtual-drive "$work/disc.cue" --cd D: -f Wave -o "$work/out" -y "$@" >"$work/log" 2>&1 ||
        { cat "$work/log" >&2; exit 1; }
    end=$(date +%s.%N)
    awk -v n="$name" -v s="$start" -v e="$end" -v f="$frames" \
        'BEGIN { printf "%-22s %8d frames in %7.2f s: %8.0f frames/s\n", n, f, e - s, f / (e - s) }' >&2
    awk -v s="$start" -v e="$end" -v f="$frames" 'BEGIN { printf "%.3f\n", f / (e - s) }'
}

"$root/txconv" --virtual-drive "$work/disc.cue" --cd >/dev/null # the Wine prefix is ready
direct=$(rip "direct")
off=$(rip "secure, jitter off" --secure --jitter off)
on=$(rip "secure, jitter on" --secure --jitter on)
awk -v d="$direct" -v off="$off" -v on="$on" 'BEGIN {
    printf "secure (jitter off) / direct: %.2fx the time\n", d / off
    printf "secure (jitter on)  / direct: %.2fx the time\n", d / on
    printf "jitter on / jitter off:       %.2fx the time (target <= 1.3)\n", off / on
}'
