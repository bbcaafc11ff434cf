#!/usr/bin/env bash
# The SDK package as a front-end developer meets it: unpacked into an empty folder, a separate
# CMake project finds it with find_package(Trelvox), builds the C sample with MinGW and runs it
# under Wine on a real conversion. Also: the MSVC import library against the DLL's export
# table, and every public header compiled alone as C and as C++ without a warning.
#
# usage: check_sdk.sh SOURCE_DIR BUILD_DIR (a 32-bit build tree with its harness runner)
set -euo pipefail
src=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}

"$src/scripts/package.sh" --build "$build" --out "$work/dist" >/dev/null
zip=$(echo "$work"/dist/trelvox-sdk-*.zip)
mkdir "$work/unpacked"
unzip -q "$zip" -d "$work/unpacked"
sdk=$(echo "$work"/unpacked/trelvox-sdk-*)
echo "package $(basename "$zip"): $(stat -c %s "$zip") bytes; Trelvox.dll $(stat -c %s "$sdk/bin/Trelvox.dll")" \
    "bytes stripped, debug file $(stat -c %s "$sdk/bin/Trelvox.dll.debug") bytes"

# The DLL's version resource carries the package's version.
version=${zip##*/trelvox-sdk-}
version=${version%.zip}
resource=$(strings -el "$sdk/bin/Trelvox.dll" | grep -A1 -x FileVersion | tail -1)
[ "$resource" = "$version" ] || fail "the DLL's FileVersion is \"$resource\", the package's version $version"

python3 "$src/tests/sdk/check_import_library.py" "$sdk/lib/Trelvox.lib" "$sdk/bin/Trelvox.dll" ||
    fail "MSVC import library"

# The headers as a caller compiles them: each alone, from the package, as C and as C++.
flags=(-Wall -Wextra -pedantic -Werror -fsyntax-only -I"$sdk/include")
for lang in c c++; do
    if [ $lang = c ]; then cc=(i686-w64-mingw32-gcc -std=c11 -x c); else cc=(i686-w64-mingw32-g++ -std=c++17 -x c++); fi
    for header in "$sdk"/include/*.h; do
        name=$(basename "$header")
        if ! printf '#include <%s>\n' "$name" | "${cc[@]}" "${flags[@]}" - >"$work/out.txt" 2>&1; then
            head -5 "$work/out.txt"
            fail "$name as $lang"
        fi
    done
    # and all of them together, as a front end using every part includes them
    printf '#include <%s>\n' $(cd "$sdk/include" && ls *.h) | "${cc[@]}" "${flags[@]}" - >"$work/out.txt" 2>&1 ||
        { head -5 "$work/out.txt"; fail "all headers together as $lang"; }
done

# The sample, built by a project of its own that knows only the unpacked SDK.
cmake -S "$sdk/samples" -B "$work/sample" -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=x86 \
    -DCMAKE_C_COMPILER=i686-w64-mingw32-gcc -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" \
    -DCMAKE_PREFIX_PATH="$sdk" >"$work/configure.txt" 2>&1 || { cat "$work/configure.txt"; exit 1; }
cmake --build "$work/sample" >"$work/make.txt" 2>&1 || { cat "$work/make.txt"; exit 1; }

cd "$work/sample"
sox -n -r 44100 -c 2 -b 16 in.wav synth 2 sine 440 sine 660 gain -6
for output in out.ogg out.mp3; do
    if ! "$build/harness-run" ./convert.exe in.wav "$output" >"$work/run.txt" 2>&1; then
        cat "$work/run.txt"
        fail "convert in.wav $output"
        continue
    fi
    tr -d '\r' <"$work/run.txt" | grep -qx '100%' || { cat "$work/run.txt"; fail "$output: no progress to 100%"; }
    seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$output" || echo 0)
    python3 -c "import sys; sys.exit(abs(float('$seconds') - 2) > 0.1)" ||
        fail "$output lasts $seconds s, not 2 s"
done
# The sample reports a failure as a failure.
"$build/harness-run" ./convert.exe missing.wav out2.ogg >/dev/null 2>&1 && fail "a missing input converted"

[ $failed = 0 ] && echo "SDK checks passed"
exit $failed
