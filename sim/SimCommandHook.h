// SPDX-License-Identifier: Apache-2.0
// What a camera's upgrade and transfer models make of one request frame before the command set sees it.
#pragma once

#include "CommandFrame.h"
#include "SimUpgradeOptions.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// The answer of a hook: let the command set handle the frame as usual, take it (a setting), answer a
/// query with `data`, or close the command connection.
struct SimHookResult
{
    enum class Kind
    {
        Pass,
        Done,
        Reply,
        Close
    };
    Kind kind = Kind::Pass;
    std::vector<uint8_t> data;
};

/// Called on the session's serving thread for every request frame; it must not wait for the camera to
/// stop serving (the slow work goes to a SimTaskThread).
using SimCommandHook = std::function<SimHookResult(const RecordedFrame &frame)>;

/// What the upgrade and transfer models need from their camera.
struct SimCameraLink
{
    std::function<std::string()> address;
    std::function<std::string()> serial;
    /// Stops serving and announcing and closes every connection (the camera reboots).
    std::function<void()> goDown;
    /// Comes back announcing `state` on `address`, serving its connections when `serve`.
    std::function<void(uint8_t state, const std::string &address, bool serve)> comeUp;
    std::function<void(const std::string &version)> setFirmwareVersion;
    std::function<SimUpgradeOptions()> options;
    std::function<SimUpgradeFaults()> faults;
};
