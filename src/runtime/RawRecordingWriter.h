// SPDX-License-Identifier: Apache-2.0
// RawRecordingWriter: writes a raw recording file (preamble, JSON header, one record per stream buffer).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

/// Writes the layout RawRecordingFormat describes, synchronously; one thread uses it at a time. Every
/// failing call returns the errno of the failure (0 on success) and logs it.
class RawRecordingWriter
{
public:
    RawRecordingWriter() = default;
    /// Closes the file.
    ~RawRecordingWriter();
    RawRecordingWriter(const RawRecordingWriter &) = delete;
    RawRecordingWriter &operator=(const RawRecordingWriter &) = delete;

    /// Creates or truncates `path` and writes the preamble and `headerJson`.
    int Open(const std::string &path, const std::string &headerJson);
    /// Appends one record: the buffer's `size` bytes and its arrival time.
    int Append(uint64_t arrivalNs, const uint8_t *data, uint32_t size);
    /// Flushes and closes; 0 when nothing is open.
    int Close();
    bool IsOpen() const { return m_file != nullptr; }

private:
    int Fail(const char *what);

    FILE *m_file = nullptr;
    std::string m_path;
};
