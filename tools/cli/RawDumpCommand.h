// SPDX-License-Identifier: Apache-2.0
// `orvane-cli raw-dump [--dir DIR] [-t S]`: the library's own raw-buffer saving, for support cases.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "Subcommand.h"

namespace orvane::cli {

/// The library saves the raw ToF data of the next three stream buffers into the process's working
/// directory, as raw_TOF_<n>d.bin (raw_TOF_<range>_<n>d.bin for a dual-frequency sub-frame); the command
/// works in DIR for the time, then says what was saved there.
class RawDumpCommand : public Subcommand
{
public:
    const char *Name() const override { return "raw-dump"; }
    const char *Description() const override
    {
        return "save the camera's next raw ToF buffers, as the library does for support cases";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    std::string dir = ".";
    double seconds = 2.0;

    /// The library's dump files in `dir` and their sizes.
    static std::map<std::string, uintmax_t> DumpFiles(const std::string &dir);

private:
    int Dump(CliContext &context);
};

} // namespace orvane::cli
