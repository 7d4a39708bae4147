// SPDX-License-Identifier: Apache-2.0
// RecordingWriter: appends frame sets to a recording from one writer thread behind a bounded queue.
#pragma once

#include "FrameSetCodec.h"
#include "RecordingFormat.h"
#include "ZstdCodec.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane::cli::record {

struct RecordingWriterOptions
{
    size_t queueDepth = 4; ///< frame sets waiting for the writer thread; more are dropped
    int zstdLevel = 0;     ///< 0 writes records uncompressed
};

struct RecordingWriterStats
{
    uint64_t frameSetsWritten = 0;
    uint64_t frameSetsDropped = 0; ///< the queue was full when they were pushed
    uint64_t frameSetsRefused = 0; ///< beyond the format's bounds, or pushed after a write error
    uint64_t bytesIn = 0;          ///< frame set bodies before compression
    uint64_t bytesOut = 0;         ///< bytes written to the file, header included
};

/// The reading thread pushes each frame set and goes straight back to the camera: Push never waits for
/// the disk. A full queue drops the set and counts it. A write error stops the writer; it is kept for
/// GetError() and Close() reports it.
class RecordingWriter
{
public:
    explicit RecordingWriter(RecordingWriterOptions options = {});
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter &) = delete;
    RecordingWriter &operator=(const RecordingWriter &) = delete;

    /// Creates `path`, writes the file header around `headerJson` and starts the writer thread.
    bool Open(const std::string &path, const std::string &headerJson);

    /// Queues `set` (moved from only when accepted). False when it was dropped or refused.
    bool Push(FrameSet &&set);

    /// A written frame set handed back with its buffers, to be refilled without allocating (or an empty one).
    FrameSet TakeSpare();

    /// Writes what is queued, flushes and closes the file. False when any write failed.
    bool Close();

    RecordingWriterStats GetStats() const;
    std::string GetError() const;

private:
    void Run();
    bool WriteRecord(const FrameSet &set);
    bool WriteAll(const void *data, size_t size);
    void Fail(const std::string &message);

    const RecordingWriterOptions m_options;
    std::FILE *m_file = nullptr;
    std::vector<char> m_fileBuffer;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<FrameSet> m_queue;   // m_mutex
    std::vector<FrameSet> m_spares; // m_mutex
    bool m_closing = false;         // m_mutex
    std::string m_error;            // m_mutex
    std::atomic<bool> m_failed{false};

    std::atomic<uint64_t> m_written{0};
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<uint64_t> m_refused{0};
    std::atomic<uint64_t> m_bytesIn{0};
    std::atomic<uint64_t> m_bytesOut{0};

    // The writer thread's own buffers, reused from record to record.
    std::vector<uint8_t> m_scratch;
    std::vector<BytePiece> m_pieces;
    std::vector<uint8_t> m_compressed;
    ZstdCodec m_zstd;
};

} // namespace orvane::cli::record
