// SPDX-License-Identifier: Apache-2.0
// RawRecordingReader: reads a raw recording back, record by record, up to its last whole record.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

/// Reads the layout RawRecordingFormat describes from a stream the caller owns. A file cut short ends
/// with kTruncated after its last whole record; a damaged record (CRC, impossible length) ends it with
/// kCorrupt. Each ending is logged once.
class RawRecordingReader
{
public:
    enum class Result
    {
        kRecord,    ///< one record read
        kEnd,       ///< the file ends after a whole record
        kTruncated, ///< the file ends inside a record
        kCorrupt,   ///< a record's length or CRC is wrong
    };

    explicit RawRecordingReader(std::istream &in) : m_in(in) {}

    /// Reads the preamble and the header; false (and a log line) when the stream is not a raw recording
    /// of a version this reader knows, or is cut inside them.
    bool ReadHeader(std::string &headerJson);
    /// Reads the next record into `arrivalNs` and `bytes`. After any result but kRecord every further call
    /// answers the same.
    Result Next(uint64_t &arrivalNs, std::vector<uint8_t> &bytes);
    /// Goes back to the first record (after a successful ReadHeader).
    void Rewind();
    uint64_t RecordsRead() const { return m_records; }

private:
    /// Reads exactly `size` bytes; false when the stream ends first.
    bool ReadExact(void *out, size_t size);
    Result Finish(Result result, const char *why);

    std::istream &m_in;
    std::streampos m_firstRecord = -1;
    Result m_ended = Result::kRecord;
    uint64_t m_records = 0;
};
