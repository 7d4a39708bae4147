#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Fails when a source under src/ or refine/ includes a header of a folder it may not depend on, naming
# the file and line. The layers, bottom up: runtime; protocol; pipeline (with refine beside it) and net
# (with transfer below it) side by side; upgrade; session; device; api. Nothing under src/ or refine/
# includes from sim/, tools/, python/, examples/ or tests/.
# Usage: check-layering.sh [root]   (default: the repository this script belongs to)
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"

# The folders each folder may include from, besides its own.
declare -A allowed=(
    [runtime]=""
    [protocol]="runtime"
    [refine]=""
    [pipeline]="runtime protocol refine"
    [transfer]="runtime protocol"
    [net]="runtime protocol transfer"
    [upgrade]="runtime protocol transfer net"
    [session]="runtime protocol refine pipeline transfer net upgrade"
    [device]="runtime protocol refine pipeline transfer net upgrade session"
    [api]="runtime protocol refine pipeline transfer net upgrade session device"
)
forbidden_tops="sim tools python examples tests"

cd "$root"
status=0
checked=0
while IFS= read -r file; do
    checked=$((checked + 1))
    case "$file" in
    refine/*) from=refine ;;
    src/*) from="${file#src/}" from="${from%%/*}" ;;
    esac
    if [ -z "${allowed[$from]+set}" ]; then
        echo "$file: folder '$from' has no place in the layers (add it to scripts/check-layering.sh)"
        status=1
        continue
    fi
    # Quoted includes name a folder first ("net/SocketCtl.h"); a bare name is the folder's own file.
    while IFS=: read -r line target; do
        to="${target%%/*}"
        [ "$to" = "$target" ] && continue # same folder, or the public header
        [ "$to" = "$from" ] && continue
        if [[ " $forbidden_tops " == *" $to "* ]] || [[ " ${allowed[$from]} " != *" $to "* ]]; then
            echo "$file:$line: $from/ may not include \"$target\""
            status=1
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
        sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
done < <(find src refine -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.c' \) 2>/dev/null | sort)

if [ "$status" -eq 0 ]; then
    echo "check-layering: $checked files keep to the layers"
fi
exit $status
