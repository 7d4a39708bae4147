// SPDX-License-Identifier: Apache-2.0
// RecordingWriter: the file header, the bounded queue and the writer thread's records.
#include "RecordingWriter.h"

#include "ByteCursor.h"
#include "Crc32.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>

namespace orvane::cli::record {
namespace {

constexpr size_t kFileBufferBytes = 1u << 20;
constexpr size_t kMaxSpares = 8;
// Bounds each wait of the writer thread, so that it never sleeps through a close.
constexpr auto kWakeBound = std::chrono::milliseconds(200);

std::vector<uint8_t> EncodeFileHeader(const std::string &json)
{
    std::vector<uint8_t> out(kMagic.begin(), kMagic.end());
    ByteCursor::AppendLe(out, kFormatVersion, 2);
    ByteCursor::AppendLe(out, 0, 2);
    ByteCursor::AppendLe(out, json.size(), 4);
    out.insert(out.end(), json.begin(), json.end());
    ByteCursor::AppendLe(out, Crc32::Of(out.data(), out.size()), 4);
    return out;
}

// A queue of no places would drop everything.
RecordingWriterOptions WithQueue(RecordingWriterOptions options)
{
    options.queueDepth = options.queueDepth == 0 ? 1 : options.queueDepth;
    return options;
}

} // namespace

RecordingWriter::RecordingWriter(RecordingWriterOptions options) : m_options(WithQueue(options))
{
}

RecordingWriter::~RecordingWriter()
{
    Close();
}

bool RecordingWriter::Open(const std::string &path, const std::string &headerJson)
{
    if (m_file != nullptr) {
        Fail("the recording is already open");
        return false;
    }
    if (headerJson.size() > kMaxHeaderJsonBytes) {
        Fail("a header of " + std::to_string(headerJson.size()) + " bytes is too large");
        return false;
    }
    if (m_options.zstdLevel != 0 && !ZstdCodec::IsAvailable()) {
        Fail("this build has no zstd: record without compression");
        return false;
    }
    m_file = std::fopen(path.c_str(), "wb");
    if (m_file == nullptr) {
        Fail("cannot create " + path + ": " + std::strerror(errno));
        return false;
    }
    m_fileBuffer.resize(kFileBufferBytes);
    std::setvbuf(m_file, m_fileBuffer.data(), _IOFBF, m_fileBuffer.size());
    const std::vector<uint8_t> header = EncodeFileHeader(headerJson);
    // The header reaches the disk now, so that a path that cannot be written fails here and not later.
    if (!WriteAll(header.data(), header.size()) || std::fflush(m_file) != 0) {
        Fail("cannot write " + path + ": " + std::strerror(errno));
        std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    m_bytesOut += header.size();
    m_thread = std::thread(&RecordingWriter::Run, this);
    return true;
}

bool RecordingWriter::Push(FrameSet &&set)
{
    if (m_file == nullptr || m_failed || !FrameSetCodec::CheckLimits(set).empty()) {
        ++m_refused;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closing) {
            ++m_refused;
            return false;
        }
        if (m_queue.size() >= m_options.queueDepth) {
            ++m_dropped;
            return false;
        }
        m_queue.push_back(std::move(set));
    }
    m_wake.notify_one();
    return true;
}

FrameSet RecordingWriter::TakeSpare()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_spares.empty()) {
        return {};
    }
    FrameSet spare = std::move(m_spares.back());
    m_spares.pop_back();
    return spare;
}

bool RecordingWriter::Close()
{
    if (m_file == nullptr) {
        return !m_failed;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (std::fflush(m_file) != 0) {
        Fail(std::string("cannot flush the recording: ") + std::strerror(errno));
    }
    if (std::fclose(m_file) != 0) {
        Fail(std::string("cannot close the recording: ") + std::strerror(errno));
    }
    m_file = nullptr;
    return !m_failed;
}

RecordingWriterStats RecordingWriter::GetStats() const
{
    RecordingWriterStats stats;
    stats.frameSetsWritten = m_written;
    stats.frameSetsDropped = m_dropped;
    stats.frameSetsRefused = m_refused;
    stats.bytesIn = m_bytesIn;
    stats.bytesOut = m_bytesOut;
    return stats;
}

std::string RecordingWriter::GetError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

void RecordingWriter::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, kWakeBound, [this] { return !m_queue.empty() || m_closing; });
        if (m_queue.empty()) {
            if (m_closing) {
                return;
            }
            continue;
        }
        FrameSet set = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        // After a write error the queue is still emptied, so that Close never waits on a dead disk.
        bool written = false;
        try {
            written = !m_failed && WriteRecord(set);
        } catch (const std::exception &e) { // memory for a compressed record, say: reported, never thrown
            Fail(std::string("cannot write the recording: ") + e.what());
        }
        if (written) {
            ++m_written;
        } else {
            ++m_refused;
        }
        lock.lock();
        if (m_spares.size() < kMaxSpares) {
            m_spares.push_back(std::move(set));
        }
    }
}

bool RecordingWriter::WriteRecord(const FrameSet &set)
{
    const size_t bodySize = FrameSetCodec::Layout(set, m_scratch, m_pieces);
    uint8_t flags = 0;
    std::vector<BytePiece> compressedPieces;
    const std::vector<BytePiece> *pieces = &m_pieces;
    uint8_t sizeField[4] = {};
    if (m_options.zstdLevel != 0) {
        std::string error;
        if (!m_zstd.Compress(m_pieces, bodySize, m_options.zstdLevel, m_compressed, error)) {
            Fail(error);
            return false;
        }
        flags = kRecordZstd;
        for (size_t i = 0; i < 4; ++i) {
            sizeField[i] = static_cast<uint8_t>(bodySize >> (8 * i));
        }
        compressedPieces = {{sizeField, 4}, {m_compressed.data(), m_compressed.size()}};
        pieces = &compressedPieces;
    }
    size_t length = 1;
    Crc32 crc;
    crc.Update(&flags, 1);
    for (const BytePiece &piece : *pieces) {
        crc.Update(piece.data, piece.size);
        length += piece.size;
    }
    std::vector<uint8_t> prefix;
    ByteCursor::AppendLe(prefix, length, 4);
    ByteCursor::AppendLe(prefix, crc.GetValue(), 4);
    prefix.push_back(flags);
    bool ok = WriteAll(prefix.data(), prefix.size());
    for (size_t i = 0; ok && i < pieces->size(); ++i) {
        ok = WriteAll((*pieces)[i].data, (*pieces)[i].size);
    }
    if (!ok) {
        Fail(std::string("cannot write the recording: ") + std::strerror(errno));
        return false;
    }
    m_bytesIn += bodySize;
    m_bytesOut += kRecordPrefixBytes + length;
    return true;
}

bool RecordingWriter::WriteAll(const void *data, size_t size)
{
    return size == 0 || std::fwrite(data, 1, size, m_file) == size;
}

void RecordingWriter::Fail(const std::string &message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_error.empty()) {
        m_error = message;
    }
    m_failed = true;
}

} // namespace orvane::cli::record
