// SPDX-License-Identifier: Apache-2.0
// One subcommand of orvane-cli: its options, registered with the parser, and what it runs.
#pragma once

#include <CLI/CLI.hpp>

namespace orvane::cli {

class CliContext;

class Subcommand
{
public:
    virtual ~Subcommand() = default;

    /// The word that selects it ("list") and its one-line description.
    virtual const char *Name() const = 0;
    virtual const char *Description() const = 0;
    /// Adds its options and positionals to `app`, its own CLI11 subcommand, binding them to members.
    virtual void Register(CLI::App &app) = 0;
    /// Runs it once the command line is parsed; returns an exit code of ExitCodes.h.
    virtual int Run(CliContext &context) = 0;
};

} // namespace orvane::cli
