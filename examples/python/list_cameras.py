#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Lists the cameras that announce themselves within a few seconds, with what the library knows of them."""

import argparse

import orvane


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--wait", type=float, default=2.5, help="seconds to wait for a first camera")
    args = parser.parse_args()
    print("Orvane SDK", orvane.__version__)
    with orvane.Context() as ctx:
        cameras = ctx.devices(wait=args.wait)
        print("%d camera(s) found" % len(cameras))
        for i, cam in enumerate(cameras):
            print("  [%d] %s  alias=%s  ip=%s  sessions=%d  status=%s" % (i, cam.uri, cam.alias, cam.ip,
                                                                       cam.sessions, cam.status))
    return 0 if cameras else 2


if __name__ == "__main__":
    raise SystemExit(main())
