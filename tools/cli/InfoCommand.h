// SPDX-License-Identifier: Apache-2.0
// `orvane-cli info`: what a camera says about itself: versions, identity, modes, geometry and filters.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "Orvane_api.h"
#include "Subcommand.h"

namespace orvane::cli {

class InfoCommand : public Subcommand
{
public:
    const char *Name() const override { return "info"; }
    const char *Description() const override
    {
        return "versions, serial number, addresses, modes, frame modes, calibration and filters";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    /// Everything the camera reports, in reading order; what it cannot report is an object
    /// {"unsupported": "<status name>"}.
    static nlohmann::ordered_json Collect(TfDeviceHandle device, const TfDeviceInfo &info);
    /// "name: value" lines with the values aligned; nested objects become "name.part" lines, objects of
    /// plain values one line of "key=value" pairs.
    static std::string Format(const nlohmann::ordered_json &info);

private:
    static nlohmann::ordered_json Identity(TfDeviceHandle device, const TfDeviceInfo &info);
    static nlohmann::ordered_json Modes(TfDeviceHandle device);
    static nlohmann::ordered_json Geometry(TfDeviceHandle device);
};

} // namespace orvane::cli
