// SPDX-License-Identifier: Apache-2.0
// orvane-camsim's standard input: command lines split out of what arrives, run, and answered.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

/// Splits standard input into command lines and runs each through the function it was given; a line
/// too long to be a command is dropped with one error answer.
class CamsimCommandReader
{
public:
    /// Runs one command line and returns its answer (without the final newline); sets `quit` to end.
    using Execute = std::function<std::string(const std::string &line, bool &quit)>;

    static constexpr size_t kMaxLineChars = 4096;

    explicit CamsimCommandReader(Execute execute) : m_execute(std::move(execute)) {}

    /// Runs the complete lines in `data`; true when a command asked to quit.
    bool Feed(const char *data, size_t size);
    /// End of input: an unfinished last line still counts. True when it asked to quit.
    bool Finish();
    /// Runs the commands of standard input until quit, a signal on `signalFd`, or (when `exitOnEof`)
    /// the end of the input.
    void Serve(int signalFd, bool exitOnEof);

    /// Writes one answer line to standard output at once.
    static void Answer(const std::string &text);

private:
    bool RunLine(std::string line);

    Execute m_execute;
    std::string m_pending;
    bool m_discarding = false; // the rest of an overlong line is still coming
};
