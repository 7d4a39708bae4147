// SPDX-License-Identifier: Apache-2.0
// `orvane-cli set NAME VALUE`: checks a value against the settings table and writes it to the camera.
#pragma once

#include <string>

#include "Subcommand.h"

namespace orvane::cli {

class SetCommand : public Subcommand
{
public:
    const char *Name() const override { return "set"; }
    const char *Description() const override { return "change one camera setting"; }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    std::string setting;
    std::string value;
};

} // namespace orvane::cli
