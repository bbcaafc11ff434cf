#!/usr/bin/env bash
# Everything from scratch: set-up, clean builds, and every test.
#
# The 32-bit library is always built and its DLL checked. Its test programs run under Wine
# where the kernel executes 32-bit programs; elsewhere the same tests run on a 64-bit build
# of the same code under 64-bit Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
started=$(date +%s)
"$root/scripts/setup.sh"
echo "set-up: $(($(date +%s) - started)) s"

run_tree() {
    local arch=$1 build=$2
    [ -d "$build/harness" ] && TX_HARNESS_DIR="$build/harness" "$root/tests/harness/stop.sh" >/dev/null 2>&1
    rm -rf "$build"
    "$root/scripts/build.sh" "$arch"
    (cd "$build" && ctest --output-on-failure --timeout 900)
}

run_tree i686 "${TRELVOX_BUILD:-$root/build}"
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "This kernel does not run 32-bit programs: the tests run on the 64-bit build."
    run_tree x86_64 "$root/build-x86_64"
fi
echo "set-up, builds and tests: $(($(date +%s) - started)) s" >&2
