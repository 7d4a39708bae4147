// SPDX-License-Identifier: Apache-2.0
// `orvane-cli transfer push|pull TYPE [INDEX] FILE`: moves a calibration file between host and camera.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Subcommand.h"

namespace orvane::cli {

class CliOutput;

class TransferCommand : public Subcommand
{
public:
    const char *Name() const override { return "transfer"; }
    const char *Description() const override
    {
        return "send a calibration file to the camera (push) or fetch one from it (pull)";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    std::string direction;         // push or pull
    std::string type;              // intrinsic, planeness, range-offset, ir-background, or 4..7
    std::vector<std::string> rest; // [INDEX] FILE
    int timeoutS = 120;

    /// The file type number of a name or number, or nothing.
    static std::optional<int> TypeNumber(const std::string &name);
    /// Checks INDEX and FILE (a pushed file must be readable); kExitOk, or kExitUsage with a message.
    int CheckArguments(CliOutput &out, int &index, std::filesystem::path &file) const;
    /// Copies a pulled file from where the library saved it to `file`; the library's copy goes unless a
    /// file was there before.
    static int Deliver(CliOutput &out, const std::string &saved, bool savedExisted,
                       const std::filesystem::path &file);
    /// Where the library saves a pulled file of this type and index: "./Config/planeness_2.bin".
    static std::string SavedPath(int type, int index);
};

} // namespace orvane::cli
