// SPDX-License-Identifier: Apache-2.0
// CamsimUpgradeCli: orvane-camsim's command-line options for upgrades and transfers: the host's server
// port, the reboot delay, and writing a valid firmware image for a test or a demonstration.
#pragma once

#include "SimUpgradeOptions.h"

#include <cstdint>
#include <string>

namespace CLI {
class App;
}

class CamsimUpgradeCli
{
public:
    /// Adds --server-port, --reboot-delay-ms, --write-firmware, --date, --sub-version and --size.
    void Register(CLI::App &app);
    /// After parsing: when --write-firmware was given, writes the image and answers the exit code
    /// (0 written, 2 refused); otherwise -1 (go on and simulate).
    int WriteFirmwareIfAsked() const;
    /// The cameras' options from the command line.
    SimUpgradeOptions Options() const;

private:
    std::string m_firmwarePath;
    std::string m_date = "20260102";
    unsigned m_subVersion = 4;
    uint64_t m_sizeBytes = 1024 * 1024;
    uint16_t m_serverPort = 8080;
    unsigned m_rebootDelayMs = 1000;
};
