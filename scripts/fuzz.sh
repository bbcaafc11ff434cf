#!/usr/bin/env bash
# Builds the native fuzz targets (tests/fuzz, clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-fuzz/) and runs each on its corpus.
#   scripts/fuzz.sh [-t SECONDS] [-s SEED] [TARGET...]
# Each target runs SECONDS (default 20; 0 = until interrupted), all of them when none is named.
# SEED fixes libFuzzer's random sequence, so that a run from the seeds alone (a fresh clone)
# explores the same inputs every time: the test run uses it as a regression gate. Without it
# every run explores new inputs, which is what a longer campaign wants.
# The corpus grows in build-fuzz/corpus/TARGET, starting from the seeds. A crash, a sanitizer
# report, a leak or a time-out fails the run and prints the input that caused it; add that
# input to tests/fuzz/seeds/TARGET/ (as a hex dump, NAME.hex) once it is fixed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-fuzz
seconds=20
seed=()
while [ $# -gt 0 ]; do
    case $1 in
    -t) seconds=$2 ;;
    -s) seed=(-seed="$2") ;;
    *) break ;;
    esac
    shift 2
done
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
fi
cmake --build "$build" -j"$(nproc)" >/dev/null
rm -rf "$build/seeds"
python3 "$root/tests/fuzz/make_seeds.py" "$build/seeds"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets <"$build/targets.txt"

failed=()
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$corpus" "$artifacts"
    log=$build/$target.log
    status=0
    (cd "$build" && "./fuzz_$target" "${seed[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$build/seeds/$target") >"$log" 2>&1 ||
        status=$?
    summary=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    edges=$(echo "$summary" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    if [ $status -eq 0 ]; then
        printf 'ok   %-16s %10s runs %7s/s  %5s edges\n' "$target" "${execs:-?}" "${rate:-?}" "${edges:-?}"
        continue
    fi
    failed+=("$target")
    echo "FAIL $target (exit $status); its output: $log"
    grep -E 'ERROR|SUMMARY|runtime error|failed:|Test unit written' "$log" | head -20 || true
    for input in "$artifacts"/*; do
        [ -f "$input" ] || continue
        echo "reproducer $input (run: $build/fuzz_$target $input):"
        xxd "$input" | head -64
    done
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets that failed: ${failed[*]}"
    exit 1
fi
