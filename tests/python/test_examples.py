# SPDX-License-Identifier: Apache-2.0
"""The Python examples against the simulator: their exit codes, and files that read back (the PNG decoded
with zlib, the PLY holding one point per pixel with depth in that PNG)."""

import os
import struct
import subprocess
import sys
import zlib

import numpy as np

from conftest import SIM_IP, SIM_URI

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "python")


def run(name, *args, cwd=None):
    return subprocess.run([sys.executable, os.path.join(EXAMPLES, name), *args], capture_output=True, text=True,
                          timeout=60, cwd=cwd)


def read_png16(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, chunks = 8, {}
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        assert struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0] == zlib.crc32(kind + body)
        chunks[kind] = chunks.get(kind, b"") + body
        pos += 12 + length
    width, height, bits, colour = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
    assert (bits, colour) == (16, 0) and b"IEND" in chunks
    rows = np.frombuffer(zlib.decompress(chunks[b"IDAT"]), np.uint8).reshape(height, 1 + 2 * width)
    assert not rows[:, 0].any()
    return rows[:, 1:].copy().view(">u2").astype(np.uint16)


def test_examples_list_stream_and_save(sim, tmp_path):
    listed = run("list_cameras.py", "--wait", "5")
    assert listed.returncode == 0, listed.stderr
    assert SIM_URI in listed.stdout and "ip=" + SIM_IP in listed.stdout

    streamed = run("stream.py", "-t", "2", "--ip", SIM_IP)
    assert streamed.returncode == 0, streamed.stderr
    assert "average: depth" in streamed.stdout and "0 frame(s) missing" in streamed.stdout

    saved = run("save.py", "-o", str(tmp_path), "--ip", SIM_IP)
    assert saved.returncode == 0, saved.stderr
    depth = read_png16(tmp_path / "depth.png")
    assert depth.shape == (480, 640) and np.count_nonzero(depth) > 0
    ply = (tmp_path / "pointcloud.ply").read_bytes()
    end = ply.index(b"end_header\n") + len(b"end_header\n")
    count = int(ply[:end].split(b"element vertex ")[1].split(b"\n")[0])
    points = np.frombuffer(ply[end:], "<f4").reshape(-1, 3)
    assert count == len(points) == np.count_nonzero(depth)
    assert (points[:, 2] > 0).all()
