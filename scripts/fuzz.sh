#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs every fuzz target of the sanitizer tree for [seconds] each (default 60), building the tree's fuzz
# targets first when needed. Each target reads its seeds (generated and committed) and its dictionary
# when tests/fuzz/dict/<target>.dict exists; new inputs go to <target>_found in the build tree, crashes to
# build/asan/tests/fuzz/findings/<target>/. Prints per target: executions, exec/s, coverage and crash files.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

SECONDS_EACH="${1:-60}"
TREE="$ROOT/build/asan"
FUZZ_DIR="$TREE/tests/fuzz"

if [ ! -f "$TREE/build.ninja" ] || ! grep -q '^ORVANE_BUILD_FUZZ:BOOL=ON' "$TREE/CMakeCache.txt" 2>/dev/null; then
    CC=clang CXX=clang++ cmake -S "$ROOT" -B "$TREE" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DORVANE_SANITIZER=address -DORVANE_BUILD_FUZZ=ON -DORVANE_BUILD_BENCHMARKS=OFF \
        -DORVANE_BUILD_TESTS=ON -DORVANE_BUILD_TOOLS=ON -DORVANE_WERROR=ON >/dev/null || exit 1
fi
# Only the fuzz targets (and the seed generators they depend on) are built.
mapfile -t TARGETS < <(cmake --build "$TREE" --target help | sed -n 's/^\([a-z_]*_fuzz\):.*/\1/p' | sort)
if [ "${#TARGETS[@]}" -eq 0 ]; then
    echo "no fuzz targets in $TREE (needs clang)"
    exit 1
fi
cmake --build "$TREE" -j "$JOBS" --target "${TARGETS[@]}" || exit 1

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
printf '%-22s %12s %9s %8s %8s  %s\n' target executions exec/s cov ft crashes
for target in "${TARGETS[@]}"; do
    binary="$FUZZ_DIR/$target"
    [ -x "$binary" ] || continue
    found="$FUZZ_DIR/${target}_found"
    findings="$FUZZ_DIR/findings/$target"
    mkdir -p "$found" "$findings"
    # The corpus directories the target's ctest run reads (generated seeds, committed corpus).
    corpora=()
    while IFS= read -r dir; do
        [ -d "$dir" ] && [ "$dir" != "$found" ] && corpora+=("$dir")
    done < <(grep "^add_test(\[=\[$target\]=\]" "$FUZZ_DIR/CTestTestfile.cmake" | grep -o '"[^"]*"' | tr -d '"')
    dict=()
    [ -f "$ROOT/tests/fuzz/dict/$target.dict" ] && dict=("-dict=$ROOT/tests/fuzz/dict/$target.dict")
    log="$findings/run.log"
    (cd "$findings" && "$binary" -max_total_time="$SECONDS_EACH" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "${dict[@]}" "$found" "${corpora[@]}") >"$log" 2>&1
    result=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    crashes=$(find "$findings" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | tr '\n' ' ')
    printf '%-22s %12s %9s %8s %8s  %s\n' "$target" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "${crashes:-none}"
    if [ "$result" -ne 0 ] || [ -n "$crashes" ]; then
        echo "  $target failed (exit $result); log: $log"
        status=1
    fi
done
exit $status
