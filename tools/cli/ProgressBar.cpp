// SPDX-License-Identifier: Apache-2.0
// A progress indicator for long camera jobs (upgrades, transfers): a bar redrawn in place on a terminal,
// a line every ten per cent into a file or a pipe, and JSON records with --json.
#include "ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "CliOutput.h"

namespace orvane::cli {

ProgressBar::ProgressBar(CliOutput &output, std::string name, Style style)
    : m_output(output), m_name(std::move(name)), m_style(style)
{
}

ProgressBar::Style ProgressBar::StyleFor(const CliOutput &output)
{
    if (output.Json()) {
        return Style::kJson;
    }
    return isatty(STDOUT_FILENO) != 0 ? Style::kTerminal : Style::kLines;
}

std::string ProgressBar::Render(int percent, const std::string &name)
{
    percent = std::clamp(percent, 0, 100);
    const int filled = percent / 10;
    char text[32];
    std::snprintf(text, sizeof text, "] %3d%%  ", percent);
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(10 - filled), ' ') + text + name;
}

void ProgressBar::Update(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent <= m_shown) {
        return;
    }
    // Lines and records come at each new tenth (and at 100), so that a log holds at most eleven.
    const bool newTenth = m_shown < 0 || percent / 10 > m_shown / 10;
    m_shown = percent;
    switch (m_style) {
    case Style::kTerminal:
        m_output.Partial("\r" + Render(percent, m_name));
        m_lineOpen = true;
        break;
    case Style::kLines:
        if (newTenth) {
            m_output.Text(Render(percent, m_name));
        }
        break;
    case Style::kJson:
        if (newTenth) {
            m_output.Emit({{"progress", m_name}, {"percent", percent}}, "");
        }
        break;
    }
}

void ProgressBar::Finish()
{
    if (m_lineOpen) {
        m_output.Partial("\n");
        m_lineOpen = false;
    }
}

} // namespace orvane::cli
