# SPDX-License-Identifier: Apache-2.0
# Shared helpers of the project's scripts: the repository root and a configure-and-build step.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"

# build <dir> [cmake options...]: configures (once) and builds the tree in <dir>.
build() {
    local dir="$1"
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}
