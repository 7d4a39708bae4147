// SPDX-License-Identifier: Apache-2.0
// CamsimUpgradeCli: registering, reading and acting on orvane-camsim's upgrade options.
#include "CamsimUpgradeCli.h"

#include "SimFirmwareImage.h"

#include <CLI/CLI.hpp>

#include <cstdio>

void CamsimUpgradeCli::Register(CLI::App &app)
{
    app.add_option("--server-port", m_serverPort,
                   "port of the host's HTTP server the cameras fetch files from and upload to")
        ->capture_default_str()
        ->check(CLI::Range(1, 65535));
    app.add_option("--reboot-delay-ms", m_rebootDelayMs, "how long a rebooting camera stays silent")
        ->capture_default_str()
        ->check(CLI::Range(0u, 600000u));
    app.add_option("--write-firmware", m_firmwarePath,
                   "write a valid firmware image to PATH (see --date, --sub-version, --size) and exit");
    app.add_option("--date", m_date, "build date YYYYMMDD of the image --write-firmware writes")
        ->capture_default_str();
    app.add_option("--sub-version", m_subVersion, "sub-version of the image --write-firmware writes")
        ->capture_default_str()
        ->check(CLI::Range(0u, 255u));
    app.add_option("--size", m_sizeBytes, "size in bytes of the image --write-firmware writes (at least 512)")
        ->capture_default_str();
}

int CamsimUpgradeCli::WriteFirmwareIfAsked() const
{
    if (m_firmwarePath.empty()) {
        return -1;
    }
    std::string error;
    if (!SimFirmwareImage::WriteFile(m_firmwarePath, m_date, static_cast<uint8_t>(m_subVersion), m_sizeBytes,
                                     error)) {
        std::fprintf(stderr, "orvane-camsim: --write-firmware: %s\n", error.c_str());
        return 2;
    }
    SimFirmwareImage::Header header;
    header.date = m_date;
    header.subVersion = static_cast<uint8_t>(m_subVersion);
    std::printf("wrote %s: %llu bytes, cameras report %s once it is installed\n", m_firmwarePath.c_str(),
                static_cast<unsigned long long>(m_sizeBytes), SimFirmwareImage::VersionText(header).c_str());
    return 0;
}

SimUpgradeOptions CamsimUpgradeCli::Options() const
{
    SimUpgradeOptions options;
    options.serverPort = m_serverPort;
    options.rebootDelayMs = m_rebootDelayMs;
    return options;
}
