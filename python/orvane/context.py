# SPDX-License-Identifier: Apache-2.0
"""The library's life in the process: initialise, list cameras, hear of arrivals and open cameras."""

import atexit
import time
import weakref

from . import _orvane
from .camera import Camera
from .device import DeviceInfo
from .errors import error_for

_live = weakref.WeakSet()


class Context:
    """Initialises the library for as long as it is open; one live Context per process.

    ``with orvane.Context() as ctx:`` closes every camera it opened and shuts the library down at the end.
    A second Context while one is live raises OrvaneError (TF_ERROR_ALREADY_INITIALIZED).
    """

    def __init__(self, on_hotplug=None):
        """``on_hotplug``: as ``on_hotplug()``, registered before the library starts, so that cameras
        already announcing are reported too."""
        self._lib = _orvane.Library()
        self._cameras = []
        _live.add(self)
        if on_hotplug is not None:
            self.on_hotplug(on_hotplug)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        """Closes the cameras opened through this context and shuts the library down. Idempotent."""
        for camera in list(self._cameras):
            camera.close()
        self._lib.shutdown()

    @property
    def is_open(self):
        """False once closed."""
        return self._lib.is_live

    def devices(self, wait=2.5, min_count=1):
        """The listed cameras as DeviceInfo records, after waiting up to ``wait`` seconds for at least
        ``min_count`` of them (returns early once they are there)."""
        return [DeviceInfo.from_dict(d) for d in self._lib.devices(float(wait), int(min_count))]

    def on_hotplug(self, fn):
        """Calls ``fn(info, added)`` on a library thread whenever a camera arrives (``added`` True) or
        leaves (False); ``info`` is a DeviceInfo. None stops the calls. Exceptions are logged."""
        if fn is None:
            self._lib.on_hotplug(None)
            return
        self._lib.on_hotplug(lambda d, added: fn(DeviceInfo.from_dict(d), added))

    def open(self, uri=None, alias=None, ip=None, wait=2.5):
        """Opens a camera by exactly one of ``uri``, ``alias`` or ``ip``, or the first one listed when none
        is given, waiting up to ``wait`` seconds for it to be listed (a camera is listed about a second after
        its first announcement). The camera streams from the open on."""
        given = [(k, v) for k, v in (("uri", uri), ("alias", alias), ("ip", ip)) if v]
        if len(given) > 1:
            raise ValueError("give one of uri, alias and ip, not %s" % " and ".join(k for k, _ in given))
        if given:
            self._await_listed(given[0][0], given[0][1], wait)
        else:
            found = self.devices(wait=wait)
            if not found:
                raise error_for("TF_ERROR_DEVICE_NOT_FOUND", -1, "no camera was listed within %g s" % wait)
            uri = found[0].uri
        camera = Camera(self._lib.open(uri=uri or "", alias=alias or "", ip=ip or ""), self)
        self._cameras.append(camera)
        return camera

    def _await_listed(self, key, value, wait):
        deadline = time.monotonic() + wait
        while not any(d[key] == value for d in self._lib.devices(0.0, 0)) and time.monotonic() < deadline:
            time.sleep(0.05)

    def _forget(self, camera):
        if camera in self._cameras:
            self._cameras.remove(camera)


@atexit.register
def _close_all():
    # Cameras and the library stop before the interpreter goes, so that no library thread calls into it.
    for context in list(_live):
        try:
            context.close()
        except Exception:  # pragma: no cover - nothing can be reported at exit
            pass
