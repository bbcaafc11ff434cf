#!/usr/bin/env bash
# The cross-compiling emulator: runs one Windows program under the harness's Wine.
. "$(dirname "$0")/wine-env.sh"
exec "$TX_WINE_LOADER" "$@"
