# SPDX-License-Identifier: Apache-2.0
"""An open camera: frame sets as numpy arrays, settings as properties, geometry and frame callbacks."""

from collections import namedtuple

import numpy as np

from . import _orvane
from .geometry import Extrinsics, Intrinsics

FilterParams = namedtuple("FilterParams", "enable threshold value")
FlyingPixelParams = namedtuple("FlyingPixelParams", "enable threshold")
DualFrequencyOutput = namedtuple("DualFrequencyOutput", "count range0 range1 range2")
ColorExposure = namedtuple("ColorExposure", "exposure_time gain")

# Settings whose value is a record: the tuple type the property returns and takes.
_RECORDS = {
    "confidence_filter": FilterParams,
    "fill_hole_filter": FilterParams,
    "spatial_filter": FilterParams,
    "flying_pixel_filter": FlyingPixelParams,
    "wdr_output": DualFrequencyOutput,
    "color_exposure": ColorExposure,
}
# On/off settings, read back as bool (filled from the compiled settings table).
_SWITCHES = set()
_SENSOR_TOF, _SENSOR_COLOR = 1, 2
_PROPERTY_SERIAL, _PROPERTY_FIRMWARE, _PROPERTY_HARDWARE = 5, 6, 7
_PROPERTY_DATA_MODES, _PROPERTY_DEPTH_RANGES, _PROPERTY_MAC = 9, 10, 13


def _decode(name, values):
    record = _RECORDS.get(name)
    if record is not None:
        kind = float if record is ColorExposure else int
        return record(*(kind(v) for v in values))
    if name in _SWITCHES:
        return bool(values[0])
    return int(values[0])


def _encode(name, value):
    if name in _RECORDS:
        return [float(v) for v in value]
    return [float(value)]


def _make_property(name, doc):
    def get(self):
        return _decode(name, self._cam.get_setting(name))

    def put(self, value):
        self._cam.set_setting(name, _encode(name, value))

    return property(get, put, doc=doc)


def _make_setter(name, doc):
    def set_value(self, value):
        self._cam.set_setting(name, _encode(name, value))

    set_value.__name__ = "set_" + name
    set_value.__doc__ = "Sets: " + doc
    return set_value


class Camera:
    """An open camera, from ``Context.open()``. Use it as a context manager, or call ``close()``.

    Every setting the camera reports is a property (``cam.exposure = 800``); settings it cannot report
    have a ``set_...`` method (``cam.set_confidence_frames(True)``). A failed call raises OrvaneError.
    """

    def __init__(self, compiled, context=None):
        self._cam = compiled
        self._context = context

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return "<orvane.Camera %s>" % ("open" if self._cam.is_open else "closed")

    def close(self):
        """Stops the frame callback and closes the camera. Idempotent."""
        self._cam.close()
        if self._context is not None:
            self._context._forget(self)

    @property
    def is_open(self):
        """False once closed."""
        return self._cam.is_open

    def read(self, timeout=1.0, out=None):
        """Waits up to ``timeout`` seconds for the next frame set and returns it as a FrameSet whose arrays
        the caller owns. With ``out`` (an earlier FrameSet) the frames are copied into its arrays when their
        shape and type fit (no allocation) and ``out`` is returned. Raises FrameTimeout when none came."""
        return self._cam.read(float(timeout), out)

    def on_frames(self, fn):
        """Calls ``fn(frameset)`` on the library's thread for every set from now on (``read()`` then raises);
        None stops it. An exception in ``fn`` is logged (logger "orvane") and never reaches the library."""
        self._cam.on_frames(fn)

    def start(self):
        """Starts the camera's stream (it streams from the open on)."""
        self._cam.start()

    def stop(self):
        """Stops the camera's stream."""
        self._cam.stop()

    def trigger(self):
        """Triggers one frame in slave mode."""
        self._cam.trigger()

    def enable_streams(self, depth=True, ir=True, confidence=False, color=True):
        """Chooses the streams the sets carry (confidence is off until asked for)."""
        self.set_depth_frames(depth)
        self.set_ir_frames(ir)
        self.set_confidence_frames(confidence)
        self.set_color_frames(color)

    @property
    def intrinsics(self):
        """Intrinsics of the depth, IR and confidence images."""
        return self._intrinsics(_SENSOR_TOF)

    @property
    def color_intrinsics(self):
        """Intrinsics of the colour images at the current colour resolution."""
        return self._intrinsics(_SENSOR_COLOR)

    def _intrinsics(self, sensor):
        d = self._cam.intrinsics(sensor)
        return Intrinsics(d["fx"], d["fy"], d["cx"], d["cy"], d["width"], d["height"],
                          np.array(d["distortion"]))

    @property
    def extrinsics(self):
        """The ToF-to-colour transform."""
        rotation, translation = self._cam.extrinsics()
        return Extrinsics(np.array(rotation).reshape(3, 3), np.array(translation))

    def point_cloud(self, frameset):
        """The library's own conversion of the set's depth into points: N x 3 float32 in millimetres, in the
        ToF camera's coordinates, pixels without depth left out."""
        depth = frameset.depth if hasattr(frameset, "depth") else frameset
        if depth is None:
            raise ValueError("the frame set carries no depth")
        points = self._cam.point_cloud(np.ascontiguousarray(depth, dtype=np.uint16))
        return points[points[:, 2] != 0]

    def measuring_range(self, depth_range=None):
        """(effective maximum, maximum) in millimetres of a depth range (default the current one)."""
        return self._cam.measuring_range(self.depth_range if depth_range is None else depth_range)

    @property
    def drop_counters(self):
        """Frames dropped inside the library by stream and reason, and frames delivered, since the open."""
        return self._cam.drop_counters()

    @property
    def serial(self):
        """The camera's serial number."""
        return self._cam.property(_PROPERTY_SERIAL)

    @property
    def firmware_version(self):
        """The camera's firmware version text."""
        return self._cam.property(_PROPERTY_FIRMWARE)

    @property
    def hardware_version(self):
        """The camera's hardware version text."""
        return self._cam.property(_PROPERTY_HARDWARE)

    @property
    def mac_address(self):
        """The camera's MAC address text."""
        return self._cam.property(_PROPERTY_MAC)

    @property
    def data_modes(self):
        """The data modes the camera offers."""
        return self._cam.property_list(_PROPERTY_DATA_MODES)

    @property
    def depth_ranges(self):
        """The depth ranges the camera offers."""
        return self._cam.property_list(_PROPERTY_DEPTH_RANGES)

    @property
    def confidence_threshold(self):
        """The confidence filter's threshold (its other fields kept when set)."""
        return self.confidence_filter.threshold

    @confidence_threshold.setter
    def confidence_threshold(self, threshold):
        self.confidence_filter = self.confidence_filter._replace(threshold=int(threshold))

    @property
    def handle(self):
        """The library's device handle as an integer (for ctypes calls on the same library)."""
        return self._cam.handle


def _install_settings():
    """Adds a property per readable setting of the compiled table and a set_... method per other one."""
    for name, _arity, is_switch, readable, doc in _orvane.settings():
        if is_switch:
            _SWITCHES.add(name)
        if readable:
            setattr(Camera, name, _make_property(name, doc))
        else:
            setattr(Camera, "set_" + name, _make_setter(name, doc))


_install_settings()
