#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Ships the built tree as a user gets it and builds a user's program against it: an install tree moved after
# installing (CMake package and pkg-config), then the Debian packages unpacked into a scratch root.
# Usage: package_test.sh BUILD_DIR CONSUMER_SOURCE_DIR VERSION PROGRAM... (the programs orvane-tools must hold;
# the build must be done, nothing is rebuilt).
set -euo pipefail
build=$(realpath "$1")
consumer=$(realpath "$2")
version=$3
shift 3
work=$(mktemp -d /tmp/orvane-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
started=$SECONDS

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# expect_version LABEL COMMAND...: the program runs and prints the project's version.
expect_version() {
    local label=$1 out
    shift
    out=$("$@") || fail "$label: the program exited with $?"
    [ "$out" = "$version" ] || fail "$label: printed '$out' instead of $version"
    echo "ok: $label prints $version"
}

# check_prefix LABEL PREFIX: builds and runs the consumer against PREFIX alone, with find_package and
# with pkg-config, and checks the installed programs find their libraries without help.
check_prefix() {
    local label=$1 prefix=$2 dir=$work/consumer-$1
    if ! { cmake -S "$consumer" -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF &&
        cmake --build "$dir"; } >"$dir.log" 2>&1; then
        cat "$dir.log"
        fail "$label: the consumer does not build with find_package"
    fi
    grep -q "^Orvane_DIR:PATH=$prefix/" "$dir/CMakeCache.txt" || fail "$label: found another Orvane"
    expect_version "$label find_package" "$dir/orvane-consumer"

    local pcdir libdir
    pcdir=$(dirname "$(find "$prefix" -name orvane.pc)")
    export PKG_CONFIG_LIBDIR=$pcdir
    libdir=$(realpath "$(pkg-config --variable=libdir orvane)")
    [[ "$libdir" == "$prefix"/* ]] || fail "$label: orvane.pc points at $libdir, outside $prefix"
    # shellcheck disable=SC2046 # pkg-config's flags are separate words.
    cc "$consumer/main.c" $(pkg-config --cflags --libs orvane) -o "$dir-pc" || fail "$label: pkg-config build"
    unset PKG_CONFIG_LIBDIR
    expect_version "$label pkg-config" env LD_LIBRARY_PATH="$libdir" "$dir-pc"

    # The Python package, when built, imports from the tree with Debian's interpreter and finds the library.
    if [ -d "$build/python/orvane" ]; then
        expect_version "$label python" env -u PYTHONPATH PYTHONPATH="$prefix/lib/python3/dist-packages" \
            /usr/bin/python3 -c "import orvane; print(orvane.__version__)"
    fi

    local program
    for program in "$prefix"/bin/*; do
        ! ldd "$program" | grep "not found" || fail "$label: $(basename "$program") misses a library"
    done
}

echo "--- install tree"
cmake --install "$build" --prefix "$work/install" >"$work/install.log" || fail "cmake --install failed"
if grep -rlF -e "$build" -e "$work/install" "$work/install/lib"/{cmake,pkgconfig}; then
    fail "the installed package files hold absolute paths"
fi
mv "$work/install" "$work/moved"
check_prefix install "$work/moved"

echo "--- Debian packages"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
declare -A deb
names=(liborvane1 liborvane-dev orvane-tools)
[ -d "$build/python/orvane" ] && names+=(python3-orvane)
for name in "${names[@]}"; do
    deb[$name]=$(compgen -G "$work/deb/${name}_${version}_*.deb") || fail "no package $name $version"
    echo "size: $(stat -c %s "${deb[$name]}") bytes $(basename "${deb[$name]}")"
    dpkg-deb -x "${deb[$name]}" "$work/root"
done
# Each row: package, a pattern its Depends must match, a file it must hold.
while read -r name depends file; do
    depends=${depends//VERSION/$version}
    grep -Eq "$depends" <<<"$(dpkg-deb -f "${deb[$name]}" Depends)" || fail "$name: Depends lacks $depends"
    grep -Eq " \./usr/$file( |$)" <<<"$(dpkg-deb -c "${deb[$name]}")" || fail "$name: no $file"
done <<'ROWS'
liborvane1    libc6.*libcivetweb                     lib/libDepthRefine\.so\.1\.0\.0
liborvane-dev ^liborvane1.\(=.VERSION\)               lib/pkgconfig/orvane\.pc
orvane-tools  ^liborvane1.\(=.VERSION\).*libturbojpeg bin/orvane-camsim
ROWS
if [ -n "${deb[python3-orvane]:-}" ]; then
    for needed in "liborvane1 (= $version)" "python3," "python3-numpy"; do
        grep -qF "$needed" <<<"$(dpkg-deb -f "${deb[python3-orvane]}" Depends)" || fail "python3-orvane: Depends lacks $needed"
    done
    grep -Eq " \./usr/lib/python3/dist-packages/orvane/_orvane\..*\.so$" <<<"$(dpkg-deb -c "${deb[python3-orvane]}")" ||
        fail "python3-orvane: no compiled module"
fi
for program in "$@"; do
    [ -n "$program" ] || continue
    grep -q " \./usr/bin/$program$" <<<"$(dpkg-deb -c "${deb[orvane-tools]}")" || fail "orvane-tools: no $program"
done
grep -q "^libOrvane_api 1 liborvane1 (>= $version)" <<<"$(dpkg-deb -I "${deb[liborvane1]}" shlibs)" ||
    fail "liborvane1 declares no shlibs for libOrvane_api.so.1"
if grep -E "\.h$|\.so -> " <<<"$(dpkg-deb -c "${deb[liborvane1]}")"; then
    fail "liborvane1 holds development files"
fi
check_prefix deb "$work/root/usr"
echo "package test done in $((SECONDS - started)) s"
