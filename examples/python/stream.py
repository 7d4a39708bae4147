#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Streams a camera and prints each stream's frame rate once a second, then the average."""

import argparse
import time

import orvane

STREAMS = ("depth", "ir", "confidence", "color")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("-t", "--seconds", type=float, default=3.0, help="how long to stream")
    parser.add_argument("-u", "--uri", help="the camera to open (default: the first listed)")
    parser.add_argument("--ip", help="open the camera at this address instead")
    args = parser.parse_args()
    with orvane.Context() as ctx, ctx.open(uri=args.uri, ip=args.ip) as cam:
        cam.set_confidence_frames(True)
        print("opened %s (firmware %s); streaming for %.1f s" % (cam.serial, cam.firmware_version, args.seconds))
        totals = dict.fromkeys(STREAMS, 0)
        counts = dict.fromkeys(STREAMS, 0)
        gaps = 0
        last_index = None
        fs = None
        start = mark = time.monotonic()
        while time.monotonic() - start < args.seconds:
            try:
                fs = cam.read(timeout=1.0, out=fs)  # the same arrays every time
            except orvane.FrameTimeout:
                continue
            if last_index is not None and fs.index > last_index + 1:
                gaps += fs.index - last_index - 1
            last_index = fs.index
            for name in fs.streams:
                if name in counts:
                    counts[name] += 1
            now = time.monotonic()
            if now - mark >= 1.0:
                print("  %.1f s  " % (now - start) + "  ".join(
                    "%s %.1f fps" % (name, counts[name] / (now - mark)) for name in STREAMS))
                for name in STREAMS:
                    totals[name] += counts[name]
                    counts[name] = 0
                mark = now
        elapsed = time.monotonic() - start
        for name in STREAMS:
            totals[name] += counts[name]
        print("average: " + "  ".join("%s %.1f fps (%d)" % (n, totals[n] / elapsed, totals[n]) for n in STREAMS)
              + "; %d frame(s) missing" % gaps)
        drops = cam.drop_counters
        print("library drops: ToF %s, colour %s" % (sum(drops["tof"].values()), sum(drops["color"].values())))
    return 0 if all(totals.values()) else 1


if __name__ == "__main__":
    raise SystemExit(main())
