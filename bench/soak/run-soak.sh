#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Runs the scale and soak benchmarks one after the other and keeps their output and JSON: the decode
# benchmarks per core, four cameras in raw four-phase depth with 1600x1200 colour, four in camera-computed
# images with 640x480 colour, then the open/stream/close cycles and the long stream on one camera.
# Usage: bench/soak/run-soak.sh [build dir, default build/release] [output dir, default soak-results]
# SOAK_SECONDS (600), SOAK_CAMERAS (4), SOAK_CYCLES (1000), SOAK_FRAMES (100000) shorten or lengthen it.
# With scheduler autogroups on (/proc/sys/kernel/sched_autogroup_enabled), every terminal session shares
# the processors equally whatever its nice value, so a build under nice 19 in another session would still
# take half the machine: each run gets a session of its own whose group weight is SOAK_GROUP_NICE (-19;
# empty leaves it alone; needs root or CAP_SYS_NICE).
set -euo pipefail
build=${1:-build/release}
out=${2:-soak-results}
seconds=${SOAK_SECONDS:-600}
cameras=${SOAK_CAMERAS:-4}
group_nice=${SOAK_GROUP_NICE--19}
mkdir -p "$out"

run() {
    local name=$1
    shift
    echo "== $name: $*"
    setsid sh -c 'if [ -n "$0" ]; then echo "$0" > /proc/self/autogroup || true; fi; exec "$@"' \
        "$group_nice" "$@" 2>&1 | tee "$out/$name.txt"
}

for decode in bench_TofDecodeBench bench_RgbDecodeBench; do
    if [ -x "$build/bench/$decode" ]; then
        run "$decode" "$build/bench/$decode"
    fi
done
run cameras-raw "$build/bench/bench_soak_cameras" --cameras "$cameras" --seconds "$seconds" --mode raw \
    --json "$out/cameras-raw.json"
run cameras-computed "$build/bench/bench_soak_cameras" --cameras "$cameras" --seconds "$seconds" \
    --mode computed --json "$out/cameras-computed.json"
run cycles "$build/bench/bench_soak_cycles" --cycles "${SOAK_CYCLES:-1000}" --frames "${SOAK_FRAMES:-100000}" \
    --json "$out/cycles.json"
if pgrep -x orvane-camsim > /dev/null; then
    echo "orvane-camsim processes left behind:" >&2
    pgrep -a -x orvane-camsim >&2
    exit 1
fi
