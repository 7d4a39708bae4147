# SPDX-License-Identifier: Apache-2.0
"""Settings and status names: every readable setting of the module's table reads and writes back on a
simulated camera, and the status names are the header's."""

import os
import re

import pytest

import orvane
from orvane import _orvane

HEADER = os.path.join(os.path.dirname(__file__), "..", "..", "include", "Orvane_api.h")
# Left out of the write-back table: settings that restart the stream (the depth range has its own test),
# the second exposure slot and the dual-frequency output (only in other data modes), and the colour exposure
# (the simulated camera does not support it: TF_ERROR_OTHER).
LEFT_OUT = {"data_mode", "depth_range", "frame_rate", "wdr_output", "color_resolution", "exposure_2", "color_exposure"}


def test_status_names_are_the_headers():
    with open(HEADER) as header:
        text = header.read()
    body = text[text.index("typedef enum TfReturnStatus"):]
    body = body[: body.index("} TfReturnStatus;")]
    pairs = re.findall(r"\b(TF_(?:OK|ERROR_[A-Z_0-9]+)) = (-?\d+)", body)
    assert len(pairs) >= 26
    for name, code in pairs:
        assert orvane.status_name(int(code)) == name
    assert orvane.status_name(-42) == "TF_STATUS_-42"
    for code, kind in ((-11, orvane.FrameTimeout), (-1, orvane.CameraNotFound), (-105, orvane.OrvaneError)):
        error = orvane.errors.error_for(orvane.status_name(code), code, "m")
        assert type(error) is kind and (error.code, error.status_name, str(error)) == (code, orvane.status_name(code), "m")


def readable_settings():
    return [name for name, _, _, readable, _ in _orvane.settings() if readable and name not in LEFT_OUT]


@pytest.mark.parametrize("name", readable_settings())
def test_a_setting_written_back_reads_the_same(cam, name):
    value = getattr(cam, name)
    setattr(cam, name, value)
    assert getattr(cam, name) == value


def test_settings_change_what_the_camera_reports(cam):
    cam.exposure = 800
    assert (cam.exposure, cam.exposure_1) == (800, 800)
    cam.confidence_threshold = 80
    assert cam.confidence_filter == orvane.FilterParams(enable=1, threshold=80, value=4095)
    cam.time_filter = not cam.time_filter
    assert isinstance(cam.time_filter, bool)
    cam.fill_hole_filter = orvane.FilterParams(1, 40, 3)
    assert cam.fill_hole_filter == (1, 40, 3)
    other = next(r for r in cam.depth_ranges if r != cam.depth_range)
    cam.depth_range = other
    assert cam.depth_range == other
    assert any(cam.read(timeout=3.0).depth_range == other for _ in range(20))
    effective, maximum = cam.measuring_range()
    assert 0 < effective <= maximum
    with pytest.raises(ValueError):
        cam.confidence_filter = (1, 2)
    with pytest.raises(orvane.OrvaneError) as refused:
        cam.depth_range = 7
    assert refused.value.status_name == "TF_ERROR_DEPTH_RANGE"
