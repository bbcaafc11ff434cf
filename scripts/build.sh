#!/usr/bin/env bash
# Configures and builds Trelvox. The argument chooses the target: i686 (the default: the
# shipped 32-bit library, in build/) or x86_64 (the 64-bit test build, in build-x86_64/).
# A second argument builds only that CMake target and what it needs (./txconv: txconv).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=${1:-i686}
case $arch in
i686) build=${TRELVOX_BUILD:-$root/build} ;;
x86_64) build=$root/build-x86_64 ;;
*) echo "usage: $0 [i686|x86_64] [TARGET]" >&2; exit 2 ;;
esac
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake"
fi
cmake --build "$build" -j"$(nproc)" ${2:+--target "$2"}
