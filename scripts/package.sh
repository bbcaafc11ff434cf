#!/usr/bin/env bash
# Builds the SDK that a front-end developer builds against: trelvox-sdk-<version>.zip with the
# stripped 32-bit Trelvox.dll and its debug file, the DLLs it needs beside it, the headers, the
# export list, import libraries for MSVC (Trelvox.lib) and MinGW (libTrelvox.dll.a), a CMake
# package config, the C sample and INTEGRATING.md.
#
#   scripts/package.sh [--build DIR] [--out DIR]
#
# Without --build it makes a clean 32-bit build of its own in build-package/. --build packages
# an existing 32-bit build tree instead (the test does). The zip goes to --out (default dist/).
# Everything is derived from engine/Trelvox.def, include/ and the build's runtime list.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=
out=$root/dist
while [ $# -gt 0 ]; do
    case $1 in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --out) mkdir -p "$2"; out=$(cd "$2" && pwd); shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--out DIR]" >&2; exit 2 ;;
    esac
done

if [ -z "$build" ]; then
    build=$root/build-package
    rm -rf "$build"
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DBUILD_TESTING=OFF
    # The Windows Media runtime for Wine is there when the FFmpeg libraries are.
    targets="Trelvox TrelvoxImplib cdbench_aspi"
    if cmake --build "$build" --target help | grep -q trelvox_wmruntime; then
        targets="$targets trelvox_wmruntime"
    fi
    cmake --build "$build" -j"$(nproc)" --target $targets
fi

cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache CMAKE_PROJECT_VERSION)
i686-w64-mingw32-objdump -f "$build/bin/Trelvox.dll" | grep -q 'file format pei-i386' ||
    { echo "$build/bin/Trelvox.dll is not the 32-bit library" >&2; exit 1; }
[ -n "$version" ] || { echo "no project version in $build" >&2; exit 1; }

name=trelvox-sdk-$version
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
sdk=$stage/$name
mkdir -p "$sdk/bin" "$sdk/lib/cmake/Trelvox" "$sdk/samples"

# The DLL is stripped by its build, with its debug information in Trelvox.dll.debug and a
# debug link to it; the two stay together.
cp "$build/bin/Trelvox.dll" "$build/bin/Trelvox.dll.debug" "$sdk/bin/"
while read -r runtime; do
    [ -n "$runtime" ] && i686-w64-mingw32-objcopy --strip-unneeded "$runtime" "$sdk/bin/$(basename "$runtime")"
done <"$build/sdk-runtimes.txt"

cp -r "$root/include" "$sdk/include"
cp "$root/engine/Trelvox.def" "$sdk/lib/"
# The import libraries: llvm-dlltool imports each export under its exported name (the two
# settings readers under their MSVC decorations), as MSVC's callers reference them; the
# MinGW one from the build maps GCC's names of those two onto the decorated ones.
llvm-dlltool -m i386 -d "$root/engine/Trelvox.def" -D Trelvox.dll -l "$sdk/lib/Trelvox.lib"
cp "$build/lib/libTrelvox.dll.a" "$sdk/lib/"

cp "$root/sdk/TrelvoxConfig.cmake" "$sdk/lib/cmake/Trelvox/"
cmake -DVERSION="$version" -DOUTPUT="$sdk/lib/cmake/Trelvox/TrelvoxConfigVersion.cmake" \
    -P "$root/sdk/WriteConfigVersion.cmake"
cp "$root/samples/convert.c" "$root/samples/CMakeLists.txt" "$sdk/samples/"
sed "s/@VERSION@/$version/g" "$root/sdk/INTEGRATING.md" >"$sdk/INTEGRATING.md"

mkdir -p "$out"
rm -f "$out/$name.zip"
(cd "$stage" && zip -qr -X "$out/$name.zip" "$name")
echo "$out/$name.zip: $(stat -c %s "$out/$name.zip") bytes"
