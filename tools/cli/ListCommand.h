// SPDX-License-Identifier: Apache-2.0
// `orvane-cli list [--watch]`: the cameras on the network, and with --watch their arrivals and departures.
#pragma once

#include <atomic>
#include <string>

#include <nlohmann/json.hpp>

#include "Orvane_api.h"
#include "Subcommand.h"

namespace orvane::cli {

class CliOutput;

class ListCommand : public Subcommand
{
public:
    const char *Name() const override { return "list"; }
    const char *Description() const override
    {
        return "list the cameras (--watch: follow them until Ctrl-C)";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    bool watch = false;

    /// A listed camera as a JSON record and as a line of the text table.
    static nlohmann::json CameraRecord(const TfDeviceInfo &info);
    static std::string CameraLine(const TfDeviceInfo &info);

private:
    static void OnHotPlug(const TfDeviceInfo *info, int status, void *context);
    std::atomic<CliOutput *> m_output{nullptr};
};

} // namespace orvane::cli
