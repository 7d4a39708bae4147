#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Fails when a C or C++ source of the repository is not laid out as .clang-format says.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

cd "$ROOT"
# Files deleted in the working tree but still in the index are passed over.
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.c' '*.h' '*.cpp' '*.hpp' | grep -v '^build/' |
    while read -r f; do [ -f "$f" ] && echo "$f"; done || true)
if [ "${#files[@]}" -eq 0 ]; then
    exit 0
fi
clang-format --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files laid out correctly"
