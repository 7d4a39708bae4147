// SPDX-License-Identifier: Apache-2.0
// A file written under a temporary name in its own directory and renamed into place once whole, so that
// no reader ever sees it half written; dropped without a trace when not committed.
#pragma once

#include <cstdio>
#include <string>

namespace orvane::cli {

class AtomicFile
{
public:
    /// Opens a fresh temporary file beside `path`; Stream() is null (and Error() says why) on failure.
    explicit AtomicFile(std::string path);
    /// Removes the temporary file unless Commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    FILE *Stream() const { return m_file; }
    const std::string &Path() const { return m_path; }
    /// Writes `bytes`; false (and Error()) when it cannot.
    bool Write(const void *data, size_t bytes);
    /// Flushes the file to disk and renames it to its final name; false (and Error()) when any step fails.
    bool Commit();
    const std::string &Error() const { return m_error; }

private:
    bool Fail(const std::string &what);
    void Discard();

    std::string m_path;
    std::string m_temporary;
    FILE *m_file = nullptr;
    bool m_committed = false;
    std::string m_error;
};

} // namespace orvane::cli
