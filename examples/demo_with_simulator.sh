#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs an example against one simulated camera and checks what it printed and wrote:
# <orvane-camsim> demo <orvane-demo>, <orvane-camsim> align <orvane-align>, or <orvane-camsim> callback
# <orvane-stream-callback>, <orvane-camsim> upgrade <orvane-upgrade>, or <orvane-camsim> transfer
# <orvane-transfer>.
set -euo pipefail
sim="$1"
kind="$2"
program="$3"
out="$(mktemp -d)"
# The simulator runs until its standard input closes: the trap closes it and waits for the exit.
coproc SIM { exec "$sim" --exit-on-eof --period-ms 200 --reboot-delay-ms 300 \
    --camera serial=SNDEMO,alias=demo-cam,ip=127.0.0.2 >/dev/null; }
sim_pid=$SIM_PID
finish() {
    exec {SIM[1]}>&- 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    rm -rf "$out"
}
trap finish EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# pnm_check <file> <magic> <bytes per sample>: header of a binary PGM/PPM and a payload of exactly
# width x height samples.
pnm_check() {
    local file="$1" magic="$2" channels="$3"
    [ -s "$file" ] || fail "$file missing"
    local header
    header="$(head -n 3 "$file" | tr '\n' ' ')"
    read -r m w h maxval _ <<<"$header"
    [ "$m" = "$magic" ] || fail "$file: magic $m"
    [[ "$w" =~ ^[0-9]+$ && "$h" =~ ^[0-9]+$ && "$w" -gt 0 && "$h" -gt 0 ]] || fail "$file: size $w x $h"
    local sample=1
    [ "$maxval" = 65535 ] && sample=2
    [ "$maxval" = 255 ] || [ "$maxval" = 65535 ] || fail "$file: maxval $maxval"
    local headerBytes=$((${#m} + ${#w} + ${#h} + ${#maxval} + 4))
    local expected=$((headerBytes + w * h * channels * sample))
    [ "$(stat -c %s "$file")" -eq "$expected" ] || fail "$file: $(stat -c %s "$file") bytes, want $expected"
    echo "$file: $m $w x $h maxval $maxval"
}

# ply_check <file> [coloured]: a binary little-endian PLY whose vertex count matches its size, every
# vertex with a positive depth, and with colour per vertex when asked.
ply_check() {
    local file="$1" coloured="${2:-}"
    [ -s "$file" ] || fail "$file missing"
    /usr/bin/python3 - "$file" "$coloured" <<'PY' || fail "$file: not a whole binary PLY"
import struct, sys
data = open(sys.argv[1], "rb").read()
end = data.index(b"end_header\n") + len(b"end_header\n")
header = data[:end].decode().splitlines()
assert header[:2] == ["ply", "format binary_little_endian 1.0"], header[:2]
count = int(next(line.split()[2] for line in header if line.startswith("element vertex ")))
colour = "property uchar red" in header
assert colour == (sys.argv[2] == "coloured"), "colour per vertex"
size = 15 if colour else 12
assert count > 0 and len(data) - end == count * size, (count, len(data) - end)
assert all(struct.unpack_from("<f", data, end + i * size + 8)[0] > 0 for i in range(count))
print(f"{sys.argv[1]}: {count} points{' with colour' if colour else ''}")
PY
}

case "$kind" in
demo)
    output="$("$program" -w 5000 -t 2 -u KR52Lite:SNDEMO -o "$out/frames")" || fail "the demo exited with $?"
    echo "$output"
    grep -q "KR52Lite:SNDEMO  alias=demo-cam  ip=127.0.0.2  sessions=1  status=available" <<<"$output" ||
        fail "the camera is not listed"
    grep -Eq "^average: depth [0-9.]+ fps \([1-9][0-9]*\) IR [0-9.]+ fps \([1-9][0-9]*\) confidence [0-9.]+ fps \([1-9][0-9]*\) colour [0-9.]+ fps \([1-9][0-9]*\)" \
        <<<"$output" || fail "a stream delivered no frames"
    grep -q "shut down (0)" <<<"$output" || fail "no clean shutdown"
    pnm_check "$out/frames/depth.pgm" P5 1
    pnm_check "$out/frames/ir.pgm" P5 1
    pnm_check "$out/frames/confidence.pgm" P5 1
    pnm_check "$out/frames/colour.ppm" P6 3
    ply_check "$out/frames/pointcloud.ply"
    ;;
align)
    output="$("$program" KR52Lite:SNDEMO "$out/align")" || fail "the example exited with $?"
    echo "$output"
    grep -q "ToF undistortion 0, colour undistortion 0, depth to colour 0" <<<"$output" || fail "a switch was refused"
    pnm_check "$out/align/depth-registered.pgm" P5 1
    pnm_check "$out/align/colour.ppm" P6 3
    ply_check "$out/align/pointcloud.ply" coloured
    ;;
callback)
    output="$("$program" KR52Lite:SNDEMO)" || fail "the example exited with $?"
    echo "$output"
    grep -Eq "^notified: [1-9][0-9]* sets; depth [1-9]" <<<"$output" || fail "no notified frames"
    grep -q "^polled depth frame" <<<"$output" || fail "no polled frames after unregistering"
    ;;
upgrade)
    "$sim" --write-firmware "$out/firmware.bin" --date 20260301 --sub-version 4 --size 1048576 >/dev/null
    output="$("$program" "$out/firmware.bin" KR52Lite:SNDEMO)" || fail "the example exited with $?"
    echo "$output"
    grep -q "^(4, 1) the camera accepted the image" <<<"$output" || fail "the image was not accepted"
    grep -q "writing \[####################\] 100%" <<<"$output" || fail "no writing progress to 100 %"
    grep -q "^(8, 1) upgrade finished" <<<"$output" || fail "no final report"
    grep -q "the camera is back with firmware KR52_V2.3.7_20260301_V4" <<<"$output" || fail "no new version"
    ;;
transfer)
    output="$(cd "$out" && "$program" KR52Lite:SNDEMO)" || fail "the example exited with $?"
    echo "$output"
    [ "$(grep -c ": done after" <<<"$output")" -eq 4 ] || fail "not every transfer was done"
    for file in intrinsic.bin planeness_0.bin ir_background.bin; do
        [ "$(stat -c %s "$out/Config/$file")" -eq 614400 ] || fail "$file is not whole"
    done
    ;;
*)
    fail "unknown kind $kind"
    ;;
esac
