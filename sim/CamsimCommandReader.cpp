// SPDX-License-Identifier: Apache-2.0
// orvane-camsim's standard input: lines split out, run one by one, and the wait on input and signals.
#include "CamsimCommandReader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

bool CamsimCommandReader::Feed(const char *data, size_t size)
{
    m_pending.append(data, size);
    for (size_t end = m_pending.find('\n'); end != std::string::npos; end = m_pending.find('\n')) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        if (m_discarding) {
            m_discarding = false;
            continue;
        }
        if (RunLine(line)) {
            return true;
        }
    }
    if (m_pending.size() > kMaxLineChars) {
        if (!m_discarding) {
            Answer("error: line longer than " + std::to_string(kMaxLineChars) + " characters");
        }
        m_pending.clear();
        m_discarding = true;
    }
    return false;
}

bool CamsimCommandReader::Finish()
{
    if (m_pending.empty() || m_discarding) {
        return false;
    }
    return Feed("\n", 1);
}

bool CamsimCommandReader::RunLine(std::string line)
{
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') {
        return false;
    }
    bool quit = false;
    Answer(m_execute(line, quit));
    return quit;
}

void CamsimCommandReader::Serve(int signalFd, bool exitOnEof)
{
    bool inputOpen = true;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("orvane-camsim: poll");
            return;
        }
        if (fds[0].revents != 0) {
            return; // SIGINT or SIGTERM
        }
        if (fds[1].revents == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (count > 0) {
            if (Feed(buffer, static_cast<size_t>(count))) {
                return;
            }
            continue;
        }
        // End of input, or an input that cannot be read.
        inputOpen = false;
        if (Finish() || exitOnEof) {
            return;
        }
    }
}

void CamsimCommandReader::Answer(const std::string &text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}
