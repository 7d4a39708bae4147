// SPDX-License-Identifier: Apache-2.0
// `orvane-cli inspect FILE`: a recording's header and a summary of its records, and whether it ends cut.
#pragma once

#include <string>

#include "Subcommand.h"

namespace orvane::cli {

class InspectCommand : public Subcommand
{
public:
    const char *Name() const override { return "inspect"; }
    const char *Description() const override
    {
        return "show a recording's header, frame counts, duration and compression, and where it ends";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    std::string file;
};

} // namespace orvane::cli
