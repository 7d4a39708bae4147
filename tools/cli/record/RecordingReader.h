// SPDX-License-Identifier: Apache-2.0
// RecordingReader: reads a recording back record by record, stopping cleanly at its end, a cut or damage.
#pragma once

#include "RecordingFormat.h"
#include "ZstdCodec.h"

#include <cstdint>
#include <istream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace orvane::cli::record {

enum class ReadStatus
{
    kFrameSet, ///< a whole record, checked and decoded
    kEnd,      ///< the file ends after its last record
    kCut,      ///< the file ends inside a record: everything before it was whole
    kCorrupt,  ///< a record fails its CRC or its lengths: nothing from it is returned
};

struct ReadResult
{
    ReadStatus status = ReadStatus::kEnd;
    uint64_t offset = 0;      ///< where the record (or the cut, or the damage) starts
    uint64_t storedBytes = 0; ///< the record's bytes in the file
    uint64_t bodyBytes = 0;   ///< its frame set before compression
    std::string message;      ///< why, for kCut and kCorrupt
};

/// Reads a recording from a file or any seekable stream. Every length is checked against the format's
/// bounds and against what the file still holds before anything is allocated, so that no input, however
/// damaged, makes it crash, hang or return part of a record. After kEnd, kCut or kCorrupt, Next keeps
/// giving the same answer.
class RecordingReader
{
public:
    /// Opens `path` and checks its file header. False, with the reason in GetError(), otherwise.
    bool Open(const std::string &path);
    bool Open(std::unique_ptr<std::istream> stream);

    const std::string &GetError() const { return m_error; }
    /// Whether a failed Open met the end of the file inside the header (a recording cut very early).
    bool IsHeaderCut() const { return m_headerCut; }
    const nlohmann::json &GetHeader() const { return m_header; }
    uint64_t GetFileBytes() const { return m_fileBytes; }

    /// The next frame set into `out` (reusing its buffers) or why there is none.
    ReadResult Next(FrameSet &out);

private:
    bool ReadHeader();
    ReadResult ReadRecord(FrameSet &out);
    bool FailOpen(const std::string &message, bool cut = false);
    ReadResult Stop(ReadStatus status, const std::string &message);
    bool ReadExact(uint8_t *out, size_t size);

    std::unique_ptr<std::istream> m_stream;
    uint64_t m_fileBytes = 0;
    uint64_t m_offset = 0;
    std::string m_error;
    bool m_headerCut = false;
    nlohmann::json m_header;
    ReadResult m_stopped;
    bool m_isStopped = false;
    std::vector<uint8_t> m_record;
    std::vector<uint8_t> m_body;
    ZstdCodec m_zstd;
};

} // namespace orvane::cli::record
