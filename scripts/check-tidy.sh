#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs clang-tidy (the checks chosen in .clang-tidy) over every source of src/ and refine/, with the
# compile commands of a configured clang build; fails on any finding.
# Usage: check-tidy.sh <build directory configured with clang>
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_dir="${1:?usage: check-tidy.sh <clang build directory>}"
[ -f "$build_dir/compile_commands.json" ] || { echo "check-tidy: no compile_commands.json in $build_dir"; exit 1; }

cd "$ROOT"
mapfile -t files < <(git ls-files -co --exclude-standard -- 'src/*.cpp' 'refine/*.cpp' |
    while read -r f; do [ -f "$f" ] && echo "$f"; done)
report="$build_dir/clang-tidy.txt"
# clang-tidy's own status is non-zero on a finding; the report decides.
printf '%s\n' "${files[@]}" | xargs -P "$JOBS" -n 4 clang-tidy -p "$build_dir" --quiet >"$report" 2>/dev/null || true
if grep -qE '(error|warning):' "$report"; then
    grep -A2 -E '(error|warning):' "$report"
    echo "check-tidy: findings above"
    exit 1
fi
echo "check-tidy: ${#files[@]} files clean"
