#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The layering check passes on the repository and fails, naming file and line, on a copy of it with one
# upward include planted (net/ reaching up into session/), one sideways (pipeline/ into net/) and one
# into the simulator.
set -euo pipefail
script="$1"
repo="$(cd "$(dirname "$script")/.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

"$script" "$repo" >/dev/null || { echo "FAIL: the repository itself breaks the layers"; exit 1; }

cp -r "$repo/src" "$repo/refine" "$scratch/"
printf '#include "session/BaseSession.h"\n' >>"$scratch/src/net/SocketCtl.h"
printf '#include "net/SocketCtl.h"\n' >>"$scratch/src/pipeline/Frame.h"
printf '#include "sim/CameraSimulator.h"\n' >>"$scratch/src/runtime/Config.h"
if out="$("$script" "$scratch")"; then
    echo "FAIL: planted includes passed the check"
    exit 1
fi
for expected in "src/net/SocketCtl.h:$(wc -l <"$scratch/src/net/SocketCtl.h"): net/ may not include \"session/BaseSession.h\"" \
    "src/pipeline/Frame.h:$(wc -l <"$scratch/src/pipeline/Frame.h"): pipeline/ may not include \"net/SocketCtl.h\"" \
    "src/runtime/Config.h:$(wc -l <"$scratch/src/runtime/Config.h"): runtime/ may not include \"sim/CameraSimulator.h\""; do
    grep -qF "$expected" <<<"$out" || { echo "FAIL: missing '$expected' in:"; echo "$out"; exit 1; }
done
[ "$(grep -c 'may not include' <<<"$out")" -eq 3 ] || { echo "FAIL: more than the planted lines:"; echo "$out"; exit 1; }
echo "check-layering: refuses the three planted includes"
