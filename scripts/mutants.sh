#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Puts each known fault of tests/mutants/ back into a scratch copy of the tree, one at a time, and checks
# that the tests named for it fail: caught (tests failed, crashed or timed out), missed (tests passed) or
# broken (the patch did not apply, the tree did not build, or the tests named do not exist).
#
# Usage: scripts/mutants.sh [--keep] [NAME...]
#   NAME      a mutant's file name, with or without .patch, or its number (07); all mutants by default
#   --keep    keep the scratch directory (sources, build and logs) and print where it is
# Environment: MUTANT_TIMEOUT (seconds for one mutant's tests, default 240), MUTANT_JOBS (default 2).
#
# A mutant is a unified diff (a/src/... b/src/..., applied with patch -p1 from the repository root)
# preceded by three header lines:
#   # fault: the fault as a user would see it
#   # target: the build target(s) holding its tests
#   # tests: a ctest -R regular expression naming the tests that must fail
# Its tests are run on the unchanged tree first: a mutant whose tests fail without it is not caught.
# Exit status 0 only when every mutant chosen is caught.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
MUTANT_DIR="$ROOT/tests/mutants"
LOCK=/tmp/orvane-loopback.lock
TIMEOUT_S="${MUTANT_TIMEOUT:-240}"
JOBS="${MUTANT_JOBS:-2}" # common.sh's default, every core, is more than a shared machine should take

keep=0
names=()
for arg in "$@"; do
    case "$arg" in
    --keep) keep=1 ;;
    -h | --help)
        sed -n '3,18p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    -*)
        echo "unknown option: $arg" >&2
        exit 2
        ;;
    *) names+=("$arg") ;;
    esac
done

# --- the mutants chosen ---------------------------------------------------------------------------
mutants=()
if [ "${#names[@]}" -eq 0 ]; then
    for file in "$MUTANT_DIR"/*.patch; do
        [ -e "$file" ] && mutants+=("$file")
    done
else
    for name in "${names[@]}"; do
        name="${name%.patch}"
        name="${name##*/}"
        found=("$MUTANT_DIR/$name.patch")
        [ -e "${found[0]}" ] || found=("$MUTANT_DIR/$name"-*.patch)
        if [ ! -e "${found[0]}" ] || [ "${#found[@]}" -ne 1 ]; then
            echo "no single mutant named '$name' in $MUTANT_DIR" >&2
            exit 2
        fi
        mutants+=("${found[0]}")
    done
fi
if [ "${#mutants[@]}" -eq 0 ]; then
    echo "no mutants in $MUTANT_DIR" >&2
    exit 2
fi

header() { sed -n "/^--- /q; s/^# $2: *//p" "$1" | head -n 1; }

all_targets=()
for file in "${mutants[@]}"; do
    target="$(header "$file" target)"
    if [ -z "$target" ] || [ -z "$(header "$file" tests)" ]; then
        echo "$(basename "$file"): the '# target:' or '# tests:' line is missing" >&2
        exit 2
    fi
    read -ra parts <<<"$target"
    all_targets+=("${parts[@]}")
done
mapfile -t all_targets < <(printf '%s\n' "${all_targets[@]}" | sort -u)

# --- the scratch copy and its build ----------------------------------------------------------------
started=$SECONDS
SCRATCH="$(mktemp -d "${TMPDIR:-/tmp}/orvane-mutants.XXXXXX")"
cleanup() {
    if [ "$keep" -eq 1 ]; then
        echo "scratch directory kept: $SCRATCH"
    else
        rm -rf "$SCRATCH"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
TREE="$SCRATCH/tree"
BUILD="$SCRATCH/build"
LOGS="$SCRATCH/logs"
mkdir -p "$TREE" "$LOGS"

# The tracked (and staged) files as they are in the working tree: no build directory, nothing untracked.
(cd "$ROOT" && git ls-files -z --cached |
    tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$TREE" || {
    echo "could not copy the working tree" >&2
    exit 2
}
echo "configuring a release build in $BUILD"
if ! cmake -S "$TREE" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=ON \
    -DORVANE_BUILD_BENCHMARKS=OFF -DORVANE_BUILD_TOOLS=ON -DORVANE_BUILD_FUZZ=OFF -DORVANE_SANITIZER= \
    -DORVANE_WERROR=OFF >"$LOGS/configure.log" 2>&1; then
    tail -n 20 "$LOGS/configure.log" >&2
    echo "configuring failed" >&2
    exit 2
fi
echo "building ${all_targets[*]}"
if ! cmake --build "$BUILD" -j "$JOBS" --target "${all_targets[@]}" >"$LOGS/build.log" 2>&1; then
    tail -n 30 "$LOGS/build.log" >&2
    echo "the unchanged tree does not build" >&2
    exit 2
fi
echo "built in $((SECONDS - started)) s"

# count_tests <regex> [ctest options]: how many tests the expression names.
count_tests() {
    local regex="$1"
    shift
    ctest --test-dir "$BUILD" -N -R "$regex" "$@" 2>/dev/null | sed -n 's/^Total Tests: *//p'
}

# run_tests <regex> <log>: runs the tests, under the loopback lock when one of them uses loopback
# addresses; 0 when they all pass.
run_tests() {
    local lock=()
    if [ "$(count_tests "$1" -L loopback)" != 0 ]; then
        lock=(flock "$LOCK")
    fi
    "${lock[@]}" timeout --kill-after=10 "$TIMEOUT_S" \
        ctest --test-dir "$BUILD" -R "$1" --no-tests=error --output-on-failure >"$2" 2>&1
}

# failed_tests <log>: the names of the failed tests, comma-separated.
failed_tests() {
    sed -nE 's/^[[:space:]]*[0-9]+ - ([^ ]+) \(.*/\1/p' "$1" | head -n 3 | paste -sd, -
}

# --- the tests of each mutant on the unchanged tree ------------------------------------------------
# All of them in one run; only when that fails is each mutant's share run on its own to tell which.
declare -A baseline=()
regexes=()
for file in "${mutants[@]}"; do
    name="$(basename "$file" .patch)"
    regex="$(header "$file" tests)"
    baseline[$name]=""
    if [ "$(count_tests "$regex")" = 0 ]; then
        baseline[$name]="no test matches '$regex'"
    else
        regexes+=("$regex") # joined by | below: CMake's expressions allow too few groups for (...)
    fi
done
if [ "${#regexes[@]}" -gt 0 ] && ! run_tests "$(IFS='|'; echo "${regexes[*]}")" "$LOGS/baseline.log"; then
    echo "the unchanged tree's run failed: each mutant's tests on their own"
    for file in "${mutants[@]}"; do
        name="$(basename "$file" .patch)"
        if [ -z "${baseline[$name]}" ] && ! run_tests "$(header "$file" tests)" "$LOGS/$name.baseline.log"; then
            baseline[$name]="its tests fail without the mutant: $(failed_tests "$LOGS/$name.baseline.log")"
        fi
    done
fi
echo "unchanged tree tested after $((SECONDS - started)) s"

# --- one mutant at a time --------------------------------------------------------------------------
results=()
caught=0
for file in "${mutants[@]}"; do
    name="$(basename "$file" .patch)"
    read -ra targets <<<"$(header "$file" target)"
    regex="$(header "$file" tests)"
    mutant_start=$SECONDS
    log="$LOGS/$name"
    status="broken"
    detail="${baseline[$name]}"
    applied=0
    if [ -n "$detail" ]; then
        : # its tests cannot tell
    elif ! (cd "$TREE" && patch -p1 --forward --batch --dry-run -s <"$file" >"$log.patch.log" 2>&1); then
        detail="does not apply (see $log.patch.log)"
    else
        (cd "$TREE" && patch -p1 --forward --batch --no-backup-if-mismatch --reject-file=- -s <"$file") \
            >>"$log.patch.log" 2>&1
        applied=1
        if ! cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]}" >"$log.build.log" 2>&1; then
            detail="does not compile (see $log.build.log)"
            grep -m 3 'error' "$log.build.log" | sed 's/^/    /' >&2
        elif run_tests "$regex" "$log.test.log"; then
            status="missed"
            detail="its tests passed"
        else
            status="caught"
            caught=$((caught + 1))
            failed="$(failed_tests "$log.test.log")"
            detail="failed: ${failed:-timed out after ${TIMEOUT_S} s}"
        fi
    fi
    line="$(printf '%-7s %-46s %4d s  %s' "$status" "$name" $((SECONDS - mutant_start)) "$detail")"
    echo "$line"
    results+=("$line")
    if [ "$applied" -eq 1 ] &&
        ! (cd "$TREE" && patch -p1 -R --batch --no-backup-if-mismatch --reject-file=- -s <"$file") \
            >>"$log.patch.log" 2>&1; then
        echo "could not take $name out again; stopping" >&2
        break
    fi
done

echo
echo "=== mutants ==="
printf '%s\n' "${results[@]}"
echo "$caught of ${#mutants[@]} caught in $((SECONDS - started)) s"
[ "$caught" -eq "${#mutants[@]}" ]
