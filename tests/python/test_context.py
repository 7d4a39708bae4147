# SPDX-License-Identifier: Apache-2.0
"""The library's context: one at a time, the camera list and hot-plug callbacks."""

import threading

import pytest

import orvane
from conftest import SIM_IP, SIM_SERIAL, SIM_URI, Simulator, wait_for

LATE_IP, LATE_SERIAL = "127.0.0.72", "SNPY72"


def test_one_context_at_a_time_and_a_camera_arriving_and_leaving(sim):
    events = []
    arrived = threading.Event()

    def on_hotplug(info, added):
        events.append((info.serial, added))
        if info.serial == LATE_SERIAL and added:
            arrived.set()
        if info.serial == "raise":
            raise RuntimeError("never reached")

    with orvane.Context(on_hotplug=on_hotplug) as ctx:
        with pytest.raises(orvane.OrvaneError) as second:
            orvane.Context()
        assert (second.value.status_name, second.value.code) == ("TF_ERROR_ALREADY_INITIALIZED", -101)

        listed = {d.uri: d for d in ctx.devices(wait=5)}
        assert SIM_URI in listed
        info = listed[SIM_URI]
        assert (info.ip, info.serial, info.model, info.alias, info.status) == (
            SIM_IP, SIM_SERIAL, "KR52Lite", "py-" + SIM_SERIAL, "available")

        late = Simulator(LATE_IP, LATE_SERIAL)
        try:
            assert arrived.wait(10), "no arrival reported"
            assert len(ctx.devices(wait=5, min_count=2)) >= 2
            with ctx.open(alias="py-" + LATE_SERIAL) as cam:
                assert cam.serial == LATE_SERIAL
                with pytest.raises(orvane.OrvaneError) as twice:
                    ctx.open(uri="KR52Lite:" + LATE_SERIAL)
                assert twice.value.status_name == "TF_ERROR_ALREADY_OPENED"
            late.command("state %s 2" % LATE_SERIAL)  # the camera says it is going away
            wait_for(lambda: (LATE_SERIAL, False) in events, 10, "the removal is reported")
        finally:
            late.stop()
        with pytest.raises(ValueError):
            ctx.open(uri=SIM_URI, ip=SIM_IP)
    assert not ctx.is_open
    with orvane.Context() as again:  # a new context once the first is closed
        assert again.is_open
