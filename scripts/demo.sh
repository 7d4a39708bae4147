#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Sets the machine up, builds the library, the simulator and the demo, and runs the demo against one
# simulated camera. With ORVANE_DEMO_NO_SIM=1 the demo looks for real cameras only.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$ROOT/scripts/install-deps.sh"
build "$ROOT/build/release" -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCHMARKS=OFF

CAMERA=()
if [ "${ORVANE_DEMO_NO_SIM:-0}" != "1" ]; then
    # Other cameras on the network may be listed first; an -u of the caller's still wins.
    CAMERA=(-u KR52Lite:SN0001)
    # The simulator keeps announcing while its standard input stays open; the trap ends it.
    sleep infinity | "$ROOT/build/release/sim/orvane-camsim" \
        --camera serial=SN0001,alias=demo-cam,ip=127.0.0.2 >/dev/null &
    SIM_PID=$!
    trap 'kill "$SIM_PID" 2>/dev/null || true; pkill -P $$ sleep 2>/dev/null || true' EXIT
fi
"$ROOT/build/release/examples/orvane-demo" "${CAMERA[@]}" "$@"

if [ "${ORVANE_DEMO_NO_SIM:-0}" != "1" ]; then
    # The simulated camera takes a newer firmware image from the library's server (port 8080), reboots
    # and comes back with the new version.
    IMAGE_DIR="$(mktemp -d)"
    trap 'kill "$SIM_PID" 2>/dev/null || true; pkill -P $$ sleep 2>/dev/null || true; rm -rf "$IMAGE_DIR"' EXIT
    echo
    "$ROOT/build/release/sim/orvane-camsim" --write-firmware "$IMAGE_DIR/firmware.bin" --date 20260301 \
        --sub-version 4 --size 1048576
    "$ROOT/build/release/examples/orvane-upgrade" "$IMAGE_DIR/firmware.bin" KR52Lite:SN0001
fi
