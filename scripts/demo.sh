#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Sets the machine up, builds the library and the demo, and runs the demo.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$ROOT/scripts/install-deps.sh"
build "$ROOT/build/release" -DCMAKE_BUILD_TYPE=Release -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCHMARKS=OFF
"$ROOT/build/release/examples/orvane-demo" "$@"
