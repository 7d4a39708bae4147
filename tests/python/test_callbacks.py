# SPDX-License-Identifier: Apache-2.0
"""Frame callbacks: Python functions called on the library's thread, closing while they run, and
callbacks that raise."""

import logging
import os
import subprocess
import sys
import textwrap
import threading

import numpy as np

from conftest import SIM_IP, wait_for

# Callbacks that hold the GIL with busy work while the main thread closes the camera: a close that
# waited for the callback with the GIL held would never return.
CLOSE_WHILE_CALLED = textwrap.dedent("""
    import threading, time, orvane
    with orvane.Context() as ctx:
        ctx.devices(wait=5)
        for round in range(5):
            cam = ctx.open(ip=%r)
            seen = threading.Event()
            def busy(fs):
                seen.set()
                total = 0
                for i in range(200000):  # holds the GIL for tens of milliseconds
                    total += i
            cam.on_frames(busy)
            assert seen.wait(5), "no callback"
            cam.close()
            cam.close()
    print("closed")
""") % SIM_IP


def test_close_while_callbacks_run_never_deadlocks(sim):
    env = dict(os.environ)
    done = subprocess.run([sys.executable, "-c", CLOSE_WHILE_CALLED], env=env, capture_output=True, text=True,
                          timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "closed"


def test_callback_sets_are_owned_copies_in_order(cam):
    sets = []
    got = threading.Event()

    def keep(fs):
        sets.append(fs)
        if len(sets) >= 10:
            got.set()

    cam.on_frames(keep)
    assert got.wait(10)
    delivered, raised = cam._cam.callback_counts()
    cam.on_frames(None)
    assert raised == 0 and delivered >= 10
    indices = [fs.index for fs in sets]
    assert indices == sorted(indices) and len(set(indices)) == len(indices)
    first = sets[0]
    assert first.depth.dtype == np.uint16 and first.color.shape[2] == 3 and first.depth.flags.owndata is False
    # The arrays own their memory through the set: they keep their values after many later sets.
    assert np.count_nonzero(first.depth) > 0 and first.depth.base is not None
    # Polling works again once the callback is gone.
    assert cam.read(timeout=2.0).index > indices[-1]


def test_a_raising_callback_is_logged_and_calls_go_on(cam, caplog):
    calls = []

    def broken(fs):
        calls.append(fs.index)
        raise ValueError("broken on purpose %d" % fs.index)

    with caplog.at_level(logging.ERROR, logger="orvane"):
        cam.on_frames(broken)
        wait_for(lambda: len(calls) >= 5, 10, "five calls of the raising callback")
        assert cam._cam.callback_counts()[1] >= 5
        cam.on_frames(None)
    records = [r for r in caplog.records if r.name == "orvane" and "broken on purpose" in r.getMessage()]
    assert len(records) >= 5 and records[0].exc_info[0] is ValueError
    assert cam.read(timeout=2.0).depth is not None


def test_each_camera_gets_its_own_callback(ctx, cam):
    """Two cameras in two trampoline slots, told apart by their depth ranges."""
    from conftest import Simulator

    other_sim = Simulator("127.0.0.75", "SNPY75")
    try:
        wait_for(lambda: any(d.ip == "127.0.0.75" for d in ctx.devices(wait=0.5)), 10, "the second camera is listed")
        with ctx.open(ip="127.0.0.75") as other:
            ranges = cam.depth_ranges
            cam.depth_range, other.depth_range = ranges[0], ranges[-1]
            seen = {"first": [], "second": []}
            cam.on_frames(lambda fs: seen["first"].append(fs.depth_range))
            other.on_frames(lambda fs: seen["second"].append(fs.depth_range))
            wait_for(lambda: len(seen["first"]) >= 10 and len(seen["second"]) >= 10, 10, "both cameras call back")
            cam.on_frames(None)
            other.on_frames(None)
        assert set(seen["first"][-5:]) == {ranges[0]} and set(seen["second"][-5:]) == {ranges[-1]}
    finally:
        other_sim.stop()
