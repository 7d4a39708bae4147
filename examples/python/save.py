#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Saves one frame set: depth as a 16-bit PNG and the point cloud as a binary PLY, written with numpy only."""

import argparse
import os
import struct
import zlib

import numpy as np

import orvane


def write_png16(path, image):
    """Writes a uint16 H x W image as a 16-bit greyscale PNG (big-endian samples, filter 0 per row)."""
    height, width = image.shape
    rows = np.empty((height, 1 + 2 * width), dtype=np.uint8)
    rows[:, 0] = 0
    rows[:, 1:] = image.astype(">u2").view(np.uint8).reshape(height, 2 * width)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 16, 0, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows.tobytes(), 6))
                  + chunk(b"IEND", b""))


def write_ply(path, points):
    """Writes N x 3 float32 points (millimetres) as a binary little-endian PLY."""
    points = np.ascontiguousarray(points, dtype="<f4")
    header = ("ply\nformat binary_little_endian 1.0\nelement vertex %d\n"
              "property float x\nproperty float y\nproperty float z\nend_header\n" % len(points))
    with open(path, "wb") as out:
        out.write(header.encode("ascii"))
        out.write(points.tobytes())


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("-o", "--out", default="python-output", help="directory for the files")
    parser.add_argument("-u", "--uri", help="the camera to open (default: the first listed)")
    parser.add_argument("--ip", help="open the camera at this address instead")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    with orvane.Context() as ctx, ctx.open(uri=args.uri, ip=args.ip) as cam:
        fs = cam.read(timeout=3.0)
        depth_path = os.path.join(args.out, "depth.png")
        write_png16(depth_path, fs.depth)
        print("saved %s (%dx%d, 16-bit, frame %d)" % (depth_path, fs.depth.shape[1], fs.depth.shape[0], fs.index))
        points = cam.point_cloud(fs)
        ply_path = os.path.join(args.out, "pointcloud.ply")
        write_ply(ply_path, points)
        print("saved %s (%d points)" % (ply_path, len(points)))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
