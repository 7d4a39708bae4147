# SPDX-License-Identifier: Apache-2.0
"""Python access to Orvane network time-of-flight cameras: frame sets as numpy arrays the caller owns.

    import orvane
    with orvane.Context() as ctx:
        with ctx.open() as cam:
            fs = cam.read(timeout=1.0)
            print(fs.index, fs.depth.shape, fs.depth.dtype)
"""

from ._orvane import FrameSet, status_name
from ._orvane import version as _library_version
from .camera import ColorExposure, Camera, DualFrequencyOutput, FilterParams, FlyingPixelParams
from .context import Context
from .device import DeviceInfo
from .errors import CameraNotFound, FrameTimeout, OrvaneError
from .geometry import Extrinsics, Intrinsics, depth_to_points

__version__ = _library_version()

__all__ = [
    "Camera", "CameraNotFound", "ColorExposure", "Context", "DeviceInfo", "DualFrequencyOutput",
    "Extrinsics", "FilterParams", "FlyingPixelParams", "FrameSet", "FrameTimeout", "Intrinsics",
    "OrvaneError", "depth_to_points", "status_name",
]
