#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs the viewer's browser test against a build tree: installs the pinned browser driver from the lock
# file (npm's cache kept in the build tree), then drives the page with a time bound. The caller holds the
# loopback lock around it (the simulated camera announces itself on the shared discovery port).
set -euo pipefail
if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
build=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$here"
timeout 180 npm ci --no-audit --no-fund --prefer-offline --loglevel=error --cache "$build/tests/browser/npm-cache"
exec timeout 120 node viewer.test.mjs "$build"
