# SPDX-License-Identifier: Apache-2.0
"""What the library lists about a camera before it is opened."""

from dataclasses import dataclass

STATUS_NAMES = {0: "lost", 1: "removed", 2: "available", 3: "opened", 4: "upgrading", 5: "state4"}


@dataclass(frozen=True)
class DeviceInfo:
    """A listed camera.

    Attributes:
        uri: ``"model:serial"``, what ``Context.open(uri=...)`` takes.
        alias: the camera's alias (its serial number when it announces none).
        ip: its IPv4 address.
        model, serial: the two halves of the URI.
        sessions: the number of ToF sessions.
        device_type: the numeric model code (520 ...).
        status: ``"available"``, ``"opened"``, ``"upgrading"``, ``"removed"``, ...
    """

    uri: str
    alias: str
    ip: str
    model: str
    serial: str
    sessions: int
    device_type: int
    status: str

    @classmethod
    def from_dict(cls, d):
        """Builds the record from the compiled layer's dictionary."""
        model, _, serial = d["uri"].partition(":")
        return cls(uri=d["uri"], alias=d["alias"], ip=d["ip"], model=model, serial=serial,
                   sessions=d["sessions"], device_type=d["device_type"],
                   status=STATUS_NAMES.get(d["status"], "status%d" % d["status"]))
