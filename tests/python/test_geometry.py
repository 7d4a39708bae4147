# SPDX-License-Identifier: Apache-2.0
"""Depth to points: the vectorised pinhole against the library's own per-pixel conversion, and the
library's frame conversion through the camera."""

import ctypes

import numpy as np
import pytest

import orvane


class DepthVector3(ctypes.Structure):
    _pack_ = 1
    _fields_ = [("x", ctypes.c_int32), ("y", ctypes.c_int32), ("z", ctypes.c_uint16)]


class Vector3f(ctypes.Structure):
    _fields_ = [("x", ctypes.c_float), ("y", ctypes.c_float), ("z", ctypes.c_float)]


class CameraParameters(ctypes.Structure):
    _fields_ = [(name, ctypes.c_double) for name in ("fx", "fy", "cx", "cy", "k1", "k2", "p1", "p2", "k3", "k4", "k5", "k6")]


def library_points(clib, depth, intr):
    """The library's pinhole conversion of every non-zero pixel, in row-major order."""
    rows, cols = np.nonzero(depth)
    pixels = (DepthVector3 * rows.size)(*[DepthVector3(int(c), int(r), int(depth[r, c])) for r, c in zip(rows, cols)])
    out = (Vector3f * rows.size)()
    params = CameraParameters(intr.fx, intr.fy, intr.cx, intr.cy)
    assert clib.TFCM_ConvertDepthToPointCloud(None, pixels, out, rows.size, ctypes.byref(params)) == 0
    return np.frombuffer(out, np.float32).reshape(-1, 3)


@pytest.mark.parametrize("intr", [
    orvane.Intrinsics(520.0, 520.0, 320.0, 240.0, 640, 480),
    orvane.Intrinsics(401.3, 398.7, 311.25, 247.5, 640, 480),
])
def test_depth_to_points_matches_the_library_pinhole(clib, intr):
    rng = np.random.default_rng(7)
    depth = rng.integers(0, 65535, size=(48, 64), dtype=np.uint16)
    depth[rng.random(depth.shape) < 0.3] = 0
    depth[0, 0], depth[-1, -1] = 65535, 1
    points = orvane.depth_to_points(depth, intr)
    assert points.dtype == np.float32 and points.shape == (np.count_nonzero(depth), 3)
    np.testing.assert_allclose(points, library_points(clib, depth, intr), rtol=2e-6, atol=1e-3)


def test_depth_to_points_edges():
    intr = orvane.Intrinsics(500.0, 500.0, 1.0, 1.0, 3, 2)
    assert orvane.depth_to_points(np.zeros((2, 3), np.uint16), intr).shape == (0, 3)
    with pytest.raises(ValueError):
        orvane.depth_to_points(np.zeros(6, np.uint16), intr)


def test_point_cloud_through_the_library(cam):
    fs = cam.read(timeout=2.0)
    intr = cam.intrinsics
    assert (intr.width, intr.height) == fs.depth.shape[::-1]
    cloud = cam.point_cloud(fs)
    assert cloud.dtype == np.float32 and cloud.shape == (np.count_nonzero(fs.depth), 3)
    # The simulated lens has no distortion: the camera's table is the pinhole of its intrinsics.
    np.testing.assert_allclose(cloud, orvane.depth_to_points(fs.depth, intr), rtol=1e-3, atol=0.5)
    ext = cam.extrinsics
    assert ext.rotation.shape == (3, 3) and ext.translation.shape == (3,)
    np.testing.assert_allclose(ext.apply(cloud[:10]), cloud[:10] @ ext.rotation.T + ext.translation, rtol=1e-6)
