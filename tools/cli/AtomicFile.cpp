// SPDX-License-Identifier: Apache-2.0
// A file written under a temporary name in its own directory and renamed into place once whole, so that
// no reader ever sees it half written; dropped without a trace when not committed.
#include "AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace orvane::cli {
namespace {

std::atomic<unsigned> g_sequence{0};

} // namespace

AtomicFile::AtomicFile(std::string path) : m_path(std::move(path))
{
    // Hidden, in the same directory (a rename never crosses file systems), unique to this process and call.
    const size_t slash = m_path.rfind('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    m_temporary = m_path.substr(0, nameAt) + "." + m_path.substr(nameAt) + "." + std::to_string(getpid()) +
                  "." + std::to_string(g_sequence.fetch_add(1)) + ".tmp";
    const int fd = open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        Fail("cannot create " + m_temporary);
        return;
    }
    m_file = fdopen(fd, "wb");
    if (m_file == nullptr) {
        close(fd);
        unlink(m_temporary.c_str());
        Fail("cannot open " + m_temporary);
    }
}

AtomicFile::~AtomicFile()
{
    Discard();
}

bool AtomicFile::Fail(const std::string &what)
{
    if (m_error.empty()) {
        m_error = what + ": " + std::strerror(errno);
    }
    return false;
}

void AtomicFile::Discard()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_committed && !m_temporary.empty()) {
        unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

bool AtomicFile::Write(const void *data, size_t bytes)
{
    if (m_file == nullptr) {
        return false;
    }
    return bytes == 0 || std::fwrite(data, 1, bytes, m_file) == bytes || Fail("cannot write " + m_path);
}

bool AtomicFile::Commit()
{
    if (m_file == nullptr || !m_error.empty()) {
        Discard();
        return false;
    }
    const bool flushed = std::fflush(m_file) == 0 && std::ferror(m_file) == 0 && fsync(fileno(m_file)) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!flushed || !closed) {
        Fail("cannot write " + m_path);
        Discard();
        return false;
    }
    if (std::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        Fail("cannot rename " + m_temporary + " to " + m_path);
        Discard();
        return false;
    }
    m_committed = true;
    return true;
}

} // namespace orvane::cli
