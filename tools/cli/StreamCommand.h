// SPDX-License-Identifier: Apache-2.0
// `orvane-cli stream [-t S] [--streams ...]`: streams the camera and shows, each second, every stream's
// rate, frames, drops by reason and latency, until the time is up or Ctrl-C.
#pragma once

#include <string>
#include <vector>

#include "Subcommand.h"

namespace orvane::cli {

class CliOutput;
class StreamMeter;

class StreamCommand : public Subcommand
{
public:
    const char *Name() const override { return "stream"; }
    const char *Description() const override
    {
        return "stream and show each stream's rate, drops and latency every second (until -t or Ctrl-C)";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    double seconds = 0.0; // 0: until Ctrl-C
    std::vector<std::string> streams{"depth", "ir", "color"};

private:
    /// Reads sets until the time is up or Ctrl-C, reporting each second; kExitOk or a failure's code.
    int Measure(CliContext &context, StreamMeter &meter);
    /// Prints the rows as the output mode wants: a table redrawn on a terminal, a line, or JSON.
    void Report(CliOutput &out, const StreamMeter &meter, double elapsedS, bool final);

    bool m_table = false;    // redraw a table in place (stdout is a terminal, no --json)
    size_t m_tableLines = 0; // lines of the table printed last
};

} // namespace orvane::cli
