#!/usr/bin/env bash
# Everything from scratch: set-up, clean builds, and every test.
#
# The 32-bit library is always built and its DLL checked. Its test programs run under Wine
# where the kernel executes 32-bit programs. Elsewhere the same tests run first on a 64-bit
# build of the same code under 64-bit Wine, and then, for the calling conventions and layouts
# only the 32-bit build has, the 32-bit programs run in the 32-bit lane (an emulated machine).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
started=$(date +%s)
"$root/scripts/setup.sh"
echo "set-up: $(($(date +%s) - started)) s"

# Builds a tree from scratch and runs its tests; non-zero if either fails.
run_tree() {
    local arch=$1 build=$2
    [ -d "$build/harness" ] && TX_HARNESS_DIR="$build/harness" "$root/tests/harness/stop.sh" >/dev/null 2>&1
    rm -rf "$build"
    "$root/scripts/build.sh" "$arch" && (cd "$build" && ctest --output-on-failure --timeout 900)
}

build32=${TRELVOX_BUILD:-$root/build}
failed=0
run_tree i686 "$build32" || failed=1
if ! "$root/scripts/native32.sh"; then
    echo "The 32-bit programs do not run natively here: the tests run on the 64-bit build, then in the 32-bit lane."
    phase=$(date +%s)
    run_tree x86_64 "$root/build-x86_64" || failed=1
    echo "64-bit build and tests: $(($(date +%s) - phase)) s"
    phase=$(date +%s)
    "$root/scripts/lane32.sh" "$build32" || failed=1
    echo "32-bit lane: $(($(date +%s) - phase)) s"
fi
# The parsers, natively with libFuzzer and the sanitizers: about 20 s per target, on a fixed
# sequence so that the same tree gives the same verdict; longer campaigns (scripts/fuzz.sh
# -t SECONDS) explore beyond it.
phase=$(date +%s)
"$root/scripts/fuzz.sh" -s 1 || failed=1
echo "fuzz targets: $(($(date +%s) - phase)) s"
echo "set-up, builds and tests: $(($(date +%s) - started)) s" >&2
exit $failed
