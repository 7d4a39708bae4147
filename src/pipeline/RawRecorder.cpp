// SPDX-License-Identifier: Apache-2.0
// RawRecorder: the bounded queue between the receive thread and the writer thread of a raw recording.
#include "pipeline/RawRecorder.h"

#include <cstring>
#include <utility>

#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"

RawRecorder::~RawRecorder()
{
    Stop();
}

int RawRecorder::Start(const RawRecordingRequest &request)
{
    std::lock_guard<std::mutex> control(m_controlMutex);
    StopWriting();
    m_writeError.store(0);
    m_buffersWritten.store(0);
    m_bytesWritten.store(0);
    m_buffersDropped.store(0);
    const int error = m_writer.Open(request.path, request.headerJson);
    if (error != 0) {
        m_writeError.store(error);
        return kStatusNotSupported;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = false;
        m_start = std::chrono::steady_clock::now();
    }
    m_thread = std::thread([this] { Run(); });
    m_active.store(true);
    TFLOG("raw recording to %s started.", request.path.c_str());
    return kStatusOk;
}

void RawRecorder::Stop()
{
    std::lock_guard<std::mutex> control(m_controlMutex);
    StopWriting();
}

void RawRecorder::StopWriting()
{
    if (!m_thread.joinable()) {
        return;
    }
    m_active.store(false);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join(); // the writer empties the queue first
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_spare.clear(); // a stopped recorder holds no buffer memory
    }
    const int error = m_writer.Close();
    if (error != 0 && m_writeError.load() == 0) {
        m_writeError.store(error);
    }
    TFLOG("raw recording stopped: %llu buffers, %llu bytes written, %llu dropped.",
          static_cast<unsigned long long>(m_buffersWritten.load()),
          static_cast<unsigned long long>(m_bytesWritten.load()),
          static_cast<unsigned long long>(m_buffersDropped.load()));
}

void RawRecorder::Offer(const uint8_t *data, uint32_t size)
{
    if (!m_active.load()) {
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto now = std::chrono::steady_clock::now();
    if (m_stopping || m_queue.size() >= kQueueBuffers || m_queuedBytes + size > kQueueBytes) {
        m_buffersDropped.fetch_add(1);
        return;
    }
    Item item;
    if (!m_spare.empty()) {
        item = std::move(m_spare.back());
        m_spare.pop_back();
    }
    item.arrivalNs =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_start).count());
    // Copying under the lock keeps the queue's byte bound exact; a copy takes far less than a frame.
    item.bytes.assign(data, data + size);
    m_queuedBytes += size;
    m_queue.push_back(std::move(item));
    lock.unlock();
    m_wake.notify_one();
}

TfRawRecordingStatus RawRecorder::GetStatus() const
{
    TfRawRecordingStatus status{};
    status.version = TF_RAW_RECORDING_VERSION;
    status.size = static_cast<uint32_t>(sizeof(status));
    status.active = m_active.load() ? 1u : 0u;
    status.writeError = m_writeError.load();
    status.buffersWritten = m_buffersWritten.load();
    status.bytesWritten = m_bytesWritten.load();
    status.buffersDropped = m_buffersDropped.load();
    return status;
}

bool RawRecorder::Write(const Item &item)
{
    const int error =
        m_writer.Append(item.arrivalNs, item.bytes.data(), static_cast<uint32_t>(item.bytes.size()));
    if (error != 0) {
        m_writeError.store(error);
        m_active.store(false);
        return false;
    }
    m_buffersWritten.fetch_add(1);
    m_bytesWritten.fetch_add(item.bytes.size());
    return true;
}

void RawRecorder::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    bool writing = true;
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            return; // stopping, and everything queued is written
        }
        Item item = std::move(m_queue.front());
        m_queue.pop_front();
        m_queuedBytes -= item.bytes.size();
        lock.unlock();
        if (writing) {
            writing = Write(item);
        } else {
            m_buffersDropped.fetch_add(1); // queued before the write error
        }
        lock.lock();
        if (m_spare.size() < kSpareBuffers) {
            m_spare.push_back(std::move(item));
        }
    }
}
