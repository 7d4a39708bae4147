// SPDX-License-Identifier: Apache-2.0
// `orvane-cli get NAME`: reads one setting of the settings table from the camera.
#pragma once

#include <string>

#include "Subcommand.h"

namespace orvane::cli {

class GetCommand : public Subcommand
{
public:
    const char *Name() const override { return "get"; }
    const char *Description() const override { return "read one camera setting"; }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    std::string setting;
};

} // namespace orvane::cli
