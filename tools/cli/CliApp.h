// SPDX-License-Identifier: Apache-2.0
// orvane-cli's command line: the common options and the subcommands, parsed apart from running them.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "CommonOptions.h"
#include "Subcommand.h"

namespace orvane::cli {

class CliApp
{
public:
    /// Registers every subcommand of orvane-cli.
    CliApp();
    /// Registers only the subcommands given (tests).
    explicit CliApp(std::vector<std::unique_ptr<Subcommand>> subcommands);

    /// Parses `args` (without the program name). Returns kExitOk when a subcommand was chosen, kExitUsage
    /// with the parser's message on `err` otherwise; help and version requests print on `out` and set
    /// Finished(), with kExitOk.
    int Parse(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
    /// True when parsing already did all there was to do (help, version).
    bool Finished() const { return m_finished; }

    const CommonOptions &Options() const { return m_options; }
    /// The subcommand the command line chose, or null.
    Subcommand *Chosen() const { return m_chosen; }

    /// Runs the chosen subcommand with output on `out` and `err`; returns its exit code.
    int Run(std::ostream &out, std::ostream &err);

private:
    void Setup();

    CLI::App m_app;
    CommonOptions m_options;
    std::vector<std::unique_ptr<Subcommand>> m_subcommands;
    std::vector<CLI::App *> m_subapps;
    Subcommand *m_chosen = nullptr;
    bool m_finished = false;
};

/// orvane-cli's main: parses, installs the Ctrl-C handler, runs.
int RunCli(int argc, const char *const *argv);

} // namespace orvane::cli
