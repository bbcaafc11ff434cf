#!/usr/bin/env bash
# Test fixture cleanup: ends the wineserver and Xvfb that start.sh began.
set -u
: "${TX_HARNESS_DIR:?}"
. "$(dirname "$0")/wine-env.sh"
wineserver -k 2>/dev/null || true
if [ -f "$TX_HARNESS_DIR/xvfb.pid" ]; then
    kill "$(cat "$TX_HARNESS_DIR/xvfb.pid")" 2>/dev/null || true
    rm -f "$TX_HARNESS_DIR/xvfb.pid" "$TX_HARNESS_DIR/display"
fi
exit 0
