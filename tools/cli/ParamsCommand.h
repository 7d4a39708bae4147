// SPDX-License-Identifier: Apache-2.0
// `orvane-cli params dump [FILE]` and `params load FILE`: every setting of the settings table saved as one
// JSON object, and such an object applied to a camera.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "Subcommand.h"

namespace orvane::cli {

class CliOutput;

class ParamsCommand : public Subcommand
{
public:
    const char *Name() const override { return "params"; }
    const char *Description() const override { return "save every setting as JSON, or apply such a file"; }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    /// True after `params dump`, false after `params load`.
    bool Dumping() const;

    std::string dumpFile; // empty: stdout
    std::string loadFile;

private:
    int Dump(CliContext &context);
    int Load(CliContext &context);
    /// Reads and checks the file `params load` names; kExitOk with `values` holding the checked values
    /// by setting name, kExitUsage with a message for each fault otherwise.
    int ReadLoadFile(CliOutput &out, nlohmann::json &values) const;

    CLI::App *m_dump = nullptr;
};

} // namespace orvane::cli
