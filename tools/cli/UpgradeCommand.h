// SPDX-License-Identifier: Apache-2.0
// `orvane-cli upgrade IMAGE [--yes]`: installs a firmware image on the camera, with a progress bar, and
// waits for the camera to come back running the new version.
#pragma once

#include <optional>
#include <string>

#include "Subcommand.h"

namespace orvane::cli {

class CliOutput;

class UpgradeCommand : public Subcommand
{
public:
    const char *Name() const override { return "upgrade"; }
    const char *Description() const override { return "install a firmware image and wait for the camera"; }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    std::string image;
    bool yes = false;   // do not ask
    int timeoutS = 600; // for the whole upgrade, the camera's return included

    /// A plain sentence for a report of the upgrade callback (other than the writing progress).
    static std::string Describe(int status, int params);
    /// True for the last report of an upgrade: done (8, 1) or any failure.
    static bool IsFinal(int status, int params);

private:
    /// Asks on the terminal; true when the answer is yes.
    bool Confirm(CliOutput &out, const std::string &uri, const std::string &version) const;
    /// Opens the camera anew until it comes back from its reboot: the version it then runs (the old one
    /// when it came back unchanged, or never left within a minute), or empty at the deadline or on Ctrl-C.
    static std::string AwaitNewVersion(CliOutput &out, const std::string &uri, const std::string &oldVersion,
                                       int timeoutMs);
    /// Opens the camera once: its firmware version, or nothing when it cannot be opened or read.
    static std::optional<std::string> ReadVersion(const std::string &uri);
};

} // namespace orvane::cli
