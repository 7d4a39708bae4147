#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Sets the machine up, checks the layout, then builds and runs the whole suite twice: a release build
# (GCC) and an AddressSanitizer + UndefinedBehaviorSanitizer build (clang, with the fuzz targets, clang's
# thread-safety analysis and clang-tidy over src/ and refine/).
# After the release build, the viewer's page is tested in headless Chromium (tests/browser/run.sh).
# Last, a ThreadSanitizer build runs the delivery tests, the 2,000-set stress, and the device manager's
# and the connections' tests.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$ROOT/scripts/install-deps.sh" || exit 1
"$ROOT/scripts/check-format.sh" || exit 1
"$ROOT/scripts/check-layering.sh" || exit 1

# Every option the suite relies on is set here: a tree configured by the demo (tests off) is turned
# back on, and ctest fails when it finds no test instead of reporting success.
SUITE_OPTIONS=(-DORVANE_BUILD_TESTS=ON -DORVANE_BUILD_TOOLS=ON -DORVANE_WERROR=ON)
# The browser test runs as a stage of its own (below), not inside the trees' ctest runs.
CTEST=(ctest -j "$JOBS" --output-on-failure --no-tests=error -LE browser)

status=0
echo "=== release build ==="
if build "$ROOT/build/release" -DCMAKE_BUILD_TYPE=Release "${SUITE_OPTIONS[@]}" \
    -DORVANE_BUILD_BENCHMARKS=ON -DORVANE_BUILD_FUZZ=OFF -DORVANE_SANITIZER=; then
    (cd "$ROOT/build/release" && "${CTEST[@]}") || status=1
else
    echo "release build failed"
    status=1
fi

echo "=== browser test ==="
# The viewer's page in headless Chromium against a simulated camera, on the release tree: npm ci of the
# pinned browser driver, then the run, under the loopback lock like every other camera test (-o: the
# programs the test starts never hold the lock past its end).
browser_start=$SECONDS
if [ -x "$ROOT/build/release/tools/cli/orvane-cli" ] && [ -x "$ROOT/build/release/sim/orvane-camsim" ]; then
    flock -o /tmp/orvane-loopback.lock "$ROOT/tests/browser/run.sh" "$ROOT/build/release" || status=1
else
    echo "browser test: the release build has no orvane-cli or orvane-camsim"
    status=1
fi
echo "browser test: $((SECONDS - browser_start)) s (npm ci and the run)"

echo "=== address+undefined sanitizer build ==="
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
if CC=clang CXX=clang++ build "$ROOT/build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_SANITIZER=address \
    -DORVANE_BUILD_FUZZ=ON -DORVANE_BUILD_BENCHMARKS=OFF "${SUITE_OPTIONS[@]}"; then
    (cd "$ROOT/build/asan" && "${CTEST[@]}") || status=1
    # Static analysis with the same compiler's view of the sources.
    "$ROOT/scripts/check-tidy.sh" "$ROOT/build/asan" || status=1
    # All 200 open/stream/close cycles take longer than a test may in the suite: run them on their own.
    ORVANE_CYCLES_SECONDS=100 timeout 130 "$ROOT/build/asan/tests/integration/session_api_tests" \
        --gtest_filter='*OpenStreamCloseCycles*' || status=1
else
    echo "sanitizer build failed"
    status=1
fi

echo "=== thread sanitizer build (frame delivery, device manager, connections, geometry switches, transfers) ==="
# The pipeline runs several times slower under the thread sanitizer: the stress run gets the time it
# needs to take all of its sets.
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/scripts/tsan.supp}"
if CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANE_SANITIZER=thread -DORVANE_BUILD_BENCHMARKS=OFF -DORVANE_BUILD_FUZZ=OFF "${SUITE_OPTIONS[@]}" >/dev/null &&
    cmake --build "$ROOT/build/tsan" -j "$JOBS" --target pipeline_tests pipeline_loopback_tests device_tests \
        net_socketctl_tests net_protocol_tests geometry_api_tests transfer_tests net_file_transfer_tests \
        upgrade_api_tests close_under_call_tests fault_matrix_tests; then
    (cd "$ROOT/build/tsan" && "${CTEST[@]}" -R "Deliver" -E "ThousandsOfSets") ||
        status=1
    # The device manager's heartbeat and the connections' close run beside the application's threads.
    # So do the HTTP server's threads, the transfer worker and the upgrade workers.
    for suite in unit/device/device_tests unit/net/net_socketctl_tests unit/net/net_protocol_tests \
        unit/transfer/transfer_tests unit/net/net_file_transfer_tests; do
        "$ROOT/build/tsan/tests/$suite" --gtest_brief=1 || status=1
    done
    "$ROOT/build/tsan/tests/integration/upgrade_api_tests" --gtest_brief=1 \
        --gtest_filter='*WholeUpgrade*:*Closing*:TransferTest.*' || status=1
    "$ROOT/build/tsan/tests/integration/fault_matrix_tests" --gtest_brief=1 || status=1
    # Point conversions and mapping racing the undistortion switches, which republish the geometry.
    "$ROOT/build/tsan/tests/integration/geometry_api_tests" --gtest_brief=1 --gtest_filter='*Racing*' || status=1
    # A handle closed and reopened under eight calling threads.
    "$ROOT/build/tsan/tests/integration/close_under_call_tests" --gtest_brief=1 --gtest_filter='CloseUnderCall*' ||
        status=1
    # The stress test outlives the suite's per-test time-out here, so it runs on its own.
    ORVANE_STRESS_SECONDS=280 timeout 320 "$ROOT/build/tsan/tests/unit/pipeline/pipeline_loopback_tests" \
        --gtest_filter='*ThousandsOfSets*' || status=1
else
    echo "thread sanitizer build failed"
    status=1
fi
exit $status
