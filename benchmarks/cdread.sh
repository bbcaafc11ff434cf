#!/usr/bin/env bash
# Times reading a 74-minute audio CD image through the CD access layer (track streams of 27
# frames per command, through the CD bench's stand-in ASPI manager and drive model) against a
# plain ReadFile loop over the same .bin under Wine, and cat natively (not part of the tests).
# The image goes to a temporary directory and is removed at the end.
# Usage: benchmarks/cdread.sh [MINUTES] (default 74)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
minutes=${1:-74}

. "$root/scripts/wine-build.sh"
. "$root/benchmarks/disc-image.sh"
"$root/scripts/build.sh" "$arch" cdread >/dev/null
tx_enter_wine
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wnaspi32=n"

work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
make_disc_image "$work" "$minutes" 20
echo "drive 0 0 0 Z:${work//\//\\}\\disc.cue" >"$work/cdbench.ini"
export CDBENCH_CONFIG="Z:${work//\//\\}\\cdbench.ini"

wineserver -p
"$TX_WINE_LOADER" "$build/bin/cdread.exe" 0 0 0 "Z:${work//\//\\}\\disc.bin"
start=$(date +%s.%N)
cat "$work/disc.bin" >/dev/null
end=$(date +%s.%N)
awk -v s="$start" -v e="$end" -v f="$frames" \
    'BEGIN { printf "%-12s %10d frames in %7.2f s: %9.0f frames/s, %7.1f MB/s\n", "cat", f, e - s, f / (e - s), f * 2352 / 1e6 / (e - s) }'
