// SPDX-License-Identifier: Apache-2.0
// A progress indicator for long camera jobs (upgrades, transfers): a bar redrawn in place on a terminal,
// a line every ten per cent into a file or a pipe, and JSON records with --json.
#pragma once

#include <string>

namespace orvane::cli {

class CliOutput;

class ProgressBar
{
public:
    enum class Style
    {
        kTerminal, // "\r[#####     ]  50%  name", redrawn in place
        kLines,    // the same text as a line whenever another tenth is reached
        kJson      // {"progress": name, "percent": p} at the same steps as kLines
    };

    ProgressBar(CliOutput &output, std::string name, Style style);
    /// The style for `output`: JSON with --json, a redrawn bar when stdout is a terminal, lines otherwise.
    static Style StyleFor(const CliOutput &output);

    /// Reports `percent`; values below 0 count as 0 and above 100 as 100. A value that does not move the
    /// bar forward (a repeat, or a step back after a retry) draws nothing.
    void Update(int percent);
    /// Ends the bar's line on a terminal, so that what follows starts on a line of its own.
    void Finish();
    /// The highest percentage shown so far, -1 before the first.
    int Shown() const { return m_shown; }

    /// "[#####     ]  50%  name": ten cells, one per tenth.
    static std::string Render(int percent, const std::string &name);

private:
    CliOutput &m_output;
    std::string m_name;
    Style m_style;
    int m_shown = -1;
    bool m_lineOpen = false; // a terminal bar was drawn and its line not yet ended
};

} // namespace orvane::cli
