# SPDX-License-Identifier: Apache-2.0
"""The exceptions the package raises: the library's status name and code with what was being done."""


class OrvaneError(Exception):
    """A library call failed.

    Attributes:
        status_name: the status as the library's header names it, e.g. ``"TF_ERROR_FRAME_TIMEOUT"``.
        code: the status code, e.g. -11.
        message: which call failed and why.
    """

    def __init__(self, status_name, code, message):
        super().__init__(status_name, code, message)
        self.status_name = status_name
        self.code = code
        self.message = message

    def __str__(self):
        return self.message


class FrameTimeout(OrvaneError):
    """No frame set arrived within the time-out (TF_ERROR_FRAME_TIMEOUT)."""


class CameraNotFound(OrvaneError):
    """The camera is not listed, was removed, or no camera matched (TF_ERROR_DEVICE_NOT_FOUND and kin)."""


_SUBCLASSES = {-11: FrameTimeout, -1: CameraNotFound}


def error_for(status_name, code, message):
    """Returns the exception for a failed call: a subclass of OrvaneError where one fits the code."""
    return _SUBCLASSES.get(code, OrvaneError)(status_name, code, message)
