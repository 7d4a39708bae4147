#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages the project builds, tests, fuzzes and packages with (dpkg-dev and file let
# cpack work out the Debian packages' dependencies; pybind11 and numpy build the Python module, pytest
# tests it, Chromium runs the viewer's browser test); installs only what is missing.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config binutils git
    clang libclang-rt-14-dev clang-format clang-tidy
    libgtest-dev libgmock-dev libbenchmark-dev
    libturbojpeg0-dev libcivetweb-dev libopencv-core-dev libopencv-imgproc-dev
    libpng-dev libcli11-dev nlohmann-json3-dev libzstd-dev
    dpkg-dev file
    pybind11-dev python3-dev python3-numpy python3-pytest chromium
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    echo "install-deps: all ${#PACKAGES[@]} packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
