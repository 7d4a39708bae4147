# SPDX-License-Identifier: Apache-2.0
"""200 open/read/close cycles leave no Python memory, resident memory or thread behind."""

import os
import tracemalloc

from conftest import SIM_IP, SIM_SERIAL, wait_for

CYCLES = int(os.environ.get("ORVANE_PY_CYCLES", "200"))


def resident_kib():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def threads():
    return len(os.listdir("/proc/self/task"))


def cycle(ctx):
    with ctx.open(ip=SIM_IP) as cam:
        fs = cam.read(timeout=2.0)
        assert fs.depth is not None


def test_open_read_close_cycles_are_flat(sim, ctx):
    # 100 frames a second: the library's first buffers of each open pass quickly.
    sim.command("frame-period %s 10000" % SIM_SERIAL)
    # The first cycles fill the library's pools and numpy's caches.
    for _ in range(10):
        cycle(ctx)
    base_threads = threads()
    wait_for(lambda: threads() == base_threads, 5, "the threads settle")
    tracemalloc.start()
    base_python = tracemalloc.get_traced_memory()[0]
    base_rss = resident_kib()
    samples = []
    for i in range(CYCLES):
        cycle(ctx)
        wait_for(lambda: threads() <= base_threads, 5, "the camera's threads end after cycle %d" % i)
        samples.append(resident_kib())
    python_growth = tracemalloc.get_traced_memory()[0] - base_python
    tracemalloc.stop()
    # Every frame set is 2.4 MB: a leaked set per cycle would add hundreds of megabytes.
    assert python_growth < 256 * 1024, "Python memory grew by %d bytes" % python_growth
    assert samples[-1] - base_rss < 16 * 1024, "resident memory grew from %d to %d KiB" % (base_rss, samples[-1])
    half = len(samples) // 2
    assert max(samples[half:]) - max(samples[:half]) < 4 * 1024, "resident memory still rising"
    assert threads() == base_threads
