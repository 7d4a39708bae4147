# SPDX-License-Identifier: Apache-2.0
"""Fixtures of the Python package's tests: a simulated camera, the library's context and an open camera,
and the same library loaded through ctypes to read its own buffers."""

import ctypes
import os
import subprocess
import time

import pytest

import orvane

SIM_IP = "127.0.0.71"
SIM_SERIAL = "SNPY71"
SIM_URI = "KR52Lite:" + SIM_SERIAL


class Simulator:
    """orvane-camsim (path in ORVANE_CAMSIM) serving one camera, told things on its standard input."""

    def __init__(self, ip=SIM_IP, serial=SIM_SERIAL):
        path = os.environ.get("ORVANE_CAMSIM")
        if not path:
            pytest.skip("ORVANE_CAMSIM does not name the simulator")
        self.proc = subprocess.Popen(
            [path, "--exit-on-eof", "--period-ms", "200", "--camera", "serial=%s,alias=py-%s,ip=%s" % (serial, serial, ip)],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            line = self.proc.stdout.readline()
            if not line or "ready" in line:
                break
        assert self.proc.poll() is None, "the simulator did not start"

    def command(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def stop(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


@pytest.fixture(scope="module")
def sim():
    simulator = Simulator()
    yield simulator
    simulator.stop()


@pytest.fixture(scope="module")
def ctx(sim):
    with orvane.Context() as context:
        wait_for(lambda: any(d.ip == SIM_IP for d in context.devices(wait=0.5)), 10, "the camera is listed")
        yield context


@pytest.fixture
def cam(ctx):
    with ctx.open(ip=SIM_IP) as camera:
        camera.set_confidence_frames(True)
        yield camera


@pytest.fixture(scope="session")
def clib():
    """The library the module uses, loaded once more through ctypes (the same copy in this process)."""
    with open("/proc/self/maps") as maps:
        path = next(line.split()[-1] for line in maps if "libOrvane_api.so" in line)
    lib = ctypes.CDLL(path)
    lib.TFCM_ConvertDepthToPointCloud.argtypes = [ctypes.c_void_p] * 4 + [ctypes.c_void_p]
    return lib


def wait_for(condition, timeout, what):
    """Awaits a condition, polling; fails naming it after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            pytest.fail("timed out waiting until " + what)
        time.sleep(0.02)
