// SPDX-License-Identifier: Apache-2.0
// RawRecordingReader: the preamble check, then length, CRC and time of each record before its bytes.
#include "runtime/RawRecordingReader.h"

#include <cstring>

#include "runtime/ByteReader.h"
#include "runtime/Crc32.h"
#include "runtime/LogCustom.h"
#include "runtime/RawRecordingFormat.h"

bool RawRecordingReader::ReadExact(void *out, size_t size)
{
    m_in.read(static_cast<char *>(out), static_cast<std::streamsize>(size));
    return static_cast<size_t>(m_in.gcount()) == size;
}

bool RawRecordingReader::ReadHeader(std::string &headerJson)
{
    uint8_t preamble[RawRecordingFormat::kPreambleBytes];
    if (!ReadExact(preamble, sizeof(preamble))) {
        TFLOG("raw recording: the file ends inside its preamble.");
        return false;
    }
    ByteReader fields(preamble, sizeof(preamble));
    char magic[sizeof(RawRecordingFormat::kMagic)];
    fields.ReadBytes(magic, sizeof(magic));
    const uint32_t version = fields.ReadU32Le();
    const uint32_t headerBytes = fields.ReadU32Le();
    if (std::memcmp(magic, RawRecordingFormat::kMagic, sizeof(magic)) != 0 ||
        version != RawRecordingFormat::kVersion || headerBytes > RawRecordingFormat::kMaxHeaderBytes) {
        TFLOG("raw recording: not a raw recording of version %u (version %u, header %u bytes).",
              RawRecordingFormat::kVersion, version, headerBytes);
        return false;
    }
    headerJson.assign(headerBytes, '\0');
    if (!ReadExact(headerJson.data(), headerBytes)) {
        TFLOG("raw recording: the file ends inside its %u-byte header.", headerBytes);
        return false;
    }
    m_firstRecord = m_in.tellg();
    m_ended = Result::kRecord;
    m_records = 0;
    return true;
}

RawRecordingReader::Result RawRecordingReader::Finish(Result result, const char *why)
{
    if (why != nullptr) {
        TFLOG("raw recording: %s after %llu records.", why, static_cast<unsigned long long>(m_records));
    }
    m_ended = result;
    return result;
}

RawRecordingReader::Result RawRecordingReader::Next(uint64_t &arrivalNs, std::vector<uint8_t> &bytes)
{
    if (m_ended != Result::kRecord || m_firstRecord < 0) {
        return m_firstRecord < 0 ? Result::kCorrupt : m_ended;
    }
    uint8_t head[RawRecordingFormat::kRecordHeaderBytes];
    m_in.read(reinterpret_cast<char *>(head), sizeof(head));
    const auto got = static_cast<size_t>(m_in.gcount());
    if (got == 0) {
        return Finish(Result::kEnd, nullptr);
    }
    if (got < sizeof(head)) {
        return Finish(Result::kTruncated, "the file ends inside a record header");
    }
    ByteReader fields(head, sizeof(head));
    const uint32_t size = fields.ReadU32Le();
    const uint32_t crc = fields.ReadU32Le();
    if (size > RawRecordingFormat::kMaxRecordBytes) {
        return Finish(Result::kCorrupt, "a record length beyond any stream buffer");
    }
    bytes.resize(size);
    if (!ReadExact(bytes.data(), size)) {
        return Finish(Result::kTruncated, "the file ends inside a record");
    }
    const uint8_t *time = head + 8;
    if (Crc32(bytes.data(), size, Crc32(time, 8)) != crc) {
        return Finish(Result::kCorrupt, "a record whose CRC does not match");
    }
    arrivalNs = fields.ReadU64Le();
    ++m_records;
    return Result::kRecord;
}

void RawRecordingReader::Rewind()
{
    if (m_firstRecord < 0) {
        return;
    }
    m_in.clear();
    m_in.seekg(m_firstRecord);
    m_ended = Result::kRecord;
    m_records = 0;
}
