// SPDX-License-Identifier: Apache-2.0
// RecordingReader: the file header's checks and each record's length, CRC, compression and frame set.
#include "RecordingReader.h"

#include "ByteCursor.h"
#include "Crc32.h"
#include "FrameSetCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>

namespace orvane::cli::record {

bool RecordingReader::Open(const std::string &path)
{
    auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!file->is_open()) {
        return FailOpen("cannot open " + path + ": " + std::strerror(errno));
    }
    return Open(std::move(file));
}

bool RecordingReader::Open(std::unique_ptr<std::istream> stream)
{
    m_stream = std::move(stream);
    m_offset = 0;
    m_isStopped = false;
    m_headerCut = false;
    m_error.clear();
    m_header = nlohmann::json();
    m_stream->seekg(0, std::ios::end);
    const std::streamoff size = m_stream->tellg();
    m_stream->seekg(0, std::ios::beg);
    if (size < 0 || !m_stream->good()) {
        return FailOpen("cannot measure the recording (not a regular file?)");
    }
    m_fileBytes = static_cast<uint64_t>(size);
    return ReadHeader();
}

bool RecordingReader::ReadHeader()
{
    uint8_t fixed[kFileHeaderFixedBytes] = {};
    const size_t have = static_cast<size_t>(std::min<uint64_t>(m_fileBytes, sizeof fixed));
    if (!ReadExact(fixed, have)) {
        return FailOpen("cannot read the file header");
    }
    if (std::memcmp(fixed, kMagic.data(), std::min(have, kMagic.size())) != 0) {
        return FailOpen("not a recording (its first bytes are not a recording's)");
    }
    if (have < sizeof fixed) {
        return FailOpen("the file ends inside its header, after " + std::to_string(have) + " bytes", true);
    }
    ByteCursor in(fixed, sizeof fixed);
    in.Take(kMagic.size());
    const uint16_t version = in.ReadU16();
    in.ReadU16(); // header flags: none defined yet
    const uint32_t jsonBytes = in.ReadU32();
    if (version != kFormatVersion) {
        return FailOpen("recording format version " + std::to_string(version) + "; this tool reads version " +
                        std::to_string(kFormatVersion));
    }
    if (jsonBytes > kMaxHeaderJsonBytes) {
        return FailOpen("a header of " + std::to_string(jsonBytes) + " bytes (damaged length)");
    }
    const uint64_t headerBytes = kFileHeaderFixedBytes + jsonBytes + 4;
    if (m_fileBytes < headerBytes) {
        return FailOpen("the file ends inside its header, after " + std::to_string(m_fileBytes) + " of " +
                            std::to_string(headerBytes) + " bytes",
                        true);
    }
    std::vector<uint8_t> rest(jsonBytes + 4);
    if (!ReadExact(rest.data(), rest.size())) {
        return FailOpen("cannot read the file header");
    }
    Crc32 crc;
    crc.Update(fixed, sizeof fixed);
    crc.Update(rest.data(), jsonBytes);
    ByteCursor crcField(rest.data() + jsonBytes, 4);
    if (crc.GetValue() != crcField.ReadU32()) {
        return FailOpen("the file header fails its CRC");
    }
    m_header = nlohmann::json::parse(rest.begin(), rest.begin() + jsonBytes, nullptr, false);
    if (!m_header.is_object()) {
        m_header = nlohmann::json();
        return FailOpen("the file header's JSON is not an object");
    }
    m_offset = headerBytes;
    return true;
}

ReadResult RecordingReader::Next(FrameSet &out)
{
    try {
        return ReadRecord(out);
    } catch (const std::bad_alloc &) {
        // Lengths are bounded, but a bounded record may still not fit in a small machine's memory.
        return Stop(ReadStatus::kCorrupt, "no memory for the record");
    }
}

ReadResult RecordingReader::ReadRecord(FrameSet &out)
{
    if (m_isStopped) {
        return m_stopped;
    }
    if (!m_stream) {
        return Stop(ReadStatus::kCorrupt, "no recording is open");
    }
    const uint64_t remaining = m_fileBytes - m_offset;
    if (remaining == 0) {
        return Stop(ReadStatus::kEnd, {});
    }
    if (remaining < kRecordPrefixBytes) {
        return Stop(ReadStatus::kCut, "the file ends inside a record's length and CRC");
    }
    uint8_t prefix[kRecordPrefixBytes] = {};
    if (!ReadExact(prefix, sizeof prefix)) {
        return Stop(ReadStatus::kCut, "the file ends early (it shrank while being read)");
    }
    ByteCursor in(prefix, sizeof prefix);
    const uint32_t length = in.ReadU32();
    const uint32_t expectedCrc = in.ReadU32();
    if (length == 0 || length > kMaxRecordBytes) {
        return Stop(ReadStatus::kCorrupt, "a record length of " + std::to_string(length) + " bytes");
    }
    if (length > remaining - kRecordPrefixBytes) {
        // Only the last record can be cut; a damaged length here reads the same way.
        return Stop(ReadStatus::kCut, "the file ends inside a record of " + std::to_string(length) +
                                          " bytes, after " + std::to_string(remaining - kRecordPrefixBytes));
    }
    m_record.resize(length);
    if (!ReadExact(m_record.data(), length)) {
        return Stop(ReadStatus::kCut, "the file ends early (it shrank while being read)");
    }
    if (Crc32::Of(m_record.data(), length) != expectedCrc) {
        return Stop(ReadStatus::kCorrupt, "a record fails its CRC");
    }
    const uint8_t flags = m_record[0];
    if ((flags & ~kKnownRecordFlags) != 0) {
        return Stop(ReadStatus::kCorrupt, "a record with unknown flags " + std::to_string(flags));
    }
    const uint8_t *body = m_record.data() + 1;
    size_t bodySize = length - 1;
    if ((flags & kRecordZstd) != 0) {
        ByteCursor sizeField(body, bodySize);
        const uint32_t rawBytes = sizeField.ReadU32();
        std::string error;
        if (!sizeField.IsOk() || rawBytes > kMaxRecordBytes ||
            !m_zstd.Decompress(body + 4, bodySize - 4, rawBytes, m_body, error)) {
            return Stop(ReadStatus::kCorrupt, error.empty() ? "a compressed record without its size" : error);
        }
        body = m_body.data();
        bodySize = m_body.size();
    }
    std::string error;
    if (!FrameSetCodec::Decode(body, bodySize, out, error)) {
        return Stop(ReadStatus::kCorrupt, "a record holds " + error);
    }
    ReadResult result;
    result.status = ReadStatus::kFrameSet;
    result.offset = m_offset;
    result.storedBytes = kRecordPrefixBytes + length;
    result.bodyBytes = bodySize;
    m_offset += result.storedBytes;
    return result;
}

bool RecordingReader::FailOpen(const std::string &message, bool cut)
{
    m_error = message;
    m_headerCut = cut;
    m_stream.reset();
    return false;
}

ReadResult RecordingReader::Stop(ReadStatus status, const std::string &message)
{
    m_stopped.status = status;
    m_stopped.offset = m_offset;
    m_stopped.storedBytes = 0;
    m_stopped.bodyBytes = 0;
    m_stopped.message = message;
    m_isStopped = true;
    return m_stopped;
}

bool RecordingReader::ReadExact(uint8_t *out, size_t size)
{
    m_stream->read(reinterpret_cast<char *>(out), static_cast<std::streamsize>(size));
    return static_cast<size_t>(m_stream->gcount()) == size;
}

} // namespace orvane::cli::record
