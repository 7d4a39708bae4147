#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""What Python's read() adds to the library's own read of a set of depth, IR, confidence and 1600 x 1200
colour, and whether a Python loop keeps every frame at the camera's 25 frames per second.

Usage: PYTHONPATH=build/python bench/python/read_bench.py [seconds per phase] [path of orvane-camsim]

Starts orvane-camsim (camera SNPYBENCH on 127.0.0.88) and, in the same process and run:
  1. at 25 fps, read(out=fs) for the given time: the time each read spent in the library (waiting for the
     set, TFCM_ReadNextFrame and TFCM_GetFrame of every frame) and in total, so the difference is what the
     module adds (the copy with the GIL released, the arrays, the FrameSet), and the frame indices missed;
  2. the same with a new FrameSet each read (new arrays every time);
  3. the library's read alone (read_without_copy: TFCM_ReadNextFrame and TFCM_GetFrame, no copy), for its
     rate and missed frames beside the two above.
"""

import os
import statistics
import subprocess
import sys
import time

import orvane

IP, SERIAL = "127.0.0.88", "SNPYBENCH"


def start_simulator(path):
    sim = subprocess.Popen([path, "--exit-on-eof", "--period-ms", "200", "--camera", "serial=%s,ip=%s" % (SERIAL, IP)],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    while "ready" not in (sim.stdout.readline() or "ready"):
        pass
    return sim


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def paced_phase(cam, seconds, reuse):
    added, library, gaps, sets = [], [], 0, 0
    fs, last = None, None
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        fs = cam.read(timeout=1.0, out=fs if reuse else None)
        in_library, total = cam._cam.last_read_times()
        library.append(in_library)
        added.append(total - in_library)
        if last is not None and fs.index != last + 1:
            gaps += fs.index - last - 1
        last = fs.index
        sets += 1
    return sets, gaps, added, library, fs


def bare_phase(cam, seconds):
    sets, start = 0, time.monotonic()
    while time.monotonic() - start < seconds:
        cam._cam.read_without_copy(1.0)
        sets += 1
    return sets, cam._cam.last_read_times()


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    camsim = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(orvane.__file__), "..", "..",
                                                                "sim", "orvane-camsim")
    sim = start_simulator(camsim)
    try:
        with orvane.Context() as ctx:
            ctx.devices(wait=5)
            with ctx.open(ip=IP) as cam:
                cam.set_confidence_frames(True)
                cam.color_resolution = 4  # 1600 x 1200
                fs = cam.read(timeout=2.0)
                while fs.color is None or fs.color.shape != (1200, 1600, 3) or fs.confidence is None:
                    fs = cam.read(timeout=2.0)
                print("set: " + ", ".join("%s %s %s" % (n, getattr(fs, n).shape, getattr(fs, n).dtype) for n in fs.streams))
                for label, reuse in (("read(out=fs)", True), ("read() new arrays", False)):
                    sets, gaps, added, library, _ = paced_phase(cam, seconds, reuse)
                    print("%-18s %d sets in %.0f s (%.2f per s), %d frame(s) missed; added per set: median %.3f ms, "
                          "p99 %.3f ms, max %.3f ms; in the library (mostly waiting for the set) median %.3f ms" % (
                              label, sets, seconds, sets / seconds, gaps, 1e3 * statistics.median(added),
                              1e3 * percentile(added, 0.99), 1e3 * max(added), 1e3 * statistics.median(library)))
                sets, _ = bare_phase(cam, seconds)
                print("library read alone %d sets in %.0f s (%.2f per s)" % (sets, seconds, sets / seconds))
    finally:
        sim.stdin.close()
        sim.wait()


if __name__ == "__main__":
    main()
