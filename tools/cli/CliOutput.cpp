// SPDX-License-Identifier: Apache-2.0
// Where orvane-cli's output goes: results on stdout (text, or JSON Lines with --json), messages on stderr.
#include "CliOutput.h"

#include <ostream>

namespace orvane::cli {

CliOutput::CliOutput(bool json, int verbose, std::ostream &out, std::ostream &err)
    : m_json(json), m_verbose(verbose), m_out(out), m_err(err)
{
}

void CliOutput::Emit(const nlohmann::json &record, const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_json) {
        // Invalid UTF-8 from a camera (an alias, say) is replaced, never thrown.
        m_out << record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else {
        m_out << text << '\n';
    }
    m_out.flush();
}

void CliOutput::Text(const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_out << text << '\n';
    m_out.flush();
}

void CliOutput::Partial(const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_out << text;
    m_out.flush();
}

void CliOutput::Message(const std::string &text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_err << text << '\n';
    m_err.flush();
}

void CliOutput::Verbose(int level, const std::string &text)
{
    if (m_verbose >= level) {
        Message(text);
    }
}

} // namespace orvane::cli
