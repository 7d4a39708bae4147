// SPDX-License-Identifier: Apache-2.0
// RawRecordingWriter: the preamble, the header and the records, written through one stdio stream.
#include "runtime/RawRecordingWriter.h"

#include <cerrno>
#include <cstring>

#include "runtime/ByteReader.h"
#include "runtime/Crc32.h"
#include "runtime/LogCustom.h"
#include "runtime/RawRecordingFormat.h"

RawRecordingWriter::~RawRecordingWriter()
{
    Close();
}

int RawRecordingWriter::Fail(const char *what)
{
    const int error = errno != 0 ? errno : EIO;
    TFLOG("raw recording %s: %s failed: %s", m_path.c_str(), what, ErrnoText(error).c_str());
    return error;
}

int RawRecordingWriter::Open(const std::string &path, const std::string &headerJson)
{
    Close();
    m_path = path;
    errno = 0;
    m_file = std::fopen(path.c_str(), "wb");
    if (m_file == nullptr) {
        return Fail("create");
    }
    ByteWriter preamble;
    preamble.WriteBytes(RawRecordingFormat::kMagic, sizeof(RawRecordingFormat::kMagic));
    preamble.WriteU32Le(RawRecordingFormat::kVersion);
    preamble.WriteU32Le(static_cast<uint32_t>(headerJson.size()));
    preamble.WriteBytes(headerJson.data(), headerJson.size());
    errno = 0;
    if (std::fwrite(preamble.Bytes().data(), 1, preamble.Size(), m_file) != preamble.Size()) {
        const int error = Fail("header write");
        std::fclose(m_file);
        m_file = nullptr;
        return error;
    }
    return 0;
}

int RawRecordingWriter::Append(uint64_t arrivalNs, const uint8_t *data, uint32_t size)
{
    if (m_file == nullptr) {
        errno = EBADF;
        return Fail("append");
    }
    uint8_t time[8];
    ByteWriter(time, sizeof(time)).WriteU64Le(arrivalNs);
    uint8_t head[RawRecordingFormat::kRecordHeaderBytes];
    ByteWriter fields(head, sizeof(head));
    fields.WriteU32Le(size);
    fields.WriteU32Le(Crc32(data, size, Crc32(time, sizeof(time))));
    fields.WriteBytes(time, sizeof(time));
    errno = 0;
    if (std::fwrite(head, 1, sizeof(head), m_file) != sizeof(head) ||
        (size > 0 && std::fwrite(data, 1, size, m_file) != size)) {
        return Fail("write");
    }
    return 0;
}

int RawRecordingWriter::Close()
{
    if (m_file == nullptr) {
        return 0;
    }
    errno = 0;
    const bool flushed = std::fflush(m_file) == 0;
    const int error = flushed ? 0 : Fail("flush");
    errno = 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!closed && error == 0) {
        return Fail("close");
    }
    return error;
}
