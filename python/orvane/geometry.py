# SPDX-License-Identifier: Apache-2.0
"""Camera geometry: intrinsics, the ToF-to-colour extrinsics and depth images turned into points."""

from dataclasses import dataclass, field

import numpy as np


@dataclass(frozen=True)
class Intrinsics:
    """Pinhole intrinsics (pixels) of the images a sensor delivers, and its lens distortion.

    ``distortion`` holds k1, k2, p1, p2, k3, k4, k5, k6 of the rational radial-tangential model.
    With undistortion on, fx..cy are those of the undistorted image.
    """

    fx: float
    fy: float
    cx: float
    cy: float
    width: int
    height: int
    distortion: np.ndarray = field(default_factory=lambda: np.zeros(8))

    def matrix(self):
        """The 3 x 3 camera matrix."""
        return np.array([[self.fx, 0.0, self.cx], [0.0, self.fy, self.cy], [0.0, 0.0, 1.0]])


@dataclass(frozen=True)
class Extrinsics:
    """The ToF-to-colour transform: a ToF point P is ``rotation @ P + translation`` in the colour camera
    (millimetres)."""

    rotation: np.ndarray
    translation: np.ndarray

    def apply(self, points):
        """Transforms N x 3 ToF points into the colour camera."""
        points = np.asarray(points, dtype=np.float64)
        return (points @ self.rotation.T + self.translation).astype(np.float32)


def depth_to_points(depth, intrinsics):
    """Turns a depth image (uint16 H x W, millimetres) into an N x 3 float32 array of points in millimetres
    with the pinhole model: x = (u - cx) / fx * z, y = (v - cy) / fy * z. Pixels without depth (0) are left
    out; the rest keep row-major order."""
    depth = np.asarray(depth)
    if depth.ndim != 2:
        raise ValueError("depth must be a 2-D image, got shape %r" % (depth.shape,))
    rows, cols = np.nonzero(depth)
    z = depth[rows, cols].astype(np.float32)
    points = np.empty((z.size, 3), dtype=np.float32)
    points[:, 0] = (cols.astype(np.float32) - np.float32(intrinsics.cx)) / np.float32(intrinsics.fx) * z
    points[:, 1] = (rows.astype(np.float32) - np.float32(intrinsics.cy)) / np.float32(intrinsics.fy) * z
    points[:, 2] = z
    return points
