#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the demo against one simulated camera and checks that it lists it: <orvane-camsim> <orvane-demo>.
set -euo pipefail
sim="$1"
demo="$2"
sleep 30 2>/dev/null | "$sim" --period-ms 200 --camera serial=SNDEMO,alias=demo-cam,ip=127.0.0.2 >/dev/null &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
output="$("$demo" 1500)"
echo "$output"
grep -q "KR52Lite:SNDEMO  alias=demo-cam  ip=127.0.0.2  sessions=1  status=available" <<<"$output"
grep -q "shut down (0)" <<<"$output"
