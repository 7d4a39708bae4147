// SPDX-License-Identifier: Apache-2.0
// Where orvane-cli's output goes: results on stdout (text, or JSON Lines with --json), messages on stderr.
#pragma once

#include <iosfwd>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace orvane::cli {

/// Writes results and messages; safe to call from the library's callback threads.
class CliOutput
{
public:
    CliOutput(bool json, int verbose, std::ostream &out, std::ostream &err);

    bool Json() const { return m_json; }
    /// One result: the JSON object as one line with --json, else the text (may be several lines).
    void Emit(const nlohmann::json &record, const std::string &text);
    /// A line of text on stdout whatever the mode (tables, progress on a terminal).
    void Text(const std::string &text);
    /// Text on stdout without a line end (a progress bar redrawn in place with "\r").
    void Partial(const std::string &text);
    /// A message on stderr.
    void Message(const std::string &text);
    /// A message on stderr with -v (level 1) or -vv (level 2).
    void Verbose(int level, const std::string &text);

private:
    bool m_json;
    int m_verbose;
    std::ostream &m_out;
    std::ostream &m_err;
    std::mutex m_mutex;
};

} // namespace orvane::cli
