// SPDX-License-Identifier: Apache-2.0
// RawRecordingHeader: the JSON header a raw recording starts with (the camera's identity and modes).
#pragma once

#include <string>

#include "Orvane_api.h"

class BaseSession;

/// The header text of a recording of `device` (whose session 0 is `session`) started now: uri, serial
/// number, firmware version, data mode, depth range, library version and start time (UTC).
class RawRecordingHeader
{
public:
    static std::string Build(TfDeviceHandle device, BaseSession &session);
    /// `text` as a JSON string literal, quotes included.
    static std::string Quote(const std::string &text);
};
